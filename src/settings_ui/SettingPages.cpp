#include "settings_ui/SettingPages.h"

#include "platform/core/Numbers.h"
#include "platform/core/UserDialogs.h"
#include "settings/ProcessSetting.h"
#include "settings/SettingKinds.h"
#include "settings_ui/SettingControls.h"
#include "settings_ui/SettingDlg.h"
#include "settings_ui/SettingsResource.h"

using namespace setting_controls;
using PS = ProcessSetting;

namespace {

constexpr int kLabel = -1;

const DialogTemplate kPage2Template = {
    IDD_SETTING_PAGE2,
    L"",
    835,
    280,
    {
        // 【８】
        {IDC_P2_GROUP_CUTBYCOLOUR, Ctl::GroupBox, L"根据背景色切4个边 (选中的颜色的区域不切掉）【８】", 5, 3, 270, 104},
        {IDC_P2_CUTBYCOLOUR_ON, Ctl::CheckBox, L"根据背景色切4个边", 15, 16, 80, 10},
        {IDC_P2_RED, Ctl::CheckBox, L"红", 15, 32, 28, 10},
        {IDC_P2_YELLOW, Ctl::CheckBox, L"黄", 46, 32, 28, 10},
        {IDC_P2_GREEN, Ctl::CheckBox, L"绿", 77, 32, 28, 10},
        {IDC_P2_CYAN, Ctl::CheckBox, L"青", 108, 32, 28, 10},
        {IDC_P2_BLUE, Ctl::CheckBox, L"蓝", 139, 32, 28, 10},
        {IDC_P2_PURPLE, Ctl::CheckBox, L"紫", 170, 32, 28, 10},
        {IDC_P2_BLACK, Ctl::CheckBox, L"黑", 201, 32, 28, 10},
        {IDC_P2_WHITE, Ctl::CheckBox, L"白", 232, 32, 28, 10},
        {kLabel, Ctl::Static, L"保留边距", 15, 50, 40, 10},
        {IDC_P2_CUT_MARGIN, Ctl::Edit, L"", 60, 48, 40, 12},
        {IDC_P2_CUT_MARGIN_UNIT, Ctl::ComboBox, L"", 105, 48, 45, 12},
        {kLabel, Ctl::Static, L"选中颜色像素小于", 15, 68, 70, 10},
        {IDC_P2_CUT_RATIO, Ctl::Edit, L"", 88, 66, 40, 12},
        {kLabel, Ctl::Static, L"%宽或高  时切掉 [0.1, 100]", 132, 68, 130, 10},
        {IDC_P2_SKIP_WHITE, Ctl::CheckBox, L"白色背景的图片跳过", 15, 86, 120, 10},
        // 【９】 holes
        {IDC_P2_GROUP_HOLES, Ctl::GroupBox, L"去装订孔（黑或白色的装订孔）【９】", 5, 112, 270, 164},
        {IDC_P2_HOLES_ON, Ctl::CheckBox, L"去除装订孔 (正确率较低，有可能破坏内容)", 15, 125, 160, 10},
        {kLabel, Ctl::Static, L"检测的范围 (单位: %宽或高):", 15, 141, 160, 10},
        {kLabel, Ctl::Static, L"左", 15, 157, 10, 10},
        {IDC_P2_HOLE_LEFT, Ctl::Edit, L"", 27, 155, 25, 12},
        {kLabel, Ctl::Static, L"右", 58, 157, 10, 10},
        {IDC_P2_HOLE_RIGHT, Ctl::Edit, L"", 70, 155, 25, 12},
        {kLabel, Ctl::Static, L"上", 101, 157, 10, 10},
        {IDC_P2_HOLE_TOP, Ctl::Edit, L"", 113, 155, 25, 12},
        {kLabel, Ctl::Static, L"下", 144, 157, 10, 10},
        {IDC_P2_HOLE_BOTTOM, Ctl::Edit, L"", 156, 155, 25, 12},
        {kLabel, Ctl::Static, L"面积范围", 15, 175, 40, 10},
        {IDC_P2_HOLE_AREA_MIN, Ctl::Edit, L"", 60, 173, 30, 12},
        {kLabel, Ctl::Static, L"到", 94, 175, 10, 10},
        {IDC_P2_HOLE_AREA_MAX, Ctl::Edit, L"", 106, 173, 30, 12},
        {kLabel, Ctl::Static, L"平方毫米", 140, 175, 40, 10},
        {kLabel, Ctl::Static, L"装订孔阈值", 15, 193, 44, 10},
        {IDC_P2_HOLE_THRESHOLD_MIN, Ctl::Edit, L"", 60, 191, 30, 12},
        {kLabel, Ctl::Static, L"到", 94, 193, 10, 10},
        {IDC_P2_HOLE_THRESHOLD_MAX, Ctl::Edit, L"", 106, 191, 30, 12},
        {kLabel, Ctl::Static, L"范围[0, 255]", 140, 193, 60, 10},
        {kLabel, Ctl::Static, L"辐射半径", 15, 211, 40, 10},
        {IDC_P2_HOLE_RADIUS, Ctl::Edit, L"", 60, 209, 30, 12},
        {kLabel, Ctl::Static, L"毫米", 94, 211, 20, 10},
        {kLabel, Ctl::Static, L"忽略四角的页码区域", 15, 229, 76, 10},
        {IDC_P2_HOLE_IGNORE, Ctl::Edit, L"", 94, 227, 30, 12},
        {kLabel, Ctl::Static, L"% 宽或高", 128, 229, 40, 10},
        {kLabel, Ctl::Static, L"装订孔色差小于", 15, 247, 60, 10},
        {IDC_P2_HOLE_COLOUR_DELTA, Ctl::Edit, L"", 78, 245, 30, 12},
        {kLabel, Ctl::Static, L"填充颜色", 130, 247, 36, 10},
        {IDC_P2_HOLE_FILL, Ctl::ComboBox, L"", 168, 245, 50, 12},
        {IDC_P2_HOLE_COMPARE, Ctl::CheckBox, L"生成对比图片", 15, 262, 80, 10},
        // 【１０】
        {IDC_P2_GROUP_STAINS, Ctl::GroupBox, L"去污点 (处理全图区域)【１０】", 280, 3, 270, 64},
        {IDC_P2_STAINS_ON, Ctl::CheckBox, L"去污点 （正确率较低，有可能破坏内容）", 290, 16, 155, 10},
        {kLabel, Ctl::Static, L"污点面积小于", 290, 32, 50, 10},
        {IDC_P2_STAIN_AREA, Ctl::Edit, L"", 342, 30, 35, 12},
        {kLabel, Ctl::Static, L"平方毫米", 380, 32, 40, 10},
        {kLabel, Ctl::Static, L"污点阈值小于", 290, 48, 50, 10},
        {IDC_P2_STAIN_THRESHOLD, Ctl::Edit, L"", 342, 46, 35, 12},
        {kLabel, Ctl::Static, L"范围[0, 254])", 380, 48, 60, 10},
        {IDC_P2_STAIN_COMPARE, Ctl::CheckBox, L"生成对比图片", 450, 32, 80, 10},
        // 【１１】
        {IDC_P2_GROUP_RMSEAL, Ctl::GroupBox, L"去除红色印章【１１】", 280, 72, 270, 100},
        {IDC_P2_RMSEAL_ON, Ctl::CheckBox, L"去除红色印章 (只适合白纸黑字文件)", 290, 85, 140, 10},
        {kLabel, Ctl::Static, L"去除类型：", 290, 101, 40, 10},
        {IDC_P2_RMSEAL_TYPE, Ctl::ComboBox, L"", 332, 99, 60, 12},
        {kLabel, Ctl::Static, L"印章大小：", 290, 119, 40, 10},
        {kLabel, Ctl::Static, L"大于", 332, 119, 18, 10},
        {IDC_P2_RMSEAL_AREA, Ctl::Edit, L"", 352, 117, 35, 12},
        {kLabel, Ctl::Static, L"平方毫米", 390, 119, 40, 10},
        {kLabel, Ctl::Static, L"擦除力度：", 290, 137, 40, 10},
        {IDC_P2_RMSEAL_ERASE, Ctl::Slider, L"", 332, 135, 150, 14},
        {IDC_P2_RMSEAL_ERASE_VALUE, Ctl::Static, L"", 486, 137, 20, 10},
        {kLabel, Ctl::Static, L"强化文字：", 290, 155, 40, 10},
        {IDC_P2_RMSEAL_TEXTSTREN, Ctl::Slider, L"", 332, 153, 150, 14},
        {IDC_P2_RMSEAL_TEXTSTREN_VALUE, Ctl::Static, L"", 486, 155, 20, 10},
        // strengthen red seals
        {IDC_P2_GROUP_STRENSEAL, Ctl::GroupBox, L"加强红色印章【９】", 280, 177, 270, 80},
        {IDC_P2_STRENSEAL_ON, Ctl::CheckBox, L"加强红色印章 (只适合白纸黑字文件)", 290, 190, 140, 10},
        {kLabel, Ctl::Static, L"加强类型：", 290, 206, 40, 10},
        {IDC_P2_STRENSEAL_TYPE, Ctl::ComboBox, L"", 332, 204, 60, 12},
        {kLabel, Ctl::Static, L"印章大小：", 290, 224, 40, 10},
        {IDC_P2_STRENSEAL_AREA, Ctl::Edit, L"", 332, 222, 35, 12},
        {kLabel, Ctl::Static, L"强化值：", 290, 242, 40, 10},
        {IDC_P2_STRENSEAL_VALUE, Ctl::Slider, L"", 332, 240, 150, 14},
        {IDC_P2_STRENSEAL_VALUE_LABEL, Ctl::Static, L"", 486, 242, 20, 10},
        // 【１２】
        {IDC_P2_GROUP_BLANK, Ctl::GroupBox, L"删除空白页 【１２】", 555, 3, 270, 80},
        {IDC_P2_BLANK_ON, Ctl::CheckBox, L"删除空白页", 565, 16, 55, 10},
        {IDC_P2_BLANK_BY_THRESHOLD, Ctl::Radio, L"按阈值", 565, 32, 50, 10, WS_GROUP},
        {IDC_P2_BLANK_BY_TEXT, Ctl::Radio, L"按文字", 620, 32, 50, 10},
        {kLabel, Ctl::Static, L"内容面积小于", 565, 50, 50, 10, WS_GROUP},
        {IDC_P2_BLANK_PERCENT, Ctl::Edit, L"", 617, 48, 35, 12},
        {kLabel, Ctl::Static, L"%", 655, 50, 10, 10},
        {kLabel, Ctl::Static, L"阈值小于", 565, 66, 50, 10},
        {IDC_P2_BLANK_THRESHOLD, Ctl::Edit, L"", 617, 64, 35, 12},
        {kLabel, Ctl::Static, L"表示内容", 655, 66, 40, 10},
        // 【１３】
        {IDC_P2_GROUP_MODIFYCOLOUR, Ctl::GroupBox, L"修改背景色 【１３】", 555, 88, 270, 78},
        {IDC_P2_MODIFYCOLOUR_ON, Ctl::CheckBox, L"修改背景色(只适合白色背景图片）", 565, 101, 125, 10},
        {kLabel, Ctl::Static, L"选择背景色：", 565, 119, 50, 10},
        {IDC_P2_COLOUR_SWATCH, Ctl::Static, L"", 617, 116, 30, 14, SS_NOTIFY | SS_SUNKEN},
        {kLabel, Ctl::Static, L"RGB", 652, 119, 18, 10},
        {IDC_P2_COLOUR_TEXT, Ctl::Edit, L"", 672, 117, 70, 12, ES_READONLY},
        {kLabel, Ctl::Static, L"相片和插图：", 565, 139, 50, 10},
        {IDC_P2_COLOUR_PICTURES, Ctl::ComboBox, L"", 617, 137, 120, 12},
        // 【１４】
        {IDC_P2_GROUP_ROTATE, Ctl::GroupBox, L"按文字方向旋正【１４】", 555, 171, 270, 48},
        {IDC_P2_ROTATE_ON, Ctl::CheckBox, L"处理90度，180度，270度文字倒置", 565, 184, 120, 10},
        {kLabel, Ctl::Static, L"误差率大于", 565, 202, 45, 10},
        {IDC_P2_ROTATE_PERCENT, Ctl::Edit, L"", 612, 200, 30, 12},
        {kLabel, Ctl::Static, L"% 时有效", 646, 202, 40, 10},
    },
};

const DialogTemplate kPage3Template = {
    IDD_SETTING_PAGE3,
    L"",
    835,
    280,
    {
        // 【１５】
        {IDC_P3_GROUP_OUTPUT, Ctl::GroupBox, L"输出尺寸【１５】", 5, 3, 270, 112},
        {IDC_P3_OUTPUT_ON, Ctl::CheckBox, L"固定输出尺寸 (小了填充，大了切边)", 15, 16, 135, 10},
        {kLabel, Ctl::Static, L"尺寸类型:", 15, 32, 40, 10},
        {IDC_P3_SIZE_TYPE, Ctl::ComboBox, L"", 58, 30, 50, 12},
        {kLabel, Ctl::Static, L"宽:", 15, 50, 14, 10},
        {IDC_P3_WIDTH, Ctl::Edit, L"", 30, 48, 40, 12},
        {kLabel, Ctl::Static, L"高:", 78, 50, 14, 10},
        {IDC_P3_HEIGHT, Ctl::Edit, L"", 93, 48, 40, 12},
        {kLabel, Ctl::Static, L"像素", 137, 50, 20, 10},
        {kLabel, Ctl::Static, L"尺寸不够时填充：", 15, 68, 70, 10},
        {IDC_P3_FILL_WHITE, Ctl::Radio, L"白色", 88, 68, 35, 10, WS_GROUP},
        {IDC_P3_FILL_BLACK, Ctl::Radio, L"黑色", 126, 68, 35, 10},
        {kLabel, Ctl::Static, L"是否保持原来图片的横竖方向：", 15, 84, 140, 10, WS_GROUP},
        {IDC_P3_AS_SET, Ctl::Radio, L"不保持，按设置输出宽高", 15, 98, 110, 10, WS_GROUP},
        {IDC_P3_KEEP_SHAPE, Ctl::Radio, L"保持横竖向", 130, 98, 60, 10},
        // 【１６】
        {IDC_P3_GROUP_DPI, Ctl::GroupBox, L"修改DPI【１６】", 280, 3, 270, 50, WS_GROUP},
        {IDC_P3_DPI_ON, Ctl::CheckBox, L"修改DPI", 290, 16, 42, 10},
        {kLabel, Ctl::Static, L"保存的DPI：", 290, 34, 45, 10},
        {IDC_P3_DPI_LIST, Ctl::ComboBox, L"", 338, 32, 60, 12},
        // 【１７】
        {IDC_P3_GROUP_FILESAVE, Ctl::GroupBox, L"文件保存 【１７】", 555, 3, 270, 112},
        {kLabel, Ctl::Static, L"JPEG压缩质量", 565, 18, 55, 10},
        {IDC_P3_JPEG_QUALITY, Ctl::Slider, L"", 622, 16, 150, 14},
        {IDC_P3_JPEG_QUALITY_VALUE, Ctl::Static, L"", 776, 18, 20, 10},
        {kLabel, Ctl::Static, L"24、32位图片输出结果：", 565, 38, 100, 10},
        {IDC_P3_TO_GREY, Ctl::Radio, L"转成8位黑白", 565, 52, 70, 10, WS_GROUP},
        {IDC_P3_KEEP_DEPTH, Ctl::Radio, L"保持位深度", 640, 52, 70, 10},
        {kLabel, Ctl::Static, L"TIF文件压缩算法：", 565, 70, 100, 10, WS_GROUP},
        {IDC_P3_TIFF_KEEP, Ctl::Radio, L"保持现有的", 565, 84, 60, 10, WS_GROUP},
        {IDC_P3_TIFF_JPEG, Ctl::Radio, L"JPEG(有损)", 628, 84, 60, 10},
        {IDC_P3_TIFF_LZW, Ctl::Radio, L"LZW(无损)", 691, 84, 60, 10},
    },
};

}  // namespace

// ---- Page 2 -----------------------------------------------------------------------

CSettingPage2Dlg::CSettingPage2Dlg(CSettingDlg* owner) : CDialog(kPage2Template), owner_(owner) {
    MapCommand(IDC_P2_RMSEAL_ON, BN_CLICKED, [this] { OnRemoveSeal(); });
    MapCommand(IDC_P2_STRENSEAL_ON, BN_CLICKED, [this] { OnStrengthenSeal(); });
    MapCommand(IDC_P2_CUTBYCOLOUR_ON, BN_CLICKED, [this] { OnCutByColour(); });
    MapCommand(IDC_P2_STAINS_ON, BN_CLICKED, [this] { OnStains(); });
    MapCommand(IDC_P2_HOLES_ON, BN_CLICKED, [this] { RefreshStepHighlights(); });
    MapCommand(IDC_P2_BLANK_BY_THRESHOLD, BN_CLICKED, [this] { OnBlankType(true); });
    MapCommand(IDC_P2_BLANK_BY_TEXT, BN_CLICKED, [this] { OnBlankType(false); });
    MapCommand(IDC_P2_COLOUR_SWATCH, STN_CLICKED, [this] { OnChooseColour(); });
}

void CSettingPage2Dlg::DoDataExchange(CDataExchange* dx) {
    const int ids[] = {IDC_P2_GROUP_CUTBYCOLOUR, IDC_P2_GROUP_HOLES,  IDC_P2_GROUP_STAINS,        IDC_P2_GROUP_RMSEAL,
                       IDC_P2_GROUP_STRENSEAL,   IDC_P2_GROUP_BLANK,  IDC_P2_GROUP_MODIFYCOLOUR, IDC_P2_GROUP_ROTATE};
    for (std::size_t i = 0; i < boxes_.size(); ++i) DDX_Control(dx, ids[i], boxes_[i]);
}

bool CSettingPage2Dlg::OnInitDialog() {
    CDialog::OnInitDialog();
    LoadControls();
    return true;
}

void CSettingPage2Dlg::LoadControls() {
    // 【１１】
    Tick(*this, IDC_P2_RMSEAL_ON, PS::rmredseal.on != 0);
    FillList(*this, IDC_P2_RMSEAL_TYPE, {L"印章", L"所有红色"}, PS::rmredseal.type);
    SetDlgItemInt(IDC_P2_RMSEAL_AREA, PS::rmredseal.area);
    SetSlider(*this, IDC_P2_RMSEAL_ERASE, 0, 60, PS::rmredseal.erase, IDC_P2_RMSEAL_ERASE_VALUE);
    SetSlider(*this, IDC_P2_RMSEAL_TEXTSTREN, 0, 30, PS::rmredseal.textstren, IDC_P2_RMSEAL_TEXTSTREN_VALUE);
    // strengthen
    Tick(*this, IDC_P2_STRENSEAL_ON, PS::strenredseal.on != 0);
    FillList(*this, IDC_P2_STRENSEAL_TYPE, {L"印章", L"所有红色"}, PS::strenredseal.type);
    SetDlgItemInt(IDC_P2_STRENSEAL_AREA, PS::strenredseal.area);
    SetSlider(*this, IDC_P2_STRENSEAL_VALUE, 1, 99, PS::strenredseal.strenvalue, IDC_P2_STRENSEAL_VALUE_LABEL);
    // 【１２】
    Tick(*this, IDC_P2_BLANK_ON, PS::rmblankpage.on != 0);
    const int type = PS::rmblankpage.type;
    Tick(*this, IDC_P2_BLANK_BY_THRESHOLD, type == static_cast<int>(settings::BlankPageType::kByThreshold));
    Tick(*this, IDC_P2_BLANK_BY_TEXT, type == static_cast<int>(settings::BlankPageType::kByText));
    if (type == static_cast<int>(settings::BlankPageType::kByThreshold)) {
        SetDlgItemFloat(IDC_P2_BLANK_PERCENT, PS::rmblankpage.contentpercent, L"%.1f");
        SetDlgItemInt(IDC_P2_BLANK_THRESHOLD, PS::rmblankpage.threhold);
        Enable(*this, IDC_P2_BLANK_THRESHOLD, true);
    } else {
        SetDlgItemFloat(IDC_P2_BLANK_PERCENT, PS::rmblankpage.textpercent, L"%.1f");
        Enable(*this, IDC_P2_BLANK_THRESHOLD, false);
    }
    // 【１３】
    Tick(*this, IDC_P2_MODIFYCOLOUR_ON, PS::modifycolor.on != 0);
    colour_ = PS::modifycolor.bkcolor;
    FillList(*this, IDC_P2_COLOUR_PICTURES, {L"都换底色", L"仅相片不更换底色", L"相片、插图都不更换底色"},
             PS::modifycolor.ignorepic);
    ShowColour(colour_);
    // 【１４】
    Tick(*this, IDC_P2_ROTATE_ON, PS::rotatetextdirect.on != 0);
    SetDlgItemInt(IDC_P2_ROTATE_PERCENT, PS::rotatetextdirect.percent);
    // 【８】
    Tick(*this, IDC_P2_CUTBYCOLOUR_ON, PS::cutbybkcolor.on != 0);
    Tick(*this, IDC_P2_RED, PS::cutbybkcolor.red != 0);
    Tick(*this, IDC_P2_YELLOW, PS::cutbybkcolor.yellow != 0);
    Tick(*this, IDC_P2_GREEN, PS::cutbybkcolor.green != 0);
    Tick(*this, IDC_P2_CYAN, PS::cutbybkcolor.cyan != 0);
    Tick(*this, IDC_P2_BLUE, PS::cutbybkcolor.blue != 0);
    Tick(*this, IDC_P2_PURPLE, PS::cutbybkcolor.purple != 0);
    Tick(*this, IDC_P2_BLACK, PS::cutbybkcolor.black != 0);
    Tick(*this, IDC_P2_WHITE, PS::cutbybkcolor.white != 0);
    SetDlgItemFloat(IDC_P2_CUT_MARGIN, PS::cutbybkcolor.margin, L"%.1f");
    FillList(*this, IDC_P2_CUT_MARGIN_UNIT, {L"像素", L"毫米"}, PS::cutbybkcolor.magrinunit);
    SetDlgItemFloat(IDC_P2_CUT_RATIO, PS::cutbybkcolor.contentratio, L"%.1f");
    Tick(*this, IDC_P2_SKIP_WHITE, PS::cutbybkcolor.skipwhite != 0);
    // 【９】 holes
    Tick(*this, IDC_P2_HOLES_ON, PS::bindhole.on != 0);
    SetDlgItemInt(IDC_P2_HOLE_LEFT, PS::bindhole.left);
    SetDlgItemInt(IDC_P2_HOLE_RIGHT, PS::bindhole.right);
    SetDlgItemInt(IDC_P2_HOLE_TOP, PS::bindhole.top);
    SetDlgItemInt(IDC_P2_HOLE_BOTTOM, PS::bindhole.bottom);
    SetDlgItemInt(IDC_P2_HOLE_AREA_MIN, PS::bindhole.areamin);
    SetDlgItemInt(IDC_P2_HOLE_AREA_MAX, PS::bindhole.areamax);
    SetDlgItemInt(IDC_P2_HOLE_THRESHOLD_MIN, PS::holethresholdmin);
    SetDlgItemInt(IDC_P2_HOLE_THRESHOLD_MAX, PS::holethresholdmax);
    SetDlgItemInt(IDC_P2_HOLE_RADIUS, PS::bindhole.radius);
    SetDlgItemInt(IDC_P2_HOLE_IGNORE, PS::bindhole.ignore);
    SetDlgItemInt(IDC_P2_HOLE_COLOUR_DELTA, PS::bindhole.colordelta);
    FillList(*this, IDC_P2_HOLE_FILL, {L"自动", L"白色"}, PS::holefillcolor);
    Tick(*this, IDC_P2_HOLE_COMPARE, (PS::compareimage & settings::kCompareHoles) != 0);
    // 【１０】
    Tick(*this, IDC_P2_STAINS_ON, PS::rmstains.on != 0);
    SetDlgItemFloat(IDC_P2_STAIN_AREA, PS::rmstains.areamax, L"%.2f");
    SetDlgItemInt(IDC_P2_STAIN_THRESHOLD, PS::rmstains.threhold);
    Tick(*this, IDC_P2_STAIN_COMPARE, (PS::compareimage & settings::kCompareStains) != 0);
}

void CSettingPage2Dlg::SaveControls() {
    // 【１１】
    PS::rmredseal.on = Flag(*this, IDC_P2_RMSEAL_ON);
    PS::rmredseal.type = ListIndex(*this, IDC_P2_RMSEAL_TYPE);
    PS::rmredseal.area = GetDlgItemInt(IDC_P2_RMSEAL_AREA);
    PS::rmredseal.erase = SliderPos(*this, IDC_P2_RMSEAL_ERASE);
    PS::rmredseal.textstren = SliderPos(*this, IDC_P2_RMSEAL_TEXTSTREN);
    // strengthen
    PS::strenredseal.on = Flag(*this, IDC_P2_STRENSEAL_ON);
    PS::strenredseal.type = ListIndex(*this, IDC_P2_STRENSEAL_TYPE);
    PS::strenredseal.area = GetDlgItemInt(IDC_P2_STRENSEAL_AREA);
    PS::strenredseal.strenvalue = SliderPos(*this, IDC_P2_STRENSEAL_VALUE);
    // 【１２】
    PS::rmblankpage.on = Flag(*this, IDC_P2_BLANK_ON);
    const bool byThreshold = Ticked(*this, IDC_P2_BLANK_BY_THRESHOLD);
    PS::rmblankpage.type = static_cast<int>(byThreshold ? settings::BlankPageType::kByThreshold
                                                        : settings::BlankPageType::kByText);
    if (byThreshold) {
        StoreTyped(PS::rmblankpage.contentpercent, GetDlgItemFloat(IDC_P2_BLANK_PERCENT));
        PS::rmblankpage.threhold = GetDlgItemInt(IDC_P2_BLANK_THRESHOLD);
    } else {
        StoreTyped(PS::rmblankpage.textpercent, GetDlgItemFloat(IDC_P2_BLANK_PERCENT));
    }
    // 【１３】
    PS::modifycolor.on = Flag(*this, IDC_P2_MODIFYCOLOUR_ON);
    PS::modifycolor.bkcolor = colour_;
    PS::modifycolor.ignorepic = ListIndex(*this, IDC_P2_COLOUR_PICTURES);
    // 【１４】
    PS::rotatetextdirect.on = Flag(*this, IDC_P2_ROTATE_ON);
    PS::rotatetextdirect.percent = GetDlgItemInt(IDC_P2_ROTATE_PERCENT);
    // 【８】
    PS::cutbybkcolor.on = Flag(*this, IDC_P2_CUTBYCOLOUR_ON);
    PS::cutbybkcolor.red = Flag(*this, IDC_P2_RED);
    PS::cutbybkcolor.yellow = Flag(*this, IDC_P2_YELLOW);
    PS::cutbybkcolor.green = Flag(*this, IDC_P2_GREEN);
    PS::cutbybkcolor.cyan = Flag(*this, IDC_P2_CYAN);
    PS::cutbybkcolor.blue = Flag(*this, IDC_P2_BLUE);
    PS::cutbybkcolor.purple = Flag(*this, IDC_P2_PURPLE);
    PS::cutbybkcolor.black = Flag(*this, IDC_P2_BLACK);
    PS::cutbybkcolor.white = Flag(*this, IDC_P2_WHITE);
    StoreTyped(PS::cutbybkcolor.margin, GetDlgItemFloat(IDC_P2_CUT_MARGIN));
    StoreTyped(PS::cutbybkcolor.contentratio, GetDlgItemFloat(IDC_P2_CUT_RATIO));
    PS::cutbybkcolor.skipwhite = Flag(*this, IDC_P2_SKIP_WHITE);
    PS::cutbybkcolor.magrinunit = ListIndex(*this, IDC_P2_CUT_MARGIN_UNIT);
    // 【９】 holes
    PS::bindhole.on = Flag(*this, IDC_P2_HOLES_ON);
    PS::bindhole.left = GetDlgItemInt(IDC_P2_HOLE_LEFT);
    PS::bindhole.right = GetDlgItemInt(IDC_P2_HOLE_RIGHT);
    PS::bindhole.top = GetDlgItemInt(IDC_P2_HOLE_TOP);
    PS::bindhole.bottom = GetDlgItemInt(IDC_P2_HOLE_BOTTOM);
    PS::bindhole.areamin = GetDlgItemInt(IDC_P2_HOLE_AREA_MIN);
    PS::bindhole.areamax = GetDlgItemInt(IDC_P2_HOLE_AREA_MAX);
    PS::holethresholdmin = GetDlgItemInt(IDC_P2_HOLE_THRESHOLD_MIN);
    PS::holethresholdmax = GetDlgItemInt(IDC_P2_HOLE_THRESHOLD_MAX);
    PS::bindhole.radius = GetDlgItemInt(IDC_P2_HOLE_RADIUS);
    PS::bindhole.ignore = GetDlgItemInt(IDC_P2_HOLE_IGNORE);
    PS::holefillcolor = ListIndex(*this, IDC_P2_HOLE_FILL);
    PS::bindhole.colordelta = GetDlgItemInt(IDC_P2_HOLE_COLOUR_DELTA);
    int bits = PS::compareimage;
    bits = Ticked(*this, IDC_P2_HOLE_COMPARE) ? (bits | settings::kCompareHoles) : (bits & ~settings::kCompareHoles);
    // 【１０】
    StoreTyped(PS::rmstains.areamax, GetDlgItemFloat(IDC_P2_STAIN_AREA));
    StoreTyped(PS::rmstains.threhold, GetDlgItemInt(IDC_P2_STAIN_THRESHOLD));
    PS::rmstains.on = Flag(*this, IDC_P2_STAINS_ON);
    bits = Ticked(*this, IDC_P2_STAIN_COMPARE) ? (bits | settings::kCompareStains) : (bits & ~settings::kCompareStains);
    PS::compareimage = bits;
}

void CSettingPage2Dlg::RefreshStepHighlights() {
    const int checks[] = {IDC_P2_CUTBYCOLOUR_ON, IDC_P2_HOLES_ON,  IDC_P2_STAINS_ON,       IDC_P2_RMSEAL_ON,
                          IDC_P2_STRENSEAL_ON,   IDC_P2_BLANK_ON,  IDC_P2_MODIFYCOLOUR_ON, IDC_P2_ROTATE_ON};
    for (std::size_t i = 0; i < boxes_.size(); ++i) {
        boxes_[i].SetHighlighted(Ticked(*this, checks[i]));
        boxes_[i].Invalidate();
    }
}

void CSettingPage2Dlg::ShowColour(COLORREF colour) {
    swatch_.DeleteObject();
    swatch_.CreateSolidBrush(colour);
    // Green, red, blue: the order this field has always shown.
    SetDlgItemText(IDC_P2_COLOUR_TEXT,
                   FormatW(L"%d, %d, %d", GetGValue(colour), GetRValue(colour), GetBValue(colour)));
    if (CWnd* s = GetDlgItem(IDC_P2_COLOUR_SWATCH)) s->Invalidate();
    UpdateWindow();
}

void CSettingPage2Dlg::OnChooseColour() {
    colourDialog_ = CColorDialog();
    if (colourDialog_.DoModal() != IDOK) return;
    colour_ = colourDialog_.GetColor();
    PS::modifycolor.bkcolor = colour_;
    ShowColour(colour_);
}

HBRUSH CSettingPage2Dlg::OnCtlColor(CDC* dc, CWnd* window, UINT ctlColor) {
    if (window && window->GetDlgCtrlID() == IDC_P2_COLOUR_SWATCH && swatch_.IsCreated()) {
        dc->SetBkColor(colour_);
        return &swatch_;
    }
    return CDialog::OnCtlColor(dc, window, ctlColor);
}

void CSettingPage2Dlg::OnHScroll(UINT code, UINT position, CWnd* control) {
    SetDlgItemText(IDC_P2_RMSEAL_ERASE_VALUE, FormatW(L"%d", SliderPos(*this, IDC_P2_RMSEAL_ERASE)));
    SetDlgItemText(IDC_P2_RMSEAL_TEXTSTREN_VALUE, FormatW(L"%d", SliderPos(*this, IDC_P2_RMSEAL_TEXTSTREN)));
    SetDlgItemText(IDC_P2_STRENSEAL_VALUE_LABEL, FormatW(L"%d", SliderPos(*this, IDC_P2_STRENSEAL_VALUE)));
    CDialog::OnHScroll(code, position, control);
}

void CSettingPage2Dlg::OnRemoveSeal() {
    if (Ticked(*this, IDC_P2_RMSEAL_ON)) Tick(*this, IDC_P2_STRENSEAL_ON, false);
    RefreshStepHighlights();
}

void CSettingPage2Dlg::OnStrengthenSeal() {
    if (Ticked(*this, IDC_P2_STRENSEAL_ON)) Tick(*this, IDC_P2_RMSEAL_ON, false);
    RefreshStepHighlights();
}

void CSettingPage2Dlg::OnCutByColour() {
    if (Ticked(*this, IDC_P2_CUTBYCOLOUR_ON)) {
        PS::PlacementMode = static_cast<int>(settings::PlacementMode::kCutByBkColor);
        if (owner_) owner_->UntickPageOne({IDC_CENTER_ON, IDC_CUTWHITE_ON});
    }
    RefreshStepHighlights();
}

void CSettingPage2Dlg::OnStains() {
    if (Ticked(*this, IDC_P2_STAINS_ON) && owner_) owner_->UntickPageOne({IDC_BLACKBORDER_ON, IDC_BLACKBOARD_ON});
    RefreshStepHighlights();
}

void CSettingPage2Dlg::OnBlankType(bool byThreshold) {
    if (byThreshold) {
        SetDlgItemFloat(IDC_P2_BLANK_PERCENT, PS::rmblankpage.contentpercent, L"%.1f");
        SetDlgItemInt(IDC_P2_BLANK_THRESHOLD, PS::rmblankpage.threhold);
    } else {
        SetDlgItemFloat(IDC_P2_BLANK_PERCENT, PS::rmblankpage.textpercent, L"%.1f");
    }
    Enable(*this, IDC_P2_BLANK_THRESHOLD, byThreshold);
    RefreshStepHighlights();
}

// ---- Page 3 -----------------------------------------------------------------------

CSettingPage3Dlg::CSettingPage3Dlg(CSettingDlg* owner) : CDialog(kPage3Template), owner_(owner) {
    MapCommand(IDC_P3_OUTPUT_ON, BN_CLICKED, [this] { RefreshStepHighlights(); });
}

void CSettingPage3Dlg::DoDataExchange(CDataExchange* dx) {
    DDX_Control(dx, IDC_P3_GROUP_OUTPUT, boxes_[0]);
    DDX_Control(dx, IDC_P3_GROUP_DPI, boxes_[1]);
}

bool CSettingPage3Dlg::OnInitDialog() {
    CDialog::OnInitDialog();
    LoadControls();
    return true;
}

void CSettingPage3Dlg::LoadControls() {
    FillList(*this, IDC_P3_SIZE_TYPE, {L"像素"}, 0);
    Tick(*this, IDC_P3_OUTPUT_ON, PS::output.on != 0);
    Tick(*this, IDC_P3_FILL_WHITE, PS::output.fillcolor != 0);
    Tick(*this, IDC_P3_FILL_BLACK, PS::output.fillcolor == 0);
    Tick(*this, IDC_P3_KEEP_SHAPE, PS::output.maintainhw != 0);
    Tick(*this, IDC_P3_AS_SET, PS::output.maintainhw == 0);
    SetDlgItemInt(IDC_P3_WIDTH, PS::output.widpixel);
    SetDlgItemInt(IDC_P3_HEIGHT, PS::output.heipixel);
    Tick(*this, IDC_P3_DPI_ON, PS::dpi.on != 0);
    // Any value not in the list shows as 600.
    FillList(*this, IDC_P3_DPI_LIST, {L"96 DPI", L"200 DPI", L"300 DPI", L"600 DPI"},
             settings::OutputDpiItem(PS::dpi.dst));
    jpegQuality_ = PS::filesave.jpgquality;
    SetSlider(*this, IDC_P3_JPEG_QUALITY, 0, 100, jpegQuality_, IDC_P3_JPEG_QUALITY_VALUE);
    Tick(*this, IDC_P3_TO_GREY, PS::filesave.retaincolor == 0);
    Tick(*this, IDC_P3_KEEP_DEPTH, PS::filesave.retaincolor != 0);
    const int tiff = PS::filesave.tiffcompress;
    Tick(*this, IDC_P3_TIFF_KEEP, tiff == 0);
    Tick(*this, IDC_P3_TIFF_JPEG, tiff == 1);
    Tick(*this, IDC_P3_TIFF_LZW, tiff == 2);
}

void CSettingPage3Dlg::SaveControls() {
    PS::output.on = Flag(*this, IDC_P3_OUTPUT_ON);
    PS::output.fillcolor = Flag(*this, IDC_P3_FILL_WHITE);
    PS::output.maintainhw = Flag(*this, IDC_P3_KEEP_SHAPE);
    StoreTyped(PS::output.widpixel, GetDlgItemInt(IDC_P3_WIDTH));
    StoreTyped(PS::output.heipixel, GetDlgItemInt(IDC_P3_HEIGHT));
    PS::dpi.on = Flag(*this, IDC_P3_DPI_ON);
    const int item = ListIndex(*this, IDC_P3_DPI_LIST);
    PS::dpi.dst = item >= 0 && item < 3 ? settings::kOutputDpis[item] : settings::kOutputDpis[3];
    PS::filesave.jpgquality = SliderPos(*this, IDC_P3_JPEG_QUALITY);
    PS::filesave.retaincolor = Flag(*this, IDC_P3_KEEP_DEPTH);
    if (Ticked(*this, IDC_P3_TIFF_KEEP))
        PS::filesave.tiffcompress = 0;
    else if (Ticked(*this, IDC_P3_TIFF_JPEG))
        PS::filesave.tiffcompress = 1;
    else if (Ticked(*this, IDC_P3_TIFF_LZW))
        PS::filesave.tiffcompress = 2;
}

void CSettingPage3Dlg::RefreshStepHighlights() {
    boxes_[0].SetHighlighted(Ticked(*this, IDC_P3_OUTPUT_ON));
    boxes_[1].SetHighlighted(Ticked(*this, IDC_P3_DPI_ON));
    for (auto& box : boxes_) box.Invalidate();
}

void CSettingPage3Dlg::OnHScroll(UINT code, UINT position, CWnd* control) {
    if (control && control->GetDlgCtrlID() == IDC_P3_JPEG_QUALITY) {
        jpegQuality_ = SliderPos(*this, IDC_P3_JPEG_QUALITY);
        SetDlgItemText(IDC_P3_JPEG_QUALITY_VALUE, FormatW(L"%d", jpegQuality_));
        if (owner_) owner_->MarkPreviewChanged();
    }
    CDialog::OnHScroll(code, position, control);
}
