// The window from the keyboard and its ways out, as a user meets them: Tab through every
// page, and values typed just before leaving.
#include "app/closesignals.h"
#include "imagelib/jpegencoder.h"
#include "pages/input/inputpage.h"
#include "pages/output/outputpage.h"
#include "pages/position/imageviewer.h"
#include "pages/position/positionpage.h"
#include "platform/messagebox.h"
#include "platform/tabcontrol.h"
#include "realwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QLineEdit>
#include <QListWidget>
#include <QSlider>
#include <QTabBar>

#include <csignal>
#include <set>

namespace {

class WindowKeys : public RealWindowTest {};

// The page's control that holds w.
QWidget* ControlOf(QWidget* page, QWidget* w) {
    while (w && w->parentWidget() != page)
        w = w->parentWidget();
    return w;
}

std::vector<int> Ids(const std::vector<QWidget*>& controls) {
    std::vector<int> ids;
    for (const QWidget* w : controls)
        ids.push_back(GetDlgCtrlID(w));
    return ids;
}

// The buttons of start's group that the arrow keys reach, going on from each button
// reached. Each move checks the button it lands on. The group ends as it began: start
// checked (by a click) and focused.
std::set<QAbstractButton*> ReachedByArrows(QAbstractButton* start) {
    std::set<QAbstractButton*> seen{start};
    std::vector<QAbstractButton*> todo{start};
    while (!todo.empty()) {
        QAbstractButton* from = todo.back();
        todo.pop_back();
        for (const Qt::Key key : {Qt::Key_Right, Qt::Key_Left, Qt::Key_Down, Qt::Key_Up}) {
            from->setChecked(true);
            from->setFocus(Qt::TabFocusReason);
            QTest::keyClick(from, key);
            auto* now = qobject_cast<QAbstractButton*>(QApplication::focusWidget());
            if (now == from)
                continue;
            EXPECT_TRUE(now && now->group() == from->group()) << "the arrows stay in the group";
            if (!now || now->group() != from->group())
                continue;
            EXPECT_TRUE(now->isChecked()) << GetDlgCtrlID(now);
            if (seen.insert(now).second)
                todo.push_back(now);
        }
    }
    QTest::mouseClick(start, Qt::LeftButton);
    start->setFocus(Qt::TabFocusReason);
    return seen;
}

} // namespace

// From the tab strip, Tab reaches every enabled control of the page shown once, in
// template order, and then the strip again; Shift+Tab the same backwards. A group of
// radio buttons (the formats, the nine positions) is one stop, its checked button, from
// which the arrow keys reach each of its buttons.
TEST_F(WindowKeys, TabAndShiftTabGoRoundEveryEnabledControlOfEachPageOnce) {
    const auto dialog = Open(nullptr);
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    QTabBar* bar = dialog->GetTabs()->GetTabBar();
    const int templates[] = {IDD_INPUT_PAGE, IDD_POSITION_PAGE, IDD_OUTPUT_PAGE};
    for (int index = 0; index < CMainPages::kCount; ++index) {
        SCOPED_TRACE(index);
        bar->setCurrentIndex(index);
        bar->setFocus();
        QWidget* page = dialog->GetPage(index);
        std::vector<QWidget*> expected;
        std::vector<const QButtonGroup*> groups;
        for (const CControlTemplate& c : *FindDialogTemplate(templates[index])) {
            QWidget* w = GetDlgItem(page, c.id);
            if (!w || !w->isEnabled() || !w->isVisibleTo(page) || w->focusPolicy() == Qt::NoFocus)
                continue;
            if (auto* button = qobject_cast<QAbstractButton*>(w); button && button->group()) {
                if (std::find(groups.begin(), groups.end(), button->group()) != groups.end())
                    continue;
                groups.push_back(button->group());
                if (button->group()->checkedButton())
                    w = button->group()->checkedButton();
            }
            expected.push_back(w);
        }
        ASSERT_GT(expected.size(), 3u);

        std::vector<QWidget*> reached;
        for (size_t step = 0; step <= expected.size(); ++step) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QWidget* focus = QApplication::focusWidget();
            if (focus == bar)
                break;
            reached.push_back(ControlOf(page, focus));
            auto* button = qobject_cast<QAbstractButton*>(focus);
            if (button && button->group()) {
                const std::set<QAbstractButton*> seen = ReachedByArrows(button);
                std::set<QAbstractButton*> enabled;
                for (QAbstractButton* b : button->group()->buttons())
                    if (b->isEnabled())
                        enabled.insert(b);
                EXPECT_EQ(seen, enabled) << "every button of the group " << GetDlgCtrlID(button);
            }
        }
        EXPECT_EQ(Ids(reached), Ids(expected));
        EXPECT_EQ(QApplication::focusWidget(), bar) << "the round ends on the tab strip";

        reached.clear();
        bar->setFocus();
        for (size_t step = 0; step <= expected.size(); ++step) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
            QWidget* focus = QApplication::focusWidget();
            if (focus == bar)
                break;
            reached.push_back(ControlOf(page, focus));
        }
        std::reverse(reached.begin(), reached.end());
        EXPECT_EQ(Ids(reached), Ids(expected)) << "Shift+Tab, read backwards";
        EXPECT_EQ(QApplication::focusWidget(), bar);
    }
}

// An offset typed and the opacity moved less than a second before the user leaves are
// what the settings keep and what a start uses, whichever way out it is.
TEST_F(WindowKeys, ValuesSetJustBeforeEveryWayOutAreTaken) {
    struct Way {
        const char* name;
        std::function<void(CMainDialog&)> leave;
        bool closes; // else the page's working values are looked at
    };
    const Way ways[] = {
        {"close box", [](CMainDialog& d) { d.close(); }, true},
        {"Alt+F4",
         [](CMainDialog& d) {
             QTest::keyClick(d.GetTabs()->GetTabBar(), Qt::Key_F4, Qt::AltModifier);
         },
         true},
        {"SIGTERM",
         [](CMainDialog& d) {
             CCloseOnSignals onSignals(&d);
             ::raise(SIGTERM);
             EXPECT_TRUE(QTest::qWaitFor([&] { return !d.isVisible(); }, 2000));
         },
         true},
        {"export",
         [](CMainDialog& d) {
             const QString path = QDir::temp().filePath("quillmark-waysout.qmc");
             d.SetFileDialogHook([path](QWidget*, bool, const QString&, const QString&,
                                        const QString&) { return std::optional<QString>(path); });
             CMessageBoxRecorder boxes;
             d.OnSysCommand(IDM_EXPORT);
             QFile::remove(path);
         },
         true},
        {"page change", [](CMainDialog& d) { d.GetTabs()->GetTabBar()->setCurrentIndex(2); },
         false},
        {"start",
         [](CMainDialog& d) {
             CMessageBoxRecorder boxes; // nothing to stamp: refused, after taking the values
             qobject_cast<COutputPage*>(d.GetPage(CMainPages::kOutput))->StartRun();
         },
         false},
    };
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        ClearUserStore();
        const auto dialog = Open(nullptr);
        dialog->GetTabs()->GetTabBar()->setCurrentIndex(1);
        auto* position = qobject_cast<CPositionPage*>(dialog->GetPage(CMainPages::kPosition));
        ASSERT_NE(position, nullptr);
        auto* offsetX = GetDlgItemAs<QLineEdit>(position, IDC_POS_OFFSET_X);
        offsetX->setFocus();
        offsetX->selectAll();
        QTest::keyClicks(offsetX, "25");
        auto* opacity = GetDlgItemAs<QSlider>(position, IDC_POS_OPACITY);
        opacity->setFocus();
        QTest::keyClick(opacity, Qt::Key_Home);
        ASSERT_TRUE(position->IsPreviewTimerPending());
        way.leave(*dialog);
        if (way.closes) {
            EXPECT_EQ(dialog->GetSettings().offsetx, 25);
            EXPECT_EQ(dialog->GetSettings().opacity, 0);
        } else {
            EXPECT_EQ(position->GetOffsetX(), 25);
            EXPECT_EQ(position->GetOpacity(), 0);
        }
    }
}

// A portrait photo (stored on its side, EXIF orientation 6) clicked in the selected files:
// the preview shows it upright with its size as displayed, and the positioning page takes
// it as its sample, upright too.
TEST_F(WindowKeys, AClickedSelectedPhotoShowsUprightAndBecomesTheSample) {
    CMemoryBitmap photo;
    photo.Create(60, 30, 32, false);
    Fill32(photo, 0xFF3070B0);
    auto exif = std::make_unique<CSavedMarker>();
    const uint8_t bytes[] = {'E',  'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0,
                             0x12, 1,   3,   0,   1, 0, 0,   0,   6,  0, 0, 0, 0, 0, 0, 0};
    exif->marker = 0xE1;
    exif->dataLength = exif->originalLength = sizeof bytes;
    exif->data = std::make_unique<uint8_t[]>(sizeof bytes);
    std::copy(std::begin(bytes), std::end(bytes), exif->data.get());
    photo.SetMarkers(std::move(exif));
    const QString path = in + "portrait.jpg";
    CJpegEncoder().EncodeFile(path.toStdString(), photo);
    WriteBmp(in + "another.bmp", 20, 10, 0xFF00FF00);

    const auto dialog = Open([&](CStampSettingsValues& s) { s.inputdir = in.toStdString(); });
    auto* input = qobject_cast<CInputPage*>(dialog->GetPage(CMainPages::kInput));
    ASSERT_NE(input, nullptr);
    input->SetPreviewChecked(true);
    input->AddAllFiles();
    auto* list = GetDlgItemAs<QListWidget>(input, IDC_IN_SELECTED_LIST);
    ASSERT_EQ(list->count(), 2);
    const QList<QListWidgetItem*> items = list->findItems(path, Qt::MatchExactly);
    ASSERT_EQ(items.size(), 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(items[0]).center());
    EXPECT_EQ(input->GetWidthLabelText(), "width: 30 pixels");
    EXPECT_EQ(input->GetHeightLabelText(), "height: 60 pixels");
    EXPECT_EQ(input->GetPreview()->GetPicture().GetWidth() * 2,
              input->GetPreview()->GetPicture().GetHeight());

    auto* position = qobject_cast<CPositionPage*>(dialog->GetPage(CMainPages::kPosition));
    dialog->GetTabs()->GetTabBar()->setCurrentIndex(CMainPages::kPosition);
    EXPECT_EQ(position->GetSamplePath(), path);
    EXPECT_EQ(position->GetSampleView()->GetPicture().GetWidth(), 30);
    EXPECT_EQ(position->GetSampleView()->GetPicture().GetHeight(), 60);
    dialog->close();
    EXPECT_EQ(dialog->GetSettings().pathsample, path.toStdString());
}
