// libFuzzer target: CHeifDecoder on arbitrary bytes.
#include "fuzzbitmap.h"
#include "imagelib/heifdecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzDecode<CHeifDecoder>(data, size);
    return 0;
}
