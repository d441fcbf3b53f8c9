#include "codectestfiles.h"
#include "imagelib/gifdecoder.h"
#include "testbitmaps.h"

#include <gtest/gtest.h>

namespace {

const std::vector<uint32_t> kFourColours = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};

Bytes Indices(int count, int (*index)(int i)) {
    Bytes out;
    for (int i = 0; i < count; ++i)
        out.push_back(uint8_t(index(i)));
    return out;
}

void Decode(const Bytes& gif, int request, CImageBitmap& bitmap) {
    CGifDecoder decoder;
    decoder.DecodeMemory(gif.data(), int(gif.size()), bitmap, request);
}

CTextException DecodeError(const Bytes& gif) {
    CGifDecoder decoder;
    CMemoryBitmap bitmap;
    CTextException error(0, "");
    EXPECT_FALSE(TryDecode(decoder, gif, bitmap, 0, &error));
    return error;
}

TEST(GifDecoder, SmallerImageLeavesTheBackgroundIndexAround) {
    GifShape shape;
    shape.width = 6;
    shape.height = 5;
    shape.background = 2;
    shape.globalMap = kFourColours;
    shape.comment = true;
    shape.images = {{1, 2, 3, 2, false, {}, Indices(6, [](int) { return 3; })}};
    CMemoryBitmap bitmap;
    Decode(MakeGif(shape), 0, bitmap);
    ASSERT_EQ(bitmap.GetBitsPerPixel(), 8);
    ASSERT_EQ(bitmap.GetWidth(), 6);
    ASSERT_EQ(bitmap.GetHeight(), 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 6; ++x) {
            const bool inside = x >= 1 && x < 4 && y >= 2 && y < 4;
            ASSERT_EQ(bitmap.GetLines()[y][x], inside ? 3 : 2) << x << "," << y;
        }
    EXPECT_EQ(bitmap.GetPalette()[1], Bgra(0, 0, 255, 255));
    EXPECT_EQ(bitmap.GetPalette()[4], Bgra(4, 4, 4, 255)); // past the map: the grey ramp
}

TEST(GifDecoder, FramesAreDrawnInOrderAndTheLastLocalMapColoursThemAll) {
    GifShape shape;
    shape.width = 2;
    shape.height = 2;
    shape.globalMap = kFourColours;
    shape.images = {{0, 0, 2, 2, false, {0x111111, 0x222222}, Indices(4, [](int) { return 0; })},
                    {1, 1, 1, 1, false, {0xAAAAAA, 0xBBBBBB}, Indices(1, [](int) { return 1; })}};
    const Bytes gif = MakeGif(shape);
    CMemoryBitmap bitmap;
    Decode(gif, 0, bitmap);
    EXPECT_EQ(bitmap.GetLines()[0][0], 0);
    EXPECT_EQ(bitmap.GetLines()[1][1], 1);
    EXPECT_EQ(bitmap.GetPalette()[0], Bgra(0xAA, 0xAA, 0xAA, 255));
    EXPECT_EQ(bitmap.GetPalette()[1], Bgra(0xBB, 0xBB, 0xBB, 255));

    // Without a local map on the last image the global map colours everything.
    shape.images[1].localMap.clear();
    CMemoryBitmap global;
    Decode(MakeGif(shape), 0, global);
    EXPECT_EQ(global.GetPalette()[1], Bgra(0, 0, 0xFF, 255));
}

TEST(GifDecoder, InterlacedDecodesLikeItsTwinAndRequest32GivesPaletteColours) {
    GifShape shape;
    shape.width = 7;
    shape.height = 13;
    shape.globalMap = kFourColours;
    shape.images = {{0, 0, 7, 13, false, {}, Indices(91, [](int i) { return (i / 7 + i) % 4; })}};
    CMemoryBitmap plain;
    Decode(MakeGif(shape), 0, plain);
    shape.images[0].interlaced = true;
    const Bytes interlacedGif = MakeGif(shape);
    CMemoryBitmap interlaced;
    Decode(interlacedGif, 0, interlaced);
    CMemoryBitmap wide;
    Decode(interlacedGif, 32, wide);
    ASSERT_EQ(wide.GetBitsPerPixel(), 32);
    EXPECT_FALSE(wide.HasAlpha());
    for (int y = 0; y < 13; ++y)
        for (int x = 0; x < 7; ++x) {
            ASSERT_EQ(interlaced.GetLines()[y][x], plain.GetLines()[y][x]) << x << "," << y;
            ASSERT_EQ(plain.GetLines()[y][x], (y + y * 7 + x) % 4);
            ASSERT_EQ(wide.GetPixel32(x, y), ColourAt(plain, x, y));
        }
}

TEST(GifDecoder, IndicesBeyondTheMapStayHarmless) {
    GifShape shape;
    shape.width = 2;
    shape.height = 1;
    shape.background = 255;
    shape.globalMap = kFourColours;
    shape.images = {{0, 0, 1, 1, false, {}, Indices(1, [](int) { return 3; })}};
    Bytes gif = MakeGif(shape);
    // Shrink the global map to two entries; the image keeps using index 3.
    gif[10] = uint8_t((gif[10] & ~0x07) | 0x00);
    gif.erase(gif.begin() + 19, gif.begin() + 25);
    CMemoryBitmap bitmap;
    Decode(gif, 32, bitmap);
    EXPECT_EQ(bitmap.GetPixel32(0, 0), Bgra(3, 3, 3, 255));       // the grey ramp
    EXPECT_EQ(bitmap.GetPixel32(1, 0), Bgra(255, 255, 255, 255)); // background 255 too
}

TEST(GifDecoder, BadInputEndsInItsCode) {
    GifShape good;
    good.width = 4;
    good.height = 4;
    good.globalMap = kFourColours;
    good.images = {{0, 0, 4, 4, false, {}, Indices(16, [](int i) { return i % 4; })},
                   {2, 2, 2, 2, false, {}, Indices(4, [](int) { return 1; })}};
    const Bytes gif = MakeGif(good);

    // Cut inside the first image: no picture to show.
    const size_t firstImageData = 13 + 12 + 10 + 1;
    CTextException e = DecodeError(Bytes(gif.begin(), gif.begin() + long(firstImageData) + 2));
    EXPECT_EQ(e.GetCode(), 11);
    EXPECT_EQ(e.GetText(), "End of file reached while decoding.\n");

    GifShape outside = good;
    outside.images[0].left = 3;
    e = DecodeError(MakeGif(outside));
    EXPECT_EQ(e.GetCode(), 2);
    EXPECT_EQ(e.GetText(),
              "Decoder error: Image 1 is not confined to screen dimension, aborted.\n\n");

    GifShape noMap = good;
    noMap.globalMap.clear();
    e = DecodeError(MakeGif(noMap));
    EXPECT_EQ(e.GetCode(), 2);
    EXPECT_EQ(e.GetText(), "Decoder error: GIF file has no color map.\n");

    Bytes notGif = gif;
    notGif[0] = 'X'; // giflib's own test: the first three bytes
    e = DecodeError(notGif);
    EXPECT_EQ(e.GetCode(), 2);
    EXPECT_EQ(e.GetText(), "Decoder error: Data is not in GIF format\n");

    Bytes hugeScreen = gif;
    hugeScreen[6] = hugeScreen[7] = hugeScreen[8] = hugeScreen[9] = 0xFF;
    e = DecodeError(hugeScreen);
    EXPECT_EQ(e.GetCode(), 10);

    Bytes emptyScreen = gif;
    emptyScreen[6] = emptyScreen[7] = 0;
    e = DecodeError(emptyScreen);
    EXPECT_EQ(e.GetCode(), 2);

    // Damaged image data: giflib's own verdict, not a half-drawn picture.
    Bytes damaged = gif;
    const size_t lzw = 13 + 12 + 10 + 1; // header, map, descriptor, code size
    damaged[lzw + 1] = 0xFF;
    damaged[lzw + 2] = 0xFF;
    e = DecodeError(damaged);
    EXPECT_EQ(e.GetCode(), 2);
    EXPECT_EQ(e.GetText().rfind("Decoder error: ", 0), 0u);
}

// A GIF whose first picture is whole is shown as far as it is whole: a missing trailer, a
// later frame cut short, damaged or off the screen spoil nothing drawn before them, and
// a broken frame is never drawn half (nor does its colour map colour the picture).
TEST(GifDecoder, WhatFollowsAWholeFirstPictureCannotSpoilIt) {
    GifShape two;
    two.width = 4;
    two.height = 4;
    two.globalMap = kFourColours;
    two.images = {{0, 0, 4, 4, false, {}, Indices(16, [](int i) { return i % 4; })},
                  {1, 1, 3, 3, false, {0x101010, 0x202020, 0x303030, 0x404040}, Indices(9, [](int) {
                       return 2;
                   })}};
    const Bytes gif = MakeGif(two);
    GifShape firstOnly = two;
    firstOnly.images.resize(1);
    const Bytes first = MakeGif(firstOnly);
    const size_t second = first.size() - 1; // where the second image's descriptor starts
    GifShape offScreen = two;
    offScreen.images[1].left = 2;
    Bytes damaged = gif;
    // Past its descriptor, local map, code size and block length: codes no table has yet.
    for (size_t i = second + 10 + 12 + 2; i < second + 10 + 12 + 5; ++i)
        damaged[i] = 0xFF;

    CMemoryBitmap whole, firstPicture;
    Decode(gif, 32, whole);
    Decode(first, 32, firstPicture);
    ASSERT_NE(whole.GetPixel32(2, 2), firstPicture.GetPixel32(2, 2));
    const struct {
        const char* what;
        Bytes bytes;
        const CImageBitmap& expected;
    } cases[] = {
        {"trailer missing", Bytes(gif.begin(), gif.end() - 1), whole},
        {"second frame cut short", Bytes(gif.begin(), gif.end() - 6), firstPicture},
        {"second frame's descriptor cut short", Bytes(gif.begin(), gif.begin() + long(second) + 4),
         firstPicture},
        {"second frame damaged", damaged, firstPicture},
        {"second frame off the screen", MakeGif(offScreen), firstPicture},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CMemoryBitmap bitmap;
        CTextException error(0, "");
        CGifDecoder decoder;
        ASSERT_TRUE(TryDecode(decoder, c.bytes, bitmap, 32, &error)) << error.GetText();
        ASSERT_EQ(bitmap.GetWidth(), 4);
        ASSERT_EQ(bitmap.GetHeight(), 4);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x)
                ASSERT_EQ(bitmap.GetPixel32(x, y), c.expected.GetPixel32(x, y)) << x << "," << y;
    }
}

} // namespace
