#pragma once

#include <QImage>
#include <QWidget>

#include <memory>

// The start-up picture: a frameless, top-most window without a taskbar entry, centred on
// the screen, showing a bitmap resource 1:1. It is shown once and, once hidden, never
// again. A bitmap that cannot be loaded means no window at all, silently.
class CSplashWindow {
public:
    explicit CSplashWindow(int bitmapId);
    ~CSplashWindow();
    CSplashWindow(const CSplashWindow&) = delete;
    CSplashWindow& operator=(const CSplashWindow&) = delete;

    // Shows and paints the window at once (nothing when there is none).
    void Show();
    // Destroys the window; nothing when it is gone already. Safe to call from an event
    // handler of the window itself.
    void Hide();
    // The window while it exists, else null.
    QWidget* GetWindow() const { return m_window.get(); }

private:
    std::unique_ptr<QWidget> m_window;
};
