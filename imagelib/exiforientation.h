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

// EXIF blocks of the formats that carry one outside JPEG markers (HEIF, WebP, TIFF), and
// of the outputs that write one into a chunk or item of their own.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

// The first saved APP1 marker that holds an EXIF block ("Exif\0\0" and a TIFF header).
const CSavedMarker* FindExifMarker(const CSavedMarker* markers);

// An APP1 marker for an EXIF block given with or without its "Exif\0\0" header. Null when
// the bytes do not start with a TIFF header or do not fit one JPEG marker (a block of more
// than 65533 bytes could never be written back).
std::unique_ptr<CSavedMarker> MakeExifMarker(std::span<const uint8_t> block);

// A block with the "Exif\0\0" header and a first directory holding the Orientation tag
// alone: how a TIFF's own orientation tag travels with its pixels.
std::vector<uint8_t> MinimalExifBlock(int orientation);

// Sets the Orientation tag of the first directory in place, where there is one; the block
// as in an APP1 marker. False when the block has no such tag or does not hold together.
bool SetExifOrientationOfBlock(std::span<uint8_t> block, int orientation);

// The TIFF part of an EXIF marker's block, as WebP's EXIF chunk and HEIF's Exif item take it,
// with its orientation set to 1: those outputs hold their pixels as they are shown.
std::vector<uint8_t> UprightExifPayload(const CSavedMarker& exif);
