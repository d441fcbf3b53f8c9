#include "app/stampapp.h"

#include "app/closesignals.h"
#include "app/maindialog.h"
#include "app/splashwindow.h"
#include "resources/resource.h"

#include <QCommandLineParser>
#include <QCoreApplication>

bool CStampApp::InitInstance() {
    // The command line carries nothing for the program; the parser answers --help and
    // --version and refuses unknown options.
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Stamps a logo or watermark onto many pictures in one batch."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.process(*QCoreApplication::instance());

    CSplashWindow splash(IDB_SPLASH);
    splash.Show();

    {
        // Constructing reads the settings; destroying writes them, after the pages are gone.
        CMainDialog main;
        main.SetSplash(&splash);
        main.InitDialog();
        // Logout, kill and Ctrl+C end the window as its close box does.
        const CCloseOnSignals closeOnSignals(&main);
        if (m_hook)
            m_hook(main);
        main.exec();
    }
    return false;
}
