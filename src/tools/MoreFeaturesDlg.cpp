#include "tools/MoreFeaturesDlg.h"

#include <QApplication>
#include <QStyle>

#include "app/core/BatchEngine.h"
#include "platform/core/UserDialogs.h"
#include "tools/ToolsResource.h"

namespace {

const DialogTemplate kPageTemplate = {
    IDD_FIND_DIR_DIFF_PAGE,
    L"",
    290,
    100,
    {
        {IDC_DIFF_LABEL_A, Ctl::Static, L"原文件夹A:", 0, 2, 200, 10},
        {IDC_DIFF_FOLDER_A, Ctl::Edit, L"", 0, 14, 240, 13, ES_READONLY},
        {IDC_DIFF_BROWSE_A, Ctl::Button, L"选择...", 246, 13, 44, 15},
        {IDC_DIFF_LABEL_B, Ctl::Static, L"文件夹B (B与A同名，并且B属于A的子集)：", 0, 34, 240, 10},
        {IDC_DIFF_FOLDER_B, Ctl::Edit, L"", 0, 46, 240, 13, ES_READONLY},
        {IDC_DIFF_BROWSE_B, Ctl::Button, L"选择...", 246, 45, 44, 15},
        {IDC_DIFF_LABEL_C, Ctl::Static, L"A-B（A中有，B中无）的结果，存放到目录C：", 0, 66, 240, 10},
        {IDC_DIFF_FOLDER_C, Ctl::Edit, L"", 0, 78, 240, 13, ES_READONLY},
        {IDC_DIFF_BROWSE_C, Ctl::Button, L"选择...", 246, 77, 44, 15},
    },
};

const DialogTemplate kMoreFeaturesTemplate = {
    IDD_MORE_FEATURES_DIALOG,
    L"求两个文件夹的差",
    310,
    150,
    {
        {IDC_DIFF_FRAME, Ctl::GroupBox, L"", 5, 5, 300, 110},
        {IDC_DIFF_STATUS, Ctl::Static, L"", 5, 118, 200, 10},
        {IDC_DIFF_EXECUTE, Ctl::DefButton, L"执行", 230, 124, 70, 18},
    },
};

}  // namespace

CMoreFindDirDiffPage::CMoreFindDirDiffPage() : CDialog(kPageTemplate) {
    MapCommand(IDC_DIFF_BROWSE_A, BN_CLICKED, [this] { OnBrowseA(); });
    MapCommand(IDC_DIFF_BROWSE_B, BN_CLICKED, [this] { OnBrowseB(); });
    MapCommand(IDC_DIFF_BROWSE_C, BN_CLICKED, [this] { OnBrowseC(); });
}

bool CMoreFindDirDiffPage::OnInitDialog() {
    CDialog::OnInitDialog();
    SetDlgItemText(IDC_DIFF_FOLDER_A, folderA);
    SetDlgItemText(IDC_DIFF_FOLDER_B, folderB);
    SetDlgItemText(IDC_DIFF_FOLDER_C, folderC);
    return true;
}

void CMoreFindDirDiffPage::Browse(std::wstring& folder, int editId) {
    std::wstring chosen = folder;
    if (BrowseForFolder(L"请选择目录", chosen)) {
        folder = chosen;
        SetDlgItemText(editId, chosen);
    }
}

void CMoreFindDirDiffPage::RunDiff() {
    const FolderDiffCheck check = CheckFolderDiff(folderA, folderB, folderC);
    if (check != FolderDiffCheck::kOk) {
        MessageBox(FolderDiffCheckMessage(check), kDefaultCaption, MB_OK);
        return;
    }
    FolderDiffResult result = RunFolderDiff(folderA, folderB, folderC);
    if (!result.listed) return;
    if (result.aEmpty) {
        MessageBox(L"A不能为空。.", kDefaultCaption, MB_OK);
        return;
    }
    last_ = std::move(result);
    MessageBox(FolderDiffDoneMessage(last_), kDefaultCaption, MB_OK);
}

CMoreFeaturesDlg::CMoreFeaturesDlg(CBatchEngine* engine) : CDialog(kMoreFeaturesTemplate), engine_(engine) {
    MapCommand(IDC_DIFF_EXECUTE, BN_CLICKED, [this] { OnStart(); });
}

bool CMoreFeaturesDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetIcon(QApplication::style()->standardIcon(QStyle::SP_FileDialogDetailedView), true);
    if (page.Create(this)) {
        RECT r{10, 15, 0, 0};
        MapDialogRect(&r);
        page.SetWindowPos(nullptr, r.left, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        page.ShowWindow(SW_SHOW);
    }
    return true;
}

void CMoreFeaturesDlg::OnCancel() {
    if (engine_ && !engine_->Pool().AllDone()) {
        MessageBox(L"正在处理图片不能关闭.", kDefaultCaption, MB_OK);
        return;
    }
    CDialog::OnCancel();
}
