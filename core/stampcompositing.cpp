#include "core/stampcompositing.h"

#include "imagelib/bitmap.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

struct Axis {
    int32_t source, target, length;
};

Axis PlaceAxis(int32_t stampSize, int32_t pictureSize, uint8_t align, int32_t offset) {
    // 64-bit so that extreme offsets cannot wrap into the picture.
    int64_t p = offset;
    if (align == 1)
        p += pictureSize / 2 - stampSize / 2; // each halved on its own: 100, 11 -> 45
    else if (align == 2)
        p += pictureSize - stampSize;
    Axis a;
    const int64_t source = p < 0 ? -p : 0;
    const int64_t target = p < 0 ? 0 : p;
    const int64_t length = std::min<int64_t>(stampSize - source, pictureSize - target);
    a.source = int32_t(std::min<int64_t>(source, INT32_MAX));
    a.target = int32_t(std::min<int64_t>(target, INT32_MAX));
    a.length = int32_t(std::clamp<int64_t>(length, INT32_MIN, INT32_MAX));
    return a;
}

// The picture's alpha byte of each pixel survives both operations.
constexpr uint32_t kColourMask = 0x00FFFFFFu;

inline uint32_t BlendPixel(uint32_t s, uint32_t d) {
    const uint32_t a = s >> 24;
    const uint32_t na = 255 - a;
    uint32_t out = d & ~kColourMask;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t v = (((s >> shift) & 0xFF) * a + ((d >> shift) & 0xFF) * na) / 255;
        out |= v << shift;
    }
    return out;
}

void CopyRow(const uint32_t* s, uint32_t* d, int32_t width) {
    int32_t c = 0;
#if defined(__SSE2__)
    const __m128i colour = _mm_set1_epi32(int(kColourMask));
    for (; c + 4 <= width; c += 4) {
        const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + c));
        const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + c));
        const __m128i out = _mm_or_si128(_mm_and_si128(sv, colour), _mm_andnot_si128(colour, dv));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + c), out);
    }
#endif
    for (; c < width; ++c)
        d[c] = (s[c] & kColourMask) | (d[c] & ~kColourMask);
}

void BlendRow(const uint32_t* s, uint32_t* d, int32_t width) {
    int32_t c = 0;
#if defined(__SSE2__)
    // Four pixels at a time in 16-bit lanes. s x a + d x (255 - a) is at most 65025, and
    // (x + 1 + (x >> 8)) >> 8 equals x / 255 for every such x, so the result is the
    // truncating integer formula bit for bit.
    const __m128i zero = _mm_setzero_si128();
    const __m128i full = _mm_set1_epi16(255);
    const __m128i one = _mm_set1_epi16(1);
    const __m128i alphaBytes = _mm_set1_epi32(int(~kColourMask));
    auto half = [&](__m128i s16, __m128i d16) {
        __m128i a = _mm_shufflelo_epi16(s16, _MM_SHUFFLE(3, 3, 3, 3));
        a = _mm_shufflehi_epi16(a, _MM_SHUFFLE(3, 3, 3, 3));
        const __m128i x =
            _mm_add_epi16(_mm_mullo_epi16(s16, a), _mm_mullo_epi16(d16, _mm_sub_epi16(full, a)));
        return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(x, one), _mm_srli_epi16(x, 8)), 8);
    };
    for (; c + 4 <= width; c += 4) {
        const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + c));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(sv, alphaBytes), zero)) == 0xFFFF)
            continue; // four keyed-out pixels: the picture stays as it is
        const __m128i dv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d + c));
        const __m128i lo = half(_mm_unpacklo_epi8(sv, zero), _mm_unpacklo_epi8(dv, zero));
        const __m128i hi = half(_mm_unpackhi_epi8(sv, zero), _mm_unpackhi_epi8(dv, zero));
        const __m128i mixed = _mm_packus_epi16(lo, hi);
        const __m128i out =
            _mm_or_si128(_mm_andnot_si128(alphaBytes, mixed), _mm_and_si128(alphaBytes, dv));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + c), out);
    }
#endif
    for (; c < width; ++c)
        if (s[c] >> 24)
            d[c] = BlendPixel(s[c], d[c]);
}

// A stamp pixel over a picture pixel that has alpha of its own. Premultiplied, the
// colour is s x sa + d x da x (1 - sa); divided by the new alpha it is stored straight.
// Where the picture is opaque this is the opaque blend bit for bit.
inline uint32_t OverPixel(uint32_t s, uint32_t d) {
    const uint32_t sa = s >> 24;
    if (sa == 0)
        return d;
    const uint32_t da = d >> 24;
    const uint32_t rest = da * (255 - sa) / 255; // the picture's share of the new alpha
    const uint32_t alpha = sa + rest;
    uint32_t out = alpha << 24;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t v =
            (((s >> shift) & 0xFF) * sa * 255 + ((d >> shift) & 0xFF) * da * (255 - sa)) /
            (alpha * 255);
        out |= std::min<uint32_t>(v, 255) << shift;
    }
    return out;
}

void OverRow(const uint32_t* s, uint32_t* d, int32_t width) {
    for (int32_t c = 0; c < width; ++c)
        d[c] = OverPixel(s[c], d[c]);
}

// A copied stamp is opaque wherever it lands.
void CopyOpaqueRow(const uint32_t* s, uint32_t* d, int32_t width) {
    for (int32_t c = 0; c < width; ++c)
        d[c] = s[c] | ~kColourMask;
}

// Calls rowOp(stamp row, picture row, width) for each row of the placed rectangle, both
// already advanced to its first column; an empty rectangle visits nothing.
template <class RowOp>
void ForEachRow(const CImageBitmap& stamp, CImageBitmap& picture, int32_t sourceX, int32_t sourceY,
                int32_t targetX, int32_t targetY, int32_t width, int32_t height, RowOp rowOp) {
    if (width <= 0 || height <= 0)
        return;
    const uint8_t* const* from = stamp.GetLines();
    uint8_t** to = picture.GetLines();
    for (int32_t r = 0; r < height; ++r)
        rowOp(reinterpret_cast<const uint32_t*>(from[sourceY + r]) + sourceX,
              reinterpret_cast<uint32_t*>(to[targetY + r]) + targetX, width);
}

} // namespace

CStampPlacement ComputeStampPlacement(const CImageBitmap& stamp, const CImageBitmap& picture,
                                      uint8_t halign, uint8_t valign, int32_t offsetX,
                                      int32_t offsetY) {
    return ComputeStampPlacement(stamp.GetWidth(), stamp.GetHeight(), picture.GetWidth(),
                                 picture.GetHeight(), halign, valign, offsetX, offsetY);
}

CStampPlacement ComputeStampPlacement(int32_t stampWidth, int32_t stampHeight, int32_t pictureWidth,
                                      int32_t pictureHeight, uint8_t halign, uint8_t valign,
                                      int32_t offsetX, int32_t offsetY) {
    const Axis x = PlaceAxis(stampWidth, pictureWidth, halign, offsetX);
    const Axis y = PlaceAxis(stampHeight, pictureHeight, valign, offsetY);
    return {x.source, y.source, x.target, y.target, x.length, y.length};
}

void CopyStampPixels(const CImageBitmap& stamp, CImageBitmap& picture, int32_t sourceX,
                     int32_t sourceY, int32_t targetX, int32_t targetY, int32_t width,
                     int32_t height) {
    if (picture.HasAlpha())
        ForEachRow(stamp, picture, sourceX, sourceY, targetX, targetY, width, height,
                   CopyOpaqueRow);
    else
        ForEachRow(stamp, picture, sourceX, sourceY, targetX, targetY, width, height, CopyRow);
}

void BlendStampPixels(const CImageBitmap& stamp, CImageBitmap& picture, int32_t sourceX,
                      int32_t sourceY, int32_t targetX, int32_t targetY, int32_t width,
                      int32_t height) {
    if (picture.HasAlpha())
        ForEachRow(stamp, picture, sourceX, sourceY, targetX, targetY, width, height, OverRow);
    else
        ForEachRow(stamp, picture, sourceX, sourceY, targetX, targetY, width, height, BlendRow);
}

void FlattenOntoBackground(CImageBitmap& picture, uint32_t background) {
    if (!picture.HasAlpha() || picture.GetBitsPerPixel() != 32)
        return;
    uint8_t** lines = picture.GetLines();
    const int width = picture.GetWidth();
    for (int y = 0; y < picture.GetHeight(); ++y) {
        auto* row = reinterpret_cast<uint32_t*>(lines[y]);
        for (int x = 0; x < width; ++x) {
            const uint32_t p = row[x];
            const uint32_t a = p >> 24;
            if (a == 255)
                continue;
            uint32_t out = ~kColourMask;
            for (int shift = 0; shift < 24; shift += 8) {
                const uint32_t v =
                    (((p >> shift) & 0xFF) * a + ((background >> shift) & 0xFF) * (255 - a) + 127) /
                    255;
                out |= v << shift;
            }
            row[x] = out;
        }
    }
    picture.SetHasAlpha(false);
}
