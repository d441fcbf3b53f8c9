#include "platform/groupframe.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

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
    QStyleOptionFrame frame;
    frame.initFrom(this);
    frame.rect = GetFrameRect();
    frame.lineWidth = 1;
    frame.midLineWidth = 0;
    style()->drawPrimitive(QStyle::PE_FrameGroupBox, &frame, &painter, this);
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
