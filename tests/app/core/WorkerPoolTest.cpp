#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "app/core/WorkerPool.h"
#include "platform/core/FreedMemory.h"
#include "platform/core/System.h"
#include "support/ProcessFigures.h"
#include "support/Waits.h"

namespace {

using namespace std::chrono_literals;

// A host whose per-file road records the item and, unless told to hold
// them, marks it done at once.
class PoolHost final : public IWorkerHost {
public:
    std::atomic<int> autoMode{0};
    std::atomic<bool> alive{true};
    std::atomic<bool> holdItems{false};
    std::atomic<int> endedCalls{0};
    // Each file taken makes a page's buffers on the worker and notes the
    // resident memory after them.
    std::atomic<bool> makePages{false};
    std::atomic<long long> residentAfterPageKb{-1};
    std::vector<std::wstring> paths;
    CWorkerPool* pool = nullptr;

    bool WindowAlive() const override { return alive; }
    int AutoMode() const override { return autoMode; }
    bool StopTaking() const override { return false; }
    std::vector<std::wstring> QueuedPaths() const override { return paths; }
    RunProcessorPtr CreateProcessor() override { return nullptr; }
    void ProcessQueuedFile(int index, RunProcessorPtr) override { Took(index); }
    void ProcessAutoFile(int index, const std::wstring& path, RunProcessorPtr) override {
        EXPECT_EQ(pool->ItemPath(index), path);
        Took(index);
    }
    void WorkersEnded() override { ++endedCalls; }

    std::vector<int> Taken() {
        std::lock_guard lock(m_);
        return taken_;
    }
    // Whether freed memory was being kept when each file was taken.
    std::vector<bool> KeptAtTake() {
        std::lock_guard lock(m_);
        return kept_;
    }
    std::size_t DistinctThreads() {
        std::lock_guard lock(m_);
        return std::set<std::thread::id>(threads_.begin(), threads_.end()).size();
    }

private:
    void Took(int index) {
        {
            std::lock_guard lock(m_);
            taken_.push_back(index);
            kept_.push_back(freedmem::Keeping());
            threads_.push_back(std::this_thread::get_id());
        }
        if (makePages) {
            EXPECT_TRUE(procfig::MakePageBuffers());
            residentAfterPageKb = procfig::StatusKb("VmRSS");
        }
        if (!holdItems) pool->MarkDoneAt(index);
    }
    std::mutex m_;
    std::vector<int> taken_;
    std::vector<bool> kept_;
    std::vector<std::thread::id> threads_;
};

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5000ms) {
    return testwait::Until(done, timeout);
}

std::vector<std::wstring> Paths(int n) {
    std::vector<std::wstring> p;
    for (int i = 0; i < n; ++i) p.push_back(L"/in/" + std::to_wstring(i) + L".jpg");
    return p;
}

struct PoolTest : ::testing::Test {
    PoolTest() { host.pool = &pool; }
    ~PoolTest() override { SetProcessorCountOverride(0); }
    PoolHost host;
    CWorkerPool pool{host};
};

}  // namespace

TEST(WorkerPool, ThreadCountIsTheRequestBoundedByProcessorsAndNeverBelowOne) {
    struct Case {
        int requested, processors, expected;
    };
    const Case cases[] = {{8, 4, 4}, {1, 8, 1}, {4, 4, 4}, {6, 2, 2}, {0, 8, 1}, {-3, 4, 1}};
    for (const auto& c : cases) {
        SetProcessorCountOverride(c.processors);
        PoolHost host;
        CWorkerPool pool(host);
        host.pool = &pool;
        host.paths = Paths(40);
        pool.Start(c.requested);
        EXPECT_EQ(pool.ThreadCount(), c.expected) << c.requested << " on " << c.processors;
        ASSERT_TRUE(WaitFor([&] { return pool.LiveThreads() == 0; }));
        EXPECT_TRUE(pool.AllDone());
        EXPECT_EQ(pool.CountDone(), 40);
        EXPECT_EQ(host.Taken().size(), 40u);
        EXPECT_LE(host.DistinctThreads(), static_cast<std::size_t>(c.expected));
    }
    SetProcessorCountOverride(0);
}

TEST_F(PoolTest, OneWorkerTakesTheFilesInQueueOrder) {
    host.paths = Paths(7);
    pool.Start(1);
    ASSERT_TRUE(WaitFor([&] { return pool.LiveThreads() == 0; }));
    EXPECT_EQ(host.Taken(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
}

TEST_F(PoolTest, AWorkerTakesTheNextItemOnlyWhenItsItemIsDone) {
    host.holdItems = true;
    host.paths = Paths(3);
    pool.Start(1);
    ASSERT_TRUE(WaitFor([&] { return host.Taken().size() == 1; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(host.Taken().size(), 1u);
    EXPECT_EQ(pool.Items()[0].state, WorkItem::kTaken);
    EXPECT_EQ(pool.Items()[1].state, WorkItem::kPending);
    pool.MarkDoneAt(0);
    ASSERT_TRUE(WaitFor([&] { return host.Taken().size() == 2; }));
    pool.MarkDoneAt(1);
    ASSERT_TRUE(WaitFor([&] { return host.Taken().size() == 3; }));
    EXPECT_EQ(pool.LiveThreads(), 1);  // still waiting for item 2
    pool.MarkDoneAt(2);
    ASSERT_TRUE(WaitFor([&] { return pool.LiveThreads() == 0; }));
}

TEST_F(PoolTest, MarkDoneMatchesTheFirstExactPathOnly) {
    EXPECT_TRUE(pool.AllDone());  // before any run
    EXPECT_EQ(pool.CountDone(), 0);
    pool.AppendItems({{L"/a/X.jpg", WorkItem::kTaken}, {L"/a/x.jpg", WorkItem::kTaken}, {L"/a/x.jpg", WorkItem::kTaken}});
    pool.MarkDone(L"/a/X.JPG");  // differs in case: nothing
    EXPECT_EQ(pool.CountDone(), 0);
    pool.MarkDone(L"/a/x.jpg");
    const auto items = pool.Items();
    EXPECT_EQ(items[0].state, WorkItem::kTaken);
    EXPECT_EQ(items[1].state, WorkItem::kDone);
    EXPECT_EQ(items[2].state, WorkItem::kTaken);
    EXPECT_EQ(pool.CountDone(), 1);
    EXPECT_FALSE(pool.AllDone());
    EXPECT_TRUE(pool.MarkDoneAt(2));
    EXPECT_TRUE(pool.MarkDoneAt(2));  // twice counts once
    EXPECT_FALSE(pool.MarkDoneAt(3));
    EXPECT_FALSE(pool.MarkDoneAt(-1));
    pool.MarkDone(L"/a/X.jpg");
    EXPECT_EQ(pool.CountDone(), 3);
    EXPECT_TRUE(pool.AllDone());
}

TEST_F(PoolTest, BatchWorkersOnAnEmptyListReturnAtOnce) {
    pool.Start(4);
    ASSERT_TRUE(WaitFor([&] { return pool.LiveThreads() == 0; }, 1000ms));
    EXPECT_TRUE(host.Taken().empty());
    EXPECT_EQ(host.endedCalls, 0);  // only auto-mode workers announce their end
}

TEST_F(PoolTest, NoWorkerRunsWithoutTheMainWindow) {
    host.alive = false;
    host.paths = Paths(3);
    pool.Start(2);
    EXPECT_EQ(pool.LiveThreads(), 0);
    EXPECT_EQ(pool.ItemCount(), 0u);
    EXPECT_TRUE(host.Taken().empty());
}

TEST_F(PoolTest, AutoWorkersIdleUntilStoppedAndTheLastOneAnnouncesTheEnd) {
    host.autoMode = 1;
    pool.Start(3);
    std::this_thread::sleep_for(150ms);
    EXPECT_EQ(pool.LiveThreads(), 3);
    EXPECT_TRUE(host.Taken().empty());

    pool.AppendItems({{L"/in/new.jpg", WorkItem::kPending}});
    ASSERT_TRUE(WaitFor([&] { return pool.AllDone() && pool.ItemCount() == 1; }));
    EXPECT_EQ(host.Taken(), (std::vector<int>{0}));

    host.autoMode = 0;
    pool.Wake();
    ASSERT_TRUE(WaitFor([&] { return pool.LiveThreads() == 0; }));
    EXPECT_EQ(host.endedCalls, 1);
    EXPECT_EQ(pool.EndedCount(), 3);
    // Auto-mode workers may idle for hours: they keep nothing.
    EXPECT_EQ(host.KeptAtTake(), (std::vector<bool>{false}));
}

TEST_F(PoolTest, ABatchRunKeepsFreedMemoryUntilAWorkerFindsNothingLeft) {
    host.holdItems = true;
    host.paths = Paths(3);
    EXPECT_FALSE(freedmem::Keeping());
    pool.Start(2);
    ASSERT_TRUE(WaitFor([&] { return host.Taken().size() == 2; }));
    pool.MarkDoneAt(0);
    ASSERT_TRUE(WaitFor([&] { return host.Taken().size() == 3; }));
    EXPECT_TRUE(freedmem::Keeping());  // nothing pending, but no worker has looked yet
    pool.MarkDoneAt(1);
    // That worker finds nothing left and ends the keeping while the other
    // one still has its file.
    ASSERT_TRUE(WaitFor([&] { return !freedmem::Keeping(); }));
    // It leaves after giving its heap back; the other one stays.
    ASSERT_TRUE(WaitFor([&] { return pool.LiveThreads() == 1; }));
    EXPECT_EQ(host.Taken().size(), 3u);
    pool.MarkDoneAt(2);
    ASSERT_TRUE(WaitFor([&] { return pool.LiveThreads() == 0; }));
    EXPECT_EQ(host.KeptAtTake(), (std::vector<bool>{true, true, true}));
    EXPECT_FALSE(freedmem::Keeping());
}

TEST_F(PoolTest, TheLastWorkerOfABatchRunGivesItsPagesMemoryBack) {
    {
        freedmem::KeepWhileAlive probe;
        if (!freedmem::KeepingTakesEffect()) GTEST_SKIP() << "this build's allocator ignores the keeping";
    }
    host.makePages = true;
    host.paths = Paths(2);
    pool.Start(1);
    ASSERT_TRUE(WaitFor([&] { return pool.LiveThreads() == 0; }));
    // The one worker ends the keeping itself: its pages' 63 MB, free at
    // the top of its heap, go back before it leaves.
    const long long given = host.residentAfterPageKb - procfig::StatusKb("VmRSS");
    EXPECT_GT(given, 48 * 1024) << "given back " << given << " kB";
}

TEST_F(PoolTest, AbandonedBatchWorkersStopKeepingFreedMemory) {
    host.holdItems = true;
    host.paths = Paths(5);
    pool.Start(2);
    ASSERT_TRUE(WaitFor([&] { return host.Taken().size() == 2; }));
    EXPECT_TRUE(freedmem::Keeping());
    pool.Abandon();
    pool.JoinThreads();
    EXPECT_FALSE(freedmem::Keeping());
}

TEST_F(PoolTest, AbandonReleasesWorkersWaitingForTheirItems) {
    host.holdItems = true;
    host.paths = Paths(5);
    pool.Start(2);
    ASSERT_TRUE(WaitFor([&] { return host.Taken().size() == 2; }));
    pool.Abandon();
    ASSERT_TRUE(WaitFor([&] { return pool.LiveThreads() == 0; }));
    EXPECT_EQ(host.Taken().size(), 2u);  // nothing more was taken
}
