#include "app/closesignals.h"

#include <QApplication>
#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include <iterator>

namespace {

// One pipe for the process: a signal handler can reach nothing else safely.
int g_pipe[2] = {-1, -1};

extern "C" void WriteSignalByte(int signal) {
    const int saved = errno;
    const char byte = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

CCloseOnSignals::CCloseOnSignals(QWidget* window) : QObject(window), m_window(window) {
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_pipe[0] = g_pipe[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CCloseOnSignals::OnSignal);
    struct sigaction action {};
    action.sa_handler = WriteSignalByte;
    sigemptyset(&action.sa_mask);
    // A second signal ends the program at once, should the close sequence ever hang.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &action, &m_previous[i]);
    m_installed = true;
}

CCloseOnSignals::~CCloseOnSignals() {
    if (!m_installed)
        return;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &m_previous[i], nullptr);
}

void CCloseOnSignals::OnSignal() {
    char bytes[16];
    while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {
    }
    // Closing a window that is already closing changes nothing; a modal dialog of the
    // window (a message box, the info dialog) would hold the close back, so it goes first.
    if (!m_window)
        return;
    for (QWidget* modal = QApplication::activeModalWidget(); modal && modal != m_window;
         modal = QApplication::activeModalWidget()) {
        modal->close();
        if (QApplication::activeModalWidget() == modal)
            break;
    }
    m_window->close();
}
