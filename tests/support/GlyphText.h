// Text rendered with FreeType from the fonts the setup installs, for pages
// that need real characters (text direction, text beside stains and holes).
#pragma once

#include <cstdint>
#include <string>

#include "support/HolePages.h"

namespace testdata {

enum class Font { LatinSans, LatinSerif, Cjk };

// Draws `text` (UTF-8) upright as displayed with its baseline at buffer row
// `baseline`. Rows are bottom-up, so a glyph's top lies at a larger row
// number than its baseline. Pixels covered at least half become `ink`.
// Returns the x just past the last glyph. Fails the current test (and
// returns x) when the font is missing.
int DrawText(TestPage& page, Font font, int pixelHeight, int x, int baseline, const std::string& text,
             std::uint8_t ink = 0);

// Fills the box (inclusive, buffer coordinates) with lines of text taken
// from a fixed passage, line pitch 1.6 x pixelHeight, first line at the top
// of the picture.
void FillText(TestPage& page, Font font, int pixelHeight, int l, int t, int r, int b, std::uint8_t ink = 0);

// The page turned clockwise as displayed by `quarters` quarter turns (an
// exact pixel permutation; width and height exchange for odd counts).
TestPage Turn(const TestPage& page, int quarters);

}  // namespace testdata
