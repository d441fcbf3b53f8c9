#pragma once

class QRect;
class QWidget;

// Dialog units to pixels with fixed base units: 4 horizontal units are 6 pixels and 8
// vertical units 13 pixels at 96 dpi, scaled by the screen's logical dpi. A conversion
// rounds to the nearest pixel (halves away from zero), as the window system's dialog
// manager does, so a rectangle's edges land where the template puts them.
class CDialogUnits {
public:
    explicit CDialogUnits(double logicalDpiX = 96.0, double logicalDpiY = 96.0);
    // The dpi of the screen the widget shows on (96 without a screen).
    static CDialogUnits ForWidget(const QWidget* widget);

    int ToPixelsX(int units) const;
    int ToPixelsY(int units) const;
    // x and width scale horizontally, y and height vertically; the right and bottom edges
    // are converted on their own, so adjacent controls stay adjacent.
    QRect ToPixels(int x, int y, int cx, int cy) const;

    double BaseUnitX() const { return m_baseX; } // pixels per 4 horizontal units
    double BaseUnitY() const { return m_baseY; } // pixels per 8 vertical units

private:
    double m_baseX;
    double m_baseY;
};
