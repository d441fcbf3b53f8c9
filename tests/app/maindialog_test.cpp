#include "app/maindialog.h"
#include "app/splashwindow.h"
#include "apptest.h"
#include "controls/windowplacement.h"
#include "job/qtsettingsstore.h"
#include "job/stampsettings.h"
#include "platform/messagebox.h"
#include "platform/resourceloader.h"
#include "platform/shell.h"
#include "platform/systemmenu.h"
#include "platform/tabcontrol.h"
#include "resources/stringtable.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QScreen>
#include <QSlider>
#include <QTabBar>
#include <QTest>
#include <QToolButton>
#include <QToolTip>

#include <gtest/gtest.h>

#include <memory>

namespace {

class MainDialog : public ::testing::Test {
protected:
    void SetUp() override { ClearUserStore(); }
    void TearDown() override { RunDeferredDeletes(); }

    // A main window initialised and shown, as the program has it.
    std::unique_ptr<CMainDialog> Open(const bool* stamping = nullptr) {
        auto dialog = std::make_unique<CMainDialog>(nullptr, TestPages(stamping));
        dialog->InitDialog();
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
        return dialog;
    }
    static QTabBar* Bar(CMainDialog& dialog) { return dialog.GetTabs()->GetTabBar(); }
};

QString PlainText(const QAction* action) {
    if (action->isSeparator())
        return QStringLiteral("-");
    QString text = action->text().remove(QLatin1Char('&'));
    return text.left(text.indexOf(QLatin1Char('\t')) < 0 ? text.size()
                                                         : text.indexOf(QLatin1Char('\t')));
}

TEST_F(MainDialog, InitialisationRunsWithTheSettingsReadAndTheGuardRaised) {
    {
        const auto settings = CQtSettingsStore::OpenApplicationSettings();
        settings->setValue("jpgquality", "42");
        settings->sync();
    }
    bool guardWhilePagesMade = false;
    int qualityWhilePagesMade = -1;
    bool hostWhilePagesMade = false;
    CMainDialog* self = nullptr;
    CMainDialog dialog(nullptr, TestPages(nullptr, [&](QWidget* parent) {
                           self = qobject_cast<CMainDialog*>(parent);
                           guardWhilePagesMade = self && self->IsApplyingSettings();
                           qualityWhilePagesMade = self ? self->GetSettings().jpgquality : -1;
                           hostWhilePagesMade = CPageHost::Get() == self;
                       }));
    EXPECT_TRUE(dialog.IsApplyingSettings()) << "raised from construction on";
    dialog.InitDialog();
    EXPECT_EQ(self, &dialog);
    EXPECT_TRUE(guardWhilePagesMade);
    EXPECT_TRUE(hostWhilePagesMade);
    EXPECT_EQ(qualityWhilePagesMade, 42) << "the store is read before the pages exist";
    EXPECT_FALSE(dialog.IsApplyingSettings()) << "lowered at the end of initialisation";
    EXPECT_EQ(dialog.GetSplashTimer(), CMainDialog::kSplashTimerId);

    // The record reached the pages, and the input page is the one shown.
    auto* quality = GetDlgItemAs<QSlider>(dialog.GetPage(CMainPages::kOutput), IDC_OUT_QUALITY);
    ASSERT_NE(quality, nullptr);
    EXPECT_EQ(quality->value(), 42);
    EXPECT_EQ(dialog.GetCurrentPage(), CMainPages::kInput);
    EXPECT_FALSE(dialog.GetPage(CMainPages::kInput)->isHidden());
    EXPECT_TRUE(dialog.GetPage(CMainPages::kPosition)->isHidden());
    EXPECT_TRUE(dialog.GetPage(CMainPages::kOutput)->isHidden());
    for (int i = 0; i < CMainPages::kCount; ++i)
        EXPECT_EQ(dialog.GetPage(i)->parentWidget(), dialog.GetTabs()) << i;
}

TEST_F(MainDialog, TabsCarryTheirTextsAndIcons) {
    const auto dialog = Open();
    const QTabBar* bar = Bar(*dialog);
    ASSERT_EQ(bar->count(), 3);
    EXPECT_EQ(bar->tabText(0), "input selection");
    EXPECT_EQ(bar->tabText(1), "positioning + settings");
    EXPECT_EQ(bar->tabText(2), "output selection");
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(bar->tabIcon(i).isNull()) << i;
    EXPECT_FALSE(dialog->windowIcon().isNull());
    EXPECT_EQ(dialog->windowTitle(), "quillmark");
}

TEST_F(MainDialog, SystemMenuHasTheProgramsItemsAboveClose) {
    const auto dialog = Open();
    const QList<QAction*> actions = dialog->GetSystemMenu()->GetMenu()->actions();
    QStringList texts;
    for (const QAction* action : actions)
        texts << PlainText(action);
    EXPECT_EQ(texts, (QStringList{"Restore", "Move", "Size", "Minimize", "Maximize", "-",
                                  "Settings", "Info about Quillmark", "Help", "-", "Close"}));
    ASSERT_EQ(actions.size(), 11);
    EXPECT_EQ(CSystemMenu::GetCommand(actions[7]), IDM_ABOUTBOX);
    EXPECT_EQ(CSystemMenu::GetCommand(actions[8]), IDM_HELP);
    const QMenu* settings = actions[6]->menu();
    ASSERT_NE(settings, nullptr);
    ASSERT_EQ(settings->actions().size(), 2);
    EXPECT_EQ(settings->actions()[0]->text(), "import");
    EXPECT_EQ(settings->actions()[1]->text(), "export");
    // The menu button sits at the right end of the tab strip.
    const QToolButton* button = dialog->GetMenuButton();
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->isVisible());
    EXPECT_GT(button->x(), Bar(*dialog)->geometry().right());
    EXPECT_EQ(button->geometry().right(), dialog->GetTabs()->width() - 3);
}

TEST_F(MainDialog, TabChangeIsRefusedWhileStamping) {
    bool stamping = true;
    const auto dialog = Open(&stamping);
    Bar(*dialog)->setCurrentIndex(2); // as a click does
    EXPECT_EQ(Bar(*dialog)->currentIndex(), 0);
    EXPECT_EQ(dialog->GetCurrentPage(), 0);
    EXPECT_FALSE(dialog->GetPage(0)->isHidden());
    EXPECT_TRUE(dialog->GetPage(2)->isHidden());

    stamping = false;
    Bar(*dialog)->setCurrentIndex(2);
    EXPECT_EQ(dialog->GetCurrentPage(), 2);
    EXPECT_TRUE(dialog->GetPage(0)->isHidden());
    EXPECT_FALSE(dialog->GetPage(2)->isHidden());

    // During a run the output page stays in front.
    stamping = true;
    QTest::mouseClick(Bar(*dialog), Qt::LeftButton, {}, Bar(*dialog)->tabRect(1).center());
    EXPECT_EQ(dialog->GetCurrentPage(), 2);
    EXPECT_FALSE(dialog->GetPage(2)->isHidden());
    EXPECT_TRUE(dialog->GetPage(1)->isHidden());
}

TEST_F(MainDialog, ImportAndExportAreRefusedWhileStamping) {
    bool stamping = true;
    const auto dialog = Open(&stamping);
    CMessageBoxRecorder boxes;
    for (const int command : {int(IDM_IMPORT), int(IDM_EXPORT)}) {
        boxes.Clear();
        dialog->OnSysCommand(command);
        ASSERT_EQ(boxes.GetRecords().size(), 1u) << command;
        EXPECT_EQ(boxes.GetRecords()[0].text, "Sorry, no import/export during stamping");
        EXPECT_EQ(boxes.GetRecords()[0].icon, CMessageIcon::Warning);
        EXPECT_EQ(boxes.GetRecords()[0].owner, dialog.get());
    }
    int dialogs = 0;
    dialog->SetFileDialogHook([&](QWidget*, bool, const QString&, const QString&,
                                  const QString&) -> std::optional<QString> {
        ++dialogs;
        return std::nullopt; // cancelled: the command ends silently
    });
    stamping = false;
    boxes.Clear();
    dialog->OnSysCommand(IDM_EXPORT);
    dialog->OnSysCommand(IDM_IMPORT);
    EXPECT_EQ(dialogs, 2);
    EXPECT_TRUE(boxes.GetRecords().empty());
}

TEST_F(MainDialog, EnterAndEscapeLeaveTheWindowOpen) {
    const auto dialog = Open();
    dialog->activateWindow();
    QWidget* targets[] = {Bar(*dialog), GetDlgItem(dialog->GetPage(0), IDC_IN_PREVIEW_CHECK),
                          dialog.get()};
    for (QWidget* target : targets) {
        for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
            QTest::keyClick(target, key);
            EXPECT_TRUE(dialog->isVisible()) << key;
        }
    }
    EXPECT_FALSE(CWindowPlacement::Decode([] {
        QByteArray stored;
        GetProfileBinary("SOFTWARE\\quillmark", "WindowPlacement", &stored);
        return stored;
    }()))
        << "nothing closed, so nothing saved";
}

// Each way of closing runs the close sequence: placement saved, settings gathered.
TEST_F(MainDialog, EveryCloseGathersTheSettingsAndSavesThePlacement) {
    const std::pair<const char*, std::function<void(CMainDialog&)>> ways[] = {
        {"close box", [](CMainDialog& d) { d.close(); }},
        {"system menu",
         [](CMainDialog& d) {
             for (QAction* action : d.GetSystemMenu()->GetMenu()->actions())
                 if (CSystemMenu::GetCommand(action) == CSystemMenu::SC_CLOSE)
                     action->trigger();
         }},
        {"Alt+F4", [](CMainDialog& d) { QTest::keyClick(Bar(d), Qt::Key_F4, Qt::AltModifier); }},
        {"cancel command", [](CMainDialog& d) { d.reject(); }},
    };
    for (const auto& [name, closeIt] : ways) {
        ClearUserStore();
        const auto dialog = Open();
        EXPECT_FALSE(dialog->GetSettings().overwritefiles);
        auto* overwrite =
            GetDlgItemAs<QAbstractButton>(dialog->GetPage(CMainPages::kOutput), IDC_OUT_OVERWRITE);
        auto* png = GetDlgItemAs<QRadioButton>(dialog->GetPage(CMainPages::kOutput), IDC_OUT_PNG);
        overwrite->setChecked(true);
        png->setChecked(true);
        dialog->move(dialog->pos() + QPoint(7, 9));
        closeIt(*dialog);
        EXPECT_FALSE(dialog->isVisible()) << name;
        EXPECT_EQ(dialog->result(), QDialog::Rejected) << name;
        EXPECT_TRUE(dialog->GetSettings().overwritefiles) << name;
        EXPECT_EQ(dialog->GetSettings().outputtype, 2) << name;
        QByteArray stored;
        ASSERT_TRUE(GetProfileBinary("SOFTWARE\\quillmark", "WindowPlacement", &stored)) << name;
        const auto placement = CWindowPlacement::Decode(stored);
        ASSERT_TRUE(placement) << name;
        EXPECT_EQ(QPoint(placement->left, placement->top), dialog->geometry().topLeft()) << name;
    }
}

TEST_F(MainDialog, NextStartRestoresThePlacementAndTheSettings) {
    QRect closedAt;
    {
        const auto dialog = Open();
        dialog->setGeometry(dialog->geometry().adjusted(-20, -10, 110, 60));
        closedAt = dialog->geometry();
        GetDlgItemAs<QSlider>(dialog->GetPage(CMainPages::kOutput), IDC_OUT_QUALITY)->setValue(77);
        GetDlgItemAs<QCheckBox>(dialog->GetPage(CMainPages::kInput), IDC_IN_PREVIEW_CHECK)
            ->setChecked(false);
        dialog->close();
    } // destroyed: the settings record writes the store now
    auto dialog = std::make_unique<CMainDialog>(nullptr, TestPages());
    EXPECT_EQ(dialog->GetSettings().jpgquality, 77);
    EXPECT_FALSE(dialog->GetSettings().bpreview);
    dialog->InitDialog();
    EXPECT_EQ(dialog->geometry(), closedAt);
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    EXPECT_EQ(dialog->geometry(), closedAt);
    EXPECT_EQ(dialog->GetCurrentPage(), 0) << "every start begins on the input page";
    EXPECT_FALSE(GetDlgItemAs<QCheckBox>(dialog->GetPage(CMainPages::kInput), IDC_IN_PREVIEW_CHECK)
                     ->isChecked());
}

TEST_F(MainDialog, OutputFormatEnablesTheJpegControlsOnlyForJpeg) {
    const struct {
        int outputtype;
        int checked;
        bool jpegControls;
    } cases[] = {{0, IDC_OUT_JPG, true},  {1, IDC_OUT_BMP, false}, {2, IDC_OUT_PNG, false},
                 {3, IDC_OUT_WEBP, true}, {4, IDC_OUT_AVIF, true}, {7, IDC_OUT_JPG, true}};
    const auto dialog = Open();
    QWidget* output = dialog->GetPage(CMainPages::kOutput);
    for (const auto& c : cases) {
        dialog->GetSettings().outputtype = c.outputtype;
        dialog->ApplySettingsToPages();
        EXPECT_TRUE(dialog->IsApplyingSettings());
        dialog->LowerApplyingGuard();
        for (const int id : {IDC_OUT_BMP, IDC_OUT_JPG, IDC_OUT_PNG, IDC_OUT_WEBP, IDC_OUT_AVIF})
            EXPECT_EQ(GetDlgItemAs<QRadioButton>(output, id)->isChecked(), id == c.checked)
                << c.outputtype << " " << id;
        for (const int id : {IDC_OUT_QUALITY, IDC_OUT_QUALITY_LABEL, IDC_OUT_PRESERVE,
                             IDC_OUT_PERCENT, IDC_OUT_QUALITY_VALUE})
            EXPECT_EQ(GetDlgItem(output, id)->isEnabled(), c.jpegControls) << c.outputtype;
    }
}

// Without a stored placement the window takes two thirds of the screen, centred, never less
// than its template and never more than the screen.
TEST_F(MainDialog, FirstStartTakesTwoThirdsOfTheScreenCentred) {
    const struct {
        QRect available;
        QSize minimum;
        QRect window;
    } cases[] = {
        {QRect(0, 0, 1400, 1000), QSize(600, 423), QRect(233, 167, 933, 666)},
        {QRect(0, 30, 1400, 970), QSize(600, 423), QRect(233, 192, 933, 646)}, // a panel on top
        {QRect(0, 0, 800, 600), QSize(600, 423), QRect(100, 88, 600, 423)},    // the template wins
        {QRect(0, 0, 500, 400), QSize(600, 423), QRect(0, 0, 500, 400)},       // the screen wins
    };
    for (const auto& c : cases)
        EXPECT_EQ(CMainDialog::FirstStartRect(c.available, c.minimum), c.window)
            << c.available.width();

    const auto dialog = Open();
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(dialog->geometry(), CMainDialog::FirstStartRect(available, dialog->minimumSize()));
}

// The "≡" button says what it is, and F10 opens the same menu from anywhere in the window.
TEST_F(MainDialog, MenuButtonHasATooltipAndF10OpensTheMenu) {
    const auto dialog = Open();
    QToolButton* button = dialog->GetMenuButton();
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->toolTip(), "Window menu (F10, Alt+Space)");
    QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), button->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(button, &help);
    EXPECT_EQ(QToolTip::text(), "Window menu (F10, Alt+Space)");
    QToolTip::hideText();

    QMenu* menu = dialog->GetSystemMenu()->GetMenu();
    for (QWidget* focus : {static_cast<QWidget*>(Bar(*dialog)),
                           GetDlgItem(dialog->GetPage(CMainPages::kInput), IDC_IN_FILE_LIST)}) {
        ASSERT_NE(focus, nullptr);
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_F10);
        EXPECT_TRUE(menu->isVisible());
        menu->hide();
    }
    QTest::keyClick(Bar(*dialog), Qt::Key_F10, Qt::ShiftModifier); // not the menu key
    EXPECT_FALSE(menu->isVisible());
}

TEST(PlacePages, PageRectLeavesTheTabStripAndAMargin) {
    const struct {
        int w, h;
        QRect item;
        QRect page;
    } cases[] = {
        {600, 400, QRect(2, 0, 120, 26), QRect(2, 31, 596, 367)},
        {600, 400, QRect(0, 2, 80, 20), QRect(0, 27, 596, 371)},
        {10, 10, QRect(2, 0, 120, 26), QRect(2, 31, 6, -23)}, // degenerate, as the arithmetic says
    };
    for (const auto& c : cases)
        EXPECT_EQ(CMainDialog::PageRect(c.w, c.h, c.item), c.page);
    EXPECT_EQ(CMainDialog::MinimizedIconPosition({160, 28}, {32, 32}), QPoint(64, -1));
    EXPECT_EQ(CMainDialog::MinimizedIconPosition({33, 33}, {32, 32}), QPoint(1, 1));
}

TEST_F(MainDialog, PagesFollowTheTabControlThroughResizes) {
    const auto dialog = Open();
    const QSize minimum = dialog->minimumSize();
    // The size at the end of the template's layout is the minimum; the first start then
    // takes its share of the screen.
    EXPECT_EQ(dialog->size(), CMainDialog::FirstStartRect(
                                  QGuiApplication::primaryScreen()->availableGeometry(), minimum)
                                  .size());
    dialog->resize(minimum);
    EXPECT_EQ(dialog->size(), minimum);
    for (const QSize grow : {QSize(0, 0), QSize(130, 70), QSize(3, 3), QSize(-60, -20)}) {
        dialog->resize(dialog->size() + grow);
        const CTabControl* tabs = dialog->GetTabs();
        const QRect expected =
            CMainDialog::PageRect(tabs->width(), tabs->height(), tabs->GetItemRect(0));
        for (int i = 0; i < CMainPages::kCount; ++i)
            EXPECT_EQ(dialog->GetPage(i)->geometry(), expected) << i;
    }
    // The tab control keeps its distance from the bottom-right corner.
    const QPoint gap = dialog->rect().bottomRight() - dialog->GetTabs()->geometry().bottomRight();
    dialog->resize(dialog->size() + QSize(50, 40));
    EXPECT_EQ(dialog->rect().bottomRight() - dialog->GetTabs()->geometry().bottomRight(), gap);
    EXPECT_EQ(dialog->GetTabs()->pos(), QPoint(0, 0));
}

TEST_F(MainDialog, TabOnTheStripMovesTheFocusIntoThePageShown) {
    const auto dialog = Open();
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    Bar(*dialog)->setFocus();
    QTest::keyClick(Bar(*dialog), Qt::Key_Tab);
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    EXPECT_TRUE(dialog->GetPage(0)->isAncestorOf(focus));
    EXPECT_EQ(GetDlgCtrlID(focus), IDC_IN_FILE_LIST) << "the page's first tab stop";

    Bar(*dialog)->setFocus();
    QTest::keyClick(Bar(*dialog), Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(GetDlgCtrlID(QApplication::focusWidget()), IDC_IN_TREE) << "its last one";

    // Inside the page the page's own order goes on.
    QWidget* list = GetDlgItem(dialog->GetPage(0), IDC_IN_FILE_LIST);
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Tab);
    EXPECT_EQ(GetDlgCtrlID(QApplication::focusWidget()), IDC_IN_ADD_ALL);

    // A page switch hands the focus to the tab strip.
    Bar(*dialog)->setCurrentIndex(1);
    EXPECT_TRUE(Bar(*dialog)->hasFocus());
}

TEST_F(MainDialog, SplashGoesAtTheFirstKeyPress) {
    CSplashWindow splash(IDB_SPLASH);
    ASSERT_NE(splash.GetWindow(), nullptr);
    splash.Show();
    const auto dialog = std::make_unique<CMainDialog>(nullptr, TestPages());
    dialog->SetSplash(&splash);
    dialog->InitDialog();
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    EXPECT_NE(splash.GetWindow(), nullptr) << "initialisation alone does not hide it";
    QCheckBox* preview =
        GetDlgItemAs<QCheckBox>(dialog->GetPage(CMainPages::kInput), IDC_IN_PREVIEW_CHECK);
    const bool before = preview->isChecked();
    preview->setFocus();
    QTest::keyClick(preview, Qt::Key_Space);
    EXPECT_EQ(splash.GetWindow(), nullptr);
    EXPECT_NE(preview->isChecked(), before) << "the key goes on its normal way";
    RunDeferredDeletes();
}

TEST_F(MainDialog, SplashGoesWithTheTimerAndAClickOnIt) {
    {
        CSplashWindow splash(IDB_SPLASH);
        splash.Show();
        const auto dialog = std::make_unique<CMainDialog>(nullptr, TestPages());
        dialog->SetSplash(&splash);
        dialog->InitDialog();
        dialog->OnTimer(CMainDialog::kSplashTimerId + 1); // not the splash timer
        EXPECT_NE(splash.GetWindow(), nullptr);
        dialog->OnTimer(CMainDialog::kSplashTimerId);
        EXPECT_EQ(splash.GetWindow(), nullptr);
        EXPECT_EQ(dialog->GetSplashTimer(), 0);
        RunDeferredDeletes();
    }
    {
        CSplashWindow splash(IDB_SPLASH);
        splash.Show();
        const auto dialog = std::make_unique<CMainDialog>(nullptr, TestPages());
        dialog->SetSplash(&splash);
        dialog->InitDialog();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(splash.GetWindow()));
        QTest::mouseClick(splash.GetWindow(), Qt::LeftButton);
        EXPECT_EQ(splash.GetWindow(), nullptr);
        RunDeferredDeletes();
    }
    {
        CSplashWindow splash(IDB_SPLASH);
        const auto dialog = std::make_unique<CMainDialog>(nullptr, TestPages());
        dialog->SetSplash(&splash);
        dialog->InitDialog();
        dialog->close(); // the close sequence hides it too
        EXPECT_EQ(splash.GetWindow(), nullptr);
        RunDeferredDeletes();
    }
}

TEST(SplashWindow, IsCentredShowsItsBitmapAndIsAbsentWithoutOne) {
    CSplashWindow splash(IDB_SPLASH);
    QWidget* window = splash.GetWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->size(), QSize(385, 236));
    EXPECT_TRUE(window->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(window->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(window->windowType(), Qt::SplashScreen); // no taskbar entry
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_LE((window->geometry().center() - screen.center()).manhattanLength(), 2);
    splash.Show();
    const QImage shown = window->grab().toImage();
    EXPECT_EQ(shown.pixelColor(200, 20), LoadBitmapImage(IDB_SPLASH).pixelColor(200, 20));
    splash.Hide();
    splash.Hide(); // twice is harmless
    EXPECT_EQ(splash.GetWindow(), nullptr);
    RunDeferredDeletes();

    CSplashWindow missing(9999);
    EXPECT_EQ(missing.GetWindow(), nullptr);
    missing.Show();
    missing.Hide();
}

// Help opens the guide made in the build tree beside the program; where nothing can open
// it, a message says where it is.
TEST_F(MainDialog, HelpOpensTheUserGuideOrSaysWhereItIs) {
    const auto dialog = Open();
    int beeps = 0;
    QStringList opened;
    bool canOpen = false;
    const CShellHooks previous = SetShellHooks({[&] { ++beeps; },
                                                [&](const QString& address) {
                                                    opened << address;
                                                    return canOpen;
                                                }});
    CMessageBoxRecorder boxes;
    dialog->OnSysCommand(IDM_HELP);
    ASSERT_EQ(opened.size(), 1);
    EXPECT_TRUE(opened[0].endsWith("/guide/guide.html")) << opened[0].toStdString();
    QFile guide(opened[0]);
    ASSERT_TRUE(guide.open(QIODevice::ReadOnly));
    const QByteArray html = guide.readAll();
    EXPECT_TRUE(html.contains("Choosing pictures")) << "the guide's text";
    EXPECT_TRUE(html.contains("src=\"images/input.png\""));
    EXPECT_TRUE(QFileInfo(QFileInfo(opened[0]).dir().filePath("images/input.png")).isFile());
    ASSERT_EQ(boxes.GetRecords().size(), 1u);
    EXPECT_TRUE(boxes.GetRecords()[0].text.endsWith(opened[0]));
    EXPECT_EQ(boxes.GetRecords()[0].icon, CMessageIcon::Information);
    EXPECT_EQ(beeps, 0);

    canOpen = true;
    dialog->OnSysCommand(IDM_HELP);
    EXPECT_EQ(boxes.GetRecords().size(), 1u) << "opened: no message";
    SetShellHooks(previous);
}

} // namespace

// The choice of three for existing files and the file name, set by clicks and keys, come
// back at the next start; the store keeps the old overwrite flag as older versions read it
// (set only for overwriting), the keep-both choice apart from it.
TEST_F(MainDialog, ExistingFilesChoiceAndFileNameComeBackAtTheNextStart) {
    const struct {
        int button;
        bool overwrite, keepBoth;
    } choices[] = {
        {IDC_OUT_KEEP_BOTH, false, true},
        {IDC_OUT_OVERWRITE, true, false},
        {IDC_OUT_SKIP, false, false},
    };
    for (const auto& c : choices) {
        SCOPED_TRACE(c.button);
        ClearUserStore();
        const QString name = QStringLiteral("{date} {n}");
        {
            const auto dialog = Open();
            QWidget* output = dialog->GetPage(CMainPages::kOutput);
            dialog->GetTabs()->GetTabBar()->setCurrentIndex(CMainPages::kOutput);
            QTest::mouseClick(GetDlgItemAs<QAbstractButton>(output, c.button), Qt::LeftButton);
            auto* field = GetDlgItemAs<QLineEdit>(output, IDC_OUT_NAME);
            field->setFocus();
            field->selectAll();
            QTest::keyClicks(field, name);
            dialog->close();
        }
        {
            CStampSettings stored(
                std::make_unique<CQtSettingsStore>(CQtSettingsStore::Access::ReadOnly));
            EXPECT_EQ(stored.overwritefiles, c.overwrite);
            EXPECT_EQ(stored.renamefiles, c.keepBoth);
            EXPECT_EQ(stored.outputname, name.toStdString());
        }
        const auto dialog = Open();
        QWidget* output = dialog->GetPage(CMainPages::kOutput);
        for (const int id : {IDC_OUT_SKIP, IDC_OUT_OVERWRITE, IDC_OUT_KEEP_BOTH})
            EXPECT_EQ(GetDlgItemAs<QAbstractButton>(output, id)->isChecked(), id == c.button) << id;
        EXPECT_EQ(GetDlgItemAs<QLineEdit>(output, IDC_OUT_NAME)->text(), name);
    }
}
