#include "platform/core/FreedMemory.h"

#include <cstdlib>
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

#if defined(__GLIBC__) && !defined(FREEDMEM_OTHER_ALLOCATOR)
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

void GiveBackThisThreadsHeap() {
#if defined(__GLIBC__) && !defined(FREEDMEM_OTHER_ALLOCATOR)
    {
        std::lock_guard lock(g_mutex);
        if (g_keepers > 0) return;
    }
    // A block above the size from which a free consolidates and trims (64
    // KiB) and below the one from which blocks are mapped on their own
    // (kLibraryMmapThreshold): made from the top of this thread's heap and
    // freed back into it, it makes the library trim that heap to its
    // restored threshold. Written to, and held in a volatile pointer, so
    // that the pair is not taken out as unused.
    constexpr std::size_t kProbeBytes = 96 * 1024;
    static_assert(kProbeBytes > 64 * 1024 && kProbeBytes < static_cast<std::size_t>(kLibraryMmapThreshold));
    void* volatile probe = std::malloc(kProbeBytes);
    if (probe == nullptr) return;
    static_cast<unsigned char*>(probe)[0] = 0;
    std::free(probe);
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
