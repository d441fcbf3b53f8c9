#include "imagelib/gifdecoder.h"

#include "imagelib/trace.h"

void CGifDecoder::DecodeBody(CImageBitmap&, CPaletteHolder&, int&, CImageSource&) {
    RaiseDecoderError(6, "Library not compiled for this file type.");
}
