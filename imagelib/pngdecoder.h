#pragma once

#include "imagelib/imagedecoder.h"

// PNG files. Not built yet: every input raises code 6.
class CPngDecoder : public CImageDecoder {
protected:
    void DecodeBody(CImageBitmap& bitmap, CPaletteHolder& paletteHolder, int& bitsPerPixel,
                    CImageSource& source) override;
};
