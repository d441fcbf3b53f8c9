#include "imagelib/imageformats.h"

#include "imagelib/autodetectdecoder.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr const char* kBmp[] = {"bmp"};
constexpr const char* kJpeg[] = {"jpg", "jpeg"};
constexpr const char* kGif[] = {"gif"};
constexpr const char* kPng[] = {"png"};
constexpr const char* kWebp[] = {"webp"};
constexpr const char* kAvif[] = {"avif"};
constexpr const char* kHeif[] = {"heic", "heif"};
constexpr const char* kTiff[] = {"tif", "tiff"};

// name, filter, extensions, class, read, outputtype, quality, alpha, exif, icc, orientation
constexpr CImageFormat kFormats[] = {
    {"bmp", "bitmaps", kBmp, kImageBmp, true, kOutputBmp, false, false, false, false, false},
    {"jpeg", "jpegs", kJpeg, kImageJpeg, true, kOutputJpeg, true, false, true, true, true},
    {"gif", "gifs", kGif, kImageGif, true, -1, false, false, false, false, false},
    {"png", "pngs", kPng, kImagePng, true, kOutputPng, false, true, false, true, false},
    {"webp", "webps", kWebp, kImageWebp, true, kOutputWebp, true, true, true, true, false},
    {"avif", "avifs", kAvif, kImageHeif, true, kOutputAvif, true, true, true, true, false},
    {"heif", "heics", kHeif, kImageHeif, true, -1, false, false, false, false, false},
    {"tiff", "tiffs", kTiff, kImageTiff, true, -1, false, false, false, false, false},
};

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::span<const CImageFormat> ImageFormats() {
    return kFormats;
}

const CImageFormat* OutputFormat(int outputType) {
    for (const CImageFormat& format : kFormats)
        if (format.outputType >= 0 && format.outputType == outputType)
            return &format;
    return nullptr;
}

const CImageFormat* OutputFormatNamed(std::string_view name) {
    for (const CImageFormat& format : kFormats)
        if (format.outputType >= 0) {
            if (SameIgnoringCase(format.name, name))
                return &format;
            for (const char* extension : format.extensions)
                if (SameIgnoringCase(extension, name))
                    return &format;
        }
    return nullptr;
}

bool HasInputExtension(std::string_view fileName) {
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos || dot == 0)
        return false;
    const std::string_view extension = fileName.substr(dot + 1);
    for (const CImageFormat& format : kFormats)
        if (format.read)
            for (const char* known : format.extensions)
                if (SameIgnoringCase(known, extension))
                    return true;
    return false;
}
