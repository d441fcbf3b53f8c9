#include "core/orientation.h"
#include "core/stampcompositing.h"
#include "core/stamppreparation.h"
#include "core/stampshape.h"
#include "testbitmaps.h"

#include <gtest/gtest.h>

namespace {

// A picture whose every pixel differs, so a misplaced pixel cannot pass unnoticed.
void Numbered(CImageBitmap& bitmap, int width, int height, uint32_t seed, uint8_t alpha = 255) {
    bitmap.Create(width, height, 32, false);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            SetPixel32(bitmap, x, y,
                       ((seed + uint32_t(y * 977 + x * 131)) & 0x00FFFFFFu) | uint32_t(alpha)
                                                                                  << 24);
}

bool SamePixels(const CImageBitmap& a, const CImageBitmap& b) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return false;
    for (int y = 0; y < a.GetHeight(); ++y)
        for (int x = 0; x < a.GetWidth(); ++x)
            if (a.GetPixel32(x, y) != b.GetPixel32(x, y))
                return false;
    return true;
}

// For every orientation and a spread of placements, some clipped: stamping the upright
// stamp onto the photo as displayed is the same as stamping the turned stamp into the
// stored grid by PlacementToStored and displaying that.
TEST(Orientation, StampingInTheStoredGridShowsAsStampingTheDisplayedPhoto) {
    CMemoryBitmap photo, stamp;
    Numbered(photo, 13, 8, 0x102030);
    Numbered(stamp, 5, 3, 0xA0B0C0, 200);
    const struct {
        uint8_t h, v;
        int32_t x, y;
    } placements[] = {{0, 0, 0, 0}, {2, 2, 1, 2},  {1, 1, 0, 0},  {0, 2, -2, 1},
                      {2, 0, 3, 0}, {1, 2, 0, -1}, {0, 0, 11, 6}, {2, 1, -20, 0}};
    for (int o = 1; o <= 8; ++o) {
        CMemoryBitmap displayed, turnedStamp, back;
        TurnToDisplayed(photo, displayed, o);
        ASSERT_EQ((CGridSize{displayed.GetWidth(), displayed.GetHeight()}),
                  DisplayedSize({13, 8}, o));
        // Turning back gives the stored grid again.
        TurnToStored(displayed, back, o);
        ASSERT_TRUE(SamePixels(back, photo)) << o;
        TurnToStored(stamp, turnedStamp, o);
        for (const auto& p : placements) {
            CMemoryBitmap expected, stored, shown;
            expected.ConvertFrom(displayed, 0);
            const CStampPlacement where =
                ComputeStampPlacement(stamp, expected, p.h, p.v, p.x, p.y);
            BlendStampPixels(stamp, expected, where);
            stored.ConvertFrom(photo, 0);
            BlendStampPixels(turnedStamp, stored, PlacementToStored(where, {5, 3}, {13, 8}, o));
            TurnToDisplayed(stored, shown, o);
            EXPECT_TRUE(SamePixels(shown, expected))
                << "orientation " << o << " align " << int(p.h) << "," << int(p.v) << " offset "
                << p.x << "," << p.y;
        }
    }
    // A picture larger than the walker's tiles: every displayed pixel is the stored pixel
    // the mapping names.
    CMemoryBitmap big;
    Numbered(big, 150, 97, 0x010203);
    for (int o = 1; o <= 8; ++o) {
        CMemoryBitmap displayed;
        TurnToDisplayed(big, displayed, o);
        int wrong = 0;
        for (int y = 0; y < displayed.GetHeight(); ++y)
            for (int x = 0; x < displayed.GetWidth(); ++x) {
                const CGridPoint s = DisplayedToStored({x, y}, {150, 97}, o);
                wrong += displayed.GetPixel32(x, y) != big.GetPixel32(s.x, s.y);
            }
        EXPECT_EQ(wrong, 0) << "orientation " << o;
    }
    // Out-of-range values are taken as stored.
    EXPECT_EQ(DisplayedToStored({2, 1}, {13, 8}, 0), (CGridPoint{2, 1}));
    EXPECT_EQ(DisplayedToStored({2, 1}, {13, 8}, 9), (CGridPoint{2, 1}));
    // Quarter turns: stored (0, 0) shows top right for 6, bottom left for 8.
    EXPECT_EQ(DisplayedToStored({7, 0}, {13, 8}, 6), (CGridPoint{0, 0}));
    EXPECT_EQ(DisplayedToStored({0, 12}, {13, 8}, 8), (CGridPoint{0, 0}));
}

TEST(StampSize, PercentOfWidthOrShorterSideKeepsTheAspect) {
    const struct {
        CGridSize stamp, photo;
        int32_t mode, percent;
        CGridSize expected;
    } cases[] = {
        {{200, 100}, {1000, 600}, 0, 20, {200, 100}}, // own size
        {{200, 100}, {1000, 600}, 1, 20, {200, 100}}, // already 20 % of the width
        {{200, 100}, {1000, 600}, 1, 10, {100, 50}},
        {{200, 100}, {1000, 600}, 2, 10, {60, 30}},   // longer side 10 % of 600
        {{100, 200}, {600, 1000}, 2, 10, {30, 60}},   // a tall stamp: its height
        {{100, 200}, {600, 1000}, 1, 50, {300, 600}}, // enlarging
        {{3, 1000}, {100, 100}, 1, 1, {1, 333}},      // no side below one pixel
        {{7, 3}, {333, 500}, 1, 15, {50, 21}},        // 49.95 and 21.4 rounded
        {{200, 100}, {0, 600}, 1, 20, {200, 100}},    // no photo: own size
    };
    for (const auto& c : cases) {
        const CGridSize got = ScaledStampSize(c.stamp, c.photo, c.mode, c.percent);
        EXPECT_EQ(got, c.expected) << c.stamp.width << "x" << c.stamp.height << " on "
                                   << c.photo.width << "x" << c.photo.height << " mode " << c.mode
                                   << " " << c.percent << "%: " << got.width << "x" << got.height;
    }
    EXPECT_EQ(ScaleOffset(10, {200, 100}, {100, 50}), 5);
    EXPECT_EQ(ScaleOffset(-15, {200, 100}, {100, 50}), -8); // halves away from zero
    EXPECT_EQ(ScaleOffset(99999, {200, 100}, {200, 100}), 99999);
}

// The stamp's own alpha times opacity and keying; opaque stamps keep today's bytes.
TEST(StampShaper, OwnTransparencyOpacityAndTheCopyRule) {
    CMemoryBitmap graded;
    Numbered(graded, 4, 2, 0x405060);
    graded.SetHasAlpha(true);
    const int alphas[] = {0, 1, 128, 255, 254, 77, 255, 3};
    for (int i = 0; i < 8; ++i)
        SetPixel32(graded, i % 4, i / 4,
                   (graded.GetPixel32(i % 4, i / 4) & 0xFFFFFFu) | uint32_t(alphas[i]) << 24);
    const std::vector<uint8_t> own = OwnAlphaOf(graded);
    ASSERT_EQ(own.size(), 8u);

    CStampLook look;
    look.opacity = 200;
    CStampShaper shaper(graded, own, look);
    const CShapedStamp shaped = shaper.ForPhoto({40, 40});
    ASSERT_TRUE(shaped.blend);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(int(shaped.bitmap->GetPixel32(i % 4, i / 4) >> 24), alphas[i] * 200 / 255) << i;
    // Colours are untouched by preparation.
    EXPECT_EQ(shaped.bitmap->GetPixel32(2, 1) & 0xFFFFFF, graded.GetPixel32(2, 1) & 0xFFFFFF);

    // Opaque: no own alpha, and the copy path, whatever the alpha bytes say.
    CMemoryBitmap opaque;
    Numbered(opaque, 4, 2, 0x405060, 0); // a 32-bit BMP's reserved bytes
    EXPECT_TRUE(OwnAlphaOf(opaque).empty());
    opaque.SetHasAlpha(true);
    Fill32(opaque, 0xFF123456u);
    EXPECT_TRUE(OwnAlphaOf(opaque).empty()); // alpha everywhere 255
    CStampShaper plain(opaque, {}, CStampLook{});
    EXPECT_FALSE(plain.ForPhoto({10, 10}).blend);
    // A key colour with nothing keyed blends to the same bytes as a copy.
    CStampLook keyed;
    keyed.keyColour = MakeKeyColour(1, 2, 3, true);
    CStampShaper keyShaper(opaque, {}, keyed);
    EXPECT_FALSE(keyShaper.ForPhoto({10, 10}).blend);
}

// Scaling premultiplied: a hard-edged white square on hidden black, and the reverse, shows
// no fringe over a background of its own colour; opacity comes after the scaling.
TEST(StampShaper, ScaledEdgesHaveNoFringeAndSizesAreScaledOnce) {
    for (const bool white : {true, false}) {
        const uint32_t ink = white ? 0xFFFFFFu : 0x000000u;
        const uint32_t hidden = white ? 0x000000u : 0xFFFFFFu;
        CMemoryBitmap stamp;
        stamp.Create(30, 30, 32, true);
        Fill32(stamp, hidden); // alpha 0 everywhere
        for (int y = 7; y < 23; ++y)
            for (int x = 7; x < 23; ++x)
                SetPixel32(stamp, x, y, ink | 0xFF000000u);
        CStampLook look;
        look.sizeMode = 1;
        for (const int percent : {7, 13, 20, 45, 90}) {
            look.sizePercent = percent;
            CStampShaper shaper(stamp, OwnAlphaOf(stamp), look);
            const CShapedStamp shaped = shaper.ForPhoto({100, 100});
            CMemoryBitmap photo;
            photo.Create(100, 100, 32, false);
            Fill32(photo, ink | 0xFF000000u);
            BlendStampPixels(*shaped.bitmap, photo,
                             ComputeStampPlacement(*shaped.bitmap, photo, 1, 1, 0, 0));
            int partial = 0;
            for (int y = 0; y < 100; ++y) {
                for (int x = 0; x < 100; ++x) {
                    ASSERT_EQ(photo.GetPixel32(x, y) & 0xFFFFFF, ink)
                        << (white ? "white " : "black ") << percent << "% at " << x << "," << y;
                }
            }
            for (int y = 0; y < shaped.bitmap->GetHeight(); ++y)
                for (int x = 0; x < shaped.bitmap->GetWidth(); ++x) {
                    const uint32_t a = shaped.bitmap->GetPixel32(x, y) >> 24;
                    partial += a != 0 && a != 255;
                }
            if (percent % 2) { // odd sizes cut the edge through pixels
                EXPECT_GT(partial, 0) << percent;
            }
        }
    }

    CMemoryBitmap stamp;
    Numbered(stamp, 20, 10, 0x010203);
    CStampLook look;
    look.sizeMode = 1;
    look.sizePercent = 10;
    look.opacity = 128;
    CStampShaper shaper(stamp, {}, look);
    const CShapedStamp a = shaper.ForPhoto({100, 80});
    const CShapedStamp b = shaper.ForPhoto({100, 50}); // same width: same stamp
    EXPECT_EQ(a.bitmap, b.bitmap);
    EXPECT_EQ(a.upright, (CGridSize{10, 5}));
    EXPECT_EQ(ScaleOffset(40, {20, 10}, a.upright), 20);
    EXPECT_EQ(int(a.bitmap->GetPixel32(3, 3) >> 24), 128); // opaque, then the opacity
    const CShapedStamp turned = shaper.ForPhoto({100, 80}, 6);
    EXPECT_EQ(turned.bitmap->GetWidth(), 5);
    EXPECT_EQ(turned.bitmap->GetHeight(), 10);
    EXPECT_EQ(shaper.ForPhoto({100, 80}, 6).bitmap, turned.bitmap);
}

} // namespace
