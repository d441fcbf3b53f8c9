#pragma once

#include "imagelib/bitmap.h"
#include "imagelib/imagesource.h"
#include "imagelib/resample.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// Where a format decoder may leave a palette block it allocated; the front end frees it
// after the decode, also when the decode throws.
using CPaletteHolder = std::unique_ptr<uint32_t[]>;

// Base of the format decoders and front end for decoding a file, a built-in resource or a
// memory block into a bitmap. Every failure is a CTextException.
//
// bitsPerPixel is the requested depth: 0 asks for the input's natural depth (8 for palette
// and grey inputs of up to 8 bits, 32 otherwise), 32 for 32 bits per pixel. The bitmap is
// re-created by the format decoder; after a failure its content must not be used.
// Decoders keep no state between calls.
class CImageDecoder : public CPLObject {
public:
    CImageDecoder() = default;
    ~CImageDecoder() override = default;
    CImageDecoder(const CImageDecoder&) = delete;
    CImageDecoder& operator=(const CImageDecoder&) = delete;

    // Open failures raise code 3, 4 or 5 with "Opening <path> failed".
    static void OpenFile(CFileSource& source, const std::string& path);
    virtual void DecodeFile(const std::string& path, CImageBitmap& bitmap, int bitsPerPixel,
                            CProgressNotification* notification = nullptr);
    virtual void DecodeMemory(const void* data, int size, CImageBitmap& bitmap, int bitsPerPixel);
    // Runs DecodeBody with an empty palette holder and frees the holder on every path.
    virtual void Decode(CImageSource& source, CImageBitmap& bitmap, int bitsPerPixel);

    // A built-in resource; type 0 stands for raw data. A missing resource raises code 4
    // with "Opening resource <id> failed".
    void DecodeResource(int id, CImageBitmap& bitmap, int bitsPerPixel, int type = 0);

    // The one limit on picture size for every decoder, checked before anything is
    // allocated for the pixels: more than CImageBitmap::kMaxPixels pixels (2^28, 1 GiB at
    // 32 bits) throws code 10 "picture too large: W x H\n", whatever the input's own
    // size. Negative dimensions are the caller's to reject.
    static void CheckPixelCount(int64_t width, int64_t height);

    // Told the size of the picture a decode is about to allocate, once its header passed
    // the pixel limit and before anything is allocated for its pixels. It may wait (for
    // memory to be free) or throw CTextException to refuse the picture. The
    // format-recognising decoder hands it on to the format's decoder.
    using CSizeGate = std::function<void(int64_t width, int64_t height)>;
    void SetSizeGate(CSizeGate gate) { m_sizeGate = std::move(gate); }
    const CSizeGate& GetSizeGate() const { return m_sizeGate; }

    // A preview needs no more pixels than it shows. With a preview size set, a decoder may
    // deliver the picture reduced by a whole factor, as far as the codec allows while
    // reading, provided the result still covers the picture fitted into width x height
    // (a picture that fits already stays whole). 0 x 0, the default, asks for the whole
    // picture.
    void SetPreviewSize(int width, int height);
    int GetPreviewWidth() const { return m_previewWidth; }
    int GetPreviewHeight() const { return m_previewHeight; }
    // The input's own size in pixels, as declared by the last decoded file, whatever
    // reduction was applied; 0 before a decode reached the header.
    int GetFullWidth() const { return m_fullWidth; }
    int GetFullHeight() const { return m_fullHeight; }
    // The largest power of two up to maxFactor by which a width x height picture can be
    // divided (sizes rounded up) and still cover its fit into previewWidth x previewHeight;
    // 1 without a preview size.
    static int ReductionFactor(int64_t width, int64_t height, int previewWidth, int previewHeight,
                               int maxFactor);

    // Outputs sized by a rule: a decoder that can reduce while reading (JPEG's DCT scaling)
    // and resample row by row delivers the picture at the rule's size for its stored grid
    // (the rule sees the picture turned by its EXIF orientation when followExif is set);
    // the front end resamples whatever a format decoder delivered at another size. Only
    // 32-bit decodes are resized. The default rule changes nothing.
    void SetResize(const CResizeRule& rule, bool followExif) {
        m_resize = rule;
        m_resizeFollowsExif = followExif;
    }
    const CResizeRule& GetResizeRule() const { return m_resize; }
    bool GetResizeFollowsExif() const { return m_resizeFollowsExif; }

protected:
    // The format decoders' check of a picture's size before they allocate for it: the pixel
    // limit, then the size gate.
    void AdmitPicture(int64_t width, int64_t height) {
        CheckPixelCount(width, height);
        if (m_sizeGate)
            m_sizeGate(width, height);
    }
    // Called by the format decoders once the header told the input's size.
    void SetFullSize(int width, int height) {
        m_fullWidth = width;
        m_fullHeight = height;
    }
    // The factor for the current preview size (see ReductionFactor).
    int PreviewReduction(int64_t width, int64_t height, int maxFactor) const {
        return ReductionFactor(width, height, m_previewWidth, m_previewHeight, maxFactor);
    }

    // The format's own work: reads from source, re-creates and fills bitmap. bitsPerPixel
    // comes in as requested and leaves as delivered. The base does nothing.
    virtual void DecodeBody(CImageBitmap& bitmap, CPaletteHolder& paletteHolder, int& bitsPerPixel,
                            CImageSource& source);

private:
    int m_previewWidth = 0, m_previewHeight = 0;
    int m_fullWidth = 0, m_fullHeight = 0;
    CResizeRule m_resize;
    bool m_resizeFollowsExif = true;
    CSizeGate m_sizeGate;
};
