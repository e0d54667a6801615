// Loading and saving an A4 300-dpi colour JPEG (2480 x 3508) through the
// processing object (whole-file read, decode, working images; the image to
// encode made from the result, encode at quality 85, write through a
// temporary name), beside a bare libjpeg decode or encode of the same page
// in the same run. The counter "ratio" is ours / bare.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/core/Files.h"
#include "platform/core/Strings.h"
#include "processing/processor/ImageProcessor.h"
#include "settings/ProcessSetting.h"
#include "support/BareJpeg.h"
#include "support/BenchFolder.h"
#include "support/Pages.h"

namespace {

constexpr int kQuality = 85;

// The colour page as rows from the top, as libjpeg takes them.
const std::vector<std::uint8_t>& TopDownPage() {
    static const std::vector<std::uint8_t> rows = benchpages::TopDownRows(benchpages::A4TextColour());
    return rows;
}

const std::vector<std::uint8_t>& PageJpeg() {
    static const std::vector<std::uint8_t> jpeg = benchpages::AsJpeg(benchpages::A4TextColour(), 90);
    return jpeg;
}

using benchfiles::Folder;

const std::wstring& SourcePath() {
    static const std::wstring path = [] {
        const std::wstring p = Folder() + L"/page.jpg";
        if (!files::WriteAllAtomic(p, PageJpeg().data(), PageJpeg().size())) std::abort();
        return p;
    }();
    return path;
}

void OurLoad() {
    CImageProcessor p;
    if (!p.ReadFileBytes(SourcePath().c_str()) || !p.LoadImageFile(SourcePath().c_str(), 1)) std::abort();
    benchmark::DoNotOptimize(p.greyImage.get());
}

void BareDecode() {
    std::vector<std::uint8_t> bytes;
    if (!files::ReadAll(SourcePath(), bytes)) std::abort();
    barejpeg::Image out;
    if (!barejpeg::Decode(bytes.data(), bytes.size(), out)) std::abort();
    benchmark::DoNotOptimize(out.pixels.get());
}

// A processor holding the loaded page as its result, ready to save.
CImageProcessor& Loaded() {
    static CImageProcessor* p = [] {
        auto* q = new CImageProcessor;
        if (!q->ReadFileBytes(SourcePath().c_str()) || !q->LoadImageFile(SourcePath().c_str(), 1)) std::abort();
        q->result = q->colourImage.get();
        q->resultWidth = q->width;
        q->resultHeight = q->height;
        q->resultDepth = 24;
        q->outputFolder = Folder() + L"/out";
        q->outputName = L"page.jpg";
        return q;
    }();
    return *p;
}

void OurSave() {
    ProcessSetting::filesave.jpgquality = kQuality;
    if (!Loaded().SaveResult()) std::abort();
}

void BareEncodeAndWrite() {
    std::vector<std::uint8_t> out;
    if (!barejpeg::Encode(TopDownPage().data(), benchpages::kA4Width, benchpages::kA4Height, 3,
                          static_cast<std::size_t>(benchpages::kA4Width) * 3, kQuality, benchpages::kA4Dpi, out))
        std::abort();
    if (!files::WriteAllAtomic(Folder() + L"/bare.jpg", out.data(), out.size())) std::abort();
}

template <void (*Ours)(), void (*Bare)()>
void VsBare(benchmark::State& state) {
    Ours();
    Bare();
    // Each side is timed right after an untimed run of its own (see
    // bench_pipeline): neither is measured in the heap the other left.
    double ours = 0, bare = 0;
    for (auto _ : state) {
        Ours();
        const auto t0 = std::chrono::steady_clock::now();
        Ours();
        const auto t1 = std::chrono::steady_clock::now();
        Bare();
        const auto t2 = std::chrono::steady_clock::now();
        Bare();
        const auto t3 = std::chrono::steady_clock::now();
        ours += std::chrono::duration<double>(t1 - t0).count();
        bare += std::chrono::duration<double>(t3 - t2).count();
    }
    state.counters["ratio"] = ours / bare;
    state.counters["ours_ms"] = 1000 * ours / static_cast<double>(state.iterations());
    state.counters["bare_ms"] = 1000 * bare / static_cast<double>(state.iterations());
}

}  // namespace

BENCHMARK(VsBare<OurLoad, BareDecode>)->Name("LoadA4Jpeg_VsBareDecode")->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(VsBare<OurSave, BareEncodeAndWrite>)
    ->Name("SaveA4Jpeg_VsBareEncode")
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
