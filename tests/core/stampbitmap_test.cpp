#include "core/stampbitmap.h"

#include <gtest/gtest.h>

TEST(StampBitmapPalette, CachedUntilRebuilt) {
    CStampBitmap bitmap;
    bitmap.Create(2, 2, 8, false);
    bitmap.GetPalette()[3] = 0xFF010203;
    const std::vector<uint32_t>& first = bitmap.GetLogicalPalette();
    ASSERT_EQ(first.size(), 256u);
    EXPECT_EQ(first[3], 0x010203u); // flags 0

    bitmap.GetPalette()[3] = 0xFF040506;
    EXPECT_EQ(bitmap.GetLogicalPalette()[3], 0x010203u); // still the cached one
    EXPECT_EQ(bitmap.RebuildPalette()[3], 0x040506u);

    bitmap.Create(2, 2, 1, false);
    EXPECT_EQ(bitmap.RebuildPalette().size(), 2u);
    bitmap.Create(2, 2, 32, false);
    EXPECT_EQ(bitmap.RebuildPalette(), CStampBitmap::HalftonePalette());
}

TEST(StampBitmapPalette, HalftoneHoldsTheCubeAndGreys) {
    const std::vector<uint32_t> palette = CStampBitmap::HalftonePalette();
    ASSERT_EQ(palette.size(), 256u);
    EXPECT_EQ(palette[0], 0u);
    EXPECT_EQ(palette[215], 0xFFFFFFu);
    EXPECT_EQ(palette[6 * 6 * 5 + 0], 0xFF0000u); // red 5, green 0, blue 0
    for (size_t i = 216; i < 256; ++i) {
        const uint32_t v = palette[i] & 0xFF;
        EXPECT_EQ(palette[i], v | v << 8 | v << 16) << i;
    }
}
