// The TWAIN data source manager built into the program.
//
// Applications in this process reach data sources through DSM_Entry: they
// open the manager (DG_CONTROL / DAT_PARENT / MSG_OPENDSM), list the sources
// found in the source folder (DsmSettings.h), open one, and send it every
// other triplet through here; sources send their notifications back through
// DSM_Entry as well (they learn its address from DAT_ENTRYPOINT). The
// manager exists from the first MSG_OPENDSM until the last application has
// closed it.
//
// Calls may come from any thread: a source's notification usually comes
// from the source's own thread. The manager's table is guarded by one lock,
// which is released while a source or an application's callback runs.
#pragma once

#include "twain/Twain.h"

extern "C" __attribute__((visibility("default"))) TW_UINT16 DSM_Entry(pTW_IDENTITY pOrigin, pTW_IDENTITY pDest,
                                                                      TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                                                                      TW_MEMREF pData);

// The memory functions the manager hands out in TW_ENTRYPOINT: the program's
// handle layer (TwainMemory.h), with the manager's log lines for a zero size
// and null handles.
//
// Older (TWAIN 1.x) sources get no entry point: the program exports these
// four and DSM_Entry under these names (exports.list), so such a source
// finds them with dlsym, as it would the system's memory functions.
extern "C" {
__attribute__((visibility("default"))) TW_HANDLE DSM_MemAllocate(TW_UINT32 size);
__attribute__((visibility("default"))) void DSM_MemFree(TW_HANDLE handle);
__attribute__((visibility("default"))) TW_MEMREF DSM_MemLock(TW_HANDLE handle);
__attribute__((visibility("default"))) void DSM_MemUnlock(TW_HANDLE handle);
}

// The nesting guard: calls into a source that is already processing a
// message on the same thread are refused for applications above protocol
// 2.1, and calls into a source whose application callback is running on the
// same thread for applications above 2.2. The protocol value is
// ProtocolMajor * 100 + ProtocolMinor (2.4 gives 204).
constexpr int DsmProtocolValue(const TW_IDENTITY& identity) {
    return identity.ProtocolMajor * 100 + identity.ProtocolMinor;
}
