// Skew detection and rotation on an A4 300-dpi page, each beside the plain
// reference versions of the tests and the bare JPEG decode of the same
// (colour) page in the same run.
//
// The detection runs the full method choice with "try the other methods" on
// (a blank page then runs every method both ways, the worst case). Each
// method searches the Otsu binarisation of the grey page here; the text
// mask and the contrast copy belong to the processing object.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "processing/Binarize.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/Rotation.h"
#include "processing/SkewSearch.h"
#include "support/BareJpeg.h"
#include "support/Pages.h"
#include "support/SkewReference.h"

namespace {

const synth::Colour kPaper = synth::Rgb(242, 238, 226);

const synth::Page& A4SkewedGrey() {
    static const synth::Page page = synth::Turned(benchpages::A4TextGrey(), 1.3, kPaper);
    return page;
}
const synth::Page& A4SkewedColour() {
    static const synth::Page page = synth::Turned(benchpages::A4TextColour(), 1.3, kPaper);
    return page;
}
const synth::Page& A4Blank() {
    static const synth::Page page = synth::Blank(benchpages::kA4Width, benchpages::kA4Height, 8);
    return page;
}

// The colour page as a JPEG file of quality 85, as a scanner writes it.
const std::vector<std::uint8_t>& A4SkewedJpeg() {
    static const std::vector<std::uint8_t> jpeg = [] {
        const synth::Page& page = A4SkewedColour();
        std::vector<std::uint8_t> out;
        if (!barejpeg::Encode(page.Data(), page.width, page.height, 3, page.stride, 85, page.dpi, out)) std::abort();
        return out;
    }();
    return jpeg;
}

void BM_BareJpegDecode(benchmark::State& state) {
    const std::vector<std::uint8_t>& jpeg = A4SkewedJpeg();
    for (auto _ : state) {
        barejpeg::Image image;
        if (!barejpeg::Decode(jpeg.data(), jpeg.size(), image)) std::abort();
        benchmark::DoNotOptimize(image.pixels.get());
    }
}
BENCHMARK(BM_BareJpegDecode)->Unit(benchmark::kMillisecond);

class PageMethods : public skew::SkewMethods {
public:
    PageMethods(const synth::Page& page, skew::SkewSearcher& searcher) : page_(page), searcher_(searcher) {}
    bool RunSkewSearch(int maxAngle, skew::SkewMethod kind, bool twoColumns, float* angle, float* score) override {
        const int method = static_cast<int>(kind);
        binary_ = binarize::Otsu8(page_.Data(), page_.width, page_.height);
        searcher_.SetBinaryImage(binary_.data(), page_.width, page_.height);
        const bool found = searcher_.SearchSkew(maxAngle, method, twoColumns, true);
        *angle = searcher_.skewAngle;
        *score = searcher_.skewScore;
        return found;
    }
    bool HasContrastCopy() const override { return true; }
    void PrepareContrastCopy() override {}
    bool BinaryMostlyDark() const override { return false; }

private:
    const synth::Page& page_;
    skew::SkewSearcher& searcher_;
    std::vector<std::uint8_t> binary_;
};

template <class Searcher>
void DetectSkew(benchmark::State& state, const synth::Page& page) {
    for (auto _ : state) {
        Searcher searcher;
        PageMethods methods(page, searcher);
        const float angle = skew::DetectSkewAngle(methods, 5, 0, true, false);
        benchmark::DoNotOptimize(angle);
        state.counters["angle"] = angle;
    }
}

void BM_DetectSkewText(benchmark::State& state) { DetectSkew<skew::SkewSearcher>(state, A4SkewedGrey()); }
void BM_DetectSkewTextReference(benchmark::State& state) {
    DetectSkew<reference::ReferenceSkewSearcher>(state, A4SkewedGrey());
}
void BM_DetectSkewBlank(benchmark::State& state) { DetectSkew<skew::SkewSearcher>(state, A4Blank()); }
void BM_DetectSkewBlankReference(benchmark::State& state) {
    DetectSkew<reference::ReferenceSkewSearcher>(state, A4Blank());
}
BENCHMARK(BM_DetectSkewText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectSkewTextReference)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_DetectSkewBlank)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectSkewBlankReference)->Unit(benchmark::kMillisecond)->Iterations(1);

// The counts alone: the horizontal scan of the binarised page (the one the
// detection's first search runs), its packed rows kept from run to run;
// with the processor's extra instructions and with the plain code.
void HorizontalScan(benchmark::State& state, bool extra) {
    const synth::Page& page = A4SkewedGrey();
    const std::vector<std::uint8_t> binary = binarize::Otsu8(page.Data(), page.width, page.height);
    skew::SkewSearcher searcher;
    searcher.SetBinaryImage(binary.data(), page.width, page.height);
    searcher.skewColumns = 1;
    const bool used = skew::UseExtraInstructions(extra);
    if (extra && !used) state.SkipWithError("no extra instructions on this processor");
    for (auto _ : state) {
        const bool found = searcher.SearchHorizontalSkew(5, 0);
        benchmark::DoNotOptimize(found);
        state.counters["angle"] = searcher.horizontalAngle;
    }
    skew::UseExtraInstructions(true);
}
void BM_HorizontalScanText(benchmark::State& state) { HorizontalScan(state, true); }
void BM_HorizontalScanTextPlain(benchmark::State& state) { HorizontalScan(state, false); }
BENCHMARK(BM_HorizontalScanText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HorizontalScanTextPlain)->Unit(benchmark::kMillisecond);

// The processing object's own detection: the Otsu, text-only and contrast
// copy methods with their preparation, on the colour page (its grey copy
// and colour image) and on a blank colour page.
PixelBuffer Copy(const synth::Page& page) {
    PixelBuffer b = AllocPixels(page.width, page.height, page.bpp);
    std::copy(page.bits.begin(), page.bits.end(), b.get());
    return b;
}

void ProcessorDetectSkew(benchmark::State& state, const synth::Page& colour) {
    const synth::Page grey = synth::ToGrey(colour);
    CImageProcessor p;
    p.width = colour.width;
    p.height = colour.height;
    p.workingDepth = 8;
    p.sourceDepth = 24;
    p.dpiX = p.dpiY = colour.dpi;
    p.greyImage = Copy(grey);
    p.colourImage = Copy(colour);
    for (auto _ : state) {
        p.contrastCopy.reset();
        p.DetectSkew(5, 0);
        state.counters["angle"] = p.skewSearcher.skewAngle;
    }
}

const synth::Page& A4BlankColour() {
    static const synth::Page page = synth::Blank(benchpages::kA4Width, benchpages::kA4Height, 24);
    return page;
}

void BM_ProcessorDetectSkewText(benchmark::State& state) { ProcessorDetectSkew(state, A4SkewedColour()); }
void BM_ProcessorDetectSkewBlank(benchmark::State& state) { ProcessorDetectSkew(state, A4BlankColour()); }
BENCHMARK(BM_ProcessorDetectSkewText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcessorDetectSkewBlank)->Unit(benchmark::kMillisecond);

// The turn back by the angle found: grey and colour, through the fastest
// way the processor has and, for the ratio after / before, through the AVX2
// loop alone; the turn by 7 degrees that the wide search's pages take (rows
// change every few pixels, so most groups gather their samples), both ways;
// then the turn by zero of a straight page (rows copied) beside the AVX2
// loop sampling it.
void Turn(benchmark::State& state, const synth::Page& page, double degrees, rotation::Kernel kernel) {
    for (auto _ : state) {
        rotation::Canvas c =
            rotation::RotateCentred(page.Data(), page.width, page.height, page.bpp, degrees, 255, 255, kernel);
        benchmark::DoNotOptimize(c.bits.get());
    }
}
void BM_RotateByAngle(benchmark::State& state, const synth::Page& page) {
    Turn(state, page, -1.3, rotation::Kernel::kFastest);
}
void BM_RotateByAngleAvx2(benchmark::State& state, const synth::Page& page) {
    Turn(state, page, -1.3, rotation::Kernel::kAvx2);
}
void BM_RotateBySevenDegrees(benchmark::State& state, const synth::Page& page) {
    Turn(state, page, -7.0, rotation::Kernel::kFastest);
}
void BM_RotateBySevenDegreesAvx2(benchmark::State& state, const synth::Page& page) {
    Turn(state, page, -7.0, rotation::Kernel::kAvx2);
}
void BM_RotateByZero(benchmark::State& state, const synth::Page& page) {
    Turn(state, page, 0.0, rotation::Kernel::kFastest);
}
void BM_RotateByZeroSampledAvx2(benchmark::State& state, const synth::Page& page) {
    Turn(state, page, 0.0, rotation::Kernel::kAvx2);
}
void BM_RotateByAngleReference(benchmark::State& state, const synth::Page& page) {
    for (auto _ : state) {
        reference::RotatedImage r =
            reference::RotateCentred(page.Data(), page.width, page.height, page.bpp, -1.3, 255, 255);
        benchmark::DoNotOptimize(r.bits.data());
    }
}
BENCHMARK_CAPTURE(BM_RotateByAngle, grey, A4SkewedGrey())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RotateByAngleAvx2, grey, A4SkewedGrey())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RotateByAngleReference, grey, A4SkewedGrey())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RotateByAngle, colour, A4SkewedColour())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RotateByAngleAvx2, colour, A4SkewedColour())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RotateByAngleReference, colour, A4SkewedColour())->Unit(benchmark::kMillisecond);

BENCHMARK_CAPTURE(BM_RotateByZero, colour, A4SkewedColour())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RotateBySevenDegrees, colour, A4SkewedColour())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RotateBySevenDegreesAvx2, colour, A4SkewedColour())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_RotateByZeroSampledAvx2, colour, A4SkewedColour())->Unit(benchmark::kMillisecond);

}  // namespace
