// The processing object's centring and cutting of its result, and its side
// of the stain, border, black-board and binding-hole steps.
#include <utility>

#include "processing/Centring.h"
#include "processing/processor/ImageProcessor.h"
#include "settings/ProcessSetting.h"

namespace {

void Centre(CImageProcessor& p, float ratio, const BYTE* measure, std::int32_t bits, int direction, int bpp) {
    if ((bits & direction) == 0 || !p.result || !measure) return;
    if (bpp == 8 && p.workingDepth != 8) return;
    if (direction == centring::kHorizontal)
        centring::CentreHorizontal(p.result, p.resultWidth, p.resultHeight, bpp, ratio, measure);
    else
        centring::CentreVertical(p.result, p.resultWidth, p.resultHeight, bpp, ratio, measure);
}

// A new cut becomes `buffer` and the result; without one the old buffer is
// dropped unless it still is the result.
void TakeCut(CImageProcessor& p, cutting::Cut cut, PixelBuffer& buffer) {
    if (cut.empty()) {
        if (p.result != buffer.get()) buffer.reset();
        return;
    }
    buffer.reset(cut.bits.release());
    p.SetResult(buffer.get(), cut.width, cut.height);
}

void CutWhite(CImageProcessor& p, BYTE run, std::int32_t left, std::int32_t right, std::int32_t top,
              std::int32_t bottom, float ratio, int bpp) {
    if (run == 0 || !p.result) return;
    cutting::Box box;
    cutting::Cut cut = cutting::CutWhiteMargins(p.result, p.resultWidth, p.resultHeight, bpp,
                                                ProcessSetting::cutwhite.threholdtype != 0,
                                                ProcessSetting::cutwhite.threhold, {left, right, top, bottom}, ratio,
                                                &box);
    p.boxLeft = box.left;
    p.boxRight = box.right;
    p.boxTop = box.top;
    p.boxBottom = box.bottom;
    TakeCut(p, std::move(cut), p.whiteCut);
}

}  // namespace

cleanup::Images CImageProcessor::WorkingImages() const {
    cleanup::Images im;
    im.grey = greyImage.get();
    im.colour = colourImage.get();
    im.width = width;
    im.height = height;
    im.dpi = dpiX;
    return im;
}

void CImageProcessor::CenterHorizontalGray(float ratio, const BYTE* measure, std::int32_t bits) {
    Centre(*this, ratio, measure, bits, centring::kHorizontal, 8);
}

void CImageProcessor::CenterVerticalGray(float ratio, const BYTE* measure, std::int32_t bits) {
    Centre(*this, ratio, measure, bits, centring::kVertical, 8);
}

void CImageProcessor::CenterHorizontalColor(float ratio, const BYTE* measure, std::int32_t bits) {
    Centre(*this, ratio, measure, bits, centring::kHorizontal, 24);
}

void CImageProcessor::CenterVerticalColor(float ratio, const BYTE* measure, std::int32_t bits) {
    Centre(*this, ratio, measure, bits, centring::kVertical, 24);
}

void CImageProcessor::CutWhiteMarginsColor(BYTE run, std::int32_t left, std::int32_t right, std::int32_t top,
                                           std::int32_t bottom, float ratio) {
    CutWhite(*this, run, left, right, top, bottom, ratio, 24);
}

void CImageProcessor::CutWhiteMarginsGray(BYTE run, std::int32_t left, std::int32_t right, std::int32_t top,
                                          std::int32_t bottom, float ratio) {
    CutWhite(*this, run, left, right, top, bottom, ratio, 8);
}

void CImageProcessor::CutEdgesByBkColor(const cutting::CutByBkColorParams& params) {
    if (!result || cutting::ContentColours(params).empty()) return;
    // The binarised copy and the copy that is cropped live only inside the
    // cut; nothing reads them afterwards.
    cutScratch.reset();
    cutting::ColourCut out = cutting::CutEdgesByBkColor(result, resultWidth, resultHeight, params, dpiX);
    if (out.nearWhiteChecked) mostlyWhite = out.mostlyWhite ? 1 : 0;
    if (out.searched) {
        boxLeft = out.box.left;
        boxRight = out.box.right;
        boxTop = out.box.top;
        boxBottom = out.box.bottom;
    }
    TakeCut(*this, std::move(out.cut), colourCut);
}

void CImageProcessor::BinarizeAtMeanColor(BYTE* bits, std::int32_t w, std::int32_t h) {
    cutting::BinarizeAtMeanColor(bits, w, h);
}

bool CImageProcessor::IsMostlyWhite(const BYTE* bits, std::int32_t w, std::int32_t h) {
    return cutting::IsMostlyWhite(bits, w, h);
}

void CImageProcessor::RemoveStainsBordersAndHoles(const std::wstring& name) {
    const bool keepColour = ProcessSetting::filesave.retaincolor != 0 && sourceDepth == 24 && colourImage;
    cleanup::RemoveStainsBordersAndHoles(cleanup::CurrentGates(runType), keepColour, WorkingImages(), name,
                                         stainBorderRemover, holeRemover);
}

void CImageProcessor::RemoveBlackBoardColor(cleanup::BlackBoardRecord record) {
    cleanup::RemoveBlackBoard(record, WorkingImages(), true, stainBorderRemover);
}

void CImageProcessor::RemoveBlackBoardGray(cleanup::BlackBoardRecord record) {
    cleanup::RemoveBlackBoard(record, WorkingImages(), false, stainBorderRemover);
}

void CImageProcessor::RemoveBindHolesColor(const BindHoleOptions& options, const std::wstring& name) {
    cleanup::RemoveBindHoles(options, name, WorkingImages(), true, holeRemover);
}

void CImageProcessor::RemoveBindHolesGray(const BindHoleOptions& options, const std::wstring& name) {
    cleanup::RemoveBindHoles(options, name, WorkingImages(), false, holeRemover);
}
