// A4 pages at 300 dpi (2480 x 3508) for the benchmarks, in the engines' raw
// layout (bottom-up rows padded to four bytes). Each page is generated once
// per process, deterministically, and shared read-only: copy it before
// running an operation that works in place.
#pragma once

#include <cstdint>
#include <vector>

#include "support/SyntheticPages.h"

namespace benchpages {

inline constexpr int kA4Width = 2480;
inline constexpr int kA4Height = 3508;
inline constexpr int kA4Dpi = 300;

// A scan-like office page: slightly tinted paper, about 3 mm characters in
// lines with a heading, scanner noise. 24-bit colour and its 8-bit grey copy.
const synth::Page& A4TextColour();
const synth::Page& A4TextGrey();

// The text page with a 10 x 15 cm photograph and a 40 mm red seal added
// (colour and grey).
const synth::Page& A4MixedColour();
const synth::Page& A4MixedGrey();

// The page's rows from the top of the picture, unpadded, as libjpeg takes
// them (B, G, R for colour: a benchmark only needs a realistic page).
std::vector<std::uint8_t> TopDownRows(const synth::Page& page);

// The page as a JPEG file at `quality` and the page's resolution.
std::vector<std::uint8_t> AsJpeg(const synth::Page& page, int quality);

}  // namespace benchpages
