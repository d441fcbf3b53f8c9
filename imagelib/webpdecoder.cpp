#include "imagelib/webpdecoder.h"

#include "imagelib/codecrows.h"
#include "imagelib/exiforientation.h"
#include "imagelib/iccprofile.h"
#include "imagelib/textexception.h"
#include "imagelib/trace.h"

#include <webp/decode.h>
#include <webp/demux.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

struct WebpRelease {
    void operator()(WebPDemuxer* demux) const { WebPDemuxDelete(demux); }
    void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};

[[noreturn]] void RaiseStatus(VP8StatusCode status) {
    switch (status) {
    case VP8_STATUS_NOT_ENOUGH_DATA:
        throw CTextException(11, "End of file reached while decoding.\n");
    case VP8_STATUS_OUT_OF_MEMORY:
        throw CTextException(10, "Out of memory.");
    case VP8_STATUS_UNSUPPORTED_FEATURE:
        RaiseDecoderError(6, "WebP: unsupported feature");
    case VP8_STATUS_INVALID_PARAM:
        RaiseDecoderError(2, "WebP: invalid parameter");
    case VP8_STATUS_SUSPENDED:
    case VP8_STATUS_USER_ABORT:
        RaiseDecoderError(2, "WebP: decoding stopped");
    default:
        RaiseDecoderError(2, "WebP: bitstream error");
    }
}

// The chunk's bytes, or none.
std::span<const uint8_t> Chunk(WebPDemuxer* demux, const char* fourcc) {
    WebPChunkIterator iterator;
    if (!WebPDemuxGetChunk(demux, fourcc, 1, &iterator))
        return {};
    const std::span<const uint8_t> bytes(iterator.chunk.bytes, iterator.chunk.size);
    WebPDemuxReleaseChunkIterator(&iterator);
    return bytes; // points into the input, which outlives the iterator
}

} // namespace

void CWebpDecoder::DecodeBody(CImageBitmap& bitmap, CPaletteHolder&, int& bitsPerPixel,
                              CImageSource& source) {
    const int size = source.GetRemaining();
    const uint8_t* data = source.ReadBytes(size);
    WebPBitstreamFeatures features;
    const VP8StatusCode status = WebPGetFeatures(data, size_t(size), &features);
    if (status != VP8_STATUS_OK)
        RaiseStatus(status);
    // For an animation: the canvas, which the frames are drawn on.
    AdmitPicture(features.width, features.height);
    if (features.width <= 0 || features.height <= 0)
        RaiseDecoderError(2, "WebP: the image has no size");
    SetFullSize(features.width, features.height);
    const WebPData whole{data, size_t(size)};

    bitsPerPixel = 32;
    const bool alpha = features.has_alpha != 0;
    if (features.has_animation) {
        WebPAnimDecoderOptions options;
        if (!WebPAnimDecoderOptionsInit(&options))
            RaiseDecoderError(6, "WebP: library version mismatch");
        options.color_mode = MODE_BGRA;
        options.use_threads = 0;
        std::unique_ptr<WebPAnimDecoder, WebpRelease> animation(
            WebPAnimDecoderNew(&whole, &options));
        if (!animation)
            RaiseDecoderError(2, "WebP: the animation cannot be read");
        WebPAnimInfo info;
        if (!WebPAnimDecoderGetInfo(animation.get(), &info) ||
            int64_t(info.canvas_width) != features.width ||
            int64_t(info.canvas_height) != features.height)
            RaiseDecoderError(2, "WebP: the animation cannot be read");
        uint8_t* frame = nullptr;
        int timestamp = 0;
        if (!WebPAnimDecoderGetNext(animation.get(), &frame, &timestamp) || !frame)
            RaiseDecoderError(2, "WebP: the first frame cannot be decoded");
        bitmap.Create(features.width, features.height, 32, alpha);
        bitmap.BeginAccess(false, true);
        const size_t rowBytes = size_t(features.width) * 4;
        for (int y = 0; y < features.height; ++y)
            std::memcpy(bitmap.GetLines()[y], frame + size_t(y) * rowBytes, rowBytes);
        bitmap.EndAccess();
    } else {
        WebPDecoderConfig config;
        if (!WebPInitDecoderConfig(&config))
            RaiseDecoderError(6, "WebP: library version mismatch");
        bitmap.Create(features.width, features.height, 32, alpha);
        bool bottomUp = false;
        uint8_t* pixels = ContiguousPixels(bitmap, bottomUp);
        const size_t bytes = size_t(features.width) * 4 * size_t(features.height);
        // Straight into the bitmap where its rows allow, else through libwebp's own buffer.
        config.output.colorspace = MODE_BGRA;
        if (pixels) {
            config.output.is_external_memory = 1;
            config.output.u.RGBA.rgba = pixels;
            config.output.u.RGBA.stride = features.width * 4;
            config.output.u.RGBA.size = bytes;
        }
        bitmap.BeginAccess(false, true);
        const VP8StatusCode decoded = WebPDecode(data, size_t(size), &config);
        if (decoded == VP8_STATUS_OK && !pixels)
            for (int y = 0; y < features.height; ++y)
                std::memcpy(bitmap.GetLines()[y],
                            config.output.u.RGBA.rgba +
                                size_t(y) * size_t(config.output.u.RGBA.stride),
                            size_t(features.width) * 4);
        WebPFreeDecBuffer(&config.output);
        bitmap.EndAccess();
        if (decoded != VP8_STATUS_OK)
            RaiseStatus(decoded);
        if (bottomUp)
            ReverseRows(bitmap);
    }

    // The metadata chunks of an extended file; a simple file has none.
    std::unique_ptr<WebPDemuxer, WebpRelease> demux(WebPDemux(&whole));
    if (demux) {
        const uint32_t flags = WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS);
        if (flags & EXIF_FLAG)
            bitmap.SetMarkers(MakeExifMarker(Chunk(demux.get(), "EXIF")));
        if (flags & ICCP_FLAG) {
            const std::span<const uint8_t> profile = Chunk(demux.get(), "ICCP");
            if (IsIccProfile(profile))
                bitmap.SetIccProfile(std::vector<uint8_t>(profile.begin(), profile.end()));
        }
    }
}
