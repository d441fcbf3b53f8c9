#include "platform/groupframe.h"

#include <QPainter>
#include <QStyle>

namespace {
// Where the title starts, and the gap the line leaves on each side of it.
constexpr int kTitleIndent = 6;
constexpr int kTitleGap = 2;
} // namespace

CGroupFrame::CGroupFrame(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

QRect CGroupFrame::GetFrameRect() const {
    const int top = fontMetrics().height() / 2;
    return rect().adjusted(0, top, 0, 0);
}

void CGroupFrame::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Drawn here, not by the style: the styles move a titled group box's frame down by the
    // title's height whatever rectangle they are given. Etched as the templates' frames
    // were: a dark line with a light one just inside and below it.
    const QRect frame = GetFrameRect();
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(frame.adjusted(0, 0, -kLineWidth, -kLineWidth));
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(frame.adjusted(1, 1, -1, -1));
    const QString text = title();
    if (text.isEmpty())
        return;
    const QFontMetrics metrics = fontMetrics();
    const QRect textRect(kTitleIndent, 0, metrics.horizontalAdvance(text) + 2 * kTitleGap,
                         metrics.height());
    painter.fillRect(textRect, palette().brush(backgroundRole()));
    style()->drawItemText(&painter, textRect, Qt::AlignCenter | Qt::TextShowMnemonic, palette(),
                          isEnabled(), text, QPalette::WindowText);
}
