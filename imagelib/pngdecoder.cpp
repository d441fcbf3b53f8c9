#include "imagelib/pngdecoder.h"

#include "imagelib/iccprofile.h"
#include "imagelib/textexception.h"
#include "imagelib/trace.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include <png.h>

namespace {
// libpng's read context for one decode, released on every path. It lives on the heap so
// that what the callbacks store in it is still there after libpng jumps back.
struct CPngReader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    CImageSource* source = nullptr;
    std::exception_ptr pending; // an exception of the source, carried across libpng
    std::vector<png_byte> row;  // one whole row while a preview is read reduced
    char message[256] = {};

    explicit CPngReader(CImageSource& from);
    ~CPngReader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
    CPngReader(const CPngReader&) = delete;
    CPngReader& operator=(const CPngReader&) = delete;

    // After the jump: the source's exception, else code 2 with libpng's message.
    [[noreturn]] void Raise() {
        if (pending)
            std::rethrow_exception(std::exchange(pending, nullptr));
        RaiseDecoderError(2, message);
    }
};

void OnError(png_structp png, png_const_charp text) {
    auto* reader = static_cast<CPngReader*>(png_get_error_ptr(png));
    std::snprintf(reader->message, sizeof reader->message, "%s", text ? text : "");
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// A short input throws code 11 in the source; the exception waits in the reader while
// libpng is left through its error path.
void OnRead(png_structp png, png_bytep data, size_t length) {
    auto* reader = static_cast<CPngReader*>(png_get_io_ptr(png));
    try {
        if (length > size_t(INT_MAX))
            throw CTextException(11, "End of file reached while decoding.\n");
        std::memcpy(data, reader->source->ReadBytes(int(length)), length);
    } catch (...) {
        reader->pending = std::current_exception();
    }
    if (reader->pending)
        png_error(png, "Read Error");
}

CPngReader::CPngReader(CImageSource& from) : source(&from) {
    png = png_create_read_struct(PNG_LIBPNG_VER_STRING, this, OnError, OnWarning);
    if (png)
        info = png_create_info_struct(png);
    if (!png || !info)
        throw CTextException(10, "Out of memory.");
}
} // namespace

void CPngDecoder::DecodeBody(CImageBitmap& bitmap, CPaletteHolder&, int& bitsPerPixel,
                             CImageSource& source) {
    const auto reader = std::make_unique<CPngReader>(source);
    png_structp png = reader->png;
    png_infop info = reader->info;
    // Between setjmp and the last libpng call only trivially destructible objects come to
    // life in this frame; whatever is changed there and read after the jump is volatile.
    volatile bool accessing = false;
    if (setjmp(png_jmpbuf(png))) {
        if (accessing)
            bitmap.EndAccess();
        reader->Raise();
    }
    png_set_read_fn(png, reader.get(), OnRead);
    // The limits libpng documents as its defaults, set here because a build may leave them
    // open.
    png_set_user_limits(png, 1000000, 1000000);
    png_set_chunk_cache_max(png, 1000);
    png_set_chunk_malloc_max(png, 8000000);
    // Only tRNS of the ancillary chunks changes our pixels, and iCCP is carried to the
    // output (within the chunk size limit above). The others are skipped unread: libpng
    // would allocate (and clear) a buffer of the declared size for each of them, so a
    // 60-byte file declaring a 2 GB text chunk would cost 2 GB.
    static const png_byte kSkipped[] = "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iTXt\0oFFs\0pCAL\0"
                                       "pHYs\0sBIT\0sCAL\0sPLT\0sRGB\0sTER\0tEXt\0tIME\0zTXt";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkipped, int(sizeof kSkipped / 5));
    png_read_info(png, info);
    png_uint_32 width = 0, height = 0;
    int bitDepth = 0, colorType = 0;
    png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
    AdmitPicture(width, height);
    SetFullSize(int(width), int(height));
    // A preview of a plain (not interlaced) file is reduced row by row as it is read: only
    // every factor-th row and column is kept.
    const int factor = png_get_interlace_type(png, info) == PNG_INTERLACE_NONE
                           ? PreviewReduction(width, height, 8)
                           : 1;
    const png_uint_32 outWidth = (width + png_uint_32(factor) - 1) / png_uint_32(factor);
    const png_uint_32 outHeight = (height + png_uint_32(factor) - 1) / png_uint_32(factor);

    bool deep = true;
    bool alpha = false;
    // A tRNS chunk makes colours or grey levels transparent; at 32 bits it becomes alpha.
    const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    switch (colorType) {
    case PNG_COLOR_TYPE_GRAY:
        deep = bitsPerPixel == 32;
        if (deep) {
            png_set_gray_to_rgb(png);
            png_set_expand(png);
        }
        break;
    case PNG_COLOR_TYPE_PALETTE:
        deep = bitsPerPixel == 32;
        if (deep)
            png_set_expand(png);
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        png_set_gray_to_rgb(png);
        png_set_expand(png);
        alpha = true;
        break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        alpha = true;
        break;
    default: // RGB; only 32 bits can hold its samples, whatever was requested
        if (transparency)
            png_set_tRNS_to_alpha(png);
        break;
    }
    if (deep && transparency)
        alpha = true;

    if (deep) {
        bitsPerPixel = 32;
        png_set_bgr(png);
        // A tRNS chunk expanded above brings its own fourth byte.
        if (!alpha)
            png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
        bitmap.Create(int(outWidth), int(outHeight), 32, alpha);
    } else {
        bitsPerPixel = 8;
        bitmap.Create(int(outWidth), int(outHeight), 8, false);
        uint32_t* palette = bitmap.GetPalette();
        if (colorType == PNG_COLOR_TYPE_GRAY) {
            const uint32_t levels = 1u << std::min(bitDepth, 8);
            for (uint32_t i = 0; i < levels; ++i) {
                const uint32_t v = i * 255 / (levels - 1);
                palette[i] = 0xFF000000u | v << 16 | v << 8 | v;
            }
        } else {
            // Indices past the file's palette come out black at 32 bits (libpng keeps 256
            // entries, zero past PLTE); the same here, so both depths show one picture.
            for (int i = 0; i < 256; ++i)
                palette[i] = 0xFF000000u;
            png_colorp entries = nullptr;
            int count = 0;
            if (png_get_PLTE(png, info, &entries, &count) & PNG_INFO_PLTE)
                for (int i = 0; i < std::min(count, 256); ++i)
                    palette[i] = 0xFF000000u | uint32_t(entries[i].red) << 16 |
                                 uint32_t(entries[i].green) << 8 | entries[i].blue;
        }
    }
    if (bitDepth == 16)
        png_set_strip_16(png);
    if (bitDepth < 8)
        png_set_packing(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    // The transformations above always end at one byte or four bytes a pixel; the rows
    // are written by libpng, so this is checked rather than trusted.
    if (png_get_rowbytes(png, info) != size_t(CImageBitmap::PixelBytesPerRow(width, bitsPerPixel)))
        png_error(png, "Unexpected row size after transformations");

    png_charp profileName = nullptr;
    int profileCompression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileLength = 0;
    if (png_get_iCCP(png, info, &profileName, &profileCompression, &profile, &profileLength) &
            PNG_INFO_iCCP &&
        IsIccProfile(std::span<const uint8_t>(profile, profileLength)))
        bitmap.SetIccProfile(std::vector<uint8_t>(profile, profile + profileLength));

    if (factor > 1)
        reader->row.resize(png_get_rowbytes(png, info));
    bitmap.BeginAccess(false, true);
    accessing = true;
    if (factor == 1) {
        png_read_image(png, bitmap.GetLines());
    } else {
        uint8_t** lines = bitmap.GetLines();
        const size_t pixelBytes = size_t(bitsPerPixel / 8);
        const size_t step = pixelBytes * size_t(factor);
        png_bytep row = reader->row.data();
        for (png_uint_32 y = 0; y < height; ++y) {
            png_read_row(png, row, nullptr);
            if (y % png_uint_32(factor) != 0)
                continue;
            uint8_t* out = lines[y / png_uint_32(factor)];
            for (png_uint_32 x = 0; x < outWidth; ++x)
                std::memcpy(out + x * pixelBytes, row + x * step, pixelBytes);
        }
    }
    accessing = false;
    bitmap.EndAccess();
    png_read_end(png, nullptr);
}
