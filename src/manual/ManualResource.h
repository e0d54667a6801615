// Template and control ids of the manual window and its pages. Ids are
// scoped to their own window: the same number may name different controls
// in the window and in each page.
#pragma once

#include "platform/core/WinTypes.h"

// The manual window.
enum : UINT {
    IDD_MANUAL_DIALOG = 143,
    IDD_MANUAL_CORRECT = 146,
    IDD_MANUAL_CENTER = 147,
    IDD_MANUAL_CUTEDGE = 148,
    IDD_MANUAL_DIR = 149,
    IDD_MANUAL_RMBKCOLOR = 135,
    IDD_MANUAL_RMBLACKBOARD = 145,
    IDD_MANUAL_RMSTAINS = 150,
    IDD_MANUAL_BINDHOLE = 152,
    IDD_MANUAL_AUTOCONTRAST = 153,
    IDD_MANUAL_OUTPUTSIZE = 164,
    IDD_MANUAL_ERASE = 165,
    IDD_MANUAL_TAIL = 171,
};

namespace manual_ids {

// Tool buttons, one per page.
constexpr int IDC_TOOL_CENTER = 1108;
constexpr int IDC_TOOL_CORRECT = 1100;
constexpr int IDC_TOOL_CUTEDGE = 1109;
constexpr int IDC_TOOL_RMBKCOLOR = 1103;
constexpr int IDC_TOOL_RMBLACKBOARD = 9107;
constexpr int IDC_TOOL_RMSTAINS = 1110;
constexpr int IDC_TOOL_BINDHOLE = 1111;
constexpr int IDC_TOOL_AUTOCONTRAST = 9103;
constexpr int IDC_TOOL_ERASE = 5308;
constexpr int IDC_TOOL_OUTPUTSIZE = 9110;
constexpr int IDC_TOOL_TAIL = 1119;

constexpr int IDC_VIEW_MODE = 1128;  // single / side by side
constexpr int IDC_PREV_FILE = 1121;
constexpr int IDC_NEXT_FILE = 1122;
constexpr int IDC_FIT = 9129;
constexpr int IDC_CENTRE = 1123;
constexpr int IDC_SAVE = 1124;
constexpr int IDC_SAVE_AS = 1125;

constexpr int IDC_STATUS = 5142;
constexpr int IDC_FILE_PATH = 5144;
constexpr int IDC_MAIN_CAPTION = 5213;    // "处理图"
constexpr int IDC_SECOND_CAPTION = 5214;  // "原图"
constexpr int IDC_HISTORY_LABEL = 5141;
constexpr int IDC_PAGE_TITLE = 6223;
constexpr int IDC_LINE_TOP = 5138;
constexpr int IDC_LINE_SIDE = 5139;
constexpr int IDC_SECOND_FRAME = 5140;
constexpr int IDC_MAIN_FRAME = 5212;
constexpr int IDC_MAIN_VIEW = 1117;
constexpr int IDC_SECOND_VIEW = 1118;
constexpr int IDC_HISTORY = 1126;

// Buttons shared by the option pages.
constexpr int IDC_APPLY = 5132;
constexpr int IDC_DEFAULTS = 5133;

// Folder page.
namespace dir {
constexpr int IDC_TREE = 1115;
constexpr int IDC_DIRECT = 5209;
constexpr int IDC_COMPARE = 5210;
constexpr int IDC_SHOW_PROCESSED = 5214;
constexpr int IDC_SHOW_ORIGINAL = 5213;
constexpr int IDC_PROCESSED_FOLDER = 1118;
constexpr int IDC_ORIGINAL_FOLDER = 1120;
constexpr int IDC_BROWSE_PROCESSED = 1119;
constexpr int IDC_BROWSE_ORIGINAL = 1121;
constexpr int IDC_EXPAND_ALL = 5218;
constexpr int IDC_COLLAPSE_ALL = 5205;
constexpr int IDC_OPEN_FOLDER = 5206;
}  // namespace dir

// Background-colour page.
namespace bk {
constexpr int IDC_BRIGHTNESS = 1012;
constexpr int IDC_CONTRAST = 1015;
constexpr int IDC_DARKENING = 1017;
constexpr int IDC_BRIGHTNESS_VALUE = 1019;
constexpr int IDC_CONTRAST_VALUE = 1021;
constexpr int IDC_DARKENING_VALUE = 1023;
constexpr int IDC_DELTA = 1171;
constexpr int IDC_SATURATION = 1177;
constexpr int IDC_KEEP_NONE = 6224;    // keep mode 0
constexpr int IDC_KEEP_RED = 5219;     // 1
constexpr int IDC_KEEP_COLOUR = 5221;  // 2
constexpr int IDC_KEEP_ALL = 6222;     // 3
}  // namespace bk

namespace center {
constexpr int IDC_HORIZONTAL = 1183;
constexpr int IDC_VERTICAL = 1199;
constexpr int IDC_HORIZONTAL_RATIO = 5155;
constexpr int IDC_VERTICAL_RATIO = 1202;
constexpr int IDC_ALL_OBJECTS = 7045;
constexpr int IDC_TEXT_ONLY = 7100;
}  // namespace center

namespace correct {
constexpr int IDC_ANGLE = 1025;
constexpr int IDC_METHOD = 1044;
constexpr int IDC_FILL_WHITE = 1126;
constexpr int IDC_FILL_BLACK = 1127;
constexpr int IDC_KEEP_SIZE = 1121;
constexpr int IDC_ONE_COLUMN = 5218;
constexpr int IDC_TWO_COLUMNS = 6223;
constexpr int IDC_ROTATE_CW = 5134;
constexpr int IDC_ROTATE_CCW = 5135;
constexpr int IDC_STRAIGHTEN = 5136;  // hidden, no function
}  // namespace correct

namespace cutedge {
constexpr int IDC_RED = 1073;
constexpr int IDC_YELLOW = 1078;
constexpr int IDC_GREEN = 1084;
constexpr int IDC_CYAN = 1088;
constexpr int IDC_BLUE = 1093;
constexpr int IDC_PURPLE = 1095;
constexpr int IDC_WHITE = 1098;
constexpr int IDC_BLACK = 1101;
constexpr int IDC_COLOUR_MARGIN = 1166;
constexpr int IDC_COLOUR_UNIT = 1062;
constexpr int IDC_COLOUR_RATIO = 1208;
constexpr int IDC_COLOUR_APPLY = 5136;
constexpr int IDC_COLOUR_DEFAULTS = 5137;
constexpr int IDC_WHITE_RATIO = 1138;
constexpr int IDC_WHITE_UNIT = 1142;
constexpr int IDC_LEFT = 1221;
constexpr int IDC_RIGHT = 1248;
constexpr int IDC_TOP = 1255;
constexpr int IDC_BOTTOM = 1259;
constexpr int IDC_WHITE_APPLY = 5134;
constexpr int IDC_WHITE_DEFAULTS = 5135;
}  // namespace cutedge

namespace board {
constexpr int IDC_RADIATION = 1186;
constexpr int IDC_WIDTH = 1192;
constexpr int IDC_COLOUR_BLACK = 1123;
}  // namespace board

namespace stains {
constexpr int IDC_STAINS = 1465;
constexpr int IDC_BORDERS = 1102;
constexpr int IDC_THRESHOLD = 1352;
constexpr int IDC_AREA = 1349;
}  // namespace stains

namespace hole {
constexpr int IDC_LEFT = 1169;
constexpr int IDC_RIGHT = 1175;
constexpr int IDC_TOP = 1181;
constexpr int IDC_BOTTOM = 1197;
constexpr int IDC_AREA_MIN = 1201;
constexpr int IDC_AREA_MAX = 1204;
constexpr int IDC_GREY_LOW = 1207;
constexpr int IDC_GREY_HIGH = 1212;
constexpr int IDC_RADIUS = 1218;
constexpr int IDC_IGNORE = 1225;
}  // namespace hole

namespace contrast {
constexpr int IDC_SHADOW = 1077;
constexpr int IDC_HIGHLIGHT = 1083;
}  // namespace contrast

namespace erase {
constexpr int IDC_PICK = 5179;
constexpr int IDC_INSIDE = 5172;
constexpr int IDC_OUTSIDE = 5173;
constexpr int IDC_SWATCH = 5177;
constexpr int IDC_ERASER_BG = 5174;     // hidden, no function
constexpr int IDC_ERASER_SMART = 5175;  // hidden, no function
constexpr int IDC_ERASER_SIZE = 5176;   // hidden, no function
}  // namespace erase

namespace output {
constexpr int IDC_AS_RESULT = 5162;
constexpr int IDC_FIXED = 5163;
constexpr int IDC_PAPER = 7101;  // hidden, no function
constexpr int IDC_PAPER_LIST = 5161;
constexpr int IDC_WIDTH = 1118;
constexpr int IDC_HEIGHT = 1119;
constexpr int IDC_QUALITY = 1041;
constexpr int IDC_QUALITY_VALUE = 1068;
}  // namespace output

}  // namespace manual_ids
