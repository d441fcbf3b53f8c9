// libFuzzer target: CWebpDecoder on arbitrary bytes.
#include "fuzzbitmap.h"
#include "imagelib/webpdecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzDecode<CWebpDecoder>(data, size);
    return 0;
}
