// Movable memory handles for TWAIN containers and transfer buffers.
//
// One handle layer serves every party in the process: the data source
// manager hands these functions to sources and applications as its memory
// functions, and the application side uses the same ones when no manager
// entry point is known, so a block is always freed by the layer that made it.
//
// A handle is an opaque number, never the block's address: a handle that was
// freed, or one that was never handed out, is recognised and refused (lock
// gives null, free and unlock do nothing) instead of touching memory. The
// layer counts the live handles, so tests can tell that every block was
// freed. All functions may be called from any thread.
#pragma once

#include <cstddef>

#include "twain/Twain.h"

// A zero-filled block of `size` bytes; null for size 0 or when memory runs
// out.
TW_HANDLE TwainMemAllocate(TW_UINT32 size);
// Frees the block; false (and nothing done) for null or an unknown handle.
bool TwainMemFree(TW_HANDLE handle);
// The block's address; null for null or an unknown handle. The address stays
// the same for the block's whole life (blocks never move).
TW_MEMREF TwainMemLock(TW_HANDLE handle);
// Ends one lock; false for null or an unknown handle.
bool TwainMemUnlock(TW_HANDLE handle);
// The block's size in bytes; 0 for null or an unknown handle.
std::size_t TwainMemSize(TW_HANDLE handle);
// Copies `size` bytes from `offset` of the block into `out`; false, and
// nothing copied, for null or an unknown handle or when the block ends
// before offset + size. Every read of a block another party filled (a
// source's capability container, its extended information) goes through
// here, so what a container claims never takes a read past its block.
bool TwainMemRead(TW_HANDLE handle, std::size_t offset, void* out, std::size_t size);
// The number of blocks allocated and not yet freed.
std::size_t TwainMemLiveCount();
