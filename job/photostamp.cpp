#include "job/photostamp.h"

#include "core/orientation.h"
#include "core/stampcompositing.h"
#include "core/stampshape.h"
#include "imagelib/bitmap.h"
#include "imagelib/exiforientation.h"
#include "imagelib/textexception.h"

#include <algorithm>
#include <utility>

int StampPhoto(CImageBitmap& photo, CStampMaker& maker, const CPhotoPlacement& placement,
               bool outputKeepsExif, int64_t* landed, const std::string& path) {
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
    CPhotoFacts facts;
    facts.displayed = DisplayedSize(stored, grid);
    facts.orientation = grid;
    facts.path = path;
    facts.markers = photo.GetMarkers();
    if (maker.NeedsPixels())
        facts.lumaUnder = [&](CGridSize upright, CGridSize sized, CGridSize own) {
            return MeanLuma(photo,
                            PhotoStampPlacement(upright, sized, own, stored, grid, placement));
        };
    const CShapedStamp stamp = maker.Shape(facts);
    const int64_t copies =
        ForEachPhotoStampPlacement(stamp, stamp.own, stored, grid, placement, maker.Look().tiling,
                                   [&](const CStampPlacement& where) {
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
    return PhotoStampPlacement(stamp.upright, stamp.sized, ownStamp, storedPhoto, gridOrientation,
                               placement);
}

CStampPlacement PhotoStampPlacement(CGridSize upright, CGridSize sized, CGridSize own,
                                    CGridSize storedPhoto, int gridOrientation,
                                    const CPhotoPlacement& placement) {
    const CGridSize displayed = DisplayedSize(storedPhoto, gridOrientation);
    const CStampPlacement shown = ComputeStampPlacement(
        upright.width, upright.height, displayed.width, displayed.height, placement.halign,
        placement.valign, ScaleOffset(placement.offsetX, own, sized),
        ScaleOffset(placement.offsetY, own, sized));
    return PlacementToStored(shown, upright, storedPhoto, gridOrientation);
}

int MeanLuma(const CImageBitmap& picture, const CStampPlacement& where) {
    const int x0 = std::max(0, where.targetX), y0 = std::max(0, where.targetY);
    const int x1 = std::min(picture.GetWidth(), where.targetX + where.width);
    const int y1 = std::min(picture.GetHeight(), where.targetY + where.height);
    if (x1 <= x0 || y1 <= y0 || picture.GetBitsPerPixel() != 32)
        return 0;
    const uint8_t* const* lines = picture.GetLines();
    uint64_t sum = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const uint8_t* p = lines[y] + 4 * x;
            sum += 114u * p[0] + 587u * p[1] + 299u * p[2];
        }
    const uint64_t count = uint64_t(x1 - x0) * uint64_t(y1 - y0);
    return int(sum / (count * 1000));
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
