// CManualDlg: the manual window ("手动处理"). A user picks an image from the
// folder page, applies one operation at a time from the tool pages, watches
// the result (beside the original in comparison mode), steps back and forth
// through a history of up to ten states and saves the current one over the
// file or, with save-as, to another file. Each loaded file gets its own
// processing object; every operation runs on a copy of the current picture
// through it. Everything runs on the user-interface thread.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "manual/ManualDirPage.h"
#include "manual/ManualHistory.h"
#include "manual/ManualPages.h"
#include "platform/gdi/Gdi.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/ManualOperation.h"
#include "view/ImagePannel.h"

class CManualDlg : public CDialog, public IImagePannelTools {
public:
    static constexpr int kPageCount = 11;
    static constexpr UINT_PTR kStatusTimer = 10;
    static constexpr UINT kStatusPeriod = 3000;  // ms

    CManualDlg();
    ~CManualDlg() override;

    // Set by the owner before DoModal: the scan window opens the window with
    // it, which shows in the caption.
    bool fromScan = false;

    INT_PTR DoModal() override;
    bool OnInitDialog() override;
    void OnCancel() override { CDialog::OnCancel(); }
    bool PreTranslateMessage(MSG* msg) override;

    // ---- Pages, keys, views ----
    void ShowPage(int index);
    int CurrentPage() const { return page_; }
    CManualPage* Page(int index);
    CManualDirPage& DirPage() { return dirPage_; }
    void OnKey(UINT virtualKey, bool ctrl);
    // Side by side (comparison mode only) or a single view.
    void SetViewMode(bool sideBySide);
    bool SideBySide() const { return !singleView_; }
    void RelayoutControls();
    void FitViews();
    void CentreViews();
    // Is the screen point inside the main view's client area?
    bool IsPointInImageView(POINT screenPoint) const;
    bool CursorOverMainView() const;
    void SetViewCursor(HCURSOR cursor);
    CImagePannel& MainView() { return mainView_; }
    CImagePannel& SecondView() { return secondView_; }

    // ---- Files ----
    void OnFileSelected(const std::wstring& path, const std::wstring& name, bool fromProcessedTree);
    std::wstring MapToOriginalPath(const std::wstring& path) const;
    std::wstring MapToProcessedPath(const std::wstring& path) const;
    std::wstring& ProcessedFolder() { return processedFolder_; }
    std::wstring& OriginalFolder() { return originalFolder_; }
    const std::wstring& CurrentPath() const { return path_; }
    const std::wstring& CurrentName() const { return name_; }
    void OnPreviousFile() { StepFile(false); }
    void OnNextFile() { StepFile(true); }

    // ---- Operations and history ----
    // Runs the operation on the current picture and records it; takes the
    // record (discarded when no file is loaded).
    void AddOperation(std::unique_ptr<ManualOperation> operation) override;
    // Runs the operation on a copy of the current picture and shows the
    // result in the main view without recording it (the background page's
    // preview).
    void PreviewOperation(const ManualOperation& operation);
    void ResetHistory();
    void SelectHistory();
    const ManualHistory& History() const { return history_; }
    const OwnedImage24& CurrentImage() const { return current_; }
    const OwnedImage24& OriginalImage() const { return original_; }
    const OwnedImage24& PreviewImage() const { return preview_; }
    bool HasProcessor() const { return processor_ != nullptr; }

    // ---- Saving and the status line ----
    void OnSave();
    void OnSaveAs();
    void ShowStatus(const std::wstring& text);

    // IImagePannelTools
    int ShownPageIndex() const override { return page_; }
    const BYTE* CurrentImageBits(std::int32_t* width, std::int32_t* height) const override;
    CWnd* ErasePage() override;
    CWnd* CropPage() override;
    void OnEraseColourPicked() override;

protected:
    void DoDataExchange(CDataExchange* dx) override;
    void OnTimer(UINT_PTR id) override;
    void OnSize(UINT type, int cx, int cy) override;
    HBRUSH OnCtlColor(CDC* dc, CWnd* window, UINT ctlColor) override;

private:
    bool LoadImage(const std::wstring& path);
    bool LoadOriginalImage(const std::wstring& path);
    void ShowLoaded(const std::wstring& path, const std::wstring& name);
    void ExecuteOperation(const ManualOperation& operation);
    void ShowCurrent();
    void RebuildHistoryList();
    void OnHistoryClicked(int item);
    void StepFile(bool next);
    // Saves the current entry and says in the status line how it went.
    void SaveTo(const std::wstring& destination);
    // True when there is something to save; otherwise says so.
    bool CanSave();
    void FreeAll();

    CManualCenterPage centerPage_;
    CManualCorrectPage correctPage_;
    CManualCutedgePage cutedgePage_;
    CManualDirPage dirPage_;
    CManualRmbkcolorPage rmbkcolorPage_;
    CManualRmblackboardPage rmblackboardPage_;
    CManualRmstainsPage rmstainsPage_;
    CManualBindHolePage bindHolePage_;
    CManualAutocontrastPage autocontrastPage_;
    CManualOutputSizePage outputSizePage_;
    CManualEraseStainsPage erasePage_;
    CManualTailPage tailPage_;

    int page_ = 3;
    OwnedImage24 current_;
    std::unique_ptr<CImageProcessor> processor_;
    OwnedImage24 original_;
    std::unique_ptr<CImageProcessor> originalProcessor_;
    OwnedImage24 preview_;
    std::wstring processedFolder_;
    std::wstring originalFolder_;
    std::wstring path_;
    std::wstring name_;
    ManualHistory history_;
    CImagePannel mainView_;
    CImagePannel secondView_;
    CListCtrl historyList_;
    bool singleView_ = true;
    int panelWidth_ = 0;
    int viewRight_ = 0;
    bool initialised_ = false;
    CFont titleFont_;
};
