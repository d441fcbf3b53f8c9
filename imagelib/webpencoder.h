#pragma once

#include "imagelib/imageencoder.h"

// Lossy WebP files through libwebp at the set quality, with the alpha channel of a bitmap
// that has one. The bitmap's EXIF marker (its orientation set to 1: the pixels are written
// as they are shown) goes into an EXIF chunk, an RGB colour profile into an ICCP chunk.
// 1- and 8-bit bitmaps are written through their palette colours.
//
// libwebp failures raise code 6 with libwebp's reason; a picture wider or higher than
// 16383 pixels (the format's limit) raises code 6 as well.
class CWebpEncoder : public CImageEncoder {
public:
    // 0 keeps the default quality (75); 1 .. 100 are passed on.
    void SetQuality(int quality) { m_quality = quality; }
    int GetQuality() const { return m_quality; }

    // libwebp's effort (0 fastest .. 6 smallest); 4 is cwebp's default.
    static constexpr int kMethod = 4;

protected:
    void EncodeBody(const CImageBitmap& bitmap, CImageSink& sink) override;
    int64_t MaxEncodedSize(const CImageBitmap& bitmap) const override;

private:
    int m_quality = 0;
};
