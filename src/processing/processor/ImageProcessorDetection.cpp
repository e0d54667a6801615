// The detection pipeline: nothing is changed; each page is checked for a
// skew within the detection's range, white margins wider than a percentage,
// or coloured paper edges wider than a number of pixels, and the processor's
// needs-processing flag is set when one is found. A flagged file is copied
// into the output tree when it is saved. The flag is never cleared, so one
// flagged page flags its whole file.
#include <cmath>
#include <cstring>
#include <vector>

#include "processing/Binarize.h"
#include "processing/Cutting.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/PixelMath.h"
#include "settings/DetectSetting.h"
#include "settings/ProcessSetting.h"
#include "settings/SettingsTable.h"

void CImageProcessor::RunDetection(const std::wstring&, std::int32_t quickStepBits, const std::wstring* folder,
                                   const std::wstring* name, std::int32_t) {
    if (folder) outputFolder = *folder;
    if (name) outputName = *name;
    const std::int32_t kind = DetectSetting::kind;
    const bool deskew = DetectSetting::correct != 0;
    if (kind == 0 && !deskew) return;

    if (workingDepth == 8) OtsuBinarizeGray(greyImage.get());
    contrastCopy.reset();
    if ((quickStepBits & 2) != 0 && sourceDepth != 1 && workingDepth == 8) {
        RemoveBackgroundGrey(ProcessSetting::rmbkcolor.bright, ProcessSetting::rmbkcolor.contrast,
                             ProcessSetting::rmbkcolor.curve);
    }

    const bool retainColour = ProcessSetting::filesave.retaincolor != 0;
    if (deskew) {
        SearchSkew(settings::Clamped(ProcessSetting::correct.angle), ProcessSetting::correct.method,
                   ProcessSetting::twocolumns != 0 ? 1 : 0);
        binaryImage.reset();
        const float skew = std::fabs(skewSearcher.skewAngle);
        if (DetectSetting::minAngle <= skew && skew <= DetectSetting::maxAngle) {
            needsProcessing = 1;
            return;
        }
        RotateByAngle(-static_cast<double>(skewSearcher.skewAngle), ProcessSetting::correct.fillcolor);
        SetResult(canvas.get(), canvasWidth, canvasHeight);
    } else {
        SetResult(retainColour && colourImage ? colourImage.get() : greyImage.get(), width, height);
    }

    if (needsProcessing) return;
    if (retainColour && sourceDepth == 24) {
        if (kind == 2)
            CheckColouredEdges();
        else if (kind == 1)
            CheckWhiteMarginsColor();
        resultDepth = 24;
    } else if (workingDepth == 8) {
        if (kind == 1) CheckWhiteMarginsGray();
        resultDepth = sourceDepth == 1 ? 1 : 8;
    } else {
        ShowDepthError();
    }
}

// ---- White margins ----

void CImageProcessor::CheckWhiteMargins(int bitsPerPixel) {
    if (!result || resultWidth <= 0 || resultHeight <= 0) return;
    const std::vector<std::uint8_t> binary =
        bitsPerPixel == 24 ? binarize::ThresholdColor(result, resultWidth, resultHeight, binarize::kMidThreshold)
                           : binarize::Threshold8(result, resultWidth, resultHeight, binarize::kMidThreshold);
    if (result != whiteCut.get()) whiteCut.reset();
    // Content lines have more than 2 % of their pixels dark.
    const cutting::Box box = cutting::FindContentBox(binary.data(), resultWidth, resultHeight, 2.0f);
    boxLeft = box.left;
    boxRight = box.right;
    boxTop = box.top;
    boxBottom = box.bottom;
    if (!box.Found()) return;
    const float m = DetectSetting::marginPercent * 0.01f;
    const int w = resultWidth, h = resultHeight;
    const int across = px::SaturatingInt(static_cast<float>(w) * m);
    const int down = px::SaturatingInt(static_cast<float>(h) * m);
    if (across < box.left || across < w - box.right || down < box.top || down < h - box.bottom) needsProcessing = 1;
}

void CImageProcessor::CheckWhiteMarginsColor() { CheckWhiteMargins(24); }

void CImageProcessor::CheckWhiteMarginsGray() { CheckWhiteMargins(8); }

// ---- Coloured paper edges ----

namespace {

// Pixels of a binarised colour image are one of eight pure colours: index
// them by their three channel bits.
inline int ColourIndex(const BYTE* bgr) { return (bgr[2] ? 4 : 0) | (bgr[1] ? 2 : 0) | (bgr[0] ? 1 : 0); }

// Whether a line of `length` pixels (pixel i at line + i x step) is an edge
// line: a long stretch of content colours with few gaps.
bool AcceptedLine(const BYTE* line, std::ptrdiff_t step, int length, const bool (&content)[8]) {
    int start = -1, candidate = -1, run = 0, total = 0, gap = 0, gaps = 0;
    bool inContent = true;
    int lastOther = length - 1;
    int end = 0;
    bool ended = false;
    const BYTE* p = line;
    for (int i = 0; i < length; ++i, p += step) {
        if (content[ColourIndex(p)]) {
            if (start == -1 && candidate == -1) candidate = i;
            ++total;
            ++run;
            inContent = true;
            gap = 0;
            if (run > 5 && start == -1) start = candidate;
        } else {
            lastOther = i;
            run = 0;
            ++gap;
            if (gap > 5 && inContent) {
                ++gaps;
                inContent = false;
            }
            if (gap > 50 && start >= 0) {
                end = i - gap;
                ended = true;
                break;
            }
            candidate = -1;
        }
    }
    if (start < 0) return false;
    if (!ended) end = lastOther - gap;
    return start < end && end - start > length / 2 && gaps < 20 && total > length / 2;
}

}  // namespace

void CImageProcessor::CheckColouredEdges() {
    cutting::CutByBkColorParams flags;
    flags.red = DetectSetting::red;
    flags.yellow = DetectSetting::yellow;
    flags.green = DetectSetting::green;
    flags.cyan = DetectSetting::cyan;
    flags.blue = DetectSetting::blue;
    flags.purple = DetectSetting::purple;
    flags.black = DetectSetting::black;
    flags.white = DetectSetting::white;
    const std::vector<cutting::Colour> colours = cutting::ContentColours(flags);
    if (colours.empty() || !result || resultWidth <= 0 || resultHeight <= 0) return;
    bool content[8] = {};
    for (const cutting::Colour& c : colours) {
        const BYTE bgr[3] = {c.b, c.g, c.r};
        content[ColourIndex(bgr)] = true;
    }

    const int w = resultWidth, h = resultHeight;
    if (result != cutScratch.get()) cutScratch.reset();
    if (result != colourCut.get()) colourCut.reset();
    PixelBuffer scratch = AllocPixels(w, h, 24);
    if (!scratch) return;
    std::memcpy(scratch.get(), result, PixelBytes(w, h, 24));
    cutting::BinarizeAtMeanColor(scratch.get(), w, h);
    cutScratch = std::move(scratch);

    const std::size_t stride = px::Stride24(static_cast<std::size_t>(w));
    const BYTE* bits = cutScratch.get();
    auto row = [&](int y) { return AcceptedLine(bits + stride * static_cast<std::size_t>(y), 3, w, content); };
    auto column = [&](int x) {
        return AcceptedLine(bits + 3 * static_cast<std::size_t>(x), static_cast<std::ptrdiff_t>(stride), h, content);
    };
    int top = -1, bottom = -1, left = -1, right = -1;
    for (int y = 0; y < h && top == -1; ++y)
        if (row(y)) top = y;
    for (int y = h - 1; y >= 0 && bottom == -1; --y)
        if (row(y)) bottom = y;
    for (int x = 0; x < w && left == -1; ++x)
        if (column(x)) left = x;
    for (int x = w - 1; x >= 0 && right == -1; --x)
        if (column(x)) right = x;
    boxLeft = left;
    boxRight = right;
    boxTop = top;
    boxBottom = bottom;
    if (left == -1 || right == -1 || top == -1 || bottom == -1) return;
    const std::int64_t edge = DetectSetting::edgePixels;
    if (edge < static_cast<std::int64_t>(left) + (w - 1 - right))
        needsProcessing = 1;
    else if (edge < static_cast<std::int64_t>(top) + (h - 1 - bottom))
        needsProcessing = 1;
}
