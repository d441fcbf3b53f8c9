#pragma once

#include "core/orientation.h"
#include "core/stampcompositing.h"

#include <cstdint>
#include <functional>

class CImageBitmap;

// Angles are whole degrees, positive counter-clockwise as the picture is seen.
constexpr int32_t kMinStampAngle = -180;
constexpr int32_t kMaxStampAngle = 180;

// The size of the box that holds a stamp of that size turned by the angle. Quarter turns
// swap or keep the sides exactly; other angles take the smallest whole box around the
// turned corners.
CGridSize TurnedStampSize(CGridSize stamp, int32_t degrees);

// Turns a 32-bit stamp with straight alpha by the angle into the box TurnedStampSize gives,
// the stamp's centre on the box's centre. Quarter turns move pixels without resampling.
// Other angles sample every box pixel bilinearly on premultiplied colour, the area outside
// the stamp counting as transparent, so the turned edges are smooth and transparent pixels
// lend no colour to them. The target is created anew and always has alpha.
void TurnStamp(const CImageBitmap& upright, CImageBitmap& turned, int32_t degrees);

// A stamp repeated over the whole picture.
struct CStampTiling {
    bool enabled = false;
    // The space between neighbouring copies as a share of the stamp's width (across) and
    // height (down), in percent.
    int32_t gapPercent = 50;
    // Every other row shifted by half a step, as bricks are laid.
    bool offsetRows = false;
};

constexpr int32_t kMaxTileGapPercent = 1000;

// The unclipped top-left corner of the stamp as alignment and offsets put it on the picture;
// it may lie outside.
CGridPoint StampOrigin(CGridSize stamp, CGridSize picture, uint8_t halign, uint8_t valign,
                       int32_t offsetX, int32_t offsetY);

// The stamp with its top-left corner at origin, clipped to the picture.
CStampPlacement PlacementAt(CGridSize stamp, CGridSize picture, CGridPoint origin);

// Calls visit with every copy of a stamp that shows on the picture, row by row from the top,
// left to right: the single stamp as alignment and offsets place it when tiling is off;
// else a grid through the single stamp's corner, stepped by the stamp's size plus the gap.
// Copies never share a pixel. Returns how many were visited; 0 means that nothing of the
// stamp lands on the picture. (A visitor rather than a list: a tiny stamp on a big photo
// makes millions of copies.)
int64_t ForEachStampPlacement(CGridSize stamp, CGridSize picture, uint8_t halign, uint8_t valign,
                              int32_t offsetX, int32_t offsetY, const CStampTiling& tiling,
                              const std::function<void(const CStampPlacement&)>& visit);
