#pragma once

#include "imagelib/imagedecoder.h"

#include <memory>

class CBmpDecoder;
class CJpegDecoder;
class CPngDecoder;
class CGifDecoder;
class CHeifDecoder;
class CWebpDecoder;
class CTiffDecoder;

// The classes of the format recognition; the numbers are stable.
enum CImageType : int {
    kImageUnknown = 0,
    kImageBmp = 1,
    kImagePict = 2,
    kImageTarga = 3,
    kImageTiff = 4,
    kImageJpeg = 5,
    kImagePng = 6,
    kImageEpsPreview = 7,
    kImagePcx = 10,
    kImagePgm = 11,
    kImageGif = 12,
    kImageHeif = 13, // HEIF and AVIF: ISO media files with an image brand
    kImageWebp = 14,
};

// Recognises the format of an input by its first bytes and hands it to the decoder of
// that format. Unknown inputs raise code 8 "Unknown file type."; recognised formats
// without a decoder raise code 6 "Library not compiled for this file type.".
class CAutoDetectDecoder : public CImageDecoder {
public:
    CAutoDetectDecoder();
    ~CAutoDetectDecoder() override;

    void Decode(CImageSource& source, CImageBitmap& bitmap, int bitsPerPixel) override;

    // Bytes the recognition looks at; the PICT test reaches past the 512-byte header that
    // precedes a PICT picture.
    static constexpr int kRecognitionBytes = 526;
    // Classifies kRecognitionBytes bytes (zero past the end of the input) together with
    // the input's size. The first matching test wins; the order matters (Targa before GIF,
    // JPEG and PNG; PICT only for inputs above 540 bytes). HEIF and AVIF are told by their
    // file type box and its brands, WebP by its RIFF header.
    static CImageType ClassifyImage(const uint8_t* bytes, int size);

private:
    // A picture that its format decoder did not deliver at the resize rule's size.
    void ResizeDecoded(CImageBitmap& bitmap, CPixelSize full) const;

    std::unique_ptr<CBmpDecoder> m_bmpDecoder;
    std::unique_ptr<CJpegDecoder> m_jpegDecoder;
    std::unique_ptr<CPngDecoder> m_pngDecoder;
    std::unique_ptr<CGifDecoder> m_gifDecoder;
    std::unique_ptr<CHeifDecoder> m_heifDecoder;
    std::unique_ptr<CWebpDecoder> m_webpDecoder;
    std::unique_ptr<CTiffDecoder> m_tiffDecoder;
};
