#include "app/core/WorkerPool.h"

#include <algorithm>
#include <chrono>

#include "platform/core/System.h"

CWorkerPool::CWorkerPool(IWorkerHost& host) : host_(host) {}

CWorkerPool::~CWorkerPool() {
    Abandon();
    JoinThreads();
}

void CWorkerPool::Start(int requested) {
    const int count = std::max(1, std::min(requested, GetProcessorCount()));
    JoinThreads();
    ended_ = 0;
    if (!host_.WindowAlive()) return;
    std::vector<std::wstring> paths = host_.QueuedPaths();
    {
        std::lock_guard lock(lock_);
        items_.clear();
        items_.reserve(paths.size());
        for (auto& p : paths) items_.push_back(WorkItem{std::move(p), WorkItem::kPending});
        done_ = 0;
        abandoned_ = false;
    }
    const bool autoMode = host_.AutoMode() != 0;
    // Only a batch run takes file after file at full speed; auto-mode
    // workers may wait for new files for hours, holding nothing meanwhile.
    if (!autoMode) {
        std::lock_guard lock(lock_);
        if (!keepFreed_) keepFreed_ = std::make_unique<freedmem::KeepWhileAlive>();
    }
    threadCount_ = count;
    live_ = count;
    threads_.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        if (autoMode)
            threads_.emplace_back(&CWorkerPool::AutoWorker, this);
        else
            threads_.emplace_back(&CWorkerPool::BatchWorker, this);
    }
}

int CWorkerPool::CountDone() const {
    std::lock_guard lock(lock_);
    return done_;
}

bool CWorkerPool::AllDone() const {
    std::lock_guard lock(lock_);
    return done_ == static_cast<int>(items_.size());
}

void CWorkerPool::SetDoneLocked(WorkItem& item) {
    if (item.state == WorkItem::kDone) return;
    item.state = WorkItem::kDone;
    ++done_;
}

void CWorkerPool::MarkDone(const std::wstring& path) {
    {
        std::lock_guard lock(lock_);
        auto it = std::find_if(items_.begin(), items_.end(), [&](const WorkItem& w) { return w.path == path; });
        if (it == items_.end()) return;
        SetDoneLocked(*it);
    }
    changed_.notify_all();
}

bool CWorkerPool::MarkDoneAt(int index) {
    {
        std::lock_guard lock(lock_);
        if (index < 0 || index >= static_cast<int>(items_.size())) return false;
        SetDoneLocked(items_[static_cast<std::size_t>(index)]);
    }
    changed_.notify_all();
    return true;
}

void CWorkerPool::AppendItems(std::vector<WorkItem> items) {
    if (items.empty()) return;
    {
        std::lock_guard lock(lock_);
        for (auto& w : items) {
            if (w.state == WorkItem::kDone) ++done_;
            items_.push_back(std::move(w));
        }
    }
    changed_.notify_all();
}

bool CWorkerPool::Requeue(const std::wstring& path) {
    {
        std::lock_guard lock(lock_);
        WorkItem* last = nullptr;
        for (WorkItem& w : items_) {
            if (w.path != path) continue;
            if (w.state != WorkItem::kDone) return false;
            last = &w;
        }
        if (!last) return false;
        last->state = WorkItem::kPending;
        --done_;
    }
    changed_.notify_all();
    return true;
}

bool CWorkerPool::HasItem(const std::wstring& path) const {
    std::lock_guard lock(lock_);
    for (const WorkItem& w : items_)
        if (w.path == path) return true;
    return false;
}

void CWorkerPool::DropPending() {
    {
        std::lock_guard lock(lock_);
        // Workers take the lowest pending index, so the pending items are the
        // end of the list (but for items taken up again); items before them
        // keep their indices.
        while (!items_.empty() && items_.back().state == WorkItem::kPending) items_.pop_back();
        for (WorkItem& w : items_)
            if (w.state == WorkItem::kPending) SetDoneLocked(w);
    }
    changed_.notify_all();
}

std::vector<WorkItem> CWorkerPool::Items() const {
    std::lock_guard lock(lock_);
    return items_;
}

std::size_t CWorkerPool::ItemCount() const {
    std::lock_guard lock(lock_);
    return items_.size();
}

std::wstring CWorkerPool::ItemPath(int index) const {
    std::lock_guard lock(lock_);
    if (index < 0 || index >= static_cast<int>(items_.size())) return {};
    return items_[static_cast<std::size_t>(index)].path;
}

void CWorkerPool::Wake() {
    { std::lock_guard lock(lock_); }
    changed_.notify_all();
}

void CWorkerPool::Abandon() {
    {
        std::lock_guard lock(lock_);
        abandoned_ = true;
    }
    changed_.notify_all();
}

void CWorkerPool::JoinThreads() {
    for (auto& t : threads_)
        if (t.joinable()) t.join();
    threads_.clear();
    StopKeepingFreed();
}

void CWorkerPool::StopKeepingFreed() {
    std::unique_ptr<freedmem::KeepWhileAlive> keeper;
    {
        std::lock_guard lock(lock_);
        keeper = std::move(keepFreed_);
    }
    // Given back outside the lock: the other workers go on meanwhile.
    keeper.reset();
}

int CWorkerPool::TakePendingLocked(bool autoWorker) {
    if (abandoned_ || host_.StopTaking()) return -1;
    if (autoWorker && host_.AutoMode() == 0) return -1;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (items_[i].state == WorkItem::kPending) {
            items_[i].state = WorkItem::kTaken;
            return static_cast<int>(i);
        }
    }
    return -1;
}

void CWorkerPool::WaitForItem(int index) {
    std::unique_lock lock(lock_);
    changed_.wait(lock, [&] {
        return abandoned_ || index >= static_cast<int>(items_.size()) ||
               items_[static_cast<std::size_t>(index)].state == WorkItem::kDone;
    });
}

RunProcessorPtr CWorkerPool::NewProcessor() {
    RunProcessorPtr p = host_.CreateProcessor();
    if (p) p->SetRun(runType.load(), lowClip, highClip);
    return p;
}

void CWorkerPool::ThreadExit() {
    {
        std::lock_guard lock(lock_);
        --live_;
    }
    changed_.notify_all();
    host_.WorkerExited();
}

int CWorkerPool::BatchWorker(CWorkerPool* pool) {
    if (!pool->host_.WindowAlive()) {
        pool->ThreadExit();
        return 0;
    }
    for (;;) {
        int index;
        {
            std::lock_guard lock(pool->lock_);
            index = pool->TakePendingLocked(false);
        }
        if (index < 0) {
            // Nothing left to take: no worker of this run needs its freed
            // memory again; from here on it goes back as it is freed.
            pool->StopKeepingFreed();
            freedmem::GiveBackThisThreadsHeap();
            break;
        }
        RunProcessorPtr processor = pool->NewProcessor();
        pool->host_.ProcessQueuedFile(index, std::move(processor));
        pool->WaitForItem(index);
    }
    pool->ThreadExit();
    return 0;
}

int CWorkerPool::AutoWorker(CWorkerPool* pool) {
    if (!pool->host_.WindowAlive()) {
        pool->ThreadExit();
        return 0;
    }
    while (pool->host_.AutoMode() != 0) {
        int index;
        std::wstring path;
        {
            std::unique_lock lock(pool->lock_);
            index = pool->TakePendingLocked(true);
            if (index < 0) {
                if (pool->abandoned_ || pool->host_.StopTaking()) break;
                // Nothing pending: look again in 100 ms, or as soon as items
                // arrive or the run is stopped.
                pool->changed_.wait_for(lock, std::chrono::milliseconds(100));
                continue;
            }
            path = pool->items_[static_cast<std::size_t>(index)].path;
        }
        RunProcessorPtr processor = pool->NewProcessor();
        pool->host_.ProcessAutoFile(index, path, std::move(processor));
        pool->WaitForItem(index);
    }
    if (pool->ended_.fetch_add(1) + 1 >= pool->threadCount_.load()) pool->host_.WorkersEnded();
    pool->ThreadExit();
    return 0;
}
