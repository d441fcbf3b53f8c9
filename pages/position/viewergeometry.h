#pragma once

#include "imagelib/drawgeometry.h"

#include <optional>

// Where an image viewer's picture goes, apart from any widget.
//
// Three coordinate spaces meet here:
// - picture pixels: the viewer's picture, 0 .. width x 0 .. height;
// - back pixels: the back buffer, the source window of the picture stretched by the zoom;
// - client pixels: the viewer's window, where the destination rectangle shows the back
//   buffer from (scroll x, scroll y) on.
//
// Reductions and small enlargements render the whole picture into the back buffer. An
// enlargement larger than the window renders only a tile of 1.5 times the visible part,
// whose width and height times the zoom are whole numbers, and scrolling past the tile
// moves it by whole picture pixels whose product with the zoom is whole too, so the
// pixels of the new tile fall on the screen-pixel grid of the old one.
class CViewerGeometry {
public:
    struct CPoint {
        int x = 0, y = 0;
        bool operator==(const CPoint&) const = default;
    };

    // The picture shown, in picture pixels; takes effect at the next ApplyZoom.
    void SetPictureSize(int width, int height);
    int GetPictureWidth() const { return m_width; }
    int GetPictureHeight() const { return m_height; }

    // The zoom at which the picture fits a client area of clientWidth x clientHeight:
    // 1.0 when it fits already (never enlarges), else 1 / max(w / cw, h / ch).
    double GetFitZoom(int clientWidth, int clientHeight) const;

    // Applies zoom (screen pixels per picture pixel, > 0) for a client area of the given
    // size: new source window, back size, destination rectangle, scroll position 0, 0.
    // keepCentre: the picture point at the centre of the visible part before stays at the
    // centre where the new zoom allows it (the viewer passes whether it showed a picture).
    // The back buffer always has to be rendered afterwards.
    void ApplyZoom(double zoom, int clientWidth, int clientHeight, bool keepCentre);

    // Moves the visible part by dx, dy screen pixels, within the picture. Does nothing
    // unless scrollable. Returns true when the tile moved, so the back buffer must be
    // rendered again.
    bool ScrollBy(int dx, int dy);

    // The picture pixel under a client point, or nothing outside the destination rectangle.
    std::optional<CPoint> PixelAt(int clientX, int clientY) const;

    double GetZoom() const { return m_zoom; }
    // Picture pixels rendered into the back buffer.
    const CRectL& GetSourceWindow() const { return m_source; }
    int GetBackWidth() const { return m_backWidth; }
    int GetBackHeight() const { return m_backHeight; }
    // Client pixels where the back buffer shows.
    const CRectL& GetDestination() const { return m_dest; }
    // Top-left of the visible part inside the back buffer, back pixels, never negative.
    int GetScrollX() const { return m_scrollX; }
    int GetScrollY() const { return m_scrollY; }
    bool IsScrollable() const { return m_scrollable; }
    // Whether the back buffer holds the whole picture (not a tile).
    bool HoldsWholePicture() const;

private:
    bool ScrollAxis(int delta, int& scroll, int& sourceStart, int& sourceEnd, int backSize,
                    int destSize, int pictureSize) const;

    int m_width = 0, m_height = 0;
    double m_zoom = 1.0;
    CRectL m_source;
    int m_backWidth = 0, m_backHeight = 0;
    CRectL m_dest;
    int m_scrollX = 0, m_scrollY = 0;
    bool m_scrollable = false;
};
