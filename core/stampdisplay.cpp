#include "core/stampdisplay.h"

#include "imagelib/dibclipboard.h"
#include "imagelib/dibdisplay.h"
#include "imagelib/textexception.h"

#include <QImage>
#include <QPainter>

#include <cstdlib>

int DrawThroughMemoryDC(CDC& dc, CStampBitmap& bitmap, const CRectL* dest, const CRectL* source,
                        const std::vector<uint32_t>* palette, bool foreground, int stretchMode,
                        uint32_t rop) {
    (void)foreground;
    if (!palette)
        bitmap.GetLogicalPalette(); // created on first use, as a palette device would need
    const CRectL from = source ? *source : CRectL{0, 0, bitmap.GetWidth(), bitmap.GetHeight()};
    const CRectL to = dest ? *dest : from;
    int previous = 0;
    if (stretchMode != 0)
        previous = dc.SetStretchBltMode(stretchMode < 0 ? QM_HALFTONE : stretchMode);
    const bool ok = BlitDIB(dc, bitmap, {to, from}, rop);
    if (previous)
        dc.SetStretchBltMode(previous);
    return ok ? 1 : 0;
}

namespace {
int Halftone(CDC& dc, CStampBitmap& bitmap, const CBlit& blit) {
    return DrawThroughMemoryDC(dc, bitmap, &blit.dest, &blit.source, nullptr, true, -1, QM_SRCCOPY);
}
} // namespace

int Draw(CDC& dc, CStampBitmap& bitmap, int x, int y, uint32_t) {
    return Halftone(dc, bitmap, DrawBlit(bitmap.GetWidth(), bitmap.GetHeight(), x, y));
}

int StretchDraw(CDC& dc, CStampBitmap& bitmap, int x, int y, int w, int h, uint32_t) {
    return Halftone(dc, bitmap, StretchDrawBlit(bitmap.GetWidth(), bitmap.GetHeight(), x, y, w, h));
}

int ScaledDraw(CDC& dc, CStampBitmap& bitmap, int x, int y, double factor, uint32_t) {
    return Halftone(dc, bitmap,
                    ScaledDrawBlit(bitmap.GetWidth(), bitmap.GetHeight(), x, y, factor));
}

int DrawPart(CDC& dc, CStampBitmap& bitmap, int x, int y, int left, int top, int right,
             int bottom) {
    const CBlit blit{{x, y, x + std::abs(right - left), y + std::abs(bottom - top)},
                     {left, top, right, bottom}};
    return Halftone(dc, bitmap, blit);
}

bool CopyToClipboard(const CStampBitmap& bitmap) {
    if (bitmap.GetWidth() <= 0 || bitmap.GetHeight() <= 0)
        return false;
    try {
        // A DIB copy at the picture's own depth, drawn into a screen-like picture.
        CDIBBitmap copy;
        copy.ConvertFrom(bitmap, 0);
        QImage screen(bitmap.GetWidth(), bitmap.GetHeight(), QImage::Format_RGB32);
        if (screen.isNull())
            return false;
        screen.fill(Qt::black);
        {
            QPainter painter(&screen);
            CDC dc(painter);
            if (!Draw(dc, copy, 0, 0, QM_SRCCOPY))
                return false;
        }
        return SetClipboardImage(screen);
    } catch (const CTextException&) {
        return false;
    }
}
