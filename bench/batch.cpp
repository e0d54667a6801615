// A whole batch run over a folder of 64 A4 colour pages (300 dpi JPEG) with
// 1, 2 and all processors: the engine, its workers, the image processor with
// the default steps, reading and writing every file. Reports pages per
// second and the speed-up over the one-worker run of the same process.
#include <benchmark/benchmark.h>

#include <chrono>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/core/BatchEngine.h"
#include "platform/core/Files.h"
#include "platform/core/MessagePump.h"
#include "platform/core/Paths.h"
#include "platform/core/Strings.h"
#include "platform/core/System.h"
#include "settings/ProcessSetting.h"
#include "support/BenchEngine.h"
#include "support/BenchFolder.h"
#include "support/Pages.h"

namespace {

constexpr int kPages = 64;

using benchengine::EngineWindow;
using benchengine::HeadlessWindow;

// The folder of input pages, written once per process.
const std::string& InputFolder() {
    static const std::string folder = [] {
        const std::string dir = ToUtf8(benchfiles::Folder());
        std::filesystem::create_directories(dir + "/pages");
        const std::vector<std::vector<std::uint8_t>> variants = {
            benchpages::AsJpeg(benchpages::A4TextColour(), 85),
            benchpages::AsJpeg(benchpages::A4MixedColour(), 85),
            benchpages::AsJpeg(synth::TextPage(benchpages::kA4Width, benchpages::kA4Height, 24, 300, 77,
                                               synth::Rgb(250, 246, 236), 8),
                               85),
            benchpages::AsJpeg(synth::TextPage(benchpages::kA4Width, benchpages::kA4Height, 24, 300, 78,
                                               synth::Rgb(236, 240, 248), 12),
                               85),
        };
        for (int i = 0; i < kPages; ++i) {
            const auto& bytes = variants[static_cast<std::size_t>(i) % variants.size()];
            char name[32];
            std::snprintf(name, sizeof name, "/pages/page%02d.jpg", i);
            files::WriteAllAtomic(FromUtf8(dir + name), bytes.data(), bytes.size());
        }
        return dir;
    }();
    return folder;
}

std::map<int, double>& PagesPerSecond() {
    static std::map<int, double> rates;
    return rates;
}

void BM_BatchRun(benchmark::State& state) {
    const int workers = static_cast<int>(state.range(0));
    const std::string root = InputFolder();
    ProcessSetting::ResetToStart();
    MessagePump pump;
    HeadlessWindow window;
    window.choices.sourceText = FromUtf8(root + "/pages");
    window.choices.newFolder = true;
    window.choices.destinationText = FromUtf8(root + "/out");
    window.choices.requestedThreads = workers;
    auto engine = std::make_unique<CBatchEngine>(window);
    EngineWindow receiver(*engine);
    SetMainWindowHandle(receiver.hwnd());
    engine->SetWindowHandle(receiver.hwnd());
    engine->SetSaveToNewFolder(true);
    engine->SetDestinationFolder(window.choices.destinationText);

    double seconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(root + "/out");
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        engine->OnStartStop();
        pump.PumpUntil([&] { return engine->RunState() == RUN_STATE_IDLE && engine->Pool().LiveThreads() == 0; },
                       std::chrono::minutes(30));
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (engine->Pool().CountDone() != kPages || engine->FailedCount() != 0) {
            state.SkipWithError("the run did not process every page");
            break;
        }
    }
    engine.reset();
    SetMainWindowHandle(HWND());

    const double rate = seconds > 0 ? kPages * static_cast<double>(state.iterations()) / seconds : 0;
    PagesPerSecond()[workers] = rate;
    state.counters["workers"] = std::min(workers, GetProcessorCount());
    state.counters["pages_per_s"] = rate;
    if (PagesPerSecond().count(1) && PagesPerSecond()[1] > 0) state.counters["speedup"] = rate / PagesPerSecond()[1];
}

}  // namespace

BENCHMARK(BM_BatchRun)->Apply(benchengine::WorkerCounts)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
