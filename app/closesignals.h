#pragma once

#include <QObject>
#include <QPointer>

#include <csignal>

class QSocketNotifier;
class QWidget;

// Ends a window through its close sequence (settings and placement saved, a running batch
// stopped) when the process gets SIGTERM, SIGHUP or SIGINT, as at logout or on Ctrl+C in
// the terminal that started it. The handler only writes a byte into a pipe; the close runs
// in the window's thread when the event loop reads it; a second one of them ends the
// process as it would have without this object, after removing the temporaries of a batch
// in progress. SIGPIPE and SIGXFSZ are ignored meanwhile, so that a failed write fails with
// its reason instead of ending the program. The previous handlers come back when the
// object goes.
class CCloseOnSignals : public QObject {
public:
    explicit CCloseOnSignals(QWidget* window);
    ~CCloseOnSignals() override;

    CCloseOnSignals(const CCloseOnSignals&) = delete;
    CCloseOnSignals& operator=(const CCloseOnSignals&) = delete;

    static constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
    static constexpr int kIgnoredSignals[] = {SIGPIPE, SIGXFSZ};

private:
    void OnSignal();

    QPointer<QWidget> m_window;
    QSocketNotifier* m_notifier = nullptr;
    struct sigaction m_previous[3] = {};
    struct sigaction m_previousIgnored[2] = {};
    bool m_installed = false;
};
