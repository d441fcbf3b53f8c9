#include "imagelib/pngdecoder.h"

#include "imagelib/trace.h"

void CPngDecoder::DecodeBody(CImageBitmap&, CPaletteHolder&, int&, CImageSource&) {
    RaiseDecoderError(6, "Library not compiled for this file type.");
}
