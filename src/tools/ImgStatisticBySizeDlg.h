// The page-size statistics dialog: classes every JPEG and TIFF page of a
// folder (optionally with its sub-folders) as A4, A3 or A2 from its header
// and exports the matching pages to a CSV file or a workbook.
//
// The classification and the export run on one worker thread, which gets
// everything it needs when the job starts and reaches the dialog only by
// posted messages: WM_PROGRESS every 500 files and at the end of the
// classification, WM_TOOL_JOB_ENDED when the export is written. The dialog
// stays busy (start disabled) until the export has ended.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/Dialog.h"
#include "tools/PageSizeStatistics.h"

class CImgStatisticBySizeDlg : public CDialog {
public:
    CImgStatisticBySizeDlg();
    // Stops a job still going and waits for its worker.
    ~CImgStatisticBySizeDlg() override;

    bool OnInitDialog() override;
    // While busy: asks "正在处理，确定要关闭吗？"; on OK the job stops (nothing
    // is exported) and the dialog closes.
    void OnCancel() override;
    void OnOK() override { OnCancel(); }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    void OnBrowseSource();
    void OnBrowseResult();
    void OnAllowMargin();
    void OnStart();
    void ShowProgress(int done);

    // What the dialog keeps between openings.
    std::wstring sourceFolder;
    std::wstring resultFolder;
    BYTE paperA2 = 0;
    BYTE paperA3 = 1;
    BYTE paperA4 = 1;
    BYTE allowMargin = 0;
    float marginPercent = 3.0f;

    bool Busy() const { return busy_; }
    int Total() const { return total_; }
    std::vector<PageSizeRecord> Results() const;
    // The path the last export wrote (empty when none).
    std::wstring LastExport() const;

private:
    struct Job {
        std::vector<std::pair<std::wstring, std::wstring>> files;  // full path, name
        PaperChoice papers;
        PageSizeLimits limits;
        bool csv = true;
        std::wstring folder;
        HWND window;
    };
    void RunJob(Job job);
    void OnJobEnded();
    void StopWorker();

    int total_ = 0;
    bool busy_ = false;
    DWORD startTick_ = 0;
    std::thread worker_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    std::vector<PageSizeRecord> results_;
    std::wstring exportMessage_;
    std::wstring lastExport_;
};
