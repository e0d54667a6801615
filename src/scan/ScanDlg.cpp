#include "scan/ScanDlg.h"

#include <QApplication>
#include <QStyle>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/core/BatchEngine.h"
#include "app/core/BatchMessages.h"
#include "platform/core/CodePages.h"
#include "platform/core/Files.h"
#include "platform/core/Paths.h"
#include "platform/core/Strings.h"
#include "platform/core/UserDialogs.h"
#include "platform/ui/Keys.h"
#include "scan/ScanResource.h"
#include "scan/core/ScanNaming.h"
#include "scan/core/ScanTexts.h"
#include "settings/PathHelpers.h"
#include "settings/ScanSetting.h"
#include "twain/Logger.h"
#include "twain/TwainNames.h"

namespace {

constexpr UINT_PTR kDeviceTimer = 10;
constexpr COLORREF kLabelColour = RGB(200, 127, 0);
constexpr COLORREF kChainColour = RGB(0, 180, 0);

const DialogTemplate kScanTemplate = {
    IDD_SCAN_DIALOG,
    L"扫描",
    640,
    400,
    {
        {IDC_SCAN_PAGE_BASIC, Ctl::Button, L"基本", 5, 5, 36, 18},
        {IDC_SCAN_PAGE_PROC, Ctl::Button, L"处理", 43, 5, 36, 18},
        {IDC_SCAN_PAGE_MORE, Ctl::Button, L"更多", 81, 5, 36, 18},
        {IDC_SCAN_SINGLE_VIEW, Ctl::Button, L"单视图", 125, 5, 40, 18},
        {IDC_SCAN_DOUBLE_VIEW, Ctl::Button, L"双视图", 167, 5, 40, 18},
        {IDC_SCAN_PREV, Ctl::Button, L"上页", 215, 5, 36, 18},
        {IDC_SCAN_NEXT, Ctl::Button, L"下页", 253, 5, 36, 18},
        {IDC_SCAN_FIT, Ctl::Button, L"适配", 291, 5, 36, 18},
        {IDC_SCAN_CENTER, Ctl::Button, L"居中", 329, 5, 36, 18},
        {IDC_SCAN_MANUAL, Ctl::Button, L"手动处理", 373, 5, 50, 18},
        {IDC_SCAN_DISPLAY_LABEL, Ctl::Static, L"图片显示:  扫描", 430, 9, 90, 10},
        {IDC_SCAN_STATE_LABEL, Ctl::Static, L"扫描未开始", 525, 9, 110, 10},
        {IDC_SCAN_SEPARATOR, Ctl::Frame, L"", 0, 25, 640, 1},
        {IDC_SCAN_LINE, Ctl::Frame, L"", 175, 27, 1, 370},
        {IDC_SCAN_LEFT_PANE, Ctl::Picture, L"", 180, 29, 140, 366},
        {IDC_SCAN_DIVIDER, Ctl::Frame, L"", 322, 29, 1, 366},
        {IDC_SCAN_RIGHT_PANE, Ctl::Picture, L"", 325, 29, 140, 366},
        {IDC_SCAN_FRAME_LINE, Ctl::Frame, L"", 470, 27, 1, 370},
    },
    WS_THICKFRAME,
};

const DialogTemplate kSettingTemplate = {
    IDD_SCAN_SETTING_PAGE,
    L"",
    170,
    365,
    {
        {0, Ctl::Static, L"设备", 2, 4, 30, 10},
        {IDC_SS_DEVICE, Ctl::ComboBox, L"", 34, 2, 132, 100, WS_DISABLED},
        {0, Ctl::Static, L"DPI", 2, 20, 30, 10},
        {IDC_SS_DPI, Ctl::ComboBox, L"", 34, 18, 50, 100},
        {0, Ctl::Static, L"幅面", 90, 20, 24, 10},
        {IDC_SS_PAPER, Ctl::ComboBox, L"", 116, 18, 50, 100},
        {0, Ctl::Static, L"单双面", 2, 36, 30, 10},
        {IDC_SS_DUPLEX, Ctl::ComboBox, L"", 34, 34, 50, 100},
        {0, Ctl::Static, L"位深度", 90, 36, 26, 10},
        {IDC_SS_BIT_DEPTH, Ctl::ComboBox, L"", 116, 34, 50, 100},
        {0, Ctl::Static, L"顔色", 2, 52, 30, 10},
        {IDC_SS_COLOUR, Ctl::ComboBox, L"", 34, 50, 50, 100},
        {0, Ctl::Static, L"格式", 90, 52, 24, 10},
        {IDC_SS_FORMAT, Ctl::ComboBox, L"", 116, 50, 50, 100},
        {0, Ctl::Static, L"压缩算法", 2, 68, 32, 10},
        {IDC_SS_COMPRESSION, Ctl::ComboBox, L"", 34, 66, 80, 100},
        {0, Ctl::Static, L"jpg质量", 2, 84, 30, 10},
        {IDC_SS_QUALITY, Ctl::Slider, L"", 34, 82, 110, 14},
        {IDC_SS_QUALITY_VALUE, Ctl::Static, L"", 146, 84, 20, 10},
        {IDC_SS_DRIVER_UI, Ctl::CheckBox, L"使用扫描仪软件界面", 2, 100, 96, 10},
        {IDC_SS_AUTO_SCAN, Ctl::CheckBox, L"自动连续扫描", 2, 112, 100, 10, WS_HIDDEN},
        {0, Ctl::Static, L"扫描目录", 2, 126, 34, 10},
        {IDC_SS_SCAN_FOLDER, Ctl::Edit, L"", 36, 124, 110, 13, ES_READONLY},
        {IDC_SS_BROWSE_SCAN, Ctl::Button, L"...", 148, 124, 18, 13},
        {0, Ctl::Static, L"处理目录", 2, 142, 34, 10},
        {IDC_SS_PROCESSED_FOLDER, Ctl::Edit, L"", 36, 140, 110, 13, ES_READONLY},
        {IDC_SS_BROWSE_PROCESSED, Ctl::Button, L"...", 148, 140, 18, 13},
        {IDC_SS_MAKE_SUB_FOLDER, Ctl::CheckBox, L"建立子目录（以 / 或 \\ 为分隔符)", 2, 158, 164, 10},
        {0, Ctl::Static, L"文件夹名", 2, 174, 34, 10},
        {IDC_SS_SUB_FOLDER, Ctl::Edit, L"", 36, 172, 130, 13},
        {0, Ctl::Static, L"前缀", 2, 190, 20, 10},
        {IDC_SS_PREFIX, Ctl::Edit, L"", 24, 188, 50, 13},
        {0, Ctl::Static, L"后缀", 80, 190, 20, 10},
        {IDC_SS_SUFFIX, Ctl::Edit, L"", 102, 188, 64, 13},
        {0, Ctl::Static, L"编码长度", 2, 206, 34, 10},
        {IDC_SS_CODE_LENGTH, Ctl::Edit, L"", 36, 204, 20, 13},
        {0, Ctl::Static, L"起始码", 62, 206, 26, 10},
        {IDC_SS_START_CODE, Ctl::Edit, L"", 90, 204, 40, 13},
        {0, Ctl::Static, L"完整示例", 2, 222, 34, 10},
        {IDC_SS_EXAMPLE, Ctl::Edit, L"", 36, 220, 130, 13, ES_READONLY},
        {IDC_SS_SCAN, Ctl::Button, L"扫描", 2, 240, 52, 22},
        {IDC_SS_INSERT_SCAN, Ctl::Button, L"插扫", 58, 240, 52, 22},
        {IDC_SS_REPLACE_SCAN, Ctl::Button, L"替扫", 114, 240, 52, 22},
        {IDC_SS_PROCESS_STATE, Ctl::Button, L"未在处理", 2, 268, 80, 16},
        {IDC_SS_CHAIN, Ctl::Static, L"", 2, 288, 164, 30},
        {IDC_SS_STATUS, Ctl::Static, L"", 2, 320, 164, 30},
    },
};

// The switches page: a box and a "设置" button per switch, in list order.
struct SwitchControl {
    int box;
    const wchar_t* text;
    int button;
    int settingsPage;  // 0 first, 1 second
};
const SwitchControl kSwitchControls[ScanStepFlags::kCount] = {
    {5187, L"去底色", 5200, 0},
    {5188, L"去黑底", 5204, 0},
    {5189, L"去黑边", 5205, 0},
    {1115, L"去装订孔", 5206, 1},
    {5203, L"去污点", 5207, 1},
    {1165, L"倾斜校正", 5208, 0},
    {1058, L"居中", 1046, 0},
    {5194, L"根据彩色背景切四个边", 1049, 1},
    {1098, L"白色背景切白边", 1053, 0},
    {1124, L"自动对比度", 1057, 0},
    {5197, L"去除红色印章 （白纸黑字）", 1066, 1},
    {5198, L"加强红色印章 （白纸黑字）", 1071, 1},
    {5199, L"删除空白页", 1074, 1},
    {1137, L"修改背景色", 1079, 1},
    {5201, L"按文字方向旋正(90, 180, 270度)", 1085, 1},
    {5202, L"固定输出尺寸", 1089, 1},
};

// A check box as wide as its box and text (a click beside the text does
// not tick it).
int CheckBoxWidth(const wchar_t* text, int most) {
    int width = 14;
    for (const wchar_t* c = text; *c; ++c) width += *c < 0x2E80 ? 5 : 9;
    return width < most ? width : most;
}

DialogTemplate MakeProcTemplate() {
    DialogTemplate t{IDD_SCAN_PROC_PAGE, L"", 170, 365, {}};
    t.controls.push_back({0, Ctl::Static, L"执行顺序从上至下", 2, 2, 160, 10});
    for (std::size_t i = 0; i < ScanStepFlags::kCount; ++i) {
        const int y = 16 + static_cast<int>(i) * 18;
        t.controls.push_back({kSwitchControls[i].box, Ctl::CheckBox, kSwitchControls[i].text, 2, y,
                              CheckBoxWidth(kSwitchControls[i].text, 122), 12});
        t.controls.push_back({kSwitchControls[i].button, Ctl::Button, L"设置", 126, y - 1, 40, 14});
    }
    return t;
}
const DialogTemplate kProcTemplate = MakeProcTemplate();

const DialogTemplate kPreviewTemplate = {
    IDD_SCAN_PREVIEW_PAGE,
    L"",
    160,
    365,
    {
        {IDC_SP_FOLDER, Ctl::Edit, L"", 2, 2, 156, 13, ES_READONLY},
        {IDC_SP_SHOW_SCAN, Ctl::Radio, L"扫描目录", 2, 18, 50, 10, WS_GROUP},
        {IDC_SP_SHOW_PROCESSED, Ctl::Radio, L"处理目录", 56, 18, 50, 10},
        {IDC_SP_EXPAND, Ctl::Button, L"+", 112, 16, 20, 14, WS_GROUP},
        {IDC_SP_COLLAPSE, Ctl::Button, L"-", 134, 16, 20, 14},
        {IDC_SP_OPEN_FOLDER, Ctl::Button, L"打开所在文件夹", 2, 32, 80, 14},
        {IDC_SP_TREE, Ctl::Tree, L"", 2, 50, 156, 310},
    },
};

const DialogTemplate kMoreTemplate = {
    IDD_SCAN_MORE_PAGE,
    L"",
    170,
    365,
    {
        {0, Ctl::Static, L"关闭扫描窗口时:", 2, 4, 160, 10},
        {IDC_SM_DISCONNECT, Ctl::CheckBox, L"断开扫描设备连接", 2, 20, 86, 10},
        {IDC_SM_STOP_PROCESSING, Ctl::CheckBox, L"停止图像处理", 2, 36, 68, 10},
    },
};

const int kDpiValues[] = {72, 96, 100, 200, 300, 600, 1200, 2400};

QIcon StandardIcon(QStyle::StandardPixmap which) { return QApplication::style()->standardIcon(which); }

int ToInt(const std::wstring& text) {
    try {
        return text.empty() ? 0 : std::stoi(text);
    } catch (...) {
        return 0;
    }
}

// Shared key handling of the pages: a released F10, F11 or F12 starts a run.
bool IsScanKey(const MSG* msg) {
    return msg->message == WM_KEYUP && (msg->wParam == VK_F10 || msg->wParam == VK_F11 || msg->wParam == VK_F12);
}

}  // namespace

// ---- tree walks ------------------------------------------------------------------

namespace {
void WalkTree(CTreeCtrl& tree, HTREEITEM start, UINT code) {
    HTREEITEM item = start;
    while (item) {
        tree.Expand(item, code);
        if (HTREEITEM child = tree.GetChildItem(item)) {
            item = child;
            continue;
        }
        HTREEITEM next = tree.GetNextSiblingItem(item);
        while (!next && item) {
            item = tree.GetParentItem(item);
            if (item) next = tree.GetNextSiblingItem(item);
        }
        item = next;
    }
}
}  // namespace

void ExpandTreeItems(CTreeCtrl& tree, HTREEITEM start) { WalkTree(tree, start, TVE_EXPAND); }
void CollapseTreeItems(CTreeCtrl& tree, HTREEITEM start) { WalkTree(tree, start, TVE_COLLAPSE); }

// ---- settings page -----------------------------------------------------------------

CScanSettingPage::CScanSettingPage(CScanDlg& owner) : CDialog(kSettingTemplate), owner_(owner) {
    MapCommand(IDC_SS_DEVICE, CBN_SELCHANGE, [this] { OnDeviceSelected(); });
    MapCommand(IDC_SS_DPI, CBN_SELCHANGE, [this] {
        const int sel = dpi_.GetCurSel();
        if (sel >= 0) ScanSetting::dpi = static_cast<std::uint16_t>(dpi_.GetItemData(sel));
    });
    MapCommand(IDC_SS_DUPLEX, CBN_SELCHANGE, [this] { ScanSetting::duplex = duplex_.GetCurSel() == 1 ? 1 : 0; });
    MapCommand(IDC_SS_BIT_DEPTH, CBN_SELCHANGE, [this] {
        const int sel = bitDepth_.GetCurSel();
        ScanSetting::bitDepth = static_cast<std::uint16_t>(sel == 0 ? 1 : sel == 1 ? 8 : 24);
    });
    MapCommand(IDC_SS_COLOUR, CBN_SELCHANGE, [this] {
        const int sel = colour_.GetCurSel();
        if (sel >= 0) ScanSetting::pixelType = static_cast<std::uint16_t>(sel);
    });
    MapCommand(IDC_SS_FORMAT, CBN_SELCHANGE, [this] {
        ScanSetting::fileFormat = format_.GetCurSel() == 1 ? 1 : 0;
        UpdateCompressionList(false);
        UpdateNameExample();
    });
    MapCommand(IDC_SS_COMPRESSION, CBN_SELCHANGE, [this] {
        const int sel = compression_.GetCurSel();
        if (sel >= 0) ScanSetting::compression = sel;
    });
    MapCommand(IDC_SS_DRIVER_UI, BN_CLICKED, [this] { g_useDriverUI = IsDlgButtonChecked(IDC_SS_DRIVER_UI) ? 1 : 0; });
    MapCommand(IDC_SS_AUTO_SCAN, BN_CLICKED, [this] { OnAutoScan(); });
    MapCommand(IDC_SS_BROWSE_SCAN, BN_CLICKED, [this] { OnBrowseScanFolder(); });
    MapCommand(IDC_SS_BROWSE_PROCESSED, BN_CLICKED, [this] { OnBrowseProcessedFolder(); });
    MapCommand(IDC_SS_SCAN, BN_CLICKED, [this] { OnScan(); });
    MapCommand(IDC_SS_INSERT_SCAN, BN_CLICKED, [this] { OnInsertScan(); });
    MapCommand(IDC_SS_REPLACE_SCAN, BN_CLICKED, [this] { OnReplaceScan(); });
    MapCommand(IDC_SS_PROCESS_STATE, BN_CLICKED, [this] {
        if (owner_.host.engine && owner_.host.engine->RunState() != 0) owner_.host.engine->StopScanProcessing();
    });
    const auto textEdit = [this](int id, ScanText& value) {
        MapCommand(id, EN_CHANGE, [this, id, &value] {
            value = GetDlgItemText(id);
            UpdateNameExample();
        });
    };
    textEdit(IDC_SS_SUB_FOLDER, ScanSetting::subFolder);
    textEdit(IDC_SS_PREFIX, ScanSetting::prefix);
    textEdit(IDC_SS_SUFFIX, ScanSetting::suffix);
    MapCommand(IDC_SS_CODE_LENGTH, EN_CHANGE, [this] {
        ScanSetting::codeLength = ToInt(GetDlgItemText(IDC_SS_CODE_LENGTH));
        UpdateNameExample();
    });
    MapCommand(IDC_SS_START_CODE, EN_CHANGE, [this] {
        ScanSetting::startCode = ToInt(GetDlgItemText(IDC_SS_START_CODE));
        UpdateNameExample();
    });
}

bool CScanSettingPage::OnInitDialog() {
    CDialog::OnInitDialog();
    return true;
}

void CScanSettingPage::InitControls() {
    auto bind = [this](int id, CWnd& control) {
        CDataExchange dx(this);
        DDX_Control(&dx, id, control);
    };
    bind(IDC_SS_DEVICE, device_);
    bind(IDC_SS_DPI, dpi_);
    bind(IDC_SS_PAPER, paper_);
    bind(IDC_SS_DUPLEX, duplex_);
    bind(IDC_SS_BIT_DEPTH, bitDepth_);
    bind(IDC_SS_COLOUR, colour_);
    bind(IDC_SS_FORMAT, format_);
    bind(IDC_SS_COMPRESSION, compression_);
    bind(IDC_SS_QUALITY, quality_);
    SetDlgItemText(IDC_SS_SCAN_FOLDER, ScanSetting::scanFolder.get());
    SetDlgItemText(IDC_SS_PROCESSED_FOLDER, ScanSetting::processedFolder.get());
    dpi_.ResetContent();
    for (int v : kDpiValues) dpi_.SetItemData(dpi_.AddString(std::to_wstring(v)), static_cast<DWORD_PTR>(v));
    dpi_.SetCurSel(4);
    paper_.ResetContent();
    for (const wchar_t* p : {L"A4", L"A3", L"A2"}) paper_.AddString(p);
    paper_.SetCurSel(0);
    duplex_.ResetContent();
    duplex_.AddString(L"单面");
    duplex_.AddString(L"双面");
    duplex_.SetCurSel(0);
    bitDepth_.ResetContent();
    for (const wchar_t* d : {L"1", L"8", L"24"}) bitDepth_.AddString(d);
    bitDepth_.SetCurSel(2);
    colour_.ResetContent();
    for (const wchar_t* c : {L"B/W", L"灰度", L"RGB"}) colour_.AddString(c);
    colour_.SetCurSel(2);
    format_.ResetContent();
    format_.AddString(L"Jpg");
    format_.AddString(L"Tif");
    format_.SetCurSel(ScanSetting::fileFormat.load() == 1 ? 1 : 0);
    UpdateCompressionList(true);
    quality_.SetRange(0, 100);
    quality_.SetPos(ScanSetting::jpegQuality.load());
    SetDlgItemText(IDC_SS_QUALITY_VALUE, std::to_wstring(ScanSetting::jpegQuality.load()));
    SetDlgItemText(IDC_SS_SUB_FOLDER, ScanSetting::subFolder.get());
    SetDlgItemText(IDC_SS_PREFIX, ScanSetting::prefix.get());
    SetDlgItemText(IDC_SS_SUFFIX, ScanSetting::suffix.get());
    static_cast<CEdit*>(GetDlgItem(IDC_SS_CODE_LENGTH))->LimitText(1);
    SetDlgItemText(IDC_SS_CODE_LENGTH, std::to_wstring(ScanSetting::codeLength.load()));
    SetDlgItemText(IDC_SS_START_CODE, std::to_wstring(ScanSetting::startCode.load()));
    CheckDlgButton(IDC_SS_MAKE_SUB_FOLDER, BST_CHECKED);
    CheckDlgButton(IDC_SS_DRIVER_UI, g_useDriverUI.load() ? BST_CHECKED : BST_UNCHECKED);
    UpdateNameExample();
    toolTip_.Create(this);
    toolTip_.AddTool(GetDlgItem(IDC_SS_SCAN), L"F10");
    toolTip_.AddTool(GetDlgItem(IDC_SS_INSERT_SCAN), L"F11");
    toolTip_.AddTool(GetDlgItem(IDC_SS_REPLACE_SCAN), L"F12");
}

void CScanSettingPage::RefreshControls() {
    for (int i = 0; i < dpi_.GetCount(); ++i)
        if (static_cast<int>(dpi_.GetItemData(i)) == ScanSetting::dpi.load()) dpi_.SetCurSel(i);
    const int depth = ScanSetting::bitDepth.load();
    bitDepth_.SetCurSel(depth == 1 ? 0 : depth == 8 ? 1 : 2);
    colour_.SetCurSel(std::min<int>(ScanSetting::pixelType.load(), 2));
    duplex_.SetCurSel(ScanSetting::duplex.load() ? 1 : 0);
    format_.SetCurSel(ScanSetting::fileFormat.load() == 1 ? 1 : 0);
    UpdateCompressionList(true);
    quality_.SetPos(ScanSetting::jpegQuality.load());
    SetDlgItemText(IDC_SS_QUALITY_VALUE, std::to_wstring(ScanSetting::jpegQuality.load()));
}

void CScanSettingPage::UpdateCompressionList(bool keepChoice) {
    compression_.ResetContent();
    for (const std::wstring& entry : ScanCompressionList(ScanSetting::fileFormat.load() == 1 ? 1 : 0))
        compression_.AddString(entry);
    // The stored choice is always the entry shown: a new format starts at its
    // first entry, an opening shows the entry chosen before.
    int entry = keepChoice ? ScanSetting::compression.load() : 0;
    if (entry < 0 || entry >= compression_.GetCount()) entry = 0;
    compression_.SetCurSel(entry);
    ScanSetting::compression = entry;
}

void CScanSettingPage::UpdateNameExample() { SetDlgItemText(IDC_SS_EXAMPLE, ScanNameExample()); }

void CScanSettingPage::UpdateStepChain() { SetDlgItemText(IDC_SS_CHAIN, ScanStepChainText()); }

void CScanSettingPage::UpdateProcessStatus() {
    CBatchEngine* engine = owner_.host.engine;
    if (!engine || !GetSafeHwnd()) return;
    const bool running = engine->RunState() != 0 && engine->AutoMode() == AUTO_MODE_SCAN;
    CWnd* button = GetDlgItem(IDC_SS_PROCESS_STATE);
    if (button) {
        button->ShowWindow(running ? SW_SHOW : SW_HIDE);
        button->EnableWindow(running);
        button->SetWindowText(running ? L"停止处理" : L"未在处理");
    }
    // The counts are those of the engine's last scan-and-process run: after
    // a plain or a detection run its files are no scanned pages. The pages
    // scanned are the files the run has taken up (its queue keeps only those
    // not processed yet).
    const bool scanRun = engine->Pool().runType == RUN_SCAN_AND_PROCESS;
    SetDlgItemText(IDC_SS_STATUS, scanRun ? ScanProcessStatusText(static_cast<int>(engine->Pool().ItemCount()),
                                                                  engine->Pool().CountDone(), engine->FailedCount(),
                                                                  running)
                                          : ScanProcessStatusText(0, 0, 0, running));
    // Shown at once: while a scan holds the thread nothing else repaints it.
    for (int id : {IDC_SS_STATUS, IDC_SS_PROCESS_STATE})
        if (CWnd* item = GetDlgItem(id)) item->UpdateWindow();
    // A page processed since it was shown appears beside it.
    owner_.ShowWrittenCounterpart();
}

void CScanSettingPage::FillDeviceList() {
    device_.ResetContent();
    TwainApp* lister = owner_.m_pTwainAppForSources.get();
    if (!lister) return;
    TW_IDENTITY deflt{};
    if (lister->m_DSMState > 2) {
        if (lister->callDSMEntry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &deflt) == TWRC_FAILURE) {
            lister->readConditionCode(nullptr);
            CLogger::Instance().Warn("Failed to get the data source info!");
        }
    } else {
        std::printf("You need to open the DSM first.\n");
        CLogger::Instance().Warn("You need to open the DSM first.");
    }
    for (unsigned i = 0;; ++i) {
        const TW_IDENTITY* id = lister->sourceAt(i);
        if (!id) break;
        std::wstring name;
        CodePageToWide(CP_ACP, std::string(id->ProductName, strnlen(id->ProductName, sizeof(TW_STR32))), name);
        const int index = device_.AddString(name);
        if (index < 0) break;
        device_.SetItemData(index, i);
        if (deflt.Id != 0 && id->Id == deflt.Id) device_.SetCurSel(index);
    }
    if (device_.GetCount() > 0) device_.EnableWindow(true);
}

void CScanSettingPage::OnDeviceSelected() {
    const int sel = device_.GetCurSel();
    TwainApp* lister = owner_.m_pTwainAppForSources.get();
    if (sel < 0 || !lister) return;
    const auto index = static_cast<unsigned>(device_.GetItemData(sel));
    if (!lister->sourceAt(index)) return;
    if (owner_.m_pTwainAppForScan) {
        owner_.m_pTwainAppForScan->closeDSM();
        owner_.m_pTwainAppForScan.reset();
    }
    auto scanner = std::make_unique<ScanTwainApp>(owner_.GetSafeHwnd().value ? &owner_ : nullptr);
    scanner->openDSM();
    if (const TW_IDENTITY* own = scanner->sourceAt(index)) scanner->openSource(static_cast<int>(own->Id));
    if (scanner->m_DSMState <= 3) CLogger::Instance().Info("alread used by other program");
    owner_.m_pTwainAppForScan = std::move(scanner);
}

void CScanSettingPage::StartRun(int mode) {
    if (g_scanMode != SCAN_IDLE) return;
    // Names typed so that pages would leave the scan folder start nothing.
    if (const std::wstring refusal = ScanNameRefusal(); !refusal.empty()) {
        MessageBoxW(refusal, kDefaultCaption, MB_OK);
        return;
    }
    g_scanMode = mode;
    owner_.SetDlgItemText(IDC_SCAN_DISPLAY_LABEL, L"图片显示:  扫描");
    owner_.UpdateScanState();
    if (mode == SCAN_REPLACE) g_replaceNumber = GetReplaceNumber();
    IScanProcessing* processing = owner_.host.engine ? new BatchScanProcessing(*owner_.host.engine) : nullptr;
    std::unique_ptr<IScanProcessing> keep(processing);
    RunScan(owner_.m_pTwainAppForScan.get(), processing, &owner_);
    // Without a main window the road posts nothing: the buttons come back here.
    if (!processing) owner_.UpdateScanState();
}

void CScanSettingPage::OnScan() { StartRun(SCAN_APPEND); }
void CScanSettingPage::OnInsertScan() { StartRun(SCAN_INSERT); }
void CScanSettingPage::OnReplaceScan() { StartRun(SCAN_REPLACE); }

void CScanSettingPage::OnAutoScan() {
    ScanTwainApp* scanner = owner_.m_pTwainAppForScan.get();
    if (!scanner) return;
    const TW_UINT32 on = IsDlgButtonChecked(IDC_SS_AUTO_SCAN) ? 1 : 0;
    scanner->setCapValue(CAP_AUTOSCAN, on, TWTY_BOOL);
    TW_UINT32 now = 0;
    if (TW_CAPABILITY* r = scanner->record(CAP_AUTOSCAN))
        if (scanner->getCapability(*r, MSG_GET) == TWCC_SUCCESS && getCapabilityCurrent(*r, now) && (now & 0xFFFF) == on)
            logAppMessage("Capability successfully set!\n");
}

void CScanSettingPage::OnBrowseScanFolder() {
    std::wstring folder = ScanSetting::scanFolder.get();
    if (!BrowseForFolder(L"请选择目录", folder)) return;
    ScanSetting::scanFolder = folder;
    if (owner_.m_pTwainAppForScan) WideToCodePage(CP_ACP, folder, owner_.m_pTwainAppForScan->m_saveFolder);
    SetDlgItemText(IDC_SS_SCAN_FOLDER, folder);
    WriteSavePathRegistry();
    owner_.previewPage.SyncFolder();
}

void CScanSettingPage::OnBrowseProcessedFolder() {
    std::wstring folder = ScanSetting::processedFolder.get();
    if (!BrowseForFolder(L"请选择目录", folder)) return;
    ScanSetting::processedFolder = folder;
    SetDlgItemText(IDC_SS_PROCESSED_FOLDER, folder);
    owner_.previewPage.SyncFolder();
    UpdateNameExample();
}

void CScanSettingPage::OnHScroll(UINT code, UINT position, CWnd* control) {
    if (control && control->GetDlgCtrlID() == IDC_SS_QUALITY) {
        ScanSetting::jpegQuality = static_cast<std::uint16_t>(quality_.GetPos());
        SetDlgItemText(IDC_SS_QUALITY_VALUE, std::to_wstring(quality_.GetPos()));
    }
    CDialog::OnHScroll(code, position, control);
}

HBRUSH CScanSettingPage::OnCtlColor(CDC* dc, CWnd* window, UINT ctlColor) {
    if (ctlColor == CTLCOLOR_STATIC && window) {
        if (window->GetDlgCtrlID() == IDC_SS_CHAIN) dc->SetTextColor(kChainColour);
        if (window->GetDlgCtrlID() == IDC_SS_STATUS) dc->SetTextColor(kLabelColour);
    }
    return CDialog::OnCtlColor(dc, window, ctlColor);
}

bool CScanSettingPage::PreTranslateMessage(MSG* msg) {
    if (!IsScanKey(msg)) return CDialog::PreTranslateMessage(msg);
    CWnd* focus = CWnd::GetFocus();
    // In an edit box the key only edits.
    if (focus && focus->GetClassName() == L"Edit") return true;
    return owner_.HandleScanKey(static_cast<UINT>(msg->wParam));
}

// ---- switches page ---------------------------------------------------------------------

CScanProcPage::CScanProcPage(CScanDlg& owner) : CDialog(kProcTemplate), owner_(owner) {
    for (std::size_t i = 0; i < ScanStepFlags::kCount; ++i) {
        const SwitchControl& c = kSwitchControls[i];
        MapCommand(static_cast<UINT>(c.box), BN_CLICKED, [this, i] {
            ScanStepFlags::Set(i, IsDlgButtonChecked(kSwitchControls[i].box) != 0);
            const auto& table = ScanStepFlags::Switches();
            for (std::size_t k = 0; k < table.size(); ++k)
                CheckDlgButton(kSwitchControls[k].box, table[k].flag->load() ? BST_CHECKED : BST_UNCHECKED);
        });
        MapCommand(static_cast<UINT>(c.button), BN_CLICKED, [this, page = c.settingsPage] {
            if (owner_.host.openScanSettings) owner_.host.openScanSettings(page);
        });
    }
}

bool CScanProcPage::OnInitDialog() {
    CDialog::OnInitDialog();
    const auto& table = ScanStepFlags::Switches();
    for (std::size_t i = 0; i < table.size(); ++i)
        CheckDlgButton(kSwitchControls[i].box, table[i].flag->load() ? BST_CHECKED : BST_UNCHECKED);
    return true;
}

bool CScanProcPage::PreTranslateMessage(MSG* msg) {
    if (msg->message != WM_KEYUP) return CDialog::PreTranslateMessage(msg);
    if (IsScanKey(msg)) owner_.HandleScanKey(static_cast<UINT>(msg->wParam));
    return true;  // every key release is consumed here
}

// ---- more page -------------------------------------------------------------------------

CScanSettingMorePage::CScanSettingMorePage(CScanDlg& owner) : CDialog(kMoreTemplate), owner_(owner) {
    MapCommand(IDC_SM_DISCONNECT, BN_CLICKED,
               [this] { ScanSetting::disconnectOnClose = IsDlgButtonChecked(IDC_SM_DISCONNECT) ? 1 : 0; });
    MapCommand(IDC_SM_STOP_PROCESSING, BN_CLICKED,
               [this] { ScanSetting::stopProcessingOnClose = IsDlgButtonChecked(IDC_SM_STOP_PROCESSING) ? 1 : 0; });
}

bool CScanSettingMorePage::OnInitDialog() {
    CDialog::OnInitDialog();
    CheckDlgButton(IDC_SM_DISCONNECT, ScanSetting::disconnectOnClose.load() ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(IDC_SM_STOP_PROCESSING, ScanSetting::stopProcessingOnClose.load() ? BST_CHECKED : BST_UNCHECKED);
    return true;
}

bool CScanSettingMorePage::PreTranslateMessage(MSG* msg) {
    if (msg->message != WM_KEYUP) return CDialog::PreTranslateMessage(msg);
    if (IsScanKey(msg)) owner_.HandleScanKey(static_cast<UINT>(msg->wParam));
    return true;
}

// ---- preview page ----------------------------------------------------------------------

CScanPreviewPage::CScanPreviewPage(CScanDlg& owner) : CDialog(kPreviewTemplate), owner_(owner) {
    MapCommand(IDC_SP_SHOW_SCAN, BN_CLICKED, [this] { OnShowScanFolder(); });
    MapCommand(IDC_SP_SHOW_PROCESSED, BN_CLICKED, [this] { OnShowProcessedFolder(); });
    MapCommand(IDC_SP_EXPAND, BN_CLICKED, [this] { ExpandTreeItems(tree_, tree_.GetRootItem()); });
    MapCommand(IDC_SP_COLLAPSE, BN_CLICKED, [this] { CollapseTreeItems(tree_, tree_.GetRootItem()); });
    MapCommand(IDC_SP_OPEN_FOLDER, BN_CLICKED, [this] { OpenContainingFolder(); });
    MapNotify(IDC_SP_TREE, TVN_SELCHANGED, [this](NMHDR*, LRESULT*) {
        if (!suppress_) OnSelChanged();
    });
}

bool CScanPreviewPage::OnInitDialog() {
    CDialog::OnInitDialog();
    CDataExchange dx(this);
    DDX_Control(&dx, IDC_SP_TREE, tree_);
    if (images_.GetImageCount() == 0) {
        images_.Create(16, 16, 0, 2, 0);
        images_.Add(StandardIcon(QStyle::SP_FileIcon));
        images_.Add(StandardIcon(QStyle::SP_DirIcon));
    }
    tree_.SetImageList(&images_, TVSIL_NORMAL);
    CheckDlgButton(IDC_SP_SHOW_SCAN, BST_CHECKED);
    CheckDlgButton(IDC_SP_SHOW_PROCESSED, BST_UNCHECKED);
    current_ = nullptr;
    fileItems_.clear();
    return true;
}

bool CScanPreviewPage::ShowsScanFolder() const { return IsDlgButtonChecked(IDC_SP_SHOW_SCAN) != 0; }

void CScanPreviewPage::ListFolder(const std::wstring& folder, const std::wstring& select) {
    suppress_ = true;
    tree_.SetRedraw(false);
    tree_.DeleteAllItems();
    fileItems_.clear();
    current_ = nullptr;
    if (files::IsDirectory(folder)) {
        files_.Build({L"jpg", L"tif", L"tiff", L"png"}, CFileTree::kFlatWalk | CFileTree::kKeepRootPath, 0, folder);
        files_.PruneEmptyFolders(files_.FlatRoot());
        std::vector<std::pair<FileTreeNode*, HTREEITEM>> folders;
        auto itemOf = [&folders](FileTreeNode* node) -> HTREEITEM {
            for (const auto& [n, item] : folders)
                if (n == node) return item;
            return TVI_ROOT;
        };
        for (FileTreeNode* node : files_.FolderList()) {
            if (node == files_.FlatRoot()) continue;
            // Folders that were pruned are no longer below the root.
            bool kept = false;
            for (FileTreeNode* p = node; p; p = p->parent)
                if (p == files_.FlatRoot()) kept = true;
            if (!kept) continue;
            const HTREEITEM parent = node->parent == files_.FlatRoot() ? TVI_ROOT : itemOf(node->parent);
            folders.push_back({node, tree_.InsertItem(node->name, 1, 1, parent)});
        }
        for (FileTreeNode* node : files_.FileList()) {
            const HTREEITEM parent = node->parent == files_.FlatRoot() ? TVI_ROOT : itemOf(node->parent);
            fileItems_.push_back({tree_.InsertItem(node->name, 0, 0, parent), node->fullPath});
        }
    }
    tree_.SetRedraw(true);
    suppress_ = false;
    HTREEITEM chosen = nullptr;
    for (const Item& f : fileItems_)
        if (f.path == select) chosen = f.item;
    if (!chosen && !fileItems_.empty()) chosen = fileItems_.front().item;
    if (chosen) tree_.SelectItem(chosen);
}

void CScanPreviewPage::SyncFolder() {
    const std::wstring want = ShowsScanFolder() ? ScanSetting::scanFolder.get() : ScanSetting::processedFolder.get();
    if (GetDlgItemText(IDC_SP_FOLDER) == want) return;
    SetDlgItemText(IDC_SP_FOLDER, want);
    ListFolder(want, L"");
}

void CScanPreviewPage::OnShowScanFolder() {
    SetDlgItemText(IDC_SP_FOLDER, ScanSetting::scanFolder.get());
    ListFolder(ScanSetting::scanFolder.get(), L"");
    owner_.SetDlgItemText(IDC_SCAN_DISPLAY_LABEL, L"图片显示:  扫描");
    owner_.SetViewMode(owner_.viewMode);
}

void CScanPreviewPage::OnShowProcessedFolder() {
    SetDlgItemText(IDC_SP_FOLDER, ScanSetting::processedFolder.get());
    ListFolder(ScanSetting::processedFolder.get(), L"");
    owner_.SetDlgItemText(IDC_SCAN_DISPLAY_LABEL, L"图片显示:  处理");
    owner_.SetViewMode(owner_.viewMode);
}

void CScanPreviewPage::OnSelChanged() {
    const HTREEITEM selected = tree_.GetSelectedItem();
    for (const Item& f : fileItems_)
        if (f.item == selected) {
            current_ = selected;
            owner_.ShowImagePair(f.path);
            return;
        }
}

void CScanPreviewPage::SelectPrevious() {
    for (std::size_t i = 0; i < fileItems_.size(); ++i)
        if (fileItems_[i].item == current_) {
            tree_.SelectItem(fileItems_[i == 0 ? fileItems_.size() - 1 : i - 1].item);
            return;
        }
}

void CScanPreviewPage::SelectNext() {
    for (std::size_t i = 0; i < fileItems_.size(); ++i)
        if (fileItems_[i].item == current_) {
            tree_.SelectItem(fileItems_[i + 1 == fileItems_.size() ? 0 : i + 1].item);
            return;
        }
}

void CScanPreviewPage::OpenContainingFolder() {
    const HTREEITEM selected = tree_.GetSelectedItem();
    if (!selected) return;
    std::wstring folder;
    for (const Item& f : fileItems_)
        if (f.item == selected) folder = PathFolder(f.path);
    if (folder.empty() && tree_.ItemHasChildren(selected)) {
        // A folder: its parent folder (the listed folder for a top-level one).
        std::wstring path = GetDlgItemText(IDC_SP_FOLDER);
        std::vector<std::wstring> names;
        for (HTREEITEM p = tree_.GetParentItem(selected); p; p = tree_.GetParentItem(p))
            names.insert(names.begin(), tree_.GetItemText(p));
        for (const std::wstring& n : names) path = PathJoin(path, n);
        folder = path;
    }
    if (folder.empty()) return;
    ShowFolderInFileManager(folder);
}

std::wstring CScanPreviewPage::SelectedFilePath() const {
    const HTREEITEM selected = tree_.GetSelectedItem();
    for (const Item& f : fileItems_)
        if (f.item == selected) return f.path;
    return {};
}

std::vector<std::wstring> CScanPreviewPage::ListedFiles() const {
    std::vector<std::wstring> paths;
    for (const Item& f : fileItems_) paths.push_back(f.path);
    return paths;
}

std::wstring CScanPreviewPage::CurrentFile() const {
    for (const Item& f : fileItems_)
        if (f.item == current_) return f.path;
    return {};
}

bool CScanPreviewPage::PreTranslateMessage(MSG* msg) {
    if (msg->message != WM_KEYUP) return CDialog::PreTranslateMessage(msg);
    if (IsScanKey(msg)) owner_.HandleScanKey(static_cast<UINT>(msg->wParam));
    return true;
}

// ---- the window ----------------------------------------------------------------------

CScanDlg::CScanDlg(ScanWindowHost hostIn, CWnd* parent)
    : CDialog(kScanTemplate, parent),
      host(std::move(hostIn)),
      settingPage(*this),
      procPage(*this),
      previewPage(*this),
      morePage(*this) {
    if (g_loggingEnabled) {
        CLogger::Instance().Open();
    }
    MapCommand(IDC_SCAN_PAGE_BASIC, BN_CLICKED, [this] { ShowPage(0); });
    MapCommand(IDC_SCAN_PAGE_MORE, BN_CLICKED, [this] { ShowPage(1); });
    MapCommand(IDC_SCAN_PAGE_PROC, BN_CLICKED, [this] { ShowPage(2); });
    MapCommand(IDC_SCAN_SINGLE_VIEW, BN_CLICKED, [this] { SetViewMode(0); });
    MapCommand(IDC_SCAN_DOUBLE_VIEW, BN_CLICKED, [this] { SetViewMode(1); });
    MapCommand(IDC_SCAN_PREV, BN_CLICKED, [this] { previewPage.SelectPrevious(); });
    MapCommand(IDC_SCAN_NEXT, BN_CLICKED, [this] { previewPage.SelectNext(); });
    MapCommand(IDC_SCAN_FIT, BN_CLICKED, [this] {
        leftPane.FitToWindow();
        rightPane.FitToWindow();
    });
    MapCommand(IDC_SCAN_CENTER, BN_CLICKED, [this] {
        leftPane.CenterImage();
        rightPane.CenterImage();
    });
    MapCommand(IDC_SCAN_MANUAL, BN_CLICKED, [this] {
        if (host.openManualWindow) host.openManualWindow();
    });
}

CScanDlg::~CScanDlg() {
    SetScanSelectionProvider(nullptr);
    // The scanning object first: it leaves the manager before the lister.
    if (m_pTwainAppForScan) m_pTwainAppForScan->closeDSM();
    m_pTwainAppForScan.reset();
    if (m_pTwainAppForSources) m_pTwainAppForSources->closeDSM();
    m_pTwainAppForSources.reset();
}

bool CScanDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    CDataExchange dx(this);
    DDX_Control(&dx, IDC_SCAN_LEFT_PANE, leftPane);
    DDX_Control(&dx, IDC_SCAN_RIGHT_PANE, rightPane);
    std::wstring exe;
    if (ScanSetting::scanFolder.get().empty() && GetExeFolder(&exe)) ScanSetting::scanFolder = PathJoin(exe, L"Scan");
    if (ScanSetting::processedFolder.get().empty() && GetExeFolder(&exe))
        ScanSetting::processedFolder = PathJoin(exe, L"Process");
    g_scanDlg = GetSafeHwnd();
    SetScanSelectionProvider([this] { return previewPage.SelectedFilePath(); });

    settingPage.Create(this);
    settingPage.InitControls();
    procPage.Create(this);
    previewPage.Create(this);
    morePage.Create(this);
    settingPage.RefreshControls();
    ShowPage(0);

    const BYTE white[4] = {255, 255, 255, 0};
    leftPane.SetImage(white, 1, 1);
    rightPane.SetImage(white, 1, 1);
    pairProcessedPath_.clear();
    initialised = true;

    // The right column: from the frame line to the right edge, as the
    // template lays them out (the widgets are not placed before showing).
    rightColumnWidth = DluToPixelsX(kScanTemplate.cx) - DluToPixelsX(470) + 10;
    SetViewMode(0);
    previewPage.SyncFolder();

    if (host.engine) {
        // The switches stay as they are while a scan-and-process run reads
        // them: their page cannot be reached.
        const bool scanRun = host.engine->RunState() != 0 && host.engine->AutoMode() == AUTO_MODE_SCAN;
        if (CWnd* proc = GetDlgItem(IDC_SCAN_PAGE_PROC)) proc->EnableWindow(!scanRun);
        settingPage.UpdateProcessStatus();
    }
    UpdateScanState();
    SetTimer(kDeviceTimer, 200);
    return true;
}

void CScanDlg::OnTimer(UINT_PTR id) {
    if (id != kDeviceTimer) return CDialog::OnTimer(id);
    KillTimer(kDeviceTimer);
    if (m_pTwainAppForSources) {
        m_pTwainAppForSources->closeDSM();
        m_pTwainAppForSources.reset();
    }
    auto lister = std::make_unique<TwainApp>(this);
    TW_IDENTITY& id2 = lister->m_appIdentity;
    id2.Version.MajorNum = 2;
    id2.Version.MinorNum = 1;
    id2.Version.Language = TWLG_CHINESE;
    id2.Version.Country = TWCY_CHINA;
    std::snprintf(id2.Version.Info, sizeof id2.Version.Info, "%s", "2.1.1");
    std::snprintf(id2.Manufacturer, sizeof id2.Manufacturer, "%s", "Archive Imaging Group");
    std::snprintf(id2.ProductFamily, sizeof id2.ProductFamily, "%s", "Sample");
    std::snprintf(id2.ProductName, sizeof id2.ProductName, "%s", "Supported Caps");
    lister->openDSM();
    m_pTwainAppForSources = std::move(lister);
    if (m_pTwainAppForSources->m_DSMState > 2) {
        settingPage.FillDeviceList();
        if (settingPage.GetDlgItem(IDC_SS_DEVICE) &&
            static_cast<CComboBox*>(settingPage.GetDlgItem(IDC_SS_DEVICE))->GetCount() > 0)
            settingPage.OnDeviceSelected();
    }
}

void CScanDlg::ShowPage(int page) {
    SetDlgItemText(IDC_SCAN_DISPLAY_LABEL,
                   previewPage.ShowsScanFolder() ? L"图片显示:  扫描" : L"图片显示:  处理");
    currentPage = page;
    CDialog* pages[3] = {&settingPage, &morePage, &procPage};
    for (CDialog* p : pages) p->ShowWindow(SW_HIDE);
    CDialog* shown = pages[std::clamp(page, 0, 2)];
    RECT r{};
    shown->GetClientRect(&r);
    shown->MoveWindow(DluToPixelsX(2), DluToPixelsY(29), r.right - r.left, r.bottom - r.top);
    shown->ShowWindow(SW_SHOW);
    if (page == 0) settingPage.UpdateStepChain();
}

void CScanDlg::SetViewMode(int mode) {
    viewMode = mode;
    // Fitted below with the layout.
    ShowWrittenCounterpart();
    const bool scanShown = previewPage.ShowsScanFolder();
    if (mode == 1) {
        leftPane.ShowWindow(SW_SHOW);
        rightPane.ShowWindow(SW_SHOW);
        if (CWnd* d = GetDlgItem(IDC_SCAN_DIVIDER)) d->ShowWindow(SW_SHOW);
    } else {
        leftPane.ShowWindow(scanShown ? SW_SHOW : SW_HIDE);
        rightPane.ShowWindow(scanShown ? SW_HIDE : SW_SHOW);
        if (CWnd* d = GetDlgItem(IDC_SCAN_DIVIDER)) d->ShowWindow(SW_HIDE);
    }
    LayoutPanels();
}

void CScanDlg::LayoutPanels() {
    if (!initialised) return;
    RECT client{};
    GetClientRect(&client);
    const int W = client.right - client.left, H = client.bottom - client.top, R = rightColumnWidth;
    const int top = DluToPixelsY(29);
    const int left = DluToPixelsX(180);
    if (CWnd* s = GetDlgItem(IDC_SCAN_SEPARATOR)) s->MoveWindow(0, DluToPixelsY(25), W, 1);
    if (CWnd* l = GetDlgItem(IDC_SCAN_LINE)) l->MoveWindow(DluToPixelsX(175), DluToPixelsY(27), 1, H - DluToPixelsY(27));
    if (viewMode == 1) {
        const int width = std::max(1, (W - R - left - 20) / 2);
        leftPane.MoveWindow(left, top, width, std::max(1, H - 10 - top));
        if (CWnd* d = GetDlgItem(IDC_SCAN_DIVIDER)) d->MoveWindow(left + width + 10, top, 1, H - top);
        rightPane.MoveWindow(left + width + 20, top, width, std::max(1, H - 10 - top));
    } else {
        CImagePannel& shown = previewPage.ShowsScanFolder() ? leftPane : rightPane;
        shown.MoveWindow(left, top, std::max(1, W - R - left), std::max(1, H - 10 - top));
    }
    leftPane.FitToWindow();
    rightPane.FitToWindow();
    if (CWnd* f = GetDlgItem(IDC_SCAN_FRAME_LINE)) f->MoveWindow(W - R + 5, 0, 1, H);
    RECT page{};
    previewPage.GetClientRect(&page);
    previewPage.MoveWindow(W - R + 10, top, page.right - page.left, std::max(1, H - top));
    previewPage.ShowWindow(SW_SHOW);
    if (CWnd* tree = previewPage.GetDlgItem(IDC_SP_TREE)) {
        RECT t{};
        tree->GetWindowRect(&t);
        previewPage.ScreenToClient(&t);
        tree->MoveWindow(t.left, t.top, t.right - t.left, std::max(1, H - top - 10 - static_cast<int>(t.top)));
    }
    Invalidate();
}

void CScanDlg::OnSize(UINT type, int cx, int cy) {
    CDialog::OnSize(type, cx, cy);
    if (!initialised) return;
    LayoutPanels();
    leftPane.FitToWindow();
}

void CScanDlg::UpdateScanState() {
    const bool idle = g_scanMode == SCAN_IDLE;
    // Each change is shown at once: a scan holds the thread from its start
    // to its end, and nothing else repaints the window meanwhile.
    for (int id : {IDC_SS_SCAN, IDC_SS_INSERT_SCAN, IDC_SS_REPLACE_SCAN}) {
        if (CWnd* b = settingPage.GetDlgItem(id)) {
            b->EnableWindow(idle);
            b->UpdateWindow();
        }
    }
    SetDlgItemText(IDC_SCAN_STATE_LABEL, ScanStateText(g_scanMode));
    if (CWnd* label = GetDlgItem(IDC_SCAN_STATE_LABEL)) label->UpdateWindow();
}

int CScanDlg::EngineRunState() const { return host.engine ? host.engine->RunState() : 0; }

bool CScanDlg::LoadScanPanelImage(const std::wstring& path) {
    if (path.empty() || !files::IsRegularFile(path)) return false;
    leftProcessor_ = std::make_unique<CImageProcessor>();
    if (!leftProcessor_->ReadFileBytes(path.c_str()) || !leftProcessor_->LoadImageFile(path.c_str(), 1)) return false;
    std::int32_t w = 0, h = 0;
    const std::unique_ptr<BYTE[]> bits(leftProcessor_->GetResultBits(&w, &h));  // the pane keeps a copy
    if (!bits) return false;
    leftPane.SetImage(bits.get(), w, h);
    return true;
}

void CScanDlg::ShowImagePair(const std::wstring& path) {
    std::wstring scanPath = path, processedPath;
    if (previewPage.ShowsScanFolder()) {
        processedPath = ScanPathToProcessedPath(path);
    } else {
        processedPath = path;
        scanPath = ProcessedPathToScanPath(path);
    }
    if (!LoadScanPanelImage(scanPath)) return;
    leftPane.FitToWindow();
    pairProcessedPath_ = processedPath;
    unreadableStamp_ = files::FileStamp{};
    LoadProcessedPane(processedPath);
}

bool CScanDlg::LoadProcessedPane(const std::wstring& path) {
    if (!path.empty() && files::IsRegularFile(path)) {
        rightProcessor_ = std::make_unique<CImageProcessor>();
        std::int32_t w = 0, h = 0;
        std::unique_ptr<BYTE[]> bits;  // the pane keeps a copy
        if (rightProcessor_->ReadFileBytes(path.c_str()) && rightProcessor_->LoadImageFile(path.c_str(), 1))
            bits.reset(rightProcessor_->GetResultBits(&w, &h));
        if (bits) {
            rightPane.SetImage(bits.get(), w, h);
            rightPane.FitToWindow();
            return true;
        }
        files::GetFileStamp(path, unreadableStamp_);
    }
    rightPane.ReleaseImage();
    rightPane.Invalidate();  // the picture of another page goes from the screen too
    return false;
}

void CScanDlg::ShowWrittenCounterpart() {
    if (!initialised || rightPane.HasImage() || pairProcessedPath_.empty()) return;
    files::FileStamp now;
    // Not there yet, or as it was when it could not be read.
    if (!files::GetFileStamp(pairProcessedPath_, now) || now == unreadableStamp_) return;
    LoadProcessedPane(pairProcessedPath_);
}

void CScanDlg::OnScannedFile() {
    std::wstring path;
    {
        std::lock_guard guard(g_scannedFilesLock);
        if (g_lastScannedIndex >= 0 && g_lastScannedIndex < static_cast<int>(g_scannedFiles.size()))
            path = g_scannedFiles[static_cast<std::size_t>(g_lastScannedIndex)];
    }
    if (path.empty()) return;
    if (LoadScanPanelImage(path)) {
        leftPane.FitToWindow();
        leftPane.UpdateWindow();
    }
    if (previewPage.ShowsScanFolder()) previewPage.ListFolder(ScanSetting::scanFolder.get(), path);
}

LRESULT CScanDlg::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SCANNED_FILE) OnScannedFile();
    if (message == WM_SCAN_ENDED) {
        UpdateScanState();
        // The scan-and-process run looks for the new pages now rather than
        // at its next rescan.
        if (host.engine && host.engine->RunState() != 0 && host.engine->AutoMode() == AUTO_MODE_SCAN)
            host.engine->OnAutoDetectTick();
    }
    return CDialog::WindowProc(message, wParam, lParam);
}

bool CScanDlg::HandleScanKey(UINT key) {
    switch (key) {
    case VK_F10: settingPage.OnScan(); return true;
    case VK_F11: settingPage.OnInsertScan(); return true;
    case VK_F12: settingPage.OnReplaceScan(); return true;
    default: return false;
    }
}

bool CScanDlg::PreTranslateMessage(MSG* msg) {
    if (IsScanKey(msg)) HandleScanKey(static_cast<UINT>(msg->wParam));
    return CDialog::PreTranslateMessage(msg);
}

void CScanDlg::DisconnectDevices() {
    if (m_pTwainAppForScan) m_pTwainAppForScan->closeDSM();
    if (m_pTwainAppForSources) m_pTwainAppForSources->closeDSM();
    m_pTwainAppForScan.reset();
    m_pTwainAppForSources.reset();
}

void CScanDlg::OnCancel() {
    if (m_pTwainAppForScan && ScanSetting::disconnectOnClose.load()) DisconnectDevices();
    if (ScanSetting::stopProcessingOnClose.load() && host.engine && host.engine->RunState() != 0)
        host.engine->StopScanProcessing();
    EndDialog(IDCANCEL);
}

void CScanDlg::OnDestroy() {
    initialised = false;
    KillTimer(kDeviceTimer);
    if (g_scanDlg == GetSafeHwnd()) g_scanDlg = HWND();
    CDialog::OnDestroy();
}

HBRUSH CScanDlg::OnCtlColor(CDC* dc, CWnd* window, UINT ctlColor) {
    if (ctlColor == CTLCOLOR_STATIC && window &&
        (window->GetDlgCtrlID() == IDC_SCAN_DISPLAY_LABEL || window->GetDlgCtrlID() == IDC_SCAN_STATE_LABEL))
        dc->SetTextColor(kLabelColour);
    return CDialog::OnCtlColor(dc, window, ctlColor);
}
