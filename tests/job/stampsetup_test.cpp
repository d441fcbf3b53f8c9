#include "core/stampbitmap.h"
#include "job/stampsettings.h"
#include "job/stampsetup.h"
#include "testbitmaps.h"

#include <gtest/gtest.h>

namespace {

// The rule that turns settings into the stamp's alpha and the blend choice, as the batch
// runs of the command line apply it.
TEST(StampSetup, PreparationAndBlendFollowTransparencyKeyAndOpacity) {
    struct Case {
        bool usetrans;
        int colora;
        int opacity;
        int keyAlpha;   // alpha of the pixel in the key colour
        int otherAlpha; // alpha of a pixel far from it
        bool blend;
    };
    const Case cases[] = {
        {false, 0, 255, 255, 255, false}, // opaque, no key: copy
        {false, 0, 200, 200, 200, true},  // translucent: blend
        {true, 0, 255, 255, 255, false},  // transparency on but no colour picked
        {false, 1, 255, 255, 255, true},  // a picked colour blends even with keying off
        {true, 1, 255, 0, 255, true},     // keyed
        {true, 1, 90, 0, 90, true},
        {true, 2, 255, 255, 255, false}, // only 1 counts as picked, as in the window
        {true, -1, 255, 255, 255, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.usetrans << c.colora << " " << c.opacity);
        CStampSettingsValues settings;
        settings.usetrans = c.usetrans;
        settings.colora = c.colora;
        settings.opacity = c.opacity;
        settings.colorr = 10;
        settings.colorg = 20;
        settings.colorb = 30;
        settings.tptolerance = 5;
        CStampBitmap stamp;
        stamp.Create(2, 1, 32, true);
        SetPixel32(stamp, 0, 0, Bgra(33, 18, 12, 7)); // within 5 of the key on every channel
        SetPixel32(stamp, 1, 0, Bgra(200, 200, 200, 7));
        PrepareStamp(stamp, settings);
        EXPECT_EQ(AlphaRow(stamp, 0), (std::vector<int>{c.keyAlpha, c.otherAlpha}));
        EXPECT_EQ(StampNeedsBlend(settings), c.blend);
    }
}

TEST(StampSetup, FeatherSettingReachesTheKeying) {
    CStampSettingsValues settings;
    settings.usetrans = true;
    settings.colora = 1;  // key colour black
    settings.feather = 9; // one pass, growing into the keyed-out area
    CStampBitmap stamp;
    stamp.Create(3, 1, 32, true);
    SetPixel32(stamp, 0, 0, Bgra(255, 255, 255, 0));
    PrepareStamp(stamp, settings);
    EXPECT_EQ(AlphaRow(stamp, 0), (std::vector<int>{255, 127, 63}));
    EXPECT_EQ(KeyColourFromSettings(settings), 0x01000000u);
}

} // namespace
