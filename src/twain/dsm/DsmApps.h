// The manager's table of applications and, for each, the data sources found
// for it.
//
// An application gets a slot when it opens the manager (its id is the slot
// index; slot 0 is never used) and gives it back when it closes the manager.
// Each slot holds the application's identity, the condition code its next
// DAT_STATUS reports, its state (3 while it has the manager open), its
// window and its source list: up to 49 sources (ids 1 to 49), found in the
// source folder when the application opened the manager.
//
// All of this belongs to the manager object (CDsm) and is used under its
// lock.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "twain/Twain.h"

constexpr int kDsmMaxSources = 50;  // list entries 0..49; id 0 stays empty
constexpr std::size_t kDsmPathChars = 260;  // a source path holds at most 259 characters

struct DsmSourceEntry {
    TW_IDENTITY identity{};        // as the source reported it, Id = its index
    void* module = nullptr;        // the library while loaded
    DSENTRYPROC entry = nullptr;   // its DS_Entry while loaded
    std::string path;              // full path of the library file
    // The application's callback for this source (DAT_CALLBACK or
    // DAT_CALLBACK2); message also holds a parked notification.
    TW_MEMREF callbackProc = nullptr;
    TW_UINTPTR callbackRefCon = 0;
    TW_UINT16 callbackMessage = 0;
    bool waiting = false;          // a parked notification awaits DAT_EVENT
};

struct DsmSourceList {
    TW_UINT16 count = 0;  // the highest id in use
    DsmSourceEntry sources[kDsmMaxSources];
};

struct DsmAppEntry {
    TW_IDENTITY identity{};  // Id = slot index; a slot is free while Id is 0
    TW_UINT32 conditionCode = TWCC_SUCCESS;
    int state = 0;
    std::unique_ptr<DsmSourceList> sources;
    TW_HANDLE window = nullptr;  // given at MSG_OPENDSM, never dereferenced
    bool closing = false;        // MSG_CLOSEDSM is shutting its sources down
};

// A call into a source, or the application's callback for it, under way on
// the calling thread for as long as the object lives: it tells a source or a
// callback that calls back into the manager on the same thread. Each thread
// keeps its own: a source that notifies from a thread of its own while the
// application is still inside a call to it must not leave one thread's mark
// on the other (the application's later calls were refused for good).
class CDsmApps;
class DsmCallOnThread {
public:
    DsmCallOnThread(const CDsmApps* apps, TW_UINT32 app, TW_UINT32 source, bool callback);
    ~DsmCallOnThread();
    DsmCallOnThread(const DsmCallOnThread&) = delete;
    DsmCallOnThread& operator=(const DsmCallOnThread&) = delete;
    static bool UnderWay(const CDsmApps* apps, TW_UINT32 app, TW_UINT32 source, bool callback);
};

class CDsmAppsImpl {
public:
    TW_UINT32 managerConditionCode = TWCC_SUCCESS;
    std::vector<DsmAppEntry> m_pList = std::vector<DsmAppEntry>(1);  // slot 0 unused
};

class CDsmApps {
public:
    CDsmApps();
    bool Valid() const { return m_impl != nullptr; }

    // MSG_OPENDSM and MSG_CLOSEDSM.
    TW_UINT16 AdmitApp(pTW_IDENTITY app, TW_MEMREF data);
    TW_UINT16 DismissApp(pTW_IDENTITY app);

    // True when the application and the source name a slot in use and one of
    // its sources; logs the first check that fails.
    bool CheckIds(const TW_IDENTITY* app, const TW_IDENTITY* source);
    // Stores the code on the application when its identity names a slot in
    // use, else as the manager-wide code.
    void SetConditionCode(const TW_IDENTITY* app, TW_UINT16 code);
    void SetManagerConditionCode(TW_UINT16 code);
    // Reads and resets the application's code (the manager-wide one when the
    // application is null or not in the table).
    TW_UINT16 TakeConditionCode(const TW_IDENTITY* app);

    // The slot `id`, growing the table to id + 1 slots; null when the table
    // cannot grow.
    DsmAppEntry* GrowSlot(TW_UINT32 id);
    // The slot of an application in the table (slot in use), or null.
    DsmAppEntry* FindApp(const TW_IDENTITY* app);
    int SlotCount() const;
    // The highest state of the applications in the table; 1 when none.
    int HighestAppState() const;

    // Accessors; each logs and returns its failure value for a null or
    // out-of-range application or source.
    TW_IDENTITY* AppIdentity(const TW_IDENTITY* app);
    int AppState(const TW_IDENTITY* app);
    TW_HANDLE AppWindow(const TW_IDENTITY* app);
    TW_UINT16 SourceCount(const TW_IDENTITY* app);
    TW_IDENTITY* DsGetIdentity(const TW_IDENTITY* app, TW_UINT32 source);
    DSENTRYPROC DsGetEntryProc(const TW_IDENTITY* app, TW_UINT32 source);
    const std::string* DsGetPath(const TW_IDENTITY* app, TW_UINT32 source);
    DsmSourceEntry* DsCallbackGet(const TW_IDENTITY* app, TW_UINT32 source);
    void DsCallbackSetWaiting(const TW_IDENTITY* app, TW_UINT32 source, bool waiting);
    bool DsCallbackIsWaiting(const TW_IDENTITY* app, TW_UINT32 source);
    // Whether this thread is inside a call to the source, or inside the
    // application's callback for it (DsmCallOnThread marks both).
    bool DsIsProcessingMessage(const TW_IDENTITY* app, TW_UINT32 source);
    bool DsIsAppProcessingCallback(const TW_IDENTITY* app, TW_UINT32 source);

    // Source discovery and loading.
    //
    // Searches `folder` and, depth first, its sub-folders for "*.ds"
    // libraries and lists every one that answers its identity and shares a
    // data group with the application. Only regular files (or links to
    // them) are loaded; a link to a folder is followed only when the folder
    // lies inside `folder`. 1 when the folder cannot be read.
    int ScanSourceFolder(const std::string& folder, pTW_IDENTITY app);
    // Loads the library, asks its identity and stores it as source `index`.
    // Without `open` the library is unloaded again; with it, it stays loaded
    // and its DS_Entry is kept for calls.
    TW_UINT16 ProbeSource(pTW_IDENTITY app, const std::string& path, TW_UINT32 index, bool open);
    // Loads listed source `index` for opening.
    TW_UINT16 LoadDS(pTW_IDENTITY app, TW_UINT32 index);
    // Unloads the source's library (module handle and DS_Entry cleared).
    // The library is unloaded outside the manager's lock: its clean-up may
    // wait for its own threads, which may be calling the manager.
    void ReleaseSource(const TW_IDENTITY* app, TW_UINT32 index);

private:
    DsmSourceEntry* Source(const TW_IDENTITY* app, TW_UINT32 source, const char* failureLog);
    // `root` is the source folder as it resolves (links followed).
    int ScanFolder(const std::string& folder, const std::string& root, pTW_IDENTITY app, int depth,
                   std::vector<std::pair<std::uint64_t, std::uint64_t>>& visited);
    // Loads the library and finds DS_Entry; logs and sets the application's
    // code on failure.
    bool LoadLibraryEntry(pTW_IDENTITY app, const std::string& path, void*& module, DSENTRYPROC& entry);

    std::unique_ptr<CDsmAppsImpl> m_impl;
};

// The text of a condition code for the log ("TWCC 0x%04x" for codes without
// one).
std::string DsmConditionCodeText(TW_UINT16 code);
