// The batch pipeline: the fixed sequence of clean-up steps a page goes
// through, each behind its gate. In scan-and-process runs (run type 4) the
// gates are the scan window's step switches, otherwise the step settings;
// background removal and deskewing follow the main window's quick-step bits.
// Gates are read when a step is reached, so a change during a run reaches
// the steps and pages that come after it.
#include <cstring>
#include <vector>

#include "processing/Binarize.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/PixelMath.h"
#include "settings/ProcessSetting.h"
#include "settings/ScanSetting.h"
#include "settings/SettingsTable.h"

namespace {

constexpr std::int32_t kQuickDeskew = 1;
constexpr std::int32_t kQuickBackground = 2;

bool RetainColour() { return ProcessSetting::filesave.retaincolor != 0; }

// A colour page stays in colour: keep colour is set and the source is a
// colour one.
bool KeepColour(const CImageProcessor& p) { return RetainColour() && p.sourceDepth == 24; }

// The kept margins of cut white margins, in pixels.
cutting::Margins WhiteMargins(std::int32_t xDpi) {
    cutting::Margins m;
    if (ProcessSetting::cutwhite.margin == 1) {
        const int k = px::PixelsPerMm(static_cast<float>(xDpi));
        m.left = px::SaturatingInt(static_cast<float>(k) * ProcessSetting::marginleftmm);
        m.right = px::SaturatingInt(static_cast<float>(k) * ProcessSetting::marginrightmm);
        m.top = px::SaturatingInt(static_cast<float>(k) * ProcessSetting::margintopmm);
        m.bottom = px::SaturatingInt(static_cast<float>(k) * ProcessSetting::marginbottommm);
    } else {
        m.left = ProcessSetting::marginleftpx;
        m.right = ProcessSetting::marginrightpx;
        m.top = ProcessSetting::margintoppx;
        m.bottom = ProcessSetting::marginbottompx;
    }
    return m;
}

cutting::CutByBkColorParams CutByBkColorFromSettings() {
    const auto& s = ProcessSetting::cutbybkcolor;
    cutting::CutByBkColorParams p;
    p.red = s.red;
    p.yellow = s.yellow;
    p.green = s.green;
    p.cyan = s.cyan;
    p.blue = s.blue;
    p.purple = s.purple;
    p.black = s.black;
    p.white = s.white;
    p.marginUnit = s.magrinunit;
    p.margin = s.margin;
    p.contentRatio = s.contentratio;
    p.skipNearWhite = s.skipwhite;
    return p;
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
    auto gate = [this](PipelineStep step) {
        if (!StepGate(step)) return false;
        stepsRun.push_back(step);
        return true;
    };

    // 【１】 Background removal: never for 1-bit sources.
    if (sourceDepth != 1 && StepGate(PipelineStep::kBackgroundRemoval)) {
        const auto& s = ProcessSetting::rmbkcolor;
        if (KeepColour(*this)) {
            if (s.allpic != 0) {
                stepsRun.push_back(PipelineStep::kBackgroundRemoval);
                FindIllustrations();
                RmBkColorOpParams values;
                values.brightness = s.bright;
                values.contrast = s.contrast;
                values.darkening = s.curve;
                values.colourDelta = s.colordelta;
                values.saturation = s.colorsatuation;
                values.keepRadius = settings::Clamped(ProcessSetting::colorradius);
                values.keepMode = s.rmcolortype;
                values.rebuildMask = 1;
                RemoveBackgroundColour(values, ProcessSetting::keeporigcolor != 0, ProtectedRectangles());
            }
        } else {
            stepsRun.push_back(PipelineStep::kBackgroundRemoval);
            FindIllustrations();
            RemoveBackgroundGrey(s.bright, s.contrast, s.curve);
        }
    }

    // 【２】 Auto contrast.
    if (gate(PipelineStep::kAutoContrast)) {
        lowClip = ProcessSetting::autocontrast.low;
        highClip = ProcessSetting::autocontrast.high;
        if (KeepColour(*this))
            AutoContrastColor(colourImage.get(), width, height);
        else
            AutoContrastGray(greyImage.get(), width, height);
    }

    // 【１０】 stains or 【４】 borders, then 【９】 binding holes (the operation
    // reads their gates itself).
    if (StepGate(PipelineStep::kStainsBordersHoles)) stepsRun.push_back(PipelineStep::kStainsBordersHoles);
    RemoveStainsBordersAndHoles(outputName);

    // 【３】 Black board: the record carries the gate.
    const cleanup::BlackBoardRecord board = cleanup::PipelineBoardRecord(gate(PipelineStep::kBlackBoard));
    if (RetainColour() && colourImage)
        RemoveBlackBoardColor(board);
    else
        RemoveBlackBoardGray(board);

    // 【５】 Deskew.
    if ((quickSteps & kQuickDeskew) == 0) {
        const bool colour = RetainColour() && colourImage;
        result = colour ? colourImage.get() : greyImage.get();
        resultWidth = width;
        resultHeight = height;
    } else {
        if (gate(PipelineStep::kSkewDetection))
            DetectSkew(settings::Clamped(ProcessSetting::correct.angle), ProcessSetting::correct.method);
        contrastCopy.reset();
        binaryImage.reset();
        stepsRun.push_back(PipelineStep::kRotation);
        // The angle is the last one this processor detected (0 before any).
        RotateByAngle(-static_cast<double>(skewAngle), ProcessSetting::correct.fillcolor);
        if (ProcessSetting::correct.keepsize != 0) {
            if (KeepColour(*this))
                KeepSizeCropColor(1);
            else
                KeepSizeCropGray(1);
            canvas.reset();
            canvasWidth = canvasHeight = 0;
        } else {
            result = canvas.get();
            resultWidth = canvasWidth;
            resultHeight = canvasHeight;
        }
    }

    if (KeepColour(*this)) {
        // Colour branch.
        const auto& centre = ProcessSetting::center;
        if (gate(PipelineStep::kCentre))
            CentreResult(centre.type, centre.checkscalehor, centre.checkscalever, centre.allobj != 0, 24);
        if (gate(PipelineStep::kCutByBkColor)) CutEdgesByBkColor(CutByBkColorFromSettings());
        if (gate(PipelineStep::kCutWhite)) {
            const cutting::Margins m = WhiteMargins(dpiX);
            CutWhiteMarginsColor(1, m.left, m.right, m.top, m.bottom, ProcessSetting::cutwhite.checkscale);
        }
        // 【１１】 remove red seals or, when removal is off, 【９】 strengthen them.
        const bool removeSeal = gate(PipelineStep::kRemoveRedSeal);
        if ((removeSeal || gate(PipelineStep::kStrengthenRedSeal)) && result) {
            RedSealParams params;
            params.page.colour = result;
            params.page.width = resultWidth;
            params.page.height = resultHeight;
            params.page.bitsPerPixel = 24;
            params.redLead = 25;
            params.saturation = 0.15f;
            if (removeSeal) {
                params.sealArea = ProcessSetting::rmredseal.area;
                params.type = static_cast<SealScope>(static_cast<int>(ProcessSetting::rmredseal.type));
                params.erase = settings::Clamped(ProcessSetting::rmredseal.erase);
                params.textStrength = settings::Clamped(ProcessSetting::rmredseal.textstren);
                params.mode = SealAction::kRemove;
            } else {
                params.sealArea = ProcessSetting::strenredseal.area;
                params.type = static_cast<SealScope>(static_cast<int>(ProcessSetting::strenredseal.type));
                params.mode = SealAction::kStrengthen;
                params.clip = settings::Clamped(ProcessSetting::strenredseal.strenvalue);
            }
            redSealEngine.Run(params);
        }
        if (gate(PipelineStep::kBlankPage) && result) {
            std::vector<std::uint8_t> binary = binarize::ThresholdColor(result, resultWidth, resultHeight, 128);
            const auto& s = ProcessSetting::rmblankpage;
            BlankPageParams params;
            params.page.grey = binary.data();
            params.page.colour = result;
            params.page.width = resultWidth;
            params.page.height = resultHeight;
            params.page.bitsPerPixel = 24;
            params.threshold = s.threhold;
            params.page.dpi = dpiX;
            params.contentPercent = s.contentpercent;
            params.textPercent = s.textpercent;
            params.type = static_cast<BlankTest>(static_cast<int>(s.type));
            blankDetector.Detect(params);
        }
        if (gate(PipelineStep::kChangeBkColor) && result) {
            PixelBuffer grey = AllocPixels(resultWidth, resultHeight, 8);
            if (grey) {
                const std::size_t cs = px::Stride24(static_cast<std::size_t>(resultWidth));
                const std::size_t gs = px::Stride8(static_cast<std::size_t>(resultWidth));
                for (std::int32_t y = 0; y < resultHeight; ++y) {
                    const BYTE* c = result + cs * static_cast<std::size_t>(y);
                    BYTE* g = grey.get() + gs * static_cast<std::size_t>(y);
                    for (std::int32_t x = 0; x < resultWidth; ++x, c += 3) g[x] = px::GreyRgbOrder(c[0], c[1], c[2]);
                }
                BkColorChangeParams params;
                params.page.colour = result;
                params.page.grey = grey.get();
                params.page.width = resultWidth;
                params.page.height = resultHeight;
                params.page.bitsPerPixel = 24;
                params.page.dpi = dpiX;
                params.target = ProcessSetting::modifycolor.bkcolor;
                params.keepPictures = ProcessSetting::modifycolor.ignorepic;
                params.flag = 0;
                params.passes = settings::Clamped(ProcessSetting::strokewidth);
                colourChanger.Run(params);
            }
        }
        RotateByTextDirection();
        FitOutputSizeColor(settings::Clamped(ProcessSetting::output.widpixel),
                           settings::Clamped(ProcessSetting::output.heipixel), 0);
        resultDepth = 24;
        return;
    }

    // Grey branch.
    if (workingDepth != 8) {
        ShowDepthError();
        return;
    }
    const auto& centre = ProcessSetting::center;
    if (gate(PipelineStep::kCentre))
        CentreResult(centre.type, centre.checkscalehor, centre.checkscalever, centre.allobj != 0, 8);
    if (gate(PipelineStep::kCutWhite)) {
        const cutting::Margins m = WhiteMargins(dpiX);
        CutWhiteMarginsGray(1, m.left, m.right, m.top, m.bottom, ProcessSetting::cutwhite.checkscale);
    }
    if (gate(PipelineStep::kBlankPage) && result) {
        const auto& s = ProcessSetting::rmblankpage;
        BlankPageParams params;
        params.page.grey = result;
        params.page.width = resultWidth;
        params.page.height = resultHeight;
        params.page.bitsPerPixel = 8;
        params.threshold = s.threhold;
        params.page.dpi = dpiX;
        params.contentPercent = s.contentpercent;
        params.textPercent = s.textpercent;
        params.type = static_cast<BlankTest>(static_cast<int>(s.type));
        blankDetector.Detect(params);
    }
    RotateByTextDirection();
    FitOutputSizeGray(settings::Clamped(ProcessSetting::output.widpixel), settings::Clamped(ProcessSetting::output.heipixel),
                      0);
    resultDepth = sourceDepth == 1 ? 1 : 8;
}
