#pragma once

#include "imagelib/imageencoder.h"

#include <memory>
#include <vector>

// Baseline JPEG files through libjpeg, with libjpeg's JFIF header followed by every marker
// of the bitmap's saved-marker list in list order (header preservation). 32-bit bitmaps
// are written as they are (the alpha byte never), 1- and 8-bit bitmaps through their
// palette colours.
//
// libjpeg failures raise code 6 with libjpeg's message; a full sink raises code 11.
class CJpegEncoder : public CImageEncoder {
public:
    CJpegEncoder();
    ~CJpegEncoder() override;

    // 0 keeps libjpeg's default quality (75); 1 .. 100 are passed on, with the tables
    // limited to baseline values.
    void SetQuality(int quality) { m_quality = quality; }
    int GetQuality() const { return m_quality; }

protected:
    void EncodeBody(const CImageBitmap& bitmap, CImageSink& sink) override;
    // The saved markers (up to 64 KB each) can outweigh a small picture many times.
    int64_t MaxEncodedSize(const CImageBitmap& bitmap) const override;

private:
    // The libjpeg part: pixels are 32 bits a pixel.
    void Compress(CImageBitmap& pixels, const CSavedMarker* markers,
                  const std::vector<uint8_t>& iccProfile, CImageSink& sink);

    struct CState; // the libjpeg context with its error and destination managers
    std::unique_ptr<CState> m_state;
    int m_quality = 0;
    bool m_optimizeCoding = false;
    int m_smoothingFactor = 0;
    int m_xDensity = 0; // dots per inch; written only when one of them is not 0
    int m_yDensity = 0;
};
