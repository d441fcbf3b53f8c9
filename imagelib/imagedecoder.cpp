#include "imagelib/imagedecoder.h"

#include "imagelib/textexception.h"
#include "imagelib/trace.h"

#include <algorithm>
#include <cmath>
#include <new>

void CImageDecoder::CheckPixelCount(int64_t width, int64_t height) {
    const int64_t limit = CImageBitmap::kMaxPixels;
    // Said as what it is: a picture beyond the limit, not a machine short of memory.
    if (width > limit || height > limit || (width > 0 && height > 0 && width * height > limit))
        throw CTextException(10, FormatText("picture too large: %lld x %lld\n",
                                            static_cast<long long>(width),
                                            static_cast<long long>(height)));
}

void CImageDecoder::SetPreviewSize(int width, int height) {
    m_previewWidth = width > 0 && height > 0 ? width : 0;
    m_previewHeight = width > 0 && height > 0 ? height : 0;
}

int CImageDecoder::ReductionFactor(int64_t width, int64_t height, int previewWidth,
                                   int previewHeight, int maxFactor) {
    if (previewWidth <= 0 || previewHeight <= 0 || width <= 0 || height <= 0)
        return 1;
    // The fitted size, rounded up: the reduced picture must not be drawn enlarged.
    const double fit = std::min(
        {double(previewWidth) / double(width), double(previewHeight) / double(height), 1.0});
    const auto needWidth = int64_t(std::ceil(double(width) * fit));
    const auto needHeight = int64_t(std::ceil(double(height) * fit));
    int factor = 1;
    while (factor * 2 <= maxFactor && (width + factor * 2 - 1) / (factor * 2) >= needWidth &&
           (height + factor * 2 - 1) / (factor * 2) >= needHeight)
        factor *= 2;
    return factor;
}

void CImageDecoder::OpenFile(CFileSource& source, const std::string& path) {
    Trace(1, FormatText("--- Decoding file %s. ---\n", path.c_str()));
    if (const int code = source.Open(path)) {
        const std::string& reason = source.FailureReason();
        RaiseDecoderError(code, FormatText("Opening %s failed", path.c_str()) +
                                    (reason.empty() ? std::string() : ": " + reason));
    }
}

void CImageDecoder::DecodeFile(const std::string& path, CImageBitmap& bitmap, int bitsPerPixel,
                               CProgressNotification* notification) {
    CFileSource source(notification);
    OpenFile(source, path);
    Decode(source, bitmap, bitsPerPixel);
    source.Close();
}

void CImageDecoder::DecodeMemory(const void* data, int size, CImageBitmap& bitmap,
                                 int bitsPerPixel) {
    Trace(1, FormatText("--- Decoding from memory at %p. ---\n", data));
    CMemorySource source;
    if (const int code = source.Open(data, size))
        RaiseDecoderError(code, FormatText("Reading from memory at %p failed", data));
    Decode(source, bitmap, bitsPerPixel);
    source.Close();
}

void CImageDecoder::DecodeResource(int id, CImageBitmap& bitmap, int bitsPerPixel, int type) {
    Trace(1, FormatText("--- Decoding resource ID %i. ---\n", id));
    CResourceSource source;
    if (const int code = source.Open(id, type))
        RaiseDecoderError(code, FormatText("Opening resource %i failed", id));
    Decode(source, bitmap, bitsPerPixel);
    source.Close();
}

void CImageDecoder::Decode(CImageSource& source, CImageBitmap& bitmap, int bitsPerPixel) {
    SetFullSize(0, 0);
    CPaletteHolder paletteHolder; // freed on every path
    try {
        DecodeBody(bitmap, paletteHolder, bitsPerPixel, source);
    } catch (const std::bad_alloc&) {
        // A work buffer sized by the input (a row, a table) that did not fit: the caller
        // knows only the library's own exception.
        throw CTextException(10, "Out of memory creating bitmap.");
    }
    // Decoders that never reduce deliver the picture at its own size.
    if (m_fullWidth == 0 && m_fullHeight == 0)
        SetFullSize(bitmap.GetWidth(), bitmap.GetHeight());
}

void CImageDecoder::DecodeBody(CImageBitmap&, CPaletteHolder&, int&, CImageSource&) {}
