#include "pages/input/foldertree.h"
#include "pages/output/outputpage.h"
#include "pages/position/imageviewer.h"
#include "pages/position/positionpage.h"
#include "platform/dialogbuilder.h"
#include "platform/messagebox.h"
#include "platform/tooltips.h"
#include "qtestapp.h"
#include "resources/resource.h"

#include "imagelib/autodetectdecoder.h"
#include "imagelib/bitmap.h"
#include "imagelib/bmpencoder.h"
#include "imagelib/pngencoder.h"
#include "imagelib/textexception.h"
#include "testbitmaps.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QString kReasonsHead =
    QStringLiteral("Could not stamp because of the following reasons: \r\n\r\n");

void WriteBmp(const QString& path, int width, int height, uint32_t colour) {
    CMemoryBitmap bitmap;
    bitmap.Create(width, height, 32, false);
    Fill32(bitmap, colour);
    CBmpEncoder().EncodeFile(path.toStdString(), bitmap);
}

// An output page in a window of its own next to a stand-in tab strip, its tree on a disk
// in a temporary folder, and a positioning page with the built-in sample as stamp and
// sample.
class OutputPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestApp();
        ASSERT_TRUE(dir.isValid());
        root = dir.path() + "/disk/";
        ASSERT_TRUE(MakeFolders(dir.path(), {"disk/in", "disk/out/Existing"}));

        window = std::make_unique<QWidget>();
        tabs = new QWidget(window.get());
        tabs->setFocusPolicy(Qt::StrongFocus);
        page = new COutputPage(window.get());
        auto* layout = new QVBoxLayout(window.get());
        layout->addWidget(tabs);
        layout->addWidget(page);

        CFolderTree::SEnvironment environment;
        environment.drives = [this] { return std::vector<SDrive>{{root, EDriveType::Fixed}}; };
        environment.desktopFolder = [] { return QString(); };
        environment.volumeId = [](const QString&) -> std::optional<int64_t> { return 1; };
        page->GetTree()->SetEnvironment(std::move(environment));
        page->GetTree()->InitFolderTree();
        EXPECT_TRUE(page->GetTree()->SelectFolderPath(root + "out", true));

        position = std::make_unique<CPositionPage>();
        position->GetStampView()->LoadSamplePicture();
        position->GetSampleView()->LoadSamplePicture();
        position->SampleChanged();

        page->SetHost({[this] { return files; },
                       [this] { return withPosition ? position->GetRunStamp() : CRunStamp(); },
                       [this] { return tabs; }});
        // Tall enough for the whole template: the log starts below the output settings.
        window->resize(900, 600);
        window->show();
    }

    void TearDown() override { window.reset(); }

    QWidget* Control(int id) const { return GetDlgItem(page, id); }
    QAbstractButton* Button(int id) const { return GetDlgItemAs<QAbstractButton>(page, id); }
    QString In(const QString& name) const { return root + "in/" + name; }
    QString Out(const QString& name) const { return root + "out/" + name; }

    // Waits for the worker; false when it did not end in time.
    bool WaitForRun() {
        return QTest::qWaitFor([this] { return !page->IsWorkerRunning(); }, 20000);
    }

    QTemporaryDir dir;
    QString root;
    std::unique_ptr<QWidget> window;
    QWidget* tabs = nullptr;
    COutputPage* page = nullptr;
    std::unique_ptr<CPositionPage> position;
    QStringList files;
    bool withPosition = true;
};

TEST_F(OutputPageTest, StartIsRefusedWithEveryReasonAtOnce) {
    WriteBmp(In("here.bmp"), 8, 8, 0xFF000000);
    struct Case {
        const char* name;
        QStringList files;
        bool position, stamp;
        QString reasons;
    };
    const Case cases[] = {
        {"empty list", {}, true, true, "- no input files selected \r\n"},
        {"files deleted meanwhile",
         {In("gone1.bmp"), In("gone2.jpg")},
         true,
         true,
         "- all of the selected files are no longer valid \r\n"},
        {"no stamp", {In("here.bmp")}, true, false, "- you have not selected a stamp \r\n"},
        {"nothing at all",
         {},
         false,
         false,
         "- no input files selected \r\n- you have not previed your stamping \r\n- you have "
         "not selected a stamp \r\n"},
        {"folder only",
         {root + "in"},
         true,
         true,
         "- all of the selected files are no longer valid \r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        files = c.files;
        withPosition = c.position;
        if (c.stamp)
            position->GetStampView()->LoadSamplePicture();
        else
            position->GetStampView()->ClearPicture();
        CMessageBoxRecorder boxes;
        page->StartRun();
        ASSERT_EQ(boxes.GetRecords().size(), 1u);
        EXPECT_EQ(boxes.GetRecords()[0].text, kReasonsHead + c.reasons);
        EXPECT_EQ(boxes.GetRecords()[0].icon, CMessageIcon::Error);
        EXPECT_EQ(boxes.GetRecords()[0].owner, page);
        EXPECT_FALSE(page->IsStamping());
        EXPECT_FALSE(page->IsWorkerRunning());
        EXPECT_TRUE(Button(IDC_OUT_START)->isEnabled());
    }
}

TEST_F(OutputPageTest, FormatButtonsSwitchTheJpegControlsAndLeaveThePreserveCheck) {
    const int qualityControls[] = {IDC_OUT_QUALITY_VALUE, IDC_OUT_QUALITY, IDC_OUT_PERCENT,
                                   IDC_OUT_QUALITY_LABEL};
    Button(IDC_OUT_PRESERVE)->setChecked(true);
    // WebP and AVIF have a quality and keep EXIF, as JPEG does.
    struct Step {
        int button;
        bool enabled;
        int outputType;
    };
    for (const Step step :
         {Step{IDC_OUT_PNG, false, 2}, Step{IDC_OUT_JPG, true, 0}, Step{IDC_OUT_WEBP, true, 3},
          Step{IDC_OUT_BMP, false, 1}, Step{IDC_OUT_AVIF, true, 4}, Step{IDC_OUT_JPG, true, 0}}) {
        SCOPED_TRACE(step.button);
        QTest::mouseClick(Button(step.button), Qt::LeftButton);
        ASSERT_TRUE(Button(step.button)->isChecked());
        for (const int id : qualityControls)
            EXPECT_EQ(Control(id)->isEnabled(), step.enabled) << id;
        EXPECT_EQ(Control(IDC_OUT_PRESERVE)->isEnabled(), step.enabled);
        EXPECT_TRUE(Button(IDC_OUT_PRESERVE)->isChecked());
        EXPECT_EQ(page->GetCheckedOutputType(), step.outputType);
    }
}

// A run to WebP and to AVIF at the slider's quality, both chosen by clicks: the outputs
// carry the format's extension and read back as the stamped pictures.
TEST_F(OutputPageTest, WebpAndAvifRunsWriteTheirFiles) {
    WriteBmp(In("a.bmp"), 40, 30, 0xFF3060C0);
    files = {In("a.bmp")};
    for (const int button : {IDC_OUT_WEBP, IDC_OUT_AVIF}) {
        const QString name = button == IDC_OUT_WEBP ? "a.webp" : "a.avif";
        SCOPED_TRACE(name.toStdString());
        QTest::mouseClick(Button(button), Qt::LeftButton);
        // The slider by the keyboard, as a user moves it.
        auto* slider = GetDlgItemAs<QSlider>(page, IDC_OUT_QUALITY);
        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_End);
        QTest::keyClick(slider, Qt::Key_PageDown);
        EXPECT_LT(slider->value(), 100);
        EXPECT_EQ(page->GetJpegQuality(), slider->value());
        page->StartRun();
        ASSERT_TRUE(WaitForRun());
        EXPECT_EQ(page->GetLog(), "OK: " + Out(name).toStdString() + " created \r\n");
        CMemoryBitmap written;
        ASSERT_NO_THROW(CAutoDetectDecoder().DecodeFile(Out(name).toStdString(), written, 32));
        EXPECT_EQ(written.GetWidth(), 40);
        EXPECT_EQ(written.GetHeight(), 30);
        // The quality controls are back for the next run.
        EXPECT_TRUE(Control(IDC_OUT_QUALITY)->isEnabled());
        EXPECT_FALSE(Control(IDC_OUT_LOSSLESS)->isEnabled());
    }
}

TEST_F(OutputPageTest, LosslessIsForJpegOutputAndTakesTheQualityAwayWithATipSayingWhy) {
    const int quality[] = {IDC_OUT_QUALITY_VALUE, IDC_OUT_QUALITY, IDC_OUT_PERCENT,
                           IDC_OUT_QUALITY_LABEL};
    const QString usual = page->GetToolTips()->GetText(Control(IDC_OUT_QUALITY));
    struct Step {
        int format;
        bool lossless;
        bool losslessEnabled, qualityEnabled;
    };
    for (const Step step :
         {Step{IDC_OUT_JPG, false, true, true}, Step{IDC_OUT_JPG, true, true, false},
          Step{IDC_OUT_PNG, true, false, false}, Step{IDC_OUT_BMP, false, false, false},
          Step{IDC_OUT_JPG, false, true, true}, Step{IDC_OUT_JPG, true, true, false},
          Step{IDC_OUT_WEBP, true, false, true}, Step{IDC_OUT_AVIF, true, false, true},
          Step{IDC_OUT_JPG, false, true, true}}) {
        SCOPED_TRACE(std::to_string(step.format) + (step.lossless ? " lossless" : ""));
        QTest::mouseClick(Button(step.format), Qt::LeftButton);
        Button(IDC_OUT_LOSSLESS)->setChecked(step.lossless);
        EXPECT_EQ(Control(IDC_OUT_LOSSLESS)->isEnabled(), step.losslessEnabled);
        for (const int id : quality)
            EXPECT_EQ(Control(id)->isEnabled(), step.qualityEnabled) << id;
        const QString tip = page->GetToolTips()->GetText(Control(IDC_OUT_QUALITY));
        if (step.lossless && !step.qualityEnabled)
            EXPECT_TRUE(tip.contains("lossless")) << tip.toStdString();
        else
            EXPECT_EQ(tip, usual);
    }
    EXPECT_TRUE(page->GetToolTips()->GetText(Control(IDC_OUT_LOSSLESS)).contains("stamp"));
}

TEST_F(OutputPageTest, QualityLabelFollowsTheSliderWhileDragged) {
    auto* slider = GetDlgItemAs<QSlider>(page, IDC_OUT_QUALITY);
    auto* label = GetDlgItemAs<QLabel>(page, IDC_OUT_QUALITY_VALUE);
    slider->setSliderDown(true);
    for (const int value : {99, 37, 0}) {
        slider->setSliderPosition(value);
        EXPECT_EQ(label->text(), QString::number(value));
    }
    slider->setSliderDown(false);
    QTest::keyClick(slider, Qt::Key_End);
    EXPECT_EQ(label->text(), "100");
}

TEST_F(OutputPageTest, TreeSelectionFillsThePathField) {
    ASSERT_TRUE(page->GetTree()->SelectFolderPath(root + "out/Existing", true));
    EXPECT_EQ(GetDlgItemAs<QLineEdit>(page, IDC_OUT_FOLDER)->text(), root + "out/Existing/");
}

// A folder typed or pasted into the path box: the tree follows when it exists; one that
// does not exist stays as typed and a start is refused.
TEST_F(OutputPageTest, TypedOrPastedFolderIsFollowedByTheTree) {
    auto* field = GetDlgItemAs<QLineEdit>(page, IDC_OUT_FOLDER);
    EXPECT_FALSE(field->isReadOnly());
    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, root + "out/Existing");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(page->GetTree()->GetFolderPath(), root + "out/Existing/");
    EXPECT_EQ(field->text(), root + "out/Existing/");

    QGuiApplication::clipboard()->setText(root + "in/");
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Enter);
    EXPECT_EQ(page->GetTree()->GetFolderPath(), root + "in/");
    EXPECT_EQ(field->text(), root + "in/");

    field->setFocus();
    field->selectAll();
    QTest::keyClicks(field, root + "nowhere");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(field->text(), root + "nowhere");
    EXPECT_EQ(page->GetTree()->GetFolderPath(), root + "in/");
    WriteBmp(In("a.bmp"), 8, 8, 0xFF000000);
    files = {In("a.bmp")};
    CMessageBoxRecorder boxes;
    page->StartRun();
    EXPECT_FALSE(page->IsStamping());
    ASSERT_EQ(boxes.GetRecords().size(), 1u);
    EXPECT_EQ(boxes.GetRecords()[0].text, kReasonsHead + "- folder not found \r\n");
}

TEST_F(OutputPageTest, PageHasItsButtonsAnchorsAndTips) {
    EXPECT_EQ(page->GetToolTips()->GetMaxTipWidth(), 100);
    EXPECT_TRUE(page->GetToolTips()->IsActive());
    EXPECT_EQ(page->GetToolTips()->GetText(Control(IDC_OUT_PRESERVE)),
              "Preserve iptc, comment and exif headers when input and output files are jpegs.");
    EXPECT_EQ(page->GetToolTips()->GetText(Control(IDC_OUT_NEW_FOLDER)), "Create new subfolder.");
    EXPECT_FALSE(Button(IDC_OUT_STOP)->isEnabled());

    // Growing the page: the tree takes half the width and all the height, the log the other
    // half, the progress bar stays at the bottom with the log's width.
    const QRect tree = Control(IDC_OUT_TREE)->geometry();
    const QRect log = Control(IDC_OUT_LOG)->geometry();
    const QRect bar = Control(IDC_OUT_PROGRESS)->geometry();
    const QRect stop = Control(IDC_OUT_STOP)->geometry();
    const QSize before = page->size();
    page->resize(before + QSize(200, 100));
    EXPECT_EQ(Control(IDC_OUT_TREE)->geometry(), tree.adjusted(0, 0, 100, 100));
    EXPECT_EQ(Control(IDC_OUT_LOG)->geometry(), log.adjusted(100, 0, 200, 100));
    EXPECT_EQ(Control(IDC_OUT_PROGRESS)->geometry(), bar.adjusted(100, 100, 200, 100));
    EXPECT_EQ(Control(IDC_OUT_STOP)->geometry(), stop.translated(200, 0));
}

TEST_F(OutputPageTest, NewFolderReportsEachOutcome) {
    WriteBmp(Out("afile"), 2, 2, 0);
    struct Case {
        const char* name;
        std::optional<QString> answer;
        QString base; // the folder selected first ("" = the tree's "out")
        bool removeBase;
        QString message;
        CMessageIcon icon;
        QString fieldAfter;
    };
    const Case cases[] = {
        {"cancelled", std::nullopt, "", false, "", CMessageIcon::None, root + "out/"},
        {"existing", "Existing", "", false,
         "could not create new folder:\n folder already existing", CMessageIcon::Error,
         root + "out/"},
        {"base gone", "x", "in", true, "could not create new folder:\n folder not found",
         CMessageIcon::Error, root + "in/"},
        {"not a folder", "afile/x", "", false,
         "could not create new folder:\n unknown error (check permissions)", CMessageIcon::Error,
         root + "out/"},
        {"created", "new folder", "", false, "\"" + root + "out/new folder\" created",
         CMessageIcon::Information, root + "out/new folder/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(
            page->GetTree()->SelectFolderPath(root + (c.base.isEmpty() ? "out" : c.base), true));
        if (c.removeBase) {
            ASSERT_TRUE(QDir(root + c.base).removeRecursively());
        }
        page->SetNewFolderHook([&](QWidget*) { return c.answer; });
        CMessageBoxRecorder boxes;
        page->OnNewFolder();
        if (c.message.isEmpty()) {
            EXPECT_TRUE(boxes.GetRecords().empty());
        } else {
            ASSERT_EQ(boxes.GetRecords().size(), 1u);
            EXPECT_EQ(boxes.GetRecords()[0].text, c.message);
            EXPECT_EQ(boxes.GetRecords()[0].icon, c.icon);
        }
        EXPECT_EQ(GetDlgItemAs<QLineEdit>(page, IDC_OUT_FOLDER)->text(), c.fieldAfter);
        EXPECT_EQ(page->GetTree()->GetFolderPath(), c.fieldAfter);
    }
    EXPECT_TRUE(QDir(root + "out/new folder").exists());
    EXPECT_FALSE(QDir(root + "out/Existing/Existing").exists());
}

TEST_F(OutputPageTest, TabFromTheLastControlAndShiftTabFromTheFirstGoToTheTabStrip) {
    QWidget* log = Control(IDC_OUT_LOG);
    log->setFocus();
    QTest::keyClick(log, Qt::Key_Tab);
    EXPECT_EQ(window->focusWidget(), tabs);

    // Inside the page Tab goes on from control to control; backwards the path field is the
    // first stop, and Shift+Tab from it leaves for the tab strip.
    Control(IDC_OUT_NEW_FOLDER)->setFocus();
    QTest::keyClick(Control(IDC_OUT_NEW_FOLDER), Qt::Key_Tab);
    EXPECT_EQ(window->focusWidget(), Control(IDC_OUT_TREE));
    Control(IDC_OUT_NEW_FOLDER)->setFocus();
    QTest::keyClick(Control(IDC_OUT_NEW_FOLDER), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(window->focusWidget(), Control(IDC_OUT_FOLDER));
    QTest::keyClick(Control(IDC_OUT_FOLDER), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(window->focusWidget(), tabs);

    // The format buttons are one stop: the checked one. (PNG output disables the preserve
    // box, which Tab then passes over.)
    QTest::mouseClick(Button(IDC_OUT_PNG), Qt::LeftButton);
    Control(IDC_OUT_OVERWRITE)->setFocus();
    QTest::keyClick(Control(IDC_OUT_OVERWRITE), Qt::Key_Tab);
    EXPECT_EQ(window->focusWidget(), Control(IDC_OUT_PNG));
}

// A run through the page: what is locked while it goes, the log, the progress, and what
// the end step gives back.
TEST_F(OutputPageTest, RunLocksTheControlsLogsEachFileAndUnlocksAtTheEnd) {
    WriteBmp(In("a.bmp"), 20, 10, 0xFF0000FF);
    WriteBmp(In("b.BMP"), 20, 10, 0xFF00FF00);
    WriteBmp(In("gone.bmp"), 20, 10, 0xFF00FF00);
    {
        QFile broken(In("c.bmp"));
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
        broken.write("BM not really");
    }
    std::string brokenText;
    try {
        CMemoryBitmap bitmap;
        CAutoDetectDecoder().DecodeFile(In("c.bmp").toStdString(), bitmap, 32);
    } catch (const CTextException& e) {
        brokenText = e.GetText();
    }
    ASSERT_FALSE(brokenText.empty());
    files = {In("a.bmp"), In("b.BMP"), In("c.bmp"), In("gone.bmp")};
    QFile::remove(In("gone.bmp"));
    std::string goneText; // a file deleted after it was chosen gets its line too
    try {
        CMemoryBitmap bitmap;
        CAutoDetectDecoder().DecodeFile(In("gone.bmp").toStdString(), bitmap, 32);
    } catch (const CTextException& e) {
        goneText = e.GetText();
    }
    ASSERT_FALSE(goneText.empty());
    QTest::mouseClick(Button(IDC_OUT_PNG), Qt::LeftButton);
    Button(IDC_OUT_PRESERVE)->setChecked(true);

    auto* bar = GetDlgItemAs<QProgressBar>(page, IDC_OUT_PROGRESS);
    std::vector<int> positions;
    QStringList texts;
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int v) {
        positions.push_back(v);
        texts.push_back(page->GetProgressText());
    });
    CMessageBoxRecorder boxes;
    page->StartRun();
    EXPECT_EQ(page->GetProgressText(), "0 / 4");
    EXPECT_TRUE(boxes.GetRecords().empty());
    ASSERT_TRUE(page->IsStamping());
    EXPECT_EQ(page->GetRunTitles(), (std::vector<std::string>{"a", "b", "c", "gone"}));
    EXPECT_EQ(bar->maximum(), 4) << "the range counts every listed entry";
    EXPECT_FALSE(Button(IDC_OUT_START)->isEnabled());
    EXPECT_TRUE(Button(IDC_OUT_STOP)->isEnabled());
    EXPECT_EQ(window->focusWidget(), Button(IDC_OUT_STOP));
    for (const int id :
         {IDC_OUT_TREE, IDC_OUT_FOLDER, IDC_OUT_QUALITY_VALUE, IDC_OUT_OVERWRITE, IDC_OUT_QUALITY,
          IDC_OUT_PERCENT, IDC_OUT_BMP, IDC_OUT_JPG, IDC_OUT_PNG, IDC_OUT_NEW_FOLDER})
        EXPECT_FALSE(Control(id)->isEnabled()) << id;
    EXPECT_FALSE(Control(IDC_OUT_QUALITY_LABEL)->isEnabled()) << "kept as the format left it";
    EXPECT_FALSE(Control(IDC_OUT_PRESERVE)->isEnabled());
    EXPECT_EQ(page->GetSummaryText(), "") << "no summary while the run goes";
    page->StartRun(); // a second start while running does nothing
    ASSERT_TRUE(WaitForRun());
    EXPECT_EQ(page->GetSummaryText(), "2 created, 0 skipped, 2 failed");

    const std::string out = Out("").toStdString();
    const std::string goneLine =
        "ERR: " + In("gone.bmp").toStdString() + " : " + goneText.substr(0, goneText.size() - 1);
    EXPECT_EQ(page->GetLog(), "OK: " + out + "a.png created \r\nOK: " + out +
                                  "b.png created \r\nERR: " + In("c.bmp").toStdString() + " : " +
                                  brokenText.substr(0, brokenText.size() - 1) + "\r\n" + goneLine +
                                  "\r\n");
    EXPECT_EQ(GetDlgItemAs<QPlainTextEdit>(page, IDC_OUT_LOG)->toPlainText().toStdString(),
              "OK: " + out + "a.png created \nOK: " + out +
                  "b.png created \nERR: " + In("c.bmp").toStdString() + " : " +
                  brokenText.substr(0, brokenText.size() - 1) + "\n" + goneLine + "\n");
    EXPECT_EQ(positions, (std::vector<int>{1, 2, 3, 4, 0}));
    EXPECT_EQ(texts.mid(0, 4), QStringList({"1 / 4", "2 / 4", "3 / 4", "4 / 4"}));
    EXPECT_EQ(page->GetProgressText(), "2 created, 0 skipped, 2 failed");
    EXPECT_FALSE(page->IsStamping());
    EXPECT_TRUE(Button(IDC_OUT_START)->isEnabled());
    EXPECT_FALSE(Button(IDC_OUT_STOP)->isEnabled());
    EXPECT_EQ(window->focusWidget(), Button(IDC_OUT_START));
    for (const int id : {IDC_OUT_TREE, IDC_OUT_FOLDER, IDC_OUT_OVERWRITE, IDC_OUT_BMP, IDC_OUT_JPG,
                         IDC_OUT_PNG, IDC_OUT_NEW_FOLDER})
        EXPECT_TRUE(Control(id)->isEnabled()) << id;
    for (const int id : {IDC_OUT_QUALITY_VALUE, IDC_OUT_QUALITY, IDC_OUT_PERCENT})
        EXPECT_FALSE(Control(id)->isEnabled()) << "PNG output: " << id;
    EXPECT_TRUE(QFile::exists(Out("a.png")));
    EXPECT_TRUE(QFile::exists(Out("b.png")));

    // A second run with overwrite off: every output exists already.
    page->StartRun();
    ASSERT_TRUE(WaitForRun());
    EXPECT_EQ(page->GetLog().rfind("ERR: " + out + "a.png allready existing \r\n", 0), 0u)
        << page->GetLog();
    EXPECT_EQ(page->GetSummaryText(), "0 created, 2 skipped, 2 failed");
}

// The chosen output folder deleted outside the program: the tree gives way, the field
// keeps the folder, and a start is refused rather than writing into the parent.
TEST_F(OutputPageTest, DeletedOutputFolderStaysShownAndRefusesTheStart) {
    WriteBmp(In("a.bmp"), 8, 8, 0xFF000000);
    files = {In("a.bmp")};
    ASSERT_TRUE(page->GetTree()->SelectFolderPath(root + "out/Existing", true));
    auto* field = GetDlgItemAs<QLineEdit>(page, IDC_OUT_FOLDER);
    ASSERT_EQ(field->text(), root + "out/Existing/");
    ASSERT_TRUE(QDir(root + "out/Existing").removeRecursively());
    page->GetTree()->RefreshDrive(0);
    QCoreApplication::processEvents();
    EXPECT_EQ(field->text(), root + "out/Existing/");
    CMessageBoxRecorder boxes;
    page->StartRun();
    ASSERT_EQ(boxes.GetRecords().size(), 1u);
    EXPECT_EQ(boxes.GetRecords()[0].text, kReasonsHead + "- folder not found \r\n");
    EXPECT_FALSE(page->IsWorkerRunning());
    EXPECT_FALSE(QFile::exists(Out("a.jpg")));
    // A click on the parent the tree moved to chooses it.
    QTreeWidget* tree = page->GetTree();
    ASSERT_EQ(tree->currentItem()->text(0), "out");
    tree->scrollToItem(tree->currentItem());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {},
                      tree->visualItemRect(tree->currentItem()).center());
    EXPECT_EQ(field->text(), root + "out/");
    // A folder the user picks again is shown.
    ASSERT_TRUE(page->GetTree()->SelectFolderPath(root + "in", true));
    EXPECT_EQ(field->text(), root + "in/");
}

// A folder without its trailing separator (stored, imported or typed) still receives the
// outputs: folder and name are joined as a path.
TEST_F(OutputPageTest, FolderWithoutTrailingSeparatorReceivesTheOutputs) {
    WriteBmp(In("a.bmp"), 8, 8, 0xFF000000);
    files = {In("a.bmp")};
    GetDlgItemAs<QLineEdit>(page, IDC_OUT_FOLDER)->setText(root + "out");
    page->StartRun();
    ASSERT_TRUE(WaitForRun());
    EXPECT_EQ(page->GetLog(), "OK: " + Out("a.jpg").toStdString() + " created \r\n");
    EXPECT_TRUE(QFile::exists(Out("a.jpg")));
    EXPECT_FALSE(QFile::exists(root + "outa.jpg"));
}

// After every change of the log, a stop included, its newest line is the one in view.
TEST_F(OutputPageTest, LogShowsItsNewestLineAfterAStop) {
    WriteBmp(In("a.bmp"), 8, 8, 0xFF808080);
    files = {In("a.bmp")};
    for (int i = 0; i < 120; ++i)
        files << In(QString("missing%1.bmp").arg(i));
    auto* log = GetDlgItemAs<QPlainTextEdit>(page, IDC_OUT_LOG);
    int changes = 0;
    QObject::connect(page, &COutputPage::logChanged, page, [&] {
        if (++changes == 60 && Button(IDC_OUT_STOP)->isEnabled())
            QTest::mouseClick(Button(IDC_OUT_STOP), Qt::LeftButton);
    });
    page->StartRun();
    ASSERT_TRUE(WaitForRun());
    QCoreApplication::processEvents();
    ASSERT_EQ(page->GetLog().substr(page->GetLog().size() - 8), "canceled");
    QScrollBar* bar = log->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(OutputPageTest, StopFinishesTheFileInProgressThenLogsCanceled) {
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"})
        WriteBmp(In(name), 30, 30, 0xFF808080);
    files = {In("a.bmp"), In("b.bmp"), In("c.bmp")};
    // Stop as soon as the first file's line shows.
    QObject::connect(page, &COutputPage::logChanged, page, [this] {
        if (Button(IDC_OUT_STOP)->isEnabled())
            QTest::mouseClick(Button(IDC_OUT_STOP), Qt::LeftButton);
    });
    page->StartRun();
    ASSERT_TRUE(WaitForRun());
    // Files already in flight on other workers finish and are logged in order before
    // "canceled"; no file starts after the stop.
    const std::string log = page->GetLog();
    std::string expected;
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"}) {
        const std::string line = "OK: " + Out(name).toStdString() + " created \r\n";
        const bool logged = log.compare(expected.size(), line.size(), line) == 0;
        if (logged)
            expected += line;
        EXPECT_EQ(QFile::exists(Out(name)), logged) << name;
    }
    EXPECT_EQ(log, expected + "canceled");
    int created = 0;
    for (size_t at = expected.find("OK: "); at != std::string::npos;
         at = expected.find("OK: ", at + 1))
        ++created;
    EXPECT_EQ(page->GetSummaryText(),
              QString("%1 created, 0 skipped, 0 failed (stopped)").arg(created));
    EXPECT_NE(expected, "");
    if (DefaultJobWorkers() == 1) {
        EXPECT_FALSE(QFile::exists(Out("b.jpg")));
    }
    EXPECT_FALSE(page->IsStamping());
}

// The page going away mid-run: its destructor stops the run and waits for it while still
// carrying out the worker's calls; every output written is whole.
TEST_F(OutputPageTest, DestroyingThePageDuringARunEndsItCleanly) {
    QStringList names;
    for (int i = 0; i < 6; ++i) {
        names << QString("p%1.bmp").arg(i);
        WriteBmp(In(names.back()), 300, 200, 0xFF204060);
        files << In(names.back());
    }
    // Back here as soon as the first file's line shows, with the worker waiting on its
    // next call.
    QEventLoop firstLine;
    QObject::connect(page, &COutputPage::logChanged, &firstLine, &QEventLoop::quit);
    page->StartRun();
    firstLine.exec();
    window.reset(); // the page with it
    page = nullptr;
    // The first files, whole, and none after a gap: files start in order, and those in
    // flight at the stop (one per worker at most) finish.
    int written = 0;
    for (int i = 0; i < 6; ++i) {
        const QString output = Out(QString("p%1.jpg").arg(i));
        if (!QFile::exists(output))
            continue;
        EXPECT_EQ(written++, i) << "a gap before " << i;
        CMemoryBitmap bitmap;
        EXPECT_NO_THROW(CAutoDetectDecoder().DecodeFile(output.toStdString(), bitmap, 32)) << i;
    }
    EXPECT_GE(written, 1);
    if (DefaultJobWorkers() == 1) {
        EXPECT_EQ(written, 1) << "the stop was taken before the next file";
    } else {
        EXPECT_LT(written, 6) << "the stop was taken";
    }
}

} // namespace

// The output size chosen as a user does (keys in the list, digits typed), refused when the
// number is not one it takes, and written at that size.
TEST_F(OutputPageTest, OutputSizeIsChosenTypedCheckedAndWritten) {
    WriteBmp(In("wide.bmp"), 80, 60, 0xFF204060);
    files = {In("wide.bmp")};
    QTest::mouseClick(Button(IDC_OUT_PNG), Qt::LeftButton);
    auto* mode = GetDlgItemAs<QComboBox>(page, IDC_OUT_RESIZE_MODE);
    auto* value = GetDlgItemAs<QLineEdit>(page, IDC_OUT_RESIZE_VALUE);
    auto* unit = GetDlgItemAs<QLabel>(page, IDC_OUT_RESIZE_UNIT);
    ASSERT_TRUE(mode && value && unit);
    EXPECT_EQ(mode->currentIndex(), kResizeNone);
    EXPECT_FALSE(value->isEnabled()) << "no number without a size";
    EXPECT_FALSE(Control(IDC_OUT_ENLARGE)->isEnabled());

    mode->setFocus();
    QTest::keyClick(mode, Qt::Key_Down); // "long side"
    EXPECT_EQ(mode->currentIndex(), kResizeLong);
    EXPECT_TRUE(value->isEnabled());
    EXPECT_TRUE(Control(IDC_OUT_ENLARGE)->isEnabled());
    EXPECT_EQ(unit->text(), "px");
    value->selectAll();
    QTest::keyClicks(value, "0");
    CMessageBoxRecorder boxes;
    page->StartRun();
    ASSERT_EQ(boxes.GetRecords().size(), 1u);
    EXPECT_TRUE(boxes.GetRecords()[0].text.contains("- the output size must be 1 to 65535 pixels"))
        << boxes.GetRecords()[0].text.toStdString();
    EXPECT_FALSE(page->IsStamping());

    value->selectAll();
    QTest::keyClicks(value, "40");
    QTest::mouseClick(Button(IDC_OUT_STRIP_LOCATION), Qt::LeftButton);
    EXPECT_EQ(page->GetOutputSize(), (CResizeRule{kResizeLong, 40, false}));
    page->StartRun();
    for (const int id : {IDC_OUT_RESIZE_MODE, IDC_OUT_RESIZE_VALUE, IDC_OUT_ENLARGE,
                         IDC_OUT_STRIP_LOCATION, IDC_OUT_STRIP_METADATA})
        EXPECT_FALSE(Control(id)->isEnabled()) << "locked during the run: " << id;
    ASSERT_TRUE(WaitForRun());
    EXPECT_EQ(QImage(Out("wide.png")).size(), QSize(40, 30));
    EXPECT_TRUE(value->isEnabled());
    EXPECT_TRUE(Control(IDC_OUT_STRIP_LOCATION)->isEnabled());

    // Percent: the unit says so, and 150 % without "enlarge" keeps the photo's size.
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(mode, Qt::Key_Down);
    EXPECT_EQ(mode->currentIndex(), kResizePercent);
    EXPECT_EQ(unit->text(), "%");
    value->selectAll();
    QTest::keyClicks(value, "150");
    Button(IDC_OUT_OVERWRITE)->setChecked(true);
    page->StartRun();
    ASSERT_TRUE(WaitForRun());
    EXPECT_EQ(QImage(Out("wide.png")).size(), QSize(80, 60));
    QTest::mouseClick(Button(IDC_OUT_ENLARGE), Qt::LeftButton);
    page->StartRun();
    ASSERT_TRUE(WaitForRun());
    EXPECT_EQ(QImage(Out("wide.png")).size(), QSize(120, 90));
}

namespace {
// Transparent above, opaque red below.
void WriteTransparentPng(const QString& path, int width, int height) {
    CMemoryBitmap bitmap;
    bitmap.Create(width, height, 32, true);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            SetPixel32(bitmap, x, y, y < height / 2 ? 0x00000000u : 0xFFFF0000u);
    CPngEncoder().EncodeFile(path.toStdString(), bitmap);
}
} // namespace

// The colour under transparent photos: its button beside the formats is on where the
// format keeps no alpha, the chosen colour reaches the run, and a run locks the button.
TEST_F(OutputPageTest, BackgroundButtonPicksTheColourUnderTransparentPhotos) {
    for (const auto& [format, enabled] :
         {std::pair{IDC_OUT_PNG, false}, {IDC_OUT_JPG, true}, {IDC_OUT_BMP, true}}) {
        QTest::mouseClick(Button(format), Qt::LeftButton);
        EXPECT_EQ(Control(IDC_OUT_BACKGROUND)->isEnabled(), enabled) << format;
    }
    EXPECT_EQ(page->GetBackgroundColour(), 0xFFFFFFu) << "white unless told";
    std::optional<uint32_t> answer;
    uint32_t offered = 0;
    page->SetColourHook([&](QWidget*, uint32_t current) {
        offered = current;
        return answer;
    });
    answer = 0x0000FF;
    QTest::mouseClick(Button(IDC_OUT_BACKGROUND), Qt::LeftButton);
    EXPECT_EQ(offered, 0xFFFFFFu);
    EXPECT_EQ(page->GetBackgroundColour(), 0x0000FFu);
    answer.reset(); // cancelled: the colour stays
    QTest::mouseClick(Button(IDC_OUT_BACKGROUND), Qt::LeftButton);
    EXPECT_EQ(page->GetBackgroundColour(), 0x0000FFu);

    WriteTransparentPng(In("shot.png"), 200, 200);
    files = {In("shot.png")};
    page->StartRun();
    EXPECT_FALSE(Control(IDC_OUT_BACKGROUND)->isEnabled());
    ASSERT_TRUE(WaitForRun());
    EXPECT_TRUE(Control(IDC_OUT_BACKGROUND)->isEnabled());
    CMemoryBitmap result;
    CAutoDetectDecoder().DecodeFile(Out("shot.bmp").toStdString(), result, 32);
    EXPECT_EQ(result.GetPixel32(0, 0) & 0xFFFFFF, 0x0000FFu) << "the transparent corner";
    EXPECT_EQ(result.GetPixel32(0, 199) & 0xFFFFFF, 0xFF0000u) << "the opaque one";
}

// The choice of three for existing files and the file name field, by keys and clicks: the
// arrow keys move within the choice, Tab reaches the name field after the metadata boxes;
// a run keeps an existing output and names the new one beside it; a template that can
// make no name stops the start with its reason; both are locked while a run goes.
TEST_F(OutputPageTest, ExistingFilesChoiceAndFileNameNameTheOutputs) {
    WriteBmp(In("a.bmp"), 20, 10, 0xFF0000FF);
    WriteBmp(In("b.bmp"), 20, 10, 0xFF00FF00);
    files = {In("a.bmp"), In("b.bmp")};
    QTest::mouseClick(Button(IDC_OUT_PNG), Qt::LeftButton);
    QFile older(Out("a.png"));
    ASSERT_TRUE(older.open(QIODevice::WriteOnly));
    older.write("older export");
    older.close();

    EXPECT_TRUE(Button(IDC_OUT_SKIP)->isChecked()) << "nothing replaced by default";
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    Control(IDC_OUT_SKIP)->setFocus(Qt::TabFocusReason);
    QTest::keyClick(Control(IDC_OUT_SKIP), Qt::Key_Right);
    QTest::keyClick(window->focusWidget(), Qt::Key_Right);
    EXPECT_EQ(window->focusWidget(), Control(IDC_OUT_KEEP_BOTH));
    EXPECT_TRUE(Button(IDC_OUT_KEEP_BOTH)->isChecked());
    EXPECT_FALSE(Button(IDC_OUT_SKIP)->isChecked());
    Control(IDC_OUT_STRIP_METADATA)->setFocus();
    QTest::keyClick(Control(IDC_OUT_STRIP_METADATA), Qt::Key_Tab);
    auto* name = GetDlgItemAs<QLineEdit>(page, IDC_OUT_NAME);
    ASSERT_EQ(window->focusWidget(), name);
    EXPECT_EQ(name->text(), "{name}");
    QTest::keyClick(name, Qt::Key_Tab);
    EXPECT_EQ(window->focusWidget(), Control(IDC_OUT_START));

    page->StartRun();
    for (const int id : {IDC_OUT_SKIP, IDC_OUT_OVERWRITE, IDC_OUT_KEEP_BOTH, IDC_OUT_NAME})
        EXPECT_FALSE(Control(id)->isEnabled()) << id;
    ASSERT_TRUE(WaitForRun());
    EXPECT_EQ(page->GetLog(), "OK: " + Out("a-1.png").toStdString() + " created \r\nOK: " +
                                  Out("b.png").toStdString() + " created \r\n");
    ASSERT_TRUE(older.open(QIODevice::ReadOnly));
    EXPECT_EQ(older.readAll(), "older export");
    older.close();
    for (const int id : {IDC_OUT_SKIP, IDC_OUT_OVERWRITE, IDC_OUT_KEEP_BOTH, IDC_OUT_NAME})
        EXPECT_TRUE(Control(id)->isEnabled()) << id;

    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, "web/{nmae}");
    CMessageBoxRecorder boxes;
    page->StartRun();
    EXPECT_FALSE(page->IsStamping());
    ASSERT_EQ(boxes.GetRecords().size(), 1u);
    EXPECT_EQ(boxes.GetRecords()[0].text,
              kReasonsHead + "- file name: unknown placeholder '{nmae}' \r\n");

    name->selectAll();
    QTest::keyClicks(name, "{n} web");
    QTest::mouseClick(Button(IDC_OUT_OVERWRITE), Qt::LeftButton);
    EXPECT_FALSE(Button(IDC_OUT_KEEP_BOTH)->isChecked());
    page->StartRun();
    ASSERT_TRUE(WaitForRun());
    EXPECT_EQ(page->GetLog(), "OK: " + Out("1 web.png").toStdString() + " created \r\nOK: " +
                                  Out("2 web.png").toStdString() + " created \r\n");
}
