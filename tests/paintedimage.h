#pragma once

// Drawing tests paint onto a target of one known colour and look at what changed.

#include <QImage>
#include <QRect>

constexpr QRgb kBackground = 0xFF123456;

inline QImage Target(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(kBackground);
    return image;
}

// The bounding box of the pixels that differ from the background.
inline QRect Painted(const QImage& image) {
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != kBackground)
                box |= QRect(x, y, 1, 1);
    return box;
}
