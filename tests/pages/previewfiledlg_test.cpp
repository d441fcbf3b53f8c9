#include "pages/position/previewfiledlg.h"

#include "core/checkerboard.h"
#include "pages/position/positionpage.h"
#include "pages/position/previewstatic.h"
#include "qtestapp.h"

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QString WritePng(const QTemporaryDir& dir, const char* name, int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(qRgb(200, 40, 40));
    const QString path = dir.filePath(name);
    image.save(path, "PNG");
    return path;
}

struct PreviewDialogTest : testing::Test {
    PreviewDialogTest() : dialog(true, {}, {}, CPositionPage::kOpenFilter) { TestApp(); }
    QTemporaryDir dir;
    CPreviewFileDlg dialog;
};

} // namespace

TEST_F(PreviewDialogTest, HasTheChildAreaAndTheFilters) {
    ASSERT_TRUE(dialog.GetPreview());
    ASSERT_TRUE(dialog.GetPreviewCheck());
    EXPECT_TRUE(dialog.GetPreviewCheck()->isChecked());
    EXPECT_EQ(dialog.GetPreviewCheck()->text(), "&Preview");
    EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
    const QStringList filters = dialog.nameFilters();
    ASSERT_EQ(filters.size(), 10);
    // What the filter box shows is the description as written.
    auto* box = dialog.findChild<QComboBox*>("fileTypeCombo");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->itemText(0), "all supported files (*.bmp;*.jpg;*.jpeg;*.gif;*.png;*.webp;"
                                "*.avif;*.heic;*.heif;*.tif;*.tiff)");
    EXPECT_EQ(box->itemText(2), "jpegs (*.jpg;*.jpeg)");
    EXPECT_EQ(box->itemText(7), "heics (*.heic;*.heif)");
    EXPECT_EQ(box->itemText(9), "All Files (*.*)");
}

TEST_F(PreviewDialogTest, AllFilesShowsNamesWithoutAnExtension) {
    WritePng(dir, "picture", 4, 4);
    WritePng(dir, "b.png", 4, 4);
    dialog.setDirectory(dir.path());
    dialog.selectNameFilter(dialog.nameFilters().last());
    auto* view = dialog.findChild<QListView*>("listView");
    ASSERT_TRUE(view);
    auto shown = [&] {
        QStringList names;
        const QModelIndex root = view->rootIndex();
        for (int row = 0; row < view->model()->rowCount(root); ++row)
            names << view->model()->index(row, 0, root).data().toString();
        names.sort();
        return names;
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return shown().size() == 2; }, 3000));
    EXPECT_EQ(shown(), (QStringList{"b.png", "picture"}));
    auto* box = dialog.findChild<QComboBox*>("fileTypeCombo");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->currentText(), "All Files (*.*)");
}

TEST_F(PreviewDialogTest, PreviewFollowsTheSelection) {
    const QString small = WritePng(dir, "small.png", 40, 30);
    const QString big = WritePng(dir, "big.png", 400, 300);
    dialog.OnFileNameChange(small);
    EXPECT_TRUE(dialog.GetPreview()->IsLoaded());
    EXPECT_EQ(dialog.GetWidthText(), "width: 40 pixels");
    EXPECT_EQ(dialog.GetHeightText(), "height: 30 pixels");
    EXPECT_EQ(dialog.GetPreview()->GetDecodeCount(), 1);
    dialog.OnFileNameChange(small); // the same path is not decoded again
    EXPECT_EQ(dialog.GetPreview()->GetDecodeCount(), 1);
    dialog.OnFileNameChange(big);
    EXPECT_EQ(dialog.GetWidthText(), "width: 400 pixels");

    // A clear picture shows on the checkerboard, not black.
    QImage clear(40, 30, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    ASSERT_TRUE(clear.save(dir.filePath("clear.png"), "PNG"));
    dialog.OnFileNameChange(dir.filePath("clear.png"));
    const QImage shown = dialog.GetPreview()->grab().toImage();
    const QRgb centre = shown.pixel(shown.rect().center()) & 0xFFFFFFu;
    EXPECT_TRUE(centre == kCheckerLight || centre == kCheckerDark) << std::hex << centre;

    dialog.OnFileNameChange(dir.path()); // a folder
    EXPECT_FALSE(dialog.GetPreview()->IsLoaded());
    EXPECT_EQ(dialog.GetWidthText(), "");
    EXPECT_EQ(dialog.GetHeightText(), "");

    QFile junk(dir.filePath("junk.gif"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("GIF89a\x01");
    junk.close();
    dialog.OnFileNameChange(junk.fileName());
    EXPECT_FALSE(dialog.GetPreview()->IsLoaded());
    EXPECT_EQ(dialog.GetWidthText(), "");
}

TEST_F(PreviewDialogTest, CheckBoxSwitchesThePreview) {
    const QString small = WritePng(dir, "small.png", 40, 30);
    const QString big = WritePng(dir, "big.png", 400, 300);
    dialog.OnFileNameChange(small);
    QTest::mouseClick(dialog.GetPreviewCheck(), Qt::LeftButton);
    EXPECT_FALSE(dialog.IsPreviewOn());
    EXPECT_FALSE(dialog.GetPreview()->IsLoaded());
    EXPECT_EQ(dialog.GetWidthText(), "");
    const int decodes = dialog.GetPreview()->GetDecodeCount();
    dialog.OnFileNameChange(big); // off: nothing decoded, labels stay empty
    EXPECT_EQ(dialog.GetPreview()->GetDecodeCount(), decodes);
    EXPECT_EQ(dialog.GetWidthText(), "");
    QTest::mouseClick(dialog.GetPreviewCheck(), Qt::LeftButton);
    EXPECT_TRUE(dialog.IsPreviewOn());
    EXPECT_TRUE(dialog.GetPreviewCheck()->isChecked());
    EXPECT_EQ(dialog.GetWidthText(), "width: 400 pixels");
}
