#include "imagelib/tiffdecoder.h"

#include "imagelib/codecrows.h"
#include "imagelib/exiforientation.h"
#include "imagelib/iccprofile.h"
#include "imagelib/textexception.h"
#include "imagelib/trace.h"

#include <tiffio.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// The input in memory as libtiff's client file, with the first error libtiff reported.
struct CTiffInput {
    const uint8_t* data = nullptr;
    toff_t size = 0;
    toff_t position = 0;
    std::string error;
};

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t count) {
    auto* in = static_cast<CTiffInput*>(handle);
    if (count < 0 || in->position >= in->size)
        return 0;
    const toff_t n = std::min<toff_t>(toff_t(count), in->size - in->position);
    std::memcpy(buffer, in->data + in->position, size_t(n));
    in->position += n;
    return tmsize_t(n);
}
tmsize_t WriteProc(thandle_t, void*, tmsize_t) {
    return -1;
}
toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    auto* in = static_cast<CTiffInput*>(handle);
    toff_t base = 0;
    if (whence == SEEK_CUR)
        base = in->position;
    else if (whence == SEEK_END)
        base = in->size;
    // A seek past the end is allowed; reads there return nothing.
    if (offset > ~toff_t(0) - base)
        return toff_t(-1);
    in->position = base + offset;
    return in->position;
}
int CloseProc(thandle_t) {
    return 0;
}
toff_t SizeProc(thandle_t handle) {
    return static_cast<CTiffInput*>(handle)->size;
}
int MapProc(thandle_t, void**, toff_t*) {
    return 0;
}
void UnmapProc(thandle_t, void*, toff_t) {}

int OnError(TIFF*, void* user, const char* module, const char* format, va_list args) {
    auto* in = static_cast<CTiffInput*>(user);
    if (in->error.empty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        in->error = module && *module ? std::string(module) + ": " + text : std::string(text);
    }
    return 1; // handled: nothing reaches libtiff's default printing handler
}
int OnWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffClose {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
struct OptionsFree {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

// One allocation of libtiff (a strip, a tile, a tag's values) may not exceed this: a small
// hostile file may declare strips of any size.
constexpr tmsize_t kMaxTiffAllocation = tmsize_t(512) << 20;

} // namespace

void CTiffDecoder::DecodeBody(CImageBitmap& bitmap, CPaletteHolder&, int& bitsPerPixel,
                              CImageSource& source) {
    CTiffInput input;
    input.size = toff_t(source.GetRemaining());
    input.data = source.ReadBytes(int(input.size));
    auto fail = [&](int code, const char* fallback) {
        RaiseDecoderError(code,
                          "TIFF: " + (input.error.empty() ? std::string(fallback) : input.error));
    };

    std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
    if (!options)
        throw CTextException(10, "Out of memory.");
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxTiffAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnError, &input);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnWarning, &input);
    // "m": no mapping, all reads go through ReadProc.
    std::unique_ptr<TIFF, TiffClose> tiff(
        TIFFClientOpenExt("input", "rm", &input, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc,
                          MapProc, UnmapProc, options.get()));
    if (!tiff)
        fail(2, "the file cannot be opened");

    uint32_t width = 0, height = 0;
    if (!TIFFGetField(tiff.get(), TIFFTAG_IMAGEWIDTH, &width) ||
        !TIFFGetField(tiff.get(), TIFFTAG_IMAGELENGTH, &height) || width == 0 || height == 0)
        fail(2, "the image has no size");
    AdmitPicture(width, height);
    SetFullSize(int(width), int(height));

    char message[1024] = {};
    if (!TIFFRGBAImageOK(tiff.get(), message))
        RaiseDecoderError(6, std::string("TIFF: ") + message);
    TIFFRGBAImage image;
    // Stop at the first error: a half-read picture is no picture.
    if (!TIFFRGBAImageBegin(&image, tiff.get(), 1, message))
        RaiseDecoderError(2, std::string("TIFF: ") + message);
    struct ImageEnd {
        TIFFRGBAImage* image;
        ~ImageEnd() { TIFFRGBAImageEnd(image); }
    } end{&image};
    // The stored grid as it is: asking for the file's own orientation makes libtiff flip
    // nothing. The orientation is left to the EXIF block below.
    const int orientation = image.orientation;
    image.req_orientation = uint16_t(orientation);
    const bool alpha = image.alpha != 0;

    bitsPerPixel = 32;
    bitmap.Create(int(width), int(height), 32, alpha);
    bool bottomUp = false;
    uint8_t* pixels = ContiguousPixels(bitmap, bottomUp);
    std::vector<uint32_t> raster;
    if (!pixels) {
        raster.resize(size_t(width) * height);
        pixels = reinterpret_cast<uint8_t*>(raster.data());
    }
    bitmap.BeginAccess(false, true);
    const int ok = TIFFRGBAImageGet(&image, reinterpret_cast<uint32_t*>(pixels), width, height);
    if (ok && input.error.empty()) {
        // libtiff's words hold red in the low byte: red, green, blue, alpha in memory.
        // Its alpha is always associated, so it is divided out for straight alpha.
        const size_t rowBytes = size_t(width) * 4;
        for (uint32_t y = 0; y < height; ++y) {
            uint8_t* row = pixels + y * rowBytes;
            SwapRedBlue(row, int(width));
            if (alpha)
                UnpremultiplyRow(row, int(width));
        }
        if (!raster.empty())
            for (uint32_t y = 0; y < height; ++y)
                std::memcpy(bitmap.GetLines()[y], pixels + y * rowBytes, rowBytes);
    }
    bitmap.EndAccess();
    if (!ok || !input.error.empty())
        fail(2, "the image cannot be read");
    if (bottomUp)
        ReverseRows(bitmap);

    if (orientation >= 2 && orientation <= 8) {
        const std::vector<uint8_t> block = MinimalExifBlock(orientation);
        bitmap.SetMarkers(MakeExifMarker(block));
    }
    uint32_t profileSize = 0;
    void* profile = nullptr;
    if (TIFFGetField(tiff.get(), TIFFTAG_ICCPROFILE, &profileSize, &profile) && profile) {
        const std::span<const uint8_t> bytes(static_cast<const uint8_t*>(profile), profileSize);
        if (IsIccProfile(bytes))
            bitmap.SetIccProfile(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    }
}
