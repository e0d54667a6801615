// The handle layer behind every TWAIN container and transfer buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>
#include <vector>

#include "twain/TwainMemory.h"
#include "twain/dsm/Dsm.h"

namespace {

TEST(TwainMemory, BlocksAreZeroFilledStableAndCounted) {
    const std::size_t before = TwainMemLiveCount();
    TW_HANDLE h = TwainMemAllocate(100);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(TwainMemLiveCount(), before + 1);
    EXPECT_EQ(TwainMemSize(h), 100u);
    auto* p = static_cast<std::uint8_t*>(TwainMemLock(h));
    ASSERT_NE(p, nullptr);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(p[i], 0) << i;
    std::memset(p, 0xAB, 100);
    EXPECT_TRUE(TwainMemUnlock(h));
    // The block never moves: a second lock gives the same address and bytes.
    auto* again = static_cast<std::uint8_t*>(TwainMemLock(h));
    EXPECT_EQ(again, p);
    EXPECT_EQ(again[99], 0xAB);
    TwainMemUnlock(h);
    EXPECT_TRUE(TwainMemFree(h));
    EXPECT_EQ(TwainMemLiveCount(), before);
}

TEST(TwainMemory, NullUnknownAndFreedHandlesAreRefused) {
    EXPECT_EQ(TwainMemAllocate(0), nullptr);
    TW_HANDLE freed = TwainMemAllocate(8);
    ASSERT_TRUE(TwainMemFree(freed));
    const std::size_t before = TwainMemLiveCount();
    // A handle is a number, never an address: freed, made-up and null handles
    // are refused without touching memory.
    int local = 0;
    for (TW_HANDLE h : {static_cast<TW_HANDLE>(nullptr), freed, static_cast<TW_HANDLE>(&local),
                        reinterpret_cast<TW_HANDLE>(static_cast<std::uintptr_t>(0x1234))}) {
        EXPECT_EQ(TwainMemLock(h), nullptr);
        EXPECT_FALSE(TwainMemUnlock(h));
        EXPECT_FALSE(TwainMemFree(h));
        EXPECT_EQ(TwainMemSize(h), 0u);
    }
    EXPECT_EQ(TwainMemLiveCount(), before);
}

TEST(TwainMemory, ManagerFunctionsUseTheSameBlocks) {
    // What the manager hands out and what the application side uses without
    // a manager are one layer: a block from one is freed by the other.
    TW_HANDLE fromManager = DSM_MemAllocate(16);
    ASSERT_NE(fromManager, nullptr);
    EXPECT_EQ(TwainMemSize(fromManager), 16u);
    EXPECT_TRUE(TwainMemFree(fromManager));
    TW_HANDLE fromLayer = TwainMemAllocate(16);
    const std::size_t before = TwainMemLiveCount();
    EXPECT_NE(DSM_MemLock(fromLayer), nullptr);
    DSM_MemUnlock(fromLayer);
    DSM_MemFree(fromLayer);
    EXPECT_EQ(TwainMemLiveCount(), before - 1);
    // Null handles and a zero size are ignored (and logged when the
    // manager's log is on).
    EXPECT_EQ(DSM_MemAllocate(0), nullptr);
    EXPECT_EQ(DSM_MemLock(nullptr), nullptr);
    DSM_MemUnlock(nullptr);
    DSM_MemFree(nullptr);
    EXPECT_EQ(TwainMemLiveCount(), before - 1);
}

TEST(TwainMemory, ThreadsAllocateAndFreeSideBySide) {
    const std::size_t before = TwainMemLiveCount();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i) {
                TW_HANDLE h = TwainMemAllocate(static_cast<TW_UINT32>(16 + t + i));
                auto* p = static_cast<std::uint8_t*>(TwainMemLock(h));
                p[0] = static_cast<std::uint8_t>(t);
                TwainMemUnlock(h);
                TwainMemFree(h);
            }
        });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(TwainMemLiveCount(), before);
}

}  // namespace
