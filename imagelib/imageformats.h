#pragma once

#include <span>
#include <string>
#include <string_view>

// Every picture format the program knows, in one table: how its files are recognised and
// named, whether it is read and written, and what an output of it keeps. The folder scans,
// the file dialogs' filters, the output choices of both front ends and the batch engine all
// read this list, so a format is added here and nowhere else.
struct CImageFormat {
    // The short name (command line, configuration file): "jpeg", "webp".
    const char* name;
    // The name the file dialog's filter shows for its files ("jpegs").
    const char* filterName;
    // The file name extensions, lower case without the dot; the first is the one written.
    std::span<const char* const> extensions;
    // The recognition class of CAutoDetectDecoder::ClassifyImage (CImageType).
    int imageType;
    bool read;
    // Written: the settings' outputtype value; -1 for formats only read.
    int outputType;
    // What an output keeps: the quality setting applies, the alpha channel, the EXIF block
    // (when headers are preserved), the colour profile.
    bool quality;
    bool alpha;
    bool exif;
    bool icc;
    // EXIF is written with the pixels in their stored grid and its orientation for viewers
    // to follow (JPEG); other outputs hold the pixels as they are shown.
    bool keepsOrientation;

    // The written file's extension with its dot: ".jpg".
    std::string OutputExtension() const { return std::string(".") + extensions.front(); }
};

std::span<const CImageFormat> ImageFormats();

// The format written for an outputtype value, or null.
const CImageFormat* OutputFormat(int outputType);
// The written format of that short name or one of its extensions (any case), or null.
const CImageFormat* OutputFormatNamed(std::string_view name);
// The outputtype values in the order the choices are offered.
constexpr int kOutputJpeg = 0;
constexpr int kOutputBmp = 1;
constexpr int kOutputPng = 2;
constexpr int kOutputWebp = 3;
constexpr int kOutputAvif = 4;
constexpr int kOutputTypeCount = 5;

// Whether a file name ends in the extension of a format that is read (any case).
bool HasInputExtension(std::string_view fileName);
