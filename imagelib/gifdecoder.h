#pragma once

#include "imagelib/imagedecoder.h"

// GIF files through giflib, as one 8-bit picture the size of the logical screen: the
// background index first, then every image of the file drawn over it in file order
// (extensions, transparency and disposal are ignored). The palette is the last image's
// local colour map when it has one, else the global map; entries past the map keep the
// grey ramp, so any index stays harmless. A request for 32 bits gives the palette colours
// of the 8-bit picture.
//
// Once the first image has been read whole, anything broken or missing after it (a later
// frame, an extension, the trailer) ends the picture as the whole images before it made
// it; a later frame is never drawn half.
//
// Errors (up to the first image): code 11 for a truncated stream; code 2 for an image not confined
// to the screen
// ("Image %d is not confined to screen dimension, aborted.\n", counted from 1), for a
// screen of zero width or height, for a file without any colour map and for every failure
// giflib reports (its message).
class CGifDecoder : public CImageDecoder {
protected:
    void DecodeBody(CImageBitmap& bitmap, CPaletteHolder& paletteHolder, int& bitsPerPixel,
                    CImageSource& source) override;
};
