// The scan road: what happens between a press of a scan button and the
// moment the last page of that press lies on disk. The capabilities of the
// open source are set from ScanSetting (pixel type before bit depth), the
// source is enabled, the batch engine is started in scan-and-process mode
// when it is idle, the road waits for the source to say it is ready, every
// page is transferred to a file named by the scan naming, each path is
// appended to the scanned-file list and announced to the scan window with
// WM_SCANNED_FILE, the source is disabled and WM_SCAN_ENDED is posted.
//
// Everything runs on the user-interface thread inside the button's handler.
// Between pages and while it waits for the source the road lets the batch
// engine's run go on (the workers' messages to the main window and the
// run's rescan of the scan folder); it dispatches no other message, so no
// command of the scan window (a second scan, closing it) runs in the middle
// of a scan.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "platform/core/Messages.h"
#include "scan/core/TwainApp.h"

class CBatchEngine;

enum ScanMode { SCAN_IDLE = 0, SCAN_APPEND = 1, SCAN_INSERT = 2, SCAN_REPLACE = 3 };

constexpr UINT WM_SCANNED_FILE = WM_USER + 1;
constexpr UINT WM_SCAN_ENDED = WM_USER + 2;

extern int g_scanMode;
extern int g_scanRunCount;
// Every file a transfer completed in this process, in order; the newest at
// g_lastScannedIndex. Both are changed under g_scannedFilesLock.
extern std::vector<std::wstring> g_scannedFiles;
extern int g_lastScannedIndex;
extern std::mutex g_scannedFilesLock;
// The live scan window: the target of WM_SCANNED_FILE and WM_SCAN_ENDED.
extern HWND g_scanDlg;

// What the road needs of the batch engine.
class IScanProcessing {
public:
    virtual ~IScanProcessing() = default;
    virtual int RunState() const = 0;
    // Starts a run of `runType` (4: scan-and-process).
    virtual void StartProcessing(int runType) = 0;
    // Called by the road between pages and while it waits for the source:
    // lets the run do what it would do if the thread were free.
    virtual void WhileScanning() {}

    // An insert-scan or a replace-scan is about to rename or rewrite these
    // scanned files: processing that already holds their present content
    // finishes first. False when it did not finish in time (the files are
    // then left as they are).
    virtual bool SettleScanFiles(const std::vector<std::wstring>& /*paths*/) { return true; }
    // Where the result of a scanned file lies (its processed counterpart).
    virtual std::wstring ResultPathOf(const std::wstring& scanned) const;
    // A scanned file has new content and no result: it is processed again.
    virtual void ScanFileChanged(const std::wstring& /*path*/) {}
    // A scanned file was renamed to `path` and its result went with it: the
    // page under its new name is processed.
    virtual void ScanResultMoved(const std::wstring& /*path*/) {}
};

// The batch engine as the road sees it.
class BatchScanProcessing final : public IScanProcessing {
public:
    explicit BatchScanProcessing(CBatchEngine& engine) : engine_(engine) {}
    int RunState() const override;
    void StartProcessing(int runType) override;
    // Handles the workers' messages already queued for the engine's window;
    // once a second, the rescan the main window's timer would do.
    void WhileScanning() override;
    bool SettleScanFiles(const std::vector<std::wstring>& paths) override;
    std::wstring ResultPathOf(const std::wstring& scanned) const override;
    void ScanFileChanged(const std::wstring& path) override;
    void ScanResultMoved(const std::wstring& path) override;

private:
    CBatchEngine& engine_;
    std::chrono::steady_clock::time_point lastRescan_ = std::chrono::steady_clock::now();
};

// How long a transfer pass waits for the source's MSG_XFERREADY (30 s
// unless set; tests shorten it).
void SetScanReadyTimeout(std::chrono::milliseconds timeout);
std::chrono::milliseconds ScanReadyTimeout();

// The ICAP_COMPRESSION value of entry `index` of the compression list of
// `fileFormat` (0 Jpg: JPEG, JPEG 2000; 1 Tif: LZW, ZIP, PackBits, JPEG).
TW_UINT16 ScanCompressionValue(int fileFormat, int index);
// The entries of that list.
std::vector<std::wstring> ScanCompressionList(int fileFormat);

// One scan run with the current g_scanMode. `processing` null means there
// is no main window.
void RunScan(ScanTwainApp* app, IScanProcessing* processing, void* parentWindow = nullptr);
void ApplyScanCapabilities(ScanTwainApp* app);
// The transfer loops; each leaves the object's state at 5.
void transferFile(ScanTwainApp* app, TW_UINT16 format);
void transferNative(ScanTwainApp* app);
void transferMemory(ScanTwainApp* app);
