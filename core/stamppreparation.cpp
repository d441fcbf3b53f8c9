#include "core/stamppreparation.h"

#include "imagelib/bitmap.h"

#include <array>
#include <cstdlib>

namespace {

constexpr int kAlpha = 3; // byte of a 32-bit pixel that holds alpha

// sum / weight for sum <= 17 x 255 and weight 1..17 without a division instruction:
// q = (sum x m) >> 22 with m = ceil(2^22 / weight) is exact while sum x 17 < 2^22.
constexpr std::array<uint32_t, 18> MakeReciprocals() {
    std::array<uint32_t, 18> r{};
    for (uint32_t w = 1; w < r.size(); ++w)
        r[w] = ((1u << 22) + w - 1) / w;
    return r;
}
constexpr std::array<uint32_t, 18> kReciprocal = MakeReciprocals();

} // namespace

void FillAlpha(CImageBitmap& stamp, uint8_t value) {
    const int width = stamp.GetWidth();
    uint8_t** lines = stamp.GetLines();
    for (int y = 0; y < stamp.GetHeight(); ++y) {
        uint8_t* p = lines[y];
        for (int x = 0; x < width; ++x)
            p[4 * x + kAlpha] = value;
    }
}

void ApplyKeyColour(CImageBitmap& stamp, uint32_t keyColour, uint8_t tolerance, uint8_t passes,
                    uint8_t opacity, bool grow) {
    const int kb = keyColour & 0xFF, kg = (keyColour >> 8) & 0xFF, kr = (keyColour >> 16) & 0xFF;
    const int width = stamp.GetWidth();
    uint8_t** lines = stamp.GetLines();
    for (int y = 0; y < stamp.GetHeight(); ++y) {
        uint8_t* p = lines[y];
        for (int x = 0; x < width; ++x, p += 4) {
            const bool keyed = std::abs(p[0] - kb) <= tolerance &&
                               std::abs(p[1] - kg) <= tolerance && std::abs(p[2] - kr) <= tolerance;
            p[kAlpha] = keyed ? 0 : opacity;
        }
    }
    if (passes != 0)
        FeatherAlpha(stamp, opacity, passes, grow);
}

void FeatherAlpha(CImageBitmap& stamp, uint8_t opacity, uint8_t passes, bool grow) {
    const int width = stamp.GetWidth();
    const int height = stamp.GetHeight();
    if (width <= 0 || height <= 0)
        return;
    const uint32_t fixed = grow ? opacity : 0;
    uint8_t** lines = stamp.GetLines();

    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < height; ++y) {
            uint8_t* row = lines[y] + kAlpha;
            const uint8_t* above = y > 0 ? lines[y - 1] + kAlpha : nullptr;
            const uint8_t* below = y + 1 < height ? lines[y + 1] + kAlpha : nullptr;
            for (int x = 0; x < width; ++x) {
                const uint32_t e = row[4 * x];
                if (e == fixed)
                    continue;
                uint32_t sum = e, weight = 1;
                auto add = [&](uint32_t v) {
                    const uint32_t twice = v == fixed;
                    sum += v << twice;
                    weight += 1 + twice;
                };
                const bool left = x > 0, right = x + 1 < width;
                if (left) {
                    add(row[4 * (x - 1)]);
                    if (above)
                        add(above[4 * (x - 1)]);
                    if (below)
                        add(below[4 * (x - 1)]);
                }
                if (right) {
                    add(row[4 * (x + 1)]);
                    if (above)
                        add(above[4 * (x + 1)]);
                    if (below)
                        add(below[4 * (x + 1)]);
                }
                if (above)
                    add(above[4 * x]);
                if (below)
                    add(below[4 * x]);

                uint32_t q = (sum * kReciprocal[weight]) >> 22;
                const uint32_t remainder = sum - q * weight;
                // Shrinking rounds up once the dropped fraction reaches a tenth.
                if (fixed == 0 && 10 * remainder >= weight)
                    ++q;
                row[4 * x] = uint8_t(q);
            }
        }
    }
}
