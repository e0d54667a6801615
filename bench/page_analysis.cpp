// The page-analysis engines on an A4 300-dpi page: production beside the
// plain reference implementation of the tests, in the same run.
#include <benchmark/benchmark.h>

#include "processing/PixelMath.h"
#include "processing/TextFilter.h"
#include "processing/reference/RefComponents.h"
#include "support/Pages.h"

namespace {

using benchpages::A4TextColour;
using benchpages::A4TextGrey;

const synth::Page& A4TextBinary() {
    static const synth::Page page = synth::ToBinary(A4TextGrey());
    return page;
}

void BM_TextFilter(benchmark::State& state) {
    const synth::Page& bin = A4TextBinary();
    CTextFilter filter;
    for (auto _ : state) {
        state.PauseTiming();
        synth::Page work = bin;
        state.ResumeTiming();
        TextFilterParams p;
        p.binary = work.Data();
        p.width = work.width;
        p.height = work.height;
        p.dpi = work.dpi;
        filter.Run(p);
        benchmark::DoNotOptimize(work.bits.data());
    }
}
BENCHMARK(BM_TextFilter)->Unit(benchmark::kMillisecond);

void BM_TextFilterReference(benchmark::State& state) {
    const synth::Page& bin = A4TextBinary();
    for (auto _ : state) {
        state.PauseTiming();
        synth::Page work = bin;
        state.ResumeTiming();
        auto r = ref::RefTextFilter(work.Data(), nullptr, work.width, work.height, 8, 160, work.dpi, 0.0f);
        benchmark::DoNotOptimize(r.comps.data());
    }
}
BENCHMARK(BM_TextFilterReference)->Unit(benchmark::kMillisecond);

}  // namespace
