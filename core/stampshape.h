#pragma once

#include "core/orientation.h"
#include "core/stamplayout.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

class CImageBitmap;

// The stamp's own transparency, as its picture brought it: one alpha byte per pixel, rows
// top to bottom. Empty for a stamp without transparency (no alpha in its file, or every
// pixel opaque), which then composites exactly as an opaque picture always has.
std::vector<uint8_t> OwnAlphaOf(const CImageBitmap& decoded);

// Multiplies the stamp's (prepared) alpha by its own, truncating as the blend does:
// effective = prepared x own / 255. Nothing happens for an empty plane.
void ApplyOwnAlpha(CImageBitmap& stamp, const std::vector<uint8_t>& ownAlpha);

// True when any pixel's alpha is below 255, so the stamp must be blended, not copied.
bool HasTranslucentPixel(const CImageBitmap& stamp);

// How the stamp is to look: the preparation values of the positioning page and the size
// relative to the photo.
struct CStampLook {
    uint8_t opacity = 255;
    uint32_t keyColour = 0; // the picked colour with its set flag; flag 0: no keying
    uint8_t tolerance = 0;
    uint8_t feather = 10;
    int32_t sizeMode = 0;     // 0 own size, 1 percent of the width, 2 of the shorter side
    int32_t sizePercent = 20; // 1..100
    int32_t angle = 0;        // degrees, anticlockwise as seen, after sizing
    CStampTiling tiling;      // copies over the whole photo
};

// Today's preparation of the stamp at its own size (keying with tolerance and feather when
// a colour is set, else the opacity everywhere), then its own alpha on top.
void PrepareStampAlpha(CImageBitmap& stamp, const std::vector<uint8_t>& ownAlpha,
                       const CStampLook& look);

// The size of the stamp on a photo of the given displayed size. Percent of the width: the
// stamp's width is that share of the photo's width. Percent of the shorter side: the
// stamp's longer side is that share of the photo's shorter side. The aspect ratio is kept
// and no side falls below 1 pixel; the own size comes back for size mode 0.
CGridSize ScaledStampSize(CGridSize stamp, CGridSize photo, int32_t sizeMode, int32_t percent);

// An offset scaled with the stamp, so margins stay in proportion: rounded to the nearest
// pixel, halves away from zero.
int32_t ScaleOffset(int32_t offset, CGridSize own, CGridSize scaled);

// One stamp ready for one photo.
struct CShapedStamp {
    std::shared_ptr<const CImageBitmap> bitmap; // prepared, turned as asked
    bool blend = false;                         // some alpha below 255
    CGridSize upright;                          // its size before the photo's orientation turn
    CGridSize sized;                            // its size before the angle, which offsets follow
};

// The stamp of a run: prepared once at its own size, and scaled (and turned) once per
// photo size (and orientation) that the run meets. Safe to share between threads.
class CStampShaper {
public:
    // stamp: the stamp's picture at 32 bits (its alpha bytes are not read); ownAlpha as
    // OwnAlphaOf gave it for that picture.
    CStampShaper(const CImageBitmap& stamp, std::vector<uint8_t> ownAlpha, const CStampLook& look);
    // For a stamp whose alpha PrepareStampAlpha already made with this look (the positioning
    // page prepares its stamp view for showing it): the preparation is not done again.
    struct CPrepared {};
    CStampShaper(const CImageBitmap& prepared, std::vector<uint8_t> ownAlpha,
                 const CStampLook& look, CPrepared);
    ~CStampShaper();
    CStampShaper(const CStampShaper&) = delete;
    CStampShaper& operator=(const CStampShaper&) = delete;

    // The stamp for a photo of that displayed size, turned into the stored grid of a photo
    // with that orientation (1: upright).
    CShapedStamp ForPhoto(CGridSize displayedPhoto, int orientation = 1);

    const CStampLook& Look() const { return m_look; }
    CGridSize OwnSize() const { return m_ownSize; }

private:
    CShapedStamp Upright(CGridSize size);

    CStampLook m_look;
    CGridSize m_ownSize;
    // The stamp prepared at its own size, as the page's preview shows it. Preparing changes
    // no colour, so it is also where every scaled size takes its colours from.
    std::shared_ptr<const CImageBitmap> m_prepared;
    // Its colours with keying, feather and own alpha but without the opacity, the source of
    // every scaled size; made when first needed.
    std::shared_ptr<const CImageBitmap> m_coverage;
    std::vector<uint8_t> m_ownAlpha;

    std::mutex m_mutex;
    std::map<std::tuple<int32_t, int32_t, int>, CShapedStamp> m_cache;
};
