#pragma once

#include "core/stampshape.h"
#include "core/textrender.h"
#include "job/textplaceholders.h"

#include <map>
#include <mutex>
#include <string>
#include <tuple>

// What a text stamp is, as the settings give it.
struct CTextStampParams {
    std::string text; // placeholders unfilled
    CTextFont font;
    int32_t textSize = 48; // em in pixels at the stamp's own size
    // The text's colour; with autoColour light or dark per photo instead.
    uint8_t red = 255, green = 255, blue = 255;
    bool autoColour = false;
    bool shadow = true;
    uint8_t halign = 1; // the side its lines line up on: the stamp's
};

// A text stamp: laid out and drawn for each photo at the em size that its size rule asks,
// never a picture scaled. A text without placeholders is drawn once per size (and tone);
// with them once per photo whose text differs.
class CTextStampMaker : public CStampMaker {
public:
    // The text must parse (CTextTemplate::Parse); an unknown placeholder shows as written.
    CTextStampMaker(CTextStampParams params, const CStampLook& look);

    CShapedStamp Shape(const CPhotoFacts& photo) override;
    bool NeedsPixels() const override { return m_params.autoColour; }
    const CStampLook& Look() const override { return m_look; }

    // The text for a photo, placeholders filled.
    std::string TextFor(const CPhotoFacts& photo) const;
    // The em size for a text on a photo of that displayed size.
    double EmFor(const std::string& text, CGridSize displayedPhoto) const;
    // How many times a text was drawn (the cache's misses), for tests.
    int DrawCount() const;

private:
    CTextStampParams m_params;
    CStampLook m_look;
    CTextTemplate m_template;

    mutable std::mutex m_mutex;
    // The text's size at the reference em, which relative sizes scale from.
    mutable std::map<std::string, CGridSize> m_reference;
    std::map<std::tuple<std::string, int64_t, int, uint32_t>, CShapedStamp> m_cache;
    int m_draws = 0;
};

// Light text on a dark photo and dark text on a light one: the colour for a mean luma.
void AutoTextColour(int luma, uint8_t& red, uint8_t& green, uint8_t& blue);
