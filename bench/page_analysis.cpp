// The page-analysis engines on an A4 300-dpi page (2480 x 3508), colour and
// grey: each production engine beside the plain reference implementation of
// the tests, in the same run. Inputs are copied outside the timed region.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <vector>

#include "processing/BkColorChanger.h"
#include "processing/BkColorRemover.h"
#include "processing/BlankPageDetector.h"
#include "processing/ColourMask.h"
#include "processing/PhotoRegionFinder.h"
#include "processing/PixelMath.h"
#include "processing/PixelRows.h"
#include "processing/RedSealEngine.h"
#include "processing/TextComponentAnalyzer.h"
#include "processing/TextFilter.h"
#include "processing/ToneOperations.h"
#include "processing/EngineParams.h"
#include "processing/reference/RefBkColor.h"
#include "processing/reference/RefComponents.h"
#include "processing/reference/RefPhoto.h"
#include "processing/reference/RefRedSeal.h"
#include "processing/reference/RefTextAnalysis.h"
#include "processing/reference/RefToneOps.h"
#include "support/BareJpeg.h"
#include "support/Pages.h"

namespace {

using synth::Page;

const Page& Binary(bool mixed) {
    static const Page text = synth::ToBinary(benchpages::A4TextGrey());
    static const Page withPhoto = synth::ToBinary(benchpages::A4MixedGrey());
    return mixed ? withPhoto : text;
}
const Page& Colour(bool mixed) { return mixed ? benchpages::A4MixedColour() : benchpages::A4TextColour(); }
const Page& Grey(bool mixed) { return mixed ? benchpages::A4MixedGrey() : benchpages::A4TextGrey(); }

// The page as a JPEG (quality 85, rows from the top as a file holds them),
// colour or grey: what a bare libjpeg decode of "the same page" decodes.
const std::vector<std::uint8_t>& JpegOf(const Page& page) {
    static std::map<const Page*, std::vector<std::uint8_t>> cache;
    auto it = cache.find(&page);
    if (it != cache.end()) return it->second;
    const int components = page.bpp == 24 ? 3 : 1;
    const std::size_t row = static_cast<std::size_t>(page.width) * components;
    std::vector<std::uint8_t> topDown(row * static_cast<std::size_t>(page.height));
    for (int y = 0; y < page.height; ++y)
        std::memcpy(topDown.data() + row * static_cast<std::size_t>(y), page.Row(page.height - 1 - y), row);
    std::vector<std::uint8_t> jpeg;
    if (!barejpeg::Encode(topDown.data(), page.width, page.height, components, row, 85, page.dpi, jpeg)) std::abort();
    return cache.emplace(&page, std::move(jpeg)).first->second;
}

// Runs `work` on fresh copies of the page (and its grey copy) each time and,
// in the same iteration, a bare libjpeg decode of `decoded`. The iteration
// time is the engine's; the counters give the decode's time and the ratio.
void Loop(benchmark::State& state, const Page& page, const Page& grey, const Page& decoded,
          const std::function<void(Page&, Page&)>& work) {
    const std::vector<std::uint8_t>& jpeg = JpegOf(decoded);
    double engine = 0, decode = 0;
    for (auto _ : state) {
        Page p = page, g = grey;
        const auto t0 = std::chrono::steady_clock::now();
        work(p, g);
        benchmark::DoNotOptimize(p.bits.data());
        benchmark::ClobberMemory();
        const auto t1 = std::chrono::steady_clock::now();
        barejpeg::Image out;
        if (!barejpeg::Decode(jpeg.data(), jpeg.size(), out)) std::abort();
        benchmark::DoNotOptimize(out.pixels.get());
        const auto t2 = std::chrono::steady_clock::now();
        const double e = std::chrono::duration<double>(t1 - t0).count();
        engine += e;
        decode += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(e);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["decode_ms"] = 1000 * decode / n;
    state.counters["x_decode"] = engine / decode;
}

// References: their time only (no decode beside them).
void RefLoop(benchmark::State& state, const Page& page, const Page& grey,
             const std::function<void(Page&, Page&)>& work) {
    for (auto _ : state) {
        state.PauseTiming();
        Page p = page, g = grey;
        state.ResumeTiming();
        work(p, g);
        benchmark::DoNotOptimize(p.bits.data());
        benchmark::ClobberMemory();
    }
}

// ---- text filter (binary copy of the text page, 8 or 24 bits) ----------

void BM_TextFilter(benchmark::State& state) {
    const bool colour = state.range(0) != 0;
    CTextFilter filter;
    Loop(state, Binary(false), Colour(false), colour ? Colour(false) : Grey(false), [&](Page& bin, Page& col) {
        TextFilterParams p;
        p.page.grey = bin.Data();
        p.page.colour = colour ? col.Data() : nullptr;
        p.page.bitsPerPixel = colour ? 24 : 8;
        p.page.width = bin.width;
        p.page.height = bin.height;
        filter.Run(p);
    });
}
BENCHMARK(BM_TextFilter)->Arg(0)->Arg(1)->ArgName("colour")->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_TextFilterReference(benchmark::State& state) {
    RefLoop(state, Binary(false), Page(), [&](Page& bin, Page&) {
        auto r = ref::RefTextFilter(bin.Data(), nullptr, bin.width, bin.height, 8, 160, 300, 0.0f);
        benchmark::DoNotOptimize(r.comps.data());
    });
}
BENCHMARK(BM_TextFilterReference)->Unit(benchmark::kMillisecond)->Iterations(3);

// ---- background colour remover (colour page with photo and seal) -------

BkColorParams BkParams(Page& colour, Page& grey, int mode, bool source) {
    BkColorParams p = BkDefaults(colour, grey);
    p.keepRadius = 2.0f;
    p.keepMode = static_cast<KeepMode>(mode);
    p.keepSourceColours = source ? 1 : 0;
    return p;
}

// Arguments: keep mode, keep source colours (the pipeline's default), page
// (0 text, 1 with photograph and seal).
void BM_BkColorRemover(benchmark::State& state) {
    const bool mixed = state.range(2) != 0;
    CBkColorRemover remover;
    Loop(state, Colour(mixed), Grey(mixed), Colour(mixed), [&](Page& c, Page& g) {
        remover.Run(BkParams(c, g, static_cast<int>(state.range(0)), state.range(1) != 0));
    });
}
BENCHMARK(BM_BkColorRemover)
    ->ArgsProduct({{1, 2}, {0, 1}, {0, 1}})
    ->ArgNames({"mode", "source", "mixed"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_BkColorRemoverReference(benchmark::State& state) {
    RefLoop(state, Colour(true), Grey(true), [&](Page& c, Page& g) {
        const BkColorParams p = BkParams(c, g, static_cast<int>(state.range(0)), state.range(1) != 0);
        ref::RBkState st;
        ref::RefBkRemove({p.page.grey, p.page.colour, p.brightness, p.contrast, p.darkening, p.colorDelta, p.saturation,
                          p.keepRadius, 1, static_cast<int>(p.keepMode), p.keepSourceColours, p.page.width, p.page.height, 24, 300, {}},
                         st);
    });
}
BENCHMARK(BM_BkColorRemoverReference)->Args({1, 1})->Args({1, 0})->Args({2, 0})->ArgNames({"mode", "source"})
    ->Unit(benchmark::kMillisecond)->Iterations(2);

// ---- red seal engine (colour page with a seal) --------------------------

RedSealParams SealParams(Page& c, int mode) {
    RedSealParams p;
    p.page.colour = c.Data();
    p.page.width = c.width;
    p.page.height = c.height;
    p.redLead = 25;
    p.saturation = 0.15f;
    p.mode = static_cast<SealAction>(mode);
    p.clip = mode == 1 ? 30 : 10;
    return p;
}

void BM_RedSeal(benchmark::State& state) {
    const bool mixed = state.range(1) != 0;
    CRedSealEngine engine;
    Loop(state, Colour(mixed), Page(), Colour(mixed),
         [&](Page& c, Page&) { engine.Run(SealParams(c, static_cast<int>(state.range(0)))); });
}
BENCHMARK(BM_RedSeal)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"mode", "mixed"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_RedSealReference(benchmark::State& state) {
    RefLoop(state, Colour(true), Page(), [&](Page& c, Page&) {
        const RedSealParams p = SealParams(c, static_cast<int>(state.range(0)));
        ref::RefRedSeal({p.page.colour, p.redLead, p.saturation, p.page.width, p.page.height, 24, 300, p.sealArea, p.erase,
                         p.textStrength, static_cast<int>(p.type), static_cast<int>(p.mode), p.clip});
    });
}
BENCHMARK(BM_RedSealReference)->Arg(0)->Arg(1)->ArgName("mode")->Unit(benchmark::kMillisecond)->Iterations(2);

// ---- photo-region finder (page with a photograph) -----------------------

PhotoRegionParams FinderFor(Page& c, Page& g, bool colour) {
    PhotoRegionParams p = FinderParams(c, g, 2);
    if (!colour) p.page.colour = nullptr;
    p.page.bitsPerPixel = colour ? 24 : 8;
    return p;
}

void BM_PhotoFinder(benchmark::State& state) {
    const bool colour = state.range(0) != 0, mixed = state.range(1) != 0;
    CPhotoRegionFinder finder;
    Loop(state, Colour(mixed), Grey(mixed), colour ? Colour(mixed) : Grey(mixed),
         [&](Page& c, Page& g) { finder.Find(FinderFor(c, g, colour)); });
}
BENCHMARK(BM_PhotoFinder)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->ArgNames({"colour", "mixed"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_PhotoFinderReference(benchmark::State& state) {
    RefLoop(state, Colour(true), Grey(true), [&](Page& c, Page& g) {
        const PhotoRegionParams p = FinderFor(c, g, true);
        ref::RefPhotoFind({p.page.grey, p.page.colour, p.page.width, p.page.height, 24, 300, 255, 0, 0, 0, p.passes, static_cast<int>(p.mode)});
    });
}
BENCHMARK(BM_PhotoFinderReference)->Unit(benchmark::kMillisecond)->Iterations(1);

// ---- background colour changer (colour page with a photograph) ----------

void BM_BkColorChanger(benchmark::State& state) {
    const bool mixed = state.range(1) != 0;
    CBkColorChanger changer;
    Loop(state, Colour(mixed), Grey(mixed), Colour(mixed), [&](Page& c, Page& g) {
        BkColorChangeParams p;
        p.page.colour = c.Data();
        p.page.grey = g.Data();
        p.page.width = c.width;
        p.page.height = c.height;
        p.keepPictures = static_cast<PhotoSelection>(state.range(0));
        changer.Run(p);
    });
}
BENCHMARK(BM_BkColorChanger)
    ->ArgsProduct({{0, 2}, {0, 1}})
    ->ArgNames({"keep", "mixed"})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_BkColorChangerReference(benchmark::State& state) {
    RefLoop(state, Colour(true), Grey(true), [&](Page& c, Page&) {
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) ref::RefChangePixel(c.Row(y) + 3 * x, 254, 249, 197);
    });
}
BENCHMARK(BM_BkColorChangerReference)->Unit(benchmark::kMillisecond)->Iterations(3);

// ---- text-component analyser (grey text page) ---------------------------

void BM_TextAnalyzer(benchmark::State& state) {
    CTextComponentAnalyzer analyzer;
    Loop(state, Grey(false), Page(), Grey(false), [&](Page& g, Page&) {
        TextComponentParams p;
        p.page.grey = g.Data();
        p.page.width = g.width;
        p.page.height = g.height;
        analyzer.Analyze(p);
    });
}
BENCHMARK(BM_TextAnalyzer)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_TextAnalyzerReference(benchmark::State& state) {
    RefLoop(state, Grey(false), Page(), [&](Page& g, Page&) {
        auto r = ref::RefAnalyze(g.Data(), g.width, g.height, 160, 300, 0.0f);
        benchmark::DoNotOptimize(r.comps.data());
    });
}
BENCHMARK(BM_TextAnalyzerReference)->Unit(benchmark::kMillisecond)->Iterations(3);

// ---- blank-page detector (binary copy of the text page) -----------------

void BM_BlankPage(benchmark::State& state) {
    CBlankPageDetector detector;
    Loop(state, Binary(false), Page(), Grey(false), [&](Page& b, Page&) {
        BlankPageParams p;
        p.page.grey = b.Data();
        p.page.width = b.width;
        p.page.height = b.height;
        p.type = static_cast<BlankTest>(state.range(0));
        detector.Detect(p);
        benchmark::DoNotOptimize(detector.Result());
    });
}
BENCHMARK(BM_BlankPage)->Arg(1)->Arg(2)->ArgName("type")->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_BlankPageReference(benchmark::State& state) {
    RefLoop(state, Binary(false), Page(), [&](Page& b, Page&) {
        int blank = ref::RefBlank(b.Data(), b.width, b.height, 128, 300, 1.0f, 0.1f, static_cast<int>(state.range(0)));
        benchmark::DoNotOptimize(blank);
    });
}
BENCHMARK(BM_BlankPageReference)->Arg(1)->Arg(2)->ArgName("type")->Unit(benchmark::kMillisecond)->Iterations(3);

// ---- row kernels over the colour page -----------------------------------
// Argument: 0 grey (green first), 1 grey (red first), 2 table look-up of the
// colour bytes, 3 colour moved by the grey change, 4 the colour test's bit
// of every pixel (red kept, the default values), 5 a table per channel of
// the colour bytes, 6 the grey levels set in the pixels outside the colour
// test's marks (as the background remover greys). Each iteration runs the
// routine over every row of the page with the widest loop, the AVX2 loop and
// the plain loop, in turn; counters: each loop's time and the ratios.

void RowKernelPass(int which, px::RowKernel kernel, Page& c, const Page& g, std::vector<std::uint8_t>& out) {
    const tone::Lut lut = tone::BrightnessContrastTable(40, 50, 200);
    const px::GreyShiftTables shift = px::MakeGreyShiftTables(lut.data());
    static const std::shared_ptr<const colourmask::ColourTable> colourTable =
        colourmask::ColourTable::For({25, 0.15f, true});
    static const tone::Lut channelLuts[3] = {tone::BrightnessContrastTable(30, 60, 180),
                                             tone::BrightnessContrastTable(40, 50, 200),
                                             tone::BrightnessContrastTable(55, 45, 120)};
    static const std::uint8_t* const channelTables[3] = {channelLuts[0].data(), channelLuts[1].data(),
                                                         channelLuts[2].data()};
    // The colour test's marks of the page, one byte per pixel as the colour
    // mask's rows hold them.
    static const std::vector<std::uint8_t> marks = [&c] {
        std::vector<std::uint8_t> m(px::Stride8(c.width) * static_cast<std::size_t>(c.height));
        for (int y = 0; y < c.height; ++y)
            px::ColourBitsRow(c.Data() + px::Stride24(c.width) * y, m.data() + px::Stride8(c.width) * y,
                              static_cast<std::size_t>(c.width), colourTable->Words());
        return m;
    }();
    const std::size_t s24 = px::Stride24(c.width), s8 = px::Stride8(c.width), w = c.width;
    for (int y = 0; y < c.height; ++y) {
        std::uint8_t* row = c.Data() + s24 * y;
        switch (which) {
            case 0: px::GreyRow(row, out.data(), w, kernel); break;
            case 1: px::GreyRgbOrderRow(row, out.data(), w, kernel); break;
            case 2: px::LookupRow(row, row, 3 * w, lut.data(), kernel); break;
            case 3: px::ShiftRowByGrey(row, g.bits.data() + s8 * y, w, shift, kernel); break;
            case 4: px::ColourBitsRow(row, out.data(), w, colourTable->Words(), kernel); break;
            case 5: px::LookupPixelRow(row, w, channelTables, kernel); break;
            default: px::SpreadGreyRow(g.bits.data() + s8 * y, marks.data() + s8 * y, row, w, kernel); break;
        }
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
}

void BM_RowKernels(benchmark::State& state) {
    const int which = static_cast<int>(state.range(0));
    const px::RowKernel kernels[] = {px::RowKernel::kFastest, px::RowKernel::kAvx2, px::RowKernel::kBaseline};
    double ms[3] = {};
    std::vector<std::uint8_t> out(Colour(false).width);
    for (auto _ : state) {
        for (int k = 0; k < 3; ++k) {
            state.PauseTiming();
            Page c = Colour(false);
            state.ResumeTiming();
            const auto t0 = std::chrono::steady_clock::now();
            RowKernelPass(which, kernels[k], c, Grey(false), out);
            ms[k] += 1000 * std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        }
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["widest_ms"] = ms[0] / n;
    state.counters["avx2_ms"] = ms[1] / n;
    state.counters["plain_ms"] = ms[2] / n;
    state.counters["widest_vs_avx2"] = ms[0] / ms[1];
    state.counters["widest_vs_plain"] = ms[0] / ms[2];
}
BENCHMARK(BM_RowKernels)->DenseRange(0, 6)->ArgName("routine")->Unit(benchmark::kMillisecond);

// ---- the processor's tone operations ------------------------------------
// Arguments: 0 brightness/contrast then the darkening curve (grey), 1 auto
// contrast (grey), 2 auto contrast with one table (colour), 3 auto contrast
// per channel (colour).

void ToneOperation(int which, Page& c, Page& g) {
    switch (which) {
        case 0: {
            CToneCurve curve;
            tone::AdjustAndDarken(g.Data(), g.width, g.height, 40, 50, 50, curve);
            break;
        }
        case 1: tone::AutoContrastGray(g.Data(), g.width, g.height, 0.1f, 0.1f); break;
        case 2: tone::AutoContrastColor(c.Data(), c.width, c.height, 0.1f, 0.1f); break;
        default: tone::AutoContrastPerChannel(c.Data(), c.width, c.height, 0.1f, 0.1f); break;
    }
}

void BM_ToneOperation(benchmark::State& state) {
    const int which = static_cast<int>(state.range(0));
    Loop(state, Colour(false), Grey(false), which < 2 ? Grey(false) : Colour(false),
         [&](Page& c, Page& g) { ToneOperation(which, c, g); });
}
BENCHMARK(BM_ToneOperation)->DenseRange(0, 3)->ArgName("op")->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ToneOperationReference(benchmark::State& state) {
    const int which = static_cast<int>(state.range(0));
    RefLoop(state, Colour(false), Grey(false), [&](Page& c, Page& g) {
        switch (which) {
            case 0:
                ref::RefAdjustBC(g.Data(), g.width, g.height, 40, 50, {});
                ref::RefDarken(g.Data(), g.width, g.height, 50, {});
                break;
            case 1: ref::RefAutoGray(g.Data(), g.width, g.height, 0.1f, 0.1f); break;
            default: ref::RefAutoColour(c.Data(), c.width, c.height, 0.1f, 0.1f, which == 2); break;
        }
    });
}
BENCHMARK(BM_ToneOperationReference)->DenseRange(0, 3)->ArgName("op")->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
