#include "pages/position/positionpage.h"

#include "core/checkerboard.h"
#include "core/stampcompositing.h"
#include "core/stamppreparation.h"
#include "core/stampshape.h"
#include "imagelib/dibbitmap.h"
#include "imagelib/dibclipboard.h"
#include "imagelib/dibdisplay.h"
#include "imagelib/jpegdecoder.h"
#include "imagelib/jpegencoder.h"
#include "job/losslessjpeg.h"
#include "job/photostamp.h"
#include "pages/position/imageviewer.h"
#include "pages/position/positionrules.h"
#include "pages/position/previewfiledlg.h"
#include "platform/dialogbuilder.h"
#include "platform/messagebox.h"
#include "platform/resourceloader.h"
#include "platform/tooltips.h"
#include "qtestapp.h"
#include "resources/resource.h"
#include "testbitmaps.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDial>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// A picture of w x h with a blue background and a red square in its middle third.
void MakeLogo(CImageBitmap& bmp, int w, int h) {
    bmp.Create(w, h, 32, false);
    Fill32(bmp, Bgra(255, 0, 0, 255));
    for (int y = h / 3; y < 2 * h / 3; ++y)
        for (int x = w / 3; x < 2 * w / 3; ++x)
            SetPixel32(bmp, x, y, Bgra(0, 0, 255, 255));
}

void MakeRamp(CImageBitmap& bmp, int w, int h) {
    bmp.Create(w, h, 32, false);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            SetPixel32(bmp, x, y, Bgra(uint8_t(x), uint8_t(y), uint8_t(x ^ y), 255));
}

bool SamePixels(const CImageBitmap& a, const CImageBitmap& b, bool colourOnly = true) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return false;
    const uint32_t mask = colourOnly ? 0x00FFFFFFu : 0xFFFFFFFFu;
    for (int y = 0; y < a.GetHeight(); ++y)
        for (int x = 0; x < a.GetWidth(); ++x)
            if ((a.GetPixel32(x, y) & mask) != (b.GetPixel32(x, y) & mask))
                return false;
    return true;
}

struct PositionPageTest : testing::Test {
    PositionPageTest() {
        TestApp();
        page.SetHost({[this] { return applying; }, [this] { return stamping; },
                      [this] { return &tabs; }, [this] { return lossless; }});
        page.SetOpenFileHook([this](QWidget*, const QString& filter) {
            filters.push_back(filter);
            return nextPath;
        });
        page.show();
        for (CImageViewer* v : {page.GetStampView(), page.GetSampleView(), page.GetStampedView()})
            v->FinishResize();
    }

    template <class T> T* Item(int id) { return GetDlgItemAs<T>(&page, id); }
    QString LabelText(int id) { return Item<QLabel>(id)->text(); }

    void LoadSample(int w, int h) {
        CMemoryBitmap sample;
        MakeRamp(sample, w, h);
        page.GetSampleView()->SetPicture(sample, true);
        page.SampleChanged();
    }
    void LoadStamp(int w, int h) {
        CMemoryBitmap stamp;
        MakeLogo(stamp, w, h);
        page.GetStampView()->SetPicture(stamp, true);
        page.StampChanged();
    }
    // The stamped view as the batch job would make it from the sample and the stamp.
    void ExpectStampedViewIsDirectComposite() {
        CMemoryBitmap expected;
        expected.ConvertFrom(page.GetSampleView()->GetPicture(), 32);
        const CImageBitmap& stamp = page.GetStampBitmap();
        const CStampPlacement p =
            ComputeStampPlacement(stamp, expected, page.GetHAlign(), page.GetVAlign(),
                                  page.GetOffsetX(), page.GetOffsetY());
        if (page.GetOpacity() < 255 || page.IsKeyColourSet())
            BlendStampPixels(stamp, expected, p);
        else
            CopyStampPixels(stamp, expected, p);
        EXPECT_TRUE(SamePixels(page.GetStampedView()->GetPicture(), expected));
    }

    bool applying = false;
    bool stamping = false;
    bool lossless = false; // lossless JPEG output chosen on the output page
    QWidget tabs;
    std::optional<QString> nextPath;
    std::vector<QString> filters;
    CPositionPage page;
};

} // namespace

TEST_F(PositionPageTest, InitialisationFollowsTheTemplate) {
    EXPECT_EQ(Item<QLineEdit>(IDC_POS_OFFSET_X)->maxLength(), 5);
    EXPECT_EQ(Item<QLineEdit>(IDC_POS_OFFSET_Y)->maxLength(), 5);
    EXPECT_TRUE(page.GetStampView()->GetFitOnResize());
    EXPECT_TRUE(page.GetStampView()->IsNotify());
    EXPECT_FALSE(page.GetSampleView()->IsNotify());
    EXPECT_FALSE(page.GetStampedView()->IsNotify());
    EXPECT_EQ(page.GetToolTips()->GetMaxTipWidth(), 100);
    EXPECT_TRUE(page.GetToolTips()->IsActive());
    EXPECT_EQ(page.GetToolTips()->GetText(Item<QWidget>(IDC_POS_ALIGN_CENTRE)), "Center the Stamp");
    EXPECT_EQ(page.GetToolTips()->GetText(page.GetSampleView()),
              "hold the mouse-button to drag the Image");
    auto* zoom = Item<QComboBox>(IDC_POS_ZOOM);
    ASSERT_EQ(zoom->count(), 14);
    EXPECT_EQ(zoom->itemText(4), "50%");
    for (int id : {IDC_POS_FEATHER, IDC_POS_SWATCH, IDC_POS_TOLERANCE_VALUE, IDC_POS_FEATHER_MARK})
        EXPECT_FALSE(Item<QWidget>(id)->isEnabled()) << id;
    EXPECT_EQ(Item<QSlider>(IDC_POS_OPACITY)->maximum(), 255);
    EXPECT_EQ(Item<QSlider>(IDC_POS_FEATHER)->maximum(), 20);
    EXPECT_EQ(LabelText(IDC_POS_OPACITY_VALUE), "100.0");

    // The feather mark stays over the middle of its slider when the page grows.
    auto* mark = Item<QWidget>(IDC_POS_FEATHER_MARK);
    auto* slider = Item<QWidget>(IDC_POS_FEATHER);
    const int before = mark->geometry().center().x() - slider->geometry().center().x();
    page.resize(page.width() + 200, page.height() + 100);
    const int after = mark->geometry().center().x() - slider->geometry().center().x();
    EXPECT_NEAR(after, before, 1);
}

TEST_F(PositionPageTest, SliderLabelsFollowThePositions) {
    auto* feather = Item<QSlider>(IDC_POS_FEATHER);
    const std::pair<int, const char*> feathers[] = {{7, "-3"}, {10, "0"}, {13, "+3"}};
    for (const auto& [position, text] : feathers) {
        feather->setValue(position);
        EXPECT_EQ(LabelText(IDC_POS_FEATHER_VALUE), text);
    }
    auto* opacity = Item<QSlider>(IDC_POS_OPACITY);
    const std::pair<int, const char*> opacities[] = {{0, "0.0"}, {128, "50.2"}, {255, "100.0"}};
    for (const auto& [position, text] : opacities) {
        opacity->setValue(position);
        EXPECT_EQ(LabelText(IDC_POS_OPACITY_VALUE), text);
    }
    Item<QSlider>(IDC_POS_TOLERANCE)->setValue(42);
    EXPECT_EQ(LabelText(IDC_POS_TOLERANCE_VALUE), "42");
    EXPECT_EQ(page.GetPreviewTimerId(), CPositionPage::kTimerTolerance);
}

TEST_F(PositionPageTest, OffsetBoxesRefuseWhatIsNotANumber) {
    auto* x = Item<QLineEdit>(IDC_POS_OFFSET_X);
    auto* y = Item<QLineEdit>(IDC_POS_OFFSET_Y);
    page.SetOffsets(3, 7);
    x->setText("12a");
    EXPECT_EQ(x->text(), "3");
    x->setText("-");
    EXPECT_EQ(x->text(), "-");
    x->setText("--");
    EXPECT_EQ(x->text(), "3");
    x->setText("");
    EXPECT_EQ(x->text(), "0");
    y->setText("4x");
    EXPECT_EQ(y->text(), "7"); // the y box brings back offset y, not x
    QTest::keyClicks(x, "5");
    EXPECT_EQ(x->text(), "05");
    EXPECT_EQ(page.GetPreviewTimerId(), CPositionPage::kTimerOffsets);

    // "-" alone applies as 0 when the timer fires.
    x->setText("-");
    page.OnPreviewTimer();
    EXPECT_EQ(page.GetOffsetX(), 0);
}

TEST_F(PositionPageTest, ChangesWithinASecondGiveOneUpdateASecondAfterTheLast) {
    LoadSample(200, 150);
    LoadStamp(40, 30);
    QElapsedTimer clock;
    clock.start();
    Item<QSlider>(IDC_POS_OPACITY)->setValue(200);
    QTest::qWait(300);
    Item<QSlider>(IDC_POS_TOLERANCE)->setValue(20);
    QTest::qWait(300);
    const qint64 last = clock.elapsed();
    Item<QLineEdit>(IDC_POS_OFFSET_X)->setText("9");
    QTest::qWait(800);
    EXPECT_EQ(page.GetPreviewUpdateCount(), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return page.GetPreviewUpdateCount() > 0; }, 2000));
    EXPECT_GE(clock.elapsed() - last, 1000 - 20);
    QTest::qWait(300);
    EXPECT_EQ(page.GetPreviewUpdateCount(), 1);
    EXPECT_EQ(page.GetOpacity(), 200);
    EXPECT_EQ(page.GetOffsetX(), 9);
    ExpectStampedViewIsDirectComposite();
}

TEST_F(PositionPageTest, GuardStopsTimersAndAlignmentClicks) {
    LoadSample(200, 150);
    LoadStamp(40, 30);
    applying = true;
    Item<QSlider>(IDC_POS_OPACITY)->setValue(100);
    EXPECT_FALSE(page.IsPreviewTimerPending());
    EXPECT_EQ(LabelText(IDC_POS_OPACITY_VALUE), "39.2"); // the label still follows
    QTest::mouseClick(Item<QAbstractButton>(IDC_POS_ALIGN_TOP_LEFT), Qt::LeftButton);
    EXPECT_EQ(page.GetHAlign(), 1);
    EXPECT_EQ(page.GetVAlign(), 1);
    applying = false;
    QTest::mouseClick(Item<QAbstractButton>(IDC_POS_ALIGN_BOTTOM_RIGHT), Qt::LeftButton);
    EXPECT_EQ(page.GetHAlign(), 2);
    EXPECT_EQ(page.GetVAlign(), 2);
    ExpectStampedViewIsDirectComposite();
}

TEST_F(PositionPageTest, UpdateWaitsWhileARunReadsTheStamp) {
    LoadSample(100, 100);
    LoadStamp(20, 20);
    Item<QSlider>(IDC_POS_OPACITY)->setValue(10);
    stamping = true;
    page.OnPreviewTimer(); // as if the timer fired during a run
    EXPECT_EQ(page.GetOpacity(), 255);
    EXPECT_TRUE(page.IsPreviewTimerPending());
    stamping = false;
    page.OnPreviewTimer();
    EXPECT_EQ(page.GetOpacity(), 10);
}

TEST_F(PositionPageTest, TransparenceWithoutColourChangesNothingVisible) {
    LoadSample(200, 150);
    LoadStamp(60, 45);
    QTest::mouseClick(Item<QCheckBox>(IDC_POS_USE_TRANSPARENCE), Qt::LeftButton);
    ASSERT_TRUE(page.IsTransparenceChecked());
    EXPECT_TRUE(Item<QWidget>(IDC_POS_TOLERANCE)->isEnabled());
    EXPECT_TRUE(page.GetStampView()->IsPickEnabled());
    CMemoryBitmap before;
    before.ConvertFrom(page.GetStampedView()->GetPicture(), 32);
    Item<QSlider>(IDC_POS_TOLERANCE)->setValue(90);
    Item<QSlider>(IDC_POS_FEATHER)->setValue(3);
    page.OnPreviewTimer();
    EXPECT_EQ(page.GetTolerance(), 90);
    EXPECT_TRUE(SamePixels(page.GetStampedView()->GetPicture(), before));
}

TEST_F(PositionPageTest, PickKeysTheStampAndSwitchingOffRestoresTheOpacity) {
    LoadSample(200, 150);
    LoadStamp(60, 45);
    Item<QSlider>(IDC_POS_OPACITY)->setValue(128);
    page.OnPreviewTimer();
    QTest::mouseClick(Item<QCheckBox>(IDC_POS_USE_TRANSPARENCE), Qt::LeftButton);
    CImageViewer* stamp = page.GetStampView();
    const CRectL& d = stamp->GetGeometry().GetDestination();
    QTest::mouseClick(stamp, Qt::LeftButton, {}, QPoint(d.left + 1, d.top + 1)); // blue corner
    ASSERT_TRUE(page.IsKeyColourSet());
    EXPECT_EQ(page.GetKeyColour(), 0x010000FFu);
    // The blue background is keyed out, the red square blends at the opacity.
    const CStampBitmap& prepared = page.GetStampBitmap();
    EXPECT_EQ(prepared.GetPixel32(0, 0) >> 24, 0u);
    EXPECT_EQ(prepared.GetPixel32(30, 22) >> 24, 128u);
    ExpectStampedViewIsDirectComposite();

    QTest::mouseClick(Item<QCheckBox>(IDC_POS_USE_TRANSPARENCE), Qt::LeftButton);
    EXPECT_FALSE(page.IsKeyColourSet());
    EXPECT_FALSE(stamp->IsPickEnabled());
    EXPECT_FALSE(Item<QWidget>(IDC_POS_SWATCH)->isEnabled());
    for (int y = 0; y < prepared.GetHeight(); ++y)
        for (int x = 0; x < prepared.GetWidth(); ++x)
            ASSERT_EQ(prepared.GetPixel32(x, y) >> 24, 128u);
    ExpectStampedViewIsDirectComposite();

    // Switching on again needs a new pick.
    QTest::mouseClick(Item<QCheckBox>(IDC_POS_USE_TRANSPARENCE), Qt::LeftButton);
    EXPECT_FALSE(page.IsKeyColourSet());
}

TEST_F(PositionPageTest, PressPicksAndKeysWhereverTheButtonIsReleased) {
    LoadSample(200, 150);
    LoadStamp(60, 45);
    QTest::mouseClick(Item<QCheckBox>(IDC_POS_USE_TRANSPARENCE), Qt::LeftButton);
    CImageViewer* stamp = page.GetStampView();
    const CRectL& d = stamp->GetGeometry().GetDestination();
    QTest::mousePress(stamp, Qt::LeftButton, {}, QPoint(d.left + 1, d.top + 1));
    EXPECT_TRUE(page.IsKeyColourSet());
    EXPECT_EQ(page.GetStampBitmap().GetPixel32(0, 0) >> 24, 0u) << "keyed on the press";
    QTest::mouseRelease(stamp, Qt::LeftButton, {}, QPoint(-20, -20)); // outside the view
    EXPECT_EQ(page.GetStampBitmap().GetPixel32(0, 0) >> 24, 0u);
    ExpectStampedViewIsDirectComposite();
}

TEST_F(PositionPageTest, ClickBesideThePictureChangesNothing) {
    LoadSample(200, 150);
    LoadStamp(20, 10); // small: centred in the preview
    QTest::mouseClick(Item<QCheckBox>(IDC_POS_USE_TRANSPARENCE), Qt::LeftButton);
    QTest::mouseClick(page.GetStampView(), Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_FALSE(page.IsKeyColourSet());
}

TEST_F(PositionPageTest, SwatchExplainsHowToPick) {
    CMessageBoxRecorder boxes;
    QTest::mouseClick(Item<QCheckBox>(IDC_POS_USE_TRANSPARENCE), Qt::LeftButton);
    QTest::mouseClick(Item<QWidget>(IDC_POS_SWATCH), Qt::LeftButton);
    LoadStamp(20, 20);
    QTest::mouseClick(Item<QWidget>(IDC_POS_SWATCH), Qt::LeftButton);
    ASSERT_EQ(boxes.GetRecords().size(), 2u);
    EXPECT_EQ(boxes.GetRecords()[0].text,
              "You have to open a stamp before choosing the transparent color.");
    EXPECT_EQ(boxes.GetRecords()[0].icon, CMessageIcon::Warning);
    EXPECT_EQ(boxes.GetRecords()[1].text, "Klick on the stamp to select a color");
    EXPECT_EQ(boxes.GetRecords()[1].icon, CMessageIcon::Information);
}

TEST_F(PositionPageTest, CaptionShowsTheStampScale) {
    const int w = page.GetStampView()->width();
    const struct {
        int width;
        const char* caption;
    } cases[] = {{w, "stamp (1 : 1)"}, {2 * w, "stamp (1 : 2)"}, {w * 5 / 2, "stamp (1 : 2.5)"}};
    for (const auto& c : cases) {
        LoadStamp(c.width, 10);
        EXPECT_EQ(page.GetStampCaption(), c.caption) << c.width;
    }
}

TEST_F(PositionPageTest, ZoomListGetsOneCustomEntry) {
    auto* zoom = Item<QComboBox>(IDC_POS_ZOOM);
    const int vw = page.GetSampleView()->width(), vh = page.GetSampleView()->height();
    LoadSample(vw * 3, vh); // fits at 33 %
    ASSERT_EQ(zoom->count(), 15);
    EXPECT_EQ(zoom->itemText(14), "33%");
    EXPECT_EQ(zoom->currentText(), "33%");
    EXPECT_EQ(page.GetCustomZoomEntry(), "33%");
    EXPECT_DOUBLE_EQ(page.GetStampedView()->GetZoom(), page.GetSampleView()->GetZoom());

    zoom->setCurrentIndex(4);
    page.OnZoomChange(); // "50%"
    EXPECT_EQ(zoom->count(), 14);
    EXPECT_TRUE(page.GetCustomZoomEntry().isEmpty());
    EXPECT_DOUBLE_EQ(page.GetSampleView()->GetZoom(), 0.5);
    EXPECT_DOUBLE_EQ(page.GetStampedView()->GetZoom(), 0.5);

    LoadSample(vw * 2, vh); // fits at 50 %
    EXPECT_EQ(zoom->count(), 14);
    EXPECT_EQ(zoom->currentText(), "50%");
    EXPECT_TRUE(page.GetCustomZoomEntry().isEmpty());
}

TEST_F(PositionPageTest, StampedViewIsTheDirectCompositeForEveryAlignment) {
    LoadSample(300, 200);
    LoadStamp(50, 40);
    page.SetOffsets(-7, 11);
    for (int id : {IDC_POS_ALIGN_TOP_LEFT, IDC_POS_ALIGN_CENTRE, IDC_POS_ALIGN_BOTTOM_RIGHT,
                   IDC_POS_ALIGN_MIDDLE_RIGHT}) {
        QTest::mouseClick(Item<QAbstractButton>(id), Qt::LeftButton);
        ExpectStampedViewIsDirectComposite();
    }
    Item<QSlider>(IDC_POS_OPACITY)->setValue(77);
    page.OnPreviewTimer();
    ExpectStampedViewIsDirectComposite();
}

TEST_F(PositionPageTest, WithLosslessOutputAJpegSampleShowsWhatTheBatchWillWrite) {
    QTemporaryDir folder;
    const QString path = folder.filePath("sample.jpg");
    CMemoryBitmap ramp;
    MakeRamp(ramp, 90, 70);
    CJpegEncoder encoder;
    encoder.SetQuality(40); // coarse, so that re-quantised blocks show
    encoder.EncodeFile(path.toStdString(), ramp);
    ASSERT_TRUE(page.GetSampleView()->LoadPictureFile(path, true));
    page.SetSamplePath(path);
    LoadStamp(30, 20);
    Item<QSlider>(IDC_POS_OPACITY)->setValue(150);
    page.OnPreviewTimer();

    lossless = true;
    page.SampleChanged();
    CLosslessJpegStamp stamp;
    const std::shared_ptr<CStampMaker> shaper = page.CreateStampShaper();
    CLosslessStampPlan plan;
    plan.shaper = shaper.get();
    plan.followExif = page.IsFollowExif();
    plan.halign = page.GetHAlign();
    plan.valign = page.GetVAlign();
    plan.offsetX = page.GetOffsetX();
    plan.offsetY = page.GetOffsetY();
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(stamp.StampFile(path.toStdString(), plan, bytes));
    CMemoryBitmap written;
    CJpegDecoder().DecodeMemory(bytes.data(), int(bytes.size()), written, 32);
    EXPECT_TRUE(SamePixels(page.GetStampedView()->GetPicture(), written, true));

    // Switched off on the output page: the next showing of the page composites directly.
    lossless = false;
    page.hide();
    page.show();
    ExpectStampedViewIsDirectComposite();
    EXPECT_FALSE(SamePixels(page.GetStampedView()->GetPicture(), written, true));
}

TEST_F(PositionPageTest, OpeningFilesUsesTheDialogAndFallsBack) {
    CMessageBoxRecorder boxes;
    QTemporaryDir dir;
    QImage picture(80, 60, QImage::Format_RGB32);
    picture.fill(Qt::green);
    const QString good = dir.filePath("stamp.png");
    picture.save(good, "PNG");

    nextPath = std::nullopt; // cancelled
    page.OnOpenSample();
    EXPECT_FALSE(page.GetSampleView()->IsLoaded());
    ASSERT_EQ(filters.size(), 1u);
    EXPECT_EQ(filters[0], CPositionPage::kOpenFilter);

    nextPath = dir.filePath("missing.png");
    page.OnOpenSample(); // unreadable: reported, the built-in sample instead
    EXPECT_EQ(boxes.GetRecords().size(), 1u);
    EXPECT_TRUE(page.GetSampleView()->IsLoaded());
    EXPECT_EQ(page.GetSampleView()->GetPicture().GetWidth(), 190);
    EXPECT_TRUE(page.GetSamplePath().isEmpty());

    nextPath = good;
    page.OnOpenStamp();
    EXPECT_EQ(page.GetStampPath(), good);
    EXPECT_EQ(Item<QLineEdit>(IDC_POS_STAMP_PATH)->text(), good);
    ExpectStampedViewIsDirectComposite();

    // A missing file or one that is no picture keeps the stamp loaded before; the message
    // names the file.
    const QString text = dir.filePath("notes.txt");
    QFile notes(text);
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write("not a picture");
    notes.close();
    const QString caption = page.GetStampCaption();
    for (const QString& bad : {dir.filePath("missing.png"), text}) {
        const size_t before = boxes.GetRecords().size();
        nextPath = bad;
        page.OnOpenStamp();
        ASSERT_EQ(boxes.GetRecords().size(), before + 1);
        EXPECT_NE(boxes.GetRecords().back().text.indexOf(bad), -1)
            << boxes.GetRecords().back().text.toStdString();
        EXPECT_TRUE(page.GetStampView()->IsLoaded());
        EXPECT_EQ(page.GetStampView()->GetPicture().GetWidth(), 80);
        EXPECT_EQ(page.GetStampCaption(), caption);
        EXPECT_EQ(Item<QLineEdit>(IDC_POS_STAMP_PATH)->text(), good);
        EXPECT_EQ(page.GetStampPath(), good);
        ExpectStampedViewIsDirectComposite();
    }
}

TEST_F(PositionPageTest, PasteFollowsTheFocus) {
    LoadSample(100, 80);
    LoadStamp(20, 20);
    QImage picture(30, 20, QImage::Format_RGB32);
    picture.fill(qRgb(1, 2, 3));
    ASSERT_TRUE(SetClipboardImage(picture));

    page.GetStampedView()->setFocus();
    page.OnCommand(ID_EDIT_PASTE);
    EXPECT_EQ(page.GetSampleView()->GetPicture().GetWidth(), 30); // the sample, not the result
    EXPECT_EQ(page.GetSampleView()->GetPicture().GetPixel32(0, 0) & 0xFFFFFF, 0x010203u);
    ExpectStampedViewIsDirectComposite();

    page.GetStampView()->setFocus();
    page.OnCommand(ID_POPUP_PASTE);
    EXPECT_EQ(page.GetStampPath(), "CLIPBOARD");
    EXPECT_EQ(Item<QLineEdit>(IDC_POS_STAMP_PATH)->text(), "CLIPBOARD");
    EXPECT_EQ(page.GetStampBitmap().GetWidth(), 30);

    // Focus elsewhere, or no picture on the clipboard: nothing.
    QGuiApplication::clipboard()->clear();
    page.GetSampleView()->setFocus();
    page.OnCommand(ID_EDIT_PASTE);
    EXPECT_EQ(page.GetSampleView()->GetPicture().GetWidth(), 30);
}

TEST_F(PositionPageTest, CopyTakesTheFocusedViewerWithAPicture) {
    QGuiApplication::clipboard()->clear();
    page.GetSampleView()->setFocus();
    page.OnCommand(ID_EDIT_COPY); // nothing anywhere: nothing copied
    EXPECT_FALSE(IsClipboardFormatAvailable(QM_CF_BITMAP));

    LoadSample(40, 30);
    page.GetSampleView()->setFocus();
    QTest::keyClick(page.GetSampleView(), Qt::Key_C, Qt::ControlModifier);
    ASSERT_TRUE(IsClipboardFormatAvailable(QM_CF_BITMAP));
    CDIBBitmap copied;
    ASSERT_TRUE(PasteFromClipboard(copied, QM_CF_BITMAP));
    EXPECT_EQ(copied.GetWidth(), 40);
    EXPECT_EQ(copied.GetPixel32(5, 3) & 0xFFFFFF,
              page.GetSampleView()->GetPicture().GetPixel32(5, 3) & 0xFFFFFF);
}

TEST_F(PositionPageTest, SamplePopupGreysWhatCannotBeDone) {
    QGuiApplication::clipboard()->clear();
    auto enabled = [&](CImageViewer* view, int command) {
        std::unique_ptr<QMenu> menu = page.CreateSamplePopup(view);
        QAction* action = menu ? FindMenuCommand(menu.get(), command) : nullptr;
        return action && action->isEnabled();
    };
    EXPECT_FALSE(enabled(page.GetStampedView(), ID_POPUP_COPY));
    EXPECT_FALSE(enabled(page.GetStampedView(), ID_POPUP_PASTE));
    LoadSample(40, 30);
    QImage picture(3, 3, QImage::Format_RGB32);
    picture.fill(Qt::white);
    SetClipboardImage(picture);
    EXPECT_TRUE(enabled(page.GetStampedView(), ID_POPUP_COPY));
    EXPECT_TRUE(enabled(page.GetSampleView(), ID_POPUP_PASTE));
}

TEST_F(PositionPageTest, DraggingMovesBothViewsTogether) {
    const int vw = page.GetSampleView()->width();
    LoadSample(vw * 3, vw * 3);
    Item<QComboBox>(IDC_POS_ZOOM)->setCurrentIndex(6); // 100 %
    page.OnZoomChange();
    ASSERT_TRUE(page.GetStampedView()->IsScrollable());
    auto scroll = [](CImageViewer* v) {
        const CViewerGeometry& g = v->GetGeometry();
        return QPoint(int(g.GetSourceWindow().left * g.GetZoom()) + g.GetScrollX(),
                      int(g.GetSourceWindow().top * g.GetZoom()) + g.GetScrollY());
    };
    page.GetSampleView()->ScrollBy(200, 200);
    page.GetStampedView()->ScrollBy(200, 200);
    CImageViewer* view = page.GetStampedView();
    const QPoint start = scroll(view);
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(50, 50));
    EXPECT_TRUE(page.IsDragging());
    EXPECT_TRUE(view->hasFocus() || view->window()->focusWidget() == view);
    QMouseEvent move(QEvent::MouseMove, QPointF(80, 60), view->mapToGlobal(QPointF(80, 60)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &move);
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(80, 60));
    EXPECT_FALSE(page.IsDragging());
    // Dragging right and down moves the pictures right and down: the view goes left, up.
    EXPECT_EQ(scroll(view), start - QPoint(30, 10));
    EXPECT_EQ(scroll(page.GetSampleView()), scroll(view));
}

// The stamp taken with the mouse on the stamped view: the offsets follow in picture pixels
// from wherever the alignment put it, the view shows the stamp at the pointer without a
// full composite, and the release composites in full, as the batch would.
TEST_F(PositionPageTest, DraggingTheStampMovesItsOffsets) {
    LoadSample(600, 400);
    LoadStamp(60, 40);
    CImageViewer* view = page.GetStampedView();
    const double zoom = view->GetZoom();
    ASSERT_LT(zoom, 1.0);
    const struct {
        int button;
        int startX, startY;
        QPoint by; // window pixels
    } cases[] = {
        {IDC_POS_ALIGN_CENTRE, 0, 0, {20, 10}},
        {IDC_POS_ALIGN_BOTTOM_RIGHT, -30, -5, {-40, -12}},
        {IDC_POS_ALIGN_TOP_LEFT, 7, 3, {-6000, 4000}}, // far beyond: the boxes' range holds
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        QTest::mouseClick(Item<QAbstractButton>(c.button), Qt::LeftButton);
        page.SetOffsets(c.startX, c.startY);
        page.OnPreviewTimer();
        const CStampPlacement p =
            ComputeStampPlacement(page.GetStampBitmap(), view->GetPicture(), page.GetHAlign(),
                                  page.GetVAlign(), page.GetOffsetX(), page.GetOffsetY());
        const QPoint grab =
            view->PictureToWindow(QPointF(p.targetX + p.width / 2, p.targetY + p.height / 2))
                .toPoint();
        const int updates = page.GetPreviewUpdateCount();

        QTest::mousePress(view, Qt::LeftButton, {}, grab);
        ASSERT_TRUE(page.IsDraggingStamp());
        EXPECT_FALSE(page.IsDragging()); // no scrolling
        const QPoint to = grab + c.by;
        QMouseEvent move(QEvent::MouseMove, QPointF(to), view->mapToGlobal(QPointF(to)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view, &move);
        const int x = DraggedOffset(c.startX, c.by.x(), zoom);
        const int y = DraggedOffset(c.startY, c.by.y(), zoom);
        EXPECT_EQ(page.GetOffsetX(), x);
        EXPECT_EQ(page.GetOffsetY(), y);
        EXPECT_EQ(Item<QLineEdit>(IDC_POS_OFFSET_X)->text(), QString::number(x));
        EXPECT_EQ(Item<QLineEdit>(IDC_POS_OFFSET_Y)->text(), QString::number(y));
        EXPECT_GE(x, kMinOffset);
        EXPECT_LE(y, kMaxOffset);
        EXPECT_TRUE(view->HasStampOverlay());
        EXPECT_FALSE(page.IsPreviewTimerPending());
        EXPECT_EQ(page.GetPreviewUpdateCount(), updates);
        if (c.by.x() > -100) {
            // Under the pointer now: the stamp's red middle, drawn at the view's scale.
            const QColor shown = view->grab().toImage().pixelColor(to);
            EXPECT_GT(shown.red(), 180) << shown.name().toStdString();
            EXPECT_LT(shown.blue(), 80) << shown.name().toStdString();
        }

        QTest::mouseRelease(view, Qt::LeftButton, {}, to);
        EXPECT_FALSE(page.IsDraggingStamp());
        EXPECT_FALSE(view->HasStampOverlay());
        EXPECT_FALSE(page.IsPreviewTimerPending());
        ExpectStampedViewIsDirectComposite();
    }

    // Beside the stamp the press takes nothing (the fitted sample does not scroll either).
    QTest::mousePress(view, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_FALSE(page.IsDraggingStamp());
    QTest::mouseRelease(view, Qt::LeftButton, {}, QPoint(2, 2));
}

// A stamp scaled for the sample is taken where it shows, and one offset moves it by the
// scale: the pointer keeps its place on the stamp.
TEST_F(PositionPageTest, DraggingAScaledStampTakesItWhereItShows) {
    LoadSample(600, 400);
    LoadStamp(60, 40);
    page.SetStampSize(1, 50); // 300 x 200 on the sample: five times its own size
    QTest::mouseClick(Item<QAbstractButton>(IDC_POS_ALIGN_TOP_LEFT), Qt::LeftButton);
    page.SetOffsets(4, 2); // 20, 10 on the sample
    page.OnPreviewTimer();
    CImageViewer* view = page.GetStampedView();
    const double zoom = view->GetZoom();
    // The middle of the scaled stamp, far outside where the stamp at its own size would lie.
    const QPoint grab = view->PictureToWindow(QPointF(170, 110)).toPoint();
    QTest::mousePress(view, Qt::LeftButton, {}, grab);
    ASSERT_TRUE(page.IsDraggingStamp());
    const QPoint by(30, 15), to = grab + by;
    QMouseEvent move(QEvent::MouseMove, QPointF(to), view->mapToGlobal(QPointF(to)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &move);
    EXPECT_EQ(page.GetOffsetX(), DraggedOffset(4, by.x(), zoom * 5));
    EXPECT_EQ(page.GetOffsetY(), DraggedOffset(2, by.y(), zoom * 5));
    const QColor shown = view->grab().toImage().pixelColor(to);
    EXPECT_GT(shown.red(), 180) << shown.name().toStdString();
    EXPECT_LT(shown.blue(), 80) << shown.name().toStdString();
    QTest::mouseRelease(view, Qt::LeftButton, {}, to);
    CMemoryBitmap expected;
    expected.ConvertFrom(page.GetSampleView()->GetPicture(), 32);
    StampPhoto(expected, *page.CreateStampShaper(),
               {0, 0, page.GetOffsetX(), page.GetOffsetY(), false}, false);
    EXPECT_TRUE(SamePixels(view->GetPicture(), expected));
}

// The chosen alignment button carries a mark where it puts the stamp; the others none.
TEST_F(PositionPageTest, TheChosenAlignmentButtonIsMarked) {
    const auto marked = [](QAbstractButton* b, QPoint at) {
        const QColor highlight = b->palette().color(QPalette::Active, QPalette::Highlight);
        return b->grab().toImage().pixelColor(at) == highlight;
    };
    auto* topLeft = Item<QAbstractButton>(IDC_POS_ALIGN_TOP_LEFT);
    auto* bottomRight = Item<QAbstractButton>(IDC_POS_ALIGN_BOTTOM_RIGHT);
    const QPoint nearTopLeft(6, 5);
    const QPoint nearBottomRight(bottomRight->width() - 7, bottomRight->height() - 6);
    QTest::mouseClick(topLeft, Qt::LeftButton);
    EXPECT_TRUE(topLeft->isChecked());
    EXPECT_TRUE(marked(topLeft, nearTopLeft));
    EXPECT_FALSE(marked(bottomRight, nearBottomRight));
    QTest::mouseClick(bottomRight, Qt::LeftButton);
    EXPECT_FALSE(marked(topLeft, nearTopLeft));
    EXPECT_TRUE(marked(bottomRight, nearBottomRight));
    EXPECT_FALSE(marked(bottomRight, nearTopLeft + QPoint(1, 1)));
}

TEST_F(PositionPageTest, HoverOverTheSampleViewsShowsTheDragCursorOnlyWhenScrollable) {
    // On a display the pointer's motion arrives a little later: wait for the cursor.
    auto hover = [](CImageViewer* view, QPoint at, bool sizeAll) {
        QTest::mouseMove(view, at);
        return QTest::qWaitFor(
            [&] { return (view->cursor().shape() == Qt::SizeAllCursor) == sizeAll; }, 1000);
    };
    LoadSample(40, 30); // fits: nothing to drag
    CImageViewer* views[] = {page.GetStampedView(), page.GetSampleView()};
    for (CImageViewer* view : views)
        EXPECT_TRUE(hover(view, QPoint(10, 10), false));
    const int vw = page.GetSampleView()->width();
    LoadSample(vw * 3, vw * 3);
    Item<QComboBox>(IDC_POS_ZOOM)->setCurrentIndex(6); // 100 %
    page.OnZoomChange();
    ASSERT_TRUE(page.GetStampedView()->IsScrollable());
    for (CImageViewer* view : views)
        EXPECT_TRUE(hover(view, QPoint(12, 12), true));
    LoadSample(40, 30);
    page.OnZoomChange();
    ASSERT_FALSE(page.GetStampedView()->IsScrollable());
    EXPECT_TRUE(hover(views[0], QPoint(14, 14), false)) << "it goes when it cannot";
}

// Ctrl+C and Ctrl+V belong to a focused edit box, in the page and in the page's file
// dialog, which is a window of its own.
TEST_F(PositionPageTest, EditKeysReachEditBoxesAndTheFileDialog) {
    LoadSample(40, 30);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText("12");
    auto* offset = Item<QLineEdit>(IDC_POS_OFFSET_X);
    offset->setFocus();
    offset->selectAll();
    QTest::keyClick(offset, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(offset->text(), "12");
    EXPECT_EQ(page.GetSampleView()->GetPicture().GetWidth(), 40) << "nothing pasted as picture";
    offset->selectAll();
    clipboard->setText("other");
    QTest::keyClick(offset, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), "12");

    // The views keep their keys.
    page.GetSampleView()->setFocus();
    QTest::keyClick(page.GetSampleView(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_TRUE(IsClipboardFormatAvailable(QM_CF_BITMAP));

    clipboard->setText("typed.png");
    QString nameText;
    bool seen = false;
    page.SetOpenFileHook([&](QWidget* parent, const QString& filter) -> std::optional<QString> {
        CPreviewFileDlg dialog(true, QString(), QString(), filter, parent);
        QTimer::singleShot(0, [&] {
            seen = true;
            auto* name = dialog.findChild<QLineEdit*>("fileNameEdit");
            if (name) {
                name->setFocus();
                name->clear();
                QTest::keyClick(name, Qt::Key_V, Qt::ControlModifier);
                nameText = name->text();
            }
            dialog.reject();
        });
        dialog.exec();
        return std::nullopt;
    });
    page.OnOpenStamp();
    EXPECT_TRUE(seen);
    EXPECT_EQ(nameText, "typed.png");
}

// The stamp path box is the page's first stop: Tab goes on into the page, Shift+Tab back to
// the tab strip.
TEST_F(PositionPageTest, TabFromTheStampPathGoesIntoThePageShiftTabToTheTabControl) {
    tabs.setFocusPolicy(Qt::StrongFocus);
    tabs.show();
    auto* path = Item<QLineEdit>(IDC_POS_STAMP_PATH);
    path->setFocus();
    QTest::keyClick(path, Qt::Key_Tab);
    EXPECT_EQ(page.focusWidget(), GetDlgItem(&page, IDC_POS_OPEN_STAMP));
    EXPECT_NE(tabs.window()->focusWidget(), &tabs);
    // The picture-or-text choice is the page's first stop; before it lies the tab strip.
    path->setFocus();
    QTest::keyClick(path, Qt::Key_Backtab, Qt::ShiftModifier);
    QWidget* kind = GetDlgItem(&page, IDC_POS_STAMP_KIND);
    EXPECT_EQ(page.focusWidget(), kind);
    QTest::keyClick(kind, Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(tabs.window()->focusWidget(), &tabs);
}

namespace {

// A landscape-like sample: sky gradient, hills and a sun.
QImage MakeSampleImage(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, h);
    sky.setColorAt(0, QColor(90, 150, 230));
    sky.setColorAt(1, QColor(230, 240, 250));
    p.fillRect(image.rect(), sky);
    p.setBrush(QColor(250, 210, 60));
    p.setPen(Qt::NoPen);
    p.drawEllipse(QPoint(w / 4, h / 4), h / 10, h / 10);
    p.setBrush(QColor(60, 140, 70));
    p.drawEllipse(QRect(-w / 4, h * 2 / 3, w, h));
    p.setBrush(QColor(40, 110, 50));
    p.drawEllipse(QRect(w / 3, h * 3 / 4, w, h));
    return image;
}

// A logo on a flat key-blue background.
QImage MakeStampImage(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(QColor(0, 0, 255));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setBrush(QColor(220, 30, 30));
    p.setPen(QPen(Qt::white, 4));
    p.drawEllipse(QRect(8, 8, h - 16, h - 16));
    QFont font = p.font();
    font.setPixelSize(h / 3);
    font.setBold(true);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRect(h, 0, w - h, h), Qt::AlignVCenter | Qt::AlignLeft, "quillmark");
    return image;
}

} // namespace

// QM_SCREENSHOT_DIR=dir: the page with a sample and a keyed, feathered stamp at a reduction
// and at 300 %, and the file dialog with its preview, for looking at.
// The stamp's own transparency, its size relative to the sample and the sample's EXIF
// orientation all show in the preview as the batch writes them.
TEST_F(PositionPageTest, OwnAlphaSizeAndOrientationReachThePreview) {
    LoadSample(300, 200);
    CMemoryBitmap logo;
    MakeLogo(logo, 50, 40);
    logo.SetHasAlpha(true);
    for (int x = 0; x < 50; ++x) // the top row fades in from transparent
        SetPixel32(logo, x, 0, (logo.GetPixel32(x, 0) & 0xFFFFFFu) | uint32_t(x * 5) << 24);
    page.GetStampView()->SetPicture(logo, true);
    page.StampChanged();
    QTest::mouseClick(Item<QAbstractButton>(IDC_POS_ALIGN_TOP_LEFT), Qt::LeftButton);
    const CImageBitmap& sample = page.GetSampleView()->GetPicture();
    const CImageBitmap& stamped = page.GetStampedView()->GetPicture();
    EXPECT_EQ(stamped.GetPixel32(0, 0) & 0xFFFFFF, sample.GetPixel32(0, 0) & 0xFFFFFF);
    for (const int x : {10, 33, 49}) {
        const uint32_t s = logo.GetPixel32(x, 0), d = sample.GetPixel32(x, 0);
        const uint32_t a = s >> 24, blue = ((s & 0xFF) * a + (d & 0xFF) * (255 - a)) / 255;
        EXPECT_EQ(stamped.GetPixel32(x, 0) & 0xFF, blue) << x;
    }
    EXPECT_EQ(stamped.GetPixel32(20, 5), logo.GetPixel32(20, 5) | 0xFF000000u);
    // The stamp box shows the clear corner on the checkerboard, not black, and lets it
    // through the stamp as the opacity goes down.
    CImageViewer* box = page.GetStampView();
    EXPECT_EQ(box->GetBackBuffer().pixel(0, 0) & 0xFFFFFFu, kCheckerLight);
    const QPoint inside(int(20 * box->GetZoom()), int(5 * box->GetZoom()));
    const QRgb opaque = box->GetBackBuffer().pixel(inside);
    // Preparing again starts from the stamp's own alpha, not from the last result.
    Item<QSlider>(IDC_POS_OPACITY)->setValue(128);
    page.OnPreviewTimer();
    EXPECT_NE(box->GetBackBuffer().pixel(inside), opaque);
    EXPECT_EQ(page.GetStampBitmap().GetPixel32(30, 0) >> 24, 150u * 128 / 255);
    Item<QSlider>(IDC_POS_OPACITY)->setValue(255);
    page.OnPreviewTimer();
    EXPECT_EQ(page.GetStampBitmap().GetPixel32(30, 0) >> 24, 150u);

    // 10 % of the sample's width: a 30 x 24 stamp, and the caption against that size.
    auto* percent = Item<QLineEdit>(IDC_POS_SIZE_PERCENT);
    EXPECT_FALSE(percent->isEnabled());
    const QString ownCaption = page.GetStampCaption();
    Item<QComboBox>(IDC_POS_SIZE_MODE)->setCurrentIndex(1);
    page.OnSizeModeChanged();
    EXPECT_TRUE(percent->isEnabled());
    percent->setText("10");
    page.OnPreviewTimer();
    EXPECT_EQ(page.GetSizePercent(), 10);
    EXPECT_DOUBLE_EQ(page.GetSampleScale(), 0.6);
    EXPECT_EQ(page.GetStampCaption(), StampCaption(page.GetStampView()->GetZoom() / 0.6));
    EXPECT_NE(page.GetStampCaption(), ownCaption);
    auto stampedAt = [&](int x, int y) {
        return (stamped.GetPixel32(x, y) & 0xFFFFFF) != (sample.GetPixel32(x, y) & 0xFFFFFF);
    };
    EXPECT_TRUE(stampedAt(15, 12));
    EXPECT_TRUE(stampedAt(29, 23));
    EXPECT_FALSE(stampedAt(31, 12));
    EXPECT_FALSE(stampedAt(15, 25));
    // Out of range comes back in range; what is not a number is refused.
    percent->setText("250");
    page.OnPreviewTimer();
    EXPECT_EQ(percent->text(), "100");
    EXPECT_EQ(page.GetSizePercent(), 100);
    percent->setText("9x");
    EXPECT_EQ(percent->text(), "100");

    // A photo turned by its EXIF orientation shows upright, and again stored when the
    // orientation is not followed.
    QTemporaryDir dir;
    CMemoryBitmap photo;
    MakeRamp(photo, 60, 30);
    auto exif = std::make_unique<CSavedMarker>();
    const uint8_t bytes[] = {'E',  'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0,
                             0x12, 1,   3,   0,   1, 0, 0,   0,   6,  0, 0, 0, 0, 0, 0, 0};
    exif->marker = 0xE1;
    exif->dataLength = exif->originalLength = sizeof bytes;
    exif->data = std::make_unique<uint8_t[]>(sizeof bytes);
    std::copy(std::begin(bytes), std::end(bytes), exif->data.get());
    photo.SetMarkers(std::move(exif));
    const QString path = dir.filePath("turned.jpg");
    CJpegEncoder().EncodeFile(path.toStdString(), photo);
    nextPath = path;
    page.OnOpenSample();
    EXPECT_TRUE(page.IsFollowExif());
    EXPECT_EQ(sample.GetWidth(), 30);
    EXPECT_EQ(stamped.GetWidth(), 30);
    QTest::mouseClick(Item<QCheckBox>(IDC_POS_FOLLOW_EXIF), Qt::LeftButton);
    EXPECT_FALSE(page.IsFollowExif());
    EXPECT_EQ(sample.GetWidth(), 60);
    EXPECT_EQ(stamped.GetWidth(), 60);
    EXPECT_EQ(page.GetSamplePath(), path);
}

// The angle typed or turned on the knob and the tiling switch reach the preview: a quarter
// turn stands the stamp up, tiling repeats it over the sample, and the gap spaces the copies.
TEST_F(PositionPageTest, AngleAndTilingReachThePreview) {
    LoadSample(120, 90);
    LoadStamp(20, 10);
    QTest::mouseClick(Item<QAbstractButton>(IDC_POS_ALIGN_TOP_LEFT), Qt::LeftButton);
    const CImageBitmap& sample = page.GetSampleView()->GetPicture();
    const CImageBitmap& stamped = page.GetStampedView()->GetPicture();
    auto stampedAt = [&](int x, int y) {
        return (stamped.GetPixel32(x, y) & 0xFFFFFF) != (sample.GetPixel32(x, y) & 0xFFFFFF);
    };
    EXPECT_TRUE(stampedAt(15, 5));
    EXPECT_FALSE(stampedAt(5, 15));

    auto* angle = Item<QSpinBox>(IDC_POS_ANGLE);
    auto* dial = Item<QDial>(IDC_POS_ANGLE_DIAL);
    angle->setFocus();
    angle->selectAll();
    QTest::keyClicks(angle, "90");
    EXPECT_EQ(dial->value(), 90);  // the knob follows the box at once
    EXPECT_EQ(page.GetAngle(), 0); // the preview a second later, as for the other values
    page.OnPreviewTimer();
    EXPECT_EQ(page.GetAngle(), 90);
    EXPECT_FALSE(stampedAt(15, 5));
    EXPECT_TRUE(stampedAt(5, 15));
    // The knob drives the box.
    dial->setFocus();
    QTest::keyClick(dial, Qt::Key_Up);
    EXPECT_EQ(angle->value(), 91);
    dial->setValue(-90);
    EXPECT_EQ(angle->value(), -90);
    page.OnPreviewTimer();
    EXPECT_EQ(page.GetAngle(), -90);

    // Tiled with the default gap (half the 10 x 20 box): copies every 15 across, 30 down.
    auto* gap = Item<QLineEdit>(IDC_POS_TILE_GAP);
    EXPECT_FALSE(gap->isEnabled());
    QTest::mouseClick(Item<QCheckBox>(IDC_POS_TILE), Qt::LeftButton);
    EXPECT_TRUE(page.IsTile());
    EXPECT_TRUE(gap->isEnabled());
    for (int x : {5, 20, 110})
        EXPECT_TRUE(stampedAt(x, 5)) << x;
    EXPECT_TRUE(stampedAt(5, 35));
    EXPECT_FALSE(stampedAt(12, 5));
    EXPECT_FALSE(stampedAt(5, 25));
    gap->setFocus();
    gap->selectAll();
    QTest::keyClicks(gap, "0");
    page.OnPreviewTimer();
    EXPECT_EQ(page.GetTileGap(), 0);
    EXPECT_TRUE(stampedAt(12, 5));
    EXPECT_TRUE(stampedAt(5, 25));
    QTest::keyClicks(gap, "x"); // not a number: refused
    EXPECT_EQ(gap->text(), "0");
}

TEST_F(PositionPageTest, Screenshots) {
    const QString target = qEnvironmentVariable("QM_SCREENSHOT_DIR");
    if (target.isEmpty())
        GTEST_SKIP() << "set QM_SCREENSHOT_DIR to a folder";
    QDir().mkpath(target);
    page.resize(page.width() + 120, page.height() + 90);
    QTest::qWait(50);
    for (CImageViewer* v : {page.GetStampView(), page.GetSampleView(), page.GetStampedView()})
        v->FinishResize();

    CDIBBitmap sample, stamp;
    CreateFromQImage(sample, MakeSampleImage(900, 640));
    CreateFromQImage(stamp, MakeStampImage(300, 90));
    page.GetSampleView()->SetPicture(sample, true);
    page.SampleChanged();
    page.GetStampView()->SetPicture(stamp, true);
    page.SetStampPath("/home/user/Pictures/logo.png");
    page.StampChanged();
    QTest::mouseClick(Item<QCheckBox>(IDC_POS_USE_TRANSPARENCE), Qt::LeftButton);
    const CRectL& d = page.GetStampView()->GetGeometry().GetDestination();
    QTest::mouseClick(page.GetStampView(), Qt::LeftButton, {}, QPoint(d.left + 2, d.top + 2));
    Item<QSlider>(IDC_POS_FEATHER)->setValue(6);
    Item<QSlider>(IDC_POS_OPACITY)->setValue(210);
    Item<QSlider>(IDC_POS_TOLERANCE)->setValue(30);
    QTest::mouseClick(Item<QAbstractButton>(IDC_POS_ALIGN_BOTTOM_RIGHT), Qt::LeftButton);
    page.SetOffsets(-20, -20);
    page.OnPreviewTimer();
    QTest::qWait(50);
    EXPECT_TRUE(page.grab().save(target + "/position-reduced.png"));
    page.SetStampSize(2, 15);
    page.OnSizeModeChanged();
    page.RebuildStampedPreview();
    page.UpdateStampCaption();
    QTest::qWait(50);
    EXPECT_TRUE(page.grab().save(target + "/position-sized.png"));

    Item<QComboBox>(IDC_POS_ZOOM)->setCurrentIndex(10); // 300 %
    page.OnZoomChange();
    for (CImageViewer* v : {page.GetSampleView(), page.GetStampedView()}) {
        v->ScrollBy(100000, 100000);
        v->ScrollBy(-200, -150);
        v->PaintPicture();
    }
    QTest::qWait(50);
    EXPECT_TRUE(page.grab().save(target + "/position-300.png"));

    Item<QComboBox>(IDC_POS_ZOOM)->setCurrentIndex(4);
    page.OnZoomChange();
    CTextStampValues text;
    text.kind = kStampText;
    text.text = "\u00a9 2026 Sam Rivers\n\u05e9\u05dc\u05d5\u05dd {{name}}";
    text.colour = kTextColourAuto;
    page.SetTextStamp(text);
    page.StampChanged();
    QTest::qWait(50);
    EXPECT_TRUE(page.grab().save(target + "/position-text.png"));

    QTemporaryDir dir;
    MakeSampleImage(640, 480).save(dir.filePath("holiday.png"));
    MakeStampImage(300, 90).save(dir.filePath("logo.png"));
    QDir().mkdir(dir.filePath("older"));
    CPreviewFileDlg dialog(true, {}, {}, CPositionPage::kOpenFilter);
    dialog.setDirectory(dir.path());
    dialog.resize(640, 460);
    dialog.show();
    QTest::qWait(300);
    dialog.selectFile(dir.filePath("holiday.png"));
    dialog.OnFileNameChange(dir.filePath("holiday.png"));
    QTest::qWait(200);
    EXPECT_TRUE(dialog.grab().save(target + "/filedialog.png"));
}

// A text stamp set up through its controls as a user would: the kind chosen with the
// keyboard, the text typed, the font and colour buttons, the shadow switch; the picture's
// key controls out of reach meanwhile; an unknown placeholder shown instead of stamped.
TEST_F(PositionPageTest, TextStampThroughItsControls) {
    LoadSample(400, 300);
    std::vector<std::string> fontsAsked;
    page.SetFontHook([&](QWidget*, const std::string& current) -> std::optional<std::string> {
        fontsAsked.push_back(current);
        return std::string("DejaVu Serif:Bold");
    });
    page.SetColourHook([](QWidget*, int32_t) -> std::optional<int32_t> { return 0x20C040; });
    auto* kind = Item<QComboBox>(IDC_POS_STAMP_KIND);
    auto* text = Item<QPlainTextEdit>(IDC_POS_TEXT);
    auto* shadow = Item<QCheckBox>(IDC_POS_SHADOW);
    auto* font = Item<QPushButton>(IDC_POS_FONT);
    auto* colour = Item<QPushButton>(IDC_POS_TEXT_COLOUR);
    ASSERT_TRUE(kind && text && shadow && font && colour);
    EXPECT_FALSE(text->isVisible());
    EXPECT_TRUE(Item<QWidget>(IDC_POS_USE_TRANSPARENCE)->isVisible());

    kind->setFocus();
    QTest::keyClick(kind, Qt::Key_Down);
    ASSERT_TRUE(page.IsTextStamp());
    for (QWidget* w : std::initializer_list<QWidget*>{text, shadow, font, colour})
        EXPECT_TRUE(w->isVisible());
    for (const int id : {IDC_POS_USE_TRANSPARENCE, IDC_POS_SWATCH, IDC_POS_TOLERANCE,
                         IDC_POS_FEATHER, IDC_POS_STAMP_PATH, IDC_POS_OPEN_STAMP}) {
        EXPECT_FALSE(Item<QWidget>(id)->isVisible()) << id;
        if (id != IDC_POS_STAMP_PATH && id != IDC_POS_OPEN_STAMP) {
            EXPECT_FALSE(Item<QWidget>(id)->isEnabled()) << id;
        }
    }
    // Tab goes through the text's controls in their order.
    kind->setFocus();
    QWidget* order[] = {font, colour, page.GetStampView(), text, shadow};
    for (QWidget* next : order) {
        QTest::keyClick(page.window()->focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(page.window()->focusWidget(), next);
    }

    // Typed text shows in the stamp box and on the sample once the preview timer fires.
    text->setFocus();
    QTest::keyClicks(text, QStringLiteral("\u00a9 Sam"));
    QTest::keyClick(text, Qt::Key_Return);
    QTest::keyClicks(text, QStringLiteral("{{x}}"));
    EXPECT_TRUE(page.IsPreviewTimerPending());
    page.OnPreviewTimer();
    EXPECT_EQ(page.GetTextStamp().text, "\u00a9 Sam\n{{x}}");
    ASSERT_TRUE(page.GetStampView()->IsLoaded());
    EXPECT_FALSE(
        SamePixels(page.GetStampedView()->GetPicture(), page.GetSampleView()->GetPicture()));
    const CRunStamp run = page.GetRunStamp();
    ASSERT_TRUE(run.description);
    EXPECT_TRUE(run.description->IsText());

    // The font and the colour through their buttons; the shadow switched off.
    QTest::mouseClick(font, Qt::LeftButton);
    EXPECT_EQ(fontsAsked, std::vector<std::string>{"sans-serif:bold"});
    EXPECT_EQ(page.GetTextStamp().font, "DejaVu Serif:Bold");
    EXPECT_EQ(font->toolTip(), "DejaVu Serif Bold");
    colour->menu()->actions().back()->trigger();
    EXPECT_EQ(page.GetTextStamp().colour, 0x20C040);
    colour->menu()->actions().front()->trigger();
    EXPECT_EQ(page.GetTextStamp().colour, kTextColourAuto);
    EXPECT_EQ(colour->text(), "automatic");
    const int withShadow = page.GetStampView()->GetPicture().GetWidth();
    QTest::mouseClick(shadow, Qt::LeftButton);
    EXPECT_FALSE(page.GetTextStamp().shadow);
    EXPECT_LT(page.GetStampView()->GetPicture().GetWidth(), withShadow);

    // An unknown placeholder: nothing to stamp, and the caption says why.
    text->selectAll();
    QTest::keyClicks(text, QStringLiteral("{nmae}"));
    page.OnPreviewTimer();
    EXPECT_FALSE(page.GetStampView()->IsLoaded());
    EXPECT_TRUE(page.GetStampCaption().contains("{nmae}")) << page.GetStampCaption().toStdString();
    EXPECT_FALSE(page.GetRunStamp().description);

    // Back to the picture: the key controls return.
    kind->setFocus();
    QTest::keyClick(kind, Qt::Key_Up);
    EXPECT_FALSE(page.IsTextStamp());
    EXPECT_TRUE(Item<QWidget>(IDC_POS_USE_TRANSPARENCE)->isEnabled());
    EXPECT_FALSE(text->isVisible());
}
