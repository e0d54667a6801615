// Ids of the tool dialogs: page-size statistics (7102), archive seal (172),
// detection (141), folder difference (137 with its page 162).
#pragma once

// Controls the statistics and seal dialogs share.
enum ToolsSharedId : int {
    IDC_TOOL_BROWSE_SOURCE = 3,       // "选择..." beside the source folder
    IDC_TOOL_SOURCE_FOLDER = 1000,    // "要处理的目录：" (read-only edit)
    IDC_TOOL_START = 1002,            // "开始处理" / "执行"
    IDC_TOOL_OUTPUT_FOLDER = 1008,    // read-only edit of the output folder
    IDC_TOOL_PROGRESS = 1009,         // progress line
    IDC_TOOL_INCLUDE_SUBFOLDERS = 1162,  // "包含子目录"
};

// Page-size statistics (dialog 7102).
constexpr unsigned IDD_STATISTIC_BY_SIZE_DIALOG = 7102;
enum StatisticDialogId : int {
    IDC_STAT_BROWSE_RESULT = 7004,    // "选择..." beside the result folder
    IDC_STAT_TIFF = 7050,             // "TIFF/TIF"
    IDC_STAT_JPEG = 7051,             // "JPG/JPEG"
    IDC_STAT_A2 = 7052,
    IDC_STAT_A3 = 7053,
    IDC_STAT_A4 = 7054,
    IDC_STAT_CSV = 7058,              // "CSV 可支持 104W 张"
    IDC_STAT_XLS = 7059,              // "XLS 只能支持 6.5W张"
    IDC_STAT_ALLOW_MARGIN = 7060,     // "允许白边"
    IDC_STAT_MARGIN = 7061,           // margin percentage
    IDC_STAT_SOURCE_LABEL = 7070,
    IDC_STAT_RESULT_LABEL = 7071,
    IDC_STAT_FORMAT_LABEL = 7072,
    IDC_STAT_PAPER_LABEL = 7073,
    IDC_STAT_MARGIN_LABEL = 7074,     // "白边大小"
    IDC_STAT_PERCENT_LABEL = 7075,    // "%"
    IDC_STAT_EXPORT_LABEL = 7076,
};

// Archive seal (dialog 172).
constexpr unsigned IDD_GENERATE_SEAL_DIALOG = 172;
enum SealDialogId : int {
    IDC_SEAL_BROWSE_OUTPUT = 7,       // "选择..." beside the output folder
    IDC_SEAL_LINE_WIDTH = 1112,       // group "线条宽度"
    IDC_SEAL_RIGHT = 1113,            // "右"
    IDC_SEAL_FIXED_WIDTH = 1115,
    IDC_SEAL_FIXED_HEIGHT = 1116,
    IDC_SEAL_RATIO_WIDTH = 1117,      // "%宽度"
    IDC_SEAL_RATIO_HEIGHT = 1118,     // "%也是宽度"
    IDC_SEAL_BY_RATIO = 1119,         // "按比例"
    IDC_SEAL_BY_FIXED_SIZE = 1120,    // "按固定尺寸"
    IDC_SEAL_LINE_COLOR = 1121,       // swatch "线条"
    IDC_SEAL_TEXT_COLOR = 1122,       // swatch "文字"
    IDC_SEAL_TITLE_SIZE = 1123,       // "标题栏"
    IDC_SEAL_NUMBER_SIZE = 1124,      // "归档号"
    IDC_SEAL_USE_LINE_WIDTH = 1125,   // "启用"
    IDC_SEAL_FROM_RIGHT = 1127,       // "从右边"
    IDC_SEAL_FROM_LEFT = 1128,        // "从左边"
    IDC_SEAL_TOP = 5303,              // "上"
    IDC_SEAL_TITLE_FONT = 5131,       // "标题栏" (group "字体名")
    IDC_SEAL_NUMBER_FONT = 5132,      // "归档号"
    IDC_SEAL_LEFT = 8132,             // "左"
    IDC_SEAL_USE_FONT_SIZES = 9128,   // "启用" (group "字号大小")
    IDC_SEAL_NAMING_RULE = 9200,      // the naming rule text
    IDC_SEAL_LABEL_FIRST = 9201,      // labels and groups without a function
};

// Detection (dialog 141).
constexpr unsigned IDD_DETECT_DIALOG = 141;
enum DetectDialogId : int {
    IDC_DETECT_EXECUTE = 1002,        // "执行"
    IDC_DETECT_PROGRESS = 1009,
    IDC_DETECT_LEFT_LABEL = 1011,     // "度"
    IDC_DETECT_MAX_LABEL = 1013,      // "最大检出角度"
    IDC_DETECT_MAX_UNIT = 1016,       // "度"
    IDC_DETECT_HINT = 1018,
    IDC_DETECT_RED = 1073,
    IDC_DETECT_YELLOW = 1078,
    IDC_DETECT_GREEN = 1084,
    IDC_DETECT_CYAN = 1088,
    IDC_DETECT_BLUE = 1093,
    IDC_DETECT_PURPLE = 1095,
    IDC_DETECT_WHITE = 1098,
    IDC_DETECT_BLACK = 1101,
    IDC_DETECT_MARGIN = 1138,         // margin percent
    IDC_DETECT_EDGE = 1146,           // edge pixels
    IDC_DETECT_CORRECT = 1165,        // "校正检测"
    IDC_DETECT_WHITE_MARGIN = 1167,   // "白边检测"
    IDC_DETECT_MIN_ANGLE = 1172,
    IDC_DETECT_MAX_ANGLE = 1178,
    IDC_DETECT_CORRECT_GROUP = 1262,
    IDC_DETECT_MARGIN_GROUP = 1267,
    IDC_DETECT_COLOUR_GROUP = 1271,
    IDC_DETECT_CONTENT_LABEL = 1272,
    IDC_DETECT_CONTENT_RANGE = 1274,
    IDC_DETECT_MARGIN_LABEL = 1277,
    IDC_DETECT_EDGE_LABEL = 1279,
    IDC_DETECT_MIN_LABEL = 7000,      // "最小检出角度"
    IDC_DETECT_CONTENT = 7043,        // content percent (shown, unused)
    IDC_DETECT_PERCENT_LABEL = 7044,
    IDC_DETECT_PIXELS_LABEL = 7045,
};

// Folder difference (dialog 137 holding page 162).
constexpr unsigned IDD_MORE_FEATURES_DIALOG = 137;
constexpr unsigned IDD_FIND_DIR_DIFF_PAGE = 162;
enum FolderDiffId : int {
    IDC_DIFF_EXECUTE = 1002,          // "执行"
    IDC_DIFF_STATUS = 1009,
    IDC_DIFF_FRAME = 1087,            // group box without text
    IDC_DIFF_PAGE = 162,              // the page inside the dialog
    IDC_DIFF_BROWSE_A = 3,
    IDC_DIFF_FOLDER_A = 1000,
    IDC_DIFF_BROWSE_B = 5147,
    IDC_DIFF_FOLDER_B = 5148,
    IDC_DIFF_BROWSE_C = 10,
    IDC_DIFF_FOLDER_C = 1010,
    IDC_DIFF_LABEL_A = 9301,
    IDC_DIFF_LABEL_B = 9302,
    IDC_DIFF_LABEL_C = 9303,
};

// Posted to a tool's dialog by its worker when the job has ended (the
// statistics export written, the last seal file handled). The dialog shows
// the result and takes the worker's thread back.
constexpr unsigned WM_TOOL_JOB_ENDED = 0x0400 + 120;  // WM_USER + 120
