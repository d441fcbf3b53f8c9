#pragma once

#include "imagelib/bitmap.h"
#include "imagelib/jpegdcdecoder.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include <jpeglib.h>

// A single-scan sequential Huffman JPEG rewritten with most of its scan copied as it
// stands. Map walks the scan once with the preview decoder's skipping tables, a big one
// on two threads, and keeps the reader's state every few MCUs, from which any MCU is
// found again (with restart markers, it only finds the intervals);
// DecodeTouched decodes the coefficients of the MCUs (or whole intervals) a rectangle of
// MCUs touches, for the caller to change; WriteScan copies everything else bit for bit
// and codes the touched MCUs again with the file's own Huffman tables. Without restart
// markers, the MCU after each coded run is coded again too, as its DC values are
// predicted from the changed ones, and the data up to the next run is copied shifted to
// its new bit position; with them, whole intervals are copied or coded.
class CJpegScanSplice {
public:
    CJpegScanSplice();
    ~CJpegScanSplice();
    CJpegScanSplice(const CJpegScanSplice&) = delete;
    CJpegScanSplice& operator=(const CJpegScanSplice&) = delete;

    // cinfo has read the header; scan and size are the bytes from the scan's first data
    // byte to the end of the file. False for anything but one scan of 8-bit Huffman data
    // holding every component (one, or three as YCbCr or RGB) in frame order, whose codes
    // are all in its tables and whose rows or restart intervals hold exactly their MCUs,
    // followed by nothing but the end of the picture.
    bool Map(j_decompress_ptr cinfo, const uint8_t* scan, size_t size);
    void Clear();
    bool IsMapped() const;

    // Decodes MCUs [mcuX0, mcuX1) x [mcuY0, mcuY1) (with restart markers, the intervals
    // holding them), an MCU being one block of a single-component file. False for data a
    // touched interval does not hold soundly, or a DC value beyond a coefficient's range:
    // the file then goes libjpeg's way.
    bool DecodeTouched(int mcuX0, int mcuY0, int mcuX1, int mcuY1);
    // The decoded block of a component at a place in its own block coordinates, and how
    // many decoded blocks follow it in its row, itself included; null where nothing was
    // decoded.
    JBLOCKROW DecodedBlocks(int component, int blockRow, int blockColumn, int& available);

    // Appends the scan's data: copied where untouched, coded again where touched. False
    // when a block needs a code the file's tables lack (out holds part of the scan then).
    bool WriteScan(std::vector<uint8_t>& out);

    // MCUs the last WriteScan coded again.
    int64_t RecodedMcus() const;

    // Scans from this size on are walked by two threads when no other splice walks; tests
    // lower it.
    void SetSplitBytes(size_t bytes) { m_splitBytes = bytes; }

private:
    size_t m_splitBytes = CJpegDcDecoder::kSplitBytes;
    struct CState;
    std::unique_ptr<CState> m_state;
};

// The headers of a file whose scan is the input's, as libjpeg writes them: SOI, the JFIF
// header or the Adobe marker as header (set up by jpeg_copy_critical_parameters from
// cinfo) asks, the markers in list order, then the input's quantisation tables, frame,
// Huffman tables, restart interval and scan header.
void WriteSpliceHeaders(j_decompress_ptr cinfo, const jpeg_compress_struct& header,
                        const CSavedMarker* markers, std::vector<uint8_t>& out);
