#include "core/stampshape.h"

#include "core/stamppreparation.h"
#include "core/stampscaling.h"
#include "imagelib/bitmap.h"

#include <algorithm>
#include <cstdlib>

namespace {

constexpr int kAlpha = 3; // byte of a 32-bit pixel that holds alpha

// Beyond this many sizes a run is not a batch of alike photos; the oldest go.
constexpr std::size_t kMaxCachedStamps = 64;

std::shared_ptr<CImageBitmap> CopyOf(const CImageBitmap& bitmap) {
    auto copy = std::make_shared<CMemoryBitmap>();
    copy->ConvertFrom(bitmap, 32);
    return copy;
}

// (numerator / denominator) rounded to nearest, halves away from zero; denominator > 0.
int64_t RoundedQuotient(int64_t numerator, int64_t denominator) {
    const int64_t magnitude = (2 * std::llabs(numerator) + denominator) / (2 * denominator);
    return numerator < 0 ? -magnitude : magnitude;
}

void ScaleAlpha(CImageBitmap& stamp, uint8_t opacity) {
    if (opacity == 255)
        return;
    uint8_t** lines = stamp.GetLines();
    for (int y = 0; y < stamp.GetHeight(); ++y)
        for (int x = 0; x < stamp.GetWidth(); ++x) {
            uint8_t& a = lines[y][4 * x + kAlpha];
            a = uint8_t(a * opacity / 255);
        }
}

CGridSize SizeOf(const CImageBitmap& bitmap) {
    return {bitmap.GetWidth(), bitmap.GetHeight()};
}

} // namespace

std::vector<uint8_t> OwnAlphaOf(const CImageBitmap& decoded) {
    if (!decoded.HasAlpha() || decoded.GetBitsPerPixel() != 32)
        return {};
    std::vector<uint8_t> alpha;
    alpha.reserve(size_t(decoded.GetWidth()) * size_t(decoded.GetHeight()));
    bool translucent = false;
    const uint8_t* const* lines = decoded.GetLines();
    for (int y = 0; y < decoded.GetHeight(); ++y)
        for (int x = 0; x < decoded.GetWidth(); ++x) {
            const uint8_t a = lines[y][4 * x + kAlpha];
            translucent |= a != 255;
            alpha.push_back(a);
        }
    if (!translucent)
        alpha.clear();
    return alpha;
}

void ApplyOwnAlpha(CImageBitmap& stamp, const std::vector<uint8_t>& ownAlpha) {
    const int width = stamp.GetWidth();
    if (ownAlpha.size() != size_t(width) * size_t(stamp.GetHeight()))
        return;
    uint8_t** lines = stamp.GetLines();
    const uint8_t* own = ownAlpha.data();
    for (int y = 0; y < stamp.GetHeight(); ++y)
        for (int x = 0; x < width; ++x, ++own) {
            uint8_t& a = lines[y][4 * x + kAlpha];
            a = uint8_t(a * *own / 255);
        }
}

bool HasTranslucentPixel(const CImageBitmap& stamp) {
    const uint8_t* const* lines = stamp.GetLines();
    for (int y = 0; y < stamp.GetHeight(); ++y)
        for (int x = 0; x < stamp.GetWidth(); ++x)
            if (lines[y][4 * x + kAlpha] != 255)
                return true;
    return false;
}

void PrepareStampAlpha(CImageBitmap& stamp, const std::vector<uint8_t>& ownAlpha,
                       const CStampLook& look) {
    if (IsKeyColourSet(look.keyColour)) {
        const CFeather feather = FeatherFromSetting(look.feather);
        ApplyKeyColour(stamp, look.keyColour, look.tolerance, feather.passes, look.opacity,
                       feather.grow);
    } else {
        FillAlpha(stamp, look.opacity);
    }
    ApplyOwnAlpha(stamp, ownAlpha);
}

CGridSize ScaledStampSize(CGridSize stamp, CGridSize photo, int32_t sizeMode, int32_t percent) {
    if (sizeMode < 1 || sizeMode > 2 || stamp.width <= 0 || stamp.height <= 0 || photo.width <= 0 ||
        photo.height <= 0)
        return stamp;
    percent = std::clamp(percent, 1, 100);
    const bool byWidth = sizeMode == 1 || stamp.width >= stamp.height;
    const int64_t reference = sizeMode == 1 ? photo.width : std::min(photo.width, photo.height);
    const int64_t side = std::max<int64_t>(1, RoundedQuotient(reference * percent, 100));
    const int64_t ownSide = byWidth ? stamp.width : stamp.height;
    const int64_t ownOther = byWidth ? stamp.height : stamp.width;
    const int64_t other = std::max<int64_t>(1, RoundedQuotient(ownOther * side, ownSide));
    return byWidth ? CGridSize{int32_t(side), int32_t(other)}
                   : CGridSize{int32_t(other), int32_t(side)};
}

int32_t ScaleOffset(int32_t offset, CGridSize own, CGridSize scaled) {
    if (own == scaled || own.width <= 0 || own.height <= 0)
        return offset;
    // The longer side carries the factor with the least rounding.
    const bool byWidth = own.width >= own.height;
    const int64_t from = byWidth ? own.width : own.height;
    const int64_t to = byWidth ? scaled.width : scaled.height;
    return int32_t(
        std::clamp<int64_t>(RoundedQuotient(int64_t(offset) * to, from), INT32_MIN, INT32_MAX));
}

CStampShaper::CStampShaper(const CImageBitmap& stamp, std::vector<uint8_t> ownAlpha,
                           const CStampLook& look)
    : m_look(look), m_ownSize{stamp.GetWidth(), stamp.GetHeight()},
      m_ownAlpha(std::move(ownAlpha)) {
    std::shared_ptr<CImageBitmap> prepared = CopyOf(stamp);
    PrepareStampAlpha(*prepared, m_ownAlpha, m_look);
    m_prepared = prepared;
}

CStampShaper::CStampShaper(const CImageBitmap& prepared, std::vector<uint8_t> ownAlpha,
                           const CStampLook& look, CPrepared)
    : m_look(look), m_ownSize{prepared.GetWidth(), prepared.GetHeight()},
      m_prepared(CopyOf(prepared)), m_ownAlpha(std::move(ownAlpha)) {}

CStampShaper::~CStampShaper() = default;

CShapedStamp CStampShaper::Upright(CGridSize size) {
    const int32_t angle = m_look.angle;
    if (size == m_ownSize) {
        if (angle == 0)
            return {m_prepared, HasTranslucentPixel(*m_prepared), m_ownSize, m_ownSize};
        // Opacity scales alpha alike everywhere, so turning the prepared stamp is turning
        // its coverage and scaling after; quarter turns stay exact this way.
        auto turned = std::make_shared<CMemoryBitmap>();
        TurnStamp(*m_prepared, *turned, angle);
        return {turned, HasTranslucentPixel(*turned), SizeOf(*turned), m_ownSize};
    }
    if (!m_coverage) {
        // Keying and feather belong to the stamp's own pixels; the opacity comes after the
        // scaling, so it cannot change how the edges are feathered.
        std::shared_ptr<CImageBitmap> coverage = CopyOf(*m_prepared);
        CStampLook opaque = m_look;
        opaque.opacity = 255;
        PrepareStampAlpha(*coverage, m_ownAlpha, opaque);
        m_coverage = coverage;
    }
    auto scaled = std::make_shared<CMemoryBitmap>();
    ScaleStampBitmap(*m_coverage, *scaled, size.width, size.height);
    if (angle != 0) {
        auto turned = std::make_shared<CMemoryBitmap>();
        TurnStamp(*scaled, *turned, angle);
        scaled = turned;
    }
    ScaleAlpha(*scaled, m_look.opacity);
    return {scaled, HasTranslucentPixel(*scaled), SizeOf(*scaled), size};
}

CShapedStamp CStampShaper::ForPhoto(CGridSize displayedPhoto, int orientation) {
    orientation = NormalOrientation(orientation);
    const CGridSize size =
        ScaledStampSize(m_ownSize, displayedPhoto, m_look.sizeMode, m_look.sizePercent);
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto key = std::make_tuple(size.width, size.height, orientation);
    if (const auto it = m_cache.find(key); it != m_cache.end())
        return it->second;
    if (m_cache.size() >= kMaxCachedStamps)
        m_cache.clear();
    const auto uprightKey = std::make_tuple(size.width, size.height, 1);
    CShapedStamp shaped;
    if (const auto it = m_cache.find(uprightKey); it != m_cache.end())
        shaped = it->second;
    else
        shaped = m_cache[uprightKey] = Upright(size);
    if (orientation == 1)
        return shaped;
    auto turned = std::make_shared<CMemoryBitmap>();
    TurnToStored(*shaped.bitmap, *turned, orientation);
    shaped.bitmap = turned;
    m_cache[key] = shaped;
    return shaped;
}
