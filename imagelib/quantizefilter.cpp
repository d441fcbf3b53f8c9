#include "imagelib/quantizefilter.h"

void CImageFilter::ApplyInPlace(CImageBitmap& bitmap) {
    CMemoryBitmap temp;
    Apply(bitmap, temp);
    bitmap.ConvertFrom(temp, 0);
}

void CQuantizeFilter::Apply(const CImageBitmap& source, CImageBitmap& target) {
    target.Create(source.GetWidth(), source.GetHeight(), 8, false);
    // TODO: palette choice and mapping
}
