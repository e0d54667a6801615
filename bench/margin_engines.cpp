// Stain and border remover, binding-hole remover and text-direction detector
// on an A4 300-dpi page, each beside the plain reference implementation of
// the tests and the bare JPEG decode of the same page, in the same run.
#include <benchmark/benchmark.h>

#include <vector>

#include "processing/BindHoleRemover.h"
#include "processing/PixelMath.h"
#include "processing/StainBorderRemover.h"
#include "processing/TextDirectionDetector.h"
#include "processing/reference/RefPageEngines.h"
#include "processing/reference/RefTextDirection.h"
#include "support/BareJpeg.h"
#include "support/Pages.h"

namespace {

using benchpages::kA4Dpi;
using benchpages::kA4Height;
using benchpages::kA4Width;

constexpr int kMm = kA4Dpi * 10 / 254;

// The office page with stains over the paper, a black border along the
// picture's left edge and a dark scanning-board frame along its top.
struct StainPages {
    synth::Page colour, grey, black;
};
const StainPages& Stained() {
    static const StainPages pages = [] {
        StainPages s;
        s.colour = benchpages::A4TextColour();
        synth::Rng rng(77);
        for (int i = 0; i < 60; ++i)
            synth::DrawBlot(s.colour, rng.Int(20, kA4Width - 20), rng.Int(20, kA4Height - 20), rng.Int(3, 12),
                            synth::Rgb(60, 55, 50), static_cast<std::uint64_t>(i) + 1);
        s.colour.FillRect({0, 0, 12 * kMm / 2, kA4Height}, synth::Rgb(20, 20, 20));
        s.colour.FillRect({0, kA4Height - 8 * kMm, kA4Width, kA4Height}, synth::kBlack);
        s.grey = synth::ToGrey(s.colour);
        // the board step's black image: every channel binarised at the mean grey
        std::int64_t sum = 0;
        for (int y = 0; y < kA4Height; ++y)
            for (int x = 0; x < kA4Width; ++x) sum += s.grey.Row(y)[x];
        const std::int64_t mean = sum / (static_cast<std::int64_t>(kA4Width) * kA4Height);
        s.black = s.colour;
        for (auto& v : s.black.bits) v = v >= mean ? 255 : 0;
        return s;
    }();
    return pages;
}

enum Mode { kStains, kBorders, kBoard };

StainBorderParams StainParams(synth::Page& colour, synth::Page& grey, Mode mode) {
    StainBorderParams p;
    p.page.grey = grey.Data();
    p.page.colour = colour.Data();
    p.page.width = kA4Width;
    p.page.height = kA4Height;
    p.page.bitsPerPixel = 24;
    p.page.dpi = kA4Dpi;
    p.mark = 1;
    if (mode == kStains) {
        p.stains = 1;
        p.threshold = 160;
        p.stainArea = 4.0f;
    } else if (mode == kBorders) {
        p.borders = 1;
        p.threshold = 160;
        p.eraseRadius = 5;
    } else {
        p.board = 1;
        p.threshold = 128;
        p.eraseRadius = 5;
        p.band = 10;
        p.stainArea = 4.0f;
        p.mark = 0;
        p.black = Stained().black.Data();
    }
    return p;
}

void BM_StainBorderRemover(benchmark::State& state) {
    const Mode mode = static_cast<Mode>(state.range(0));
    CStainBorderRemover engine;
    for (auto _ : state) {
        state.PauseTiming();
        synth::Page colour = Stained().colour, grey = Stained().grey;
        state.ResumeTiming();
        engine.Run(StainParams(colour, grey, mode));
        benchmark::DoNotOptimize(colour.bits.data());
    }
}
BENCHMARK(BM_StainBorderRemover)->Arg(kStains)->Arg(kBorders)->Arg(kBoard)->Unit(benchmark::kMillisecond);

void BM_StainBorderReference(benchmark::State& state) {
    const Mode mode = static_cast<Mode>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        synth::Page colour = Stained().colour, grey = Stained().grey;
        state.ResumeTiming();
        benchmark::DoNotOptimize(ref::RemoveStains(StainParams(colour, grey, mode)).classes.data());
    }
}
BENCHMARK(BM_StainBorderReference)->Arg(kStains)->Arg(kBorders)->Arg(kBoard)->Unit(benchmark::kMillisecond)->Iterations(1);

// The office page (tinted paper, so holes are patched) with three 6 mm
// holes in the left band and two in the top band.
struct HolePages {
    synth::Page colour, grey;
};
const HolePages& Holed() {
    static const HolePages pages = [] {
        HolePages h;
        h.colour = benchpages::A4TextColour();
        for (int i = 0; i < 3; ++i) h.colour.FillDisc(12 * kMm, kA4Height / 4 * (i + 1), 3 * kMm, synth::Rgb(25, 25, 25));
        h.colour.FillDisc(kA4Width / 3, 10 * kMm, 3 * kMm, synth::Rgb(25, 25, 25));
        h.colour.FillDisc(2 * kA4Width / 3, 10 * kMm, 3 * kMm, synth::Rgb(25, 25, 25));
        h.grey = synth::ToGrey(h.colour);
        return h;
    }();
    return pages;
}

BindHoleParams HoleParams(synth::Page& colour, synth::Page& grey, bool patch) {
    BindHoleParams p;
    p.page.grey = grey.Data();
    p.page.colour = patch ? colour.Data() : nullptr;
    p.page.width = kA4Width;
    p.page.height = kA4Height;
    p.page.bitsPerPixel = patch ? 24 : 8;
    p.page.dpi = kA4Dpi;
    p.mark = 1;
    p.on = 1;
    p.greyHigh = 128;
    p.radius = 1;
    p.ignoreCorners = 10;
    p.backgroundType = patch ? 1 : 0;
    return p;
}

void BM_BindHoleRemover(benchmark::State& state) {
    const bool patch = state.range(0) != 0;
    CBindHoleRemover engine;
    for (auto _ : state) {
        state.PauseTiming();
        synth::Page colour = Holed().colour, grey = Holed().grey;
        state.ResumeTiming();
        engine.Run(HoleParams(colour, grey, patch));
        benchmark::DoNotOptimize(grey.bits.data());
    }
}
BENCHMARK(BM_BindHoleRemover)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_BindHoleReference(benchmark::State& state) {
    const bool patch = state.range(0) != 0;
    for (auto _ : state) {
        state.PauseTiming();
        synth::Page colour = Holed().colour, grey = Holed().grey;
        state.ResumeTiming();
        benchmark::DoNotOptimize(ref::RemoveHoles(HoleParams(colour, grey, patch)));
    }
}
BENCHMARK(BM_BindHoleReference)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);

const synth::Page& TextBinary() {
    static const synth::Page page = synth::ToBinary(benchpages::A4TextGrey());
    return page;
}

void BM_TextDirection(benchmark::State& state) {
    CTextDirectionDetector det;
    TextDirectionParams p;
    p.image = ConstImageView::Grey(TextBinary().Data(), kA4Width, kA4Height);
    p.dpi = kA4Dpi;
    for (auto _ : state) {
        det.Detect(p);
        benchmark::DoNotOptimize(det.Angle());
    }
}
BENCHMARK(BM_TextDirection)->Unit(benchmark::kMillisecond);

void BM_TextDirectionReference(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(ref::DetectDirection(TextBinary().Data(), kA4Width, kA4Height, 160, kA4Dpi).angle);
}
BENCHMARK(BM_TextDirectionReference)->Unit(benchmark::kMillisecond)->Iterations(2);


// The yardstick: decoding the office page from a JPEG file in memory.
void BM_BareJpegDecode(benchmark::State& state) {
    static const std::vector<std::uint8_t> file = [] {
        const synth::Page& page = benchpages::A4TextColour();
        std::vector<std::uint8_t> out;
        barejpeg::Encode(page.Data(), page.width, page.height, 3, page.stride, 75, kA4Dpi, out);
        return out;
    }();
    for (auto _ : state) {
        barejpeg::Image img;
        if (!barejpeg::Decode(file.data(), file.size(), img)) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(img.pixels.get());
    }
}
BENCHMARK(BM_BareJpegDecode)->Unit(benchmark::kMillisecond);

}  // namespace
