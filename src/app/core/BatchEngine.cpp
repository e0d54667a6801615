#include "app/core/BatchEngine.h"

#include <chrono>
#include <thread>

#include "app/core/ImageProcessorRun.h"
#include "app/core/MainWindowRules.h"
#include "app/core/RunResults.h"
#include "platform/core/Files.h"
#include "platform/core/Numbers.h"
#include "platform/core/Paths.h"
#include "platform/core/UserDialogs.h"
#include "settings/PathHelpers.h"
#include "settings/ProcessSetting.h"
#include "settings/ScanSetting.h"

const std::wstring kOutOfMemoryReason = L"内存不足，无法处理此文件";
const std::wstring kUnexpectedErrorReason = L"处理此文件时出错";

CBatchEngine::CBatchEngine(IBatchWindow& window)
    : window_(window), factory_(MakeImageProcessorRun), pool_(*this) {}

CBatchEngine::~CBatchEngine() {
    if (IsUiThread()) Shutdown();
    budget_.Cancel();
    {
        std::lock_guard lock(inFlightMutex_);
        releaseSavers_ = true;
    }
    saveAsked_.notify_all();
    pool_.Abandon();
    pool_.JoinThreads();
}

// ---- Folder choices ------------------------------------------------------

void CBatchEngine::SetSourceFolder(const std::wstring& folder) {
    std::lock_guard lock(foldersMutex_);
    sourceFolder_ = folder;
}

std::wstring CBatchEngine::SourceFolder() const {
    std::lock_guard lock(foldersMutex_);
    return sourceFolder_;
}

void CBatchEngine::SetDestinationFolder(const std::wstring& folder) {
    std::lock_guard lock(foldersMutex_);
    destinationFolder_ = folder;
}

std::wstring CBatchEngine::DestinationFolder() const {
    std::lock_guard lock(foldersMutex_);
    return destinationFolder_;
}

void CBatchEngine::SetSaveToNewFolder(bool on) {
    std::lock_guard lock(foldersMutex_);
    saveToNewFolder_ = on;
}

bool CBatchEngine::SaveToNewFolder() const {
    std::lock_guard lock(foldersMutex_);
    return saveToNewFolder_;
}

// ---- Values --------------------------------------------------------------

int CBatchEngine::QueueLength() const {
    std::lock_guard lock(queueLock_);
    return static_cast<int>(queue_.size());
}

std::vector<QueuedFile> CBatchEngine::Queue() const {
    std::lock_guard lock(queueLock_);
    return queue_;
}

int CBatchEngine::QuickSteps() const {
    std::lock_guard lock(runMutex_);
    return run_.quickSteps;
}

std::wstring CBatchEngine::RunSource() const {
    std::lock_guard lock(runMutex_);
    return run_.source;
}

std::wstring CBatchEngine::RunDestination() const {
    std::lock_guard lock(runMutex_);
    return run_.destination;
}

CBatchEngine::RunValues CBatchEngine::CopyRun() const {
    std::lock_guard lock(runMutex_);
    return run_;
}

std::size_t CBatchEngine::ProcessorsInFlight() const {
    std::lock_guard lock(inFlightMutex_);
    return inFlight_.size();
}

// ---- Starting a run --------------------------------------------------------

void CBatchEngine::OnStartStop() {
    if (runState_ == RUN_STATE_IDLE) {
        if (stopping_ || closing_) return;
        failedFiles_.clear();
        const int method = ProcessSetting::correct.method;
        StartProcessing(method == 2 ? 2 : method == 1 ? 1 : 0);
        return;
    }
    if (runState_ == RUN_STATE_STOPPABLE && autoMode_ == AUTO_MODE_DETECT_NEW) {
        window_.SetStartButton(L"正结束，请等待", false);
        BeginStop(AUTO_MODE_DETECT_NEW);
    }
}

bool CBatchEngine::ValidateRun(int runType) {
    if (runType == RUN_SCAN_AND_PROCESS) {
        {
            std::lock_guard lock(runMutex_);
            run_.includeSubfolders = true;
            run_.reprocessAll = false;
            run_.newFolder = true;
            run_.source = NormaliseSourceFolder(ScanSetting::scanFolder.get());
            run_.destination = ScanSetting::processedFolder.get();
        }
        if (!ScanStepFlags::AnyOn()) return false;
        autoMode_ = AUTO_MODE_SCAN;
        runState_ = RUN_STATE_STOPPABLE;
        return true;
    }

    const RunChoices c = window_.ReadRunChoices();
    {
        std::lock_guard lock(runMutex_);
        // A folder text ending in a separator names the same folder.
        run_.source = NormaliseSourceFolder(c.sourceText);
    }
    if (c.sourceText.empty()) {
        MessageBoxW(L"请选择要处理的图片所在文件夹.", kDefaultCaption, MB_OK);
        return false;
    }
    {
        std::lock_guard lock(runMutex_);
        run_.includeSubfolders = c.includeSubfolders;
        run_.reprocessAll = c.reprocessAll;
        run_.newFolder = false;
        if (c.newFolder) {
            run_.destination = c.destinationText;
            run_.newFolder = true;
        }
    }
    if (c.newFolder && c.destinationText.empty()) {
        MessageBoxW(L"请选择要保存到的文件夹.", kDefaultCaption, MB_OK);
        return false;
    }
    using S = ProcessSetting;
    const bool stepChosen = S::PlacementMode != 0 || S::rmblackboard.on || S::rmblackborder.on || S::rmstains.on ||
                            S::bindhole.on || S::rmredseal.on || S::strenredseal.on || S::rmblankpage.on ||
                            S::modifycolor.on || S::output.on || S::autocontrast.on || S::rotatetextdirect.on ||
                            S::dpi.on;
    const int quick = (c.deskew ? 1 : 0) + (c.background ? 2 : 0);
    {
        std::lock_guard lock(runMutex_);
        run_.quickSteps = quick;
    }
    if (runType != RUN_DETECTION && !stepChosen && quick == 0) {
        MessageBoxW(L"至少要选择一种操作.", kDefaultCaption, MB_OK);
        return false;
    }
    // A detection run has no stop of its own, so it never detects new files.
    autoMode_ = (c.autoDetect && runType != RUN_DETECTION) ? AUTO_MODE_DETECT_NEW : AUTO_MODE_OFF;
    return true;
}

bool CBatchEngine::WaitForWorkers() {
    // Workers of a finished run leave without asking the user-interface
    // thread for anything; they are waited for while messages are handled.
    for (int i = 0; i < 100 && pool_.LiveThreads() > 0; ++i)
        PumpMessagesUntil([&] { return pool_.LiveThreads() == 0; }, std::chrono::milliseconds(100));
    return pool_.LiveThreads() == 0;
}

void CBatchEngine::RefuseRun(const std::wstring& message) {
    MessageBoxW(message, kDefaultCaption, MB_OK);
    autoMode_ = AUTO_MODE_OFF;
    runState_ = RUN_STATE_IDLE;
}

void CBatchEngine::StartProcessing(int runType) {
    // A new run never starts over workers that are still busy.
    if (runState_ != RUN_STATE_IDLE || stopping_ || closing_) return;
    if (pool_.LiveThreads() > 0 && (!pool_.AllDone() || !WaitForWorkers())) return;

    startTick_ = GetTickCount();
    {
        std::lock_guard lock(runMutex_);
        run_.source.clear();
        run_.destination.clear();
    }
    if (!ValidateRun(runType)) return;

    RunValues run = CopyRun();
    std::wstring rootName;
    GetLastPathComponent(run.source.c_str(), rootName);
    const RunLayout layout{run.newFolder, run.destination, run.source, rootName};
    // Results never go onto the sources, into the source tree or onto the
    // results of another source folder.
    if (const std::wstring refusal = CheckOutputFolders(layout); !refusal.empty()) {
        RefuseRun(refusal);
        return;
    }
    CFileTree tree;
    if (!BuildRunTree(tree, run.source)) {
        if (runType == RUN_SCAN_AND_PROCESS) {
            autoMode_ = AUTO_MODE_OFF;
            runState_ = RUN_STATE_IDLE;
        }
        return;
    }
    std::vector<std::wstring> sources;
    std::vector<QueuedFile> files = CollectRunFiles(tree, run.includeSubfolders, run.reprocessAll, layout, &sources);
    auto inputs = std::make_shared<RunInputs>();
    inputs->Add(sources);
    if (const std::wstring refusal = CheckOutputFiles(layout, files, *inputs); !refusal.empty()) {
        RefuseRun(refusal);
        return;
    }
    if (runType == RUN_DETECTION) {
        if (const std::wstring refusal = CheckDetectionCopies(layout, files); !refusal.empty()) {
            RefuseRun(refusal);
            return;
        }
    }
    failed_ = 0;
    if (files.empty() && autoMode_ == AUTO_MODE_OFF) {
        MessageBoxW(L"选中的目录 在当前的设置下 没有文件需要处理.", kApplicationName, MB_OK);
        return;
    }
    // The results must be writable before anything is processed.
    if (const std::wstring refusal = PrepareOutputs(layout, files); !refusal.empty()) {
        RefuseRun(refusal);
        return;
    }
    {
        std::lock_guard lock(runMutex_);
        run_.rootPath = run.source;
        run_.rootName = rootName;
        run_.autoMode = autoMode_.load();
        run_.inputs = inputs;
        run_.sweep = std::make_shared<files::TemporarySweep>();
    }
    {
        std::lock_guard lock(liveLayoutMutex_);
        liveLayouts_.clear();
    }
    runFailedList_.clear();
    seenStamps_.clear();
    failedStamps_.clear();
    refusedPaths_.clear();
    knownSources_.clear();
    knownSources_.insert(sources.begin(), sources.end());
    total_ = static_cast<int>(files.size());
    {
        std::lock_guard lock(queueLock_);
        queue_ = std::move(files);
    }

    ++generation_;
    if (autoMode_ != AUTO_MODE_OFF) window_.SetAutoDetectTimer(true);

    pool_.runType = runType;
    if (runType == RUN_DETECTION) {
        window_.DetectionStarted();
    } else if (runType == RUN_SCAN_AND_PROCESS) {
        if (autoMode_ == AUTO_MODE_SCAN) window_.RefreshScanWindow();
    } else {
        SetRunState(autoMode_ == AUTO_MODE_DETECT_NEW ? RUN_STATE_STOPPABLE : RUN_STATE_PLAIN);
        UpdateProgress(0);
    }
    pool_.Start(window_.ReadRunChoices().requestedThreads);
}

void CBatchEngine::SetRunState(int state) {
    runState_ = state;
    switch (state) {
    case RUN_STATE_IDLE:
        window_.SetStartButton(L"开始处理", true);
        window_.SetStatusText(L"");
        window_.RefreshScanWindow();
        break;
    case RUN_STATE_PLAIN:
        window_.SetStartButton(L"处理中...", false);
        break;
    case RUN_STATE_STOPPABLE:
        window_.SetStartButton(L"处理中,点击停止", true);
        break;
    default:
        break;
    }
}

// ---- Stops and auto-detection ---------------------------------------------

void CBatchEngine::BeginStop(int stoppedMode) {
    stopping_ = true;
    stoppedMode_ = stoppedMode;
    runState_ = RUN_STATE_IDLE;
    autoMode_ = AUTO_MODE_OFF;
    window_.SetAutoDetectTimer(false);
    // Files never taken are settled at once: no worker takes an item once
    // the stop is seen, and the pool is done when the files in progress are.
    pool_.DropPending();
    // No longer detecting new files: the line counts the files in progress
    // until the last of them is finished.
    if (stoppedMode == AUTO_MODE_DETECT_NEW) UpdateProgress(pool_.CountDone());
    WriteFailedList();
    pool_.Wake();
}

void CBatchEngine::StopScanProcessing() {
    if (runState_ != RUN_STATE_STOPPABLE || autoMode_ != AUTO_MODE_SCAN) return;
    window_.ScanProcessingStopping();
    BeginStop(AUTO_MODE_SCAN);
}

void CBatchEngine::OnAutoDetectTick() {
    if (autoMode_ == AUTO_MODE_OFF) return;
    const RunValues run = CopyRun();
    CFileTree tree;
    if (!BuildRunTree(tree, run.source)) return;
    std::wstring rootName;
    GetLastPathComponent(run.source.c_str(), rootName);
    const RunLayout layout{run.newFolder, run.destination, run.source, rootName};
    std::vector<std::wstring> sources;
    const std::vector<QueuedFile> found =
        CollectRunFiles(tree, run.includeSubfolders, run.reprocessAll, layout, &sources);
    // Files that appeared since the last tick are the run's sources too.
    std::vector<std::wstring> newSources;
    for (const auto& path : sources)
        if (knownSources_.insert(path).second) newSources.push_back(path);
    if (run.inputs) run.inputs->Add(newSources);

    std::unordered_set<std::wstring> queued;
    {
        std::lock_guard lock(queueLock_);
        queued = QueuedPathSetLocked();
    }
    // A file is taken only once its size and time have stayed the same
    // since the previous tick (it may still be being written); a file that
    // failed is taken again once it has changed and settled.
    std::vector<QueuedFile> candidates;
    std::vector<WorkItem> retries;
    bool requeued = false;
    std::unordered_map<std::wstring, files::FileStamp> seen;
    const auto settled = [&](const std::wstring& path, const files::FileStamp& now) {
        auto before = seenStamps_.find(path);
        const bool same = before != seenStamps_.end() && before->second == now;
        if (!same) seen.emplace(path, now);
        return same;
    };
    for (const QueuedFile& c : found) {
        files::FileStamp now;
        const bool stamped = files::GetFileStamp(c.fullPath, now);
        if (queued.count(c.fullPath)) {
            candidates.push_back(c);
            if (changedFiles_.count(c.fullPath) && stamped) {
                // New content under a name already processed (an insert- or
                // replace-scan): processed again, whatever became of the old.
                if (failedStamps_.erase(c.fullPath)) WithdrawFailure(c.fullPath);
                if (pool_.Requeue(c.fullPath)) requeued = true;
                continue;
            }
            auto failedAt = failedStamps_.find(c.fullPath);
            if (failedAt != failedStamps_.end() && stamped && !(failedAt->second == now) && settled(c.fullPath, now)) {
                failedStamps_.erase(failedAt);
                WithdrawFailure(c.fullPath);
                retries.push_back(WorkItem{c.fullPath, WorkItem::kPending});
            }
            continue;
        }
        if (refusedPaths_.count(c.fullPath)) continue;
        if (const std::wstring refusal = CheckOutputFiles(layout, {c}, *run.inputs); !refusal.empty()) {
            refusedPaths_.insert(c.fullPath);
            RecordFailure(c.fullPath, refusal);
            continue;
        }
        if (!stamped || !settled(c.fullPath, now)) continue;
        candidates.push_back(c);
    }
    seenStamps_ = std::move(seen);
    // A changed file that is not there (its page never came) or already has
    // its result needs nothing more.
    changedFiles_.clear();

    total_ = static_cast<int>(candidates.size());
    if (autoMode_ == AUTO_MODE_OFF) return;
    const bool fresh = HasNewFiles(candidates);
    if (fresh) AppendNewFiles(candidates);
    if (!retries.empty()) {
        std::lock_guard lock(queueLock_);
        pool_.AppendItems(std::move(retries));  // queue lock, then pool lock
    }
    if (fresh || !retries.empty() || requeued) ReportProgress(pool_.CountDone());
}

bool CBatchEngine::FinishWorkOn(const std::vector<std::wstring>& paths, std::chrono::milliseconds timeout) {
    const std::unordered_set<std::wstring> wanted(paths.begin(), paths.end());
    const auto busy = [&] {
        std::lock_guard lock(inFlightMutex_);
        for (const auto& [key, entry] : inFlight_)
            if (entry.loaded && wanted.count(entry.path)) return true;
        return false;
    };
    // A worker's request to read a file waits: a file read now would be read
    // before it changes, and its result would be stale.
    static constexpr UINT kAfterReading[] = {WM_IMAGE_PROCESSED, WM_FILE_FAILED,   WM_FILE_SAVED,   WM_WORKERS_ENDED,
                                             WM_PROGRESS,        WM_WORKER_STATUS, WM_WORKER_EXITED};
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (busy()) {
        if (std::chrono::steady_clock::now() >= deadline) return false;
        if (!DeliverQueuedMessageFor(hwnd_.load(), kAfterReading)) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void CBatchEngine::ProcessAgain(const std::wstring& path) {
    if (autoMode_ == AUTO_MODE_SCAN) changedFiles_.insert(path);
}

void CBatchEngine::TakeProcessedPage(const std::wstring& path) {
    if (autoMode_ != AUTO_MODE_SCAN) return;
    std::lock_guard lock(queueLock_);
    if (!pool_.HasItem(path)) pool_.AppendItems({WorkItem{path, WorkItem::kDone}});  // queue lock, then pool lock
}

bool CBatchEngine::ScanRunFolders(std::wstring& source, std::wstring& resultsRoot) const {
    std::lock_guard lock(runMutex_);
    if (run_.autoMode != AUTO_MODE_SCAN || run_.rootPath.empty()) return false;
    source = run_.rootPath;
    resultsRoot = OutputRootOf(RunLayout{run_.newFolder, run_.destination, run_.rootPath, run_.rootName});
    return true;
}

std::unordered_set<std::wstring> CBatchEngine::QueuedPathSetLocked() const {
    std::unordered_set<std::wstring> queued;
    queued.reserve(queue_.size());
    for (const auto& q : queue_) queued.insert(q.fullPath);
    return queued;
}

bool CBatchEngine::HasNewFiles(const std::vector<QueuedFile>& candidates) const {
    std::lock_guard lock(queueLock_);
    const std::unordered_set<std::wstring> queued = QueuedPathSetLocked();
    for (const auto& c : candidates)
        if (!queued.count(c.fullPath)) return true;
    return false;
}

int CBatchEngine::AppendNewFiles(const std::vector<QueuedFile>& candidates) {
    std::lock_guard lock(queueLock_);
    const std::unordered_set<std::wstring> queued = QueuedPathSetLocked();
    std::vector<WorkItem> fresh;
    for (const auto& c : candidates) {
        if (queued.count(c.fullPath)) continue;
        // A page of a scan-and-process run that the run has had before (its
        // result went when a replace-scan wrote over it, or an insert
        // renamed it here) is the same page processed again, not another.
        if (autoMode_ == AUTO_MODE_SCAN && pool_.HasItem(c.fullPath)) {
            pool_.Requeue(c.fullPath);
            continue;
        }
        fresh.push_back(WorkItem{c.fullPath, WorkItem::kPending});
    }
    const int added = static_cast<int>(fresh.size());
    pool_.AppendItems(std::move(fresh));  // queue lock, then pool lock
    queue_ = candidates;
    return added;
}

// ---- Results -------------------------------------------------------------

void CBatchEngine::ReportProgress(int done) {
    // No file in progress: the status line names none.
    if (pool_.AllDone()) window_.SetStatusText(L"");
    if (pool_.runType == RUN_DETECTION)
        window_.DetectionProgress(done);
    else
        UpdateProgress(done);
}

void CBatchEngine::UpdateProgress(int done) {
    if (autoMode_ == AUTO_MODE_SCAN && runState_ == RUN_STATE_STOPPABLE) {
        window_.RefreshScanWindow();
        return;
    }
    const DWORD now = GetTickCount();
    if (stopping_) {
        // A stopped run only counts the files still finishing (every item
        // left is one of them or done); the end comes when its last worker
        // has ended.
        if (stoppedMode_ == AUTO_MODE_SCAN)
            window_.RefreshScanWindow();
        else
            window_.SetProgressText(RunningProgressText(done, static_cast<int>(pool_.ItemCount()), failed_));
        return;
    }
    if (runState_ == RUN_STATE_STOPPABLE) {
        // The files the run has taken up (each of them done or to be done):
        // when results are not made again the queue holds only the files
        // still without one, fewer than those done.
        total_ = static_cast<int>(pool_.ItemCount());
        window_.SetProgressText(AutoDetectProgressText(done, total_, failed_));
        return;
    }
    if (runState_ != RUN_STATE_PLAIN) return;  // a run ends only once
    if (done < total_) {
        window_.SetProgressText(RunningProgressText(done, total_, failed_));
        return;
    }
    SetRunState(RUN_STATE_IDLE);
    window_.SetProgressText(FinishedProgressText(done, failed_, (now - startTick_) / 1000u));
    WriteFailedList();
}

void CBatchEngine::RecordFailure(const std::wstring& path, const std::wstring& reason) {
    ++failed_;
    failedFiles_.push_back(path);
    failedReasons_.push_back(reason);
    if (CopyRun().autoMode != AUTO_MODE_OFF) {
        files::FileStamp stamp;
        if (files::GetFileStamp(path, stamp)) failedStamps_[path] = stamp;
    }
}

void CBatchEngine::WithdrawFailure(const std::wstring& path) {
    for (std::size_t i = failedFiles_.size(); i-- > 0;) {
        if (failedFiles_[i] != path) continue;
        failedFiles_.erase(failedFiles_.begin() + static_cast<std::ptrdiff_t>(i));
        failedReasons_.erase(failedReasons_.begin() + static_cast<std::ptrdiff_t>(i));
        if (failed_ > 0) --failed_;
        return;
    }
}

void CBatchEngine::SetFailReason(int index, const std::wstring& reason) {
    if (reason.empty()) return;
    std::lock_guard lock(inFlightMutex_);
    failReasons_[index] = reason;
}

std::wstring CBatchEngine::TakeFailReason(int index) {
    std::lock_guard lock(inFlightMutex_);
    auto it = failReasons_.find(index);
    if (it == failReasons_.end()) return std::wstring();
    std::wstring reason = std::move(it->second);
    failReasons_.erase(it);
    return reason;
}

void CBatchEngine::WriteFailedList() {
    if (failedFiles_.empty()) return;
    // One line per file, beginning with its path; a reason follows a tab.
    std::vector<std::wstring> lines;
    lines.reserve(failedFiles_.size());
    for (std::size_t i = 0; i < failedFiles_.size(); ++i)
        lines.push_back(i < failedReasons_.size() && !failedReasons_[i].empty()
                            ? failedFiles_[i] + L"\t" + failedReasons_[i]
                            : failedFiles_[i]);
    // Every write of one run goes to the file its first write named, so a
    // run stopped in one minute and ended in the next leaves one full list.
    if (!runFailedList_.empty()) {
        if (WriteFailedListAt(runFailedList_, lines)) lastFailedList_ = runFailedList_;
        return;
    }
    const RunValues run = CopyRun();
    SYSTEMTIME now;
    if (clock_)
        now = clock_();
    else
        GetLocalTime(&now);
    const std::wstring folder = run.newFolder ? run.destination : run.source;
    if (run.sweep) run.sweep->Sweep(folder);
    const std::wstring written = WriteFailedListFile(folder, lines, now);
    if (!written.empty()) lastFailedList_ = runFailedList_ = written;
}

// ---- Messages --------------------------------------------------------------

bool CBatchEngine::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    result = 0;
    switch (message) {
    case WM_LOAD_FILE: {
        bool handled = false;
        result = OnLoadFile(wParam, handled);
        return handled;
    }
    case WM_IMAGE_PROCESSED:
        OnImageProcessed(wParam);
        return true;
    case WM_FILE_FAILED:
        OnFileFailed(wParam, static_cast<int>(lParam));
        return true;
    case WM_FILE_SAVED:
        OnFileSaved(wParam, lParam != 0);
        return true;
    case WM_WORKERS_ENDED:
        OnWorkersEnded();
        return true;
    case WM_PROGRESS:
        UpdateProgress(static_cast<int>(wParam));
        return true;
    case WM_WORKER_STATUS:
        if (wParam == generation_.load()) window_.SetStatusText(ProcessingStatusText(pool_.ItemPath(static_cast<int>(lParam))));
        return true;
    case WM_WORKER_EXITED:
        return true;
    default:
        return false;
    }
}

int CBatchEngine::HandleWorkerMessages() {
    static constexpr UINT kWorkerMessages[] = {WM_LOAD_FILE,   WM_IMAGE_PROCESSED, WM_FILE_FAILED,
                                               WM_FILE_SAVED,  WM_WORKERS_ENDED,   WM_PROGRESS,
                                               WM_WORKER_STATUS, WM_WORKER_EXITED};
    int handled = 0;
    while (DeliverQueuedMessageFor(hwnd_.load(), kWorkerMessages)) ++handled;
    return handled;
}

RunProcessorPtr CBatchEngine::TakeInFlight(WPARAM key, int* index, BudgetTicket* ticket) {
    BudgetTicket held;
    RunProcessorPtr p;
    {
        std::lock_guard lock(inFlightMutex_);
        auto it = inFlight_.find(key);
        if (it == inFlight_.end()) return nullptr;
        p = std::move(it->second.processor);
        held = std::move(it->second.ticket);
        if (index) *index = it->second.index;
        inFlight_.erase(it);
    }
    if (ticket) *ticket = std::move(held);
    else if (p) p.reset();  // the processor goes before its memory is given back
    return p;
}

LRESULT CBatchEngine::OnLoadFile(WPARAM key, bool& handled) {
    IRunProcessor* processor = nullptr;
    {
        std::lock_guard lock(inFlightMutex_);
        auto it = inFlight_.find(key);
        if (it != inFlight_.end()) {
            processor = it->second.processor.get();
            it->second.loaded = true;
        }
    }
    handled = processor != nullptr;
    if (!processor) return 0;
    // The worker that sent this is blocked until it returns, and only the
    // user-interface thread removes entries: the processor stays alive.
    return processor->ReadFileBytes(processor->InputPath()) ? 1 : 0;
}

void CBatchEngine::OnImageProcessed(WPARAM key) {
    if (key == 0) return;
    IRunProcessor* processor = nullptr;
    {
        std::lock_guard lock(inFlightMutex_);
        auto it = inFlight_.find(key);
        if (it == inFlight_.end() || it->second.saveRequested) return;
        processor = it->second.processor.get();
    }
    if (ProcessSetting::rmblankpage.on && processor->IsBlankResult()) {
        // No result; a result of an earlier run at that name goes.
        const std::wstring earlier = PathJoin(processor->OutputFolder(), processor->OutputName());
        const RunValues run = CopyRun();
        if (files::Exists(earlier) && !(run.inputs && run.inputs->IsInputFile(earlier))) files::Remove(earlier);
        int index = -1;
        BudgetTicket ticket;
        RunProcessorPtr p = TakeInFlight(key, &index, &ticket);
        saveAsked_.notify_all();  // its worker has nothing to write
        CompleteFile(std::move(p), std::move(ticket), index, true);
        return;
    }
    {
        std::lock_guard lock(inFlightMutex_);
        inFlight_[key].saveRequested = true;
    }
    saveAsked_.notify_all();
}

void CBatchEngine::OnFileSaved(WPARAM key, bool saved) {
    int index = -1;
    BudgetTicket ticket;
    RunProcessorPtr p = TakeInFlight(key, &index, &ticket);
    if (!p) return;
    CompleteFile(std::move(p), std::move(ticket), index, saved);
}

void CBatchEngine::CompleteFile(RunProcessorPtr processor, BudgetTicket ticket, int index, bool saved) {
    const std::wstring reason = TakeFailReason(index);
    // A result that could not be written is a failed file.
    if (!saved) RecordFailure(processor->InputPath(), reason);
    processor.reset();
    ticket.Release();
    pool_.MarkDoneAt(index);
    ReportProgress(pool_.CountDone());
}

void CBatchEngine::SaveWhenAsked(WPARAM key, int index, IRunProcessor* processor) {
    {
        std::unique_lock lock(inFlightMutex_);
        saveAsked_.wait(lock, [&] {
            if (releaseSavers_) return true;
            auto it = inFlight_.find(key);
            return it == inFlight_.end() || it->second.saveRequested;
        });
        auto it = inFlight_.find(key);
        // Dropped as blank (the entry is gone), or the program ends.
        if (it == inFlight_.end() || !it->second.saveRequested) return;
    }
    bool saved = false;
    try {
        saved = processor->SaveResult();
        // A write that failed says why (a full disk, for one).
        if (!saved) SetFailReason(index, processor->SaveFailReason());
    } catch (const std::bad_alloc&) {
        SetFailReason(index, kOutOfMemoryReason);
    } catch (...) {
        SetFailReason(index, kUnexpectedErrorReason);
    }
    if (!PostMessage(hwnd_.load(), WM_FILE_SAVED, key, saved ? 1 : 0)) {
        TakeInFlight(key, nullptr);
        pool_.MarkDoneAt(index);
    }
}

void CBatchEngine::OnFileFailed(WPARAM key, int index) {
    int takenIndex = index;
    BudgetTicket ticket;
    RunProcessorPtr p = key ? TakeInFlight(key, &takenIndex, &ticket) : nullptr;
    if (key && !p) return;  // not a file of this engine
    const std::wstring path = p ? p->InputPath() : pool_.ItemPath(index);
    RecordFailure(path, TakeFailReason(takenIndex));
    // As for a finished file: its memory is free before its worker goes on.
    p.reset();
    ticket.Release();
    pool_.MarkDoneAt(takenIndex);
    ReportProgress(pool_.CountDone());
}

void CBatchEngine::OnWorkersEnded() {
    pool_.JoinThreads();
    const bool wasStopping = stopping_;
    stopping_ = false;
    SetRunState(RUN_STATE_IDLE);
    // A stopped auto-detection run is over once its last file is finished.
    if (wasStopping && stoppedMode_ == AUTO_MODE_DETECT_NEW)
        window_.SetProgressText(
            FinishedProgressText(pool_.CountDone(), failed_, (GetTickCount() - startTick_) / 1000u));
    // Files that failed after the stop are in the list only now.
    if (wasStopping) WriteFailedList();
}

// ---- Closing ---------------------------------------------------------------

void CBatchEngine::Shutdown() {
    if (closing_.exchange(true)) return;
    const bool running = runState_ != RUN_STATE_IDLE || stopping_ || pool_.LiveThreads() > 0;
    if (autoMode_ != AUTO_MODE_OFF) {
        autoMode_ = AUTO_MODE_OFF;
        window_.SetAutoDetectTimer(false);
    }
    pool_.DropPending();
    pool_.Wake();
    // A worker waiting for memory gives its file up: it was never begun.
    budget_.Cancel();
    if (IsUiThread()) {
        // Workers may be waiting for this thread (a file to read, a result to
        // save): keep handling messages until every one of them has ended.
        while (pool_.LiveThreads() > 0)
            PumpMessagesUntil([&] { return pool_.LiveThreads() == 0; }, std::chrono::seconds(1));
    } else {
        {
            std::lock_guard lock(inFlightMutex_);
            releaseSavers_ = true;
        }
        saveAsked_.notify_all();
        pool_.Abandon();
    }
    pool_.JoinThreads();
    stopping_ = false;
    runState_ = RUN_STATE_IDLE;
    if (running) WriteFailedList();
}

void CBatchEngine::Reopen() {
    if (pool_.LiveThreads() == 0) {
        closing_ = false;
        budget_.Reset();
    }
}

// ---- Worker side -----------------------------------------------------------

bool CBatchEngine::WindowAlive() const { return IsWindow(hwnd_.load()); }

std::vector<std::wstring> CBatchEngine::QueuedPaths() const {
    std::lock_guard lock(queueLock_);
    std::vector<std::wstring> paths;
    paths.reserve(queue_.size());
    for (const auto& q : queue_) paths.push_back(q.fullPath);
    return paths;
}

RunProcessorPtr CBatchEngine::CreateProcessor() { return factory_ ? factory_() : nullptr; }

void CBatchEngine::ProcessQueuedFile(int index, RunProcessorPtr processor) {
    QueuedFile file;
    {
        std::lock_guard lock(queueLock_);
        if (index < 0 || index >= static_cast<int>(queue_.size())) {
            pool_.MarkDoneAt(index);
            return;
        }
        file = queue_[static_cast<std::size_t>(index)];
    }
    RunFileRoad(index, file, false, std::move(processor));
}

void CBatchEngine::ProcessAutoFile(int index, const std::wstring& path, RunProcessorPtr processor) {
    QueuedFile file;
    bool found = false;
    {
        std::lock_guard lock(queueLock_);
        for (const auto& q : queue_) {
            if (q.fullPath == path) {
                file = q;
                found = true;
                break;
            }
        }
    }
    if (!found) {
        pool_.MarkDoneAt(index);
        return;
    }
    RunFileRoad(index, file, true, std::move(processor));
}

RunLayout CBatchEngine::FileLayout(const RunValues& run, bool autoRoad) {
    const RunLayout runLayout{run.newFolder, run.destination, run.rootPath, run.rootName};
    bool newFolder;
    std::wstring destination;
    {
        std::lock_guard lock(foldersMutex_);
        newFolder = saveToNewFolder_;
        destination = destinationFolder_;
    }
    if (autoRoad) {
        // A scan-and-process run keeps its layout, also for a file taken
        // just before its stop.
        newFolder = newFolder || run.autoMode == AUTO_MODE_SCAN;
        destination = run.destination;
    } else if (newFolder && destination.empty()) {
        destination = run.destination;  // the live choice has no folder: the run's own
    }
    if (newFolder && destination.empty()) newFolder = false;  // never a folder at the file system's root
    const RunLayout live{newFolder, destination, run.rootPath, run.rootName};
    if (live.newFolder == runLayout.newFolder && (!live.newFolder || live.destination == runLayout.destination))
        return runLayout;
    // A layout chosen during the run goes through the output rule once; a
    // layout it refuses leaves the run's own in force.
    std::lock_guard lock(liveLayoutMutex_);
    for (const auto& [key, allowed] : liveLayouts_)
        if (key.first == live.newFolder && key.second == live.destination) return allowed ? live : runLayout;
    const bool allowed = CheckOutputFolders(live).empty() && PrepareOutputs(live, {}).empty();
    liveLayouts_.push_back({{live.newFolder, live.destination}, allowed});
    return allowed ? live : runLayout;
}

void CBatchEngine::RunFileRoad(int index, const QueuedFile& file, bool autoRoad, RunProcessorPtr processor) {
    const HWND hwnd = hwnd_.load();
    PostMessage(hwnd, WM_WORKER_STATUS, generation_.load(), index);

    const RunValues run = CopyRun();
    const RunLayout layout = FileLayout(run, autoRoad);
    const std::wstring outputFolder = OutputFolderOf(file.parentPath, file.parentName, layout);
    const auto guard = std::make_shared<CRunOutputGuard>(!layout.newFolder, run.inputs, run.sweep);
    if (layout.newFolder && pool_.runType != RUN_DETECTION) guard->MakeOutputFolder(outputFolder);

    if (!processor) {
        if (!PostMessage(hwnd, WM_FILE_FAILED, 0, index)) pool_.MarkDoneAt(index);
        return;
    }
    // The file is read only once its estimated peak fits into the memory
    // the other files in progress leave; one that can never fit fails.
    BudgetTicket ticket;
    if (const std::uint64_t need = processor->EstimatePeakBytes(file.fullPath); need > 0) {
        switch (budget_.Acquire(need)) {
        case CMemoryBudget::Admission::kAdmitted:
            ticket = BudgetTicket(&budget_, need);
            break;
        case CMemoryBudget::Admission::kTooBig:
            SetFailReason(index, FormatW(L"内存不足：处理此文件约需 %llu MB，超过内存预算 %llu MB",
                                         static_cast<unsigned long long>(need >> 20),
                                         static_cast<unsigned long long>(budget_.Total() >> 20)));
            if (!PostMessage(hwnd, WM_FILE_FAILED, 0, index)) {
                TakeFailReason(index);
                pool_.MarkDoneAt(index);
            }
            return;
        case CMemoryBudget::Admission::kCancelled:
            pool_.MarkDoneAt(index);  // the program closes: the file was never begun
            return;
        }
    }
    // The program closes: a file not yet read is not begun (its memory goes
    // back with the ticket); the close waits only for the files in progress.
    if (closing_.load()) {
        pool_.MarkDoneAt(index);
        return;
    }
    processor->SetInputPath(file.fullPath);
    processor->SetOutputGuard(guard);
    IRunProcessor* raw = processor.get();
    const WPARAM key = raw->Key();
    {
        std::lock_guard lock(inFlightMutex_);
        inFlight_[key] = InFlight{std::move(ticket), std::move(processor), index, file.fullPath};
    }
    bool ok = false;
    // A page too big for the memory left, or anything else thrown while the
    // file is read and processed, fails this file only; the run goes on.
    try {
        ok = SendMessage(hwnd, WM_LOAD_FILE, key, 0) == 1;
        if (ok) ok = raw->ProcessFile(file.fullPath, run.quickSteps, outputFolder, file.name, autoRoad ? -1 : index);
        // Why it failed, where the processor knows: a size it cannot make,
        // or a page of a multi-page file that could not be written.
        if (!ok) {
            const std::wstring reason = raw->FailReason();
            SetFailReason(index, reason.empty() ? raw->SaveFailReason() : reason);
        }
    } catch (const std::bad_alloc&) {
        ok = false;
        SetFailReason(index, kOutOfMemoryReason);
    } catch (...) {
        ok = false;
        SetFailReason(index, kUnexpectedErrorReason);
    }
    if (ok) {
        // The processor has announced its file; the user-interface thread
        // now decides, and this worker writes the result when asked.
        SaveWhenAsked(key, index, raw);
        return;
    }
    if (!PostMessage(hwnd, WM_FILE_FAILED, key, index)) {
        TakeInFlight(key, nullptr);
        TakeFailReason(index);
        pool_.MarkDoneAt(index);
    }
}

void CBatchEngine::WorkersEnded() { PostMessage(hwnd_.load(), WM_WORKERS_ENDED, 0, 0); }

void CBatchEngine::WorkerExited() { PostMessage(hwnd_.load(), WM_WORKER_EXITED, 0, 0); }
