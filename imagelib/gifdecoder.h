#pragma once

#include "imagelib/imagedecoder.h"

// GIF files. Not built yet: every input raises code 6.
class CGifDecoder : public CImageDecoder {
protected:
    void DecodeBody(CImageBitmap& bitmap, CPaletteHolder& paletteHolder, int& bitsPerPixel,
                    CImageSource& source) override;
};
