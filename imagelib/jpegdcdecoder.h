#pragma once

#include "imagelib/bitmap.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#include <jpeglib.h>

// The picture at 1/8 from nothing but the DC coefficient of every block, for previews of
// big JPEG files. At that scale libjpeg needs the DC coefficients alone too, yet spends
// nearly all its time parsing the AC codes it then throws away; this decoder skips them
// with tables that take up to two codes with their value bits in one step, and splits a
// big scan between two threads: on restart markers where the file has them, otherwise by
// starting the second thread in the middle of the data and letting it find its footing
// (Huffman codes fall back into step after a short while), its start accepted only where
// the first thread, arriving there, finds the very same state.
//
// Takes single-scan baseline (or extended sequential) Huffman files of 8 bits with one or
// three components (greyscale, YCbCr or RGB) and whole-numbered sampling. Anything else,
// and any stream that is not perfectly regular (a code in no table, data cut short,
// restart markers missing or out of order, anything but the end of the picture after the
// scan), gives false and leaves the work to libjpeg, whose warnings, concealment and
// errors then apply as ever.
class CJpegDcDecoder {
public:
    // The DC coefficients of every coded block in coding order: MCU by MCU, within an MCU
    // component by component, each component's blocks row by row.
    struct CPlanes {
        int blocksPerMcu = 0, mcusWide = 0, mcusHigh = 0;
        std::vector<int16_t> dc;
        // The first block the second thread decoded; -1 when one thread did all.
        int64_t secondThreadFrom = -1;
    };

    // cinfo has read the header (jpeg_read_header); scan and size are the bytes that
    // follow it, from the first byte of the scan's data to the end of the file.
    // threads: 1, or 2 to split a scan of at least splitBytes.
    static constexpr size_t kSplitBytes = 1 << 20; // below, a thread costs more than it saves
    static bool DecodeDc(j_decompress_ptr cinfo, const uint8_t* scan, size_t size, int threads,
                         CPlanes& planes, size_t splitBytes = kSplitBytes);

    // DecodeDc, then the picture at 1/8 of the file's size (rounded up) as a 32-bit bitmap:
    // each block's average, blue, green and red, as libjpeg gives it for the luminance;
    // the colour of subsampled chroma is taken from its block without interpolation.
    static bool DecodeEighth(j_decompress_ptr cinfo, const uint8_t* scan, size_t size, int threads,
                             CImageBitmap& bitmap);
};
