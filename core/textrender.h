#pragma once

#include "core/orientation.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class CImageBitmap;

// Text is laid out by Pango (shaping through HarfBuzz, font choice and fallback through
// fontconfig, bidirectional order through FriBidi) and its glyphs are drawn by cairo with
// FreeType into an 8-bit coverage plane. Nothing here needs a display or Qt, so the command
// line renders exactly what the window shows. Safe to call from several threads.

// A font as the user names it: a family (or a fontconfig alias such as "sans-serif") and a
// style ("Bold", "Italic", "Condensed Bold Oblique", ...; empty: regular).
struct CTextFont {
    std::string family = "sans-serif";
    std::string style = "bold";
    bool operator==(const CTextFont&) const = default;
};
// "FAMILY[:STYLE]"; an empty family gives the default family.
CTextFont ParseTextFont(std::string_view name);
std::string TextFontName(const CTextFont& font);

// How a block of text is drawn: its lines (split at line feeds) aligned to one side,
// at an em size in pixels.
struct CTextBlock {
    std::string text; // UTF-8
    CTextFont font;
    double em = 48;
    int halign = 1; // 0 left, 1 centre, 2 right: the side the lines line up on
};

// The block's logical size in whole pixels (every line's advance and the lines' heights,
// rounded up). Layout is unhinted, so the size grows in proportion to em.
CGridSize MeasureTextBlock(const CTextBlock& block);

// The block's coverage, one byte per pixel, rows top to bottom, MeasureTextBlock's size:
// each byte the share of that pixel the glyphs cover, anti-aliased.
std::vector<uint8_t> RenderTextCoverage(const CTextBlock& block, CGridSize& size);

// A text stamp's look beyond its glyphs.
struct CTextPaint {
    uint8_t red = 255, green = 255, blue = 255;
    // A soft shadow in the opposite tone, offset and blurred in proportion to the em size.
    bool shadow = true;
};

// The margin a shadow adds on every side of the block at that em size (0 without shadow).
int32_t TextShadowMargin(double em, bool shadow);

// The stamp picture of a text: 32 bits, straight alpha, the block with the shadow margin
// on every side. Colour where the glyphs cover, the shadow under them.
void RenderTextStamp(const CTextBlock& block, const CTextPaint& paint, CImageBitmap& stamp);
// Its size without drawing it.
CGridSize TextStampSize(const CTextBlock& block, bool shadow);

// Whether a colour reads as light (its luma above the middle grey).
bool IsLightColour(uint8_t red, uint8_t green, uint8_t blue);
