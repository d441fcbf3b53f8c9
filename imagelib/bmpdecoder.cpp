#include "imagelib/bmpdecoder.h"

#include "imagelib/textexception.h"
#include "imagelib/trace.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <vector>

// Pixel words are assembled with native loads and stores.
static_assert(std::endian::native == std::endian::little);

namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;
constexpr int kCoreHeaderSize = 12; // OS/2 1.x: 16-bit dimensions, 3-byte palette entries
constexpr uint32_t kBitfields = 3;
constexpr uint32_t kAlphaBitfields = 6;

uint16_t Le16(const uint8_t* p) {
    return uint16_t(p[0] | p[1] << 8);
}
uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The info header, whatever its stored size.
struct CBmpHeader {
    uint32_t headerSize = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    uint32_t compression = 0;
    uint32_t imageSize = 0;
    int32_t xResolution = 0;
    int32_t yResolution = 0;
    uint32_t colorsUsed = 0;
    uint32_t colorsImportant = 0;
};

// Consumes n bytes, n computed from header fields; counts outside the source's 32-bit
// range end like any other read past the end.
const uint8_t* Read(CImageSource& source, int64_t n) {
    if (n < 0 || n > INT_MAX)
        throw CTextException(11, "End of file reached while decoding.\n");
    return source.ReadBytes(int(n));
}

// One channel of a BITFIELDS mask: value = (word & mask) >> shift, scaled from 0 .. max to
// 0 .. 255.
struct CChannel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;

    explicit CChannel(uint32_t m) : mask(m) {
        if (m) {
            shift = std::countr_zero(m);
            max = m >> shift;
        }
    }
    uint32_t Get(uint32_t word) const {
        return max ? uint32_t((uint64_t((word & mask) >> shift) * 255 + max / 2) / max) : 0;
    }
};

// Writes the rows of one decode: file row k goes to line height - 1 - k (bottom-up files)
// or line k (top-down files); indices become one byte (8-bit output) or their palette entry
// (32-bit output).
class CRowWriter {
public:
    CRowWriter(CImageBitmap& bitmap, const uint32_t* palette, bool topDown)
        : m_lines(bitmap.GetLines()), m_width(bitmap.GetWidth()), m_height(bitmap.GetHeight()),
          m_out32(bitmap.GetBitsPerPixel() == 32), m_palette(palette), m_topDown(topDown) {}

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    bool Out32() const { return m_out32; }
    const uint32_t* Palette() const { return m_palette; }
    uint8_t* Line(int fileRow) const {
        return m_lines[m_topDown ? fileRow : m_height - 1 - fileRow];
    }
    uint32_t* Line32(int fileRow) const { return reinterpret_cast<uint32_t*>(Line(fileRow)); }

    void WriteIndices(int fileRow, const uint8_t* indices) const {
        if (!m_out32) {
            std::memcpy(Line(fileRow), indices, size_t(m_width));
            return;
        }
        uint32_t* out = Line32(fileRow);
        for (int x = 0; x < m_width; ++x)
            out[x] = m_palette[indices[x]];
    }

    void CopyRow(int fromFileRow, int toFileRow) const {
        std::memcpy(Line(toFileRow), Line(fromFileRow), size_t(m_width) * (m_out32 ? 4 : 1));
    }

private:
    uint8_t** m_lines;
    int m_width;
    int m_height;
    bool m_out32;
    const uint32_t* m_palette; // 256 entries
    bool m_topDown;
};

int64_t PaddedRow(int64_t bits) {
    return (bits + 31) / 32 * 4;
}

void DecodeOneBit(CImageSource& source, const CRowWriter& rows) {
    Trace(2, "Decoding 1 bit per pixel bitmap.\n");
    const int width = rows.Width();
    const int64_t stride = PaddedRow(width);
    for (int k = 0; k < rows.Height(); ++k) {
        const uint8_t* in = Read(source, stride);
        if (rows.Out32()) {
            // The palette's colours, as for every other depth: common writers put white
            // first, and black-and-white by bit value would invert their pictures.
            uint32_t* out = rows.Line32(k);
            const uint32_t* palette = rows.Palette();
            for (int x = 0; x < width; ++x)
                out[x] = palette[(in[x >> 3] >> (7 - (x & 7))) & 1];
        } else {
            uint8_t* out = rows.Line(k);
            for (int x = 0; x < width; ++x)
                out[x] = (in[x >> 3] >> (7 - (x & 7))) & 1;
        }
    }
}

void DecodeFourBit(CImageSource& source, const CRowWriter& rows, uint8_t* indices) {
    Trace(2, "Decoding uncompressed 4 bit per pixel bitmap.\n");
    const int width = rows.Width();
    const int64_t stride = PaddedRow(int64_t(width) * 4);
    for (int k = 0; k < rows.Height(); ++k) {
        const uint8_t* in = Read(source, stride);
        for (int x = 0; x < width; ++x)
            indices[x] = (x & 1) ? in[x >> 1] & 0x0F : in[x >> 1] >> 4;
        rows.WriteIndices(k, indices);
    }
}

void DecodeEightBit(CImageSource& source, const CRowWriter& rows) {
    Trace(2, "Decoding uncompressed 8 bit per pixel bitmap.\n");
    const int64_t stride = PaddedRow(int64_t(rows.Width()) * 8);
    for (int k = 0; k < rows.Height(); ++k)
        rows.WriteIndices(k, Read(source, stride));
}

// RLE4 and RLE8. Each row is decoded into an index row that starts as index 0, so pixels
// the codes never reach take index 0; runs and absolute blocks passing the end of the row
// are cut there; decoding stops after the last row whatever the stream holds further.
void DecodeRle(CImageSource& source, const CRowWriter& rows, uint8_t* indices, bool rle4) {
    Trace(2, rle4 ? "Decoding RLE4-compressed bitmap.\n" : "Decoding RLE8-compressed bitmap.\n");
    const int width = rows.Width();
    int k = 0;
    bool endOfBitmap = false;
    while (k < rows.Height() && !endOfBitmap) {
        std::memset(indices, 0, size_t(width));
        int x = 0;
        for (;;) {
            const uint8_t* code = Read(source, 2);
            const int n = code[0];
            const uint8_t e = code[1];
            if (n != 0) {
                const int end = std::min(width, x + n);
                if (rle4) {
                    const uint8_t pair[2] = {uint8_t(e >> 4), uint8_t(e & 0x0F)};
                    for (int i = 0; x < end; ++x, ++i)
                        indices[x] = pair[i & 1];
                } else {
                    for (; x < end; ++x)
                        indices[x] = e;
                }
                continue;
            }
            if (e == 0)
                break;
            if (e == 1) {
                endOfBitmap = true;
                break;
            }
            if (e == 2)
                RaiseDecoderError(6, "Encountered delta escape.");
            // Absolute block of e pixels, padded to a 16-bit boundary.
            int bytes = rle4 ? (e + 1) / 2 : e;
            const uint8_t* in = Read(source, bytes + (bytes & 1));
            const int end = std::min(width, x + int(e));
            if (rle4) {
                for (int i = 0; x < end; ++x, ++i)
                    indices[x] = (i & 1) ? in[i >> 1] & 0x0F : in[i >> 1] >> 4;
            } else {
                for (int i = 0; x < end; ++x, ++i)
                    indices[x] = in[i];
            }
        }
        rows.WriteIndices(k++, indices);
    }
    // Rows after the end of the bitmap take index 0 as well: one row converted, the rest
    // copied (a few bytes of codes can end a bitmap of millions of rows).
    if (k < rows.Height()) {
        std::memset(indices, 0, size_t(width));
        rows.WriteIndices(k, indices);
        for (int i = k + 1; i < rows.Height(); ++i)
            rows.CopyRow(k, i);
    }
}

void DecodeSixteenBit(CImageSource& source, const CRowWriter& rows, const uint32_t masks[3],
                      bool bitfields) {
    Trace(2, "Decoding true-color bitmap.\n");
    const int width = rows.Width();
    const int64_t stride = PaddedRow(int64_t(width) * 16);
    enum { k555, k565, kMasks } layout = k555;
    if (bitfields) {
        if (masks[0] == 0x7C00 && masks[1] == 0x3E0 && masks[2] == 0x1F)
            layout = k555;
        else if (masks[0] == 0xF800 && masks[1] == 0x7E0 && masks[2] == 0x1F)
            layout = k565;
        else
            layout = kMasks;
    }
    const CChannel red(masks[0]), green(masks[1]), blue(masks[2]);
    for (int k = 0; k < rows.Height(); ++k) {
        const uint8_t* in = Read(source, stride);
        uint32_t* out = rows.Line32(k);
        for (int x = 0; x < width; ++x, in += 2) {
            const uint32_t w = Le16(in);
            uint32_t r, g, b;
            switch (layout) {
            case k555:
                b = (w & 0x1F) << 3;
                g = (w >> 2) & 0xF8;
                r = (w >> 7) & 0xF8;
                break;
            case k565:
                // The top five of the six green bits.
                b = (w & 0x1F) << 3;
                g = (w >> 3) & 0xF8;
                r = (w >> 8) & 0xF8;
                break;
            default:
                b = blue.Get(w);
                g = green.Get(w);
                r = red.Get(w);
                break;
            }
            out[x] = 0xFF000000u | r << 16 | g << 8 | b;
        }
    }
}

// The fourth byte of a 32-bit pixel is reserved in most files and then all zero, or all
// 255 where a writer filled it; only bytes that vary carry a transparency.
bool FourthBytesAreAlpha(const CImageBitmap& bitmap) {
    bool zero = false, opaque = false, between = false;
    const uint8_t* const* lines = bitmap.GetLines();
    for (int y = 0; y < bitmap.GetHeight(); ++y)
        for (int x = 0; x < bitmap.GetWidth(); ++x) {
            const uint8_t a = lines[y][4 * x + 3];
            zero |= a == 0;
            opaque |= a == 255;
            between |= a != 0 && a != 255;
        }
    return between || (zero && opaque);
}

void DecodeTrueColor(CImageSource& source, const CRowWriter& rows, int bitCount,
                     const uint32_t masks[3], bool bitfields) {
    Trace(2, "Decoding true-color bitmap.\n");
    const int width = rows.Width();
    const int64_t stride = PaddedRow(int64_t(width) * bitCount);
    const bool byteOrder =
        !bitfields || (masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF);
    const CChannel red(masks[0]), green(masks[1]), blue(masks[2]);
    for (int k = 0; k < rows.Height(); ++k) {
        const uint8_t* in = Read(source, stride);
        if (bitCount == 32 && byteOrder) {
            // The fourth byte travels as stored; the bitmap claims no alpha.
            std::memcpy(rows.Line(k), in, size_t(width) * 4);
            continue;
        }
        uint32_t* out = rows.Line32(k);
        if (bitCount == 24) {
            // Four-byte loads; the last pixel byte by byte, as its fourth byte may lie past
            // the end of the input.
            for (int x = 0; x < width - 1; ++x, in += 3) {
                uint32_t w;
                std::memcpy(&w, in, 4);
                out[x] = 0xFF000000u | w;
            }
            out[width - 1] = 0xFF000000u | uint32_t(in[2]) << 16 | uint32_t(in[1]) << 8 | in[0];
        } else {
            for (int x = 0; x < width; ++x, in += 4) {
                const uint32_t w = Le32(in);
                out[x] = 0xFF000000u | red.Get(w) << 16 | green.Get(w) << 8 | blue.Get(w);
            }
        }
    }
}

// Brackets the direct pixel writes, also when a row routine throws.
class CAccessGuard {
public:
    explicit CAccessGuard(CImageBitmap& bitmap) : m_bitmap(bitmap) {
        m_bitmap.BeginAccess(false, true);
    }
    ~CAccessGuard() { m_bitmap.EndAccess(); }
    CAccessGuard(const CAccessGuard&) = delete;
    CAccessGuard& operator=(const CAccessGuard&) = delete;

private:
    CImageBitmap& m_bitmap;
};

} // namespace

void CBmpDecoder::DecodeBody(CImageBitmap& bitmap, CPaletteHolder& paletteHolder, int& bitsPerPixel,
                             CImageSource& source) {
    // File header.
    const uint8_t* fileHeader = Read(source, kFileHeaderSize);
    if (fileHeader[0] != 'B' || fileHeader[1] != 'M')
        RaiseDecoderError(1, "Bitmap decoder: This isn't a bitmap.");
    Trace(2, "Bitmap file signature found\n");
    const uint32_t dataOffset = Le32(fileHeader + 10);

    // Info header: 40 bytes or longer (V4, V5), or the OS/2 core header.
    CBmpHeader header;
    header.headerSize = Le32(Read(source, 4));
    const bool core = header.headerSize == kCoreHeaderSize;
    uint32_t masks[3] = {0, 0, 0};
    bool masksInHeader = false;
    if (core) {
        const uint8_t* p = Read(source, kCoreHeaderSize - 4);
        header.width = Le16(p);
        header.height = Le16(p + 2);
        header.planes = Le16(p + 4);
        header.bitCount = Le16(p + 6);
    } else {
        if (header.headerSize < kInfoHeaderSize)
            RaiseDecoderError(2, "Bitmap decoder: BITMAPINFOHEADER has wrong size.");
        const uint8_t* p = Read(source, kInfoHeaderSize - 4);
        header.width = int32_t(Le32(p));
        header.height = int32_t(Le32(p + 4));
        header.planes = Le16(p + 8);
        header.bitCount = Le16(p + 10);
        header.compression = Le32(p + 12);
        header.imageSize = Le32(p + 16);
        header.xResolution = int32_t(Le32(p + 20));
        header.yResolution = int32_t(Le32(p + 24));
        header.colorsUsed = Le32(p + 28);
        header.colorsImportant = Le32(p + 32);
        // Longer headers (V2 to V5) carry the masks in their first extra bytes; the palette
        // follows the whole header.
        const int64_t extra = int64_t(header.headerSize) - kInfoHeaderSize;
        if (extra > 0) {
            const uint8_t* more = Read(source, extra);
            if (extra >= 12) {
                masks[0] = Le32(more);
                masks[1] = Le32(more + 4);
                masks[2] = Le32(more + 8);
                masksInHeader = true;
            }
        }
    }
    Trace(2, "Bitmap header is ok.\n");

    const int bitCount = header.bitCount;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 &&
        bitCount != 32)
        RaiseDecoderError(2, "Decoding bmp: Illegal bpp value.");
    // A negative height means rows stored top-down; INT_MIN has no positive counterpart.
    const bool topDown = header.height < 0;
    const int64_t width = header.width;
    const int64_t height = topDown ? -int64_t(header.height) : int64_t(header.height);
    if (width <= 0 || height <= 0)
        RaiseDecoderError(2, "Bitmap decoder: Illegal image dimensions.");
    AdmitPicture(width, height);

    // Palette: n entries of 4 bytes (3 in a core header) into a block of 256, the rest
    // opaque black; entries beyond 256 are consumed and ignored.
    int64_t consumed = kFileHeaderSize + int64_t(header.headerSize);
    paletteHolder = std::make_unique<uint32_t[]>(256);
    std::fill_n(paletteHolder.get(), 256, 0xFF000000u);
    if (bitCount <= 8) {
        Trace(3, "Reading palette.\n");
        const int entrySize = core ? 3 : 4;
        int64_t n = header.colorsUsed ? header.colorsUsed : int64_t(1) << bitCount;
        // Core files have no colour count; a short palette shows in the data offset.
        if (core && dataOffset > consumed && (dataOffset - consumed) / 3 < n)
            n = (dataOffset - consumed) / 3;
        const uint8_t* p = Read(source, n * entrySize);
        for (int64_t i = 0; i < std::min<int64_t>(n, 256); ++i, p += entrySize)
            paletteHolder[i] = 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
        consumed += n * entrySize;
    }

    // Masks follow a 40-byte header.
    const bool bitfields = (bitCount == 16 && header.compression != 0) ||
                           (bitCount == 32 && (header.compression == kBitfields ||
                                               header.compression == kAlphaBitfields));
    if (bitfields && !masksInHeader) {
        const int maskBytes = header.compression == kAlphaBitfields ? 16 : 12;
        const uint8_t* p = Read(source, maskBytes);
        masks[0] = Le32(p);
        masks[1] = Le32(p + 4);
        masks[2] = Le32(p + 8);
        consumed += maskBytes;
    }

    // Skip to the pixel data. An offset pointing back into what was read is corrupt;
    // the pixels are then taken to follow at once.
    if (dataOffset > consumed)
        Read(source, dataOffset - consumed);

    // Uncompressed rows must all be present: refuse before allocating for them.
    const bool rle = (bitCount == 4 || bitCount == 8) && header.compression != 0;
    if (!rle && PaddedRow(width * bitCount) * height > source.GetRemaining())
        throw CTextException(11, "End of file reached while decoding.\n");

    if (bitsPerPixel == 0)
        bitsPerPixel = bitCount <= 8 ? 8 : 32;
    else if (bitsPerPixel != 8)
        bitsPerPixel = 32;
    // Deep files give 32 bits; a request for 8 is answered by quantising them.
    const bool quantise = bitsPerPixel == 8 && bitCount > 8;
    CMemoryBitmap deep;
    CImageBitmap& target = quantise ? static_cast<CImageBitmap&>(deep) : bitmap;
    target.Create(int(width), int(height), quantise ? 32 : uint16_t(bitsPerPixel), false);
    if (target.GetBitsPerPixel() == 8)
        std::memcpy(target.GetPalette(), paletteHolder.get(), 256 * sizeof(uint32_t));

    {
        CAccessGuard access(target);
        const CRowWriter rows(target, paletteHolder.get(), topDown);
        std::vector<uint8_t> indices(static_cast<size_t>(width));
        switch (bitCount) {
        case 1:
            DecodeOneBit(source, rows);
            break;
        case 4:
            if (rle)
                DecodeRle(source, rows, indices.data(), true);
            else
                DecodeFourBit(source, rows, indices.data());
            break;
        case 8:
            if (rle)
                DecodeRle(source, rows, indices.data(), false);
            else
                DecodeEightBit(source, rows);
            break;
        case 16:
            DecodeSixteenBit(source, rows, masks, bitfields);
            break;
        default:
            DecodeTrueColor(source, rows, bitCount, masks, bitfields);
            break;
        }
    }
    if (quantise)
        bitmap.ConvertFrom(deep, 8);
    else if (bitCount == 32 && target.GetBitsPerPixel() == 32)
        target.SetHasAlpha(FourthBytesAreAlpha(target));
    Trace(3, "Decoding finished.\n");
}
