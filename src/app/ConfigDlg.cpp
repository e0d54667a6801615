#include "app/ConfigDlg.h"

#include <QApplication>
#include <QStyle>
#include <QWidget>

#include "app/Resource.h"
#include "app/TessavanDlg.h"
#include "platform/core/Files.h"
#include "platform/core/Numbers.h"
#include "platform/core/UserDialogs.h"
#include "settings/ConfigFile.h"
#include "settings/ProcessSetting.h"

namespace {

const DialogTemplate kConfigTemplate = {
    IDD_CONFIG_DIALOG,
    L"配置",
    200,
    120,
    {
        {IDC_LOAD_GROUP, Ctl::GroupBox, L"载入", 7, 5, 186, 46},
        {IDC_CONFIG_STATE, Ctl::Static, L"当前没有配置文件", 15, 20, 100, 10},
        {IDC_LOAD_CONFIG, Ctl::Button, L"载入当前配置", 120, 17, 65, 16},
        {IDC_SAVE_GROUP, Ctl::GroupBox, L"保存", 7, 57, 186, 56},
        {IDC_SAVE_FOLDERS, Ctl::CheckBox, L"文件目录选择", 15, 72, 62, 10},
        {IDC_SAVE_SETTINGS, Ctl::CheckBox, L"设置", 15, 90, 32, 10},
        {IDC_SAVE_CONFIG, Ctl::Button, L"保存配置", 120, 80, 65, 16},
    },
};

}  // namespace

CConfigDlg::CConfigDlg() : CDialog(kConfigTemplate) {
    MapCommand(IDC_LOAD_CONFIG, BN_CLICKED, [this] { OnLoadConfig(); });
    MapCommand(IDC_SAVE_CONFIG, BN_CLICKED, [this] { OnSaveConfig(); });
}

CTessavanDlg* CConfigDlg::MainDialog() { return dynamic_cast<CTessavanDlg*>(AfxGetMainWnd()); }

bool CConfigDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    if (QWidget* window = Widget() ? Widget()->window() : nullptr)
        window->setWindowIcon(QApplication::style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    path_ = ConfigFilePath();
    ShowFileState();
    CheckDlgButton(IDC_SAVE_FOLDERS, BST_CHECKED);
    CheckDlgButton(IDC_SAVE_SETTINGS, BST_CHECKED);
    return true;
}

void CConfigDlg::ShowFileState() {
    // A folder of that name counts as the file: loading it then does nothing.
    const bool exists = !path_.empty() && files::Exists(path_);
    SetDlgItemText(IDC_CONFIG_STATE, exists ? L"*当前有配置文件*" : L"没有配置文件");
    if (CWnd* load = GetDlgItem(IDC_LOAD_CONFIG)) load->EnableWindow(exists);
}

void CConfigDlg::OnSaveConfig() {
    const bool folders = IsDlgButtonChecked(IDC_SAVE_FOLDERS) == BST_CHECKED;
    const bool settings = IsDlgButtonChecked(IDC_SAVE_SETTINGS) == BST_CHECKED;
    if (!folders && !settings) {
        MessageBox(L"保存至少要选中一项.", kDefaultCaption, MB_OK);
        return;
    }
    CTessavanDlg* main = MainDialog();
    if (!main) return;

    ConfigFolders state;
    state.saveToNewFolder = main->SaveToNewFolderChoice();
    state.includeSubfolders = main->IsDlgButtonChecked(IDC_INCLUDE_SUBFOLDERS) == BST_CHECKED;
    state.reprocessAll = main->IsDlgButtonChecked(IDC_REPROCESS_ALL) == BST_CHECKED;
    state.source = main->SourceFolder();
    state.destination = main->DestinationFolder();
    int concurrent = 2;  // when no thread count is chosen
    if (auto* list = dynamic_cast<CComboBox*>(main->GetDlgItem(IDC_THREAD_COUNT))) {
        const int sel = list->GetCurSel();
        if (sel >= 0) concurrent = static_cast<int>(list->GetItemData(sel));
    }
    const std::wstring text = BuildConfigText(folders ? &state : nullptr, settings, concurrent);
    if (SaveConfigFile(path_, text)) {
        // The state line and the load button follow the file at once: a
        // dialog that says "没有配置文件" after a save would be wrong.
        ShowFileState();
        MessageBox(FormatW(L"保存成功。文件为 %s", path_.c_str()), kDefaultCaption, MB_OK);
    } else {
        MessageBox(L"保存失败.", kDefaultCaption, MB_OK);
    }
}

void CConfigDlg::OnLoadConfig() {
    CTessavanDlg* main = MainDialog();
    if (!main) return;
    LoadedConfig loaded;
    // A missing or unreadable file, or one without a config element: nothing
    // happens.
    if (path_.empty() || !LoadConfigFile(path_, loaded)) return;

    if (loaded.folders) {
        const ConfigFolders& f = *loaded.folders;
        main->SetSaveToNewFolder(f.saveToNewFolder ? 1 : 0);
        main->CheckDlgButton(IDC_INCLUDE_SUBFOLDERS, f.includeSubfolders ? BST_CHECKED : BST_UNCHECKED);
        main->CheckDlgButton(IDC_REPROCESS_ALL, f.reprocessAll ? BST_CHECKED : BST_UNCHECKED);
        main->SetSourceFolder(f.source);
        main->SetDestinationFolder(f.destination);
    }
    if (loaded.settings) main->ShowQuickSteps();
    if (loaded.concurrent) {
        if (auto* list = dynamic_cast<CComboBox*>(main->GetDlgItem(IDC_THREAD_COUNT))) {
            for (int i = 0; i < list->GetCount(); ++i) {
                if (static_cast<int>(list->GetItemData(i)) == *loaded.concurrent) {
                    list->SetCurSel(i);
                    break;
                }
            }
        }
    }
    MessageBox(L"载入完成.", kDefaultCaption, MB_OK);
}
