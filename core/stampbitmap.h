#pragma once

#include "imagelib/dibbitmap.h"

// The application's bitmap: stamp, samples, previews and every decoded input picture.
// Its drawing lives with the display code.
class CStampBitmap : public CDIBSectionBitmap {
public:
    CStampBitmap() = default;
};
