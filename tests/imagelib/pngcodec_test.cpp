#include "codectestfiles.h"
#include "imagelib/pngdecoder.h"
#include "imagelib/pngencoder.h"
#include "testbitmaps.h"

#include <gtest/gtest.h>

#include <chrono>

#include <png.h>

namespace {

// Packs sample values into a row as libpng takes them.
Bytes PackRow(const std::vector<int>& samples, int bitDepth) {
    Bytes row;
    if (bitDepth == 16) {
        for (int s : samples) {
            row.push_back(uint8_t(s >> 8));
            row.push_back(uint8_t(s));
        }
        return row;
    }
    if (bitDepth == 8) {
        for (int s : samples)
            row.push_back(uint8_t(s));
        return row;
    }
    const int perByte = 8 / bitDepth;
    row.assign((samples.size() + perByte - 1) / perByte, 0);
    for (size_t i = 0; i < samples.size(); ++i)
        row[i / perByte] |= uint8_t(samples[i] << (8 - bitDepth * (1 + int(i % perByte))));
    return row;
}

// width x height pixels of `channels` samples each, from a formula of (x, y, channel).
PngShape Picture(int colorType, int bitDepth, int width, int height,
                 int (*sample)(int x, int y, int c, int maxValue)) {
    const int channels = colorType == PNG_COLOR_TYPE_RGB          ? 3
                         : colorType == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                         : colorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                                  : 1;
    PngShape shape;
    shape.width = width;
    shape.height = height;
    shape.colorType = colorType;
    shape.bitDepth = bitDepth;
    for (int y = 0; y < height; ++y) {
        std::vector<int> samples;
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                samples.push_back(sample(x, y, c, (1 << bitDepth) - 1));
        shape.rows.push_back(PackRow(samples, bitDepth));
    }
    return shape;
}

int Ramp(int x, int y, int c, int maxValue) {
    return (x * 37 + y * 11 + c * 71) % (maxValue + 1);
}

void Decode(const Bytes& png, int request, CImageBitmap& bitmap) {
    CPngDecoder decoder;
    decoder.DecodeMemory(png.data(), int(png.size()), bitmap, request);
}

TEST(PngDecoder, GreyDepthsGiveTheirLevelsAt8BitsAndTheSameColoursAt32) {
    for (int depth : {1, 2, 4, 8, 16}) {
        SCOPED_TRACE(depth);
        const PngShape shape = Picture(PNG_COLOR_TYPE_GRAY, depth, 9, 3, Ramp);
        const Bytes png = MakePng(shape);
        CMemoryBitmap narrow;
        Decode(png, 0, narrow);
        ASSERT_EQ(narrow.GetBitsPerPixel(), 8);
        EXPECT_FALSE(narrow.HasAlpha());
        const uint32_t levels = 1u << std::min(depth, 8);
        for (uint32_t i = 0; i < levels; ++i)
            ASSERT_EQ(narrow.GetPalette()[i], 0xFF000000u | (i * 255 / (levels - 1)) * 0x010101u);
        CMemoryBitmap wide;
        Decode(png, 32, wide);
        ASSERT_EQ(wide.GetBitsPerPixel(), 32);
        EXPECT_FALSE(wide.HasAlpha());
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 9; ++x) {
                const int sample = Ramp(x, y, 0, (1 << depth) - 1);
                ASSERT_EQ(narrow.GetLines()[y][x], depth == 16 ? sample >> 8 : sample);
                ASSERT_EQ(wide.GetPixel32(x, y), ColourAt(narrow, x, y));
            }
    }
    // The 2-bit levels spelled out.
    CMemoryBitmap twoBit;
    Decode(MakePng(Picture(PNG_COLOR_TYPE_GRAY, 2, 4, 1, Ramp)), 0, twoBit);
    EXPECT_EQ(twoBit.GetPalette()[1], Bgra(85, 85, 85, 255));
    EXPECT_EQ(twoBit.GetPalette()[2], Bgra(170, 170, 170, 255));
    EXPECT_EQ(twoBit.GetPalette()[3], Bgra(255, 255, 255, 255));
}

TEST(PngDecoder, PaletteWithTransparencyGivesAlphaInByte3AndTheFlag) {
    PngShape shape =
        Picture(PNG_COLOR_TYPE_PALETTE, 2, 3, 1, [](int x, int, int, int) { return x; });
    shape.palette = {0xFF0000, 0x00FF00, 0x0000FF};
    shape.transparency = {0, 128};
    const Bytes png = MakePng(shape);

    CMemoryBitmap wide;
    Decode(png, 32, wide);
    ASSERT_EQ(wide.GetBitsPerPixel(), 32);
    EXPECT_TRUE(wide.HasAlpha()); // a stamp brings its transparency along
    EXPECT_EQ(wide.GetPixel32(0, 0), Bgra(0, 0, 255, 0));
    EXPECT_EQ(wide.GetPixel32(1, 0), Bgra(0, 255, 0, 128));
    EXPECT_EQ(wide.GetPixel32(2, 0), Bgra(255, 0, 0, 255));

    CMemoryBitmap narrow;
    Decode(png, 0, narrow);
    ASSERT_EQ(narrow.GetBitsPerPixel(), 8);
    EXPECT_EQ(narrow.GetPalette()[0], Bgra(0, 0, 255, 255));
    EXPECT_EQ(narrow.GetPalette()[2], Bgra(255, 0, 0, 255));
    EXPECT_EQ(narrow.GetPalette()[3], Bgra(0, 0, 0, 255)); // past PLTE: black, as at 32 bits
    EXPECT_EQ(narrow.GetLines()[0][1], 1);
}

TEST(PngDecoder, ColourTypesGive32BitsWithAlphaOnlyWhereTheFileHasIt) {
    const struct {
        int colorType, depth;
        bool alpha;
    } cases[] = {
        {PNG_COLOR_TYPE_RGB, 8, false},       {PNG_COLOR_TYPE_RGB, 16, false},
        {PNG_COLOR_TYPE_RGB_ALPHA, 8, true},  {PNG_COLOR_TYPE_RGB_ALPHA, 16, true},
        {PNG_COLOR_TYPE_GRAY_ALPHA, 8, true}, {PNG_COLOR_TYPE_GRAY_ALPHA, 16, true},
    };
    for (const auto& c : cases)
        for (int request : {0, 8, 32}) {
            SCOPED_TRACE(testing::Message() << c.colorType << "/" << c.depth << " @" << request);
            const Bytes png = MakePng(Picture(c.colorType, c.depth, 5, 4, Ramp));
            CMemoryBitmap bitmap;
            Decode(png, request, bitmap);
            ASSERT_EQ(bitmap.GetBitsPerPixel(), 32);
            EXPECT_EQ(bitmap.HasAlpha(), c.alpha);
            const int shift = c.depth == 16 ? 8 : 0;
            const int max = (1 << c.depth) - 1;
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 5; ++x) {
                    const uint32_t p = bitmap.GetPixel32(x, y);
                    const bool grey = c.colorType == PNG_COLOR_TYPE_GRAY_ALPHA;
                    const int r = Ramp(x, y, 0, max) >> shift;
                    const int g = Ramp(x, y, grey ? 0 : 1, max) >> shift;
                    const int b = Ramp(x, y, grey ? 0 : 2, max) >> shift;
                    const int a = c.alpha ? Ramp(x, y, grey ? 1 : 3, max) >> shift : 255;
                    ASSERT_EQ(p, Bgra(uint8_t(b), uint8_t(g), uint8_t(r), uint8_t(a)));
                }
        }
}

TEST(PngDecoder, InterlacedDecodesLikeItsTwin) {
    const int kinds[][2] = {{PNG_COLOR_TYPE_GRAY, 1},
                            {PNG_COLOR_TYPE_GRAY, 16},
                            {PNG_COLOR_TYPE_PALETTE, 4},
                            {PNG_COLOR_TYPE_RGB, 8},
                            {PNG_COLOR_TYPE_RGB_ALPHA, 16}};
    for (const auto& kind : kinds) {
        SCOPED_TRACE(testing::Message() << kind[0] << "/" << kind[1]);
        PngShape shape = Picture(kind[0], kind[1], 13, 11, Ramp);
        for (int i = 0; i < 16; ++i)
            shape.palette.push_back(uint32_t(i) * 0x0F1F2Fu);
        if (kind[0] != PNG_COLOR_TYPE_PALETTE)
            shape.palette.clear();
        const Bytes plain = MakePng(shape);
        shape.interlaced = true;
        const Bytes interlaced = MakePng(shape);
        ASSERT_NE(plain, interlaced);
        for (int request : {0, 32}) {
            CMemoryBitmap a, b;
            Decode(plain, request, a);
            Decode(interlaced, request, b);
            ASSERT_EQ(a.GetBitsPerPixel(), b.GetBitsPerPixel());
            for (int y = 0; y < 11; ++y)
                for (int x = 0; x < 13; ++x)
                    ASSERT_EQ(ColourAt(b, x, y), ColourAt(a, x, y)) << x << "," << y;
        }
    }
}

CTextException DecodeError(const Bytes& png) {
    CPngDecoder decoder;
    CMemoryBitmap bitmap;
    CTextException error(0, "");
    EXPECT_FALSE(TryDecode(decoder, png, bitmap, 32, &error));
    return error;
}

TEST(PngDecoder, CorruptTruncatedAndOversizedFilesFailWithTheirCodes) {
    const Bytes good = MakePng(Picture(PNG_COLOR_TYPE_RGB, 8, 8, 8, Ramp));
    const std::vector<PngChunk> chunks = ListPngChunks(good);
    ASSERT_EQ(chunks[0].type, "IHDR");
    size_t idat = 0, idatLength = 0;
    for (const PngChunk& c : chunks)
        if (c.type == "IDAT") {
            idat = c.offset;
            idatLength = c.data.size();
        }

    Bytes badCrc = good;
    badCrc[idat + 8 + idatLength] ^= 0x01; // the CRC field
    CTextException e = DecodeError(badCrc);
    EXPECT_EQ(e.GetCode(), 2);
    EXPECT_EQ(e.GetText(), "Decoder error: IDAT: CRC error\n");

    e = DecodeError(Bytes(good.begin(), good.begin() + long(idat + 20)));
    EXPECT_EQ(e.GetCode(), 11);
    EXPECT_EQ(e.GetText(), "End of file reached while decoding.\n");

    Bytes huge = good; // 100000 x 100000, under libpng's limit of a million a side
    const uint8_t size[4] = {0x00, 0x01, 0x86, 0xA0};
    std::copy(size, size + 4, huge.begin() + 16);
    std::copy(size, size + 4, huge.begin() + 20);
    FixPngCrc(huge, 8);
    e = DecodeError(huge);
    EXPECT_EQ(e.GetCode(), 10);

    // A text chunk declaring 2 GB in a file of a few hundred bytes: no 2 GB buffer, and
    // no time spent clearing one.
    Bytes bomb(good.begin(), good.begin() + long(chunks[1].offset));
    const uint8_t header[8] = {0x7F, 0xFF, 0xFF, 0xFF, 't', 'E', 'X', 't'};
    bomb.insert(bomb.end(), header, header + 8);
    bomb.insert(bomb.end(), good.begin() + long(chunks[1].offset), good.end());
    const auto start = std::chrono::steady_clock::now();
    e = DecodeError(bomb);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_EQ(e.GetCode(), 11);
}

// ---- encoder

Bytes EncodePng(const CImageBitmap& bitmap, int capacity = 1 << 20) {
    CPngEncoder encoder;
    CTestSink sink(capacity);
    encoder.Encode(bitmap, sink);
    return sink.Written();
}

void FillPattern(CImageBitmap& bitmap) {
    for (int y = 0; y < bitmap.GetHeight(); ++y)
        for (int x = 0; x < bitmap.GetWidth(); ++x) {
            uint8_t* row = bitmap.GetLines()[y];
            switch (bitmap.GetBitsPerPixel()) {
            case 1:
                if ((x + y) % 3 == 0)
                    row[x / 8] |= uint8_t(0x80 >> (x % 8));
                break;
            case 8:
                row[x] = uint8_t(x * 7 + y * 29);
                break;
            default:
                SetPixel32(bitmap, x, y,
                           Bgra(uint8_t(x * 9), uint8_t(y * 13), uint8_t(x + y), uint8_t(x * y)));
            }
        }
}

TEST(PngEncoder, RoundTripsEveryDepthWithAndWithoutAlpha) {
    const struct {
        const char* what;
        int bpp;
        bool alpha;
        bool whiteFirst; // 1-bit palette white, black (as the conversion to 1 bit makes it)
    } cases[] = {{"1 bit", 1, false, false},
                 {"1 bit white first", 1, false, true},
                 {"8 bits", 8, false, false},
                 {"32 bits", 32, false, false},
                 {"32 bits with alpha", 32, true, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CMemoryBitmap original;
        original.Create(19, 7, uint16_t(c.bpp), c.alpha);
        FillPattern(original);
        if (c.bpp == 8)
            for (uint32_t i = 0; i < 256; ++i)
                original.GetPalette()[i] = 0xFF000000u | (i * 0x9E3779u & 0xFFFFFF);
        if (c.whiteFirst) {
            original.GetPalette()[0] = Bgra(255, 255, 255, 255);
            original.GetPalette()[1] = Bgra(0, 0, 0, 255);
        }
        const Bytes png = EncodePng(original);
        CMemoryBitmap decoded;
        Decode(png, 32, decoded);
        EXPECT_EQ(decoded.HasAlpha(), c.alpha);
        for (int y = 0; y < 7; ++y)
            for (int x = 0; x < 19; ++x) {
                uint32_t expected = c.bpp == 1 ? ((original.GetLines()[y][x / 8] >> (7 - x % 8)) & 1
                                                      ? original.GetPalette()[1]
                                                      : original.GetPalette()[0])
                                               : ColourAt(original, x, y);
                if (!c.alpha)
                    expected |= 0xFF000000u;
                ASSERT_EQ(decoded.GetPixel32(x, y), expected) << x << "," << y;
            }
        if (c.bpp == 8) {
            CMemoryBitmap indexed;
            Decode(png, 0, indexed);
            ASSERT_EQ(indexed.GetBitsPerPixel(), 8);
            for (int i = 0; i < 256; ++i)
                ASSERT_EQ(indexed.GetPalette()[i], original.GetPalette()[i]);
            EXPECT_EQ(indexed.GetLines()[3][5], original.GetLines()[3][5]);
        }
    }
}

TEST(PngEncoder, HeaderPaletteAndSignificantBitsByDepth) {
    const struct {
        int bpp;
        bool alpha;
        int colorType, bitDepth;
        Bytes sbit;
    } cases[] = {{1, false, 0, 1, {1}},
                 {8, false, 3, 8, {8, 8, 8}},
                 {32, false, 2, 8, {8, 8, 8}},
                 {32, true, 6, 8, {8, 8, 8, 8}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bpp << " alpha " << c.alpha);
        CMemoryBitmap bitmap;
        bitmap.Create(5, 3, uint16_t(c.bpp), c.alpha);
        const std::vector<PngChunk> chunks = ListPngChunks(EncodePng(bitmap));
        ASSERT_FALSE(chunks.empty());
        const Bytes& ihdr = chunks[0].data;
        EXPECT_EQ(ihdr[8], c.bitDepth);
        EXPECT_EQ(ihdr[9], c.colorType);
        EXPECT_EQ(ihdr[12], 0); // not interlaced
        bool sawPalette = false;
        for (const PngChunk& chunk : chunks) {
            if (chunk.type == "sBIT") {
                EXPECT_EQ(chunk.data, c.sbit);
            }
            if (chunk.type == "PLTE") {
                sawPalette = true;
                EXPECT_EQ(chunk.data.size(), 768u);
            }
        }
        EXPECT_EQ(sawPalette, c.bpp == 8);
    }
}

TEST(PngEncoder, FrontEndBufferHoldsIncompressibleNarrowBitmaps) {
    for (int bpp : {1, 8, 32}) {
        SCOPED_TRACE(bpp);
        CMemoryBitmap bitmap;
        bitmap.Create(bpp == 32 ? 3 : 1, 30000, uint16_t(bpp), bpp == 32);
        uint32_t state = 7;
        for (int y = 0; y < bitmap.GetHeight(); ++y)
            for (int i = 0; i < bitmap.GetBytesPerLine(); ++i)
                bitmap.GetLines()[y][i] = uint8_t((state = state * 1664525u + 1013904223u) >> 24);
        CPngEncoder encoder;
        CTestSink sink(encoder.GetSinkCapacity(bitmap));
        EXPECT_NO_THROW(encoder.Encode(bitmap, sink));
    }
}

TEST(PngEncoder, FullSinkRaisesCode11AndLibpngErrorsCode6) {
    CMemoryBitmap bitmap;
    bitmap.Create(64, 64, 32, false);
    FillPattern(bitmap);
    try {
        EncodePng(bitmap, 60);
        FAIL() << "no overflow";
    } catch (const CTextException& e) {
        EXPECT_EQ(e.GetCode(), 11);
        EXPECT_EQ(e.GetText(), "Buffer overflow while encoding.\n");
    }
    CMemoryBitmap empty;
    empty.Create(0, 4, 32, false);
    try {
        EncodePng(empty);
        FAIL() << "libpng took a zero width";
    } catch (const CTextException& e) {
        EXPECT_EQ(e.GetCode(), 6);
        EXPECT_EQ(e.GetText().rfind("Decoder error: ", 0), 0u) << e.GetText();
    }
}

} // namespace
