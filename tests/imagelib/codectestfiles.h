#pragma once

// Builders of small JPEG, PNG and GIF files for the codec tests, written with the codec
// libraries themselves, and the helpers the codec tests share.

#include "imagelib/bitmap.h"
#include "imagelib/imagedecoder.h"
#include "imagelib/imagesink.h"
#include "imagelib/textexception.h"

#include <csetjmp>
#include <cstdint>
#include <string>
#include <vector>

#include <jpeglib.h>

using Bytes = std::vector<uint8_t>;

// ---- JPEG

// libjpeg's errors as a jump back to the setjmp on jump, its warnings unprinted: for
// helpers whose frame holds no C++ object from the setjmp on.
struct TestJpegError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};
// Sets error up and returns it for a context's err.
jpeg_error_mgr* QuietJumpingErrors(TestJpegError& error);

struct JpegMarkerShape {
    int code; // JPEG_APP0 + n or JPEG_COM
    std::string data;
};

struct JpegShape {
    int width = 16, height = 16;
    int components = 3; // 1 grey, 3 colour, 4 CMYK
    bool ycck = false;  // with 4 components: stored as YCCK
    int quality = 90;
    bool progressive = false;
    int restartInterval = 0;             // in MCUs
    bool singleCoefficientScans = false; // progressive with one scan per coefficient
    int lumaH = 2, lumaV = 2;            // sampling factors of the first of 3 components
    bool arithmetic = false;
    std::vector<JpegMarkerShape> markers; // written after the JFIF header
    // Samples row by row, components interleaved; empty = a smooth pattern.
    Bytes samples;
};
Bytes MakeJpeg(const JpegShape& shape);

// One marker segment of a JPEG byte stream.
struct JpegSegment {
    int code = 0;      // 0xD8 for SOI, 0xE0 for APP0 ...
    size_t offset = 0; // of the FF byte
    Bytes data;        // without the length bytes
};
// The segments from SOI up to and including the first SOS.
std::vector<JpegSegment> ListJpegSegments(const Bytes& jpeg);

// ---- PNG

struct PngShape {
    int width = 4, height = 4;
    int colorType = 0; // PNG_COLOR_TYPE_*
    int bitDepth = 8;
    bool interlaced = false;
    // Rows of samples as libpng takes them: packed for depths below 8, big-endian for 16.
    std::vector<Bytes> rows;
    std::vector<uint32_t> palette; // 0xRRGGBB
    Bytes transparency;            // tRNS entries for palette files
};
Bytes MakePng(const PngShape& shape);

// The chunks of a PNG stream: type and data.
struct PngChunk {
    std::string type;
    Bytes data;
    size_t offset = 0; // of the length field
};
std::vector<PngChunk> ListPngChunks(const Bytes& png);
// Recomputes the CRC of the chunk at offset (after its data was patched).
void FixPngCrc(Bytes& png, size_t offset);

// ---- GIF

struct GifImageShape {
    int left = 0, top = 0, width = 1, height = 1;
    bool interlaced = false;
    std::vector<uint32_t> localMap; // 0xRRGGBB, empty = none; size a power of two
    Bytes pixels;                   // width x height indices, top row first
};
struct GifShape {
    int width = 1, height = 1;
    int background = 0;
    std::vector<uint32_t> globalMap; // 0xRRGGBB, empty = none
    std::vector<GifImageShape> images;
    bool comment = false; // a comment extension before the first image
};
// Written with giflib's encoder; a file without any colour map is written with a global
// map that is removed from the stream afterwards (giflib refuses to write one).
Bytes MakeGif(const GifShape& shape);

// ---- shared

Bytes ReadFileBytes(const std::string& path);

// An in-memory sink of fixed capacity for encoder tests.
class CTestSink : public CImageSink {
public:
    explicit CTestSink(int capacity) : m_storage(size_t(capacity)) {
        OpenCommon("test", m_storage.data(), capacity);
    }
    Bytes Written() const { return Bytes(m_storage.begin(), m_storage.begin() + GetPosition()); }

private:
    Bytes m_storage;
};

// Decodes bytes with decoder; the thrown exception, if any, lands in error.
bool TryDecode(CImageDecoder& decoder, const Bytes& bytes, CImageBitmap& bitmap, int bpp,
               CTextException* error = nullptr);

// 0xAARRGGBB of a 32-bit bitmap, or of the palette entry of an 8-bit one.
uint32_t ColourAt(const CImageBitmap& bitmap, int x, int y);
