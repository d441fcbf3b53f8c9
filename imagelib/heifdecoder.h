#pragma once

#include "imagelib/imagedecoder.h"

// HEIF (HEIC) and AVIF files through libheif: the primary image at 32 bits per pixel, with
// the alpha flag when it has an alpha channel. libheif applies the file's own rotation,
// mirror and crop, so the pixels come out as they are shown; the EXIF block is kept as an
// APP1 marker with its orientation set to 1, so nothing turns them a second time. A colour
// profile (ICC) is kept; 10- and 12-bit samples are reduced to 8 with rounding.
//
// Every libheif failure raises code 2 with libheif's message (code 6 where a feature or the
// decoder for the file's codec is missing).
class CHeifDecoder : public CImageDecoder {
protected:
    void DecodeBody(CImageBitmap& bitmap, CPaletteHolder& paletteHolder, int& bitsPerPixel,
                    CImageSource& source) override;
};
