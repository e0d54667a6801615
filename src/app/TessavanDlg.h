// The main window: folder choices, the quick steps, the thread count, the
// start button and the progress of a run, the menu of the other windows. It
// owns the batch engine and forwards the workers' messages and timer 10 to
// it; the engine reaches the controls through IBatchWindow.
#pragma once

#include <memory>
#include <string>

#include "app/ConfigDlg.h"
#include "app/InfoDialogs.h"
#include "app/core/BatchEngine.h"
#include "manual/ManualDlg.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Dialog.h"
#include "scan/ScanDlg.h"
#include "settings_ui/SettingDlg.h"
#include "tools/DetectDlg.h"
#include "tools/GenerateSealDlg.h"
#include "tools/ImgStatisticBySizeDlg.h"
#include "tools/MoreFeaturesDlg.h"

class CTessavanDlg : public CDialog, public IBatchWindow {
public:
    explicit CTessavanDlg(CWnd* parent = nullptr);
    ~CTessavanDlg() override;

    bool OnInitDialog() override;
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool PreTranslateMessage(MSG* msg) override;
    // Closing (Esc, the close box) is never refused: a run still going is
    // ended first (Shutdown of the engine).
    void OnOK() override;
    void OnCancel() override;

    // Button handlers.
    void OnBrowseSource();
    void OnBrowseDestination();
    void OnStartStop() { engine_.OnStartStop(); }
    void OnSaveToSourceFolder();
    void OnSaveToNewFolder();
    void OnDeskewCheck();
    void OnBackgroundCheck();
    // Link handlers.
    void OnManualProcessing();
    void OnBatchSettings();
    void OnContact();
    void OnConsult();

    // The configuration loader's choice: 1 new folder, anything else the
    // source folders (radio pair, destination row, choice).
    void SetSaveToNewFolder(int mode);
    // Refreshes static 1211 with the chosen steps.
    void BuildOperationSummary();
    // The quick checks "倾斜校正" and "去底色" show correct/on and rmbkcolor/on.
    void ShowQuickSteps();

    // Entry points of other windows.
    void StartProcessing(int runType) { engine_.StartProcessing(runType); }
    void StopScanProcessing() { engine_.StopScanProcessing(); }
    int RunState() const { return engine_.RunState(); }
    int AutoMode() const { return engine_.AutoMode(); }
    int FailedCount() const { return engine_.FailedCount(); }
    int QueueLength() const { return engine_.QueueLength(); }
    CWorkerPool& Pool() { return engine_.Pool(); }
    CBatchEngine& Engine() { return engine_; }

    // Folder buffers (the configuration loader sets them with their edits).
    void SetSourceFolder(const std::wstring& folder);
    void SetDestinationFolder(const std::wstring& folder);
    std::wstring SourceFolder() const { return engine_.SourceFolder(); }
    std::wstring DestinationFolder() const { return engine_.DestinationFolder(); }
    bool SaveToNewFolderChoice() const { return engine_.SaveToNewFolder(); }

    // The embedded dialogs.
    CVersionDlg versionDlg;
    CCustomDlg customDlg;
    CQQDlg qqDlg;
    CManualDlg manualDlg;
    CMoreFeaturesDlg moreFeaturesDlg;
    CDetectDlg detectDlg;
    CGenerateSealDlg sealDlg;
    CImgStatisticBySizeDlg statisticsDlg;
    CConfigDlg configDlg;
    CSettingDlg settingDlg;
    CSettingDlg scanSettingDlg;  // the scan window's
    CManualDlg scanManualDlg;    // the scan window's, opened with the from-scan flag
    CScanDlg scanDlg;

    // ---- IBatchWindow
    RunChoices ReadRunChoices() const override;
    void SetProgressText(const std::wstring& text) override;
    void SetStatusText(const std::wstring& text) override;
    void SetStartButton(const std::wstring& text, bool enabled) override;
    void SetAutoDetectTimer(bool on) override;
    void RefreshScanWindow() override;
    void ScanProcessingStopping() override;
    void DetectionStarted() override { detectDlg.DetectionStarted(); }
    void DetectionProgress(int done) override { detectDlg.ShowProgress(done); }

protected:
    void OnTimer(UINT_PTR id) override;
    HBRUSH OnCtlColor(CDC* dc, CWnd* window, UINT ctlColor) override;
    bool OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    void OnMenu(UINT id);
    // Menu items refused while a run is going.
    bool RefuseDuringRun();
    void ShowDestinationRow(bool show);

    CMenu menu_;
    CToolTipCtrl toolTip_;
    CFont linkFont_;
    CBatchEngine engine_;
};
