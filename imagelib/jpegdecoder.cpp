#include "imagelib/jpegdecoder.h"

#include "imagelib/trace.h"

void CJpegDecoder::DecodeBody(CImageBitmap&, CPaletteHolder&, int&, CImageSource&) {
    RaiseDecoderError(6, "Library not compiled for this file type.");
}
