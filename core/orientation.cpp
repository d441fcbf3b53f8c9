#include "core/orientation.h"

#include "imagelib/bitmap.h"

#include <algorithm>
#include <type_traits>

namespace {

// The 32-bit word at column x of a row, const as the row is.
template <class Row> auto Word(Row row, int32_t x) {
    if constexpr (std::is_const_v<std::remove_pointer_t<Row>>)
        return reinterpret_cast<const uint32_t*>(row) + x;
    else
        return reinterpret_cast<uint32_t*>(row) + x;
}

// Walks the displayed frame and calls pixel(displayed word, stored word) for every pair.
// Along a displayed row the stored position moves by one fixed step, so the stored pixel
// is reached by pointer steps instead of a full mapping per pixel. When that step goes
// down a stored column (quarter turns), the frame is walked in tiles, so that the stored
// rows a tile reads stay in the cache: row by row, every pixel missed it.
template <class StoredLines, class DisplayedLines, class PixelOp>
void WalkTurned(StoredLines storedLines, CGridSize stored, int orientation,
                DisplayedLines displayedLines, CGridSize displayed, PixelOp pixel) {
    if (displayed.width <= 0 || displayed.height <= 0)
        return;
    const CGridPoint first = DisplayedToStored({0, 0}, stored, orientation);
    const CGridPoint nextColumn = DisplayedToStored({1, 0}, stored, orientation);
    const CGridPoint nextRow = DisplayedToStored({0, 1}, stored, orientation);
    const int32_t stepX = nextColumn.x - first.x, stepY = nextColumn.y - first.y;
    const int32_t rowX = nextRow.x - first.x, rowY = nextRow.y - first.y;
    if (stepY == 0) {
        for (int32_t y = 0; y < displayed.height; ++y) {
            auto out = Word(displayedLines[y], 0);
            auto in = Word(storedLines[first.y + rowY * y], first.x + rowX * y);
            for (int32_t x = 0; x < displayed.width; ++x, in += stepX)
                pixel(out[x], *in);
        }
        return;
    }
    constexpr int32_t kTile = 64;
    for (int32_t ty = 0; ty < displayed.height; ty += kTile)
        for (int32_t tx = 0; tx < displayed.width; tx += kTile) {
            const int32_t yEnd = std::min(ty + kTile, displayed.height);
            const int32_t xEnd = std::min(tx + kTile, displayed.width);
            for (int32_t y = ty; y < yEnd; ++y) {
                const int32_t sx = first.x + rowX * y + stepX * tx;
                int32_t sy = first.y + rowY * y + stepY * tx;
                auto out = Word(displayedLines[y], 0);
                for (int32_t x = tx; x < xEnd; ++x, sy += stepY)
                    pixel(out[x], *Word(storedLines[sy], sx));
            }
        }
}

CGridSize SizeOf(const CImageBitmap& bitmap) {
    return {bitmap.GetWidth(), bitmap.GetHeight()};
}

} // namespace

CGridPoint DisplayedToStored(CGridPoint d, CGridSize stored, int orientation) {
    const int32_t w = stored.width - 1, h = stored.height - 1;
    switch (NormalOrientation(orientation)) {
    case 2:
        return {w - d.x, d.y};
    case 3:
        return {w - d.x, h - d.y};
    case 4:
        return {d.x, h - d.y};
    case 5:
        return {d.y, d.x};
    case 6:
        return {d.y, h - d.x};
    case 7:
        return {w - d.y, h - d.x};
    case 8:
        return {w - d.y, d.x};
    default:
        return d;
    }
}

CStampPlacement PlacementToStored(const CStampPlacement& p, CGridSize uprightStamp,
                                  CGridSize storedPicture, int orientation) {
    if (p.width <= 0 || p.height <= 0 || NormalOrientation(orientation) == 1)
        return p;
    const CGridSize turnedStamp = DisplayedSize(uprightStamp, orientation);
    // The rectangle's two opposite corners, mapped, span the stored rectangle.
    auto corners = [&](int32_t x, int32_t y, CGridSize grid, int32_t& left, int32_t& top) {
        const CGridPoint a = DisplayedToStored({x, y}, grid, orientation);
        const CGridPoint b =
            DisplayedToStored({x + p.width - 1, y + p.height - 1}, grid, orientation);
        left = std::min(a.x, b.x);
        top = std::min(a.y, b.y);
    };
    CStampPlacement s;
    corners(p.sourceX, p.sourceY, turnedStamp, s.sourceX, s.sourceY);
    corners(p.targetX, p.targetY, storedPicture, s.targetX, s.targetY);
    s.width = SwapsAxes(orientation) ? p.height : p.width;
    s.height = SwapsAxes(orientation) ? p.width : p.height;
    return s;
}

void TurnToDisplayed(const CImageBitmap& stored, CImageBitmap& upright, int orientation) {
    const CGridSize displayed = DisplayedSize(SizeOf(stored), orientation);
    upright.Create(displayed.width, displayed.height, 32, stored.HasAlpha());
    WalkTurned(stored.GetLines(), SizeOf(stored), orientation, upright.GetLines(), displayed,
               [](uint32_t& shown, uint32_t kept) { shown = kept; });
}

void TurnToStored(const CImageBitmap& upright, CImageBitmap& stored, int orientation) {
    const CGridSize grid = DisplayedSize(SizeOf(upright), orientation);
    stored.Create(grid.width, grid.height, 32, upright.HasAlpha());
    // The walk goes over the upright picture and writes into the stored grid.
    WalkTurned(stored.GetLines(), grid, orientation, upright.GetLines(), SizeOf(upright),
               [](uint32_t shown, uint32_t& kept) { kept = shown; });
}
