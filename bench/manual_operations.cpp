// Each operation of the manual window on an A4 300-dpi colour page (2480 x
// 3508, text with a photograph and a red seal, scanned 1.3 degrees askew),
// as the window runs it on its user-interface thread: the current picture
// into the processor (SetImage), the operation, the result back as 24-bit
// rows (GetResultBits). Beside it, in the same run and interleaved with it,
// a bare libjpeg decode of the same page as a JPEG file at quality 90.
// Counters: "ratio" = operation / bare decode; "op_ms" and "decode_ms" per
// run. Type 0 runs no operation: the cost of the two hand-overs alone. The operations take the values their pages start with, switched on
// where a page starts switched off (stains, binding holes, a content colour
// for the cut by background colour); erase and crop take a band of a third
// of the page.
#include <benchmark/benchmark.h>

#include <memory>
#include <utility>
#include <vector>

#include "processing/processor/ImageProcessor.h"
#include "processing/ManualOperation.h"
#include "support/Pages.h"
#include "support/VsBareDecode.h"

namespace {

using benchpages::kA4Height;
using benchpages::kA4Width;

const synth::Page& Scan() {
    static const synth::Page page = synth::Turned(benchpages::A4MixedColour(), 1.3, synth::Rgb(242, 238, 226));
    return page;
}

const std::vector<std::uint8_t>& ScanJpeg() {
    static const std::vector<std::uint8_t> jpeg = benchpages::AsJpeg(Scan(), 90);
    return jpeg;
}

// A band over the middle third of the page, rows from the top.
RECT Band() { return RECT{kA4Width / 3, kA4Height / 3, 2 * kA4Width / 3, 2 * kA4Height / 3}; }

ManualOperation MakeOperation(int type) {
    switch (type) {
    case OpOriginal:
        return ManualOperation(type, L"原图", std::monostate{});
    case OpCenter:
        return ManualOperation(type, L"居中", CenterOpParams{3, 2.0f, 2.0f, 1});
    case OpCorrect:
        return ManualOperation(type, L"纠偏", CorrectOpParams{});
    case OpRotate90:
        return ManualOperation(type, L"顺时针旋转90", Rotate90OpParams{});
    case OpCutByBkColor: {
        cutting::CutByBkColorParams p;
        p.white = 1;
        p.contentRatio = 50.0f;
        return ManualOperation(type, L"按底色切边", p);
    }
    case OpCutWhite:
        return ManualOperation(type, L"切白边", CutWhiteOpParams{});
    case OpRmBkColor:
        return ManualOperation(type, L"去底色", RmBkColorOpParams{});
    case OpRmBlackBoard:
        return ManualOperation(type, L"去黑底", RmBlackBoardOpParams{});
    case OpRmStains:
        return ManualOperation(type, L"去黑边或污点", RmStainsOpParams{4.0f, 160, 1, 0});
    case OpBindHole: {
        BindHoleOptions o;
        o.on = 1;
        return ManualOperation(type, L"装订孔", o);
    }
    case OpAutoContrast:
        return ManualOperation(type, L"自动对比度", AutoContrastOpParams{});
    case OpEraseInside:
    case OpEraseOutside:
        return ManualOperation(type, L"框选去污", EraseOpParams{RGB(255, 255, 255), 5, Band()});
    case OpCrop:
        return ManualOperation(type, L"裁剪", CropOpParams{Band()});
    default:
        return ManualOperation();
    }
}

const char* Label(int type) {
    switch (type) {
    case OpCenter: return "centre";
    case OpCorrect: return "deskew";
    case OpRotate90: return "quarter turn";
    case OpCutByBkColor: return "cut by background colour";
    case OpCutWhite: return "cut white margins";
    case OpRmBkColor: return "background removal";
    case OpRmBlackBoard: return "black board";
    case OpRmStains: return "stains";
    case OpBindHole: return "binding holes";
    case OpAutoContrast: return "auto contrast";
    case OpEraseInside: return "erase inside";
    case OpEraseOutside: return "erase outside";
    case OpCrop: return "crop";
    case OpOriginal: return "hand-over only";
    default: return "";
    }
}

// One operation as the window runs it, from its current picture.
void RunOnce(CImageProcessor& p, const ManualOperation& op) {
    const synth::Page& page = Scan();
    if (!p.SetImage(page.Data(), page.width, page.height)) std::abort();
    p.RunManualOperation(op);
    std::int32_t w = 0, h = 0;
    std::unique_ptr<BYTE[]> bits(p.GetResultBits(&w, &h));
    if (!bits) std::abort();
    benchmark::DoNotOptimize(bits.get());
}

void Operation(benchmark::State& state) {
    const ManualOperation op = MakeOperation(static_cast<int>(state.range(0)));
    CImageProcessor p;
    // As after loading a colour JPEG at 300 dpi.
    p.sourceDepth = 24;
    p.dpiX = p.dpiY = benchpages::kA4Dpi;
    benchpages::TimeAgainstBareDecode(state, ScanJpeg(), "op", [&] {
        RunOnce(p, op);
    });
    state.SetLabel(Label(op.type));
}

}  // namespace

BENCHMARK(Operation)
    ->Name("ManualOperation_VsBareJpegDecode")
    ->ArgName("type")
    ->Arg(OpOriginal)
    ->Arg(OpCenter)
    ->Arg(OpCorrect)
    ->Arg(OpRotate90)
    ->Arg(OpCutByBkColor)
    ->Arg(OpCutWhite)
    ->Arg(OpRmBkColor)
    ->Arg(OpRmBlackBoard)
    ->Arg(OpRmStains)
    ->Arg(OpBindHole)
    ->Arg(OpAutoContrast)
    ->Arg(OpEraseInside)
    ->Arg(OpEraseOutside)
    ->Arg(OpCrop)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(1.0);
