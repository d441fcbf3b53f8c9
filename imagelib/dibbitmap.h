#pragma once

#include "imagelib/bitmap.h"

#include <vector>

// The 40-byte header of a Windows device-independent bitmap, little-endian on disk and
// in memory.
struct CBitmapInfoHeader {
    uint32_t size;
    int32_t width;
    int32_t height; // positive: rows stored bottom-up
    uint16_t planes;
    uint16_t bitCount;
    uint32_t compression;
    uint32_t sizeImage;
    int32_t xPelsPerMeter;
    int32_t yPelsPerMeter;
    uint32_t clrUsed;
    uint32_t clrImportant;
};
static_assert(sizeof(CBitmapInfoHeader) == 40);

// A packed Windows DIB in one heap block: the info header, the palette (2^bpp entries
// when bpp < 16), then the rows bottom-up, each padded to a multiple of 4 bytes.
class CDIBBitmap : public CImageBitmap {
public:
    CDIBBitmap();
    ~CDIBBitmap() override;

    int GetMemoryUsed() const override;
    int GetBytesPerLine() const override;

    // The block's header (and so the start of the packed DIB), or null without storage.
    CBitmapInfoHeader* GetBitmapInfoHeader() { return m_header; }
    const CBitmapInfoHeader* GetBitmapInfoHeader() const { return m_header; }
    // The bottom row, where the stored rows begin.
    uint8_t* GetBits() { return m_bits; }
    const uint8_t* GetBits() const { return m_bits; }

    // Bytes of one stored row: pixel bytes rounded up to a multiple of 4.
    static int64_t StrideFor(int64_t width, int bitsPerPixel) {
        return (PixelBytesPerRow(width, bitsPerPixel) + 3) & ~int64_t(3);
    }
    static size_t PaletteBytesFor(int bitsPerPixel) {
        return bitsPerPixel < 16 ? size_t(4) << bitsPerPixel : 0;
    }

    // ---- Packed DIB transfer (clipboard blocks and bitmap resources)

    // Loads the bitmap resource with this id (a packed DIB) into this bitmap. A missing
    // resource throws code 4, "Opening resource <id> failed".
    virtual void LoadFromResource(int id);
    // Makes this bitmap a copy of the packed DIB of `size` bytes at `packed`, keeping the
    // DIB's own palette. Understood: info headers of 40 bytes or more, a colours-used
    // count, top-down rows, uncompressed rows and bit-field rows of 16 and 32 bits. 1-, 8-
    // and 32-bit DIBs keep their depth; 4-bit ones become 8-bit, 16- and 24-bit ones 32-bit.
    // Anything else, or a block too short for what its header promises, throws code 2; an
    // allocation failure code 10. On a throw the bitmap is left without storage.
    virtual void CreateFromPackedDIB(const uint8_t* packed, size_t size);
    // As CreateFromPackedDIB; then, for a bitmap of 8 or fewer bits per pixel, the first
    // `count` entries of `palette` (blue, green, red words, as the clipboard's palette
    // gives them) replace the bitmap's palette entries.
    void CreateFromPackedDIBAndPalette(const uint8_t* packed, size_t size, const uint32_t* palette,
                                       int count);
    // The packed DIB of this bitmap: header, palette (2^bpp entries when bpp < 16) and the
    // rows bottom-up, as one block the caller owns. An empty bitmap gives an empty block.
    virtual std::vector<uint8_t> CopyToGlobalMemory() const;

protected:
    void AllocateStorage(int width, int height, uint16_t bitsPerPixel, bool hasAlpha) override;
    void FreeStorage() override;
    void BuildLineTable() override;
    // Points the palette and the rows into the storage after the header is filled.
    virtual void InitPointers();

    static void FillHeader(CBitmapInfoHeader* header, int width, int height, int bitsPerPixel);

    CHeapBlock m_block;
    CBitmapInfoHeader* m_header = nullptr;
    uint8_t* m_bits = nullptr;
};

// The DIB layout with the rows in a block of their own, standing in for a GDI DIB
// section: the header block holds header and palette only.
class CDIBSectionBitmap : public CDIBBitmap {
public:
    CDIBSectionBitmap();
    ~CDIBSectionBitmap() override;

    // The section's pixel block (bottom row first), or null without storage.
    uint8_t* GetHBITMAP() { return m_section.get(); }

protected:
    void AllocateStorage(int width, int height, uint16_t bitsPerPixel, bool hasAlpha) override;
    void FreeStorage() override;
    void InitPointers() override;

private:
    CHeapBlock m_section;
};
