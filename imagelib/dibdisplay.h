#pragma once

#include "imagelib/dc.h"
#include "imagelib/dibbitmap.h"

#include <cstdint>

class QImage;

// Drawing of the DIB kinds onto a CDC, and their exchange with Qt images.
//
// The operations are free functions overloaded on the kind; called with the static type a
// caller holds, they pick the kind's own drawing just as its virtual operations would.
// Results: the DIB forms return the number of rows drawn (0 on failure), the section forms
// 1 on success and 0 on failure. Drawable depths are 1, 8 and 32 bits per pixel; others
// draw nothing and report 0.
//
// Rows are not copied where that can be avoided: 1- and 8-bit rows are wrapped where they
// lie and flipped upright by the painter. 32-bit rows are copied once, for the source
// rectangle only, because their fourth byte is an alpha value that a copy must ignore
// while Qt's opaque 32-bit format would carry it into the target.

// -- CDIBBitmap: the whole bitmap 1:1, stretched, scaled, or a part 1:1. The DIB forms
// copy without smoothing whatever the context's stretch mode is not HALFTONE.
int Draw(CDC& dc, const CDIBBitmap& bitmap, int x, int y, uint32_t rop = QM_SRCCOPY);
int StretchDraw(CDC& dc, const CDIBBitmap& bitmap, int x, int y, int w, int h,
                uint32_t rop = QM_SRCCOPY);
int ScaledDraw(CDC& dc, const CDIBBitmap& bitmap, int x, int y, double factor,
               uint32_t rop = QM_SRCCOPY);
int DrawPart(CDC& dc, const CDIBBitmap& bitmap, int x, int y, int left, int top, int right,
             int bottom);

// -- CDIBSectionBitmap: Draw and DrawPart go through the section (its palette applied
// through the colour table); StretchDraw and ScaledDraw are the DIB forms.
int Draw(CDC& dc, const CDIBSectionBitmap& bitmap, int x, int y, uint32_t rop = QM_SRCCOPY);
int DrawPart(CDC& dc, const CDIBSectionBitmap& bitmap, int x, int y, int left, int top, int right,
             int bottom);

// The common step: copies blit.source of the bitmap onto blit.dest with the context's
// stretch mode. False when nothing could be drawn.
bool BlitDIB(CDC& dc, const CDIBBitmap& bitmap, const CBlit& blit, uint32_t rop);

// An upright, independent copy of the bitmap as a Qt image: 1- and 8-bit bitmaps as
// indexed images with their palette, every other depth as 32-bit RGB (alpha dropped). Null
// for an empty bitmap or a depth that cannot be read.
QImage ToQImage(const CDIBBitmap& bitmap);

// Makes bitmap a copy of image, converted as a screen bitmap handed over by the system
// would be: indexed images of up to 256 colours keep 8 bits (1 bit for monochrome ones)
// with their colour table, everything else becomes 32 bits per pixel. Throws code 10 on
// allocation failure; a null image gives code 2.
void CreateFromQImage(CDIBBitmap& bitmap, const QImage& image);
