#pragma once

// Small helpers the tests share for building 32-bit pictures pixel by pixel.

#include "imagelib/bitmap.h"

#include <cstdint>
#include <vector>

inline uint32_t Bgra(uint8_t b, uint8_t g, uint8_t r, uint8_t a) {
    return uint32_t(b) | uint32_t(g) << 8 | uint32_t(r) << 16 | uint32_t(a) << 24;
}

inline void SetPixel32(CImageBitmap& bmp, int x, int y, uint32_t value) {
    reinterpret_cast<uint32_t*>(bmp.GetLines()[y])[x] = value;
}

inline void Fill32(CImageBitmap& bmp, uint32_t value) {
    for (int y = 0; y < bmp.GetHeight(); ++y)
        for (int x = 0; x < bmp.GetWidth(); ++x)
            SetPixel32(bmp, x, y, value);
}

// Alpha bytes of one row.
inline std::vector<int> AlphaRow(const CImageBitmap& bmp, int y) {
    std::vector<int> out;
    for (int x = 0; x < bmp.GetWidth(); ++x)
        out.push_back(int(bmp.GetPixel32(x, y) >> 24));
    return out;
}

inline void SetAlphaRow(CImageBitmap& bmp, int y, const std::vector<int>& alphas) {
    for (int x = 0; x < int(alphas.size()); ++x)
        SetPixel32(bmp, x, y, (bmp.GetPixel32(x, y) & 0x00FFFFFFu) | uint32_t(alphas[x]) << 24);
}
