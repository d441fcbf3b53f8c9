#pragma once

#include "imagelib/imageencoder.h"

// Uncompressed Windows bitmap files with a 40-byte info header, rows bottom-up and padded
// to 4 bytes: 24 bits for 32-bit bitmaps (alpha is dropped), 1 or 8 bits with the
// bitmap's palette for palette bitmaps.
class CBmpEncoder : public CImageEncoder {
protected:
    void EncodeBody(const CImageBitmap& bitmap, CImageSink& sink) override;
    int64_t MaxEncodedSize(const CImageBitmap& bitmap) const override;
};
