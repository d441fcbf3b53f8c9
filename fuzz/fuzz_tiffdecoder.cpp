// libFuzzer target: CTiffDecoder on arbitrary bytes.
#include "fuzzbitmap.h"
#include "imagelib/tiffdecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzDecode<CTiffDecoder>(data, size);
    return 0;
}
