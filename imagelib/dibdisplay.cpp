#include "imagelib/dibdisplay.h"

#include "imagelib/textexception.h"

#include <QImage>

#include <cstring>

namespace {

QList<QRgb> OpaqueColourTable(const CDIBBitmap& bitmap) {
    const int bpp = bitmap.GetBitsPerPixel();
    QList<QRgb> table(1 << bpp);
    const uint32_t* palette = bitmap.GetPalette();
    for (int i = 0; i < table.size(); ++i)
        table[i] = (palette ? palette[i] : 0u) | 0xFF000000u;
    return table;
}

// The rows of a 1- or 8-bit bitmap as an image whose row 0 is the bottom row; it points
// into the bitmap, which must outlive it and is never written through it.
QImage WrapBottomUp(const CDIBBitmap& bitmap) {
    const int bpp = bitmap.GetBitsPerPixel();
    QImage image(const_cast<uint8_t*>(bitmap.GetBits()), bitmap.GetWidth(), bitmap.GetHeight(),
                 bitmap.GetBytesPerLine(),
                 bpp == 1 ? QImage::Format_Mono : QImage::Format_Indexed8);
    image.setColorTable(OpaqueColourTable(bitmap));
    return image;
}

// An upright RGB32 copy of a part of a 32-bit bitmap; parts of the rectangle outside the
// bitmap stay black.
QImage CopyPart32(const CDIBBitmap& bitmap, const CRectL& part) {
    QImage image(part.Width(), part.Height(), QImage::Format_RGB32);
    if (image.isNull())
        return image;
    image.fill(0xFF000000u);
    const uint8_t* const* lines = bitmap.GetLines();
    for (int y = 0; y < part.Height(); ++y) {
        const int sy = part.top + y;
        if (sy < 0 || sy >= bitmap.GetHeight())
            continue;
        const uint32_t* in = reinterpret_cast<const uint32_t*>(lines[sy]);
        uint32_t* out = reinterpret_cast<uint32_t*>(image.scanLine(y));
        for (int x = 0; x < part.Width(); ++x) {
            const int sx = part.left + x;
            if (sx >= 0 && sx < bitmap.GetWidth())
                out[x] = in[sx] | 0xFF000000u;
        }
    }
    return image;
}

} // namespace

bool BlitDIB(CDC& dc, const CDIBBitmap& bitmap, const CBlit& blit, uint32_t rop) {
    const int bpp = bitmap.GetBitsPerPixel();
    if (!bitmap.GetBits() || bitmap.GetWidth() <= 0 || bitmap.GetHeight() <= 0)
        return false;
    if (bpp == 1 || bpp == 8)
        return dc.StretchBlt(blit.dest, WrapBottomUp(bitmap), true, blit.source, rop);
    if (bpp != 32)
        return false;
    if (blit.source.Width() <= 0 || blit.source.Height() <= 0 || blit.dest.Width() <= 0 ||
        blit.dest.Height() <= 0)
        return rop == QM_SRCCOPY;
    const QImage part = CopyPart32(bitmap, blit.source);
    if (part.isNull())
        return false;
    return dc.StretchBlt(blit.dest, part, false, {0, 0, part.width(), part.height()}, rop);
}

int Draw(CDC& dc, const CDIBBitmap& bitmap, int x, int y, uint32_t rop) {
    const bool ok = BlitDIB(dc, bitmap, DrawBlit(bitmap.GetWidth(), bitmap.GetHeight(), x, y), rop);
    return ok ? bitmap.GetHeight() : 0;
}

int StretchDraw(CDC& dc, const CDIBBitmap& bitmap, int x, int y, int w, int h, uint32_t rop) {
    const bool ok = BlitDIB(
        dc, bitmap, StretchDrawBlit(bitmap.GetWidth(), bitmap.GetHeight(), x, y, w, h), rop);
    return ok ? bitmap.GetHeight() : 0;
}

int ScaledDraw(CDC& dc, const CDIBBitmap& bitmap, int x, int y, double factor, uint32_t rop) {
    const CBlit blit = ScaledDrawBlit(bitmap.GetWidth(), bitmap.GetHeight(), x, y, factor);
    return BlitDIB(dc, bitmap, blit, rop) ? bitmap.GetHeight() : 0;
}

int DrawPart(CDC& dc, const CDIBBitmap& bitmap, int x, int y, int left, int top, int right,
             int bottom) {
    const CBlit blit = DrawPartBlit(x, y, left, top, right, bottom);
    return BlitDIB(dc, bitmap, blit, QM_SRCCOPY) ? bitmap.GetHeight() : 0;
}

int Draw(CDC& dc, const CDIBSectionBitmap& bitmap, int x, int y, uint32_t rop) {
    return BlitDIB(dc, bitmap, DrawBlit(bitmap.GetWidth(), bitmap.GetHeight(), x, y), rop) ? 1 : 0;
}

int DrawPart(CDC& dc, const CDIBSectionBitmap& bitmap, int x, int y, int left, int top, int right,
             int bottom) {
    return BlitDIB(dc, bitmap, DrawPartBlit(x, y, left, top, right, bottom), QM_SRCCOPY) ? 1 : 0;
}

QImage ToQImage(const CDIBBitmap& bitmap) {
    const int bpp = bitmap.GetBitsPerPixel();
    if (!bitmap.GetBits() || bitmap.GetWidth() <= 0 || bitmap.GetHeight() <= 0)
        return {};
    if (bpp == 1 || bpp == 8)
        return WrapBottomUp(bitmap).mirrored(false, true);
    if (bpp != 32)
        return {};
    return CopyPart32(bitmap, {0, 0, bitmap.GetWidth(), bitmap.GetHeight()});
}

void CreateFromQImage(CDIBBitmap& bitmap, const QImage& source) {
    if (source.isNull())
        throw CTextException(2, "Clipboard: the image is empty.");
    QImage image = source;
    int bpp = 32;
    if (image.format() == QImage::Format_Mono || image.format() == QImage::Format_MonoLSB) {
        image = image.convertToFormat(QImage::Format_Mono);
        bpp = 1;
    } else if (image.format() == QImage::Format_Indexed8) {
        bpp = 8;
    } else {
        image = image.convertToFormat(QImage::Format_RGB32);
    }
    if (image.isNull())
        throw CTextException(10, "Out of memory creating bitmap.");
    bitmap.Create(image.width(), image.height(), uint16_t(bpp), false);
    if (bpp <= 8) {
        const QList<QRgb> table = image.colorTable();
        uint32_t* palette = bitmap.GetPalette();
        for (int i = 0; i < (1 << bpp); ++i)
            palette[i] = (i < table.size() ? table[i] : 0u) | 0xFF000000u;
    }
    const size_t rowBytes = size_t(CImageBitmap::PixelBytesPerRow(image.width(), bpp));
    bitmap.BeginAccess(false, true);
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(bitmap.GetLines()[y], image.constScanLine(y), rowBytes);
    bitmap.EndAccess();
}
