#pragma once

#include "imagelib/bitmap.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// A JPEG rewritten from its own coefficients, so that stamping it costs no generation of
// quality: only the MCUs under a rectangle are decoded, changed by the caller and encoded
// again with the file's own quantisation tables, colour space and sampling; every other
// block keeps its coefficients. A baseline file is spliced: its scan is copied as it
// stands but for the MCU rows (or restart intervals) under the rectangle, which are coded
// again with the file's own Huffman tables. Other files, and a baseline file whose tables
// lack a code its new blocks need, are coded again whole: the output keeps the file's scan
// mode (progressive stays progressive) and gets optimised Huffman tables.
//
// Life per file: Open, at most one ReplaceRegion, Write (or Close). The object is reused
// for the next file.
class CJpegLosslessStamper {
public:
    CJpegLosslessStamper();
    ~CJpegLosslessStamper();
    CJpegLosslessStamper(const CJpegLosslessStamper&) = delete;
    CJpegLosslessStamper& operator=(const CJpegLosslessStamper&) = delete;

    // Reads the coefficients of a whole JPEG stream kept alive by the caller until Write
    // or Close; a baseline stream's scan is only walked for where its MCUs start (with
    // restart markers, only its last interval is read, and an untouched interval is copied
    // as it stands, whatever it holds). False, with nothing thrown, for a stream this path
    // does not take and that the ordinary decode-and-encode path must handle: not a JPEG,
    // arithmetic coding, samples of other than 8 bits, other than 1 or 3 components (CMYK,
    // YCCK), a sampling that is not whole-numbered, a progressive stream whose scans stop
    // before every coefficient is complete, or any stream libjpeg had to warn about
    // (corrupt or truncated data, where its concealment would differ between the two
    // paths) where libjpeg reads it. Also
    // false on every libjpeg error: the ordinary path reports it. accept, when given, sees
    // the markers and the size of the header before a coefficient is read; false from it
    // declines too, and what it throws leaves Open.
    using CAccept = std::function<bool(const CSavedMarker* markers, int width, int height)>;
    bool Open(const uint8_t* data, size_t size, const CAccept& accept = {});
    void Close();

    int GetWidth() const;
    int GetHeight() const;

    // APP1, APP13 and COM markers in file order, as the JPEG decoder keeps them, and the
    // APP2 colour-profile chunks (in file order too).
    std::unique_ptr<CSavedMarker> TakeMarkers();

    // The MCUs that the rectangle (picture pixels, clipped to the picture) touches are
    // decoded into a 32-bit bitmap exactly as the JPEG decoder gives these pixels in a
    // whole-picture decode; edit gets it with the picture position of its pixel (0, 0)
    // and changes blue, green and red; the result replaces those MCUs. An empty rectangle
    // leaves every block alone. Code 6 on libjpeg errors.
    using CEdit = std::function<void(CImageBitmap& region, int originX, int originY)>;
    void ReplaceRegion(int x, int y, int width, int height, const CEdit& edit);

    // The MCU-aligned rectangle ReplaceRegion decodes for a rectangle: x, y, width, height.
    struct CRect {
        int x = 0, y = 0, width = 0, height = 0;
    };
    CRect TouchedRegion(int x, int y, int width, int height) const;

    // Writes the file into out: SOI, the JFIF header (the input's density kept), the
    // markers in list order, then tables, frame and scans. Ends the file's life in this
    // object.
    void Write(const CSavedMarker* markers, std::vector<uint8_t>& out);

    // How the last Write went: spliced, with the MCUs it coded again; or coded whole.
    struct CReport {
        bool spliced = false;
        int64_t recodedMcus = -1;
    };
    CReport LastReport() const;

    // Scans from this size on may be walked by two threads (tests lower it).
    void SetSplitBytes(size_t bytes);

private:
    struct CState;
    std::unique_ptr<CState> m_state;
};
