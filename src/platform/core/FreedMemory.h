// What becomes of freed memory while a batch run processes its files.
//
// Left alone, the C library gives a large freed block back to the system at
// once (it unmaps it, or trims the heap it lay at the top of). A batch worker
// frees its page's buffers (some 60-110 MB for an A4 colour page) when the
// file is done and asks for the same sizes again for the next file: every
// page then maps its memory afresh, the system zeroes it page by page, and
// every unmap interrupts the processors running the other workers to flush
// their address caches. During a run the freed blocks are kept in the heap
// of the thread that made them instead, so the next file of that worker
// finds its buffers already mapped; when the run is over they are given back.
//
// Only where the memory comes from changes: a block's contents are whatever
// its owner writes into it, as before (fresh buffers are still zero filled
// by their makers).
#pragma once

#include <cstddef>

namespace freedmem {

// Blocks up to this size come from the threads' heaps during a run; larger
// ones are mapped and unmapped on their own as before.
inline constexpr std::size_t kKeptBlockBytes = std::size_t{32} << 20;
// A heap keeps at most this much free memory at its top during a run.
inline constexpr std::size_t kKeptTopBytes = std::size_t{256} << 20;

// A run in progress keeps freed memory for reuse while at least one
// KeepWhileAlive lives; when the last one goes, the policy of the C library
// is restored and every free block is given back to the system.
class KeepWhileAlive {
public:
    KeepWhileAlive();
    ~KeepWhileAlive();
    KeepWhileAlive(const KeepWhileAlive&) = delete;
    KeepWhileAlive& operator=(const KeepWhileAlive&) = delete;
};

// Called by a thread that freed memory while a run kept it, once the
// keeping has ended (a worker that found nothing left to take): gives back
// the free memory at the top of the thread's own heap. The C library trims
// a thread's heap only when a large block is freed into it, and the end of
// the keeping does not reach the free top of those heaps; the heaps of the
// workers that free their last page after the keeping ended are trimmed so,
// the heap of the worker that ended it would stay as it is. Does nothing
// while some KeepWhileAlive lives.
void GiveBackThisThreadsHeap();

// True while some KeepWhileAlive lives.
bool Keeping();
// True while the allocator in use follows the keeping (the C library's own;
// not the allocator of a sanitizer build, which ignores it).
bool KeepingTakesEffect();

}  // namespace freedmem
