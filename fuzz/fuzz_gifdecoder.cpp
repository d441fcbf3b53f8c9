// libFuzzer target: CGifDecoder on arbitrary bytes.
#include "fuzzbitmap.h"
#include "imagelib/gifdecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzDecode<CGifDecoder>(data, size);
    return 0;
}
