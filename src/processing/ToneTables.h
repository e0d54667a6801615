// Lookup tables and whole-image tone helpers shared by the processing core:
// the mean-pivoted brightness/contrast table, histogram clip levels and the
// stretch table, image means, channel extraction and applying a 256-entry
// table to 8-bit or 24-bit buffers (optionally skipping protected
// rectangles). Buffers are the raw bottom-up rows of the working images:
// 24-bit rows are px::Stride24(width) bytes (B, G, R), 8-bit rows
// px::Stride8(width) bytes; the bytes that pad a row are never read or written.
#pragma once

#include <array>
#include <cstdint>

#include "processing/ProtectedRects.h"

namespace tone {

using Lut = std::array<std::uint8_t, 256>;

Lut IdentityLut();

// Brightness b and contrast c around the mean level m:
//  - factor f = -1 for c <= -255, else c / 255 (single precision), and for
//    1 <= c <= 254 f = 1 / (1 - f) - 1;
//  - with c > 0 the brightness is added first (v = clamp(i + b)), else v = i;
//  - c >= 255: T[i] = 255 when v >= m, else 0 (a threshold at the mean);
//  - otherwise v = clamp(v + int((v - m) * f + 0.5)) (single precision,
//    truncated toward zero) and, with c <= 0, v = clamp(v + b).
Lut BrightnessContrastTable(int brightness, int contrast, int mean);

// Stretch of the levels lo..hi to 0..255: levels <= lo give 0, levels >= hi
// give 255, the others int((j - lo) / (hi - lo) * 255) in single precision.
Lut StretchTable(int lo, int hi);

// Composition: (second o first)[i] = second[first[i]].
Lut Compose(const Lut& first, const Lut& second);

using Histogram = std::array<std::int64_t, 256>;

// First level, counting up from 0, at which the running count exceeds
// `limit`; `fallback` when none does.
int LowClipLevel(const Histogram& h, std::int64_t limit, int fallback = 0);
// First level, counting down from 255, at which the running count exceeds
// `limit`; `fallback` when none does.
int HighClipLevel(const Histogram& h, std::int64_t limit, int fallback = 255);
// int(clip x pixels x unit) in single precision (unit 0.01 for percent,
// 0.001 for per mille); saturating.
std::int64_t ClipCount(float clip, std::int64_t pixels, float unit);

// Histogram of the width x height bytes of an 8-bit image.
Histogram Histogram8(const std::uint8_t* bits, int width, int height);
// The three channel histograms (B, G, R) in one pass.
std::array<Histogram, 3> Histograms24(const std::uint8_t* bits, int width, int height);

// 64-bit sum of the width x height bytes divided by width x height (integer
// division); 0 for an empty image.
int MeanByte8(const std::uint8_t* bits, int width, int height);
// 64-bit sum of the truncated grey 0.587 G + 0.299 R + 0.114 B of every pixel
// divided by width x height (integer division); 0 for an empty image.
int MeanGrey24(const std::uint8_t* bits, int width, int height);

// Copies byte `channel` (0 B, 1 G, 2 R) of every 24-bit pixel into an 8-bit
// image of the same size.
void ExtractChannel(const std::uint8_t* src, std::uint8_t* dst, int width, int height, int channel);

// Replaces every byte of an 8-bit image by its table entry, except the
// bytes inside protected rectangles.
void ApplyLut8(std::uint8_t* bits, int width, int height, const Lut& lut,
               const ProtectedRects& protect = ProtectedRects());

// Channel selection for 24-bit application.
enum ChannelMask : unsigned { kBlue = 1, kGreen = 2, kRed = 4, kAllChannels = 7 };

// Replaces the selected channels of every 24-bit pixel by their table entry,
// except the pixels inside protected rectangles.
void ApplyLut24(std::uint8_t* bits, int width, int height, const Lut& lut, unsigned channels = kAllChannels,
                const ProtectedRects& protect = ProtectedRects());
// The same with one table per channel (B, G, R).
void ApplyLuts24(std::uint8_t* bits, int width, int height, const Lut& blue, const Lut& green, const Lut& red);

}  // namespace tone
