#include "platform/pretranslate.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

CPreTranslateHook::CPreTranslateHook(QWidget* window, Handler handler)
    : QObject(window), m_window(window), m_handler(std::move(handler)) {
    Watch(window);
}

CPreTranslateHook::~CPreTranslateHook() = default;

void CPreTranslateHook::Watch(QObject* object) {
    if (!object->isWidgetType())
        return;
    object->installEventFilter(this);
    for (QObject* child : object->children())
        Watch(child);
}

bool CPreTranslateHook::IsPreTranslated(const QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonDblClick:
        return true;
    default:
        return false;
    }
}

bool CPreTranslateHook::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::ChildAdded) {
        Watch(static_cast<QChildEvent*>(event)->child());
        return false;
    }
    if (!IsPreTranslated(event) || !m_handler || !m_window)
        return false;
    // Dialogs, menus and message boxes owned by the window are children of it but windows
    // of their own: their keys are theirs (Escape, Alt+F4, Tab, the edit keys).
    if (static_cast<QWidget*>(watched)->window() != m_window->window())
        return false;
    auto* input = static_cast<QInputEvent*>(event);
    int detail = 0;
    if (event->type() == QEvent::KeyPress)
        detail = static_cast<QKeyEvent*>(event)->key();
    else
        detail = int(static_cast<QMouseEvent*>(event)->globalPosition().x()) * 65536 +
                 int(static_cast<QMouseEvent*>(event)->globalPosition().y());
    if (m_haveLast && m_lastType == event->type() && m_lastTimestamp == input->timestamp() &&
        m_lastDetail == detail && input->timestamp() != 0)
        return false;
    m_haveLast = true;
    m_lastType = event->type();
    m_lastTimestamp = input->timestamp();
    m_lastDetail = detail;
    return m_handler(static_cast<QWidget*>(watched), event);
}
