#include "app/hotstatic.h"

#include "platform/shell.h"

#include <QMouseEvent>
#include <QPainter>

CHotStatic::CHotStatic(QWidget* parent) : CStaticControl(parent) {
    SetNotify(true);
    setMouseTracking(true);
    connect(this, &CStaticControl::clicked, this, &CHotStatic::OpenAddress);
}

QColor CHotStatic::GetTextColour() const {
    if (m_hovering)
        return QColor::fromRgb(kHoverColour);
    return QColor::fromRgb(m_visited ? kVisitedColour : kNormalColour);
}

bool CHotStatic::OpenAddress() {
    const QString address = m_address.isEmpty() ? text() : m_address;
    if (!ShellOpen(address)) {
        MessageBeep();
        return false;
    }
    m_visited = true;
    update();
    return true;
}

const QFont& CHotStatic::LinkFont() {
    if (!m_linkFont) {
        QFont font = this->font();
        font.setUnderline(true);
        m_linkFont = font;
    }
    return *m_linkFont;
}

void CHotStatic::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setFont(LinkFont());
    painter.setPen(GetTextColour());
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text());
}

void CHotStatic::mouseMoveEvent(QMouseEvent* event) {
    CStaticControl::mouseMoveEvent(event);
    if (m_tracking)
        return;
    m_tracking = true;
    m_hovering = true;
    repaint();
}

void CHotStatic::leaveEvent(QEvent* event) {
    CStaticControl::leaveEvent(event);
    m_tracking = false;
    if (m_hovering) {
        m_hovering = false;
        repaint();
    }
}
