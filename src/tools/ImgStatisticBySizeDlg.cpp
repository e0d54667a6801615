#include "tools/ImgStatisticBySizeDlg.h"

#include <QApplication>
#include <QStyle>

#include "app/core/BatchMessages.h"
#include "app/core/FileTree.h"
#include "image/Raster.h"
#include "platform/core/Files.h"
#include "platform/core/Numbers.h"
#include "platform/core/Paths.h"
#include "platform/core/Strings.h"
#include "platform/core/System.h"
#include "platform/core/UserDialogs.h"
#include "settings/PathHelpers.h"
#include "tools/SheetFile.h"
#include "tools/ToolsResource.h"

namespace {

constexpr int kProgressStep = 500;

const DialogTemplate kStatisticTemplate = {
    IDD_STATISTIC_BY_SIZE_DIALOG,
    L"幅面统计",
    300,
    196,
    {
        {IDC_STAT_SOURCE_LABEL, Ctl::Static, L"要处理的目录：", 10, 12, 62, 10},
        {IDC_TOOL_SOURCE_FOLDER, Ctl::Edit, L"", 74, 10, 170, 13, ES_READONLY},
        {IDC_TOOL_BROWSE_SOURCE, Ctl::Button, L"选择...", 248, 9, 42, 15},
        {IDC_STAT_RESULT_LABEL, Ctl::Static, L"结果导出到目录：", 10, 32, 62, 10},
        {IDC_TOOL_OUTPUT_FOLDER, Ctl::Edit, L"", 74, 30, 170, 13, ES_READONLY},
        {IDC_STAT_BROWSE_RESULT, Ctl::Button, L"选择...", 248, 29, 42, 15},
        {IDC_TOOL_INCLUDE_SUBFOLDERS, Ctl::CheckBox, L"包含子目录", 10, 52, 80, 10},
        {IDC_STAT_FORMAT_LABEL, Ctl::Static, L"图片格式：", 10, 70, 62, 10},
        {IDC_STAT_TIFF, Ctl::CheckBox, L"TIFF/TIF", 74, 70, 60, 10},
        {IDC_STAT_JPEG, Ctl::CheckBox, L"JPG/JPEG", 140, 70, 60, 10},
        {IDC_STAT_PAPER_LABEL, Ctl::Static, L"纸张类型：", 10, 88, 62, 10},
        {IDC_STAT_A2, Ctl::CheckBox, L"A2", 74, 88, 40, 10},
        {IDC_STAT_A3, Ctl::CheckBox, L"A3", 120, 88, 40, 10},
        {IDC_STAT_A4, Ctl::CheckBox, L"A4", 166, 88, 40, 10},
        {IDC_STAT_ALLOW_MARGIN, Ctl::CheckBox, L"允许白边", 10, 106, 60, 10},
        {IDC_STAT_MARGIN_LABEL, Ctl::Static, L"白边大小", 74, 106, 40, 10},
        {IDC_STAT_MARGIN, Ctl::Edit, L"", 116, 104, 40, 13},
        {IDC_STAT_PERCENT_LABEL, Ctl::Static, L"%", 160, 106, 12, 10},
        {IDC_STAT_EXPORT_LABEL, Ctl::Static, L"导出格式：", 10, 124, 62, 10},
        {IDC_STAT_CSV, Ctl::Radio, L"CSV 可支持 104W 张", 74, 124, 100, 10, WS_GROUP},
        {IDC_STAT_XLS, Ctl::Radio, L"XLS 只能支持 6.5W张", 180, 124, 100, 10},
        {IDC_TOOL_START, Ctl::DefButton, L"开始处理", 110, 146, 80, 20, WS_GROUP},
        {IDC_TOOL_PROGRESS, Ctl::Static, L"", 10, 174, 280, 12, SS_CENTER},
    },
};

bool EndsWithNoCase(const std::wstring& text, std::wstring_view tail) {
    return text.size() >= tail.size() && EqualsNoCase(std::wstring_view(text).substr(text.size() - tail.size()), tail);
}

std::wstring ProcessingText(int done, int total) {
    return FormatW(L"**********处理中请等待,已处理了%d张, 共%d张************", done, total);
}

}  // namespace

CImgStatisticBySizeDlg::CImgStatisticBySizeDlg() : CDialog(kStatisticTemplate) {
    MapCommand(IDC_TOOL_BROWSE_SOURCE, BN_CLICKED, [this] { OnBrowseSource(); });
    MapCommand(IDC_STAT_BROWSE_RESULT, BN_CLICKED, [this] { OnBrowseResult(); });
    MapCommand(IDC_STAT_ALLOW_MARGIN, BN_CLICKED, [this] { OnAllowMargin(); });
    MapCommand(IDC_TOOL_START, BN_CLICKED, [this] { OnStart(); });
}

CImgStatisticBySizeDlg::~CImgStatisticBySizeDlg() { StopWorker(); }

void CImgStatisticBySizeDlg::StopWorker() {
    stop_ = true;
    if (worker_.joinable()) worker_.join();
    busy_ = false;
}

bool CImgStatisticBySizeDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetIcon(QApplication::style()->standardIcon(QStyle::SP_FileDialogInfoView), true);
    for (int id : {int{IDC_TOOL_INCLUDE_SUBFOLDERS}, int{IDC_STAT_TIFF}, int{IDC_STAT_JPEG}, int{IDC_STAT_A3}, int{IDC_STAT_A4}})
        CheckDlgButton(id, BST_CHECKED);
    CheckDlgButton(IDC_STAT_A2, BST_UNCHECKED);
    CheckDlgButton(IDC_STAT_CSV, BST_CHECKED);
    CheckDlgButton(IDC_STAT_XLS, BST_UNCHECKED);
    CheckDlgButton(IDC_STAT_ALLOW_MARGIN, allowMargin ? BST_CHECKED : BST_UNCHECKED);
    if (CWnd* edit = GetDlgItem(IDC_STAT_MARGIN)) edit->EnableWindow(allowMargin != 0);
    SetDlgItemText(IDC_STAT_MARGIN, L"3");
    SetDlgItemText(IDC_TOOL_SOURCE_FOLDER, sourceFolder);
    SetDlgItemText(IDC_TOOL_OUTPUT_FOLDER, resultFolder);
    if (CWnd* start = GetDlgItem(IDC_TOOL_START)) start->EnableWindow(!busy_);
    return true;
}

void CImgStatisticBySizeDlg::OnBrowseSource() {
    std::wstring folder = sourceFolder;
    if (BrowseForFolder(L"请选择目录", folder)) {
        sourceFolder = folder;
        SetDlgItemText(IDC_TOOL_SOURCE_FOLDER, folder);
    }
}

void CImgStatisticBySizeDlg::OnBrowseResult() {
    // A cancelled choice keeps the folder shown, which is the folder used.
    std::wstring folder = resultFolder;
    if (BrowseForFolder(L"请选择要保存的目录", folder)) {
        resultFolder = folder;
        SetDlgItemText(IDC_TOOL_OUTPUT_FOLDER, folder);
    }
}

void CImgStatisticBySizeDlg::OnAllowMargin() {
    const bool on = IsDlgButtonChecked(IDC_STAT_ALLOW_MARGIN) == BST_CHECKED;
    if (CWnd* edit = GetDlgItem(IDC_STAT_MARGIN)) edit->EnableWindow(on);
}

void CImgStatisticBySizeDlg::OnStart() {
    if (busy_) return;
    if (worker_.joinable()) worker_.join();
    {
        std::lock_guard lock(mutex_);
        results_.clear();
    }
    startTick_ = GetTickCount();

    const std::wstring source = GetDlgItemText(IDC_TOOL_SOURCE_FOLDER);
    if (source.empty()) {
        AfxMessageBox(L"请选择要处理的图片所在文件夹.");
        return;
    }
    const std::wstring folder = GetDlgItemText(IDC_TOOL_OUTPUT_FOLDER);
    if (folder.empty()) {
        AfxMessageBox(L"请选择结果要保存到的文件夹.");
        return;
    }
    const bool tiff = IsDlgButtonChecked(IDC_STAT_TIFF) == BST_CHECKED;
    const bool jpeg = IsDlgButtonChecked(IDC_STAT_JPEG) == BST_CHECKED;
    if (!tiff && !jpeg) {
        AfxMessageBox(L"请选择要处理的图片格式.");
        return;
    }
    paperA2 = IsDlgButtonChecked(IDC_STAT_A2) == BST_CHECKED;
    paperA3 = IsDlgButtonChecked(IDC_STAT_A3) == BST_CHECKED;
    paperA4 = IsDlgButtonChecked(IDC_STAT_A4) == BST_CHECKED;
    if (!paperA2 && !paperA3 && !paperA4) {
        AfxMessageBox(L"请选择要处理的纸张类型.");
        return;
    }
    std::vector<std::wstring> extensions;
    if (tiff) extensions.insert(extensions.end(), {L"tiff", L"tif"});
    if (jpeg) extensions.insert(extensions.end(), {L"jpg", L"jpeg"});
    allowMargin = IsDlgButtonChecked(IDC_STAT_ALLOW_MARGIN) == BST_CHECKED;
    if (allowMargin) {
        const double percent = GetDlgItemFloat(IDC_STAT_MARGIN);
        if (!IsValidMarginPercent(percent)) {
            AfxMessageBox(L"请填入合法的百分比,[0,50].");
            return;
        }
        marginPercent = static_cast<float>(percent);
    }

    CFileTree tree;
    if (!tree.Build(extensions, CFileTree::kFlatWalk | CFileTree::kKeepRootPath, 0, source)) return;
    FileTreeNode* root = tree.FlatRoot();
    if (!root) return;
    GetLastPathComponent(source.c_str(), root->name);
    Job job;
    const bool includeSubfolders = IsDlgButtonChecked(IDC_TOOL_INCLUDE_SUBFOLDERS) == BST_CHECKED;
    const std::vector<FileTreeNode*>& candidates = includeSubfolders ? tree.FileList() : root->children;
    for (const FileTreeNode* node : candidates)
        if (!node->IsFolder()) job.files.emplace_back(node->fullPath, node->name);
    total_ = static_cast<int>(job.files.size());
    if (total_ == 0) return;

    job.papers = PaperChoice{paperA2 != 0, paperA3 != 0, paperA4 != 0};
    job.limits = PageSizeLimitsFor(allowMargin != 0, marginPercent);
    job.csv = IsDlgButtonChecked(IDC_STAT_CSV) == BST_CHECKED;
    job.folder = folder;
    job.window = GetSafeHwnd();
    busy_ = true;
    stop_ = false;
    if (CWnd* start = GetDlgItem(IDC_TOOL_START)) start->EnableWindow(false);
    ShowProgress(0);
    worker_ = std::thread([this, job = std::move(job)]() mutable { StatisticThreadProc(std::move(job)); });
}

std::vector<PageSizeRecord> CImgStatisticBySizeDlg::ClassifyAll(const Job& job) {
    std::vector<PageSizeRecord> found;
    const int total = static_cast<int>(job.files.size());
    for (int i = 0; i < total; ++i) {
        if (stop_) return found;
        PageSizeRecord record;
        if (ClassifyFile(job.files[static_cast<std::size_t>(i)].first, job.papers, job.limits, record)) {
            record.name = job.files[static_cast<std::size_t>(i)].second;
            found.push_back(std::move(record));
        }
        const int handled = i + 1;
        if (handled % kProgressStep == 0 && handled != total) ::PostMessage(job.window, WM_PROGRESS, handled, 0);
    }
    ::PostMessage(job.window, WM_PROGRESS, total, 0);
    return found;
}

void CImgStatisticBySizeDlg::StatisticThreadProc(Job job) {
    std::vector<PageSizeRecord> found = ClassifyAll(job);
    if (stop_) return;
    {
        std::lock_guard lock(mutex_);
        results_ = found;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    std::wstring written;
    std::wstring message = job.csv ? ExportCsv(job.folder, found, now, &written)
                                   : ExportXls(job.folder, found, now, &written);
    {
        std::lock_guard lock(mutex_);
        exportMessage_ = std::move(message);
        lastExport_ = written;
    }
    ::PostMessage(job.window, WM_TOOL_JOB_ENDED, 0, 0);
}

LRESULT CImgStatisticBySizeDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PROGRESS) {
        ShowProgress(static_cast<int>(wParam));
        return 0;
    }
    if (message == WM_TOOL_JOB_ENDED) {
        OnJobEnded();
        return 0;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

void CImgStatisticBySizeDlg::ShowProgress(int done) {
    std::wstring text;
    if (done < total_) {
        text = ProcessingText(done, total_);
    } else {
        text = FormatW(L"**********处理完成,总共处理了%d张.用了%d秒******", done,
                       static_cast<int>((GetTickCount() - startTick_) / 1000u));
    }
    SetDlgItemText(IDC_TOOL_PROGRESS, text);
    if (CWnd* line = GetDlgItem(IDC_TOOL_PROGRESS)) line->UpdateWindow();
}

void CImgStatisticBySizeDlg::OnJobEnded() {
    if (worker_.joinable()) worker_.join();
    busy_ = false;
    if (CWnd* start = GetDlgItem(IDC_TOOL_START)) start->EnableWindow(true);
    std::wstring message;
    {
        std::lock_guard lock(mutex_);
        message.swap(exportMessage_);
    }
    if (!message.empty()) MessageBox(message, kDefaultCaption, MB_OK);
}

void CImgStatisticBySizeDlg::OnCancel() {
    if (busy_) {
        if (MessageBox(L"正在处理，确定要关闭吗？", kDefaultCaption, MB_OKCANCEL) != IDOK) return;
        StopWorker();
    }
    CDialog::OnCancel();
}

std::vector<PageSizeRecord> CImgStatisticBySizeDlg::Results() const {
    std::lock_guard lock(mutex_);
    return results_;
}

std::wstring CImgStatisticBySizeDlg::LastExport() const {
    std::lock_guard lock(mutex_);
    return lastExport_;
}

// ---- Classification and export (the worker) ----------------------------------

bool CImgStatisticBySizeDlg::ClassifyFile(const std::wstring& path, const PaperChoice& papers,
                                          const PageSizeLimits& limits, PageSizeRecord& record) {
    if (!files::Exists(path)) return false;
    const bool tiff = EndsWithNoCase(path, L"tif") || EndsWithNoCase(path, L"tiff");
    record.type = tiff ? L"TIFF" : L"JPG";
    CRaster image;
    if (!image.Load(path, tiff ? RASTER_FORMAT_TIF : RASTER_FORMAT_JPG, true)) return false;
    record.width = static_cast<std::int32_t>(image.GetWidth());
    record.height = static_cast<std::int32_t>(image.GetHeight());
    record.xDpi = image.GetDpiX();
    record.yDpi = image.GetDpiY();
    if (record.width <= 0 || record.height <= 0) return false;
    record.paperCode = ClassifyPageSize(record.width, record.height, papers, limits);
    return record.paperCode != 0;
}

std::wstring CImgStatisticBySizeDlg::ExportCsv(const std::wstring& folder, const std::vector<PageSizeRecord>& records,
                                              const SYSTEMTIME& time, std::wstring* written) {
    if (written) written->clear();
    if (records.empty()) return L"没有符合条件的数据.";
    const std::wstring path = PathJoin(folder, StatisticsFileName(time, L".csv"));
    const std::string bytes = StatisticsCsvBytes(records);
    if (!files::WriteAllAtomic(path, bytes.data(), bytes.size())) return L"文件打开失败.";
    if (written) *written = path;
    return FormatW(L"导出CSV文件 %s 成功.", path.c_str());
}

std::wstring CImgStatisticBySizeDlg::ExportXls(const std::wstring& folder, const std::vector<PageSizeRecord>& records,
                                              const SYSTEMTIME& time, std::wstring* written) {
    if (written) written->clear();
    if (records.empty()) return L"没有符合条件的文件.";
    const std::wstring path = PathJoin(folder, StatisticsFileName(time, L".xlsx"));
    CSheetFile sheet(path, L"Sheet1", false);
    bool ok = true;
    if (!sheet.sheetExists) {
        sheet.totalColumns = static_cast<std::int16_t>(StatisticsHeader().size());
        ok = sheet.AddRow(StatisticsHeader(), 1);
        if (ok) sheet.totalRows = 1;
    } else {
        ok = sheet.AddRow(StatisticsHeader(), 1);
    }
    if (ok) {
        sheet.inTransaction = 1;
        std::int32_t row = 2;
        for (const auto& r : records) {
            if (!sheet.AddRow(StatisticsRow(r), row++)) {
                ok = false;
                break;
            }
        }
        if (ok) ok = sheet.Save();
    }
    if (!ok) {
        // A header saved on its own is no export.
        files::Remove(path);
        return FormatW(L"导出Excel文件 %s 失败: %s", path.c_str(), sheet.lastError.c_str());
    }
    if (written) *written = path;
    return FormatW(L"导出Excel文件 %s 成功.", path.c_str());
}
