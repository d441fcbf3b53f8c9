#include "imagelib/dibbitmap.h"
#include "imagelib/drawgeometry.h"
#include "imagelib/textexception.h"
#include "testbitmaps.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A packed DIB built field by field.
std::vector<uint8_t> PackedDIB(int width, int height, int bpp, const std::vector<uint32_t>& palette,
                               const std::vector<uint8_t>& rows, uint32_t compression = 0,
                               uint32_t clrUsed = 0) {
    CBitmapInfoHeader h{};
    h.size = 40;
    h.width = width;
    h.height = height;
    h.planes = 1;
    h.bitCount = uint16_t(bpp);
    h.compression = compression;
    h.clrUsed = clrUsed;
    std::vector<uint8_t> out(sizeof h);
    std::memcpy(out.data(), &h, sizeof h);
    for (uint32_t c : palette)
        for (int i = 0; i < 4; ++i)
            out.push_back(uint8_t(c >> (8 * i)));
    out.insert(out.end(), rows.begin(), rows.end());
    return out;
}

template <class Kind> class PackedDIBTransfer : public ::testing::Test {};
using Kinds = ::testing::Types<CDIBBitmap, CDIBSectionBitmap>;
TYPED_TEST_SUITE(PackedDIBTransfer, Kinds);

} // namespace

TYPED_TEST(PackedDIBTransfer, EightBitKeepsItsOwnPaletteAndRowOrder) {
    std::vector<uint32_t> palette(256, 0);
    palette[1] = 0x00112233;
    palette[2] = 0x00445566;
    // 3 x 2, bottom-up: the stored first row is the bottom one. Stride 4.
    const auto dib = PackedDIB(3, 2, 8, palette, {2, 2, 2, 0, 1, 1, 1, 0});
    TypeParam bitmap;
    bitmap.CreateFromPackedDIB(dib.data(), dib.size());
    ASSERT_EQ(bitmap.GetBitsPerPixel(), 8);
    EXPECT_EQ(bitmap.GetLines()[0][0], 1); // top row
    EXPECT_EQ(bitmap.GetLines()[1][2], 2);
    EXPECT_EQ(bitmap.GetPalette()[1] & 0xFFFFFF, 0x112233u);
    EXPECT_EQ(bitmap.GetPalette()[2] & 0xFFFFFF, 0x445566u);

    const std::vector<uint8_t> back = bitmap.CopyToGlobalMemory();
    ASSERT_EQ(back.size(), dib.size());
    EXPECT_TRUE(std::equal(back.begin() + 40 + 1024, back.end(), dib.begin() + 40 + 1024));
    TypeParam again;
    again.CreateFromPackedDIB(back.data(), back.size());
    EXPECT_EQ(again.GetLines()[0][1], 1);
    EXPECT_EQ(again.GetPalette()[2] & 0xFFFFFF, 0x445566u);
}

TYPED_TEST(PackedDIBTransfer, DepthsAndLayoutsConvert) {
    struct Case {
        const char* name;
        std::vector<uint8_t> dib;
        int bpp;
        uint32_t topLeft, bottomRight; // 32-bit pixels, or palette indices for 8 bits
    };
    std::vector<uint32_t> pal16(16, 0);
    pal16[0xA] = 0x00ABCDEF;
    const std::vector<Case> cases = {
        // 2 x 2 at 24 bits, bottom-up: bottom row first.
        {"24 bit", PackedDIB(2, 2, 24, {}, {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}), 32,
         0xFF090807u, 0xFF060504u},
        // Top-down (negative height) 32 bits: first row is the top.
        {"top-down 32 bit", PackedDIB(1, -2, 32, {}, {1, 2, 3, 4, 5, 6, 7, 8}), 32, 0x04030201u,
         0x08070605u},
        // 16 bits 5-5-5: white (7FFF) over pure red (7C00).
        {"16 bit", PackedDIB(1, 2, 16, {}, {0x00, 0x7C, 0, 0, 0xFF, 0x7F, 0, 0}), 32, 0xFFFFFFFFu,
         0xFFFF0000u},
        // 4 bits becomes 8: nibble order high first.
        {"4 bit", PackedDIB(2, 1, 4, pal16, {0xA3, 0, 0, 0}), 8, 0xA, 0x3},
        // Colours-used count: only 2 entries stored before the rows.
        {"clrUsed", PackedDIB(1, 1, 8, {0x000000FF, 0x0000FF00}, {1, 0, 0, 0}, 0, 2), 8, 1, 1},
    };
    for (const Case& c : cases) {
        TypeParam bitmap;
        bitmap.CreateFromPackedDIB(c.dib.data(), c.dib.size());
        ASSERT_EQ(bitmap.GetBitsPerPixel(), c.bpp) << c.name;
        const int w = bitmap.GetWidth(), h = bitmap.GetHeight();
        if (c.bpp == 32) {
            EXPECT_EQ(bitmap.GetPixel32(0, 0), c.topLeft) << c.name;
            EXPECT_EQ(bitmap.GetPixel32(w - 1, h - 1), c.bottomRight) << c.name;
        } else {
            EXPECT_EQ(bitmap.GetLines()[0][0], c.topLeft) << c.name;
            EXPECT_EQ(bitmap.GetLines()[h - 1][w - 1], c.bottomRight) << c.name;
        }
    }
}

TYPED_TEST(PackedDIBTransfer, MalformedBlocksThrowAndLeaveNoStorage) {
    const auto good = PackedDIB(4, 4, 32, {}, std::vector<uint8_t>(64, 7));
    auto truncated = good;
    truncated.resize(good.size() - 1);
    auto hugeHeight = good;
    const int32_t big = 0x7FFFFFFF;
    std::memcpy(hugeHeight.data() + 8, &big, 4);
    auto badBpp = good;
    badBpp[14] = 7;
    auto rle = PackedDIB(4, 4, 8, std::vector<uint32_t>(256), std::vector<uint8_t>(16), 1);
    auto tooManyColours = PackedDIB(1, 1, 1, {0, 0, 0}, {0, 0, 0, 0}, 0, 3);
    auto coreHeader = good;
    coreHeader[0] = 12;
    const std::vector<std::vector<uint8_t>> bad = {
        truncated, hugeHeight, badBpp, rle, tooManyColours, coreHeader, std::vector<uint8_t>(10)};
    for (size_t i = 0; i < bad.size(); ++i) {
        TypeParam bitmap;
        try {
            bitmap.CreateFromPackedDIB(bad[i].data(), bad[i].size());
            ADD_FAILURE() << "case " << i << " was accepted";
        } catch (const CTextException& e) {
            EXPECT_EQ(e.GetCode(), 2) << "case " << i;
        }
        EXPECT_EQ(bitmap.GetWidth(), 0) << "case " << i;
        EXPECT_TRUE(bitmap.CopyToGlobalMemory().empty());
    }
}

TYPED_TEST(PackedDIBTransfer, PaletteFromTheClipboardReplacesEntries) {
    const auto dib = PackedDIB(1, 1, 8, std::vector<uint32_t>(256, 0), {5, 0, 0, 0});
    const uint32_t logical[] = {0x010203, 0x040506};
    TypeParam bitmap;
    bitmap.CreateFromPackedDIBAndPalette(dib.data(), dib.size(), logical, 2);
    EXPECT_EQ(bitmap.GetPalette()[1] & 0xFFFFFF, 0x040506u);
    EXPECT_EQ(bitmap.GetPalette()[2] & 0xFFFFFF, 0u);
}

TEST(PackedDIBResource, MissingResourceIsCodeFour) {
    CDIBSectionBitmap bitmap;
    try {
        bitmap.LoadFromResource(4711);
        FAIL();
    } catch (const CTextException& e) {
        EXPECT_EQ(e.GetCode(), 4);
        EXPECT_EQ(e.GetText(), "Opening resource 4711 failed");
    }
}

TEST(PackedDIBResource, SplashAndFolderStripLoad) {
    CDIBSectionBitmap splash;
    splash.LoadFromResource(153);
    EXPECT_EQ(splash.GetWidth(), 385);
    EXPECT_EQ(splash.GetHeight(), 236);
    EXPECT_EQ(splash.GetBitsPerPixel(), 8);
    CDIBBitmap strip;
    strip.LoadFromResource(130);
    EXPECT_EQ(strip.GetWidth(), 9 * 16);
    EXPECT_EQ(strip.GetHeight(), 15);
    // The top-left pixel of the first picture is the magenta key.
    EXPECT_EQ(strip.GetPalette()[strip.GetLines()[0][0]] & 0xFFFFFF, 0xFF00FFu);
}

TEST(DrawGeometry, ScaledAndPartRectangles) {
    EXPECT_EQ(ScaledDrawBlit(5, 3, 10, 20, 0.5), (CBlit{{10, 20, 12, 21}, {0, 0, 5, 3}}));
    const CBlit part = DrawPartBlit(7, 8, 10, 20, 30, 50);
    EXPECT_EQ(part.dest, (CRectL{7, 8, 27, 38}));
    EXPECT_EQ(part.source, (CRectL{10, 20, 30, 50}));
    // Of a 100-row bitmap the part starts at stored row 50, which is rows 20..49 from the top.
    EXPECT_EQ(BottomUpSourceRow(100, 50), 50);
    EXPECT_EQ(100 - BottomUpSourceRow(100, 50) - part.source.Height(), 20);
}
