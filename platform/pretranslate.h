#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;
class QEvent;

// Pre-translation for a window: sees every key press and mouse-button press (client or
// frame, any button) meant for the window or any of its children, once, before the
// target widget handles it. The handler gets the widget the event is for; returning true
// swallows the event.
//
// Children created later are covered too: the hook follows ChildAdded events. Events for
// another top-level window (an owned dialog, menu or message box) are not passed on.
class CPreTranslateHook : public QObject {
    Q_OBJECT
public:
    using Handler = std::function<bool(QWidget* target, QEvent* event)>;

    CPreTranslateHook(QWidget* window, Handler handler);
    ~CPreTranslateHook() override;

    QWidget* GetWindow() const { return m_window; }

    // Whether an event is one the hook passes on: key presses and mouse-button presses.
    static bool IsPreTranslated(const QEvent* event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Watch(QObject* object);

    QPointer<QWidget> m_window;
    Handler m_handler;
    // The last event passed on; a propagated copy of it (same type, time and key or
    // position) is not passed on again.
    int m_lastType = 0;
    quint64 m_lastTimestamp = 0;
    int m_lastDetail = 0;
    bool m_haveLast = false;
};
