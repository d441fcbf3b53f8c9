#pragma once

#include <cstdint>

class CImageBitmap;

// Resamples a 32-bit bitmap with straight (not premultiplied) alpha to width x height
// (each at least 1). Colour is averaged premultiplied by alpha, so transparent pixels lend
// no colour to the edge next to them: no dark or light fringes. Along an axis that shrinks
// every target pixel is the area average of the source pixels it covers (partial pixels by
// their covered fraction), so fine detail cannot alias; along an axis that grows the
// target pixels are interpolated linearly between the centres of the two nearest source
// pixels, edges clamped. An axis of unchanged length is copied exactly. The target is
// created anew with the source's alpha flag.
void ScaleStampBitmap(const CImageBitmap& source, CImageBitmap& target, int32_t width,
                      int32_t height);
