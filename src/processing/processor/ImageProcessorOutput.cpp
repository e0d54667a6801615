// Fixed output size, the turn by text direction and the finding of
// illustrations: the small operations around the pipeline's main steps.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/core/Numbers.h"
#include "processing/Binarize.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/PixelMath.h"
#include "processing/Rotation.h"
#include "settings/ProcessSetting.h"
#include "settings/ScanSetting.h"
#include "settings/SettingsTable.h"

namespace {

// Depth of the result of the current branch: 24 bits when colour is kept for
// a colour source, else 8.
int ResultBitsPerPixel(const CImageProcessor& p) {
    return ProcessSetting::filesave.retaincolor != 0 && p.sourceDepth == 24 ? 24 : 8;
}

}  // namespace

// ---- Fixed output size ----

void CImageProcessor::FitOutputSize(int bpp, std::int32_t tw, std::int32_t th, BYTE force) {
    if (!result || resultWidth <= 0 || resultHeight <= 0) return;
    if (!StepGate(PipelineStep::kOutputSize) && !force) return;
    stepsRun.push_back(PipelineStep::kOutputSize);
    const std::int32_t askedWidth = tw, askedHeight = th;
    if (ProcessSetting::output.maintainhw != 0 && (resultHeight < resultWidth) != (th < tw)) std::swap(tw, th);
    // A size of nothing, one beyond the image limits or one there is no
    // memory for leaves the result as it is, and the page cannot be
    // finished as asked: a batch run fails the file with this reason.
    PixelBuffer target = AllocPixels(tw, th, bpp);
    if (!target) {
        failReason = FormatW(L"无法按 %d x %d 像素输出", askedWidth, askedHeight);
        return;
    }
    const std::uint8_t fill = ProcessSetting::output.fillcolor != 0 ? 255 : 0;
    const int bytesPerPixel = bpp / 8;
    const std::size_t targetStride = px::StrideFor(static_cast<std::size_t>(tw), bpp);
    const std::size_t sourceStride = px::StrideFor(static_cast<std::size_t>(resultWidth), bpp);
    const std::int64_t x0 = (static_cast<std::int64_t>(resultWidth) - tw) / 2;
    const std::int64_t y0 = (static_cast<std::int64_t>(resultHeight) - th) / 2;
    // Target columns j whose source column x0 + j lies inside the result.
    const std::int64_t jFrom = std::max<std::int64_t>(0, -x0);
    const std::int64_t jTo = std::min<std::int64_t>(tw, resultWidth - x0);
    for (std::int64_t i = 0; i < th; ++i) {
        BYTE* out = target.get() + targetStride * static_cast<std::size_t>(i);
        std::memset(out, fill, static_cast<std::size_t>(tw) * bytesPerPixel);
        const std::int64_t y = y0 + i;
        if (y < 0 || y >= resultHeight || jFrom >= jTo) continue;
        const BYTE* in = result + sourceStride * static_cast<std::size_t>(y);
        std::memcpy(out + jFrom * bytesPerPixel, in + (x0 + jFrom) * bytesPerPixel,
                    static_cast<std::size_t>(jTo - jFrom) * bytesPerPixel);
    }
    // The result may have been the size canvas itself: replaced only now.
    sizeCanvas = std::move(target);
    SetResult(sizeCanvas.get(), tw, th);
}

void CImageProcessor::FitOutputSizeGray(std::int32_t tw, std::int32_t th, BYTE force) { FitOutputSize(8, tw, th, force); }

void CImageProcessor::FitOutputSizeColor(std::int32_t tw, std::int32_t th, BYTE force) {
    FitOutputSize(24, tw, th, force);
}

// ---- Turn by text direction ----

void CImageProcessor::RotateByTextDirection() {
    if (!StepGate(PipelineStep::kTextDirection) || !result || resultWidth <= 0 || resultHeight <= 0) return;
    stepsRun.push_back(PipelineStep::kTextDirection);
    std::vector<std::uint8_t> binary;
    const BYTE* image = result;
    if (ResultBitsPerPixel(*this) == 24) {
        binary = binarize::ThresholdColor(result, resultWidth, resultHeight, binarize::kMidThreshold);
        image = binary.data();
    }
    TextDirectionParams params;
    params.image = ConstImageView::Grey(image, resultWidth, resultHeight);
    params.threshold = comp::kTextThreshold;
    params.dpi = dpiX;
    directionDetector.Detect(params);
    binary = {};
    const int angle = directionDetector.Angle();
    if (angle != 0) TurnResult(-angle, result, resultWidth, resultHeight);
}


void CImageProcessor::TurnResult(std::int32_t angle, const BYTE* source, std::int32_t w, std::int32_t h) {
    if (!source || w <= 0 || h <= 0) return;
    const int bpp = ResultBitsPerPixel(*this);
    const bool quarterTurn = angle % 90 == 0;
    const int quarters = quarterTurn ? ((angle / 90) % 4 + 4) % 4 : 0;
    // Odd quarter turns exchange the sides (whichever way they turn).
    const bool exchange = quarters == 1 || quarters == 3;
    const std::int32_t cw = exchange ? h : w;
    const std::int32_t ch = exchange ? w : h;
    PixelBuffer turned = AllocPixels(cw, ch, bpp);
    if (!turned) return;
    if (quarterTurn) {
        if (quarters == 0)
            std::memcpy(turned.get(), source, PixelBytes(w, h, bpp));
        else
            rotation::TurnQuarters(source, w, h, bpp, quarters, turned.get());
    } else {
        // Any other angle: every canvas pixel samples the source about the
        // two centres, as a rotation does.
        const std::uint8_t fill = ProcessSetting::correct.fillcolor != 0 ? 255 : 0;
        std::memset(turned.get(), fill, PixelBytes(cw, ch, bpp));
        const double a = angle * static_cast<double>(rotation::kRotationPi) / 180.0;
        const double c = std::cos(a), s = std::sin(a);
        for (std::int32_t y = 0; y < ch; ++y)
            for (std::int32_t x = 0; x < cw; ++x) {
                const double dx = x - cw / 2.0, dy = y - ch / 2.0;
                const double sx = w / 2.0 + dx * c - dy * s;
                const double sy = h / 2.0 + dx * s + dy * c;
                rotation::SampleRotated(source, w, h, turned.get(), cw, ch, sx, sy, x, y, bpp, fill);
            }
    }
    // The source may be the turn canvas itself: replaced only now.
    turnCanvas = std::move(turned);
    SetResult(turnCanvas.get(), cw, ch);
}

// ---- Illustrations ----

void CImageProcessor::FindIllustrations() {
    const int mode = ProcessSetting::rmbkcolor.illstration;
    if (mode == 0) return;
    PhotoRegionParams params;
    params.page.grey = greyImage.get();
    params.page.colour = colourImage.get();
    params.page.width = width;
    params.page.height = height;
    params.page.bitsPerPixel = sourceDepth == 24 ? 24 : 8;
    params.page.dpi = dpiX;
    params.binContrast = 255;
    params.binBrightness = 0;
    params.enhContrast = ProcessSetting::rmbkcolor.illstrationcontrast;
    params.enhBrightness = ProcessSetting::rmbkcolor.illstrationbright;
    params.passes = settings::Clamped(ProcessSetting::strokewidth);
    params.mode = static_cast<PhotoSelection>(mode);
    photoFinder.Find(params);
}
