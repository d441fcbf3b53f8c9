#pragma once

#include <span>

class CResizeLayout;
class CToolTipControl;
class QWidget;

// The tables a page's initialisation walks: each page lists its anchors, image buttons and
// tooltips as data and hands them over here.

struct CAnchorRow {
    int id;
    float left, top, right, bottom; // growth fractions, see CResizeLayout::AddAnchor
};

struct CImageButtonRow {
    int id;
    int icon;          // icon resource
    int width, height; // icon size in pixels
    int imageX, textX; // horizontal positions; both centred vertically
};

struct CToolRow {
    int id;
    int text; // string resource
};

void AddAnchors(CResizeLayout& layout, std::span<const CAnchorRow> rows);
// Rows whose control is missing or not a CImageButton are passed over.
void SetUpImageButtons(QWidget* page, std::span<const CImageButtonRow> rows);
// An active tooltip control owned by page, holding the rows' controls that exist.
CToolTipControl* CreateToolTips(QWidget* page, int maxWidth, std::span<const CToolRow> rows);
