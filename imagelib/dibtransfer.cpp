// Packed-DIB transfer of the DIB kinds: resources, clipboard blocks in and out.
#include "imagelib/dibbitmap.h"
#include "imagelib/textexception.h"
#include "resources/resourcetable.h"

#include <cstring>
#include <new>
#include <string>

namespace {

constexpr uint32_t kBiRgb = 0;
constexpr uint32_t kBiBitfields = 3;

[[noreturn]] void Malformed(const char* what) {
    throw CTextException(2, std::string("Packed DIB: ") + what);
}

uint32_t ReadU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// One colour channel of a bit-field pixel, scaled to 8 bits.
struct CChannel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;

    explicit CChannel(uint32_t m) : mask(m) {
        if (!m)
            return;
        while (!((m >> shift) & 1))
            ++shift;
        max = m >> shift;
    }
    uint32_t Get(uint32_t pixel) const {
        if (!max)
            return 0;
        return (((pixel & mask) >> shift) * 255 + max / 2) / max;
    }
};

} // namespace

void CDIBBitmap::LoadFromResource(int id) {
    const CResourceEntry* entry = FindResourceEntry(id, QM_RT_BITMAP);
    if (!entry)
        throw CTextException(4, "Opening resource " + std::to_string(id) + " failed");
    CreateFromPackedDIB(entry->data, entry->size);
}

void CDIBBitmap::CreateFromPackedDIB(const uint8_t* packed, size_t size) {
    FreeStorage();
    if (!packed || size < 40)
        Malformed("header missing.");
    const uint32_t headerSize = ReadU32(packed);
    CBitmapInfoHeader h;
    std::memcpy(&h, packed, sizeof h);
    if (headerSize < 40 || headerSize > size)
        Malformed("unsupported header size.");
    const int bpp = h.bitCount;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        Malformed("unsupported bit count.");
    if (h.compression != kBiRgb && !(h.compression == kBiBitfields && (bpp == 16 || bpp == 32)))
        Malformed("compressed rows are not supported.");
    if (h.width <= 0 || h.height == 0 || h.height == INT32_MIN)
        Malformed("bad dimensions.");
    const bool topDown = h.height < 0;
    const int width = h.width;
    const int height = topDown ? -h.height : h.height;

    // Offsets are computed in 64 bits: every count comes from the block itself.
    uint64_t offset = headerSize;
    uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    if (bpp == 32) {
        masks[0] = 0x00FF0000;
        masks[1] = 0x0000FF00;
        masks[2] = 0x000000FF;
    }
    if (h.compression == kBiBitfields) {
        // A plain info header is followed by the three masks; larger headers hold them.
        if (uint64_t(40) + 12 > size)
            Malformed("bit-field masks missing.");
        for (int i = 0; i < 3; ++i)
            masks[i] = ReadU32(packed + 40 + 4 * i);
        if (headerSize == 40)
            offset += 12;
    }
    const uint64_t maxColours = bpp <= 8 ? uint64_t(1) << bpp : 0;
    uint64_t colours = h.clrUsed ? h.clrUsed : maxColours;
    if (bpp <= 8 && colours > maxColours)
        Malformed("too many colours.");
    const uint64_t paletteOffset = offset;
    offset += colours * 4;
    const uint64_t stride = uint64_t(StrideFor(width, bpp));
    if (offset > size || stride * uint64_t(height) > size - offset)
        Malformed("rows missing.");
    CheckDimensions(width, height, 32);
    const uint8_t* rows = packed + offset;
    auto sourceRow = [&](int y) { // y counted from the top
        return rows + stride * uint64_t(topDown ? y : height - 1 - y);
    };

    const int targetBpp = bpp == 4 ? 8 : (bpp == 16 || bpp == 24) ? 32 : bpp;
    Create(width, height, uint16_t(targetBpp), false);
    if (targetBpp <= 8) {
        for (uint64_t i = 0; i < uint64_t(1) << targetBpp; ++i)
            m_palette[i] =
                i < colours ? (ReadU32(packed + paletteOffset + 4 * i) | 0xFF000000u) : 0xFF000000u;
    }
    const bool standard32 =
        bpp == 32 && masks[0] == 0x00FF0000 && masks[1] == 0x0000FF00 && masks[2] == 0x000000FF;
    const CChannel red(masks[0]), green(masks[1]), blue(masks[2]);
    BeginAccess(false, true);
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = sourceRow(y);
        uint8_t* out = m_lines[size_t(y)];
        uint32_t* out32 = reinterpret_cast<uint32_t*>(out);
        switch (bpp) {
        case 1:
        case 8:
            std::memcpy(out, in, size_t(PixelBytesPerRow(width, bpp)));
            break;
        case 4:
            for (int x = 0; x < width; ++x)
                out[x] = (x & 1) ? in[x >> 1] & 0x0F : in[x >> 1] >> 4;
            break;
        case 24:
            for (int x = 0; x < width; ++x)
                out32[x] = 0xFF000000u | uint32_t(in[3 * x]) | uint32_t(in[3 * x + 1]) << 8 |
                           uint32_t(in[3 * x + 2]) << 16;
            break;
        case 16:
        case 32:
            if (standard32) {
                std::memcpy(out, in, size_t(width) * 4);
                break;
            }
            for (int x = 0; x < width; ++x) {
                const uint32_t p = bpp == 16 ? uint32_t(in[2 * x]) | uint32_t(in[2 * x + 1]) << 8
                                             : ReadU32(in + 4 * x);
                out32[x] = 0xFF000000u | blue.Get(p) | green.Get(p) << 8 | red.Get(p) << 16;
            }
            break;
        }
    }
    EndAccess();
}

void CDIBBitmap::CreateFromPackedDIBAndPalette(const uint8_t* packed, size_t size,
                                               const uint32_t* palette, int count) {
    CreateFromPackedDIB(packed, size);
    const int bpp = GetBitsPerPixel();
    if (!palette || count <= 0 || bpp > 8 || !m_palette)
        return;
    const int n = count < (1 << bpp) ? count : (1 << bpp);
    for (int i = 0; i < n; ++i)
        m_palette[i] = palette[i] | 0xFF000000u;
}

std::vector<uint8_t> CDIBBitmap::CopyToGlobalMemory() const {
    if (!m_header)
        return {};
    const size_t palette = PaletteBytesFor(GetBitsPerPixel());
    const size_t rows = size_t(GetBytesPerLine()) * size_t(GetHeight());
    std::vector<uint8_t> block;
    try {
        block.resize(sizeof(CBitmapInfoHeader) + palette + rows);
    } catch (const std::bad_alloc&) {
        throw CTextException(10, "Can't allocate global memory block.");
    }
    std::memcpy(block.data(), m_header, sizeof(CBitmapInfoHeader));
    if (palette && m_palette)
        std::memcpy(block.data() + sizeof(CBitmapInfoHeader), m_palette, palette);
    if (rows)
        std::memcpy(block.data() + sizeof(CBitmapInfoHeader) + palette, m_bits, rows);
    return block;
}
