#pragma once

// The geometry of the DIB drawing operations, apart from any painting: which source
// rectangle of a bitmap lands on which destination rectangle. Everything is in pixels;
// source rows are counted from the top of the picture.

struct CRectL {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool operator==(const CRectL&) const = default;
};

struct CBlit {
    CRectL dest;
    CRectL source;
    bool operator==(const CBlit&) const = default;
};

// Whole bitmap 1:1 at (x, y).
inline CBlit DrawBlit(int width, int height, int x, int y) {
    return {{x, y, x + width, y + height}, {0, 0, width, height}};
}

// Whole bitmap into the rectangle at (x, y) of w x h.
inline CBlit StretchDrawBlit(int width, int height, int x, int y, int w, int h) {
    return {{x, y, x + w, y + h}, {0, 0, width, height}};
}

// Whole bitmap at (x, y) scaled by factor; the sizes are truncated toward zero, so 0.5 on
// a 5 x 3 bitmap covers 2 x 1 pixels.
inline CBlit ScaledDrawBlit(int width, int height, int x, int y, double factor) {
    return {{x, y, x + int(width * factor), y + int(height * factor)}, {0, 0, width, height}};
}

// The part (left, top, right, bottom) 1:1 at (x, y). In the bottom-up numbering of the
// stored rows the part starts at row height - bottom; counted from the top it covers the
// rows top .. bottom - 1.
inline CBlit DrawPartBlit(int x, int y, int left, int top, int right, int bottom) {
    return {{x, y, x + (right - left), y + (bottom - top)}, {left, top, right, bottom}};
}

// The first stored (bottom-up) row a part starts at.
inline int BottomUpSourceRow(int height, int bottom) {
    return height - bottom;
}
