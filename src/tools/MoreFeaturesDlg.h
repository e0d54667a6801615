// The folder-difference dialog: the page that holds folders A, B and C, and
// the dialog around it whose "执行" copies the images of A that B lacks into
// C. The work runs on the user-interface thread; the dialog cannot be closed
// while the batch engine has unfinished files.
#pragma once

#include <string>

#include "platform/ui/Dialog.h"
#include "tools/FolderDiff.h"

class CBatchEngine;

class CMoreFindDirDiffPage : public CDialog {
public:
    CMoreFindDirDiffPage();
    bool OnInitDialog() override;

    void OnBrowseA() { Browse(folderA, 1000); }
    void OnBrowseB() { Browse(folderB, 5148); }
    void OnBrowseC() { Browse(folderC, 1010); }
    // The checks and the copy; every outcome ends in a message box.
    void RunDiff();

    std::wstring folderA;
    std::wstring folderB;
    std::wstring folderC;
    // The result of the last run that got past the checks.
    const FolderDiffResult& LastResult() const { return last_; }

private:
    void Browse(std::wstring& folder, int editId);
    FolderDiffResult last_;
};

class CMoreFeaturesDlg : public CDialog {
public:
    explicit CMoreFeaturesDlg(CBatchEngine* engine = nullptr);
    void SetEngine(CBatchEngine* engine) { engine_ = engine; }

    bool OnInitDialog() override;
    void OnStart() { page.RunDiff(); }
    // Refused ("正在处理图片不能关闭.") while the worker pool has unfinished files.
    void OnCancel() override;
    void OnOK() override { OnCancel(); }

    CMoreFindDirDiffPage page;

private:
    CBatchEngine* engine_;
};
