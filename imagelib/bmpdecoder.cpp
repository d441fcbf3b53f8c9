#include "imagelib/bmpdecoder.h"

#include "imagelib/trace.h"

void CBmpDecoder::DecodeBody(CImageBitmap&, CPaletteHolder&, int&, CImageSource&) {
    RaiseDecoderError(6, "Library not compiled for this file type.");
}
