#include "imagelib/dibbitmap.h"
#include "imagelib/textexception.h"
#include "testbitmaps.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

enum class Kind { Memory, DIB, DIBSection };

std::unique_ptr<CImageBitmap> Make(Kind kind) {
    switch (kind) {
    case Kind::Memory:
        return std::make_unique<CMemoryBitmap>();
    case Kind::DIB:
        return std::make_unique<CDIBBitmap>();
    case Kind::DIBSection:
        return std::make_unique<CDIBSectionBitmap>();
    }
    return nullptr;
}

class EveryKind : public ::testing::TestWithParam<Kind> {};
INSTANTIATE_TEST_SUITE_P(Bitmap, EveryKind,
                         ::testing::Values(Kind::Memory, Kind::DIB, Kind::DIBSection));

TEST_P(EveryKind, StartsAs16x16GreyRamp) {
    auto bmp = Make(GetParam());
    EXPECT_EQ(bmp->GetWidth(), 16);
    EXPECT_EQ(bmp->GetHeight(), 16);
    EXPECT_EQ(bmp->GetBitsPerPixel(), 8);
    EXPECT_FALSE(bmp->HasAlpha());
    EXPECT_EQ(bmp->GetMarkers(), nullptr);
    EXPECT_EQ(bmp->GetQuantizeMode(), 2);
    EXPECT_EQ(bmp->GetDitherMode(), 0);
    for (uint32_t i = 0; i < 256; ++i)
        ASSERT_EQ(bmp->GetPalette()[i], Bgra(uint8_t(i), uint8_t(i), uint8_t(i), 255));
}

TEST_P(EveryKind, OneBitPaletteIsBlackThenWhite) {
    auto bmp = Make(GetParam());
    bmp->Create(3, 2, 1, false);
    EXPECT_EQ(bmp->GetPalette()[0], 0xFF000000u);
    EXPECT_EQ(bmp->GetPalette()[1], 0xFFFFFFFFu);
    bmp->Create(3, 2, 32, true);
    EXPECT_EQ(bmp->GetPalette(), nullptr);
    EXPECT_TRUE(bmp->HasAlpha());
}

// Rows must not overlap and line 0 must be the top row whatever the storage order.
TEST_P(EveryKind, LinesAreDisjointRowsOfTheStride) {
    auto bmp = Make(GetParam());
    bmp->Create(7, 5, 32, false);
    const int stride = bmp->GetBytesPerLine();
    EXPECT_EQ(stride, 28);
    uint8_t** lines = bmp->GetLines();
    const bool bottomUp = GetParam() != Kind::Memory;
    for (int i = 1; i < 5; ++i)
        EXPECT_EQ(lines[i] - lines[i - 1], bottomUp ? -stride : stride) << i;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            SetPixel32(*bmp, x, y, uint32_t(y * 16 + x));
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            ASSERT_EQ(bmp->GetPixel32(x, y), uint32_t(y * 16 + x));
}

TEST_P(EveryKind, OversizedOrNegativeDimensionsThrowCode10AndLeaveNoStorage) {
    const struct {
        int w, h, bpp;
    } cases[] = {{-1, 10, 8},        {10, -1, 8},       {1 << 20, 1 << 20, 32},
                 {INT32_MAX, 1, 32}, {1, INT32_MAX, 1}, {(1 << 14) + 1, 1 << 14, 32},
                 {10, 10, 0},        {10, 10, 33}};
    for (const auto& c : cases) {
        auto bmp = Make(GetParam());
        try {
            bmp->Create(c.w, c.h, uint16_t(c.bpp), false);
            FAIL() << c.w << "x" << c.h << "x" << c.bpp << " was accepted";
        } catch (const CTextException& e) {
            EXPECT_EQ(e.GetCode(), 10);
            EXPECT_EQ(e.GetText(), "Out of memory creating bitmap.");
        }
        EXPECT_EQ(bmp->GetWidth(), 0);
        EXPECT_EQ(bmp->GetHeight(), 0);
        EXPECT_EQ(bmp->GetLines(), nullptr);
        EXPECT_EQ(bmp->GetPalette(), nullptr);
        // The bitmap is usable again afterwards.
        bmp->Create(2, 2, 32, false);
        EXPECT_EQ(bmp->GetWidth(), 2);
    }
}

TEST(BitmapLayout, BytesPerLineAndMemoryUsed) {
    const struct {
        int w, bpp, memoryBytes, dibStride;
    } cases[] = {
        {9, 1, 2, 4}, {8, 1, 1, 4}, {5, 8, 5, 8}, {4, 8, 4, 4}, {3, 32, 12, 12}, {33, 1, 5, 8},
    };
    for (const auto& c : cases) {
        CMemoryBitmap mem;
        CDIBBitmap dib;
        CDIBSectionBitmap section;
        mem.Create(c.w, 3, uint16_t(c.bpp), false);
        dib.Create(c.w, 3, uint16_t(c.bpp), false);
        section.Create(c.w, 3, uint16_t(c.bpp), false);
        EXPECT_EQ(mem.GetBytesPerLine(), c.memoryBytes) << c.w << "x" << c.bpp;
        EXPECT_EQ(dib.GetBytesPerLine(), c.dibStride) << c.w << "x" << c.bpp;
        EXPECT_EQ(section.GetBytesPerLine(), c.dibStride) << c.w << "x" << c.bpp;
        const int palette = c.bpp > 15 ? 0 : 4 << c.bpp;
        EXPECT_EQ(mem.GetMemoryUsed(), 3 * c.memoryBytes + palette + 48 + 48);
        EXPECT_EQ(dib.GetMemoryUsed(), 3 * c.dibStride + palette + 40 + 52);
        EXPECT_EQ(section.GetMemoryUsed(), dib.GetMemoryUsed());
    }
}

TEST(BitmapLayout, PackedDIBBlockHoldsHeaderPaletteAndBottomUpRows) {
    CDIBBitmap dib;
    dib.Create(5, 4, 8, false);
    const CBitmapInfoHeader* h = dib.GetBitmapInfoHeader();
    EXPECT_EQ(h->size, 40u);
    EXPECT_EQ(h->width, 5);
    EXPECT_EQ(h->height, 4);
    EXPECT_EQ(h->planes, 1);
    EXPECT_EQ(h->bitCount, 8);
    EXPECT_EQ(h->compression, 0u);
    EXPECT_EQ(h->clrUsed, 0u);
    const uint8_t* block = reinterpret_cast<const uint8_t*>(h);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(dib.GetPalette()), block + 40);
    EXPECT_EQ(dib.GetBits(), block + 40 + 1024);
    EXPECT_EQ(dib.GetLines()[0], dib.GetBits() + 8 * 3);
    EXPECT_EQ(dib.GetLines()[3], dib.GetBits());

    CDIBBitmap dib32;
    dib32.Create(2, 2, 32, true);
    EXPECT_EQ(dib32.GetBits(), reinterpret_cast<const uint8_t*>(dib32.GetBitmapInfoHeader()) + 40);
}

TEST(BitmapLayout, DIBSectionKeepsRowsOutsideTheHeaderBlock) {
    CDIBSectionBitmap section;
    section.Create(5, 4, 8, false);
    EXPECT_NE(section.GetHBITMAP(), nullptr);
    EXPECT_EQ(section.GetBits(), section.GetHBITMAP());
    EXPECT_EQ(section.GetLines()[0], section.GetHBITMAP() + 8 * 3);
    EXPECT_EQ(reinterpret_cast<const uint8_t*>(section.GetPalette()),
              reinterpret_cast<const uint8_t*>(section.GetBitmapInfoHeader()) + 40);
}

TEST(BitmapAccess, BracketsCountAndMarkersAreFreedWithStorage) {
    CMemoryBitmap bmp;
    bmp.BeginAccess(true, false);
    bmp.BeginAccess(false, true);
    bmp.EndAccess();
    EXPECT_EQ(bmp.GetAccessCount(), 1);

    auto first = std::make_unique<CSavedMarker>();
    first->marker = 0xE1;
    first->next = std::make_unique<CSavedMarker>();
    first->next->marker = 0xFE;
    bmp.SetMarkers(std::move(first));
    ASSERT_NE(bmp.GetMarkers(), nullptr);
    EXPECT_EQ(bmp.GetMarkers()->next->marker, 0xFE);
    bmp.Create(1, 1, 32, false);
    EXPECT_EQ(bmp.GetMarkers(), nullptr);
}

// ---- ConvertFrom

TEST(ConvertFrom, OneBitTo32UsesThePaletteOrBlackAndWhite) {
    CDIBBitmap src;
    src.Create(10, 1, 1, false);
    src.GetLines()[0][0] = 0xA0; // pixels 0 and 2 set
    src.GetLines()[0][1] = 0x40; // pixel 9 set
    CDIBSectionBitmap out;
    out.ConvertFrom(src, 32);
    ASSERT_EQ(out.GetBitsPerPixel(), 32);
    EXPECT_FALSE(out.HasAlpha());
    const uint32_t white = 0xFFFFFFFFu, black = 0xFF000000u;
    const uint32_t expected[] = {white, black, white, black, black,
                                 black, black, black, black, white};
    for (int x = 0; x < 10; ++x)
        EXPECT_EQ(out.GetPixel32(x, 0), expected[x]) << x;

    src.GetPalette()[0] = Bgra(1, 2, 3, 255);
    src.GetPalette()[1] = Bgra(4, 5, 6, 7);
    out.ConvertFrom(src, 32);
    EXPECT_EQ(out.GetPixel32(0, 0), Bgra(4, 5, 6, 7));
    EXPECT_EQ(out.GetPixel32(1, 0), Bgra(1, 2, 3, 255));
}

TEST(ConvertFrom, EightBitTo32CopiesPaletteEntriesWithAlpha) {
    CMemoryBitmap src;
    src.Create(3, 2, 8, false);
    src.GetPalette()[7] = Bgra(10, 20, 30, 40);
    src.GetLines()[1][2] = 7;
    src.GetLines()[0][0] = 200;
    CDIBBitmap out;
    out.ConvertFrom(src, 32);
    EXPECT_EQ(out.GetPixel32(2, 1), Bgra(10, 20, 30, 40));
    EXPECT_EQ(out.GetPixel32(0, 0), Bgra(200, 200, 200, 255));
    EXPECT_EQ(out.GetPixel32(1, 0), Bgra(0, 0, 0, 255));
}

TEST(ConvertFrom, To1BitThresholdsEveryChannelBelow128) {
    const struct {
        uint32_t colour;
        bool black;
    } cases[] = {
        {Bgra(127, 127, 127, 0), true}, {Bgra(0, 0, 128, 255), false},
        {Bgra(128, 0, 0, 255), false},  {Bgra(0, 128, 0, 255), false},
        {Bgra(0, 0, 0, 0), true},       {Bgra(255, 255, 255, 255), false},
    };
    CMemoryBitmap src;
    src.Create(int(std::size(cases)), 1, 32, true);
    for (int x = 0; x < int(std::size(cases)); ++x)
        SetPixel32(src, x, 0, cases[x].colour);
    CDIBBitmap out;
    out.ConvertFrom(src, 1);
    EXPECT_EQ(out.GetPalette()[0], 0xFFFFFFFFu);
    EXPECT_EQ(out.GetPalette()[1], 0xFF000000u);
    for (int x = 0; x < int(std::size(cases)); ++x)
        EXPECT_EQ(bool(out.GetLines()[0][0] & (0x80 >> x)), cases[x].black) << x;

    // From 8 bits the palette entry's colour decides.
    CMemoryBitmap grey;
    grey.Create(2, 1, 8, false);
    grey.GetLines()[0][0] = 127;
    grey.GetLines()[0][1] = 128;
    out.ConvertFrom(grey, 1);
    EXPECT_EQ(out.GetLines()[0][0], 0x80);
}

TEST(ConvertFrom, OneBitTo8KeepsBitsAsIndicesAndTheTwoColours) {
    CMemoryBitmap src;
    src.Create(9, 1, 1, false);
    src.GetLines()[0][0] = 0x81;
    src.GetLines()[0][1] = 0x80;
    src.GetPalette()[0] = Bgra(9, 9, 9, 0);
    CDIBBitmap out;
    out.ConvertFrom(src, 8);
    const uint8_t expected[] = {1, 0, 0, 0, 0, 0, 0, 1, 1};
    for (int x = 0; x < 9; ++x)
        EXPECT_EQ(out.GetLines()[0][x], expected[x]) << x;
    EXPECT_EQ(out.GetPalette()[0], Bgra(9, 9, 9, 255));
    EXPECT_EQ(out.GetPalette()[1], 0xFFFFFFFFu);
    EXPECT_EQ(out.GetPalette()[2], Bgra(2, 2, 2, 255));
}

TEST(ConvertFrom, SameDepthCopiesPixelsAndPaletteButNotMarkers) {
    CDIBBitmap src;
    src.Create(5, 3, 8, false);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            src.GetLines()[y][x] = uint8_t(10 * y + x);
    src.GetPalette()[4] = Bgra(1, 2, 3, 4);
    src.SetMarkers(std::make_unique<CSavedMarker>());

    CMemoryBitmap copy;
    copy.ConvertFrom(src, 0);
    EXPECT_EQ(copy.GetBitsPerPixel(), 8);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_EQ(copy.GetLines()[y][x], 10 * y + x);
    EXPECT_EQ(copy.GetPalette()[4], Bgra(1, 2, 3, 4));
    EXPECT_EQ(copy.GetMarkers(), nullptr);
    EXPECT_NE(src.GetMarkers(), nullptr);
    EXPECT_EQ(src.GetAccessCount(), 0);
    EXPECT_EQ(copy.GetAccessCount(), 0);

    // Converting a bitmap from itself keeps it whole, at its own depth or another.
    uint8_t** before = src.GetLines();
    src.ConvertFrom(src, 0);
    EXPECT_EQ(src.GetLines(), before);
    EXPECT_NE(src.GetMarkers(), nullptr);
    src.ConvertFrom(src, 32);
    EXPECT_EQ(src.GetPixel32(4, 0), Bgra(1, 2, 3, 4));
    EXPECT_EQ(src.GetPixel32(3, 2), Bgra(23, 23, 23, 255));
}

TEST(ConvertFrom, AlphaFlagSurvivesOnlyAt32Bits) {
    CMemoryBitmap src;
    src.Create(2, 2, 32, true);
    CDIBBitmap out;
    out.ConvertFrom(src, 0);
    EXPECT_TRUE(out.HasAlpha());
    out.ConvertFrom(src, 1);
    EXPECT_FALSE(out.HasAlpha());
}

} // namespace
