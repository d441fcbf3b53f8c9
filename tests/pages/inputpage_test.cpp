#include "pages/input/inputpage.h"

#include "controls/extentlistbox.h"
#include "controls/imagebutton.h"
#include "pages/input/filedroplistbox.h"
#include "pages/input/foldertree.h"
#include "pages/pagehost.h"
#include "pages/position/imageviewer.h"
#include "platform/dialogbuilder.h"
#include "platform/messagebox.h"
#include "platform/tooltips.h"
#include "qtestapp.h"
#include "resources/resource.h"

#include <QCheckBox>
#include <QClipboard>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

QStringList Texts(const CExtentListBox* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts.append(list->GetText(i));
    return texts;
}

bool MakePicture(const QString& path, int w, int h, QColor colour = Qt::darkCyan) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image.save(path, "PNG");
}

// Selects rows of a list as a click of the user would: the caret on `caret`, then the
// selection, with the list's notifications.
void SelectRows(CExtentListBox* list, const QList<int>& rows, int caret = -1) {
    list->clearSelection();
    if (caret >= 0)
        list->setCurrentRow(caret, QItemSelectionModel::NoUpdate);
    for (int row : rows)
        list->item(row)->setSelected(true);
}

// A main window standing in for the real one: the tab control and the splash.
class CFakeHost : public CPageHost {
public:
    bool IsApplyingSettings() const override { return false; }
    bool IsStamping() const override { return false; }
    void HideSplash() override { ++splashChecks; }
    QWidget* GetTabControl() const override { return tabs; }
    QWidget* GetPage(int) const override { return nullptr; }

    QWidget* tabs = nullptr;
    int splashChecks = 0;
};

// A fixed drive in a temporary folder with two folders of pictures:
//   one/  a.jpg B.JPEG c.Bmp d.GIF e.png notes.txt f.jpgx noext h.jpg/ (a folder) Sub/x.png
//   two/  a.jpg wide-...-name.png
class InputPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestApp();
        ASSERT_TRUE(dir.isValid());
        root = dir.path() + "/";
        one = root + "one/";
        two = root + "two/";
        ASSERT_TRUE(MakeFolders(dir.path(), {"one/h.jpg", "one/Sub", "two"}));
        ASSERT_TRUE(MakePicture(one + "a.jpg", 10, 20)); // a PNG named .jpg: decoded by content
        ASSERT_TRUE(MakePicture(one + "B.JPEG", 30, 40));
        ASSERT_TRUE(MakePicture(one + "c.Bmp", 50, 60));
        ASSERT_TRUE(MakePicture(one + "d.GIF", 7, 8));
        ASSERT_TRUE(MakePicture(one + "e.png", 9, 11));
        ASSERT_TRUE(MakePicture(one + "Sub/x.png", 5, 5));
        for (const char* name : {"notes.txt", "f.jpgx", "noext"})
            ASSERT_TRUE(MakeFile(one + name));
        ASSERT_TRUE(MakePicture(two + "a.jpg", 12, 13));
        ASSERT_TRUE(MakePicture(two + wideName, 3, 3));

        CFolderTree::SEnvironment environment;
        environment.drives = [this] { return std::vector<SDrive>{{root, EDriveType::Fixed}}; };
        environment.desktopFolder = [] { return QString(); };
        environment.volumeId = [](const QString&) { return std::optional<int64_t>(1); };
        page.GetFolderTree()->SetEnvironment(std::move(environment));
        page.GetFolderTree()->InitFolderTree();
        page.resize(700, 420);
        page.show();
        page.GetPreview()->FinishResize();
    }

    void Browse(const QString& folder) {
        ASSERT_TRUE(page.GetFolderTree()->SelectFolderPath(folder, true));
        ASSERT_EQ(page.GetFolderTree()->GetFolderPath(), folder);
    }

    CExtentListBox* Files() { return page.GetFileList(); }
    CFileDropListBox* Selected() { return page.GetSelectedList(); }
    CImageViewer* Preview() { return page.GetPreview(); }

    void Key(QWidget* focus, int key, Qt::KeyboardModifiers modifiers = {}) {
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key(key), modifiers);
    }

    QTemporaryDir dir;
    QString root, one, two;
    const QString wideName = "wide-file-name-that-is-much-wider-than-the-others.png";
    CInputPage page;
};

} // namespace

TEST_F(InputPageTest, ControlsComeFromTheTemplateWithTheirClasses) {
    for (int id : {IDC_IN_TREE, IDC_IN_FILE_LIST, IDC_IN_SELECTED_LIST, IDC_IN_PREVIEW,
                   IDC_IN_PREVIEW_CHECK, IDC_IN_WIDTH_LABEL, IDC_IN_HEIGHT_LABEL})
        EXPECT_NE(GetDlgItem(&page, id), nullptr) << id;
    EXPECT_EQ(GetDlgItemAs<CFolderTree>(&page, IDC_IN_TREE), page.GetFolderTree());
    EXPECT_TRUE(Files()->IsSorted());
    EXPECT_TRUE(Selected()->IsSorted());
    EXPECT_EQ(Files()->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(Selected()->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_TRUE(Selected()->viewport()->acceptDrops());
    EXPECT_TRUE(Preview()->GetFitOnResize());
    EXPECT_EQ(page.GetToolTips()->GetMaxTipWidth(), 80);
    EXPECT_TRUE(page.GetToolTips()->IsActive());
    EXPECT_EQ(page.GetToolTips()->GetText(page.GetFolderTree()), "Choose Source Directory");
    EXPECT_EQ(page.GetToolTips()->GetText(Preview()), "This is the Preview Window");
    const struct {
        int id;
        QSize icon;
    } buttons[] = {{IDC_IN_ADD_ALL, {20, 18}},
                   {IDC_IN_ADD_SELECTED, {17, 17}},
                   {IDC_IN_REMOVE_ALL, {20, 18}},
                   {IDC_IN_REMOVE_SELECTED, {17, 17}}};
    for (const auto& b : buttons) {
        auto* button = GetDlgItemAs<CImageButton>(&page, b.id);
        ASSERT_NE(button, nullptr) << b.id;
        EXPECT_TRUE(button->HasIcon()) << b.id;
        EXPECT_EQ(button->GetImageSize(), b.icon) << b.id;
        EXPECT_FALSE(button->IsAutomaticLayout()) << b.id;
    }
}

// The four columns take a quarter of the growth each; the buttons stay under their lists.
TEST_F(InputPageTest, GrowingThePageSharesTheWidthInQuarters) {
    const QRect tree = page.GetFolderTree()->geometry();
    const QRect files = Files()->geometry();
    const QRect preview = Preview()->geometry();
    const QRect addAll = GetDlgItem(&page, IDC_IN_ADD_ALL)->geometry();
    page.resize(page.width() + 400, page.height() + 200);
    EXPECT_EQ(page.GetFolderTree()->geometry().width(), tree.width() + 100);
    EXPECT_EQ(page.GetFolderTree()->geometry().height(), tree.height() + 200);
    EXPECT_EQ(Files()->geometry().left(), files.left() + 100);
    EXPECT_EQ(Preview()->geometry().left(), preview.left() + 300);
    EXPECT_EQ(Preview()->geometry().height(), preview.height() + 50);
    EXPECT_EQ(GetDlgItem(&page, IDC_IN_ADD_ALL)->geometry().top(), addAll.top() + 200);
}

TEST_F(InputPageTest, RefillListsThePicturesOfTheFolderInAnyCaseSortedIgnoringCase) {
    Browse(one);
    EXPECT_EQ(Texts(Files()), QStringList({"a.jpg", "B.JPEG", "c.Bmp", "d.GIF", "e.png"}));
    Browse(two);
    EXPECT_EQ(Texts(Files()), QStringList({"a.jpg", wideName}));

    // F5 reads the folder again; the tree does not follow files.
    ASSERT_TRUE(MakePicture(two + "Zz.PNG", 2, 2));
    ASSERT_TRUE(MakePicture(two + "b.gif", 2, 2));
    EXPECT_EQ(Files()->count(), 2);
    Key(Files(), Qt::Key_F5);
    EXPECT_EQ(Texts(Files()), QStringList({"a.jpg", "b.gif", wideName, "Zz.PNG"}));

    // A folder that vanished leaves the list empty.
    ASSERT_TRUE(QDir(two).removeRecursively());
    page.RefillFileList();
    EXPECT_EQ(Files()->count(), 0);
}

TEST_F(InputPageTest, AddSelectedTwiceAddsOnceAndTheSameNameFromTwoFoldersTwice) {
    Browse(one);
    SelectRows(Files(), {0, 2});
    page.AddSelectedFiles();
    page.AddSelectedFiles();
    EXPECT_EQ(page.GetSelectedFiles(), QStringList({one + "a.jpg", one + "c.Bmp"}));

    Browse(two);
    SelectRows(Files(), {0});
    page.AddSelectedFiles();
    EXPECT_EQ(page.GetSelectedFiles(), QStringList({one + "a.jpg", one + "c.Bmp", two + "a.jpg"}));

    // "add all" skips what is there already.
    Browse(one);
    page.AddAllFiles();
    page.AddAllFiles();
    EXPECT_EQ(page.GetSelectedFiles(), QStringList({one + "a.jpg", one + "B.JPEG", one + "c.Bmp",
                                                    one + "d.GIF", one + "e.png", two + "a.jpg"}));
    page.RemoveAllFiles();
    EXPECT_EQ(Selected()->count(), 0);
    EXPECT_EQ(Selected()->GetHorizontalExtent(), 0);
}

TEST_F(InputPageTest, Drops) {
    const struct {
        const char* name;
        QStringList dropped;
        QStringList expected;
    } cases[] = {
        {"a file twice is listed twice",
         {one + "a.jpg", one + "a.jpg"},
         {one + "a.jpg", one + "a.jpg"}},
        {"a folder twice adds its pictures once, not those of its subfolders",
         {one, one.chopped(1)},
         {one + "a.jpg", one + "B.JPEG", one + "c.Bmp", one + "d.GIF", one + "e.png"}},
        {"capital extension accepted, text file and unknown path ignored",
         {two + "PHOTO.JPEG", one + "notes.txt", one + "f.jpgx", root + "missing/"},
         {two + "PHOTO.JPEG"}},
        {"a folder named like a picture is a folder", {one + "h.jpg"}, {}},
    };
    ASSERT_TRUE(MakePicture(two + "PHOTO.JPEG", 4, 4));
    for (const auto& c : cases) {
        Selected()->ResetContent();
        Selected()->DropFiles(c.dropped);
        EXPECT_EQ(Selected()->GetAllTexts(), c.expected) << c.name;
    }

    // A folder dropped after one of its files was added keeps that file once.
    Selected()->ResetContent();
    Selected()->DropFiles({one + "e.png", one});
    EXPECT_EQ(Selected()->GetAllTexts().count(one + "e.png"), 1);
}

// Through Qt's drop event, as from a file manager: local files only, copied.
TEST_F(InputPageTest, DropEventTakesLocalFilesAndFolders) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(two + "a.jpg"), QUrl::fromLocalFile(one + "Sub"),
                  QUrl("https://example.org/x.png")});
    const QPoint at = Selected()->viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(Selected()->viewport(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(Selected()->viewport(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(drop.dropAction(), Qt::CopyAction);
    EXPECT_EQ(Selected()->GetAllTexts(), QStringList({one + "Sub/x.png", two + "a.jpg"}));

    QMimeData text;
    text.setText("plain text");
    QDragEnterEvent refused(at, Qt::CopyAction, &text, Qt::LeftButton, {});
    QApplication::sendEvent(Selected()->viewport(), &refused);
    EXPECT_FALSE(refused.isAccepted());
}

TEST_F(InputPageTest, RemoveSelectedOfTheWidestShrinksTheExtentOnce) {
    Browse(two);
    page.AddAllFiles();
    Browse(one);
    page.AddAllFiles();
    const int wide = Selected()->GetHorizontalExtent();
    const int row = Selected()->GetAllTexts().indexOf(two + wideName);
    ASSERT_EQ(row, 6);

    // Nothing selected: nothing changes.
    Selected()->clearSelection();
    page.RemoveSelectedFiles();
    EXPECT_EQ(Selected()->count(), 7);

    SelectRows(Selected(), {1, 3, row});
    const QStringList before = Selected()->GetAllTexts();
    page.RemoveSelectedFiles();
    QStringList expected = before;
    expected.removeAt(row);
    expected.removeAt(3);
    expected.removeAt(1);
    EXPECT_EQ(Selected()->GetAllTexts(), expected);
    int widest = 0;
    for (const QString& text : expected)
        widest = qMax(widest, Selected()->MeasureItem(text));
    EXPECT_LT(Selected()->GetHorizontalExtent(), wide);
    EXPECT_EQ(Selected()->GetHorizontalExtent(), widest);
}

TEST_F(InputPageTest, PreviewShowsTheCaretEntryWhenSelectedElseTheFirstSelected) {
    page.SetPreviewChecked(true);
    Browse(one);
    const struct {
        QList<int> rows;
        int caret;
        const char* width;
        const char* height;
    } cases[] = {
        {{1}, -1, "width: 30 pixels", "height: 40 pixels"},
        {{0, 2}, 2, "width: 50 pixels", "height: 60 pixels"},
        {{0, 2}, 1, "width: 10 pixels", "height: 20 pixels"}, // caret on an unselected row
        {{1, 2}, 1, "width: 30 pixels", "height: 40 pixels"},
    };
    for (const auto& c : cases) {
        SelectRows(Files(), c.rows, c.caret);
        EXPECT_TRUE(Preview()->IsLoaded());
        EXPECT_EQ(page.GetWidthLabelText(), c.width);
        EXPECT_EQ(page.GetHeightLabelText(), c.height);
    }

    // The selected-files list holds full paths.
    Selected()->DropFiles({two + "a.jpg"});
    SelectRows(Selected(), {0});
    EXPECT_EQ(page.GetWidthLabelText(), "width: 12 pixels");
    EXPECT_EQ(Preview()->GetPicture().GetHeight(), 13);
}

// Browsing on past a broken file: its message shows in the preview area, no box stops the
// user, and the next good file shows as usual.
TEST_F(InputPageTest, APictureThatCannotBeDecodedShowsItsErrorInThePreview) {
    page.SetPreviewChecked(true);
    Browse(one);
    const auto click = [this](int row) {
        QTest::mouseClick(Files()->viewport(), Qt::LeftButton, {},
                          Files()->visualItemRect(Files()->item(row)).center());
    };
    click(1);
    ASSERT_TRUE(Preview()->IsLoaded());
    QFile broken(one + "B.JPEG");
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
    broken.write("not a picture at all");
    broken.close();
    CMessageBoxRecorder boxes;
    click(0);
    click(1);
    EXPECT_FALSE(Preview()->IsLoaded());
    EXPECT_EQ(page.GetWidthLabelText(), "");
    EXPECT_EQ(page.GetHeightLabelText(), "");
    EXPECT_TRUE(boxes.GetRecords().empty());
    EXPECT_EQ(Preview()->GetErrorText(), "Decoder error: Unknown file type.");
    // The message is drawn: the area is no longer one flat colour.
    const QImage shown = Preview()->grab().toImage();
    EXPECT_NE(shown.pixelColor(shown.width() / 2, shown.height() / 2), shown.pixelColor(3, 3));
    EXPECT_EQ(Files()->count(), 5); // the lists stay as they are

    click(2);
    EXPECT_TRUE(Preview()->IsLoaded());
    EXPECT_TRUE(Preview()->GetErrorText().isEmpty());
    EXPECT_EQ(page.GetWidthLabelText(), "width: 50 pixels");
}

// A big picture is previewed from a reduced decode; the labels tell the file's size and a
// copy takes the whole picture.
TEST_F(InputPageTest, BigPicturesArePreviewedReducedWithTheirOwnSize) {
    page.SetPreviewChecked(true);
    QImage big(2400, 1800, QImage::Format_RGB32);
    big.fill(QColor(200, 40, 40));
    ASSERT_TRUE(big.save(two + "big.png", "PNG"));
    Browse(two);
    const int row = Texts(Files()).indexOf("big.png");
    ASSERT_GE(row, 0);
    SelectRows(Files(), {row});
    ASSERT_TRUE(Preview()->IsLoaded());
    EXPECT_TRUE(Preview()->IsReduced());
    EXPECT_LE(Preview()->GetPicture().GetWidth(), 2400 / 4);
    EXPECT_GE(Preview()->GetPicture().GetWidth(), Preview()->width() - 2);
    EXPECT_EQ(page.GetWidthLabelText(), "width: 2400 pixels");
    EXPECT_EQ(page.GetHeightLabelText(), "height: 1800 pixels");
    // A window grown past the decode reads the file again, as much as it now shows.
    const int before = Preview()->GetPicture().GetWidth();
    Preview()->resize(before + 10, Preview()->height());
    Preview()->FinishResize();
    EXPECT_EQ(Preview()->GetPicture().GetWidth(), before);
    Preview()->resize(1000, 900);
    Preview()->FinishResize();
    EXPECT_EQ(Preview()->GetPicture().GetWidth(), 1200);
    EXPECT_TRUE(Preview()->IsReduced());
    Key(Preview(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(2400, 1800));
}

// Both lists say how many entries they hold, whatever changed them.
TEST_F(InputPageTest, ListLabelsCountTheirEntries) {
    const auto settle = [] { QCoreApplication::processEvents(); };
    settle();
    EXPECT_EQ(page.GetFilesLabelText(), "files (0)");
    EXPECT_EQ(page.GetSelectedLabelText(), "selected files (0)");
    Browse(one);
    settle();
    EXPECT_EQ(page.GetFilesLabelText(), "files (5)");
    QTest::mouseClick(GetDlgItem(&page, IDC_IN_ADD_ALL), Qt::LeftButton);
    settle();
    EXPECT_EQ(page.GetSelectedLabelText(), "selected files (5)");
    Selected()->DropFiles({two + "a.jpg"});
    settle();
    EXPECT_EQ(page.GetSelectedLabelText(), "selected files (6)");
    SelectRows(Selected(), {0, 1});
    QTest::mouseClick(GetDlgItem(&page, IDC_IN_REMOVE_SELECTED), Qt::LeftButton);
    settle();
    EXPECT_EQ(page.GetSelectedLabelText(), "selected files (4)");
    Browse(two);
    settle();
    EXPECT_EQ(page.GetFilesLabelText(), "files (2)");
    QTest::mouseClick(GetDlgItem(&page, IDC_IN_REMOVE_ALL), Qt::LeftButton);
    settle();
    EXPECT_EQ(page.GetSelectedLabelText(), "selected files (0)");
}

TEST_F(InputPageTest, PreviewSwitch) {
    Browse(one);
    Selected()->DropFiles({two + "a.jpg"});
    auto click = [this] { QTest::mouseClick(page.GetPreviewCheck(), Qt::LeftButton); };

    // Off: selections preview nothing.
    ASSERT_FALSE(page.IsPreviewChecked());
    SelectRows(Files(), {2});
    EXPECT_FALSE(Preview()->IsLoaded());
    EXPECT_EQ(page.GetWidthLabelText(), "");

    // On: the file list's entry.
    click();
    ASSERT_TRUE(page.IsPreviewChecked());
    EXPECT_TRUE(Preview()->IsLoaded());
    EXPECT_EQ(page.GetWidthLabelText(), "width: 50 pixels");

    // Off again: viewer and labels emptied.
    click();
    EXPECT_FALSE(Preview()->IsLoaded());
    EXPECT_EQ(page.GetWidthLabelText(), "");
    EXPECT_EQ(page.GetHeightLabelText(), "");

    // On with no selection in the file list: the selected-files list's entry.
    Files()->clearSelection();
    SelectRows(Selected(), {0});
    EXPECT_FALSE(Preview()->IsLoaded());
    click();
    EXPECT_EQ(page.GetWidthLabelText(), "width: 12 pixels");

    // On with no selection anywhere: nothing.
    click();
    Selected()->clearSelection();
    click();
    EXPECT_FALSE(Preview()->IsLoaded());
}

TEST_F(InputPageTest, CtrlASelectsAllOfTheFocusedListWithoutPreview) {
    page.SetPreviewChecked(true);
    Browse(one);
    SelectRows(Files(), {1});
    ASSERT_EQ(page.GetWidthLabelText(), "width: 30 pixels");
    Key(Files(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(Files()->selectedItems().size(), 5);
    EXPECT_EQ(page.GetWidthLabelText(), "width: 30 pixels");
    EXPECT_EQ(Selected()->selectedItems().size(), 0);

    Selected()->DropFiles({two + "a.jpg"});
    Key(Selected(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(Selected()->selectedItems().size(), 1);
    EXPECT_EQ(page.GetWidthLabelText(), "width: 30 pixels");

    // In the tree: nothing selected anywhere else.
    Files()->clearSelection();
    Key(page.GetFolderTree(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(Files()->selectedItems().size(), 0);
}

TEST_F(InputPageTest, CtrlCCopiesThePreviewOnlyWhenItHasTheFocusAndCtrlVDoesNothing) {
    page.SetPreviewChecked(true);
    Browse(one);
    SelectRows(Files(), {2});
    ASSERT_TRUE(Preview()->IsLoaded());
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText("before");

    Key(Files(), Qt::Key_C, Qt::ControlModifier); // not even the entry's text
    EXPECT_EQ(clipboard->text(), "before");
    EXPECT_TRUE(clipboard->image().isNull());

    Key(Preview(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->image().size(), QSize(50, 60));

    // The popup's "&copy" does the same.
    clipboard->setText("again");
    page.OnCommand(ID_POPUP_COPY);
    EXPECT_EQ(clipboard->image().size(), QSize(50, 60));

    const QStringList files = Texts(Files());
    Selected()->DropFiles({two + "a.jpg"});
    for (QWidget* focus : {static_cast<QWidget*>(Files()), static_cast<QWidget*>(Selected()),
                           static_cast<QWidget*>(Preview())})
        Key(focus, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Texts(Files()), files);
    EXPECT_EQ(Selected()->GetAllTexts(), QStringList({two + "a.jpg"}));
    EXPECT_EQ(Preview()->GetPicture().GetWidth(), 50);
    EXPECT_EQ(page.GetWidthLabelText(), "width: 50 pixels");
}

TEST_F(InputPageTest, TabInTheTreeGoesToTheTabControlAndPressesCheckTheSplash) {
    CFakeHost host;
    QWidget tabs;
    tabs.setFocusPolicy(Qt::StrongFocus);
    tabs.show();
    host.tabs = &tabs;
    Key(page.GetFolderTree(), Qt::Key_Tab);
    EXPECT_EQ(tabs.window()->focusWidget(), &tabs);
    EXPECT_GE(host.splashChecks, 1);

    // Elsewhere Tab goes its usual way.
    tabs.clearFocus();
    Key(Files(), Qt::Key_Tab);
    EXPECT_NE(tabs.window()->focusWidget(), &tabs);
}

// A message box over the page is a window of its own: the page's keys are not its keys.
TEST_F(InputPageTest, KeysInAMessageBoxOverThePageAreTheBoxs) {
    Browse(one);
    const QStringList files = Texts(Files());
    ASSERT_TRUE(MakePicture(one + "late.png", 4, 4));
    QMessageBox box(QMessageBox::Warning, "quillmark", "something to copy", QMessageBox::Ok, &page);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    QWidget* focus = box.focusWidget() ? box.focusWidget() : &box;
    auto* label = box.findChild<QLabel*>("qt_msgbox_label");
    ASSERT_NE(label, nullptr);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText("before");
    QTest::keyClick(label, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(label, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(clipboard->text(), "something to copy") << "the box's text is selected and copied";
    QTest::keyClick(focus, Qt::Key_F5);
    EXPECT_EQ(Texts(Files()), files) << "F5 in the box does not refresh the page";
    Key(Files(), Qt::Key_F5);
    EXPECT_EQ(Texts(Files()).size(), files.size() + 1) << "F5 on the page still does";
}

// QM_SCREENSHOT_DIR=dir: the page browsing a folder of real photographs, preview on.
TEST_F(InputPageTest, Screenshot) {
    const QString target = qEnvironmentVariable("QM_SCREENSHOT_DIR");
    if (target.isEmpty())
        GTEST_SKIP() << "set QM_SCREENSHOT_DIR to a folder";
    const QString photos =
        QDir::cleanPath(QStringLiteral(QM_TESTDATA_DIR "/jpeg/libjpeg-turbo")) + "/";
    CInputPage real;
    CFolderTree::SEnvironment environment;
    environment.drives = [] { return std::vector<SDrive>{{"/", EDriveType::Fixed}}; };
    environment.desktopFolder = [] { return QString(); };
    real.GetFolderTree()->SetEnvironment(std::move(environment));
    real.GetFolderTree()->InitFolderTree();
    real.resize(900, 560);
    real.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&real));
    ASSERT_TRUE(real.GetFolderTree()->SelectFolderPath(photos, true));
    real.SetPreviewChecked(true);
    real.GetFileList()->setFocus();
    SelectRows(real.GetFileList(), {real.GetFileList()->count() - 1});
    real.AddAllFiles();
    real.GetSelectedList()->DropFiles(
        {QDir::cleanPath(QStringLiteral(QM_TESTDATA_DIR "/pngsuite"))});
    real.GetPreview()->FinishResize();
    real.GetPreview()->PaintPicture();
    QTest::qWait(100);
    QDir().mkpath(target);
    EXPECT_TRUE(real.grab().save(target + "/input-page.png"));
}
