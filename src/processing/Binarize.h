// Binarisations of the working images: Otsu's threshold and fixed thresholds.
// Every output is an 8-bit binary image with padded bottom-up rows
// (px::Stride8) holding 255 (light) and 0 (dark). Sizes are taken as given;
// callers refuse empty images before calling.
#pragma once

#include <cstdint>
#include <vector>

#include "processing/ToneTables.h"

namespace binarize {

using Histogram = tone::Histogram;

// Otsu's threshold of a histogram over `total` pixels. p(j) = count / total
// in single precision; for every t the class sums w0, s0 (j <= t) and w1, s1
// (j > t) are summed afresh in increasing j; sigma(t) = (s0/w0 - s1/w1)^2 x
// w0 x w1, and the largest sigma wins; a sigma that cannot be computed (an
// empty class) never wins. Without any computable sigma (a single grey
// level) the threshold is 0, so the whole image is light.
//
// Pixels at the threshold and above become light. A later t with an equal
// sigma wins only when it splits the pixels the same way (the levels
// between are empty): the first t of such a run is the top level of the
// dark class, which would then turn light, and an image of two grey levels
// would become all light. Other ties keep the lower t.
int OtsuThreshold(const Histogram& hist, std::int64_t total);

// Histogram of the grey values of a 24-bit image (an 8-bit image's is
// tone::Histogram8).
Histogram HistogramOfColor(const std::uint8_t* bits, int width, int height);

// Otsu binarisation of an 8-bit image into `out` (same size and stride).
// When levels 0 and 255 together make up every pixel the image is copied
// unchanged (it is binary already).
void Otsu8(const std::uint8_t* bits, int width, int height, std::uint8_t* out);
// Otsu binarisation of a 24-bit image through the grey value of its pixels
// into the 8-bit `out`. There is no two-level shortcut here.
void OtsuColor(const std::uint8_t* bits, int width, int height, std::uint8_t* out);

// 255 where the byte (or the grey value of the pixel) is at least the
// threshold, 0 elsewhere.
//
// The fixed threshold of the steps that binarise "at 128" (skew method 2,
// the measure images of blank pages, centring, text direction and the
// detection's margins): the middle of the grey range, no page statistics.
inline constexpr int kMidThreshold = 128;
void Threshold8(const std::uint8_t* bits, int width, int height, std::uint8_t* out, int threshold);
void ThresholdColor(const std::uint8_t* bits, int width, int height, std::uint8_t* out, int threshold);

// Conveniences that allocate the binary image.
std::vector<std::uint8_t> Otsu8(const std::uint8_t* bits, int width, int height);
std::vector<std::uint8_t> OtsuColor(const std::uint8_t* bits, int width, int height);
std::vector<std::uint8_t> Threshold8(const std::uint8_t* bits, int width, int height, int threshold);
std::vector<std::uint8_t> ThresholdColor(const std::uint8_t* bits, int width, int height, int threshold);

}  // namespace binarize
