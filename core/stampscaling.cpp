#include "core/stampscaling.h"

#include "imagelib/bitmap.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// The source pixels that make one target pixel, with their weights summing to 1.
struct Tap {
    int32_t first = 0;
    std::vector<float> weights;
};

std::vector<Tap> AxisTaps(int32_t from, int32_t to) {
    std::vector<Tap> taps(static_cast<size_t>(to));
    if (to < from) {
        // Each target pixel covers from / to source pixels: [i x ratio, (i + 1) x ratio).
        const double ratio = double(from) / to;
        for (int32_t i = 0; i < to; ++i) {
            const double begin = i * ratio, end = std::min<double>((i + 1) * ratio, from);
            const int32_t first = int32_t(std::floor(begin));
            Tap& tap = taps[size_t(i)];
            tap.first = first;
            for (int32_t j = first; j < from && j < end; ++j) {
                const double covered = std::min<double>(end, j + 1) - std::max<double>(begin, j);
                tap.weights.push_back(float(covered / ratio));
            }
        }
        return taps;
    }
    // Growing (or equal): linear between the two source centres around the target centre.
    const double ratio = double(from) / to;
    for (int32_t i = 0; i < to; ++i) {
        const double centre = (i + 0.5) * ratio - 0.5;
        const double floorCentre = std::floor(centre);
        const float fraction = float(centre - floorCentre);
        const int32_t left = std::clamp(int32_t(floorCentre), 0, from - 1);
        const int32_t right = std::clamp(int32_t(floorCentre) + 1, 0, from - 1);
        Tap& tap = taps[size_t(i)];
        if (fraction == 0 || left == right) {
            tap.first = fraction == 0 ? left : std::min(left, right);
            tap.weights = {1.0f};
        } else {
            tap.first = left;
            tap.weights = {1 - fraction, fraction};
        }
    }
    return taps;
}

} // namespace

void ScaleStampBitmap(const CImageBitmap& source, CImageBitmap& target, int32_t width,
                      int32_t height) {
    const int32_t sw = source.GetWidth(), sh = source.GetHeight();
    width = std::max(width, 1);
    height = std::max(height, 1);
    target.Create(width, height, 32, source.HasAlpha());
    if (sw <= 0 || sh <= 0)
        return;
    const std::vector<Tap> across = AxisTaps(sw, width);
    const std::vector<Tap> down = AxisTaps(sh, height);

    // Pass 1: every source row to the target width, premultiplied, as blue, green, red,
    // alpha floats.
    std::vector<float> rows(size_t(width) * size_t(sh) * 4);
    const uint8_t* const* in = source.GetLines();
    for (int32_t y = 0; y < sh; ++y) {
        const uint8_t* row = in[y];
        float* out = &rows[size_t(y) * size_t(width) * 4];
        for (int32_t x = 0; x < width; ++x, out += 4) {
            const Tap& tap = across[size_t(x)];
            float b = 0, g = 0, r = 0, a = 0;
            for (size_t k = 0; k < tap.weights.size(); ++k) {
                const uint8_t* p = row + 4 * (size_t(tap.first) + k);
                const float wa = tap.weights[k] * p[3];
                b += wa * p[0];
                g += wa * p[1];
                r += wa * p[2];
                a += wa;
            }
            out[0] = b;
            out[1] = g;
            out[2] = r;
            out[3] = a;
        }
    }

    // Pass 2: down the columns, then back to straight bytes.
    uint8_t** lines = target.GetLines();
    std::vector<float> sum(size_t(width) * 4);
    for (int32_t y = 0; y < height; ++y) {
        const Tap& tap = down[size_t(y)];
        std::fill(sum.begin(), sum.end(), 0.0f);
        for (size_t k = 0; k < tap.weights.size(); ++k) {
            const float w = tap.weights[k];
            const float* row = &rows[(size_t(tap.first) + k) * size_t(width) * 4];
            for (size_t i = 0; i < sum.size(); ++i)
                sum[i] += w * row[i];
        }
        uint8_t* out = lines[y];
        for (int32_t x = 0; x < width; ++x, out += 4) {
            const float* s = &sum[size_t(x) * 4];
            const long alpha = std::lround(s[3]);
            out[3] = uint8_t(std::clamp<long>(alpha, 0, 255));
            // Colour is premultiplied by alpha x 255; unpremultiply by the unrounded alpha.
            for (int c = 0; c < 3; ++c)
                out[c] = s[3] > 0 ? uint8_t(std::clamp<long>(std::lround(s[c] / s[3]), 0, 255)) : 0;
        }
    }
}
