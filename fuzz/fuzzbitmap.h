#pragma once

// The fuzz targets' bitmap: a memory bitmap that refuses pictures above 4 million pixels
// the way a failed allocation does (code 10), so that a fuzzer's run is spent on many
// small inputs rather than a few huge ones. The decoders' own limit is tested elsewhere.

#include "imagelib/bitmap.h"
#include "imagelib/textexception.h"

class CFuzzBitmap : public CMemoryBitmap {
public:
    static constexpr int64_t kMaxFuzzPixels = int64_t(1) << 22;

protected:
    void AllocateStorage(int width, int height, uint16_t bitsPerPixel, bool hasAlpha) override {
        if (int64_t(width) * height > kMaxFuzzPixels)
            throw CTextException(10, "Out of memory creating bitmap.");
        CMemoryBitmap::AllocateStorage(width, height, bitsPerPixel, hasAlpha);
    }
};

// Decodes data at both requested depths; every failure must be a CTextException.
template <class Decoder> void FuzzDecode(const uint8_t* data, size_t size) {
    static Decoder decoder; // reused, as the program reuses its decoders
    for (int request : {0, 32}) {
        CFuzzBitmap bitmap;
        try {
            decoder.DecodeMemory(data, int(size), bitmap, request);
        } catch (const CTextException&) {
        }
    }
}
