#include "imagelib/autodetectdecoder.h"

#include "imagelib/bmpdecoder.h"
#include "imagelib/exiforientation.h"
#include "imagelib/gifdecoder.h"
#include "imagelib/heifdecoder.h"
#include "imagelib/jpegdecoder.h"
#include "imagelib/pngdecoder.h"
#include "imagelib/tiffdecoder.h"
#include "imagelib/trace.h"
#include "imagelib/webpdecoder.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace {
uint32_t Le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
bool Starts(const uint8_t* p, std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes)
        if (*p++ != b)
            return false;
    return true;
}
uint32_t Be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
// An ISO media file whose file type box names a still-image brand of HEIF or AVIF, as its
// major brand or among the first compatible brands the recognition bytes hold.
bool IsHeifFile(const uint8_t* b) {
    if (!Starts(b + 4, {'f', 't', 'y', 'p'}))
        return false;
    const uint32_t boxSize = Be32(b);
    if (boxSize < 16 || boxSize % 4 != 0)
        return false;
    static const char* const kBrands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx",
                                          "hevm", "hevs", "mif1", "msf1", "avif", "avis"};
    const uint32_t end = std::min<uint32_t>(boxSize, 256);
    for (uint32_t at = 8; at + 4 <= end; at += at == 8 ? 8 : 4) // major brand, then the list
        for (const char* brand : kBrands)
            if (std::memcmp(b + at, brand, 4) == 0)
                return true;
    return false;
}
} // namespace

CAutoDetectDecoder::CAutoDetectDecoder()
    : m_bmpDecoder(std::make_unique<CBmpDecoder>()),
      m_jpegDecoder(std::make_unique<CJpegDecoder>()),
      m_pngDecoder(std::make_unique<CPngDecoder>()), m_gifDecoder(std::make_unique<CGifDecoder>()),
      m_heifDecoder(std::make_unique<CHeifDecoder>()),
      m_webpDecoder(std::make_unique<CWebpDecoder>()),
      m_tiffDecoder(std::make_unique<CTiffDecoder>()) {}

CAutoDetectDecoder::~CAutoDetectDecoder() = default;

CImageType CAutoDetectDecoder::ClassifyImage(const uint8_t* b, int size) {
    if (b[0] == 0x42 && b[1] == 0x4D)
        return kImageBmp;
    if (b[1] <= 1 && (b[2] <= 3 || (b[2] >= 9 && b[2] <= 11)) &&
        (b[7] == 0 || b[7] == 8 || b[7] == 15 || b[7] == 16 || b[7] == 24 || b[7] == 32) &&
        (b[16] == 8 || b[16] == 15 || b[16] == 16 || b[16] == 24 || b[16] == 32))
        return kImageTarga;
    if (Starts(b, {'G', 'I', 'F', '8'}))
        return kImageGif;
    if (Starts(b, {0x49, 0x49, 0x2A, 0x00}) || Starts(b, {0x4D, 0x4D, 0x00, 0x2A}))
        return kImageTiff;
    if (size > 540 &&
        (Starts(b + 522, {0x00, 0x11, 0x02, 0xFF}) || Starts(b + 522, {0x00, 0x11, 0x01}) ||
         Starts(b + 522, {0x11, 0x01, 0x01, 0x00})))
        return kImagePict;
    if (Starts(b, {0xFF, 0xD8, 0xFF}))
        return kImageJpeg;
    if (Starts(b, {0x89, 0x50, 0x4E, 0x47}))
        return kImagePng;
    if (IsHeifFile(b))
        return kImageHeif;
    if (Starts(b, {'R', 'I', 'F', 'F'}) && Starts(b + 8, {'W', 'E', 'B', 'P'}))
        return kImageWebp;
    if ((Le32(b) == 0xC6D3D0C5u || Le32(b) == 0xC5D0D3C6u) && Le32(b + 20) != 0 &&
        Le32(b + 24) != 0)
        return kImageEpsPreview;
    if (b[0] == 0x0A && b[2] == 0x01)
        return kImagePcx;
    if (b[0] == 'P' && (b[1] == '2' || b[1] == '5'))
        return kImagePgm;
    return kImageUnknown;
}

void CAutoDetectDecoder::Decode(CImageSource& source, CImageBitmap& bitmap, int bitsPerPixel) {
    SetFullSize(0, 0);
    CImageDecoder* decoder = nullptr;
    switch (ClassifyImage(source.PeekBytes(kRecognitionBytes), source.GetSize())) {
    case kImageUnknown:
        RaiseDecoderError(8, "Unknown file type.");
    case kImageBmp:
        Trace(2, "Windows bitmap recognized.\n");
        decoder = m_bmpDecoder.get();
        break;
    case kImageJpeg:
        Trace(2, "JPEG file recognized.\n");
        decoder = m_jpegDecoder.get();
        break;
    case kImagePng:
        Trace(2, "PNG file recognized.\n");
        decoder = m_pngDecoder.get();
        break;
    case kImageGif:
        Trace(2, "GIF file recognized.\n");
        decoder = m_gifDecoder.get();
        break;
    case kImageHeif:
        Trace(2, "HEIF file recognized.\n");
        decoder = m_heifDecoder.get();
        break;
    case kImageWebp:
        Trace(2, "WebP file recognized.\n");
        decoder = m_webpDecoder.get();
        break;
    case kImageTiff:
        Trace(2, "TIFF file recognized.\n");
        decoder = m_tiffDecoder.get();
        break;
    default:
        RaiseDecoderError(6, "Library not compiled for this file type.");
    }
    decoder->SetPreviewSize(GetPreviewWidth(), GetPreviewHeight());
    decoder->SetResize(GetResizeRule(), GetResizeFollowsExif());
    decoder->SetSizeGate(GetSizeGate());
    // The size is known once the header was read, also when the body fails later.
    struct CFullSizeCopy {
        CAutoDetectDecoder& self;
        const CImageDecoder& from;
        ~CFullSizeCopy() { self.SetFullSize(from.GetFullWidth(), from.GetFullHeight()); }
    } copy{*this, *decoder};
    decoder->Decode(source, bitmap, bitsPerPixel);
    ResizeDecoded(bitmap, {decoder->GetFullWidth(), decoder->GetFullHeight()});
}

void CAutoDetectDecoder::ResizeDecoded(CImageBitmap& bitmap, CPixelSize full) const {
    if (!GetResizeRule().Active() || bitmap.GetBitsPerPixel() != 32)
        return;
    const int orientation = GetResizeFollowsExif() ? ExifOrientation(bitmap) : 1;
    // The rule applies to the file's own size, whatever the format decoder delivered.
    const CPixelSize target = ResizedStoredSize(full, orientation, GetResizeRule());
    if (target == CPixelSize{bitmap.GetWidth(), bitmap.GetHeight()})
        return; // as the rule wants it, or resized while reading
    CMemoryBitmap resized;
    ResampleBitmap(bitmap, resized, target.width, target.height);
    std::unique_ptr<CSavedMarker> markers = bitmap.ReleaseMarkers();
    std::vector<uint8_t> profile = bitmap.GetIccProfile();
    bitmap.ConvertFrom(resized, 0);
    bitmap.SetMarkers(std::move(markers));
    bitmap.SetIccProfile(std::move(profile));
}
