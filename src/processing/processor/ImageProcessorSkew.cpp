// The processing object's skew search and rotation: the binary image of each
// search method, the search over it, the method choice of the detection, and
// the rotations with their keep-size crops.
#include <cmath>
#include <cstring>
#include <utility>

#include "processing/Binarize.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/Rotation.h"
#include "settings/ProcessSetting.h"

namespace {

class ProcessorSkewMethods final : public skew::SkewMethods {
public:
    explicit ProcessorSkewMethods(CImageProcessor& p) : p_(p) {}
    bool RunSkewSearch(int maxAngle, skew::SkewMethod method, bool twoColumns, float* angle, float* score) override {
        return p_.RunSkewSearch(maxAngle, static_cast<std::int32_t>(method), twoColumns ? 1 : 0, angle, score);
    }
    bool HasContrastCopy() const override { return p_.contrastCopy != nullptr; }
    void PrepareContrastCopy() override { p_.PrepareContrastCopy(1.0f, 1.0f); }
    bool BinaryMostlyDark() const override {
        if (!p_.binaryImage || p_.width <= 0 || p_.height <= 0) return false;
        const std::size_t stride = px::Stride8(static_cast<std::size_t>(p_.width));
        std::int64_t zeros = 0;
        for (std::int32_t y = 0; y < p_.height; ++y) {
            const BYTE* row = p_.binaryImage.get() + stride * static_cast<std::size_t>(y);
            for (std::int32_t x = 0; x < p_.width; ++x) zeros += row[x] == 0;
        }
        return zeros >= static_cast<std::int64_t>(p_.width) * p_.height / 2;
    }

private:
    CImageProcessor& p_;
};

// A new binary image in place of the last one, which goes first so that the
// two never take memory together (the new one is made from the grey image
// or the contrast copy, never from the binary image). Its rows are left
// unwritten (their padding is zeroed): every binarisation writes every
// pixel.
void NewBinaryImage(CImageProcessor& p) {
    p.binaryImage.reset();
    p.binaryImage = AllocPixelsUnfilled(p.width, p.height, 8);
}

BYTE FillByte(std::int32_t fill) { return fill != 0 ? 255 : 0; }
BYTE EdgeFill() { return ProcessSetting::correct.fillcolor != 0 ? 255 : 0; }

// Runs `search` on the binary image; the searcher's tables are released
// afterwards when asked. The skew state stays in the searcher.
template <class Search>
auto WithSearcher(CImageProcessor& p, bool release, Search search) {
    p.skewSearcher.SetBinaryImage(p.binaryImage.get(), p.width, p.height);
    const auto r = search(p.skewSearcher);
    if (release) p.skewSearcher.Clear();
    return r;
}

// A turn takes the colour image when colour is kept and the source is
// colour (and its colour image is there), else the grey image.
bool TurnsColour(const CImageProcessor& p) {
    return ProcessSetting::filesave.retaincolor != 0 && p.sourceDepth == 24 && p.colourImage;
}

// The working image a rotation turns (the grey image needs working depth
// 8). Null, after the depth message where it applies, when there is none.
const BYTE* RotationSource(CImageProcessor& p, int* bpp) {
    const bool colour = TurnsColour(p);
    if (!colour && p.workingDepth != 8) {
        CImageProcessor::ShowDepthError();
        return nullptr;
    }
    *bpp = colour ? 24 : 8;
    return colour ? p.colourImage.get() : p.greyImage.get();
}

// Frees the working image a rotation from `source` does not turn (the
// rotation frees it afterwards anyway), so that it never shares memory with
// the canvas. True when the result pointed into it.
bool FreeUnturnedImage(CImageProcessor& p, const BYTE* source) {
    PixelBuffer& unturned = source == p.colourImage.get() ? p.greyImage : p.colourImage;
    const bool resultFreed = p.LetGoOfResult(unturned.get());
    unturned.reset();
    return resultFreed;
}

// The canvas becomes the rotation's output; the working images are freed
// and a result that pointed into them (or into one freed before, when
// `resultFreed`, or into the image the canvas was made over) now is the
// canvas.
void TakeCanvas(CImageProcessor& p, rotation::Canvas c, bool resultFreed = false) {
    resultFreed = p.LetGoOfResult(p.greyImage.get()) || p.LetGoOfResult(p.colourImage.get()) ||
                  p.LetGoOfResult(c.bits.get()) || resultFreed;
    p.greyImage.reset();
    p.colourImage.reset();
    p.canvas.reset(c.bits.release());
    p.canvasWidth = c.width;
    p.canvasHeight = c.height;
    p.canvasDepth = c.bitsPerPixel;
    if (resultFreed) p.SetResult(p.canvas.get(), p.canvasWidth, p.canvasHeight);
}

void FreeCanvas(CImageProcessor& p) {
    p.LetGoOfResult(p.canvas.get());
    p.canvas.reset();
    p.canvasWidth = p.canvasHeight = p.canvasDepth = 0;
}

void KeepSizeCrop(CImageProcessor& p, BYTE flag, int bpp, PixelBuffer& image) {
    if (flag == 0 || !p.canvas || p.canvasDepth != bpp) return;
    if (!image) image = AllocPixels(p.width, p.height, bpp);
    if (!image) return;
    int ox = 0, oy = 0;
    rotation::KeepSizeCrop(p.canvas.get(), p.canvasWidth, p.canvasHeight, bpp, p.width, p.height, EdgeFill(),
                           image.get(), &ox, &oy);
    p.boxLeft = ox;
    p.boxTop = oy;
    p.SetResult(image.get(), p.width, p.height);
}

}  // namespace

void CImageProcessor::DetectSkew(std::int32_t maxAngle, std::int32_t method) {
    ProcessorSkewMethods methods(*this);
    // A search over the wide range sweeps the first range's angles again on
    // the same binary images: their counts are taken from the first round.
    skewSearcher.RememberCounts(true);
    skewSearcher.skewAngle = skew::DetectSkewAngle(methods, maxAngle, method, ProcessSetting::tryothers != 0,
                                      ProcessSetting::twocolumns != 0);
    skewSearcher.RememberCounts(false);
}

void CImageProcessor::PrepareSkewBinary(std::int32_t method, bool otherMethodsAsOtsu) {
    switch (method) {
        case 1: {
            // Text only: a new image of 255 with the text pixels cleared. The
            // last binary image goes first: it is never needed again.
            binaryImage.reset();
            PixelBuffer mask = AllocPixels(width, height, 8);
            if (mask)
                skew::TextOnlyMask(textAnalyser, greyImage.get(), colourImage.get(), width, height,
                                   sourceDepth == 24 ? 24 : 8, dpiX, mask.get());
            binaryImage = std::move(mask);
            return;
        }
        case 2:
            // The copy is binarised at its own depth: a colour source can
            // have a grey copy when its colour image was gone.
            if (workingDepth == 8) {
                if (contrastDepth == 24)
                    BinarizeColor128(contrastCopy.get());
                else
                    BinarizeGray128(contrastCopy.get());
            }
            return;
        case 0:
            break;
        default:
            if (!otherMethodsAsOtsu) return;
            break;
    }
    if (workingDepth == 8) OtsuBinarizeGray(greyImage.get());
}

bool CImageProcessor::RunSkewSearch(std::int32_t maxAngle, std::int32_t method, BYTE twoColumns, float* angle,
                                    float* score) {
    PrepareSkewBinary(method, false);
    const bool found = SearchSkew(maxAngle, method, twoColumns);
    if (angle) *angle = skewSearcher.skewAngle;
    if (score) *score = skewSearcher.skewScore;
    return found;
}

bool CImageProcessor::SearchSkew(std::int32_t maxAngle, std::int32_t method, BYTE twoColumns) {
    return WithSearcher(*this, true, [&](skew::SkewSearcher& s) {
        return s.SearchSkew(maxAngle, method, twoColumns != 0, ProcessSetting::correct.textdirecthor != 0);
    });
}

bool CImageProcessor::SearchHorizontalSkew(std::int32_t maxAngle, std::int32_t method) {
    return WithSearcher(*this, true, [&](skew::SkewSearcher& s) { return s.SearchHorizontalSkew(maxAngle, method); });
}

bool CImageProcessor::SearchVerticalSkew(std::int32_t maxAngle, std::int32_t method) {
    return WithSearcher(*this, true, [&](skew::SkewSearcher& s) { return s.SearchVerticalSkew(maxAngle, method); });
}

std::int32_t CImageProcessor::CountHorizontalLines(double slope, std::int32_t method) {
    return WithSearcher(*this, false, [&](skew::SkewSearcher& s) { return s.CountHorizontalLines(slope, method); });
}

std::int32_t CImageProcessor::CountVerticalLines(double slope, std::int32_t method) {
    return WithSearcher(*this, false, [&](skew::SkewSearcher& s) { return s.CountVerticalLines(slope, method); });
}

void CImageProcessor::OtsuBinarizeGray(const BYTE* grey) {
    if (!grey) return;
    NewBinaryImage(*this);
    if (binaryImage) binarize::Otsu8(grey, width, height, binaryImage.get());
}

void CImageProcessor::BinarizeGray128(const BYTE* bits) {
    if (!bits || workingDepth != 8) return;
    NewBinaryImage(*this);
    if (binaryImage) binarize::Threshold8(bits, width, height, binaryImage.get(), binarize::kMidThreshold);
}

void CImageProcessor::BinarizeColor128(const BYTE* bits) {
    if (!bits) return;
    NewBinaryImage(*this);
    if (binaryImage) binarize::ThresholdColor(bits, width, height, binaryImage.get(), binarize::kMidThreshold);
}

void CImageProcessor::OtsuBinarizeColor(const BYTE* bits, std::int32_t w, std::int32_t h, PixelBuffer& out) {
    out = bits ? AllocPixels(w, h, 8) : nullptr;
    if (out) binarize::OtsuColor(bits, w, h, out.get());
}

void CImageProcessor::OtsuBinarize8(const BYTE* bits, std::int32_t w, std::int32_t h, PixelBuffer& out) {
    out = bits ? AllocPixels(w, h, 8) : nullptr;
    if (out) binarize::Otsu8(bits, w, h, out.get());
}

void CImageProcessor::ThresholdColor(const BYTE* bits, std::int32_t w, std::int32_t h, PixelBuffer& out,
                                     std::int32_t threshold) {
    out = bits ? AllocPixels(w, h, 8) : nullptr;
    if (out) binarize::ThresholdColor(bits, w, h, out.get(), threshold);
}

void CImageProcessor::Threshold8(const BYTE* bits, std::int32_t w, std::int32_t h, PixelBuffer& out,
                                 BYTE threshold) {
    out = bits ? AllocPixels(w, h, 8) : nullptr;
    if (out) binarize::Threshold8(bits, w, h, out.get(), threshold);
}

void CImageProcessor::RotateByAngle(double angle, std::int32_t fill) {
    FreeCanvas(*this);
    int bpp = 8;
    const BYTE* source = RotationSource(*this, &bpp);
    if (!source) return;
    int canvasW = 0, canvasH = 0;
    const bool sized = rotation::CanvasSize(angle, width, height, &canvasW, &canvasH);
    const bool resultFreed = sized && FreeUnturnedImage(*this, source);
    // A turn that moves no pixel (a straight page) is made in the turned
    // image's own buffer, which working images have room for: no second
    // page of memory.
    if (sized && rotation::MovesNoPixel(angle)) {
        PixelBuffer& turned = source == colourImage.get() ? colourImage : greyImage;
        if (rotation::StraightenInPlace(turned.get(), PixelCapacity(turned.get()), width, height, bpp,
                                        FillByte(fill), EdgeFill())) {
            TakeCanvas(*this, rotation::CanvasOf(std::move(turned), canvasW, canvasH, bpp), resultFreed);
            return;
        }
    }
    rotation::Canvas c = rotation::RotateCentred(source, width, height, bpp, angle, FillByte(fill), EdgeFill());
    if (c.empty()) return;
    TakeCanvas(*this, std::move(c), resultFreed);
}

void CImageProcessor::RotateWorkingImage(double angle) {
    FreeCanvas(*this);
    int bpp = 8;
    const BYTE* source = RotationSource(*this, &bpp);
    if (!source) return;
    // Whole quarter turns move every pixel to its new place: sampling them
    // would blur the page by half a pixel and add a fill row and column at
    // every turn.
    if (std::isfinite(angle) && std::fmod(angle, 90.0) == 0.0 && std::fabs(angle) <= 360.0 * 4) {
        const int quarters = ((static_cast<int>(angle) / 90) % 4 + 4) % 4;
        const bool exchange = quarters % 2 == 1;
        const int w = exchange ? height : width, h = exchange ? width : height;
        rotation::Canvas c = rotation::CanvasOf(AllocPixels(w, h, bpp), w, h, bpp);
        if (c.empty()) return;
        if (quarters == 0)
            std::memcpy(c.bits.get(), source, c.size);
        else
            rotation::TurnQuarters(source, width, height, bpp, quarters, c.bits.get());
        TakeCanvas(*this, std::move(c));
        return;
    }
    rotation::Canvas c = rotation::RotateAboutImageCentre(source, width, height, bpp, angle, EdgeFill());
    if (c.empty()) return;
    TakeCanvas(*this, std::move(c));
}

void CImageProcessor::SampleRotated(const BYTE* source, std::int32_t sourceWidth, std::int32_t sourceHeight,
                                    BYTE* canvasBits, std::int32_t w, std::int32_t h, double x, double y,
                                    std::int32_t column, std::int32_t row, std::int32_t bitsPerPixel) {
    if (!source || !canvasBits) return;
    rotation::SampleRotated(source, sourceWidth, sourceHeight, canvasBits, w, h, x, y, column, row, bitsPerPixel,
                            EdgeFill());
}

bool CImageProcessor::KeepSizeWithoutTurning(double angle, bool colour) {
    // A turn of the grey image needs working depth 8 (else RotateByAngle
    // shows its message).
    const bool turnsColour = TurnsColour(*this);
    if (turnsColour != colour || (!turnsColour && (workingDepth != 8 || !greyImage))) return false;
    int canvasW = 0, canvasH = 0;
    if (!rotation::MovesNoPixel(angle) || !rotation::CanvasSize(angle, width, height, &canvasW, &canvasH))
        return false;
    // The crop would copy every pixel of the turned image into a fresh
    // (zeroed) image of the same size, at offsets (0, 0): the image stays,
    // its row padding cleared as the fresh image's is.
    FreeCanvas(*this);
    const int bpp = colour ? 24 : 8;
    PixelBuffer& turned = colour ? colourImage : greyImage;
    FreeUnturnedImage(*this, turned.get());
    const std::size_t stride = px::StrideFor(static_cast<std::size_t>(width), bpp);
    const std::size_t rowBytes = static_cast<std::size_t>(width) * (bpp / 8);
    for (std::int32_t y = 0; y < height; ++y)
        std::memset(turned.get() + stride * static_cast<std::size_t>(y) + rowBytes, 0, stride - rowBytes);
    canvasDepth = bpp;
    boxLeft = 0;
    boxTop = 0;
    SetResult(turned.get(), width, height);
    return true;
}

void CImageProcessor::KeepSizeCropGray(BYTE flag) { KeepSizeCrop(*this, flag, 8, greyImage); }

void CImageProcessor::KeepSizeCropColor(BYTE flag) { KeepSizeCrop(*this, flag, 24, colourImage); }
