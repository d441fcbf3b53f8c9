// libFuzzer target: any byte string through the format-recognising decoder, at the
// natural depth and at 32 bits; small pictures that decode go once more through the BMP
// encoder and decoder. Every input must end in a picture or a CTextException.

#include "imagelib/autodetectdecoder.h"
#include "imagelib/bmpdecoder.h"
#include "imagelib/bmpencoder.h"
#include "imagelib/dibbitmap.h"
#include "imagelib/textexception.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

class CVectorSink : public CImageSink {
public:
    explicit CVectorSink(int capacity) : m_storage(size_t(capacity)) {
        OpenCommon("fuzz", m_storage.data(), capacity);
    }

private:
    std::vector<uint8_t> m_storage;
};

// Reads the first and last pixel byte of every row, so that a line table pointing
// outside the storage shows (every byte would make big pictures too slow to fuzz).
uint32_t Touch(const CImageBitmap& bitmap) {
    uint32_t sum = 0;
    const int64_t bytes =
        CImageBitmap::PixelBytesPerRow(bitmap.GetWidth(), bitmap.GetBitsPerPixel());
    if (bytes == 0)
        return 0;
    for (int y = 0; y < bitmap.GetHeight(); ++y) {
        const uint8_t* line = bitmap.GetLines()[y];
        sum += line[0] + line[bytes - 1];
    }
    return sum;
}

void RoundTrip(const CImageBitmap& bitmap) {
    if (int64_t(bitmap.GetWidth()) * bitmap.GetHeight() > (1 << 20))
        return;
    CBmpEncoder encoder;
    CVectorSink sink(encoder.GetSinkCapacity(bitmap));
    encoder.Encode(bitmap, sink);
    CBmpDecoder decoder;
    CMemoryBitmap again;
    decoder.DecodeMemory(sink.GetBuffer(), sink.GetPosition(), again, 0);
    if (again.GetWidth() != bitmap.GetWidth() || again.GetHeight() != bitmap.GetHeight())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > size_t(INT_MAX))
        return 0;
    // One decoder for every input, as the batch job uses it.
    static CAutoDetectDecoder decoder;
    static volatile uint32_t sink;
    for (int bitsPerPixel : {0, 32}) {
        CDIBSectionBitmap bitmap;
        try {
            decoder.DecodeMemory(data, int(size), bitmap, bitsPerPixel);
        } catch (const CTextException&) {
            continue;
        }
        sink = sink + Touch(bitmap);
        RoundTrip(bitmap);
    }
    return 0;
}
