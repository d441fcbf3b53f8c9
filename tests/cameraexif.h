#pragma once

// The EXIF block of a camera that knows its owner, its model and when the photo was taken,
// as it follows "Exif\0\0" in an APP1 marker: what name templates and text placeholders
// read.

#include <libexif/exif-data.h>

#include <cstdlib>
#include <cstring>
#include <string>

inline std::string CameraExifBlock(const std::string& model) {
    ExifData* exif = exif_data_new();
    exif_data_set_byte_order(exif, EXIF_BYTE_ORDER_MOTOROLA);
    const auto set = [exif](ExifIfd ifd, ExifTag tag, const std::string& value) {
        ExifEntry* entry = exif_entry_new();
        entry->tag = tag;
        entry->format = EXIF_FORMAT_ASCII;
        entry->components = value.size() + 1;
        entry->size = unsigned(value.size() + 1);
        entry->data = static_cast<unsigned char*>(std::calloc(1, value.size() + 1));
        std::memcpy(entry->data, value.c_str(), value.size() + 1);
        exif_content_add_entry(exif->ifd[ifd], entry);
        exif_entry_unref(entry);
    };
    set(EXIF_IFD_0, EXIF_TAG_ARTIST, "Jane Doe");
    set(EXIF_IFD_0, EXIF_TAG_MODEL, model);
    set(EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL, "2024:05:06 07:08:09");
    unsigned char* bytes = nullptr;
    unsigned int size = 0;
    exif_data_save_data(exif, &bytes, &size);
    exif_data_unref(exif);
    std::string block(reinterpret_cast<const char*>(bytes), size);
    std::free(bytes);
    return block;
}
