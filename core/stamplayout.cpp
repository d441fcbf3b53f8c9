#include "core/stamplayout.h"

#include "imagelib/bitmap.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr int kAlpha = 3;

// Whole turns taken out, so that -270 and 90 are the same quarter turn.
int32_t NormalAngle(int32_t degrees) {
    int32_t a = degrees % 360;
    if (a > 180)
        a -= 360;
    else if (a <= -180)
        a += 360;
    return a;
}

// The EXIF orientation whose turn to the displayed frame is this quarter turn, 0 if none.
int QuarterTurnOrientation(int32_t angle) {
    switch (angle) {
    case 90:
        return 8; // a quarter anticlockwise
    case -90:
        return 6;
    case 180:
        return 3;
    default:
        return 0;
    }
}

int64_t FloorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

// A turned box side: the exact sum can come out a hair above a whole number at angles whose
// sine and cosine are not exact, which must not add a pixel.
int32_t BoxSide(double side) {
    return std::max<int32_t>(1, int32_t(std::ceil(side - 1e-6)));
}

} // namespace

CGridSize TurnedStampSize(CGridSize stamp, int32_t degrees) {
    const int32_t angle = NormalAngle(degrees);
    if (angle == 0 || angle == 180)
        return stamp;
    if (angle == 90 || angle == -90)
        return {stamp.height, stamp.width};
    const double radians = angle * std::numbers::pi / 180.0;
    const double c = std::fabs(std::cos(radians));
    const double s = std::fabs(std::sin(radians));
    return {BoxSide(stamp.width * c + stamp.height * s),
            BoxSide(stamp.width * s + stamp.height * c)};
}

void TurnStamp(const CImageBitmap& upright, CImageBitmap& turned, int32_t degrees) {
    const int32_t angle = NormalAngle(degrees);
    const CGridSize own{upright.GetWidth(), upright.GetHeight()};
    if (angle == 0) {
        turned.ConvertFrom(upright, 32);
        turned.SetHasAlpha(true);
        return;
    }
    if (const int orientation = QuarterTurnOrientation(angle)) {
        TurnToDisplayed(upright, turned, orientation);
        turned.SetHasAlpha(true);
        return;
    }

    const int32_t w = own.width;
    const int32_t h = own.height;
    // The stamp premultiplied once, with a transparent border one pixel wide, so that every
    // bilinear sample reads four pixels without a bounds test and the edges fade out.
    const int32_t pw = w + 2;
    const int32_t ph = h + 2;
    std::vector<float> pre(size_t(pw) * size_t(ph) * 4, 0.0f);
    const uint8_t* const* in = upright.GetLines();
    for (int32_t y = 0; y < h; ++y) {
        float* row = &pre[(size_t(y + 1) * pw + 1) * 4];
        for (int32_t x = 0; x < w; ++x) {
            const uint8_t* p = in[y] + 4 * x;
            const float a = p[kAlpha] * (1.0f / 255.0f);
            row[4 * x + 0] = p[0] * a;
            row[4 * x + 1] = p[1] * a;
            row[4 * x + 2] = p[2] * a;
            row[4 * x + 3] = a;
        }
    }

    const CGridSize box = TurnedStampSize(own, angle);
    turned.Create(box.width, box.height, 32, true);
    const double radians = angle * std::numbers::pi / 180.0;
    const double c = std::cos(radians);
    const double s = std::sin(radians);
    // Box pixel centre -> stamp coordinates (in the padded grid, pixel centres at whole
    // numbers): the inverse turn about both centres. On screen y grows downwards, so an
    // anticlockwise turn as seen takes (dx, dy) to (dx c + dy s, -dx s + dy c).
    const double boxCx = box.width / 2.0;
    const double boxCy = box.height / 2.0;
    const double ownCx = w / 2.0 + 1.0 - 0.5;
    const double ownCy = h / 2.0 + 1.0 - 0.5;
    uint8_t** out = turned.GetLines();
    for (int32_t y = 0; y < box.height; ++y) {
        const double ty = y + 0.5 - boxCy;
        uint8_t* o = out[y];
        for (int32_t x = 0; x < box.width; ++x, o += 4) {
            const double tx = x + 0.5 - boxCx;
            const double sx = tx * c - ty * s + ownCx;
            const double sy = tx * s + ty * c + ownCy;
            // Outside the padded grid's inner pixel centres nothing of the stamp reaches.
            if (!(sx >= 0.0 && sy >= 0.0 && sx < pw - 1 && sy < ph - 1)) {
                o[0] = o[1] = o[2] = o[kAlpha] = 0;
                continue;
            }
            const int32_t x0 = int32_t(sx);
            const int32_t y0 = int32_t(sy);
            const float fx = float(sx - x0);
            const float fy = float(sy - y0);
            const float* p00 = &pre[(size_t(y0) * pw + x0) * 4];
            const float* p10 = p00 + 4;
            const float* p01 = p00 + size_t(pw) * 4;
            const float* p11 = p01 + 4;
            float v[4];
            for (int k = 0; k < 4; ++k) {
                const float top = p00[k] + (p10[k] - p00[k]) * fx;
                const float bottom = p01[k] + (p11[k] - p01[k]) * fx;
                v[k] = top + (bottom - top) * fy;
            }
            const float a = v[3];
            const int alpha = int(std::lround(a * 255.0f));
            o[kAlpha] = uint8_t(std::clamp(alpha, 0, 255));
            if (alpha == 0) {
                o[0] = o[1] = o[2] = 0;
                continue;
            }
            for (int k = 0; k < 3; ++k)
                o[k] = uint8_t(std::clamp(int(std::lround(v[k] / a)), 0, 255));
        }
    }
}

CGridPoint StampOrigin(CGridSize stamp, CGridSize picture, uint8_t halign, uint8_t valign,
                       int32_t offsetX, int32_t offsetY) {
    // The same rule as the single placement: each size halved on its own.
    auto axis = [](int32_t stampSize, int32_t pictureSize, uint8_t align, int32_t offset) {
        int64_t p = offset;
        if (align == 1)
            p += pictureSize / 2 - stampSize / 2;
        else if (align == 2)
            p += pictureSize - stampSize;
        return int32_t(std::clamp<int64_t>(p, INT32_MIN / 2, INT32_MAX / 2));
    };
    return {axis(stamp.width, picture.width, halign, offsetX),
            axis(stamp.height, picture.height, valign, offsetY)};
}

CStampPlacement PlacementAt(CGridSize stamp, CGridSize picture, CGridPoint origin) {
    return ComputeStampPlacement(stamp.width, stamp.height, picture.width, picture.height, 0, 0,
                                 origin.x, origin.y);
}

int64_t ForEachStampPlacement(CGridSize stamp, CGridSize picture, uint8_t halign, uint8_t valign,
                              int32_t offsetX, int32_t offsetY, const CStampTiling& tiling,
                              const std::function<void(const CStampPlacement&)>& visit) {
    if (stamp.width <= 0 || stamp.height <= 0 || picture.width <= 0 || picture.height <= 0)
        return 0;
    const CGridPoint origin = StampOrigin(stamp, picture, halign, valign, offsetX, offsetY);
    if (!tiling.enabled) {
        const CStampPlacement single = PlacementAt(stamp, picture, origin);
        if (single.width <= 0 || single.height <= 0)
            return 0;
        visit(single);
        return 1;
    }
    const int64_t gap = std::clamp(tiling.gapPercent, 0, kMaxTileGapPercent);
    const int64_t stepX = stamp.width + (int64_t(stamp.width) * gap + 50) / 100;
    const int64_t stepY = stamp.height + (int64_t(stamp.height) * gap + 50) / 100;
    // Rows whose copies reach into the picture: origin + j step in (-height, picture height).
    const int64_t firstRow = FloorDiv(-int64_t(stamp.height) - origin.y, stepY) + 1;
    const int64_t lastRow = FloorDiv(int64_t(picture.height) - origin.y - 1, stepY);
    int64_t count = 0;
    for (int64_t row = firstRow; row <= lastRow; ++row) {
        const int64_t shift = tiling.offsetRows && (row & 1) ? stepX / 2 : 0;
        const int64_t x0 = origin.x + shift;
        const int64_t firstColumn = FloorDiv(-int64_t(stamp.width) - x0, stepX) + 1;
        const int64_t lastColumn = FloorDiv(int64_t(picture.width) - x0 - 1, stepX);
        const int32_t y = int32_t(origin.y + row * stepY);
        for (int64_t column = firstColumn; column <= lastColumn; ++column) {
            visit(PlacementAt(stamp, picture, {int32_t(x0 + column * stepX), y}));
            ++count;
        }
    }
    return count;
}
