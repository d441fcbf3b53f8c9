#include "platform/windowtimers.h"

#include <QTimer>

CWindowTimers::CWindowTimers(QObject* parent) : QObject(parent) {}
CWindowTimers::~CWindowTimers() = default;

int CWindowTimers::SetTimer(int id, int milliseconds, bool singleShot) {
    std::unique_ptr<QTimer>& timer = m_timers[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        connect(timer.get(), &QTimer::timeout, this, [this, id] {
            emit timeout(id);
            if (m_handler)
                m_handler(id);
        });
    }
    timer->setSingleShot(singleShot);
    timer->start(milliseconds);
    return id;
}

bool CWindowTimers::KillTimer(int id) {
    const auto it = m_timers.find(id);
    if (it == m_timers.end() || !it->second->isActive())
        return false;
    it->second->stop();
    return true;
}

bool CWindowTimers::IsActive(int id) const {
    const auto it = m_timers.find(id);
    return it != m_timers.end() && it->second->isActive();
}
