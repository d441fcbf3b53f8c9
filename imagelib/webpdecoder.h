#pragma once

#include "imagelib/imagedecoder.h"

// WebP files through libwebp, lossy or lossless, at 32 bits per pixel; a file with alpha
// sets the alpha flag (straight alpha, as PNG photos have it). An animated file gives its
// first frame on the full canvas. The EXIF chunk is kept as an APP1 marker and the ICCP
// chunk as the colour profile.
//
// libwebp failures raise code 2 with libwebp's status (code 6 for a feature it does not
// support); a truncated file raises code 11.
class CWebpDecoder : public CImageDecoder {
protected:
    void DecodeBody(CImageBitmap& bitmap, CPaletteHolder& paletteHolder, int& bitsPerPixel,
                    CImageSource& source) override;
};
