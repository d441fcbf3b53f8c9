// Batch runs through the whole window: the input page's list, the positioning page's stamp
// and placement, the output page's run.
#include "core/stampbitmap.h"
#include "imagelib/autodetectdecoder.h"
#include "imagelib/jpegencoder.h"
#include "imagelib/pngencoder.h"
#include "imagelib/textexception.h"
#include "pages/output/outputpage.h"
#include "platform/messagebox.h"
#include "platform/tabcontrol.h"
#include "realwindow.h"

#include <QAbstractButton>
#include <QEventLoop>
#include <QFileInfo>
#include <QListWidget>
#include <QProgressBar>
#include <QTabBar>

namespace {

const std::string kExif("Exif\0\0MM\0*\0\0\0\x08\0\0", 16);

void WriteJpegWithExif(const QString& path, int width, int height, uint32_t colour) {
    CMemoryBitmap bitmap;
    bitmap.Create(width, height, 32, false);
    Fill32(bitmap, colour);
    auto marker = std::make_unique<CSavedMarker>();
    marker->marker = 0xE1;
    marker->originalLength = marker->dataLength = uint32_t(kExif.size());
    marker->data = std::make_unique<uint8_t[]>(kExif.size());
    std::copy(kExif.begin(), kExif.end(), marker->data.get());
    bitmap.SetMarkers(std::move(marker));
    CJpegEncoder().EncodeFile(path.toStdString(), bitmap);
}

void WritePng(const QString& path, int width, int height, uint32_t colour) {
    CMemoryBitmap bitmap;
    bitmap.Create(width, height, 32, false);
    Fill32(bitmap, colour);
    CPngEncoder().EncodeFile(path.toStdString(), bitmap);
}

bool Near(uint32_t pixel, uint32_t colour, int tolerance = 24) {
    for (int shift : {0, 8, 16})
        if (std::abs(int(pixel >> shift & 0xFF) - int(colour >> shift & 0xFF)) > tolerance)
            return false;
    return true;
}

class OutputRun : public RealWindowTest {
protected:
    void SetUp() override {
        RealWindowTest::SetUp();
        stamp = dir.path() + "/stamp.bmp";
        WriteBmp(stamp, 8, 8, 0xFFFF0000);
    }

    std::unique_ptr<CMainDialog> OpenForRun() {
        auto dialog = Open([&](CStampSettingsValues& s) {
            s.pathstamp = stamp.toStdString();
            s.halign = 2;
            s.valign = 2;
            s.offsetx = s.offsety = 0;
            s.opacity = 255;
            s.colora = 0;
            s.outputtype = 0;
            s.biptc = true;
            s.overwritefiles = false;
            s.jpgquality = 95;
            s.outputdir = out.toStdString();
        });
        page = qobject_cast<COutputPage*>(dialog->GetPage(CMainPages::kOutput));
        EXPECT_NE(page, nullptr);
        dialog->GetTabs()->GetTabBar()->setCurrentIndex(CMainPages::kOutput);
        return dialog;
    }

    // Puts the files into the input page's selected-files list; returns the list's order,
    // which is the run's.
    static QStringList Select(CMainDialog& dialog, const QStringList& files) {
        auto* list =
            GetDlgItemAs<QListWidget>(dialog.GetPage(CMainPages::kInput), IDC_IN_SELECTED_LIST);
        EXPECT_NE(list, nullptr);
        for (const QString& file : files)
            list->addItem(file);
        QStringList order;
        for (int i = 0; i < list->count(); ++i)
            order << list->item(i)->text();
        return order;
    }

    QAbstractButton* Button(int id) const { return GetDlgItemAs<QAbstractButton>(page, id); }
    QString OutputOf(const QString& input) const {
        return out + QString::fromStdString(FileTitle(input.toStdString())) + ".jpg";
    }

    QString stamp;
    COutputPage* page = nullptr;
};

TEST_F(OutputRun, StampsEveryFormatLogsEachFileAndRestoresThePage) {
    WriteJpegWithExif(in + "photo.jpg", 64, 48, 0xFF2060A0);
    WritePng(in + "picture.png", 64, 48, 0xFF30A030);
    WriteBmp(in + "scan.bmp", 64, 48, 0xFF808080);
    {
        QFile broken(in + "broken.jpg");
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
        broken.write(QByteArray("\xFF\xD8\xFF\xE0 this is no picture", 23));
    }
    const QString gif = QStringLiteral(QM_TESTDATA_DIR "/gif/giflib/pic/treescap.gif");
    if (!QFile::exists(gif))
        GTEST_SKIP() << "no test data at " << QM_TESTDATA_DIR;
    std::string brokenText;
    try {
        CStampBitmap bitmap;
        CAutoDetectDecoder().DecodeFile((in + "broken.jpg").toStdString(), bitmap, 32);
    } catch (const CTextException& e) {
        brokenText = e.GetText();
    }
    ASSERT_FALSE(brokenText.empty());

    const auto dialog = OpenForRun();
    const QStringList order = Select(
        *dialog, {in + "photo.jpg", in + "picture.png", in + "scan.bmp", in + "broken.jpg", gif});
    CMessageBoxRecorder boxes;
    QTest::mouseClick(Button(IDC_OUT_START), Qt::LeftButton);
    ASSERT_TRUE(boxes.GetRecords().empty()) << boxes.GetRecords()[0].text.toStdString();
    ASSERT_TRUE(dialog->IsStamping());

    // While it runs: no other tab, no import or export, no change of the saved header
    // choice (the run has read it).
    auto* preserve = Button(IDC_OUT_PRESERVE);
    const bool preserved = preserve->isChecked();
    QTest::mouseClick(preserve, Qt::LeftButton);
    EXPECT_EQ(preserve->isChecked(), preserved);
    dialog->GetTabs()->GetTabBar()->setCurrentIndex(CMainPages::kInput);
    EXPECT_EQ(dialog->GetTabs()->GetTabBar()->currentIndex(), CMainPages::kOutput);
    EXPECT_TRUE(page->isVisible());
    dialog->OnSysCommand(IDM_EXPORT);
    ASSERT_EQ(boxes.GetRecords().size(), 1u);
    EXPECT_EQ(boxes.GetRecords()[0].text, "Sorry, no import/export during stamping");

    ASSERT_TRUE(QTest::qWaitFor([&] { return !page->IsWorkerRunning(); }, 30000));
    std::string expected;
    for (const QString& input : order) {
        if (input.endsWith("broken.jpg"))
            expected += "ERR: " + input.toStdString() + " : " +
                        brokenText.substr(0, brokenText.size() - 1) + "\r\n";
        else
            expected += "OK: " + OutputOf(input).toStdString() + " created \r\n";
    }
    EXPECT_EQ(page->GetLog(), expected);

    // Every output carries the stamp in its bottom-right corner and nothing elsewhere.
    for (const QString& input : order) {
        if (input.endsWith("broken.jpg"))
            continue;
        SCOPED_TRACE(input.toStdString());
        CStampBitmap result, original;
        ASSERT_NO_THROW(CAutoDetectDecoder().DecodeFile(OutputOf(input).toStdString(), result, 32));
        CAutoDetectDecoder().DecodeFile(input.toStdString(), original, 32);
        const int w = result.GetWidth(), h = result.GetHeight();
        EXPECT_EQ(w, original.GetWidth());
        EXPECT_TRUE(Near(result.GetPixel32(w - 4, h - 4), 0xFF0000))
            << std::hex << result.GetPixel32(w - 4, h - 4);
        EXPECT_TRUE(Near(result.GetPixel32(w - 1, h - 1), 0xFF0000));
        EXPECT_TRUE(Near(result.GetPixel32(w - 12, h - 12), original.GetPixel32(w - 12, h - 12)));
        EXPECT_TRUE(Near(result.GetPixel32(2, 2), original.GetPixel32(2, 2)));
    }
    // The JPEG input's EXIF block went through.
    CStampBitmap photo;
    CAutoDetectDecoder().DecodeFile((out + "photo.jpg").toStdString(), photo, 32);
    bool exif = false;
    for (const CSavedMarker* m = photo.GetMarkers(); m; m = m->next.get())
        exif = exif ||
               (m->marker == 0xE1 &&
                std::string(reinterpret_cast<const char*>(m->data.get()), m->dataLength) == kExif);
    EXPECT_TRUE(exif);

    EXPECT_FALSE(dialog->IsStamping());
    EXPECT_EQ(GetDlgItemAs<QProgressBar>(page, IDC_OUT_PROGRESS)->value(), 0);
    for (const int id : {IDC_OUT_START, IDC_OUT_TREE, IDC_OUT_FOLDER, IDC_OUT_OVERWRITE,
                         IDC_OUT_BMP, IDC_OUT_JPG, IDC_OUT_PNG, IDC_OUT_NEW_FOLDER, IDC_OUT_QUALITY,
                         IDC_OUT_QUALITY_VALUE, IDC_OUT_PERCENT, IDC_OUT_PRESERVE})
        EXPECT_TRUE(GetDlgItem(page, id)->isEnabled()) << id;
    EXPECT_FALSE(Button(IDC_OUT_STOP)->isEnabled());
    dialog->GetTabs()->GetTabBar()->setCurrentIndex(CMainPages::kInput);
    EXPECT_EQ(dialog->GetTabs()->GetTabBar()->currentIndex(), CMainPages::kInput);
}

TEST_F(OutputRun, StopAppendsCanceledAfterTheFileInProgress) {
    QStringList files;
    for (int i = 0; i < 4; ++i) {
        files << in + QString("p%1.bmp").arg(i);
        WriteBmp(files.back(), 40, 30, 0xFF404040);
    }
    const auto dialog = OpenForRun();
    const QStringList order = Select(*dialog, files);
    QObject::connect(page, &COutputPage::logChanged, page, [this] {
        if (Button(IDC_OUT_STOP)->isEnabled())
            QTest::mouseClick(Button(IDC_OUT_STOP), Qt::LeftButton);
    });
    QTest::mouseClick(Button(IDC_OUT_START), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !page->IsWorkerRunning(); }, 30000));
    // The files in flight on other workers when the stop came finish and are logged in
    // order; nothing starts after it.
    const std::string log = page->GetLog();
    std::string expected;
    int logged = 0;
    for (const QString& file : order) {
        const std::string line = "OK: " + OutputOf(file).toStdString() + " created \r\n";
        if (log.compare(expected.size(), line.size(), line) != 0)
            break;
        expected += line;
        ++logged;
    }
    EXPECT_EQ(log, expected + "canceled");
    EXPECT_GE(logged, 1);
    EXPECT_LE(logged, 1 + 4 * DefaultJobWorkers());
    for (int i = 0; i < order.size(); ++i)
        EXPECT_EQ(QFile::exists(OutputOf(order[i])), i < logged) << i;
}

// Closing (or destroying) the window mid-run: the run is asked to stop, its calls are
// still carried out while the window waits for it, and the pages go only after it.
TEST_F(OutputRun, ClosingTheWindowDuringARunEndsItCleanly) {
    QStringList files;
    for (int i = 0; i < 5; ++i) {
        files << in + QString("q%1.bmp").arg(i);
        WriteBmp(files.back(), 400, 300, 0xFF406080);
    }
    enum class When { AtStart, AfterFirstFile, DestroyAfterFirstFile };
    for (const When when : {When::AtStart, When::AfterFirstFile, When::DestroyAfterFirstFile}) {
        SCOPED_TRACE(int(when));
        for (const QString& f : QDir(out).entryList(QDir::Files))
            QFile::remove(out + f);
        auto dialog = OpenForRun();
        const QStringList order = Select(*dialog, files);
        QEventLoop firstLine;
        QObject::connect(page, &COutputPage::logChanged, &firstLine, &QEventLoop::quit);
        QTest::mouseClick(Button(IDC_OUT_START), Qt::LeftButton);
        ASSERT_TRUE(dialog->IsStamping());
        if (when != When::AtStart)
            firstLine.exec();
        if (when == When::DestroyAfterFirstFile) {
            dialog.reset();
        } else {
            dialog->close();
            EXPECT_FALSE(dialog->isVisible());
            EXPECT_FALSE(page->IsWorkerRunning());
            EXPECT_FALSE(dialog->IsStamping());
            // The files in flight when the stop came (one per worker at most) finish and
            // are logged in order: the log is the lines of the first files, then
            // "canceled".
            std::string expected;
            int logged = 0;
            const std::string log = page->GetLog();
            while (when != When::AtStart && logged < order.size() &&
                   log.compare(0, expected.size(), expected) == 0) {
                const std::string line =
                    "OK: " + OutputOf(order[logged]).toStdString() + " created \r\n";
                if (log.compare(expected.size(), line.size(), line) != 0)
                    break;
                expected += line;
                ++logged;
            }
            EXPECT_EQ(log, expected + "canceled");
            EXPECT_EQ(logged == 0, when == When::AtStart);
            EXPECT_LT(logged, order.size()) << "the stop was taken";
            dialog.reset();
        }
        // Whole outputs of the first files, and nothing after them.
        const int written = int(QDir(out).entryList(QDir::Files).size());
        EXPECT_EQ(written == 0, when == When::AtStart);
        for (int i = 0; i < written; ++i) {
            CStampBitmap result;
            EXPECT_NO_THROW(
                CAutoDetectDecoder().DecodeFile(OutputOf(order[i]).toStdString(), result, 32))
                << i;
        }
        RunDeferredDeletes();
    }
}

} // namespace
