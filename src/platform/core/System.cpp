#include "platform/core/System.h"

#include <sched.h>
#include <unistd.h>

#include <cstdio>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <thread>

namespace {

std::atomic<int> g_processorOverride{0};

// The processors the calling thread may run on (its affinity mask, which a
// user sets with taskset or a container's CPU set); 0 when it cannot be read.
int AffinityCount() {
    // Masks larger than the default set are tried for machines with more
    // than 1024 processors.
    for (int cpus = CPU_SETSIZE; cpus <= (1 << 16); cpus *= 2) {
        cpu_set_t* set = CPU_ALLOC(static_cast<std::size_t>(cpus));
        if (!set) return 0;
        const std::size_t bytes = CPU_ALLOC_SIZE(static_cast<std::size_t>(cpus));
        CPU_ZERO_S(bytes, set);
        const int read = ::sched_getaffinity(0, bytes, set);
        const int count = read == 0 ? CPU_COUNT_S(bytes, set) : 0;
        const bool tooSmall = read != 0 && errno == EINVAL;
        CPU_FREE(set);
        if (!tooSmall) return count;
    }
    return 0;
}

}  // namespace

int GetProcessorCount() {
    const int forced = g_processorOverride.load(std::memory_order_relaxed);
    if (forced > 0) return forced;
    if (const int allowed = AffinityCount(); allowed > 0) return allowed;
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : static_cast<int>(n);
}

void SetProcessorCountOverride(int count) {
    g_processorOverride.store(count > 0 ? count : 0, std::memory_order_relaxed);
}

namespace {

// A byte count from a control-group file ("max" or unreadable: none).
std::uint64_t LimitFromFile(const char* path) {
    std::FILE* f = std::fopen(path, "r");
    if (!f) return 0;
    unsigned long long value = 0;
    const bool read = std::fscanf(f, "%llu", &value) == 1;
    std::fclose(f);
    return read ? value : 0;
}

}  // namespace

std::uint64_t GetPhysicalMemoryBytes() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGE_SIZE);
    std::uint64_t bytes = pages > 0 && pageSize > 0 ? static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize)
                                                   : (1ull << 30);
    for (const char* limit : {"/sys/fs/cgroup/memory.max", "/sys/fs/cgroup/memory/memory.limit_in_bytes"}) {
        const std::uint64_t cap = LimitFromFile(limit);
        if (cap > 0 && cap < bytes) bytes = cap;
    }
    return bytes;
}

DWORD GetTickCount() {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<DWORD>(static_cast<unsigned long long>(ms.count()));
}

void GetLocalTime(SYSTEMTIME* time) {
    if (!time) return;
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&t, &local);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    time->wYear = static_cast<WORD>(local.tm_year + 1900);
    time->wMonth = static_cast<WORD>(local.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    time->wDay = static_cast<WORD>(local.tm_mday);
    time->wHour = static_cast<WORD>(local.tm_hour);
    time->wMinute = static_cast<WORD>(local.tm_min);
    time->wSecond = static_cast<WORD>(local.tm_sec);
    time->wMilliseconds = static_cast<WORD>(ms < 0 ? 0 : ms);
}
