// qm_app_screenshots DIR: starts the main window with its splash, as the program does, and
// writes screenshots of the whole screen to DIR: the splash over the main window, each tab,
// the system menu open and the info dialog. Run it on a display (xvfb-run -a) to look at
// the shell after a change. The settings go to a temporary configuration folder.
#include "app/hotstatic.h"
#include "app/infodialog.h"
#include "app/maindialog.h"
#include "app/splashwindow.h"
#include "platform/systemmenu.h"
#include "platform/tabcontrol.h"
#include "resources/resource.h"

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QScreen>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <cstdio>

namespace {

bool Shot(const QString& path) {
    QTest::qWait(300);
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    const bool ok = screen.save(path);
    std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("shots");
    QDir().mkpath(folder);

    CSplashWindow splash(IDB_SPLASH);
    splash.Show();
    CMainDialog main;
    main.SetSplash(&splash);
    main.InitDialog();
    main.show();
    bool ok = Shot(folder + "/splash.png");
    main.HideSplash();

    const char* names[] = {"tab-input", "tab-position", "tab-output"};
    for (int i = 0; i < 3; ++i) {
        main.GetTabs()->GetTabBar()->setCurrentIndex(i);
        ok = Shot(folder + "/" + names[i] + ".png") && ok;
    }
    main.GetTabs()->GetTabBar()->setCurrentIndex(0);

    main.GetMenuButton()->click();
    ok = Shot(folder + "/system-menu.png") && ok;
    main.GetSystemMenu()->GetMenu()->close();

    CInfoDialog info(&main);
    info.show();
    ok = Shot(folder + "/info.png") && ok;
    QTest::mouseMove(info.GetLink(), info.GetLink()->rect().center());
    ok = Shot(folder + "/info-hover.png") && ok;
    info.close();
    main.close();
    return ok ? 0 : 1;
}
