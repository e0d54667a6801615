// The scan window "扫描" (dialog 166): connects to a TWAIN device, holds the
// scan values and the sixteen scan-time switches, starts scan, insert-scan
// and replace-scan runs, shows the newest scanned page beside its processed
// counterpart and lists the scan and processed folders in a tree.
//
// The window reaches the batch engine only through what it is given
// (ScanWindowHost); it never includes the main window.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/core/FileTree.h"
#include "platform/core/Files.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"
#include "processing/processor/ImageProcessor.h"
#include "scan/core/ScanRoad.h"
#include "scan/core/TwainApp.h"
#include "view/ImagePannel.h"

class CBatchEngine;
class CScanDlg;

// What the scan window is given by the window that holds it.
struct ScanWindowHost {
    // The batch engine of the main window; null when there is none.
    CBatchEngine* engine = nullptr;
    // Opens the manual processing window with the from-scan flag.
    std::function<void()> openManualWindow;
    // Opens the scan variant of the settings dialog ("扫描处理设置") on its
    // first (0) or second (1) page.
    std::function<void(int page)> openScanSettings;
};

class CScanSettingPage : public CDialog {
public:
    explicit CScanSettingPage(CScanDlg& owner);
    bool OnInitDialog() override;
    bool PreTranslateMessage(MSG* msg) override;

    void InitControls();
    void RefreshControls();
    // Rebuilds the compression list of the chosen format; `keepChoice`
    // selects the stored entry, otherwise the first.
    void UpdateCompressionList(bool keepChoice);
    void UpdateNameExample();
    void UpdateStepChain();
    void UpdateProcessStatus();
    void FillDeviceList();
    void OnDeviceSelected();
    void OnScan();
    void OnInsertScan();
    void OnReplaceScan();
    void OnAutoScan();

protected:
    void OnHScroll(UINT code, UINT position, CWnd* control) override;
    HBRUSH OnCtlColor(CDC* dc, CWnd* window, UINT ctlColor) override;

private:
    void StartRun(int mode);
    void OnBrowseScanFolder();
    void OnBrowseProcessedFolder();
    CScanDlg& owner_;
    CComboBox device_, dpi_, paper_, duplex_, bitDepth_, colour_, format_, compression_;
    CSliderCtrl quality_;
    CToolTipCtrl toolTip_;
};

class CScanProcPage : public CDialog {
public:
    explicit CScanProcPage(CScanDlg& owner);
    bool OnInitDialog() override;
    bool PreTranslateMessage(MSG* msg) override;

private:
    CScanDlg& owner_;
};

class CScanPreviewPage : public CDialog {
public:
    explicit CScanPreviewPage(CScanDlg& owner);
    bool OnInitDialog() override;
    bool PreTranslateMessage(MSG* msg) override;

    // Rebuilds the tree of `folder` and selects `select` (else the first file).
    void ListFolder(const std::wstring& folder, const std::wstring& select);
    // Shows the folder the radio buttons choose when the edit shows another.
    void SyncFolder();
    void OnShowScanFolder();
    void OnShowProcessedFolder();
    void OnSelChanged();
    void SelectPrevious();
    void SelectNext();
    void OpenContainingFolder();
    bool ShowsScanFolder() const;
    // The full path of the selected file item; empty for none or a folder.
    std::wstring SelectedFilePath() const;
    // The files of the tree in list order (full paths) and the current one.
    std::vector<std::wstring> ListedFiles() const;
    std::wstring CurrentFile() const;
    CTreeCtrl& Tree() { return tree_; }

private:
    struct Item {
        HTREEITEM item;
        std::wstring path;
    };
    CScanDlg& owner_;
    CTreeCtrl tree_;
    CImageList images_;
    CFileTree files_;
    std::vector<Item> fileItems_;
    HTREEITEM current_ = nullptr;
    bool suppress_ = false;
};

class CScanSettingMorePage : public CDialog {
public:
    explicit CScanSettingMorePage(CScanDlg& owner);
    bool OnInitDialog() override;
    bool PreTranslateMessage(MSG* msg) override;

private:
    CScanDlg& owner_;
};

// Walks the tree in pre-order from `start` and expands (collapses) each item.
void ExpandTreeItems(CTreeCtrl& tree, HTREEITEM start);
void CollapseTreeItems(CTreeCtrl& tree, HTREEITEM start);

class CScanDlg : public CDialog {
public:
    explicit CScanDlg(ScanWindowHost host = {}, CWnd* parent = nullptr);
    ~CScanDlg() override;

    bool OnInitDialog() override;
    void OnCancel() override;
    void OnOK() override {}
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool PreTranslateMessage(MSG* msg) override;

    void ShowPage(int page);
    void SetViewMode(int mode);
    void LayoutPanels();
    void UpdateScanState();
    void ShowImagePair(const std::wstring& path);
    bool LoadScanPanelImage(const std::wstring& path);
    // The processed pane shows the processed counterpart of the pair shown
    // when it has been written since (a scan-and-process run writes it after
    // the scanned page was shown), fitted; nothing when it shows a picture.
    void ShowWrittenCounterpart();
    // The engine's values the settings page shows (0 without an engine).
    int EngineRunState() const;

    // Handles a scan key released in `focus` (F10, F11, F12); false when it
    // is not one or the focus is in an edit box of the settings page.
    bool HandleScanKey(UINT key);

    ScanWindowHost host;
    CScanSettingPage settingPage;
    CScanProcPage procPage;
    CScanPreviewPage previewPage;
    CScanSettingMorePage morePage;
    CImagePannel leftPane;
    CImagePannel rightPane;
    // The device-list object and the scanning object.
    std::unique_ptr<TwainApp> m_pTwainAppForSources;
    std::unique_ptr<ScanTwainApp> m_pTwainAppForScan;
    int viewMode = 0;
    int currentPage = 0;
    int rightColumnWidth = 0;
    bool initialised = false;

protected:
    void OnTimer(UINT_PTR id) override;
    void OnSize(UINT type, int cx, int cy) override;
    void OnDestroy() override;
    HBRUSH OnCtlColor(CDC* dc, CWnd* window, UINT ctlColor) override;

private:
    void OnScannedFile();
    void DisconnectDevices();
    std::unique_ptr<CImageProcessor> leftProcessor_;
    // Loads the file into the processed pane, fitted; false (the pane
    // emptied) when it is missing or does not decode.
    bool LoadProcessedPane(const std::wstring& path);
    std::unique_ptr<CImageProcessor> rightProcessor_;
    // The processed counterpart of the pair shown (empty when none), and the
    // stamp it had when it last failed to load (not tried again unchanged).
    std::wstring pairProcessedPath_;
    files::FileStamp unreadableStamp_;
    std::unique_ptr<BatchScanProcessing> processing_;
};
