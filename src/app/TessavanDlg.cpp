#include "app/TessavanDlg.h"

#include <QApplication>
#include <QStyle>
#include <QWidget>

#include "app/Resource.h"
#include "scan/ScanResource.h"
#include "app/core/MainWindowRules.h"
#include "platform/core/Numbers.h"
#include "platform/core/System.h"
#include "platform/core/UserDialogs.h"
#include "settings/ProcessSetting.h"

namespace {

constexpr COLORREF kProgressColour = RGB(200, 127, 0);
constexpr COLORREF kSummaryColour = RGB(0, 180, 0);

const DialogTemplate kMainTemplate = {
    IDD_TESSAVAN_DIALOG,
    L"",
    340,
    250,
    {
        {IDC_FOLDERS_FRAME, Ctl::GroupBox, L"文件目录选择", 7, 5, 326, 76},
        {IDC_SOURCE_LABEL, Ctl::Static, L"要处理的目录：", 15, 20, 56, 10},
        {IDC_SOURCE_FOLDER, Ctl::Edit, L"", 72, 18, 218, 13, ES_READONLY},
        {IDC_BROWSE_SOURCE, Ctl::Button, L"打开", 294, 17, 34, 15},
        {IDC_SAVE_TO_SOURCE_FOLDER, Ctl::Radio, L"保存到原目录", 15, 38, 70, 10, WS_GROUP},
        {IDC_SAVE_TO_NEW_FOLDER, Ctl::Radio, L"保存到新目录", 90, 38, 70, 10},
        {IDC_INCLUDE_SUBFOLDERS, Ctl::CheckBox, L"包含子目录", 180, 38, 62, 10, WS_GROUP},
        {IDC_REPROCESS_ALL, Ctl::CheckBox, L"全部重新处理", 248, 38, 80, 10},
        {IDC_DESTINATION_LABEL, Ctl::Static, L"保存到目录：", 15, 58, 56, 10},
        {IDC_DESTINATION_FOLDER, Ctl::Edit, L"", 72, 56, 218, 13, ES_READONLY},
        {IDC_BROWSE_DESTINATION, Ctl::Button, L"打开", 294, 55, 34, 15},
        {IDC_LANGUAGE_CHINESE, Ctl::Radio, L"简体中文", 250, 5, 40, 10, WS_GROUP | WS_HIDDEN},
        {IDC_LANGUAGE_ENGLISH, Ctl::Radio, L"English", 292, 5, 40, 10, WS_HIDDEN},
        {IDC_STEPS_FRAME, Ctl::GroupBox, L"操作选择和设置", 7, 86, 326, 88},
        {IDC_STEPS_LABEL, Ctl::Static, L"常用操作：", 15, 101, 45, 10},
        {IDC_DESKEW, Ctl::CheckBox, L"倾斜校正", 62, 100, 58, 10, WS_GROUP},
        {IDC_BACKGROUND, Ctl::CheckBox, L"去底色", 124, 100, 58, 10},
        {IDC_MORE_STEPS_LABEL, Ctl::Static, L"更多操作：", 15, 118, 45, 10},
        {IDC_SETTINGS_LINK, Ctl::Link,
         L"<a>批量处理设置 (去底色、校正、去黑边、装订孔、居中、切边、印章......)</a>", 62, 118, 266, 10},
        {IDC_SUMMARY, Ctl::Static, L"当前无选中", 15, 134, 313, 20},
        {IDC_AUTO_DETECT, Ctl::CheckBox, L"自动检测新文件", 15, 158, 90, 10},
        {IDC_THREAD_LABEL, Ctl::Static, L"并发处理张数:", 190, 159, 60, 10},
        {IDC_THREAD_COUNT, Ctl::ComboBox, L"", 252, 157, 40, 80},
        {IDC_START, Ctl::DefButton, L" 开始处理", 120, 180, 100, 22},
        {IDC_MANUAL_LINK, Ctl::Link, L"<a>进入手动处理</a>", 262, 187, 66, 10},
        {IDC_PROGRESS, Ctl::Static, L" ", 7, 208, 326, 12, SS_CENTER},
        {IDC_STATUS, Ctl::Static, L"", 7, 222, 326, 12, SS_RIGHT | SS_PATHELLIPSIS},
        {IDC_CLASSIFY_LINK, Ctl::Link, L"<a>进入分类处理</a>", 15, 187, 60, 10, WS_HIDDEN},
        {IDC_BROWSE_RESULTS_LINK, Ctl::Link, L"<a>进入结果浏览</a>", 15, 197, 60, 10, WS_HIDDEN},
        {IDC_CONTACT_PICTURE_1, Ctl::Picture, L"", 7, 236, 10, 10, WS_HIDDEN},
        {IDC_CONTACT_LABEL_1, Ctl::Static, L"", 20, 237, 60, 10, WS_HIDDEN},
        {IDC_CONTACT_PICTURE_2, Ctl::Picture, L"", 90, 236, 10, 10, WS_HIDDEN},
        {IDC_CONTACT_LABEL_2, Ctl::Static, L"", 103, 237, 60, 10, WS_HIDDEN},
        {IDC_CONSULT_LINK, Ctl::Link, L"<a>在线咨询</a>", 200, 237, 50, 10, WS_HIDDEN},
        {IDC_CONTACT_LINK, Ctl::Link, L"", 270, 237, 63, 10},
    },
};

const std::vector<MenuItemSpec> kMainMenu = {
    {ID_MENU_SCAN, L"扫描", {}},
    {0,
     L"更多功能",
     {{ID_MENU_DETECT, L"检测", {}},
      {ID_MENU_FOLDER_DIFF, L"求两个文件夹的差", {}},
      {ID_MENU_SEAL, L"加归档印章", {}},
      {ID_MENU_PAGE_STATISTICS, L"幅面统计", {}},
      {ID_MENU_CONFIG, L"配置", {}}}},
    {0, L"帮助", {{ID_MENU_VERSION, L"版本信息", {}}, {ID_MENU_CUSTOM, L"功能定制", {}}}},
};

QIcon StandardIcon(QStyle::StandardPixmap which) { return QApplication::style()->standardIcon(which); }

}  // namespace

CTessavanDlg::CTessavanDlg(CWnd* parent) : CDialog(kMainTemplate, parent), engine_(*this) {
    moreFeaturesDlg.SetEngine(&engine_);
    detectDlg.SetEngine(&engine_);
    settingDlg.quickStepsChanged = [this] { ShowQuickSteps(); };
    scanDlg.host.engine = &engine_;
    // The scan window's own settings dialog, in its scan form.
    scanDlg.host.openScanSettings = [this](int page) {
        scanSettingDlg.SetScanVariant(1);
        scanSettingDlg.SetCurrentPage(page);
        scanSettingDlg.DoModal();
    };
    // The scan window's own manual window, captioned as entered from a scan.
    scanDlg.host.openManualWindow = [this] {
        scanManualDlg.fromScan = true;
        scanManualDlg.DoModal();
    };
    MapCommand(IDC_BROWSE_SOURCE, BN_CLICKED, [this] { OnBrowseSource(); });
    MapCommand(IDC_BROWSE_DESTINATION, BN_CLICKED, [this] { OnBrowseDestination(); });
    MapCommand(IDC_START, BN_CLICKED, [this] { OnStartStop(); });
    MapCommand(IDC_SAVE_TO_SOURCE_FOLDER, BN_CLICKED, [this] { OnSaveToSourceFolder(); });
    MapCommand(IDC_SAVE_TO_NEW_FOLDER, BN_CLICKED, [this] { OnSaveToNewFolder(); });
    MapCommand(IDC_DESKEW, BN_CLICKED, [this] { OnDeskewCheck(); });
    MapCommand(IDC_BACKGROUND, BN_CLICKED, [this] { OnBackgroundCheck(); });
    for (const auto& top : kMainMenu) {
        if (top.id) MapCommand(top.id, 0, [this, id = top.id] { OnMenu(id); });
        for (const auto& item : top.children) MapCommand(item.id, 0, [this, id = item.id] { OnMenu(id); });
    }
}

CTessavanDlg::~CTessavanDlg() = default;

bool CTessavanDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    engine_.Reopen();
    engine_.SetWindowHandle(GetSafeHwnd());

    if (QWidget* window = Widget() ? Widget()->window() : nullptr)
        window->setWindowIcon(StandardIcon(QStyle::SP_DesktopIcon));

    menu_.LoadMenu(kMainMenu);
    menu_.SetMenuItemBitmaps(ID_MENU_DETECT, StandardIcon(QStyle::SP_FileDialogContentsView).pixmap(16, 16));
    menu_.SetMenuItemBitmaps(ID_MENU_SEAL, StandardIcon(QStyle::SP_DialogApplyButton).pixmap(16, 16));
    menu_.SetMenuItemBitmaps(ID_MENU_CONFIG, StandardIcon(QStyle::SP_FileDialogDetailedView).pixmap(16, 16));
    menu_.SetMenuItemBitmaps(ID_MENU_VERSION, StandardIcon(QStyle::SP_MessageBoxInformation).pixmap(16, 16));
    SetMenu(&menu_);

    SetWindowText(FormatW(L"%s %s", kProductTitle.c_str(), kVersionText.c_str()));
    CheckDlgButton(IDC_DESKEW, BST_CHECKED);
    CheckDlgButton(IDC_BACKGROUND, BST_CHECKED);
    SetDlgItemText(IDC_CONTACT_LINK, ContactInfo::kContactLink);

    if (auto* combo = dynamic_cast<CComboBox*>(GetDlgItem(IDC_THREAD_COUNT))) {
        combo->ResetContent();
        for (const auto& item : kThreadCountItems) {
            const int index = combo->AddString(item.text);
            combo->SetItemData(index, static_cast<DWORD_PTR>(item.data));
        }
        combo->SetCurSel(PreselectedThreadItem(GetProcessorCount()));
    }

    CheckDlgButton(IDC_INCLUDE_SUBFOLDERS, BST_CHECKED);
    CheckDlgButton(IDC_REPROCESS_ALL, BST_CHECKED);
    CheckDlgButton(IDC_SAVE_TO_SOURCE_FOLDER, BST_CHECKED);
    CheckDlgButton(IDC_SAVE_TO_NEW_FOLDER, BST_UNCHECKED);
    ShowDestinationRow(false);
    engine_.SetSaveToNewFolder(false);
    engine_.Pool().runType = 0;
    CheckDlgButton(IDC_LANGUAGE_CHINESE, BST_CHECKED);

    toolTip_.Create(this);
    toolTip_.AddTool(GetDlgItem(IDC_REPROCESS_ALL), L"勾选：重新处理所有文件，不勾选：在现有的结果基础上继续处理");
    toolTip_.AddTool(GetDlgItem(IDC_AUTO_DETECT), L"勾选：适合边扫描边处理，自动查找新产生的文件");
    toolTip_.AddTool(GetDlgItem(IDC_THREAD_COUNT), L"建议不要大于实际CPU核数");

    for (int id : {IDC_CONTACT_PICTURE_1, IDC_CONTACT_PICTURE_2, IDC_CONTACT_LABEL_1, IDC_CONTACT_LABEL_2,
                   IDC_CONSULT_LINK})
        if (CWnd* item = GetDlgItem(id)) item->ShowWindow(SW_HIDE);
    linkFont_.CreateFont(15, 0, 0, 0, 500, 0, 0, 0, DEFAULT_CHARSET, 0, 0, DEFAULT_QUALITY, 0, L"宋体");
    if (CWnd* link = GetDlgItem(IDC_CONTACT_LINK)) {
        link->SetFont(&linkFont_);
        link->ShowWindow(SW_SHOW);
    }

    const QIcon folder = StandardIcon(QStyle::SP_DirOpenIcon);
    for (int id : {IDC_BROWSE_SOURCE, IDC_BROWSE_DESTINATION})
        if (auto* button = dynamic_cast<CButton*>(GetDlgItem(id))) button->SetIcon(folder, 20);
    if (auto* start = dynamic_cast<CButton*>(GetDlgItem(IDC_START)))
        start->SetIcon(StandardIcon(QStyle::SP_MediaPlay), 24);

    // Folders chosen before (by the configuration loader) show in their edits.
    SetDlgItemText(IDC_SOURCE_FOLDER, engine_.SourceFolder());
    SetDlgItemText(IDC_DESTINATION_FOLDER, engine_.DestinationFolder());
    return true;
}

LRESULT CTessavanDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (engine_.HandleMessage(message, wParam, lParam, result)) {
        if (message == WM_LOAD_FILE) return result;
        CDialog::WindowProc(message, wParam, lParam);
        return result;
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

bool CTessavanDlg::PreTranslateMessage(MSG* msg) {
    toolTip_.RelayEvent(msg);
    return CDialog::PreTranslateMessage(msg);
}

void CTessavanDlg::OnOK() {
    engine_.Shutdown();
    CDialog::OnOK();
}

void CTessavanDlg::OnCancel() {
    engine_.Shutdown();
    CDialog::OnCancel();
}

void CTessavanDlg::OnTimer(UINT_PTR id) {
    if (id == kAutoDetectTimer) engine_.OnAutoDetectTick();
    CDialog::OnTimer(id);
}

HBRUSH CTessavanDlg::OnCtlColor(CDC* dc, CWnd* window, UINT ctlColor) {
    if (ctlColor == CTLCOLOR_STATIC && window) {
        const int id = window->GetDlgCtrlID();
        if (id == IDC_PROGRESS || id == IDC_STATUS) dc->SetTextColor(kProgressColour);
        if (id == IDC_SUMMARY) dc->SetTextColor(kSummaryColour);
    }
    return CDialog::OnCtlColor(dc, window, ctlColor);
}

bool CTessavanDlg::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) {
    const auto* header = reinterpret_cast<const NMHDR*>(lParam);
    if (header && header->code == NM_CLICK) {
        switch (header->idFrom) {
        case IDC_SETTINGS_LINK: OnBatchSettings(); return true;
        case IDC_MANUAL_LINK: OnManualProcessing(); return true;
        case IDC_CONTACT_LINK: OnContact(); return true;
        case IDC_CONSULT_LINK: OnConsult(); return true;
        default: break;
        }
    }
    return CDialog::OnNotify(wParam, lParam, result);
}

// ---- Folders -------------------------------------------------------------------

void CTessavanDlg::SetSourceFolder(const std::wstring& folder) {
    engine_.SetSourceFolder(folder);
    SetDlgItemText(IDC_SOURCE_FOLDER, folder);
}

void CTessavanDlg::SetDestinationFolder(const std::wstring& folder) {
    engine_.SetDestinationFolder(folder);
    SetDlgItemText(IDC_DESTINATION_FOLDER, folder);
}

void CTessavanDlg::OnBrowseSource() {
    std::wstring folder = engine_.SourceFolder();
    if (BrowseForFolder(L"请选择目录", folder)) SetSourceFolder(folder);
}

void CTessavanDlg::OnBrowseDestination() {
    std::wstring folder = engine_.DestinationFolder();
    if (BrowseForFolder(L"请选择要保存的目录", folder)) SetDestinationFolder(folder);
}

void CTessavanDlg::ShowDestinationRow(bool show) {
    for (int id : {IDC_DESTINATION_LABEL, IDC_DESTINATION_FOLDER, IDC_BROWSE_DESTINATION})
        if (CWnd* item = GetDlgItem(id)) item->ShowWindow(show ? SW_SHOW : SW_HIDE);
}

void CTessavanDlg::SetSaveToNewFolder(int mode) {
    const bool newFolder = mode == 1;
    CheckDlgButton(IDC_SAVE_TO_SOURCE_FOLDER, newFolder ? BST_UNCHECKED : BST_CHECKED);
    CheckDlgButton(IDC_SAVE_TO_NEW_FOLDER, newFolder ? BST_CHECKED : BST_UNCHECKED);
    ShowDestinationRow(newFolder);
    engine_.SetSaveToNewFolder(newFolder);
}

void CTessavanDlg::OnSaveToSourceFolder() {
    if (IsDlgButtonChecked(IDC_SAVE_TO_SOURCE_FOLDER) == BST_CHECKED) SetSaveToNewFolder(0);
}

void CTessavanDlg::OnSaveToNewFolder() {
    if (IsDlgButtonChecked(IDC_SAVE_TO_NEW_FOLDER) == BST_CHECKED) SetSaveToNewFolder(1);
}

// ---- Steps ---------------------------------------------------------------------

void CTessavanDlg::OnDeskewCheck() {
    ProcessSetting::correct.on = IsDlgButtonChecked(IDC_DESKEW) == BST_CHECKED ? 1 : 0;
}

void CTessavanDlg::OnBackgroundCheck() {
    ProcessSetting::rmbkcolor.on = IsDlgButtonChecked(IDC_BACKGROUND) == BST_CHECKED ? 1 : 0;
}

void CTessavanDlg::BuildOperationSummary() { SetDlgItemText(IDC_SUMMARY, OperationSummaryText()); }

// ---- Links and menu --------------------------------------------------------------

void CTessavanDlg::OnManualProcessing() {
    manualDlg.fromScan = false;
    manualDlg.DoModal();
    SetFocus();
}

void CTessavanDlg::OnBatchSettings() {
    settingDlg.SetScanVariant(0);
    settingDlg.SetCurrentPage(0);
    settingDlg.DoModal();
    BuildOperationSummary();
    SetFocus();
}

void CTessavanDlg::ShowQuickSteps() {
    if (GetDlgItem(IDC_DESKEW)) CheckDlgButton(IDC_DESKEW, ProcessSetting::correct.on ? BST_CHECKED : BST_UNCHECKED);
    if (GetDlgItem(IDC_BACKGROUND))
        CheckDlgButton(IDC_BACKGROUND, ProcessSetting::rmbkcolor.on ? BST_CHECKED : BST_UNCHECKED);
}

void CTessavanDlg::OnContact() {
    qqDlg.DoModal();
    SetFocus();
}

void CTessavanDlg::OnConsult() {
    ShellExecuteW(GetSafeHwnd(), L"open", ContactInfo::kConsultTarget.c_str(), nullptr, nullptr, SW_SHOW);
}

bool CTessavanDlg::RefuseDuringRun() {
    // A run is going, or a stopped one still has workers finishing files.
    if (engine_.RunState() == RUN_STATE_IDLE && !engine_.Stopping()) return false;
    MessageBoxW(L"处理完成后才能使用此功能。", kDefaultCaption, MB_OK);
    return true;
}

void CTessavanDlg::OnMenu(UINT id) {
    switch (id) {
    case ID_MENU_DETECT:
        if (!RefuseDuringRun()) detectDlg.DoModal();
        break;
    case ID_MENU_FOLDER_DIFF:
        if (!RefuseDuringRun()) moreFeaturesDlg.DoModal();
        break;
    case ID_MENU_SEAL: sealDlg.DoModal(); break;
    case ID_MENU_PAGE_STATISTICS: statisticsDlg.DoModal(); break;
    case ID_MENU_VERSION: versionDlg.DoModal(); break;
    case ID_MENU_CUSTOM: customDlg.DoModal(); break;
    case ID_MENU_CONFIG: configDlg.DoModal(); break;
    case ID_MENU_SCAN: scanDlg.DoModal(); break;
    default: break;
    }
}

// ---- IBatchWindow ----------------------------------------------------------------

void CTessavanDlg::RefreshScanWindow() {
    if (scanDlg.GetSafeHwnd()) scanDlg.settingPage.UpdateProcessStatus();
}

void CTessavanDlg::ScanProcessingStopping() {
    if (!scanDlg.GetSafeHwnd()) return;
    if (CWnd* button = scanDlg.settingPage.GetDlgItem(IDC_SS_PROCESS_STATE)) {
        button->SetWindowText(L"结束中...");
        button->EnableWindow(false);
    }
}

RunChoices CTessavanDlg::ReadRunChoices() const {
    RunChoices c;
    c.sourceText = GetDlgItemText(IDC_SOURCE_FOLDER);
    c.destinationText = GetDlgItemText(IDC_DESTINATION_FOLDER);
    c.includeSubfolders = IsDlgButtonChecked(IDC_INCLUDE_SUBFOLDERS) == BST_CHECKED;
    c.reprocessAll = IsDlgButtonChecked(IDC_REPROCESS_ALL) == BST_CHECKED;
    c.newFolder = IsDlgButtonChecked(IDC_SAVE_TO_NEW_FOLDER) == BST_CHECKED;
    c.deskew = IsDlgButtonChecked(IDC_DESKEW) == BST_CHECKED;
    c.background = IsDlgButtonChecked(IDC_BACKGROUND) == BST_CHECKED;
    c.autoDetect = IsDlgButtonChecked(IDC_AUTO_DETECT) == BST_CHECKED;
    c.requestedThreads = 0;
    if (auto* combo = dynamic_cast<CComboBox*>(GetDlgItem(IDC_THREAD_COUNT))) {
        const int sel = combo->GetCurSel();
        if (sel >= 0) c.requestedThreads = static_cast<int>(combo->GetItemData(sel));
    }
    return c;
}

void CTessavanDlg::SetProgressText(const std::wstring& text) {
    SetDlgItemText(IDC_PROGRESS, text);
    if (CWnd* line = GetDlgItem(IDC_PROGRESS)) line->UpdateWindow();
}

void CTessavanDlg::SetStatusText(const std::wstring& text) { SetDlgItemText(IDC_STATUS, text); }

void CTessavanDlg::SetStartButton(const std::wstring& text, bool enabled) {
    SetDlgItemText(IDC_START, text);
    if (CWnd* button = GetDlgItem(IDC_START)) button->EnableWindow(enabled);
}

void CTessavanDlg::SetAutoDetectTimer(bool on) {
    if (on)
        SetTimer(kAutoDetectTimer, kAutoDetectPeriodMs);
    else
        KillTimer(kAutoDetectTimer);
}
