#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class CImageBitmap;

// How the outputs of a run are sized. The rule applies to the picture as a viewer shows
// it (after its EXIF orientation); the aspect ratio is kept and sizes are rounded to the
// nearest pixel, never below one.
constexpr int32_t kResizeNone = 0;
constexpr int32_t kResizeLong = 1;    // the longer side becomes value pixels
constexpr int32_t kResizeShort = 2;   // the shorter side becomes value pixels
constexpr int32_t kResizeWidth = 3;   // the width becomes value pixels
constexpr int32_t kResizeHeight = 4;  // the height becomes value pixels
constexpr int32_t kResizePercent = 5; // both sides become value percent
constexpr int32_t kMaxResizePixels = 65535;
constexpr int32_t kMaxResizePercent = 1000;

struct CResizeRule {
    int32_t mode = kResizeNone;
    int32_t value = 0; // pixels, or percent for kResizePercent; 1.. the mode's maximum
    // A picture smaller than the rule asks for is enlarged only when set.
    bool enlarge = false;

    bool Active() const { return mode != kResizeNone; }
    bool operator==(const CResizeRule&) const = default;
};

struct CPixelSize {
    int32_t width = 0;
    int32_t height = 0;
    bool operator==(const CPixelSize&) const = default;
};

// The size the rule gives a picture of that size; the same size for an inactive rule, a
// value out of range, or an enlargement the rule does not allow.
CPixelSize ResizedSize(CPixelSize picture, const CResizeRule& rule);

// The same for a picture stored with an EXIF orientation (1 to 8): the rule sees the
// displayed size, the result is the stored grid's (swapped back for quarter turns).
CPixelSize ResizedStoredSize(CPixelSize stored, int orientation, const CResizeRule& rule);

// The largest power of two up to 8 by which a codec may reduce a picture of size `from`
// while reading it (each side rounded up, as libjpeg's DCT scaling gives it) and still
// leave more than `to` in both directions for the filter: 1 unless `to` is below half of
// `from` each way.
int ResizeReduction(CPixelSize from, CPixelSize to);

// A Lanczos-3 resampler over 32-bit rows (blue, green, red, alpha), separable and in
// fixed point, fed one input row at a time so that a decoder can hand over its rows as it
// makes them: the whole input picture is never held, only as many rows as the vertical
// filter reaches over. Colour is filtered premultiplied by alpha when the input has alpha,
// so transparent pixels give no fringe. A direction whose size does not change is left
// exactly as it is.
//
// The weights follow the usual windowed-sinc construction (support 3 input pixels scaled
// by the reduction, clipped at the edges and normalised there), so a reduction matches
// other Lanczos-3 resizers to within rounding.
class CResampler {
public:
    // target: created by the caller at outWidth x outHeight, 32 bits per pixel; its rows
    // are filled as the input rows arrive. Sizes must be positive.
    CResampler(int inWidth, int inHeight, CImageBitmap& target, bool alpha);
    ~CResampler();
    CResampler(const CResampler&) = delete;
    CResampler& operator=(const CResampler&) = delete;

    // Where the next input row (inWidth pixels) is to be written; then RowWritten.
    uint8_t* NextRow();
    void RowWritten();
    // The input rows still expected.
    int RowsLeft() const;

private:
    struct CState;
    std::unique_ptr<CState> m_state;
};

// Resamples a whole 32-bit picture into target (re-created at width x height with the
// source's alpha flag); markers and colour profile are not taken along. target must not
// be source.
void ResampleBitmap(const CImageBitmap& source, CImageBitmap& target, int width, int height);

// The resampler's arithmetic without the vector units, for checking the vector kernels.
// Process-wide; meant for tests.
void SetResampleVectorUnits(bool use);
