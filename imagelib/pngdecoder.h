#pragma once

#include "imagelib/imagedecoder.h"

// PNG files through libpng. Grey and palette files decode to 8 bits with a palette (the
// grey levels of the file's bit depth, or the file's PLTE), or to 32 bits on request;
// RGB, grey + alpha and RGBA files always to 32 bits, the latter two with the alpha flag.
// 16-bit samples keep their high byte; interlaced files decode like their twins.
//
// libpng errors raise code 2 with libpng's message and its warnings are ignored; a
// truncated stream ends in code 11 from the source.
class CPngDecoder : public CImageDecoder {
protected:
    void DecodeBody(CImageBitmap& bitmap, CPaletteHolder& paletteHolder, int& bitsPerPixel,
                    CImageSource& source) override;
};
