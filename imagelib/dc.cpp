#include "imagelib/dc.h"

#include <QImage>
#include <QPainter>

int CDC::SetStretchBltMode(int mode) {
    if (mode < QM_BLACKONWHITE || mode > QM_HALFTONE)
        return 0;
    const int previous = m_stretchMode;
    m_stretchMode = mode;
    return previous;
}

bool CDC::StretchBlt(const CRectL& dest, const QImage& image, bool bottomUp, const CRectL& source,
                     uint32_t rop) const {
    if (rop != QM_SRCCOPY || image.isNull())
        return false;
    if (dest.Width() <= 0 || dest.Height() <= 0 || source.Width() <= 0 || source.Height() <= 0)
        return true;
    // The source rectangle in the image's own row numbering.
    const QRect from(source.left, bottomUp ? image.height() - source.bottom : source.top,
                     source.Width(), source.Height());
    const QRect to(0, 0, dest.Width(), dest.Height());
    QPainter& p = *m_painter;
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.translate(dest.left, bottomUp ? dest.bottom : dest.top);
    if (bottomUp)
        p.scale(1, -1);
    const bool scaled = from.size() != to.size();
    const bool reduces = from.width() > to.width() || from.height() > to.height();
    if (scaled && m_stretchMode == QM_HALFTONE && reduces) {
        // Area averaging happens in QImage::scaled; only the source part is scaled, and
        // copy() of a part outside the picture fills with zeros like an empty source.
        const QImage part = from == image.rect() ? image : image.copy(from);
        p.drawImage(QPoint(0, 0),
                    part.scaled(to.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    } else {
        p.setRenderHint(QPainter::SmoothPixmapTransform, scaled && m_stretchMode == QM_HALFTONE);
        p.drawImage(to, image, from);
    }
    p.restore();
    return true;
}
