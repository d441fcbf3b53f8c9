#include "platform/dialogunits.h"

#include <QRect>
#include <QWidget>

#include <cmath>

CDialogUnits::CDialogUnits(double logicalDpiX, double logicalDpiY)
    : m_baseX(6.0 * logicalDpiX / 96.0), m_baseY(13.0 * logicalDpiY / 96.0) {}

CDialogUnits CDialogUnits::ForWidget(const QWidget* widget) {
    if (!widget)
        return CDialogUnits();
    return CDialogUnits(widget->logicalDpiX(), widget->logicalDpiY());
}

int CDialogUnits::ToPixelsX(int units) const {
    return int(std::lround(units * m_baseX / 4.0));
}
int CDialogUnits::ToPixelsY(int units) const {
    return int(std::lround(units * m_baseY / 8.0));
}

QRect CDialogUnits::ToPixels(int x, int y, int cx, int cy) const {
    const int left = ToPixelsX(x);
    const int top = ToPixelsY(y);
    return QRect(left, top, ToPixelsX(x + cx) - left, ToPixelsY(y + cy) - top);
}
