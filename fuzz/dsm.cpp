// Drives the built-in data source manager with random triplets and random
// record contents against copies of the virtual scanner (one lenient, one
// strict with a notification thread and a paper jam, and hostile ones: short
// capability containers, images that never end, a TWAIN 1.x source). Every
// pointer handed over points to a buffer of the record's size; handles are
// the fuzzer's own or ones the scanner returned, and every capability
// container is read back through the application layer's checked reader.
// Some steps run the scan road's transfer loops on a source instead. After
// each input everything is closed: no manager may be left and every memory
// handle must be freed.
#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "scan/core/ScanNaming.h"
#include "scan/core/ScanRoad.h"
#include "scan/core/TwainApp.h"
#include "settings/ScanSetting.h"
#include "platform/core/Strings.h"
#include "twain/DsmProbe.h"
#include "twain/Logger.h"
#include "twain/TwainMemory.h"
#include "twain/dsm/Dsm.h"
#include "twain/dsm/DsmSelect.h"

namespace {

namespace fs = std::filesystem;

std::string g_folder;

// Reads the input as a sequence of small decisions; zeros after the end.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool More() const { return pos_ < size_; }
    std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint16_t U16() { return static_cast<std::uint16_t>(Byte() | Byte() << 8); }
    std::uint32_t U32() { return static_cast<std::uint32_t>(U16() | static_cast<std::uint32_t>(U16()) << 16); }
    void Fill(void* to, std::size_t n) {
        auto* p = static_cast<std::uint8_t*>(to);
        for (std::size_t i = 0; i < n; ++i) p[i] = Byte();
    }
    template <class T>
    T Pick(std::initializer_list<T> list) {
        const std::size_t i = Byte() % list.size();
        return *(list.begin() + i);
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

TW_UINT16 FuzzCallback(pTW_IDENTITY, pTW_IDENTITY, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF) { return TWRC_SUCCESS; }

const TW_UINT16 kDats[] = {DAT_NULL,          DAT_CAPABILITY,     DAT_EVENT,          DAT_IDENTITY,
                           DAT_PARENT,        DAT_PENDINGXFERS,   DAT_SETUPMEMXFER,   DAT_SETUPFILEXFER,
                           DAT_STATUS,        DAT_USERINTERFACE,  DAT_TWUNKIDENTITY,  DAT_CALLBACK,
                           DAT_CALLBACK2,     DAT_IMAGEINFO,      DAT_IMAGEMEMXFER,   DAT_IMAGENATIVEXFER,
                           DAT_IMAGEFILEXFER, DAT_EXTIMAGEINFO,   DAT_ENTRYPOINT};
const TW_UINT16 kMsgs[] = {MSG_NULL,        MSG_GET,         MSG_GETCURRENT,     MSG_GETDEFAULT,  MSG_GETFIRST,
                           MSG_GETNEXT,     MSG_SET,         MSG_RESET,          MSG_XFERREADY,   MSG_CLOSEDSREQ,
                           MSG_CLOSEDSOK,   MSG_DEVICEEVENT, MSG_CHECKSTATUS,    MSG_OPENDSM,     MSG_CLOSEDSM,
                           MSG_OPENDS,      MSG_CLOSEDS,     MSG_USERSELECT,     MSG_DISABLEDS,   MSG_ENABLEDS,
                           MSG_ENABLEDSUIONLY, MSG_PROCESSEVENT, MSG_ENDXFER, MSG_REGISTER_CALLBACK,
                           MSG_INVOKE_CALLBACK};
const TW_UINT16 kCaps[] = {CAP_XFERCOUNT,     CAP_AUTOSCAN,      CAP_DUPLEXENABLED, ICAP_JPEGQUALITY,
                           ICAP_XFERMECH,     ICAP_IMAGEFILEFORMAT, ICAP_COMPRESSION, ICAP_UNITS,
                           ICAP_PIXELTYPE,    ICAP_BITDEPTH,     ICAP_XRESOLUTION,  ICAP_YRESOLUTION,
                           ICAP_FRAMES,       CAP_SUPPORTEDCAPS, ICAP_SUPPORTEDEXTIMAGEINFO, CAP_DUPLEX};
const TW_UINT16 kInfoIds[] = {TWEI_BARCODECOUNT, TWEI_BARCODETYPE, TWEI_BARCODETEXTLENGTH, TWEI_BARCODETEXT,
                              TWEI_BARCODEX,     TWEI_PAGENUMBER,  TWEI_BOOKNAME,          TWEI_FRAME,
                              TWEI_PAGESIDE,     TWEI_MAGDATA};

// One input's world: the applications the fuzzer plays, identities that
// were admitted, and the handles the fuzzer must free.
struct Session {
    TW_IDENTITY apps[2] = {dsmtest::AppIdentity("Fuzz App One"), dsmtest::AppIdentity("Fuzz App Two")};
    std::vector<TW_IDENTITY> admitted;  // every identity the manager admitted
    std::vector<TW_HANDLE> handles;     // handles to free at the end

    void Keep(TW_HANDLE h) {
        if (h) handles.push_back(h);
    }
};

// A source identity as the manager lists it for `app` (id 1 or 2), or a
// random one.
TW_IDENTITY SourceFor(Reader& in, TW_IDENTITY& app) {
    TW_IDENTITY id{};
    TW_IDENTITY listed{};
    const TW_UINT16 msg = in.Byte() & 1 ? MSG_GETNEXT : MSG_GETFIRST;
    if ((in.Byte() & 3) != 0 && DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &listed) == TWRC_SUCCESS) {
        id = listed;
        if (msg == MSG_GETNEXT && DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &listed) == TWRC_SUCCESS)
            id = listed;
        return id;
    }
    in.Fill(&id, sizeof id);
    id.Id %= 64;
    return id;
}

std::string OutFile(Reader& in) { return g_folder + "/out/f" + std::to_string(in.Byte() % 4) + ".img"; }

// One triplet with a record built for its DAT.
void RandomCall(Reader& in, Session& s) {
    TW_IDENTITY& app = s.apps[in.Byte() & 1];
    TW_IDENTITY randomOrigin{};
    pTW_IDENTITY origin = &app;
    const std::uint8_t originKind = in.Byte() % 8;
    if (originKind == 0) {
        in.Fill(&randomOrigin, sizeof randomOrigin);
        randomOrigin.Id %= 8;
        origin = &randomOrigin;
    }
    TW_IDENTITY dest{};
    const std::uint8_t destKind = in.Byte() % 3;
    if (destKind > 0) dest = SourceFor(in, app);
    pTW_IDENTITY destPtr = destKind == 0 ? nullptr : &dest;

    const std::uint8_t dgKind = in.Byte() % 8;
    const TW_UINT32 dg = dgKind < 5 ? DG_CONTROL : dgKind < 7 ? DG_IMAGE : in.U32();
    const std::uint8_t datKind = in.Byte();
    const TW_UINT16 dat = datKind < 240 ? kDats[datKind % std::size(kDats)] : in.U16();
    const std::uint8_t msgKind = in.Byte();
    const TW_UINT16 msg = msgKind < 240 ? kMsgs[msgKind % std::size(kMsgs)] : in.U16();
    const bool nullData = in.Byte() % 16 == 0;

    // A DAT_NULL or an invoked callback can come from a source instead.
    if ((dat == DAT_NULL || msg == MSG_INVOKE_CALLBACK) && in.Byte() % 2) {
        TW_IDENTITY source = SourceFor(in, app);
        // A record of either callback form (the larger one's size).
        TW_CALLBACK2 callback{};
        in.Fill(&callback, sizeof callback);
        callback.CallBackProc = nullptr;
        DSM_Entry(&source, &app, dg, dat, msg, nullData ? nullptr : &callback);
        return;
    }

    std::vector<std::uint8_t> record;
    TW_HANDLE native = nullptr;
    TW_HANDLE ownContainer = nullptr;
    std::vector<std::uint8_t> memory;
    TW_MEMREF data = nullptr;
    auto make = [&](std::size_t size) {
        record.assign(size, 0);
        in.Fill(record.data(), size);
        data = record.data();
    };
    switch (dat) {
    case DAT_CAPABILITY: {
        make(sizeof(TW_CAPABILITY));
        auto* cap = reinterpret_cast<TW_CAPABILITY*>(record.data());
        if (in.Byte() % 8) cap->Cap = kCaps[in.Byte() % std::size(kCaps)];
        cap->hContainer = nullptr;
        if (msg == MSG_SET || in.Byte() % 4 == 0) {
            const TW_UINT32 size = 6 + in.Byte() % 40;
            ownContainer = TwainMemAllocate(size);
            in.Fill(TwainMemLock(ownContainer), size);
            TwainMemUnlock(ownContainer);
            cap->hContainer = ownContainer;
            if (in.Byte() % 2) cap->ConType = TWON_ONEVALUE;
        }
        break;
    }
    case DAT_NULL:
    case DAT_IMAGEFILEXFER: data = nullptr; break;
    case DAT_IDENTITY:
        make(sizeof(TW_IDENTITY));
        if (in.Byte() % 2) {
            const TW_IDENTITY listed = SourceFor(in, app);
            std::memcpy(record.data(), &listed, sizeof listed);
        }
        break;
    case DAT_PARENT: make(sizeof(TW_HANDLE)); break;
    case DAT_EVENT: {
        make(sizeof(TW_EVENT));
        memory.assign(64, 0);
        reinterpret_cast<TW_EVENT*>(record.data())->pEvent = memory.data();
        break;
    }
    case DAT_PENDINGXFERS: make(sizeof(TW_PENDINGXFERS)); break;
    case DAT_SETUPMEMXFER: make(sizeof(TW_SETUPMEMXFER)); break;
    case DAT_SETUPFILEXFER: {
        make(sizeof(TW_SETUPFILEXFER));
        auto* setup = reinterpret_cast<TW_SETUPFILEXFER*>(record.data());
        const std::string name = OutFile(in);
        std::memset(setup->FileName, 0, sizeof setup->FileName);
        std::memcpy(setup->FileName, name.data(), std::min(name.size(), sizeof setup->FileName - 1));
        if (in.Byte() % 2) setup->Format = in.Pick<TW_UINT16>({TWFF_TIFF, TWFF_BMP, TWFF_JFIF, TWFF_TIFFMULTI});
        break;
    }
    case DAT_STATUS: make(sizeof(TW_STATUS)); break;
    case DAT_USERINTERFACE: make(sizeof(TW_USERINTERFACE)); break;
    case DAT_TWUNKIDENTITY: {
        make(sizeof(TW_TWUNKIDENTITY));
        if (in.Byte() % 2) {
            const TW_IDENTITY listed = SourceFor(in, app);
            std::memcpy(record.data(), &listed, sizeof listed);
        }
        break;
    }
    case DAT_CALLBACK:
    case DAT_CALLBACK2: {
        make(dat == DAT_CALLBACK ? sizeof(TW_CALLBACK) : sizeof(TW_CALLBACK2));
        TW_MEMREF proc = in.Byte() % 4 ? reinterpret_cast<TW_MEMREF>(&FuzzCallback) : nullptr;
        std::memcpy(record.data(), &proc, sizeof proc);
        break;
    }
    case DAT_ENTRYPOINT: {
        make(sizeof(TW_ENTRYPOINT));
        const TW_UINT32 size = in.Pick<TW_UINT32>(
            {0, 24, static_cast<TW_UINT32>(sizeof(TW_ENTRYPOINT)), static_cast<TW_UINT32>(sizeof(TW_ENTRYPOINT) + 1),
             static_cast<TW_UINT32>(sizeof(TW_ENTRYPOINT))});
        std::memcpy(record.data(), &size, sizeof size);
        break;
    }
    case DAT_IMAGEINFO: make(sizeof(TW_IMAGEINFO)); break;
    case DAT_IMAGEMEMXFER: {
        make(sizeof(TW_IMAGEMEMXFER));
        auto* xfer = reinterpret_cast<TW_IMAGEMEMXFER*>(record.data());
        memory.assign(1 + in.U16() % 8192, 0);
        xfer->Memory.TheMem = memory.data();
        if (xfer->Memory.Length > memory.size()) xfer->Memory.Length = static_cast<TW_UINT32>(memory.size());
        if (in.Byte() % 4) xfer->Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
        break;
    }
    case DAT_IMAGENATIVEXFER: data = &native; break;
    case DAT_EXTIMAGEINFO: {
        const std::size_t count = in.Byte() % 6;
        record.assign(TwainExtImageInfoSize(count == 0 ? 1 : count), 0);
        auto* ext = reinterpret_cast<TW_EXTIMAGEINFO*>(record.data());
        ext->NumInfos = static_cast<TW_UINT32>(count);
        for (std::size_t i = 0; i < count; ++i) {
            in.Fill(&ext->Info[i], sizeof(TW_INFO));
            ext->Info[i].InfoID = kInfoIds[in.Byte() % std::size(kInfoIds)];
            ext->Info[i].Item = 0;
        }
        data = record.data();
        break;
    }
    default: make(64); break;
    }
    if (nullData && dat != DAT_IMAGENATIVEXFER) data = nullptr;

    const TW_UINT16 rc = DSM_Entry(origin, destPtr, dg, dat, msg, data);

    // Whatever container the record holds now (the fuzzer's own, or one the
    // source answered with) is read as the scan road reads it.
    if (dat == DAT_CAPABILITY && data) {
        TW_UINT32 current = 0;
        getCapabilityCurrent(*reinterpret_cast<TW_CAPABILITY*>(record.data()), current);
    }

    // Every admission is closed at the end, also a second one of the same
    // identity record (with another window) that took a new id.
    if (dat == DAT_PARENT && msg == MSG_OPENDSM && rc == TWRC_SUCCESS) s.admitted.push_back(*origin);
    if (dat == DAT_CAPABILITY && data && rc == TWRC_SUCCESS) {
        const TW_HANDLE got = reinterpret_cast<TW_CAPABILITY*>(record.data())->hContainer;
        if (got && got != ownContainer) s.Keep(got);
    }
    s.Keep(ownContainer);
    if (dat == DAT_IMAGENATIVEXFER) s.Keep(native);
    if (dat == DAT_EXTIMAGEINFO && data && rc == TWRC_SUCCESS) {
        auto* ext = reinterpret_cast<TW_EXTIMAGEINFO*>(record.data());
        for (TW_UINT32 i = 0; i < ext->NumInfos; ++i) {
            const TW_INFO& info = ext->Info[i];
            if (info.ReturnCode != TWRC_SUCCESS) continue;
            const bool inHandle = info.ItemType == TWTY_HANDLE || info.ItemType == TWTY_FRAME ||
                                  (info.ItemType >= TWTY_STR32 && info.ItemType <= TWTY_STR1024) ||
                                  twainItemSize(info.ItemType) * info.NumItems > kTwainInfoInlineBytes;
            if (inHandle) s.Keep(reinterpret_cast<TW_HANDLE>(info.Item));
        }
    }
}

// A whole scan on one source, with the mechanism and pixel type the input
// picks, so that inputs reach the transfers quickly.
void ScanBurst(Reader& in, Session& s) {
    TW_IDENTITY& app = s.apps[in.Byte() & 1];
    TW_IDENTITY source = SourceFor(in, app);
    DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source);
    TW_CALLBACK callback{reinterpret_cast<TW_MEMREF>(&FuzzCallback), 0, 0};
    DSM_Entry(&app, &source, DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &callback);
    auto set = [&](TW_UINT16 cap, TW_UINT16 type, TW_UINT32 value) {
        TW_CAPABILITY c{cap, TWON_ONEVALUE, TwainMemAllocate(sizeof(TW_ONEVALUE))};
        auto* one = static_cast<TW_ONEVALUE*>(TwainMemLock(c.hContainer));
        one->ItemType = type;
        one->Item = value;
        TwainMemUnlock(c.hContainer);
        DSM_Entry(&app, &source, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &c);
        TwainMemFree(c.hContainer);
    };
    const TW_UINT16 mech = in.Byte() % 3;
    const TW_UINT16 pixelType = in.Byte() % 3;
    set(ICAP_PIXELTYPE, TWTY_UINT16, pixelType);
    set(ICAP_XFERMECH, TWTY_UINT16, mech);
    set(ICAP_XRESOLUTION, TWTY_FIX32, TwainFix32Bits(TW_FIX32{static_cast<TW_INT16>(in.Pick<int>({75, 150, 600})), 0}));
    TW_USERINTERFACE ui{static_cast<TW_BOOL>(in.Byte() % 2), 1, nullptr};
    DSM_Entry(&app, &source, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
    for (int page = 0; page < 4; ++page) {
        TW_IMAGEINFO info{};
        DSM_Entry(&app, &source, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info);
        if (mech == TWSX_FILE) {
            TW_SETUPFILEXFER setup{};
            const std::string name = OutFile(in);
            std::strncpy(setup.FileName, name.c_str(), sizeof setup.FileName - 1);
            setup.Format = in.Pick<TW_UINT16>({TWFF_TIFF, TWFF_BMP, TWFF_JFIF, TWFF_TIFFMULTI});
            DSM_Entry(&app, &source, DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup);
            DSM_Entry(&app, &source, DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
        } else if (mech == TWSX_NATIVE) {
            TW_HANDLE dib = nullptr;
            DSM_Entry(&app, &source, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib);
            s.Keep(dib);
        } else {
            std::vector<std::uint8_t> buffer(64 + in.Byte() * 16);
            for (int strip = 0; strip < 200; ++strip) {
                TW_IMAGEMEMXFER xfer{};
                xfer.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
                xfer.Memory.Length = static_cast<TW_UINT32>(buffer.size());
                xfer.Memory.TheMem = buffer.data();
                if (DSM_Entry(&app, &source, DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer) != TWRC_SUCCESS) break;
            }
        }
        TW_PENDINGXFERS pending{};
        DSM_Entry(&app, &source, DG_CONTROL, DAT_PENDINGXFERS, in.Byte() % 8 ? MSG_ENDXFER : MSG_RESET, &pending);
    }
    if (in.Byte() % 2) {
        DSM_Entry(&app, &source, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
        DSM_Entry(&app, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source);
    }
}

// The scan road's transfer loops on one source the input picks (the hostile
// ones among them), with the mechanism and pixel type it picks.
void RoadBurst(Reader& in) {
    ScanTwainApp app(nullptr);
    app.openDSM();
    if (!app.m_sourceList.empty()) {
        const TW_IDENTITY& source = app.m_sourceList[in.Byte() % app.m_sourceList.size()];
        app.openSource(static_cast<int>(source.Id));
    }
    if (app.m_DSMState == 4) {
        TW_UINT32 value = 0;
        for (const TW_CAPABILITY& c : app.m_caps) getCapabilityCurrent(c, value);
        const TW_UINT16 mechanism = in.Byte() % 3;
        app.setCapValue(ICAP_PIXELTYPE, in.Byte() % 3, TWTY_UINT16);
        app.setCapValue(ICAP_XFERMECH, mechanism, TWTY_UINT16);
        const TW_UINT16 format = in.Pick<TW_UINT16>({TWFF_TIFF, TWFF_BMP, TWFF_JFIF, TWFF_TIFFMULTI});
        app.setCapValue(ICAP_IMAGEFILEFORMAT, format, TWTY_UINT16);
        if (app.enableDS(nullptr, false)) {
            if (!app.m_callbackRegistered) app.pollSourceEvent();
            if (app.waitForMessage({MSG_XFERREADY}, std::chrono::milliseconds(200)) == MSG_XFERREADY) {
                app.m_DSMState = 6;
                g_scanMode = SCAN_APPEND;
                InitScanFileNumber();
                if (mechanism == TWSX_FILE) transferFile(&app, format);
                else if (mechanism == TWSX_NATIVE) transferNative(&app);
                else transferMemory(&app);
                g_scanMode = SCAN_IDLE;
            }
            app.disableSource();
        }
    }
    app.closeDSM();
    std::lock_guard guard(g_scannedFilesLock);
    g_scannedFiles.clear();
    g_lastScannedIndex = -1;
}

void CloseApp(TW_IDENTITY& app) {
    // Leave the sources open now and then: closing the manager shuts them
    // down itself.
    DSM_Entry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, nullptr);
}

void WriteSource(const std::string& folder, const std::string& name, const std::string& ini) {
    fs::create_directories(folder);
    fs::copy_file(TESSAVAN_FUZZ_VDS_PATH, folder + "/" + name + ".ds", fs::copy_options::overwrite_existing);
    std::ofstream(folder + "/" + name + ".ini") << ini;
}

void RemoveFolder() {
    std::error_code ec;
    fs::remove_all(g_folder, ec);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char base[] = "/tmp/tessavan-fuzz-dsm-XXXXXX";
    if (!mkdtemp(base)) std::abort();
    g_folder = base;
    std::atexit(RemoveFolder);
    WriteSource(g_folder + "/sources", "lenient",
                "product=Lenient\nnotify=sync\npages=2\nwidth=10\nheight=8\nmem_rows=3\nbarcode=FUZZ42\n");
    WriteSource(g_folder + "/sources/sub", "strict",
                "product=Strict\nstrict=1\nnotify=thread\npages=3\nwidth=9\nheight=7\njam_page=2\n");
    // Hostile sources (ids 3 to 6, after the two above).
    const std::string small = "notify=sync\npages=2\nwidth=10\nheight=8\nmem_rows=3\n";
    WriteSource(g_folder + "/sources/zz", "endless", "product=Endless\nendless=0\nendless_limit=300\n" + small);
    WriteSource(g_folder + "/sources/zz", "legacy", "product=Legacy\nlegacy=1\nundefined_length=1\n" + small);
    WriteSource(g_folder + "/sources/zz", "short", "product=Short\nshort_containers=2\n" + small);
    WriteSource(g_folder + "/sources/zz", "unknown", "product=Unknown\nendless=77\nendless_limit=300\n" + small);
    // Keep both libraries mapped between inputs: loading a sanitized library
    // costs ten times what an input does. The manager still loads and
    // unloads them as always (reference counts), and closes every source it
    // opened, which gives the scanner a fresh session each input.
    for (const char* path : {"/sources/lenient.ds", "/sources/sub/strict.ds", "/sources/zz/endless.ds",
                             "/sources/zz/legacy.ds", "/sources/zz/short.ds", "/sources/zz/unknown.ds"})
        if (!dlopen((g_folder + path).c_str(), RTLD_NOW | RTLD_NODELETE)) std::abort();
    fs::create_directories(g_folder + "/out");
    fs::create_directories(g_folder + "/config");
    // The road's pages go into the scan folder; its log lines nowhere.
    fs::create_directories(g_folder + "/scan");
    ScanSetting::scanFolder = FromUtf8(g_folder + "/scan");
    static std::FILE* quiet = std::fopen("/dev/null", "w");
    CLogger::Instance().SetConsoleForTesting(quiet);
    setenv("TESSAVAN_TWAIN_SOURCES", (g_folder + "/sources").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (g_folder + "/config").c_str(), 1);
    unsetenv("DSM_LOG");
    unsetenv("DSM_USEAPPID");
    // The selection "dialog": confirms the first source, cancels, or cannot
    // be shown, by turns.
    DsmSetSelectChooser([](const DsmSelectRequest& request, TW_UINT32& chosen) {
        static unsigned turn = 0;
        ++turn;
        chosen = request.sources.empty() ? 0 : request.sources.front().second;
        return turn % 3 == 0 ? 2 : turn % 3 == 1 ? 1 : -1;
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::size_t handlesBefore = TwainMemLiveCount();
    Reader in(data, size);
    Session s;
    for (TW_IDENTITY& app : s.apps) {
        TW_HANDLE window = nullptr;
        if (DSM_Entry(&app, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &window) == TWRC_SUCCESS)
            s.admitted.push_back(app);
    }
    for (int step = 0; step < 64 && in.More(); ++step) {
        const std::uint8_t kind = in.Byte() % 8;
        if (kind == 0)
            ScanBurst(in, s);
        else if (kind == 1)
            RoadBurst(in);
        else
            RandomCall(in, s);
    }
    for (TW_IDENTITY& admitted : s.admitted) CloseApp(admitted);
    for (TW_HANDLE h : s.handles) TwainMemFree(h);
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(g_folder + "/scan", ec)) fs::remove_all(e.path(), ec);
    if (!dsmtest::ManagerGone()) {
        std::fprintf(stderr, "a manager is left after every application closed it\n");
        std::abort();
    }
    if (TwainMemLiveCount() != handlesBefore) {
        std::fprintf(stderr, "%zu memory handles leaked\n", TwainMemLiveCount() - handlesBefore);
        std::abort();
    }
    return 0;
}
