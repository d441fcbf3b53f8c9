#include "imagelib/pngencoder.h"

#include "imagelib/iccprofile.h"
#include "imagelib/textexception.h"
#include "imagelib/trace.h"

#include <climits>
#include <cstdio>
#include <exception>
#include <utility>

#include <png.h>

namespace {
// libpng's write context for one encode, released on every path. It lives on the heap so
// that what the callbacks store in it is still there after libpng jumps back.
struct CPngWriter {
    png_structp png = nullptr;
    png_infop info = nullptr;
    CImageSink* sink = nullptr;
    std::exception_ptr pending; // an exception of the sink, carried across libpng
    char message[256] = {};

    explicit CPngWriter(CImageSink& to);
    ~CPngWriter() { png_destroy_write_struct(&png, info ? &info : nullptr); }
    CPngWriter(const CPngWriter&) = delete;
    CPngWriter& operator=(const CPngWriter&) = delete;

    // After the jump: the sink's exception, else code 6 with libpng's message.
    [[noreturn]] void Raise() {
        if (pending)
            std::rethrow_exception(std::exchange(pending, nullptr));
        RaiseDecoderError(6, message);
    }
};

void OnError(png_structp png, png_const_charp text) {
    auto* writer = static_cast<CPngWriter*>(png_get_error_ptr(png));
    std::snprintf(writer->message, sizeof writer->message, "%s", text ? text : "");
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

void OnWrite(png_structp png, png_bytep data, size_t length) {
    auto* writer = static_cast<CPngWriter*>(png_get_io_ptr(png));
    int written = 0;
    try {
        if (length > size_t(INT_MAX))
            throw CTextException(11, "Buffer overflow while encoding.\n");
        written = writer->sink->WriteBytes(int(length), data);
    } catch (...) {
        writer->pending = std::current_exception();
    }
    if (writer->pending)
        png_error(png, "Write Error");
    if (size_t(written) != length)
        png_error(png, "Error writting file");
}

void OnFlush(png_structp) {}

CPngWriter::CPngWriter(CImageSink& to) : sink(&to) {
    png = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, OnError, OnWarning);
    if (png)
        info = png_create_info_struct(png);
    if (!png || !info)
        throw CTextException(10, "Out of memory.");
}

// Perceived brightness of a palette entry, for choosing which bit is white.
unsigned Brightness(uint32_t entry) {
    return 299 * ((entry >> 16) & 0xFF) + 587 * ((entry >> 8) & 0xFF) + 114 * (entry & 0xFF);
}
} // namespace

int64_t CPngEncoder::MaxEncodedSize(const CImageBitmap& bitmap) const {
    const int bpp = bitmap.GetBitsPerPixel();
    const int fileBits = bpp == 32 ? (bitmap.HasAlpha() ? 32 : 24) : bpp;
    // A filter byte per row; stored deflate blocks at worst (zlib's bound); IDAT chunks of
    // 8 KB with 12 bytes each around them; signature, IHDR, PLTE, sBIT and IEND below 2 KB.
    const int64_t raw = (1 + CImageBitmap::PixelBytesPerRow(bitmap.GetWidth(), fileBits)) *
                        int64_t(bitmap.GetHeight());
    const int64_t deflated = raw + (raw >> 12) + (raw >> 14) + (raw >> 25) + 13;
    // A profile deflates to about its size at worst, with its chunk's name and header.
    const int64_t profile = int64_t(bitmap.GetIccProfile().size());
    const int64_t profileBound = profile ? profile + (profile >> 12) + 128 : 0;
    return deflated + (deflated / 8192 + 1) * 12 + 2048 + profileBound;
}

void CPngEncoder::EncodeBody(const CImageBitmap& bitmap, CImageSink& sink) {
    const int bpp = bitmap.GetBitsPerPixel();
    if (bpp != 1 && bpp != 8 && bpp != 32)
        RaiseDecoderError(6, "PNG encoder: Unsupported bit depth.");
    const bool alpha = bpp == 32 && bitmap.HasAlpha();
    const int bitDepth = bpp == 1 ? 1 : 8;
    const int colorType = bpp == 1   ? PNG_COLOR_TYPE_GRAY
                          : bpp == 8 ? PNG_COLOR_TYPE_PALETTE
                          : alpha    ? PNG_COLOR_TYPE_RGB_ALPHA
                                     : PNG_COLOR_TYPE_RGB;
    const uint32_t* bitmapPalette = bitmap.GetPalette();
    png_color palette[256] = {};
    if (bpp == 8 && bitmapPalette)
        for (int i = 0; i < 256; ++i)
            palette[i] = {png_byte(bitmapPalette[i] >> 16), png_byte(bitmapPalette[i] >> 8),
                          png_byte(bitmapPalette[i])};
    // A 1-bit grey file has black at 0 and white at 1; a bitmap whose palette has them the
    // other way round (as the conversion to 1 bit makes it) is written inverted.
    const bool invert =
        bpp == 1 && bitmapPalette && Brightness(bitmapPalette[0]) > Brightness(bitmapPalette[1]);

    const auto writer = std::make_unique<CPngWriter>(sink);
    png_structp png = writer->png;
    png_infop info = writer->info;
    auto& pixels = const_cast<CImageBitmap&>(bitmap);
    // Between setjmp and the last libpng call only trivially destructible objects come to
    // life in this frame; whatever is changed there and read after the jump is volatile.
    volatile bool accessing = false;
    if (setjmp(png_jmpbuf(png))) {
        if (accessing)
            pixels.EndAccess();
        writer->Raise();
    }
    png_set_write_fn(png, writer.get(), OnWrite, OnFlush);
    // Bitmaps are limited by their pixel count, not by libpng's default of a million
    // pixels a side.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_IHDR(png, info, png_uint_32(bitmap.GetWidth()), png_uint_32(bitmap.GetHeight()),
                 bitDepth, colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (colorType == PNG_COLOR_TYPE_PALETTE)
        png_set_PLTE(png, info, palette, 256);
    png_color_8 significant = {};
    significant.red = significant.green = significant.blue = png_byte(bitDepth);
    significant.gray = png_byte(bitDepth);
    significant.alpha = alpha ? 8 : 0;
    png_set_sBIT(png, info, &significant);
    // The colour profile goes with RGB pixels only. libpng checks it once more; a profile it
    // refuses is left out instead of failing the whole picture. Switching benign errors
    // back off would also turn libpng's application warnings into errors, so they stay on
    // for the rest of this picture.
    const std::vector<uint8_t>& profile = bitmap.GetIccProfile();
    if (bpp == 32 && IsRgbIccProfile(profile)) {
        png_set_benign_errors(png, 1);
        png_set_iCCP(png, info, "ICC profile", PNG_COMPRESSION_TYPE_BASE, profile.data(),
                     png_uint_32(profile.size()));
    }
    png_write_info(png, info);
    if (bpp == 32 && !alpha)
        png_set_filler(png, 0, PNG_FILLER_AFTER); // drops the fourth byte of every pixel
    png_set_bgr(png);
    if (invert)
        png_set_invert_mono(png);

    pixels.BeginAccess(true, false);
    accessing = true;
    png_write_image(png, pixels.GetLines());
    accessing = false;
    pixels.EndAccess();
    png_write_end(png, info);
}
