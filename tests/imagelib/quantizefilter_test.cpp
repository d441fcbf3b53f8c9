#include "imagelib/dibbitmap.h"
#include "imagelib/quantizefilter.h"
#include "testbitmaps.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

// A colour that a single histogram cell reproduces exactly: 5-bit levels spread to 8 bits.
uint32_t Level(int r, int g, int b) {
    return Bgra(uint8_t(b * 255 / 31), uint8_t(g * 255 / 31), uint8_t(r * 255 / 31), 255);
}

// width x 1 picture with each colour repeated counts[i] times, in order.
void MakeRun(CImageBitmap& bmp, const std::vector<uint32_t>& colours,
             const std::vector<int>& counts) {
    int width = 0;
    for (int n : counts)
        width += n;
    bmp.Create(width, 1, 32, false);
    int x = 0;
    for (size_t i = 0; i < colours.size(); ++i)
        for (int k = 0; k < counts[i]; ++k)
            SetPixel32(bmp, x++, 0, colours[i]);
}

// A picture that visits every part of the colour cube, with smooth and busy regions.
void MakeGradient(CImageBitmap& bmp) {
    bmp.Create(96, 64, 32, false);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 96; ++x)
            SetPixel32(bmp, x, y,
                       Bgra(uint8_t(x * 255 / 95), uint8_t(y * 255 / 63),
                            uint8_t((x * 7 + y * 13) & 0xFF), 255));
}

int Channel(uint32_t c, int shift) {
    return int(c >> shift & 0xFF);
}

uint32_t MappedColour(const CImageBitmap& out, int x, int y) {
    return out.GetPalette()[out.GetLines()[y][x]];
}

const uint32_t kCorners[8] = {0xFF000000, 0xFF0000FF, 0xFF00FF00, 0xFF00FFFF,
                              0xFFFF0000, 0xFFFF00FF, 0xFFFFFF00, 0xFFFFFFFF};

TEST(QuantizeFilter, FewColoursMapExactlyUnderAdaptiveModes) {
    const std::vector<uint32_t> colours = {Level(3, 17, 29), Level(30, 2, 9),   Level(12, 12, 12),
                                           Level(0, 31, 6),  Level(12, 13, 12), 0xFFFFFFFF,
                                           0xFF000000};
    CMemoryBitmap src;
    MakeRun(src, colours, {40, 3, 1, 17, 2, 5, 1});
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        CMemoryBitmap out;
        CQuantizeFilter(mode, 0).Apply(src, out);
        ASSERT_EQ(out.GetBitsPerPixel(), 8);
        ASSERT_EQ(out.GetWidth(), src.GetWidth());
        for (int x = 0; x < src.GetWidth(); ++x)
            ASSERT_EQ(MappedColour(out, x, 0), src.GetPixel32(x, 0)) << "x " << x;
        // Unused entries are black too; the first of equals wins.
        EXPECT_EQ(out.GetLines()[0][src.GetWidth() - 1], 0);
    }
}

TEST(QuantizeFilter, AdaptiveModesPutTheCubeCornersFirst) {
    CMemoryBitmap src;
    MakeGradient(src);
    for (int mode : {0, 1}) {
        CMemoryBitmap out;
        CQuantizeFilter(mode, 0).Apply(src, out);
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(out.GetPalette()[i], kCorners[i]) << "mode " << mode << " entry " << i;
    }
}

TEST(QuantizeFilter, MedianCutSplitsAtTheCountWeightedMean) {
    // Red levels 2, 3, 20 weighted 100, 100, 1: the mean cut separates 2 first, then 3
    // from 20, so the boxes come out in that order. A cut at the middle of the range
    // would give 2, 20, 3. The free entries stay black.
    CMemoryBitmap src;
    MakeRun(src, {Level(2, 5, 5), Level(3, 5, 5), Level(20, 5, 5)}, {100, 100, 1});
    CMemoryBitmap out;
    CQuantizeFilter(0, 0).Apply(src, out);
    EXPECT_EQ(out.GetPalette()[8], Level(2, 5, 5));
    EXPECT_EQ(out.GetPalette()[9], Level(3, 5, 5));
    EXPECT_EQ(out.GetPalette()[10], Level(20, 5, 5));
    for (int i = 11; i < 256; ++i)
        ASSERT_EQ(out.GetPalette()[i], 0xFF000000u) << i;
}

TEST(QuantizeFilter, PopularityOrdersCellsByCountThenIndex) {
    CMemoryBitmap src;
    // Two pixels in one cell count once per pixel, whatever their low bits.
    MakeRun(src, {Level(9, 9, 9), Level(1, 2, 3), Level(4, 4, 4), Level(2, 2, 2), 0xFF4A4A4A},
            {2, 5, 1, 1, 2});
    CMemoryBitmap out;
    CQuantizeFilter(1, 0).Apply(src, out);
    EXPECT_EQ(out.GetPalette()[8], Level(1, 2, 3));
    EXPECT_EQ(out.GetPalette()[9], Level(9, 9, 9)); // 0x4A is level 9 too: 4 pixels
    EXPECT_EQ(out.GetPalette()[10], Level(2, 2, 2));
    EXPECT_EQ(out.GetPalette()[11], Level(4, 4, 4));
    EXPECT_EQ(out.GetPalette()[12], 0xFF000000u);
}

TEST(QuantizeFilter, CellCountsStopAt65535) {
    // 65 600 pixels of one cell must still outrank 300 of another, not wrap below them.
    CMemoryBitmap src;
    MakeRun(src, {Level(20, 3, 3), Level(3, 20, 3)}, {65600, 300});
    CMemoryBitmap out;
    CQuantizeFilter(1, 0).Apply(src, out);
    EXPECT_EQ(out.GetPalette()[8], Level(20, 3, 3));
    EXPECT_EQ(out.GetPalette()[9], Level(3, 20, 3));
}

struct ErrorCase {
    int quantizeMode;
    int ditherMode;
    double meanLimit; // mean absolute error per channel
    int maxLimit;     // largest single-channel error
};

class EveryMode : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(EveryMode, PaletteIsFullAndOpaqueAndColoursStayClose) {
    const ErrorCase& c = GetParam();
    CMemoryBitmap src;
    MakeGradient(src);
    CDIBBitmap out; // padded bottom-up rows
    CQuantizeFilter(c.quantizeMode, c.ditherMode).Apply(src, out);
    ASSERT_EQ(out.GetBitsPerPixel(), 8);
    ASSERT_EQ(out.GetWidth(), 96);
    ASSERT_EQ(out.GetHeight(), 64);
    EXPECT_FALSE(out.HasAlpha());
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(out.GetPalette()[i] >> 24, 255u) << i;
    long total = 0;
    int worst = 0;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 96; ++x)
            for (int shift : {0, 8, 16}) {
                const int e = std::abs(Channel(MappedColour(out, x, y), shift) -
                                       Channel(src.GetPixel32(x, y), shift));
                total += e;
                worst = std::max(worst, e);
            }
    EXPECT_LE(double(total) / (96 * 64 * 3), c.meanLimit);
    EXPECT_LE(worst, c.maxLimit);
}

INSTANTIATE_TEST_SUITE_P(
    QuantizeFilter, EveryMode,
    // Bounds a little above what the filter reaches; undithered fixed-palette error is at
    // most half a cube step (25.5) plus the cell's own rounding (8).
    ::testing::Values(ErrorCase{0, 0, 9.5, 40}, ErrorCase{1, 0, 10.5, 64},
                      ErrorCase{2, 0, 13.5, 34}, ErrorCase{0, 1, 11, 56}, ErrorCase{1, 1, 12, 76},
                      ErrorCase{2, 1, 15.5, 52}, ErrorCase{0, 2, 11.5, 84},
                      ErrorCase{1, 2, 12.5, 100}, ErrorCase{2, 2, 16.5, 60}));

TEST(QuantizeFilter, DitheringKeepsAFlatGreysAverage) {
    // Grey 128 has no exact entry in the fixed palette; undithered it lands on one
    // neighbour, dithered the neighbours mix towards the grey.
    CMemoryBitmap src;
    src.Create(64, 64, 32, false);
    Fill32(src, Bgra(128, 128, 128, 255));
    for (int dither : {0, 1, 2}) {
        SCOPED_TRACE(dither);
        CMemoryBitmap out;
        CQuantizeFilter(2, dither).Apply(src, out);
        double worst = 0;
        for (int shift : {0, 8, 16}) {
            long sum = 0;
            for (int y = 0; y < 64; ++y)
                for (int x = 0; x < 64; ++x)
                    sum += Channel(MappedColour(out, x, y), shift);
            worst = std::max(worst, std::abs(double(sum) / (64 * 64) - 128));
        }
        if (dither == 0)
            EXPECT_GT(worst, 20); // the test needs a grey the palette lacks
        else
            EXPECT_LT(worst, dither == 2 ? 0.6 : 4.0);
    }
}

TEST(QuantizeFilter, OrderedDitherTakesTheMatrixRowFromY) {
    // Grey 124 lies in cell 15, four below cell 16; the palette holds both cells (the
    // bottom row supplies cell 16). A matrix value of 2 or more lifts a pixel into cell
    // 16, anything less leaves it nearest to cell 15. The matrix is not symmetric, so a
    // transposed lookup shows.
    static const int kMatrix[4][4] = {
        {-7, 1, -5, 3}, {5, -3, 7, -1}, {-4, 4, -6, 2}, {8, 0, 6, -2}};
    CMemoryBitmap src;
    src.Create(4, 5, 32, false);
    Fill32(src, Bgra(124, 124, 124, 255));
    for (int x = 0; x < 4; ++x)
        SetPixel32(src, x, 4, Level(16, 16, 16));
    CMemoryBitmap out;
    CQuantizeFilter(1, 1).Apply(src, out);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const int cell = kMatrix[y][x] >= 2 ? 16 : 15;
            EXPECT_EQ(MappedColour(out, x, y), Level(cell, cell, cell)) << x << "," << y;
        }
}

TEST(QuantizeFilter, ConvertFromUsesTheTargetsModes) {
    CMemoryBitmap src;
    MakeRun(src, {Level(7, 1, 30), Level(22, 22, 5)}, {3, 4});
    CDIBBitmap adaptive;
    adaptive.SetQuantizeMode(1);
    adaptive.ConvertFrom(src, 8);
    ASSERT_EQ(adaptive.GetBitsPerPixel(), 8);
    EXPECT_EQ(adaptive.GetPalette()[8], Level(22, 22, 5));
    for (int x = 0; x < 7; ++x)
        EXPECT_EQ(MappedColour(adaptive, x, 0), src.GetPixel32(x, 0));

    // The default mode 2 ignores the picture: its palette is the fixed table.
    CDIBBitmap fixed, other;
    fixed.ConvertFrom(src, 8);
    MakeGradient(src);
    other.ConvertFrom(src, 8);
    for (int i = 0; i < 256; ++i)
        ASSERT_EQ(fixed.GetPalette()[i], other.GetPalette()[i]) << i;
    EXPECT_EQ(fixed.GetPalette()[0], 0xFF000000u);
    EXPECT_EQ(fixed.GetPalette()[251], 0xFFFFFFFFu);

    // In place, and from 8 bits, which is widened first.
    CQuantizeFilter(1, 0).Apply(src, src);
    EXPECT_EQ(src.GetBitsPerPixel(), 8);
    CMemoryBitmap again;
    CQuantizeFilter(1, 0).Apply(adaptive, again);
    for (int x = 0; x < 7; ++x)
        EXPECT_EQ(MappedColour(again, x, 0), MappedColour(adaptive, x, 0));
}

} // namespace
