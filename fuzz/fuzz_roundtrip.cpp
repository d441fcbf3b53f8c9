// libFuzzer target: whatever the format-recognising decoder accepts must encode as JPEG
// (with its saved markers) and as PNG into the buffers the encoding front end would give,
// and both results must decode again to a picture of the same size.
#include "fuzzbitmap.h"
#include "imagelib/autodetectdecoder.h"
#include "imagelib/imagesink.h"
#include "imagelib/jpegdecoder.h"
#include "imagelib/jpegencoder.h"
#include "imagelib/pngdecoder.h"
#include "imagelib/pngencoder.h"

#include <cstdlib>
#include <vector>

namespace {
class CBufferSink : public CImageSink {
public:
    explicit CBufferSink(int capacity) : m_storage(size_t(capacity)) {
        OpenCommon("fuzz", m_storage.data(), capacity);
    }

private:
    std::vector<uint8_t> m_storage;
};

// Encodes bitmap and decodes the result; any failure is a finding.
template <class Encoder, class Decoder>
void RoundTrip(Encoder& encoder, Decoder& decoder, const CImageBitmap& bitmap) {
    CBufferSink sink(encoder.GetSinkCapacity(bitmap));
    CFuzzBitmap again;
    try {
        encoder.Encode(bitmap, sink);
        decoder.DecodeMemory(sink.GetBuffer(), sink.GetPosition(), again, 32);
    } catch (const CTextException&) {
        std::abort();
    }
    if (again.GetWidth() != bitmap.GetWidth() || again.GetHeight() != bitmap.GetHeight())
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    static CAutoDetectDecoder decoder;
    static CJpegEncoder jpegEncoder;
    static CPngEncoder pngEncoder;
    static CJpegDecoder jpegDecoder;
    static CPngDecoder pngDecoder;
    // The last byte picks the quality (0 = libjpeg's default); the decoders ignore bytes
    // after the end of a picture, so the suites' files still serve as seeds.
    const int quality = data[size - 1] % 101;
    CFuzzBitmap bitmap;
    try {
        decoder.DecodeMemory(data, int(size), bitmap, 32);
    } catch (const CTextException&) {
        return 0;
    }
    // JPEG has no empty pictures and no more than 65500 pixels a side.
    if (bitmap.GetWidth() == 0 || bitmap.GetHeight() == 0 || bitmap.GetWidth() > 65500 ||
        bitmap.GetHeight() > 65500)
        return 0;
    jpegEncoder.SetQuality(quality);
    RoundTrip(jpegEncoder, jpegDecoder, bitmap);
    RoundTrip(pngEncoder, pngDecoder, bitmap);
    return 0;
}
