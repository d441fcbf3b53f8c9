#pragma once

#include "imagelib/imageencoder.h"

// Non-interlaced PNG files through libpng: 32-bit bitmaps as 8-bit RGB, or RGBA when the
// bitmap has alpha; 8-bit bitmaps as palette files with a 256-entry PLTE; 1-bit bitmaps as
// 1-bit greyscale (white where the bitmap's palette is the lighter colour). The saved
// JPEG markers are not written.
//
// libpng errors raise code 6 with libpng's message; a full sink raises code 11.
class CPngEncoder : public CImageEncoder {
protected:
    void EncodeBody(const CImageBitmap& bitmap, CImageSink& sink) override;
};
