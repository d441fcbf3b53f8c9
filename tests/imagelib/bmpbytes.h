#pragma once

// Builds BMP files byte by byte for the decoder tests.

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
inline void Put32(Bytes& b, uint32_t v) {
    Put16(b, v);
    Put16(b, v >> 16);
}
inline void Append(Bytes& b, const Bytes& more) {
    b.insert(b.end(), more.begin(), more.end());
}

struct BmpShape {
    int32_t width = 1;
    int32_t height = 1;
    uint16_t bitCount = 8;
    uint32_t compression = 0;
    uint32_t colorsUsed = 0;
    uint32_t headerSize = 40;      // extra header bytes are zero, masks excepted
    std::vector<uint32_t> palette; // written as blue, green, red, 0
    std::vector<uint32_t> masks;   // after a 40-byte header, inside a longer one
    Bytes pixels;                  // exactly as stored, padding included
    int64_t offset = -1;           // -1: right after headers, palette and masks
    int gap = 0;                   // bytes between palette or masks and the pixels
};

inline Bytes MakeBmp(const BmpShape& s) {
    Bytes info;
    Put32(info, s.headerSize);
    Put32(info, uint32_t(s.width));
    Put32(info, uint32_t(s.height));
    Put16(info, 1);
    Put16(info, s.bitCount);
    Put32(info, s.compression);
    Put32(info, 0);
    Put32(info, 0);
    Put32(info, 0);
    Put32(info, s.colorsUsed);
    Put32(info, 0);
    const bool masksInHeader = s.headerSize >= 52;
    if (masksInHeader)
        for (uint32_t m : s.masks)
            Put32(info, m);
    info.resize(s.headerSize, 0);

    Bytes rest;
    for (uint32_t c : s.palette)
        Put32(rest, c & 0xFFFFFF);
    if (!masksInHeader)
        for (uint32_t m : s.masks)
            Put32(rest, m);
    rest.insert(rest.end(), size_t(s.gap), 0xEE);

    const uint32_t offset =
        uint32_t(s.offset >= 0 ? s.offset : 14 + int64_t(info.size()) + int64_t(rest.size()));
    Bytes file = {'B', 'M'};
    Put32(file, uint32_t(14 + info.size() + rest.size() + s.pixels.size()));
    Put32(file, 0);
    Put32(file, offset);
    Append(file, info);
    Append(file, rest);
    Append(file, s.pixels);
    return file;
}
