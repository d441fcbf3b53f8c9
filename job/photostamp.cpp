#include "job/photostamp.h"

#include "core/orientation.h"
#include "core/stampcompositing.h"
#include "core/stampshape.h"
#include "imagelib/bitmap.h"
#include "imagelib/exiforientation.h"
#include "imagelib/textexception.h"

#include <utility>

int StampPhoto(CImageBitmap& photo, CStampShaper& shaper, const CPhotoPlacement& placement,
               bool outputKeepsExif, int64_t* landed) {
    const int orientation = placement.followExif ? ExifOrientation(photo) : 1;
    int grid = orientation; // how the pixels written out are turned for display
    if (orientation != 1 && !outputKeepsExif) {
        // Nothing will tell a viewer to turn the output: write it as it is to be seen.
        CMemoryBitmap upright;
        TurnToDisplayed(photo, upright, orientation);
        std::unique_ptr<CSavedMarker> markers = photo.ReleaseMarkers();
        std::vector<uint8_t> profile = photo.GetIccProfile();
        photo.ConvertFrom(upright, 0);
        photo.SetMarkers(std::move(markers));
        photo.SetIccProfile(std::move(profile));
        grid = 1;
    }
    const CGridSize stored{photo.GetWidth(), photo.GetHeight()};
    const CShapedStamp stamp = shaper.ForPhoto(DisplayedSize(stored, grid), grid);
    const int64_t copies =
        ForEachPhotoStampPlacement(stamp, shaper.OwnSize(), stored, grid, placement,
                                   shaper.Look().tiling, [&](const CStampPlacement& where) {
                                       if (stamp.blend)
                                           BlendStampPixels(*stamp.bitmap, photo, where);
                                       else
                                           CopyStampPixels(*stamp.bitmap, photo, where);
                                   });
    if (landed)
        *landed = copies;
    return orientation;
}

CStampPlacement PhotoStampPlacement(const CShapedStamp& stamp, CGridSize ownStamp,
                                    CGridSize storedPhoto, int gridOrientation,
                                    const CPhotoPlacement& placement) {
    const CGridSize displayed = DisplayedSize(storedPhoto, gridOrientation);
    const CStampPlacement shown = ComputeStampPlacement(
        stamp.upright.width, stamp.upright.height, displayed.width, displayed.height,
        placement.halign, placement.valign, ScaleOffset(placement.offsetX, ownStamp, stamp.sized),
        ScaleOffset(placement.offsetY, ownStamp, stamp.sized));
    return PlacementToStored(shown, stamp.upright, storedPhoto, gridOrientation);
}

int64_t ForEachPhotoStampPlacement(const CShapedStamp& stamp, CGridSize ownStamp,
                                   CGridSize storedPhoto, int gridOrientation,
                                   const CPhotoPlacement& placement, const CStampTiling& tiling,
                                   const std::function<void(const CStampPlacement&)>& visit) {
    const CGridSize displayed = DisplayedSize(storedPhoto, gridOrientation);
    return ForEachStampPlacement(
        stamp.upright, displayed, placement.halign, placement.valign,
        ScaleOffset(placement.offsetX, ownStamp, stamp.sized),
        ScaleOffset(placement.offsetY, ownStamp, stamp.sized), tiling,
        [&](const CStampPlacement& shown) {
            visit(PlacementToStored(shown, stamp.upright, storedPhoto, gridOrientation));
        });
}

void RequireStampOnPicture(int64_t copies) {
    if (copies <= 0)
        throw CTextException(0, "the stamp lies outside the picture\n");
}
