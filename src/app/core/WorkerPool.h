// The batch engine's worker pool: the work items of a run and the threads
// that process them.
//
// A run's files become work items (path, state pending / taken / done). Each
// worker takes the first pending item, has the per-file road of its host
// (the main window's batch engine) process it, and waits until the item is
// done before it takes the next. Batch workers end when nothing is pending;
// auto-mode workers keep looking for new items until the host's AutoMode
// falls to 0, and the last of them to end tells the host.
//
// A batch run keeps the memory its workers free for their next files (see
// platform/core/FreedMemory.h) until the first worker finds nothing left to
// take: the files still in progress then give theirs back as they end.
//
// The pool owns its threads: they are counted while they live and joined
// later, so a new run never starts over workers of the previous one and the
// program never ends under them. Waits use a condition variable.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/core/RunProcessor.h"
#include "platform/core/FreedMemory.h"

struct WorkItem {
    enum State : int { kPending = 0, kTaken = 1, kDone = 2 };
    std::wstring path;
    int state = kPending;
};

// What the workers need of the main window.
class IWorkerHost {
public:
    virtual ~IWorkerHost() = default;
    // The main window exists; workers return at once when it does not.
    virtual bool WindowAlive() const = 0;
    virtual int AutoMode() const = 0;
    // True while the program closes: no worker takes a new item.
    virtual bool StopTaking() const = 0;
    // The paths of the run's queue, item i for entry i (read by Start).
    virtual std::vector<std::wstring> QueuedPaths() const = 0;
    virtual RunProcessorPtr CreateProcessor() = 0;
    // The per-file roads (on the worker). They take the processor over.
    virtual void ProcessQueuedFile(int index, RunProcessorPtr processor) = 0;
    virtual void ProcessAutoFile(int index, const std::wstring& path, RunProcessorPtr processor) = 0;
    // The last auto-mode worker has ended (posts WM_WORKERS_ENDED).
    virtual void WorkersEnded() = 0;
    // A worker thread is about to exit.
    virtual void WorkerExited() {}
};

class CWorkerPool {
public:
    explicit CWorkerPool(IWorkerHost& host);
    // Stops the workers' waits and joins every thread.
    ~CWorkerPool();
    CWorkerPool(const CWorkerPool&) = delete;
    CWorkerPool& operator=(const CWorkerPool&) = delete;

    // Sets up the items from the host's queue and starts
    // max(1, min(requested, processor count)) workers: auto-mode workers when
    // the host's AutoMode is not 0, batch workers otherwise. The threads of an
    // earlier run must have ended (LiveThreads() == 0); they are joined here.
    void Start(int requested);

    // Items in state done; true when every item is done (also with none).
    int CountDone() const;
    bool AllDone() const;
    // Sets the first item whose path equals `path` (case counts) to done;
    // nothing when none does.
    void MarkDone(const std::wstring& path);
    // Sets item `index` to done; false when there is no such item.
    bool MarkDoneAt(int index);
    // Appends items at the end (auto-detection's new files).
    void AppendItems(std::vector<WorkItem> items);
    // Sets the items of `path` pending again when every one of them is done
    // (a file whose content changed is processed again); false when one is
    // still pending or taken, or there is none.
    bool Requeue(const std::wstring& path);
    // True when an item has this path.
    bool HasItem(const std::wstring& path) const;
    // Removes the items no worker has taken (a stopped run settles them):
    // the pool is all done once the items in progress are. An item taken up
    // again by Requeue is done once more, as it was.
    void DropPending();

    std::vector<WorkItem> Items() const;
    std::size_t ItemCount() const;
    // The path of item `index`; empty when there is none.
    std::wstring ItemPath(int index) const;

    // Workers started by the last Start; workers still running; auto-mode
    // workers that have ended since the last Start.
    int ThreadCount() const { return threadCount_.load(); }
    int LiveThreads() const { return live_.load(); }
    int EndedCount() const { return ended_.load(); }

    // Idle auto-mode workers look again at once (new items, a stop).
    void Wake();
    // Waiting workers stop waiting and no worker takes another item. For the
    // end of the program when its window can no longer answer.
    void Abandon();
    // Joins the threads that have been started (blocks until they end).
    void JoinThreads();

    // The run's kind, copied into every processor, and the auto-contrast clip
    // percentages (0.1 each, never changed).
    std::atomic<std::int32_t> runType{0};
    const float lowClip = 0.1f;
    const float highClip = 0.1f;

    static int BatchWorker(CWorkerPool* pool);
    static int AutoWorker(CWorkerPool* pool);

private:
    // Under the lock: the first pending item, now taken; -1 when none (also
    // for an auto-mode worker once the host's AutoMode is 0).
    int TakePendingLocked(bool autoWorker);
    // Under the lock: sets an item to done, counting it once.
    void SetDoneLocked(WorkItem& item);
    // Waits until item `index` is done or gone (or the pool is abandoned).
    void WaitForItem(int index);
    RunProcessorPtr NewProcessor();
    void ThreadExit();
    // The run no longer keeps freed memory (what is kept goes back now).
    void StopKeepingFreed();

    IWorkerHost& host_;
    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::vector<WorkItem> items_;
    int done_ = 0;  // items in state done
    bool abandoned_ = false;
    std::unique_ptr<freedmem::KeepWhileAlive> keepFreed_;  // during a batch run's files
    std::vector<std::thread> threads_;
    std::atomic<int> threadCount_{0};
    std::atomic<int> live_{0};
    std::atomic<int> ended_{0};
};
