// The archive-seal dialog: the seal's appearance, the source and output
// folders, and the job (CSealJob) that stamps the first page of every
// archive folder and copies everything else into a mirror of the source
// tree. The job runs on one worker thread with a copy of the settings taken
// when it starts; the worker reaches the dialog only by posted messages
// (WM_IMAGE_PROCESSED after each file, WM_TOOL_JOB_ENDED at the end). One
// job at a time: the start button stays disabled while it runs.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "platform/gdi/Gdi.h"
#include "platform/ui/Dialog.h"
#include "processing/ArchiveSeal.h"
#include "tools/SealJob.h"

class CGenerateSealDlg : public CDialog {
public:
    CGenerateSealDlg();
    // Stops a job still going and waits for its worker.
    ~CGenerateSealDlg() override;

    bool OnInitDialog() override;
    // While a job runs: asks "正在处理，确定要关闭吗？"; on OK the job stops
    // after the file in hand and the dialog closes.
    void OnCancel() override;
    void OnOK() override { OnCancel(); }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    void OnBrowseSource();
    void OnBrowseOutput();
    void OnPickLineColor();
    void OnPickTextColor();
    void SetSizeMode(int mode);
    void SetSide(int side);
    void OnStart();
    void ShowProgress(int done);

    // The seal's appearance and the folders; kept between openings.
    SealSettings settings;
    std::wstring sourceFolder;
    std::wstring outputFolder;

    bool Running() const { return running_; }
    int Total() const { return job_ ? job_->Total() : 0; }
    int Done() const { return job_ ? job_->Done() : 0; }
    // The job of the last start (null before the first); its lists stay
    // until the next start.
    const CSealJob* LastJob() const { return job_.get(); }

protected:
    HBRUSH OnCtlColor(CDC* dc, CWnd* window, UINT ctlColor) override;

private:
    void ReadSettings();
    void OnJobEnded();
    void StopWorker();

    CBrush lineBrush_;
    CBrush textBrush_;
    std::unique_ptr<CSealJob> job_;
    std::thread worker_;
    std::atomic<bool> stop_{false};
    bool running_ = false;
    DWORD startTick_ = 0;
};
