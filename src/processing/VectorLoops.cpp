#include "processing/VectorLoops.h"

#include <atomic>

namespace vectorloops {

namespace {

std::atomic<bool> g_avx512Aside{false};

bool ProcessorHasAvx2() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

bool ProcessorHasAvx512() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}

}  // namespace

bool Avx2() {
    static const bool available = ProcessorHasAvx2();
    return available;
}

bool Avx512() {
    static const bool available = ProcessorHasAvx512();
    return available && !g_avx512Aside.load(std::memory_order_relaxed);
}

bool SetAsideAvx512(bool aside) { return g_avx512Aside.exchange(aside, std::memory_order_relaxed); }

}  // namespace vectorloops
