#pragma once

#include "imagelib/imagedecoder.h"

// Windows bitmap files: 1, 4, 8 bits with palette, RLE4, RLE8, 16 bits (5-5-5, 5-6-5 and
// other masks), 24 and 32 bits; info headers of 40 bytes and longer (V4, V5) and the
// 12-byte OS/2 core header; bottom-up and top-down rows. Palette inputs decode to 8 bits
// (or 32 on request), the others to 32 bits; a request for 8 bits from a deeper file is
// answered by quantising the 32-bit picture.
class CBmpDecoder : public CImageDecoder {
protected:
    void DecodeBody(CImageBitmap& bitmap, CPaletteHolder& paletteHolder, int& bitsPerPixel,
                    CImageSource& source) override;
};
