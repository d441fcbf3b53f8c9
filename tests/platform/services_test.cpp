#include "platform/accelerators.h"
#include "platform/messagebox.h"
#include "platform/pretranslate.h"
#include "platform/profile.h"
#include "platform/resourceloader.h"
#include "platform/shell.h"
#include "platform/systemmenu.h"
#include "platform/tooltips.h"
#include "platform/waitcursor.h"
#include "platform/windowtimers.h"
#include "qtapp.h"
#include "resources/resource.h"
#include "resources/resourcetable.h"

#include <QAction>
#include <QDialog>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

TEST(ResourceLoader, IconDirectoryParsingRejectsBrokenFiles) {
    const CResourceEntry* app = FindResourceEntry(IDI_APPLICATION_ICON, QM_RT_ICON);
    ASSERT_NE(app, nullptr);
    const auto entries = ParseIconDirectory(app->data, app->size);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].width, 32);

    std::vector<uint8_t> copy(app->data, app->data + app->size);
    copy[6 + 12] = 0xFF; // first entry's offset far past the end
    copy[6 + 13] = 0xFF;
    EXPECT_EQ(ParseIconDirectory(copy.data(), copy.size()).size(), 2u);
    EXPECT_TRUE(ParseIconDirectory(copy.data(), 20).empty()); // directory cut short
    const uint8_t notAnIcon[] = {0, 0, 5, 0, 1, 0};
    EXPECT_TRUE(ParseIconDirectory(notAnIcon, sizeof notAnIcon).empty());
    EXPECT_TRUE(ParseIconDirectory(nullptr, 0).empty());
}

TEST(ResourceLoader, IconsCursorBitmapsAndMenus) {
    TestApplication();
    EXPECT_EQ(LoadIconPixmap(IDI_ADD_ALL, 20, 18).size(), QSize(20, 18));
    EXPECT_EQ(LoadIconPixmap(IDI_APPLICATION_ICON, 32, 32).size(), QSize(32, 32));
    EXPECT_EQ(LoadIconPixmap(IDI_APPLICATION_ICON, 24, 24).size(), QSize(24, 24)); // scaled
    EXPECT_TRUE(LoadIconPixmap(4711, 16, 16).isNull());
    EXPECT_EQ(LoadIcon(IDI_APPLICATION_ICON).availableSizes().size(), 3);
    for (int id : {171, 172, 173, 174, 175, 176, 177, 178, 179, 181, 182})
        EXPECT_FALSE(LoadIcon(id).isNull()) << id;

    bool ok = false;
    const QCursor picker = LoadCursor(IDC_COLOUR_PICKER, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(picker.hotSpot(), QPoint(1, 30));
    LoadCursor(4711, &ok);
    EXPECT_FALSE(ok);

    EXPECT_EQ(LoadBitmapImage(IDB_SPLASH).size(), QSize(385, 236));
    const std::vector<QPixmap> images = LoadImageList(IDB_FOLDER_IMAGES, 16, qRgb(255, 0, 255));
    ASSERT_EQ(images.size(), 9u);
    EXPECT_EQ(images[0].size(), QSize(16, 15));
    EXPECT_EQ(qAlpha(images[0].toImage().pixel(0, 0)), 0); // magenta became transparent
    EXPECT_TRUE(LoadImageList(4711, 16, 0).empty());

    QWidget owner;
    std::unique_ptr<QMenu> popup(LoadPopupMenu(IDR_POPUP_MENU, 0, &owner));
    ASSERT_TRUE(popup);
    ASSERT_EQ(popup->actions().size(), 2);
    EXPECT_EQ(popup->actions()[0]->text(), QStringLiteral("&copy"));
    EXPECT_EQ(GetMenuCommand(popup->actions()[1]), ID_POPUP_PASTE);
    EXPECT_EQ(FindMenuCommand(popup.get(), ID_POPUP_COPY), popup->actions()[0]);
    EXPECT_EQ(LoadPopupMenu(IDR_POPUP_MENU, 1, &owner), nullptr);
    EXPECT_EQ(LoadString(IDS_HELP), QStringLiteral("Help"));
}

TEST(MessageBoxes, RecorderAnswersAndRecords) {
    TestApplication();
    QWidget owner;
    CMessageBoxRecorder recorder(QM_IDNO);
    EXPECT_EQ(
        ShowMessageBox(&owner, "Sorry, no import/export during stamping", CMessageIcon::Warning),
        QM_IDNO);
    ASSERT_EQ(recorder.GetRecords().size(), 1u);
    const CMessageBoxRecord& r = recorder.GetRecords()[0];
    EXPECT_EQ(r.owner, &owner);
    EXPECT_EQ(r.title, QStringLiteral("quillmark"));
    EXPECT_EQ(r.text, QStringLiteral("Sorry, no import/export during stamping"));
    EXPECT_EQ(r.icon, CMessageIcon::Warning);
    {
        CMessageBoxRecorder inner; // nests and restores the outer one
        ShowMessageBox(nullptr, "x", CMessageIcon::Error);
        EXPECT_EQ(inner.GetRecords().size(), 1u);
    }
    ShowMessageBox(nullptr, "y", CMessageIcon::Information);
    EXPECT_EQ(recorder.GetRecords().size(), 2u);
}

TEST(Shell, HooksTakeBeepsAndAddresses) {
    int beeps = 0;
    QStringList opened;
    const CShellHooks previous = SetShellHooks({[&] { ++beeps; },
                                                [&](const QString& a) {
                                                    opened << a;
                                                    return !a.isEmpty();
                                                }});
    MessageBeep();
    EXPECT_TRUE(ShellOpen("https://www.quillmark.org/"));
    EXPECT_FALSE(ShellOpen(""));
    SetShellHooks(previous);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(opened, (QStringList{"https://www.quillmark.org/", ""}));
}

TEST(WaitCursor, GuardsNest) {
    TestApplication();
    {
        CWaitCursor outer;
        {
            CWaitCursor inner;
            ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        }
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST(WindowTimers, RestartOneShotAndKill) {
    TestApplication();
    CWindowTimers timers;
    std::vector<int> fired;
    timers.SetHandler([&](int id) { fired.push_back(id); });
    timers.SetTimer(1, 30, true);
    timers.SetTimer(2, 10);
    timers.SetTimer(1, 30, true); // restarted: still fires once
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 200 && std::count(fired.begin(), fired.end(), 1) == 0)
        QTest::qWait(5);
    EXPECT_TRUE(timers.KillTimer(2));
    EXPECT_FALSE(timers.KillTimer(2));
    EXPECT_FALSE(timers.IsActive(1));
    EXPECT_EQ(std::count(fired.begin(), fired.end(), 1), 1);
    EXPECT_GE(std::count(fired.begin(), fired.end(), 2), 1); // repeats until killed
    const size_t seen = fired.size();
    QTest::qWait(40);
    EXPECT_EQ(fired.size(), seen);
}

TEST(ToolTips, WrappingTable) {
    const auto width = [](const QString& s) { return int(s.size()) * 6; };
    struct {
        const char* text;
        int max;
        const char* wrapped;
    } const rows[] = {
        {"Add selected Files", 80, "Add selected\nFiles"},
        {"Add selected Files", 0, "Add selected Files"},
        {"Center the Stamp", 200, "Center the Stamp"},
        {"hold the mouse-button to drag the Image", 60,
         "hold the\nmouse-button\nto drag\nthe Image"},
        {"", 80, ""},
    };
    for (const auto& r : rows)
        EXPECT_EQ(WrapToolTipText(r.text, r.max, width), QString::fromUtf8(r.wrapped)) << r.text;
}

TEST(ToolTips, ControlKeepsTextsAndWidth) {
    TestApplication();
    QWidget page;
    auto* edit = new QLineEdit(&page);
    CToolTipControl tips;
    tips.SetMaxTipWidth(80);
    tips.AddTool(edit, "Add all Images from this Directory");
    EXPECT_EQ(tips.GetText(edit), QStringLiteral("Add all Images from this Directory"));
    EXPECT_TRUE(tips.GetWrappedText(edit).contains('\n'));
    EXPECT_FALSE(tips.IsActive());
    tips.Activate(true);
    EXPECT_TRUE(tips.IsActive());
    tips.AddTool(edit, "");
    EXPECT_TRUE(tips.GetText(edit).isEmpty());
}

TEST(Accelerators, TableOneFiveNineTranslates) {
    const CAcceleratorTable table = CAcceleratorTable::Load(IDR_ACCELERATORS);
    ASSERT_EQ(table.GetEntries().size(), 4u);
    struct {
        Qt::KeyboardModifiers modifiers;
        Qt::Key key;
        int command;
    } const rows[] = {
        {Qt::ControlModifier, Qt::Key_A, ID_SELECT_ALL},
        {Qt::ControlModifier, Qt::Key_C, ID_EDIT_COPY},
        {Qt::ControlModifier, Qt::Key_V, ID_EDIT_PASTE},
        {Qt::NoModifier, Qt::Key_F5, ID_REFRESH},
        {Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_C, ID_EDIT_COPY},
        {Qt::NoModifier, Qt::Key_A, 0},
        {Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_C, 0},
        {Qt::ControlModifier, Qt::Key_F5, 0},
    };
    for (const auto& r : rows) {
        const QKeyEvent event(QEvent::KeyPress, r.key, r.modifiers);
        EXPECT_EQ(table.Translate(event), r.command) << r.key;
    }
    EXPECT_TRUE(CAcceleratorTable::Load(4711).IsEmpty());
}

TEST(SystemMenu, InsertionsAtSixReadLikeTheMainWindows) {
    TestApplication();
    QWidget window;
    CSystemMenu menu(&window);
    menu.InsertSeparator(6);
    menu.InsertItem(6, "Help", 201);
    menu.InsertItem(6, "Info about Quillmark", 200);
    auto* settings = new QMenu(&window);
    settings->addAction("import");
    menu.InsertPopup(6, "Settings", settings);
    QStringList texts;
    for (QAction* a : menu.GetMenu()->actions())
        texts << (a->isSeparator() ? QStringLiteral("-")
                                   : a->text().remove('&').section('\t', 0, 0));
    EXPECT_EQ(texts, (QStringList{"Restore", "Move", "Size", "Minimize", "Maximize", "-",
                                  "Settings", "Info about Quillmark", "Help", "-", "Close"}));
    std::vector<int> commands;
    QObject::connect(&menu, &CSystemMenu::command, [&](int id) { commands.push_back(id); });
    menu.GetMenu()->actions()[7]->trigger();
    EXPECT_EQ(commands, std::vector<int>{200});
    window.show();
    menu.GetMenu()->actions().last()->trigger(); // Close
    EXPECT_FALSE(window.isVisible());
}

// "Move" and "Size" chosen from the menu: the arrow keys move or size the window, Return
// keeps it, Escape puts it back, as the standard commands do.
TEST(SystemMenu, MoveAndSizeFollowTheArrowKeys) {
    TestApplication();
    QWidget window;
    auto* edit = new QLineEdit(&window); // the focus lies on a control
    window.setMinimumSize(100, 80);
    window.setGeometry(100, 100, 200, 150);
    CSystemMenu menu(&window);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    edit->setFocus();
    auto item = [&](int id) {
        for (QAction* a : menu.GetMenu()->actions())
            if (CSystemMenu::GetCommand(a) == id)
                return a;
        return static_cast<QAction*>(nullptr);
    };
    const int step = CSystemMenu::kTrackStep;
    const QPoint start = window.pos();

    item(CSystemMenu::SC_MOVE)->trigger();
    EXPECT_EQ(menu.GetTracking(), CSystemMenu::ETracking::Move);
    QTest::keyClick(edit, Qt::Key_Right);
    QTest::keyClick(edit, Qt::Key_Right);
    QTest::keyClick(edit, Qt::Key_Down);
    QTest::keyClick(edit, Qt::Key_A); // no text while tracking
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(menu.GetTracking(), CSystemMenu::ETracking::None);
    EXPECT_EQ(window.pos(), start + QPoint(2 * step, step));
    EXPECT_TRUE(edit->text().isEmpty());
    QTest::keyClick(edit, Qt::Key_Right); // over: keys are the control's again
    EXPECT_EQ(window.pos(), start + QPoint(2 * step, step));

    item(CSystemMenu::SC_SIZE)->trigger();
    QTest::keyClick(edit, Qt::Key_Right);
    QTest::keyClick(edit, Qt::Key_Up);
    EXPECT_EQ(window.size(), QSize(200 + step, 150 - step));
    for (int i = 0; i < 20; ++i)
        QTest::keyClick(edit, Qt::Key_Left);
    EXPECT_EQ(window.width(), 100) << "never below the minimum";
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(window.size(), QSize(200, 150)) << "Escape puts it back";
    EXPECT_EQ(window.pos(), start + QPoint(2 * step, step));
}

TEST(PreTranslate, SeesKeysAndClicksOfChildrenOnceAndCanSwallow) {
    TestApplication();
    QWidget page;
    auto* edit = new QLineEdit(&page);
    std::vector<std::pair<QWidget*, int>> seen;
    bool swallow = false;
    CPreTranslateHook hook(&page, [&](QWidget* target, QEvent* event) {
        seen.emplace_back(target, int(event->type()));
        return swallow;
    });
    auto* late = new QLineEdit(&page); // added after the hook
    page.show();
    edit->setFocus();
    QTest::keyClick(edit, Qt::Key_X);
    EXPECT_EQ(edit->text(), QStringLiteral("x"));
    swallow = true;
    QTest::keyClick(edit, Qt::Key_Y);
    EXPECT_EQ(edit->text(), QStringLiteral("x"));
    swallow = false;
    QTest::mouseClick(late, Qt::LeftButton);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], std::make_pair(static_cast<QWidget*>(edit), int(QEvent::KeyPress)));
    EXPECT_EQ(seen[2], std::make_pair(static_cast<QWidget*>(late), int(QEvent::MouseButtonPress)));

    // A window the page owns (a dialog, a message box) is not the page's: its keys pass.
    auto* owned = new QDialog(&page);
    auto* ownedEdit = new QLineEdit(owned);
    owned->show();
    swallow = true;
    QTest::keyClick(ownedEdit, Qt::Key_Z);
    EXPECT_EQ(ownedEdit->text(), QStringLiteral("z"));
    EXPECT_EQ(seen.size(), 3u);
}

TEST(Profile, BinaryValuesLiveUnderTheSection) {
    TestApplication();
    QTemporaryDir config;
    const QByteArray previous = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QByteArray value;
    EXPECT_FALSE(GetProfileBinary("SOFTWARE\\quillmark", "WindowPlacement", &value));
    EXPECT_TRUE(WriteProfileBinary("SOFTWARE\\quillmark", "WindowPlacement", QByteArray(44, 'x')));
    EXPECT_TRUE(GetProfileBinary("SOFTWARE\\quillmark", "WindowPlacement", &value));
    EXPECT_EQ(value, QByteArray(44, 'x'));
    EXPECT_TRUE(QFile::exists(config.path() + "/quillmark/quillmark.conf"));
    qputenv("XDG_CONFIG_HOME", previous);
}
