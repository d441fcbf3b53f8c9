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

    CTextException e = DecodeError(Bytes(gif.begin(), gif.end() - 8));
    EXPECT_EQ(e.GetCode(), 11);
    EXPECT_EQ(e.GetText(), "End of file reached while decoding.\n");

    GifShape outside = good;
    outside.images[1].left = 3;
    e = DecodeError(MakeGif(outside));
    EXPECT_EQ(e.GetCode(), 2);
    EXPECT_EQ(e.GetText(),
              "Decoder error: Image 2 is not confined to screen dimension, aborted.\n\n");

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

} // namespace
