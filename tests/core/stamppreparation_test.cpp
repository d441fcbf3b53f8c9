#include "core/stamppreparation.h"
#include "imagelib/dibbitmap.h"
#include "testbitmaps.h"

#include <gtest/gtest.h>

namespace {

void MakeRow(CImageBitmap& bmp, const std::vector<int>& alphas) {
    bmp.Create(int(alphas.size()), 1, 32, true);
    Fill32(bmp, Bgra(1, 2, 3, 0));
    SetAlphaRow(bmp, 0, alphas);
}

TEST(FeatherFromSetting, PassesAreTheDistanceFromTen) {
    EXPECT_EQ(FeatherFromSetting(10).passes, 0);
    EXPECT_EQ(FeatherFromSetting(0).passes, 10);
    EXPECT_TRUE(FeatherFromSetting(0).grow);
    EXPECT_EQ(FeatherFromSetting(9).passes, 1);
    EXPECT_TRUE(FeatherFromSetting(9).grow);
    EXPECT_EQ(FeatherFromSetting(20).passes, 10);
    EXPECT_FALSE(FeatherFromSetting(20).grow);
    EXPECT_FALSE(FeatherFromSetting(10).grow);
}

TEST(ApplyKeyColour, KeyingIsPerChannelAndInclusive) {
    const uint32_t key = MakeKeyColour(100, 100, 100, true);
    const struct {
        uint32_t pixel;
        uint8_t tolerance;
        bool keyed;
    } cases[] = {
        {Bgra(105, 95, 100, 9), 5, true},  {Bgra(106, 100, 100, 9), 5, false},
        {Bgra(100, 100, 94, 9), 5, false}, {Bgra(110, 90, 110, 9), 10, true},
        {Bgra(100, 100, 100, 9), 0, true}, {Bgra(101, 100, 100, 9), 0, false},
        {Bgra(0, 255, 0, 9), 255, true},
    };
    for (const auto& c : cases) {
        CMemoryBitmap bmp;
        bmp.Create(1, 1, 32, true);
        SetPixel32(bmp, 0, 0, c.pixel);
        ApplyKeyColour(bmp, key, c.tolerance, 0, 200, false);
        EXPECT_EQ(bmp.GetPixel32(0, 0), (c.pixel & 0x00FFFFFF) | uint32_t(c.keyed ? 0 : 200) << 24)
            << std::hex << c.pixel << " tolerance " << std::dec << int(c.tolerance);
    }
}

TEST(ApplyKeyColour, FlagByteIsIgnoredAndFeatherTenKeysOnly) {
    CDIBSectionBitmap bmp;
    bmp.Create(4, 4, 32, true);
    Fill32(bmp, Bgra(0, 0, 0, 0));
    SetPixel32(bmp, 1, 1, Bgra(50, 60, 70, 0));
    const CFeather f = FeatherFromSetting(10);
    ApplyKeyColour(bmp, MakeKeyColour(0, 0, 0, false) | 0xAB000000u, 0, f.passes, 180, f.grow);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(bmp.GetPixel32(x, y) >> 24, (x == 1 && y == 1) ? 180u : 0u);
}

TEST(FeatherAlpha, WorkedRows) {
    const struct {
        const char* what;
        std::vector<int> before;
        uint8_t opacity;
        bool grow;
        std::vector<int> after;
    } cases[] = {
        {"grow sees updated left neighbour", {255, 0, 0}, 255, true, {255, 127, 63}},
        {"shrink rounds up from a tenth", {255, 255, 0}, 255, false, {255, 128, 0}},
        {"single pixel never changes", {77}, 255, false, {77}},
        {"grow fixed value is the opacity", {100, 0}, 100, true, {100, 66}},
        {"opacity 0 keyed everywhere", {0, 0, 0}, 0, false, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        CMemoryBitmap bmp;
        MakeRow(bmp, c.before);
        FeatherAlpha(bmp, c.opacity, 1, c.grow);
        EXPECT_EQ(AlphaRow(bmp, 0), c.after) << c.what;
        EXPECT_EQ(bmp.GetPixel32(0, 0) & 0x00FFFFFF, Bgra(1, 2, 3, 0)) << "colour changed";
    }
}

// A 3 x 3 block computed by hand in visiting order, using all eight neighbours.
TEST(FeatherAlpha, ShrinkOverABlockUsesUpdatedNeighbours) {
    CMemoryBitmap bmp;
    bmp.Create(3, 3, 32, true);
    SetAlphaRow(bmp, 0, {255, 255, 255});
    SetAlphaRow(bmp, 1, {255, 255, 255});
    SetAlphaRow(bmp, 2, {0, 0, 0});
    FeatherAlpha(bmp, 255, 1, false);
    // (0,0): 255 + 255 + 255 + 255 = 1020 / 4 = 255.
    // (0,1): e 255, up 255, up-right 255, right 255, below 0,0 doubled -> 1020 / 8 = 127 r4,
    //        rounds up to 128. (1,1): 255 + left 128 + ul 255 + ll 0x2 + r 255 + ur 255 +
    //        lr 0x2 + up 255 + below 0x2 -> 1403 / 12 = 116 r11 -> 117.
    // (2,1): 255 + left 117 + ul 255 + ll 0x2 + up 255 + below 0x2 -> 882 / 8 = 110 r2 -> 111.
    EXPECT_EQ(AlphaRow(bmp, 0), (std::vector<int>{255, 255, 255}));
    EXPECT_EQ(AlphaRow(bmp, 1), (std::vector<int>{128, 117, 111}));
    EXPECT_EQ(AlphaRow(bmp, 2), (std::vector<int>{0, 0, 0}));
}

TEST(Preparation, RepeatingGivesTheSameAlphaWhateverCameBefore) {
    CDIBBitmap a, b;
    for (CDIBBitmap* bmp : {&a, &b}) {
        bmp->Create(23, 17, 32, true);
        for (int y = 0; y < 17; ++y)
            for (int x = 0; x < 23; ++x) {
                const bool key = (x - 11) * (x - 11) + (y - 8) * (y - 8) > 30;
                SetPixel32(*bmp, x, y, key ? Bgra(0, 255, 0, 13) : Bgra(uint8_t(x), 20, 30, 200));
            }
    }
    const uint32_t key = MakeKeyColour(0, 255, 0, true);
    FillAlpha(b, 3); // a previous, different preparation
    ApplyKeyColour(b, key, 40, 3, 128, true);
    for (int i = 0; i < 2; ++i) {
        ApplyKeyColour(a, key, 40, 3, 128, true);
        for (int y = 0; y < 17; ++y)
            ASSERT_EQ(AlphaRow(a, y), AlphaRow(b, y)) << "row " << y << " round " << i;
    }
    FillAlpha(a, 42);
    for (int y = 0; y < 17; ++y)
        EXPECT_EQ(AlphaRow(a, y), std::vector<int>(23, 42));
}

} // namespace
