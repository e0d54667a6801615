// Tone operations on whole images: brightness/contrast and darkening on grey
// images, and auto contrast on grey or colour images (common or per-channel
// levels from the clipped histogram ends), each built from the shared tables
// and applied through look-ups.
#include "processing/ToneOperations.h"

#include <algorithm>

namespace tone {

void AdjustBrightnessContrast(std::uint8_t* bits, int width, int height, int brightness, int contrast,
                              const ProtectedRects& protect) {
    if (!bits || width <= 0 || height <= 0) return;
    ApplyLut8(bits, width, height, BrightnessContrastTable(brightness, contrast, MeanByte8(bits, width, height)),
              protect);
}

namespace {

// The darkening curve of this strength, built into `curve`.
const Lut& DarkeningLut(int strength, CToneCurve& curve) {
    curve.SetPoints({0, 0}, {105, DarkeningCurveY(strength)}, {255, 255});
    curve.BuildLut();
    return curve.Lut();
}

}  // namespace

void ApplyDarkening(std::uint8_t* grey, int width, int height, int strength, CToneCurve& curve,
                    const ProtectedRects& protect) {
    if (!grey || width <= 0 || height <= 0) return;
    ApplyLut8(grey, width, height, DarkeningLut(strength, curve), protect);
}

void AdjustAndDarken(std::uint8_t* grey, int width, int height, int brightness, int contrast, int strength,
                     CToneCurve& curve, const ProtectedRects& protect) {
    if (!grey || width <= 0 || height <= 0) return;
    const Lut table = BrightnessContrastTable(brightness, contrast, MeanByte8(grey, width, height));
    ApplyLut8(grey, width, height, Compose(table, DarkeningLut(strength, curve)), protect);
}

ClipLevels ClipLevelsOf(const Histogram& histogram, std::int64_t total, float lowClip, float highClip) {
    ClipLevels c;
    c.lo = LowClipLevel(histogram, ClipCount(lowClip, total, 0.01f), 0);
    c.hi = HighClipLevel(histogram, ClipCount(highClip, total, 0.01f), 255);
    return c;
}

namespace {

std::int64_t Pixels(int width, int height) { return static_cast<std::int64_t>(width) * height; }

}  // namespace

void AutoContrastGray(std::uint8_t* bits, int width, int height, float lowClip, float highClip) {
    if (!bits || width <= 0 || height <= 0) return;
    const ClipLevels c = ClipLevelsOf(Histogram8(bits, width, height), Pixels(width, height), lowClip, highClip);
    ApplyLut8(bits, width, height, StretchTable(c.lo, c.hi));
}

void AutoContrastColor(std::uint8_t* bits, int width, int height, float lowClip, float highClip) {
    if (!bits || width <= 0 || height <= 0) return;
    int lo = 255, hi = 0;
    const std::array<Histogram, 3> histograms = Histograms24(bits, width, height);
    for (const Histogram& histogram : histograms) {
        const ClipLevels c = ClipLevelsOf(histogram, Pixels(width, height), lowClip, highClip);
        lo = std::min(lo, c.lo);
        hi = std::max(hi, c.hi);
    }
    ApplyLut24(bits, width, height, StretchTable(lo, hi));
}

void AutoContrastPerChannel(std::uint8_t* bits, int width, int height, float lowClip, float highClip) {
    if (!bits || width <= 0 || height <= 0) return;
    Lut tables[3];
    const std::array<Histogram, 3> histograms = Histograms24(bits, width, height);
    for (int channel = 0; channel < 3; ++channel) {
        const ClipLevels c = ClipLevelsOf(histograms[channel], Pixels(width, height), lowClip, highClip);
        tables[channel] = StretchTable(c.lo, c.hi);
    }
    ApplyLuts24(bits, width, height, tables[0], tables[1], tables[2]);
}

}  // namespace tone
