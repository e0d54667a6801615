// Scanning with processing while scanning: the virtual scanner delivers 32
// A4 colour pages at 300 dpi as fast as it can, the scan road names and
// announces them and the batch engine's scan-and-process run cleans them with
// the deskew and background-removal switches on. Reported: pages per second
// scanned and processed (from the press of the button until the last page is
// processed), and, in the same run with the same worker count, the pages per
// second of a plain batch run over the same pages with the same steps; the
// ratio of the two shows what scanning costs processing.
//
// The road answers the workers and rescans the scan folder between pages, so
// pages are processed while the scan goes on. What the ratio still pays: the
// scan itself before the first page exists, and the run's rule that a page is
// taken only once two rescans a second apart found it unchanged (it may still
// be being written), so no page starts sooner than about a second after it was
// scanned.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "app/core/BatchEngine.h"
#include "platform/core/MessagePump.h"
#include "platform/core/Strings.h"
#include "platform/core/System.h"
#include "scan/core/ScanNaming.h"
#include "scan/core/ScanRoad.h"
#include "scan/core/TwainApp.h"
#include "settings/ProcessSetting.h"
#include "settings/RegistryStore.h"
#include "settings/ScanSetting.h"
#include "support/BenchEngine.h"
#include "support/BenchFolder.h"
#include "twain/Logger.h"

namespace {

namespace fs = std::filesystem;
constexpr int kPages = 32;

using benchengine::EngineWindow;
using benchengine::HeadlessWindow;

// The benchmark's folder with the virtual scanner as the only source.
const std::string& Root() {
    static const std::string root = [] {
        const std::string dir = ToUtf8(benchfiles::Folder()) + "/scan";
        fs::create_directories(dir + "/sources");
        fs::copy_file(TESSAVAN_VDS_PATH, dir + "/sources/bench.ds", fs::copy_options::overwrite_existing);
        std::ofstream(dir + "/sources/bench.ini") << "product=Bench Scanner\npages=" << kPages
                                                  << "\nwidth=827\nheight=1169\nnotify=sync\n";
        ::setenv("TESSAVAN_TWAIN_SOURCES", (dir + "/sources").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
        SetRegistryFileForTesting(FromUtf8(dir + "/registry.ini"));
        return dir;
    }();
    return root;
}

std::map<int, double>& BatchRates() {
    static std::map<int, double> rates;
    return rates;
}

// The switches in scan runs, the same steps in plain runs.
void ChooseSteps() {
    ProcessSetting::ResetToStart();
    ScanStepFlags::ResetToStart();
    ScanStepFlags::correct = 1;
    ScanStepFlags::rmbkcolor = 1;
}

struct Session {
    Session(int workers) : engine(std::make_unique<CBatchEngine>(window)), receiver(*engine) {
        window.choices.requestedThreads = workers;
        SetMainWindowHandle(receiver.hwnd());
        engine->SetWindowHandle(receiver.hwnd());
    }
    ~Session() {
        engine->Shutdown();
        engine.reset();
        SetMainWindowHandle(HWND());
    }
    // Handles messages, with the engine's one-second rescans, until `done`.
    void RunUntil(const std::function<bool()>& done) {
        auto lastTick = std::chrono::steady_clock::now();
        while (!done()) {
            pump.PumpUntil(done, std::chrono::milliseconds(20));
            if (std::chrono::steady_clock::now() - lastTick >= std::chrono::seconds(1)) {
                engine->OnAutoDetectTick();
                lastTick = std::chrono::steady_clock::now();
            }
        }
    }
    MessagePump pump;
    HeadlessWindow window;
    std::unique_ptr<CBatchEngine> engine;
    EngineWindow receiver;
};

// Scans kPages into `folder` (used by both benchmarks).
int ScanPages(ScanTwainApp& scanner, IScanProcessing& processing) {
    std::size_t before;
    {
        std::lock_guard guard(g_scannedFilesLock);
        before = g_scannedFiles.size();
    }
    g_scanMode = SCAN_APPEND;
    RunScan(&scanner, &processing);
    std::lock_guard guard(g_scannedFilesLock);
    return static_cast<int>(g_scannedFiles.size() - before);
}

class NoProcessing final : public IScanProcessing {
public:
    int RunState() const override { return 1; }
    void StartProcessing(int) override {}
};

void BM_BatchOfScannedPages(benchmark::State& state) {
    const int workers = static_cast<int>(state.range(0));
    const std::string root = Root();
    std::FILE* quiet = std::tmpfile();
    CLogger::Instance().SetConsoleForTesting(quiet);
    ChooseSteps();
    // The pages, scanned once without processing.
    fs::remove_all(root + "/pages");
    ScanSetting::scanFolder = FromUtf8(root + "/pages");
    ScanTwainApp scanner(nullptr);
    scanner.openDSM();
    scanner.openSource(0);
    NoProcessing none;
    if (ScanPages(scanner, none) != kPages) state.SkipWithError("the scanner did not deliver every page");
    scanner.closeDSM();

    Session session(workers);
    session.window.choices.sourceText = FromUtf8(root + "/pages");
    session.window.choices.newFolder = true;
    session.window.choices.destinationText = FromUtf8(root + "/batch-out");
    session.engine->SetSaveToNewFolder(true);
    session.engine->SetDestinationFolder(session.window.choices.destinationText);
    double seconds = 0;
    for (auto _ : state) {
        fs::remove_all(root + "/batch-out");
        const auto start = std::chrono::steady_clock::now();
        session.engine->OnStartStop();
        session.RunUntil([&] {
            return session.engine->RunState() == RUN_STATE_IDLE && session.engine->Pool().LiveThreads() == 0;
        });
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (session.engine->Pool().CountDone() != kPages || session.engine->FailedCount() != 0)
            state.SkipWithError("the batch run did not process every page");
    }
    const double rate = seconds > 0 ? kPages * static_cast<double>(state.iterations()) / seconds : 0;
    BatchRates()[workers] = rate;
    state.counters["workers"] = std::min(workers, GetProcessorCount());
    state.counters["pages_per_s"] = rate;
    CLogger::Instance().SetConsoleForTesting(nullptr);
    std::fclose(quiet);
}

void BM_ScanAndProcess(benchmark::State& state) {
    const int workers = static_cast<int>(state.range(0));
    const std::string root = Root();
    std::FILE* quiet = std::tmpfile();
    CLogger::Instance().SetConsoleForTesting(quiet);
    ChooseSteps();
    ScanSetting::scanFolder = FromUtf8(root + "/scanned");
    ScanSetting::processedFolder = FromUtf8(root + "/processed");
    double seconds = 0, scanSeconds = 0;
    for (auto _ : state) {
        fs::remove_all(root + "/scanned");
        fs::remove_all(root + "/processed");
        Session session(workers);
        ScanTwainApp scanner(nullptr);
        scanner.openDSM();
        scanner.openSource(0);
        BatchScanProcessing processing(*session.engine);
        const auto start = std::chrono::steady_clock::now();
        const int scanned = ScanPages(scanner, processing);
        scanSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        // As the scan window does when a run ends: the pages are looked for
        // at once.
        session.engine->OnAutoDetectTick();
        session.RunUntil([&] { return session.engine->Pool().CountDone() + session.engine->FailedCount() >= kPages; });
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (scanned != kPages || session.engine->FailedCount() != 0)
            state.SkipWithError("not every page was scanned and processed");
        session.engine->StopScanProcessing();
        session.RunUntil([&] {
            return session.engine->RunState() == RUN_STATE_IDLE && session.engine->Pool().LiveThreads() == 0;
        });
        scanner.closeDSM();
    }
    const double n = kPages * static_cast<double>(state.iterations());
    const double rate = seconds > 0 ? n / seconds : 0;
    state.counters["workers"] = std::min(workers, GetProcessorCount());
    state.counters["pages_per_s"] = rate;
    state.counters["scan_only_pages_per_s"] = scanSeconds > 0 ? n / scanSeconds : 0;
    if (BatchRates().count(workers) && BatchRates()[workers] > 0)
        state.counters["vs_batch"] = rate / BatchRates()[workers];
    CLogger::Instance().SetConsoleForTesting(nullptr);
    std::fclose(quiet);
}

}  // namespace

// The batch runs first: the scan runs are compared with them.
BENCHMARK(BM_BatchOfScannedPages)->Apply(benchengine::WorkerCounts)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_ScanAndProcess)->Apply(benchengine::WorkerCounts)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
