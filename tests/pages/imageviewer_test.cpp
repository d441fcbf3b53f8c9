#include "pages/position/imageviewer.h"

#include "core/stampcompositing.h"
#include "imagelib/bitmap.h"
#include "platform/messagebox.h"
#include "platform/resourceloader.h"
#include "qtestapp.h"
#include "resources/resource.h"
#include "testbitmaps.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// A 32-bit picture whose pixel (x, y) is (x, y, x + y) as blue, green, red.
void MakeRamp(CImageBitmap& bmp, int w, int h) {
    bmp.Create(w, h, 32, false);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            SetPixel32(bmp, x, y, Bgra(uint8_t(x), uint8_t(y), uint8_t(x + y), 255));
}

QString WritePng(const QTemporaryDir& dir, const char* name, int w, int h, QRgb colour) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = dir.filePath(name);
    image.save(path, "PNG");
    return path;
}

struct ViewerFixture : testing::Test {
    ViewerFixture() {
        TestApp();
        viewer.resize(200, 200);
        viewer.show(); // resize events reach shown widgets only
        viewer.FinishResize();
    }
    CImageViewer viewer;
};

} // namespace

TEST_F(ViewerFixture, LoadsAFileAtItsFitZoomAndReportsBadOnes) {
    QTemporaryDir dir;
    const QString good = WritePng(dir, "wide.png", 400, 100, qRgb(10, 20, 30));
    CMessageBoxRecorder boxes;
    ASSERT_TRUE(viewer.LoadPictureFile(good, true));
    EXPECT_TRUE(viewer.IsLoaded());
    EXPECT_EQ(viewer.GetPicture().GetBitsPerPixel(), 32);
    EXPECT_DOUBLE_EQ(viewer.GetZoom(), 0.5);
    EXPECT_EQ(viewer.GetPicture().GetPixel32(3, 3) & 0xFFFFFF, 0x0A141Eu);

    QFile junk(dir.filePath("junk.png"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a picture at all, only words");
    junk.close();
    EXPECT_FALSE(viewer.LoadPictureFile(junk.fileName(), true));
    EXPECT_FALSE(viewer.IsLoaded());
    ASSERT_EQ(boxes.GetRecords().size(), 1u);
    EXPECT_EQ(boxes.GetRecords()[0].icon, CMessageIcon::Error);
    EXPECT_EQ(boxes.GetRecords()[0].title, "quillmark");
    EXPECT_TRUE(boxes.GetRecords()[0].text.contains("Unknown file type"))
        << boxes.GetRecords()[0].text.toStdString();

    // Remembered paths are reloaded quietly.
    EXPECT_FALSE(viewer.LoadPictureFile(dir.filePath("missing.png"), false));
    EXPECT_EQ(boxes.GetRecords().size(), 1u);
}

TEST_F(ViewerFixture, BuiltInSampleLoads) {
    CMessageBoxRecorder boxes;
    ASSERT_TRUE(viewer.LoadSamplePicture());
    EXPECT_EQ(viewer.GetPicture().GetWidth(), 190);
    EXPECT_EQ(viewer.GetPicture().GetHeight(), 190);
    EXPECT_DOUBLE_EQ(viewer.GetZoom(), 1.0);
    EXPECT_TRUE(boxes.GetRecords().empty());
}

TEST_F(ViewerFixture, SetPictureCopiesAndKeepsTheCentre) {
    CMemoryBitmap ramp;
    MakeRamp(ramp, 250, 250);
    EXPECT_FALSE(viewer.IsLoaded());
    viewer.SetZoom(3.0); // nothing shown: ignored
    EXPECT_DOUBLE_EQ(viewer.GetZoom(), 1.0);

    ASSERT_TRUE(viewer.SetPicture(ramp, false));
    ASSERT_TRUE(viewer.IsScrollable());
    SetPixel32(ramp, 0, 0, 0); // the viewer's copy is its own
    EXPECT_EQ(viewer.GetPicture().GetPixel32(0, 0) & 0xFFFFFF, 0u);
    EXPECT_EQ(viewer.GetPicture().GetPixel32(1, 2) & 0xFFFFFF, 0x030201u);

    viewer.ScrollBy(40, 30);
    const int sx = viewer.GetGeometry().GetScrollX(), sy = viewer.GetGeometry().GetScrollY();
    EXPECT_EQ(sx, 40);
    // The stamped view is rebuilt from a picture of the same size: same place.
    viewer.SetPicture(ramp, false);
    EXPECT_EQ(viewer.GetGeometry().GetScrollX(), sx);
    EXPECT_EQ(viewer.GetGeometry().GetScrollY(), sy);
    // A fitted picture starts whole.
    viewer.SetPicture(ramp, true);
    EXPECT_FALSE(viewer.IsScrollable());
}

TEST_F(ViewerFixture, BackBufferShowsSquarePixelsEnlargedAndAveragesReduced) {
    CMemoryBitmap checker;
    checker.Create(100, 100, 32, false);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            SetPixel32(checker, x, y, (x + y) % 2 ? Bgra(255, 255, 255, 0) : Bgra(0, 0, 0, 0));
    viewer.SetPicture(checker, false);
    viewer.SetZoom(3.0);
    const QImage& big = viewer.GetBackBuffer();
    ASSERT_FALSE(big.isNull());
    // Nearest pixels: each picture pixel is a 3 x 3 block of one colour.
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x)
            ASSERT_EQ(qRed(big.pixel(x, y)), ((x / 3 + y / 3) % 2) ? 255 : 0) << x << "," << y;

    viewer.SetZoom(0.5);
    const QImage& small = viewer.GetBackBuffer();
    ASSERT_EQ(small.width(), 50);
    EXPECT_NEAR(qRed(small.pixel(20, 20)), 128, 3); // halftone averages the checker
}

TEST_F(ViewerFixture, StampBlendComposesLikeTheBatch) {
    CMemoryBitmap sample, stamp, expected;
    MakeRamp(sample, 120, 90);
    MakeRamp(expected, 120, 90);
    stamp.Create(30, 20, 32, false);
    Fill32(stamp, Bgra(200, 100, 50, 128));
    viewer.SetPicture(sample, true);
    viewer.StampBlend(stamp, 2, 2, -4, 3);
    BlendStampPixels(stamp, expected, ComputeStampPlacement(stamp, expected, 2, 2, -4, 3));
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 120; ++x)
            ASSERT_EQ(viewer.GetPicture().GetPixel32(x, y), expected.GetPixel32(x, y));
}

TEST_F(ViewerFixture, PicksTheColourUnderTheMouse) {
    CMemoryBitmap ramp;
    MakeRamp(ramp, 100, 50); // destination (50, 75, 150, 125)
    viewer.SetNotify(true);
    viewer.SetPickEnabled(true);
    viewer.SetPicture(ramp, true);
    uint32_t atClick = 0xDEAD;
    QObject::connect(&viewer, &CImageViewer::clicked, [&] { atClick = viewer.GetPickedColour(); });
    QTest::mouseClick(&viewer, Qt::LeftButton, {}, QPoint(60, 80));
    EXPECT_EQ(viewer.GetPickedColour(), 0x010F050Au); // red 15, green 5, blue 10, flag 1
    EXPECT_EQ(atClick, viewer.GetPickedColour());     // set before the notification
    QTest::mouseClick(&viewer, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(viewer.GetPickedColour(), 0u);
    viewer.SetPickEnabled(false);
    QTest::mouseClick(&viewer, Qt::LeftButton, {}, QPoint(60, 80));
    EXPECT_EQ(viewer.GetPickedColour(), 0u);
}

TEST_F(ViewerFixture, WithoutNotifyTheMouseGoesToTheParent) {
    QWidget parent;
    parent.resize(300, 300);
    auto* view = new CImageViewer(&parent);
    view->setGeometry(10, 10, 100, 100);
    struct Filter : QObject {
        int presses = 0;
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::MouseButtonPress)
                ++presses;
            return false;
        }
    } filter;
    parent.installEventFilter(&filter);
    QSignalSpy clicks(view, &CImageViewer::clicked);
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(20, 20));
    EXPECT_EQ(filter.presses, 1);
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(ViewerFixture, PopupGreysWhatCannotBeDone) {
    auto state = [&](int command) {
        std::unique_ptr<QMenu> menu = viewer.CreatePopupMenu();
        EXPECT_TRUE(menu);
        QAction* action = menu ? FindMenuCommand(menu.get(), command) : nullptr;
        EXPECT_TRUE(action);
        return action && action->isEnabled();
    };
    QImage picture(4, 4, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QGuiApplication::clipboard()->setImage(picture);
    EXPECT_FALSE(state(ID_POPUP_COPY));
    EXPECT_FALSE(state(ID_POPUP_PASTE)); // not offered
    CMemoryBitmap ramp;
    MakeRamp(ramp, 10, 10);
    viewer.SetPicture(ramp, true);
    EXPECT_TRUE(state(ID_POPUP_COPY));
    EXPECT_FALSE(state(ID_POPUP_PASTE));
    viewer.SetPasteOffered(true);
    EXPECT_TRUE(state(ID_POPUP_PASTE));
    QGuiApplication::clipboard()->clear();
    EXPECT_FALSE(state(ID_POPUP_PASTE));
}

TEST_F(ViewerFixture, ResizeIsDebouncedAndRefitsWhenAsked) {
    CMemoryBitmap ramp;
    MakeRamp(ramp, 400, 400);
    viewer.SetFitOnResize(true);
    viewer.SetPicture(ramp, true);
    EXPECT_DOUBLE_EQ(viewer.GetZoom(), 0.5);
    viewer.resize(100, 100);
    EXPECT_TRUE(viewer.IsResizePending());
    EXPECT_DOUBLE_EQ(viewer.GetZoom(), 0.5);
    QTest::qWait(120);
    viewer.resize(100, 101); // a further step restarts the wait
    QTest::qWait(220);
    EXPECT_TRUE(viewer.IsResizePending());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !viewer.IsResizePending(); }, 1000));
    EXPECT_DOUBLE_EQ(viewer.GetZoom(), 0.25);

    // Without fit on resize the zoom stays and only the geometry follows.
    viewer.SetFitOnResize(false);
    viewer.resize(300, 300);
    viewer.FinishResize();
    EXPECT_DOUBLE_EQ(viewer.GetZoom(), 0.25);
    EXPECT_EQ(viewer.GetGeometry().GetDestination(), (CRectL{100, 100, 200, 200}));
}

TEST_F(ViewerFixture, ClearPictureStopsShowingButKeepsNothingStale) {
    CMemoryBitmap ramp;
    MakeRamp(ramp, 10, 10);
    viewer.SetPicture(ramp, true);
    viewer.ClearPicture();
    EXPECT_FALSE(viewer.IsLoaded());
    viewer.StampCopy(ramp, 0, 0, 0, 0); // nothing shown: nothing composited
    viewer.FillPictureAlpha(7);
    EXPECT_EQ(viewer.GetPicture().GetPixel32(0, 0) >> 24, 255u);
}
