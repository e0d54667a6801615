#include "scan/core/ScanRoad.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/core/BatchEngine.h"
#include "app/core/OutputRule.h"
#include "platform/core/Files.h"
#include "platform/core/Paths.h"
#include "platform/core/Strings.h"
#include "platform/core/UserDialogs.h"
#include "processing/processor/ImageProcessor.h"
#include "scan/core/ScanNaming.h"
#include "scan/core/ScanTexts.h"
#include "scan/core/TiffWriter.h"
#include "settings/PathHelpers.h"
#include "settings/ScanSetting.h"
#include "twain/Logger.h"
#include "twain/TwainMemory.h"
#include "twain/TwainNames.h"

int g_scanMode = SCAN_IDLE;
int g_scanRunCount = 0;
std::vector<std::wstring> g_scannedFiles;
int g_lastScannedIndex = -1;
std::mutex g_scannedFilesLock;
HWND g_scanDlg;

namespace {

std::atomic<long long> g_readyTimeoutMs{30000};

// The processing of the scan run in progress (user-interface thread only).
IScanProcessing* g_processingWhileScanning = nullptr;

// Lets the processing run go on while the scan holds the thread.
void LetProcessingGoOn() {
    if (g_processingWhileScanning) g_processingWhileScanning->WhileScanning();
}

// The processing side of a scan when there is no processing run to speak
// to: results still follow their pages.
class NoProcessing final : public IScanProcessing {
public:
    int RunState() const override { return 0; }
    void StartProcessing(int) override {}
};

IScanProcessing& ScanProcessing() {
    static NoProcessing none;
    return g_processingWhileScanning ? *g_processingWhileScanning : none;
}

// How long an insert or a replace waits for the processing of the files it
// is about to change.
constexpr std::chrono::minutes kSettleTimeout{2};

// The comparison image beside a result.
std::wstring ComparisonOf(const std::wstring& result) {
    return PathJoin(PathFolder(result), CImageProcessor::ComparisonName(PathFileName(result)));
}

// Removes the result `result` (and its comparison image): its page has
// changed.
void RemoveResult(const std::wstring& result) {
    if (result.empty()) return;
    for (const std::wstring& file : {result, ComparisonOf(result)})
        if (files::IsRegularFile(file)) files::Remove(file);
}

// The result of a page renamed from one scanned name to another follows it,
// with its comparison image. What lies at the new name belonged to a page
// that has moved on: it never stays beside a page it is not the result of.
// True when the page has its result at the new name now.
bool MoveResult(const std::wstring& from, const std::wstring& to) {
    if (from.empty() || to.empty()) {
        RemoveResult(from);
        RemoveResult(to);
        return false;
    }
    const std::wstring fromCompare = ComparisonOf(from), toCompare = ComparisonOf(to);
    if (!files::IsRegularFile(fromCompare) || !files::Rename(fromCompare, toCompare))
        for (const std::wstring& file : {fromCompare, toCompare})
            if (files::IsRegularFile(file)) files::Remove(file);
    if (files::IsRegularFile(from) && files::Rename(from, to)) return true;
    RemoveResult(from);
    RemoveResult(to);
    return false;
}

// The renames of an insert: each result follows its page; a page that has
// no result at its new name is processed again.
void ResultsFollow(IScanProcessing& processing, const std::vector<ScanFileMove>& moves) {
    for (const ScanFileMove& m : moves) {
        if (MoveResult(processing.ResultPathOf(m.from), processing.ResultPathOf(m.to)))
            processing.ScanResultMoved(m.to);
        else
            processing.ScanFileChanged(m.to);
    }
}

// The name of the next page of an insert-scan: the first page of a run
// takes the number of the selected file, each further page the number after
// the page before it, and the files from that number upwards move up by one
// first. Empty when the page is to be named as in a plain scan.
std::wstring NextInsertName(TW_UINT16 format) {
    if (!ScanNameRefusal().empty()) return {};
    IScanProcessing& processing = ScanProcessing();
    std::vector<ScanFileRecord> list;
    if (g_insertNumber < 0) {
        std::wstring selected;
        const int number = FindInsertPosition(list, selected);
        if (number < 0 || selected.empty()) return {};
        g_insertNumber = number;
    } else {
        list = ScanFilesFrom(g_insertNumber);
    }
    std::vector<std::wstring> paths;
    for (const ScanFileRecord& r : list) paths.push_back(PathJoin(r.folder, r.name));
    if (!processing.SettleScanFiles(paths)) {
        CLogger::Instance().Error("processing of the files to move did not end, the page is appended t=%d", g_scanRunCount);
        return {};
    }
    std::vector<ScanFileMove> moved;
    ShiftScanFilesUp(list, g_insertNumber, &moved);
    ResultsFollow(processing, moved);
    // The page takes the freed number; should a file still hold it, the
    // page is appended instead of replacing it.
    const std::wstring name = ScanFileNameFor(g_insertNumber, ScanTransferExtension(format));
    if (files::Exists(name)) return {};
    RemoveResult(processing.ResultPathOf(name));
    processing.ScanFileChanged(name);
    ++g_insertNumber;
    return name;
}

// The name of the next page of a replace-scan: the selected number, then
// the numbers after it. The result of the page it replaces goes.
std::wstring NextReplaceName(TW_UINT16 format) {
    if (!ScanNameRefusal().empty()) return {};
    if (!ScanSubFolder().empty()) CreateFolderPath(ScanTargetFolder());
    const std::wstring name = ScanFileNameFor(g_replaceNumber, ScanTransferExtension(format));
    ++g_replaceNumber;
    IScanProcessing& processing = ScanProcessing();
    if (files::Exists(name)) {
        if (!processing.SettleScanFiles({name})) {
            CLogger::Instance().Error("processing of the file to replace did not end, the page is appended t=%d",
                                      g_scanRunCount);
            return {};
        }
        RemoveResult(processing.ResultPathOf(name));
    }
    processing.ScanFileChanged(name);
    return name;
}

// Puts the name of the next page of an insert-scan or a replace-scan into
// `setup`; false when the page is to be named as in a plain scan.
bool NameInsertedOrReplacedPage(TW_SETUPFILEXFER& setup, TW_UINT16 format) {
    std::wstring name;
    if (g_scanMode == SCAN_INSERT && format != TWFF_TIFFMULTI) name = NextInsertName(format);
    else if (g_scanMode == SCAN_REPLACE && g_replaceNumber != -1) name = NextReplaceName(format);
    if (name.empty()) return false;
    const std::string bytes = ToUtf8(name);
    std::memset(setup.FileName, 0, sizeof setup.FileName);
    if (bytes.size() >= sizeof setup.FileName) return false;
    std::memcpy(setup.FileName, bytes.data(), bytes.size());
    return true;
}

// How often the road looks after processing while it waits for the source.
constexpr std::chrono::milliseconds kWaitSlice{20};

// Waits for one of `accepted` from the source up to the ready timeout,
// letting processing go on meanwhile; 0xFFFF when none came. A source that
// has no callback to send its messages through is asked for them in every
// slice of the wait.
TW_UINT16 WaitForSource(ScanTwainApp* app, std::initializer_list<TW_UINT16> accepted) {
    const auto deadline = std::chrono::steady_clock::now() + ScanReadyTimeout();
    for (;;) {
        if (!app->m_callbackRegistered) app->pollSourceEvent();
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const TW_UINT16 message = app->waitForMessage(accepted, std::clamp(left, std::chrono::milliseconds(0), kWaitSlice));
        if (message != 0xFFFF || left <= kWaitSlice) return message;
        LetProcessingGoOn();
    }
}

// Appends a written file to the scanned-file list and announces it.
void AnnounceFile(const std::wstring& path) {
    {
        std::lock_guard guard(g_scannedFilesLock);
        g_scannedFiles.push_back(path);
        g_lastScannedIndex = static_cast<int>(g_scannedFiles.size()) - 1;
        PostMessage(g_scanDlg, WM_SCANNED_FILE, 0, 0);
    }
    LetProcessingGoOn();
}

// The stop sequence of a transfer loop: end the current transfer and reset
// the pending ones, so the source is back in state 5.
void StopTransfers(ScanTwainApp* app) {
    logAppMessage("app: Stop any transfer we may have started but could not finish...\n");
    TW_PENDINGXFERS pending{};
    app->callDSMEntry(app->m_currentSource, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    if (pending.Count != 0)
        app->callDSMEntry(app->m_currentSource, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
}

// Ends the current image; false when that failed. `more` receives the count
// of images still pending.
bool EndTransfer(ScanTwainApp* app, TW_UINT16& more) {
    logAppMessage("app: Checking to see if there are more images to transfer...\n");
    TW_PENDINGXFERS pending{};
    if (app->callDSMEntry(app->m_currentSource, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending) !=
        TWRC_SUCCESS) {
        app->readConditionCode(app->m_currentSource);
        CLogger::Instance().Error("failed to properly end the transfer %d, t=%d", 0, g_scanRunCount);
        more = 0;
        return false;
    }
    logAppMessage("app: Remaining images to transfer: %u\n", static_cast<unsigned>(pending.Count));
    more = pending.Count;
    return true;
}

// Ends the current image; true when another one is pending.
bool NextImagePending(ScanTwainApp* app) {
    TW_UINT16 more = 0;
    return EndTransfer(app, more) && more != 0;
}

// The end of every transfer loop: what is still pending is ended and reset,
// and the source is back in state 5.
void FinishTransferLoop(ScanTwainApp* app, bool pending) {
    if (pending) StopTransfers(app);
    app->m_DSMState = 5;
    logAppMessage("app: DONE!\n");
}

// The folder of the native and memory transfers with a trailing separator;
// the scan folder when the object has none.
std::string SavePath(ScanTwainApp* app) {
    std::string path = app->m_saveFolder;
    if (path.empty()) path = ToUtf8(ScanSetting::scanFolder.get());
    if (!path.empty() && path.back() != '/') path += '/';
    return path;
}

// "<save path>FROM_SCANNER_%06d<kind>.<ext>" with the transfer count, moved
// on past names already taken so an earlier scan's file is never replaced.
std::string TransferFileName(ScanTwainApp* app, const char* tail) {
    char name[512];
    for (;;) {
        std::snprintf(name, sizeof name, "%sFROM_SCANNER_%06d%s", SavePath(app).c_str(),
                      static_cast<int>(app->m_transferCount), tail);
        if (!files::Exists(FromUtf8(name)) || app->m_transferCount == 0xFFFF) break;
        ++app->m_transferCount;
    }
    return name;
}

// An answer to an image transfer that neither ends the image nor stops the
// transfer (TWRC_SUCCESS, or a code the protocol does not have): asking
// again could go on for ever, so the transfer fails.
void UnexpectedAnswer(ScanTwainApp* app, TW_UINT16 rc, const char* mechanism) {
    logAppMessage("app: Unexpected answer %u to the %s transfer, transfer failed t=%d\n", rc, mechanism,
                  g_scanRunCount);
    app->readConditionCode(app->m_currentSource);
}

// Puts a complete transfer file in place: the temporary file takes `name`,
// or, when a file took that name meanwhile, the next free one (nothing is
// ever replaced). False, and the temporary file removed, when it cannot.
bool PlaceTransferFile(ScanTwainApp* app, const std::wstring& temp, std::string& name, const char* tail) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (files::RenameNoReplace(temp, FromUtf8(name))) return true;
        if (errno != EEXIST || app->m_transferCount == 0xFFFF) break;
        ++app->m_transferCount;
        name = TransferFileName(app, tail);
    }
    files::Remove(temp);
    return false;
}

void OpenWithShell(ScanTwainApp* /*app*/, const std::string& file) {
    UserDialogs().ShellExecute(L"open", FromUtf8(file), L"");
}

bool ReadCurrent(ScanTwainApp* app, TW_UINT16 capability, TW_UINT32& value) {
    TW_CAPABILITY record{capability, TWON_DONTCARE16, nullptr};
    const bool ok = app->getCapability(record, MSG_GETCURRENT) == TWCC_SUCCESS && getCapabilityCurrent(record, value);
    if (record.hContainer) TwainAppFree(record.hContainer);
    return ok;
}

// Reads a capability back into the object's record; true when its current
// value equals `value`.
bool ReadBack(ScanTwainApp* app, TW_UINT16 capability, TW_UINT32 value, TW_UINT32 mask = 0xFFFFFFFFu) {
    TW_CAPABILITY* record = app->record(capability);
    if (!record) return false;
    TW_UINT32 current = 0;
    return app->getCapability(*record, MSG_GET) == TWCC_SUCCESS && getCapabilityCurrent(*record, current) &&
           (current & mask) == (value & mask);
}

void SetResolution(ScanTwainApp* app, TW_UINT16 capability, TW_UINT16 dpi) {
    const TW_FIX32 value{static_cast<TW_INT16>(dpi), 0};
    if (capability == ICAP_XRESOLUTION) app->setXResolution(value);
    else app->setResolutionValue(ICAP_YRESOLUTION, value);
    const bool x = ReadBack(app, ICAP_XRESOLUTION, TwainFix32Bits(value));
    ReadBack(app, ICAP_YRESOLUTION, TwainFix32Bits(value));
    if (x && app->record(ICAP_XRESOLUTION)->ConType == TWON_ENUMERATION)
        logAppMessage("Resolution successfully set!\n");
}

// One pass of transfers in the mechanism the source uses.
void TransferPass(ScanTwainApp* app) {
    logAppMessage("do 1\n");
    logAppMessage("m_pTwainAppForScan->m_DSMessage = %d\n", static_cast<int>(app->m_DSMessage.load()));
    logAppMessage("scan update image info\n");
    app->m_DSMState = 6;
    app->updateIMAGEINFO();
    logAppMessage("scan is start\n");
    TW_UINT32 mechanism = 0;
    if (!ReadCurrent(app, ICAP_XFERMECH, mechanism)) {
        CLogger::Instance().Error("Error: could not get the transfer mechanism t=%d", g_scanRunCount);
        StopTransfers(app);
        app->m_DSMState = 5;
    } else if ((mechanism & 0xFFFF) == TWSX_NATIVE) {
        transferNative(app);
    } else if ((mechanism & 0xFFFF) == TWSX_FILE) {
        TW_UINT32 format = 0;
        if (!ReadCurrent(app, ICAP_IMAGEFILEFORMAT, format)) format = 0;
        transferFile(app, static_cast<TW_UINT16>(format));
    } else if ((mechanism & 0xFFFF) == TWSX_MEMORY) {
        transferMemory(app);
    } else {
        StopTransfers(app);
        app->m_DSMState = 5;
    }
    app->m_DSMessage.store(0xFFFF);
}

}  // namespace

// The result of `scanned` under `resultsRoot`, the results of the source
// folder `source`; empty when `scanned` does not lie below `source` or the
// root is not one of the program's result folders (nothing else is ever
// moved or removed as a result).
static std::wstring ScanResultPath(const std::wstring& scanned, std::wstring source, const std::wstring& resultsRoot) {
    while (source.size() > 1 && source.back() == L'/') source.pop_back();
    if (source.empty() || scanned.size() <= source.size() + 1 || scanned.compare(0, source.size(), source) != 0 ||
        scanned[source.size()] != L'/')
        return {};
    const std::wstring root = files::CanonicalPath(resultsRoot);
    const std::wstring sourceRoot = files::CanonicalPath(source);
    if (root.empty() || files::IsSameOrBelow(root, sourceRoot) || files::IsSameOrBelow(sourceRoot, root) ||
        !IsResultsFolder(resultsRoot))
        return {};
    return PathJoin(resultsRoot, scanned.substr(source.size() + 1));
}

std::wstring IScanProcessing::ResultPathOf(const std::wstring& scanned) const {
    std::wstring scanFolder = ScanSetting::scanFolder.get();
    while (scanFolder.size() > 1 && scanFolder.back() == L'/') scanFolder.pop_back();
    return ScanResultPath(scanned, scanFolder, PathJoin(ScanSetting::processedFolder.get(), PathFileName(scanFolder)));
}

int BatchScanProcessing::RunState() const { return engine_.RunState(); }

bool BatchScanProcessing::SettleScanFiles(const std::vector<std::wstring>& paths) {
    return engine_.FinishWorkOn(paths, kSettleTimeout);
}

std::wstring BatchScanProcessing::ResultPathOf(const std::wstring& scanned) const {
    std::wstring source, resultsRoot;
    if (engine_.ScanRunFolders(source, resultsRoot)) return ScanResultPath(scanned, source, resultsRoot);
    return IScanProcessing::ResultPathOf(scanned);
}

void BatchScanProcessing::ScanFileChanged(const std::wstring& path) { engine_.ProcessAgain(path); }
void BatchScanProcessing::ScanResultMoved(const std::wstring& path) { engine_.TakeProcessedPage(path); }
void BatchScanProcessing::StartProcessing(int runType) { engine_.StartProcessing(runType); }

void BatchScanProcessing::WhileScanning() {
    engine_.HandleWorkerMessages();
    // The main window's one-second rescan cannot fire while the scan holds
    // the thread; it is done here at the same pace.
    const auto now = std::chrono::steady_clock::now();
    if (engine_.AutoMode() != AUTO_MODE_OFF && now - lastRescan_ >= std::chrono::seconds(1)) {
        lastRescan_ = now;
        engine_.OnAutoDetectTick();
    }
}

void SetScanReadyTimeout(std::chrono::milliseconds timeout) { g_readyTimeoutMs = timeout.count(); }
std::chrono::milliseconds ScanReadyTimeout() { return std::chrono::milliseconds(g_readyTimeoutMs.load()); }

std::vector<std::wstring> ScanCompressionList(int fileFormat) {
    if (fileFormat == 1) return {L"LZW(无损)", L"ZIP", L"RLE", L"JPEG"};
    return {L"JPEG", L"JPEG-2000"};
}

TW_UINT16 ScanCompressionValue(int fileFormat, int index) {
    if (fileFormat == 1) {
        static const TW_UINT16 tif[] = {TWCP_LZW, TWCP_ZIP, TWCP_PACKBITS, TWCP_JPEG};
        return tif[index >= 0 && index < 4 ? index : 0];
    }
    return index == 1 ? TWCP_JPEG2000 : TWCP_JPEG;
}

void ApplyScanCapabilities(ScanTwainApp* app) {
    if (!app || app->m_DSMState < 3) return;
    WriteSavePathRegistry();
    CreateFolderPath(ScanSetting::scanFolder.get());
    SetResolution(app, ICAP_XRESOLUTION, ScanSetting::dpi.load());
    SetResolution(app, ICAP_YRESOLUTION, ScanSetting::dpi.load());
    // The pixel type first: a source offers the depths of its current type.
    const TW_UINT16 pixelType = ScanSetting::pixelType.load();
    app->setCapValue(ICAP_PIXELTYPE, pixelType, TWTY_UINT16);
    if (ReadBack(app, ICAP_PIXELTYPE, pixelType, 0xFFFF) && app->record(ICAP_PIXELTYPE)->ConType == TWON_ENUMERATION)
        logAppMessage("Capability successfully set!\n");
    const TW_UINT16 depth = ScanSetting::bitDepth.load();
    app->setCapValue(ICAP_BITDEPTH, depth, TWTY_UINT16);
    if (ReadBack(app, ICAP_BITDEPTH, depth, 0xFFFF)) logAppMessage("BitDepth successfully set!\n");
    app->setCapValue(ICAP_XFERMECH, TWSX_FILE, TWTY_UINT16);
    if (ReadBack(app, ICAP_XFERMECH, TWSX_FILE, 0xFFFF)) logAppMessage("XferMech successfully set!\n");
    const int duplex = ScanSetting::duplex.load() ? 1 : 0;
    app->setCapValue(CAP_DUPLEXENABLED, static_cast<TW_UINT32>(duplex), TWTY_BOOL);
    if (ReadBack(app, CAP_DUPLEXENABLED, static_cast<TW_UINT32>(duplex), 0xFFFF))
        logAppMessage("Capability successfully set!\n");
    const int fileFormat = ScanSetting::fileFormat.load() == 1 ? 1 : 0;
    const TW_UINT16 format = fileFormat == 0 ? TWFF_JFIF : TWFF_TIFF;
    app->setCapValue(ICAP_IMAGEFILEFORMAT, format, TWTY_UINT16);
    if (ReadBack(app, ICAP_IMAGEFILEFORMAT, format, 0xFFFF)) logAppMessage("ImageFileFormat successfully set!\n");
    TW_UINT16 compression = ScanCompressionValue(fileFormat, ScanSetting::compression.load());
    // A source that keeps the memory transfer is asked for raw rows: its
    // strips become an uncompressed TIFF, which compressed strips cannot.
    if (TW_UINT32 mechanism = 0; ReadCurrent(app, ICAP_XFERMECH, mechanism) && (mechanism & 0xFFFF) == TWSX_MEMORY)
        compression = TWCP_NONE;
    app->setCapValue(ICAP_COMPRESSION, compression, TWTY_UINT16);
    if (ReadBack(app, ICAP_COMPRESSION, compression, 0xFFFF)) logAppMessage("Compression successfully set!\n");
    const TW_UINT16 quality = ScanSetting::jpegQuality.load();
    app->setCapValue(ICAP_JPEGQUALITY, quality, TWTY_INT16);
    ReadBack(app, ICAP_JPEGQUALITY, quality, 0xFFFF);
}

void RunScan(ScanTwainApp* app, IScanProcessing* processing, void* parentWindow) {
    if (!processing) {
        g_scanMode = SCAN_IDLE;
        CLogger::Instance().Error("error no wnd");
        return;
    }
    if (!app) {
        g_scanMode = SCAN_IDLE;
        PostMessage(g_scanDlg, WM_SCAN_ENDED, 0, 0);
        CLogger::Instance().Error("error no scan object");
        return;
    }
    ++g_scanRunCount;
    struct ProcessingWhileScanning {
        explicit ProcessingWhileScanning(IScanProcessing* p) { g_processingWhileScanning = p; }
        ~ProcessingWhileScanning() { g_processingWhileScanning = nullptr; }
    } whileScanning(processing);
    ApplyScanCapabilities(app);
    InitScanFileNumber();
    CLogger::Instance().Info("scan->m-dsmstate = %d", app->m_DSMState);
    if (app->m_DSMState > 4) {
        CLogger::Instance().Error("already enabled");
    } else {
        app->m_DSMessage.store(0xFFFF);
        const bool showUI = g_useDriverUI.load() != 0;
        if (!app->enableDS(parentWindow, showUI)) {
            CLogger::Instance().Error("enableDS failed");
        } else {
            CLogger::Instance().Info("before proc");
            if (processing->RunState() == 0) {
                CLogger::Instance().Info("before proc1");
                processing->StartProcessing(4);
            }
            // A pass starts when the source says it is ready; with its own
            // interface shown, passes go on until it asks to be closed.
            for (;;) {
                const TW_UINT16 message = WaitForSource(app, {MSG_XFERREADY, MSG_CLOSEDSREQ, MSG_CLOSEDSOK});
                if (message != MSG_XFERREADY) {
                    if (message == 0xFFFF) CLogger::Instance().Error("the source did not get ready t=%d", g_scanRunCount);
                    break;
                }
                TransferPass(app);
                if (!showUI) break;
            }
            CLogger::Instance().Info("scan is down");
            app->disableSource();
        }
    }
    g_scanMode = SCAN_IDLE;
    PostMessage(g_scanDlg, WM_SCAN_ENDED, 0, 0);
}

void transferFile(ScanTwainApp* app, TW_UINT16 format) {
    logAppMessage("app: Starting a TWSX_FILE transfer...\n");
    bool pending = true;
    TW_SETUPFILEXFER setup;
    std::memset(&setup, 0, sizeof setup);
    setup.Format = format;
    bool named = true;
    if (format == TWFF_TIFFMULTI) named = NextScanFileName(setup.FileName, format);
    for (;;) {
        ++app->m_transferCount;
        if (!app->updateIMAGEINFO()) {
            CLogger::Instance().Error("updateIMAGEINFO failed 1 t=%d", g_scanRunCount);
            break;
        }
        if (format != TWFF_TIFFMULTI || g_scanMode == SCAN_REPLACE) {
            const bool done = NameInsertedOrReplacedPage(setup, format);
            if (!done && format != TWFF_TIFFMULTI) named = NextScanFileName(setup.FileName, format);
            else if (done) named = true;
        }
        if (!named) {
            CLogger::Instance().Error("the file name does not fit, t=%d", g_scanRunCount);
            break;
        }
        logAppMessage("app: Sending file transfer details...\n");
        TW_UINT16 rc = app->callDSMEntry(app->m_currentSource, DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup);
        if (rc != TWRC_SUCCESS) {
            app->readConditionCode(app->m_currentSource);
            CLogger::Instance().Error("Error while trying to setup the file transfer %d, t=%d", rc, g_scanRunCount);
            break;
        }
        logAppMessage("app: Starting file transfer...\n");
        rc = app->callDSMEntry(app->m_currentSource, DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
        if (rc == TWRC_XFERDONE) {
            // The image is ended first: the name the source really used is
            // asked for in the states where a source answers it (5 or 6).
            TW_UINT16 more = 0;
            const bool ended = EndTransfer(app, more);
            TW_SETUPFILEXFER used;
            std::memset(&used, 0, sizeof used);
            if (ended && app->callDSMEntry(app->m_currentSource, DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, &used) ==
                             TWRC_SUCCESS &&
                used.FileName[0] != 0)
                std::memcpy(setup.FileName, used.FileName, sizeof setup.FileName);
            setup.FileName[sizeof setup.FileName - 1] = 0;
            logAppMessage("app: File \"%s\" saved...\n", setup.FileName);
            AnnounceFile(FromUtf8(setup.FileName));
            if (!ended || more == 0) {
                pending = false;
                break;
            }
            continue;
        }
        if (rc == TWRC_CANCEL) {
            CLogger::Instance().Error("Canceled transfer image TWRC_CANCEL t=%d", g_scanRunCount);
            app->readConditionCode(app->m_currentSource);
            break;
        }
        if (rc == TWRC_FAILURE) {
            CLogger::Instance().Error("Failed to transfer image TWRC_FAILURE t=%d", g_scanRunCount);
            app->readConditionCode(app->m_currentSource);
            break;
        }
        UnexpectedAnswer(app, rc, "file");
        break;
    }
    FinishTransferLoop(app, pending);
}

void transferNative(ScanTwainApp* app) {
    logAppMessage("app: Starting a TWSX_NATIVE transfer...\n");
    bool pending = true;
    for (;;) {
        ++app->m_transferCount;
        if (!app->updateIMAGEINFO()) break;
        logAppMessage("app: Starting the transfer...\n");
        TW_HANDLE dib = nullptr;
        const TW_UINT16 rc = app->callDSMEntry(app->m_currentSource, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &dib);
        if (rc == TWRC_CANCEL || rc == TWRC_FAILURE) {
            app->readConditionCode(app->m_currentSource);
            break;
        }
        if (rc != TWRC_XFERDONE) {
            UnexpectedAnswer(app, rc, "native");
            break;
        }
        const auto* p = static_cast<const std::uint8_t*>(TwainAppLock(dib));
        if (!p) {
            app->readConditionCode(app->m_currentSource);
            CLogger::Instance().Error("App: Unable to lock memory, transfer failed");
            break;
        }
        const std::size_t blockSize = TwainMemSize(dib);
        auto get32 = [p](std::size_t at) {
            std::uint32_t v;
            std::memcpy(&v, p + at, 4);
            return v;
        };
        std::string name = TransferFileName(app, "N.bmp");
        // Written under a temporary name and put in place when complete.
        const std::wstring temp = files::TemporarySibling(FromUtf8(name));
        std::FILE* f = _wfopen(temp.c_str(), L"wb");
        bool written = false;
        if (f && blockSize >= 40) {
            const std::int32_t width = static_cast<std::int32_t>(get32(4));
            const std::int32_t height = static_cast<std::int32_t>(get32(8));
            std::uint16_t bits;
            std::memcpy(&bits, p + 14, 2);
            std::uint32_t imageSize = get32(20);
            const std::uint32_t compression = get32(16);
            if (imageSize == 0) {
                imageSize = static_cast<std::uint32_t>(((bits * static_cast<std::int64_t>(width) + 31) / 32) * 4 *
                                                       (height < 0 ? -height : height));
                if (compression != 0) imageSize = imageSize * 3 / 2;
            }
            const std::uint32_t palette = bits == 1 ? 2 * 4 : bits == 8 ? 256 * 4 : 0;
            // Never more than the block holds.
            std::size_t body = 40 + static_cast<std::size_t>(palette) + imageSize;
            if (body > blockSize) body = blockSize;
            std::uint8_t header[14] = {'B', 'M'};
            const std::uint32_t fileSize = static_cast<std::uint32_t>(body + 14);
            const std::uint32_t offset = palette + 54;
            std::memcpy(header + 2, &fileSize, 4);
            std::memcpy(header + 10, &offset, 4);
            written = std::fwrite(header, 1, sizeof header, f) == sizeof header && std::fwrite(p, 1, body, f) == body;
        }
        const bool closed = f && std::fclose(f) == 0;
        if (written && closed && PlaceTransferFile(app, temp, name, "N.bmp")) {
            logAppMessage("app: File \"%s\" saved...\n", name.c_str());
            AnnounceFile(FromUtf8(name));
            OpenWithShell(app, name);
        } else {
            const std::string why = ToUtf8(files::LastErrorText());
            files::Remove(temp);
            std::fprintf(stderr, "fopen: %s\n", why.c_str());
        }
        TwainAppUnlock(dib);
        TwainAppFree(dib);
        app->readExtImageInfo();
        if (!NextImagePending(app)) {
            pending = false;
            break;
        }
    }
    FinishTransferLoop(app, pending);
}

namespace {

// One image of a memory transfer: its strips checked and written, row by
// row, into a TIFF file under a temporary name. A page that would not
// decode as the file says is failed instead of written: compressed strips,
// more rows than the image has, rows outside the buffer, a page cut short.
class MemoryPage {
public:
    MemoryPage(ScanTwainApp* app, const TW_IMAGEINFO& info, const TW_SETUPMEMXFER& setup, std::string name)
        : app_(app), info_(info), setup_(setup), name_(std::move(name)) {}
    ~MemoryPage() {
        // A page that was not put in place leaves nothing behind.
        writer_.reset();
        if (!temp_.empty()) files::Remove(temp_);
    }

    // False (with a log line) when the image cannot be written as a TIFF of
    // this kind.
    bool Check() {
        if (info_.Compression != TWCP_NONE)
            return Fail("the memory transfer of a compressed image is not supported (compression %u)",
                        info_.Compression);
        const int bits = info_.BitsPerPixel;
        if (bits != 1 && bits != 8 && bits != 16 && bits != 24)
            return Fail("the memory transfer of %d bits per pixel is not supported", bits);
        if (info_.ImageWidth <= 0 || info_.ImageWidth > kMaxSide)
            return Fail("the image width %d is not supported", static_cast<int>(info_.ImageWidth));
        if (info_.ImageLength > kMaxSide || info_.ImageLength == 0)
            return Fail("the image length %d is not supported", static_cast<int>(info_.ImageLength));
        rowLength_ = static_cast<std::uint32_t>((static_cast<std::int64_t>(bits) * info_.ImageWidth + 7) / 8);
        // A length of -1 (or any below 0) is not known until the last strip.
        maxRows_ = static_cast<std::uint32_t>(info_.ImageLength > 0 ? info_.ImageLength : kMaxSide);
        return true;
    }

    // Takes one strip the source answered with `rc`; false when the page is
    // over (saved() tells whether it was saved).
    bool Strip(TW_UINT16 rc, const TW_IMAGEMEMXFER& xfer, const std::uint8_t* memory) {
        if (rc == TWRC_FAILURE || rc == TWRC_CANCEL) {
            app_->readConditionCode(app_->m_currentSource);
            return false;
        }
        if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE) {
            UnexpectedAnswer(app_, rc, "memory");
            return false;
        }
        if (++strips_ > maxRows_ + kSpareStrips)
            return Fail("the source sent %u strips without ending the image", strips_ - 1);
        if (xfer.Compression != TWCP_NONE && xfer.Compression != TWON_DONTCARE16)
            return Fail("the source sent a compressed strip (compression %u)", xfer.Compression);
        if (!writer_) {
            app_->m_DSMState = 7;
            temp_ = files::TemporarySibling(FromUtf8(name_));
            // A length not known yet is written when the image is complete.
            const std::uint32_t height = info_.ImageLength > 0 ? static_cast<std::uint32_t>(info_.ImageLength) : 0;
            writer_ = std::make_unique<CTiffWriter>(ToUtf8(temp_), static_cast<std::uint32_t>(info_.ImageWidth), height,
                                                    info_.BitsPerPixel, rowLength_);
            writer_->setXResolution(static_cast<std::uint32_t>(info_.XResolution.Whole), 1);
            writer_->setYResolution(static_cast<std::uint32_t>(info_.YResolution.Whole), 1);
            writer_->writeImageHeader();
        }
        const std::uint64_t rows = xfer.Rows;
        if (rows > maxRows_ - rowsWritten_)
            return Fail("the source sent more rows than the image has (%u)", maxRows_);
        if (rows > 0) {
            // Each row whole inside the buffer, rows apart by at least a row.
            const std::uint64_t end = (rows - 1) * xfer.BytesPerRow + rowLength_;
            if (xfer.BytesPerRow < rowLength_ || end > setup_.Preferred)
                return Fail("the strip's rows do not lie in the buffer (%u bytes a row)", xfer.BytesPerRow);
        }
        for (std::uint64_t r = 0; r < rows; ++r)
            if (!writer_->writeRow(memory + r * xfer.BytesPerRow))
                return Fail("the file could not be written (%s)", name_.c_str());
        rowsWritten_ += static_cast<std::uint32_t>(rows);
        if (rc == TWRC_SUCCESS) return true;

        // The image is complete.
        if (info_.ImageLength > 0 && rowsWritten_ != maxRows_)
            return Fail("the image ended after %u of its rows", rowsWritten_);
        if (rowsWritten_ == 0) return Fail("the image ended without rows");
        if (info_.ImageLength <= 0) {
            writer_->setHeight(rowsWritten_);
            writer_->writeImageHeader();
        }
        const bool closed = writer_->close();
        writer_.reset();
        if (!closed) return Fail("the file could not be written (%s)", name_.c_str());
        if (!PlaceTransferFile(app_, temp_, name_, "M.tif"))
            return Fail("the file could not be put in place (%s)", name_.c_str());
        temp_.clear();
        saved_ = true;
        return false;
    }

    bool saved() const { return saved_; }
    const std::string& name() const { return name_; }

private:
    // Images above this many pixels on a side are refused.
    static constexpr std::int32_t kMaxSide = 65535;
    // Strips beyond one a row that a source may send (empty ones).
    static constexpr std::uint32_t kSpareStrips = 64;

    template <class... Args>
    bool Fail(const char* format, Args... args) {
        char text[160];
        if constexpr (sizeof...(Args) == 0)
            std::snprintf(text, sizeof text, "%s", format);
        else
            std::snprintf(text, sizeof text, format, args...);
        logAppMessage("app: Memory transfer failed: %s, t=%d\n", text, g_scanRunCount);
        return false;
    }

    ScanTwainApp* app_;
    TW_IMAGEINFO info_;
    TW_SETUPMEMXFER setup_;
    std::string name_;
    std::wstring temp_;
    std::unique_ptr<CTiffWriter> writer_;
    std::uint32_t rowLength_ = 0;
    std::uint32_t maxRows_ = 0;
    std::uint32_t rowsWritten_ = 0;
    std::uint32_t strips_ = 0;
    bool saved_ = false;
};

}  // namespace

void transferMemory(ScanTwainApp* app) {
    logAppMessage("app: Starting a TWSX_MEMORY transfer...\n");
    bool pending = true;
    for (;;) {
        ++app->m_transferCount;
        if (!app->updateIMAGEINFO()) break;
        const TW_IMAGEINFO info = app->m_pendingImageInfo;
        logAppMessage("app: getting the buffer sizes...\n");
        TW_SETUPMEMXFER setup{};
        if (app->callDSMEntry(app->m_currentSource, DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup) != TWRC_SUCCESS) {
            app->readConditionCode(app->m_currentSource);
            break;
        }
        MemoryPage page(app, info, setup, TransferFileName(app, "M.tif"));
        if (!page.Check()) break;
        TW_HANDLE buffer = setup.Preferred ? TwainAppAllocate(setup.Preferred) : nullptr;
        auto* memory = buffer ? static_cast<std::uint8_t*>(TwainAppLock(buffer)) : nullptr;
        if (!memory) {
            if (buffer) TwainAppFree(buffer);
            app->readConditionCode(app->m_currentSource);
            break;
        }
        TW_IMAGEMEMXFER templ{};
        templ.Compression = TWON_DONTCARE16;
        templ.BytesPerRow = templ.Columns = templ.Rows = templ.XOffset = templ.YOffset = templ.BytesWritten =
            TWON_DONTCARE32;
        templ.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
        templ.Memory.Length = setup.Preferred;
        templ.Memory.TheMem = memory;
        logAppMessage("app: starting the memory transfer...\n");
        for (;;) {
            TW_IMAGEMEMXFER xfer = templ;
            std::memset(memory, 0, setup.Preferred);
            const TW_UINT16 rc = app->callDSMEntry(app->m_currentSource, DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
            if (!page.Strip(rc, xfer, memory)) break;
        }
        TwainAppUnlock(buffer);
        TwainAppFree(buffer);
        if (!page.saved()) break;
        logAppMessage("app: File \"%s\" saved...\n", page.name().c_str());
        AnnounceFile(FromUtf8(page.name()));
        OpenWithShell(app, page.name());
        app->readExtImageInfo();
        if (!NextImagePending(app)) {
            pending = false;
            break;
        }
    }
    FinishTransferLoop(app, pending);
}
