#pragma once

#include "imagelib/plobject.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

// One saved JPEG marker (APP1, APP13, COM) that travels with a decoded picture to the
// JPEG encoder. The fields follow libjpeg's saved-marker record.
struct CSavedMarker {
    std::unique_ptr<CSavedMarker> next;
    uint8_t marker = 0;
    uint32_t originalLength = 0; // the marker's length in the file
    uint32_t dataLength = 0;     // bytes held in data
    std::unique_ptr<uint8_t[]> data;

    ~CSavedMarker();
};

struct CFreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
// A zero-filled heap block; see AllocateBlock.
using CHeapBlock = std::unique_ptr<uint8_t[], CFreeDeleter>;

// The in-memory picture. Pixels are reached through the line table: GetLines()[0] is the
// top row whatever the storage order of the kind. A 32-bit pixel is blue, green, red,
// alpha (the little-endian word 0xAARRGGBB); an 8-bit pixel indexes the palette; 1-bit
// rows hold the leftmost pixel in the most significant bit. Palette entries are 32-bit
// words in the same byte order as a 32-bit pixel.
//
// Accepted sizes: width and height 0 .. kMaxPixels with width x height <= kMaxPixels
// (2^28 pixels, 1 GiB at 32 bits), bits per pixel 1 .. 32. Anything larger, and any
// allocation failure, throws CTextException code 10 and leaves the bitmap without storage.
class CImageBitmap : public CPLObject {
public:
    static constexpr int64_t kMaxPixels = int64_t(1) << 28;

    CImageBitmap();
    ~CImageBitmap() override;
    CImageBitmap(const CImageBitmap&) = delete;
    CImageBitmap& operator=(const CImageBitmap&) = delete;

    virtual void Create(int width, int height, uint16_t bitsPerPixel, bool hasAlpha);
    virtual int GetMemoryUsed() const = 0;
    virtual int GetBytesPerLine() const = 0;
    virtual void BeginAccess(bool read, bool write);
    virtual void EndAccess();

    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    uint16_t GetBitsPerPixel() const { return m_bitsPerPixel; }
    bool HasAlpha() const { return m_hasAlpha; }
    void SetHasAlpha(bool hasAlpha) { m_hasAlpha = hasAlpha; }
    // 2^bpp entries when bitsPerPixel <= 8, else null.
    uint32_t* GetPalette() { return m_palette; }
    const uint32_t* GetPalette() const { return m_palette; }
    uint8_t** GetLines() { return m_lines.data(); }
    const uint8_t* const* GetLines() const { return m_lines.data(); }
    int GetAccessCount() const { return m_accessCount; }
    int GetDitherMode() const { return m_ditherMode; }
    void SetDitherMode(int mode) { m_ditherMode = mode; }
    int GetQuantizeMode() const { return m_quantizeMode; }
    void SetQuantizeMode(int mode) { m_quantizeMode = mode; }

    // Meaningful for 32-bit bitmaps only; (x, y) must lie inside the bitmap.
    uint32_t GetPixel32(int x, int y) const {
        return reinterpret_cast<const uint32_t*>(m_lines[y])[x];
    }

    // Makes this bitmap a copy of source at bitsPerPixel (0: the source's depth). The
    // marker list is never copied. source may be this bitmap.
    void ConvertFrom(const CImageBitmap& source, uint16_t bitsPerPixel);

    // The saved markers in file order.
    CSavedMarker* GetMarkers() { return m_markers.get(); }
    const CSavedMarker* GetMarkers() const { return m_markers.get(); }
    void SetMarkers(std::unique_ptr<CSavedMarker> first);
    void FreeMarkers();
    // Hands the marker list over; the bitmap keeps none.
    std::unique_ptr<CSavedMarker> ReleaseMarkers() { return std::move(m_markers); }

    // The picture's ICC colour profile as its file carried it (empty: none), kept apart from
    // the markers as it goes into every JPEG and PNG output. Like the markers it belongs to
    // the decoded file: re-creating the bitmap forgets it and copies never take it along.
    const std::vector<uint8_t>& GetIccProfile() const { return m_iccProfile; }
    void SetIccProfile(std::vector<uint8_t> profile) { m_iccProfile = std::move(profile); }

    // Bytes of a row that carry pixels: ceil(width x bpp / 8).
    static int64_t PixelBytesPerRow(int64_t width, int bitsPerPixel) {
        return (width * bitsPerPixel + 7) / 8;
    }

protected:
    virtual void AllocateStorage(int width, int height, uint16_t bitsPerPixel, bool hasAlpha) = 0;
    virtual void FreeStorage() = 0;
    virtual void BuildLineTable() = 0;

    // Last step of every AllocateStorage: stores the dimensions, builds the line table and
    // gives a palette the grey ramp.
    void InitLocals(int width, int height, uint16_t bitsPerPixel, bool hasAlpha);
    // Forgets the dimensions, line table and markers; the kind releases its own blocks.
    void ResetLocals();

    // Throws code 10 unless the dimensions are within the accepted sizes.
    static void CheckDimensions(int width, int height, int bitsPerPixel);
    // A zero-filled block, or code 10.
    static CHeapBlock AllocateBlock(size_t size);

    uint32_t* m_palette = nullptr;
    std::vector<uint8_t*> m_lines;

private:
    void ConvertPixels(const CImageBitmap& source);

    std::unique_ptr<CSavedMarker> m_markers;
    std::vector<uint8_t> m_iccProfile;
    int m_width = 0;
    int m_height = 0;
    uint16_t m_bitsPerPixel = 0;
    bool m_hasAlpha = false;
    int m_accessCount = 0;
    int m_ditherMode = 0;
    int m_quantizeMode = 2;
};

// Heap storage, rows top-down and unpadded; the decoders' and filters' temporary.
class CMemoryBitmap : public CImageBitmap {
public:
    CMemoryBitmap();
    ~CMemoryBitmap() override;

    int GetMemoryUsed() const override;
    int GetBytesPerLine() const override;

protected:
    void AllocateStorage(int width, int height, uint16_t bitsPerPixel, bool hasAlpha) override;
    void FreeStorage() override;
    void BuildLineTable() override;

private:
    CHeapBlock m_pixels;
    CHeapBlock m_paletteBlock;
};
