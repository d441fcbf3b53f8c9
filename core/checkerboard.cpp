#include "core/checkerboard.h"

#include "imagelib/bitmap.h"

#include <algorithm>
#include <cstdint>

void BlendOverCheckerboard(const CImageBitmap& source, CImageBitmap& target, int cell) {
    if (source.GetBitsPerPixel() != 32) {
        target.ConvertFrom(source, source.GetBitsPerPixel());
        return;
    }
    cell = std::max(1, cell);
    const int width = source.GetWidth(), height = source.GetHeight();
    target.Create(width, height, 32, false);
    const uint8_t* const* from = source.GetLines();
    uint8_t** to = target.GetLines();
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = from[y];
        uint8_t* d = to[y];
        const bool darkRow = (y / cell) % 2 != 0;
        for (int x = 0; x < width; ++x, s += 4, d += 4) {
            const unsigned alpha = s[3];
            const unsigned back = darkRow != ((x / cell) % 2 != 0) ? kCheckerDark : kCheckerLight;
            for (int c = 0; c < 3; ++c) {
                const unsigned under = back >> (8 * c) & 0xFF;
                d[c] = uint8_t((s[c] * alpha + under * (255 - alpha) + 127) / 255);
            }
            d[3] = 0xFF;
        }
    }
}
