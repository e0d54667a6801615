// The processing object's side of the operations whose pixel work lives in
// their own modules: skew search and rotation, centring,
// cutting, stains, borders, black board and binding holes. Each entry point
// picks the working buffers, reads the values it takes from the settings and
// keeps the processor's fields (result, canvas, boxes) in step.
#include <algorithm>
#include <cstring>

#include "processing/Binarize.h"
#include "processing/Centring.h"
#include "processing/ImageProcessor.h"
#include "processing/PixelMath.h"
#include "processing/Rotation.h"
#include "processing/SkewSearch.h"
#include "settings/ProcessSetting.h"

namespace {

bool HasPixels(const BYTE* bits, std::int32_t w, std::int32_t h) { return bits != nullptr && w > 0 && h > 0; }

std::uint8_t RotationFill() { return ProcessSetting::correct.fillcolor != 0 ? 255 : 0; }

// The skew detection's view of a processor: it prepares each method's
// binary image and searches it through the processor's own entry points.
class ProcessorSkewMethods : public skew::SkewMethods {
public:
    explicit ProcessorSkewMethods(CImageProcessor& p) : p_(p) {}
    bool RunSkewSearch(int maxAngle, int method, bool twoColumns, float* angle, float* score) override {
        return p_.RunSkewSearch(maxAngle, method, twoColumns ? 1 : 0, angle, score);
    }
    bool HasContrastCopy() const override { return p_.contrastCopy != nullptr; }
    void PrepareContrastCopy() override { p_.PrepareContrastCopy(1.0f, 1.0f); }
    bool BinaryMostlyDark() const override {
        if (!p_.binaryImage || p_.width <= 0 || p_.height <= 0) return false;
        const std::size_t stride = px::Stride8(static_cast<std::size_t>(p_.width));
        std::int64_t zeros = 0;
        for (std::int32_t y = 0; y < p_.height; ++y) {
            const BYTE* row = p_.binaryImage.get() + stride * static_cast<std::size_t>(y);
            zeros += std::count(row, row + p_.width, BYTE{0});
        }
        return zeros >= static_cast<std::int64_t>(p_.width) * p_.height / 2;
    }

private:
    CImageProcessor& p_;
};

}  // namespace

// ---- Skew and rotation ----

void CImageProcessor::OtsuBinarizeGray(const BYTE* grey) {
    if (!HasPixels(grey, width, height)) return;
    binaryImage = AllocPixels(width, height, 8);
    if (binaryImage) binarize::Otsu8(grey, width, height, binaryImage.get());
}

void CImageProcessor::BinarizeGray128(const BYTE* grey) {
    if (!HasPixels(grey, width, height) || workingDepth != 8) return;
    binaryImage = AllocPixels(width, height, 8);
    if (binaryImage) binarize::Threshold8(grey, width, height, binaryImage.get(), 128);
}

void CImageProcessor::BinarizeColor128(const BYTE* colour) {
    if (!HasPixels(colour, width, height)) return;
    binaryImage = AllocPixels(width, height, 8);
    if (binaryImage) binarize::ThresholdColor(colour, width, height, binaryImage.get(), 128);
}

bool CImageProcessor::RunSkewSearch(std::int32_t maxAngle, std::int32_t method, BYTE twoColumns, float* angle,
                                    float* score) {
    binaryImage.reset();
    switch (method) {
    case 0:
        if (workingDepth == 8) OtsuBinarizeGray(greyImage.get());
        break;
    case 1:
        binaryImage = AllocPixels(width, height, 8);
        if (binaryImage)
            skew::TextOnlyMask(textAnalyser, greyImage.get(), colourImage.get(), width, height,
                               sourceDepth == 24 ? 24 : 8, dpiX, binaryImage.get());
        break;
    case 2:
        if (workingDepth != 8) break;
        if (sourceDepth == 24 && colourImage)
            BinarizeColor128(contrastCopy.get());
        else
            BinarizeGray128(contrastCopy.get());
        break;
    default:
        break;
    }
    const bool found = SearchBinaryImage(maxAngle, method, twoColumns != 0);
    if (angle) *angle = skewAngle;
    if (score) *score = skewScore;
    return found;
}

bool CImageProcessor::SearchBinaryImage(std::int32_t maxAngle, std::int32_t method, bool twoColumns) {
    skew::SkewSearcher searcher;
    searcher.skewColumns = skewColumns;
    if (binaryImage) searcher.SetBinaryImage(binaryImage.get(), width, height);
    const bool found =
        searcher.SearchSkew(maxAngle, method, twoColumns, ProcessSetting::correct.textdirecthor != 0);
    skewColumns = searcher.skewColumns;
    skewBestCount = searcher.skewBestCount;
    skewAngle = searcher.skewAngle;
    horizontalAngle = searcher.horizontalAngle;
    verticalAngle = searcher.verticalAngle;
    skewScore = searcher.skewScore;
    horizontalScore = searcher.horizontalScore;
    verticalScore = searcher.verticalScore;
    declineCount = searcher.declineCount;
    return found;
}

void CImageProcessor::DetectSkew(std::int32_t maxAngle, std::int32_t method) {
    ProcessorSkewMethods methods(*this);
    skewAngle = skew::DetectSkewAngle(methods, maxAngle, method, ProcessSetting::tryothers != 0,
                                      ProcessSetting::twocolumns != 0);
}

void CImageProcessor::RotateByAngle(double angle, std::int32_t fill) {
    canvas.reset();
    canvasWidth = canvasHeight = 0;
    const bool colour = ProcessSetting::filesave.retaincolor != 0 && sourceDepth == 24 && colourImage;
    if (!colour && workingDepth != 8) {
        ShowDepthError();
        return;
    }
    const BYTE* source = colour ? colourImage.get() : greyImage.get();
    if (!HasPixels(source, width, height)) return;
    rotation::Canvas turned = rotation::RotateCentred(source, width, height, colour ? 24 : 8, angle,
                                                      fill == 1 ? 255 : 0, RotationFill());
    // The working images were copied onto the centred canvas and are gone.
    if (result == greyImage.get() || result == colourImage.get()) result = nullptr;
    greyImage.reset();
    colourImage.reset();
    if (turned.empty()) return;
    canvas = std::move(turned.bits);
    canvasWidth = turned.width;
    canvasHeight = turned.height;
}

namespace {

void KeepSizeCrop(CImageProcessor& p, PixelBuffer& working, int bitsPerPixel) {
    if (!p.canvas) return;
    if (!working) working = AllocPixels(p.width, p.height, bitsPerPixel);
    if (!working) return;
    int ox = 0, oy = 0;
    rotation::KeepSizeCrop(p.canvas.get(), p.canvasWidth, p.canvasHeight, bitsPerPixel, p.width, p.height,
                           RotationFill(), working.get(), &ox, &oy);
    p.boxLeft = ox;
    p.boxTop = oy;
    p.result = working.get();
    p.resultWidth = p.width;
    p.resultHeight = p.height;
}

}  // namespace

void CImageProcessor::KeepSizeCropGray(BYTE flag) {
    if (flag) KeepSizeCrop(*this, greyImage, 8);
}

void CImageProcessor::KeepSizeCropColor(BYTE flag) {
    if (flag) KeepSizeCrop(*this, colourImage, 24);
}

// ---- Centring ----

void CImageProcessor::CenterHorizontalGray(float ratio, const BYTE* measure, std::int32_t directions) {
    if ((directions & centring::kHorizontal) == 0 || !result || workingDepth != 8) return;
    centring::CentreHorizontal(result, resultWidth, resultHeight, 8, ratio, measure);
}

void CImageProcessor::CenterVerticalGray(float ratio, const BYTE* measure, std::int32_t directions) {
    if ((directions & centring::kVertical) == 0 || !result || workingDepth != 8) return;
    centring::CentreVertical(result, resultWidth, resultHeight, 8, ratio, measure);
}

void CImageProcessor::CenterHorizontalColor(float ratio, const BYTE* measure, std::int32_t directions) {
    if ((directions & centring::kHorizontal) == 0 || !result) return;
    centring::CentreHorizontal(result, resultWidth, resultHeight, 24, ratio, measure);
}

void CImageProcessor::CenterVerticalColor(float ratio, const BYTE* measure, std::int32_t directions) {
    if ((directions & centring::kVertical) == 0 || !result) return;
    centring::CentreVertical(result, resultWidth, resultHeight, 24, ratio, measure);
}

// ---- Cutting ----

namespace {

void StoreBox(CImageProcessor& p, const cutting::Box& box) {
    p.boxLeft = box.left;
    p.boxRight = box.right;
    p.boxTop = box.top;
    p.boxBottom = box.bottom;
}

// Makes a cut the result, held by `owner` (which may be what the result
// pointed at: the cut was copied out of it first).
void TakeCut(CImageProcessor& p, cutting::Cut& cut, PixelBuffer& owner) {
    owner = std::move(cut.bits);
    p.result = owner.get();
    p.resultWidth = cut.width;
    p.resultHeight = cut.height;
}

void CutWhite(CImageProcessor& p, int bitsPerPixel, std::int32_t left, std::int32_t right, std::int32_t top,
              std::int32_t bottom, float ratio) {
    if (!p.result) return;
    cutting::Box box;
    cutting::Cut cut = cutting::CutWhiteMargins(p.result, p.resultWidth, p.resultHeight, bitsPerPixel,
                                                ProcessSetting::cutwhite.threholdtype != 0,
                                                ProcessSetting::cutwhite.threhold, {left, right, top, bottom},
                                                ratio, &box);
    StoreBox(p, box);
    if (!cut.empty())
        TakeCut(p, cut, p.whiteCut);
    else if (p.result != p.whiteCut.get())
        p.whiteCut.reset();
}

}  // namespace

void CImageProcessor::CutWhiteMarginsColor(BYTE run, std::int32_t left, std::int32_t right, std::int32_t top,
                                           std::int32_t bottom, float ratio) {
    if (run) CutWhite(*this, 24, left, right, top, bottom, ratio);
}

void CImageProcessor::CutWhiteMarginsGray(BYTE run, std::int32_t left, std::int32_t right, std::int32_t top,
                                          std::int32_t bottom, float ratio) {
    if (run) CutWhite(*this, 8, left, right, top, bottom, ratio);
}

void CImageProcessor::CutEdgesByBkColor(const cutting::CutByBkColorParams& params) {
    if (!result) return;
    cutting::ColourCut cc = cutting::CutEdgesByBkColor(result, resultWidth, resultHeight, params, dpiX);
    if (cc.nearWhiteChecked && cc.mostlyWhite) mostlyWhite = 1;
    if (cc.searched) StoreBox(*this, cc.box);
    if (!cc.cut.empty()) TakeCut(*this, cc.cut, colourCut);
}

// ---- Stains, borders, black board, binding holes ----

namespace {

cleanup::Images WorkingImages(CImageProcessor& p) {
    cleanup::Images images;
    images.grey = p.greyImage.get();
    images.colour = p.colourImage.get();
    images.width = p.width;
    images.height = p.height;
    images.dpi = p.dpiX;
    return images;
}

}  // namespace

void CImageProcessor::RemoveStainsBordersAndHoles(const std::wstring& name) {
    const cleanup::Gates gates = cleanup::CurrentGates(runType);
    if (!gates.stains && !gates.borders && !gates.holes) return;
    stepsRun.push_back(PipelineStep::kStainsBordersHoles);
    const bool keepColour = ProcessSetting::filesave.retaincolor != 0 && sourceDepth == 24 && colourImage;
    cleanup::RemoveStainsBordersAndHoles(gates, keepColour, WorkingImages(*this), name, stainBorderRemover,
                                         holeRemover);
}

void CImageProcessor::RemoveBlackBoardColor(cleanup::BlackBoardRecord record) {
    if (!record.board) return;
    stepsRun.push_back(PipelineStep::kBlackBoard);
    cleanup::RemoveBlackBoard(record, WorkingImages(*this), true, stainBorderRemover);
}

void CImageProcessor::RemoveBlackBoardGray(cleanup::BlackBoardRecord record) {
    if (!record.board) return;
    stepsRun.push_back(PipelineStep::kBlackBoard);
    cleanup::RemoveBlackBoard(record, WorkingImages(*this), false, stainBorderRemover);
}
