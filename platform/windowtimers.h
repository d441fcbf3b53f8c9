#pragma once

#include <QObject>

#include <functional>
#include <map>
#include <memory>

class QTimer;

// A window's timers by id. SetTimer (re)starts the timer of an id, KillTimer stops it; a
// timer repeats until killed, or fires once when started as one-shot. Each firing calls
// the handler with the id, on the thread that owns this object.
class CWindowTimers : public QObject {
    Q_OBJECT
public:
    explicit CWindowTimers(QObject* parent = nullptr);
    ~CWindowTimers() override;

    void SetHandler(std::function<void(int id)> handler) { m_handler = std::move(handler); }
    // Restarts the timer of id with the interval; returns id.
    int SetTimer(int id, int milliseconds, bool singleShot = false);
    // Stops it; false when no timer of that id runs.
    bool KillTimer(int id);
    bool IsActive(int id) const;

signals:
    void timeout(int id);

private:
    std::map<int, std::unique_ptr<QTimer>> m_timers;
    std::function<void(int)> m_handler;
};
