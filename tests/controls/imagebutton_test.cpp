#include "controls/imagebutton.h"
#include "controls/imagebuttonlayout.h"
#include "qtapp.h"
#include "resources/resource.h"

#include <QImage>

#include <gtest/gtest.h>

TEST(ImageButtonLayout, PositionsResolveAndCentre) {
    struct {
        QPoint in;
        QSize content, client;
        QPoint out;
    } const rows[] = {
        {{4, -1}, {16, 16}, {80, 20}, {4, 2}},    {{-1, -1}, {16, 16}, {80, 21}, {32, 2}},
        {{-1, -1}, {16, 16}, {10, 10}, {-3, -3}}, // negative halves round down
        {{-1, -1}, {17, 17}, {10, 10}, {-4, -4}}, {{7, 9}, {16, 16}, {10, 10}, {7, 9}},
    };
    for (const auto& r : rows)
        EXPECT_EQ(ResolveButtonPosition(r.in, r.content, r.client), r.out) << r.in.x();
}

TEST(ImageButtonLayout, FocusInsetTable) {
    struct {
        int w, h, inset;
    } const rows[] = {{40, 10, 2}, {40, 12, 3}, {40, 15, 3}, {40, 16, 3},
                      {90, 21, 3}, {8, 30, 2},  {3, 3, 0},   {14, 60, 3}};
    for (const auto& r : rows)
        EXPECT_EQ(FocusInset(QRect(0, 0, r.w, r.h)), r.inset) << r.w << "x" << r.h;
}

TEST(ImageButtonLayout, PlanFollowsTheRules) {
    CImageButtonInput base;
    base.item = QRect(0, 0, 100, 20);
    base.automaticLayout = false;
    base.imagePosition = QPoint(4, -1);
    base.textPosition = QPoint(23, -1);
    base.hasIcon = true;
    base.imageSize = QSize(16, 16);
    base.hasText = true;
    base.textSize = QSize(50, 13);

    CImageButtonPlan plan = PlanImageButton(base);
    EXPECT_EQ(plan.iconPosition, QPoint(4, 2));
    EXPECT_EQ(plan.textPosition, QPoint(23, 2)); // centred (3) lifted by one
    EXPECT_FALSE(plan.drawFocus);

    CImageButtonInput pressed = base;
    pressed.pressed = true;
    plan = PlanImageButton(pressed);
    EXPECT_EQ(plan.iconPosition, QPoint(5, 3));
    EXPECT_EQ(plan.textPosition, QPoint(24, 3));

    CImageButtonInput fixedY = base;
    fixedY.textPosition = QPoint(23, 5); // not centred: no lift
    EXPECT_EQ(PlanImageButton(fixedY).textPosition, QPoint(23, 5));

    CImageButtonInput automatic = base;
    automatic.automaticLayout = true;
    plan = PlanImageButton(automatic);
    EXPECT_EQ(plan.iconPosition, QPoint(4, 2));
    // Right of margin 4 + image 16 + gap 8 = 28, centred in the 72 left: 28 + (72 - 50) / 2.
    EXPECT_EQ(plan.textPosition, QPoint(39, 2));
    automatic.hasText = false;
    EXPECT_EQ(PlanImageButton(automatic).iconPosition, QPoint(42, 2)); // centred both ways
    automatic.hasText = true;
    automatic.hasIcon = false;
    EXPECT_EQ(PlanImageButton(automatic).textPosition, QPoint(25, 2));

    CImageButtonInput focused = base;
    focused.focused = true;
    plan = PlanImageButton(focused);
    EXPECT_TRUE(plan.drawFocus);
    EXPECT_EQ(plan.focusRect, QRect(3, 3, 94, 14));
    focused.disabled = true;
    EXPECT_FALSE(PlanImageButton(focused).drawFocus);
}

namespace {
// The box of the strongly green pixels: the start icon's triangle.
QRect GreenBox(const QImage& image) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if (qGreen(p) > 120 && qRed(p) < 110 && qBlue(p) < 110)
                box |= QRect(x, y, 1, 1);
        }
    return box;
}
} // namespace

TEST(ImageButton, IconsPressedOffsetAndMissingIcon) {
    TestApplication();
    CImageButton button("start");
    button.resize(96, 27);
    EXPECT_FALSE(button.SetIcon(4711, 16, 16));
    EXPECT_FALSE(button.HasIcon());
    EXPECT_TRUE(button.SetIcon(IDI_START, 16, 16));
    EXPECT_EQ(button.GetImageSize(), QSize(16, 16));
    EXPECT_TRUE(button.IsAutomaticLayout());
    EXPECT_EQ(button.SetImagePos(10, -1), QPoint(-1, -1));
    EXPECT_EQ(button.SetTextPos(40, -1), QPoint(-1, -1));
    EXPECT_EQ(button.SetImagePos(10, -1), QPoint(10, -1));
    EXPECT_FALSE(button.IsAutomaticLayout());

    const QRect up = GreenBox(button.grab().toImage());
    button.setDown(true);
    const QRect down = GreenBox(button.grab().toImage());
    ASSERT_FALSE(up.isEmpty());
    EXPECT_EQ(down, up.translated(1, 1));
    EXPECT_GE(up.left(), 10);
    EXPECT_LE(up.right(), 10 + 16);

    button.setDown(false);
    button.setEnabled(false);
    EXPECT_TRUE(GreenBox(button.grab().toImage()).isEmpty()); // the disabled look is grey
}
