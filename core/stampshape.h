#pragma once

#include "core/orientation.h"
#include "core/stamplayout.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

class CImageBitmap;
struct CSavedMarker;

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
    // The size the placement's offsets are counted in: they scale from it to sized.
    CGridSize own;
};

// What a stamp may depend on besides the size of the photo it goes on.
struct CPhotoFacts {
    CGridSize displayed; // the photo as a viewer shows it
    int orientation = 1; // the written grid's orientation: the stamp is turned into it
    // The photo's file and its saved markers (EXIF), for texts that name them; empty and
    // null where there is no file (a pasted sample).
    std::string path;
    const CSavedMarker* markers = nullptr;
    // The mean luma (0..255) of the displayed photo under a stamp of those sizes (as
    // CShapedStamp holds them), placed as this photo's stamp is placed. Empty where the
    // pixels are not at hand.
    std::function<int(CGridSize upright, CGridSize sized, CGridSize own)> lumaUnder;
};

// The stamp of a run, whatever it is made of: the one thing the batch, the lossless path
// and the preview ask for a stamp. Safe to share between threads.
class CStampMaker {
public:
    virtual ~CStampMaker() = default;
    virtual CShapedStamp Shape(const CPhotoFacts& photo) = 0;
    // For a stamp that needs nothing of the photo but its size.
    CShapedStamp ForPhoto(CGridSize displayedPhoto, int orientation = 1) {
        CPhotoFacts facts;
        facts.displayed = displayedPhoto;
        facts.orientation = orientation;
        return Shape(facts);
    }
    // Whether Shape reads the pixels under the stamp (CPhotoFacts::lumaUnder).
    virtual bool NeedsPixels() const { return false; }
    virtual const CStampLook& Look() const = 0;
};

// A picture stamp: prepared once at its own size, and scaled (and turned) once per
// photo size (and orientation) that the run meets.
class CStampShaper : public CStampMaker {
public:
    // stamp: the stamp's picture at 32 bits (its alpha bytes are not read); ownAlpha as
    // OwnAlphaOf gave it for that picture.
    CStampShaper(const CImageBitmap& stamp, std::vector<uint8_t> ownAlpha, const CStampLook& look);
    // For a stamp whose alpha PrepareStampAlpha already made with this look (the positioning
    // page prepares its stamp view for showing it): the preparation is not done again.
    struct CPrepared {};
    CStampShaper(const CImageBitmap& prepared, std::vector<uint8_t> ownAlpha,
                 const CStampLook& look, CPrepared);
    ~CStampShaper() override;
    CStampShaper(const CStampShaper&) = delete;
    CStampShaper& operator=(const CStampShaper&) = delete;

    // The stamp for a photo of that displayed size, turned into the stored grid of a photo
    // with that orientation (1: upright).
    CShapedStamp Shape(const CPhotoFacts& photo) override;

    const CStampLook& Look() const override { return m_look; }
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
