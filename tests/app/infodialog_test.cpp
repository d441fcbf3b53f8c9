#include "app/hotstatic.h"
#include "app/infodialog.h"
#include "app/maindialog.h"
#include "apptest.h"
#include "platform/shell.h"
#include "platform/systemmenu.h"
#include "platform/tabcontrol.h"
#include "qmversion.h"
#include "resources/stringtable.h"

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// Opens and answers the shell's calls for one test.
class ShellRecorder {
public:
    ShellRecorder()
        : m_previous(SetShellHooks({[this] { ++beeps; },
                                    [this](const QString& address) {
                                        opened << address;
                                        return canOpen;
                                    }})) {}
    ~ShellRecorder() { SetShellHooks(m_previous); }
    int beeps = 0;
    QStringList opened;
    bool canOpen = true;

private:
    CShellHooks m_previous;
};

TEST(InfoDialog, ShowsTheLinkToTheProductsSite) {
    CInfoDialog dialog;
    EXPECT_EQ(dialog.windowTitle(), "Info about quillmark");
    CHotStatic* link = dialog.GetLink();
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(GetDlgCtrlID(link), IDC_INFO_LINK);
    EXPECT_EQ(link->text(), kProductSiteText);
    EXPECT_EQ(link->GetAddress(), kProductSiteAddress);
    EXPECT_TRUE(link->IsNotify());
    // The credits line carries the build's version.
    QStringList texts;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        texts << label->text();
    EXPECT_TRUE(texts.contains(QStringLiteral("v%1, %2").arg(kProgramVersion, kCreditsLine)))
        << texts.join('|').toStdString();
}

TEST(InfoDialog, HoverTurnsTheLinkRedAndLeavingBlue) {
    CInfoDialog dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    CHotStatic* link = dialog.GetLink();
    EXPECT_EQ(link->GetTextColour(), QColor(0, 0, 255));
    QTest::mouseMove(link, link->rect().center());
    QMouseEvent move(QEvent::MouseMove, QPointF(link->rect().center()),
                     link->mapToGlobal(QPointF(link->rect().center())), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(link, &move);
    EXPECT_TRUE(link->IsHovering());
    EXPECT_EQ(link->GetTextColour(), QColor(255, 0, 0));
    // The picture follows at once.
    const QImage hovering = link->grab().toImage();
    bool red = false;
    for (int y = 0; y < hovering.height() && !red; ++y)
        for (int x = 0; x < hovering.width() && !red; ++x)
            red = hovering.pixelColor(x, y) == QColor(255, 0, 0);
    EXPECT_TRUE(red);

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(link, &leave);
    EXPECT_FALSE(link->IsHovering());
    EXPECT_EQ(link->GetTextColour(), QColor(0, 0, 255));
    // Hovering again works after a leave.
    QCoreApplication::sendEvent(link, &move);
    EXPECT_TRUE(link->IsHovering());
}

TEST(InfoDialog, ClickOpensTheAddressOrTheTextAndBeepsOnFailure) {
    const struct {
        const char* address;
        bool canOpen;
        const char* expectOpened;
        bool expectVisited;
        int expectBeeps;
    } cases[] = {
        {"https://example.org/", true, "https://example.org/", true, 0},
        {"", true, kProductSiteText, true, 0}, // no address: the control's own text
        {"", false, kProductSiteText, false, 1},
    };
    for (const auto& c : cases) {
        ShellRecorder shell;
        shell.canOpen = c.canOpen;
        CInfoDialog dialog;
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        CHotStatic* link = dialog.GetLink();
        link->SetAddress(QString::fromUtf8(c.address));
        QTest::mouseClick(link, Qt::LeftButton, {}, link->rect().center());
        EXPECT_EQ(shell.opened, QStringList{c.expectOpened}) << c.address;
        EXPECT_EQ(link->IsVisited(), c.expectVisited) << c.address;
        EXPECT_EQ(shell.beeps, c.expectBeeps) << c.address;
        EXPECT_EQ(link->GetTextColour(), QColor(0, 0, 255)) << "visited is blue too";
    }
}

TEST(InfoDialog, EnterEscapeAndCloseEndIt) {
    const std::function<void(CInfoDialog&)> ways[] = {
        [](CInfoDialog& d) { QTest::keyClick(&d, Qt::Key_Return); },
        [](CInfoDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); },
        [](CInfoDialog& d) { GetDlgItemAs<QPushButton>(&d, IDOK)->click(); },
    };
    for (const auto& endIt : ways) {
        CInfoDialog dialog;
        QTimer::singleShot(0, &dialog, [&] { endIt(dialog); });
        dialog.exec();
        EXPECT_FALSE(dialog.isVisible());
    }
}

TEST(InfoDialog, OpensFromTheSystemMenu) {
    ClearUserStore();
    CMainDialog main(nullptr, TestPages());
    main.InitDialog();
    main.show();
    QString shown;
    QTimer::singleShot(0, &main, [&] {
        if (auto* info = qobject_cast<CInfoDialog*>(QApplication::activeModalWidget())) {
            shown = info->windowTitle();
            info->reject();
        }
    });
    main.OnSysCommand(IDM_ABOUTBOX);
    EXPECT_EQ(shown, "Info about quillmark");
    main.close();
}

// Opened from the main window's system menu, with the main window as its parent: the
// dialog's keys are its own, not the main window's.
TEST(InfoDialog, KeysInTheDialogOpenedFromTheSystemMenuActOnTheDialog) {
    ClearUserStore();
    CMainDialog main(nullptr, TestPages());
    main.InitDialog();
    main.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    QAction* item = nullptr;
    for (QAction* action : main.GetSystemMenu()->GetMenu()->actions())
        if (CSystemMenu::GetCommand(action) == IDM_ABOUTBOX)
            item = action;
    ASSERT_NE(item, nullptr);

    main.GetTabs()->GetTabBar()->setFocus();
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* info = qobject_cast<CInfoDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(info, nullptr);
        seen = true;
        EXPECT_EQ(info->parentWidget(), &main);
        auto focus = [info] { return info->focusWidget() ? info->focusWidget() : info; };
        QWidget* mainFocus = main.focusWidget();
        QTest::keyClick(focus(), Qt::Key_Tab);
        EXPECT_EQ(main.focusWidget(), mainFocus) << "Tab moves nothing behind the dialog";
        QTest::keyClick(focus(), Qt::Key_F4, Qt::AltModifier);
        EXPECT_TRUE(main.isVisible()) << "Alt+F4 is not the main window's";
        QTest::keyClick(focus(), Qt::Key_Escape);
        EXPECT_FALSE(info->isVisible()) << "Escape ends the dialog";
        if (info->isVisible())
            info->reject();
    });
    item->trigger(); // runs the dialog modally until Escape ends it
    EXPECT_TRUE(seen);
    EXPECT_TRUE(main.isVisible());
    EXPECT_EQ(qobject_cast<CInfoDialog*>(QApplication::activeModalWidget()), nullptr);
    RunDeferredDeletes();
}

} // namespace
