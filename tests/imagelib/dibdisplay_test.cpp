#include "imagelib/dc.h"
#include "imagelib/dibclipboard.h"
#include "imagelib/dibdisplay.h"
#include "imagelib/textexception.h"
#include "paintedimage.h"
#include "qtapp.h"
#include "testbitmaps.h"

#include <QClipboard>
#include <QImage>
#include <QMimeData>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

// A 32-bit bitmap whose pixel (x, y) is grey y (so rows tell where they came from).
void RowNumbered(CImageBitmap& bitmap, int w, int h) {
    bitmap.Create(w, h, 32, false);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            SetPixel32(bitmap, x, y, Bgra(uint8_t(y), uint8_t(y), uint8_t(y), 0));
}

template <class F> QImage Paint(int w, int h, F&& draw) {
    QImage target = Target(w, h);
    QPainter painter(&target);
    CDC dc(painter);
    draw(dc);
    painter.end();
    return target;
}

} // namespace

TEST(DIBDrawing, ScaledHalfOfFiveByThreeCoversTwoByOne) {
    CDIBBitmap bitmap;
    RowNumbered(bitmap, 5, 3);
    const QImage out =
        Paint(20, 20, [&](CDC& dc) { EXPECT_EQ(ScaledDraw(dc, bitmap, 4, 6, 0.5), 3); });
    EXPECT_EQ(Painted(out), QRect(4, 6, 2, 1));
}

TEST(DIBDrawing, DrawPartTakesRowsFromTheTop) {
    for (int kind = 0; kind < 2; ++kind) {
        CDIBBitmap dib;
        CDIBSectionBitmap section;
        CDIBBitmap& bitmap = kind ? static_cast<CDIBBitmap&>(section) : dib;
        RowNumbered(bitmap, 40, 100);
        const QImage out = Paint(60, 60, [&](CDC& dc) {
            const int r = kind ? DrawPart(dc, section, 2, 3, 10, 20, 30, 50)
                               : DrawPart(dc, dib, 2, 3, 10, 20, 30, 50);
            EXPECT_GT(r, 0);
        });
        EXPECT_EQ(Painted(out).size(), QSize(20, 30)) << kind;
        EXPECT_EQ(qGray(out.pixel(2, 3)), 20) << kind; // the first row drawn is row 20
        EXPECT_EQ(qGray(out.pixel(21, 3 + 29)), 49) << kind;
    }
}

TEST(DIBDrawing, PaletteAppliesThroughTheColourTableAndAlphaIsIgnored) {
    CDIBSectionBitmap section;
    section.Create(2, 2, 8, false);
    section.GetPalette()[1] = 0x00FF0000; // red, with a zero alpha byte
    section.GetLines()[0][1] = 1;         // top right
    const QImage out = Paint(4, 4, [&](CDC& dc) { EXPECT_EQ(Draw(dc, section, 1, 1), 1); });
    EXPECT_EQ(out.pixel(2, 1), 0xFFFF0000u);
    EXPECT_EQ(out.pixel(1, 2), 0xFF000000u); // palette entry 0 of a fresh ramp: black

    CDIBBitmap transparent;
    transparent.Create(1, 1, 32, true);
    SetPixel32(transparent, 0, 0, Bgra(0, 255, 0, 0));
    const QImage green = Paint(1, 1, [&](CDC& dc) { Draw(dc, transparent, 0, 0); });
    EXPECT_EQ(green.pixel(0, 0), 0xFF00FF00u);
}

TEST(DIBDrawing, HalftoneAveragesReductionsAndOtherModesPickPixels) {
    CDIBBitmap bitmap;
    bitmap.Create(2, 1, 32, false);
    SetPixel32(bitmap, 0, 0, Bgra(0, 0, 0, 255));
    SetPixel32(bitmap, 1, 0, Bgra(255, 255, 255, 255));
    const QImage smooth = Paint(1, 1, [&](CDC& dc) {
        dc.SetStretchBltMode(QM_HALFTONE);
        StretchDraw(dc, bitmap, 0, 0, 1, 1);
    });
    EXPECT_NEAR(qGray(smooth.pixel(0, 0)), 128, 2);
    const QImage nearest = Paint(1, 1, [&](CDC& dc) { StretchDraw(dc, bitmap, 0, 0, 1, 1); });
    EXPECT_TRUE(qGray(nearest.pixel(0, 0)) == 0 || qGray(nearest.pixel(0, 0)) == 255);
    const QImage enlarged = Paint(4, 1, [&](CDC& dc) { StretchDraw(dc, bitmap, 0, 0, 4, 1); });
    EXPECT_EQ(qGray(enlarged.pixel(1, 0)), 0);
    EXPECT_EQ(qGray(enlarged.pixel(2, 0)), 255);
}

TEST(DIBDrawing, RefusedOperationsDrawNothing) {
    CDIBBitmap bitmap;
    RowNumbered(bitmap, 3, 3);
    const QImage out = Paint(5, 5, [&](CDC& dc) {
        EXPECT_EQ(Draw(dc, bitmap, 0, 0, 0x00EE0086 /* SRCPAINT */), 0);
        EXPECT_EQ(ScaledDraw(dc, bitmap, 0, 0, 0.0), 3); // empty: succeeds, draws nothing
        EXPECT_EQ(DrawPart(dc, bitmap, 0, 0, 2, 2, 1, 1), 3);
    });
    EXPECT_TRUE(Painted(out).isEmpty());
    CDIBBitmap fourBit;
    fourBit.Create(2, 2, 4, false);
    const QImage none = Paint(5, 5, [&](CDC& dc) { EXPECT_EQ(Draw(dc, fourBit, 0, 0), 0); });
    EXPECT_TRUE(Painted(none).isEmpty());
}

TEST(DIBImages, QImageRoundTripKeepsDepthAndPixels) {
    QImage indexed(3, 2, QImage::Format_Indexed8);
    indexed.setColorTable({0xFF000000, 0xFF00FF00, 0xFFFF0000});
    indexed.fill(1);
    indexed.setPixel(2, 1, 2);
    CDIBBitmap bitmap;
    CreateFromQImage(bitmap, indexed);
    EXPECT_EQ(bitmap.GetBitsPerPixel(), 8);
    EXPECT_EQ(bitmap.GetLines()[1][2], 2);
    EXPECT_EQ(ToQImage(bitmap).pixel(2, 1), 0xFFFF0000u);

    QImage rgb(2, 2, QImage::Format_RGB888); // 24 bits arrive at 32
    rgb.fill(QColor(10, 20, 30));
    CreateFromQImage(bitmap, rgb);
    EXPECT_EQ(bitmap.GetBitsPerPixel(), 32);
    EXPECT_EQ(bitmap.GetPixel32(1, 1) & 0xFFFFFF, 0x0A141Eu);
    EXPECT_THROW(CreateFromQImage(bitmap, QImage()), CTextException);
}

TEST(DIBClipboard, PictureRoundTripAndEmptyClipboard) {
    TestApplication();
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    CDIBBitmap bitmap;
    RowNumbered(bitmap, 4, 3);
    EXPECT_FALSE(IsClipboardFormatAvailable(QM_CF_BITMAP));
    EXPECT_FALSE(PasteFromClipboard(bitmap, QM_CF_BITMAP));
    EXPECT_EQ(bitmap.GetWidth(), 4);            // unchanged
    EXPECT_TRUE(PasteFromClipboard(bitmap, 1)); // other formats create nothing

    QImage picture(5, 7, QImage::Format_RGB888);
    picture.fill(QColor(200, 100, 50));
    ASSERT_TRUE(SetClipboardImage(picture));
    EXPECT_TRUE(IsClipboardFormatAvailable(QM_CF_BITMAP));
    CDIBBitmap pasted;
    ASSERT_TRUE(PasteFromClipboard(pasted, QM_CF_BITMAP));
    EXPECT_EQ(pasted.GetWidth(), 5);
    EXPECT_EQ(pasted.GetHeight(), 7);
    EXPECT_EQ(pasted.GetBitsPerPixel(), 32);
    EXPECT_EQ(pasted.GetPixel32(4, 6) & 0xFFFFFF, 0xC86432u);

    // A packed DIB offered as a BMP file.
    CDIBBitmap source;
    RowNumbered(source, 2, 2);
    const std::vector<uint8_t> dib = source.CopyToGlobalMemory();
    QByteArray file("BM", 2);
    file.append(QByteArray(12, '\0'));
    file.append(reinterpret_cast<const char*>(dib.data()), qsizetype(dib.size()));
    auto data = std::make_unique<QMimeData>();
    data->setData("image/bmp", file);
    clipboard->setMimeData(data.release());
    CDIBSectionBitmap fromDib;
    ASSERT_TRUE(PasteFromClipboard(fromDib, QM_CF_DIB));
    EXPECT_EQ(fromDib.GetPixel32(0, 1) & 0xFF, 1u);

    // A malformed block is refused and changes nothing.
    auto broken = std::make_unique<QMimeData>();
    broken->setData("image/bmp", QByteArray("BM0123456789abcdef"));
    clipboard->setMimeData(broken.release());
    EXPECT_FALSE(PasteFromClipboard(fromDib, QM_CF_DIB));
    EXPECT_EQ(fromDib.GetWidth(), 2);
    clipboard->clear();
}
