#include "resources/dialogtemplate.h"

#include "resources/resource.h"
#include "resources/stringtable.h"

#include <cstring>
#include <iterator>

namespace {

using K = CControlKind;

constexpr uint32_t kTab = QM_WS_TABSTOP;
constexpr uint32_t kOff = QM_WS_DISABLED;
constexpr const char kFont[] = "MS Sans Serif";

// ---- 102: the main window, one tab control
const CControlTemplate kMainControls[] = {
    {IDC_MAIN_TAB, K::TabControl, "", 0, 0, 399, 250, kTab},
};

// ---- 101: input page
const CControlTemplate kInputControls[] = {
    {IDC_IN_FILES_LABEL, K::Static, "files", 104, 0, 82, 8, 0},
    {IDC_IN_FILE_LIST, K::ListBox, "", 101, 9, 93, 216,
     kTab | QM_WS_BORDER | QM_WS_VSCROLL | QM_WS_HSCROLL | QM_LBS_SORT | QM_LBS_EXTENDEDSEL},
    {IDC_IN_ADD_ALL, K::PushButton, "add all", 102, 227, 44, 14, kTab | QM_BS_OWNERDRAW},
    {IDC_IN_ADD_SELECTED, K::PushButton, "add sel", 148, 227, 44, 14, kTab | QM_BS_OWNERDRAW},
    {IDC_IN_SELECTED_LABEL, K::Static, "selected files", 199, 0, 82, 8, 0},
    {IDC_IN_SELECTED_LIST, K::ListBox, "", 196, 9, 94, 216,
     kTab | QM_WS_BORDER | QM_WS_VSCROLL | QM_WS_HSCROLL | QM_LBS_SORT | QM_LBS_EXTENDEDSEL},
    {IDC_IN_REMOVE_SELECTED, K::PushButton, "rem sel", 199, 227, 44, 14, kTab | QM_BS_OWNERDRAW},
    {IDC_IN_REMOVE_ALL, K::PushButton, "rem all", 245, 227, 44, 14, kTab | QM_BS_OWNERDRAW},
    {IDC_IN_PREVIEW, K::Static, "", 291, 0, 100, 84, kTab | QM_SS_NOTIFY | QM_WS_EX_CLIENTEDGE},
    {IDC_IN_PREVIEW_CHECK, K::CheckBox, "preview", 295, 90, 40, 11, kTab},
    {IDC_IN_WIDTH_LABEL, K::Static, "", 294, 104, 96, 11, 0},
    {IDC_IN_HEIGHT_LABEL, K::Static, "", 294, 118, 96, 11, 0},
    // Last in the tab order: Tab from the tree goes back to the tab strip.
    {IDC_IN_TREE, K::TreeView, "", 1, 0, 99, 241, kTab | QM_WS_BORDER},
};

// ---- 103: positioning page
const CControlTemplate kPositionControls[] = {
    {IDC_POS_STAMP_GROUP, K::GroupBox, "stamp", 1, 1, 392, 98, 0},
    // A picture or a text: the picture's path and button, or the text's font and color
    // buttons in the same places; the text box takes the transparency group's place.
    {IDC_POS_STAMP_KIND, K::ComboBox, "", 122, 11, 46, 40, kTab | QM_WS_VSCROLL},
    {IDC_POS_STAMP_PATH, K::Edit, "", 170, 11, 77, 13,
     kTab | QM_ES_READONLY | QM_WS_BORDER | QM_ES_AUTOHSCROLL},
    {IDC_POS_FONT, K::PushButton, "font", 170, 11, 77, 13, kTab},
    {IDC_POS_OPEN_STAMP, K::PushButton, "open stamp", 249, 11, 55, 13, kTab | QM_BS_OWNERDRAW},
    {IDC_POS_TEXT_COLOUR, K::PushButton, "color", 249, 11, 55, 13, kTab},
    {IDC_POS_STAMP_VIEW, K::Static, "", 3, 11, 116, 86, kTab | QM_SS_NOTIFY},
    {IDC_POS_TEXT, K::Edit, "", 127, 32, 173, 35, kTab | QM_WS_BORDER | QM_ES_MULTILINE},
    {IDC_POS_SHADOW, K::CheckBox, "shadow", 128, 69, 60, 10, kTab},
    {IDC_POS_TRANSPARENCE_GROUP, K::GroupBox, "", 123, 27, 181, 54, 0},
    {IDC_POS_USE_TRANSPARENCE, K::CheckBox, "use transparence", 130, 35, 71, 12, kTab},
    {IDC_POS_COLOUR_LABEL, K::Static, "color:", 257, 34, 21, 8, kOff},
    {IDC_POS_SWATCH, K::Static, "", 281, 33, 20, 18, QM_SS_NOTIFY | kOff},
    {IDC_POS_FEATHER_LABEL, K::Static, "feather:", 129, 54, 26, 9, kOff},
    {IDC_POS_FEATHER_MARK, K::Static, "0", 216, 45, 8, 7, kOff},
    {IDC_POS_FEATHER, K::Slider, "", 157, 54, 123, 12, kTab | QM_TBS_NOTICKS | kOff},
    {IDC_POS_FEATHER_VALUE, K::Static, "0", 283, 54, 14, 9, QM_SS_RIGHT | kOff},
    {IDC_POS_TOLERANCE_LABEL, K::Static, "transp. tolerance:", 129, 68, 55, 11, kOff},
    {IDC_POS_TOLERANCE, K::Slider, "", 190, 66, 90, 12, kTab | QM_TBS_NOTICKS | kOff},
    {IDC_POS_TOLERANCE_VALUE, K::Static, "0", 283, 68, 14, 8, QM_SS_RIGHT | kOff},
    {IDC_POS_OPACITY_LABEL, K::Static, "opacity:", 124, 85, 25, 10, 0},
    {IDC_POS_OPACITY, K::Slider, "", 153, 83, 121, 12, kTab | QM_TBS_NOTICKS},
    {IDC_POS_OPACITY_VALUE, K::Static, "100.0", 275, 85, 19, 8, QM_SS_RIGHT},
    {IDC_POS_OPACITY_UNIT, K::Static, "%", 297, 85, 8, 8, 0},
    {IDC_POS_POSITION_GROUP, K::GroupBox, "position", 309, 8, 81, 89, 0},
    // The nine buttons are one tab stop; the arrow keys move between them.
    {IDC_POS_ALIGN_TOP_LEFT, K::RadioButton, "", 315, 18, 20, 14,
     kTab | QM_BS_PUSHLIKE | QM_WS_GROUP},
    {IDC_POS_ALIGN_TOP_CENTRE, K::RadioButton, "", 341, 18, 20, 14, QM_BS_PUSHLIKE},
    {IDC_POS_ALIGN_TOP_RIGHT, K::RadioButton, "", 365, 18, 20, 14, QM_BS_PUSHLIKE},
    {IDC_POS_ALIGN_MIDDLE_LEFT, K::RadioButton, "", 315, 34, 20, 14, QM_BS_PUSHLIKE},
    {IDC_POS_ALIGN_CENTRE, K::RadioButton, "", 341, 34, 20, 14, QM_BS_PUSHLIKE},
    {IDC_POS_ALIGN_MIDDLE_RIGHT, K::RadioButton, "", 365, 34, 20, 14, QM_BS_PUSHLIKE},
    {IDC_POS_ALIGN_BOTTOM_LEFT, K::RadioButton, "", 315, 50, 20, 14, QM_BS_PUSHLIKE},
    {IDC_POS_ALIGN_BOTTOM_CENTRE, K::RadioButton, "", 341, 50, 20, 14, QM_BS_PUSHLIKE},
    {IDC_POS_ALIGN_BOTTOM_RIGHT, K::RadioButton, "", 365, 50, 20, 14, QM_BS_PUSHLIKE},
    {IDC_POS_X_LABEL, K::Static, "x-offset", 325, 69, 25, 9, 0},
    {IDC_POS_OFFSET_X, K::Edit, "", 362, 66, 24, 12, kTab | QM_WS_BORDER | QM_WS_GROUP, 5},
    {IDC_POS_Y_LABEL, K::Static, "y-offset", 325, 84, 24, 9, 0},
    {IDC_POS_OFFSET_Y, K::Edit, "", 362, 82, 24, 12, kTab | QM_WS_BORDER, 5},
    {IDC_POS_STAMPED_LABEL, K::Static, "sample (preview stamped)", 3, 102, 84, 8, 0},
    {IDC_POS_OPEN_SAMPLE, K::PushButton, "open sample", 168, 114, 57, 13, kTab | QM_BS_OWNERDRAW},
    {IDC_POS_STAMPED_VIEW, K::Static, "", 0, 114, 166, 128, kTab},
    {IDC_POS_ZOOM_LABEL, K::Static, "zoom:", 168, 130, 20, 9, 0},
    {IDC_POS_ZOOM, K::ComboBox, "", 168, 139, 57, 63, kTab | QM_WS_VSCROLL},
    {IDC_POS_SIZE_LABEL, K::Static, "stamp size:", 168, 155, 57, 8, 0},
    {IDC_POS_SIZE_MODE, K::ComboBox, "", 168, 164, 57, 48, kTab | QM_WS_VSCROLL},
    {IDC_POS_SIZE_PERCENT, K::Edit, "", 168, 179, 24, 12, kTab | QM_WS_BORDER, 3},
    {IDC_POS_SIZE_UNIT, K::Static, "%", 195, 181, 10, 8, 0},
    {IDC_POS_FOLLOW_EXIF, K::CheckBox, "EXIF rotation", 168, 194, 57, 10, kTab},
    {IDC_POS_ANGLE_LABEL, K::Static, "angle:", 168, 209, 21, 8, 0},
    {IDC_POS_ANGLE, K::SpinBox, "", 190, 207, 25, 12, kTab},
    {IDC_POS_ANGLE_DIAL, K::Dial, "", 216, 206, 10, 14, kTab},
    {IDC_POS_TILE, K::CheckBox, "tile", 168, 225, 24, 10, kTab},
    {IDC_POS_TILE_GAP, K::Edit, "", 192, 224, 22, 12, kTab | QM_WS_BORDER, 4},
    {IDC_POS_TILE_GAP_UNIT, K::Static, "%", 217, 226, 8, 8, 0},
    {IDC_POS_SAMPLE_LABEL, K::Static, "sample (original)", 228, 102, 84, 8, 0},
    {IDC_POS_SAMPLE_VIEW, K::Static, "", 227, 114, 166, 128, kTab},
};

// ---- 104: output page. The left half holds the folder choice, the right half the
// settings, the run buttons, the log and the progress bar.
const CControlTemplate kOutputControls[] = {
    {IDC_STATIC, K::Static, "output folder:", 3, 4, 60, 8, 0},
    // Editable: a folder may be typed or pasted as well as picked in the tree.
    {IDC_OUT_FOLDER, K::Edit, "", 2, 14, 124, 13, kTab | QM_WS_BORDER | QM_ES_AUTOHSCROLL},
    {IDC_OUT_NEW_FOLDER, K::PushButton, "create subdir", 129, 13, 67, 15, kTab | QM_BS_OWNERDRAW},
    {IDC_OUT_TREE, K::TreeView, "", 1, 31, 195, 210, kTab | QM_WS_BORDER},
    {IDC_OUT_SETTINGS_GROUP, K::GroupBox, "output settings", 200, 1, 192, 119, 0},
    // What an output meets under its name, in the format choices' style.
    {IDC_OUT_EXISTING_LABEL, K::Static, "existing files :", 208, 14, 54, 8, 0},
    {IDC_OUT_SKIP, K::RadioButton, "skip", 264, 13, 30, 10, kTab | QM_WS_GROUP},
    {IDC_OUT_OVERWRITE, K::RadioButton, "overwrite", 296, 13, 44, 10, 0},
    {IDC_OUT_KEEP_BOTH, K::RadioButton, "keep both", 342, 13, 46, 10, 0},
    {IDC_OUT_PRESERVE, K::CheckBox, "preserve jpeg-headers", 208, 26, 120, 10, kTab},
    {IDC_OUT_LOSSLESS, K::CheckBox, "lossless", 330, 26, 58, 10, kTab},
    // The format choices in two rows: the three of old, then the web formats below them.
    {IDC_OUT_FORMAT_LABEL, K::Static, "output format :", 208, 39, 54, 8, 0},
    {IDC_OUT_BMP, K::RadioButton, ".bmp", 264, 38, 32, 10, kTab | QM_WS_GROUP},
    {IDC_OUT_JPG, K::RadioButton, ".jpg", 298, 38, 32, 10, 0},
    {IDC_OUT_PNG, K::RadioButton, ".png", 332, 38, 32, 10, 0},
    {IDC_OUT_WEBP, K::RadioButton, ".webp", 264, 48, 34, 10, 0},
    {IDC_OUT_AVIF, K::RadioButton, ".avif", 298, 48, 32, 10, 0},
    {IDC_OUT_BACKGROUND, K::PushButton, "", 368, 40, 20, 14, kTab},
    {IDC_OUT_QUALITY_LABEL, K::Static, "jpg-quality :", 208, 61, 46, 8, 0},
    {IDC_OUT_QUALITY, K::Slider, "", 256, 59, 106, 12, kTab | QM_TBS_NOTICKS | QM_WS_GROUP},
    {IDC_OUT_QUALITY_VALUE, K::Static, "100", 364, 61, 14, 8, QM_SS_RIGHT},
    {IDC_OUT_PERCENT, K::Static, "%", 380, 61, 8, 8, 0},
    {IDC_OUT_RESIZE_LABEL, K::Static, "output size :", 208, 77, 46, 8, 0},
    {IDC_OUT_RESIZE_MODE, K::ComboBox, "", 256, 75, 56, 80, kTab | QM_WS_VSCROLL},
    {IDC_OUT_RESIZE_VALUE, K::Edit, "", 314, 75, 24, 12, kTab | QM_WS_BORDER, 5},
    {IDC_OUT_RESIZE_UNIT, K::Static, "px", 340, 77, 9, 8, 0},
    {IDC_OUT_ENLARGE, K::CheckBox, "enlarge", 350, 76, 40, 10, kTab},
    {IDC_OUT_STRIP_LOCATION, K::CheckBox, "remove location", 208, 92, 80, 10, kTab},
    {IDC_OUT_STRIP_METADATA, K::CheckBox, "remove metadata", 298, 92, 90, 10, kTab},
    {IDC_OUT_NAME_LABEL, K::Static, "file name :", 208, 106, 46, 8, 0},
    {IDC_OUT_NAME, K::Edit, "", 256, 104, 132, 12, kTab | QM_WS_BORDER | QM_ES_AUTOHSCROLL, 200},
    {IDC_OUT_START, K::PushButton, "start", 200, 124, 64, 18, kTab | QM_BS_OWNERDRAW},
    {IDC_OUT_STOP, K::PushButton, "stop", 328, 124, 64, 18, kTab | QM_BS_OWNERDRAW | kOff},
    {IDC_OUT_LOG, K::Edit, "", 200, 146, 192, 81,
     kTab | QM_ES_MULTILINE | QM_ES_READONLY | QM_WS_BORDER | QM_WS_VSCROLL},
    {IDC_OUT_PROGRESS, K::ProgressBar, "", 200, 230, 192, 10, QM_WS_BORDER},
};

// ---- 134: preview area of the file dialog
const CControlTemplate kPreviewFileControls[] = {
    {IDC_PREVIEW_AREA, K::Static, "", 6, 0, 88, 62, QM_SS_CENTERIMAGE},
    {IDC_PREVIEW_WIDTH, K::Static, "", 98, 3, 73, 10, 0},
    {IDC_PREVIEW_HEIGHT, K::Static, "", 98, 17, 73, 10, 0},
    {IDC_PREVIEW_CHECK, K::CheckBox, "&Preview", 101, 49, 39, 13, kTab},
};

// ---- 135: info dialog
const CControlTemplate kInfoControls[] = {
    {IDC_STATIC, K::Icon, "", 6, 5, 21, 20, 0, 0, IDI_APPLICATION_ICON},
    {IDC_STATIC, K::Static, "visit", 38, 5, 13, 10, 0},
    {IDC_INFO_LINK, K::Static, kProductSiteText, 55, 5, 95, 10, QM_SS_NOTIFY},
    {IDC_STATIC, K::Static, "for further info and support", 154, 5, 87, 10, 0},
    {IDC_STATIC, K::Static, kCreditsLine, 38, 17, 152, 8, 0},
    {IDOK, K::PushButton, "close", 195, 16, 45, 12, kTab | QM_BS_DEFPUSHBUTTON},
};

// ---- 160: new-folder dialog
const CControlTemplate kNewFolderControls[] = {
    {IDC_STATIC, K::Static, "enter the name of the directory to create", 7, 5, 140, 8, 0},
    {IDC_NEW_FOLDER_NAME, K::Edit, "", 7, 17, 140, 13, kTab | QM_WS_BORDER | QM_ES_AUTOHSCROLL},
    {IDOK, K::PushButton, "OK", 152, 4, 40, 14, kTab | QM_BS_DEFPUSHBUTTON},
    {IDCANCEL, K::PushButton, "cancel", 152, 21, 40, 14, kTab},
};

template <size_t N>
constexpr CDialogTemplate Make(int id, const char* caption, int cx, int cy, uint32_t style,
                               const CControlTemplate (&controls)[N]) {
    return CDialogTemplate{id, caption, cx, cy, kFont, 8, style, controls, N};
}

constexpr uint32_t kPopup = QM_DS_CAPTION | QM_DS_SYSMENU;

const CDialogTemplate kTemplates[] = {
    Make(IDD_INPUT_PAGE, "", 393, 242, QM_DS_CHILD, kInputControls),
    Make(IDD_MAIN_DIALOG, "quillmark", 400, 260,
         kPopup | QM_DS_SIZING | QM_DS_MINIMIZEBOX | QM_DS_MAXIMIZEBOX | QM_DS_APPWINDOW,
         kMainControls),
    Make(IDD_POSITION_PAGE, "", 393, 242, QM_DS_CHILD, kPositionControls),
    Make(IDD_OUTPUT_PAGE, "", 394, 242, QM_DS_CHILD, kOutputControls),
    Make(IDD_PREVIEW_FILE, "", 196, 68, QM_DS_CHILD, kPreviewFileControls),
    Make(IDD_INFO_DIALOG, "Info about quillmark", 247, 31, kPopup | QM_DS_MODALFRAME,
         kInfoControls),
    Make(IDD_NEW_FOLDER, "quillmark", 199, 39, kPopup | QM_DS_MODALFRAME, kNewFolderControls),
};

const CDialogTemplate* const kTemplateList[] = {&kTemplates[0], &kTemplates[1], &kTemplates[2],
                                                &kTemplates[3], &kTemplates[4], &kTemplates[5],
                                                &kTemplates[6]};
static_assert(std::size(kTemplateList) == std::size(kTemplates));

} // namespace

const CControlTemplate* CDialogTemplate::FindControl(int controlId) const {
    for (const CControlTemplate& control : *this)
        if (control.id == controlId)
            return &control;
    return nullptr;
}

const CDialogTemplate* FindDialogTemplate(int id) {
    for (const CDialogTemplate& t : kTemplates)
        if (t.id == id)
            return &t;
    return nullptr;
}

const CDialogTemplate* const* GetDialogTemplates(size_t* count) {
    *count = std::size(kTemplateList);
    return kTemplateList;
}
