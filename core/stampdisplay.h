#pragma once

#include "core/stampbitmap.h"
#include "imagelib/dc.h"

#include <cstdint>
#include <vector>

// Drawing of CStampBitmap: every form goes through DrawThroughMemoryDC, which smooths
// reductions (halftone) unless told otherwise. Overloads on CStampBitmap, so a caller that
// holds one gets these forms rather than the section's.

// Copies source (null: the whole bitmap) onto dest (null: the source rectangle) of dc.
// stretchMode < 0: halftone; 0: the context's own mode; > 0: that mode, for this copy only.
// palette and foreground select a logical palette on palette devices; targets here are
// true-colour, so they change nothing and are kept for callers written against them.
// Returns 1 on success, 0 on failure (unsupported depth or raster operation).
int DrawThroughMemoryDC(CDC& dc, CStampBitmap& bitmap, const CRectL* dest, const CRectL* source,
                        const std::vector<uint32_t>* palette, bool foreground, int stretchMode,
                        uint32_t rop);

// The four forms with halftone stretching; the raster operation is ignored (always a copy).
int Draw(CDC& dc, CStampBitmap& bitmap, int x, int y, uint32_t rop = QM_SRCCOPY);
int StretchDraw(CDC& dc, CStampBitmap& bitmap, int x, int y, int w, int h,
                uint32_t rop = QM_SRCCOPY);
int ScaledDraw(CDC& dc, CStampBitmap& bitmap, int x, int y, double factor,
               uint32_t rop = QM_SRCCOPY);
// The part (left, top, right, bottom) at (x, y); a part given right-to-left or
// bottom-to-top still covers abs(right - left) x abs(bottom - top) pixels.
int DrawPart(CDC& dc, CStampBitmap& bitmap, int x, int y, int left, int top, int right, int bottom);

// Puts a copy of the picture on the clipboard as a picture of the screen's depth. False
// when there is no clipboard or nothing to copy.
bool CopyToClipboard(const CStampBitmap& bitmap);
