#include "imagelib/bitmap.h"

#include "imagelib/quantizefilter.h"
#include "imagelib/textexception.h"

#include <cstring>
#include <new>

namespace {
const char kOutOfMemory[] = "Out of memory creating bitmap.";
}

CSavedMarker::~CSavedMarker() {
    // Unlink iteratively so that a long list cannot exhaust the stack.
    std::unique_ptr<CSavedMarker> rest = std::move(next);
    while (rest)
        rest = std::move(rest->next);
}

CImageBitmap::CImageBitmap() = default;
CImageBitmap::~CImageBitmap() = default;

void CImageBitmap::Create(int width, int height, uint16_t bitsPerPixel, bool hasAlpha) {
    FreeStorage();
    AllocateStorage(width, height, bitsPerPixel, hasAlpha);
}

void CImageBitmap::BeginAccess(bool, bool) {
    ++m_accessCount;
}
void CImageBitmap::EndAccess() {
    --m_accessCount;
}

void CImageBitmap::SetMarkers(std::unique_ptr<CSavedMarker> first) {
    m_markers = std::move(first);
}
void CImageBitmap::FreeMarkers() {
    m_markers.reset();
}

void CImageBitmap::CheckDimensions(int width, int height, int bitsPerPixel) {
    if (width < 0 || height < 0 || bitsPerPixel < 1 || bitsPerPixel > 32 || width > kMaxPixels ||
        height > kMaxPixels || int64_t(width) * height > kMaxPixels)
        throw CTextException(10, kOutOfMemory);
}

CHeapBlock CImageBitmap::AllocateBlock(size_t size) {
    // calloc: large blocks arrive as fresh zero pages without a pass over them.
    CHeapBlock block(static_cast<uint8_t*>(std::calloc(size ? size : 1, 1)));
    if (!block)
        throw CTextException(10, kOutOfMemory);
    return block;
}

void CImageBitmap::InitLocals(int width, int height, uint16_t bitsPerPixel, bool hasAlpha) {
    m_width = width;
    m_height = height;
    m_bitsPerPixel = bitsPerPixel;
    m_hasAlpha = hasAlpha;
    try {
        BuildLineTable();
    } catch (const std::bad_alloc&) {
        throw CTextException(10, kOutOfMemory);
    }
    if (bitsPerPixel < 16 && m_palette) {
        const uint32_t n = 1u << bitsPerPixel;
        const uint32_t step = 255 / (n - 1);
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t v = (step * i) & 0xFF;
            m_palette[i] = 0xFF000000u | v << 16 | v << 8 | v;
        }
    }
}

void CImageBitmap::ResetLocals() {
    m_markers.reset();
    m_iccProfile.clear();
    m_lines.clear();
    m_lines.shrink_to_fit();
    m_palette = nullptr;
    m_width = 0;
    m_height = 0;
    m_bitsPerPixel = 0;
    m_hasAlpha = false;
}

void CImageBitmap::ConvertFrom(const CImageBitmap& source, uint16_t bitsPerPixel) {
    if (bitsPerPixel != 0 && bitsPerPixel != source.GetBitsPerPixel()) {
        if (&source == this) {
            // Re-creating this bitmap would destroy the pixels still to be read.
            CMemoryBitmap copy;
            copy.ConvertFrom(*this, 0);
            ConvertFrom(copy, bitsPerPixel);
            return;
        }
        Create(source.GetWidth(), source.GetHeight(), bitsPerPixel,
               source.HasAlpha() && bitsPerPixel == 32);
        ConvertPixels(source);
        return;
    }
    if (&source == this)
        return;

    FreeStorage();
    const uint16_t bpp = source.GetBitsPerPixel();
    AllocateStorage(source.GetWidth(), source.GetHeight(), bpp, source.HasAlpha());
    const size_t rowBytes = size_t(PixelBytesPerRow(source.GetWidth(), bpp));
    const uint8_t* const* from = source.GetLines();
    BeginAccess(false, true);
    const_cast<CImageBitmap&>(source).BeginAccess(true, false);
    for (int y = 0; y < GetHeight(); ++y)
        std::memcpy(m_lines[y], from[y], rowBytes);
    if (bpp <= 8 && source.GetPalette() && m_palette)
        std::memcpy(m_palette, source.GetPalette(), sizeof(uint32_t) << bpp);
    const_cast<CImageBitmap&>(source).EndAccess();
    EndAccess();
}

void CImageBitmap::ConvertPixels(const CImageBitmap& source) {
    const int width = GetWidth();
    const int height = GetHeight();
    const int from = source.GetBitsPerPixel();
    const uint32_t* srcPalette = source.GetPalette();
    const uint8_t* const* src = source.GetLines();
    auto& reader = const_cast<CImageBitmap&>(source);

    switch (GetBitsPerPixel()) {
    case 32: {
        if (from != 1 && from != 8)
            return;
        uint32_t zero = 0xFFFFFFFFu, one = 0xFF000000u;
        if (from == 1 && srcPalette) {
            zero = srcPalette[0];
            one = srcPalette[1];
        }
        BeginAccess(false, true);
        reader.BeginAccess(true, false);
        for (int y = 0; y < height; ++y) {
            const uint8_t* in = src[y];
            uint32_t* out = reinterpret_cast<uint32_t*>(m_lines[y]);
            if (from == 8) {
                uint32_t palette[256];
                if (srcPalette)
                    std::memcpy(palette, srcPalette, sizeof palette);
                else
                    for (uint32_t i = 0; i < 256; ++i)
                        palette[i] = 0xFF000000u | i << 16 | i << 8 | i;
                for (int x = 0; x < width; ++x)
                    out[x] = palette[in[x]];
            } else {
                for (int x = 0; x < width; ++x)
                    out[x] = (in[x >> 3] & (0x80 >> (x & 7))) ? one : zero;
            }
        }
        reader.EndAccess();
        EndAccess();
        return;
    }
    case 8:
        if (from == 32) {
            CQuantizeFilter filter(GetQuantizeMode(), GetDitherMode());
            filter.Apply(source, *this);
            return;
        }
        if (from != 1)
            return;
        m_palette[0] = srcPalette ? (srcPalette[0] | 0xFF000000u) : 0xFFFFFFFFu;
        m_palette[1] = srcPalette ? (srcPalette[1] | 0xFF000000u) : 0xFF000000u;
        BeginAccess(false, true);
        reader.BeginAccess(true, false);
        for (int y = 0; y < height; ++y) {
            const uint8_t* in = src[y];
            uint8_t* out = m_lines[y];
            for (int x = 0; x < width; ++x)
                out[x] = (in[x >> 3] >> (7 - (x & 7))) & 1;
        }
        reader.EndAccess();
        EndAccess();
        return;
    case 1: {
        if (from != 8 && from != 32)
            return;
        m_palette[0] = 0xFFFFFFFFu;
        m_palette[1] = 0xFF000000u;
        auto dark = [](uint32_t c) {
            return (c & 0xFF) < 128 && ((c >> 8) & 0xFF) < 128 && ((c >> 16) & 0xFF) < 128;
        };
        bool darkIndex[256] = {};
        if (from == 8)
            for (int i = 0; i < 256; ++i)
                darkIndex[i] = srcPalette ? dark(srcPalette[i]) : i < 128;
        const size_t rowBytes = size_t(PixelBytesPerRow(width, 1));
        BeginAccess(false, true);
        reader.BeginAccess(true, false);
        for (int y = 0; y < height; ++y) {
            const uint8_t* in = src[y];
            uint8_t* out = m_lines[y];
            std::memset(out, 0, rowBytes);
            for (int x = 0; x < width; ++x) {
                const bool set =
                    from == 8 ? darkIndex[in[x]] : dark(reinterpret_cast<const uint32_t*>(in)[x]);
                if (set)
                    out[x >> 3] |= uint8_t(0x80 >> (x & 7));
            }
        }
        reader.EndAccess();
        EndAccess();
        return;
    }
    default:
        return;
    }
}

// ---- CMemoryBitmap

CMemoryBitmap::CMemoryBitmap() {
    Create(16, 16, 8, false);
}
CMemoryBitmap::~CMemoryBitmap() {
    CMemoryBitmap::FreeStorage();
}

int CMemoryBitmap::GetBytesPerLine() const {
    return int(PixelBytesPerRow(GetWidth(), GetBitsPerPixel()));
}

int CMemoryBitmap::GetMemoryUsed() const {
    const int bpp = GetBitsPerPixel();
    const int palette = bpp > 15 ? 48 : (4 << bpp) + 48;
    return GetHeight() * GetBytesPerLine() + palette + 48;
}

void CMemoryBitmap::AllocateStorage(int width, int height, uint16_t bitsPerPixel, bool hasAlpha) {
    CheckDimensions(width, height, bitsPerPixel);
    const size_t size = size_t(height) * size_t(PixelBytesPerRow(width, bitsPerPixel));
    m_pixels = AllocateBlock(size);
    if (bitsPerPixel <= 8) {
        m_paletteBlock = AllocateBlock(size_t(4) << bitsPerPixel);
        m_palette = reinterpret_cast<uint32_t*>(m_paletteBlock.get());
    }
    try {
        InitLocals(width, height, bitsPerPixel, hasAlpha);
    } catch (...) {
        FreeStorage();
        throw;
    }
}

void CMemoryBitmap::FreeStorage() {
    m_pixels.reset();
    m_paletteBlock.reset();
    ResetLocals();
}

void CMemoryBitmap::BuildLineTable() {
    const size_t stride = size_t(GetBytesPerLine());
    m_lines.resize(size_t(GetHeight()));
    for (size_t i = 0; i < m_lines.size(); ++i)
        m_lines[i] = m_pixels.get() + i * stride;
}
