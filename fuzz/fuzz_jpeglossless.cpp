// libFuzzer target: the coefficient path on arbitrary bytes. A stream it takes is stamped
// over a rectangle chosen by the input's first bytes, written, and must decode again.
#include "imagelib/jpegdecoder.h"
#include "imagelib/jpeglossless.h"
#include "imagelib/textexception.h"

#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CJpegLosslessStamper stamper; // reused, as a batch worker reuses it
    if (!stamper.Open(data, size))
        return 0;
    const int width = stamper.GetWidth(), height = stamper.GetHeight();
    const uint8_t pick = size > 4 ? data[4] : 0;
    const int x = width * (pick & 7) / 8 - 3, y = height * (pick >> 5) / 8 - 5;
    std::vector<uint8_t> out;
    try {
        stamper.ReplaceRegion(x, y, width / 3 + 9, height / 4 + 17,
                              [](CImageBitmap& region, int, int) {
                                  for (int row = 0; row < region.GetHeight(); ++row) {
                                      uint8_t* p = region.GetLines()[row];
                                      for (int i = 0; i < region.GetWidth() * 4; ++i)
                                          p[i] = uint8_t(255 - p[i]);
                                  }
                              });
        stamper.Write(nullptr, out);
    } catch (const CTextException&) {
        stamper.Close();
        return 0;
    }
    // What we wrote decodes, whole: a failure here escapes and is reported.
    CMemoryBitmap check;
    CJpegDecoder().DecodeMemory(out.data(), int(out.size()), check, 32);
    if (check.GetWidth() != width || check.GetHeight() != height)
        std::abort();
    return 0;
}
