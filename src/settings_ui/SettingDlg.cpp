#include "settings_ui/SettingDlg.h"

#include <QApplication>
#include <QStyle>
#include <QWidget>

#include <algorithm>

#include "platform/core/Numbers.h"
#include "platform/core/UserDialogs.h"
#include "processing/PixelMath.h"
#include "settings/ProcessSetting.h"
#include "settings/SettingKinds.h"
#include "settings_ui/SettingControls.h"
#include "settings_ui/SettingsResource.h"

using namespace setting_controls;
using PS = ProcessSetting;

namespace {

constexpr int kLabel = -1;
constexpr COLORREF kNoteColour = RGB(200, 127, 0);
const wchar_t* const kPreviewRefusal = L"图片格式不对。请打开正确的JPG或TIF, TIFF, PNG图片.";

const DialogTemplate kSettingTemplate = {
    IDD_SETTING_DIALOG,
    L"批量操作设置",
    835,
    440,
    {
        // Top bar.
        {IDC_SAVE_SETTINGS_BUTTON, Ctl::Button, L"保存设置", 5, 5, 60, 20},
        {IDC_RESTORE_DEFAULTS, Ctl::Button, L"恢复默认", 70, 5, 60, 20},
        {IDC_SETTINGS_VIEW, Ctl::Button, L"设置", 140, 5, 55, 20},
        {IDC_PREVIEW_VIEW, Ctl::Button, L"去底色预览", 200, 5, 70, 20},
        {IDC_PREV_PAGE, Ctl::Button, L"上一页", 280, 5, 55, 20},
        {IDC_PAGE_LABEL, Ctl::Static, L"", 338, 5, 34, 20, SS_CENTER},
        {IDC_NEXT_PAGE, Ctl::Button, L"下一页", 375, 5, 55, 20},
        {IDC_ORDER_NOTE, Ctl::Static, L"中括号【】中的数字表示操作所执行的顺序，数字小的先执行", 440, 10, 390, 10},
        {IDC_PAGE_FRAME, Ctl::Frame, L"", 0, 30, 835, 2, SS_SUNKEN},

        // 【１】
        {IDC_GROUP_RMBK, Ctl::GroupBox, L"去底色 【１】", 5, 36, 260, 276},
        {IDC_RMBK_ON, Ctl::CheckBox, L"去底色", 15, 49, 40, 10},
        {IDC_LABEL_IMAGE_TYPE, Ctl::Static, L"图片类型:", 15, 65, 40, 10},
        {IDC_ONLY_GREY_IMAGES, Ctl::Radio, L"仅黑白 (8位、1位)", 58, 65, 90, 10, WS_GROUP},
        {IDC_ALL_IMAGES, Ctl::Radio, L"所有的 (包括24位)", 150, 65, 100, 10},
        {IDC_LABEL_COLOUR_HANDLING, Ctl::Static, L"彩色图片:", 15, 81, 40, 10, WS_GROUP},
        {IDC_KEEP_ORIG_COLOUR, Ctl::Radio, L"尽量保持原图色彩", 58, 81, 80, 10, WS_GROUP},
        {IDC_COLOUR_STRATEGY, Ctl::Radio, L"按 \"彩色策略\" 进行去底色", 140, 81, 120, 10},
        {IDC_KEEP_DIRECT, Ctl::Radio, L"直接处理", 25, 97, 50, 10, WS_GROUP},
        {IDC_KEEP_RED, Ctl::Radio, L"红色部分不变，其它转灰度", 80, 97, 115, 10},
        {IDC_KEEP_COLOUR, Ctl::Radio, L"彩色部分不去色，其它转灰度", 25, 111, 118, 10},
        {IDC_ALL_GREY, Ctl::Radio, L"全转成灰度", 148, 111, 60, 10},
        {IDC_LABEL_COLOUR_DELTA, Ctl::Static, L"色差 [1, 100]", 25, 127, 50, 10, WS_GROUP},
        {IDC_COLOUR_DELTA, Ctl::Edit, L"", 78, 125, 30, 12},
        {IDC_LABEL_SATURATION, Ctl::Static, L"饱和度 [0, 1]", 115, 127, 50, 10},
        {IDC_SATURATION, Ctl::Edit, L"", 168, 125, 30, 12},
        {IDC_LABEL_RADIUS, Ctl::Static, L"彩色辐射范围([0, 6]):", 25, 143, 85, 10},
        {IDC_COLOUR_RADIUS, Ctl::Edit, L"", 112, 141, 30, 12},
        {IDC_LABEL_RADIUS_UNIT, Ctl::Static, L"毫米", 146, 143, 20, 10},
        {IDC_LABEL_BRIGHT, Ctl::Static, L"亮度:", 15, 163, 30, 10},
        {IDC_BRIGHT_DOWN, Ctl::Button, L"-", 47, 161, 12, 12},
        {IDC_BRIGHT_SLIDER, Ctl::Slider, L"", 61, 160, 150, 14},
        {IDC_BRIGHT_UP, Ctl::Button, L"+", 213, 161, 12, 12},
        {IDC_BRIGHT_VALUE, Ctl::Static, L"", 229, 163, 25, 10},
        {IDC_LABEL_CONTRAST, Ctl::Static, L"对比度:", 15, 181, 30, 10},
        {IDC_CONTRAST_DOWN, Ctl::Button, L"-", 47, 179, 12, 12},
        {IDC_CONTRAST_SLIDER, Ctl::Slider, L"", 61, 178, 150, 14},
        {IDC_CONTRAST_UP, Ctl::Button, L"+", 213, 179, 12, 12},
        {IDC_CONTRAST_VALUE, Ctl::Static, L"", 229, 181, 25, 10},
        {IDC_LABEL_CURVE, Ctl::Static, L"调暗:", 15, 199, 30, 10},
        {IDC_CURVE_DOWN, Ctl::Button, L"-", 47, 197, 12, 12},
        {IDC_CURVE_SLIDER, Ctl::Slider, L"", 61, 196, 150, 14},
        {IDC_CURVE_UP, Ctl::Button, L"+", 213, 197, 12, 12},
        {IDC_CURVE_VALUE, Ctl::Static, L"", 229, 199, 25, 10},
        {IDC_ORIGINAL_TONES, Ctl::Button, L"原图", 61, 214, 40, 14},
        {IDC_LABEL_PICTURES, Ctl::Static, L"插图和相片：", 15, 237, 50, 10},
        {IDC_PICTURE_LIST, Ctl::ComboBox, L"", 68, 235, 150, 12},
        {IDC_LABEL_PICTURE_BRIGHT, Ctl::Static, L"插图亮度：", 15, 255, 45, 10},
        {IDC_PICTURE_BRIGHT_SLIDER, Ctl::Slider, L"", 61, 253, 150, 14},
        {IDC_PICTURE_BRIGHT_VALUE, Ctl::Static, L"", 213, 255, 25, 10},
        {IDC_LABEL_PICTURE_CONTRAST, Ctl::Static, L"插图对比度：", 15, 273, 45, 10},
        {IDC_PICTURE_CONTRAST_SLIDER, Ctl::Slider, L"", 61, 271, 150, 14},
        {IDC_PICTURE_CONTRAST_VALUE, Ctl::Static, L"", 213, 273, 25, 10},
        {IDC_LABEL_STROKE, Ctl::Static, L"检测笔画宽度：", 15, 291, 55, 10},
        {IDC_STROKE_WIDTH, Ctl::ComboBox, L"", 72, 289, 50, 12},

        // 【５】
        {IDC_GROUP_CORRECT, Ctl::GroupBox, L"校正 【５】", 270, 36, 272, 132},
        {IDC_CORRECT_ON, Ctl::CheckBox, L"校正", 280, 49, 35, 10},
        {kLabel, Ctl::Static, L"校正方法", 280, 65, 40, 10},
        {IDC_CORRECT_METHOD, Ctl::ComboBox, L"", 322, 63, 90, 12},
        {kLabel, Ctl::Static, L"支持旋转角度范围", 280, 81, 70, 10},
        {IDC_CORRECT_ANGLE, Ctl::ComboBox, L"", 352, 79, 90, 12},
        {kLabel, Ctl::Static, L"旋转填充底色:", 280, 97, 60, 10},
        {IDC_FILL_WHITE, Ctl::Radio, L"白色", 342, 97, 35, 10, WS_GROUP},
        {IDC_FILL_BLACK, Ctl::Radio, L"黑色", 380, 97, 35, 10},
        {kLabel, Ctl::Static, L"哪种排版方向更多：", 280, 111, 80, 10, WS_GROUP},
        {IDC_TEXT_HORIZONTAL, Ctl::Radio, L"横向文字", 362, 111, 50, 10, WS_GROUP},
        {IDC_TEXT_VERTICAL, Ctl::Radio, L"竖向文字", 415, 111, 50, 10},
        {IDC_KEEP_SIZE, Ctl::CheckBox, L"保持原图宽高", 280, 125, 70, 10, WS_GROUP},
        {kLabel, Ctl::Static, L"分栏：", 280, 139, 25, 10},
        {IDC_NO_COLUMNS, Ctl::Radio, L"无或其它", 308, 139, 50, 10, WS_GROUP},
        {IDC_TWO_COLUMNS, Ctl::Radio, L"等分两栏", 360, 139, 50, 10},
        {IDC_TRY_OTHERS, Ctl::CheckBox, L"失败时自动尝试其它方法", 280, 153, 120, 10, WS_GROUP},
        // 【２】
        {IDC_GROUP_AUTOCONTRAST, Ctl::GroupBox, L"自动对比度【２】", 270, 172, 272, 48},
        {IDC_AUTOCONTRAST_ON, Ctl::CheckBox, L"自动对比度", 280, 185, 60, 10},
        {kLabel, Ctl::Static, L"阴影剪贴", 280, 201, 35, 10},
        {IDC_AUTOCONTRAST_LOW, Ctl::Edit, L"", 318, 199, 30, 12},
        {kLabel, Ctl::Static, L"%", 350, 201, 10, 10},
        {kLabel, Ctl::Static, L"高光剪贴", 370, 201, 35, 10},
        {IDC_AUTOCONTRAST_HIGH, Ctl::Edit, L"", 408, 199, 30, 12},
        {kLabel, Ctl::Static, L"%", 440, 201, 10, 10},
        // 【３】
        {IDC_GROUP_BLACKBOARD, Ctl::GroupBox, L"去除在黑色背景板上扫的图片的黑边 【３】", 270, 224, 272, 62},
        {IDC_BLACKBOARD_ON, Ctl::CheckBox, L"去除黑色背景板", 280, 237, 80, 10},
        {kLabel, Ctl::Static, L"辐射范围([0,20]):", 280, 253, 70, 10},
        {IDC_BLACKBOARD_RADIUS, Ctl::Edit, L"", 352, 251, 30, 12},
        {kLabel, Ctl::Static, L"检测宽度:", 390, 253, 38, 10},
        {IDC_BLACKBOARD_WIDTH, Ctl::Edit, L"", 430, 251, 30, 12},
        {kLabel, Ctl::Static, L"像素", 463, 253, 20, 10},
        {IDC_BLACKBOARD_COLOUR, Ctl::CheckBox, L"彩色像素也算黑底", 280, 269, 100, 10},
        // 【４】
        {IDC_GROUP_BLACKBORDER, Ctl::GroupBox, L"去黑边【４】", 270, 290, 272, 140},
        {IDC_BLACKBORDER_ON, Ctl::CheckBox, L"去黑边", 280, 303, 42, 10},
        {kLabel, Ctl::Static, L"黑边阈值小于", 280, 319, 50, 10},
        {IDC_BLACKBORDER_THRESHOLD, Ctl::Edit, L"", 332, 317, 30, 12},
        {kLabel, Ctl::Static, L"范围[0, 254])", 366, 319, 60, 10},
        {kLabel, Ctl::Static, L"黑边类型", 280, 335, 35, 10},
        {IDC_BLACKBORDER_TYPE, Ctl::ComboBox, L"", 318, 333, 100, 12},
        {kLabel, Ctl::Static, L"文本位置", 280, 351, 35, 10},
        {IDC_BLACKBORDER_REGION, Ctl::ComboBox, L"", 318, 349, 110, 12},
        {kLabel, Ctl::Static, L"黑边位置(%宽或高)：", 280, 367, 90, 10},
        {kLabel, Ctl::Static, L"左", 280, 383, 10, 10},
        {IDC_BLACKBORDER_LEFT, Ctl::Edit, L"", 292, 381, 25, 12},
        {kLabel, Ctl::Static, L"上", 322, 383, 10, 10},
        {IDC_BLACKBORDER_TOP, Ctl::Edit, L"", 334, 381, 25, 12},
        {kLabel, Ctl::Static, L"右", 364, 383, 10, 10},
        {IDC_BLACKBORDER_RIGHT, Ctl::Edit, L"", 376, 381, 25, 12},
        {kLabel, Ctl::Static, L"下", 406, 383, 10, 10},
        {IDC_BLACKBORDER_BOTTOM, Ctl::Edit, L"", 418, 381, 25, 12},
        {kLabel, Ctl::Static, L"辐射", 280, 401, 20, 10},
        {IDC_BLACKBORDER_RATIO, Ctl::Edit, L"", 302, 399, 30, 12},
        {kLabel, Ctl::Static, L"像素", 335, 401, 20, 10},
        {IDC_BLACKBORDER_COMPARE, Ctl::CheckBox, L"生成对比图片", 360, 401, 80, 10},
        // 【６】
        {IDC_GROUP_CENTER, Ctl::GroupBox, L"内容居中【６】", 550, 36, 280, 100},
        {IDC_CENTER_ON, Ctl::CheckBox, L"内容居中", 560, 49, 60, 10},
        {IDC_CENTER_HORIZONTAL, Ctl::CheckBox, L"横向居中", 625, 49, 50, 10},
        {IDC_CENTER_VERTICAL, Ctl::CheckBox, L"竖向居中", 680, 49, 50, 10},
        {kLabel, Ctl::Static, L"有效像素大于", 560, 65, 50, 10},
        {IDC_CENTER_SCALE_HOR, Ctl::Edit, L"", 612, 63, 30, 12},
        {kLabel, Ctl::Static, L"%高为内容 [0.1, 50]", 646, 65, 90, 10},
        {kLabel, Ctl::Static, L"有效像素大于", 560, 81, 50, 10},
        {IDC_CENTER_SCALE_VER, Ctl::Edit, L"", 612, 79, 30, 12},
        {kLabel, Ctl::Static, L"%宽为内容 [0.1, 50]", 646, 81, 90, 10},
        {kLabel, Ctl::Static, L"检测对象", 560, 97, 35, 10},
        {IDC_CENTER_ALL_OBJECTS, Ctl::Radio, L"所有", 598, 97, 35, 10, WS_GROUP},
        {IDC_CENTER_TEXT_ONLY, Ctl::Radio, L"文本", 636, 97, 35, 10},
        // 【７】
        {IDC_GROUP_CUTWHITE, Ctl::GroupBox, L"白色背景切白边 【７】", 550, 140, 280, 96, WS_GROUP},
        {IDC_CUTWHITE_ON, Ctl::CheckBox, L"白色背景切白边", 560, 153, 80, 10},
        {kLabel, Ctl::Static, L"有效像素大于", 560, 169, 50, 10},
        {IDC_CUTWHITE_SCALE, Ctl::Edit, L"", 612, 167, 30, 12},
        {kLabel, Ctl::Static, L"%宽或高为内容 [0.1，80]", 646, 169, 100, 10},
        {kLabel, Ctl::Static, L"阈值：", 560, 185, 25, 10},
        {IDC_CUTWHITE_THRESHOLD_TYPE, Ctl::ComboBox, L"", 588, 183, 50, 12},
        {kLabel, Ctl::Static, L"小于", 645, 185, 18, 10},
        {IDC_CUTWHITE_THRESHOLD, Ctl::Edit, L"", 665, 183, 30, 12},
        {kLabel, Ctl::Static, L"是内容", 698, 185, 30, 10},
        {kLabel, Ctl::Static, L"保留边距的单位:", 560, 201, 65, 10},
        {IDC_MARGIN_UNIT, Ctl::ComboBox, L"", 628, 199, 50, 12},
        {kLabel, Ctl::Static, L"左", 560, 219, 10, 10},
        {IDC_MARGIN_LEFT, Ctl::Edit, L"", 572, 217, 30, 12},
        {kLabel, Ctl::Static, L"上", 608, 219, 10, 10},
        {IDC_MARGIN_TOP, Ctl::Edit, L"", 620, 217, 30, 12},
        {kLabel, Ctl::Static, L"右", 656, 219, 10, 10},
        {IDC_MARGIN_RIGHT, Ctl::Edit, L"", 668, 217, 30, 12},
        {kLabel, Ctl::Static, L"下", 704, 219, 10, 10},
        {IDC_MARGIN_BOTTOM, Ctl::Edit, L"", 716, 217, 30, 12},

        // The preview view.
        {IDC_PREVIEW_PANNEL, Ctl::Static, L"", 270, 40, 555, 370, WS_HIDDEN},
        {IDC_OPEN_PREVIEW, Ctl::Button, L"打开预览", 270, 416, 60, 18, WS_HIDDEN},
        {IDC_REFRESH_PREVIEW, Ctl::Button, L"刷新", 335, 416, 50, 18, WS_HIDDEN},
        {IDC_GREY_PREVIEW, Ctl::CheckBox, L"转8位预览", 390, 420, 60, 10, WS_HIDDEN},
        {IDC_CENTER_VIEW, Ctl::Button, L"居中", 455, 416, 45, 18, WS_HIDDEN},
        {IDC_FIT_VIEW, Ctl::Button, L"适配", 505, 416, 45, 18, WS_HIDDEN},
        {IDC_PREVIEW_NOTE, Ctl::Static, L"移动滑块或按\"刷新\"即可看到去底色的效果", 560, 420, 260, 10, WS_HIDDEN},
    },
};

// The controls the preview view shows.
constexpr int kPreviewControls[] = {
    IDC_SAVE_SETTINGS_BUTTON, IDC_RESTORE_DEFAULTS, IDC_OPEN_PREVIEW, IDC_SETTINGS_VIEW, IDC_PREVIEW_VIEW,
    IDC_BRIGHT_SLIDER, IDC_CONTRAST_SLIDER, IDC_CURVE_SLIDER, IDC_BRIGHT_VALUE, IDC_CONTRAST_VALUE, IDC_CURVE_VALUE,
    IDC_PICTURE_BRIGHT_SLIDER, IDC_PICTURE_CONTRAST_SLIDER, IDC_PICTURE_BRIGHT_VALUE, IDC_PICTURE_CONTRAST_VALUE,
    IDC_ONLY_GREY_IMAGES, IDC_ALL_IMAGES, IDC_COLOUR_DELTA, IDC_SATURATION, IDC_COLOUR_RADIUS, IDC_KEEP_DIRECT,
    IDC_KEEP_RED, IDC_KEEP_COLOUR, IDC_ALL_GREY, IDC_KEEP_ORIG_COLOUR, IDC_COLOUR_STRATEGY,
    IDC_LABEL_BRIGHT, IDC_LABEL_CONTRAST, IDC_LABEL_CURVE, IDC_LABEL_PICTURE_BRIGHT, IDC_LABEL_PICTURE_CONTRAST,
    IDC_LABEL_COLOUR_DELTA, IDC_LABEL_SATURATION, IDC_LABEL_RADIUS, IDC_LABEL_RADIUS_UNIT, IDC_LABEL_IMAGE_TYPE,
    IDC_LABEL_COLOUR_HANDLING, IDC_LABEL_PICTURES, IDC_LABEL_STROKE,
    IDC_REFRESH_PREVIEW, IDC_GREY_PREVIEW, IDC_CENTER_VIEW, IDC_FIT_VIEW,
    IDC_BRIGHT_UP, IDC_BRIGHT_DOWN, IDC_CONTRAST_DOWN, IDC_CONTRAST_UP, IDC_CURVE_DOWN, IDC_CURVE_UP,
    IDC_ORIGINAL_TONES, IDC_PREVIEW_PANNEL, IDC_PAGE_FRAME,
    // The lists beside their labels, which would otherwise stand alone.
    IDC_PICTURE_LIST, IDC_STROKE_WIDTH,
};

// Group boxes of page 1 and the checks that light them.
constexpr int kGroupIds[] = {IDC_GROUP_RMBK,        IDC_GROUP_AUTOCONTRAST, IDC_GROUP_BLACKBOARD, IDC_GROUP_BLACKBORDER,
                             IDC_GROUP_CORRECT,     IDC_GROUP_CENTER,       IDC_GROUP_CUTWHITE};
constexpr int kGroupChecks[] = {IDC_RMBK_ON,       IDC_AUTOCONTRAST_ON, IDC_BLACKBOARD_ON, IDC_BLACKBORDER_ON,
                                IDC_CORRECT_ON,    IDC_CENTER_ON,       IDC_CUTWHITE_ON};

}  // namespace

CSettingDlg::CSettingDlg() : CDialog(kSettingTemplate), page2_(this), page3_(this) {
    labelFont_.CreateFont(28, 0, 0, 0, 100, 0, 0, 0, 0, 0, 0, 0, 0, L"Arial");
    MapCommand(IDC_SAVE_SETTINGS_BUTTON, BN_CLICKED, [this] { OnSaveSettings(); });
    MapCommand(IDC_RESTORE_DEFAULTS, BN_CLICKED, [this] { OnRestoreDefaults(); });
    MapCommand(IDC_SETTINGS_VIEW, BN_CLICKED, [this] { ShowPage(0); });
    MapCommand(IDC_PREVIEW_VIEW, BN_CLICKED, [this] { ShowPage(1); });
    MapCommand(IDC_NEXT_PAGE, BN_CLICKED, [this] { NextPage(1); });
    MapCommand(IDC_PREV_PAGE, BN_CLICKED, [this] { NextPage(-1); });
    MapCommand(IDC_CENTER_ON, BN_CLICKED, [this] { OnCentreCheck(); });
    MapCommand(IDC_CENTER_HORIZONTAL, BN_CLICKED, [this] { OnCentreDirection(); });
    MapCommand(IDC_CENTER_VERTICAL, BN_CLICKED, [this] { OnCentreDirection(); });
    MapCommand(IDC_CUTWHITE_ON, BN_CLICKED, [this] { OnCutWhiteCheck(); });
    MapCommand(IDC_BLACKBOARD_ON, BN_CLICKED, [this] { OnBlackBoardCheck(); });
    MapCommand(IDC_BLACKBORDER_ON, BN_CLICKED, [this] { OnBlackBorderCheck(); });
    MapCommand(IDC_AUTOCONTRAST_ON, BN_CLICKED, [this] { RefreshStepHighlights(); });
    MapCommand(IDC_RMBK_ON, BN_CLICKED, [this] { RefreshStepHighlights(); });
    MapCommand(IDC_CORRECT_ON, BN_CLICKED, [this] { RefreshStepHighlights(); });
    MapCommand(IDC_ONLY_GREY_IMAGES, BN_CLICKED, [this] { SetImageTypeChoice(Ticked(*this, IDC_ONLY_GREY_IMAGES)); });
    MapCommand(IDC_ALL_IMAGES, BN_CLICKED, [this] { SetImageTypeChoice(!Ticked(*this, IDC_ALL_IMAGES)); });
    MapCommand(IDC_KEEP_ORIG_COLOUR, BN_CLICKED, [this] {
        SetColourHandlingChoice(Ticked(*this, IDC_KEEP_ORIG_COLOUR));
        MarkPreviewChanged();
    });
    // The other radio of the pair reaches the same choice.
    MapCommand(IDC_COLOUR_STRATEGY, BN_CLICKED, [this] {
        SetColourHandlingChoice(!Ticked(*this, IDC_COLOUR_STRATEGY));
        MarkPreviewChanged();
    });
    MapCommand(IDC_CUTWHITE_THRESHOLD_TYPE, CBN_SELCHANGE, [this] { OnThresholdTypeChange(); });
    MapCommand(IDC_PICTURE_LIST, CBN_SELCHANGE, [this] { OnPictureListChange(); });
    MapCommand(IDC_MARGIN_UNIT, CBN_SELCHANGE, [this] { OnMarginUnitChange(); });
    // Preview.
    MapCommand(IDC_OPEN_PREVIEW, BN_CLICKED, [this] { OnOpenPreview(); });
    MapCommand(IDC_REFRESH_PREVIEW, BN_CLICKED, [this] { OnRefreshPreview(); });
    MapCommand(IDC_CENTER_VIEW, BN_CLICKED, [this] { pannel_.CenterImage(); });
    MapCommand(IDC_FIT_VIEW, BN_CLICKED, [this] { pannel_.FitToWindow(); });
    MapCommand(IDC_BRIGHT_UP, BN_CLICKED, [this] { StepTone(IDC_BRIGHT_SLIDER, IDC_BRIGHT_VALUE, 1, -50, 150); });
    MapCommand(IDC_BRIGHT_DOWN, BN_CLICKED, [this] { StepTone(IDC_BRIGHT_SLIDER, IDC_BRIGHT_VALUE, -1, -50, 150); });
    MapCommand(IDC_CONTRAST_UP, BN_CLICKED,
               [this] { StepTone(IDC_CONTRAST_SLIDER, IDC_CONTRAST_VALUE, 1, -50, 150); });
    MapCommand(IDC_CONTRAST_DOWN, BN_CLICKED,
               [this] { StepTone(IDC_CONTRAST_SLIDER, IDC_CONTRAST_VALUE, -1, -50, 150); });
    MapCommand(IDC_CURVE_UP, BN_CLICKED, [this] { StepTone(IDC_CURVE_SLIDER, IDC_CURVE_VALUE, 1, 0, 80); });
    MapCommand(IDC_CURVE_DOWN, BN_CLICKED, [this] { StepTone(IDC_CURVE_SLIDER, IDC_CURVE_VALUE, -1, 0, 80); });
    MapCommand(IDC_ORIGINAL_TONES, BN_CLICKED, [this] { OnOriginalTones(); });
    MapCommand(IDC_COLOUR_DELTA, EN_CHANGE, [this] { preview_.rebuildMask = 1; });
}

CSettingDlg::~CSettingDlg() {
    remover_.Free();
    curve_.Free();
}

void CSettingDlg::DoDataExchange(CDataExchange* dx) {
    for (std::size_t i = 0; i < boxes_.size(); ++i) DDX_Control(dx, kGroupIds[i], boxes_[i]);
    DDX_Control(dx, IDC_PREVIEW_PANNEL, pannel_);
}

bool CSettingDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    const QIcon icon = QApplication::style()->standardIcon(QStyle::SP_FileDialogListView);
    SetIcon(icon, true);
    SetIcon(icon, false);
    // The pages are children of this window and go with it; each opening
    // makes them again from the store.
    if (!page2_.Create(this)) page2_.LoadControls();
    if (!page3_.Create(this)) page3_.LoadControls();
    page2_.ShowWindow(SW_HIDE);
    page3_.ShowWindow(SW_HIDE);
    if (CWnd* label = GetDlgItem(IDC_PAGE_LABEL)) label->SetFont(&labelFont_);
    LoadControls(false);
    SetTimer(kPreviewTimer, kPreviewPeriodMs);
    if (!preview_.HasGrey() && !preview_.HasColour()) {
        const std::vector<std::uint8_t> white(4, 255);
        pannel_.SetImage(white.data(), 1, 1);
    } else {
        // The last sample comes back at the first tick.
        preview_.changed = 1;
    }
    UpdateCaptionAndSteps();
    SetButtonImages();
    return true;
}

void CSettingDlg::OnDestroy() {
    KillTimer(kPreviewTimer);
    CDialog::OnDestroy();
}

void CSettingDlg::SetButtonImages() {
    QStyle* style = QApplication::style();
    const std::pair<int, QStyle::StandardPixmap> images[] = {
        {IDC_NEXT_PAGE, QStyle::SP_ArrowRight},        {IDC_PREV_PAGE, QStyle::SP_ArrowLeft},
        {IDC_SAVE_SETTINGS_BUTTON, QStyle::SP_DialogSaveButton}, {IDC_RESTORE_DEFAULTS, QStyle::SP_DialogResetButton},
        {IDC_SETTINGS_VIEW, QStyle::SP_FileDialogDetailedView},  {IDC_PREVIEW_VIEW, QStyle::SP_FileDialogContentsView},
        {IDC_OPEN_PREVIEW, QStyle::SP_DialogOpenButton},   {IDC_CENTER_VIEW, QStyle::SP_TitleBarNormalButton},
        {IDC_FIT_VIEW, QStyle::SP_TitleBarMaxButton},      {IDC_REFRESH_PREVIEW, QStyle::SP_BrowserReload},
    };
    for (const auto& [id, pixmap] : images)
        if (auto* b = dynamic_cast<CButton*>(GetDlgItem(id))) b->SetIcon(style->standardIcon(pixmap), 24);
}

// ---- Load -------------------------------------------------------------------------

void CSettingDlg::LoadControls(bool keepView) {
    // 【５】
    Tick(*this, IDC_CORRECT_ON, PS::correct.on != 0);
    FillList(*this, IDC_CORRECT_METHOD, {L"校正方法1 (推荐)", L"校正方法2", L"校正方法3"},
             PS::correct.method >= 0 && PS::correct.method <= 2 ? static_cast<int>(PS::correct.method) : -1);
    FillList(*this, IDC_CORRECT_ANGLE, {L"-5度到5度 (推荐)", L"-15度到15度", L"-30度到30度"},
             settings::SkewAngleItem(PS::correct.angle));
    Tick(*this, IDC_TEXT_HORIZONTAL, PS::correct.textdirecthor == 1);
    Tick(*this, IDC_TEXT_VERTICAL, PS::correct.textdirecthor != 1);
    // 【１】
    Tick(*this, IDC_RMBK_ON, PS::rmbkcolor.on != 0);
    SetSlider(*this, IDC_BRIGHT_SLIDER, -50, 255, PS::rmbkcolor.bright, IDC_BRIGHT_VALUE);
    SetSlider(*this, IDC_CONTRAST_SLIDER, -50, 255, PS::rmbkcolor.contrast, IDC_CONTRAST_VALUE);
    SetSlider(*this, IDC_CURVE_SLIDER, 0, 80, PS::rmbkcolor.curve, IDC_CURVE_VALUE);
    SetDlgItemFloat(IDC_CENTER_SCALE_HOR, PS::center.checkscalehor, L"%.1f");
    SetDlgItemFloat(IDC_CENTER_SCALE_VER, PS::center.checkscalever, L"%.1f");
    Tick(*this, IDC_FILL_WHITE, PS::correct.fillcolor != 0);
    Tick(*this, IDC_FILL_BLACK, PS::correct.fillcolor == 0);
    Tick(*this, IDC_KEEP_SIZE, PS::correct.keepsize != 0);
    Tick(*this, IDC_TWO_COLUMNS, PS::twocolumns == 1);
    Tick(*this, IDC_NO_COLUMNS, PS::twocolumns != 1);
    Tick(*this, IDC_TRY_OTHERS, PS::tryothers != 0);
    SetDlgItemInt(IDC_COLOUR_DELTA, PS::rmbkcolor.colordelta);
    SetDlgItemFloat(IDC_SATURATION, PS::rmbkcolor.colorsatuation, L"%.2f");
    SetDlgItemFloat(IDC_COLOUR_RADIUS, PS::colorradius, L"%.1f");
    SetColourHandlingChoice(PS::keeporigcolor != 0);
    const int pictures = PS::rmbkcolor.illstration;
    FillList(*this, IDC_PICTURE_LIST, {L"都去底色", L"相片不去底色，插图去底色", L"相片插图都不去底色"}, pictures);
    SetImageTypeChoice(PS::rmbkcolor.allpic == 0);
    SetSlider(*this, IDC_PICTURE_BRIGHT_SLIDER, 0, 100, PS::rmbkcolor.illstrationbright, IDC_PICTURE_BRIGHT_VALUE);
    SetSlider(*this, IDC_PICTURE_CONTRAST_SLIDER, -50, 0, PS::rmbkcolor.illstrationcontrast,
              IDC_PICTURE_CONTRAST_VALUE);
    for (int id : {IDC_PICTURE_BRIGHT_SLIDER, IDC_PICTURE_CONTRAST_SLIDER, IDC_STROKE_WIDTH})
        Enable(*this, id, pictures != 0);
    int stroke = -1;
    for (int i = 0; i < 4; ++i)
        if (PS::strokewidth == settings::kStrokeWidths[i]) stroke = i;
    FillList(*this, IDC_STROKE_WIDTH, {L"0", L"5", L"8", L"12"}, stroke);
    const int strategy = PS::rmbkcolor.rmcolortype;
    Tick(*this, IDC_KEEP_DIRECT, strategy == 0);
    Tick(*this, IDC_KEEP_RED, strategy == 1);
    Tick(*this, IDC_KEEP_COLOUR, strategy == 2);
    Tick(*this, IDC_ALL_GREY, strategy == 3);
    // 【７】
    FillList(*this, IDC_CUTWHITE_THRESHOLD_TYPE, {L"自动", L"固定值"}, PS::cutwhite.threholdtype);
    SetDlgItemInt(IDC_CUTWHITE_THRESHOLD, PS::cutwhite.threhold);
    Enable(*this, IDC_CUTWHITE_THRESHOLD, PS::cutwhite.threholdtype == 1);
    Tick(*this, IDC_CUTWHITE_ON, PS::cutwhite.on != 0);
    FillList(*this, IDC_MARGIN_UNIT, {L"像素", L"毫米"}, PS::cutwhite.margin);
    ShowMargins();
    SetDlgItemFloat(IDC_CUTWHITE_SCALE, PS::cutwhite.checkscale, L"%.1f");
    // 【６】
    Tick(*this, IDC_CENTER_ON, PS::center.on != 0);
    Tick(*this, IDC_CENTER_HORIZONTAL, (PS::center.type & settings::kCentreHorizontally) != 0);
    Tick(*this, IDC_CENTER_VERTICAL, (PS::center.type & settings::kCentreVertically) != 0);
    Tick(*this, IDC_CENTER_ALL_OBJECTS, PS::center.allobj != 0);
    Tick(*this, IDC_CENTER_TEXT_ONLY, PS::center.allobj == 0);
    // 【２】
    Tick(*this, IDC_AUTOCONTRAST_ON, PS::autocontrast.on != 0);
    SetDlgItemFloat(IDC_AUTOCONTRAST_LOW, PS::autocontrast.low, L"%.1f");
    SetDlgItemFloat(IDC_AUTOCONTRAST_HIGH, PS::autocontrast.high, L"%.1f");

    preview_.contrast = PS::rmbkcolor.contrast;
    preview_.brightness = PS::rmbkcolor.bright;
    preview_.darkening = PS::rmbkcolor.curve;
    preview_.pictureBrightness = PS::rmbkcolor.illstrationbright;
    preview_.pictureContrast = PS::rmbkcolor.illstrationcontrast;

    if (!keepView) ShowPage(0);

    // 【３】, 【４】
    Tick(*this, IDC_BLACKBOARD_ON, PS::rmblackboard.on != 0);
    SetDlgItemInt(IDC_BLACKBOARD_RADIUS, PS::rmblackboard.ratioarea);
    SetDlgItemInt(IDC_BLACKBOARD_WIDTH, PS::rmblackboard.whiteframewid);
    Tick(*this, IDC_BLACKBOARD_COLOUR, PS::rmblackboard.includecolorpixel != 0);
    Tick(*this, IDC_BLACKBORDER_ON, PS::rmblackborder.on != 0);
    SetDlgItemInt(IDC_BLACKBORDER_THRESHOLD, PS::rmblackborder.threhold);
    FillList(*this, IDC_BLACKBORDER_TYPE, {L"除文字以外的所有", L"比较大的黑边"}, PS::rmblackborder.type);
    FillList(*this, IDC_BLACKBORDER_REGION, {L"自动判断", L"下面4个边以外的区域"}, PS::rmblackborder.region);
    SetDlgItemInt(IDC_BLACKBORDER_LEFT, PS::rmblackborder.left);
    SetDlgItemInt(IDC_BLACKBORDER_TOP, PS::rmblackborder.top);
    SetDlgItemInt(IDC_BLACKBORDER_RIGHT, PS::rmblackborder.right);
    SetDlgItemInt(IDC_BLACKBORDER_BOTTOM, PS::rmblackborder.bottom);
    SetDlgItemInt(IDC_BLACKBORDER_RATIO, PS::rmblackborder.ratio);
    Tick(*this, IDC_BLACKBORDER_COMPARE, (PS::compareimage & settings::kCompareBorders) != 0);

    page2_.LoadControls();
    page3_.LoadControls();

    // At most one placement step is ticked: centre before cut by colour
    // before cut white.
    using settings::PlacementMode;
    if (PS::center.on != 0) {
        PS::PlacementMode = static_cast<int>(PlacementMode::kCentre);
        Tick(page2_, IDC_P2_CUTBYCOLOUR_ON, false);
        Tick(*this, IDC_CUTWHITE_ON, false);
    } else if (PS::cutbybkcolor.on != 0) {
        PS::PlacementMode = static_cast<int>(PlacementMode::kCutByBkColor);
        Tick(*this, IDC_CENTER_ON, false);
        Tick(*this, IDC_CUTWHITE_ON, false);
    } else if (PS::cutwhite.on != 0) {
        PS::PlacementMode = static_cast<int>(PlacementMode::kCutWhite);
        Tick(*this, IDC_CENTER_ON, false);
        Tick(page2_, IDC_P2_CUTBYCOLOUR_ON, false);
    } else {
        PS::PlacementMode = static_cast<int>(PlacementMode::kNone);
    }
    RefreshStepHighlights();
}

void CSettingDlg::ShowMargins() {
    if (PS::cutwhite.margin == static_cast<int>(settings::MarginUnit::kMillimetres)) {
        SetDlgItemFloat(IDC_MARGIN_LEFT, PS::marginleftmm, L"%.1f");
        SetDlgItemFloat(IDC_MARGIN_TOP, PS::margintopmm, L"%.1f");
        SetDlgItemFloat(IDC_MARGIN_RIGHT, PS::marginrightmm, L"%.1f");
        SetDlgItemFloat(IDC_MARGIN_BOTTOM, PS::marginbottommm, L"%.1f");
    } else {
        SetDlgItemInt(IDC_MARGIN_LEFT, PS::marginleftpx);
        SetDlgItemInt(IDC_MARGIN_TOP, PS::margintoppx);
        SetDlgItemInt(IDC_MARGIN_RIGHT, PS::marginrightpx);
        SetDlgItemInt(IDC_MARGIN_BOTTOM, PS::marginbottompx);
    }
}

// ---- Save -------------------------------------------------------------------------

void CSettingDlg::OnSaveSettings() {
    // 【５】 and 【１】's switches, which the main window mirrors.
    PS::correct.on = Flag(*this, IDC_CORRECT_ON);
    const int angleItem = ListIndex(*this, IDC_CORRECT_ANGLE);
    PS::correct.angle = angleItem == 1 ? 15 : angleItem == 2 ? 30 : 5;
    // A stored method outside the list shows no selection; saving then keeps
    // the stored value rather than storing "nothing selected".
    if (const int method = ListIndex(*this, IDC_CORRECT_METHOD); method >= 0) PS::correct.method = method;
    PS::correct.textdirecthor = Flag(*this, IDC_TEXT_HORIZONTAL);
    PS::rmbkcolor.on = Flag(*this, IDC_RMBK_ON);
    if (quickStepsChanged) quickStepsChanged();

    PS::rmbkcolor.bright = SliderPos(*this, IDC_BRIGHT_SLIDER);
    PS::rmbkcolor.contrast = SliderPos(*this, IDC_CONTRAST_SLIDER);
    PS::rmbkcolor.curve = SliderPos(*this, IDC_CURVE_SLIDER);
    PS::rmbkcolor.illstrationbright = SliderPos(*this, IDC_PICTURE_BRIGHT_SLIDER);
    PS::rmbkcolor.illstrationcontrast = SliderPos(*this, IDC_PICTURE_CONTRAST_SLIDER);

    if (const int stroke = ListIndex(*this, IDC_STROKE_WIDTH); stroke >= 0 && stroke < 4)
        PS::strokewidth = settings::kStrokeWidths[stroke];
    PS::correct.fillcolor = Ticked(*this, IDC_FILL_BLACK) ? 0 : 1;
    PS::correct.keepsize = Flag(*this, IDC_KEEP_SIZE);
    PS::twocolumns = Flag(*this, IDC_TWO_COLUMNS);
    PS::tryothers = Flag(*this, IDC_TRY_OTHERS);

    // The two values that are refused rather than clamped: the save stops
    // at the first refusal with what came before already stored.
    const int delta = GetDlgItemInt(IDC_COLOUR_DELTA);
    if (const wchar_t* refusal = Refusal(PS::rmbkcolor.colordelta, delta)) {
        MessageBox(refusal, kDefaultCaption, MB_OK);
        return;
    }
    PS::rmbkcolor.colordelta = delta;
    const double saturation = GetDlgItemFloat(IDC_SATURATION);
    if (const wchar_t* refusal = Refusal(PS::rmbkcolor.colorsatuation, saturation)) {
        MessageBox(refusal, kDefaultCaption, MB_OK);
        return;
    }
    PS::rmbkcolor.colorsatuation = static_cast<float>(saturation);
    StoreTyped(PS::colorradius, GetDlgItemFloat(IDC_COLOUR_RADIUS));

    PS::rmbkcolor.allpic = Flag(*this, IDC_ALL_IMAGES);
    PS::keeporigcolor = Flag(*this, IDC_KEEP_ORIG_COLOUR);
    PS::rmbkcolor.illstration = ListIndex(*this, IDC_PICTURE_LIST);
    const int strategies[] = {IDC_KEEP_DIRECT, IDC_KEEP_RED, IDC_KEEP_COLOUR, IDC_ALL_GREY};
    for (int i = 0; i < 4; ++i)
        if (Ticked(*this, strategies[i])) {
            PS::rmbkcolor.rmcolortype = i;
            break;
        }

    // 【７】
    PS::cutwhite.on = Flag(*this, IDC_CUTWHITE_ON);
    PS::cutwhite.threholdtype = ListIndex(*this, IDC_CUTWHITE_THRESHOLD_TYPE);
    PS::cutwhite.threhold = GetDlgItemInt(IDC_CUTWHITE_THRESHOLD);
    StoreTyped(PS::cutwhite.checkscale, GetDlgItemFloat(IDC_CUTWHITE_SCALE));
    PS::cutwhite.margin = ListIndex(*this, IDC_MARGIN_UNIT);
    if (PS::cutwhite.margin == static_cast<int>(settings::MarginUnit::kPixels)) {
        PS::marginleftpx = GetDlgItemInt(IDC_MARGIN_LEFT);
        PS::marginrightpx = GetDlgItemInt(IDC_MARGIN_RIGHT);
        PS::margintoppx = GetDlgItemInt(IDC_MARGIN_TOP);
        PS::marginbottompx = GetDlgItemInt(IDC_MARGIN_BOTTOM);
    } else if (PS::cutwhite.margin == static_cast<int>(settings::MarginUnit::kMillimetres)) {
        PS::marginleftmm = static_cast<float>(GetDlgItemFloat(IDC_MARGIN_LEFT));
        PS::marginrightmm = static_cast<float>(GetDlgItemFloat(IDC_MARGIN_RIGHT));
        PS::margintopmm = static_cast<float>(GetDlgItemFloat(IDC_MARGIN_TOP));
        PS::marginbottommm = static_cast<float>(GetDlgItemFloat(IDC_MARGIN_BOTTOM));
    }
    // 【６】
    PS::center.on = Flag(*this, IDC_CENTER_ON);
    PS::center.type = (Ticked(*this, IDC_CENTER_HORIZONTAL) ? settings::kCentreHorizontally : 0) |
                      (Ticked(*this, IDC_CENTER_VERTICAL) ? settings::kCentreVertically : 0);
    StoreTyped(PS::center.checkscalehor, GetDlgItemFloat(IDC_CENTER_SCALE_HOR));
    StoreTyped(PS::center.checkscalever, GetDlgItemFloat(IDC_CENTER_SCALE_VER));
    PS::center.allobj = Flag(*this, IDC_CENTER_ALL_OBJECTS);
    // 【２】
    PS::autocontrast.on = Flag(*this, IDC_AUTOCONTRAST_ON);
    PS::autocontrast.low = static_cast<float>(GetDlgItemFloat(IDC_AUTOCONTRAST_LOW));
    PS::autocontrast.high = static_cast<float>(GetDlgItemFloat(IDC_AUTOCONTRAST_HIGH));
    // 【３】
    PS::rmblackboard.on = Flag(*this, IDC_BLACKBOARD_ON);
    StoreTyped(PS::rmblackboard.ratioarea, GetDlgItemInt(IDC_BLACKBOARD_RADIUS));
    StoreTyped(PS::rmblackboard.whiteframewid, GetDlgItemInt(IDC_BLACKBOARD_WIDTH));
    PS::rmblackboard.includecolorpixel = Flag(*this, IDC_BLACKBOARD_COLOUR);
    // 【４】
    PS::rmblackborder.on = Flag(*this, IDC_BLACKBORDER_ON);
    PS::rmblackborder.threhold = GetDlgItemInt(IDC_BLACKBORDER_THRESHOLD);
    PS::rmblackborder.type = ListIndex(*this, IDC_BLACKBORDER_TYPE);
    PS::rmblackborder.region = ListIndex(*this, IDC_BLACKBORDER_REGION);
    PS::rmblackborder.left = GetDlgItemInt(IDC_BLACKBORDER_LEFT);
    PS::rmblackborder.top = GetDlgItemInt(IDC_BLACKBORDER_TOP);
    PS::rmblackborder.right = GetDlgItemInt(IDC_BLACKBORDER_RIGHT);
    PS::rmblackborder.bottom = GetDlgItemInt(IDC_BLACKBORDER_BOTTOM);
    PS::rmblackborder.ratio = GetDlgItemInt(IDC_BLACKBORDER_RATIO);
    const int bits = PS::compareimage;
    PS::compareimage = Ticked(*this, IDC_BLACKBORDER_COMPARE) ? (bits | settings::kCompareBorders)
                                                              : (bits & ~settings::kCompareBorders);

    page2_.SaveControls();
    page3_.SaveControls();
    MessageBox(L"保存完毕,可以用这设置进行批量处理了", kDefaultCaption, MB_OK);
}

void CSettingDlg::OnRestoreDefaults() {
    PS::RestoreDefaults();
    LoadControls(true);
    preview_.changed = 1;
    preview_.rebuildMask = 1;
}

// ---- Pages ------------------------------------------------------------------------

void CSettingDlg::ShowPage(int view) {
    SetDlgItemText(IDC_PAGE_LABEL, FormatW(L"%d/%d", currentPage_ + 1, kPageCount));
    view_ = view;
    LockWindowUpdate();
    auto showAll = [&](bool show) {
        for (CWnd* child : GetChildren())
            if (child != &page2_ && child != &page3_) child->ShowWindow(show ? SW_SHOW : SW_HIDE);
    };
    if (view == 0 && currentPage_ == 0) {
        showAll(true);
        for (int id : {IDC_OPEN_PREVIEW, IDC_PREVIEW_PANNEL, IDC_CENTER_VIEW, IDC_FIT_VIEW, IDC_REFRESH_PREVIEW,
                       IDC_GREY_PREVIEW, IDC_PREVIEW_NOTE})
            Show(*this, id, false);
        page2_.ShowWindow(SW_HIDE);
        page3_.ShowWindow(SW_HIDE);
        RefreshStepHighlights();
    } else if (view == 0) {
        showAll(false);
        CDialog& shown = currentPage_ == 1 ? static_cast<CDialog&>(page2_) : static_cast<CDialog&>(page3_);
        CDialog& other = currentPage_ == 1 ? static_cast<CDialog&>(page3_) : static_cast<CDialog&>(page2_);
        other.ShowWindow(SW_HIDE);
        RECT frame{};
        if (CWnd* f = GetDlgItem(IDC_PAGE_FRAME)) {
            f->GetWindowRect(&frame);
            ScreenToClient(&frame);
        }
        RECT size{};
        shown.GetClientRect(&size);
        if (size.right <= 0 || size.bottom <= 0) {
            size = RECT{0, 0, shown.Template().cx, shown.Template().cy};
            MapDialogRect(&size);
        }
        shown.MoveWindow(0, frame.bottom + 1, size.right, size.bottom);
        shown.ShowWindow(SW_SHOW);
        for (int id : {IDC_SETTINGS_VIEW, IDC_PREVIEW_VIEW, IDC_PAGE_LABEL, IDC_NEXT_PAGE, IDC_PREV_PAGE,
                       IDC_SAVE_SETTINGS_BUTTON, IDC_RESTORE_DEFAULTS, IDC_PAGE_FRAME})
            Show(*this, id, true);
        if (currentPage_ == 1)
            page2_.RefreshStepHighlights();
        else
            page3_.RefreshStepHighlights();
    } else {
        page2_.ShowWindow(SW_HIDE);
        page3_.ShowWindow(SW_HIDE);
        showAll(false);
        for (int id : kPreviewControls) Show(*this, id, true);
        RECT r{270, 40, 825, 410};
        MapDialogRect(&r);
        pannel_.MoveWindow(r);
    }
    UpdateCaptionAndSteps();
    UnlockWindowUpdate();
}

void CSettingDlg::NextPage(int step) {
    currentPage_ = (currentPage_ + step + kPageCount) % kPageCount;
    ShowPage(0);
    Invalidate();
}

void CSettingDlg::UpdateCaptionAndSteps() {
    SetWindowText(scanVariant_ ? L"扫描处理设置" : L"批量操作设置");
    if (view_ == 0) {
        const bool batch = scanVariant_ == 0;
        for (int id : {IDC_AUTOCONTRAST_ON, IDC_BLACKBOARD_ON, IDC_BLACKBORDER_ON, IDC_CENTER_ON, IDC_CUTWHITE_ON})
            Show(*this, id, currentPage_ == 0 && batch);
        for (int id : {IDC_P2_CUTBYCOLOUR_ON, IDC_P2_HOLES_ON, IDC_P2_STAINS_ON, IDC_P2_RMSEAL_ON, IDC_P2_STRENSEAL_ON,
                       IDC_P2_BLANK_ON, IDC_P2_MODIFYCOLOUR_ON, IDC_P2_ROTATE_ON})
            Show(page2_, id, currentPage_ == 1 && batch);
        Show(page3_, IDC_P3_OUTPUT_ON, currentPage_ == 2 && batch);
    }
    Invalidate();
}

void CSettingDlg::RefreshStepHighlights() {
    for (std::size_t i = 0; i < boxes_.size(); ++i) {
        boxes_[i].SetHighlighted(Ticked(*this, kGroupChecks[i]));
        boxes_[i].Invalidate();
    }
}

// ---- Rules ------------------------------------------------------------------------

void CSettingDlg::UntickPageOne(std::initializer_list<int> ids) {
    for (int id : ids) Tick(*this, id, false);
}

void CSettingDlg::OnCentreCheck() {
    if (Ticked(*this, IDC_CENTER_ON)) {
        PS::PlacementMode = static_cast<int>(settings::PlacementMode::kCentre);
        Tick(page2_, IDC_P2_CUTBYCOLOUR_ON, false);
        Tick(*this, IDC_CUTWHITE_ON, false);
    }
    RefreshStepHighlights();
}

void CSettingDlg::OnCentreDirection() {
    if (Ticked(*this, IDC_CENTER_HORIZONTAL) || Ticked(*this, IDC_CENTER_VERTICAL)) {
        PS::PlacementMode = static_cast<int>(settings::PlacementMode::kCentre);
        Tick(page2_, IDC_P2_CUTBYCOLOUR_ON, false);
        Tick(*this, IDC_CUTWHITE_ON, false);
    }
}

void CSettingDlg::OnCutWhiteCheck() {
    if (Ticked(*this, IDC_CUTWHITE_ON)) {
        PS::PlacementMode = static_cast<int>(settings::PlacementMode::kCutWhite);
        Tick(*this, IDC_CENTER_ON, false);
        Tick(page2_, IDC_P2_CUTBYCOLOUR_ON, false);
    }
    RefreshStepHighlights();
}

void CSettingDlg::OnBlackBoardCheck() {
    if (Ticked(*this, IDC_BLACKBOARD_ON)) {
        Tick(*this, IDC_BLACKBORDER_ON, false);
        Tick(page2_, IDC_P2_STAINS_ON, false);
    }
    RefreshStepHighlights();
}

void CSettingDlg::OnBlackBorderCheck() {
    if (Ticked(*this, IDC_BLACKBORDER_ON)) {
        Tick(page2_, IDC_P2_STAINS_ON, false);
        Tick(*this, IDC_BLACKBOARD_ON, false);
    }
    RefreshStepHighlights();
}

void CSettingDlg::SetImageTypeChoice(bool onlyGrey) {
    Tick(*this, IDC_ONLY_GREY_IMAGES, onlyGrey);
    Tick(*this, IDC_ALL_IMAGES, !onlyGrey);
    Enable(*this, IDC_KEEP_ORIG_COLOUR, !onlyGrey);
    Enable(*this, IDC_COLOUR_STRATEGY, !onlyGrey);
    SetColourHandlingChoice(Ticked(*this, IDC_KEEP_ORIG_COLOUR));
}

void CSettingDlg::SetColourHandlingChoice(bool keepColours) {
    Tick(*this, IDC_KEEP_ORIG_COLOUR, keepColours);
    Tick(*this, IDC_COLOUR_STRATEGY, !keepColours);
    const bool strategy = Ticked(*this, IDC_ALL_IMAGES) && !keepColours;
    for (int id : {IDC_COLOUR_DELTA, IDC_SATURATION, IDC_KEEP_RED, IDC_KEEP_COLOUR, IDC_ALL_GREY, IDC_KEEP_DIRECT,
                   IDC_COLOUR_RADIUS})
        Enable(*this, id, strategy);
}

void CSettingDlg::OnPictureListChange() {
    const int index = ListIndex(*this, IDC_PICTURE_LIST);
    for (int id : {IDC_PICTURE_BRIGHT_SLIDER, IDC_PICTURE_CONTRAST_SLIDER, IDC_STROKE_WIDTH})
        Enable(*this, id, index != 0);
    // Photos kept: strokes of 8 pixels; both kept: 5.
    if (CComboBox* stroke = List(*this, IDC_STROKE_WIDTH)) {
        if (index == 1) stroke->SetCurSel(2);
        if (index == 2) stroke->SetCurSel(1);
    }
}

void CSettingDlg::OnThresholdTypeChange() {
    Enable(*this, IDC_CUTWHITE_THRESHOLD, ListIndex(*this, IDC_CUTWHITE_THRESHOLD_TYPE) == 1);
}

void CSettingDlg::OnMarginUnitChange() {
    PS::cutwhite.margin = ListIndex(*this, IDC_MARGIN_UNIT);
    ShowMargins();
}

HBRUSH CSettingDlg::OnCtlColor(CDC* dc, CWnd* window, UINT ctlColor) {
    if (ctlColor == CTLCOLOR_STATIC && window) {
        const int id = window->GetDlgCtrlID();
        if (id == IDC_ORDER_NOTE || id == IDC_PAGE_LABEL) dc->SetTextColor(kNoteColour);
    }
    return CDialog::OnCtlColor(dc, window, ctlColor);
}

// ---- Preview ----------------------------------------------------------------------

void CSettingDlg::OnOpenPreview() {
    CFileDialog dialog(true, L"jpg", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
                       L"图片(*.jpg;*.tif;*.tiff;*.png)|*.jpg; *.tif;*.png;*.tiff|所有文件(*.*)|*.*||");
    if (dialog.DoModal() != IDOK) return;
    if (!LoadPreviewImage(dialog.GetPathName())) {
        MessageBox(kPreviewRefusal, kDefaultCaption, MB_OK);
        return;
    }
    preview_.ResetWorking();
    preview_.rebuildMask = 1;
    preview_.changed = 1;
}

bool CSettingDlg::LoadPreviewImage(const std::wstring& path) {
    return LoadPreviewSample(path, preview_) == PreviewLoad::kLoaded;
}

void CSettingDlg::OnTimer(UINT_PTR id) {
    if (id == kPreviewTimer) RunPreviewIfChanged();
    CDialog::OnTimer(id);
}

void CSettingDlg::RunPreviewIfChanged() {
    if (!preview_.changed) return;
    const bool grey = Ticked(*this, IDC_GREY_PREVIEW);
    if (preview_.HasColour() && preview_.depth == 24 && !grey) {
        RunPreviewBkColorRemoval();
        ShowPreviewBuffer(preview_.colourWorking);
    } else if (preview_.HasGrey()) {
        RunGreyPreview(preview_, curve_);
        const std::size_t w = static_cast<std::size_t>(preview_.width), h = static_cast<std::size_t>(preview_.height);
        const std::size_t g8 = px::Stride8(w), c24 = px::Stride24(w);
        std::vector<std::uint8_t> expanded(c24 * h, 0);
        for (std::size_t y = 0; y < h; ++y)
            for (std::size_t x = 0; x < w; ++x) {
                const std::uint8_t v = preview_.greyWorking[y * g8 + x];
                std::uint8_t* d = &expanded[y * c24 + 3 * x];
                d[0] = d[1] = d[2] = v;
            }
        ShowPreviewBuffer(expanded);
    }
    preview_.changed = 0;
    preview_.rebuildMask = 0;
}

void CSettingDlg::RunPreviewBkColorRemoval() {
    PreviewColourValues v;
    v.colourDelta = GetDlgItemInt(IDC_COLOUR_DELTA);
    v.saturation = static_cast<float>(GetDlgItemFloat(IDC_SATURATION));
    v.keepRadius = static_cast<float>(GetDlgItemFloat(IDC_COLOUR_RADIUS));
    v.keepMode = Ticked(*this, IDC_KEEP_DIRECT)    ? 0
                 : Ticked(*this, IDC_KEEP_RED)     ? 1
                 : Ticked(*this, IDC_KEEP_COLOUR)  ? 2
                 : Ticked(*this, IDC_ALL_GREY)     ? 3
                                                   : 1;
    v.keepSourceColours = Ticked(*this, IDC_KEEP_ORIG_COLOUR);
    RunColourPreview(preview_, remover_, v);
}

void CSettingDlg::ShowPreviewBuffer(const std::vector<std::uint8_t>& bits24) {
    shown_ = bits24;
    pannel_.SetImage(shown_.data(), preview_.width, preview_.height);
}

void CSettingDlg::OnHScroll(UINT code, UINT position, CWnd* control) {
    const int id = control ? control->GetDlgCtrlID() : 0;
    switch (id) {
    case IDC_BRIGHT_SLIDER:
        preview_.brightness = SliderPos(*this, id);
        SetDlgItemText(IDC_BRIGHT_VALUE, FormatW(L"%d", preview_.brightness));
        break;
    case IDC_CONTRAST_SLIDER:
        preview_.contrast = SliderPos(*this, id);
        SetDlgItemText(IDC_CONTRAST_VALUE, FormatW(L"%d", preview_.contrast));
        break;
    case IDC_CURVE_SLIDER:
        preview_.darkening = SliderPos(*this, id);
        SetDlgItemText(IDC_CURVE_VALUE, FormatW(L"%d", preview_.darkening));
        break;
    case IDC_PICTURE_BRIGHT_SLIDER:
    case IDC_PICTURE_CONTRAST_SLIDER:
        preview_.pictureBrightness = SliderPos(*this, IDC_PICTURE_BRIGHT_SLIDER);
        preview_.pictureContrast = SliderPos(*this, IDC_PICTURE_CONTRAST_SLIDER);
        SetDlgItemText(IDC_PICTURE_BRIGHT_VALUE, FormatW(L"%d", preview_.pictureBrightness));
        SetDlgItemText(IDC_PICTURE_CONTRAST_VALUE, FormatW(L"%d", preview_.pictureContrast));
        break;
    default: CDialog::OnHScroll(code, position, control); return;
    }
    preview_.changed = 1;
}

void CSettingDlg::StepTone(int sliderId, int labelId, int step, int lo, int hi) {
    // "+" stops at `hi`; "−" goes one step down from any value (the slider
    // reaches above `hi`), to `lo` at the least.
    const int moved = SliderPos(*this, sliderId) + step;
    const int value = step > 0 ? std::clamp(moved, lo, hi) : std::max(moved, lo);
    if (sliderId == IDC_BRIGHT_SLIDER) preview_.brightness = value;
    if (sliderId == IDC_CONTRAST_SLIDER) preview_.contrast = value;
    if (sliderId == IDC_CURVE_SLIDER) preview_.darkening = value;
    if (CSliderCtrl* s = Slider(*this, sliderId)) s->SetPos(value);
    SetDlgItemText(labelId, FormatW(L"%d", value));
    preview_.changed = 1;
}

void CSettingDlg::OnOriginalTones() {
    preview_.brightness = preview_.contrast = preview_.darkening = 0;
    for (auto [slider, label] : {std::pair{IDC_BRIGHT_SLIDER, IDC_BRIGHT_VALUE},
                                 std::pair{IDC_CONTRAST_SLIDER, IDC_CONTRAST_VALUE},
                                 std::pair{IDC_CURVE_SLIDER, IDC_CURVE_VALUE}}) {
        if (CSliderCtrl* s = Slider(*this, slider)) s->SetPos(0);
        SetDlgItemText(label, L"0");
    }
    preview_.changed = 1;
}

void CSettingDlg::OnRefreshPreview() {
    if (!preview_.HasGrey() && !preview_.HasColour()) return;
    preview_.changed = 1;
    preview_.rebuildMask = 1;
}
