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
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/core/BatchMessages.h"
#include "app/core/MemoryBudget.h"
#include "app/core/OutputRule.h"
#include "app/core/RunLayout.h"
#include "app/core/RunProcessor.h"
#include "app/core/WorkerPool.h"
#include "platform/core/System.h"

// Reasons written after a failed file's path in the failed-file list.
extern const std::wstring kOutOfMemoryReason;
extern const std::wstring kUnexpectedErrorReason;

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
    // The memory the files in progress may take together (a share of the
    // machine's memory unless set).
    void SetMemoryBudget(std::uint64_t bytes) { budget_.SetTotal(bytes); }
    const CMemoryBudget& MemoryBudget() const { return budget_; }
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

    // ---- Scanned files that an insert-scan or a replace-scan renames or
    // rewrites while a scan-and-process run goes (user-interface thread).
    // Handles the workers' messages, but not their requests to read a file,
    // until no file among `paths` that a worker has already read is still
    // being processed or saved: its result is then on disk and can follow
    // the file. False when that did not happen within `timeout`.
    bool FinishWorkOn(const std::vector<std::wstring>& paths, std::chrono::milliseconds timeout);
    // The file `path` of the scan-and-process run has new content and no
    // result: the next rescan has it processed again (once it exists).
    void ProcessAgain(const std::wstring& path);
    // The file `path` of the scan-and-process run has its result already
    // (an insert renamed the page and its result together): the run counts
    // it as one of its pages, processed.
    void TakeProcessedPage(const std::wstring& path);
    // The source folder and the results root (destination/<source name>) of
    // the last scan-and-process run; false when the last run was another
    // kind of run or there was none.
    bool ScanRunFolders(std::wstring& source, std::wstring& resultsRoot) const;

    // ---- Results
    void UpdateProgress(int done);
    // Writes the failed-file list (when not empty) into the run's
    // destination folder (new-folder layout) or source folder.
    void WriteFailedList();

    // ---- The main window's messages. True when the engine handled the
    // message; `result` is its result.
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // On the user-interface thread while it is held by long work of its own
    // (a scan run): handles the workers' messages already queued for the
    // engine's window, through that window, and no other message; returns
    // how many were handled.
    int HandleWorkerMessages();

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
    // The reason given for each failed file (same order; empty when the file
    // simply could not be read, decoded or written).
    const std::vector<std::wstring>& FailedReasons() const { return failedReasons_; }
    void ClearFailedFiles() {
        failedFiles_.clear();
        failedReasons_.clear();
    }
    int QuickSteps() const;
    std::wstring RunSource() const;
    std::wstring RunDestination() const;
    // The file the last WriteFailedList wrote (empty when none).
    const std::wstring& LastFailedListPath() const { return lastFailedList_; }
    // The local time the failed-file list is named after (the wall clock
    // unless a test sets another).
    void SetClock(std::function<SYSTEMTIME()> clock) { clock_ = std::move(clock); }
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
        int autoMode = 0;    // the run's AutoMode when it started (a stop does not change it)
        std::wstring rootPath;
        std::wstring rootName;
        // The run's source files, which no result may replace.
        std::shared_ptr<RunInputs> inputs;
        // The folders the run has cleared of what killed processes left.
        std::shared_ptr<files::TemporarySweep> sweep;
    };
    struct InFlight {
        BudgetTicket ticket;  // given back after the processor is gone
        RunProcessorPtr processor;
        int index = -1;
        std::wstring path;           // the input file
        bool loaded = false;         // its bytes have been read
        bool saveRequested = false;  // the user-interface thread asked the worker to save
    };

    RunValues CopyRun() const;
    // Shows a refusal of the run (caption "提示") and leaves the engine idle.
    void RefuseRun(const std::wstring& message);
    // The layout a file taken now goes to: the live folder choices when the
    // output rule allows them, otherwise the run's own layout.
    RunLayout FileLayout(const RunValues& run, bool autoRoad);
    // Books a failed file (count and list) with its reason.
    void RecordFailure(const std::wstring& path, const std::wstring& reason);
    // Takes the last failure of `path` back (the file is processed again).
    void WithdrawFailure(const std::wstring& path);
    // The reason a worker gave for the failure of item `index` (taken).
    std::wstring TakeFailReason(int index);
    void SetFailReason(int index, const std::wstring& reason);
    // The full paths of the queue; the caller holds queueLock_.
    std::unordered_set<std::wstring> QueuedPathSetLocked() const;
    void RunFileRoad(int index, const QueuedFile& file, bool autoRoad, RunProcessorPtr processor);
    // Takes a processor out of the hand-over; `ticket` receives what it
    // holds of the memory budget (kept until the processor is gone).
    RunProcessorPtr TakeInFlight(WPARAM key, int* index, BudgetTicket* ticket = nullptr);
    void ReportProgress(int done);
    void BeginStop(int stoppedMode);
    bool WaitForWorkers();

    LRESULT OnLoadFile(WPARAM key, bool& handled);
    void OnImageProcessed(WPARAM key);
    void OnFileSaved(WPARAM key, bool saved);
    // On the worker: waits until the user-interface thread asks for the
    // result of `key` to be written, writes it and reports back.
    void SaveWhenAsked(WPARAM key, int index, IRunProcessor* processor);
    // Books a finished file. Its processor and its share of the memory
    // budget are given up before the item is marked done: the worker then
    // starts its next file with the memory of this one already free.
    void CompleteFile(RunProcessorPtr processor, BudgetTicket ticket, int index, bool saved);
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
    std::vector<std::wstring> failedReasons_;
    std::wstring lastFailedList_;
    std::wstring runFailedList_;  // the list file of the current run, once written
    std::function<SYSTEMTIME()> clock_;
    std::unordered_map<int, std::wstring> failReasons_;  // item index -> reason (inFlightMutex_)
    // Live layouts already judged by the output rule: (new folder, destination) -> allowed.
    std::mutex liveLayoutMutex_;
    std::vector<std::pair<std::pair<bool, std::wstring>, bool>> liveLayouts_;
    // Auto-detection (user-interface thread): source files already known,
    // stamps of the files not yet taken at the previous tick, stamps of
    // failed files when they failed, and files the output rule refused.
    std::unordered_set<std::wstring> knownSources_;
    std::unordered_map<std::wstring, files::FileStamp> seenStamps_;
    std::unordered_map<std::wstring, files::FileStamp> failedStamps_;
    std::unordered_set<std::wstring> refusedPaths_;
    // Files of a scan-and-process run to process again (ProcessAgain).
    std::unordered_set<std::wstring> changedFiles_;

    CMemoryBudget budget_;
    CWorkerPool pool_;  // last: its threads end before the members above go
};
