// A whole batch run over a folder of 64 A4 colour pages (300 dpi JPEG) with
// 1, 2 and all processors: the engine, its workers, the image processor with
// the default steps, reading and writing every file. Reports pages per
// second and the speed-up over the one-worker run of the same process.
// BM_BatchRunLong makes the same runs over 512 pages (64 per worker with 8),
// as a long batch goes, where a worker's first page, whose memory is new to
// it, weighs an eighth as much.
//
// The same runs are made once more with a processor that only computes for
// about as long as a page takes (BM_EngineOnlyRun): what the engine itself
// (the user-interface thread's part, the hand-overs, the end of the run)
// costs, apart from what the pages' memory costs.
//
// The same process first measures the machine's own scaling with the same
// worker counts and the same layout (one thread per worker, each taking the
// next of 64 items until none is left): once over a loop that only computes
// (no files, no allocation, nothing shared written), once over a loop that
// streams through a buffer of its own per worker (allocated before the
// clock starts) and so shares the memory bandwidth. A batch run reports its
// speed-up against the compute loop's ("of_machine": 1 scales as well as the
// machine can). On a shared machine what a process gets changes from one
// second to the next, so each batch run also runs the compute loop with its
// own worker count right before and right after itself, and of_machine
// compares with those (the mean of the two). Per run it also reports:
//   busy          CPU time of all threads / (wall time x workers); below 1
//                 the workers waited (for a lock, the user-interface thread,
//                 the end of the run);
//   sys_share     the share of that CPU time spent in the kernel;
//   cpu_ms_per_page  CPU time of all threads per page (grows with the
//                 workers when they slow each other down: memory bandwidth,
//                 the kernel's locks);
//   faults_per_page, switches_per_page   page faults and voluntary context
//                 switches (waits) per page;
//   peak_MiB_per_worker  the growth of the peak resident size over the run,
//                 divided by the workers;
//   tail_idle     the share of the workers' time lost at the end of the run,
//                 when a worker has found nothing left to take and the others
//                 still finish their files;
//   steady_speedup, steady_of_machine   the same comparison over the middle
//                 of the runs only: from the time as many files are written
//                 as there are workers (each worker has had its first file,
//                 whose memory is new to it) to the first worker's exit (the
//                 start of the tail). What a long batch gets.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/core/BatchEngine.h"
#include "app/core/BatchMessages.h"
#include "platform/core/Files.h"
#include "platform/core/MessagePump.h"
#include "platform/core/Paths.h"
#include "platform/core/Strings.h"
#include "platform/core/System.h"
#include "settings/ProcessSetting.h"
#include "support/BenchEngine.h"
#include "support/BenchFolder.h"
#include "support/Pages.h"
#include "support/ProcessFigures.h"

namespace {

constexpr int kPages = 64;
// The long run's pages: 64 per worker with 8 workers.
constexpr int kLongRunPages = 512;

using benchengine::EngineWindow;
using benchengine::HeadlessWindow;

// The folder of `pages` input pages, written once per process and count.
std::string InputFolder(int pages) {
    static const std::string dir = ToUtf8(benchfiles::Folder());
    static const std::vector<std::vector<std::uint8_t>> variants = {
        benchpages::AsJpeg(benchpages::A4TextColour(), 85),
        benchpages::AsJpeg(benchpages::A4MixedColour(), 85),
        benchpages::AsJpeg(synth::TextPage(benchpages::kA4Width, benchpages::kA4Height, 24, 300, 77,
                                           synth::Rgb(250, 246, 236), 8),
                           85),
        benchpages::AsJpeg(synth::TextPage(benchpages::kA4Width, benchpages::kA4Height, 24, 300, 78,
                                           synth::Rgb(236, 240, 248), 12),
                           85),
    };
    static std::map<int, std::string> written;
    auto found = written.find(pages);
    if (found != written.end()) return found->second;
    const std::string folder = dir + "/run" + std::to_string(pages);
    std::filesystem::create_directories(folder + "/pages");
    for (int i = 0; i < pages; ++i) {
        const auto& bytes = variants[static_cast<std::size_t>(i) % variants.size()];
        char name[32];
        std::snprintf(name, sizeof name, "/pages/page%03d.jpg", i);
        files::WriteAllAtomic(FromUtf8(folder + name), bytes.data(), bytes.size());
    }
    return written.emplace(pages, folder).first->second;
}

// Items per second of the machine's compute loop, per worker count.
std::map<int, double>& ComputeRates() {
    static std::map<int, double> rates;
    return rates;
}

// Runs `item(worker, index)` for the 64 items on `workers` threads, each
// taking the next item when it has finished one; returns the seconds.
template <typename Item>
double RunItems(int workers, const Item& item) {
    std::atomic<int> next{0};
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> threads;
    threads.reserve(static_cast<std::size_t>(workers));
    for (int w = 0; w < workers; ++w)
        threads.emplace_back([&, w] {
            for (int i = next.fetch_add(1); i < kPages; i = next.fetch_add(1)) item(w, i);
        });
    for (auto& t : threads) t.join();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// About 20 ms of arithmetic in registers per item.
std::uint64_t ComputeItem(int index) {
    std::uint64_t a = 0x9E3779B97F4A7C15ull ^ static_cast<std::uint64_t>(index);
    std::uint64_t b = a * 3, c = a * 5, d = a * 7;
    for (int i = 0; i < 4'000'000; ++i) {
        a ^= a >> 12; a ^= a << 25; a ^= a >> 27; a *= 0x2545F4914F6CDD1Dull;
        b = b * 6364136223846793005ull + 1442695040888963407ull;
        c += (c << 7) ^ (c >> 3);
        d = (d ^ b) * 0xff51afd7ed558ccdull;
    }
    return a ^ b ^ c ^ d;
}

double ComputeRate(int workers) {
    const double seconds = RunItems(workers, [](int, int i) { benchmark::DoNotOptimize(ComputeItem(i)); });
    return seconds > 0 ? kPages / seconds : 0;
}

void Report(benchmark::State& state, int workers, double seconds, std::map<int, double>& rates) {
    const double rate = seconds > 0 ? kPages * static_cast<double>(state.iterations()) / seconds : 0;
    rates[workers] = rate;
    state.counters["workers"] = std::min(workers, GetProcessorCount());
    state.counters["items_per_s"] = rate;
    if (rates.count(1) && rates[1] > 0) state.counters["speedup"] = rate / rates[1];
}

void BM_MachineCompute(benchmark::State& state) {
    const int workers = std::min(static_cast<int>(state.range(0)), GetProcessorCount());
    double seconds = 0;
    for (auto _ : state) seconds += kPages / ComputeRate(workers);
    Report(state, workers, seconds, ComputeRates());
}

// One pass over a 64 MB buffer of the worker's own per item, read and
// written (about what a page's pipeline moves in one of its steps).
void BM_MachineMemory(benchmark::State& state) {
    static std::map<int, double> rates;
    const int workers = std::min(static_cast<int>(state.range(0)), GetProcessorCount());
    constexpr std::size_t kWords = (std::size_t{64} << 20) / sizeof(std::uint64_t);
    std::vector<std::vector<std::uint64_t>> buffers(static_cast<std::size_t>(workers),
                                                    std::vector<std::uint64_t>(kWords, 1));
    double seconds = 0;
    for (auto _ : state)
        seconds += RunItems(workers, [&](int w, int) {
            std::uint64_t* p = buffers[static_cast<std::size_t>(w)].data();
            for (std::size_t i = 0; i < kWords; ++i) p[i] = p[i] * 3 + 1;
            benchmark::ClobberMemory();
        });
    Report(state, workers, seconds, rates);
}

// A processor that only computes, for about as long as the image
// processor takes for a page, on the engine's whole road (the file read on
// the user-interface thread, the decision, the save asked for on the
// worker) but without a page's memory: the engine's own scaling.
class ComputeOnlyProcessor final : public IRunProcessor {
public:
    WPARAM Key() const override { return reinterpret_cast<WPARAM>(this); }
    void SetRun(std::int32_t, float, float) override {}
    void SetInputPath(const std::wstring& path) override { input_ = path; }
    void SetOutputGuard(std::shared_ptr<const IOutputGuard>) override {}
    std::wstring InputPath() const override { return input_; }
    std::uint64_t EstimatePeakBytes(const std::wstring&) override { return 0; }
    bool ReadFileBytes(const std::wstring& path) override { return files::ReadAll(path, bytes_); }
    bool ProcessFile(const std::wstring&, std::int32_t, const std::wstring&, const std::wstring&,
                     std::int32_t index) override {
        for (int round = 0; round < 14; ++round) benchmark::DoNotOptimize(ComputeItem(index + round));
        PostMessage(GetMainWindowHandle(), WM_IMAGE_PROCESSED, Key(), index);
        return true;
    }
    bool IsBlankResult() const override { return false; }
    bool SaveResult() override { return !bytes_.empty(); }
    std::wstring OutputFolder() const override { return {}; }
    std::wstring OutputName() const override { return {}; }

private:
    std::wstring input_;
    std::vector<std::uint8_t> bytes_;
};

// Pages per second and the compute loop's rate around each run, per worker
// count, for one kind of run.
struct RunRates {
    std::map<int, double> pages;
    std::map<int, double> steady;
    std::map<int, double> machine;
};

// Files written per second between the `workers`-th written file and the
// first worker's exit; 0 when that stretch is empty.
double SteadyRate(const benchengine::EngineWindow& receiver, int workers) {
    const auto& saved = receiver.filesSaved;
    if (receiver.workerExits.empty() || static_cast<int>(saved.size()) <= workers) return 0;
    const auto begin = saved[static_cast<std::size_t>(workers - 1)];
    const auto end = receiver.workerExits.front();
    if (end <= begin) return 0;
    int files = 0;
    for (const auto& t : saved)
        if (t > begin && t <= end) ++files;
    return files / std::chrono::duration<double>(end - begin).count();
}

void MeasureRuns(benchmark::State& state, RunRates& rates, bool computeOnly, int pageCount = kPages) {
    const int workers = static_cast<int>(state.range(0));
    const std::string root = InputFolder(pageCount);
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
    if (computeOnly) engine->SetProcessorFactory([] { return std::make_unique<ComputeOnlyProcessor>(); });

    const int threads = std::min(workers, GetProcessorCount());
    const double machineBefore = ComputeRate(threads);
    double seconds = 0;
    const bool peakReset = procfig::ResetPeak();
    const long long rssBefore = procfig::StatusKb("VmRSS");
    const procfig::Usage usageBefore = procfig::ProcessUsage();
    double tailSeconds = 0;  // summed over the workers
    double steadyRate = 0;   // of the last iteration
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove_all(root + "/out");
        state.ResumeTiming();
        receiver.workerExits.clear();
        receiver.filesSaved.clear();
        const auto start = std::chrono::steady_clock::now();
        engine->OnStartStop();
        pump.PumpUntil([&] { return engine->RunState() == RUN_STATE_IDLE && engine->Pool().LiveThreads() == 0; },
                       std::chrono::minutes(30));
        const auto end = std::chrono::steady_clock::now();
        seconds += std::chrono::duration<double>(end - start).count();
        for (const auto& exit : receiver.workerExits) tailSeconds += std::chrono::duration<double>(end - exit).count();
        steadyRate = SteadyRate(receiver, threads);
        if (engine->Pool().CountDone() != pageCount || engine->FailedCount() != 0) {
            state.SkipWithError("the run did not process every page");
            break;
        }
    }
    const procfig::Usage used = procfig::ProcessUsage() - usageBefore;
    const long long peakGrowthKb = procfig::StatusKb("VmHWM") - rssBefore;
    engine.reset();
    SetMainWindowHandle(HWND());
    rates.machine[threads] = (machineBefore + ComputeRate(threads)) / 2;

    const double rate = seconds > 0 ? pageCount * static_cast<double>(state.iterations()) / seconds : 0;
    rates.pages[threads] = rate;
    state.counters["workers"] = threads;
    state.counters["pages_per_s"] = rate;
    if (rates.pages.count(1) && rates.pages[1] > 0) {
        const double speedup = rate / rates.pages[1];
        state.counters["speedup"] = speedup;
        auto& machine = rates.machine;
        if (machine.count(1) && machine.count(threads) && machine[1] > 0 && machine[threads] > 0)
            state.counters["of_machine"] = speedup / (machine[threads] / machine[1]);
        rates.steady[threads] = steadyRate;
        if (rates.steady.count(1) && rates.steady[1] > 0 && steadyRate > 0) {
            const double steady = steadyRate / rates.steady[1];
            state.counters["steady_speedup"] = steady;
            if (machine.count(1) && machine.count(threads) && machine[1] > 0 && machine[threads] > 0)
                state.counters["steady_of_machine"] = steady / (machine[threads] / machine[1]);
        }
    }
    const double pages = pageCount * static_cast<double>(state.iterations());
    const double cpu = used.userSeconds + used.systemSeconds;
    if (seconds > 0) {
        state.counters["busy"] = cpu / (seconds * threads);
        state.counters["tail_idle"] = tailSeconds / (seconds * threads);
    }
    if (cpu > 0) state.counters["sys_share"] = used.systemSeconds / cpu;
    state.counters["cpu_ms_per_page"] = cpu * 1000 / pages;
    state.counters["faults_per_page"] = static_cast<double>(used.minorFaults + used.majorFaults) / pages;
    state.counters["switches_per_page"] = static_cast<double>(used.voluntarySwitches) / pages;
    if (peakReset && rssBefore >= 0) state.counters["peak_MiB_per_worker"] = peakGrowthKb / 1024.0 / threads;
}

void BM_BatchRun(benchmark::State& state) {
    static RunRates rates;
    MeasureRuns(state, rates, false);
}

// The same runs over 512 pages: each worker's first page weighs less.
void BM_BatchRunLong(benchmark::State& state) {
    static RunRates rates;
    MeasureRuns(state, rates, false, kLongRunPages);
}

// The same runs with the compute-only processor.
void BM_EngineOnlyRun(benchmark::State& state) {
    static RunRates rates;
    MeasureRuns(state, rates, true);
}

}  // namespace

BENCHMARK(BM_MachineCompute)->Apply(benchengine::WorkerCounts)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_MachineMemory)->Apply(benchengine::WorkerCounts)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_EngineOnlyRun)->Apply(benchengine::WorkerCounts)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_BatchRun)->Apply(benchengine::WorkerCounts)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
BENCHMARK(BM_BatchRunLong)->Apply(benchengine::WorkerCounts)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();
