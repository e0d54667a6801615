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

    // Reads the header of the file at `path` (TIFF when the name ends in
    // "tif" or "tiff", any case, otherwise JPEG; the load falls back to
    // finding the type itself) and classes it. False when the file cannot be
    // examined, its header cannot be read (the page is skipped: a size that
    // was never read would be classed as A4) or no chosen paper matches;
    // otherwise true with the record filled (its name left to the caller).
    static bool ClassifyFile(const std::wstring& path, const PaperChoice& papers, const PageSizeLimits& limits,
                             PageSizeRecord& record);
    // The exports: a CSV file, or a workbook (".xlsx"). Each writes into
    // `folder` under the name for `time` and returns the message to show the
    // user; `written` gets the path of the file written (empty when none was).
    static std::wstring ExportCsv(const std::wstring& folder, const std::vector<PageSizeRecord>& records,
                                  const SYSTEMTIME& time, std::wstring* written = nullptr);
    static std::wstring ExportXls(const std::wstring& folder, const std::vector<PageSizeRecord>& records,
                                  const SYSTEMTIME& time, std::wstring* written = nullptr);

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
    // The worker: ClassifyAll, then the export the job chose.
    void StatisticThreadProc(Job job);
    // Classes every file of the job in order (WM_PROGRESS every 500 files
    // and after the last); stops early when the dialog closes.
    std::vector<PageSizeRecord> ClassifyAll(const Job& job);
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
