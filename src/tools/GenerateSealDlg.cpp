#include "tools/GenerateSealDlg.h"

#include <QApplication>
#include <QStyle>

#include "platform/core/Numbers.h"
#include "platform/core/System.h"
#include "platform/core/UserDialogs.h"
#include "processing/processor/ImageProcessor.h"
#include "tools/SealDrawer.h"
#include "tools/ToolsResource.h"

namespace {

const DialogTemplate kSealTemplate = {
    IDD_GENERATE_SEAL_DIALOG,
    L"生成归档印章",
    330,
    280,
    {
        {IDC_TOOL_SOURCE_FOLDER + 10000, Ctl::Static, L"要处理的目录：", 10, 12, 60, 10},
        {IDC_TOOL_SOURCE_FOLDER, Ctl::Edit, L"", 72, 10, 200, 13, ES_READONLY},
        {IDC_TOOL_BROWSE_SOURCE, Ctl::Button, L"选择...", 276, 9, 44, 15},
        {IDC_TOOL_OUTPUT_FOLDER + 10000, Ctl::Static, L"保存到目录：", 10, 30, 60, 10},
        {IDC_TOOL_OUTPUT_FOLDER, Ctl::Edit, L"", 72, 28, 200, 13, ES_READONLY},
        {IDC_SEAL_BROWSE_OUTPUT, Ctl::Button, L"选择...", 276, 27, 44, 15},
        {IDC_TOOL_INCLUDE_SUBFOLDERS, Ctl::CheckBox, L"包含子目录", 72, 46, 80, 10},
        {IDC_SEAL_NAMING_RULE, Ctl::Static,
         L"目录名格式    全宗号-项目代码-案卷号-序号\n文件名格式    全宗号-项目代码-案卷号-序号-页数", 10, 60, 310,
         20},

        {IDC_SEAL_LABEL_FIRST, Ctl::GroupBox, L"颜色", 10, 84, 100, 34},
        {IDC_SEAL_LABEL_FIRST + 1, Ctl::Static, L"线条", 16, 99, 20, 10},
        {IDC_SEAL_LINE_COLOR, Ctl::Static, L"", 38, 97, 18, 12, SS_NOTIFY | SS_SUNKEN},
        {IDC_SEAL_LABEL_FIRST + 2, Ctl::Static, L"文字", 62, 99, 20, 10},
        {IDC_SEAL_TEXT_COLOR, Ctl::Static, L"", 84, 97, 18, 12, SS_NOTIFY | SS_SUNKEN},

        {IDC_SEAL_LABEL_FIRST + 3, Ctl::GroupBox, L"线条宽度", 116, 84, 100, 34},
        {IDC_SEAL_LINE_WIDTH, Ctl::Edit, L"", 122, 97, 36, 13},
        {IDC_SEAL_USE_LINE_WIDTH, Ctl::CheckBox, L"启用", 164, 99, 40, 10},

        {IDC_SEAL_LABEL_FIRST + 4, Ctl::GroupBox, L"位置", 222, 84, 98, 78},
        {IDC_SEAL_FROM_RIGHT, Ctl::Radio, L"从右边", 228, 97, 40, 10, WS_GROUP},
        {IDC_SEAL_FROM_LEFT, Ctl::Radio, L"从左边", 272, 97, 40, 10},
        {IDC_SEAL_LABEL_FIRST + 5, Ctl::Static, L"左", 228, 114, 12, 10},
        {IDC_SEAL_LEFT, Ctl::Edit, L"", 242, 112, 30, 13, WS_GROUP},
        {IDC_SEAL_LABEL_FIRST + 6, Ctl::Static, L"mm", 276, 114, 20, 10},
        {IDC_SEAL_LABEL_FIRST + 7, Ctl::Static, L"上", 228, 130, 12, 10},
        {IDC_SEAL_TOP, Ctl::Edit, L"", 242, 128, 30, 13},
        {IDC_SEAL_LABEL_FIRST + 8, Ctl::Static, L"mm", 276, 130, 20, 10},
        {IDC_SEAL_LABEL_FIRST + 9, Ctl::Static, L"右", 228, 146, 12, 10},
        {IDC_SEAL_RIGHT, Ctl::Edit, L"", 242, 144, 30, 13},
        {IDC_SEAL_LABEL_FIRST + 10, Ctl::Static, L"mm", 276, 146, 20, 10},

        {IDC_SEAL_LABEL_FIRST + 11, Ctl::GroupBox, L"大小", 10, 122, 206, 56},
        {IDC_SEAL_BY_RATIO, Ctl::Radio, L"按比例", 16, 136, 50, 10, WS_GROUP},
        {IDC_SEAL_RATIO_WIDTH, Ctl::Edit, L"", 70, 134, 30, 13, WS_GROUP},
        {IDC_SEAL_LABEL_FIRST + 12, Ctl::Static, L"%宽度", 104, 136, 30, 10},
        {IDC_SEAL_RATIO_HEIGHT, Ctl::Edit, L"", 136, 134, 30, 13},
        {IDC_SEAL_LABEL_FIRST + 13, Ctl::Static, L"%也是宽度", 170, 136, 44, 10},
        {IDC_SEAL_BY_FIXED_SIZE, Ctl::Radio, L"按固定尺寸", 16, 158, 50, 10, WS_GROUP},
        {IDC_SEAL_FIXED_WIDTH, Ctl::Edit, L"", 70, 156, 30, 13, WS_GROUP},
        {IDC_SEAL_LABEL_FIRST + 14, Ctl::Static, L"mm宽", 104, 158, 30, 10},
        {IDC_SEAL_FIXED_HEIGHT, Ctl::Edit, L"", 136, 156, 30, 13},
        {IDC_SEAL_LABEL_FIRST + 15, Ctl::Static, L"mm高", 170, 158, 30, 10},

        {IDC_SEAL_LABEL_FIRST + 16, Ctl::GroupBox, L"字号大小", 10, 182, 150, 34},
        {IDC_SEAL_USE_FONT_SIZES, Ctl::CheckBox, L"启用", 16, 197, 30, 10, WS_GROUP},
        {IDC_SEAL_LABEL_FIRST + 17, Ctl::Static, L"标题栏", 48, 197, 26, 10},
        {IDC_SEAL_TITLE_SIZE, Ctl::Edit, L"", 76, 195, 24, 13},
        {IDC_SEAL_LABEL_FIRST + 18, Ctl::Static, L"归档号", 104, 197, 26, 10},
        {IDC_SEAL_NUMBER_SIZE, Ctl::Edit, L"", 132, 195, 24, 13},

        {IDC_SEAL_LABEL_FIRST + 19, Ctl::GroupBox, L"字体名", 166, 182, 154, 50},
        {IDC_SEAL_LABEL_FIRST + 20, Ctl::Static, L"标题栏", 172, 196, 26, 10},
        {IDC_SEAL_TITLE_FONT, Ctl::Edit, L"", 200, 194, 114, 13},
        {IDC_SEAL_LABEL_FIRST + 21, Ctl::Static, L"归档号", 172, 214, 26, 10},
        {IDC_SEAL_NUMBER_FONT, Ctl::Edit, L"", 200, 212, 114, 13},

        {IDC_TOOL_START, Ctl::DefButton, L"开始处理", 125, 240, 80, 18, WS_GROUP},
        {IDC_TOOL_PROGRESS, Ctl::Static, L"", 10, 264, 310, 12, SS_CENTER},
    },
};

}  // namespace

CGenerateSealDlg::CGenerateSealDlg() : CDialog(kSealTemplate) {
    MapCommand(IDC_TOOL_BROWSE_SOURCE, BN_CLICKED, [this] { OnBrowseSource(); });
    MapCommand(IDC_SEAL_BROWSE_OUTPUT, BN_CLICKED, [this] { OnBrowseOutput(); });
    MapCommand(IDC_SEAL_LINE_COLOR, STN_CLICKED, [this] { OnPickLineColor(); });
    MapCommand(IDC_SEAL_TEXT_COLOR, STN_CLICKED, [this] { OnPickTextColor(); });
    MapCommand(IDC_SEAL_BY_RATIO, BN_CLICKED, [this] { SetSizeMode(0); });
    MapCommand(IDC_SEAL_BY_FIXED_SIZE, BN_CLICKED, [this] { SetSizeMode(1); });
    MapCommand(IDC_SEAL_FROM_RIGHT, BN_CLICKED, [this] { SetSide(0); });
    MapCommand(IDC_SEAL_FROM_LEFT, BN_CLICKED, [this] { SetSide(1); });
    MapCommand(IDC_TOOL_START, BN_CLICKED, [this] { OnStart(); });
}

CGenerateSealDlg::~CGenerateSealDlg() { StopWorker(); }

void CGenerateSealDlg::StopWorker() {
    stop_ = true;
    if (worker_.joinable()) worker_.join();
    running_ = false;
}

bool CGenerateSealDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetIcon(QApplication::style()->standardIcon(QStyle::SP_DialogApplyButton), true);
    lineBrush_.CreateSolidBrush(settings.lineColor);
    textBrush_.CreateSolidBrush(settings.textColor);
    CheckDlgButton(IDC_TOOL_INCLUDE_SUBFOLDERS, BST_CHECKED);
    SetSizeMode(settings.sizeMode);
    SetSide(settings.side);
    CheckDlgButton(IDC_SEAL_USE_LINE_WIDTH, settings.useLineWidth ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_SEAL_USE_FONT_SIZES, settings.useFontSizes ? BST_CHECKED : BST_UNCHECKED);
    SetDlgItemInt(IDC_SEAL_LINE_WIDTH, settings.lineWidth);
    SetDlgItemInt(IDC_SEAL_TITLE_SIZE, settings.titleFontSize);
    SetDlgItemInt(IDC_SEAL_NUMBER_SIZE, settings.numberFontSize);
    SetDlgItemInt(IDC_SEAL_LEFT, settings.leftMargin);
    SetDlgItemInt(IDC_SEAL_TOP, settings.topMargin);
    SetDlgItemInt(IDC_SEAL_RIGHT, settings.rightMargin);
    SetDlgItemInt(IDC_SEAL_FIXED_WIDTH, settings.fixedWidth);
    SetDlgItemInt(IDC_SEAL_FIXED_HEIGHT, settings.fixedHeight);
    SetDlgItemFloat(IDC_SEAL_RATIO_WIDTH, settings.ratioWidth, L"%.1f");
    SetDlgItemFloat(IDC_SEAL_RATIO_HEIGHT, settings.ratioHeight, L"%.1f");
    SetDlgItemText(IDC_SEAL_TITLE_FONT, settings.titleFontName);
    SetDlgItemText(IDC_SEAL_NUMBER_FONT, settings.numberFontName);
    SetDlgItemText(IDC_TOOL_SOURCE_FOLDER, sourceFolder);
    SetDlgItemText(IDC_TOOL_OUTPUT_FOLDER, outputFolder);
    if (CWnd* start = GetDlgItem(IDC_TOOL_START)) start->EnableWindow(!running_);
    return true;
}

void CGenerateSealDlg::OnBrowseSource() {
    std::wstring folder = sourceFolder;
    if (BrowseForFolder(L"请选择目录", folder)) {
        sourceFolder = folder;
        SetDlgItemText(IDC_TOOL_SOURCE_FOLDER, folder);
    }
}

void CGenerateSealDlg::OnBrowseOutput() {
    // A cancelled choice keeps the folder shown, which is the folder used.
    std::wstring folder = outputFolder;
    if (BrowseForFolder(L"请选择要保存的目录", folder)) {
        outputFolder = folder;
        SetDlgItemText(IDC_TOOL_OUTPUT_FOLDER, folder);
    }
}

void CGenerateSealDlg::OnPickLineColor() {
    CColorDialog picker(0, 0);
    if (picker.DoModal() != IDOK) return;
    settings.lineColor = picker.GetColor();
    lineBrush_.CreateSolidBrush(settings.lineColor);
    Invalidate();
    if (CWnd* swatch = GetDlgItem(IDC_SEAL_LINE_COLOR)) swatch->Invalidate();
}

void CGenerateSealDlg::OnPickTextColor() {
    CColorDialog picker(0, 0);
    if (picker.DoModal() != IDOK) return;
    settings.textColor = picker.GetColor();
    textBrush_.CreateSolidBrush(settings.textColor);
    Invalidate();
    if (CWnd* swatch = GetDlgItem(IDC_SEAL_TEXT_COLOR)) swatch->Invalidate();
}

HBRUSH CGenerateSealDlg::OnCtlColor(CDC* dc, CWnd* window, UINT ctlColor) {
    if (ctlColor == CTLCOLOR_STATIC && window) {
        if (window->GetDlgCtrlID() == IDC_SEAL_LINE_COLOR) {
            dc->SetBkColor(settings.lineColor);
            return &lineBrush_;
        }
        if (window->GetDlgCtrlID() == IDC_SEAL_TEXT_COLOR) {
            dc->SetBkColor(settings.textColor);
            return &textBrush_;
        }
    }
    return CDialog::OnCtlColor(dc, window, ctlColor);
}

void CGenerateSealDlg::SetSizeMode(int mode) {
    settings.sizeMode = mode == 1 ? 1 : 0;
    CheckDlgButton(IDC_SEAL_BY_RATIO, settings.sizeMode == 0 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_SEAL_BY_FIXED_SIZE, settings.sizeMode == 1 ? BST_CHECKED : BST_UNCHECKED);
    for (int id : {IDC_SEAL_FIXED_WIDTH, IDC_SEAL_FIXED_HEIGHT})
        if (CWnd* edit = GetDlgItem(id)) edit->EnableWindow(settings.sizeMode == 1);
    for (int id : {IDC_SEAL_RATIO_WIDTH, IDC_SEAL_RATIO_HEIGHT})
        if (CWnd* edit = GetDlgItem(id)) edit->EnableWindow(settings.sizeMode == 0);
}

void CGenerateSealDlg::SetSide(int side) {
    settings.side = side == 1 ? 1 : 0;
    CheckDlgButton(IDC_SEAL_FROM_RIGHT, settings.side == 0 ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_SEAL_FROM_LEFT, settings.side == 1 ? BST_CHECKED : BST_UNCHECKED);
    if (CWnd* edit = GetDlgItem(IDC_SEAL_LEFT)) edit->EnableWindow(settings.side == 1);
    if (CWnd* edit = GetDlgItem(IDC_SEAL_RIGHT)) edit->EnableWindow(settings.side == 0);
    if (CWnd* edit = GetDlgItem(IDC_SEAL_TOP)) edit->EnableWindow(true);
}

void CGenerateSealDlg::ReadSettings() {
    settings.useLineWidth = IsDlgButtonChecked(IDC_SEAL_USE_LINE_WIDTH) == BST_CHECKED;
    settings.useFontSizes = IsDlgButtonChecked(IDC_SEAL_USE_FONT_SIZES) == BST_CHECKED;
    settings.lineWidth = GetDlgItemInt(IDC_SEAL_LINE_WIDTH);
    settings.titleFontSize = GetDlgItemInt(IDC_SEAL_TITLE_SIZE);
    settings.numberFontSize = GetDlgItemInt(IDC_SEAL_NUMBER_SIZE);
    settings.leftMargin = GetDlgItemInt(IDC_SEAL_LEFT);
    settings.topMargin = GetDlgItemInt(IDC_SEAL_TOP);
    settings.rightMargin = GetDlgItemInt(IDC_SEAL_RIGHT);
    settings.fixedWidth = GetDlgItemInt(IDC_SEAL_FIXED_WIDTH);
    settings.fixedHeight = GetDlgItemInt(IDC_SEAL_FIXED_HEIGHT);
    settings.ratioWidth = static_cast<float>(GetDlgItemFloat(IDC_SEAL_RATIO_WIDTH));
    settings.ratioHeight = static_cast<float>(GetDlgItemFloat(IDC_SEAL_RATIO_HEIGHT));
    settings.titleFontName = GetDlgItemText(IDC_SEAL_TITLE_FONT);
    settings.numberFontName = GetDlgItemText(IDC_SEAL_NUMBER_FONT);
}

void CGenerateSealDlg::OnStart() {
    if (running_) return;
    if (worker_.joinable()) worker_.join();
    startTick_ = GetTickCount();
    ReadSettings();
    SealJobSettings job;
    job.source = GetDlgItemText(IDC_TOOL_SOURCE_FOLDER);
    job.output = GetDlgItemText(IDC_TOOL_OUTPUT_FOLDER);
    job.includeSubfolders = IsDlgButtonChecked(IDC_TOOL_INCLUDE_SUBFOLDERS) == BST_CHECKED;
    job.seal = settings;
    const SealJobCheck check = CheckSealJob(job);
    if (check != SealJobCheck::kOk) {
        MessageBox(SealJobCheckMessage(check), kDefaultCaption, MB_OK);
        return;
    }
    job_ = std::make_unique<CSealJob>(job);
    if (!job_->Prepare()) return;
    running_ = true;
    stop_ = false;
    if (CWnd* start = GetDlgItem(IDC_TOOL_START)) start->EnableWindow(false);
    ShowProgress(0);
    const HWND window = GetSafeHwnd();
    CSealJob* running = job_.get();
    worker_ = std::thread([this, window, running] {
        CSealDrawer drawer;
        running->RunSealJob(drawer, [window] { ::PostMessage(window, WM_IMAGE_PROCESSED, 0, 0); }, stop_);
        ::PostMessage(window, WM_TOOL_JOB_ENDED, 0, 0);
    });
}

LRESULT CGenerateSealDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_IMAGE_PROCESSED) {
        ShowProgress(Done());
        return 0;
    }
    if (message == WM_TOOL_JOB_ENDED) {
        OnJobEnded();
        return 0;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

void CGenerateSealDlg::ShowProgress(int done) {
    std::wstring text;
    if (done < Total()) {
        text = FormatW(L"**********处理中请等待,已处理了%d张, 共%d张************", done, Total());
    } else {
        text = FormatW(L"**********处理完成,总共处理了%d张.用了%d秒************", done,
                       static_cast<int>((GetTickCount() - startTick_) / 1000u));
    }
    SetDlgItemText(IDC_TOOL_PROGRESS, text);
    if (CWnd* line = GetDlgItem(IDC_TOOL_PROGRESS)) line->UpdateWindow();
}

void CGenerateSealDlg::OnJobEnded() {
    if (worker_.joinable()) worker_.join();
    running_ = false;
    ShowProgress(Done());
    SetDlgItemText(IDC_TOOL_START, L"开始处理");
    if (CWnd* start = GetDlgItem(IDC_TOOL_START)) start->EnableWindow(true);
    // Files that could not be written are not passed over in silence.
    const std::vector<std::wstring> failed = job_ ? job_->Failed() : std::vector<std::wstring>();
    if (!failed.empty())
        MessageBox(FormatW(L"有%d个文件未能写入,例如:\n%s", static_cast<int>(failed.size()), failed.front().c_str()),
                   kDefaultCaption, MB_OK);
}

void CGenerateSealDlg::OnCancel() {
    if (running_) {
        if (MessageBox(L"正在处理，确定要关闭吗？", kDefaultCaption, MB_OKCANCEL) != IDOK) return;
        StopWorker();
    }
    CDialog::OnCancel();
}
