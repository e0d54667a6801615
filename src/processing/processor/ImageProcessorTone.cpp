// The processor's tone operations: brightness and contrast, the darkening
// curve, auto contrast and the auto-contrasted copy of the skew search.
#include <cstring>

#include "processing/processor/ImageProcessor.h"
#include "processing/PixelMath.h"
#include "processing/ToneOperations.h"
#include "settings/ProcessSetting.h"

ProtectedRects CImageProcessor::ProtectedRectangles() const {
    return photoFinder.AsProtected(ProcessSetting::rmbkcolor.illstration != 0);
}

void CImageProcessor::AdjustBrightnessContrast(BYTE* bits, std::int32_t bufferWidth, std::int32_t bufferHeight,
                                               std::int32_t brightness, std::int32_t contrast) {
    tone::AdjustBrightnessContrast(bits, bufferWidth, bufferHeight, brightness, contrast, ProtectedRectangles());
}

void CImageProcessor::ApplyDarkeningCurve(std::int32_t strength) {
    if (!greyImage) return;
    tone::ApplyDarkening(greyImage.get(), width, height, strength, darkeningCurve, ProtectedRectangles());
}

void CImageProcessor::AutoContrastGray(BYTE* bits, std::int32_t bufferWidth, std::int32_t bufferHeight) {
    tone::AutoContrastGray(bits, bufferWidth, bufferHeight, lowClip, highClip);
}

void CImageProcessor::AutoContrastColor(BYTE* bits, std::int32_t bufferWidth, std::int32_t bufferHeight) {
    if (sourceDepth != 24) return;
    tone::AutoContrastColor(bits, bufferWidth, bufferHeight, lowClip, highClip);
}

void CImageProcessor::AutoContrastPerChannel(BYTE* bits, std::int32_t bufferWidth, std::int32_t bufferHeight) {
    if (sourceDepth != 24) return;
    tone::AutoContrastPerChannel(bits, bufferWidth, bufferHeight, lowClip, highClip);
}

void CImageProcessor::PrepareContrastCopy(float low, float high) {
    contrastCopy.reset();
    lowClip = low;
    highClip = high;
    // The copy's depth follows what it was copied from: a colour source
    // whose colour image is gone gets a grey copy.
    if (sourceDepth == 24 && colourImage) {
        contrastCopy = AllocPixels(width, height, 24);
        if (!contrastCopy) return;
        contrastDepth = 24;
        std::memcpy(contrastCopy.get(), colourImage.get(), PixelBytes(width, height, 24));
        AutoContrastPerChannel(contrastCopy.get(), width, height);
    } else if (workingDepth == 8 && greyImage) {
        contrastCopy = AllocPixels(width, height, 8);
        if (!contrastCopy) return;
        contrastDepth = 8;
        std::memcpy(contrastCopy.get(), greyImage.get(), PixelBytes(width, height, 8));
        AutoContrastGray(contrastCopy.get(), width, height);
    }
}
