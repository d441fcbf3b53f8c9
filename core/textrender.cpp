#include "core/textrender.h"

#include "imagelib/bitmap.h"

#include <cairo.h>
#include <fribidi.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <mutex>
#include <optional>

namespace {

// One font map for the program: fontconfig's lookups and the glyph caches are made once.
// Pango's objects are not shared between threads without a lock; text is drawn seldom
// enough (once per size, or once per file with placeholders) that one lock costs nothing.
std::mutex g_pangoMutex;

PangoFontMap* FontMap() {
    static PangoFontMap* const map = pango_cairo_font_map_new();
    return map;
}

struct CLayout {
    PangoContext* context = nullptr;
    PangoLayout* layout = nullptr;
    ~CLayout() {
        if (layout)
            g_object_unref(layout);
        if (context)
            g_object_unref(context);
    }
};

// Layout is unhinted and positions are not rounded to whole pixels: a block at twice the
// em is twice as wide, which relative sizes rely on, and glyph shapes are the outlines'.
cairo_font_options_t* FontOptions() {
    static cairo_font_options_t* const options = [] {
        cairo_font_options_t* o = cairo_font_options_create();
        cairo_font_options_set_antialias(o, CAIRO_ANTIALIAS_GRAY);
        cairo_font_options_set_hint_style(o, CAIRO_HINT_STYLE_NONE);
        cairo_font_options_set_hint_metrics(o, CAIRO_HINT_METRICS_OFF);
        return o;
    }();
    return options;
}

// Whether the text's first strong character is a right-to-left one.
bool StartsRightToLeft(const std::string& text) {
    const char* p = text.c_str();
    const char* const end = p + text.size();
    while (p < end) {
        const gunichar c = g_utf8_get_char_validated(p, end - p);
        if (c == gunichar(-1) || c == gunichar(-2))
            return false;
        const FriBidiCharType type = fribidi_get_bidi_type(FriBidiChar(c));
        if (FRIBIDI_IS_STRONG(type))
            return FRIBIDI_IS_RTL(type);
        p = g_utf8_next_char(p);
    }
    return false;
}

void MakeLayout(const CTextBlock& block, CLayout& out) {
    out.context = pango_font_map_create_context(FontMap());
    pango_cairo_context_set_font_options(out.context, FontOptions());
    pango_context_set_round_glyph_positions(out.context, FALSE);
    // The paragraphs' direction comes from the text's first strong character, and the
    // lines line up on the stamp's side whatever their direction.
    pango_context_set_base_dir(out.context, StartsRightToLeft(block.text) ? PANGO_DIRECTION_RTL
                                                                          : PANGO_DIRECTION_LTR);
    out.layout = pango_layout_new(out.context);
    pango_layout_set_auto_dir(out.layout, FALSE);
    const CTextFont& font = block.font;
    std::string name = font.family.empty() ? std::string("sans-serif") : font.family;
    // The trailing comma ends the family list, so that a family's own words are never
    // taken for a style.
    name += ",";
    if (!font.style.empty())
        name += " " + font.style;
    PangoFontDescription* description = pango_font_description_from_string(name.c_str());
    pango_font_description_set_absolute_size(description,
                                             std::max(1.0, block.em) * double(PANGO_SCALE));
    pango_layout_set_font_description(out.layout, description);
    pango_font_description_free(description);
    pango_layout_set_alignment(out.layout, block.halign == 0   ? PANGO_ALIGN_LEFT
                                           : block.halign == 2 ? PANGO_ALIGN_RIGHT
                                                               : PANGO_ALIGN_CENTER);
    pango_layout_set_text(out.layout, block.text.c_str(), int(block.text.size()));
}

// The logical rectangle in pixels, widened to whole pixels.
PangoRectangle PixelExtents(PangoLayout* layout) {
    PangoRectangle logical;
    pango_layout_get_extents(layout, nullptr, &logical);
    const double scale = PANGO_SCALE;
    const int left = int(std::floor(logical.x / scale));
    const int top = int(std::floor(logical.y / scale));
    const int right = int(std::ceil((logical.x + logical.width) / scale));
    const int bottom = int(std::ceil((logical.y + logical.height) / scale));
    return {left, top, std::max(0, right - left), std::max(0, bottom - top)};
}

// Box blurs along rows then columns, one pass per radius; three come close to a Gaussian.
// Outside the plane counts as zero, and every sum is divided by the whole span.
void BoxBlur(std::vector<uint16_t>& plane, int width, int height, const std::array<int, 3>& radii) {
    if (width <= 0 || height <= 0)
        return;
    std::vector<uint32_t> line(static_cast<size_t>(width) + 1);
    std::vector<uint32_t> sum(static_cast<size_t>(width));
    std::vector<uint16_t> source(plane.size());
    for (const int radius : radii) {
        if (radius <= 0)
            continue;
        const uint32_t span = uint32_t(2 * radius + 1);
        // A product with the reciprocal gives the same quotient as the division for every
        // sum below 2^24, which holds for spans up to 255; the divisions were most of the time.
        const uint64_t reciprocal = ((uint64_t(1) << 40) + span - 1) / span;
        const bool byProduct = span < 256;
        auto divide = [&](uint32_t total) {
            return byProduct ? uint16_t((total * reciprocal) >> 40) : uint16_t(total / span);
        };
        for (int y = 0; y < height; ++y) {
            uint16_t* row = plane.data() + size_t(y) * size_t(width);
            line[0] = 0;
            for (int i = 0; i < width; ++i)
                line[size_t(i) + 1] = line[size_t(i)] + row[i];
            for (int i = 0; i < width; ++i) {
                const int low = std::max(0, i - radius);
                const int high = std::min(width, i + radius + 1);
                row[i] = divide(line[size_t(high)] - line[size_t(low)]);
            }
        }
        // Down the columns, a window of whole rows slides over the plane.
        source.swap(plane);
        std::fill(sum.begin(), sum.end(), 0u);
        auto add = [&](int y) {
            const uint16_t* row = source.data() + size_t(y) * size_t(width);
            for (int x = 0; x < width; ++x)
                sum[size_t(x)] += row[x];
        };
        auto remove = [&](int y) {
            const uint16_t* row = source.data() + size_t(y) * size_t(width);
            for (int x = 0; x < width; ++x)
                sum[size_t(x)] -= row[x];
        };
        for (int y = 0; y < std::min(height, radius); ++y)
            add(y);
        for (int y = 0; y < height; ++y) {
            if (y + radius < height)
                add(y + radius);
            if (y - radius - 1 >= 0)
                remove(y - radius - 1);
            uint16_t* out = plane.data() + size_t(y) * size_t(width);
            for (int x = 0; x < width; ++x)
                out[x] = divide(sum[size_t(x)]);
        }
    }
}

struct CShadowGeometry {
    int offset = 0;
    int radius = 0;
};
CShadowGeometry ShadowGeometry(double em) {
    return {std::max(1, int(std::lround(em * 0.04))), std::max(1, int(std::lround(em * 0.025)))};
}

// The shadow is soft, so it is blurred on a copy reduced by a power of two and read back
// bilinearly: at 200 px em that is a quarter of the pixels to blur. The passes' radii on the
// copy are chosen so that the whole spread (the reduction's box, the three passes and the
// bilinear reading) has the variance of three passes of the full radius. Small radii keep
// the full size, where the result is the three full passes exactly.
struct CShadowPlan {
    int factor = 1;
    std::array<int, 3> radii{};
};
CShadowPlan PlanShadow(int radius) {
    CShadowPlan plan;
    while (plan.factor < 16 && radius >= 5 * plan.factor)
        plan.factor *= 2;
    const int f = plan.factor;
    if (f == 1) {
        plan.radii = {radius, radius, radius};
        return plan;
    }
    // One box pass of radius r spreads by r (r + 1) / 3 squared pixels.
    const double full = double(radius) * (radius + 1);
    const double reading = (double(f) * f - 1) / 12 + double(f) * f / 6;
    const double wanted = std::max(0.0, 3 * (full - reading) / (double(f) * f));
    int base = 0;
    while (3 * (base + 1) * (base + 2) <= wanted)
        ++base;
    plan.radii = {base, base, base};
    double have = 3.0 * base * (base + 1);
    for (int& r : plan.radii) {
        const double more = have + 2.0 * (base + 1);
        if (std::abs(more - wanted) < std::abs(have - wanted)) {
            r = base + 1;
            have = more;
        }
    }
    return plan;
}

// Where a full-size pixel falls on the reduced copy: the copy's index below it and the
// weight of the one after, in 1/256.
struct CSample {
    int index = 0;
    int weight = 0;
};
// 'at' is the pixel's position on the coverage, 'pad' the copy's border in copy pixels.
CSample ReducedSample(int at, int factor, int pad) {
    // The copy's pixel j has its centre at full position (j - pad) f + (f - 1) / 2.
    const int twice = 2 * at - (factor - 1) + 2 * pad * factor;
    const int fixed = twice * (128 / factor); // the factor divides 128
    return {fixed >> 8, fixed & 255};
}

// The blurred shadow of the coverage, 1/256 steps, read at full size one row at a time.
class CShadowField {
public:
    CShadowField(const std::vector<uint8_t>& coverage, CGridSize size, int radius)
        : m_plan(PlanShadow(radius)) {
        const int f = m_plan.factor;
        m_pad = m_plan.radii[0] + m_plan.radii[1] + m_plan.radii[2] + 1;
        m_width = (size.width + f - 1) / f + 2 * m_pad;
        m_height = (size.height + f - 1) / f + 2 * m_pad;
        m_plane.assign(size_t(m_width) * size_t(m_height), 0);
        // Each copy pixel the mean of its f x f block; 256 / f^2 is whole up to f = 16.
        const uint32_t scale = 256u / uint32_t(f * f);
        std::vector<uint32_t> sums(static_cast<size_t>(size.width));
        for (int by = 0; by * f < size.height; ++by) {
            std::fill(sums.begin(), sums.end(), 0u);
            for (int y = by * f; y < std::min(size.height, (by + 1) * f); ++y) {
                const uint8_t* row = coverage.data() + size_t(y) * size_t(size.width);
                for (int x = 0; x < size.width; ++x)
                    sums[size_t(x)] += row[x];
            }
            uint16_t* out = m_plane.data() + size_t(by + m_pad) * size_t(m_width) + size_t(m_pad);
            for (int bx = 0; bx * f < size.width; ++bx) {
                uint32_t total = 0;
                for (int x = bx * f; x < std::min(size.width, (bx + 1) * f); ++x)
                    total += sums[size_t(x)];
                out[bx] = uint16_t(total * scale);
            }
        }
        BoxBlur(m_plane, m_width, m_height, m_plan.radii);
        m_zero.assign(size_t(m_width), 0);
        m_padded.assign(size_t(m_width) + 2, 0);
    }

    // Prepares reading 'count' pixels from coverage column 'first' on.
    void SetColumns(int first, int count) {
        m_left.resize(size_t(count));
        m_right.resize(size_t(count));
        m_weight.resize(size_t(count));
        for (int i = 0; i < count; ++i) {
            const CSample s = ReducedSample(first + i, m_plan.factor, m_pad);
            // Into the row with a zero on either side, which stands for everything outside.
            m_left[size_t(i)] = uint32_t(std::clamp(s.index + 1, 0, m_width + 1));
            m_right[size_t(i)] = uint32_t(std::clamp(s.index + 2, 0, m_width + 1));
            m_weight[size_t(i)] = uint16_t(s.weight);
        }
        m_rows[0].assign(size_t(count), 0);
        m_rows[1].assign(size_t(count), 0);
        m_rowIndex[0] = m_rowIndex[1] = kNoRow;
    }

    // The shadow along coverage row 'at', over the columns set.
    void ReadRow(int at, uint16_t* out) {
        const CSample s = ReducedSample(at, m_plan.factor, m_pad);
        const uint16_t* upper = Row(s.index);
        const uint16_t* lower = Row(s.index + 1);
        const uint32_t w = uint32_t(s.weight), keep = 256 - w;
        for (size_t i = 0; i < m_left.size(); ++i)
            out[i] = uint16_t((upper[i] * keep + lower[i] * w + 128) >> 8);
    }

private:
    static constexpr int kNoRow = -1 << 30;

    // Copy row 'index' read across at full size (zero outside the copy); the last two
    // are kept, as the rows are read top to bottom.
    const uint16_t* Row(int index) {
        for (int k = 0; k < 2; ++k)
            if (m_rowIndex[k] == index)
                return m_rows[k].data();
        const int k = m_rowIndex[0] < m_rowIndex[1] ? 0 : 1;
        m_rowIndex[k] = index;
        std::vector<uint16_t>& row = m_rows[k];
        const uint16_t* source = index >= 0 && index < m_height
                                     ? m_plane.data() + size_t(index) * size_t(m_width)
                                     : m_zero.data();
        std::copy_n(source, m_width, m_padded.begin() + 1);
        for (size_t i = 0; i < m_left.size(); ++i) {
            const uint32_t w = m_weight[i];
            row[i] =
                uint16_t((m_padded[m_left[i]] * (256 - w) + m_padded[m_right[i]] * w + 128) >> 8);
        }
        return row.data();
    }

    CShadowPlan m_plan;
    int m_pad = 0, m_width = 0, m_height = 0;
    std::vector<uint16_t> m_plane, m_zero, m_padded;
    std::vector<uint32_t> m_left, m_right;
    std::vector<uint16_t> m_weight;
    std::array<std::vector<uint16_t>, 2> m_rows;
    std::array<int, 2> m_rowIndex{kNoRow, kNoRow};
};

// 2^24 / a rounded up: for every n below 2^16, (n * it) >> 24 is n / a.
const std::array<uint32_t, 256>& Reciprocals() {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t a = 1; a < 256; ++a)
            t[a] = ((uint32_t(1) << 24) + a - 1) / a;
        return t;
    }();
    return table;
}

} // namespace

CTextFont ParseTextFont(std::string_view name) {
    CTextFont font;
    const size_t colon = name.find(':');
    const std::string_view family = name.substr(0, colon);
    if (!family.empty())
        font.family = std::string(family);
    font.style =
        colon == std::string_view::npos ? std::string() : std::string(name.substr(colon + 1));
    return font;
}

std::string TextFontName(const CTextFont& font) {
    return font.style.empty() ? font.family : font.family + ":" + font.style;
}

CGridSize MeasureTextBlock(const CTextBlock& block) {
    std::lock_guard<std::mutex> lock(g_pangoMutex);
    CLayout layout;
    MakeLayout(block, layout);
    const PangoRectangle extents = PixelExtents(layout.layout);
    return {extents.width, extents.height};
}

std::vector<uint8_t> RenderTextCoverage(const CTextBlock& block, CGridSize& size) {
    std::lock_guard<std::mutex> lock(g_pangoMutex);
    CLayout layout;
    MakeLayout(block, layout);
    const PangoRectangle extents = PixelExtents(layout.layout);
    size = {extents.width, extents.height};
    std::vector<uint8_t> coverage;
    if (size.width <= 0 || size.height <= 0)
        return coverage;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_A8, size.width, size.height);
    cairo_t* cr = cairo_create(surface);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_GRAY);
    pango_cairo_update_context(cr, layout.context);
    pango_layout_context_changed(layout.layout);
    cairo_move_to(cr, -extents.x, -extents.y);
    pango_cairo_show_layout(cr, layout.layout);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        const unsigned char* data = cairo_image_surface_get_data(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        coverage.resize(size_t(size.width) * size_t(size.height));
        for (int y = 0; y < size.height; ++y)
            std::copy_n(data + ptrdiff_t(y) * stride, size.width,
                        coverage.data() + size_t(y) * size_t(size.width));
    } else {
        size = {};
    }
    cairo_surface_destroy(surface);
    return coverage;
}

int32_t TextShadowMargin(double em, bool shadow) {
    if (!shadow)
        return 0;
    const CShadowGeometry g = ShadowGeometry(em);
    return g.offset + 3 * g.radius;
}

CGridSize TextStampSize(const CTextBlock& block, bool shadow) {
    const CGridSize size = MeasureTextBlock(block);
    if (size.width <= 0 || size.height <= 0)
        return {};
    const int32_t margin = TextShadowMargin(block.em, shadow);
    return {size.width + 2 * margin, size.height + 2 * margin};
}

bool IsLightColour(uint8_t red, uint8_t green, uint8_t blue) {
    return 299 * red + 587 * green + 114 * blue > 127 * 1000;
}

void RenderTextStamp(const CTextBlock& block, const CTextPaint& paint, CImageBitmap& stamp) {
    CGridSize size;
    const std::vector<uint8_t> coverage = RenderTextCoverage(block, size);
    const int32_t margin = TextShadowMargin(block.em, paint.shadow);
    // An empty text still gives a stamp: one transparent pixel, placed like any other.
    const int width = std::max(1, size.width + 2 * margin);
    const int height = std::max(1, size.height + 2 * margin);
    stamp.Create(width, height, 32, true);
    // The shadow is the glyphs' coverage moved down and right, then blurred.
    const CShadowGeometry g = ShadowGeometry(block.em);
    std::optional<CShadowField> shadow;
    if (paint.shadow && !coverage.empty()) {
        shadow.emplace(coverage, size, g.radius);
        shadow->SetColumns(-margin - g.offset, width);
    }
    const bool light = IsLightColour(paint.red, paint.green, paint.blue);
    const uint32_t shade = light ? 0 : 255;
    // How dark (or light) the shadow gets where the glyphs are fully covered.
    constexpr uint32_t kShadowStrength = 160;
    const std::array<uint32_t, 256>& reciprocal = Reciprocals();
    const uint8_t colour[3] = {paint.blue, paint.green, paint.red};
    const uint8_t tone = uint8_t(shade);
    std::vector<uint16_t> under(size_t(width), 0);
    std::vector<uint16_t> text(size_t(width), 0);
    std::vector<uint8_t> alpha(size_t(width), 0);
    std::vector<uint32_t> words(size_t(width), 0);
    // A pixel's bytes are blue, green, red, alpha in memory.
    auto word = [](uint8_t b, uint8_t g, uint8_t r) {
        const uint8_t bytes[4] = {b, g, r, 0};
        uint32_t w;
        std::memcpy(&w, bytes, sizeof w);
        return w;
    };
    const uint32_t colourWord = word(paint.blue, paint.green, paint.red);
    const uint32_t toneWord = word(tone, tone, tone);
    const int alphaShift = std::endian::native == std::endian::little ? 24 : 0;
    uint8_t** lines = stamp.GetLines();
    for (int y = 0; y < height; ++y) {
        uint8_t* row = lines[y];
        if (shadow)
            shadow->ReadRow(y - margin - g.offset, under.data());
        const int cy = y - margin;
        const bool inText = cy >= 0 && cy < size.height;
        if (inText)
            std::copy_n(coverage.data() + size_t(cy) * size_t(size.width), size.width,
                        text.data() + margin);
        else
            std::fill(text.begin(), text.end(), 0);
        // The text over its shadow, straight alpha: a = t + s (1 - t); where there is no
        // text the pixel has the shadow's tone (or is clear), where the text covers fully its
        // colour, and the glyphs' edges are mixed below. Whole rows at a time in words, so
        // that the compiler can use vectors; n / 255 for every n below 65535 is
        // (n + 1 + n / 256) / 256.
        for (size_t x = 0; x < size_t(width); ++x) {
            const uint32_t t = text[x];
            const uint32_t sn = (uint32_t(under[x]) >> 8) * kShadowStrength;
            const uint32_t s = (sn + 1 + (sn >> 8)) >> 8;
            const uint32_t pn = s * (255 - t);
            const uint32_t a = t + ((pn + 1 + (pn >> 8)) >> 8);
            alpha[x] = uint8_t(a);
            words[x] = (t == 255 || a == 0 ? colourWord : toneWord) | a << alphaShift;
        }
        std::memcpy(row, words.data(), words.size() * sizeof(uint32_t));
        if (!inText)
            continue;
        // The glyphs' edges mix both.
        for (int x = margin; x < margin + size.width; ++x) {
            const uint32_t t = text[size_t(x)];
            if (t == 0 || t == 255)
                continue;
            const uint32_t a = alpha[size_t(x)];
            const uint32_t shadowPart = a - t;
            uint8_t* pixel = row + 4 * x;
            for (int c = 0; c < 3; ++c) {
                const uint32_t mixed = colour[c] * t + shade * shadowPart + a / 2;
                pixel[c] = uint8_t((uint64_t(mixed) * reciprocal[a]) >> 24);
            }
        }
    }
}
