#include "controls/imagebuttonlayout.h"

#include <algorithm>

QPoint ResolveButtonPosition(QPoint p, QSize content, QSize client) {
    if (p.x() == -1)
        p.setX((client.width() - content.width()) >> 1);
    if (p.y() == -1)
        p.setY((client.height() - content.height()) >> 1);
    return p;
}

int FocusInset(const QRect& item) {
    const int smaller = std::min(item.width(), item.height());
    return (smaller & ~3) > 12 ? 3 : smaller / 4;
}

CImageButtonPlan PlanImageButton(const CImageButtonInput& in) {
    CImageButtonPlan plan;
    const int offset = in.pressed ? 1 : 0;
    const QSize client = in.item.size();
    if (in.hasIcon) {
        QPoint p = in.imagePosition;
        if (in.automaticLayout)
            p = in.hasText ? QPoint(in.imageMargin + in.item.left(), -1) : QPoint(-1, -1);
        plan.iconPosition = ResolveButtonPosition(p, in.imageSize, client) + QPoint(offset, offset);
    }
    if (in.hasText) {
        QPoint p = in.textPosition;
        if (in.automaticLayout) {
            if (in.hasIcon) {
                const int besides = in.textGap + in.imageSize.width() + in.imageMargin;
                const int room =
                    in.item.right() + 1 - besides - in.textSize.width() - in.item.left();
                p = QPoint(besides + std::max(0, room) / 2, -1);
            } else {
                p = QPoint(-1, -1);
            }
        }
        const bool centredY = p.y() == -1;
        p = ResolveButtonPosition(p, in.textSize, client);
        p += QPoint(offset, offset - (centredY ? 1 : 0));
        plan.textPosition = p;
    }
    plan.drawFocus = in.focused && !in.disabled;
    if (plan.drawFocus) {
        const int inset = FocusInset(in.item);
        plan.focusRect = in.item.adjusted(inset, inset, -inset, -inset);
    }
    return plan;
}
