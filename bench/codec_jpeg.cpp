// Decoding and encoding an A4 300-dpi colour page (2480 x 3508) through
// CRaster, beside the same work done directly with libjpeg in the same run.
// The *_VsBare benchmarks time both alternately and report the ratio
// (our layer / bare library) as the counter "ratio".
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <vector>

#include "image/Raster.h"
#include "support/BareJpeg.h"

namespace {

constexpr int kWidth = 2480, kHeight = 3508, kQuality = 90, kDpi = 300;

// A scan-like page: off-white paper with grain, lines of dark "text"
// strokes, a grey photo block and a red stamp. Rows from the top, B, G, R.
const std::vector<std::uint8_t>& Page() {
    static const std::vector<std::uint8_t> page = [] {
        std::vector<std::uint8_t> p(static_cast<std::size_t>(kWidth) * kHeight * 3);
        std::mt19937 rng(42);
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                std::uint8_t* px = &p[(static_cast<std::size_t>(y) * kWidth + x) * 3];
                const int grain = static_cast<int>(rng() % 9) - 4;
                int b = 226 + grain, g = 236 + grain, r = 240 + grain;
                const int line = (y - 300) % 70, col = (x - 250) % 38;
                const bool inText = y > 300 && y < 3200 && x > 250 && x < 2230 && line < 36 && col < 26;
                if (inText && ((x * 7 + y * 3 + (x / 38) * 11) % 5 < 2)) b = g = r = 30 + grain;
                if (y > 1500 && y < 2100 && x > 700 && x < 1700) b = g = r = 60 + ((x + y) / 9) % 140;
                const int dx = x - 1900, dy = y - 3000;
                const int d2 = dx * dx + dy * dy;
                if (d2 < 200 * 200 && d2 > 185 * 185) {
                    r = 210;
                    g = 40;
                    b = 50;
                }
                px[0] = static_cast<std::uint8_t>(b);
                px[1] = static_cast<std::uint8_t>(g);
                px[2] = static_cast<std::uint8_t>(r);
            }
        return p;
    }();
    return page;
}

const std::vector<std::uint8_t>& PageJpeg() {
    static const std::vector<std::uint8_t> jpeg = [] {
        std::vector<std::uint8_t> out;
        barejpeg::Encode(Page().data(), kWidth, kHeight, 3, static_cast<std::size_t>(kWidth) * 3, kQuality, kDpi, out);
        return out;
    }();
    return jpeg;
}

// The page as a CRaster (rows bottom-up).
CRaster& PageRaster() {
    static CRaster* img = [] {
        CRaster* r = new CRaster(RASTER_FORMAT_BMP);
        r->Create(kWidth, kHeight, 24, RASTER_FORMAT_BMP);
        for (int y = 0; y < kHeight; ++y)
            std::copy_n(&Page()[static_cast<std::size_t>(y) * kWidth * 3], kWidth * 3, r->GetBits(kHeight - 1 - y));
        r->SetDpiX(kDpi);
        r->SetDpiY(kDpi);
        r->SetQuality(kQuality);
        return r;
    }();
    return *img;
}

void BareDecode() {
    barejpeg::Image out;
    if (!barejpeg::Decode(PageJpeg().data(), PageJpeg().size(), out)) std::abort();
    benchmark::DoNotOptimize(out.pixels.get());
}

void RasterDecode() {
    CRaster img;
    if (!img.DecodeFromMemory(PageJpeg().data(), static_cast<DWORD>(PageJpeg().size()), RASTER_FORMAT_JPG))
        std::abort();
    benchmark::DoNotOptimize(img.GetBits());
}

void BareEncode() {
    std::vector<std::uint8_t> out;
    if (!barejpeg::Encode(Page().data(), kWidth, kHeight, 3, static_cast<std::size_t>(kWidth) * 3, kQuality, kDpi, out))
        std::abort();
    benchmark::DoNotOptimize(out.data());
}

void RasterEncode() {
    BYTE* buffer = nullptr;
    std::int32_t size = 0;
    if (!PageRaster().EncodeToMemory(buffer, size, RASTER_FORMAT_JPG)) std::abort();
    benchmark::DoNotOptimize(buffer);
    std::free(buffer);
}

template <void (*Ours)(), void (*Bare)()>
void VsBare(benchmark::State& state) {
    Ours();  // warm both paths and the static data
    Bare();
    double ours = 0, bare = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        Ours();
        auto t1 = std::chrono::steady_clock::now();
        Bare();
        auto t2 = std::chrono::steady_clock::now();
        ours += std::chrono::duration<double>(t1 - t0).count();
        bare += std::chrono::duration<double>(t2 - t1).count();
    }
    state.counters["ratio"] = ours / bare;
    state.counters["ours_ms"] = 1000 * ours / static_cast<double>(state.iterations());
    state.counters["bare_ms"] = 1000 * bare / static_cast<double>(state.iterations());
}

void BM_BareJpegDecode(benchmark::State& state) {
    for (auto _ : state) BareDecode();
}
void BM_RasterJpegDecode(benchmark::State& state) {
    for (auto _ : state) RasterDecode();
}
void BM_BareJpegEncode(benchmark::State& state) {
    for (auto _ : state) BareEncode();
}
void BM_RasterJpegEncode(benchmark::State& state) {
    for (auto _ : state) RasterEncode();
}

}  // namespace

BENCHMARK(BM_BareJpegDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RasterJpegDecode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareJpegEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RasterJpegEncode)->Unit(benchmark::kMillisecond);
BENCHMARK(VsBare<RasterDecode, BareDecode>)->Name("JpegDecode_VsBare")->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(VsBare<RasterEncode, BareEncode>)->Name("JpegEncode_VsBare")->Unit(benchmark::kMillisecond)->MinTime(2.0);
