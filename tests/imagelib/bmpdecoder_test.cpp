#include "bmpbytes.h"
#include "imagelib/bmpdecoder.h"
#include "imagelib/dibbitmap.h"
#include "imagelib/textexception.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>
#include <string>

namespace {

uint32_t Opaque(uint32_t rgb) {
    return 0xFF000000u | rgb;
}

// The colour of a pixel whatever the depth of the bitmap.
uint32_t ColourAt(const CImageBitmap& bmp, int x, int y) {
    if (bmp.GetBitsPerPixel() == 8)
        return bmp.GetPalette()[bmp.GetLines()[y][x]];
    return bmp.GetPixel32(x, y);
}

std::vector<uint32_t> Colours(const CImageBitmap& bmp) {
    std::vector<uint32_t> out;
    for (int y = 0; y < bmp.GetHeight(); ++y)
        for (int x = 0; x < bmp.GetWidth(); ++x)
            out.push_back(ColourAt(bmp, x, y));
    return out;
}

// Sixteen distinct colours; entry i is 0x10101 x (i + 1) with a red tint.
std::vector<uint32_t> Palette16() {
    std::vector<uint32_t> p;
    for (uint32_t i = 0; i < 16; ++i)
        p.push_back(0x400000u | 0x010101u * (i * 8 + 8));
    return p;
}
uint32_t P16(int i) {
    return Opaque(Palette16()[size_t(i)]);
}

struct DecodeCase {
    std::string name;
    Bytes file;
    int request;
    int bpp;
    int width;
    int height;
    std::vector<uint32_t> pixels; // top row first
    bool exactEnd = true;         // every shorter prefix must end in code 11
};

Bytes Rle8Rows() {
    // Bottom row first: a run; an odd absolute block with its filler and a run; a row cut
    // short; one pixel and then end of bitmap, so the top row is never reached.
    return {0x04, 7, 0, 0,                   //
            0,    3, 1, 2, 3, 0, 1, 9, 0, 0, //
            2,    5, 0, 0,                   //
            1,    4, 0, 1};
}

std::vector<DecodeCase> Cases() {
    std::vector<DecodeCase> cases;
    const uint32_t B = 0xFF000000u, W = 0xFFFFFFFFu;

    BmpShape oneBit;
    oneBit.width = 3;
    oneBit.height = 2;
    oneBit.bitCount = 1;
    oneBit.palette = {0xFFFFFF, 0x000000}; // inverted: index 0 is white
    oneBit.pixels = {0xA0, 0, 0, 0, 0x60, 0, 0, 0};
    cases.push_back({"OneBitTo32UsesPalette", MakeBmp(oneBit), 32, 32, 3, 2, {W, B, B, B, W, B}});
    cases.push_back({"OneBitTo8KeepsPalette", MakeBmp(oneBit), 0, 8, 3, 2, {W, B, B, B, W, B}});

    BmpShape nine;
    nine.width = 9;
    nine.bitCount = 1;
    nine.palette = {0x000000, 0xFFFFFF};
    nine.pixels = {0x80, 0x80, 0, 0};
    cases.push_back({"OneBitWidth9", MakeBmp(nine), 0, 8, 9, 1, {W, B, B, B, B, B, B, B, W}});

    BmpShape four;
    four.width = 3;
    four.height = 2;
    four.bitCount = 4;
    four.palette = Palette16();
    four.pixels = {0x12, 0x30, 0, 0, 0x45, 0x60, 0, 0};
    cases.push_back({"FourBitWidth3",
                     MakeBmp(four),
                     32,
                     32,
                     3,
                     2,
                     {P16(4), P16(5), P16(6), P16(1), P16(2), P16(3)}});

    BmpShape eight;
    eight.width = 5;
    eight.height = 2;
    eight.colorsUsed = 16;
    eight.palette = Palette16();
    eight.gap = 8;
    eight.pixels = {0, 1, 2, 3, 4, 0xAA, 0xAA, 0xAA, 15, 14, 13, 12, 20, 0xAA, 0xAA, 0xAA};
    cases.push_back(
        {"EightBitColoursUsed16",
         MakeBmp(eight),
         0,
         8,
         5,
         2,
         {P16(15), P16(14), P16(13), P16(12), B, P16(0), P16(1), P16(2), P16(3), P16(4)}});
    cases.push_back(
        {"EightBitTo32",
         MakeBmp(eight),
         32,
         32,
         5,
         2,
         {P16(15), P16(14), P16(13), P16(12), B, P16(0), P16(1), P16(2), P16(3), P16(4)}});

    BmpShape topDown = eight;
    topDown.height = -2;
    cases.push_back(
        {"EightBitTopDown",
         MakeBmp(topDown),
         0,
         8,
         5,
         2,
         {P16(0), P16(1), P16(2), P16(3), P16(4), P16(15), P16(14), P16(13), P16(12), B}});

    BmpShape v5 = eight;
    v5.headerSize = 124;
    cases.push_back(
        {"EightBitV5Header",
         MakeBmp(v5),
         0,
         8,
         5,
         2,
         {P16(15), P16(14), P16(13), P16(12), B, P16(0), P16(1), P16(2), P16(3), P16(4)}});

    BmpShape big = eight;
    big.colorsUsed = 300; // entries past 256 are read and ignored
    big.palette.clear();
    for (uint32_t i = 0; i < 300; ++i)
        big.palette.push_back(i == 255 ? 0x123456 : 0x000100 * (i & 0xFF));
    big.gap = 0;
    big.width = 1;
    big.height = 1;
    big.pixels = {255, 0, 0, 0};
    cases.push_back({"EightBit300Colours", MakeBmp(big), 32, 32, 1, 1, {Opaque(0x123456)}});

    BmpShape backwards = eight;
    backwards.gap = 0;
    backwards.offset = 10; // points into the headers: the pixels follow the palette
    cases.push_back(
        {"OffsetIntoHeaders",
         MakeBmp(backwards),
         0,
         8,
         5,
         2,
         {P16(15), P16(14), P16(13), P16(12), B, P16(0), P16(1), P16(2), P16(3), P16(4)},
         false});

    BmpShape rle8;
    rle8.width = 4;
    rle8.height = 5;
    rle8.compression = 1;
    rle8.colorsUsed = 16;
    rle8.palette = Palette16();
    rle8.pixels = Rle8Rows();
    cases.push_back({"Rle8EndOfBitmapAfterRow3",
                     MakeBmp(rle8),
                     32,
                     32,
                     4,
                     5,
                     {P16(0), P16(0), P16(0), P16(0), //
                      P16(4), P16(0), P16(0), P16(0), //
                      P16(5), P16(5), P16(0), P16(0), //
                      P16(1), P16(2), P16(3), P16(9), //
                      P16(7), P16(7), P16(7), P16(7)}});

    BmpShape rle8Over;
    rle8Over.width = 2;
    rle8Over.height = 2;
    rle8Over.compression = 1;
    rle8Over.colorsUsed = 16;
    rle8Over.palette = Palette16();
    // A 255-pixel run and a 5-pixel absolute block in 2-pixel rows, then codes for rows
    // that do not exist.
    rle8Over.pixels = {0xFF, 3, 0, 0, 0, 5, 1, 2, 3, 4, 5, 0, 0, 0, 5, 1, 0, 0, 0, 1};
    cases.push_back({"Rle8RunsPastRowEnd",
                     MakeBmp(rle8Over),
                     0,
                     8,
                     2,
                     2,
                     {P16(1), P16(2), P16(3), P16(3)},
                     false});

    BmpShape rle4;
    rle4.width = 5;
    rle4.height = 2;
    rle4.compression = 2;
    rle4.bitCount = 4;
    rle4.palette = Palette16();
    // Bottom: absolute block of 5 (3 bytes and a filler). Top: a run of 3 alternating
    // nibbles, the rest of the row never reached.
    rle4.pixels = {0, 5, 0x12, 0x34, 0x50, 0, 0, 0, 3, 0x78, 0, 1};
    cases.push_back(
        {"Rle4AbsoluteAndShortRow",
         MakeBmp(rle4),
         0,
         8,
         5,
         2,
         {P16(7), P16(8), P16(7), P16(0), P16(0), P16(1), P16(2), P16(3), P16(4), P16(5)}});

    BmpShape rle4Over = rle4;
    rle4Over.width = 3;
    rle4Over.height = 1;
    // A 9-pixel absolute block and a 255-pixel run in a 3-pixel row.
    rle4Over.pixels = {0, 9, 0x99, 0x99, 0x99, 0x99, 0x99, 0, 0xFF, 0x12, 0, 1};
    cases.push_back(
        {"Rle4RunsPastRowEnd", MakeBmp(rle4Over), 0, 8, 3, 1, {P16(9), P16(9), P16(9)}});

    BmpShape rgb555;
    rgb555.width = 3;
    rgb555.bitCount = 16;
    rgb555.pixels = {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0, 0};
    const std::vector<uint32_t> primaries = {Opaque(0xF80000), Opaque(0x00F800), Opaque(0x0000F8)};
    cases.push_back({"Rgb555", MakeBmp(rgb555), 0, 32, 3, 1, primaries});
    BmpShape masks555 = rgb555;
    masks555.compression = 3;
    masks555.masks = {0x7C00, 0x03E0, 0x001F};
    cases.push_back({"Rgb555Masks", MakeBmp(masks555), 32, 32, 3, 1, primaries});

    BmpShape rgb565;
    rgb565.width = 4;
    rgb565.bitCount = 16;
    rgb565.compression = 3;
    rgb565.masks = {0xF800, 0x07E0, 0x001F};
    // Red, green, blue at full; then the two lowest green bits: the top five of six count.
    rgb565.pixels = {0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0x60, 0x00};
    cases.push_back({"Rgb565",
                     MakeBmp(rgb565),
                     32,
                     32,
                     4,
                     1,
                     {Opaque(0xF80000), Opaque(0x00F800), Opaque(0x0000F8), Opaque(0x000800)}});

    BmpShape rgb565v5 = rgb565;
    rgb565v5.headerSize = 124; // masks inside the header
    cases.push_back({"Rgb565V5Header",
                     MakeBmp(rgb565v5),
                     32,
                     32,
                     4,
                     1,
                     {Opaque(0xF80000), Opaque(0x00F800), Opaque(0x0000F8), Opaque(0x000800)}});

    BmpShape rgb24;
    rgb24.width = 3;
    rgb24.height = 2;
    rgb24.bitCount = 24;
    rgb24.pixels = {1,  2,  3,  4,  5,  6,  7,  8,  9,  0, 0, 0,
                    10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0};
    cases.push_back({"Rgb24Width3",
                     MakeBmp(rgb24),
                     0,
                     32,
                     3,
                     2,
                     {Opaque(0x0C0B0A), Opaque(0x0F0E0D), Opaque(0x121110), Opaque(0x030201),
                      Opaque(0x060504), Opaque(0x090807)}});

    BmpShape rgb32;
    rgb32.width = 2;
    rgb32.bitCount = 32;
    rgb32.pixels = {1, 2, 3, 4, 5, 6, 7, 8};
    cases.push_back(
        {"Rgb32KeepsFourthByte", MakeBmp(rgb32), 0, 32, 2, 1, {0x04030201u, 0x08070605u}});

    BmpShape rgb32swapped = rgb32;
    rgb32swapped.compression = 3;
    rgb32swapped.masks = {0x000000FF, 0x0000FF00, 0x00FF0000}; // red in the first byte
    cases.push_back({"Rgb32Bitfields",
                     MakeBmp(rgb32swapped),
                     0,
                     32,
                     2,
                     1,
                     {Opaque(0x010203), Opaque(0x050607)}});

    // OS/2 core header: 16-bit dimensions, 3-byte palette entries.
    Bytes core = {'B', 'M'};
    Put32(core, 0);
    Put32(core, 0);
    Put32(core, 14 + 12 + 2 * 3);
    Put32(core, 12);
    Put16(core, 2);
    Put16(core, 1);
    Put16(core, 1);
    Put16(core, 1);
    Append(core, {0x00, 0x00, 0xFF, 0xFF, 0x00, 0x00}); // red, blue
    Append(core, {0x40, 0, 0, 0});
    cases.push_back({"Os2CoreHeader", core, 0, 8, 2, 1, {Opaque(0xFF0000), Opaque(0x0000FF)}});
    return cases;
}

void PrintTo(const DecodeCase& c, std::ostream* os) {
    *os << c.name;
}

class BmpDecode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(BmpDecode, GivesTheStoredPixels) {
    const DecodeCase& c = GetParam();
    CMemoryBitmap memory;
    CDIBBitmap dib;
    for (CImageBitmap* bmp :
         {static_cast<CImageBitmap*>(&memory), static_cast<CImageBitmap*>(&dib)}) {
        CBmpDecoder decoder;
        decoder.DecodeMemory(c.file.data(), int(c.file.size()), *bmp, c.request);
        EXPECT_EQ(bmp->GetWidth(), c.width);
        EXPECT_EQ(bmp->GetHeight(), c.height);
        EXPECT_EQ(bmp->GetBitsPerPixel(), c.bpp);
        // Fourth bytes that vary are taken as the picture's alpha.
        EXPECT_EQ(bmp->HasAlpha(), c.name == std::string("Rgb32KeepsFourthByte"));
        EXPECT_EQ(bmp->GetAccessCount(), 0);
        EXPECT_EQ(Colours(*bmp), c.pixels);
    }
}

TEST_P(BmpDecode, EveryTruncationEndsInCode11) {
    const DecodeCase& c = GetParam();
    if (!c.exactEnd)
        GTEST_SKIP() << "the file carries bytes the decode does not need";
    CBmpDecoder decoder;
    CMemoryBitmap bmp;
    for (size_t n = 0; n < c.file.size(); ++n) {
        try {
            decoder.DecodeMemory(c.file.data(), int(n), bmp, c.request);
            ADD_FAILURE() << "prefix of " << n << " bytes decoded";
        } catch (const CTextException& e) {
            ASSERT_EQ(e.GetCode(), 11) << "prefix of " << n << " bytes: " << e.GetText();
            ASSERT_EQ(e.GetText(), "End of file reached while decoding.\n");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Bmp, BmpDecode, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.name; });

struct FailCase {
    std::string name;
    Bytes file;
    int code;
    std::string text;
};

std::vector<FailCase> FailCases() {
    const std::string bad = "Decoder error: Decoding bmp: Illegal bpp value.\n";
    std::vector<FailCase> cases;
    BmpShape base;
    base.width = 1;
    base.bitCount = 24;
    base.pixels = {1, 2, 3, 0};

    Bytes signature = MakeBmp(base);
    signature[1] = 'X';
    cases.push_back(
        {"BadSignature", signature, 1, "Decoder error: Bitmap decoder: This isn't a bitmap.\n"});
    BmpShape shape = base;
    shape.headerSize = 39;
    cases.push_back({"HeaderSize39", MakeBmp(shape), 2,
                     "Decoder error: Bitmap decoder: BITMAPINFOHEADER has wrong size.\n"});
    for (int bitCount : {0, 2, 7, 64}) {
        shape = base;
        shape.bitCount = uint16_t(bitCount);
        cases.push_back({"BitCount" + std::to_string(bitCount), MakeBmp(shape), 2, bad});
    }
    shape = base;
    shape.bitCount = 8;
    shape.compression = 1;
    shape.colorsUsed = 2;
    shape.palette = {0, 0};
    shape.pixels = {1, 1, 0, 2, 1, 1, 0, 1};
    cases.push_back({"Rle8Delta", MakeBmp(shape), 6, "Decoder error: Encountered delta escape.\n"});
    shape.bitCount = 4;
    shape.compression = 2;
    cases.push_back({"Rle4Delta", MakeBmp(shape), 6, "Decoder error: Encountered delta escape.\n"});

    const std::string size = "Decoder error: Bitmap decoder: Illegal image dimensions.\n";
    for (auto [name, w, h] :
         {std::tuple{"WidthNegative", -127, 64}, {"WidthZero", 0, 1}, {"HeightZero", 1, 0}}) {
        shape = base;
        shape.width = w;
        shape.height = h;
        cases.push_back({name, MakeBmp(shape), 2, size});
    }
    // The limit names the picture's size, not a shortage of memory.
    for (auto [name, w, h, text] : {std::tuple{"ReallyBig", 3000000, 2000000, "3000000 x 2000000"},
                                    {"HeightIntMin", 1, INT_MIN, "1 x 2147483648"},
                                    {"OverPixelCap", 16385, 16385, "16385 x 16385"},
                                    {"WidthOverCap", (1 << 28) + 1, 1, "268435457 x 1"}}) {
        shape = base;
        shape.width = w;
        shape.height = h;
        shape.pixels.clear();
        cases.push_back(
            {name, MakeBmp(shape), 10, std::string("picture too large: ") + text + "\n"});
    }
    shape = base;
    shape.bitCount = 8;
    shape.colorsUsed = 0xFFFFFFFF;
    cases.push_back(
        {"AbsurdColourCount", MakeBmp(shape), 11, "End of file reached while decoding.\n"});
    shape = base;
    shape.offset = 0xFFFFFFFF;
    cases.push_back(
        {"AbsurdDataOffset", MakeBmp(shape), 11, "End of file reached while decoding.\n"});
    Bytes header = MakeBmp(base);
    header[14] = 0xF0; // header size 0xFFFFFFF0
    header[15] = header[16] = header[17] = 0xFF;
    cases.push_back({"AbsurdHeaderSize", header, 11, "End of file reached while decoding.\n"});
    return cases;
}

void PrintTo(const FailCase& c, std::ostream* os) {
    *os << c.name;
}

class BmpReject : public ::testing::TestWithParam<FailCase> {};

TEST_P(BmpReject, RaisesCodeAndText) {
    const FailCase& c = GetParam();
    CBmpDecoder decoder;
    CDIBSectionBitmap bmp;
    for (int request : {0, 32}) {
        try {
            decoder.DecodeMemory(c.file.data(), int(c.file.size()), bmp, request);
            ADD_FAILURE() << "decoded";
        } catch (const CTextException& e) {
            EXPECT_EQ(e.GetCode(), c.code);
            EXPECT_EQ(e.GetText(), c.text);
        }
        EXPECT_EQ(bmp.GetAccessCount(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Bmp, BmpReject, ::testing::ValuesIn(FailCases()),
                         [](const auto& info) { return info.param.name; });

// A request for 8 bits from a deeper file gets 8 bits: the 32-bit picture quantised.
TEST(BmpDecoder, EightBitsFromTrueColourAreQuantised) {
    BmpShape shape;
    shape.width = 2;
    shape.bitCount = 24;
    shape.pixels = {0, 0, 0, 255, 255, 255, 0, 0};
    const Bytes file = MakeBmp(shape);
    CBmpDecoder decoder;
    CMemoryBitmap bmp, deep, expected;
    decoder.DecodeMemory(file.data(), int(file.size()), bmp, 8);
    decoder.DecodeMemory(file.data(), int(file.size()), deep, 32);
    expected.ConvertFrom(deep, 8);
    ASSERT_EQ(bmp.GetBitsPerPixel(), 8);
    ASSERT_EQ(bmp.GetWidth(), 2);
    EXPECT_EQ(Colours(bmp), Colours(expected));
}

TEST(BmpDecoder, UncompressedRowsMissingFailBeforeAllocating) {
    // 16384 x 16384 at 32 bits would be 1 GiB; the file holds none of it.
    BmpShape shape;
    shape.width = 16384;
    shape.height = 16384;
    shape.bitCount = 32;
    const Bytes file = MakeBmp(shape);
    CBmpDecoder decoder;
    CMemoryBitmap bmp;
    try {
        decoder.DecodeMemory(file.data(), int(file.size()), bmp, 32);
        FAIL();
    } catch (const CTextException& e) {
        EXPECT_EQ(e.GetCode(), 11);
    }
    EXPECT_LE(bmp.GetWidth(), 16) << "no bitmap was created for the missing rows";
}

} // namespace
