// The processor's tone operations on its working images: brightness and
// contrast around the image mean, the darkening curve, and auto contrast by
// clipping a share of the darkest and brightest pixels (grey, colour with one
// common table, colour with a table per channel). Buffers are the raw
// bottom-up rows of the working images (8-bit rows px::Stride8(width) bytes,
// 24-bit rows px::Stride24(width) bytes).
#pragma once

#include <cstdint>

#include "processing/ProtectedRects.h"
#include "processing/ToneCurve.h"
#include "processing/ToneTables.h"

namespace tone {

// Every byte through the brightness/contrast table pivoted on the buffer's
// mean byte, protected pixels excepted.
void AdjustBrightnessContrast(std::uint8_t* bits, int width, int height, int brightness, int contrast,
                              const ProtectedRects& protect = ProtectedRects());

// The darkening curve (0, 0), (105, 105 - strength limited to 20..105),
// (255, 255) set on `curve` and applied to every byte of the grey image,
// protected pixels excepted.
void ApplyDarkening(std::uint8_t* grey, int width, int height, int strength, CToneCurve& curve,
                    const ProtectedRects& protect = ProtectedRects());

// AdjustBrightnessContrast followed by ApplyDarkening, in one pass: every
// unprotected byte goes through the brightness/contrast table and then the
// curve's table, as it does through the two steps one after the other.
void AdjustAndDarken(std::uint8_t* grey, int width, int height, int brightness, int contrast, int strength,
                     CToneCurve& curve, const ProtectedRects& protect = ProtectedRects());

// Clip levels of one channel: with lowCount = int(low x total x 0.01) and
// highCount = int(high x total x 0.01) (single precision), lo is the first
// level counting up from 0 at which the running count exceeds lowCount, hi
// the first counting down from 255 at which it exceeds highCount; 0 and 255
// when no level qualifies.
struct ClipLevels {
    int lo = 0, hi = 255;
};
ClipLevels ClipLevelsOf(const Histogram& histogram, std::int64_t total, float lowClip, float highClip);

// Auto contrast: the clip levels' stretch table on every byte.
void AutoContrastGray(std::uint8_t* bits, int width, int height, float lowClip, float highClip);
// One common table for B, G and R: lo the smallest of the three channels'
// low levels, hi the largest of their high levels.
void AutoContrastColor(std::uint8_t* bits, int width, int height, float lowClip, float highClip);
// Each channel through the table of its own clip levels.
void AutoContrastPerChannel(std::uint8_t* bits, int width, int height, float lowClip, float highClip);

}  // namespace tone
