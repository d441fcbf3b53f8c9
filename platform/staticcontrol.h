#pragma once

#include <QLabel>

// A static control: text (wrapped at word boundaries, aligned at the top like the window
// system's statics), an icon, or an empty area. With the notify style it reports clicks
// and double clicks; without it, mouse presses go on to the parent, so a page can handle
// the mouse over it.
class CStaticControl : public QLabel {
    Q_OBJECT
public:
    explicit CStaticControl(QWidget* parent = nullptr);

    void SetNotify(bool notify);
    bool IsNotify() const { return m_notify; }

signals:
    void clicked();
    void doubleClicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    bool m_notify = false;
    bool m_pressed = false;
};
