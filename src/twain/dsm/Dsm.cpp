#include "twain/dsm/Dsm.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include <dlfcn.h>

#include "platform/core/Messages.h"
#include "platform/core/UserDialogs.h"
#include "twain/TwainMemory.h"
#include "twain/TwainNames.h"
#include "twain/dsm/DsmApps.h"
#include "twain/dsm/DsmInternal.h"
#include "twain/dsm/DsmLog.h"
#include "twain/dsm/DsmSelect.h"
#include "twain/dsm/DsmSettings.h"

namespace {

constexpr const char* kModule = "dsm";
constexpr UINT WM_NULL = 0x0000;
const std::wstring kCaption = L"TWAIN Data Source Manager";

// The nesting-guard thresholds (protocol 2.1 and 2.2).
constexpr int kGuardProcessingAbove = 201;
constexpr int kGuardCallbackAbove = 202;

void CopyIdentity(void* to, const TW_IDENTITY& from) { std::memcpy(to, &from, sizeof from); }

// The manager object: the application table, the default source, the
// enumeration iterator and the log.
class CDsm {
public:
    CDsm() = default;

    bool Create() {
        m_log.reset(new (std::nothrow) CDsmLog);
        if (!m_log) {
            MessageBoxW(L"Failed to new CDsmLog!!!", kCaption, MB_OK);
            return false;
        }
        SetDsmLog(m_log.get());
        if (!m_apps.Valid()) {
            MessageBoxW(L"Failed to new CDsmApps!!!", kCaption, MB_OK);
            SetDsmLog(nullptr);
            return false;
        }
        DSM_TRACE(kModule, "%s", "************************************************");
        DSM_TRACE(kModule, "%s", "Archive Imaging Group");
        DSM_TRACE(kModule, "%s", "TWAIN 32 Source Manager (Image Acquisition Interface)");
        DSM_TRACE(kModule, "version: %s", "2, 4, 3, 0");
        return true;
    }

    ~CDsm() { SetDsmLog(nullptr); }

    TW_UINT16 Dispatch(pTW_IDENTITY pOrigin, pTW_IDENTITY pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                       TW_MEMREF pData);
    int HighestAppState() const { return m_apps.HighestAppState(); }

private:
    bool LogCall(const TW_IDENTITY* origin, const TW_IDENTITY* dest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                 TW_MEMREF pData);
    void LogResult(TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData, TW_UINT16 rc);

    TW_UINT16 Fail(const TW_IDENTITY* app, TW_UINT16 code) {
        m_apps.SetConditionCode(app, code);
        return TWRC_FAILURE;
    }
    TW_UINT16 FailManagerWide(TW_UINT16 code) {
        m_apps.SetManagerConditionCode(code);
        return TWRC_FAILURE;
    }

    TW_UINT16 Forward(pTW_IDENTITY app, pTW_IDENTITY source, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                      TW_MEMREF pData);
    TW_UINT16 NotifyApp(pTW_IDENTITY app, pTW_IDENTITY source, TW_UINT16 MSG);
    TW_UINT16 ProcessEvent(pTW_IDENTITY app, pTW_IDENTITY source, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                           TW_MEMREF pData);
    TW_UINT16 StatusRequest(pTW_IDENTITY app, pTW_IDENTITY source, TW_UINT32 DG, TW_UINT16 MSG, TW_MEMREF pData);
    TW_UINT16 TwunkRequest(pTW_IDENTITY app, TW_UINT16 MSG, TW_MEMREF pData);
    TW_UINT16 CallbackRequest(pTW_IDENTITY app, pTW_IDENTITY source, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData);
    TW_UINT16 EntryPointRequest(pTW_IDENTITY app, TW_UINT16 MSG, TW_MEMREF pData);

    // The checks a request about one source starts with: a null application,
    // one not in the table (`outOfRange` logged with its id, code
    // `outOfRangeCode`), one not in state 3 (`notOpen` logged when given)
    // and a null identity. TWRC_SUCCESS to go on, else the failure.
    struct SourceRequest {
        const char* outOfRange;
        TW_UINT16 outOfRangeCode;
        const char* notOpen;
        bool logNullIdentity;
    };
    TW_UINT16 CheckSourceRequest(pTW_IDENTITY app, pTW_IDENTITY identity, const SourceRequest& request);

    TW_UINT16 IdentityRequest(pTW_IDENTITY app, TW_UINT16 MSG, TW_MEMREF pData);
    TW_UINT16 FindDefaultSource(pTW_IDENTITY app, pTW_IDENTITY identity);
    TW_UINT16 FindSourceByName(pTW_IDENTITY app, pTW_IDENTITY identity);
    TW_UINT16 StoreDefaultSource(pTW_IDENTITY app, pTW_IDENTITY identity);
    TW_UINT16 OpenSource(pTW_IDENTITY app, pTW_IDENTITY identity);
    TW_UINT16 CloseSource(pTW_IDENTITY app, pTW_IDENTITY identity);
    TW_UINT16 UserSelect(pTW_IDENTITY app, pTW_IDENTITY identity);

    // Unloads source `index` of the application outside the lock.
    void UnloadSource(const TW_IDENTITY* app, TW_UINT32 index) { m_apps.ReleaseSource(app, index); }

    CDsmApps m_apps;
    std::string m_defaultPath;
    int m_iterator = 0;
    std::unique_ptr<CDsmLog> m_log;
};

// The process-wide state: the manager (while one exists) and the lock that
// guards it. Each manager gets a new generation number, so code that ran a
// call out can tell whether the manager it started with still exists.
std::recursive_mutex g_lock;
std::unique_ptr<CDsm> g_dsm;
std::uint64_t g_generation = 0;

// The lock held by this thread's innermost DSM_Entry call.
thread_local std::unique_lock<std::recursive_mutex>* t_lock = nullptr;

bool Alive(const CDsm* dsm, std::uint64_t generation) {
    return g_dsm.get() == dsm && g_generation == generation;
}

TW_UINT16 CallSource(DSENTRYPROC entry, TW_IDENTITY& app, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                     TW_MEMREF pData, bool& threw) {
    TW_UINT16 rc = TWRC_FAILURE;
    threw = false;
    DsmCallOut([&] {
        try {
            rc = entry(&app, DG, DAT, MSG, pData);
        } catch (...) {
            threw = true;
        }
    });
    return rc;
}

}  // namespace

void DsmCallOut(const std::function<void()>& call) {
    std::unique_lock<std::recursive_mutex>* lock = t_lock;
    if (lock && lock->owns_lock()) {
        lock->unlock();
        try {
            call();
        } catch (...) {
            lock->lock();
            throw;
        }
        lock->lock();
    } else {
        call();
    }
}

void DsmUnloadLibrary(void* module) {
    if (!module) return;
    int result = 0;
    DsmCallOut([&] { result = dlclose(module); });
    if (result != 0) DSM_ERROR("apps", "failed to unload datasource");
}

// Memory functions ------------------------------------------------------------

TW_HANDLE DSM_MemAllocate(TW_UINT32 size) {
    if (size == 0) {
        DSM_ERROR(kModule, "_bytes is zero...");
        return nullptr;
    }
    TW_HANDLE handle = TwainMemAllocate(size);
    if (!handle) {
        DSM_ERROR(kModule, "DSM_MemAllocate failed to allocate %ld bytes...", static_cast<long>(size));
    }
    return handle;
}

void DSM_MemFree(TW_HANDLE handle) {
    if (!handle) {
        DSM_ERROR(kModule, "ignoring attempt to free null handle...");
        return;
    }
    TwainMemFree(handle);
}

TW_MEMREF DSM_MemLock(TW_HANDLE handle) {
    if (!handle) {
        DSM_ERROR(kModule, "attempting to lock null handle...");
        return nullptr;
    }
    return TwainMemLock(handle);
}

void DSM_MemUnlock(TW_HANDLE handle) {
    if (!handle) {
        DSM_ERROR(kModule, "attempting to unlock null handle...");
        return;
    }
    TwainMemUnlock(handle);
}

// DSM_Entry -------------------------------------------------------------------

extern "C" TW_UINT16 DSM_Entry(pTW_IDENTITY pOrigin, pTW_IDENTITY pDest, TW_UINT32 DG, TW_UINT16 DAT,
                               TW_UINT16 MSG, TW_MEMREF pData) {
    if (!pOrigin) return TWRC_FAILURE;

    std::unique_lock<std::recursive_mutex> lock(g_lock);
    std::unique_lock<std::recursive_mutex>* outer = t_lock;
    t_lock = &lock;
    struct Restore {
        std::unique_lock<std::recursive_mutex>* outer;
        ~Restore() { t_lock = outer; }
    } restore{outer};

    if (!g_dsm) {
        if (DG == DG_CONTROL && DAT == DAT_PARENT && MSG == MSG_OPENDSM) {
            std::unique_ptr<CDsm> dsm(new (std::nothrow) CDsm);
            if (!dsm || !dsm->Create()) {
                if (!dsm) MessageBoxW(L"Failed to new CDsm!!!", kCaption, MB_OK);
                return TWRC_FAILURE;
            }
            g_dsm = std::move(dsm);
            ++g_generation;
        } else {
            if (DG == DG_CONTROL && DAT == DAT_STATUS && (MSG == MSG_GET || MSG == MSG_CHECKSTATUS) && pData) {
                auto* status = static_cast<TW_STATUS*>(pData);
                status->ConditionCode = TWCC_BUMMER;
                status->Data = 0;
                return TWRC_SUCCESS;
            }
            return TWRC_FAILURE;
        }
    }

    CDsm* dsm = g_dsm.get();
    const std::uint64_t generation = g_generation;
    const TW_UINT16 rc = dsm->Dispatch(pOrigin, pDest, DG, DAT, MSG, pData);
    if (rc == TWRC_SUCCESS && DG == DG_CONTROL && DAT == DAT_PARENT && MSG == MSG_CLOSEDSM &&
        Alive(dsm, generation) && dsm->HighestAppState() != 3) {
        g_dsm.reset();
    }
    return rc;
}

// Dispatch --------------------------------------------------------------------

TW_UINT16 CDsm::Dispatch(pTW_IDENTITY pOrigin, pTW_IDENTITY pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                         TW_MEMREF pData) {
    pTW_IDENTITY app = pOrigin;
    pTW_IDENTITY source = pDest;
    if (DAT == DAT_NULL || ((DAT == DAT_CALLBACK || DAT == DAT_CALLBACK2) && MSG == MSG_INVOKE_CALLBACK)) {
        app = pDest;
        source = pOrigin;
    }

    const bool logged = LogCall(pOrigin, pDest, DG, DAT, MSG, pData);
    const std::uint64_t generation = g_generation;

    TW_UINT16 rc = TWRC_FAILURE;
    switch (DAT) {
    case DAT_NULL: rc = NotifyApp(app, source, MSG); break;
    case DAT_EVENT:
        rc = MSG == MSG_PROCESSEVENT ? ProcessEvent(app, source, DG, DAT, MSG, pData)
                                     : Forward(app, source, DG, DAT, MSG, pData);
        break;
    case DAT_IDENTITY:
        if (pDest && MSG != MSG_CLOSEDS)
            rc = Forward(app, source, DG, DAT, MSG, pData);
        else
            rc = IdentityRequest(app, MSG, pData);
        break;
    case DAT_PARENT:
        if (!app) {
            DSM_ERROR(kModule, "_pAppId is null");
            rc = Fail(app, TWCC_BADVALUE);
        } else if (DG != DG_CONTROL) {
            // Opening and closing the manager are control triplets only: a
            // close in another group would dismiss the application and keep
            // the manager alive with nobody left to close it.
            DSM_ERROR(kModule, "protocol error");
            rc = Fail(app, TWCC_BADPROTOCOL);
        } else if (MSG == MSG_OPENDSM) {
            rc = m_apps.AdmitApp(app, pData);
        } else if (MSG == MSG_CLOSEDSM) {
            rc = m_apps.DismissApp(app);
        } else {
            rc = Fail(app, TWCC_BADPROTOCOL);
        }
        break;
    case DAT_STATUS: rc = StatusRequest(app, source, DG, MSG, pData); break;
    case DAT_TWUNKIDENTITY: rc = TwunkRequest(app, MSG, pData); break;
    case DAT_CALLBACK:
    case DAT_CALLBACK2: rc = CallbackRequest(app, source, DAT, MSG, pData); break;
    case DAT_ENTRYPOINT: rc = EntryPointRequest(app, MSG, pData); break;
    default: rc = Forward(app, source, DG, DAT, MSG, pData); break;
    }

    if (logged && Alive(this, generation)) LogResult(DG, DAT, MSG, pData, rc);
    return rc;
}

bool CDsm::LogCall(const TW_IDENTITY* origin, const TW_IDENTITY* dest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                   TW_MEMREF pData) {
    if (!DsmLogEnabled()) return false;
    if (DG == DG_CONTROL && DAT == DAT_EVENT) return false;

    std::string capability;
    if (DG == DG_CONTROL && DAT == DAT_CAPABILITY && pData) {
        const auto* cap = static_cast<const TW_CAPABILITY*>(pData);
        capability = twainCapName(cap->Cap);
        if (MSG == MSG_SET) capability += twainConTypeName(cap->ConType);
    }
    DSM_TRACE(kModule, "%.32s -> %.32s", origin ? origin->ProductName : "DSM", dest ? dest->ProductName : "DSM");
    if (!capability.empty())
        DSM_TRACE(kModule, "%s/%s/%s/%s", twainDgName(DG).c_str(), twainDatName(DAT).c_str(),
                  twainMsgName(MSG).c_str(), capability.c_str());
    else
        DSM_TRACE(kModule, "%s/%s/%s", twainDgName(DG).c_str(), twainDatName(DAT).c_str(), twainMsgName(MSG).c_str());
    DsmLogIndent(1);
    return true;
}

void CDsm::LogResult(TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData, TW_UINT16 rc) {
    std::string text = twainRcName(rc);
    if (rc == TWRC_SUCCESS && DG == DG_CONTROL && pData) {
        if (DAT == DAT_CAPABILITY &&
            (MSG == MSG_GET || MSG == MSG_GETCURRENT || MSG == MSG_GETDEFAULT || MSG == MSG_RESET)) {
            text += twainConTypeName(static_cast<const TW_CAPABILITY*>(pData)->ConType);
        } else if (DAT == DAT_PENDINGXFERS) {
            const TW_UINT16 count = static_cast<const TW_PENDINGXFERS*>(pData)->Count;
            char piece[32];
            std::snprintf(piece, sizeof piece, " Count = %d", count == 0xFFFF ? -1 : static_cast<int>(count));
            text += piece;
        } else if (DAT == DAT_STATUS) {
            text.append(" ").append(twainCcName(static_cast<const TW_STATUS*>(pData)->ConditionCode));
        }
    }
    text += "\n";
    DsmLogIndent(-1);
    DSM_TRACE(kModule, "%s", text.c_str());
}

// Calls passed to a source ----------------------------------------------------

TW_UINT16 CDsm::Forward(pTW_IDENTITY app, pTW_IDENTITY source, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                        TW_MEMREF pData) {
    if (m_apps.AppState(app) != 3) {
        DSM_ERROR(kModule, "DS is not open");
        return Fail(app, TWCC_SEQERROR);
    }
    if (!m_apps.CheckIds(app, source)) {
        DSM_ERROR(kModule, "Bad TW_IDENTITY");
        return FailManagerWide(TWCC_BADPROTOCOL);
    }
    const TW_UINT32 sourceId = source->Id;
    const DSENTRYPROC entry = m_apps.DsGetEntryProc(app, sourceId);
    if (!entry) {
        DSM_ERROR(kModule, "Unable to find driver, check your AppId and DsId values...");
        DSM_ERROR(kModule, "DS_Entry is null...%ld", static_cast<long>(app->Id));
        return Fail(app, TWCC_OPERATIONERROR);
    }

    TW_IDENTITY appIdentity = *m_apps.AppIdentity(app);
    const int protocol = DsmProtocolValue(appIdentity);
    const bool nested = (protocol > kGuardProcessingAbove && m_apps.DsIsProcessingMessage(app, sourceId)) ||
                        (protocol > kGuardCallbackAbove && m_apps.DsIsAppProcessingCallback(app, sourceId));
    if (nested) {
        if (DAT == DAT_EVENT && MSG == MSG_PROCESSEVENT) {
            DSM_ERROR(kModule, "Nested DAT_EVENT / MSG_PROCESSEVENT Ignored");
            if (pData) static_cast<TW_EVENT*>(pData)->TWMessage = MSG_NULL;
            return TWRC_NOTDSEVENT;
        }
        DSM_ERROR(kModule, "Nested calls back to the DS.  Returning Failure.");
        return Fail(app, TWCC_SEQERROR);
    }

    const TW_IDENTITY appKey = *app;
    const std::uint64_t generation = g_generation;
    bool threw = false;
    TW_UINT16 rc;
    {
        const DsmCallOnThread underWay(&m_apps, app->Id, sourceId, false);
        rc = CallSource(entry, appIdentity, DG, DAT, MSG, pData, threw);
    }
    if (!Alive(this, generation)) return threw ? TWRC_FAILURE : rc;
    if (threw) {
        DSM_ERROR(kModule, "Exception caught while DS was processing message.  Returning Failure.");
        return Fail(&appKey, TWCC_BUMMER);
    }
    return rc;
}

TW_UINT16 CDsm::ProcessEvent(pTW_IDENTITY app, pTW_IDENTITY source, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                             TW_MEMREF pData) {
    if (!m_apps.CheckIds(app, source)) {
        DSM_ERROR(kModule, "Bad TW_IDENTITY");
        return FailManagerWide(TWCC_BADPROTOCOL);
    }
    if (!pData) {
        DSM_ERROR(kModule, "Invalid data");
        return Fail(app, TWCC_BADVALUE);
    }
    if (m_apps.DsCallbackIsWaiting(app, source->Id)) {
        DsmSourceEntry* record = m_apps.DsCallbackGet(app, source->Id);
        static_cast<TW_EVENT*>(pData)->TWMessage = record->callbackMessage;
        if (const TW_IDENTITY* stored = m_apps.AppIdentity(app))
            DSM_TRACE(kModule, "%.32s retrieving DAT_EVENT / %s\n", stored->ProductName,
                      twainMsgName(record->callbackMessage).c_str());
        record->callbackMessage = MSG_NULL;
        record->waiting = false;
        return TWRC_DSEVENT;
    }
    return Forward(app, source, DG, DAT, MSG, pData);
}

// Notifications from a source ---------------------------------------------------

TW_UINT16 CDsm::NotifyApp(pTW_IDENTITY app, pTW_IDENTITY source, TW_UINT16 MSG) {
    if (!m_apps.CheckIds(app, source)) {
        DSM_ERROR(kModule, "bad _pAppId or _pDsId...");
        return TWRC_FAILURE;
    }
    if (MSG != MSG_XFERREADY && MSG != MSG_CLOSEDSREQ && MSG != MSG_CLOSEDSOK && MSG != MSG_DEVICEEVENT)
        return Fail(app, TWCC_BADPROTOCOL);

    const TW_UINT32 sourceId = source->Id;
    DsmSourceEntry* record = m_apps.DsCallbackGet(app, sourceId);
    TW_IDENTITY* stored = m_apps.AppIdentity(app);
    if (!record || !stored) return TWRC_FAILURE;

    if (record->callbackProc) {
        const auto callback = reinterpret_cast<TWAINCALLBACKPROC>(record->callbackProc);
        TW_IDENTITY origin = record->identity;
        TW_IDENTITY destination = *stored;
        const auto refCon = reinterpret_cast<TW_MEMREF>(record->callbackRefCon);
        const TW_IDENTITY appKey = *app;
        const std::uint64_t generation = g_generation;
        TW_UINT16 rc = TWRC_FAILURE;
        bool threw = false;
        {
            const DsmCallOnThread underWay(&m_apps, app->Id, sourceId, true);
            DsmCallOut([&] {
                try {
                    rc = callback(&origin, &destination, DG_CONTROL, DAT_NULL, MSG, refCon);
                } catch (...) {
                    threw = true;
                }
            });
        }
        if (!Alive(this, generation)) return threw ? TWRC_FAILURE : rc;
        if (threw) {
            DSM_ERROR(kModule, "Exception caught while App was processing message.  Returning Failure.");
            return Fail(&appKey, TWCC_BUMMER);
        }
        return rc;
    }

    // No callback: the message waits for the application's DAT_EVENT.
    if (record->waiting)
        DSM_ERROR(kModule, "%.32s NEVER retrieved DAT_EVENT / %s\n", stored->ProductName,
                  twainMsgName(record->callbackMessage).c_str());
    record->callbackMessage = MSG;
    record->waiting = true;
    if (TW_HANDLE window = m_apps.AppWindow(app)) {
        const HWND hwnd(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(window)));
        if (!PostMessage(hwnd, WM_NULL, 0, 0)) DSM_ERROR(kModule, "PostMessage failed...");
    }
    return TWRC_SUCCESS;
}

// Requests the manager answers itself --------------------------------------------

TW_UINT16 CDsm::StatusRequest(pTW_IDENTITY app, pTW_IDENTITY source, TW_UINT32 DG, TW_UINT16 MSG,
                              TW_MEMREF pData) {
    if (MSG == MSG_CHECKSTATUS) {
        DSM_TRACE(kModule, "MSG_CHECKSTATUS is Depreciated using MSG_GET");
        MSG = MSG_GET;
    }
    if (source && m_apps.AppState(app) == 3 && m_apps.CheckIds(app, source) &&
        m_apps.DsGetEntryProc(app, source->Id))
        return Forward(app, source, DG, DAT_STATUS, MSG, pData);
    if (MSG != MSG_GET) return Fail(app, TWCC_BADPROTOCOL);
    if (!pData) {
        DSM_ERROR(kModule, "Invalid data");
        return Fail(app, TWCC_BADVALUE);
    }
    auto* status = static_cast<TW_STATUS*>(pData);
    status->ConditionCode = m_apps.TakeConditionCode(app);
    status->Data = 0;
    return TWRC_SUCCESS;
}

TW_UINT16 CDsm::TwunkRequest(pTW_IDENTITY app, TW_UINT16 MSG, TW_MEMREF pData) {
    if (!m_apps.FindApp(app)) {
        DSM_ERROR(kModule, "_pAppId is null");
        return Fail(app, TWCC_BADVALUE);
    }
    if (MSG != MSG_GET) {
        DSM_ERROR(kModule, "protocol error");
        return Fail(app, TWCC_BADPROTOCOL);
    }
    if (m_apps.AppState(app) != 3) return Fail(app, TWCC_SEQERROR);
    if (!pData) {
        DSM_ERROR(kModule, "_pTwunkId is null");
        return Fail(app, TWCC_BADVALUE);
    }
    auto* twunk = static_cast<TW_TWUNKIDENTITY*>(pData);
    if (!m_apps.CheckIds(app, &twunk->identity)) return FailManagerWide(TWCC_BADVALUE);
    const std::string* path = m_apps.DsGetPath(app, twunk->identity.Id);
    if (!path) return FailManagerWide(TWCC_BADVALUE);
    // The path field holds 255 characters and the terminator.
    const std::size_t length = std::min(path->size(), sizeof twunk->dsPath - 1);
    std::memcpy(twunk->dsPath, path->data(), length);
    twunk->dsPath[length] = '\0';
    return TWRC_SUCCESS;
}

TW_UINT16 CDsm::CallbackRequest(pTW_IDENTITY app, pTW_IDENTITY source, TW_UINT16 DAT, TW_UINT16 MSG,
                                TW_MEMREF pData) {
    if (MSG == MSG_REGISTER_CALLBACK) {
        if (!m_apps.CheckIds(app, source)) return FailManagerWide(TWCC_BADPROTOCOL);
        if (!pData) {
            DSM_ERROR(kModule, "Invalid data");
            return FailManagerWide(TWCC_BADVALUE);
        }
        DsmSourceEntry* record = m_apps.DsCallbackGet(app, source->Id);
        if (!record) return FailManagerWide(TWCC_BADPROTOCOL);
        if (DAT == DAT_CALLBACK2) {
            const auto* callback = static_cast<const TW_CALLBACK2*>(pData);
            record->callbackProc = callback->CallBackProc;
            record->callbackRefCon = callback->RefCon;
            record->callbackMessage = callback->Message;
        } else {
            const auto* callback = static_cast<const TW_CALLBACK*>(pData);
            record->callbackProc = callback->CallBackProc;
            record->callbackRefCon = callback->RefCon;
            record->callbackMessage = callback->Message;
        }
        record->waiting = false;
        return TWRC_SUCCESS;
    }
    if (MSG == MSG_INVOKE_CALLBACK) {
        DSM_TRACE(kModule, "MSG_INVOKE_CALLBACK is deprecated - use DAT_NULL");
        if (!m_apps.CheckIds(app, source)) return FailManagerWide(TWCC_BADPROTOCOL);
        if (!pData) {
            DSM_ERROR(kModule, "Invalid data");
            return FailManagerWide(TWCC_BADVALUE);
        }
        const TW_UINT16 message = DAT == DAT_CALLBACK2 ? static_cast<const TW_CALLBACK2*>(pData)->Message
                                                       : static_cast<const TW_CALLBACK*>(pData)->Message;
        return NotifyApp(app, source, message);
    }
    return FailManagerWide(TWCC_BADPROTOCOL);
}

TW_UINT16 CDsm::EntryPointRequest(pTW_IDENTITY app, TW_UINT16 MSG, TW_MEMREF pData) {
    if (!app) {
        DSM_ERROR(kModule, "_pAppId is null");
        return Fail(app, TWCC_BADVALUE);
    }
    if (MSG != MSG_GET) {
        DSM_ERROR(kModule, "protocol error");
        return Fail(app, TWCC_BADPROTOCOL);
    }
    if (!pData) {
        DSM_ERROR(kModule, "_pEntrypoint is null");
        return Fail(app, TWCC_BADVALUE);
    }
    auto* entryPoint = static_cast<TW_ENTRYPOINT*>(pData);
    if (entryPoint->Size == 0) {
        DSM_ERROR(kModule, "_pEntrypoint is zero, it needs to be set to the size of TW_ENTRYPOINT...");
        return Fail(app, TWCC_BADVALUE);
    }
    if ((app->SupportedGroups & DF_APP2) == 0) {
        DSM_ERROR(kModule, "_pAppId->SupportedGroups must include the DF_APP2 flag to make this call...");
        return Fail(app, TWCC_BADPROTOCOL);
    }
    constexpr long kSize = static_cast<long>(sizeof(TW_ENTRYPOINT));
    if (entryPoint->Size < sizeof(TW_ENTRYPOINT)) {
        DSM_ERROR(kModule, "_pEntrypoint->Size minimum is %ld, we got %ld...", kSize,
                  static_cast<long>(entryPoint->Size));
        return Fail(app, TWCC_BADVALUE);
    }
    if (entryPoint->Size > sizeof(TW_ENTRYPOINT)) {
        DSM_ERROR(kModule, "_pEntrypoint->Size cannot be larger than %ld, we got %ld...", kSize,
                  static_cast<long>(entryPoint->Size));
        return Fail(app, TWCC_BADVALUE);
    }
    entryPoint->DSM_Entry = DSM_Entry;
    entryPoint->DSM_MemAllocate = DSM_MemAllocate;
    entryPoint->DSM_MemFree = DSM_MemFree;
    entryPoint->DSM_MemLock = DSM_MemLock;
    entryPoint->DSM_MemUnlock = DSM_MemUnlock;
    return TWRC_SUCCESS;
}

// DAT_IDENTITY requests to the manager ------------------------------------------

TW_UINT16 CDsm::CheckSourceRequest(pTW_IDENTITY app, pTW_IDENTITY identity, const SourceRequest& request) {
    if (!app) {
        DSM_ERROR(kModule, "_pAppId is null");
        return Fail(app, TWCC_BADVALUE);
    }
    if (!m_apps.FindApp(app)) {
        DSM_ERROR(kModule, request.outOfRange, static_cast<int>(app->Id));
        return Fail(app, request.outOfRangeCode);
    }
    if (m_apps.AppState(app) != 3) {
        if (request.notOpen) DSM_ERROR(kModule, "%s", request.notOpen);
        return Fail(app, TWCC_SEQERROR);
    }
    if (!identity) {
        if (request.logNullIdentity) DSM_ERROR(kModule, "_pDsId is null");
        return Fail(app, TWCC_BADDEST);
    }
    return TWRC_SUCCESS;
}

TW_UINT16 CDsm::IdentityRequest(pTW_IDENTITY app, TW_UINT16 MSG, TW_MEMREF pData) {
    if (!m_apps.FindApp(app)) {
        DSM_ERROR(kModule, "_pAppId is null");
        return Fail(app, TWCC_BADVALUE);
    }
    if (m_apps.AppState(app) != 3) return Fail(app, TWCC_SEQERROR);
    auto* identity = static_cast<pTW_IDENTITY>(pData);
    switch (MSG) {
    case MSG_GETDEFAULT: return FindDefaultSource(app, identity);
    case MSG_GETFIRST: {
        if (!identity) {
            DSM_ERROR(kModule, "bad _pAppId or _pDsId...");
            return Fail(app, TWCC_BADVALUE);
        }
        m_iterator = 1;
        if (m_apps.SourceCount(app) == 0) return TWRC_ENDOFLIST;
        CopyIdentity(identity, *m_apps.DsGetIdentity(app, 1));
        return TWRC_SUCCESS;
    }
    case MSG_GETNEXT: {
        if (!identity) return Fail(app, TWCC_BADDEST);
        if (m_iterator == 0) return Fail(app, TWCC_SEQERROR);
        ++m_iterator;
        if (m_iterator > m_apps.SourceCount(app)) {
            m_iterator = 0;
            return TWRC_ENDOFLIST;
        }
        CopyIdentity(identity, *m_apps.DsGetIdentity(app, static_cast<TW_UINT32>(m_iterator)));
        return TWRC_SUCCESS;
    }
    case MSG_SET: return StoreDefaultSource(app, identity);
    case MSG_OPENDS: return OpenSource(app, identity);
    case MSG_CLOSEDS: return CloseSource(app, identity);
    case MSG_USERSELECT: return UserSelect(app, identity);
    default: return Fail(app, TWCC_BADPROTOCOL);
    }
}

TW_UINT16 CDsm::FindDefaultSource(pTW_IDENTITY app, pTW_IDENTITY identity) {
    if (!m_apps.FindApp(app) || !identity) {
        DSM_ERROR(kModule, "bad _pAppId or _pDsId...");
        return Fail(app, TWCC_BADDEST);
    }
    const TW_UINT16 count = m_apps.SourceCount(app);
    if (count == 0) return Fail(app, TWCC_NODS);
    if (identity->Id != 0)
        DSM_ERROR(kModule,
                  "Please make sure your TW_IDENTITY.Id for your driver (the destination) is zeroed out before "
                  "making this call...");
    m_defaultPath.clear();
    CopyIdentity(identity, *m_apps.DsGetIdentity(app, 1));
    std::string stored;
    if (!DsmReadDefaultSource(stored)) return TWRC_SUCCESS;
    m_defaultPath = stored;
    for (TW_UINT32 index = 1; index <= count; ++index) {
        const std::string* path = m_apps.DsGetPath(app, index);
        if (path && *path == m_defaultPath) {
            CopyIdentity(identity, *m_apps.DsGetIdentity(app, index));
            break;
        }
    }
    return TWRC_SUCCESS;
}

TW_UINT16 CDsm::FindSourceByName(pTW_IDENTITY app, pTW_IDENTITY identity) {
    if (!m_apps.FindApp(app) || !identity) {
        DSM_ERROR(kModule, "bad _pAppId or _pDsId...");
        return TWRC_FAILURE;
    }
    if (identity->ProductName[0] == '\0') return TWRC_FAILURE;
    const TW_UINT16 count = m_apps.SourceCount(app);
    for (TW_UINT32 index = 1; index <= count; ++index) {
        const TW_IDENTITY* candidate = m_apps.DsGetIdentity(app, index);
        if (candidate && std::strncmp(candidate->ProductName, identity->ProductName, sizeof(TW_STR32)) == 0) {
            CopyIdentity(identity, *candidate);
            return TWRC_SUCCESS;
        }
    }
    return TWRC_FAILURE;
}

TW_UINT16 CDsm::StoreDefaultSource(pTW_IDENTITY app, pTW_IDENTITY identity) {
    if (const TW_UINT16 rc = CheckSourceRequest(app, identity, {"_pAppId.Id is out of range...%d", TWCC_BADVALUE,
                                                                nullptr, true});
        rc != TWRC_SUCCESS)
        return rc;
    if (identity->Id < 1 || identity->Id >= static_cast<TW_UINT32>(kDsmMaxSources)) {
        DSM_ERROR(kModule, "Id is out of range 0 - 49...");
        return Fail(app, TWCC_BADVALUE);
    }
    const std::string* path = m_apps.DsGetPath(app, identity->Id);
    if (identity->Id > m_apps.SourceCount(app) || !path || path->empty()) {
        DSM_ERROR(kModule, "DS is not valid");
        return Fail(app, TWCC_BADVALUE);
    }
    if (!DsmWriteDefaultSource(*path)) {
        DSM_ERROR(kModule, "Failed to save default DS to registry");
        return Fail(app, TWCC_BUMMER);
    }
    return TWRC_SUCCESS;
}

TW_UINT16 CDsm::OpenSource(pTW_IDENTITY app, pTW_IDENTITY identity) {
    if (const TW_UINT16 rc = CheckSourceRequest(app, identity, {"id is out of range...%d", TWCC_MAXCONNECTIONS,
                                                                "DSM must be open before opening DS", true});
        rc != TWRC_SUCCESS)
        return rc;
    if (identity->Id == 0) {
        if (identity->ProductName[0] != '\0') {
            if (FindSourceByName(app, identity) != TWRC_SUCCESS) return Fail(app, TWCC_NODS);
        } else {
            const TW_UINT16 rc = FindDefaultSource(app, identity);
            if (rc != TWRC_SUCCESS) return rc;
        }
    }
    const TW_UINT32 index = identity->Id;
    if (index < static_cast<TW_UINT32>(kDsmMaxSources) && index <= m_apps.SourceCount(app) &&
        m_apps.DsGetEntryProc(app, index)) {
        // Opening it again would unload the source under the open session.
        DSM_ERROR(kModule, "DS is already open");
        return Fail(app, TWCC_SEQERROR);
    }

    const TW_UINT16 loaded = m_apps.LoadDS(app, index);
    if (loaded != TWRC_SUCCESS) return Fail(app, TWCC_NODS);
    DSENTRYPROC entry = m_apps.DsGetEntryProc(app, index);
    if (!entry) return loaded;

    const TW_IDENTITY appKey = *app;
    const std::uint64_t generation = g_generation;
    TW_IDENTITY appIdentity = *m_apps.AppIdentity(app);
    const TW_IDENTITY sourceIdentity = *m_apps.DsGetIdentity(app, index);
    bool threw = false;

    if (sourceIdentity.SupportedGroups & DF_DS2) {
        TW_ENTRYPOINT entryPoint{};
        entryPoint.Size = sizeof entryPoint;
        entryPoint.DSM_Entry = DSM_Entry;
        entryPoint.DSM_MemAllocate = DSM_MemAllocate;
        entryPoint.DSM_MemFree = DSM_MemFree;
        entryPoint.DSM_MemLock = DSM_MemLock;
        entryPoint.DSM_MemUnlock = DSM_MemUnlock;
        const TW_UINT16 rc = CallSource(entry, appIdentity, DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &entryPoint, threw);
        if (!Alive(this, generation)) return TWRC_FAILURE;
        if (rc != TWRC_SUCCESS || threw) {
            DSM_ERROR(kModule, "DAT_ENTRYPOINT failed...");
            m_apps.SetConditionCode(&appKey, TWCC_OPERATIONERROR);
            UnloadSource(&appKey, index);
            return TWRC_FAILURE;
        }
    }

    const TW_UINT16 rc = CallSource(entry, appIdentity, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, identity, threw);
    if (!Alive(this, generation)) return threw ? TWRC_FAILURE : rc;
    if (rc == TWRC_SUCCESS && !threw) return TWRC_SUCCESS;

    DSM_ERROR(kModule, "MSG_OPENDS failed...");
    TW_STATUS status{};
    bool statusThrew = false;
    const TW_UINT16 statusRc = CallSource(entry, appIdentity, DG_CONTROL, DAT_STATUS, MSG_GET, &status, statusThrew);
    if (!Alive(this, generation)) return TWRC_FAILURE;
    m_apps.SetConditionCode(&appKey,
                            statusRc == TWRC_SUCCESS && !statusThrew ? status.ConditionCode : TWCC_NODS);
    UnloadSource(&appKey, index);
    return TWRC_FAILURE;
}

TW_UINT16 CDsm::CloseSource(pTW_IDENTITY app, pTW_IDENTITY identity) {
    if (const TW_UINT16 rc =
            CheckSourceRequest(app, identity, {"id out of range...%d", TWCC_BADVALUE, nullptr, true});
        rc != TWRC_SUCCESS)
        return rc;
    const TW_UINT32 index = identity->Id;
    if (index >= static_cast<TW_UINT32>(kDsmMaxSources) || index > m_apps.SourceCount(app)) return TWRC_SUCCESS;
    const DSENTRYPROC entry = m_apps.DsGetEntryProc(app, index);
    if (!entry) return TWRC_SUCCESS;

    const TW_IDENTITY appKey = *app;
    const std::uint64_t generation = g_generation;
    TW_IDENTITY appIdentity = *m_apps.AppIdentity(app);
    bool threw = false;
    const TW_UINT16 rc = CallSource(entry, appIdentity, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, identity, threw);
    if (!Alive(this, generation)) return threw ? TWRC_FAILURE : rc;
    if (rc != TWRC_SUCCESS || threw) return Fail(&appKey, TWCC_OPERATIONERROR);

    // The source is gone: its callback and any parked message go with it.
    if (m_apps.FindApp(&appKey)) {
        if (DsmSourceEntry* record = m_apps.DsCallbackGet(&appKey, index)) {
            record->callbackProc = nullptr;
            record->callbackRefCon = 0;
            record->callbackMessage = MSG_NULL;
            record->waiting = false;
        }
        UnloadSource(&appKey, index);
    }
    return TWRC_SUCCESS;
}

TW_UINT16 CDsm::UserSelect(pTW_IDENTITY app, pTW_IDENTITY identity) {
    if (const TW_UINT16 rc =
            CheckSourceRequest(app, identity, {"_pAppId.Id is out of range", TWCC_BADVALUE, nullptr, false});
        rc != TWRC_SUCCESS)
        return rc;

    identity->Id = 0;
    if (identity->ProductName[0] != '\0') FindSourceByName(app, identity);
    const TW_UINT16 found = FindDefaultSource(app, identity);

    DsmSelectRequest request;
    request.window = m_apps.AppWindow(app);
    request.texts = &DsmSelectTextFor(m_apps.AppIdentity(app)->Version.Language);
    const TW_UINT16 count = m_apps.SourceCount(app);
    for (TW_UINT32 index = 1; index <= count; ++index) {
        const TW_IDENTITY* source = m_apps.DsGetIdentity(app, index);
        if (!source || source->ProductName[0] == '\0') break;
        if (!m_defaultPath.empty() && *m_apps.DsGetPath(app, index) == m_defaultPath)
            request.selected = static_cast<int>(request.sources.size());
        request.sources.emplace_back(std::string(source->ProductName, strnlen(source->ProductName, 34)), index);
    }

    const DsmSelectChooser chooser = DsmGetSelectChooser();
    const TW_IDENTITY appKey = *app;
    const std::uint64_t generation = g_generation;
    int result = -1;
    TW_UINT32 chosen = 0;
    if (chooser) DsmCallOut([&] { result = chooser(request, chosen); });
    if (!Alive(this, generation)) return TWRC_FAILURE;

    if (result == 2) return TWRC_CANCEL;
    if (result != 1) {
        MessageBoxW(L"Dialog failed!", L"Error", MB_OK);
        return Fail(&appKey, TWCC_BUMMER);
    }
    if (chosen == 0) {
        DSM_ERROR(kModule, "We came out of the Select Dialog with a null...");
        return Fail(&appKey, TWCC_OPERATIONERROR);
    }
    if (chosen >= static_cast<TW_UINT32>(kDsmMaxSources) || chosen > m_apps.SourceCount(&appKey)) {
        DSM_ERROR(kModule, "Id is out of range 0 - 49...");
        return Fail(&appKey, TWCC_BUMMER);
    }
    CopyIdentity(identity, *m_apps.DsGetIdentity(&appKey, chosen));
    if (!DsmWriteDefaultSource(*m_apps.DsGetPath(&appKey, chosen))) {
        DSM_ERROR(kModule, "Failed to save default DS to registry");
        m_apps.SetConditionCode(&appKey, TWCC_BUMMER);
    }
    return found;
}
