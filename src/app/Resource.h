// Ids of the main window, its menu and the version and contact dialogs.
#pragma once

// Main window (dialog 102).
constexpr unsigned IDD_TESSAVAN_DIALOG = 102;
enum MainDialogId : int {
    IDC_BROWSE_SOURCE = 3,          // "打开" beside the source folder
    IDC_BROWSE_DESTINATION = 7,     // "打开" beside the destination folder
    IDC_SOURCE_FOLDER = 1000,       // source folder (read-only edit)
    IDC_START = 1002,               // " 开始处理"
    IDC_DESTINATION_FOLDER = 1008,  // destination folder (read-only edit)
    IDC_PROGRESS = 1009,            // progress line
    IDC_THREAD_COUNT = 1091,        // "并发处理张数"
    IDC_STATUS = 1096,              // status line: the file being processed
    IDC_MANUAL_LINK = 1129,         // "进入手动处理"
    IDC_CONTACT_LINK = 1130,
    IDC_SAVE_TO_NEW_FOLDER = 1145,  // "保存到新目录"
    IDC_DESTINATION_LABEL = 1152,   // "保存到目录："
    IDC_LANGUAGE_CHINESE = 1157,    // hidden, no function
    IDC_INCLUDE_SUBFOLDERS = 1162,  // "包含子目录"
    IDC_REPROCESS_ALL = 1164,       // "全部重新处理"
    IDC_LANGUAGE_ENGLISH = 1168,    // hidden, no function
    IDC_STEPS_LABEL = 1174,         // "常用操作："
    IDC_FOLDERS_FRAME = 1179,       // "文件目录选择"
    IDC_STEPS_FRAME = 1191,         // "操作选择和设置"
    IDC_MORE_STEPS_LABEL = 1198,    // "更多操作："
    IDC_SOURCE_LABEL = 1203,        // "要处理的目录："
    IDC_SUMMARY = 1211,             // the chosen steps
    IDC_CONTACT_PICTURE_1 = 1225,   // hidden contact pictures and labels
    IDC_CONTACT_PICTURE_2 = 1226,
    IDC_CONTACT_LABEL_1 = 1227,
    IDC_CONTACT_LABEL_2 = 1228,
    IDC_THREAD_LABEL = 1322,        // "并发处理张数:"
    IDC_SETTINGS_LINK = 5130,       // "批量处理设置 (...)"
    IDC_CLASSIFY_LINK = 5131,       // hidden, no function
    IDC_BROWSE_RESULTS_LINK = 5132, // hidden, no function
    IDC_CONSULT_LINK = 5133,        // "在线咨询", hidden
    IDC_DESKEW = 5144,              // quick step "倾斜校正"
    IDC_BACKGROUND = 5145,          // quick step "去底色"
    IDC_AUTO_DETECT = 5146,         // "自动检测新文件"
    IDC_SAVE_TO_SOURCE_FOLDER = 7042,  // "保存到原目录"
};

// Menu 130.
constexpr unsigned IDR_MAIN_MENU = 130;
enum MainMenuId : unsigned {
    ID_MENU_VERSION = 32774,        // "版本信息"
    ID_MENU_CUSTOM = 32780,         // "功能定制"
    ID_MENU_DETECT = 32784,         // "检测"
    ID_MENU_CONFIG = 32788,         // "配置"
    ID_MENU_FOLDER_DIFF = 32796,    // "求两个文件夹的差"
    ID_MENU_SCAN = 32798,           // "扫描"
    ID_MENU_SEAL = 32802,           // "加归档印章"
    ID_MENU_PAGE_STATISTICS = 32805,  // "幅面统计"
};

// Configuration dialog (160, "配置").
constexpr unsigned IDD_CONFIG_DIALOG = 160;
enum ConfigDialogId : int {
    IDC_LOAD_CONFIG = 1007,      // "载入当前配置"
    IDC_CONFIG_STATE = 1009,     // whether the file exists
    IDC_SAVE_CONFIG = 1124,      // "保存配置"
    IDC_SAVE_SETTINGS = 1182,    // "设置"
    IDC_LOAD_GROUP = 1262,       // "载入"
    IDC_SAVE_GROUP = 1267,       // "保存"
    IDC_SAVE_FOLDERS = 5145,     // "文件目录选择"
};

// The main window's timer of auto-detection.
constexpr unsigned kAutoDetectTimer = 10;
constexpr unsigned kAutoDetectPeriodMs = 1000;

// Version dialog (7105), customisation dialog (134), contact dialog (132).
constexpr unsigned IDD_VERSION_DIALOG = 7105;
constexpr unsigned IDD_CUSTOM_DIALOG = 134;
constexpr unsigned IDD_CONTACT_DIALOG = 132;
enum InfoDialogId : int {
    IDC_CONTACT_NUMBER = 1001,      // read-only edit (all three dialogs)
    IDC_PHONE_NUMBER = 1003,        // version dialog, hidden
    IDC_OFFER_TEXT = 1011,          // customisation dialog
    IDC_CUSTOM_CONTACT_LABEL = 1013,  // customisation dialog, hidden
    IDC_DOWNLOAD_LABEL = 1230,      // "网盘下载:"
    IDC_VERSION_LABEL = 1238,       // "版本: "
    IDC_FORMATS = 1245,             // supported pictures
    IDC_COMPANY = 1253,             // hidden
    IDC_PHONE_LABEL = 1266,         // hidden
    IDC_VERSION_TEXT = 5159,
    IDC_DOWNLOAD_LINK = 5131,
    IDC_MESSENGER_LABEL = 7001,     // "QQ:"
    IDC_CONTACT_IMAGE = 9185,       // picture
};
