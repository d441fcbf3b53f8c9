#include "core/stampbitmap.h"

const std::vector<uint32_t>& CStampBitmap::GetLogicalPalette() {
    if (m_logicalPalette.empty())
        RebuildPalette();
    return m_logicalPalette;
}

const std::vector<uint32_t>& CStampBitmap::RebuildPalette() {
    const uint32_t* palette = GetPalette();
    const int bpp = GetBitsPerPixel();
    if (!palette || bpp > 8) {
        m_logicalPalette = HalftonePalette();
        return m_logicalPalette;
    }
    m_logicalPalette.assign(palette, palette + (size_t(1) << bpp));
    for (uint32_t& entry : m_logicalPalette)
        entry &= 0x00FFFFFFu;
    return m_logicalPalette;
}

std::vector<uint32_t> CStampBitmap::HalftonePalette() {
    std::vector<uint32_t> out;
    out.reserve(256);
    for (uint32_t r = 0; r < 6; ++r)
        for (uint32_t g = 0; g < 6; ++g)
            for (uint32_t b = 0; b < 6; ++b)
                out.push_back(b * 51 | (g * 51) << 8 | (r * 51) << 16);
    for (uint32_t i = 0; out.size() < 256; ++i) {
        const uint32_t v = 255 * (i + 1) / 41; // greys between the cube's steps
        out.push_back(v | v << 8 | v << 16);
    }
    return out;
}
