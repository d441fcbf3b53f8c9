#include "imagelib/avifencoder.h"

#include "imagelib/exiforientation.h"
#include "imagelib/iccprofile.h"
#include "imagelib/textexception.h"
#include "imagelib/trace.h"

#include <libheif/heif.h>

#include <climits>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct HeifRelease {
    void operator()(heif_context* context) const { heif_context_free(context); }
    void operator()(heif_encoder* encoder) const { heif_encoder_release(encoder); }
    void operator()(heif_image* image) const { heif_image_release(image); }
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
    void operator()(heif_encoding_options* options) const { heif_encoding_options_free(options); }
};
template <class T> using HeifPtr = std::unique_ptr<T, HeifRelease>;

void Check(const heif_error& error) {
    if (error.code != heif_error_Ok)
        RaiseDecoderError(6, std::string("AVIF encoder: ") +
                                 (error.message ? error.message : "encoding failed"));
}

// What the writer callback met in the sink, carried out of libheif.
struct CAvifOutput {
    CImageSink* sink = nullptr;
    std::exception_ptr pending;
};

heif_error WriteOut(heif_context*, const void* data, size_t size, void* user) {
    auto* out = static_cast<CAvifOutput*>(user);
    try {
        if (size > size_t(INT_MAX) ||
            out->sink->WriteBytes(int(size), static_cast<uint8_t*>(const_cast<void*>(data))) !=
                int(size))
            throw CTextException(11, "Buffer overflow while encoding.\n");
    } catch (...) {
        out->pending = std::current_exception();
        return {heif_error_Encoding_error, heif_suberror_Cannot_write_output_data,
                "the output cannot be written"};
    }
    return {heif_error_Ok, heif_suberror_Unspecified, "Success"};
}

} // namespace

int64_t CAvifEncoder::MaxEncodedSize(const CImageBitmap& bitmap) const {
    // AV1 at any quality stays below the raw pixels; boxes, EXIF and profile come on top.
    int64_t size = int64_t(bitmap.GetWidth()) * bitmap.GetHeight() * 4 + 16384;
    if (const CSavedMarker* exif = FindExifMarker(bitmap.GetMarkers()))
        size += exif->dataLength + 64;
    return size + int64_t(bitmap.GetIccProfile().size()) + 64;
}

void CAvifEncoder::EncodeBody(const CImageBitmap& bitmap, CImageSink& sink) {
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
    CMemoryBitmap converted;
    const CImageBitmap* pixels = &bitmap;
    if (bitmap.GetBitsPerPixel() != 32) {
        if (bitmap.GetBitsPerPixel() != 1 && bitmap.GetBitsPerPixel() != 8)
            RaiseDecoderError(6, "AVIF encoder: Unsupported bit depth.");
        converted.ConvertFrom(bitmap, 32);
        pixels = &converted;
    }
    const int width = pixels->GetWidth();
    const int height = pixels->GetHeight();
    if (width < 1 || height < 1)
        RaiseDecoderError(6, "AVIF encoder: the picture is empty.");
    const bool alpha = pixels->HasAlpha();

    HeifPtr<heif_context> context(heif_context_alloc());
    if (!context)
        throw CTextException(10, "Out of memory.");
    heif_encoder* rawEncoder = nullptr;
    Check(heif_context_get_encoder_for_format(context.get(), heif_compression_AV1, &rawEncoder));
    HeifPtr<heif_encoder> encoder(rawEncoder);
    Check(heif_encoder_set_lossy_quality(rawEncoder, m_quality == 0 ? 75 : m_quality));
    Check(heif_encoder_set_parameter_integer(rawEncoder, "speed", kSpeed));
    Check(heif_encoder_set_parameter_integer(rawEncoder, "threads", kThreads));
    Check(heif_encoder_set_parameter_string(rawEncoder, "chroma", "420"));

    heif_image* rawImage = nullptr;
    Check(heif_image_create(width, height, heif_colorspace_RGB,
                            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                            &rawImage));
    HeifPtr<heif_image> image(rawImage);
    Check(heif_image_add_plane(rawImage, heif_channel_interleaved, width, height, 8));
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(rawImage, heif_channel_interleaved, &stride);
    if (!plane)
        throw CTextException(10, "Out of memory.");
    auto& access = const_cast<CImageBitmap&>(*pixels);
    access.BeginAccess(true, false);
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = pixels->GetLines()[y];
        uint8_t* out = plane + size_t(y) * size_t(stride);
        for (int x = 0; x < width; ++x, in += 4) {
            *out++ = in[2];
            *out++ = in[1];
            *out++ = in[0];
            if (alpha)
                *out++ = in[3];
        }
    }
    access.EndAccess();
    const std::vector<uint8_t>& profile = bitmap.GetIccProfile();
    if (IsRgbIccProfile(profile))
        Check(heif_image_set_raw_color_profile(rawImage, "prof", profile.data(), profile.size()));

    HeifPtr<heif_encoding_options> options(heif_encoding_options_alloc());
    if (!options)
        throw CTextException(10, "Out of memory.");
    options->save_alpha_channel = alpha ? 1 : 0;
    heif_image_handle* rawHandle = nullptr;
    Check(
        heif_context_encode_image(context.get(), rawImage, rawEncoder, options.get(), &rawHandle));
    HeifPtr<heif_image_handle> handle(rawHandle);
    if (const CSavedMarker* exif = FindExifMarker(bitmap.GetMarkers())) {
        const std::vector<uint8_t> payload = UprightExifPayload(*exif);
        Check(heif_context_add_exif_metadata(context.get(), rawHandle, payload.data(),
                                             int(payload.size())));
    }

    CAvifOutput output{&sink, nullptr};
    heif_writer writer{1, WriteOut};
    const heif_error written = heif_context_write(context.get(), &writer, &output);
    if (output.pending)
        std::rethrow_exception(output.pending);
    Check(written);
}
