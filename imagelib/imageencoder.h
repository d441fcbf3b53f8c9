#pragma once

#include "imagelib/bitmap.h"
#include "imagelib/imagesink.h"
#include "imagelib/outputfile.h"

#include <string>

// Base of the format encoders and front end for encoding a bitmap into a file. The whole
// file is built in a CFileSink buffer and written in one piece under a temporary name. Every
// failure is a CTextException. Encoders keep no picture between calls.
class CImageEncoder : public CPLObject {
public:
    CImageEncoder() = default;
    ~CImageEncoder() override = default;
    CImageEncoder(const CImageEncoder&) = delete;
    CImageEncoder& operator=(const CImageEncoder&) = delete;

    // Creates the file, then EncodeOutput. A file that cannot be created raises code -1
    // "Creating <path> failed: <reason>\n".
    virtual void EncodeFile(const std::string& path, const CImageBitmap& bitmap);
    // Sizes the buffer from the bitmap (GetSinkCapacity), encodes, and writes the output
    // file that the caller created beforehand (so that a file that cannot be written fails
    // before any work is spent on its picture); the caller then publishes it. When the
    // encoder throws, nothing reaches the file's name and the error propagates; the
    // caller's file removes its temporary.
    void EncodeOutput(COutputFile& file, const CImageBitmap& bitmap);
    // Encodes into any sink.
    virtual void Encode(const CImageBitmap& bitmap, CImageSink& sink);

    // The buffer EncodeFile gives an encoder: the bitmap's memory estimate x 1.2 above
    // 19999 bytes, else the estimate + 4096; raised to MaxEncodedSize where a format knows
    // its exact worst case.
    int GetSinkCapacity(const CImageBitmap& bitmap) const;

protected:
    virtual void EncodeBody(const CImageBitmap& bitmap, CImageSink& sink) = 0;
    // An upper bound of the encoded size when the format knows one, else 0. Lets a format
    // whose file can outgrow the estimate (padded rows of an unpadded memory bitmap)
    // encode every bitmap.
    virtual int64_t MaxEncodedSize(const CImageBitmap& bitmap) const;
};
