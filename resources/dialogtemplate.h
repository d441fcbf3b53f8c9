#pragma once

#include <cstddef>
#include <cstdint>

// Dialog templates as data: what the platform layer builds windows from. Rectangles are in
// dialog units of the template's font (see platform/dialogunits.h); the control order is
// the creation order, the z-order (first = bottom) and, for the tab-stop controls, the tab
// order.

enum class CControlKind : uint8_t {
    Static,      // text; CS_... alignment styles; with no text an empty area
    Icon,        // static showing the icon resource imageId
    GroupBox,    // frame with an optional caption
    PushButton,  // QM_BS_DEFPUSHBUTTON, QM_BS_OWNERDRAW
    CheckBox,    // auto check box
    RadioButton, // auto radio button; QM_BS_PUSHLIKE for a push-like one
    Edit,        // QM_ES_... styles, maxLength
    ListBox,     // QM_LBS_... styles
    ComboBox,    // drop-down list; the height includes the dropped list
    TreeView,
    TabControl,
    Slider,
    ProgressBar,
    SpinBox, // a number stepped by the arrow keys and the wheel; its range is the page's
    Dial,    // a small round knob
};

enum : uint32_t {
    QM_WS_TABSTOP = 1u << 0,
    QM_WS_DISABLED = 1u << 1,
    QM_WS_BORDER = 1u << 2,
    QM_WS_VSCROLL = 1u << 3,
    QM_WS_HSCROLL = 1u << 4,
    QM_WS_EX_CLIENTEDGE = 1u << 5, // sunken edge
    QM_SS_NOTIFY = 1u << 6,        // a static that reports clicks
    QM_SS_RIGHT = 1u << 7,
    QM_SS_CENTER = 1u << 8,
    QM_SS_CENTERIMAGE = 1u << 9,
    QM_BS_DEFPUSHBUTTON = 1u << 10,
    QM_BS_OWNERDRAW = 1u << 11, // replaced by the owning page's own button class
    QM_BS_PUSHLIKE = 1u << 12,
    QM_ES_READONLY = 1u << 13,
    QM_ES_MULTILINE = 1u << 14,
    QM_ES_AUTOHSCROLL = 1u << 15,
    QM_LBS_SORT = 1u << 16,
    QM_LBS_EXTENDEDSEL = 1u << 17,
    QM_TBS_NOTICKS = 1u << 18,
    QM_WS_GROUP = 1u << 19, // starts a group of radio buttons
};

// Window styles of a template.
enum : uint32_t {
    QM_DS_CHILD = 1u << 0, // a page: no frame of its own
    QM_DS_CAPTION = 1u << 1,
    QM_DS_SYSMENU = 1u << 2,
    QM_DS_SIZING = 1u << 3,
    QM_DS_MINIMIZEBOX = 1u << 4,
    QM_DS_MAXIMIZEBOX = 1u << 5,
    QM_DS_MODALFRAME = 1u << 6,
    QM_DS_APPWINDOW = 1u << 7, // a taskbar button of its own
};

struct CControlTemplate {
    int id; // IDC_STATIC (-1) for controls nobody looks up
    CControlKind kind;
    const char* text; // never null; "" for none
    int x, y, cx, cy; // dialog units
    uint32_t style;
    int maxLength = 0; // edits: characters (0 = no limit)
    int imageId = 0;   // icons: the icon resource
};

struct CDialogTemplate {
    int id;
    const char* caption;
    int cx, cy; // dialog units
    const char* fontName;
    int pointSize;
    uint32_t style;
    const CControlTemplate* controls;
    size_t controlCount;

    const CControlTemplate* begin() const { return controls; }
    const CControlTemplate* end() const { return controls + controlCount; }
    // The first control with the id, or null.
    const CControlTemplate* FindControl(int controlId) const;
};

// The template with this id, or null.
const CDialogTemplate* FindDialogTemplate(int id);
// Every template, for tools that show them all.
const CDialogTemplate* const* GetDialogTemplates(size_t* count);
