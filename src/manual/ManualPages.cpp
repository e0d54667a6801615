#include "manual/ManualPages.h"

#include <algorithm>
#include <cwctype>

#include "manual/ManualDlg.h"
#include "manual/ManualResource.h"
#include "platform/core/Numbers.h"
#include "platform/ui/Keys.h"
#include "settings/ManualSetting.h"
#include "settings/SettingsTable.h"

using namespace manual_ids;

namespace {

manual_setting::Values& V() { return ManualSetting::values; }

template <typename T>
T Clamp(T value, T low, T high) {
    return std::min(std::max(value, low), high);
}

bool Checked(const CWnd& page, int id) { return page.IsDlgButtonChecked(id) == BST_CHECKED; }
void Check(CWnd& page, int id, bool on) { page.CheckDlgButton(id, on ? BST_CHECKED : BST_UNCHECKED); }

constexpr UINT_PTR kPreviewTimer = 1;
constexpr UINT kPreviewPeriod = 300;  // ms

// ---- Templates (dialog units; every page is 150 wide) -------------------------

const DialogTemplate kRmbkcolorTemplate = {
    IDD_MANUAL_RMBKCOLOR, L"", 150, 250,
    {
        {0, Ctl::GroupBox, L"去底色", 2, 2, 146, 244},
        {0, Ctl::Static, L"亮度:\n[-50, 150]", 8, 14, 40, 18},
        {bk::IDC_BRIGHTNESS, Ctl::Slider, L"", 48, 14, 76, 14},
        {bk::IDC_BRIGHTNESS_VALUE, Ctl::Static, L"", 126, 16, 20, 10},
        {0, Ctl::Static, L"对比度:[-50,150]", 8, 36, 40, 18},
        {bk::IDC_CONTRAST, Ctl::Slider, L"", 48, 36, 76, 14},
        {bk::IDC_CONTRAST_VALUE, Ctl::Static, L"", 126, 38, 20, 10},
        {0, Ctl::Static, L"调暗曲线:\n[0, 80]", 8, 58, 40, 18},
        {bk::IDC_DARKENING, Ctl::Slider, L"", 48, 58, 76, 14},
        {bk::IDC_DARKENING_VALUE, Ctl::Static, L"", 126, 60, 20, 10},
        {0, Ctl::Static, L"大于以下参数时视为有用彩色像素：", 8, 84, 136, 10},
        {0, Ctl::Static, L"色差 [1, 100]", 8, 100, 60, 10},
        {bk::IDC_DELTA, Ctl::Edit, L"", 72, 98, 40, 13},
        {0, Ctl::Static, L"饱和度 [0, 1]", 8, 118, 60, 10},
        {bk::IDC_SATURATION, Ctl::Edit, L"", 72, 116, 40, 13},
        {0, Ctl::Static, L"去色 (在亮度、对比度、调暗之前执行)：", 8, 140, 138, 10},
        {bk::IDC_KEEP_NONE, Ctl::Radio, L"全部不去", 12, 154, 130, 10, WS_GROUP},
        {bk::IDC_KEEP_RED, Ctl::Radio, L"红色像素不去色，其它的去色", 12, 168, 130, 10},
        {bk::IDC_KEEP_COLOUR, Ctl::Radio, L"彩色像素不去色，其它的去色", 12, 182, 130, 10},
        {bk::IDC_KEEP_ALL, Ctl::Radio, L"全部去色", 12, 196, 130, 10},
        {IDC_APPLY, Ctl::Button, L"应用（A）", 10, 220, 60, 16, WS_GROUP},
        {IDC_DEFAULTS, Ctl::Button, L"默认（D)", 80, 220, 60, 16},
    },
};

const DialogTemplate kCenterTemplate = {
    IDD_MANUAL_CENTER, L"", 150, 150,
    {
        {0, Ctl::GroupBox, L"内容居中", 2, 2, 146, 144},
        {center::IDC_HORIZONTAL, Ctl::CheckBox, L"横向居中", 10, 16, 60, 10},
        {center::IDC_VERTICAL, Ctl::CheckBox, L"竖向居中", 78, 16, 60, 10},
        {0, Ctl::Static, L"检测比例[0.1, 50]", 10, 36, 70, 10},
        {center::IDC_HORIZONTAL_RATIO, Ctl::Edit, L"", 82, 34, 36, 13},
        {0, Ctl::Static, L"%高", 122, 36, 20, 10},
        {0, Ctl::Static, L"检测比例[0.1, 50]", 10, 56, 70, 10},
        {center::IDC_VERTICAL_RATIO, Ctl::Edit, L"", 82, 54, 36, 13},
        {0, Ctl::Static, L"%宽", 122, 56, 20, 10},
        {0, Ctl::Static, L"检测对象", 10, 78, 40, 10},
        {center::IDC_ALL_OBJECTS, Ctl::Radio, L"所有", 54, 78, 36, 10, WS_GROUP},
        {center::IDC_TEXT_ONLY, Ctl::Radio, L"文本", 94, 78, 36, 10},
        {IDC_APPLY, Ctl::Button, L"应用（A）", 10, 110, 60, 16, WS_GROUP},
        {IDC_DEFAULTS, Ctl::Button, L"默认（D)", 80, 110, 60, 16},
    },
};

const DialogTemplate kCorrectTemplate = {
    IDD_MANUAL_CORRECT, L"", 150, 230,
    {
        {0, Ctl::GroupBox, L"校正", 2, 2, 146, 150},
        {0, Ctl::Static, L"旋转角度范围", 10, 16, 60, 10},
        {correct::IDC_ANGLE, Ctl::ComboBox, L"", 10, 28, 128, 60},
        {0, Ctl::Static, L"校正方法", 10, 46, 60, 10},
        {correct::IDC_METHOD, Ctl::ComboBox, L"", 10, 58, 128, 60},
        {0, Ctl::Static, L"旋转填充底色:", 10, 78, 60, 10},
        {correct::IDC_FILL_WHITE, Ctl::Radio, L"白色", 72, 78, 30, 10, WS_GROUP},
        {correct::IDC_FILL_BLACK, Ctl::Radio, L"黑色", 106, 78, 30, 10},
        {0, Ctl::Static, L"校正后宽高：", 10, 94, 60, 10, WS_GROUP},
        {correct::IDC_KEEP_SIZE, Ctl::CheckBox, L"保持原图宽高", 72, 94, 70, 10},
        {0, Ctl::Static, L"分栏：", 10, 110, 30, 10},
        {correct::IDC_ONE_COLUMN, Ctl::Radio, L"无或其它", 42, 110, 46, 10, WS_GROUP},
        {correct::IDC_TWO_COLUMNS, Ctl::Radio, L"等分两栏", 92, 110, 50, 10},
        {IDC_APPLY, Ctl::Button, L"应用（A）", 10, 130, 60, 16, WS_GROUP},
        {IDC_DEFAULTS, Ctl::Button, L"默认（D)", 80, 130, 60, 16},
        {0, Ctl::GroupBox, L"手动校正", 2, 158, 146, 44},
        {correct::IDC_ROTATE_CW, Ctl::Button, L"正旋90度", 10, 174, 60, 16},
        {correct::IDC_ROTATE_CCW, Ctl::Button, L"逆旋90度", 80, 174, 60, 16},
        {correct::IDC_STRAIGHTEN, Ctl::Button, L"拉直线", 10, 206, 60, 16, WS_HIDDEN},
    },
};

const DialogTemplate kCutedgeTemplate = {
    IDD_MANUAL_CUTEDGE, L"", 150, 300,
    {
        {0, Ctl::GroupBox, L"根据背景色切4个边 (选中的颜色的区域不切掉）", 2, 2, 146, 140},
        {0, Ctl::Static, L"选纸张背景色，文字颜色也可以选，可多选", 8, 14, 138, 10},
        {cutedge::IDC_RED, Ctl::CheckBox, L"红", 10, 28, 30, 10},
        {cutedge::IDC_YELLOW, Ctl::CheckBox, L"黄", 44, 28, 30, 10},
        {cutedge::IDC_GREEN, Ctl::CheckBox, L"绿", 78, 28, 30, 10},
        {cutedge::IDC_CYAN, Ctl::CheckBox, L"青", 112, 28, 30, 10},
        {cutedge::IDC_BLUE, Ctl::CheckBox, L"蓝", 10, 42, 30, 10},
        {cutedge::IDC_PURPLE, Ctl::CheckBox, L"紫", 44, 42, 30, 10},
        {cutedge::IDC_WHITE, Ctl::CheckBox, L"白", 78, 42, 30, 10},
        {cutedge::IDC_BLACK, Ctl::CheckBox, L"黑", 112, 42, 30, 10},
        {0, Ctl::Static, L"保留边距", 10, 60, 36, 10},
        {cutedge::IDC_COLOUR_MARGIN, Ctl::Edit, L"", 48, 58, 36, 13},
        {cutedge::IDC_COLOUR_UNIT, Ctl::ComboBox, L"", 88, 58, 50, 60},
        {0, Ctl::Static, L"有效比例小于", 10, 80, 50, 10},
        {cutedge::IDC_COLOUR_RATIO, Ctl::Edit, L"", 62, 78, 30, 13},
        {0, Ctl::Static, L"%  时切掉 [0.1, 100]", 94, 80, 52, 20},
        {cutedge::IDC_COLOUR_APPLY, Ctl::Button, L"应用（A）", 10, 110, 60, 16},
        {cutedge::IDC_COLOUR_DEFAULTS, Ctl::Button, L"默认（D)", 80, 110, 60, 16},
        {0, Ctl::GroupBox, L"白纸黑字切白边", 2, 150, 146, 146},
        {0, Ctl::Static, L"检测比例范围[0.1，80]", 8, 164, 80, 10},
        {cutedge::IDC_WHITE_RATIO, Ctl::Edit, L"", 90, 162, 30, 13},
        {0, Ctl::Static, L"%(宽或高)", 122, 164, 24, 20},
        {0, Ctl::Static, L"保留边距", 10, 184, 36, 10},
        {cutedge::IDC_WHITE_UNIT, Ctl::ComboBox, L"", 48, 182, 50, 60},
        {0, Ctl::Static, L"左", 10, 204, 10, 10},
        {cutedge::IDC_LEFT, Ctl::Edit, L"", 22, 202, 40, 13},
        {0, Ctl::Static, L"右", 76, 204, 10, 10},
        {cutedge::IDC_RIGHT, Ctl::Edit, L"", 88, 202, 40, 13},
        {0, Ctl::Static, L"上", 10, 224, 10, 10},
        {cutedge::IDC_TOP, Ctl::Edit, L"", 22, 222, 40, 13},
        {0, Ctl::Static, L"下", 76, 224, 10, 10},
        {cutedge::IDC_BOTTOM, Ctl::Edit, L"", 88, 222, 40, 13},
        {cutedge::IDC_WHITE_APPLY, Ctl::Button, L"应用 [A]", 10, 250, 60, 16},
        {cutedge::IDC_WHITE_DEFAULTS, Ctl::Button, L"默认 [D]", 80, 250, 60, 16},
    },
};

const DialogTemplate kRmblackboardTemplate = {
    IDD_MANUAL_RMBLACKBOARD, L"", 150, 120,
    {
        {0, Ctl::GroupBox, L"去除在黑色背景板上扫的图片的黑边", 2, 2, 146, 114},
        {0, Ctl::Static, L"辐射范围([0,20]):", 8, 18, 66, 10},
        {board::IDC_RADIATION, Ctl::Edit, L"", 76, 16, 36, 13},
        {0, Ctl::Static, L"像素", 116, 18, 24, 10},
        {0, Ctl::Static, L"检测宽度:", 8, 38, 66, 10},
        {board::IDC_WIDTH, Ctl::Edit, L"", 76, 36, 36, 13},
        {0, Ctl::Static, L"像素", 116, 38, 24, 10},
        {board::IDC_COLOUR_BLACK, Ctl::CheckBox, L"彩色像素也算黑底", 8, 58, 100, 10},
        {IDC_APPLY, Ctl::Button, L"应用（A）", 10, 84, 60, 16},
        {IDC_DEFAULTS, Ctl::Button, L"默认（D)", 80, 84, 60, 16},
    },
};

const DialogTemplate kRmstainsTemplate = {
    IDD_MANUAL_RMSTAINS, L"", 150, 120,
    {
        {0, Ctl::GroupBox, L"去黑边、污点", 2, 2, 146, 114},
        {stains::IDC_STAINS, Ctl::CheckBox, L"去污点", 10, 16, 50, 10},
        {stains::IDC_BORDERS, Ctl::CheckBox, L"去黑边", 70, 16, 50, 10},
        {0, Ctl::Static, L"内容阈值([0, 254])，小于", 8, 36, 86, 10},
        {stains::IDC_THRESHOLD, Ctl::Edit, L"", 96, 34, 30, 13},
        {0, Ctl::Static, L"表示内容", 8, 50, 60, 10},
        {0, Ctl::Static, L"污点面积小于", 8, 66, 50, 10},
        {stains::IDC_AREA, Ctl::Edit, L"", 60, 64, 36, 13},
        {0, Ctl::Static, L"平方毫米", 100, 66, 40, 10},
        {IDC_APPLY, Ctl::Button, L"应用（A）", 10, 90, 60, 16},
        {IDC_DEFAULTS, Ctl::Button, L"默认（D)", 80, 90, 60, 16},
    },
};

const DialogTemplate kBindHoleTemplate = {
    IDD_MANUAL_BINDHOLE, L"", 150, 198,
    {
        {0, Ctl::GroupBox, L"去装订孔（黑白和彩色图片的黑或白色的装订孔）", 2, 2, 146, 192},
        {0, Ctl::Static, L"检测的范围 (单位: %宽或高):", 8, 22, 136, 10},
        {0, Ctl::Static, L"左", 10, 38, 10, 10},
        {hole::IDC_LEFT, Ctl::Edit, L"", 22, 36, 36, 13},
        {0, Ctl::Static, L"右", 76, 38, 10, 10},
        {hole::IDC_RIGHT, Ctl::Edit, L"", 88, 36, 36, 13},
        {0, Ctl::Static, L"上", 10, 56, 10, 10},
        {hole::IDC_TOP, Ctl::Edit, L"", 22, 54, 36, 13},
        {0, Ctl::Static, L"下", 76, 56, 10, 10},
        {hole::IDC_BOTTOM, Ctl::Edit, L"", 88, 54, 36, 13},
        {0, Ctl::Static, L"面积范围", 8, 76, 36, 10},
        {hole::IDC_AREA_MIN, Ctl::Edit, L"", 46, 74, 26, 13},
        {0, Ctl::Static, L"到", 74, 76, 10, 10},
        {hole::IDC_AREA_MAX, Ctl::Edit, L"", 86, 74, 26, 13},
        {0, Ctl::Static, L"平方毫米", 114, 76, 34, 10},
        {0, Ctl::Static, L"装订孔阈值", 8, 96, 40, 10},
        {hole::IDC_GREY_LOW, Ctl::Edit, L"", 50, 94, 24, 13},
        {0, Ctl::Static, L"到", 76, 96, 10, 10},
        {hole::IDC_GREY_HIGH, Ctl::Edit, L"", 88, 94, 24, 13},
        {0, Ctl::Static, L"范围[0, 255]", 8, 110, 60, 10},
        {0, Ctl::Static, L"辐射半径", 8, 128, 36, 10},
        {hole::IDC_RADIUS, Ctl::Edit, L"", 46, 126, 26, 13},
        {0, Ctl::Static, L"毫米", 76, 128, 20, 10},
        {0, Ctl::Static, L"忽略4边的两端", 8, 148, 56, 10},
        {hole::IDC_IGNORE, Ctl::Edit, L"", 66, 146, 26, 13},
        {0, Ctl::Static, L"% 宽或高", 96, 148, 40, 10},
        {IDC_APPLY, Ctl::Button, L"应用（A）", 10, 170, 60, 16},
        {IDC_DEFAULTS, Ctl::Button, L"默认（D)", 80, 170, 60, 16},
    },
};

const DialogTemplate kAutocontrastTemplate = {
    IDD_MANUAL_AUTOCONTRAST, L"", 150, 100,
    {
        {0, Ctl::GroupBox, L"自动对比度", 2, 2, 146, 94},
        {0, Ctl::Static, L"阴影剪贴", 10, 20, 40, 10},
        {contrast::IDC_SHADOW, Ctl::Edit, L"", 54, 18, 40, 13},
        {0, Ctl::Static, L"%", 98, 20, 10, 10},
        {0, Ctl::Static, L"高光剪贴", 10, 40, 40, 10},
        {contrast::IDC_HIGHLIGHT, Ctl::Edit, L"", 54, 38, 40, 13},
        {0, Ctl::Static, L"%", 98, 40, 10, 10},
        {IDC_APPLY, Ctl::Button, L"应用（A）", 10, 66, 60, 16},
        {IDC_DEFAULTS, Ctl::Button, L"默认（D)", 80, 66, 60, 16},
    },
};

const DialogTemplate kEraseTemplate = {
    IDD_MANUAL_ERASE, L"", 150, 130,
    {
        {erase::IDC_PICK, Ctl::Radio, L"从图中取色", 10, 8, 80, 12, WS_GROUP},
        {erase::IDC_INSIDE, Ctl::Radio, L"去除框内", 10, 24, 80, 12},
        {erase::IDC_OUTSIDE, Ctl::Radio, L"去除框外", 10, 40, 80, 12},
        {erase::IDC_ERASER_BG, Ctl::Radio, L"背景色橡皮擦", 10, 56, 80, 12, WS_HIDDEN | WS_DISABLED},
        {erase::IDC_ERASER_SMART, Ctl::Radio, L"智能橡皮擦", 10, 72, 80, 12, WS_HIDDEN | WS_DISABLED},
        {0, Ctl::Static, L"橡皮擦大小：", 10, 88, 50, 10, WS_HIDDEN | WS_GROUP},
        {erase::IDC_ERASER_SIZE, Ctl::Slider, L"", 60, 86, 80, 14, WS_HIDDEN | WS_DISABLED},
        {0, Ctl::Static, L"背景色：", 10, 60, 36, 10},
        {erase::IDC_SWATCH, Ctl::Static, L"", 50, 56, 40, 16, SS_NOTIFY | SS_SUNKEN},
        {IDC_DEFAULTS, Ctl::Button, L"默认（D)", 10, 84, 60, 16},
    },
};

const DialogTemplate kTailTemplate = {
    IDD_MANUAL_TAIL, L"", 150, 40,
    {
        {0, Ctl::Static, L"框外的部分将被裁剪掉", 10, 10, 130, 12},
    },
};

const DialogTemplate kOutputSizeTemplate = {
    IDD_MANUAL_OUTPUTSIZE, L"", 150, 190,
    {
        {0, Ctl::GroupBox, L"输出尺寸设置", 2, 2, 146, 184},
        {output::IDC_AS_RESULT, Ctl::Radio, L"按实际结果", 10, 16, 80, 10, WS_GROUP},
        {output::IDC_PAPER, Ctl::Radio, L"按纸张尺寸", 10, 30, 80, 10, WS_HIDDEN | WS_DISABLED},
        {output::IDC_FIXED, Ctl::Radio, L"固定像素", 10, 30, 80, 10},
        {output::IDC_PAPER_LIST, Ctl::ComboBox, L"", 90, 14, 50, 60, WS_HIDDEN | WS_GROUP},
        {0, Ctl::Static, L"宽", 20, 48, 10, 10},
        {output::IDC_WIDTH, Ctl::Edit, L"", 32, 46, 40, 13},
        {0, Ctl::Static, L"高", 80, 48, 10, 10},
        {output::IDC_HEIGHT, Ctl::Edit, L"", 92, 46, 40, 13},
        {0, Ctl::Static, L"提示：如果选择的不是 “按实际结果”，将会把图片尺寸按照设置的输出", 8, 66, 138, 30},
        {0, Ctl::Static, L"JPG保存质量", 8, 104, 50, 10},
        {output::IDC_QUALITY, Ctl::Slider, L"", 58, 102, 64, 14},
        {output::IDC_QUALITY_VALUE, Ctl::Static, L"", 124, 104, 20, 10},
        {IDC_APPLY, Ctl::Button, L"保存(A)", 10, 140, 60, 16},
        {IDC_DEFAULTS, Ctl::Button, L"默认（D)", 80, 140, 60, 16},
    },
};

}  // namespace

// ---- Shared -------------------------------------------------------------------

CManualPage::CManualPage(const DialogTemplate& dialogTemplate, bool filtersKeys)
    : CDialog(dialogTemplate), filtersKeys_(filtersKeys) {}

CManualOptionPage::CManualOptionPage(const DialogTemplate& dialogTemplate) : CManualPage(dialogTemplate, true) {
    MapCommand(IDC_APPLY, BN_CLICKED, [this] { OnApply(); });
    MapCommand(IDC_DEFAULTS, BN_CLICKED, [this] { OnDefaults(); });
}

bool CManualPage::OnInitDialog() {
    CDialog::OnInitDialog();
    Refresh();
    return true;
}

CManualDlg* CManualPage::Manual() const { return dynamic_cast<CManualDlg*>(GetParent()); }

void CManualPage::Add(std::unique_ptr<ManualOperation> operation) {
    if (CManualDlg* manual = Manual()) manual->AddOperation(std::move(operation));
}

// Esc in a page closes the manual window, as it would on the window itself.
void CManualPage::OnCancel() {
    if (CManualDlg* manual = Manual()) manual->OnCancel();
}

bool CManualPage::PreTranslateMessage(MSG* msg) {
    if (filtersKeys_ && FilterManualKey(*this, msg, Manual())) return true;
    return CDialog::PreTranslateMessage(msg);
}

bool FilterManualKey(CWnd&, MSG* msg, CManualDlg* manual) {
    if (!msg || msg->message != WM_KEYUP || !manual) return false;
    CWnd* focus = CWnd::GetFocus();
    if (focus && focus->GetClassName() == L"Edit") return false;
    // Ctrl as held when the key went down: Ctrl+S with Ctrl let go first is
    // still save-as, never a save over the source.
    manual->OnKey(static_cast<UINT>(msg->wParam), CtrlAtKeyDown(*msg));
    return true;
}

// ---- Background colour ----------------------------------------------------------

CManualRmbkcolorPage::CManualRmbkcolorPage() : CManualOptionPage(kRmbkcolorTemplate) {
    for (int id : {bk::IDC_KEEP_NONE, bk::IDC_KEEP_RED, bk::IDC_KEEP_COLOUR, bk::IDC_KEEP_ALL})
        MapCommand(id, BN_CLICKED, [this] { OnKeepModeClicked(); });
    for (int id : {bk::IDC_DELTA, bk::IDC_SATURATION}) MapCommand(id, EN_CHANGE, [this] { rebuildMask_ = true; });
}

bool CManualRmbkcolorPage::OnInitDialog() {
    CManualPage::OnInitDialog();
    previewPending_ = false;
    rebuildMask_ = true;
    SetTimer(kPreviewTimer, kPreviewPeriod);
    return true;
}

void CManualRmbkcolorPage::Refresh() {
    const auto& v = V().rmbkcolor;
    struct Slider {
        int id, valueId, low, high, position;
    };
    const Slider sliders[] = {{bk::IDC_BRIGHTNESS, bk::IDC_BRIGHTNESS_VALUE, -50, 150, v.brightness},
                              {bk::IDC_CONTRAST, bk::IDC_CONTRAST_VALUE, -50, 150, v.contrast},
                              {bk::IDC_DARKENING, bk::IDC_DARKENING_VALUE, 0, 80, v.darkening}};
    for (const Slider& s : sliders) {
        if (auto* slider = dynamic_cast<CSliderCtrl*>(GetDlgItem(s.id))) {
            slider->SetRange(s.low, s.high);
            slider->SetPos(s.position);
            SetDlgItemInt(s.valueId, slider->GetPos());
        }
    }
    SetDlgItemInt(bk::IDC_DELTA, v.colourDelta);
    SetDlgItemFloat(bk::IDC_SATURATION, v.saturation, L"%.2f");
    const int radios[] = {bk::IDC_KEEP_NONE, bk::IDC_KEEP_RED, bk::IDC_KEEP_COLOUR, bk::IDC_KEEP_ALL};
    for (int i = 0; i < 4; ++i) Check(*this, radios[i], v.keepMode == i);
}

std::int32_t CManualRmbkcolorPage::CheckedKeepMode() const {
    const int radios[] = {bk::IDC_KEEP_NONE, bk::IDC_KEEP_RED, bk::IDC_KEEP_COLOUR, bk::IDC_KEEP_ALL};
    for (int i = 0; i < 4; ++i)
        if (Checked(*this, radios[i])) return i;
    return -1;
}

void CManualRmbkcolorPage::OnKeepModeClicked() {
    previewPending_ = true;
    rebuildMask_ = true;
}

void CManualRmbkcolorPage::OnHScroll(UINT, UINT, CWnd* control) {
    if (!control) return;
    const int id = control->GetDlgCtrlID();
    const int valueId = id == bk::IDC_BRIGHTNESS ? bk::IDC_BRIGHTNESS_VALUE
                        : id == bk::IDC_CONTRAST ? bk::IDC_CONTRAST_VALUE
                        : id == bk::IDC_DARKENING ? bk::IDC_DARKENING_VALUE
                                                  : 0;
    if (!valueId) return;
    if (auto* slider = dynamic_cast<CSliderCtrl*>(control)) SetDlgItemInt(valueId, slider->GetPos());
    previewPending_ = true;
}

namespace {
int SliderPos(const CWnd& page, int id) {
    auto* slider = dynamic_cast<CSliderCtrl*>(page.GetDlgItem(id));
    return slider ? slider->GetPos() : 0;
}
}  // namespace

void CManualRmbkcolorPage::OnTimer(UINT_PTR id) {
    if (id != kPreviewTimer) {
        CManualPage::OnTimer(id);
        return;
    }
    if (!previewPending_) return;
    RmBkColorOpParams p;
    p.keepMode = 0;
    p.brightness = SliderPos(*this, bk::IDC_BRIGHTNESS);
    p.contrast = SliderPos(*this, bk::IDC_CONTRAST);
    p.darkening = SliderPos(*this, bk::IDC_DARKENING);
    p.colourDelta = std::max(1, std::min(100, GetDlgItemInt(bk::IDC_DELTA)));
    const double saturation = GetDlgItemFloat(bk::IDC_SATURATION);
    p.saturation = saturation < 0.0 || saturation > 1.0 ? 1.0f : static_cast<float>(saturation);
    p.keepRadius = V().rmbkcolor.keepRadius;
    const std::int32_t mode = CheckedKeepMode();
    if (mode >= 0) p.keepMode = mode;
    p.rebuildMask = rebuildMask_ ? 1 : 0;
    if (CManualDlg* manual = Manual()) manual->PreviewOperation(ManualOperation(OpRmBkColor, L"去底色", p));
    previewPending_ = false;
    rebuildMask_ = false;
}

void CManualRmbkcolorPage::OnApply() {
    auto& v = V().rmbkcolor;
    v.brightness = SliderPos(*this, bk::IDC_BRIGHTNESS);
    v.contrast = SliderPos(*this, bk::IDC_CONTRAST);
    v.darkening = SliderPos(*this, bk::IDC_DARKENING);
    const int delta = GetDlgItemInt(bk::IDC_DELTA);
    if (delta < 1 || delta > 100) {
        MessageBox(L"色差范围为0到100.", kDefaultCaption, MB_OK);
        return;
    }
    v.colourDelta = delta;
    const double saturation = GetDlgItemFloat(bk::IDC_SATURATION);
    if (saturation > 1.0 || saturation < 0.0) {
        MessageBox(L"饱和度范围[0,1].", kDefaultCaption, MB_OK);
        return;
    }
    v.saturation = static_cast<float>(saturation);
    const std::int32_t mode = CheckedKeepMode();
    if (mode >= 0) v.keepMode = mode;
    RmBkColorOpParams p;
    p.brightness = v.brightness;
    p.contrast = v.contrast;
    p.darkening = v.darkening;
    p.colourDelta = v.colourDelta;
    p.saturation = v.saturation;
    p.keepRadius = v.keepRadius;
    p.keepMode = v.keepMode;
    p.rebuildMask = 1;
    Add(std::make_unique<ManualOperation>(OpRmBkColor, L"去底色", p));
}

void CManualRmbkcolorPage::OnDefaults() {
    auto& v = V().rmbkcolor;
    const std::int32_t keepMode = v.keepMode;  // the defaults leave it
    v = manual_setting::RmBkColor{};
    v.keepRadius = 3.0f;
    v.keepMode = keepMode;
    Refresh();
}

void CManualRmbkcolorPage::EnableColourControls(bool enable) {
    for (int id : {bk::IDC_DELTA, bk::IDC_SATURATION, bk::IDC_KEEP_NONE, bk::IDC_KEEP_RED, bk::IDC_KEEP_COLOUR,
                   bk::IDC_KEEP_ALL})
        if (CWnd* item = GetDlgItem(id)) item->EnableWindow(enable);
}

// ---- Centring -------------------------------------------------------------------------

CManualCenterPage::CManualCenterPage() : CManualOptionPage(kCenterTemplate) {}

void CManualCenterPage::Refresh() {
    const auto& v = V().center;
    Check(*this, center::IDC_HORIZONTAL, (v.directionFlags & 1) != 0);
    Check(*this, center::IDC_VERTICAL, (v.directionFlags & 2) != 0);
    SetDlgItemFloat(center::IDC_HORIZONTAL_RATIO, v.horizontalRatio, L"%.1f");
    SetDlgItemFloat(center::IDC_VERTICAL_RATIO, v.verticalRatio, L"%.1f");
    Check(*this, center::IDC_ALL_OBJECTS, v.allObjects != 0);
    Check(*this, center::IDC_TEXT_ONLY, v.allObjects == 0);
}

void CManualCenterPage::OnApply() {
    auto& v = V().center;
    v.horizontalRatio = Clamp(static_cast<float>(GetDlgItemFloat(center::IDC_HORIZONTAL_RATIO)), 0.1f, 50.0f);
    v.verticalRatio = Clamp(static_cast<float>(GetDlgItemFloat(center::IDC_VERTICAL_RATIO)), 0.1f, 50.0f);
    v.directionFlags = (Checked(*this, center::IDC_HORIZONTAL) ? 1 : 0) | (Checked(*this, center::IDC_VERTICAL) ? 2 : 0);
    v.allObjects = Checked(*this, center::IDC_ALL_OBJECTS) ? 1 : 0;
    CenterOpParams p;
    p.directionFlags = v.directionFlags;
    p.horizontalRatio = v.horizontalRatio;
    p.verticalRatio = v.verticalRatio;
    p.allObjects = v.allObjects;
    Add(std::make_unique<ManualOperation>(OpCenter, L"居中", p));
}

void CManualCenterPage::OnDefaults() {
    V().center = manual_setting::Center{};
    Refresh();
}

// ---- Deskew -----------------------------------------------------------------------------

CManualCorrectPage::CManualCorrectPage() : CManualOptionPage(kCorrectTemplate) {
    MapCommand(correct::IDC_ROTATE_CW, BN_CLICKED, [this] { OnRotate(true); });
    MapCommand(correct::IDC_ROTATE_CCW, BN_CLICKED, [this] { OnRotate(false); });
}

bool CManualCorrectPage::OnInitDialog() {
    if (auto* angle = dynamic_cast<CComboBox*>(GetDlgItem(correct::IDC_ANGLE)))
        for (const wchar_t* text : {L"-5度到5度(推荐)", L"-15度到15度", L"-30度到30度"}) angle->AddString(text);
    if (auto* method = dynamic_cast<CComboBox*>(GetDlgItem(correct::IDC_METHOD)))
        for (const wchar_t* text : {L"校正方法1(推荐)", L"校正方法2", L"校正方法3"}) method->AddString(text);
    return CManualPage::OnInitDialog();
}

void CManualCorrectPage::Refresh() {
    const auto& v = V().correct;
    if (auto* angle = dynamic_cast<CComboBox*>(GetDlgItem(correct::IDC_ANGLE))) {
        int item = 2;
        if (v.maxAngle < 6)
            item = 0;
        else if (v.maxAngle <= 15)
            item = 1;
        else if (v.maxAngle > 30)
            item = 0;
        angle->SetCurSel(item);
    }
    if (auto* method = dynamic_cast<CComboBox*>(GetDlgItem(correct::IDC_METHOD)))
        if (v.method >= 0 && v.method <= 2) method->SetCurSel(v.method);
    Check(*this, correct::IDC_FILL_WHITE, v.fillWhite != 0);
    Check(*this, correct::IDC_FILL_BLACK, v.fillWhite == 0);
    Check(*this, correct::IDC_KEEP_SIZE, v.keepSize != 0);
    Check(*this, correct::IDC_ONE_COLUMN, v.twoColumns == 0);
    Check(*this, correct::IDC_TWO_COLUMNS, v.twoColumns != 0);
}

void CManualCorrectPage::OnApply() {
    auto& v = V().correct;
    const auto* angle = dynamic_cast<CComboBox*>(GetDlgItem(correct::IDC_ANGLE));
    const int angleItem = angle ? angle->GetCurSel() : -1;
    v.maxAngle = angleItem == 1 ? 15 : angleItem == 2 ? 30 : 5;
    const auto* method = dynamic_cast<CComboBox*>(GetDlgItem(correct::IDC_METHOD));
    v.method = method ? method->GetCurSel() : -1;
    v.fillWhite = Checked(*this, correct::IDC_FILL_BLACK) ? 0 : 1;
    v.keepSize = Checked(*this, correct::IDC_KEEP_SIZE) ? 1 : 0;
    v.twoColumns = Checked(*this, correct::IDC_TWO_COLUMNS) ? 1 : 0;
    CorrectOpParams p;
    p.maxAngle = v.maxAngle;
    p.method = v.method;
    p.fillWhite = v.fillWhite;
    p.keepSize = v.keepSize;
    p.twoColumns = v.twoColumns;
    Add(std::make_unique<ManualOperation>(OpCorrect, L"校正", p));
}

void CManualCorrectPage::OnDefaults() {
    V().correct = manual_setting::Correct{};
    V().output.jpegQuality = 85;
    Refresh();
}

void CManualCorrectPage::OnRotate(bool clockwise) {
    Rotate90OpParams p;
    p.angle = clockwise ? 90 : -90;
    p.direction = clockwise ? 0 : 1;
    Add(std::make_unique<ManualOperation>(OpRotate90, clockwise ? L"顺时针旋转90" : L"逆时针旋转90度", p));
}

// ---- Edges --------------------------------------------------------------------------------

namespace {
const int kColourChecks[8] = {cutedge::IDC_RED,  cutedge::IDC_YELLOW, cutedge::IDC_GREEN, cutedge::IDC_CYAN,
                              cutedge::IDC_BLUE, cutedge::IDC_PURPLE, cutedge::IDC_BLACK, cutedge::IDC_WHITE};
const int kMarginEdits[4] = {cutedge::IDC_LEFT, cutedge::IDC_RIGHT, cutedge::IDC_TOP, cutedge::IDC_BOTTOM};
}  // namespace

CManualCutedgePage::CManualCutedgePage() : CManualPage(kCutedgeTemplate, true) {
    MapCommand(cutedge::IDC_COLOUR_APPLY, BN_CLICKED, [this] { OnColourApply(); });
    MapCommand(cutedge::IDC_COLOUR_DEFAULTS, BN_CLICKED, [this] { OnColourDefaults(); });
    MapCommand(cutedge::IDC_WHITE_APPLY, BN_CLICKED, [this] { OnWhiteApply(); });
    MapCommand(cutedge::IDC_WHITE_DEFAULTS, BN_CLICKED, [this] { OnWhiteDefaults(); });
    MapCommand(cutedge::IDC_WHITE_UNIT, CBN_SELCHANGE, [this] { OnWhiteUnitChanged(); });
}

bool CManualCutedgePage::OnInitDialog() {
    for (int id : {cutedge::IDC_COLOUR_UNIT, cutedge::IDC_WHITE_UNIT})
        if (auto* unit = dynamic_cast<CComboBox*>(GetDlgItem(id)))
            for (const wchar_t* text : {L"像素", L"毫米"}) unit->AddString(text);
    return CManualPage::OnInitDialog();
}

void CManualCutedgePage::Refresh() {
    const auto& c = V().cutByBkColor;
    for (int i = 0; i < 8; ++i) Check(*this, kColourChecks[i], c.colours[static_cast<std::size_t>(i)] != 0);
    SetDlgItemFloat(cutedge::IDC_COLOUR_MARGIN, c.margin, L"%.1f");
    if (auto* unit = dynamic_cast<CComboBox*>(GetDlgItem(cutedge::IDC_COLOUR_UNIT))) unit->SetCurSel(c.unit);
    SetDlgItemFloat(cutedge::IDC_COLOUR_RATIO, c.contentRatio, L"%.1f");
    const auto& w = V().cutWhite;
    SetDlgItemFloat(cutedge::IDC_WHITE_RATIO, w.ratio, L"%.1f");
    if (auto* unit = dynamic_cast<CComboBox*>(GetDlgItem(cutedge::IDC_WHITE_UNIT))) unit->SetCurSel(w.unit == 0 ? 0 : 1);
    ShowWhiteMargins();
}

void CManualCutedgePage::ShowWhiteMargins() {
    const auto& w = V().cutWhite;
    for (int i = 0; i < 4; ++i) {
        const std::size_t k = static_cast<std::size_t>(i);
        if (w.unit == 0)
            SetDlgItemInt(kMarginEdits[i], w.pixels[k]);
        else
            SetDlgItemFloat(kMarginEdits[i], w.millimetres[k], L"%.1f");
    }
}

void CManualCutedgePage::OnWhiteUnitChanged() {
    if (const auto* unit = dynamic_cast<CComboBox*>(GetDlgItem(cutedge::IDC_WHITE_UNIT))) {
        V().cutWhite.unit = unit->GetCurSel();
        ShowWhiteMargins();
    }
}

void CManualCutedgePage::OnColourApply() {
    auto& c = V().cutByBkColor;
    for (int i = 0; i < 8; ++i) c.colours[static_cast<std::size_t>(i)] = Checked(*this, kColourChecks[i]) ? 1 : 0;
    c.margin = std::max(0.0f, static_cast<float>(GetDlgItemFloat(cutedge::IDC_COLOUR_MARGIN)));
    if (const auto* unit = dynamic_cast<CComboBox*>(GetDlgItem(cutedge::IDC_COLOUR_UNIT))) c.unit = unit->GetCurSel();
    c.contentRatio = Clamp(static_cast<float>(GetDlgItemFloat(cutedge::IDC_COLOUR_RATIO)), 0.1f, 100.0f);
    cutting::CutByBkColorParams p;
    p.red = c.colours[0];
    p.yellow = c.colours[1];
    p.green = c.colours[2];
    p.cyan = c.colours[3];
    p.blue = c.colours[4];
    p.purple = c.colours[5];
    p.black = c.colours[6];
    p.white = c.colours[7];
    p.marginUnit = c.unit;
    p.margin = c.margin;
    p.contentRatio = c.contentRatio;
    p.skipNearWhite = 0;
    Add(std::make_unique<ManualOperation>(OpCutByBkColor, L"背景色切边", p));
}

void CManualCutedgePage::OnColourDefaults() {
    V().cutByBkColor = manual_setting::CutByBkColor{};
    Refresh();
}

void CManualCutedgePage::OnWhiteApply() {
    auto& w = V().cutWhite;
    w.ratio = Clamp(static_cast<float>(GetDlgItemFloat(cutedge::IDC_WHITE_RATIO)), 0.1f, 80.0f);
    if (const auto* unit = dynamic_cast<CComboBox*>(GetDlgItem(cutedge::IDC_WHITE_UNIT))) w.unit = unit->GetCurSel();
    float margins[4];
    for (int i = 0; i < 4; ++i) {
        const std::size_t k = static_cast<std::size_t>(i);
        if (w.unit == 0) {
            w.pixels[k] = GetDlgItemInt(kMarginEdits[i]);
            margins[i] = static_cast<float>(w.pixels[k]);
        } else {
            w.millimetres[k] = static_cast<float>(GetDlgItemFloat(kMarginEdits[i]));
            margins[i] = w.millimetres[k];
        }
    }
    CutWhiteOpParams p;
    p.ratio = w.ratio;
    p.unit = w.unit == 0 ? 0 : 1;
    p.left = margins[0];
    p.right = margins[1];
    p.top = margins[2];
    p.bottom = margins[3];
    Add(std::make_unique<ManualOperation>(OpCutWhite, L"切白边", p));
}

void CManualCutedgePage::OnWhiteDefaults() {
    V().cutWhite = manual_setting::CutWhite{};
    Refresh();
}

// ---- Black board ----------------------------------------------------------------------------

CManualRmblackboardPage::CManualRmblackboardPage() : CManualOptionPage(kRmblackboardTemplate) {}

void CManualRmblackboardPage::Refresh() {
    const auto& v = V().rmblackboard;
    SetDlgItemInt(board::IDC_RADIATION, v.radiation);
    SetDlgItemInt(board::IDC_WIDTH, v.width);
    Check(*this, board::IDC_COLOUR_BLACK, v.colourPixelsAreBlack != 0);
}

void CManualRmblackboardPage::OnApply() {
    auto& v = V().rmblackboard;
    v.radiation = Clamp(GetDlgItemInt(board::IDC_RADIATION), 1, 20);
    v.width = Clamp(GetDlgItemInt(board::IDC_WIDTH), 1, 100);
    v.colourPixelsAreBlack = Checked(*this, board::IDC_COLOUR_BLACK) ? 1 : 0;
    RmBlackBoardOpParams p;
    p.radiation = v.radiation;
    p.width = v.width;
    p.colourPixelsAreBlack = v.colourPixelsAreBlack;
    Add(std::make_unique<ManualOperation>(OpRmBlackBoard, L"去黑底", p));
}

void CManualRmblackboardPage::OnDefaults() {
    V().rmblackboard = manual_setting::RmBlackBoard{};
    Refresh();
}

// ---- Stains and borders -------------------------------------------------------------------------

CManualRmstainsPage::CManualRmstainsPage() : CManualOptionPage(kRmstainsTemplate) {}

void CManualRmstainsPage::Refresh() {
    const auto& v = V().rmstains;
    Check(*this, stains::IDC_STAINS, v.stains != 0);
    Check(*this, stains::IDC_BORDERS, v.borders != 0);
    SetDlgItemInt(stains::IDC_THRESHOLD, v.threshold);
    SetDlgItemFloat(stains::IDC_AREA, v.area, L"%.2f");
}

void CManualRmstainsPage::OnApply() {
    auto& v = V().rmstains;
    v.area = std::max(0.0f, static_cast<float>(GetDlgItemFloat(stains::IDC_AREA)));
    v.threshold = Clamp(GetDlgItemInt(stains::IDC_THRESHOLD), 0, 254);
    v.stains = Checked(*this, stains::IDC_STAINS) ? 1 : 0;
    v.borders = Checked(*this, stains::IDC_BORDERS) ? 1 : 0;
    if (!v.stains && !v.borders) {
        MessageBox(L"至少选择一种操作.", kDefaultCaption, MB_OK);
        return;
    }
    RmStainsOpParams p;
    p.area = v.area;
    p.threshold = v.threshold;
    p.stains = v.stains;
    p.borders = v.borders;
    Add(std::make_unique<ManualOperation>(OpRmStains, L"去黑边或污点", p));
}

void CManualRmstainsPage::OnDefaults() {
    V().rmstains = manual_setting::RmStains{};
    Refresh();
}

// ---- Binding holes ---------------------------------------------------------------------------------

namespace {
struct HoleField {
    int id;
    std::int32_t manual_setting::BindHole::*value;
};
const HoleField kHoleFields[] = {
    {hole::IDC_LEFT, &manual_setting::BindHole::left},
    {hole::IDC_RIGHT, &manual_setting::BindHole::right},
    {hole::IDC_TOP, &manual_setting::BindHole::top},
    {hole::IDC_BOTTOM, &manual_setting::BindHole::bottom},
    {hole::IDC_AREA_MIN, &manual_setting::BindHole::smallestArea},
    {hole::IDC_AREA_MAX, &manual_setting::BindHole::largestArea},
    {hole::IDC_GREY_LOW, &manual_setting::BindHole::greyLow},
    {hole::IDC_GREY_HIGH, &manual_setting::BindHole::greyHigh},
    {hole::IDC_RADIUS, &manual_setting::BindHole::radius},
    {hole::IDC_IGNORE, &manual_setting::BindHole::ignoreCorners},
};
}  // namespace

CManualBindHolePage::CManualBindHolePage() : CManualOptionPage(kBindHoleTemplate) {}

void CManualBindHolePage::Refresh() {
    for (const HoleField& f : kHoleFields) SetDlgItemInt(f.id, V().bindhole.*f.value);
}

void CManualBindHolePage::OnApply() {
    auto& v = V().bindhole;
    for (const HoleField& f : kHoleFields) v.*f.value = GetDlgItemInt(f.id);
    BindHoleOptions p;
    p.SetDefaults();
    p.on = 1;
    p.left = v.left;
    p.right = v.right;
    p.top = v.top;
    p.bottom = v.bottom;
    p.smallestArea = v.smallestArea;
    p.largestArea = v.largestArea;
    p.greyLow = v.greyLow;
    p.greyHigh = v.greyHigh;
    p.radius = v.radius;
    p.ignoreCorners = v.ignoreCorners;
    Add(std::make_unique<ManualOperation>(OpBindHole, L"装订孔", p));
}

void CManualBindHolePage::OnDefaults() {
    V().bindhole = manual_setting::BindHole{};
    Refresh();
}

// ---- Auto contrast ------------------------------------------------------------------------------------

CManualAutocontrastPage::CManualAutocontrastPage() : CManualOptionPage(kAutocontrastTemplate) {}

void CManualAutocontrastPage::Refresh() {
    SetDlgItemFloat(contrast::IDC_SHADOW, V().autocontrast.shadowClip, L"%.1f");
    SetDlgItemFloat(contrast::IDC_HIGHLIGHT, V().autocontrast.highlightClip, L"%.1f");
}

bool CManualAutocontrastPage::IsClipText(const std::wstring& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        if (c >= L'0' && c <= L'9') continue;
        if (c == L'.' && i > 0) continue;
        return false;
    }
    return true;
}

void CManualAutocontrastPage::OnApply() {
    if (!IsClipText(GetDlgItemText(contrast::IDC_SHADOW)) || !IsClipText(GetDlgItemText(contrast::IDC_HIGHLIGHT))) {
        MessageBox(L"请输入正确的数字.", kDefaultCaption, MB_OK);
        return;
    }
    auto& v = V().autocontrast;
    v.shadowClip = static_cast<float>(GetDlgItemFloat(contrast::IDC_SHADOW));
    v.highlightClip = static_cast<float>(GetDlgItemFloat(contrast::IDC_HIGHLIGHT));
    AutoContrastOpParams p;
    p.shadowClip = v.shadowClip;
    p.highlightClip = v.highlightClip;
    Add(std::make_unique<ManualOperation>(OpAutoContrast, L"自动对比度", p));
}

void CManualAutocontrastPage::OnDefaults() {
    V().autocontrast = manual_setting::AutoContrast{};
    Refresh();
}

// ---- Erase -------------------------------------------------------------------------------------------------

CManualEraseStainsPage::CManualEraseStainsPage() : CManualPage(kEraseTemplate, false) {
    MapCommand(erase::IDC_PICK, BN_CLICKED, [this] { SetMode(manual_setting::kErasePick); });
    MapCommand(erase::IDC_INSIDE, BN_CLICKED, [this] { SetMode(manual_setting::kEraseInside); });
    MapCommand(erase::IDC_OUTSIDE, BN_CLICKED, [this] { SetMode(manual_setting::kEraseOutside); });
    MapCommand(erase::IDC_SWATCH, STN_CLICKED, [this] { OnSwatchClicked(); });
    MapCommand(IDC_DEFAULTS, BN_CLICKED, [this] { OnDefaults(); });
}

bool CManualEraseStainsPage::OnInitDialog() {
    CManualPage::OnInitDialog();
    swatchBrush_.CreateSolidBrush(V().erase.colour);
    if (auto* size = dynamic_cast<CSliderCtrl*>(GetDlgItem(erase::IDC_ERASER_SIZE))) {
        size->SetRange(0, 100);
        size->SetPos(5);
    }
    RefreshMode();
    return true;
}

void CManualEraseStainsPage::RefreshMode() {
    const int radios[] = {erase::IDC_PICK, erase::IDC_INSIDE, erase::IDC_OUTSIDE, erase::IDC_ERASER_BG,
                          erase::IDC_ERASER_SMART};
    for (int id : radios) Check(*this, id, false);
    const std::int32_t mode = V().erase.mode;
    if (mode >= 0 && mode < 5) Check(*this, radios[mode], true);
    Invalidate(false);
}

void CManualEraseStainsPage::SetMode(std::int32_t mode) {
    V().erase.mode = mode;
    RefreshMode();
}

void CManualEraseStainsPage::ShowColour() {
    swatchBrush_.CreateSolidBrush(V().erase.colour);
    if (CWnd* swatch = GetDlgItem(erase::IDC_SWATCH)) swatch->Invalidate(true);
}

void CManualEraseStainsPage::OnSwatchClicked() {
    CColorDialog dialog(V().erase.colour);
    if (dialog.DoModal() != IDOK) return;
    V().erase.colour = dialog.GetColor();
    ShowColour();
}

void CManualEraseStainsPage::OnDefaults() {
    V().erase = manual_setting::Erase{};
    ShowColour();
    RefreshMode();
}

HBRUSH CManualEraseStainsPage::OnCtlColor(CDC* dc, CWnd* window, UINT ctlColor) {
    if (window && window->GetDlgCtrlID() == erase::IDC_SWATCH) {
        if (dc) dc->SetBkColor(V().erase.colour);
        return &swatchBrush_;
    }
    const int radios[] = {erase::IDC_PICK, erase::IDC_INSIDE, erase::IDC_OUTSIDE};
    const std::int32_t mode = V().erase.mode;
    if (window && Manual() && mode >= 0 && mode < 3 && window->GetDlgCtrlID() == radios[mode]) return &highlightBrush_;
    return CManualPage::OnCtlColor(dc, window, ctlColor);
}

bool CManualEraseStainsPage::OnSetCursor(CWnd*, UINT, UINT) {
    CManualDlg* manual = Manual();
    if (!manual) {
        SetCursor(LoadCursor(IDC_ARROW));
        return true;
    }
    if (manual->CursorOverMainView() && manual->CurrentPage() == kViewErasePage) {
        RefreshMode();
        const std::int32_t mode = V().erase.mode;
        manual->SetViewCursor(mode == manual_setting::kErasePick ? LoadCursor(IDC_ARROW) : LoadCursor(IDC_CROSS));
    }
    return true;
}

// ---- Crop -----------------------------------------------------------------------------------------------------

CManualTailPage::CManualTailPage() : CManualPage(kTailTemplate, false) {}

bool CManualTailPage::OnSetCursor(CWnd*, UINT, UINT) {
    CManualDlg* manual = Manual();
    if (!manual) {
        SetCursor(LoadCursor(IDC_ARROW));
        return true;
    }
    if (manual->CursorOverMainView() && manual->CurrentPage() == kViewCropPage)
        manual->SetViewCursor(LoadCursor(IDC_CROSS));
    return true;
}

// ---- Output size ------------------------------------------------------------------------------------------------

CManualOutputSizePage::CManualOutputSizePage() : CManualPage(kOutputSizeTemplate, true) {
    MapCommand(IDC_APPLY, BN_CLICKED, [this] { OnSave(); });
    MapCommand(IDC_DEFAULTS, BN_CLICKED, [this] { OnDefaults(); });
    auto enableEdits = [this](bool enable) {
        for (int id : {output::IDC_WIDTH, output::IDC_HEIGHT})
            if (CWnd* edit = GetDlgItem(id)) edit->EnableWindow(enable);
    };
    MapCommand(output::IDC_AS_RESULT, BN_CLICKED, [enableEdits] { enableEdits(false); });
    MapCommand(output::IDC_FIXED, BN_CLICKED, [enableEdits] { enableEdits(true); });
}

void CManualOutputSizePage::Refresh() {
    const auto& v = V().output;
    for (int id : {output::IDC_PAPER_LIST, output::IDC_WIDTH, output::IDC_HEIGHT})
        if (CWnd* item = GetDlgItem(id)) item->EnableWindow(false);
    for (int id : {output::IDC_AS_RESULT, output::IDC_FIXED, output::IDC_PAPER}) Check(*this, id, false);
    if (v.mode == manual_setting::kOutputAsResult) {
        Check(*this, output::IDC_AS_RESULT, true);
    } else if (v.mode == manual_setting::kOutputFixedPixels) {
        Check(*this, output::IDC_FIXED, true);
        for (int id : {output::IDC_WIDTH, output::IDC_HEIGHT})
            if (CWnd* edit = GetDlgItem(id)) edit->EnableWindow(true);
    }
    if (auto* list = dynamic_cast<CComboBox*>(GetDlgItem(output::IDC_PAPER_LIST))) {
        list->ResetContent();
        for (const wchar_t* text : {L"A5", L"A4", L"A3", L"A2", L"A1", L"A0"}) list->AddString(text);
        list->SetCurSel(1);
    }
    SetDlgItemInt(output::IDC_WIDTH, v.width);
    SetDlgItemInt(output::IDC_HEIGHT, v.height);
    if (auto* quality = dynamic_cast<CSliderCtrl*>(GetDlgItem(output::IDC_QUALITY))) {
        quality->SetRange(30, 100);
        quality->SetPos(v.jpegQuality);
    }
    SetDlgItemInt(output::IDC_QUALITY_VALUE, v.jpegQuality);
}

void CManualOutputSizePage::OnHScroll(UINT, UINT, CWnd* control) {
    if (auto* quality = dynamic_cast<CSliderCtrl*>(control))
        if (control->GetDlgCtrlID() == output::IDC_QUALITY) SetDlgItemInt(output::IDC_QUALITY_VALUE, quality->GetPos());
}

void CManualOutputSizePage::OnSave() {
    auto& v = V().output;
    // A size the save could not make is refused before anything is stored:
    // the range of the batch settings' fixed output size.
    const int width = GetDlgItemText(output::IDC_WIDTH).empty() ? v.width : GetDlgItemInt(output::IDC_WIDTH);
    const int height = GetDlgItemText(output::IDC_HEIGHT).empty() ? v.height : GetDlgItemInt(output::IDC_HEIGHT);
    const settings::Setting* rows[] = {settings::Find(settings::ProcessSettingTable(), "output", "widpixel"),
                                       settings::Find(settings::ProcessSettingTable(), "output", "heipixel")};
    const int values[] = {width, height};
    for (int i = 0; i < 2; ++i) {
        if (rows[i]->WithinLimits(values[i])) continue;
        MessageBox(FormatW(L"宽和高的范围为%d到%d.", static_cast<int>(rows[i]->min), static_cast<int>(rows[i]->max)),
                   kDefaultCaption, MB_OK);
        return;
    }
    if (Checked(*this, output::IDC_AS_RESULT))
        v.mode = manual_setting::kOutputAsResult;
    else if (Checked(*this, output::IDC_FIXED))
        v.mode = manual_setting::kOutputFixedPixels;
    v.width = width;
    v.height = height;
    if (const auto* quality = dynamic_cast<CSliderCtrl*>(GetDlgItem(output::IDC_QUALITY)))
        v.jpegQuality = quality->GetPos();
    if (CManualDlg* manual = Manual()) manual->ShowStatus(L"保存设置完成");
}

void CManualOutputSizePage::OnDefaults() {
    auto& v = V().output;
    v.mode = manual_setting::kOutputAsResult;
    v.width = 2480;
    v.height = 3508;
    Refresh();
}
