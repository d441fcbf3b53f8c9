#include "core/stampcompositing.h"
#include "imagelib/dibbitmap.h"
#include "testbitmaps.h"

#include <gtest/gtest.h>

namespace {

CStampPlacement Place(int stampW, int stampH, int picW, int picH, uint8_t h, uint8_t v, int dx,
                      int dy) {
    CMemoryBitmap stamp, picture;
    stamp.Create(stampW, stampH, 32, false);
    picture.Create(picW, picH, 32, false);
    return ComputeStampPlacement(stamp, picture, h, v, dx, dy);
}

TEST(ComputeStampPlacement, AlignmentsOffsetsAndClipping) {
    const struct {
        const char* what;
        int stampW, stampH, picW, picH;
        uint8_t h, v;
        int dx, dy;
        CStampPlacement expected;
    } cases[] = {
        {"top left", 10, 20, 100, 50, 0, 0, 0, 0, {0, 0, 0, 0, 10, 20}},
        {"centre halves each width", 11, 11, 100, 100, 1, 1, 0, 0, {0, 0, 45, 45, 11, 11}},
        {"centre odd picture", 10, 10, 101, 99, 1, 1, 0, 0, {0, 0, 45, 44, 10, 10}},
        {"bottom right", 10, 20, 100, 50, 2, 2, 0, 0, {0, 0, 90, 30, 10, 20}},
        {"right pushed out by positive offset",
         20,
         10,
         100,
         50,
         2,
         0,
         10,
         0,
         {0, 0, 90, 0, 10, 10}},
        {"bottom pushed out by positive offset",
         10,
         20,
         100,
         50,
         0,
         2,
         0,
         5,
         {0, 0, 0, 35, 10, 15}},
        {"negative offset cuts the left", 20, 20, 100, 100, 0, 0, -5, -7, {5, 7, 0, 0, 15, 13}},
        {"oversize stamp centred", 300, 300, 100, 100, 1, 1, 0, 0, {100, 100, 0, 0, 100, 100}},
        {"oversize stamp top left", 300, 300, 100, 100, 0, 0, 0, 0, {0, 0, 0, 0, 100, 100}},
        {"right of the picture", 10, 10, 100, 100, 0, 0, 100, 0, {0, 0, 100, 0, 0, 10}},
        {"left of the picture", 10, 10, 100, 100, 0, 0, -10, 0, {10, 0, 0, 0, 0, 10}},
        {"far left of the picture", 10, 10, 100, 100, 0, 0, -25, 0, {25, 0, 0, 0, -15, 10}},
        {"below the picture", 10, 10, 100, 100, 1, 2, 0, 10, {0, 0, 45, 100, 10, 0}},
    };
    for (const auto& c : cases) {
        const CStampPlacement p = Place(c.stampW, c.stampH, c.picW, c.picH, c.h, c.v, c.dx, c.dy);
        EXPECT_EQ(p.sourceX, c.expected.sourceX) << c.what;
        EXPECT_EQ(p.sourceY, c.expected.sourceY) << c.what;
        EXPECT_EQ(p.targetX, c.expected.targetX) << c.what;
        EXPECT_EQ(p.targetY, c.expected.targetY) << c.what;
        EXPECT_EQ(p.width, c.expected.width) << c.what;
        EXPECT_EQ(p.height, c.expected.height) << c.what;
    }
}

TEST(ComputeStampPlacement, ExtremeOffsetsNeverWrapIntoThePicture) {
    for (int dx : {INT32_MIN, INT32_MAX}) {
        const CStampPlacement p = Place(10, 10, 100, 100, 2, 0, dx, 0);
        EXPECT_LE(p.width, 0) << dx;
    }
}

// Every pixel of the picture outside the placed rectangle must stay as it was.
struct Scene {
    CDIBSectionBitmap stamp, picture;
    Scene(int sw, int sh, int pw, int ph) {
        stamp.Create(sw, sh, 32, true);
        picture.Create(pw, ph, 32, false);
        for (int y = 0; y < sh; ++y)
            for (int x = 0; x < sw; ++x)
                SetPixel32(stamp, x, y, Bgra(uint8_t(x), uint8_t(y), 200, uint8_t(40 * x + y)));
        for (int y = 0; y < ph; ++y)
            for (int x = 0; x < pw; ++x)
                SetPixel32(picture, x, y, Bgra(uint8_t(3 * x), uint8_t(5 * y), 7, uint8_t(x ^ y)));
    }
    uint32_t Original(int x, int y) const {
        return Bgra(uint8_t(3 * x), uint8_t(5 * y), 7, uint8_t(x ^ y));
    }
};

TEST(CopyStampPixels, TakesColourIgnoresStampAlphaKeepsPictureAlpha) {
    Scene s(7, 5, 20, 9); // odd widths exercise the vector body and its tail
    const CStampPlacement p = ComputeStampPlacement(s.stamp, s.picture, 2, 1, -3, 1);
    CopyStampPixels(s.stamp, s.picture, p);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 20; ++x) {
            const uint32_t before = s.Original(x, y);
            const bool inside = x >= p.targetX && x < p.targetX + p.width && y >= p.targetY &&
                                y < p.targetY + p.height;
            uint32_t expected = before;
            if (inside) {
                const uint32_t st =
                    s.stamp.GetPixel32(p.sourceX + x - p.targetX, p.sourceY + y - p.targetY);
                expected = (st & 0x00FFFFFF) | (before & 0xFF000000);
            }
            ASSERT_EQ(s.picture.GetPixel32(x, y), expected) << x << "," << y;
        }
}

TEST(CopyStampPixels, EmptyRectangleChangesNothing) {
    Scene s(5, 5, 8, 8);
    CopyStampPixels(s.stamp, s.picture, 0, 0, 8, 0, 0, 5);
    BlendStampPixels(s.stamp, s.picture, 0, 0, 0, 0, 5, -2);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(s.picture.GetPixel32(x, y), s.Original(x, y));
}

uint8_t BlendOne(uint8_t s, uint8_t d, uint8_t a, int width = 1) {
    CMemoryBitmap stamp, picture;
    stamp.Create(width, 1, 32, true);
    picture.Create(width, 1, 32, false);
    Fill32(stamp, Bgra(s, s, s, a));
    Fill32(picture, Bgra(d, d, d, 99));
    BlendStampPixels(stamp, picture, 0, 0, 0, 0, width, 1);
    const uint32_t out = picture.GetPixel32(width - 1, 0);
    EXPECT_EQ(out >> 24, 99u) << "picture alpha changed";
    EXPECT_EQ(out & 0xFF, (out >> 8) & 0xFF);
    return uint8_t(out & 0xFF);
}

TEST(BlendStampPixels, FormulaFixedPoints) {
    const struct {
        uint8_t s, d, a, expected;
    } cases[] = {
        {255, 0, 128, 128}, {0, 255, 128, 127}, {255, 0, 1, 1},     {17, 200, 255, 17},
        {17, 200, 0, 200},  {0, 0, 77, 0},      {255, 255, 3, 255}, {100, 50, 254, 99},
    };
    for (const auto& c : cases)
        for (int width : {1, 4, 9}) // scalar path and the four-pixel path
            EXPECT_EQ(BlendOne(c.s, c.d, c.a, width), c.expected)
                << int(c.s) << " over " << int(c.d) << " at " << int(c.a) << ", width " << width;
}

// The four-pixel path must agree with the integer formula for every value.
TEST(BlendStampPixels, AgreesWithTheFormulaEverywhere) {
    CMemoryBitmap stamp, picture;
    stamp.Create(256, 256, 32, true);
    picture.Create(256, 256, 32, false);
    for (int a = 0; a < 256; ++a)
        for (int v = 0; v < 256; ++v) {
            SetPixel32(stamp, v, a, Bgra(uint8_t(v), uint8_t(255 - v), uint8_t(v / 2), uint8_t(a)));
            SetPixel32(picture, v, a, Bgra(uint8_t(255 - v), uint8_t(v), uint8_t(a), 5));
        }
    BlendStampPixels(stamp, picture, 0, 0, 0, 0, 256, 256);
    for (int a = 0; a < 256; ++a)
        for (int v = 0; v < 256; ++v) {
            const int s[3] = {v, 255 - v, v / 2};
            const int d[3] = {255 - v, v, a};
            const uint32_t out = picture.GetPixel32(v, a);
            for (int ch = 0; ch < 3; ++ch) {
                const int expected = a == 0 ? d[ch] : (s[ch] * a + (255 - a) * d[ch]) / 255;
                ASSERT_EQ(int((out >> (8 * ch)) & 0xFF), expected) << "a=" << a << " v=" << v;
            }
            ASSERT_EQ(out >> 24, 5u);
        }
}

} // namespace
