#include "app/stampapp.h"
#include "qmversion.h"

#include <QApplication>

#include <cstdio>
#include <cstdlib>

namespace {

// Without a display Qt would abort with a message that tells a user little.
bool HaveDisplay() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland"))
        return true; // offscreen, vnc, eglfs...: the platform brings its own screen
    if (platform.startsWith("xcb"))
        return !qEnvironmentVariableIsEmpty("DISPLAY");
    if (platform.startsWith("wayland"))
        return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "--help" || arg == "-h" || arg == "--version" || arg == "-v")
            qputenv("QT_QPA_PLATFORM", "offscreen"); // answering needs no screen
    }
    if (!HaveDisplay()) {
        std::fprintf(stderr,
                     "quillmark: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                     "  Start it on a desktop, or under a virtual display:  xvfb-run -a quillmark\n"
                     "  To stamp pictures without a window use quillmark-batch.\n");
        return EXIT_FAILURE;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quillmark"));
    QApplication::setApplicationVersion(QString::fromLatin1(kProgramVersion));
    QGuiApplication::setDesktopFileName(QStringLiteral("quillmark"));
    CStampApp stampApp;
    stampApp.InitInstance();
    return EXIT_SUCCESS;
}
