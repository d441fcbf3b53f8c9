#pragma once

#include "imagelib/imageencoder.h"

// AVIF files through libheif's AV1 encoder (libaom) at the set quality, 4:2:0, with the
// alpha channel of a bitmap that has one. The bitmap's EXIF marker (its orientation set to
// 1: the pixels are written as they are shown) goes into an Exif item, an RGB colour
// profile into the colour property. 1- and 8-bit bitmaps are written through their palette
// colours.
//
// libheif failures raise code 6 with libheif's message.
class CAvifEncoder : public CImageEncoder {
public:
    // 0 keeps the default quality (75); 1 .. 100 are passed on.
    void SetQuality(int quality) { m_quality = quality; }
    int GetQuality() const { return m_quality; }

    // libaom's speed (0 slowest .. 9 fastest) and the threads of one picture. A batch runs a
    // picture per core, so one picture takes one thread; at speed 8 a 12-megapixel photo
    // takes under 2 s on one core, at a size within a few per cent of speed 6.
    static constexpr int kSpeed = 8;
    static constexpr int kThreads = 1;

protected:
    void EncodeBody(const CImageBitmap& bitmap, CImageSink& sink) override;
    int64_t MaxEncodedSize(const CImageBitmap& bitmap) const override;

private:
    int m_quality = 0;
};
