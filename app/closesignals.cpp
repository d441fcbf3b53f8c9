#include "app/closesignals.h"

#include "imagelib/outputfile.h"

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
volatile std::sig_atomic_t g_received = 0;

extern "C" void WriteSignalByte(int signal) {
    g_received = g_received + 1;
    if (g_received > 1) {
        // The second one ends the program at once, should the close sequence ever hang,
        // as it would have ended without us; a batch in progress leaves no temporary.
        COutputFile::RemoveLiveTemporaries();
        ::signal(signal, SIG_DFL);
        ::raise(signal);
        return;
    }
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
    g_received = 0;
    struct sigaction action {};
    action.sa_handler = WriteSignalByte;
    sigemptyset(&action.sa_mask);
    for (const int signal : kSignals)
        sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &action, &m_previous[i]);
    // Writing must not end the program: a file size limit fails the output it stops
    // ("File too large") and a closed pipe fails that write, as they do for the batch.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    for (size_t i = 0; i < std::size(kIgnoredSignals); ++i)
        ::sigaction(kIgnoredSignals[i], &ignore, &m_previousIgnored[i]);
    m_installed = true;
}

CCloseOnSignals::~CCloseOnSignals() {
    if (!m_installed)
        return;
    for (size_t i = 0; i < std::size(kSignals); ++i)
        ::sigaction(kSignals[i], &m_previous[i], nullptr);
    for (size_t i = 0; i < std::size(kIgnoredSignals); ++i)
        ::sigaction(kIgnoredSignals[i], &m_previousIgnored[i], nullptr);
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
