#include "platform/core/FreedMemory.h"

#include <mutex>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

// A sanitizer brings an allocator of its own that ignores the C library's
// settings.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define FREEDMEM_OTHER_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define FREEDMEM_OTHER_ALLOCATOR 1
#endif
#endif

namespace freedmem {

namespace {

std::mutex g_mutex;
int g_keepers = 0;       // guarded by g_mutex
bool g_effective = false;  // guarded by g_mutex

#if defined(__GLIBC__)
// The C library's initial thresholds; set explicitly they stay put, where
// the library would otherwise raise them after each large free.
constexpr int kLibraryMmapThreshold = 128 * 1024;
constexpr int kLibraryTrimThreshold = 128 * 1024;
constexpr int kLibraryTopPad = 128 * 1024;
#endif

}  // namespace

KeepWhileAlive::KeepWhileAlive() {
    std::lock_guard lock(g_mutex);
    if (g_keepers++ > 0) return;
#if defined(__GLIBC__) && !defined(FREEDMEM_OTHER_ALLOCATOR)
    g_effective = mallopt(M_MMAP_THRESHOLD, static_cast<int>(kKeptBlockBytes)) == 1 &&
                  mallopt(M_TRIM_THRESHOLD, static_cast<int>(kKeptTopBytes)) == 1 &&
                  mallopt(M_TOP_PAD, static_cast<int>(kKeptTopBytes)) == 1;
#endif
}

KeepWhileAlive::~KeepWhileAlive() {
    std::lock_guard lock(g_mutex);
    if (--g_keepers > 0) return;
    g_effective = false;
#if defined(__GLIBC__) && !defined(FREEDMEM_OTHER_ALLOCATOR)
    mallopt(M_MMAP_THRESHOLD, kLibraryMmapThreshold);
    mallopt(M_TRIM_THRESHOLD, kLibraryTrimThreshold);
    mallopt(M_TOP_PAD, kLibraryTopPad);
    malloc_trim(0);
#endif
}

bool Keeping() {
    std::lock_guard lock(g_mutex);
    return g_keepers > 0;
}

bool KeepingTakesEffect() {
    std::lock_guard lock(g_mutex);
    return g_keepers > 0 && g_effective;
}

}  // namespace freedmem
