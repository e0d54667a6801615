// The batch engine of the main window: starting a run (validation, the
// run's files, skip rules, output layout), the per-file road of the workers,
// the handling of the workers' messages, progress and the failed-file list,
// auto-detection of new files and the stops. It owns the worker pool.
//
// The engine has no window of its own: the main window forwards its
// messages (HandleMessage) and timer 10 (OnAutoDetectTick) to it, and the
// engine reaches the window's controls through IBatchWindow. Everything but
// the per-file road runs on the user-interface thread; workers reach that
// thread only by the sent WM_LOAD_FILE and by posted messages, so the
// bookkeeping of counts, lists and the end of a run is never shared between
// threads.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/core/BatchMessages.h"
#include "app/core/RunLayout.h"
#include "app/core/RunProcessor.h"
#include "app/core/WorkerPool.h"
#include "platform/core/System.h"

// The main window's choices a run is validated with.
struct RunChoices {
    std::wstring sourceText;       // edit 1000
    std::wstring destinationText;  // edit 1008
    bool includeSubfolders = true; // check 1162 "包含子目录"
    bool reprocessAll = true;      // check 1164 "全部重新处理"
    bool newFolder = false;        // radio 1145 "保存到新目录"
    bool deskew = true;            // check 5144 "倾斜校正"
    bool background = true;        // check 5145 "去底色"
    bool autoDetect = false;       // check 5146 "自动检测新文件"
    int requestedThreads = 2;      // item data of the selection of list 1091
};

// What the engine needs of the main window and the windows it speaks for.
// Called on the user-interface thread only.
class IBatchWindow {
public:
    virtual ~IBatchWindow() = default;
    virtual RunChoices ReadRunChoices() const = 0;
    virtual void SetProgressText(const std::wstring& text) = 0;  // static 1009
    virtual void SetStatusText(const std::wstring& text) = 0;    // static 1096
    virtual void SetStartButton(const std::wstring& text, bool enabled) = 0;  // button 1002
    virtual void SetAutoDetectTimer(bool on) = 0;  // timer 10, 1000 ms
    // The scan window, when open: refresh its processing status and controls.
    virtual void RefreshScanWindow() {}
    // The scan window's processing button shows "结束中..." and is disabled.
    virtual void ScanProcessingStopping() {}
    // The detection dialog, when its window exists: a detection run starts
    // (its button 1002 disabled, progress 0), or reports progress.
    virtual void DetectionStarted() {}
    virtual void DetectionProgress(int /*done*/) {}
};

class CBatchEngine final : public IWorkerHost {
public:
    using ProcessorFactory = std::function<RunProcessorPtr()>;

    explicit CBatchEngine(IBatchWindow& window);
    // Ends a run still going as Shutdown does, then joins the workers.
    ~CBatchEngine() override;
    CBatchEngine(const CBatchEngine&) = delete;
    CBatchEngine& operator=(const CBatchEngine&) = delete;

    // The window that receives the workers' messages (the main window).
    void SetWindowHandle(HWND hwnd) { hwnd_.store(hwnd); }
    HWND WindowHandle() const { return hwnd_.load(); }
    // Makes the processor of each file (the image processor unless replaced).
    void SetProcessorFactory(ProcessorFactory factory) { factory_ = std::move(factory); }

    // ---- Folder choices (the buffers behind edits 1000 and 1008 and the
    // radio pair); workers read them when they take a file.
    void SetSourceFolder(const std::wstring& folder);
    std::wstring SourceFolder() const;
    void SetDestinationFolder(const std::wstring& folder);
    std::wstring DestinationFolder() const;
    void SetSaveToNewFolder(bool on);
    bool SaveToNewFolder() const;

    // ---- Starting and stopping
    // The start button: starts a run when idle, stops auto-detection.
    void OnStartStop();
    // Validates, collects the run's files, sets the run state and starts the
    // workers. runType 0..2 plain runs, 3 detection, 4 scan-and-process.
    void StartProcessing(int runType);
    bool ValidateRun(int runType);
    void SetRunState(int state);
    // Stops a scan-and-process run.
    void StopScanProcessing();
    // Timer 10: one rescan of the run's source folder.
    void OnAutoDetectTick();
    // True when a candidate's path is not in the queue.
    bool HasNewFiles(const std::vector<QueuedFile>& candidates) const;
    // Appends the candidates whose paths are not queued to the pool's items
    // and replaces the queue by the candidates; returns how many were new.
    int AppendNewFiles(const std::vector<QueuedFile>& candidates);

    // ---- Results
    void UpdateProgress(int done);
    // Writes the failed-file list (when not empty) into the run's
    // destination folder (new-folder layout) or source folder.
    void WriteFailedList();

    // ---- The main window's messages. True when the engine handled the
    // message; `result` is its result.
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    // ---- Closing: no new file is taken, auto-detection stops, and messages
    // are handled until every worker has ended (files in progress are still
    // saved); then the failed-file list is written when a run was going.
    void Shutdown();
    // The window opens again (a closed window object that is shown anew).
    void Reopen();

    // ---- Values other windows read (user-interface thread).
    int RunState() const { return runState_.load(); }
    int AutoMode() const override { return autoMode_.load(); }
    bool Stopping() const { return stopping_; }
    int FailedCount() const { return failed_; }
    int Total() const { return total_; }
    // The tick count when the current (or last) run started.
    DWORD StartTick() const { return startTick_; }
    int QueueLength() const;
    std::vector<QueuedFile> Queue() const;
    const std::vector<std::wstring>& FailedFiles() const { return failedFiles_; }
    void ClearFailedFiles() { failedFiles_.clear(); }
    int QuickSteps() const;
    std::wstring RunSource() const;
    std::wstring RunDestination() const;
    // The file the last WriteFailedList wrote (empty when none).
    const std::wstring& LastFailedListPath() const { return lastFailedList_; }
    CWorkerPool& Pool() { return pool_; }
    const CWorkerPool& Pool() const { return pool_; }
    // Processors between their worker and the user-interface thread.
    std::size_t ProcessorsInFlight() const;

    // ---- IWorkerHost (worker threads)
    bool WindowAlive() const override;
    bool StopTaking() const override { return closing_.load(); }
    std::vector<std::wstring> QueuedPaths() const override;
    RunProcessorPtr CreateProcessor() override;
    void ProcessQueuedFile(int index, RunProcessorPtr processor) override;
    void ProcessAutoFile(int index, const std::wstring& path, RunProcessorPtr processor) override;
    void WorkersEnded() override;
    void WorkerExited() override;

private:
    // The run's own values, set when it starts; workers copy them.
    struct RunValues {
        std::wstring source;
        std::wstring destination;  // empty when results go to the source folders
        bool includeSubfolders = true;
        bool reprocessAll = true;
        bool newFolder = false;
        int quickSteps = 1;  // 1 (deskew only) until the first validation
        std::wstring rootPath;
        std::wstring rootName;
    };
    struct InFlight {
        RunProcessorPtr processor;
        int index = -1;
        bool saveRequested = false;  // the user-interface thread asked the worker to save
    };

    RunValues CopyRun() const;
    // The full paths of the queue; the caller holds queueLock_.
    std::unordered_set<std::wstring> QueuedPathSetLocked() const;
    void RunFileRoad(int index, const QueuedFile& file, bool autoRoad, RunProcessorPtr processor);
    RunProcessorPtr TakeInFlight(WPARAM key, int* index);
    void ReportProgress(int done);
    void BeginStop(int stoppedMode);
    bool WaitForWorkers();

    LRESULT OnLoadFile(WPARAM key, bool& handled);
    void OnImageProcessed(WPARAM key);
    void OnFileSaved(WPARAM key, bool saved);
    // On the worker: waits until the user-interface thread asks for the
    // result of `key` to be written, writes it and reports back.
    void SaveWhenAsked(WPARAM key, int index, IRunProcessor* processor);
    void CompleteFile(RunProcessorPtr processor, int index, bool saved);
    void OnFileFailed(WPARAM key, int index);
    void OnWorkersEnded();

    IBatchWindow& window_;
    std::atomic<HWND> hwnd_{};
    ProcessorFactory factory_;

    mutable std::mutex foldersMutex_;
    std::wstring sourceFolder_;
    std::wstring destinationFolder_;
    bool saveToNewFolder_ = false;

    mutable std::mutex runMutex_;
    RunValues run_;

    mutable std::recursive_mutex queueLock_;
    std::vector<QueuedFile> queue_;

    mutable std::mutex inFlightMutex_;
    std::condition_variable saveAsked_;
    bool releaseSavers_ = false;  // the end of the program: no save will be asked
    std::unordered_map<WPARAM, InFlight> inFlight_;

    std::atomic<int> runState_{0};
    std::atomic<int> autoMode_{0};
    std::atomic<bool> closing_{false};
    std::atomic<WPARAM> generation_{0};
    bool stopping_ = false;  // a stopped run whose workers have not all ended
    int stoppedMode_ = 0;    // AutoMode of the run being stopped
    DWORD startTick_ = 0;
    int total_ = 0;
    int failed_ = 0;
    std::vector<std::wstring> failedFiles_;
    std::wstring lastFailedList_;

    CWorkerPool pool_;  // last: its threads end before the members above go
};
