#pragma once

#include "imagelib/imagedecoder.h"

#include <memory>

// JPEG files through libjpeg, read in place from the source. Greyscale files decode to
// 8 bits with the identity grey palette (or to 32 bits with equal blue, green and red on
// request); every other colour space decodes to 32 bits, CMYK and YCCK converted to RGB.
// The APP1 (EXIF), APP13 (IPTC) and COM markers of the file travel with the bitmap in
// file order, for the JPEG encoder to write back.
//
// Every libjpeg failure raises code 6 with libjpeg's message. A stream that ends inside
// its picture raises code 6 "Premature end of JPEG file" (one that lacks only its end
// marker decodes); other corrupt data that libjpeg conceals, with a warning that is never
// printed, still decodes. Pathological streams are cut short:
// more than kMaxScans scans or kMaxWarnings corrupt-data warnings end in code 6 too.
class CJpegDecoder : public CImageDecoder {
public:
    static constexpr int kMaxScans = 100;
    static constexpr long kMaxWarnings = 10000;
    // What libjpeg may allocate for its own work (a progressive file's coefficients).
    static constexpr long kMaxLibraryMemory = 512L << 20;

    CJpegDecoder();
    ~CJpegDecoder() override;

protected:
    void DecodeBody(CImageBitmap& bitmap, CPaletteHolder& paletteHolder, int& bitsPerPixel,
                    CImageSource& source) override;

private:
    // A fresh libjpeg context; code 10 when it cannot be had.
    void CreateContext();

    struct CState; // the libjpeg context with its error, source and progress managers
    std::unique_ptr<CState> m_state;
    bool m_fastDecoding = true; // fancy upsampling off
};
