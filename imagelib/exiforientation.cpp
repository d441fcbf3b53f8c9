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

namespace {

bool IsTiffHeader(std::span<const uint8_t> bytes) {
    return bytes.size() >= 8 &&
           ((bytes[0] == 'I' && bytes[1] == 'I' && bytes[2] == 42 && bytes[3] == 0) ||
            (bytes[0] == 'M' && bytes[1] == 'M' && bytes[2] == 0 && bytes[3] == 42));
}

constexpr std::size_t kMaxMarkerData = 65533;

} // namespace

const CSavedMarker* FindExifMarker(const CSavedMarker* markers) {
    for (const CSavedMarker* m = markers; m; m = m->next.get())
        if (m->marker == kApp1 && m->dataLength > sizeof kExifHeader &&
            std::memcmp(m->data.get(), kExifHeader, sizeof kExifHeader) == 0)
            return m;
    return nullptr;
}

std::unique_ptr<CSavedMarker> MakeExifMarker(std::span<const uint8_t> block) {
    if (block.size() >= sizeof kExifHeader &&
        std::memcmp(block.data(), kExifHeader, sizeof kExifHeader) == 0)
        block = block.subspan(sizeof kExifHeader);
    if (!IsTiffHeader(block) || block.size() + sizeof kExifHeader > kMaxMarkerData)
        return nullptr;
    auto marker = std::make_unique<CSavedMarker>();
    marker->marker = kApp1;
    marker->dataLength = marker->originalLength = uint32_t(block.size() + sizeof kExifHeader);
    marker->data = std::make_unique<uint8_t[]>(marker->dataLength);
    std::memcpy(marker->data.get(), kExifHeader, sizeof kExifHeader);
    std::memcpy(marker->data.get() + sizeof kExifHeader, block.data(), block.size());
    return marker;
}

std::vector<uint8_t> MinimalExifBlock(int orientation) {
    // Little-endian TIFF header, one directory of one entry at offset 8, no next directory.
    const uint8_t value = uint8_t(orientation >= 1 && orientation <= 8 ? orientation : 1);
    return {'E',  'x', 'i', 'f', 0, 0, 'I', 'I',   42, 0, 8, 0, 0, 0, 1, 0, 0x12,
            0x01, 3,   0,   1,   0, 0, 0,   value, 0,  0, 0, 0, 0, 0, 0, 0, 0};
}

bool SetExifOrientationOfBlock(std::span<uint8_t> block, int orientation) {
    if (block.size() < sizeof kExifHeader ||
        std::memcmp(block.data(), kExifHeader, sizeof kExifHeader) != 0)
        return false;
    const std::span<uint8_t> tiff = block.subspan(sizeof kExifHeader);
    if (!IsTiffHeader(tiff))
        return false;
    const bool big = tiff[0] == 'M';
    auto get16 = [&](std::size_t at) {
        return big ? unsigned(tiff[at]) << 8 | tiff[at + 1]
                   : unsigned(tiff[at + 1]) << 8 | tiff[at];
    };
    auto get32 = [&](std::size_t at) {
        return big ? uint32_t(get16(at)) << 16 | get16(at + 2)
                   : uint32_t(get16(at + 2)) << 16 | get16(at);
    };
    const std::size_t ifd = get32(4);
    if (ifd < 8 || ifd > tiff.size() - 2)
        return false;
    const std::size_t count = get16(ifd);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t entry = ifd + 2 + i * 12;
        if (entry > tiff.size() - 12)
            return false;
        if (get16(entry) != 0x0112)
            continue;
        // SHORT, one value, stored in the entry itself.
        if (get16(entry + 2) != 3 || get32(entry + 4) != 1)
            return false;
        const uint8_t value = uint8_t(orientation);
        tiff[entry + 8] = big ? 0 : value;
        tiff[entry + 9] = big ? value : 0;
        return true;
    }
    return false;
}

std::vector<uint8_t> UprightExifPayload(const CSavedMarker& exif) {
    std::vector<uint8_t> block(exif.data.get(), exif.data.get() + exif.dataLength);
    SetExifOrientationOfBlock(block, 1);
    return std::vector<uint8_t>(block.begin() + sizeof kExifHeader, block.end());
}
