#include "app/splashwindow.h"

#include "platform/resourceloader.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace {

class CSplashWidget : public QWidget {
public:
    explicit CSplashWidget(QImage picture)
        : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::NoDropShadowWindowHint),
          m_picture(std::move(picture)) {
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_OpaquePaintEvent);
        setWindowTitle(QStringLiteral("quillmark"));
        setFixedSize(m_picture.size());
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawImage(QPoint(0, 0), m_picture);
    }

private:
    QImage m_picture;
};

} // namespace

CSplashWindow::CSplashWindow(int bitmapId) {
    QImage picture = LoadBitmapImage(bitmapId);
    if (picture.isNull())
        return;
    m_window = std::make_unique<CSplashWidget>(std::move(picture));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), m_window->size());
        frame.moveCenter(screen->geometry().center());
        m_window->move(frame.topLeft());
    }
}

CSplashWindow::~CSplashWindow() = default;

void CSplashWindow::Show() {
    if (!m_window)
        return;
    m_window->show();
    m_window->raise();
    m_window->repaint();
}

void CSplashWindow::Hide() {
    if (!m_window)
        return;
    m_window->hide();
    // Deleted later: the call may come from one of the window's own event handlers.
    m_window.release()->deleteLater();
}
