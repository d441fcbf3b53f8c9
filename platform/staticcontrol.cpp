#include "platform/staticcontrol.h"

#include <QMouseEvent>

CStaticControl::CStaticControl(QWidget* parent) : QLabel(parent) {
    setWordWrap(true);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextFormat(Qt::PlainText);
}

void CStaticControl::SetNotify(bool notify) {
    m_notify = notify;
}

void CStaticControl::mousePressEvent(QMouseEvent* event) {
    if (!m_notify || event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    m_pressed = true;
    event->accept();
}

void CStaticControl::mouseReleaseEvent(QMouseEvent* event) {
    if (!m_notify) {
        event->ignore();
        return;
    }
    const bool click =
        m_pressed && event->button() == Qt::LeftButton && rect().contains(event->pos());
    m_pressed = false;
    event->accept();
    if (click)
        emit clicked();
}

void CStaticControl::mouseDoubleClickEvent(QMouseEvent* event) {
    if (!m_notify) {
        event->ignore();
        return;
    }
    event->accept();
    emit doubleClicked();
}
