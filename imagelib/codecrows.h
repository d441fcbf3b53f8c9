#pragma once

#include "imagelib/bitmap.h"

#include <cstdint>

// Helpers of the codecs that hand over whole pictures of 4 bytes a pixel.

// The pixel block of a 32-bit bitmap whose rows lie one after another without padding, for a
// codec that writes rows top-down into one block: its lowest address, or null when the rows
// are laid out otherwise. bottomUp tells that the bitmap keeps its top row last, so the
// rows must be reversed (ReverseRows) once the codec has written them.
uint8_t* ContiguousPixels(CImageBitmap& bitmap, bool& bottomUp);
void ReverseRows(CImageBitmap& bitmap);

// Blue, green, red, alpha from alpha-weighted (premultiplied) samples, in place, rounded.
void UnpremultiplyRow(uint8_t* bgra, int width);
// Swaps the first and third byte of every pixel: RGBA and BGRA into each other.
void SwapRedBlue(uint8_t* pixels, int width);
