#include "controls/controlfactories.h"
#include "controls/resizedialog.h"
#include "controls/windowplacement.h"
#include "platform/dialogbuilder.h"
#include "platform/dialogunits.h"
#include "platform/profile.h"
#include "qtapp.h"
#include "resources/resource.h"

#include <QSizeGrip>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class CTestPage : public CResizePropertyPage {
public:
    explicit CTestPage(QWidget* parent) : CResizePropertyPage(parent) {
        CDialogBuilder builder(*FindDialogTemplate(IDD_POSITION_PAGE));
        UseCommonControls(builder);
        InitFromTemplate(builder);
        AddAnchor(IDC_POS_STAMP_GROUP, 0, 0, 1, 0);
        AddAnchor(IDC_POS_STAMP_VIEW, 0, 0, 0.5f, 0);
        AddAnchor(IDC_POS_OPEN_STAMP, 1, 0, 1, 0);
        AddAnchor(IDC_POS_STAMPED_VIEW, 0, 0, 0.5f, 1);
        AddAnchor(IDC_POS_OPEN_SAMPLE, 0.5f, 0.5f, 0.5f, 0.5f);
        AddAnchor(4711, 1, 1, 1, 1); // no such control: nothing
    }
};

class CTestDialog : public CResizeDialog {
public:
    CTestDialog() {
        InitFromTemplate(CDialogBuilder(*FindDialogTemplate(IDD_MAIN_DIALOG)));
        AddAnchor(IDC_MAIN_TAB, 0, 0, 1, 1);
    }
};

// Points the profile at a folder of its own for the test's lifetime.
class CTempProfile {
public:
    CTempProfile() : m_previous(qgetenv("XDG_CONFIG_HOME")) {
        qputenv("XDG_CONFIG_HOME", m_dir.path().toUtf8());
    }
    ~CTempProfile() { qputenv("XDG_CONFIG_HOME", m_previous); }

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
};

} // namespace

TEST(ResizeLayout, ResizedPageMovesAnchoredControlsAsComputed) {
    TestApplication();
    QWidget tabs; // pages live inside the main window's tab control
    CTestPage page(&tabs);
    tabs.show(); // hidden widgets get their resize events only when shown
    const QRect view = GetDlgItem(&page, IDC_POS_STAMP_VIEW)->geometry();
    const QRect button = GetDlgItem(&page, IDC_POS_OPEN_STAMP)->geometry();
    const QRect stamped = GetDlgItem(&page, IDC_POS_STAMPED_VIEW)->geometry();
    const QRect sample = GetDlgItem(&page, IDC_POS_OPEN_SAMPLE)->geometry();
    const QRect label = GetDlgItem(&page, IDC_POS_SAMPLE_LABEL)->geometry();
    EXPECT_EQ(page.GetLayout().GetAnchors().GetRecords().size(), 5u); // pages have no grip
    EXPECT_EQ(GetDlgItem(&page, CResizeLayout::kSizeGripId), nullptr);

    page.resize(page.size() + QSize(101, 40));
    EXPECT_EQ(GetDlgItem(&page, IDC_POS_STAMP_VIEW)->geometry(), view.adjusted(0, 0, 50, 0));
    EXPECT_EQ(GetDlgItem(&page, IDC_POS_OPEN_STAMP)->geometry(), button.translated(101, 0));
    EXPECT_EQ(GetDlgItem(&page, IDC_POS_STAMPED_VIEW)->geometry(), stamped.adjusted(0, 0, 50, 40));
    EXPECT_EQ(GetDlgItem(&page, IDC_POS_OPEN_SAMPLE)->geometry(), sample.translated(50, 20));
    EXPECT_EQ(GetDlgItem(&page, IDC_POS_SAMPLE_LABEL)->geometry(), label); // not anchored
    // A second step of 1 pixel completes the half pixel: 50.5 + 0.5 = 51.
    page.resize(page.size() + QSize(1, 0));
    EXPECT_EQ(GetDlgItem(&page, IDC_POS_OPEN_SAMPLE)->x(), sample.x() + 51);
    // A page is sized by its parent and keeps no minimum.
    page.resize(100, 100);
    EXPECT_EQ(page.size(), QSize(100, 100));
}

TEST(ResizeLayout, DialogHasAMinimumAndAGripInTheCorner) {
    TestApplication();
    CTestDialog dialog;
    dialog.show();
    const QSize initial = dialog.size();
    EXPECT_EQ(dialog.minimumSize(), initial);
    auto* grip = qobject_cast<QSizeGrip*>(GetDlgItem(&dialog, CResizeLayout::kSizeGripId));
    ASSERT_NE(grip, nullptr);
    for (const QSize grow : {QSize(50, 30), QSize(3, 3), QSize(120, 0)}) {
        dialog.resize(dialog.size() + grow);
        EXPECT_EQ(grip->geometry().bottomRight(), dialog.rect().bottomRight());
    }
    EXPECT_EQ(GetDlgItem(&dialog, IDC_MAIN_TAB)->size(),
              CDialogUnits::ForWidget(&dialog).ToPixels(0, 0, 399, 250).size() +
                  (dialog.size() - initial));
    dialog.resize(initial - QSize(50, 50));
    EXPECT_EQ(dialog.size(), initial); // refused by the minimum size
}

TEST(ResizeLayout, PlacementRoundTripAndWrongLengthIgnored) {
    TestApplication();
    CTempProfile profile;
    const QString section = "SOFTWARE\\quillmark";
    {
        CTestDialog dialog;
        dialog.setGeometry(40, 50, dialog.width() + 30, dialog.height() + 20);
        EXPECT_TRUE(dialog.GetLayout().SaveWindowPlacement(section));
    }
    QByteArray stored;
    ASSERT_TRUE(GetProfileBinary(section, "WindowPlacement", &stored));
    EXPECT_EQ(stored.size(), 44);
    {
        CTestDialog dialog;
        const QSize templateSize = dialog.size();
        EXPECT_TRUE(dialog.GetLayout().LoadWindowPlacement(section));
        EXPECT_EQ(dialog.geometry(),
                  QRect(40, 50, templateSize.width() + 30, templateSize.height() + 20));
    }
    ASSERT_TRUE(WriteProfileBinary(section, "WindowPlacement", stored.left(43)));
    {
        CTestDialog dialog;
        const QRect before = dialog.geometry();
        EXPECT_FALSE(dialog.GetLayout().LoadWindowPlacement(section));
        EXPECT_EQ(dialog.geometry(), before);
    }
}
