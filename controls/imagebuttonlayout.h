#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Where an image button draws its icon, its text and its focus rectangle, apart from any
// painting. Coordinates are the button's client pixels.

// A position with -1 in a coordinate is centred in that axis: (client - content) / 2,
// halved by an arithmetic shift so that a negative difference rounds down.
QPoint ResolveButtonPosition(QPoint position, QSize content, QSize client);

// The focus rectangle's inset: 3 pixels when the smaller side, rounded down to a multiple
// of 4, is above 12 (from 16 pixels on), otherwise a quarter of the smaller side.
int FocusInset(const QRect& item);

struct CImageButtonInput {
    QRect item;           // the button's client rectangle
    bool automaticLayout; // false once a position was set
    QPoint imagePosition; // used without automatic layout
    QPoint textPosition;  // used without automatic layout
    int imageMargin = 4;  // image distance from the left edge (automatic layout)
    int textGap = 8;      // space between image and text (automatic layout)
    bool hasIcon = false;
    QSize imageSize; // the size the icon was loaded at
    bool hasText = false;
    QSize textSize; // the text's extent in the button's font
    bool pressed = false;
    bool disabled = false;
    bool focused = false;
};

struct CImageButtonPlan {
    QPoint iconPosition; // valid when the input has an icon
    QPoint textPosition; // top-left of the text; valid when the input has text
    bool drawFocus = false;
    QRect focusRect;
};

// The plan of a full drawing: pressed buttons move icon and text one pixel right and
// down; vertically centred text is lifted by one pixel; with automatic layout the icon
// sits at the image margin and the text is centred in the room right of it (both centred
// without text or without icon). The focus rectangle shows on a focused, enabled button.
CImageButtonPlan PlanImageButton(const CImageButtonInput& input);
