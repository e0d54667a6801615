#include "tools/DetectDlg.h"

#include <QApplication>
#include <QStyle>

#include <algorithm>
#include <cmath>

#include "app/core/BatchEngine.h"
#include "app/core/RunResults.h"
#include "platform/core/Numbers.h"
#include "platform/core/System.h"
#include "platform/core/UserDialogs.h"
#include "tools/ToolsResource.h"

namespace {

const DialogTemplate kDetectTemplate = {
    IDD_DETECT_DIALOG,
    L"检测出要处理的图片",
    290,
    250,
    {
        {IDC_DETECT_CORRECT_GROUP, Ctl::GroupBox, L"校正(使用主界面相关的设置)", 7, 5, 276, 62},
        {IDC_DETECT_CORRECT, Ctl::CheckBox, L"校正检测", 14, 18, 60, 10, WS_GROUP},
        {IDC_DETECT_MIN_LABEL, Ctl::Static, L"最小检出角度", 80, 19, 50, 10},
        {IDC_DETECT_MIN_ANGLE, Ctl::Edit, L"", 132, 17, 36, 13},
        {IDC_DETECT_LEFT_LABEL, Ctl::Static, L"度", 172, 19, 12, 10},
        {IDC_DETECT_MAX_LABEL, Ctl::Static, L"最大检出角度", 80, 36, 50, 10},
        {IDC_DETECT_MAX_ANGLE, Ctl::Edit, L"", 132, 34, 36, 13},
        {IDC_DETECT_MAX_UNIT, Ctl::Static, L"度", 172, 36, 12, 10},
        {IDC_DETECT_HINT, Ctl::Static, L"提示:检测角度范围越大，耗时越久", 14, 52, 200, 10},

        {IDC_DETECT_MARGIN_GROUP, Ctl::GroupBox, L"白底纸张的白边", 7, 71, 276, 56},
        {IDC_DETECT_WHITE_MARGIN, Ctl::CheckBox, L"白边检测", 14, 84, 60, 10, WS_GROUP},
        {IDC_DETECT_MARGIN_LABEL, Ctl::Static, L"检测出：白边宽度大于宽或高的[0.1，30]", 80, 85, 150, 10},
        {IDC_DETECT_MARGIN, Ctl::Edit, L"", 232, 83, 30, 13},
        {IDC_DETECT_PERCENT_LABEL, Ctl::Static, L"%", 266, 85, 10, 10},
        {IDC_DETECT_CONTENT_LABEL, Ctl::Static, L"内容大于宽或高的", 80, 106, 66, 10},
        {IDC_DETECT_CONTENT, Ctl::Edit, L"", 148, 104, 30, 13},
        {IDC_DETECT_CONTENT_RANGE, Ctl::Static, L"% 不是白边（范围[0.1, 50]）", 182, 106, 96, 10},

        {IDC_DETECT_COLOUR_GROUP, Ctl::GroupBox, L"检测彩色纸张的杂边(选中的颜色表示内容颜色)", 7, 131, 276, 58},
        {IDC_DETECT_RED, Ctl::CheckBox, L"红", 14, 146, 30, 10, WS_GROUP},
        {IDC_DETECT_YELLOW, Ctl::CheckBox, L"黄", 48, 146, 30, 10},
        {IDC_DETECT_GREEN, Ctl::CheckBox, L"绿", 82, 146, 30, 10},
        {IDC_DETECT_CYAN, Ctl::CheckBox, L"青", 116, 146, 30, 10},
        {IDC_DETECT_BLUE, Ctl::CheckBox, L"蓝", 150, 146, 30, 10},
        {IDC_DETECT_PURPLE, Ctl::CheckBox, L"紫", 184, 146, 30, 10},
        {IDC_DETECT_WHITE, Ctl::CheckBox, L"白", 218, 146, 30, 10},
        {IDC_DETECT_BLACK, Ctl::CheckBox, L"黑", 252, 146, 28, 10},
        {IDC_DETECT_EDGE_LABEL, Ctl::Static, L"检测出：杂边宽度大于", 14, 168, 84, 10},
        {IDC_DETECT_EDGE, Ctl::Edit, L"", 100, 166, 36, 13},
        {IDC_DETECT_PIXELS_LABEL, Ctl::Static, L"像素", 140, 168, 20, 10},

        {IDC_DETECT_PROGRESS, Ctl::Static, L"", 7, 196, 276, 12, SS_CENTER},
        {IDC_DETECT_EXECUTE, Ctl::DefButton, L"执行", 105, 216, 80, 20, WS_GROUP},
    },
};

struct ColourBox {
    int id;
    RelaxedAtomic<std::int32_t>& value;
};

std::vector<ColourBox> ColourBoxes() {
    return {{IDC_DETECT_RED, DetectSetting::red},       {IDC_DETECT_YELLOW, DetectSetting::yellow},
            {IDC_DETECT_GREEN, DetectSetting::green},   {IDC_DETECT_CYAN, DetectSetting::cyan},
            {IDC_DETECT_BLUE, DetectSetting::blue},     {IDC_DETECT_PURPLE, DetectSetting::purple},
            {IDC_DETECT_WHITE, DetectSetting::white},   {IDC_DETECT_BLACK, DetectSetting::black}};
}

double ClampReal(double v, double lo, double hi) { return std::max(lo, std::min(v, hi)); }

}  // namespace

DetectCheck ReadDetectValues(bool correct, std::int32_t kind, const std::wstring& minText,
                             const std::wstring& maxText, const std::wstring& marginText,
                             const std::wstring& edgeText, DetectValues& out) {
    if (!correct && kind == 0) return DetectCheck::kNothingChosen;
    const double minRead = _wtof(minText);
    const double maxRead = _wtof(maxText);
    // NaN would pass every clamp and comparison below.
    if (std::isnan(minRead) || std::isnan(maxRead)) return DetectCheck::kAngles;
    const double minimum = ClampReal(minRead, 0.05, 30.0);
    const double maximum = ClampReal(maxRead, 0.05, 30.0);
    if (minimum > maximum - 0.1) return DetectCheck::kAngles;
    double margin = _wtof(marginText);
    if (std::isnan(margin)) margin = 0.0;
    out.minAngle = static_cast<float>(minimum);
    out.maxAngle = static_cast<float>(maximum);
    out.marginPercent = static_cast<float>(ClampReal(margin, 0.1, 30.0));
    out.edgePixels = std::clamp(_wtoi(edgeText), 1, 1000);
    return DetectCheck::kOk;
}

std::wstring DetectCheckMessage(DetectCheck check) {
    switch (check) {
    case DetectCheck::kNothingChosen: return L"必须至少选一个检测项.";
    case DetectCheck::kAngles: return L"最大角度必须大于最小角度.";
    case DetectCheck::kOk: break;
    }
    return {};
}

CDetectDlg::CDetectDlg(CBatchEngine* engine) : CDialog(kDetectTemplate), engine_(engine) {
    MapCommand(IDC_DETECT_EXECUTE, BN_CLICKED, [this] { OnExecute(); });
    MapCommand(IDC_DETECT_CORRECT, BN_CLICKED, [this] { OnCorrectBox(); });
    MapCommand(IDC_DETECT_WHITE_MARGIN, BN_CLICKED, [this] { OnWhiteMarginBox(); });
    for (const auto& box : ColourBoxes()) MapCommand(box.id, BN_CLICKED, [this, id = box.id] { OnColourBox(id); });
}

bool CDetectDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetIcon(QApplication::style()->standardIcon(QStyle::SP_FileDialogContentsView), true);
    SetDlgItemFloat(IDC_DETECT_MIN_ANGLE, DetectSetting::minAngle, L"%.2f");
    SetDlgItemFloat(IDC_DETECT_MAX_ANGLE, DetectSetting::maxAngle, L"%.2f");
    SetDlgItemFloat(IDC_DETECT_MARGIN, DetectSetting::marginPercent, L"%.2f");
    SetDlgItemFloat(IDC_DETECT_CONTENT, 2.0, L"%.2f");
    SetDlgItemInt(IDC_DETECT_EDGE, DetectSetting::edgePixels);
    CheckDlgButton(IDC_DETECT_CORRECT, DetectSetting::correct ? BST_CHECKED : BST_UNCHECKED);
    const std::int32_t kind = DetectSetting::kind;
    if (kind == 2)
        for (const auto& box : ColourBoxes()) CheckDlgButton(box.id, box.value ? BST_CHECKED : BST_UNCHECKED);
    if (kind == 1) CheckDlgButton(IDC_DETECT_WHITE_MARGIN, BST_CHECKED);
    ApplyKind(kind);
    return true;
}

void CDetectDlg::ApplyKind(std::int32_t kind) {
    DetectSetting::kind = kind;
    if (kind != 2) {
        for (const auto& box : ColourBoxes()) {
            CheckDlgButton(box.id, BST_UNCHECKED);
            box.value = 0;
        }
    }
    if (kind != 1) CheckDlgButton(IDC_DETECT_WHITE_MARGIN, BST_UNCHECKED);
}

bool CDetectDlg::AnyKindBoxChecked() const {
    if (IsDlgButtonChecked(IDC_DETECT_WHITE_MARGIN) == BST_CHECKED) return true;
    for (const auto& box : ColourBoxes())
        if (IsDlgButtonChecked(box.id) == BST_CHECKED) return true;
    return false;
}

void CDetectDlg::OnCorrectBox() { DetectSetting::correct = IsDlgButtonChecked(IDC_DETECT_CORRECT) == BST_CHECKED; }

void CDetectDlg::OnWhiteMarginBox() {
    if (IsDlgButtonChecked(IDC_DETECT_WHITE_MARGIN) == BST_CHECKED)
        ApplyKind(1);
    else if (!AnyKindBoxChecked())
        DetectSetting::kind = 0;
}

void CDetectDlg::OnColourBox(int id) {
    for (const auto& box : ColourBoxes()) {
        if (box.id != id) continue;
        if (IsDlgButtonChecked(id) == BST_CHECKED) {
            box.value = 1;
            ApplyKind(2);
        } else {
            box.value = 0;
            if (!AnyKindBoxChecked()) DetectSetting::kind = 0;
        }
    }
}

void CDetectDlg::OnExecute() {
    if (!engine_) return;
    DetectValues values;
    const DetectCheck check =
        ReadDetectValues(DetectSetting::correct != 0, DetectSetting::kind, GetDlgItemText(IDC_DETECT_MIN_ANGLE),
                         GetDlgItemText(IDC_DETECT_MAX_ANGLE), GetDlgItemText(IDC_DETECT_MARGIN),
                         GetDlgItemText(IDC_DETECT_EDGE), values);
    if (check != DetectCheck::kOk) {
        MessageBox(DetectCheckMessage(check), kDefaultCaption, MB_OK);
        return;
    }
    DetectSetting::minAngle = values.minAngle;
    DetectSetting::maxAngle = values.maxAngle;
    DetectSetting::marginPercent = values.marginPercent;
    DetectSetting::edgePixels = values.edgePixels;
    engine_->StartProcessing(RUN_DETECTION);
}

void CDetectDlg::DetectionStarted() {
    if (!GetSafeHwnd()) return;
    if (CWnd* button = GetDlgItem(IDC_DETECT_EXECUTE)) button->EnableWindow(false);
    ShowProgress(0);
}

void CDetectDlg::ShowProgress(int done) {
    if (!GetSafeHwnd() || !engine_) return;
    const int total = engine_->Total();
    std::wstring text;
    if (done < total) {
        text = FormatW(L"**********处理中请等待,已处理了%d张, 共%d张************", done, total);
    } else {
        const unsigned seconds = (GetTickCount() - engine_->StartTick()) / 1000u;
        const int failed = engine_->FailedCount();
        // Pages that could not be read were not checked: the line says so,
        // and they are listed as a run lists its failures.
        if (failed > 0) {
            text = FinishedProgressText(done, failed, seconds);
            engine_->WriteFailedList();
        } else {
            text = FormatW(L"**********处理完成,总共处理了%d张.用了%d秒************", done, static_cast<int>(seconds));
        }
    }
    if (text.size() > 259) text.resize(259);
    SetDlgItemText(IDC_DETECT_PROGRESS, text);
    if (CWnd* line = GetDlgItem(IDC_DETECT_PROGRESS)) line->UpdateWindow();
}

void CDetectDlg::OnCancel() {
    if (engine_ && !engine_->Pool().AllDone() && engine_->Pool().runType == RUN_DETECTION) {
        MessageBox(L"正在处理图片不能关闭.", kDefaultCaption, MB_OK);
        return;
    }
    CDialog::OnCancel();
}
