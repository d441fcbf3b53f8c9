#pragma once

#include "imagelib/imagedecoder.h"

// JPEG files. Not built yet: every input raises code 6.
class CJpegDecoder : public CImageDecoder {
protected:
    void DecodeBody(CImageBitmap& bitmap, CPaletteHolder& paletteHolder, int& bitsPerPixel,
                    CImageSource& source) override;
};
