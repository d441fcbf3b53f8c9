#include "core/checkerboard.h"
#include "imagelib/bitmap.h"

#include <gtest/gtest.h>

namespace {
void Set(CImageBitmap& bitmap, int x, int y, uint32_t argb) {
    uint8_t* p = bitmap.GetLines()[y] + 4 * x;
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(argb >> (8 * i));
}
} // namespace

// Opaque pixels stay, clear ones show the square they lie on, half-clear ones lie between;
// the squares alternate every cell pixels in both directions.
TEST(Checkerboard, AlphaBlendsOverAlternatingSquares) {
    CMemoryBitmap stamp;
    stamp.Create(8, 4, 32, true);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 8; ++x)
            Set(stamp, x, y, 0x00000000); // clear black, as many PNG stamps store it
    Set(stamp, 0, 0, 0xFF102030);
    Set(stamp, 3, 0, 0x80000000);
    CMemoryBitmap shown;
    BlendOverCheckerboard(stamp, shown, 2);
    ASSERT_EQ(shown.GetWidth(), 8);
    ASSERT_EQ(shown.GetBitsPerPixel(), 32);
    const struct {
        int x, y;
        uint32_t rgb;
    } cases[] = {
        {0, 0, 0x102030},      // opaque: unchanged
        {1, 1, kCheckerLight}, // first square
        {2, 0, kCheckerDark},  // next one across
        {0, 2, kCheckerDark},  // next one down
        {3, 3, kCheckerLight}, // diagonal again
        {3, 0, 0x666666},      // half of the dark grey under it
        {7, 3, kCheckerLight},
    };
    for (const auto& c : cases)
        EXPECT_EQ(shown.GetPixel32(c.x, c.y) & 0xFFFFFF, c.rgb) << c.x << "," << c.y;
    EXPECT_EQ(shown.GetPixel32(4, 2) >> 24, 0xFFu) << "opaque result";
}
