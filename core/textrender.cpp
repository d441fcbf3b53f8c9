#include "core/textrender.h"

#include "imagelib/bitmap.h"

#include <cairo.h>
#include <fribidi.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>
#include <mutex>

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

// Three box blurs come close to a Gaussian; each pass along rows then columns. Outside the
// plane counts as zero, and every sum is divided by the whole span.
void BoxBlur(std::vector<uint16_t>& plane, int width, int height, int radius) {
    if (radius <= 0 || width <= 0 || height <= 0)
        return;
    const uint32_t span = uint32_t(2 * radius + 1);
    // The divisions were most of the time; a product with the reciprocal gives the same
    // quotient for every sum below 2^24, which holds for spans up to 255.
    const uint64_t reciprocal = ((uint64_t(1) << 40) + span - 1) / span;
    const bool byProduct = span < 256;
    auto divide = [&](uint32_t sum) {
        return byProduct ? uint16_t((sum * reciprocal) >> 40) : uint16_t(sum / span);
    };
    std::vector<uint32_t> line(static_cast<size_t>(width) + 1);
    auto rowPass = [&](uint16_t* row) {
        line[0] = 0;
        for (int i = 0; i < width; ++i)
            line[size_t(i) + 1] = line[size_t(i)] + row[i];
        for (int i = 0; i < width; ++i) {
            const int low = std::max(0, i - radius);
            const int high = std::min(width, i + radius + 1);
            row[i] = divide(line[size_t(high)] - line[size_t(low)]);
        }
    };
    // Down the columns, a window of whole rows slides over the plane.
    std::vector<uint32_t> sum(static_cast<size_t>(width));
    std::vector<uint16_t> source(plane.size());
    auto columnPass = [&] {
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
    };
    for (int round = 0; round < 3; ++round) {
        for (int y = 0; y < height; ++y)
            rowPass(plane.data() + size_t(y) * size_t(width));
        columnPass();
    }
}

struct CShadowGeometry {
    int offset = 0;
    int radius = 0;
};
CShadowGeometry ShadowGeometry(double em) {
    return {std::max(1, int(std::lround(em * 0.04))), std::max(1, int(std::lround(em * 0.025)))};
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
    std::vector<uint16_t> shadow;
    if (paint.shadow && !coverage.empty()) {
        // The shadow is the glyphs' coverage moved down and right, then blurred; in 1/256
        // steps so the blur keeps its soft edge.
        const CShadowGeometry g = ShadowGeometry(block.em);
        shadow.assign(size_t(width) * size_t(height), 0);
        for (int y = 0; y < size.height; ++y)
            for (int x = 0; x < size.width; ++x)
                shadow[size_t(y + margin + g.offset) * size_t(width) +
                       size_t(x + margin + g.offset)] =
                    uint16_t(coverage[size_t(y) * size_t(size.width) + size_t(x)] * 256);
        BoxBlur(shadow, width, height, g.radius);
    }
    const bool light = IsLightColour(paint.red, paint.green, paint.blue);
    const int shade = light ? 0 : 255;
    // How dark (or light) the shadow gets where the glyphs are fully covered.
    constexpr int kShadowStrength = 160;
    uint8_t** lines = stamp.GetLines();
    for (int y = 0; y < height; ++y) {
        uint8_t* row = lines[y];
        for (int x = 0; x < width; ++x) {
            const int cx = x - margin, cy = y - margin;
            const int text = cx >= 0 && cy >= 0 && cx < size.width && cy < size.height
                                 ? coverage[size_t(cy) * size_t(size.width) + size_t(cx)]
                                 : 0;
            const int under = shadow.empty() ? 0
                                             : shadow[size_t(y) * size_t(width) + size_t(x)] / 256 *
                                                   kShadowStrength / 255;
            // The text over its shadow, straight alpha: a = t + s (1 - t).
            const int alpha = text + under * (255 - text) / 255;
            uint8_t* pixel = row + 4 * x;
            if (alpha == 0) {
                pixel[0] = paint.blue;
                pixel[1] = paint.green;
                pixel[2] = paint.red;
                pixel[3] = 0;
                continue;
            }
            const int shadowPart = under * (255 - text) / 255;
            auto mix = [&](int colour) {
                return uint8_t((colour * text + shade * shadowPart + alpha / 2) / alpha);
            };
            pixel[0] = mix(paint.blue);
            pixel[1] = mix(paint.green);
            pixel[2] = mix(paint.red);
            pixel[3] = uint8_t(alpha);
        }
    }
}
