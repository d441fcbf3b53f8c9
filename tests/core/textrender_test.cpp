#include "core/textrender.h"

#include "imagelib/bitmap.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <string>
#include <vector>

namespace {

// The file fontconfig picks for a pattern such as "DejaVu Sans:style=Book".
std::string FontFile(const char* pattern) {
    FcPattern* query = FcNameParse(reinterpret_cast<const FcChar8*>(pattern));
    FcConfigSubstitute(nullptr, query, FcMatchPattern);
    FcDefaultSubstitute(query);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, query, &result);
    std::string path;
    FcChar8* file = nullptr;
    if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch)
        path = reinterpret_cast<const char*>(file);
    if (match)
        FcPatternDestroy(match);
    FcPatternDestroy(query);
    return path;
}

double Ink(const std::vector<uint8_t>& coverage) {
    return std::accumulate(coverage.begin(), coverage.end(), 0.0) / 255;
}

struct CInkBox {
    int left = 0, right = -1, top = 0, bottom = -1; // inclusive
    int Width() const { return right - left + 1; }
    int Height() const { return bottom - top + 1; }
};
CInkBox InkBox(const std::vector<uint8_t>& coverage, int width, int height, int threshold = 64) {
    CInkBox box{width, -1, height, -1};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (coverage[size_t(y) * size_t(width) + size_t(x)] >= threshold) {
                box.left = std::min(box.left, x);
                box.right = std::max(box.right, x);
                box.top = std::min(box.top, y);
                box.bottom = std::max(box.bottom, y);
            }
    return box;
}

} // namespace

// The glyphs are the font's own outlines: the ink of each letter at 120 px matches what
// FreeType rasterises from the same file unhinted (area and extent), and the block's
// width is the sum of the advances FreeType reports.
TEST(TextRender, GlyphsAndAdvancesAreTheFontsOwn) {
    const std::string file = FontFile("DejaVu Sans:style=Book");
    ASSERT_FALSE(file.empty());
    FT_Library library = nullptr;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    FT_Face face = nullptr;
    ASSERT_EQ(FT_New_Face(library, file.c_str(), 0, &face), 0);
    constexpr int kEm = 120;
    ASSERT_EQ(FT_Set_Pixel_Sizes(face, 0, kEm), 0);
    for (const char* letter : {"H", "g", "@", "O"}) {
        ASSERT_EQ(FT_Load_Char(face, FT_ULong(letter[0]), FT_LOAD_NO_HINTING | FT_LOAD_RENDER), 0);
        const FT_Bitmap& bitmap = face->glyph->bitmap;
        std::vector<uint8_t> reference;
        for (unsigned y = 0; y < bitmap.rows; ++y)
            for (unsigned x = 0; x < bitmap.width; ++x)
                reference.push_back(bitmap.buffer[ptrdiff_t(y) * bitmap.pitch + ptrdiff_t(x)]);
        const double advance = face->glyph->linearHoriAdvance / 65536.0;

        CGridSize size;
        const CTextBlock block{letter, {"DejaVu Sans", "Book"}, double(kEm), 0};
        const std::vector<uint8_t> ours = RenderTextCoverage(block, size);
        ASSERT_EQ(int(ours.size()), size.width * size.height) << letter;
        // The same area, wherever within a pixel each puts the glyph.
        EXPECT_NEAR(Ink(ours), Ink(reference), Ink(reference) * 0.01) << letter;
        const CInkBox box = InkBox(ours, size.width, size.height);
        const CInkBox theirs = InkBox(reference, int(bitmap.width), int(bitmap.rows));
        EXPECT_NEAR(box.Width(), theirs.Width(), 1) << letter;
        EXPECT_NEAR(box.Height(), theirs.Height(), 1) << letter;
        // The ink starts at the glyph's left bearing.
        EXPECT_NEAR(box.left, face->glyph->bitmap_left + theirs.left, 1) << letter;
        EXPECT_NEAR(size.width, advance, 1.0) << letter;
        // Four of it: four advances, with no rounding on the way.
        const CTextBlock four{std::string(4, letter[0]), block.font, double(kEm), 0};
        EXPECT_NEAR(MeasureTextBlock(four).width, 4 * advance, 1.0) << letter;
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}

// Right-to-left text, joining scripts, and characters the chosen font lacks.
TEST(TextRender, RightToLeftJoiningAndFallback) {
    const CTextFont sans{"DejaVu Sans", "Book"};
    auto render = [&](const std::string& text, const CTextFont& font) {
        CGridSize size;
        std::vector<uint8_t> coverage = RenderTextCoverage({text, font, 80, 0}, size);
        return std::make_pair(coverage, size);
    };
    // Hebrew alef then bet, in logical order: the alef stands on the right.
    const auto [alef, alefSize] = render("\u05d0", sans);
    const auto [bet, betSize] = render("\u05d1", sans);
    const auto [both, bothSize] = render("\u05d0\u05d1", sans);
    ASSERT_GT(bothSize.width, 0);
    auto rightPart = [&](int width) {
        std::vector<uint8_t> part;
        for (int y = 0; y < bothSize.height; ++y)
            for (int x = bothSize.width - width; x < bothSize.width; ++x)
                part.push_back(both[size_t(y) * size_t(bothSize.width) + size_t(x)]);
        return part;
    };
    // Compared by ink: the right part holds all of the alef's and none of the bet's.
    EXPECT_NEAR(Ink(rightPart(alefSize.width)), Ink(alef), Ink(alef) * 0.05);
    EXPECT_GT(std::abs(Ink(rightPart(alefSize.width)) - Ink(bet)), Ink(alef) * 0.1);

    // Arabic beh joins: three in a row take less room than three alone.
    const CTextFont arabic{"Noto Sans Arabic", ""};
    const int single = MeasureTextBlock({"\u0628", arabic, 80, 0}).width;
    const int joined = MeasureTextBlock({"\u0628\u0628\u0628", arabic, 80, 0}).width;
    EXPECT_LT(joined, 3 * single - 10);

    // A Chinese character from a font without it: drawn from one that has it, not as a
    // box for a missing glyph.
    const auto [fallen, fallenSize] = render("\u6f22", sans);
    const auto [direct, directSize] = render("\u6f22", {"Droid Sans Fallback", ""});
    ASSERT_GT(Ink(direct), 0);
    EXPECT_NEAR(Ink(fallen), Ink(direct), Ink(direct) * 0.02);
    EXPECT_EQ(fallenSize.width, directSize.width);
}

// Lines line up on the stamp's side; sizes grow in proportion to the em.
TEST(TextRender, LinesAlignToTheStampsSideAndSizesScale) {
    for (int halign : {0, 1, 2}) {
        CGridSize size;
        const std::vector<uint8_t> coverage =
            RenderTextCoverage({"MMMMMM\nI", {"DejaVu Sans", "Bold"}, 60, halign}, size);
        // The second line's ink: the lower half of the block.
        std::vector<uint8_t> lower(coverage.begin() + ptrdiff_t(size.width) * (size.height / 2 + 4),
                                   coverage.end());
        const CInkBox box = InkBox(lower, size.width, int(lower.size()) / size.width);
        ASSERT_GE(box.right, box.left) << halign;
        const int centre = (box.left + box.right) / 2;
        const int expected = halign == 0   ? box.Width() / 2 + 5
                             : halign == 1 ? size.width / 2
                                           : size.width - box.Width() / 2 - 5;
        EXPECT_NEAR(centre, expected, 8) << halign;
    }
    const CGridSize small = MeasureTextBlock({"\u00a9 2026 Jane Doe", {}, 50, 1});
    const CGridSize large = MeasureTextBlock({"\u00a9 2026 Jane Doe", {}, 200, 1});
    EXPECT_NEAR(large.width, 4 * small.width, 4);
    EXPECT_NEAR(large.height, 4 * small.height, 4);
}

// The stamp picture: the text's colour where it covers, a shadow of the other tone under
// it that fades out within the margin, nothing outside.
TEST(TextRender, StampHasColourShadowAndClearMargins) {
    for (const bool shadow : {true, false}) {
        CMemoryBitmap stamp;
        const CTextBlock block{"Hi", {"DejaVu Sans", "Bold"}, 100, 1};
        RenderTextStamp(block, {255, 255, 255, shadow}, stamp);
        const CGridSize size = TextStampSize(block, shadow);
        ASSERT_EQ(stamp.GetWidth(), size.width);
        ASSERT_EQ(stamp.GetHeight(), size.height);
        int opaqueWhite = 0, darkShadow = 0;
        const uint8_t* const* lines = stamp.GetLines();
        for (int y = 0; y < stamp.GetHeight(); ++y)
            for (int x = 0; x < stamp.GetWidth(); ++x) {
                const uint8_t* p = lines[y] + 4 * x;
                opaqueWhite += p[3] == 255 && p[0] == 255 && p[2] == 255;
                darkShadow += p[3] > 30 && p[2] < 40;
                if (x == 0 || y == 0 || x == stamp.GetWidth() - 1 || y == stamp.GetHeight() - 1) {
                    EXPECT_LT(p[3], 8) << x << "," << y;
                }
            }
        EXPECT_GT(opaqueWhite, 500);
        EXPECT_EQ(darkShadow > 200, shadow);
    }
}

// The shadow is blurred on a reduced copy for large ems; it must still look like the
// coverage moved by 4 % of the em and blurred three times by a box of 2.5 % of the em at
// full size (outside zero), darkened to 160 of 255 and laid under the text. Small ems are
// blurred at full size and differ from exact sums only by the rounding of each pass; larger
// ones stay within a few levels, and the text's own pixels are unchanged.
TEST(TextRender, ShadowMatchesThreeFullSizeBoxBlurs) {
    struct CCase {
        double em;
        int maxDifference;
        double minPsnr;
    };
    for (const CCase& c : {CCase{40, 1, 60}, CCase{120, 1, 60}, CCase{200, 6, 45},
                           CCase{420, 6, 45}, CCase{900, 6, 45}}) {
        const CTextBlock block{"Hg", {"DejaVu Sans", "Bold"}, c.em, 1};
        CGridSize size;
        const std::vector<uint8_t> coverage = RenderTextCoverage(block, size);
        const int offset = std::max(1, int(std::lround(c.em * 0.04)));
        const int radius = std::max(1, int(std::lround(c.em * 0.025)));
        const int margin = TextShadowMargin(c.em, true);
        ASSERT_EQ(margin, offset + 3 * radius);
        const int width = size.width + 2 * margin, height = size.height + 2 * margin;
        std::vector<double> plane(size_t(width) * size_t(height), 0.0);
        for (int y = 0; y < size.height; ++y)
            for (int x = 0; x < size.width; ++x)
                plane[size_t(y + margin + offset) * size_t(width) + size_t(x + margin + offset)] =
                    coverage[size_t(y) * size_t(size.width) + size_t(x)];
        // Each pass along rows then columns, by sums over the clipped span.
        auto pass = [&](int step, int count, int lines, int lineStep) {
            std::vector<double> sums(size_t(count) + 1);
            for (int l = 0; l < lines; ++l) {
                double* p = plane.data() + size_t(l) * size_t(lineStep);
                for (int i = 0; i < count; ++i)
                    sums[size_t(i) + 1] = sums[size_t(i)] + p[ptrdiff_t(i) * step];
                for (int i = 0; i < count; ++i)
                    p[ptrdiff_t(i) * step] = (sums[size_t(std::min(count, i + radius + 1))] -
                                              sums[size_t(std::max(0, i - radius))]) /
                                             (2 * radius + 1);
            }
        };
        for (int round = 0; round < 3; ++round) {
            pass(1, width, height, width);
            pass(width, height, width, 1);
        }
        CMemoryBitmap stamp;
        RenderTextStamp(block, {255, 255, 255, true}, stamp);
        ASSERT_EQ(stamp.GetWidth(), width);
        ASSERT_EQ(stamp.GetHeight(), height);
        int worst = 0;
        double squares = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const int cx = x - margin, cy = y - margin;
                const int t = cx >= 0 && cy >= 0 && cx < size.width && cy < size.height
                                  ? coverage[size_t(cy) * size_t(size.width) + size_t(cx)]
                                  : 0;
                const double s = std::floor(plane[size_t(y) * size_t(width) + size_t(x)] + 1e-9);
                const int expected = t + int(int(s) * 160 / 255 * (255 - t) / 255);
                const int got = stamp.GetLines()[y][4 * x + 3];
                worst = std::max(worst, std::abs(got - expected));
                squares += double(got - expected) * (got - expected);
                if (t == 255) {
                    ASSERT_EQ(got, 255);
                }
            }
        const double mse = squares / (double(width) * height);
        const double psnr = mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
        EXPECT_LE(worst, c.maxDifference) << c.em;
        EXPECT_GE(psnr, c.minPsnr) << c.em;
    }
}
