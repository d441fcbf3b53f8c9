#pragma once

#include "imagelib/drawgeometry.h"

#include <cstdint>

class QPainter;
class QImage;

// Stretch modes and the one raster operation the program draws with.
enum : int {
    QM_BLACKONWHITE = 1,
    QM_WHITEONBLACK = 2,
    QM_COLORONCOLOR = 3,
    QM_HALFTONE = 4,
};
inline constexpr uint32_t QM_SRCCOPY = 0x00CC0020;

// A device context of ours: the painter that draws and the stretch mode that decides how
// scaled copies look. HALFTONE smooths: a reduction averages the covered source area, an
// enlargement interpolates. Every other mode copies the nearest source pixel, so
// enlarged pixels show square. The painter is not owned and must outlive the context.
class CDC {
public:
    explicit CDC(QPainter& painter) : m_painter(&painter) {}

    QPainter& GetPainter() const { return *m_painter; }
    // Returns the previous mode; 0 (and no change) for an unknown mode.
    int SetStretchBltMode(int mode);
    int GetStretchBltMode() const { return m_stretchMode; }

    // Copies the source rectangle of image (rows counted from the top of the picture)
    // onto the destination rectangle. bottomUp: the image's row 0 is the picture's bottom
    // row, as the DIB kinds store them; the copy flips it upright without copying the
    // picture. Only SRCCOPY is supported (false for any other raster operation); empty or
    // negative rectangles draw nothing and succeed. Alpha is ignored: pixels are copied
    // opaque.
    bool StretchBlt(const CRectL& dest, const QImage& image, bool bottomUp, const CRectL& source,
                    uint32_t rop) const;

private:
    QPainter* m_painter;
    int m_stretchMode = QM_BLACKONWHITE;
};
