#pragma once

#include <cstdint>

class CImageBitmap;

// Where a stamp lands on a picture, in pixels: the stamp rectangle that starts at
// (sourceX, sourceY) in stamp coordinates and is width x height large lands at
// (targetX, targetY) in picture coordinates. width or height <= 0: nothing lands.
struct CStampPlacement {
    int32_t sourceX = 0;
    int32_t sourceY = 0;
    int32_t targetX = 0;
    int32_t targetY = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// halign: 0 left, 1 centre, 2 right; valign: 0 top, 1 middle, 2 bottom. The offsets are
// added after the alignment (right alignment with a positive offsetX pushes the stamp
// over the right edge). The result is clipped to both bitmaps.
CStampPlacement ComputeStampPlacement(const CImageBitmap& stamp, const CImageBitmap& picture,
                                      uint8_t halign, uint8_t valign, int32_t offsetX,
                                      int32_t offsetY);

// The same from the two sizes alone.
CStampPlacement ComputeStampPlacement(int32_t stampWidth, int32_t stampHeight, int32_t pictureWidth,
                                      int32_t pictureHeight, uint8_t halign, uint8_t valign,
                                      int32_t offsetX, int32_t offsetY);

// Both bitmaps 32 bits per pixel and the rectangle as ComputeStampPlacement gave it.
// Copy takes blue, green and red of the stamp whatever its alpha; blend mixes them by
// the stamp's alpha, truncating. On an opaque picture (no alpha flag) neither touches the
// picture's alpha byte. On a picture with alpha the stamp is laid over it: alpha =
// stamp alpha + picture alpha x (1 - stamp alpha), the colours mixed premultiplied and
// stored straight, so the stamp shows where the picture is transparent (a copied stamp
// counts as opaque). Where the picture is opaque the result is the opaque one's exactly.
void CopyStampPixels(const CImageBitmap& stamp, CImageBitmap& picture, int32_t sourceX,
                     int32_t sourceY, int32_t targetX, int32_t targetY, int32_t width,
                     int32_t height);
void BlendStampPixels(const CImageBitmap& stamp, CImageBitmap& picture, int32_t sourceX,
                      int32_t sourceY, int32_t targetX, int32_t targetY, int32_t width,
                      int32_t height);

// Lays a picture with alpha onto an opaque background (0xRRGGBB), for outputs that keep
// no alpha: each colour = (colour x alpha + background x (255 - alpha)) / 255, rounded,
// alpha 255, and the alpha flag cleared. A picture without the flag is left alone.
void FlattenOntoBackground(CImageBitmap& picture, uint32_t background);

inline void CopyStampPixels(const CImageBitmap& stamp, CImageBitmap& picture,
                            const CStampPlacement& p) {
    CopyStampPixels(stamp, picture, p.sourceX, p.sourceY, p.targetX, p.targetY, p.width, p.height);
}
inline void BlendStampPixels(const CImageBitmap& stamp, CImageBitmap& picture,
                             const CStampPlacement& p) {
    BlendStampPixels(stamp, picture, p.sourceX, p.sourceY, p.targetX, p.targetY, p.width, p.height);
}
