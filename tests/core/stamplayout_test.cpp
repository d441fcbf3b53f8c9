#include "core/stamplayout.h"
#include "testbitmaps.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

void Numbered(CImageBitmap& bitmap, int width, int height) {
    bitmap.Create(width, height, 32, true);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            SetPixel32(bitmap, x, y, uint32_t(y * 977 + x * 131 + 7) * 2654435761u);
}

// Quarter turns move pixels and nothing else, whichever way the angle is written.
TEST(TurnStamp, QuarterTurnsMovePixelsExactly) {
    CMemoryBitmap stamp;
    Numbered(stamp, 7, 4);
    const int w = 7, h = 4;
    // Where the turned picture's pixel (x, y) comes from, for an anticlockwise turn as seen.
    struct Case {
        int32_t degrees;
        int width, height;
        int (*sx)(int x, int y, int w, int h);
        int (*sy)(int x, int y, int w, int h);
    };
    const Case cases[] = {
        {0, 7, 4, [](int x, int, int, int) { return x; }, [](int, int y, int, int) { return y; }},
        {360, 7, 4, [](int x, int, int, int) { return x; }, [](int, int y, int, int) { return y; }},
        {90, 4, 7, [](int, int y, int w, int) { return w - 1 - y; },
         [](int x, int, int, int) { return x; }},
        {-270, 4, 7, [](int, int y, int w, int) { return w - 1 - y; },
         [](int x, int, int, int) { return x; }},
        {-90, 4, 7, [](int, int y, int, int) { return y; },
         [](int x, int, int, int h) { return h - 1 - x; }},
        {180, 7, 4, [](int x, int, int w, int) { return w - 1 - x; },
         [](int, int y, int, int h) { return h - 1 - y; }},
        {-180, 7, 4, [](int x, int, int w, int) { return w - 1 - x; },
         [](int, int y, int, int h) { return h - 1 - y; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.degrees);
        CMemoryBitmap turned;
        TurnStamp(stamp, turned, c.degrees);
        EXPECT_EQ(TurnedStampSize({w, h}, c.degrees), (CGridSize{c.width, c.height}));
        ASSERT_EQ(turned.GetWidth(), c.width);
        ASSERT_EQ(turned.GetHeight(), c.height);
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                ASSERT_EQ(turned.GetPixel32(x, y),
                          stamp.GetPixel32(c.sx(x, y, w, h), c.sy(x, y, w, h)))
                    << x << "," << y;
    }
}

// An independent reference: every box pixel is the average of 16 x 16 point samples, each
// taking the stamp pixel it falls in (nearest, transparent outside), premultiplied.
void SupersampledTurn(const CImageBitmap& stamp, CGridSize box, int32_t degrees,
                      std::vector<double>& alpha, std::vector<double>& red) {
    const double r = degrees * std::numbers::pi / 180.0;
    const double c = std::cos(r), s = std::sin(r);
    const int w = stamp.GetWidth(), h = stamp.GetHeight();
    alpha.assign(size_t(box.width) * box.height, 0.0);
    red.assign(alpha.size(), 0.0);
    constexpr int n = 16;
    for (int y = 0; y < box.height; ++y)
        for (int x = 0; x < box.width; ++x) {
            double a = 0, pr = 0;
            for (int j = 0; j < n; ++j)
                for (int i = 0; i < n; ++i) {
                    const double tx = x + (i + 0.5) / n - box.width / 2.0;
                    const double ty = y + (j + 0.5) / n - box.height / 2.0;
                    const double sx = tx * c - ty * s + w / 2.0;
                    const double sy = tx * s + ty * c + h / 2.0;
                    if (sx < 0 || sy < 0 || sx >= w || sy >= h)
                        continue;
                    const uint32_t p = stamp.GetPixel32(int(sx), int(sy));
                    const double pa = (p >> 24) / 255.0;
                    a += pa;
                    pr += pa * ((p >> 16) & 0xFF);
                }
            alpha[size_t(y) * box.width + x] = 255.0 * a / (n * n);
            red[size_t(y) * box.width + x] = pr / (n * n);
        }
}

// A turn by 45 degrees of a red bar with a soft shadow band: the expected box, the shape
// against the reference resampler, the total coverage kept (thin strokes do not fade), and
// no dark fringe where the edge is partly transparent.
TEST(TurnStamp, AnyAngleMatchesAReferenceResampler) {
    CMemoryBitmap stamp;
    stamp.Create(60, 20, 32, true);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 60; ++x) {
            const uint8_t a = y < 3 ? 255 : y < 17 ? uint8_t(255 - 12 * (y - 3)) : 255;
            SetPixel32(stamp, x, y, Bgra(0, 0, 255, x == 30 ? 255 : a));
        }
    for (int32_t degrees : {45, -30, 135}) {
        SCOPED_TRACE(degrees);
        CMemoryBitmap turned;
        TurnStamp(stamp, turned, degrees);
        const double r = std::abs(degrees) * std::numbers::pi / 180.0;
        const CGridSize box{
            int(std::ceil(60 * std::fabs(std::cos(r)) + 20 * std::fabs(std::sin(r)) - 1e-6)),
            int(std::ceil(60 * std::fabs(std::sin(r)) + 20 * std::fabs(std::cos(r)) - 1e-6))};
        ASSERT_EQ(turned.GetWidth(), box.width);
        ASSERT_EQ(turned.GetHeight(), box.height);
        std::vector<double> alpha, red;
        SupersampledTurn(stamp, box, degrees, alpha, red);
        double sumDiff = 0, sumOwn = 0, sumTurned = 0;
        for (int y = 0; y < box.height; ++y)
            for (int x = 0; x < box.width; ++x) {
                const uint32_t p = turned.GetPixel32(x, y);
                const double a = p >> 24;
                sumDiff += std::fabs(a - alpha[size_t(y) * box.width + x]);
                sumTurned += a;
                if (a > 0) {
                    // Straight colour stays pure red whatever the coverage.
                    EXPECT_EQ(p & 0x00FFFFFFu, 0x00FF0000u) << x << "," << y;
                }
            }
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 60; ++x)
                sumOwn += stamp.GetPixel32(x, y) >> 24;
        // Bilinear and box sampling differ only along edges, by a fraction of a level on
        // average over the stamp's area.
        EXPECT_LT(sumDiff / (60.0 * 20.0), 2.5);
        EXPECT_NEAR(sumTurned / sumOwn, 1.0, 0.01);
    }
}

// The grid against a brute-force reference for every alignment, with and without shifted
// rows: which copies show, that the single stamp is one of them, and that none overlaps.
TEST(StampPlacements, GridCoversThePictureFromTheSingleStampsPlace) {
    const CGridSize picture{101, 77};
    const CGridSize stamp{12, 7};
    for (bool offsetRows : {false, true})
        for (uint8_t h = 0; h < 3; ++h)
            for (uint8_t v = 0; v < 3; ++v) {
                SCOPED_TRACE(testing::Message() << int(h) << int(v) << offsetRows);
                const CStampTiling tiling{true, 50, offsetRows};
                const int32_t ox = h == 2 ? -9 : 5, oy = v == 2 ? -4 : 3;
                std::vector<int> hits(size_t(picture.width) * picture.height, 0);
                std::vector<CStampPlacement> seen;
                const int64_t count =
                    ForEachStampPlacement(stamp, picture, h, v, ox, oy, tiling,
                                          [&](const CStampPlacement& p) { seen.push_back(p); });
                ASSERT_EQ(count, int64_t(seen.size()));
                for (const CStampPlacement& p : seen) {
                    ASSERT_GT(p.width, 0);
                    ASSERT_GT(p.height, 0);
                    for (int y = 0; y < p.height; ++y)
                        for (int x = 0; x < p.width; ++x)
                            ++hits[size_t(p.targetY + y) * picture.width + p.targetX + x];
                }
                EXPECT_LE(*std::max_element(hits.begin(), hits.end()), 1);

                // Reference: step 18 x 11 (gap 50 %, rounded), anchored at the single stamp.
                const CGridPoint o = StampOrigin(stamp, picture, h, v, ox, oy);
                std::vector<CStampPlacement> expected;
                for (int row = -20; row <= 20; ++row)
                    for (int column = -20; column <= 20; ++column) {
                        const int x = o.x + column * 18 + (offsetRows && (row & 1) ? 9 : 0);
                        const int y = o.y + row * 11;
                        if (x + stamp.width > 0 && x < picture.width && y + stamp.height > 0 &&
                            y < picture.height)
                            expected.push_back(PlacementAt(stamp, picture, {x, y}));
                    }
                ASSERT_EQ(seen.size(), expected.size());
                auto key = [](const CStampPlacement& p) {
                    return std::tuple(p.targetY, p.targetX, p.sourceX, p.sourceY, p.width,
                                      p.height);
                };
                std::sort(expected.begin(), expected.end(),
                          [&](auto& a, auto& b) { return key(a) < key(b); });
                std::sort(seen.begin(), seen.end(),
                          [&](auto& a, auto& b) { return key(a) < key(b); });
                for (size_t i = 0; i < seen.size(); ++i)
                    ASSERT_EQ(key(seen[i]), key(expected[i])) << i;
                const CStampPlacement single = ComputeStampPlacement(
                    stamp.width, stamp.height, picture.width, picture.height, h, v, ox, oy);
                EXPECT_NE(std::find_if(seen.begin(), seen.end(),
                                       [&](auto& p) { return key(p) == key(single); }),
                          seen.end());
            }
}

TEST(StampPlacements, SingleStampOutsideThePictureGivesNone) {
    int visited = 0;
    EXPECT_EQ(ForEachStampPlacement({10, 10}, {50, 50}, 2, 2, 100, 0, {},
                                    [&](const CStampPlacement&) { ++visited; }),
              0);
    EXPECT_EQ(visited, 0);
    // Tiled, the same offsets still cover the picture.
    EXPECT_EQ(ForEachStampPlacement({10, 10}, {50, 50}, 2, 2, 100, 0, {true, 0, false},
                                    [&](const CStampPlacement&) { ++visited; }),
              25);
}

} // namespace
