// The memory a whole file takes at its peak (read, decode, the default
// pipeline with deskew and background removal, save) against the estimate a
// batch run admits it by (processing/processor/PageMemory.h), for A4, A3 and A0 pages
// at 300 and 600 dpi in grey and colour, with text and with a page dark all
// over. Each file runs in a child process of its own, whose peak resident
// size is read from /proc; the counters give both in MB and their ratio
// (estimate / peak: at least 1 means the budget is never overrun).
//
// A case is skipped when the machine has less memory available than its
// estimate with a margin: the benchmark never pushes a shared machine into
// swapping.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/core/Files.h"
#include "platform/core/Paths.h"
#include "platform/core/Strings.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/processor/PageMemory.h"
#include "processing/processor/ProcessOneFile.h"
#include "settings/ProcessSetting.h"
#include "support/BenchFolder.h"
#include "support/Pages.h"
#include "support/ProcessFigures.h"

namespace {

long long AvailableBytes() {
    std::ifstream in("/proc/meminfo");
    std::string key;
    long long kb = 0;
    std::string unit;
    while (in >> key >> kb >> unit)
        if (key == "MemAvailable:") return kb * 1024;
    return 0;
}

// Processes `path` in a child process; returns its peak growth in bytes
// (-1 on failure).
long long ChildPeak(const std::wstring& path) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        // The peak counts from here: the parent's pages the child shares
        // are in both figures.
        procfig::ResetPeak();
        const long long before = procfig::StatusKb("VmRSS");
        long long peak = -1;
        {
            CImageProcessor p;
            const std::wstring out = PathJoin(benchfiles::Folder(), L"memory-out");
            const OneFileOutcome o = ProcessOneFile(p, path, out, PathFileName(path), RUN_DESKEW_METHOD_0, 3);
            if (o.saved) peak = (procfig::StatusKb("VmHWM") - before) * 1024;
        }
        const ssize_t n = write(fds[1], &peak, sizeof peak);
        _exit(n == sizeof peak ? 0 : 1);
    }
    close(fds[1]);
    long long peak = -1;
    if (read(fds[0], &peak, sizeof peak) != sizeof peak) peak = -1;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return peak;
}

struct Case {
    const char* paper;
    double widthMm, heightMm;
    int dpi;
    bool colour;
    bool dark;
};

void BM_FilePeak(benchmark::State& state, Case c) {
    const int w = static_cast<int>(c.widthMm / 25.4 * c.dpi + 0.5);
    const int h = static_cast<int>(c.heightMm / 25.4 * c.dpi + 0.5);
    const std::wstring path = PathJoin(benchfiles::Folder(), FromUtf8(std::string("memory-") + c.paper + ".jpg"));
    // What the child is expected to take (a text page about a third of the
    // estimate, a dark one all of it) and the page made here beside it.
    const long long pixels = static_cast<long long>(w) * h;
    const long long needed = pixels * (c.dark ? 28 : 9) + pixels * (c.colour ? 3 : 1) * 3 + (2ll << 30);
    if (AvailableBytes() < needed) {
        state.SkipWithError("not enough memory available on this machine for this page");
        for (auto _ : state) {
        }
        return;
    }
    {
        synth::Page page = c.dark ? synth::Page(w, h, c.colour ? 24 : 8, c.dpi)
                                  : synth::TextPage(w, h, c.colour ? 24 : 8, c.dpi, 5, synth::Rgb(248, 244, 236), 6);
        if (c.dark) std::memset(page.bits.data(), 16, page.bits.size());
        const std::vector<std::uint8_t> jpeg = benchpages::AsJpeg(page, 85);
        files::WriteAllAtomic(path, jpeg.data(), jpeg.size());
    }
    ProcessSetting::ResetToStart();
    long long peak = -1;
    for (auto _ : state) peak = ChildPeak(path);
    FileShape probed;
    const bool probedOk = ProbeFileShape(path, probed);
    files::Remove(path);
    if (peak <= 0 || !probedOk) {
        state.SkipWithError("the page could not be processed");
        return;
    }
    const double estimate = static_cast<double>(EstimatePeakBytes(probed));
    state.counters["pixels_M"] = static_cast<double>(w) * h / 1e6;
    state.counters["peak_MB"] = static_cast<double>(peak) / (1 << 20);
    state.counters["estimate_MB"] = estimate / (1 << 20);
    state.counters["ratio"] = estimate / static_cast<double>(peak);
    state.counters["peak_B_per_px"] = static_cast<double>(peak) / (static_cast<double>(w) * h);
}

const bool registered = [] {
    const Case cases[] = {
        {"A4_300_grey", 210, 297, 300, false, false},  {"A4_300_colour", 210, 297, 300, true, false},
        {"A4_600_grey", 210, 297, 600, false, false},  {"A4_600_colour", 210, 297, 600, true, false},
        {"A3_300_grey", 297, 420, 300, false, false},  {"A3_300_colour", 297, 420, 300, true, false},
        {"A3_600_grey", 297, 420, 600, false, false},  {"A3_600_colour", 297, 420, 600, true, false},
        {"A0_300_grey", 841, 1189, 300, false, false}, {"A0_300_colour", 841, 1189, 300, true, false},
        {"A0_600_grey", 841, 1189, 600, false, false}, {"A0_600_colour", 841, 1189, 600, true, false},
        {"A4_300_grey_dark", 210, 297, 300, false, true}, {"A4_300_colour_dark", 210, 297, 300, true, true},
        {"A3_600_grey_dark", 297, 420, 600, false, true}, {"A3_600_colour_dark", 297, 420, 600, true, true},
    };
    for (const Case& c : cases)
        benchmark::RegisterBenchmark((std::string("BM_FilePeak/") + c.paper).c_str(), BM_FilePeak, c)
            ->Iterations(1)
            ->Unit(benchmark::kSecond)
            ->UseRealTime();
    return true;
}();

}  // namespace
