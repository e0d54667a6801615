#include "scan/core/TwainApp.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "twain/Logger.h"
#include "twain/TwainMemory.h"
#include "twain/TwainNames.h"
#include "twain/dsm/Dsm.h"

namespace {

// The manager's entry point, filled by DAT_ENTRYPOINT.
TW_ENTRYPOINT g_entryPoint{};
bool g_haveEntryPoint = false;
std::mutex g_entryLock;

// The shared default-source identity: zeroed before each use.
TW_IDENTITY g_defaultSource{};

// Live application objects, for the callback.
std::mutex g_appsLock;
std::vector<TwainApp*> g_apps;

void CopyStr32(char* to, const char* from) {
    std::memset(to, 0, sizeof(TW_STR32));
    std::strncpy(to, from, sizeof(TW_STR32) - 1);
}

std::string Str32(const char* text) { return std::string(text, strnlen(text, sizeof(TW_STR32))); }

}  // namespace

TW_HANDLE TwainAppAllocate(TW_UINT32 size) {
    std::lock_guard guard(g_entryLock);
    if (g_haveEntryPoint && g_entryPoint.DSM_MemAllocate) return g_entryPoint.DSM_MemAllocate(size);
    return TwainMemAllocate(size);
}
void TwainAppFree(TW_HANDLE handle) {
    if (!handle) return;
    std::lock_guard guard(g_entryLock);
    if (g_haveEntryPoint && g_entryPoint.DSM_MemFree) g_entryPoint.DSM_MemFree(handle);
    else TwainMemFree(handle);
}
TW_MEMREF TwainAppLock(TW_HANDLE handle) {
    std::lock_guard guard(g_entryLock);
    if (g_haveEntryPoint && g_entryPoint.DSM_MemLock) return g_entryPoint.DSM_MemLock(handle);
    return TwainMemLock(handle);
}
void TwainAppUnlock(TW_HANDLE handle) {
    std::lock_guard guard(g_entryLock);
    if (g_haveEntryPoint && g_entryPoint.DSM_MemUnlock) g_entryPoint.DSM_MemUnlock(handle);
    else TwainMemUnlock(handle);
}

bool getCapabilityCurrent(const TW_CAPABILITY& record, TW_UINT32& value) {
    // Every read is checked against the container's block: a source's
    // container may claim more than it holds.
    const TW_HANDLE h = record.hContainer;
    TW_UINT16 type = 0;
    if (!h || !TwainMemRead(h, 0, &type, sizeof type) || type > TWTY_BOOL) return false;
    const std::size_t itemSize = twainItemSize(type);
    // The item's bytes as they lie in the container; a one-value or a range
    // holds a 32-bit field whatever the type.
    std::uint8_t item[4] = {};
    switch (record.ConType) {
    case TWON_ENUMERATION: {
        TW_ENUMERATION e;
        constexpr std::size_t kList = offsetof(TW_ENUMERATION, ItemList);
        if (!TwainMemRead(h, 0, &e, kList) || e.CurrentIndex >= e.NumItems) return false;
        // The whole list it claims must be there, not only the current item.
        if (kList + static_cast<std::uint64_t>(e.NumItems) * itemSize > TwainMemSize(h)) return false;
        if (!TwainMemRead(h, kList + static_cast<std::size_t>(e.CurrentIndex) * itemSize, item, itemSize))
            return false;
        break;
    }
    case TWON_ONEVALUE: {
        if (TwainMemSize(h) < sizeof(TW_ONEVALUE)) return false;
        if (!TwainMemRead(h, offsetof(TW_ONEVALUE, Item), item, sizeof item)) return false;
        break;
    }
    case TWON_RANGE: {
        TW_RANGE r;
        if (!TwainMemRead(h, 0, &r, sizeof r)) return false;
        value = r.CurrentValue;
        return true;
    }
    default: return false;
    }
    switch (type) {
    case TWTY_INT8: value = static_cast<TW_UINT32>(static_cast<std::int32_t>(static_cast<std::int8_t>(item[0]))); break;
    case TWTY_UINT8: value = item[0]; break;
    case TWTY_INT16: {
        std::int16_t v;
        std::memcpy(&v, item, 2);
        value = static_cast<TW_UINT32>(static_cast<std::int32_t>(v));
        break;
    }
    case TWTY_UINT16:
    case TWTY_BOOL: {
        std::uint16_t v;
        std::memcpy(&v, item, 2);
        value = v;
        break;
    }
    default: std::memcpy(&value, item, 4); break;
    }
    return true;
}

// ---- TwainApp ------------------------------------------------------------------

TwainApp::TwainApp(void* parentWindow) : m_parentWindow(parentWindow) {
    TwainApp::setDefaultIdentity(m_appIdentity);
    std::lock_guard guard(g_appsLock);
    g_apps.push_back(this);
}

TwainApp::~TwainApp() {
    {
        std::lock_guard guard(g_appsLock);
        g_apps.erase(std::remove(g_apps.begin(), g_apps.end(), this), g_apps.end());
    }
    m_sourceList.clear();
    m_extImageInfoText.clear();
    m_saveFolder.clear();
}

void TwainApp::setDefaultIdentity(TW_IDENTITY& identity) {
    std::memset(&identity, 0, sizeof identity);
    identity.Id = 0;
    identity.Version.MajorNum = 2;
    identity.Version.MinorNum = 0;
    identity.Version.Language = TWLG_ENGLISH_CANADIAN;
    identity.Version.Country = TWCY_CANADA;
    CopyStr32(identity.Version.Info, "2.0.9");
    identity.ProtocolMajor = 2;
    identity.ProtocolMinor = 4;
    identity.SupportedGroups = DF_APP2 | DG_IMAGE | DG_CONTROL;
    CopyStr32(identity.Manufacturer, "App's Manufacturer");
    CopyStr32(identity.ProductFamily, "App's Product Family");
    CopyStr32(identity.ProductName, "Specific App Product Name");
}

TW_UINT16 TwainApp::callDSMEntry(pTW_IDENTITY dest, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
    return DSM_Entry(&m_appIdentity, dest, dg, dat, msg, data);
}

TW_UINT16 TwainApp::readConditionCode(pTW_IDENTITY dest) {
    TW_STATUS status{};
    if (callDSMEntry(dest, DG_CONTROL, DAT_STATUS, MSG_GET, &status) != TWRC_SUCCESS) return 0;
    m_lastConditionCode = status.ConditionCode;
    return status.ConditionCode;
}

void TwainApp::openDSM() {
    if (m_DSMState >= 4) {
        logAppMessage("The DSM has already been opened, close it first\n");
        CLogger::Instance().Warn("The DSM has already been opened, close it first");
        return;
    }
    m_DSMState = 2;
    TW_UINT16 rc = callDSMEntry(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &m_parentWindow);
    if (rc != TWRC_SUCCESS) {
        logAppMessage("DG_CONTROL / DAT_PARENT / MSG_OPENDSM Failed: %u\n", rc);
        CLogger::Instance().Error("DG_CONTROL / DAT_PARENT / MSG_OPENDSM Failed: %u", rc);
        return;
    }
    if (m_appIdentity.SupportedGroups & DF_DSM2) {
        TW_ENTRYPOINT entry{};
        entry.Size = sizeof(TW_ENTRYPOINT);
        rc = callDSMEntry(nullptr, DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &entry);
        if (rc != TWRC_SUCCESS) {
            logAppMessage("DG_CONTROL / DAT_ENTRYPOINT / MSG_GET Failed: %d\n", rc);
            CLogger::Instance().Error("DG_CONTROL / DAT_ENTRYPOINT / MSG_GET Failed: %d", rc);
            return;
        }
        std::lock_guard guard(g_entryLock);
        g_entryPoint = entry;
        g_haveEntryPoint = true;
    }
    CLogger::Instance().Info("Successfully opened the DSM");
    logAppMessage("Successfully opened the DSM\n");
    m_DSMState = 3;
    m_sourceList.clear();
    refreshSourceList();
}

void TwainApp::closeDSM() {
    if (m_DSMState < 3) return;
    if (m_DSMState >= 4) {
        if (m_DSMState >= 5) disableSource();
        if (m_DSMState >= 5) {
            logAppMessage("app: Stop any transfer we may have started but could not finish...\n");
            TW_PENDINGXFERS pending{};
            callDSMEntry(m_currentSource, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
            if (pending.Count != 0) callDSMEntry(m_currentSource, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
            m_DSMState = 5;
            disableSource();
        }
        closeSource();
    }
    const TW_UINT16 rc = callDSMEntry(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &m_parentWindow);
    if (rc != TWRC_SUCCESS) {
        CLogger::Instance().Error("Failed to close the DSM");
        readConditionCode(nullptr);
        return;
    }
    logAppMessage("Successfully closed the DSM\n");
    CLogger::Instance().Error("Successfully closed the DSM");
    m_DSMState = 2;
}

void TwainApp::refreshSourceList() {
    if (m_DSMState < 3) {
        logAppMessage("You need to open the DSM first.\n");
        CLogger::Instance().Error("You need to open the DSM first.");
        return;
    }
    TW_IDENTITY identity{};
    TW_UINT16 rc = callDSMEntry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &identity);
    if (rc == TWRC_SUCCESS) {
        m_sourceList.push_back(identity);
    } else if (rc == TWRC_ENDOFLIST) {
        return;
    } else if (rc == TWRC_FAILURE) {
        readConditionCode(nullptr);
        CLogger::Instance().Error("Failed to get the data source info!.");
    }
    for (;;) {
        std::memset(&identity, 0, sizeof identity);
        rc = callDSMEntry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &identity);
        if (rc == TWRC_SUCCESS) {
            m_sourceList.push_back(identity);
            continue;
        }
        if (rc == TWRC_FAILURE) {
            readConditionCode(nullptr);
            CLogger::Instance().Error("Failed to get the rest of the data source info!");
        }
        break;
    }
}

const TW_IDENTITY* TwainApp::sourceAt(unsigned index) const {
    if (index & 0x8000u) return m_currentSource;
    if (index >= m_sourceList.size()) return nullptr;
    return &m_sourceList[index];
}

void TwainApp::openSource(int sourceId) {
    if (m_DSMState <= 2) {
        logAppMessage("The DSM needs to be opened first.\n");
        CLogger::Instance().Warn("The DSM needs to be opened first.");
        return;
    }
    if (m_DSMState >= 4) {
        logAppMessage("A source has already been opened, please close it first\n");
        CLogger::Instance().Error("A source has already been opened, please close it first.");
        return;
    }
    if (sourceId > 0) {
        m_currentSource = nullptr;
        for (TW_IDENTITY& identity : m_sourceList)
            if (identity.Id == static_cast<TW_UINT32>(sourceId)) {
                m_currentSource = &identity;
                break;
            }
        if (!m_currentSource) {
            logAppMessage("Data source with id: [%u] can not be found\n", static_cast<unsigned>(sourceId));
            CLogger::Instance().Error("Data source with id: [%u] can not be found", static_cast<unsigned>(sourceId));
            return;
        }
    } else {
        std::memset(&g_defaultSource, 0, sizeof g_defaultSource);
        m_currentSource = &g_defaultSource;
    }
    const TW_UINT16 rc = callDSMEntry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, m_currentSource);
    if (rc != TWRC_SUCCESS) {
        readConditionCode(nullptr);
        CLogger::Instance().Error("Failed to open data source. twrc=%d", rc);
        logAppMessage("%s\n", Str32(m_currentSource->Manufacturer).c_str());
        logAppMessage("%s\n", Str32(m_currentSource->ProductName).c_str());
        logAppMessage("%s\n", Str32(m_currentSource->ProductFamily).c_str());
        m_currentSource = nullptr;
        return;
    }
    logAppMessage("Data source successfully opened!\n");
    CLogger::Instance().Info("Data source successfully opened!");
    m_DSMState = 4;
    m_callbackRegistered = false;
    if ((m_appIdentity.SupportedGroups & DF_DSM2) && (m_currentSource->SupportedGroups & DF_DS2)) {
        TW_CALLBACK callback{};
        callback.CallBackProc = reinterpret_cast<TW_MEMREF>(&OnSourceMessage);
        callback.RefCon = 0;
        callback.Message = 0;
        const TW_UINT16 crc = callDSMEntry(m_currentSource, DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &callback);
        if (crc != TWRC_SUCCESS) {
            logAppMessage("DG_CONTROL / DAT_CALLBACK / MSG_REGISTER_CALLBACK Failed: %u\n", crc);
            CLogger::Instance().Error("DG_CONTROL / DAT_CALLBACK / MSG_REGISTER_CALLBACK Failed: %u", crc);
        } else {
            m_callbackRegistered = true;
        }
    } else {
        logAppMessage("DG_CONTROL / DAT_CALLBACK / MSG_REGISTER_CALLBACK not supported\n");
        CLogger::Instance().Error("DG_CONTROL / DAT_CALLBACK / MSG_REGISTER_CALLBACK not supported");
    }
}

void TwainApp::closeSource() {
    if (m_DSMState <= 3) {
        logAppMessage("You need to open a data source first.\n");
        CLogger::Instance().Error("You need to open a data source first");
        return;
    }
    const TW_UINT16 rc = callDSMEntry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, m_currentSource);
    if (rc != TWRC_SUCCESS) {
        readConditionCode(nullptr);
        CLogger::Instance().Error("Failed to close data source.");
        return;
    }
    logAppMessage("Data source successfully closed\n");
    CLogger::Instance().Error("Data source successfully closed");
    m_DSMState = 3;
    m_callbackRegistered = false;
    std::lock_guard guard(g_appsLock);  // the callback reads the current source under this lock
    m_currentSource = nullptr;
}

bool TwainApp::enableDS(void* parent, bool showUI) {
    if (m_DSMState <= 3) {
        logAppMessage("You need to open the data source first.\n");
        CLogger::Instance().Error("You need to open the data source first");
        return false;
    }
    m_userInterface.ShowUI = showUI ? 1 : 0;
    m_userInterface.ModalUI = 1;
    m_userInterface.hParent = parent;
    m_DSMState = 5;
    const TW_UINT16 rc = callDSMEntry(m_currentSource, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &m_userInterface);
    if (rc == TWRC_SUCCESS || rc == TWRC_CHECKSTATUS) return true;
    m_DSMState = 4;
    readConditionCode(m_currentSource);
    CLogger::Instance().Error("Cannot enable source");
    return false;
}

bool TwainApp::enableUIOnly(void* parent) {
    if (m_DSMState < 4) {
        logAppMessage("You need to open the data source first.\n");
        return false;
    }
    m_DSMState = 5;
    m_userInterface.ShowUI = 1;
    m_userInterface.ModalUI = 1;
    m_userInterface.hParent = parent;
    const TW_UINT16 rc =
        callDSMEntry(m_currentSource, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, &m_userInterface);
    if (rc == TWRC_SUCCESS || rc == TWRC_CHECKSTATUS) return true;
    m_DSMState = 4;
    readConditionCode(m_currentSource);
    return false;
}

void TwainApp::disableSource() {
    if (m_DSMState <= 4) {
        logAppMessage("You need to enable the data source first.\n");
        return;
    }
    const TW_UINT16 rc = callDSMEntry(m_currentSource, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &m_userInterface);
    if (rc == TWRC_SUCCESS) m_DSMState = 4;
    else readConditionCode(m_currentSource);
}

bool TwainApp::updateIMAGEINFO() {
    std::memset(&m_pendingImageInfo, 0, sizeof m_pendingImageInfo);
    logAppMessage("app: Getting the image info...\n");
    const TW_UINT16 rc = callDSMEntry(m_currentSource, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &m_pendingImageInfo);
    if (rc != TWRC_SUCCESS) {
        readConditionCode(m_currentSource);
        CLogger::Instance().Error("Error while trying to get the image information!");
        return false;
    }
    return true;
}

TW_UINT16 TwainApp::getCapability(TW_CAPABILITY& record, TW_UINT16 msg) {
    if (msg != MSG_GET && msg != MSG_GETCURRENT) {
        logAppMessage("Bad Message.\n");
        return TWCC_BUMMER;
    }
    if (m_DSMState < 4) {
        logAppMessage("You need to open a data source first.\n");
        return TWCC_SEQERROR;
    }
    if (record.hContainer) {
        TwainAppFree(record.hContainer);
        record.hContainer = nullptr;
    }
    record.ConType = TWON_DONTCARE16;
    const TW_UINT16 rc = callDSMEntry(m_currentSource, DG_CONTROL, DAT_CAPABILITY, msg, &record);
    if (rc == TWRC_FAILURE) {
        const TW_UINT16 cc = readConditionCode(m_currentSource);
        logAppMessage("Failed to get the capability: [%s]\n", capabilityName(record.Cap).c_str());
        return cc;
    }
    return TWCC_SUCCESS;
}

TW_UINT16 TwainApp::setCapValue(TW_UINT16 capability, TW_UINT32 value, TW_UINT16 itemType) {
    TW_HANDLE h = TwainAppAllocate(sizeof(TW_ONEVALUE));
    auto* one = h ? static_cast<std::uint8_t*>(TwainAppLock(h)) : nullptr;
    if (!one) {
        if (h) TwainAppFree(h);
        readConditionCode(m_currentSource);
        return TWRC_FAILURE;
    }
    std::memcpy(one, &itemType, 2);
    std::uint8_t* item = one + offsetof(TW_ONEVALUE, Item);
    std::memset(item, 0, 4);
    if (itemType == TWTY_INT8 || itemType == TWTY_UINT8) {
        item[0] = static_cast<std::uint8_t>(value);
    } else if (itemType == TWTY_INT32 || itemType == TWTY_UINT32 || itemType == TWTY_FIX32) {
        std::memcpy(item, &value, 4);
    } else {
        const auto v = static_cast<std::uint16_t>(value);
        std::memcpy(item, &v, 2);
    }
    TwainAppUnlock(h);
    TW_CAPABILITY cap{capability, TWON_ONEVALUE, h};
    const TW_UINT16 rc = callDSMEntry(m_currentSource, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap);
    if (rc == TWRC_FAILURE) readConditionCode(m_currentSource);
    TwainAppFree(h);
    return rc;
}

TW_UINT16 TwainApp::setXResolution(TW_FIX32 value) { return setResolutionValue(ICAP_XRESOLUTION, value); }

TW_UINT16 TwainApp::setResolutionValue(TW_UINT16 capability, TW_FIX32 value) {
    return setCapValue(capability, TwainFix32Bits(value), TWTY_FIX32);
}

TW_UINT16 TwainApp::waitForMessage(std::initializer_list<TW_UINT16> accepted, std::chrono::milliseconds timeout) {
    std::unique_lock guard(m_messageLock);
    TW_UINT16 got = 0xFFFF;
    m_messageArrived.wait_for(guard, timeout, [&] {
        const TW_UINT16 now = m_DSMessage.load();
        for (TW_UINT16 a : accepted)
            if (a == now) {
                got = now;
                return true;
            }
        return false;
    });
    return got;
}

bool TwainApp::pollSourceEvent() {
    if (m_DSMState < 5 || !m_currentSource) return false;
    // No native event loop: the event record carries no event of its own.
    TW_EVENT event{};
    event.pEvent = nullptr;
    event.TWMessage = MSG_NULL;
    if (callDSMEntry(m_currentSource, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event) != TWRC_DSEVENT) return false;
    switch (event.TWMessage) {
    case MSG_XFERREADY:
    case MSG_CLOSEDSREQ:
    case MSG_CLOSEDSOK: storeMessage(event.TWMessage); return true;
    default: return false;
    }
}

void TwainApp::storeMessage(TW_UINT16 message) {
    {
        std::lock_guard guard(m_messageLock);
        m_DSMessage.store(message);
    }
    m_messageArrived.notify_all();
}

void TwainApp::setReceivesMessages(bool on) {
    std::lock_guard guard(g_appsLock);
    m_receivesMessages = on;
}

void TwainApp::readExtImageInfo() {
    m_extImageInfoText.clear();
    // How many barcodes the page carries.
    std::vector<std::uint8_t> one(TwainExtImageInfoSize(1), 0);
    auto* probe = reinterpret_cast<TW_EXTIMAGEINFO*>(one.data());
    probe->NumInfos = 1;
    probe->Info[0].InfoID = TWEI_BARCODECOUNT;
    probe->Info[0].ItemType = TWTY_UINT32;
    if (callDSMEntry(m_currentSource, DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, probe) != TWRC_SUCCESS) {
        readConditionCode(m_currentSource);
        m_extImageInfoText = "Not Supported";
        return;
    }
    TW_UINT32 barcodes = 0;
    if (probe->Info[0].ReturnCode == TWRC_SUCCESS) barcodes = static_cast<TW_UINT32>(probe->Info[0].Item & 0xFFFFFFFFu);
    if (barcodes > 100) barcodes = 100;

    static const TW_UINT16 kBarcodeIds[] = {TWEI_BARCODETYPE, TWEI_BARCODETEXTLENGTH, TWEI_BARCODETEXT, TWEI_BARCODEX,
                                            TWEI_BARCODEY, TWEI_BARCODEROTATION, TWEI_BARCODECONFIDENCE};
    auto isBarcodeId = [](TW_UINT16 id) {
        if (id == TWEI_BARCODECOUNT) return true;
        for (TW_UINT16 b : kBarcodeIds)
            if (b == id) return true;
        return false;
    };
    std::vector<TW_UINT16> ids;
    TW_CAPABILITY supported{ICAP_SUPPORTEDEXTIMAGEINFO, TWON_DONTCARE16, nullptr};
    bool haveList = false;
    if (getCapability(supported, MSG_GET) == TWCC_SUCCESS && supported.hContainer && supported.ConType == TWON_ARRAY) {
        // An array that claims more ids than its block holds is not used.
        TW_ARRAY a;
        constexpr std::size_t kList = offsetof(TW_ARRAY, ItemList);
        if (TwainMemRead(supported.hContainer, 0, &a, kList) && a.ItemType == TWTY_UINT16 &&
            kList + 2 * static_cast<std::uint64_t>(a.NumItems) <= TwainMemSize(supported.hContainer)) {
            haveList = true;
            for (TW_UINT32 i = 0; i < a.NumItems; ++i) {
                TW_UINT16 id = 0;
                if (!TwainMemRead(supported.hContainer, kList + 2 * static_cast<std::size_t>(i), &id, sizeof id)) break;
                if (!isBarcodeId(id)) ids.push_back(id);
            }
        }
    }
    if (supported.hContainer) TwainAppFree(supported.hContainer);
    if (!haveList)
        ids = {TWEI_BOOKNAME, TWEI_CHAPTERNUMBER, TWEI_DOCUMENTNUMBER, TWEI_PAGENUMBER, TWEI_PAGESIDE, TWEI_CAMERA,
               TWEI_FRAMENUMBER, TWEI_FRAME, TWEI_PIXELFLAVOR, TWEI_ENDORSEDTEXT, TWEI_MAGTYPE, TWEI_MAGDATA};
    if (barcodes > 0) {
        ids.push_back(TWEI_BARCODECOUNT);
        for (TW_UINT32 b = 0; b < barcodes; ++b)
            for (TW_UINT16 id : kBarcodeIds) ids.push_back(id);
    }
    std::vector<std::uint8_t> block(TwainExtImageInfoSize(ids.size()), 0);
    auto* ext = reinterpret_cast<TW_EXTIMAGEINFO*>(block.data());
    ext->NumInfos = static_cast<TW_UINT32>(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
        ext->Info[i].InfoID = ids[i];
        ext->Info[i].ReturnCode = TWRC_INFONOTSUPPORTED;
    }
    if (callDSMEntry(m_currentSource, DG_IMAGE, DAT_EXTIMAGEINFO, MSG_GET, ext) != TWRC_SUCCESS) {
        readConditionCode(m_currentSource);
        m_extImageInfoText = "Not Supported";
        return;
    }
    std::string text;
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const TW_INFO& info = ext->Info[i];
        if (info.ReturnCode == TWRC_INFONOTSUPPORTED) continue;
        text += extImageInfoName(info.InfoID) + ":\t";
        const bool decodedText = info.InfoID == TWEI_BARCODETEXT && info.ItemType == TWTY_HANDLE && i > 0 &&
                                 ext->Info[i - 1].InfoID == TWEI_BARCODETEXTLENGTH &&
                                 ext->Info[i - 1].NumItems == info.NumItems && info.NumItems != 0 &&
                                 info.ReturnCode == TWRC_SUCCESS;
        if (decodedText) {
            const auto length = static_cast<std::size_t>(ext->Info[i - 1].Item & 0xFFFFFFFFu);
            const auto handle = reinterpret_cast<TW_HANDLE>(info.Item);
            const std::size_t have = std::min(length, TwainMemSize(handle));
            std::string bytes(have, '\0');
            if (TwainMemRead(handle, 0, bytes.data(), have)) {
                const std::size_t check = std::min<std::size_t>(length ? length - 1 : 0, 255);
                bool printable = true;
                for (std::size_t k = 0; k < std::min(check, have); ++k)
                    if (!std::isprint(static_cast<unsigned char>(bytes[k]))) printable = false;
                if (printable) {
                    text += bytes;
                } else {
                    char hex[4];
                    for (std::size_t k = 0; k < std::min<std::size_t>(have, 60); ++k) {
                        std::snprintf(hex, sizeof hex, "%2.2X ", static_cast<unsigned char>(bytes[k]));
                        text += hex;
                    }
                }
            }
        } else {
            text += infoItemText(info);
        }
        text += "\r\n";
    }
    // The source's handles.
    for (std::size_t i = 0; i < ids.size(); ++i) {
        const TW_INFO& info = ext->Info[i];
        if (info.ReturnCode != TWRC_SUCCESS || !info.Item) continue;
        const std::size_t bytes = twainItemSize(info.ItemType) * info.NumItems;
        if (bytes > kTwainInfoInlineBytes || info.ItemType == TWTY_HANDLE || info.ItemType == TWTY_FRAME ||
            (info.ItemType >= TWTY_STR32 && info.ItemType <= TWTY_STR1024))
            TwainAppFree(reinterpret_cast<TW_HANDLE>(info.Item));
    }
    m_extImageInfoText = text;
}

// ---- ScanTwainApp ------------------------------------------------------------------

namespace {
const TW_UINT16 kRecordCaps[ScanTwainApp::kRecordCount] = {
    CAP_AUTOSCAN, CAP_DUPLEXENABLED, ICAP_JPEGQUALITY, CAP_XFERCOUNT, ICAP_XFERMECH, ICAP_IMAGEFILEFORMAT,
    ICAP_COMPRESSION, ICAP_UNITS, ICAP_PIXELTYPE, ICAP_BITDEPTH, ICAP_XRESOLUTION, ICAP_YRESOLUTION, ICAP_FRAMES};
const TW_UINT16 kReadOrder[ScanTwainApp::kRecordCount] = {
    CAP_XFERCOUNT, CAP_AUTOSCAN, ICAP_JPEGQUALITY, CAP_DUPLEXENABLED, ICAP_PIXELTYPE, ICAP_XFERMECH,
    ICAP_IMAGEFILEFORMAT, ICAP_COMPRESSION, ICAP_UNITS, ICAP_BITDEPTH, ICAP_XRESOLUTION, ICAP_YRESOLUTION,
    ICAP_FRAMES};
}  // namespace

ScanTwainApp::ScanTwainApp(void* parentWindow) : TwainApp(parentWindow) {
    for (int i = 0; i < kRecordCount; ++i) m_caps[i].Cap = kRecordCaps[i];
    setReceivesMessages(true);
}

ScanTwainApp::~ScanTwainApp() {
    setReceivesMessages(false);
    // The records own their containers.
    for (TW_CAPABILITY& c : m_caps)
        if (c.hContainer) {
            TwainAppFree(c.hContainer);
            c.hContainer = nullptr;
        }
}

void ScanTwainApp::setDefaultIdentity(TW_IDENTITY& identity) {
    TwainApp::setDefaultIdentity(identity);
    CopyStr32(identity.Manufacturer, "Archive Imaging Group");
    CopyStr32(identity.ProductFamily, "Sample Scan App");
    CopyStr32(identity.ProductName, "Command line scan app");
}

TW_CAPABILITY* ScanTwainApp::record(TW_UINT16 capability) {
    for (TW_CAPABILITY& c : m_caps)
        if (c.Cap == capability) return &c;
    return nullptr;
}

void ScanTwainApp::openSource(int sourceId) {
    TwainApp::openSource(sourceId);
    if (m_DSMState == 4) readCapabilities();
}

void ScanTwainApp::closeSource() {
    freeCapabilities();
    TwainApp::closeSource();
}

bool ScanTwainApp::SourceOpenForRecords() const {
    if (m_DSMState <= 2) {
        logAppMessage("The DSM needs to be opened first.\n");
        return false;
    }
    if (m_DSMState == 3) {
        logAppMessage("A Data Source needs to be opened first.\n");
        return false;
    }
    return true;
}

void ScanTwainApp::readCapabilities() {
    if (!SourceOpenForRecords()) return;
    for (TW_UINT16 cap : kReadOrder) {
        TW_CAPABILITY* r = record(cap);
        if (r->hContainer) TwainAppFree(r->hContainer);
        *r = TW_CAPABILITY{cap, TWON_DONTCARE16, nullptr};
        getCapability(*r, MSG_GET);
    }
}

void ScanTwainApp::freeCapabilities() {
    if (!SourceOpenForRecords()) return;
    for (TW_CAPABILITY& c : m_caps)
        if (c.hContainer) {
            TwainAppFree(c.hContainer);
            c.hContainer = nullptr;
        }
}

// ---- the callback --------------------------------------------------------------------

TW_UINT16 OnSourceMessage(pTW_IDENTITY origin, pTW_IDENTITY dest, TW_UINT32 /*dg*/, TW_UINT16 /*dat*/, TW_UINT16 msg,
                          TW_MEMREF /*data*/) {
    if (!origin) return TWRC_FAILURE;
    std::lock_guard guard(g_appsLock);
    for (TwainApp* app : g_apps) {
        if (!app->m_receivesMessages || !app->m_currentSource) continue;
        if (app->m_currentSource->Id != origin->Id) continue;
        if (dest && dest->Id != app->m_appIdentity.Id) continue;
        if (msg == MSG_NULL || msg == MSG_XFERREADY || msg == MSG_CLOSEDSREQ || msg == MSG_CLOSEDSOK) {
            app->storeMessage(msg);
            return TWRC_SUCCESS;
        }
        CLogger::Instance().Error("Error - Unknown message in callback routine");
        app->storeMessage(0);
        return TWRC_FAILURE;
    }
    return TWRC_FAILURE;
}
