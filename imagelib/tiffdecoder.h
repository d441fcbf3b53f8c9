#pragma once

#include "imagelib/imagedecoder.h"

// TIFF files through libtiff: the first page at 32 bits per pixel, whatever its samples
// (1 to 16 bits, grey, RGB, palette, CMYK converted to RGB, YCbCr) and compression, as far as
// libtiff's RGBA interface reads them. Alpha, associated or not, becomes straight alpha with
// the alpha flag. The pixels stay in their stored grid; the Orientation tag travels as a
// small EXIF block among the markers, so it is followed like a JPEG's. The ICC profile is
// kept.
//
// Every libtiff error raises code 2 with libtiff's message (code 6 for a kind of file its
// RGBA interface cannot read); its warnings are dropped. Nothing of libtiff's is printed.
class CTiffDecoder : public CImageDecoder {
protected:
    void DecodeBody(CImageBitmap& bitmap, CPaletteHolder& paletteHolder, int& bitsPerPixel,
                    CImageSource& source) override;
};
