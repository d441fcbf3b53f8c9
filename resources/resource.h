#pragma once

// Every numbered resource of the program: dialog templates, controls, strings, icons,
// bitmaps, menus, accelerators, the cursor and the command ids. The numbers are fixed:
// stored settings, templates and the pages' code all quote them.
//
// Control ids are unique within a template only; several templates reuse a number for
// different controls, so each use has a name of its own with the page in it.

// ---- Dialog templates
enum : int {
    IDD_INPUT_PAGE = 101,
    IDD_MAIN_DIALOG = 102,
    IDD_POSITION_PAGE = 103,
    IDD_OUTPUT_PAGE = 104,
    IDD_PREVIEW_FILE = 134, // child template of the preview file dialog
    IDD_INFO_DIALOG = 135,
    IDD_NEW_FOLDER = 160,
};

// ---- Icons, bitmaps, cursor, raw data, menu, accelerators
enum : int {
    IDI_APPLICATION_ICON = 128,
    IDB_FOLDER_IMAGES = 130, // nine 16 x 15 pictures on magenta
    IDC_COLOUR_PICKER = 144, // cursor
    IDB_SPLASH = 153,        // 385 x 236, 8 bits per pixel
    IDR_SAMPLE_PICTURE = 157,
    IDR_ACCELERATORS = 159,
    IDR_POPUP_MENU = 168,
    IDI_OPEN = 171,
    IDI_TAB_INPUT = 172,
    IDI_TAB_POSITION = 173,
    IDI_TAB_OUTPUT = 174,
    IDI_ADD_SELECTED = 175,
    IDI_REMOVE_SELECTED = 176,
    IDI_ADD_ALL = 177,
    IDI_REMOVE_ALL = 178,
    IDI_NEW_FOLDER = 179,
    IDI_START = 181,
    IDI_STOP = 182,
};

// Pictures of IDB_FOLDER_IMAGES, left to right.
enum : int {
    IMG_HARD_DISK = 0,
    IMG_FLOPPY = 1,
    IMG_CDROM = 2,
    IMG_NETWORK_DRIVE = 3,
    IMG_RAM_DISK = 4,
    IMG_FOLDER_CLOSED = 5,
    IMG_FOLDER_OPEN = 6,
    IMG_DESKTOP = 7,
    IMG_COMPUTER = 8,
    IMG_FOLDER_IMAGE_COUNT = 9,
};

// ---- Commands
enum : int {
    IDOK = 1,
    IDCANCEL = 2,
    IDM_ABOUTBOX = 200,    // system menu "Info about Quillmark"
    IDM_HELP = 201,        // system menu "Help"
    IDM_IMPORT = 203,      // system menu "Settings" > "import"
    IDM_EXPORT = 204,      // system menu "Settings" > "export"
    ID_SELECT_ALL = 40001, // Ctrl+A
    ID_POPUP_COPY = 40005,
    ID_POPUP_PASTE = 40006,
    ID_REFRESH = 40007, // F5
    ID_EDIT_COPY = 57634,
    ID_EDIT_PASTE = 57637,
};

// ---- Controls
enum : int {
    IDC_STATIC = -1,
    IDC_SIZE_GRIP = 32767,

    // main window (102)
    IDC_MAIN_TAB = 1000,

    // input page (101)
    IDC_IN_TREE = 1006,
    IDC_IN_FILE_LIST = 1008,
    IDC_IN_PREVIEW = 1009,
    IDC_IN_ADD_ALL = 1010,
    IDC_IN_REMOVE_SELECTED = 1012,
    IDC_IN_REMOVE_ALL = 1013,
    IDC_IN_ADD_SELECTED = 1015,
    IDC_IN_PREVIEW_CHECK = 1016,
    IDC_IN_SELECTED_LIST = 1038,
    IDC_IN_SELECTED_LABEL = 1069,
    IDC_IN_WIDTH_LABEL = 1086,
    IDC_IN_HEIGHT_LABEL = 1087,
    IDC_IN_FILES_LABEL = 1088, // above the file list: how many files it holds

    // positioning page (103)
    IDC_POS_STAMP_PATH = 1001,
    IDC_POS_OPEN_SAMPLE = 1005,
    IDC_POS_OPEN_STAMP = 1007,
    IDC_POS_STAMP_VIEW = 1011,
    IDC_POS_TOLERANCE = 1022,
    IDC_POS_ALIGN_TOP_RIGHT = 1023,
    IDC_POS_ALIGN_BOTTOM_RIGHT = 1027,
    IDC_POS_SAMPLE_VIEW = 1028,
    IDC_POS_ZOOM = 1029,
    IDC_POS_ALIGN_MIDDLE_LEFT = 1033,
    IDC_POS_ALIGN_TOP_LEFT = 1034,
    IDC_POS_OFFSET_X = 1035,
    IDC_POS_OFFSET_Y = 1036,
    IDC_POS_STAMPED_VIEW = 1037,
    IDC_POS_ALIGN_CENTRE = 1040,
    IDC_POS_USE_TRANSPARENCE = 1042,
    IDC_POS_POSITION_GROUP = 1044,
    IDC_POS_ALIGN_TOP_CENTRE = 1046,
    IDC_POS_ALIGN_MIDDLE_RIGHT = 1047,
    IDC_POS_ALIGN_BOTTOM_LEFT = 1049,
    IDC_POS_ALIGN_BOTTOM_CENTRE = 1050,
    IDC_POS_OPACITY = 1053,
    IDC_POS_SWATCH = 1055,
    IDC_POS_COLOUR_LABEL = 1056,
    IDC_POS_FEATHER_LABEL = 1057,
    IDC_POS_TOLERANCE_LABEL = 1058,
    IDC_POS_TOLERANCE_VALUE = 1059,
    IDC_POS_FEATHER_VALUE = 1060,
    IDC_POS_FEATHER = 1061,
    IDC_POS_ZOOM_LABEL = 1069,
    IDC_POS_STAMPED_LABEL = 1070,
    IDC_POS_SAMPLE_LABEL = 1071,
    IDC_POS_STAMP_GROUP = 1072,
    IDC_POS_X_LABEL = 1076,
    IDC_POS_Y_LABEL = 1077,
    IDC_POS_TRANSPARENCE_GROUP = 1078,
    IDC_POS_OPACITY_LABEL = 1079,
    IDC_POS_FEATHER_MARK = 1080,
    IDC_POS_OPACITY_VALUE = 1081,
    IDC_POS_OPACITY_UNIT = 1082,
    IDC_POS_SIZE_LABEL = 1191,
    IDC_POS_SIZE_MODE = 1192,
    IDC_POS_SIZE_PERCENT = 1193,
    IDC_POS_SIZE_UNIT = 1194,
    IDC_POS_FOLLOW_EXIF = 1195,
    IDC_POS_ANGLE_LABEL = 1300,
    IDC_POS_ANGLE = 1301,
    IDC_POS_ANGLE_DIAL = 1302,
    IDC_POS_TILE = 1303,
    IDC_POS_TILE_GAP = 1304,
    IDC_POS_TILE_GAP_UNIT = 1305,

    // output page (104)
    IDC_OUT_LOG = 1004,
    IDC_OUT_TREE = 1006,
    IDC_OUT_FOLDER = 1018,
    IDC_OUT_BMP = 1019,
    IDC_OUT_JPG = 1020,
    IDC_OUT_QUALITY = 1021,
    IDC_OUT_OVERWRITE = 1022,
    IDC_OUT_PNG = 1023,
    IDC_OUT_PRESERVE = 1042,
    IDC_OUT_START = 1062,
    IDC_OUT_STOP = 1064,
    IDC_OUT_PROGRESS = 1066,
    IDC_OUT_QUALITY_VALUE = 1068,
    IDC_OUT_SETTINGS_GROUP = 1073,
    IDC_OUT_FORMAT_LABEL = 1074,
    IDC_OUT_QUALITY_LABEL = 1075,
    IDC_OUT_PERCENT = 1085,
    IDC_OUT_NEW_FOLDER = 1087,
    IDC_OUT_LOSSLESS = 1090,
    IDC_OUT_WEBP = 1096,
    IDC_OUT_AVIF = 1097,

    // preview file dialog (134)
    IDC_PREVIEW_CHECK = 1009,
    IDC_PREVIEW_AREA = 1030,
    IDC_PREVIEW_WIDTH = 1086,
    IDC_PREVIEW_HEIGHT = 1087,

    // info dialog (135)
    IDC_INFO_LINK = 1083,

    // new-folder dialog (160)
    IDC_NEW_FOLDER_NAME = 1004,
};

// ---- String table
enum : int {
    IDS_TIP_ALIGN_TOP_LEFT = 1,
    IDS_TIP_ALIGN_TOP_CENTRE = 2,
    IDS_TIP_ALIGN_TOP_RIGHT = 3,
    IDS_TIP_ALIGN_MIDDLE_LEFT = 4,
    IDS_TIP_ALIGN_CENTRE = 5,
    IDS_TIP_ALIGN_MIDDLE_RIGHT = 6,
    IDS_TIP_ALIGN_BOTTOM_LEFT = 7,
    IDS_TIP_ALIGN_BOTTOM_CENTRE = 8,
    IDS_TIP_ALIGN_BOTTOM_RIGHT = 9,
    IDS_TIP_ADD_ALL = 10,
    IDS_TIP_ADD_SELECTED = 11,
    IDS_TIP_REMOVE_ALL = 12,
    IDS_TIP_REMOVE_SELECTED = 13,
    IDS_TIP_PREVIEW_CHECK = 14,
    IDS_TIP_PREVIEW = 15,
    IDS_TIP_INPUT_TREE = 16,
    IDS_TIP_FILE_LIST = 17,
    IDS_TIP_SELECTED_LIST = 18,
    IDS_ABOUTBOX = 19,
    IDS_HELP = 20,
    IDS_TIP_ZOOM = 21,
    IDS_TIP_OPEN_STAMP = 23,
    IDS_TIP_USE_TRANSPARENCE = 24,
    IDS_TIP_OPEN_SAMPLE = 25,
    IDS_TIP_DRAG_SAMPLE = 33,
    IDS_SETTINGS = 36,
    IDS_IMPORT = 37,
    IDS_EXPORT = 38,
    IDS_TIP_OUTPUT_TREE = 40,
    IDS_TIP_START = 41,
    IDS_TIP_QUALITY = 42,
    IDS_TIP_OVERWRITE = 43,
    IDS_TIP_STOP = 44,
    IDS_TIP_BMP = 45,
    IDS_TIP_JPG = 46,
    IDS_TIP_PNG = 47,
    IDS_TIP_NEW_FOLDER = 48,
    IDS_TIP_PRESERVE = 49,
    IDS_TIP_LOSSLESS = 50,
    IDS_TIP_QUALITY_LOSSLESS = 51,
    IDS_TIP_WEBP = 52,
    IDS_TIP_AVIF = 53,
    IDS_TIP_SIZE_MODE = 70,
    IDS_TIP_SIZE_PERCENT = 71,
    IDS_TIP_FOLLOW_EXIF = 72,
    IDS_TIP_ANGLE = 130,
    IDS_TIP_TILE = 131,
    IDS_TIP_TILE_GAP = 132,
};
