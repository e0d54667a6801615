// While a run keeps freed memory, a worker that frees its page's buffers
// and asks for the same sizes again gets memory that is already mapped (no
// page faults); once the run is over, the same round faults again because
// the blocks went back to the system. Contents are never affected.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "platform/core/FreedMemory.h"
#include "support/ProcessFigures.h"

namespace {

constexpr std::size_t kBlock = std::size_t{24} << 20;  // an A4 colour page's working image, about
constexpr int kBlocks = 4;

long long ThreadFaults() {
    rusage r{};
    getrusage(RUSAGE_THREAD, &r);
    return r.ru_minflt + r.ru_majflt;
}

// One page's buffers: made, written all over, checked, freed.
void OnePage(std::uint8_t fill) {
    std::vector<std::uint8_t*> blocks;
    for (int i = 0; i < kBlocks; ++i) {
        auto* p = static_cast<std::uint8_t*>(std::malloc(kBlock));
        ASSERT_NE(p, nullptr);
        std::memset(p, fill + i, kBlock);
        blocks.push_back(p);
    }
    for (int i = 0; i < kBlocks; ++i) {
        const std::uint8_t want = static_cast<std::uint8_t>(fill + i);
        for (std::size_t k = 0; k < kBlock; k += 4093) ASSERT_EQ(blocks[i][k], want) << i << " at " << k;
        ASSERT_EQ(blocks[i][kBlock - 1], want);
    }
    for (auto* p : blocks) std::free(p);
}

// Page faults of the second of two pages on a fresh thread (a worker of a
// run: its first page maps the memory, the second may find it).
long long SecondPageFaults() {
    long long faults = -1;
    std::thread worker([&] {
        OnePage(1);
        const long long before = ThreadFaults();
        OnePage(101);
        faults = ThreadFaults() - before;
    });
    worker.join();
    return faults;
}

}  // namespace

TEST(FreedMemory, KeptDuringARunAndGivenBackAfterIt) {
    long long kept = -1;
    {
        freedmem::KeepWhileAlive run;
        EXPECT_TRUE(freedmem::Keeping());
        if (!freedmem::KeepingTakesEffect()) GTEST_SKIP() << "this build's allocator ignores the keeping";
        kept = SecondPageFaults();
    }
    EXPECT_FALSE(freedmem::KeepingTakesEffect());
    EXPECT_FALSE(freedmem::Keeping());
    const long long fresh = SecondPageFaults();
    // A page of 4 KiB pages faults some 24 thousand times, of huge pages
    // about fifty times; memory found again does not fault at all.
    EXPECT_GE(fresh, 40);
    EXPECT_LT(kept * 8, fresh) << "kept " << kept << ", fresh " << fresh;
}

TEST(FreedMemory, NestedKeepersEndWithTheLast) {
    auto outer = std::make_unique<freedmem::KeepWhileAlive>();
    {
        freedmem::KeepWhileAlive inner;
        EXPECT_TRUE(freedmem::Keeping());
    }
    EXPECT_TRUE(freedmem::Keeping());
    outer.reset();
    EXPECT_FALSE(freedmem::Keeping());
}

TEST(FreedMemory, TheEndOfARunGivesTheKeptMemoryBack) {
    // As a worker pool does: the last worker to find nothing left to take
    // ends the keeping, then leaves.
    long long held = -1;
    auto run = std::make_unique<freedmem::KeepWhileAlive>();
    if (!freedmem::KeepingTakesEffect()) GTEST_SKIP() << "this build's allocator ignores the keeping";
    std::thread worker([&] {
        OnePage(7);
        held = procfig::StatusKb("VmRSS");
        run.reset();
    });
    worker.join();
    const long long after = procfig::StatusKb("VmRSS");
    ASSERT_GT(held, 0);
    // At least three of the four blocks' 96 MiB are no longer resident.
    EXPECT_GT(held - after, 72 * 1024) << "resident while kept " << held << " kB, after " << after << " kB";
}

namespace {

// Resident memory given back when the worker that ends the run's keeping
// leaves, having made pages while it lasted and trimmed its own heap.
long long GivenBackByTheLastWorker() {
    long long held = -1;
    auto run = std::make_unique<freedmem::KeepWhileAlive>();
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(procfig::MakePageBuffers());
        held = procfig::StatusKb("VmRSS");
        run.reset();
        freedmem::GiveBackThisThreadsHeap();
    });
    worker.join();
    return held - procfig::StatusKb("VmRSS");
}

}  // namespace

TEST(FreedMemory, TheWorkerThatEndsTheKeepingGivesItsOwnHeapBack) {
    {
        freedmem::KeepWhileAlive probe;
        if (!freedmem::KeepingTakesEffect()) GTEST_SKIP() << "this build's allocator ignores the keeping";
    }
    // The page's 63 MB lie free at the top of the worker's heap, which the
    // end of the keeping alone leaves mapped; trimmed, at least 48 MiB go.
    const long long given = GivenBackByTheLastWorker();
    EXPECT_GT(given, 48 * 1024) << "given back " << given << " kB";
}
