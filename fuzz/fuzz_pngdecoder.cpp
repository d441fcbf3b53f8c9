// libFuzzer target: CPngDecoder on arbitrary bytes.
#include "fuzzbitmap.h"
#include "imagelib/pngdecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzDecode<CPngDecoder>(data, size);
    return 0;
}
