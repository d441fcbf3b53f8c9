// libFuzzer target: CJpegDecoder on arbitrary bytes.
#include "fuzzbitmap.h"
#include "imagelib/jpegdecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzDecode<CJpegDecoder>(data, size);
    return 0;
}
