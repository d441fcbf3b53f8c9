#include "imagelib/dibbitmap.h"

#include <cstring>

// ---- CDIBBitmap

CDIBBitmap::CDIBBitmap() {
    Create(16, 16, 8, false);
}
CDIBBitmap::~CDIBBitmap() {
    CDIBBitmap::FreeStorage();
}

int CDIBBitmap::GetBytesPerLine() const {
    return int(StrideFor(GetWidth(), GetBitsPerPixel()));
}

int CDIBBitmap::GetMemoryUsed() const {
    const int bpp = GetBitsPerPixel();
    const int header = bpp > 15 ? 40 : (4 << bpp) + 40;
    return GetHeight() * GetBytesPerLine() + header + 52;
}

void CDIBBitmap::FillHeader(CBitmapInfoHeader* header, int width, int height, int bitsPerPixel) {
    std::memset(header, 0, sizeof *header);
    header->size = sizeof *header;
    header->width = width;
    header->height = height;
    header->planes = 1;
    header->bitCount = uint16_t(bitsPerPixel);
}

void CDIBBitmap::AllocateStorage(int width, int height, uint16_t bitsPerPixel, bool hasAlpha) {
    CheckDimensions(width, height, bitsPerPixel);
    const size_t rows = size_t(height) * size_t(StrideFor(width, bitsPerPixel));
    m_block = AllocateBlock(sizeof(CBitmapInfoHeader) + PaletteBytesFor(bitsPerPixel) + rows);
    m_header = reinterpret_cast<CBitmapInfoHeader*>(m_block.get());
    FillHeader(m_header, width, height, bitsPerPixel);
    InitPointers();
    try {
        InitLocals(width, height, bitsPerPixel, hasAlpha);
    } catch (...) {
        FreeStorage();
        throw;
    }
}

void CDIBBitmap::InitPointers() {
    uint8_t* after = m_block.get() + sizeof(CBitmapInfoHeader);
    m_palette = m_header->bitCount < 16 ? reinterpret_cast<uint32_t*>(after) : nullptr;
    m_bits = after + PaletteBytesFor(m_header->bitCount);
}

void CDIBBitmap::FreeStorage() {
    m_block.reset();
    m_header = nullptr;
    m_bits = nullptr;
    ResetLocals();
}

void CDIBBitmap::BuildLineTable() {
    const size_t height = size_t(GetHeight());
    const size_t stride = size_t(GetBytesPerLine());
    m_lines.resize(height);
    for (size_t i = 0; i < height; ++i)
        m_lines[i] = m_bits + (height - 1 - i) * stride;
}

// ---- CDIBSectionBitmap

CDIBSectionBitmap::CDIBSectionBitmap() {
    Create(16, 16, 8, false);
}
CDIBSectionBitmap::~CDIBSectionBitmap() {
    CDIBSectionBitmap::FreeStorage();
}

void CDIBSectionBitmap::AllocateStorage(int width, int height, uint16_t bitsPerPixel,
                                        bool hasAlpha) {
    CheckDimensions(width, height, bitsPerPixel);
    m_block = AllocateBlock(sizeof(CBitmapInfoHeader) + PaletteBytesFor(bitsPerPixel));
    m_header = reinterpret_cast<CBitmapInfoHeader*>(m_block.get());
    FillHeader(m_header, width, height, bitsPerPixel);
    try {
        m_section = AllocateBlock(size_t(height) * size_t(StrideFor(width, bitsPerPixel)));
        InitPointers();
        InitLocals(width, height, bitsPerPixel, hasAlpha);
    } catch (...) {
        FreeStorage();
        throw;
    }
}

void CDIBSectionBitmap::InitPointers() {
    m_palette = m_header->bitCount < 16
                    ? reinterpret_cast<uint32_t*>(m_block.get() + sizeof(CBitmapInfoHeader))
                    : nullptr;
    m_bits = m_section.get();
}

void CDIBSectionBitmap::FreeStorage() {
    m_section.reset();
    CDIBBitmap::FreeStorage();
}
