#include "imagelib/codecrows.h"

#include <algorithm>
#include <cstring>
#include <vector>

uint8_t* ContiguousPixels(CImageBitmap& bitmap, bool& bottomUp) {
    bottomUp = false;
    const int height = bitmap.GetHeight();
    if (bitmap.GetBitsPerPixel() != 32 || height == 0)
        return nullptr;
    uint8_t** lines = bitmap.GetLines();
    const std::ptrdiff_t stride = std::ptrdiff_t(bitmap.GetWidth()) * 4;
    const std::ptrdiff_t span = stride * (height - 1);
    if (lines[height - 1] - lines[0] == span)
        return lines[0];
    if (lines[0] - lines[height - 1] == span) {
        bottomUp = height > 1;
        return lines[height - 1];
    }
    return nullptr;
}

void ReverseRows(CImageBitmap& bitmap) {
    uint8_t** lines = bitmap.GetLines();
    const size_t bytes = size_t(bitmap.GetWidth()) * 4;
    std::vector<uint8_t> row(bytes);
    for (int top = 0, bottom = bitmap.GetHeight() - 1; top < bottom; ++top, --bottom) {
        std::memcpy(row.data(), lines[top], bytes);
        std::memcpy(lines[top], lines[bottom], bytes);
        std::memcpy(lines[bottom], row.data(), bytes);
    }
}

void UnpremultiplyRow(uint8_t* p, int width) {
    for (int x = 0; x < width; ++x, p += 4) {
        const unsigned a = p[3];
        if (a == 255)
            continue;
        if (a == 0) {
            p[0] = p[1] = p[2] = 0;
            continue;
        }
        for (int c = 0; c < 3; ++c)
            p[c] = uint8_t(std::min(255u, (p[c] * 255u + a / 2) / a));
    }
}

void SwapRedBlue(uint8_t* p, int width) {
    for (int x = 0; x < width; ++x, p += 4)
        std::swap(p[0], p[2]);
}
