#pragma once

#include "imagelib/dibbitmap.h"

#include <cstdint>
#include <vector>

// The application's bitmap: stamp, samples, previews and every decoded input picture.
// Its drawing lives with the display code (core/stampdisplay.h); here is the cached
// logical palette that drawing on a palette device would select.
class CStampBitmap : public CDIBSectionBitmap {
public:
    CStampBitmap() = default;

    // The cached palette, created on first use: for a bitmap with a palette its 2^bpp
    // entries (blue, green, red words, flags 0), for a 32-bit bitmap the halftone
    // palette. Named apart from CImageBitmap::GetPalette, the bitmap's own colour table.
    const std::vector<uint32_t>& GetLogicalPalette();
    // Drops the cached palette and creates it anew from the bitmap as it is now.
    const std::vector<uint32_t>& RebuildPalette();

    // The 256 colours of the halftone palette: the 6 x 6 x 6 colour cube, then a grey ramp
    // of the remaining 40 entries.
    static std::vector<uint32_t> HalftonePalette();

private:
    std::vector<uint32_t> m_logicalPalette;
};
