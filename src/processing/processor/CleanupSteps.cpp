#include "processing/processor/CleanupSteps.h"

#include <vector>

#include "processing/Cutting.h"
#include "processing/PixelMath.h"
#include "settings/ProcessSetting.h"
#include "settings/ScanSetting.h"
#include "settings/SettingsTable.h"

namespace cleanup {

namespace {

// The board step's fixed dark limit: it looks for the board among the pixels
// darker than the middle grey (the other steps' limits come from settings).
constexpr std::int32_t kBoardThreshold = 128;

constexpr std::int32_t kScanAndProcess = 4;

std::uint8_t Bit(std::int32_t bits, int n) { return static_cast<std::uint8_t>((bits >> n) & 1); }

}  // namespace

StainBorderParams StainBorderRecord(const Images& images, bool colourForm, const std::wstring& name) {
    StainBorderParams p;
    p.page.grey = images.grey;
    p.page.colour = colourForm ? images.colour : nullptr;
    p.page.width = images.width;
    p.page.height = images.height;
    p.page.bitsPerPixel = colourForm ? 24 : 8;
    p.page.dpi = images.dpi;
    p.name = name;
    return p;
}

Gates CurrentGates(std::int32_t runType) {
    Gates g;
    if (runType == kScanAndProcess) {
        g.stains = ScanStepFlags::rmstains != 0;
        g.borders = ScanStepFlags::rmblackborder != 0;
        g.holes = ScanStepFlags::bindhole != 0;
    } else {
        g.stains = ProcessSetting::rmstains.on != 0;
        g.borders = ProcessSetting::rmblackborder.on != 0;
        g.holes = ProcessSetting::bindhole.on != 0;
    }
    return g;
}

BlackBoardRecord PipelineBoardRecord(bool gate) {
    BlackBoardRecord r;
    r.board = gate ? 1 : 0;
    r.eraseRadius = settings::Clamped(ProcessSetting::rmblackboard.ratioarea);
    r.band = settings::Clamped(ProcessSetting::rmblackboard.whiteframewid);
    r.colourPixelsAreBlack = ProcessSetting::rmblackboard.includecolorpixel;
    return r;
}

void RemoveStainsBordersAndHoles(const Gates& gates, bool keepColour, const Images& images, const std::wstring& name,
                                 CStainBorderRemover& remover, CBindHoleRemover& holes) {
    // The remover erases in the colour image in its 24-bit form and in the
    // grey image otherwise. A colour source whose page is saved as grey must
    // be cleaned in the grey image, or the removal would not reach the
    // output; without the colour image its comparison copy is then the
    // 8-bit copy that such a page's comparison image is made of.
    const bool colourForm = keepColour && images.colour != nullptr;
    if (gates.stains || gates.borders) {
        StainBorderParams p = StainBorderRecord(images, colourForm, name);
        p.band = 0;
        const std::int32_t compare = ProcessSetting::compareimage;
        if (gates.stains) {
            p.stains = 1;
            p.threshold = ProcessSetting::rmstains.threhold;
            p.stainArea = ProcessSetting::rmstains.areamax;
            p.mark = Bit(compare, 1);
        } else {
            p.borders = 1;
            p.threshold = ProcessSetting::rmblackborder.threhold;
            p.borderType = static_cast<BorderComponents>(static_cast<int>(ProcessSetting::rmblackborder.type));
            p.region = static_cast<TextArea>(static_cast<int>(ProcessSetting::rmblackborder.region));
            p.left = ProcessSetting::rmblackborder.left;
            p.top = ProcessSetting::rmblackborder.top;
            p.right = ProcessSetting::rmblackborder.right;
            p.bottom = ProcessSetting::rmblackborder.bottom;
            p.eraseRadius = settings::Clamped(ProcessSetting::rmblackborder.ratio);
            p.mark = Bit(compare, 0);
        }
        remover.Run(p);
    }
    if (gates.holes) RemoveBindHoles(PipelineHoleOptions(), name, images, colourForm, holes);
}

void RemoveBlackBoard(const BlackBoardRecord& record, const Images& images, bool colourForm,
                      CStainBorderRemover& remover) {
    if (record.board == 0) return;
    StainBorderParams p = StainBorderRecord(images, colourForm, record.name);
    p.threshold = kBoardThreshold;
    p.stains = record.stains;
    p.borders = record.borders;
    p.board = record.board;
    p.eraseRadius = record.eraseRadius;
    p.band = record.band;
    p.colourPixelsAreBlack = record.colourPixelsAreBlack;
    p.stainArea = 4.0f;
    p.mark = 0;
    std::vector<std::uint8_t> black;
    if (colourForm && images.colour != nullptr && images.width > 0 && images.height > 0) {
        const std::size_t bytes = px::Stride24(static_cast<std::size_t>(images.width)) * static_cast<std::size_t>(images.height);
        black.assign(images.colour, images.colour + bytes);
        cutting::BinarizeAtMeanColor(black.data(), images.width, images.height);
        p.black = black.data();
    }
    remover.Run(p);
}

BindHoleOptions PipelineHoleOptions() {
    BindHoleOptions o;
    o.SetDefaults();
    o.on = 1;
    o.left = ProcessSetting::bindhole.left;
    o.right = ProcessSetting::bindhole.right;
    o.top = ProcessSetting::bindhole.top;
    o.bottom = ProcessSetting::bindhole.bottom;
    o.smallestArea = settings::Clamped(ProcessSetting::bindhole.areamin);
    o.largestArea = settings::Clamped(ProcessSetting::bindhole.areamax);
    o.greyLow = ProcessSetting::holethresholdmin;
    o.greyHigh = ProcessSetting::holethresholdmax;
    o.radius = settings::Clamped(ProcessSetting::bindhole.radius);
    o.ignoreCorners = ProcessSetting::bindhole.ignore;
    o.backgroundType = ProcessSetting::bindhole.backtype;
    o.colourDelta = ProcessSetting::bindhole.colordelta;
    o.whiteFill = ProcessSetting::holefillcolor;
    o.markFlag = Bit(ProcessSetting::compareimage, 2);
    return o;
}

void RemoveBindHoles(const BindHoleOptions& options, const std::wstring& name, const Images& images,
                     bool colourForm, CBindHoleRemover& holes) {
    if (options.on == 0) return;
    BindHoleParams p;
    p.page.grey = images.grey;
    p.page.colour = images.colour;
    p.page.width = images.width;
    p.page.height = images.height;
    p.page.bitsPerPixel = colourForm ? 24 : 8;
    p.page.dpi = images.dpi;
    p.name = name;
    p.TakeOptions(options);
    p.backgroundType = colourForm && !cutting::IsMostlyWhite(images.colour, images.width, images.height)
                           ? PaperType::kTinted
                           : PaperType::kWhite;
    holes.Run(p);
}

}  // namespace cleanup
