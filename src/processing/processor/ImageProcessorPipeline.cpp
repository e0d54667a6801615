// The batch pipeline: the fixed sequence of clean-up steps a page goes
// through, each behind its gate. In scan-and-process runs (run type 4) the
// gates are the scan window's step switches, otherwise the step settings;
// background removal and deskewing follow the main window's quick-step bits.
// Gates are read when a step is reached, so a change during a run reaches
// the steps and pages that come after it.
//
// The sequence is a table: each row names the step, the branch it belongs
// to (every page, or only the colour or the grey branch) and the function
// that does it. The branch is chosen after deskewing: a page stays in colour
// when keep colour is set and its source is a colour one.
#include <cstring>
#include <vector>

#include "processing/Binarize.h"
#include "processing/PixelMath.h"
#include "processing/PixelRows.h"
#include "processing/processor/EngineSettings.h"
#include "processing/processor/ImageProcessor.h"
#include "settings/ProcessSetting.h"
#include "settings/ScanSetting.h"
#include "settings/SettingsTable.h"

namespace {

using Step = CImageProcessor::PipelineStep;

constexpr std::int32_t kQuickDeskew = 1;
constexpr std::int32_t kQuickBackground = 2;

bool RetainColour() { return ProcessSetting::filesave.retaincolor != 0; }

// A colour page stays in colour: keep colour is set and the source is a
// colour one.
bool KeepColour(const CImageProcessor& p) { return RetainColour() && p.sourceDepth == 24; }

// The result holds grey pixels: the grey image, or a canvas turned from it
// (a colour source whose colour image is gone is turned in grey).
bool ResultIsGrey(const CImageProcessor& p) {
    return p.result && (p.result == p.greyImage.get() || (p.result == p.canvas.get() && p.canvasDepth == 8));
}

// One page's way through the table.
struct PageRun {
    CImageProcessor& p;
    bool colour = false;       // the colour branch (decided after deskewing)
    bool sealRemoved = false;  // seal removal ran: strengthening is left out
};

// ---- gates that are more than the step's own ----

bool StepOn(PageRun& r, Step step) { return r.p.StepGate(step); }

// Never for 1-bit sources; a kept colour page only with rmbkcolor/allpic.
bool BackgroundGate(PageRun& r) {
    if (r.p.sourceDepth == 1 || !StepOn(r, Step::kBackgroundRemoval)) return false;
    return !KeepColour(r.p) || ProcessSetting::rmbkcolor.allpic != 0;
}

// Strengthening only when the seals were not removed.
bool StrengthenGate(PageRun& r) { return !r.sealRemoved && StepOn(r, Step::kStrengthenRedSeal); }

// ---- the steps ----

// 【１】 The colour remover on a kept colour page, else the grey tone steps.
void RemoveBackground(PageRun& r, bool) {
    CImageProcessor& p = r.p;
    p.FindIllustrations();
    const RmBkColorOpParams values = engine_settings::BackgroundRemoval();
    if (KeepColour(p))
        p.RemoveBackgroundColour(values, engine_settings::KeepSourceColours(), p.ProtectedRectangles());
    else
        p.RemoveBackgroundGrey(values.brightness, values.contrast, values.darkening);
}

// 【２】
void AutoContrast(PageRun& r, bool) {
    CImageProcessor& p = r.p;
    p.lowClip = ProcessSetting::autocontrast.low;
    p.highClip = ProcessSetting::autocontrast.high;
    if (KeepColour(p))
        p.AutoContrastColor(p.colourImage.get(), p.width, p.height);
    else
        p.AutoContrastGray(p.greyImage.get(), p.width, p.height);
}

// 【１０】 stains or 【４】 borders, then 【９】 binding holes: the operation
// reads their gates itself.
void StainsBordersHoles(PageRun& r, bool) { r.p.RemoveStainsBordersAndHoles(r.p.outputName); }

// 【３】 The record carries the gate.
void BlackBoard(PageRun& r, bool on) {
    const cleanup::BlackBoardRecord board = cleanup::PipelineBoardRecord(on);
    if (RetainColour() && r.p.colourImage)
        r.p.RemoveBlackBoardColor(board);
    else
        r.p.RemoveBlackBoardGray(board);
}

// 【５】 The angle; the rotation below uses the last one this processor
// detected (0 before any).
void DetectSkew(PageRun& r, bool) {
    r.p.DetectSkew(settings::Clamped(ProcessSetting::correct.angle), ProcessSetting::correct.method);
}

// 【５】 Turning back by the angle (with the optional keep-size crop); with
// deskewing off the working image is the result as it is.
void Rotate(PageRun& r, bool on) {
    CImageProcessor& p = r.p;
    if (!on) {
        const bool colour = RetainColour() && p.colourImage;
        p.SetResult(colour ? p.colourImage.get() : p.greyImage.get(), p.width, p.height);
        return;
    }
    p.contrastCopy.reset();
    p.binaryImage.reset();
    const double angle = -static_cast<double>(p.skewSearcher.skewAngle);
    if (ProcessSetting::correct.keepsize != 0 && p.KeepSizeWithoutTurning(angle, KeepColour(p))) return;
    p.RotateByAngle(angle, ProcessSetting::correct.fillcolor);
    if (ProcessSetting::correct.keepsize == 0) {
        p.SetResult(p.canvas.get(), p.canvasWidth, p.canvasHeight);
        return;
    }
    // The crop takes the image that was turned: a colour source whose colour
    // image is gone has had its grey image turned.
    if (p.canvasDepth == 24)
        p.KeepSizeCropColor(1);
    else
        p.KeepSizeCropGray(1);
    // A crop that could not be made leaves no result rather than one
    // pointing into the freed canvas.
    p.LetGoOfResult(p.canvas.get());
    p.canvas.reset();
    p.canvasWidth = p.canvasHeight = p.canvasDepth = 0;
}

// 【６】 Measured on the result itself, or (center/allobj clear) on a copy
// from which everything but text is erased.
void Centre(PageRun& r, bool) {
    const auto& c = ProcessSetting::center;
    r.p.CentreResult(c.type, c.checkscalehor, c.checkscalever, c.allobj != 0, r.colour ? 24 : 8);
}

// 【８】
void CutByBkColor(PageRun& r, bool) { r.p.CutEdgesByBkColor(engine_settings::CutByBkColor()); }

// 【７】
void CutWhite(PageRun& r, bool) {
    CImageProcessor& p = r.p;
    const cutting::Margins m = engine_settings::WhiteMargins(p.dpiX);
    const float ratio = ProcessSetting::cutwhite.checkscale;
    if (r.colour)
        p.CutWhiteMarginsColor(1, m.left, m.right, m.top, m.bottom, ratio);
    else
        p.CutWhiteMarginsGray(1, m.left, m.right, m.top, m.bottom, ratio);
}

void RunRedSeal(CImageProcessor& p, RedSealParams params) {
    if (!p.result) return;
    params.page.colour = p.result;
    params.page.width = p.resultWidth;
    params.page.height = p.resultHeight;
    params.page.bitsPerPixel = 24;
    p.redSealEngine.Run(params);
}

// 【１１】 remove red seals or, when removal is off, strengthen them.
void RemoveRedSeal(PageRun& r, bool) {
    r.sealRemoved = true;
    RunRedSeal(r.p, engine_settings::RedSealRemoval());
}

void StrengthenRedSeal(PageRun& r, bool) { RunRedSeal(r.p, engine_settings::RedSealStrengthening()); }

// 【１２】 The detector judges an 8-bit page: the grey result, or the colour
// result binarised.
void DetectBlankPage(PageRun& r, bool) {
    CImageProcessor& p = r.p;
    if (!p.result) return;
    BlankPageParams params = engine_settings::BlankPage();
    std::vector<std::uint8_t> binary;
    if (r.colour) {
        binary = binarize::ThresholdColor(p.result, p.resultWidth, p.resultHeight, binarize::kMidThreshold);
        params.page.grey = binary.data();
        params.page.colour = p.result;
    } else {
        params.page.grey = p.result;
    }
    params.page.width = p.resultWidth;
    params.page.height = p.resultHeight;
    params.page.bitsPerPixel = r.colour ? 24 : 8;
    params.page.dpi = p.dpiX;
    p.blankDetector.Detect(params);
}

// 【１３】 The changer's photo finder reads a grey copy made in R, G, B
// weight order.
void ChangeBkColor(PageRun& r, bool) {
    CImageProcessor& p = r.p;
    if (!p.result) return;
    PixelBuffer grey = AllocPixels(p.resultWidth, p.resultHeight, 8);
    if (!grey) return;
    const std::size_t cs = px::Stride24(static_cast<std::size_t>(p.resultWidth));
    const std::size_t gs = px::Stride8(static_cast<std::size_t>(p.resultWidth));
    for (std::int32_t y = 0; y < p.resultHeight; ++y)
        px::GreyRgbOrderRow(p.result + cs * static_cast<std::size_t>(y), grey.get() + gs * static_cast<std::size_t>(y),
                            static_cast<std::size_t>(p.resultWidth));
    BkColorChangeParams params = engine_settings::BackgroundChange();
    params.page.colour = p.result;
    params.page.grey = grey.get();
    params.page.width = p.resultWidth;
    params.page.height = p.resultHeight;
    params.page.bitsPerPixel = 24;
    params.page.dpi = p.dpiX;
    p.colourChanger.Run(params);
}

// 【１４】 The turn reads its gate itself.
void TurnByTextDirection(PageRun& r, bool) { r.p.RotateByTextDirection(); }

// 【１５】 The fit reads its gate itself.
void FitOutputSize(PageRun& r, bool) {
    const std::int32_t w = settings::Clamped(ProcessSetting::output.widpixel);
    const std::int32_t h = settings::Clamped(ProcessSetting::output.heipixel);
    if (r.colour)
        r.p.FitOutputSizeColor(w, h, 0);
    else
        r.p.FitOutputSizeGray(w, h, 0);
}

// ---- the table ----

enum class Branch {
    kCommon,  // every page, before the branch is chosen
    kBoth,    // both branches
    kColour,  // the colour branch only
    kGrey,    // the grey branch only
};

struct StepRow {
    Step step;
    Branch branch;
    // Whether the step runs now; a step that runs is recorded in stepsRun.
    // Null: the step reads its gate (and records itself).
    bool (*gate)(PageRun&);
    // The step; `on` is the gate's answer.
    void (*run)(PageRun&, bool on);
    // The step is called with its gate off too (it acts either way).
    bool runsWhenOff = false;
};

template <Step S>
bool Own(PageRun& r) { return StepOn(r, S); }

constexpr StepRow kSteps[] = {
    {Step::kBackgroundRemoval, Branch::kCommon, BackgroundGate, RemoveBackground},
    {Step::kAutoContrast, Branch::kCommon, Own<Step::kAutoContrast>, AutoContrast},
    {Step::kStainsBordersHoles, Branch::kCommon, Own<Step::kStainsBordersHoles>, StainsBordersHoles, true},
    {Step::kBlackBoard, Branch::kCommon, Own<Step::kBlackBoard>, BlackBoard, true},
    {Step::kSkewDetection, Branch::kCommon, Own<Step::kSkewDetection>, DetectSkew},
    {Step::kRotation, Branch::kCommon, Own<Step::kRotation>, Rotate, true},
    {Step::kCentre, Branch::kBoth, Own<Step::kCentre>, Centre},
    {Step::kCutByBkColor, Branch::kColour, Own<Step::kCutByBkColor>, CutByBkColor},
    {Step::kCutWhite, Branch::kBoth, Own<Step::kCutWhite>, CutWhite},
    {Step::kRemoveRedSeal, Branch::kColour, Own<Step::kRemoveRedSeal>, RemoveRedSeal},
    {Step::kStrengthenRedSeal, Branch::kColour, StrengthenGate, StrengthenRedSeal},
    {Step::kBlankPage, Branch::kBoth, Own<Step::kBlankPage>, DetectBlankPage},
    {Step::kChangeBkColor, Branch::kColour, Own<Step::kChangeBkColor>, ChangeBkColor},
    {Step::kTextDirection, Branch::kBoth, nullptr, TurnByTextDirection},
    {Step::kOutputSize, Branch::kBoth, nullptr, FitOutputSize},
};

bool OnBranch(Branch b, bool colour) {
    return b == Branch::kCommon || b == Branch::kBoth || (b == Branch::kColour) == colour;
}

}  // namespace

bool CImageProcessor::StepGate(PipelineStep step) const {
    const bool scan = runType == RUN_SCAN_AND_PROCESS;
    auto on = [](const auto& value) { return value != 0; };
    switch (step) {
    case PipelineStep::kBackgroundRemoval:
        return scan ? on(ScanStepFlags::rmbkcolor) : (quickSteps & kQuickBackground) != 0;
    case PipelineStep::kAutoContrast:
        return on(scan ? ScanStepFlags::autocontrast : ProcessSetting::autocontrast.on);
    case PipelineStep::kStainsBordersHoles: {
        const cleanup::Gates g = cleanup::CurrentGates(runType);
        return g.stains || g.borders || g.holes;
    }
    case PipelineStep::kBlackBoard:
        return scan ? on(ScanStepFlags::rmblackboard) : on(ProcessSetting::rmblackboard.on);
    case PipelineStep::kSkewDetection:
        return scan ? on(ScanStepFlags::correct) && (quickSteps & kQuickDeskew) != 0
                    : (quickSteps & kQuickDeskew) != 0;
    case PipelineStep::kRotation:
        return (quickSteps & kQuickDeskew) != 0;
    case PipelineStep::kCentre:
        return scan ? on(ScanStepFlags::center) : on(ProcessSetting::center.on);
    case PipelineStep::kCutByBkColor:
        return scan ? on(ScanStepFlags::cutbybkcolor) : on(ProcessSetting::cutbybkcolor.on);
    case PipelineStep::kCutWhite:
        return scan ? on(ScanStepFlags::cutwhite) : on(ProcessSetting::cutwhite.on);
    case PipelineStep::kRemoveRedSeal:
        return scan ? on(ScanStepFlags::rmredseal) : on(ProcessSetting::rmredseal.on);
    case PipelineStep::kStrengthenRedSeal:
        return scan ? on(ScanStepFlags::strenredseal) : on(ProcessSetting::strenredseal.on);
    case PipelineStep::kBlankPage:
        return scan ? on(ScanStepFlags::rmblankpage) : on(ProcessSetting::rmblankpage.on);
    case PipelineStep::kChangeBkColor:
        return scan ? on(ScanStepFlags::modifycolor) : on(ProcessSetting::modifycolor.on);
    case PipelineStep::kTextDirection:
        return scan ? on(ScanStepFlags::rotatetextdirect) : on(ProcessSetting::rotatetextdirect.on);
    case PipelineStep::kOutputSize:
        return scan ? on(ScanStepFlags::output) : on(ProcessSetting::output.on);
    }
    return false;
}

void CImageProcessor::RunPage(const std::wstring& path, std::int32_t quickStepBits, const std::wstring* folder,
                              const std::wstring* name, std::int32_t itemIndex) {
    if (runType == RUN_DETECTION) {
        RunDetection(path, quickStepBits, folder, name, itemIndex);
        return;
    }
    if (runType == RUN_DESKEW_METHOD_2) PrepareContrastCopy(1.0f, 1.0f);
    RunPipeline(path, quickStepBits, folder, name, itemIndex);
}

void CImageProcessor::RunPipeline(const std::wstring&, std::int32_t quickStepBits, const std::wstring* folder,
                                  const std::wstring* name, std::int32_t) {
    quickSteps = quickStepBits;
    if (folder) outputFolder = *folder;
    if (name) outputName = *name;
    stepsRun.clear();
    PageRun run{*this};
    bool branched = false;
    for (const StepRow& row : kSteps) {
        if (row.branch != Branch::kCommon && !branched) {
            branched = true;
            run.colour = KeepColour(*this) && !ResultIsGrey(*this);
            if (!run.colour && workingDepth != 8) {
                ShowDepthError();
                return;
            }
        }
        if (!OnBranch(row.branch, run.colour)) continue;
        const bool on = !row.gate || row.gate(run);
        if (on && row.gate) stepsRun.push_back(row.step);
        if (on || row.runsWhenOff) row.run(run, on);
    }
    resultDepth = run.colour ? 24 : (sourceDepth == 1 ? 1 : 8);
}
