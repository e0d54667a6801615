#include "platform/core/LargeBuffers.h"

#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

namespace largebuf {

namespace {

constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;

// True when the first page of every 2 MB block of [begin, end) is mapped
// already: the memory is in use (a reused heap block), so its pages are
// there and the request would change nothing for it.
bool AllBlocksMapped(std::uintptr_t begin, std::uintptr_t end) {
    const long page = ::sysconf(_SC_PAGESIZE);
    if (page <= 0) return false;
    for (std::uintptr_t at = begin; at < end; at += kHuge) {
        unsigned char resident = 0;
        if (::mincore(reinterpret_cast<void*>(at), static_cast<std::size_t>(page), &resident) != 0 ||
            (resident & 1) == 0)
            return false;
    }
    return true;
}

}  // namespace

void Advise(void* p, std::size_t bytes) {
#ifdef MADV_HUGEPAGE
    if (!p || bytes < kMinBytes) return;
    const std::uintptr_t begin = (reinterpret_cast<std::uintptr_t>(p) + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(p) + bytes) & ~(kHuge - 1);
    if (end <= begin) return;
    // The request takes the address space's lock for writing (every other
    // thread's page faults wait meanwhile), so memory that is mapped already
    // is not asked for again: looking takes the lock only for reading.
    if (AllBlocksMapped(begin, end)) return;
    ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
    (void)p;
    (void)bytes;
#endif
}

}  // namespace largebuf
