#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct CSavedMarker;

// Edits of the metadata a JPEG copy carries over from its photo, made on the saved markers
// themselves so that everything not edited stays byte for byte as the camera wrote it.
// Blocks that cannot be read safely are left alone rather than guessed at.
struct CMarkerEdits {
    // The copy's pixel size when it differs from the photo's (0: unchanged): the EXIF
    // pixel dimension tags are set to it and the embedded thumbnail, which would show the
    // photo as it was before the stamp, is dropped.
    int32_t width = 0;
    int32_t height = 0;
    // The position where the photo was taken: the EXIF GPS directory and the XMP exif:GPS
    // properties are removed.
    bool stripLocation = false;
};

void EditOutputMarkers(CSavedMarker* markers, const CMarkerEdits& edits);

// The same edits on one EXIF block as it stands in an APP1 marker ("Exif\0\0" and the TIFF
// structure). Its length never changes: a removed directory entry shifts the entries after
// it, freed bytes are zeroed. False when the block is not one this can read.
bool EditExifBlock(uint8_t* data, uint32_t size, const CMarkerEdits& edits);

// An XMP packet (the APP1 marker's data after its namespace header) without its exif:GPS
// properties, in attribute and in element form.
std::vector<uint8_t> StripXmpLocation(const uint8_t* data, size_t size);
