#pragma once

class CImageBitmap;

// Transparent parts of a picture shown the way picture editors show them. target becomes
// an opaque 32-bit picture of source's size: each 32-bit pixel of source blended by its
// alpha over a checkerboard of light and dark grey squares cell pixels wide (cell at least
// 1), whose top-left square is light. Fully opaque pixels stay as they are. A source that is
// not 32-bit is copied unchanged.
void BlendOverCheckerboard(const CImageBitmap& source, CImageBitmap& target, int cell);

// The two greys of the squares, as 0x00RRGGBB.
constexpr unsigned kCheckerLight = 0xFFFFFF;
constexpr unsigned kCheckerDark = 0xCCCCCC;
