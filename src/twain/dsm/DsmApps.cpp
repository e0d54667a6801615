#include "twain/dsm/DsmApps.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <dlfcn.h>
#include <sys/stat.h>

#include "platform/core/Files.h"
#include "platform/core/Paths.h"
#include "platform/core/Strings.h"
#include "twain/dsm/DsmInternal.h"
#include "twain/dsm/DsmLog.h"
#include "twain/dsm/DsmSettings.h"

namespace {

constexpr const char* kModule = "apps";
// Sub-folders deeper than this below the source folder are not searched.
constexpr int kMaxFolderDepth = 16;

bool SameName(const TW_STR32& a, const TW_STR32& b) { return std::strncmp(a, b, sizeof(TW_STR32)) == 0; }

// True when `path` names a regular file (a link to one counts). Anything
// else is never handed to dlopen: opening a FIFO waits for a writer, and a
// device may never end.
bool IsRegularFilePath(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// True when `path` is a symbolic link.
bool IsLink(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool EndsWithDs(const std::string& name) {
    if (name.size() < 4) return false;
    const std::string tail = name.substr(name.size() - 3);
    return tail[0] == '.' && (tail[1] == 'd' || tail[1] == 'D') && (tail[2] == 's' || tail[2] == 'S');
}

}  // namespace

std::string DsmConditionCodeText(TW_UINT16 code) {
    switch (code) {
    case 1: return "Failure due to unknown causes";
    case 2: return "Not enough memory to perform operation";
    case 3: return "No Data Source";
    case 4: return "DS is connected to max possible applications";
    case 5: return "DS or DSM reported error, application shouldn't display an error";
    case 6: return "Unknown capability";
    case 9: return "Unrecognized MSG DG DAT combination";
    case 10: return "Data parameter out of range";
    case 11: return "DG DAT MSG out of expected sequence";
    case 12: return "Unknown destination Application/Source in DSM_Entry";
    case 13: return "Capability not supported by source";
    case 14: return "Operation not supported by capability";
    case 15: return "Capability has dependancy on other capability";
    case 16: return "File System operation is denied (file is protected)";
    case 17: return "Operation failed because file already exists.";
    case 18: return "File not found";
    case 19: return "Operation failed because directory is not empty";
    case 20: return "The feeder is jammed";
    case 21: return "The feeder detected multiple pages";
    case 22: return "Error writing the file (meant for things like disk full conditions)";
    case 23: return "The device went offline prior to or during this operation";
    default: {
        char text[32];
        std::snprintf(text, sizeof text, "TWCC 0x%04x", code);
        return text;
    }
    }
}

CDsmApps::CDsmApps() {
    m_impl.reset(new (std::nothrow) CDsmAppsImpl);
    if (!m_impl) DSM_ERROR(kModule, "new of CDsmAppsImpl failed...");
}

int CDsmApps::SlotCount() const { return static_cast<int>(m_impl->m_pList.size()); }

DsmAppEntry* CDsmApps::GrowSlot(TW_UINT32 id) {
    auto& list = m_impl->m_pList;
    if (id >= list.size()) {
        try {
            list.resize(static_cast<std::size_t>(id) + 1);
        } catch (const std::bad_alloc&) {
            DSM_ERROR(kModule, "realloc of m_pList failed AppId = %d", static_cast<int>(id));
            return nullptr;
        }
    }
    return &list[id];
}

DsmAppEntry* CDsmApps::FindApp(const TW_IDENTITY* app) {
    if (!app || app->Id == 0 || app->Id >= m_impl->m_pList.size()) return nullptr;
    DsmAppEntry& slot = m_impl->m_pList[app->Id];
    return slot.identity.Id != 0 ? &slot : nullptr;
}

int CDsmApps::HighestAppState() const {
    int highest = 1;
    for (const DsmAppEntry& slot : m_impl->m_pList)
        if (slot.identity.Id != 0) highest = std::max(highest, slot.state);
    return highest;
}

void CDsmApps::SetConditionCode(const TW_IDENTITY* app, TW_UINT16 code) {
    if (DsmAppEntry* slot = FindApp(app))
        slot->conditionCode = code;
    else
        m_impl->managerConditionCode = code;
    if (code != TWCC_SUCCESS) DSM_TRACE(kModule, "Condition Code: %s", DsmConditionCodeText(code).c_str());
}

void CDsmApps::SetManagerConditionCode(TW_UINT16 code) {
    m_impl->managerConditionCode = code;
    if (code != TWCC_SUCCESS) DSM_TRACE(kModule, "Condition Code: %s", DsmConditionCodeText(code).c_str());
}

TW_UINT16 CDsmApps::TakeConditionCode(const TW_IDENTITY* app) {
    TW_UINT32* code = &m_impl->managerConditionCode;
    if (DsmAppEntry* slot = FindApp(app)) code = &slot->conditionCode;
    const auto value = static_cast<TW_UINT16>(*code);
    *code = TWCC_SUCCESS;
    return value;
}

TW_UINT16 CDsmApps::AdmitApp(pTW_IDENTITY app, TW_MEMREF data) {
    if (app->ProductName[0] == '\0') {
        DSM_ERROR(kModule, "AppId.ProductName is empty");
        SetManagerConditionCode(TWCC_BADVALUE);
        return TWRC_FAILURE;
    }
    DSM_TRACE(kModule, "Application: \"%.32s\"", app->Manufacturer);
    DSM_TRACE(kModule, "             \"%.32s\"", app->ProductFamily);
    DSM_TRACE(kModule, "             \"%.32s\" version: %u.%u", app->ProductName, app->Version.MajorNum,
              app->Version.MinorNum);
    DSM_TRACE(kModule, "             TWAIN %u.%u", app->ProtocolMajor, app->ProtocolMinor);

    TW_HANDLE window = nullptr;
    if (data) std::memcpy(&window, data, sizeof window);

    auto& list = m_impl->m_pList;
    for (std::size_t i = 1; i < list.size(); ++i) {
        const DsmAppEntry& slot = list[i];
        if (slot.identity.Id != 0 && SameName(slot.identity.ProductName, app->ProductName) &&
            slot.window == window) {
            DSM_ERROR(kModule, "A successful MSG_OPENDSM was already done for %.32s...", app->ProductName);
            SetManagerConditionCode(TWCC_SEQERROR);
            return TWRC_FAILURE;
        }
    }

    TW_UINT32 id = 1;
    while (id < list.size() && list[id].identity.Id != 0) ++id;
    DsmAppEntry* slot = GrowSlot(id);
    if (!slot) {
        SetManagerConditionCode(TWCC_LOWMEMORY);
        return TWRC_FAILURE;
    }
    std::unique_ptr<DsmSourceList> sources(new (std::nothrow) DsmSourceList);
    if (!sources) {
        DSM_ERROR(kModule, "calloc failed for %.32s...", app->ProductName);
        SetManagerConditionCode(TWCC_LOWMEMORY);
        return TWRC_FAILURE;
    }
    app->SupportedGroups |= DF_DSM2;
    app->Id = id;
    *slot = DsmAppEntry{};
    slot->identity = *app;
    slot->window = window;
    slot->sources = std::move(sources);
    slot->state = 3;

    // A copy: the search may grow nothing, but the slot is reached by id.
    TW_IDENTITY stored = slot->identity;
    ScanSourceFolder(DsmSourceFolder(), &stored);

    SetConditionCode(app, TWCC_SUCCESS);
    return TWRC_SUCCESS;
}

TW_UINT16 CDsmApps::DismissApp(pTW_IDENTITY app) {
    auto& list = m_impl->m_pList;
    if (app->Id == 0 || app->Id >= list.size()) {
        DSM_ERROR(kModule, "_id is out of range...%d", static_cast<int>(app->Id));
        SetManagerConditionCode(TWCC_BADVALUE);
        return TWRC_FAILURE;
    }
    const TW_UINT32 id = app->Id;
    if (list[id].identity.Id == 0 || list[id].state != 3 || list[id].closing) {
        DSM_ERROR(kModule, "%.32s not open.", app->ProductName);
        SetManagerConditionCode(TWCC_SEQERROR);
        return TWRC_FAILURE;
    }
    list[id].closing = true;

    // Sources the application left open get the shutdown sequence, then are
    // unloaded. The slot is looked up again after every call out, since other
    // threads may change the table meanwhile.
    for (TW_UINT32 index = 1; index < static_cast<TW_UINT32>(kDsmMaxSources); ++index) {
        DsmAppEntry& slot = m_impl->m_pList[id];
        if (!slot.sources || index > slot.sources->count) break;
        DsmSourceEntry& source = slot.sources->sources[index];
        if (!source.entry) continue;
        DSM_ERROR(kModule, "MSG_CLOSEDSM called with drivers still open.");
        DSM_ERROR(kModule, "The application should not be doing this.");
        DSM_ERROR(kModule, "The DSM is going to try to gracefully shutdown the drivers...");
        const DSENTRYPROC entry = source.entry;
        TW_IDENTITY appIdentity = slot.identity;
        TW_IDENTITY sourceIdentity = source.identity;
        DsmCallOut([&] {
            TW_PENDINGXFERS pending{};
            TW_USERINTERFACE ui{};
            try {
                entry(&appIdentity, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
                pending = TW_PENDINGXFERS{};
                entry(&appIdentity, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
                entry(&appIdentity, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
                entry(&appIdentity, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &sourceIdentity);
            } catch (...) {
                // The source is unloaded whatever it did.
            }
        });
        ReleaseSource(&appIdentity, index);
    }

    DsmAppEntry& slot = m_impl->m_pList[id];
    slot.sources.reset();
    if (id + 1 < m_impl->m_pList.size()) {
        slot = DsmAppEntry{};
    } else {
        std::size_t count = m_impl->m_pList.size() - 1;
        while (count > 1 && m_impl->m_pList[count - 1].identity.Id == 0) --count;
        m_impl->m_pList.resize(count);
        m_impl->m_pList.shrink_to_fit();
    }
    return TWRC_SUCCESS;
}

bool CDsmApps::CheckIds(const TW_IDENTITY* app, const TW_IDENTITY* source) {
    if (!app) {
        DSM_ERROR(kModule, "_pAppId is null...");
        return false;
    }
    if (app->Id >= m_impl->m_pList.size()) {
        DSM_ERROR(kModule, "invalid App ID...%d", static_cast<int>(app->Id));
        return false;
    }
    if (!source) {
        DSM_ERROR(kModule, "_pDSId is null...");
        return false;
    }
    if (source->Id >= static_cast<TW_UINT32>(kDsmMaxSources)) {
        DSM_ERROR(kModule, "invalid DS ID...%d", static_cast<int>(source->Id));
        return false;
    }
    const DsmAppEntry& slot = m_impl->m_pList[app->Id];
    if (!slot.sources) {
        DSM_ERROR(kModule, "List of DS for app is invalid");
        return false;
    }
    if (source->Id > slot.sources->count) {
        DSM_ERROR(kModule, "The DS ID for app is not valid");
        return false;
    }
    return true;
}

// Accessors ------------------------------------------------------------------

namespace {

bool CheckApp(const TW_IDENTITY* app, std::size_t slots) {
    if (!app) {
        DSM_ERROR(kModule, "_pAppId is null...");
        return false;
    }
    if (app->Id >= slots) {
        DSM_ERROR(kModule, "invalid App ID...%d", static_cast<int>(app->Id));
        return false;
    }
    return true;
}

}  // namespace

TW_IDENTITY* CDsmApps::AppIdentity(const TW_IDENTITY* app) {
    if (!CheckApp(app, m_impl->m_pList.size())) {
        DSM_ERROR(kModule, "bad _pAppId...");
        return nullptr;
    }
    return &m_impl->m_pList[app->Id].identity;
}

int CDsmApps::AppState(const TW_IDENTITY* app) {
    if (!CheckApp(app, m_impl->m_pList.size())) return 2;
    return m_impl->m_pList[app->Id].state;
}

TW_HANDLE CDsmApps::AppWindow(const TW_IDENTITY* app) {
    if (!CheckApp(app, m_impl->m_pList.size())) return nullptr;
    return m_impl->m_pList[app->Id].window;
}

TW_UINT16 CDsmApps::SourceCount(const TW_IDENTITY* app) {
    if (!CheckApp(app, m_impl->m_pList.size())) return 0;
    const DsmAppEntry& slot = m_impl->m_pList[app->Id];
    return slot.sources ? slot.sources->count : 0;
}

DsmSourceEntry* CDsmApps::Source(const TW_IDENTITY* app, TW_UINT32 source, const char* failureLog) {
    if (!CheckApp(app, m_impl->m_pList.size()) || source >= static_cast<TW_UINT32>(kDsmMaxSources) ||
        !m_impl->m_pList[app->Id].sources) {
        DSM_ERROR(kModule, "%s", failureLog);
        return nullptr;
    }
    return &m_impl->m_pList[app->Id].sources->sources[source];
}

TW_IDENTITY* CDsmApps::DsGetIdentity(const TW_IDENTITY* app, TW_UINT32 source) {
    DsmSourceEntry* s = Source(app, source, "Returning NULL from DsGetIdentity...");
    return s ? &s->identity : nullptr;
}

DSENTRYPROC CDsmApps::DsGetEntryProc(const TW_IDENTITY* app, TW_UINT32 source) {
    DsmSourceEntry* s = Source(app, source, "Returning NULL from DsGetEntryProc...");
    return s ? s->entry : nullptr;
}

const std::string* CDsmApps::DsGetPath(const TW_IDENTITY* app, TW_UINT32 source) {
    DsmSourceEntry* s = Source(app, source, "Returning NULL from DsGetPath...");
    return s ? &s->path : nullptr;
}

DsmSourceEntry* CDsmApps::DsCallbackGet(const TW_IDENTITY* app, TW_UINT32 source) {
    return Source(app, source, "Returning NULL from DsCallbackGet...");
}

void CDsmApps::DsCallbackSetWaiting(const TW_IDENTITY* app, TW_UINT32 source, bool waiting) {
    if (DsmSourceEntry* s = Source(app, source, "Unable to properly handle DsCallbackSetWaiting..."))
        s->waiting = waiting;
}

bool CDsmApps::DsCallbackIsWaiting(const TW_IDENTITY* app, TW_UINT32 source) {
    DsmSourceEntry* s = Source(app, source, "Returning FALSE from DsCallbackIsWaiting...");
    return s && s->waiting;
}

namespace {

struct CallUnderWay {
    const CDsmApps* apps;
    TW_UINT32 app;
    TW_UINT32 source;
    bool callback;
    bool operator==(const CallUnderWay&) const = default;
};

// The calls under way on this thread, innermost last.
thread_local std::vector<CallUnderWay> t_callsUnderWay;

}  // namespace

DsmCallOnThread::DsmCallOnThread(const CDsmApps* apps, TW_UINT32 app, TW_UINT32 source, bool callback) {
    t_callsUnderWay.push_back({apps, app, source, callback});
}

DsmCallOnThread::~DsmCallOnThread() { t_callsUnderWay.pop_back(); }

bool DsmCallOnThread::UnderWay(const CDsmApps* apps, TW_UINT32 app, TW_UINT32 source, bool callback) {
    return std::find(t_callsUnderWay.begin(), t_callsUnderWay.end(), CallUnderWay{apps, app, source, callback}) !=
           t_callsUnderWay.end();
}

bool CDsmApps::DsIsProcessingMessage(const TW_IDENTITY* app, TW_UINT32 source) {
    return Source(app, source, "Returning FALSE from DsIsProcessingMessage...") &&
           DsmCallOnThread::UnderWay(this, app->Id, source, false);
}

bool CDsmApps::DsIsAppProcessingCallback(const TW_IDENTITY* app, TW_UINT32 source) {
    return Source(app, source, "Returning FALSE from DsIsAppProcessingCallback...") &&
           DsmCallOnThread::UnderWay(this, app->Id, source, true);
}

// Discovery and loading -----------------------------------------------------

bool CDsmApps::LoadLibraryEntry(pTW_IDENTITY app, const std::string& path, void*& module, DSENTRYPROC& entry) {
    module = nullptr;
    entry = nullptr;
    // Checked again here: the file may have been replaced since the folder
    // was listed.
    if (!IsRegularFilePath(path)) {
        DSM_ERROR(kModule, "Not a regular file, skipped: %s", path.c_str());
        SetConditionCode(app, TWCC_OPERATIONERROR);
        return false;
    }
    module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        DSM_ERROR(kModule, "Could not load library: %s", path.c_str());
        if (const char* why = dlerror()) DSM_ERROR(kModule, "%s", why);
        SetConditionCode(app, TWCC_OPERATIONERROR);
        return false;
    }
    entry = reinterpret_cast<DSENTRYPROC>(dlsym(module, "DS_Entry"));
    if (!entry) {
        if (path.find("wiatwain.ds") != std::string::npos)
            DSM_ERROR(kModule, "We're deliberately skipping this file: %s", path.c_str());
        else
            DSM_ERROR(kModule, "Could not find DS_Entry in DS: %s", path.c_str());
        dlclose(module);
        module = nullptr;
        SetConditionCode(app, TWCC_OPERATIONERROR);
        return false;
    }
    return true;
}

TW_UINT16 CDsmApps::ProbeSource(pTW_IDENTITY app, const std::string& path, TW_UINT32 index, bool open) {
    if (path.empty()) {
        DSM_ERROR(kModule, "bad path.");
        SetConditionCode(app, TWCC_OPERATIONERROR);
        return TWRC_FAILURE;
    }
    if (index >= static_cast<TW_UINT32>(kDsmMaxSources)) {
        DSM_ERROR(kModule, "Too many DS's already open.");
        SetConditionCode(app, TWCC_OPERATIONERROR);
        return TWRC_FAILURE;
    }
    DsmAppEntry* slot = FindApp(app);
    if (!slot || !slot->sources) {
        DSM_ERROR(kModule, "bad _pAppId...");
        SetConditionCode(app, TWCC_OPERATIONERROR);
        return TWRC_FAILURE;
    }
    if (open) {
        const TW_IDENTITY& known = slot->sources->sources[index].identity;
        DSM_TRACE(kModule, "Datasource: \"%.32s\"", known.Manufacturer);
        DSM_TRACE(kModule, "            \"%.32s\"", known.ProductFamily);
        DSM_TRACE(kModule, "            \"%.32s\" version: %u.%u", known.ProductName, known.Version.MajorNum,
                  known.Version.MinorNum);
        DSM_TRACE(kModule, "            TWAIN %u.%u", known.ProtocolMajor, known.ProtocolMinor);
    }

    void* module = nullptr;
    DSENTRYPROC entry = nullptr;
    if (!LoadLibraryEntry(app, path, module, entry)) return TWRC_FAILURE;

    const char* useAppId = std::getenv("DSM_USEAPPID");
    const bool passAppId = !useAppId || useAppId[0] == '\0';
    DSM_TRACE(kModule, "Loaded library: %s (DSM_USEAPPID:%c)", path.c_str(), passAppId ? '1' : '0');

    TW_IDENTITY identity{};
    identity.Id = index;
    TW_IDENTITY appCopy = slot->identity;
    TW_UINT16 rc = TWRC_FAILURE;
    try {
        rc = entry(passAppId ? &appCopy : nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity);
    } catch (...) {
        rc = TWRC_FAILURE;
    }
    dlclose(module);
    slot = FindApp(app);
    if (rc != TWRC_SUCCESS) {
        DSM_ERROR(kModule, "DG_CONTROL,DAT_IDENTITY,MSG_GET failed");
        SetConditionCode(app, TWCC_OPERATIONERROR);
        return TWRC_FAILURE;
    }
    if ((identity.SupportedGroups & slot->identity.SupportedGroups & 0xFFFE) == 0) {
        DSM_ERROR(kModule, "The SupportedGroups do not match.");
        SetConditionCode(app, TWCC_OPERATIONERROR);
        return TWRC_FAILURE;
    }
    DsmSourceEntry& stored = slot->sources->sources[index];
    identity.Id = index;
    stored.identity = identity;
    stored.path = path;
    stored.module = nullptr;
    stored.entry = nullptr;
    if (index > slot->sources->count) slot->sources->count = static_cast<TW_UINT16>(index);
    if (!open) return TWRC_SUCCESS;

    // Load it again and keep it for calls.
    if (!LoadLibraryEntry(app, path, module, entry)) return TWRC_FAILURE;
    slot = FindApp(app);
    if (!slot || !slot->sources) {
        dlclose(module);
        return TWRC_FAILURE;
    }
    DsmSourceEntry& kept = slot->sources->sources[index];
    kept.module = module;
    kept.entry = entry;
    return TWRC_SUCCESS;
}

TW_UINT16 CDsmApps::LoadDS(pTW_IDENTITY app, TW_UINT32 index) {
    DsmAppEntry* slot = FindApp(app);
    if (!slot || !slot->sources || index == 0 || index > slot->sources->count ||
        slot->sources->sources[index].path.empty()) {
        DSM_ERROR(kModule, "Returning TWRC_FAILURE from LoadDS...");
        return TWRC_FAILURE;
    }
    const std::string path = slot->sources->sources[index].path;
    return ProbeSource(app, path, index, true);
}

void CDsmApps::ReleaseSource(const TW_IDENTITY* app, TW_UINT32 index) {
    DsmAppEntry* slot = FindApp(app);
    if (!slot || !slot->sources || index >= static_cast<TW_UINT32>(kDsmMaxSources)) return;
    DsmSourceEntry& source = slot->sources->sources[index];
    if (!source.module) return;
    void* module = source.module;
    source.module = nullptr;
    source.entry = nullptr;
    DsmUnloadLibrary(module);
}

int CDsmApps::ScanSourceFolder(const std::string& folder, pTW_IDENTITY app) {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> visited;
    // Links to folders are followed only while they stay inside this folder
    // (as it resolves), so the search never wanders over the rest of the
    // file system.
    const std::string root = ToUtf8(files::CanonicalPath(FromUtf8(folder)));
    return ScanFolder(folder, root, app, 0, visited);
}

int CDsmApps::ScanFolder(const std::string& folder, const std::string& root, pTW_IDENTITY app, int depth,
                         std::vector<std::pair<std::uint64_t, std::uint64_t>>& visited) {
    const std::wstring wfolder = FromUtf8(folder);
    files::FileId id;
    if (files::GetFileId(wfolder, id)) {
        const std::pair<std::uint64_t, std::uint64_t> key{id.device, id.inode};
        // A folder reached twice (through a link) is searched once.
        if (std::find(visited.begin(), visited.end(), key) != visited.end()) return 0;
        visited.push_back(key);
    }
    std::vector<files::DirEntry> entries;
    if (!files::ListDirectory(wfolder, entries)) return 1;

    // Libraries of this folder first, in name order ...
    for (const files::DirEntry& e : entries) {
        if (e.isDirectory) continue;
        const std::string name = ToUtf8(e.name);
        if (!EndsWithDs(name)) continue;
        const std::string path = ToUtf8(PathJoin(wfolder, e.name));
        if (path.size() >= kDsmPathChars) {
            DSM_ERROR(kModule, "Path too long, skipped: %s", path.c_str());
            continue;
        }
        if (!IsRegularFilePath(path)) {
            DSM_ERROR(kModule, "Not a regular file, skipped: %s", path.c_str());
            continue;
        }
        DsmAppEntry* slot = FindApp(app);
        if (!slot || !slot->sources) return 1;
        if (slot->sources->count >= kDsmMaxSources - 1) {
            DSM_ERROR(kModule, "Too many DS's already open.");
            SetConditionCode(app, TWCC_OPERATIONERROR);
            continue;
        }
        const TW_UINT32 index = slot->sources->count + 1u;
        if (ProbeSource(app, path, index, false) != TWRC_SUCCESS) {
            // Nothing of a refused library stays in the list.
            if (DsmAppEntry* s = FindApp(app); s && s->sources) s->sources->sources[index] = DsmSourceEntry{};
        }
    }
    // ... then the sub-folders, depth first.
    if (depth >= kMaxFolderDepth) return 0;
    for (const files::DirEntry& e : entries) {
        if (!e.isDirectory) continue;
        const std::string path = ToUtf8(PathJoin(wfolder, e.name));
        if (path.size() >= kDsmPathChars) continue;
        if (IsLink(path) && !files::IsSameOrBelow(files::CanonicalPath(FromUtf8(path)), FromUtf8(root))) {
            DSM_ERROR(kModule, "Folder link leads out of the source folder, skipped: %s", path.c_str());
            continue;
        }
        ScanFolder(path, root, app, depth + 1, visited);
    }
    return 0;
}
