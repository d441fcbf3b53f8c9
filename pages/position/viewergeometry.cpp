#include "pages/position/viewergeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace {

// The zooms of the zoom list are exact binary fractions (1.25, 1.5, 7.5 ...), so their
// products with whole numbers are exact; a zoom given any other way may carry rounding
// noise, which must not hide a whole product.
bool IsWhole(double value) {
    return std::fabs(value - std::nearbyint(value)) <= 1e-9 * std::max(1.0, std::fabs(value));
}

// n x zoom in screen pixels: the whole number when it is one, else truncated toward zero.
int64_t Product(int64_t n, double zoom) {
    const double v = double(n) * zoom;
    return IsWhole(v) ? int64_t(std::llround(v)) : int64_t(v);
}

// A floating-point pixel value as an int, truncated toward zero and kept inside the range
// where later sums cannot overflow.
int TruncToInt(double value) {
    constexpr double limit = std::numeric_limits<int>::max() / 4;
    if (!(value == value))
        return 0;
    return int(std::clamp(value, -limit, limit));
}

// The search for whole products ends after at most three steps for the list zooms; a
// generous bound keeps odd zooms from looping.
constexpr int kMaxWholeSearch = 256;

} // namespace

void CViewerGeometry::SetPictureSize(int width, int height) {
    m_width = std::max(0, width);
    m_height = std::max(0, height);
}

double CViewerGeometry::GetFitZoom(int clientWidth, int clientHeight) const {
    // A client area that is not laid out yet counts as one pixel, never as a division by 0.
    const double cw = std::max(1, clientWidth);
    const double ch = std::max(1, clientHeight);
    if (m_width <= cw && m_height <= ch)
        return 1.0;
    return 1.0 / std::max(m_width / cw, m_height / ch);
}

bool CViewerGeometry::HoldsWholePicture() const {
    return m_source == CRectL{0, 0, m_width, m_height};
}

void CViewerGeometry::ApplyZoom(double zoom, int clientWidth, int clientHeight, bool keepCentre) {
    if (!(zoom > 0) || !std::isfinite(zoom))
        zoom = 1.0;
    clientWidth = std::max(0, clientWidth);
    clientHeight = std::max(0, clientHeight);

    // 1. The picture point at the centre of the visible part, at the old zoom.
    double cx = 0, cy = 0;
    if (keepCentre && m_zoom > 0) {
        cx = (m_scrollX - m_dest.left + (m_dest.left + m_dest.right) / 2) / m_zoom + m_source.left;
        cy = (m_scrollY - m_dest.top + (m_dest.top + m_dest.bottom) / 2) / m_zoom + m_source.top;
    }

    // 2.
    m_zoom = zoom;
    m_dest = {0, 0, clientWidth, clientHeight};

    // 3. Source window and back size.
    const double w = m_width, h = m_height;
    const bool fitsEnlarged =
        std::trunc(w * zoom) <= clientWidth && std::trunc(h * zoom) <= clientHeight;
    if (zoom <= 1 || fitsEnlarged) {
        m_source = {0, 0, m_width, m_height};
        m_backWidth = TruncToInt(w * zoom);
        m_backHeight = TruncToInt(h * zoom);
    } else {
        // A tile of 1.5 times the visible part whose size in screen pixels is whole.
        auto tileSize = [zoom](int client, int picture) {
            int v = std::max(1, TruncToInt(client / zoom));
            v = v + v / 2;
            int whole = v;
            for (int step = 0; step < kMaxWholeSearch && !IsWhole(whole * zoom); ++step)
                ++whole;
            if (IsWhole(whole * zoom))
                v = whole;
            return std::min(v, picture);
        };
        const int vw = tileSize(clientWidth, m_width);
        const int vh = tileSize(clientHeight, m_height);
        m_source = {0, 0, vw, vh};
        m_backWidth = int(Product(vw, zoom));
        m_backHeight = int(Product(vh, zoom));
    }

    // 5. A back buffer smaller than the client area is centred in it.
    if (m_backWidth < m_dest.Width()) {
        m_dest.left = (m_dest.Width() - m_backWidth) / 2;
        m_dest.right = m_dest.left + m_backWidth;
    }
    if (m_backHeight < m_dest.Height()) {
        m_dest.top = (m_dest.Height() - m_backHeight) / 2;
        m_dest.bottom = m_dest.top + m_backHeight;
    }

    // 6.
    m_scrollX = m_scrollY = 0;
    m_scrollable = m_backWidth > m_dest.Width() || m_backHeight > m_dest.Height();

    // 7. The remembered centre back to the middle.
    if (keepCentre && m_scrollable) {
        const int halfWidth = (m_dest.left + m_dest.right) / 2 - m_dest.left;
        const int halfHeight = (m_dest.top + m_dest.bottom) / 2 - m_dest.top;
        ScrollBy(TruncToInt((cx - halfWidth / zoom) * zoom),
                 TruncToInt((cy - halfHeight / zoom) * zoom));
    }
}

bool CViewerGeometry::ScrollAxis(int delta, int& scroll, int& sourceStart, int& sourceEnd,
                                 int backSize, int destSize, int pictureSize) const {
    const double z = m_zoom;
    const int64_t limit = int64_t(backSize) - destSize;
    const int64_t p = int64_t(scroll) + delta;
    int64_t n = 0;
    int64_t next = p;
    if (p < 0) {
        // Past the tile's left (top) edge: move it back by whole screen pixels.
        n = int64_t(p / z) - 1;
        int64_t whole = n;
        for (int step = 0; step < kMaxWholeSearch && !IsWhole(double(whole) * z); ++step)
            --whole;
        if (IsWhole(double(whole) * z))
            n = whole;
        next = p - Product(n, z);
        if (sourceStart + n <= 0) {
            n = -sourceStart;
            next = 0;
        }
        next = std::min(next, std::max<int64_t>(limit, 0));
    } else if (p > limit) {
        // Past the right (bottom) edge. The shift is kept whole too, so the new tile lies on
        // the old tile's grid; only at the picture's own edge may it fall between.
        n = int64_t(p / z);
        int64_t whole = n;
        for (int step = 0; step < kMaxWholeSearch && whole > 0 && !IsWhole(double(whole) * z);
             ++step)
            --whole;
        if (IsWhole(double(whole) * z))
            n = whole;
        if (sourceEnd + n >= pictureSize)
            n = int64_t(pictureSize) - sourceEnd;
        next = int64_t(scroll) + delta - Product(n, z);
        if (next > limit)
            next = limit;
    }
    scroll = int(std::clamp<int64_t>(next, 0, std::numeric_limits<int>::max() / 4));
    if (n == 0)
        return false;
    sourceStart += int(n);
    sourceEnd += int(n);
    return true;
}

bool CViewerGeometry::ScrollBy(int dx, int dy) {
    if (!m_scrollable)
        return false;
    if (HoldsWholePicture()) {
        auto axis = [](int delta, int& scroll, int backSize, int destSize) {
            const int64_t p = int64_t(scroll) + delta;
            if (p < 0)
                scroll = 0;
            else if (int64_t(backSize) - scroll - delta < destSize)
                scroll = backSize - destSize;
            else
                scroll = int(p);
            scroll = std::max(scroll, 0);
        };
        axis(dx, m_scrollX, m_backWidth, m_dest.Width());
        axis(dy, m_scrollY, m_backHeight, m_dest.Height());
        return false;
    }
    const bool movedX = ScrollAxis(dx, m_scrollX, m_source.left, m_source.right, m_backWidth,
                                   m_dest.Width(), m_width);
    const bool movedY = ScrollAxis(dy, m_scrollY, m_source.top, m_source.bottom, m_backHeight,
                                   m_dest.Height(), m_height);
    return movedX || movedY;
}

std::optional<CViewerGeometry::CPoint> CViewerGeometry::PixelAt(int clientX, int clientY) const {
    if (m_width <= 0 || m_height <= 0 || clientX < m_dest.left || clientX >= m_dest.right ||
        clientY < m_dest.top || clientY >= m_dest.bottom)
        return std::nullopt;
    const double x = m_scrollX + (clientX - m_dest.left);
    const double y = m_scrollY + (clientY - m_dest.top);
    const int px = int(x / m_zoom) + m_source.left;
    const int py = int(y / m_zoom) + m_source.top;
    return CPoint{std::clamp(px, 0, m_width - 1), std::clamp(py, 0, m_height - 1)};
}
