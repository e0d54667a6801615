#include "manual/ManualDlg.h"

#include <QApplication>
#include <QCursor>
#include <QStyle>
#include <QWidget>

#include <algorithm>

#include "manual/ManualResource.h"
#include "manual/ManualSave.h"
#include "platform/core/Files.h"
#include "platform/ui/Keys.h"
#include "settings/ManualSetting.h"

using namespace manual_ids;

namespace {

constexpr COLORREF kCaptionColour = RGB(200, 127, 0);
constexpr COLORREF kCurrentEntryColour = RGB(0, 0, 255);
constexpr POINT kPageOrigin{2, 70};  // client pixels
constexpr int kFolderPageTop = 45;   // client pixels
constexpr int kMargin = 10;
constexpr int kStatusWidth = 270;    // dialog units, less where the window is narrower

struct PageInfo {
    int button;
    const wchar_t* title;
};
// By page index.
constexpr PageInfo kPages[CManualDlg::kPageCount] = {
    {IDC_TOOL_CENTER, L"居中"},       {IDC_TOOL_CORRECT, L"校正"},      {IDC_TOOL_CUTEDGE, L"切边"},
    {IDC_TOOL_RMBKCOLOR, L"去底色"},  {IDC_TOOL_RMBLACKBOARD, L"去黑底"}, {IDC_TOOL_RMSTAINS, L"去黑边、污点"},
    {IDC_TOOL_BINDHOLE, L"装订孔"},   {IDC_TOOL_AUTOCONTRAST, L"自动对比度"}, {IDC_TOOL_ERASE, L"框选去污"},
    {IDC_TOOL_OUTPUTSIZE, L"固定输出"}, {IDC_TOOL_TAIL, L"裁剪"},
};

// The page a key of the main row or the numeric pad shows, -1 for none.
int PageOfKey(UINT vk) {
    int digit = -1;
    if (vk >= '1' && vk <= '9') digit = static_cast<int>(vk - '0');
    if (vk >= VK_NUMPAD1 && vk <= VK_NUMPAD9) digit = static_cast<int>(vk - VK_NUMPAD0);
    // Keys 1..9 by page: 7 centre, 5 deskew, 6 edges, 1 background, 2 black
    // board, 3 stains, 4 binding holes, 8 contrast, 9 erase.
    constexpr int kPageOfDigit[10] = {-1, 3, 4, 5, 6, 1, 2, 0, 7, 8};
    return digit < 0 ? -1 : kPageOfDigit[digit];
}

const DialogTemplate kManualTemplate = {
    IDD_MANUAL_DIALOG,
    L"手动处理",
    837,
    420,
    {
        {IDC_TOOL_CENTER, Ctl::Button, L"居中 7", 4, 4, 46, 16},
        {IDC_TOOL_CORRECT, Ctl::Button, L"校正 5", 52, 4, 46, 16},
        {IDC_TOOL_CUTEDGE, Ctl::Button, L"切边 6", 100, 4, 46, 16},
        {IDC_TOOL_RMBKCOLOR, Ctl::Button, L"底色 1", 148, 4, 46, 16},
        {IDC_TOOL_RMBLACKBOARD, Ctl::Button, L"黑底 2", 196, 4, 46, 16},
        {IDC_TOOL_RMSTAINS, Ctl::Button, L"黑边污点 3", 244, 4, 54, 16},
        {IDC_TOOL_BINDHOLE, Ctl::Button, L"装订孔 4", 300, 4, 50, 16},
        {IDC_TOOL_AUTOCONTRAST, Ctl::Button, L"对比度 8", 352, 4, 50, 16},
        {IDC_TOOL_ERASE, Ctl::Button, L"框选去污 9", 404, 4, 54, 16},
        {IDC_TOOL_OUTPUTSIZE, Ctl::Button, L"固定输出", 460, 4, 50, 16},
        {IDC_TOOL_TAIL, Ctl::Button, L"裁剪", 512, 4, 40, 16},
        {IDC_STATUS, Ctl::Static, L"", 560, 7, kStatusWidth, 10, WS_HIDDEN},
        {IDC_LINE_TOP, Ctl::Frame, L"", 0, 23, 837, 1},
        {IDC_PAGE_TITLE, Ctl::Static, L"", 4, 26, 146, 12},
        {IDC_LINE_SIDE, Ctl::Frame, L"", 153, 24, 1, 396},
        {IDC_VIEW_MODE, Ctl::Button, L"视图", 157, 40, 24, 16, WS_DISABLED},
        {IDC_PREV_FILE, Ctl::Button, L"上页", 157, 60, 24, 16},
        {IDC_NEXT_FILE, Ctl::Button, L"下页", 157, 80, 24, 16},
        {IDC_FIT, Ctl::Button, L"适配", 157, 100, 24, 16},
        {IDC_CENTRE, Ctl::Button, L"居中", 157, 120, 24, 16},
        {IDC_SAVE, Ctl::Button, L"保存", 157, 140, 24, 16},
        {IDC_SAVE_AS, Ctl::Button, L"另存为", 157, 160, 24, 16},
        {IDC_MAIN_CAPTION, Ctl::Static, L"处理图", 186, 27, 40, 10},
        {IDC_FILE_PATH, Ctl::Static, L"", 230, 27, 300, 10, SS_PATHELLIPSIS},
        {IDC_MAIN_FRAME, Ctl::Frame, L"", 184, 38, 496, 378, SS_SUNKEN},
        {IDC_MAIN_VIEW, Ctl::Static, L"", 186, 40, 492, 374},
        {IDC_SECOND_FRAME, Ctl::Frame, L"", 432, 38, 248, 378, WS_HIDDEN | SS_SUNKEN},
        {IDC_SECOND_CAPTION, Ctl::Static, L"原图", 640, 27, 30, 10, WS_HIDDEN},
        {IDC_SECOND_VIEW, Ctl::Static, L"", 434, 40, 244, 374, WS_HIDDEN},
        {IDC_HISTORY_LABEL, Ctl::Static, L"历史操作：", 684, 290, 60, 10},
        {IDC_HISTORY, Ctl::List, L"", 684, 302, 148, 112},
    },
    WS_THICKFRAME,
};

RECT ClientRectOf(const CWnd& parent, const CWnd* child) {
    RECT r{};
    if (!child) return r;
    child->GetWindowRect(&r);
    parent.ScreenToClient(&r);
    return r;
}

}  // namespace

CManualDlg::CManualDlg() : CDialog(kManualTemplate) {
    for (int i = 0; i < kPageCount; ++i) MapCommand(kPages[i].button, BN_CLICKED, [this, i] { ShowPage(i); });
    MapCommand(IDC_VIEW_MODE, BN_CLICKED, [this] { SetViewMode(singleView_); });
    MapCommand(IDC_PREV_FILE, BN_CLICKED, [this] { OnPreviousFile(); });
    MapCommand(IDC_NEXT_FILE, BN_CLICKED, [this] { OnNextFile(); });
    MapCommand(IDC_FIT, BN_CLICKED, [this] { FitViews(); });
    MapCommand(IDC_CENTRE, BN_CLICKED, [this] { CentreViews(); });
    MapCommand(IDC_SAVE, BN_CLICKED, [this] { OnSave(); });
    MapCommand(IDC_SAVE_AS, BN_CLICKED, [this] { OnSaveAs(); });
    MapNotify(IDC_HISTORY, NM_CLICK, [this](NMHDR* header, LRESULT*) {
        const auto* click = reinterpret_cast<const NMITEMACTIVATE*>(header);
        OnHistoryClicked(click ? click->iItem : -1);
    });
}

CManualDlg::~CManualDlg() = default;

void CManualDlg::DoDataExchange(CDataExchange* dx) {
    DDX_Control(dx, IDC_MAIN_VIEW, mainView_);
    DDX_Control(dx, IDC_SECOND_VIEW, secondView_);
    DDX_Control(dx, IDC_HISTORY, historyList_);
}

CManualPage* CManualDlg::Page(int index) {
    CManualPage* pages[kPageCount] = {&centerPage_,       &correctPage_,  &cutedgePage_,     &rmbkcolorPage_,
                                      &rmblackboardPage_, &rmstainsPage_, &bindHolePage_,    &autocontrastPage_,
                                      &erasePage_,        &outputSizePage_, &tailPage_};
    return index >= 0 && index < kPageCount ? pages[index] : nullptr;
}

CWnd* CManualDlg::ErasePage() { return &erasePage_; }
CWnd* CManualDlg::CropPage() { return &tailPage_; }
void CManualDlg::OnEraseColourPicked() { erasePage_.ShowColour(); }

const BYTE* CManualDlg::CurrentImageBits(std::int32_t* width, std::int32_t* height) const {
    *width = current_.width;
    *height = current_.height;
    return current_.Empty() ? nullptr : current_.bits.get();
}

bool CManualDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    if (QWidget* window = Widget() ? Widget()->window() : nullptr)
        window->setWindowIcon(QApplication::style()->standardIcon(QStyle::SP_DesktopIcon));
    SetWindowText(fromScan ? L"手动处理 (从扫描进入的)" : L"手动处理");

    FreeAll();
    for (int i = 0; i < kPageCount; ++i) Page(i)->Create(this);
    dirPage_.Create(this);
    ShowPage(3);

    const BYTE white[4] = {255, 255, 255, 0};
    mainView_.SetImage(white, 1, 1);
    secondView_.SetImage(white, 1, 1);

    // The right-hand panel's width, from the template (the window may not
    // have its final size yet).
    const RECT frame = ClientRectOf(*this, GetDlgItem(IDC_SECOND_FRAME));
    viewRight_ = frame.right;
    panelWidth_ = DluToPixelsX(kManualTemplate.cx) - frame.right;
    path_.clear();
    name_.clear();
    ResetHistory();
    dirPage_.SetDirectMode(true);
    dirPage_.ShowWindow(SW_SHOW);
    singleView_ = true;
    SetViewMode(false);

    titleFont_.CreateFont(20, 0, 0, 0, 800, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial");
    if (CWnd* title = GetDlgItem(IDC_PAGE_TITLE)) title->SetFont(&titleFont_);
    initialised_ = true;
    RelayoutControls();
    // The folder chosen in an earlier opening comes back with its tree (its
    // first file loaded), not as a path over an empty tree.
    dirPage_.ShowProcessedFolder();
    return true;
}

INT_PTR CManualDlg::DoModal() {
    const INT_PTR result = CDialog::DoModal();
    // Closing the window frees the pictures of the history (ten colour pages
    // are hundreds of megabytes), the processors and the current file.
    initialised_ = false;
    FreeAll();
    mainView_.ReleaseImage();
    secondView_.ReleaseImage();
    return result;
}

void CManualDlg::FreeAll() {
    history_.Clear();
    current_.Reset();
    original_.Reset();
    preview_.Reset();
    processor_.reset();
    originalProcessor_.reset();
    path_.clear();
    name_.clear();
}

// ---- Pages and keys --------------------------------------------------------------

void CManualDlg::ShowPage(int index) {
    CManualPage* shown = Page(index);
    if (!shown) return;
    page_ = index;
    for (int i = 0; i < kPageCount; ++i) Page(i)->ShowWindow(SW_HIDE);
    SetDlgItemText(IDC_PAGE_TITLE, kPages[index].title);
    RECT r{};
    shown->GetWindowRect(&r);
    shown->MoveWindow(kPageOrigin.x, kPageOrigin.y, r.right - r.left, r.bottom - r.top);
    shown->ShowWindow(SW_SHOW);
    if (index == 3) rmbkcolorPage_.SetRebuildMask();
}

bool CManualDlg::PreTranslateMessage(MSG* msg) {
    if (FilterManualKey(*this, msg, this)) return true;
    return CDialog::PreTranslateMessage(msg);
}

void CManualDlg::OnKey(UINT vk, bool ctrl) {
    const int page = PageOfKey(vk);
    if (page >= 0) {
        ShowPage(page);
        return;
    }
    switch (vk) {
        case 'A':
            if (page_ >= 0 && page_ <= 7) Page(page_)->ApplyKey(ctrl);
            break;
        case 'D':
            if (page_ >= 0 && page_ <= 7) Page(page_)->DefaultsKey(ctrl);
            break;
        case 'S':
        case VK_F4:
            ctrl ? OnSaveAs() : OnSave();
            break;
        case 'C': CentreViews(); break;
        case 'F': FitViews(); break;
        case 'P':
        case VK_F1: OnPreviousFile(); break;
        case 'N': OnNextFile(); break;
        case VK_ADD:
        case VK_OEM_PLUS:
            if (history_.Current() < static_cast<int>(history_.Size()) - 1) history_.SetCurrent(history_.Current() + 1);
            SelectHistory();
            break;
        case VK_DECIMAL:
        case VK_OEM_MINUS:
            if (history_.Current() > 0) history_.SetCurrent(history_.Current() - 1);
            SelectHistory();
            break;
        default: break;
    }
}

// ---- Views and layout -----------------------------------------------------------

void CManualDlg::SetViewMode(bool sideBySide) {
    singleView_ = dirPage_.DirectMode() ? true : !sideBySide;
    if (CWnd* toggle = GetDlgItem(IDC_VIEW_MODE)) toggle->EnableWindow(!dirPage_.DirectMode());
    for (int id : {IDC_SECOND_FRAME, IDC_SECOND_CAPTION, IDC_SECOND_VIEW})
        if (CWnd* item = GetDlgItem(id)) item->ShowWindow(singleView_ ? SW_HIDE : SW_SHOW);
    RelayoutControls();
}

void CManualDlg::RelayoutControls() {
    if (!initialised_ || !Widget()) return;
    RECT client{};
    GetClientRect(&client);
    const int W = client.right;
    const int H = client.bottom;
    const int P = panelWidth_;
    auto moveTo = [this](int id, int x, int y, int w, int h) {
        if (CWnd* item = GetDlgItem(id)) item->MoveWindow(x, y, std::max(0, w), std::max(0, h));
    };
    const RECT status = ClientRectOf(*this, GetDlgItem(IDC_STATUS));
    moveTo(IDC_STATUS, status.left, status.top, std::min<int>(DluToPixelsX(kStatusWidth), W - kMargin - status.left),
           status.bottom - status.top);
    const RECT top = ClientRectOf(*this, GetDlgItem(IDC_LINE_TOP));
    moveTo(IDC_LINE_TOP, 0, top.top, W, top.bottom - top.top);
    const RECT side = ClientRectOf(*this, GetDlgItem(IDC_LINE_SIDE));
    moveTo(IDC_LINE_SIDE, side.left, side.top, side.right - side.left, H - side.top);

    const RECT view = ClientRectOf(*this, &mainView_);
    const int left = view.left;
    const int viewTop = view.top;
    const int viewHeight = H - kMargin - viewTop;
    const RECT frame = ClientRectOf(*this, GetDlgItem(IDC_MAIN_FRAME));
    const int inset = left - frame.left;
    if (singleView_) {
        const int width = W - P - left;
        mainView_.MoveWindow(left, viewTop, width, viewHeight);
        moveTo(IDC_MAIN_FRAME, frame.left, frame.top, width + 2 * inset, viewHeight + 2 * inset);
    } else {
        const int width = (W - P - left - 20) / 2;
        mainView_.MoveWindow(left, viewTop, width, viewHeight);
        moveTo(IDC_MAIN_FRAME, frame.left, frame.top, width + 2 * inset, viewHeight + 2 * inset);
        moveTo(IDC_SECOND_FRAME, left + width + kMargin, frame.top, width + 2 * inset, viewHeight + 2 * inset);
        secondView_.MoveWindow(left + width + 20, viewTop, width, viewHeight);
        const RECT caption = ClientRectOf(*this, GetDlgItem(IDC_SECOND_CAPTION));
        const int captionWidth = caption.right - caption.left;
        moveTo(IDC_SECOND_CAPTION, W - P - kMargin - captionWidth, caption.top, captionWidth,
               caption.bottom - caption.top);
    }
    // The right-hand panel: the folder page, then the history.
    RECT page{};
    dirPage_.GetWindowRect(&page);
    const int pageHeight = page.bottom - page.top;
    dirPage_.MoveWindow(W - P, kFolderPageTop, page.right - page.left, pageHeight);
    const RECT label = ClientRectOf(*this, GetDlgItem(IDC_HISTORY_LABEL));
    const int labelTop = kFolderPageTop + pageHeight + 4;
    moveTo(IDC_HISTORY_LABEL, W - P + 4, labelTop, label.right - label.left, label.bottom - label.top);
    const int listTop = labelTop + (label.bottom - label.top) + 2;
    historyList_.MoveWindow(W - P + 4, listTop, P - 12, H - kMargin - listTop);
}

void CManualDlg::OnSize(UINT type, int cx, int cy) {
    CDialog::OnSize(type, cx, cy);
    if (!initialised_) return;
    RelayoutControls();
    FitViews();
}

void CManualDlg::FitViews() {
    mainView_.FitToWindow();
    secondView_.FitToWindow();
}

void CManualDlg::CentreViews() {
    mainView_.CenterImage();
    secondView_.CenterImage();
}

bool CManualDlg::IsPointInImageView(POINT screenPoint) const {
    RECT r{};
    mainView_.GetWindowRect(&r);
    return screenPoint.x >= r.left && screenPoint.x < r.right && screenPoint.y >= r.top && screenPoint.y < r.bottom;
}

bool CManualDlg::CursorOverMainView() const {
    const QPoint p = QCursor::pos();
    return IsPointInImageView(POINT{p.x(), p.y()});
}

void CManualDlg::SetViewCursor(HCURSOR cursor) {
    if (cursor && mainView_.Widget()) mainView_.Widget()->setCursor(*cursor);
}

HBRUSH CManualDlg::OnCtlColor(CDC* dc, CWnd* window, UINT ctlColor) {
    if (dc && window && ctlColor == CTLCOLOR_STATIC) {
        const int id = window->GetDlgCtrlID();
        if (id == IDC_STATUS || id == IDC_MAIN_CAPTION || id == IDC_SECOND_CAPTION || id == IDC_PAGE_TITLE)
            dc->SetTextColor(kCaptionColour);
    }
    return CDialog::OnCtlColor(dc, window, ctlColor);
}

// ---- Files ----------------------------------------------------------------------------

namespace {
// A new processor for the file at `path` (first page of a multi-page file)
// and its picture; false, with both empty, when it cannot be read or decoded.
bool LoadWithProcessor(const std::wstring& path, std::unique_ptr<CImageProcessor>& processor, OwnedImage24& image) {
    image.Reset();
    processor.reset();
    if (path.empty() || !files::Exists(path)) return false;
    auto loaded = std::make_unique<CImageProcessor>();
    if (!loaded->ReadFileBytes(path.c_str()) || !loaded->LoadImageFile(path.c_str(), 1)) return false;
    std::int32_t w = 0, h = 0;
    BYTE* bits = loaded->GetResultBits(&w, &h);
    if (!bits) return false;
    image.bits.reset(bits);
    image.width = w;
    image.height = h;
    processor = std::move(loaded);
    return true;
}
}  // namespace

bool CManualDlg::LoadImage(const std::wstring& path) {
    preview_.Reset();
    return LoadWithProcessor(path, processor_, current_);
}

bool CManualDlg::LoadOriginalImage(const std::wstring& path) { return LoadWithProcessor(path, originalProcessor_, original_); }

void CManualDlg::ShowLoaded(const std::wstring& path, const std::wstring& name) {
    SetDlgItemText(IDC_FILE_PATH, path);
    path_ = path;
    name_ = name;
    mainView_.SetImage(current_.bits.get(), current_.width, current_.height);
    mainView_.FitToWindow();
    ResetHistory();
    rmbkcolorPage_.EnableColourControls(processor_ && processor_->sourceDepth > 8);
}

void CManualDlg::OnFileSelected(const std::wstring& path, const std::wstring& name, bool fromProcessedTree) {
    const std::wstring loadPath = dirPage_.DirectMode() || fromProcessedTree ? path : MapToProcessedPath(path);
    if (!LoadImage(loadPath)) {
        // Nothing is loaded now: operations and saves do nothing, and no
        // history of the previous file can be saved over another one.
        path_.clear();
        name_.clear();
        ResetHistory();
        ShowStatus(L"无法打开图片: " + loadPath);
        return;
    }
    ShowLoaded(loadPath, name);
    if (dirPage_.DirectMode()) return;
    const std::wstring originalPath = fromProcessedTree ? MapToOriginalPath(path) : path;
    if (LoadOriginalImage(originalPath)) {
        secondView_.SetImage(original_.bits.get(), original_.width, original_.height);
        secondView_.FitToWindow();
    }
}

std::wstring CManualDlg::MapToProcessedPath(const std::wstring& path) const {
    const std::wstring processed = dirPage_.GetDlgItemText(dir::IDC_PROCESSED_FOLDER);
    const std::wstring original = dirPage_.GetDlgItemText(dir::IDC_ORIGINAL_FOLDER);
    if (original.empty() || path.find(original) == std::wstring::npos) return {};
    return processed + path.substr(original.size());
}

std::wstring CManualDlg::MapToOriginalPath(const std::wstring& path) const {
    const std::wstring processed = dirPage_.GetDlgItemText(dir::IDC_PROCESSED_FOLDER);
    const std::wstring original = dirPage_.GetDlgItemText(dir::IDC_ORIGINAL_FOLDER);
    if (processed.empty() || path.find(processed) == std::wstring::npos) return {};
    const std::size_t tail = path.size() > processed.size() + 1 ? path.size() - processed.size() - 1 : 0;
    return original + L"/" + path.substr(path.size() - tail);
}

void CManualDlg::StepFile(bool next) {
    dirPage_.SelectNeighbour(next);
    CentreViews();
}

// ---- Operations and history ------------------------------------------------------------

void CManualDlg::AddOperation(std::unique_ptr<ManualOperation> operation) {
    if (!operation || path_.empty() || current_.Empty()) return;
    history_.MakeRoom();
    ExecuteOperation(*operation);
    if (!current_.Empty()) operation->snapshot = current_.Copy();
    history_.Append(std::move(operation));
    RebuildHistoryList();
}

void CManualDlg::ExecuteOperation(const ManualOperation& operation) {
    if (operation.type == OpOriginal) return;
    ShowStatus(L"操作开始...");
    if (processor_ && processor_->SetImage(current_.bits.get(), current_.width, current_.height)) {
        processor_->RunManualOperation(operation);
        std::int32_t w = 0, h = 0;
        if (BYTE* bits = processor_->GetResultBits(&w, &h)) {
            current_.bits.reset(bits);
            current_.width = w;
            current_.height = h;
        }
        preview_.Reset();
        ShowCurrent();
        if (operation.type == OpRotate90 || operation.type == OpCrop) mainView_.FitToWindow();
    }
    ShowStatus(L"操作完成!");
}

void CManualDlg::PreviewOperation(const ManualOperation& operation) {
    if (!processor_ || current_.Empty()) return;
    if (!processor_->SetImage(current_.bits.get(), current_.width, current_.height)) return;
    processor_->RunManualOperation(operation);
    std::int32_t w = 0, h = 0;
    BYTE* bits = processor_->GetResultBits(&w, &h);
    preview_.Reset();
    if (!bits) return;
    preview_.bits.reset(bits);
    preview_.width = w;
    preview_.height = h;
    mainView_.SetImage(preview_.bits.get(), preview_.width, preview_.height);
}

void CManualDlg::ShowCurrent() { mainView_.SetImage(current_.bits.get(), current_.width, current_.height); }

void CManualDlg::ResetHistory() {
    history_.Clear();
    AddOperation(std::make_unique<ManualOperation>(OpOriginal, L"原图", std::monostate{}));
    history_.SetCurrent(0);
    RebuildHistoryList();
}

void CManualDlg::RebuildHistoryList() {
    if (!historyList_.GetSafeHwnd()) return;
    historyList_.DeleteAllItems();
    for (int i = 0; i < static_cast<int>(history_.Size()); ++i) {
        historyList_.InsertItem(i, history_.Text(i));
        historyList_.SetItemTextColor(i, i == history_.Current() ? kCurrentEntryColour : CLR_DEFAULT);
    }
}

void CManualDlg::SelectHistory() {
    const ManualOperation* entry = history_.CurrentEntry();
    if (!entry) return;
    current_ = entry->snapshot.Copy();
    preview_.Reset();
    ShowCurrent();
    mainView_.FitToWindow();
    RebuildHistoryList();
}

void CManualDlg::OnHistoryClicked(int item) {
    if (item < 0 || item >= static_cast<int>(history_.Size())) return;
    const int mark = historyList_.GetSelectionMark();
    history_.SetCurrent(mark >= 0 ? mark : item);
    SelectHistory();
}

// ---- Saving and the status line ----------------------------------------------------------------

bool CManualDlg::CanSave() {
    if (path_.empty() || !processor_) return false;
    if (history_.Size() < 2 || history_.Current() == 0) {
        ShowStatus(L"没有操作不需保存");
        return false;
    }
    return true;
}

void CManualDlg::SaveTo(const std::wstring& destination) {
    const ManualOperation* entry = history_.CurrentEntry();
    if (!entry || !processor_) return;
    std::wstring reason;
    if (SaveManualPicture(*processor_, entry->snapshot, path_, destination, &reason))
        ShowStatus(L"保存成功");
    else
        ShowStatus(L"保存失败: " + (reason.empty() ? destination : reason));
}

void CManualDlg::OnSave() {
    if (!CanSave()) return;
    SaveTo(path_);
}

void CManualDlg::OnSaveAs() {
    if (!CanSave()) return;
    const std::size_t dot = path_.rfind(L'.');
    std::wstring ext = dot == std::wstring::npos ? path_ : path_.substr(dot + 1);
    if (ext.size() > 127) ext.resize(127);
    const std::wstring filter = L"(*." + ext + L")|*." + ext + L"||";
    // The whole path: a name cut short would be another file. The dialog
    // offers the source's own name, so a file that exists (the source
    // itself, after a quick Ctrl+S and Enter) is replaced only once the user
    // has said yes to replacing it.
    CFileDialog dialog(false, nullptr, path_.c_str(), OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, filter.c_str());
    if (dialog.DoModal() != IDOK) return;
    SaveTo(dialog.GetPathName());
}

void CManualDlg::ShowStatus(const std::wstring& text) {
    SetDlgItemText(IDC_STATUS, text);
    if (CWnd* status = GetDlgItem(IDC_STATUS)) status->ShowWindow(SW_SHOW);
    SetTimer(kStatusTimer, kStatusPeriod);
}

void CManualDlg::OnTimer(UINT_PTR id) {
    if (id == kStatusTimer) {
        KillTimer(kStatusTimer);
        SetDlgItemText(IDC_STATUS, L"");
        if (CWnd* status = GetDlgItem(IDC_STATUS)) status->ShowWindow(SW_HIDE);
        return;
    }
    CDialog::OnTimer(id);
}

