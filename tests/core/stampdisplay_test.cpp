#include "core/stampdisplay.h"
#include "imagelib/dibclipboard.h"
#include "paintedimage.h"
#include "qtapp.h"
#include "testbitmaps.h"

#include <QClipboard>
#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

template <class F> QImage Paint(int w, int h, F&& draw) {
    QImage target = Target(w, h);
    QPainter painter(&target);
    CDC dc(painter);
    draw(dc);
    return target;
}

// Black and white columns: any smoothing shows as grey.
void Stripes(CStampBitmap& bitmap, int w, int h) {
    bitmap.Create(w, h, 32, false);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            SetPixel32(bitmap, x, y, (x & 1) ? Bgra(255, 255, 255, 0) : Bgra(0, 0, 0, 0));
}
} // namespace

TEST(StampDrawing, FormsCoverTheirRectangles) {
    CStampBitmap bitmap;
    Stripes(bitmap, 8, 6);
    struct {
        const char* name;
        std::function<int(CDC&)> draw;
        QRect expected;
    } const cases[] = {
        {"Draw", [&](CDC& dc) { return Draw(dc, bitmap, 1, 2); }, QRect(1, 2, 8, 6)},
        {"StretchDraw", [&](CDC& dc) { return StretchDraw(dc, bitmap, 0, 0, 4, 3); },
         QRect(0, 0, 4, 3)},
        {"ScaledDraw", [&](CDC& dc) { return ScaledDraw(dc, bitmap, 2, 2, 0.5); },
         QRect(2, 2, 4, 3)},
        {"DrawPart", [&](CDC& dc) { return DrawPart(dc, bitmap, 0, 0, 2, 1, 6, 4); },
         QRect(0, 0, 4, 3)},
        {"DrawPart reversed", [&](CDC& dc) { return DrawPart(dc, bitmap, 0, 0, 6, 4, 2, 1); },
         QRect()},
    };
    for (const auto& c : cases) {
        int result = 0;
        const QImage out = Paint(20, 20, [&](CDC& dc) { result = c.draw(dc); });
        EXPECT_EQ(result, 1) << c.name;
        EXPECT_EQ(Painted(out), c.expected) << c.name;
    }
}

TEST(StampDrawing, ReductionsAreSmoothedAndTheModeIsRestored) {
    CStampBitmap bitmap;
    Stripes(bitmap, 8, 2);
    const QImage out = Paint(4, 1, [&](CDC& dc) {
        EXPECT_EQ(StretchDraw(dc, bitmap, 0, 0, 4, 1), 1);
        EXPECT_EQ(dc.GetStretchBltMode(), QM_BLACKONWHITE);
    });
    EXPECT_NEAR(qGray(out.pixel(1, 0)), 128, 3);

    // Mode 0 leaves the context's own (nearest) mode: enlargements keep square pixels.
    const QImage nearest = Paint(16, 2, [&](CDC& dc) {
        const CRectL dest{0, 0, 16, 2};
        EXPECT_EQ(DrawThroughMemoryDC(dc, bitmap, &dest, nullptr, nullptr, true, 0, QM_SRCCOPY), 1);
    });
    EXPECT_EQ(qGray(nearest.pixel(0, 0)), 0);
    EXPECT_EQ(qGray(nearest.pixel(2, 0)), 255);
}

TEST(StampClipboard, CopyPutsThePictureOnTheClipboard) {
    TestApplication();
    CStampBitmap bitmap;
    Stripes(bitmap, 3, 2);
    ASSERT_TRUE(CopyToClipboard(bitmap));
    const QImage image = QGuiApplication::clipboard()->image();
    ASSERT_EQ(image.size(), QSize(3, 2));
    EXPECT_EQ(qGray(image.pixel(1, 1)), 255);
    EXPECT_EQ(qGray(image.pixel(0, 0)), 0);
    CStampBitmap empty;
    empty.Create(0, 0, 32, false);
    EXPECT_FALSE(CopyToClipboard(empty));
    QGuiApplication::clipboard()->clear();
}
