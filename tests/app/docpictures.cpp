#include "docpictures.h"

#include <QFont>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

// Value noise on an integer lattice: cheap, smooth enough for clouds, rock and grass, and
// the same on every machine (no library random numbers).
uint32_t Hash(int x, int y, int seed) {
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + uint32_t(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

double Lattice(int x, int y, int seed) {
    return double(Hash(x, y, seed) & 0xFFFF) / 65535.0;
}

double Noise(double x, double y, int seed) {
    const double fx = std::floor(x), fy = std::floor(y);
    const int ix = int(fx), iy = int(fy);
    const double tx = (x - fx) * (x - fx) * (3 - 2 * (x - fx));
    const double ty = (y - fy) * (y - fy) * (3 - 2 * (y - fy));
    const double top =
        Lattice(ix, iy, seed) + (Lattice(ix + 1, iy, seed) - Lattice(ix, iy, seed)) * tx;
    const double bottom = Lattice(ix, iy + 1, seed) +
                          (Lattice(ix + 1, iy + 1, seed) - Lattice(ix, iy + 1, seed)) * tx;
    return top + (bottom - top) * ty;
}

double Fbm(double x, double y, int seed, int octaves) {
    double sum = 0, amplitude = 0.5, norm = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amplitude * Noise(x, y, seed + i * 101);
        norm += amplitude;
        x *= 2.03;
        y *= 2.03;
        amplitude *= 0.5;
    }
    return sum / norm;
}

double SmoothStep(double edge0, double edge1, double x) {
    const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

struct Rgb {
    double r, g, b;
};

Rgb Mix(Rgb a, Rgb b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb Scale(Rgb a, double f) {
    return {a.r * f, a.g * f, a.b * f};
}

struct Light {
    Rgb skyTop, skyHorizon, sun, haze, water, grassNear, grassFar;
    double sunU, sunV;
};

const Light kLights[] = {
    // golden hour
    {{58, 96, 160},
     {250, 196, 140},
     {255, 226, 170},
     {226, 180, 150},
     {40, 62, 80},
     {52, 78, 30},
     {150, 150, 60},
     0.72,
     0.36},
    // daylight
    {{38, 98, 188},
     {196, 220, 238},
     {255, 255, 240},
     {176, 198, 220},
     {36, 70, 96},
     {44, 92, 34},
     {128, 168, 70},
     0.22,
     0.10},
    // dusk
    {{36, 46, 104},
     {244, 150, 112},
     {255, 200, 150},
     {190, 132, 132},
     {34, 40, 64},
     {36, 54, 30},
     {110, 110, 56},
     0.55,
     0.48},
};

class Landscape {
public:
    Landscape(int width, int height, int seed)
        : m_width(width), m_height(height), m_seed(seed), m_light(kLights[seed % 3]),
          m_aspect(double(width) / height) {
        // Ridge tops and the shore depend on the column only.
        for (int k = 0; k < kRidges; ++k)
            m_ridge[k].resize(size_t(width));
        m_shore.resize(size_t(width));
        for (int x = 0; x < width; ++x) {
            const double u = double(x) / width;
            for (int k = 0; k < kRidges; ++k) {
                const double n =
                    Fbm(u * kRidgeFrequency[k] + seed * 3.7, k * 9.1, seed + 17 * k, 6);
                m_ridge[k][size_t(x)] = kHorizon - kRidgeHeight[k] * (0.25 + 1.1 * n * n);
            }
            m_shore[size_t(x)] = 0.76 + 0.05 * (Fbm(u * 2.5, 3.3, seed + 5, 4) - 0.5) +
                                 0.04 * std::pow(std::abs(u - 0.5) * 2, 2.0);
        }
    }

    QImage Draw() const {
        QImage image(m_width, m_height, QImage::Format_RGB32);
        for (int y = 0; y < m_height; ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            const double v = double(y) / m_height;
            for (int x = 0; x < m_width; ++x) {
                const double u = double(x) / m_width;
                Rgb c;
                if (v < kHorizon)
                    c = Above(x, u, v);
                else if (v < m_shore[size_t(x)])
                    c = Lake(u, v);
                else
                    c = Meadow(x, u, v);
                // Lens fall-off and a little grain.
                const double du = (u - 0.5) * m_aspect / 1.5, dv = v - 0.5;
                c = Scale(c, 1.0 - 0.35 * (du * du + dv * dv));
                const double grain = (Lattice(x, y, m_seed + 999) - 0.5) * 5;
                row[x] = qRgb(Byte(c.r + grain), Byte(c.g + grain), Byte(c.b + grain));
            }
        }
        DrawTrees(image);
        return image;
    }

private:
    static constexpr int kRidges = 3;
    static constexpr double kHorizon = 0.6;
    static constexpr double kRidgeFrequency[kRidges] = {2.2, 4.0, 7.0};
    static constexpr double kRidgeHeight[kRidges] = {0.34, 0.2, 0.1};
    static constexpr double kRidgeHaze[kRidges] = {0.6, 0.38, 0.16};

    static int Byte(double value) { return int(std::clamp(value, 0.0, 255.0)); }

    Rgb Sky(double u, double v) const {
        const double t = v / kHorizon;
        Rgb sky = Mix(m_light.skyTop, m_light.skyHorizon, std::pow(t, 1.7));
        const double du = (u - m_light.sunU) * m_aspect, dv = v - m_light.sunV;
        const double d = std::sqrt(du * du + dv * dv);
        const double glow = std::exp(-d * d / 0.0009) + 0.45 * std::exp(-d / 0.14);
        sky = Mix(sky, m_light.sun, std::min(1.0, glow));
        const double cloud = Fbm(u * m_aspect * 2.5, v * 9, m_seed + 41, 6);
        const double cover = SmoothStep(0.52, 0.72, cloud) * (1.0 - 0.7 * t);
        const Rgb lit = Mix({250, 248, 244}, m_light.sun, 0.5 * glow + 0.3 * t);
        const Rgb cloudColour = Mix(lit, Scale(m_light.skyTop, 1.2), 0.5 * (1 - cloud));
        return Mix(sky, cloudColour, 0.85 * cover);
    }

    // Sky or mountains at a point above the horizon.
    Rgb Above(int x, double u, double v) const {
        for (int k = kRidges - 1; k >= 0; --k) {
            const double top = m_ridge[k][size_t(x)];
            if (v < top)
                continue;
            // Light from the sun's side: the ridge's own slope, and gullies and spurs of a
            // rough surface lit from the side.
            const size_t left = size_t(std::max(0, x - 12)),
                         right = size_t(std::min(m_width - 1, x + 12));
            const double slope = (m_ridge[k][right] - m_ridge[k][left]) * m_height / 24;
            const double sunSide = std::tanh((u - m_light.sunU) * 6);
            const double su = u * m_aspect * 10, sv = v * 16 + k * 5;
            const double bump = Fbm(su, sv, m_seed + 13 * k, 6);
            const double gully = (Fbm(su + 0.04, sv, m_seed + 13 * k, 6) - bump) * 25 * sunSide;
            const double towardsSun = std::clamp(sunSide * slope * 0.6 + gully, -0.5, 0.5);
            const double rock = Fbm(u * 80, v * 60, m_seed + 7 * k, 3);
            Rgb c = k == 0 ? Rgb{118, 116, 128} : k == 1 ? Rgb{80, 94, 82} : Rgb{46, 68, 42};
            c = Scale(c, 0.8 + 0.3 * rock + 0.7 * towardsSun + 0.2 * (bump - 0.5));
            if (k == 0 && top < kHorizon - 0.2) {
                const double snow = SmoothStep(0.035, 0.0, v - top - 0.02 * (rock - 0.5));
                c = Mix(c, Scale({240, 242, 250}, 0.85 + 0.4 * towardsSun), snow);
            }
            const double mist = SmoothStep(kHorizon - 0.06, kHorizon, v);
            return Mix(c, m_light.haze, std::min(1.0, kRidgeHaze[k] + 0.5 * mist));
        }
        return Sky(u, v);
    }

    Rgb Lake(double u, double v) const {
        const double depth = v - kHorizon;
        const double wave = Fbm(u * 8, v * 220, m_seed + 61, 3);
        const double shift = 0.004 * (wave - 0.5) * (1 + depth * 30);
        const double mirroredV = std::max(0.0, kHorizon - depth * 1.02 - 0.001);
        const int mirroredX = std::clamp(int((u + shift) * m_width), 0, m_width - 1);
        Rgb c = Above(mirroredX, double(mirroredX) / m_width, mirroredV);
        c = Mix(Scale(c, 0.82), m_light.water, std::min(0.6, 0.2 + depth * 2.5));
        // The sun's track on the water.
        const double track = std::exp(-std::pow((u - m_light.sunU) * m_aspect / 0.05, 2));
        const double glitter = SmoothStep(0.6, 0.8, Fbm(u * 30, v * 400, m_seed + 71, 2));
        return Mix(c, m_light.sun, 0.7 * track * glitter);
    }

    Rgb Meadow(int x, double u, double v) const {
        const double t = (v - m_shore[size_t(x)]) / (1.0 - m_shore[size_t(x)]);
        Rgb c = Mix(m_light.grassFar, m_light.grassNear, std::pow(t, 0.6));
        const double blades = Fbm(u * m_aspect * 260, v * 50, m_seed + 81, 3);
        const double patches = Fbm(u * m_aspect * 6, v * 12, m_seed + 83, 4);
        c = Scale(c, 0.7 + 0.45 * blades + 0.3 * (patches - 0.5));
        // A few flowers in small cells of their own.
        const uint32_t h = Hash(x / 3, int(v * m_height) / 3, m_seed + 91);
        if (h % 97 == 0 && t > 0.1)
            c = (h >> 8 & 1) ? Rgb{236, 214, 80} : Rgb{236, 236, 228};
        // The shore's edge: darker wet ground.
        return Scale(c, 0.75 + 0.25 * SmoothStep(0.0, 0.04, t));
    }

    void DrawTrees(QImage& image) const {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        const int count = 7 + m_seed % 4;
        for (int i = 0; i < count; ++i) {
            // Groups at both sides, leaving the middle open for the view.
            const double r = Lattice(i, 1, m_seed + 101);
            const double u = i % 2 ? 0.02 + 0.22 * r : 0.78 + 0.2 * r;
            const size_t column = size_t(std::clamp(int(u * m_width), 0, m_width - 1));
            const double base =
                (m_shore[column] + 0.03 + 0.04 * Lattice(i, 2, m_seed + 101)) * m_height;
            const double height = (0.16 + 0.16 * Lattice(i, 3, m_seed + 101)) * m_height;
            const double x = u * m_width;
            const QColor dark = QColor::fromRgbF(0.08f, float(0.16 + 0.06 * r), 0.1f);
            painter.setBrush(QColor(52, 36, 24));
            painter.drawRect(
                QRectF(x - height * 0.02, base - height * 0.15, height * 0.04, height * 0.15));
            for (int layer = 0; layer < 5; ++layer) {
                const double top = base - height * (0.12 + 0.19 * (layer + 1));
                const double bottom = base - height * (0.05 + 0.18 * layer);
                const double half = height * (0.21 - 0.035 * layer);
                QPainterPath path;
                path.moveTo(x, top);
                path.quadTo(x - half * 0.5, bottom - (bottom - top) * 0.4, x - half, bottom);
                path.lineTo(x + half, bottom);
                path.quadTo(x + half * 0.5, bottom - (bottom - top) * 0.4, x, top);
                painter.setBrush(dark.lighter(100 + 12 * layer));
                painter.drawPath(path);
            }
        }
    }

    int m_width, m_height, m_seed;
    const Light& m_light;
    double m_aspect;
    std::vector<double> m_ridge[kRidges];
    std::vector<double> m_shore;
};

} // namespace

QImage DrawLandscape(int width, int height, int seed) {
    return Landscape(width, height, seed).Draw();
}

QImage DrawLogo(int width, int height) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const double h = height;

    // The quill: a feather leaning to the right, its shaft ending in a nib at the bottom.
    QPainterPath feather;
    feather.moveTo(0.14 * h, 0.9 * h);
    feather.cubicTo(0.0 * h, 0.5 * h, 0.3 * h, 0.1 * h, 0.82 * h, 0.04 * h);
    feather.cubicTo(0.8 * h, 0.5 * h, 0.5 * h, 0.78 * h, 0.14 * h, 0.9 * h);
    // Two cuts in the vane's right edge.
    QPainterPath notches;
    notches.moveTo(0.74 * h, 0.42 * h);
    notches.lineTo(0.52 * h, 0.5 * h);
    notches.lineTo(0.78 * h, 0.32 * h);
    notches.closeSubpath();
    notches.moveTo(0.6 * h, 0.64 * h);
    notches.lineTo(0.42 * h, 0.68 * h);
    notches.lineTo(0.66 * h, 0.56 * h);
    notches.closeSubpath();
    feather = feather.subtracted(notches);
    const QPen outline(QColor(30, 30, 40), std::max(1.5, h / 45), Qt::SolidLine, Qt::RoundCap,
                       Qt::RoundJoin);
    painter.setPen(outline);
    painter.setBrush(Qt::white);
    painter.drawPath(feather);
    painter.setBrush(Qt::NoBrush);
    painter.drawLine(QPointF(0.08 * h, 0.98 * h), QPointF(0.62 * h, 0.22 * h));

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(int(0.52 * h));
    QPainterPath word;
    const QRectF box(0.85 * h, 0, width - 0.85 * h, h);
    word.addText(0, 0, font, QStringLiteral("quillmark"));
    const QRectF bounds = word.boundingRect();
    const double scale = std::min(1.0, (box.width() - h * 0.05) / bounds.width());
    QTransform place;
    place.translate(box.left(), box.center().y() - bounds.center().y() * scale);
    place.scale(scale, scale);
    place.translate(-bounds.left(), 0);
    painter.setPen(outline);
    painter.setBrush(Qt::white);
    painter.drawPath(place.map(word));
    painter.end();

    QImage logo = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < logo.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(logo.scanLine(y));
        for (int x = 0; x < logo.width(); ++x)
            if (qAlpha(row[x]) == 0)
                row[x] = qRgba(255, 0, 255, 0);
    }
    return logo;
}
