#include "platform/core/FreedMemory.h"

#include <mutex>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace freedmem {

namespace {

std::mutex g_mutex;
int g_keepers = 0;  // guarded by g_mutex

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
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, static_cast<int>(kKeptBlockBytes));
    mallopt(M_TRIM_THRESHOLD, static_cast<int>(kKeptTopBytes));
    mallopt(M_TOP_PAD, static_cast<int>(kKeptTopBytes));
#endif
}

KeepWhileAlive::~KeepWhileAlive() {
    std::lock_guard lock(g_mutex);
    if (--g_keepers > 0) return;
#if defined(__GLIBC__)
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

}  // namespace freedmem
