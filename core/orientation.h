#pragma once

#include "core/stampcompositing.h"

#include <cstdint>

class CImageBitmap;

// The eight EXIF orientations say how a viewer turns and mirrors the stored pixel grid to
// show a photo upright: 1 as stored, 2 mirrored left to right, 3 turned half round,
// 4 mirrored top to bottom, 5 mirrored along the main diagonal, 6 turned a quarter
// clockwise, 7 mirrored along the other diagonal, 8 turned a quarter anticlockwise.
// Any other value counts as 1.
constexpr int NormalOrientation(int orientation) {
    return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

// Orientations 5 to 8 show the stored width as the height.
constexpr bool SwapsAxes(int orientation) {
    return NormalOrientation(orientation) >= 5;
}

struct CGridSize {
    int32_t width = 0;
    int32_t height = 0;
    bool operator==(const CGridSize&) const = default;
};

// The size a viewer shows of a stored grid, and back (both directions swap the same way).
constexpr CGridSize DisplayedSize(CGridSize stored, int orientation) {
    return SwapsAxes(orientation) ? CGridSize{stored.height, stored.width} : stored;
}

// The stored pixel that a viewer shows at (x, y) of the displayed frame.
struct CGridPoint {
    int32_t x = 0;
    int32_t y = 0;
    bool operator==(const CGridPoint&) const = default;
};
CGridPoint DisplayedToStored(CGridPoint displayed, CGridSize stored, int orientation);

// A placement computed in the displayed frame of a picture (ComputeStampPlacement with the
// displayed size of the picture and the upright stamp) as the placement in the stored
// grids: the picture's, and that of the stamp turned by TurnToStored with the same
// orientation. Copying or blending the turned stamp with the result puts every stamp pixel
// where the displayed placement shows it. storedPicture is the picture's stored size,
// uprightStamp the stamp's own size. A placement where nothing lands stays so.
CStampPlacement PlacementToStored(const CStampPlacement& displayed, CGridSize uprightStamp,
                                  CGridSize storedPicture, int orientation);

// 32-bit bitmaps. The target is created anew with the turned size and the source's alpha
// flag; markers and colour profile stay with the source. target must not be source.
// TurnToDisplayed makes a stored grid upright, as a viewer shows it; TurnToStored is its
// inverse and lays an upright picture into the grid of a photo with that orientation.
void TurnToDisplayed(const CImageBitmap& stored, CImageBitmap& upright, int orientation);
void TurnToStored(const CImageBitmap& upright, CImageBitmap& stored, int orientation);
