// Page-size statistics: classing 5,000 files of mixed formats (JPEG and
// TIFF, half each) from their headers on one worker, as the statistics tool
// does. Reports files per second and, measured in the same run on the same
// files, the ratio to the least any reader must do: open each file, read
// its first 4 KiB and close it.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "image/Raster.h"
#include "platform/core/Files.h"
#include "platform/core/Paths.h"
#include "platform/core/Strings.h"
#include "support/BenchFolder.h"
#include "tools/ImgStatisticBySizeDlg.h"
#include "tools/PageSizeStatistics.h"

namespace {

constexpr int kFiles = 5000;

// The files, written once: a small colour JPEG and an LZW TIFF at 300 dpi,
// each copied under 2,500 names (the header of a page does not grow with
// its pixel count; opening and parsing is what costs).
const std::vector<std::wstring>& Files() {
    static const std::vector<std::wstring> files = [] {
        std::vector<std::wstring> out;
        const std::wstring folder = PathJoin(benchfiles::Folder(), L"statistics");
        files::CreateDirectory(folder);
        CRaster page;
        page.Create(320, 452, 24, RASTER_FORMAT_BMP);
        page.Clear(200);
        page.SetDpiX(300);
        page.SetDpiY(300);
        const std::wstring jpeg = PathJoin(folder, L"model.jpg");
        const std::wstring tiff = PathJoin(folder, L"model.tif");
        page.SetFormatOption(5, RASTER_FORMAT_TIF);
        if (!page.Save(jpeg, RASTER_FORMAT_JPG) || !page.Save(tiff, RASTER_FORMAT_TIF)) return out;
        std::vector<std::uint8_t> jpegBytes, tiffBytes;
        files::ReadAll(jpeg, jpegBytes);
        files::ReadAll(tiff, tiffBytes);
        for (int i = 0; i < kFiles; ++i) {
            const bool isTiff = i % 2 == 1;
            const std::wstring name = PathJoin(folder, L"p" + std::to_wstring(i) + (isTiff ? L".tif" : L".jpg"));
            const auto& bytes = isTiff ? tiffBytes : jpegBytes;
            files::WriteAllAtomic(name, bytes.data(), bytes.size());
            out.push_back(name);
        }
        return out;
    }();
    return files;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

void BM_ClassifyFiles(benchmark::State& state) {
    const auto& files = Files();
    if (files.size() != static_cast<std::size_t>(kFiles)) {
        state.SkipWithError("the benchmark files could not be written");
        return;
    }
    const PaperChoice papers{true, true, true};
    const PageSizeLimits limits = PageSizeLimitsFor(false, 0);
    double classify = 0;
    double baseline = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        int matched = 0;
        for (const auto& f : files) {
            PageSizeRecord r;
            matched += CImgStatisticBySizeDlg::ClassifyFile(f, papers, limits, r) ? 1 : 0;
        }
        const auto t1 = std::chrono::steady_clock::now();
        std::vector<char> head(4096);
        std::size_t read = 0;
        for (const auto& f : files) {
            if (std::FILE* fp = std::fopen(ToUtf8(f).c_str(), "rb")) {
                read += std::fread(head.data(), 1, head.size(), fp);
                std::fclose(fp);
            }
        }
        const auto t2 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(matched);
        benchmark::DoNotOptimize(read);
        if (matched != kFiles) state.SkipWithError("a file was not classed");
        classify += Seconds(t1 - t0);
        baseline += Seconds(t2 - t1);
        state.SetIterationTime(Seconds(t1 - t0));
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
    state.counters["files_per_s"] = static_cast<double>(state.iterations()) * kFiles / classify;
    state.counters["ratio_to_open_read"] = classify / baseline;
}
BENCHMARK(BM_ClassifyFiles)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace
