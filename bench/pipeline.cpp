// The whole default pipeline on an A4 300-dpi colour scan-like page (2480 x
// 3508): JPEG file in, background removal and deskew on (the main window's
// two quick steps), every other setting at its start value, JPEG file out at
// quality 85. Beside it, in the same run, the bare libjpeg decode + encode
// of the same file, each timed in its own steady state. The page is
// scanned straight (the skew found is 0), in a second benchmark 1.3 degrees
// askew and, in a third, 7 degrees askew: beyond the default 5-degree range,
// so the detection runs the search again over 30 degrees (the wide search;
// the benchmark stops with an error if the angle found shows that it did
// not); in a fourth, the page is blank (the detection tries every method).
// Counters: "ratio" = pipeline / bare; "peak_MB" = the largest heap the
// pipeline held above what was live before it, per page
// (every malloc of the process is counted, the libraries' included);
// "angle" = the skew found. Each page is measured as a batch run's worker
// processes it (freed memory kept for the next page) and, in the
// "_LibraryHeap" twin, with the C library's own handling of freed memory;
// the "_Avx2" twin measures it as a processor without AVX-512 runs it.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <malloc.h>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/core/Files.h"
#include "platform/core/FreedMemory.h"
#include "platform/core/Strings.h"
#include "processing/VectorLoops.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/processor/ProcessOneFile.h"
#include "settings/ProcessSetting.h"
#include "support/BareJpeg.h"
#include "support/BenchFolder.h"
#include "support/Pages.h"

// ---- Heap accounting: every allocation of the process passes here. ----

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void* __libc_memalign(std::size_t, std::size_t);
void __libc_free(void*);
}

namespace {

std::atomic<long long> g_live{0};
std::atomic<long long> g_peak{0};

void Count(void* p) {
    if (!p) return;
    const long long now = g_live.fetch_add(static_cast<long long>(malloc_usable_size(p))) +
                          static_cast<long long>(malloc_usable_size(p));
    long long peak = g_peak.load();
    while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
    }
}

void Uncount(void* p) {
    if (p) g_live.fetch_sub(static_cast<long long>(malloc_usable_size(p)));
}

}  // namespace

extern "C" {
void* malloc(std::size_t n) {
    void* p = __libc_malloc(n);
    Count(p);
    return p;
}
void* calloc(std::size_t n, std::size_t size) {
    void* p = __libc_calloc(n, size);
    Count(p);
    return p;
}
void* realloc(void* old, std::size_t n) {
    Uncount(old);
    void* p = __libc_realloc(old, n);
    // A failed reallocation keeps the old block.
    Count(p ? p : (n ? old : nullptr));
    return p;
}
void free(void* p) {
    Uncount(p);
    __libc_free(p);
}
void* memalign(std::size_t alignment, std::size_t n) {
    void* p = __libc_memalign(alignment, n);
    Count(p);
    return p;
}
void* aligned_alloc(std::size_t alignment, std::size_t n) { return memalign(alignment, n); }
int posix_memalign(void** out, std::size_t alignment, std::size_t n) {
    void* p = memalign(alignment, n);
    if (!p) return ENOMEM;
    *out = p;
    return 0;
}
}

namespace {

constexpr int kQuality = 85;
constexpr int kDefaultQuickSteps = 3;  // deskew and background removal

using benchfiles::Folder;

// A page as a JPEG file at quality 90.
std::wstring WriteScan(const synth::Page& page, const std::wstring& name) {
    const std::vector<std::uint8_t> jpeg = benchpages::AsJpeg(page, 90);
    const std::wstring p = Folder() + L"/" + name;
    if (!files::WriteAllAtomic(p, jpeg.data(), jpeg.size())) std::abort();
    return p;
}

// The scan-like page as scanned straight, and the same page scanned 1.3
// degrees askew (deskewing then turns every pixel).
const std::wstring& StraightScan() {
    static const std::wstring path = WriteScan(benchpages::A4TextColour(), L"scan.jpg");
    return path;
}
const std::wstring& SkewedScan() {
    static const std::wstring path =
        WriteScan(synth::Turned(benchpages::A4TextColour(), 1.3, synth::Rgb(242, 238, 226)), L"skewed.jpg");
    return path;
}

// Turned by 7 degrees: the first search settles on an angle in the extra
// half degree beyond 5, and the detection searches again over 30 degrees.
constexpr double kWideSkew = 7.0;
const std::wstring& WideSkewScan() {
    static const std::wstring path =
        WriteScan(synth::Turned(benchpages::A4TextColour(), kWideSkew, synth::Rgb(242, 238, 226)), L"wide.jpg");
    return path;
}

// A blank page (tinted paper, noise): no method finds lines, so the
// detection tries the others in turn (text only, the contrast copy), each
// with its own binary image and both scans.
const std::wstring& BlankScan() {
    static const std::wstring path = [] {
        synth::Page page = synth::Blank(benchpages::kA4Width, benchpages::kA4Height, 24, synth::Rgb(242, 238, 226));
        synth::AddNoise(page, 12, 7);
        return WriteScan(page, L"blank.jpg");
    }();
    return path;
}

void DefaultSettings() {
    ProcessSetting::ResetToStart();
    ProcessSetting::filesave.jpgquality = kQuality;
}

double g_peakBytes = 0;
float g_angle = 0;

void Pipeline(const std::wstring& source) {
    const long long before = g_live.load();
    g_peak.store(before);
    {
        CImageProcessor p;
        const OneFileOutcome o = ProcessOneFile(p, source, Folder() + L"/out", L"scan.jpg", RUN_DESKEW_METHOD_0,
                                                kDefaultQuickSteps);
        if (!o.saved) std::abort();
        g_angle = p.skewSearcher.skewAngle;
    }
    g_peakBytes = std::max(g_peakBytes, static_cast<double>(g_peak.load() - before));
}

void BareDecodeEncode(const std::wstring& source) {
    std::vector<std::uint8_t> bytes;
    if (!files::ReadAll(source, bytes)) std::abort();
    barejpeg::Image image;
    if (!barejpeg::Decode(bytes.data(), bytes.size(), image)) std::abort();
    std::vector<std::uint8_t> out;
    if (!barejpeg::Encode(image.pixels.get(), image.width, image.height, image.components, image.stride, kQuality,
                          benchpages::kA4Dpi, out))
        std::abort();
    if (!files::WriteAllAtomic(Folder() + L"/bare.jpg", out.data(), out.size())) std::abort();
}

// How freed memory is kept decides whether a page's buffers come with their
// pages mapped (design notes in platform/core/FreedMemory.h). A batch run,
// the road the default pipeline runs on, keeps freed blocks for the next
// file: kBatchHeap measures the page that way (both sides, same process).
// Without it, each large block is mapped afresh per page as the C library
// decides, which a single file processed outside a batch run meets.
//
// kAvx2: the pixel loops with the AVX-512 ones set aside, as a processor
// without AVX-512 runs them (most desktop processors); libjpeg's own loops
// stay as they are on both sides.
template <const std::wstring& (*Source)(), bool kBatchHeap, bool kAvx2 = false>
void VsBareJpeg(benchmark::State& state) {
    std::optional<freedmem::KeepWhileAlive> keep;
    if (kBatchHeap) keep.emplace();
    std::optional<vectorloops::WithoutAvx512> aside;
    if (kAvx2) aside.emplace();
    DefaultSettings();
    g_peakBytes = 0;
    const std::wstring& source = Source();
    Pipeline(source);
    BareDecodeEncode(source);
    // Each side is timed right after an untimed run of its own, so neither
    // is measured in the heap the other left behind: the large blocks a run
    // frees move the allocator's mmap and trim thresholds, which decides
    // whether the next 26 MB buffer comes with its pages already mapped.
    double ours = 0, bare = 0;
    for (auto _ : state) {
        Pipeline(source);
        const auto t0 = std::chrono::steady_clock::now();
        Pipeline(source);
        const auto t1 = std::chrono::steady_clock::now();
        BareDecodeEncode(source);
        const auto t2 = std::chrono::steady_clock::now();
        BareDecodeEncode(source);
        const auto t3 = std::chrono::steady_clock::now();
        ours += std::chrono::duration<double>(t1 - t0).count();
        bare += std::chrono::duration<double>(t3 - t2).count();
    }
    state.counters["ratio"] = ours / bare;
    state.counters["ours_ms"] = 1000 * ours / static_cast<double>(state.iterations());
    state.counters["bare_ms"] = 1000 * bare / static_cast<double>(state.iterations());
    state.counters["peak_MB"] = g_peakBytes / (1024.0 * 1024.0);
    state.counters["angle"] = g_angle;
    // The first search sweeps below 5.5 degrees either way: a larger angle
    // can only come from the wide search.
    if (Source == &WideSkewScan && !(std::fabs(g_angle) > 5.5f))
        state.SkipWithError(("the wide search did not run; angle " + std::to_string(g_angle)).c_str());
}

}  // namespace

#define PIPELINE_BENCHMARK(source, name)                                                                   \
    BENCHMARK(VsBareJpeg<source, true>)->Name(name)->Unit(benchmark::kMillisecond)->MinTime(3.0);             \
    BENCHMARK(VsBareJpeg<source, false>)->Name(name "_LibraryHeap")->Unit(benchmark::kMillisecond)->MinTime(3.0); \
    BENCHMARK(VsBareJpeg<source, true, true>)->Name(name "_Avx2")->Unit(benchmark::kMillisecond)->MinTime(3.0)

PIPELINE_BENCHMARK(StraightScan, "DefaultPipeline_VsBareJpeg");
PIPELINE_BENCHMARK(SkewedScan, "DefaultPipeline_SkewedScan_VsBareJpeg");
PIPELINE_BENCHMARK(WideSkewScan, "DefaultPipeline_WideSkewSearch_VsBareJpeg");
PIPELINE_BENCHMARK(BlankScan, "DefaultPipeline_BlankPage_VsBareJpeg");
