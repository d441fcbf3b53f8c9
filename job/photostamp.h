#pragma once

#include "core/stampcompositing.h"
#include "core/stampshape.h"

#include <cstdint>
#include <functional>

class CImageBitmap;

// Where a stamp goes on the photos of a run.
struct CPhotoPlacement {
    uint8_t halign = 1; // 0 left, 1 centre, 2 right
    uint8_t valign = 1; // 0 top, 1 middle, 2 bottom
    // For the stamp at its own size; they scale with it.
    int32_t offsetX = 0;
    int32_t offsetY = 0;
    // Place on the photo as a viewer shows it, following its EXIF orientation.
    bool followExif = true;
};

// Stamps one decoded photo (32 bits per pixel) in place, as the batch and the preview do.
// Alignment and offsets apply to the photo as a viewer displays it when
// followExif is on, and the stamp shows upright there. outputKeepsExif tells whether the
// photo's EXIF block goes into the output: then the pixels stay in their stored grid and
// the stamp is turned into it, so the output displays like the input; otherwise a turned
// photo is made upright first (its markers and colour profile stay with it). Returns the
// orientation that was followed (1 when none). landed, when given, receives how many
// copies of the stamp landed on the photo: 0 when it lies wholly outside.
//
// The pieces are there for callers with their own pixels: the stamp for the photo comes
// from CStampShaper::ForPhoto(displayed size, orientation of the written grid), its place
// from PhotoStampPlacement.
int StampPhoto(CImageBitmap& photo, CStampShaper& shaper, const CPhotoPlacement& placement,
               bool outputKeepsExif, int64_t* landed = nullptr);

// A batch writes no photo that its stamp misses (offsets beyond a smaller photo of a mixed
// batch): throws CTextException "the stamp lies outside the picture" when no copy landed.
// One only partly outside is clipped.
void RequireStampOnPicture(int64_t copies);

// Where the shaped stamp lands in the grid of a photo whose stored size is given and whose
// written pixels a viewer turns by gridOrientation (1: written upright): the placement is
// computed on the displayed photo with the offsets scaled like the stamp, then mapped into
// the stored grid, for the stamp as ForPhoto turned it.
CStampPlacement PhotoStampPlacement(const CShapedStamp& stamp, CGridSize ownStamp,
                                    CGridSize storedPhoto, int gridOrientation,
                                    const CPhotoPlacement& placement);

// The same for every copy of a tiled stamp (the single one when tiling is off), in the stored
// grid; returns how many land.
int64_t ForEachPhotoStampPlacement(const CShapedStamp& stamp, CGridSize ownStamp,
                                   CGridSize storedPhoto, int gridOrientation,
                                   const CPhotoPlacement& placement, const CStampTiling& tiling,
                                   const std::function<void(const CStampPlacement&)>& visit);
