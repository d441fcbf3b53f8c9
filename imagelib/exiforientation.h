#pragma once

class CImageBitmap;
struct CSavedMarker;

// The EXIF Orientation tag (1 to 8) of a decoded JPEG, read from the EXIF block among its
// saved markers (the first APP1 marker that begins "Exif\0\0"). No EXIF block, a block the
// EXIF library cannot read, no tag, or a value outside 1..8 all give 1: as stored.
int ExifOrientation(const CImageBitmap& bitmap);
// The same for a list of saved markers.
int ExifOrientationOfMarkers(const CSavedMarker* markers);

// The same for an EXIF block as it stands in an APP1 marker, "Exif\0\0" header included.
int ExifOrientationOfBlock(const unsigned char* data, unsigned int size);
