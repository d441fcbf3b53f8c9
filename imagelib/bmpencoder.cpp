#include "imagelib/bmpencoder.h"

#include "imagelib/dibbitmap.h"
#include "imagelib/trace.h"

#include <cstring>
#include <vector>

namespace {
constexpr int kHeadersSize = 54;

void Put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

// The written bit count: 24 for deep bitmaps, the bitmap's own for palette bitmaps.
int FileBitCount(const CImageBitmap& bitmap) {
    return bitmap.GetBitsPerPixel() > 8 ? 24 : bitmap.GetBitsPerPixel();
}
int64_t FileRowSize(const CImageBitmap& bitmap) {
    return CDIBBitmap::StrideFor(bitmap.GetWidth(), FileBitCount(bitmap));
}
int64_t PaletteSize(const CImageBitmap& bitmap) {
    const int bpp = bitmap.GetBitsPerPixel();
    return bpp <= 8 ? int64_t(4) << bpp : 0;
}
} // namespace

int64_t CBmpEncoder::MaxEncodedSize(const CImageBitmap& bitmap) const {
    return kHeadersSize + PaletteSize(bitmap) + FileRowSize(bitmap) * bitmap.GetHeight();
}

void CBmpEncoder::EncodeBody(const CImageBitmap& bitmap, CImageSink& sink) {
    const int width = bitmap.GetWidth();
    const int height = bitmap.GetHeight();
    const int bpp = bitmap.GetBitsPerPixel();
    if (bpp > 8 && bpp != 32)
        RaiseDecoderError(6, "Bitmap encoder: Unsupported bit depth.");
    const int64_t offset = kHeadersSize + PaletteSize(bitmap);
    const int64_t rowSize = FileRowSize(bitmap);

    uint8_t header[kHeadersSize] = {'B', 'M'};
    Put32(header + 2, uint32_t(offset + rowSize * height));
    Put32(header + 10, uint32_t(offset));
    Put32(header + 14, 40);
    Put32(header + 18, uint32_t(width));
    Put32(header + 22, uint32_t(height));
    Put16(header + 26, 1);
    Put16(header + 28, uint32_t(FileBitCount(bitmap)));
    sink.WriteBytes(kHeadersSize, header); // compression, sizes and colour counts stay 0

    const uint8_t* const* lines = bitmap.GetLines();
    if (bpp == 32) {
        // One converted row per write; the padding bytes stay zero.
        std::vector<uint8_t> row(size_t(rowSize), 0);
        for (int y = height - 1; y >= 0; --y) {
            const uint8_t* in = lines[y];
            uint8_t* out = row.data();
            // Four-byte copies, each fourth byte overwritten by the next pixel; the last
            // pixel byte by byte so that the padding stays zero.
            for (int x = 0; x < width - 1; ++x, in += 4, out += 3)
                std::memcpy(out, in, 4);
            if (width > 0) {
                out[0] = in[0];
                out[1] = in[1];
                out[2] = in[2];
            }
            sink.WriteBytes(int(rowSize), row.data());
        }
        return;
    }

    const uint32_t* palette = bitmap.GetPalette();
    const int entries = 1 << bpp;
    for (int i = 0; i < entries; ++i) {
        uint8_t entry[4] = {};
        if (palette)
            Put32(entry, palette[i]);
        sink.WriteBytes(4, entry);
    }
    const int lineBytes = bitmap.GetBytesPerLine();
    for (int y = height - 1; y >= 0; --y) {
        sink.WriteBytes(lineBytes, lines[y]);
        sink.SkipBytes(int(rowSize) - lineBytes);
    }
}
