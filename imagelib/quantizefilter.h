#pragma once

#include "imagelib/bitmap.h"

// A pixel operation from one bitmap into another, or in place.
class CImageFilter : public CPLObject {
public:
    // Runs into a temporary and copies the result back.
    virtual void ApplyInPlace(CImageBitmap& bitmap);
    // source and target must be different bitmaps.
    virtual void Apply(const CImageBitmap& source, CImageBitmap& target) = 0;
};

// Reduces a 32-bit bitmap to 8 bits with a 256-entry palette.
//   quantizeMode 0: median-cut boxes over a 32 x 32 x 32 histogram
//   quantizeMode 1: the eight cube corners and the 248 most frequent cells
//   quantizeMode 2: a fixed palette
//   ditherMode 0: none, 1: 4 x 4 ordered dither, 2: error diffusion
class CQuantizeFilter : public CImageFilter {
public:
    CQuantizeFilter(int quantizeMode, int ditherMode)
        : m_quantizeMode(quantizeMode), m_ditherMode(ditherMode) {}

    void Apply(const CImageBitmap& source, CImageBitmap& target) override;

private:
    int m_quantizeMode;
    int m_ditherMode;
};
