#include "job/textstamp.h"

#include "core/stamplayout.h"
#include "imagelib/bitmap.h"

#include <cmath>

namespace {

// Relative sizes are measured at this em and scaled: layout is unhinted, so a block's
// size is proportional to its em.
constexpr double kReferenceEm = 256;

// Beyond this many texts and sizes a run's texts differ per photo; the oldest go.
constexpr std::size_t kMaxCachedTexts = 64;

// The em as a cache key: 1/64 pixel steps, as fine as Pango's own positions need.
int64_t EmKey(double em) {
    return std::llround(em * 64);
}

} // namespace

void AutoTextColour(int luma, uint8_t& red, uint8_t& green, uint8_t& blue) {
    const uint8_t tone = luma < 128 ? 255 : 0;
    red = green = blue = tone;
}

CTextStampMaker::CTextStampMaker(CTextStampParams params, const CStampLook& look)
    : m_params(std::move(params)), m_look(look) {
    std::string unknown;
    if (!m_template.Parse(m_params.text, unknown)) {
        // Checked by the front ends before a run; whatever comes here is shown as written.
        m_template = CTextTemplate();
        std::string escaped;
        for (const char c : m_params.text) {
            escaped += c;
            if (c == '{' || c == '}')
                escaped += c;
        }
        m_template.Parse(escaped, unknown);
    }
}

std::string CTextStampMaker::TextFor(const CPhotoFacts& photo) const {
    return m_template.HasFields() ? m_template.Fill(photo.path, photo.markers)
                                  : m_template.Fill(std::string(), nullptr);
}

double CTextStampMaker::EmFor(const std::string& text, CGridSize displayedPhoto) const {
    const double own = std::clamp<double>(m_params.textSize, 1, 100000);
    if (m_look.sizeMode != 1 && m_look.sizeMode != 2)
        return own;
    CGridSize reference;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (const auto it = m_reference.find(text); it != m_reference.end())
            reference = it->second;
    }
    if (reference.width == 0) {
        // The block is the text's own box: the shadow's margin comes on top of the share.
        reference = MeasureTextBlock({text, m_params.font, kReferenceEm, m_params.halign});
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_reference.size() >= kMaxCachedTexts)
            m_reference.clear();
        m_reference[text] = reference;
    }
    if (reference.width <= 0 || reference.height <= 0)
        return own;
    const CGridSize target =
        ScaledStampSize(reference, displayedPhoto, m_look.sizeMode, m_look.sizePercent);
    const bool byWidth = m_look.sizeMode == 1 || reference.width >= reference.height;
    const double ratio =
        byWidth ? double(target.width) / reference.width : double(target.height) / reference.height;
    return std::max(1.0, kReferenceEm * ratio);
}

int CTextStampMaker::DrawCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_draws;
}

CShapedStamp CTextStampMaker::Shape(const CPhotoFacts& photo) {
    const int orientation = NormalOrientation(photo.orientation);
    const std::string text = TextFor(photo);
    const double em = EmFor(text, photo.displayed);
    CTextBlock block{text, m_params.font, em, m_params.halign};
    CTextPaint paint{m_params.red, m_params.green, m_params.blue, m_params.shadow};
    const double ownScale = double(m_params.textSize) / em;
    auto ownOf = [&](CGridSize upright) {
        return CGridSize{std::max(1, int(std::lround(upright.width * ownScale))),
                         std::max(1, int(std::lround(upright.height * ownScale)))};
    };
    if (m_params.autoColour) {
        // Decided on the photo as shown, under the box the text will take.
        const CGridSize sized = TextStampSize(block, m_params.shadow);
        const CGridSize upright = m_look.angle ? TurnedStampSize(sized, m_look.angle) : sized;
        const int luma =
            photo.lumaUnder && sized.width > 0 ? photo.lumaUnder(upright, sized, ownOf(sized)) : 0;
        AutoTextColour(luma, paint.red, paint.green, paint.blue);
    }
    const uint32_t colour = uint32_t(paint.red) << 16 | uint32_t(paint.green) << 8 | paint.blue;
    const auto key = std::make_tuple(text, EmKey(em), orientation, colour);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (const auto it = m_cache.find(key); it != m_cache.end())
            return it->second;
    }
    std::shared_ptr<CMemoryBitmap> upright = std::make_shared<CMemoryBitmap>();
    RenderTextStamp(block, paint, *upright);
    const CGridSize sized{upright->GetWidth(), upright->GetHeight()};
    if (m_look.angle != 0) {
        // Drawn level at the size asked, then turned like a picture stamp.
        auto turned = std::make_shared<CMemoryBitmap>();
        TurnStamp(*upright, *turned, m_look.angle);
        upright = turned;
    }
    if (m_look.opacity != 255) {
        uint8_t** lines = upright->GetLines();
        for (int y = 0; y < upright->GetHeight(); ++y)
            for (int x = 0; x < upright->GetWidth(); ++x) {
                uint8_t& a = lines[y][4 * x + 3];
                a = uint8_t(a * m_look.opacity / 255);
            }
    }
    CShapedStamp shaped;
    shaped.upright = {upright->GetWidth(), upright->GetHeight()};
    shaped.sized = sized;
    shaped.own = ownOf(sized);
    shaped.blend = true;
    if (orientation == 1) {
        shaped.bitmap = upright;
    } else {
        auto turned = std::make_shared<CMemoryBitmap>();
        TurnToStored(*upright, *turned, orientation);
        shaped.bitmap = turned;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_draws;
    if (m_cache.size() >= kMaxCachedTexts)
        m_cache.clear();
    m_cache[key] = shaped;
    return shaped;
}
