#include "imagelib/exiforientation.h"

#include "imagelib/bitmap.h"

#include <libexif/exif-data.h>

#include <cstring>
#include <memory>

namespace {

struct ExifDataRelease {
    void operator()(ExifData* data) const { exif_data_unref(data); }
};

constexpr unsigned char kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr uint8_t kApp1 = 0xE1;

} // namespace

int ExifOrientationOfBlock(const unsigned char* data, unsigned int size) {
    if (!data || size <= sizeof kExifHeader || std::memcmp(data, kExifHeader, 6) != 0)
        return 1;
    std::unique_ptr<ExifData, ExifDataRelease> exif(exif_data_new());
    if (!exif)
        return 1;
    // Only the tag is wanted: the library must neither repair nor rewrite the block's
    // entries on loading.
    exif_data_unset_option(exif.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
    exif_data_unset_option(exif.get(), EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
    exif_data_load_data(exif.get(), data, size);
    // The tag belongs to the first picture's directory (IFD0); a thumbnail's does not count.
    ExifEntry* entry = exif_content_get_entry(exif->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
    if (!entry || entry->format != EXIF_FORMAT_SHORT || entry->components != 1 || !entry->data ||
        entry->size < 2)
        return 1;
    const int value = exif_get_short(entry->data, exif_data_get_byte_order(exif.get()));
    return value >= 1 && value <= 8 ? value : 1;
}

int ExifOrientation(const CImageBitmap& bitmap) {
    return ExifOrientationOfMarkers(bitmap.GetMarkers());
}

int ExifOrientationOfMarkers(const CSavedMarker* markers) {
    for (const CSavedMarker* m = markers; m; m = m->next.get())
        if (m->marker == kApp1 && m->dataLength > sizeof kExifHeader &&
            std::memcmp(m->data.get(), kExifHeader, sizeof kExifHeader) == 0)
            return ExifOrientationOfBlock(m->data.get(), m->dataLength);
    return 1;
}
