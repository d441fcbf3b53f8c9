#include "imagelib/heifdecoder.h"

#include "imagelib/codecrows.h"
#include "imagelib/exiforientation.h"
#include "imagelib/iccprofile.h"
#include "imagelib/textexception.h"
#include "imagelib/trace.h"

#include <libheif/heif.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct HeifRelease {
    void operator()(heif_context* context) const { heif_context_free(context); }
    void operator()(const heif_image_handle* handle) const { heif_image_handle_release(handle); }
    void operator()(const heif_image* image) const { heif_image_release(image); }
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};
template <class T> using HeifPtr = std::unique_ptr<T, HeifRelease>;

// The codec plugins are registered once for the process; never undone, as other workers may
// be decoding at any time.
void InitHeif() {
    static std::once_flag once;
    std::call_once(once, [] { heif_init(nullptr); });
}

void Check(const heif_error& error) {
    if (error.code == heif_error_Ok)
        return;
    const bool unsupported = error.code == heif_error_Unsupported_feature ||
                             error.code == heif_error_Unsupported_filetype;
    // libheif ends some of its messages with a line break; the log shows one line a file.
    std::string message = error.message ? error.message : "decoding failed";
    std::replace_if(
        message.begin(), message.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    while (!message.empty() && message.back() == ' ')
        message.pop_back();
    RaiseDecoderError(unsupported ? 6 : 2, "HEIF: " + message);
}

// The largest side libheif may allocate for, on top of the pixel count checked here. The
// sizes a file declares for its coded pictures need not be those of its image (a 600-byte
// file can declare a 58048 x 61276 tile for a 24 x 16 image), and libheif allocates for them
// before anything else is known: this bound keeps such a tile at the pixel limit's 2^28.
constexpr int kMaxHeifSide = 1 << 14;

// An Exif item starts with the offset of its TIFF header, counted from the end of that field.
std::unique_ptr<CSavedMarker> ReadExif(const heif_image_handle* handle) {
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) < 1)
        return nullptr;
    const size_t size = heif_image_handle_get_metadata_size(handle, id);
    if (size < 4 || size > (1u << 20))
        return nullptr;
    std::vector<uint8_t> item(size);
    if (heif_image_handle_get_metadata(handle, id, item.data()).code != heif_error_Ok)
        return nullptr;
    const size_t offset =
        size_t(item[0]) << 24 | size_t(item[1]) << 16 | size_t(item[2]) << 8 | size_t(item[3]);
    if (offset > size - 4)
        return nullptr;
    std::unique_ptr<CSavedMarker> marker =
        MakeExifMarker(std::span<const uint8_t>(item).subspan(4 + offset));
    if (marker)
        SetExifOrientationOfBlock(std::span<uint8_t>(marker->data.get(), marker->dataLength), 1);
    return marker;
}

std::vector<uint8_t> ReadProfile(const heif_image_handle* handle) {
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type != heif_color_profile_type_prof && type != heif_color_profile_type_rICC)
        return {};
    const size_t size = heif_image_handle_get_raw_color_profile_size(handle);
    if (size == 0 || size > (64u << 20))
        return {};
    std::vector<uint8_t> profile(size);
    if (heif_image_handle_get_raw_color_profile(handle, profile.data()).code != heif_error_Ok ||
        !IsIccProfile(profile))
        return {};
    return profile;
}

} // namespace

void CHeifDecoder::DecodeBody(CImageBitmap& bitmap, CPaletteHolder&, int& bitsPerPixel,
                              CImageSource& source) {
    InitHeif();
    const int size = source.GetRemaining();
    const uint8_t* data = source.ReadBytes(size);
    HeifPtr<heif_context> context(heif_context_alloc());
    if (!context)
        throw CTextException(10, "Out of memory.");
    heif_context_set_maximum_image_size_limit(context.get(), kMaxHeifSide);
    Check(heif_context_read_from_memory_without_copy(context.get(), data, size_t(size), nullptr));
    heif_image_handle* primary = nullptr;
    Check(heif_context_get_primary_image_handle(context.get(), &primary));
    HeifPtr<const heif_image_handle> handle(primary);

    // Both the coded size and the shown one (after rotation and crop) are checked before
    // anything is decoded.
    CheckPixelCount(heif_image_handle_get_ispe_width(primary),
                    heif_image_handle_get_ispe_height(primary));
    const int shownWidth = heif_image_handle_get_width(primary);
    const int shownHeight = heif_image_handle_get_height(primary);
    if (shownWidth <= 0 || shownHeight <= 0)
        RaiseDecoderError(2, "HEIF: the image has no size");
    AdmitPicture(shownWidth, shownHeight);
    SetFullSize(shownWidth, shownHeight);

    const bool alpha = heif_image_handle_has_alpha_channel(primary) != 0;
    const bool deep = heif_image_handle_get_luma_bits_per_pixel(primary) > 8;
    HeifPtr<heif_decoding_options> options(heif_decoding_options_alloc());
    if (!options)
        throw CTextException(10, "Out of memory.");
    options->ignore_transformations = 0;
    // Deep samples come as 16-bit words and are rounded here: libheif's own reduction cuts.
    options->convert_hdr_to_8bit = 0;
    // AV1 through libaom, whatever the brands say: dav1d prints its complaints about damaged
    // streams to the standard error, which a batch run's output must not carry. libheif
    // takes the id for AV1 pictures only; HEVC goes to libde265 all the same.
    options->decoder_id = "aom";
    const heif_chroma chroma =
        deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
             : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    heif_image* decoded = nullptr;
    Check(heif_decode_image(primary, &decoded, heif_colorspace_RGB, chroma, options.get()));
    HeifPtr<const heif_image> image(decoded);

    const int width = heif_image_get_width(decoded, heif_channel_interleaved);
    const int height = heif_image_get_height(decoded, heif_channel_interleaved);
    int stride = 0;
    const uint8_t* plane =
        heif_image_get_plane_readonly(decoded, heif_channel_interleaved, &stride);
    const int channels = alpha ? 4 : 3;
    const int sampleBytes = deep ? 2 : 1;
    if (!plane || width <= 0 || height <= 0 || stride < width * channels * sampleBytes)
        RaiseDecoderError(2, "HEIF: the decoded image has no pixels");
    CheckPixelCount(width, height);
    const int bits =
        std::clamp(heif_image_get_bits_per_pixel_range(decoded, heif_channel_interleaved), 9, 16);
    const uint32_t top = (1u << bits) - 1;

    bitsPerPixel = 32;
    bitmap.Create(width, height, 32, alpha);
    bitmap.BeginAccess(false, true);
    uint8_t** lines = bitmap.GetLines();
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = plane + size_t(y) * size_t(stride);
        uint8_t* out = lines[y];
        for (int x = 0; x < width; ++x, out += 4) {
            uint32_t rgba[4] = {0, 0, 0, 255};
            for (int c = 0; c < channels; ++c) {
                if (deep) {
                    const uint32_t v =
                        std::min<uint32_t>(uint32_t(in[0]) | uint32_t(in[1]) << 8, top);
                    rgba[c] = (v * 255 + top / 2) / top;
                    in += 2;
                } else {
                    rgba[c] = *in++;
                }
            }
            out[0] = uint8_t(rgba[2]);
            out[1] = uint8_t(rgba[1]);
            out[2] = uint8_t(rgba[0]);
            out[3] = uint8_t(rgba[3]);
        }
        if (alpha && heif_image_handle_is_premultiplied_alpha(primary))
            UnpremultiplyRow(out - size_t(width) * 4, width);
    }
    bitmap.EndAccess();
    bitmap.SetMarkers(ReadExif(primary));
    bitmap.SetIccProfile(ReadProfile(primary));
}
