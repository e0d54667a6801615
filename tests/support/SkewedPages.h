// Small deterministic pages for the skew, rotation, centring and cutting
// tests: lines of glyph-like marks turned by a known angle, blank pages and
// random specks. All images are 8-bit grey with bottom-up padded rows, as
// the processing core holds them.
#pragma once

#include <cstdint>
#include <vector>

namespace testdata {

struct GreyImage {
    std::vector<std::uint8_t> bits;
    int width = 0;
    int height = 0;
    std::uint8_t& at(int x, int yFromTop);
    std::uint8_t at(int x, int yFromTop) const;
};

struct ColourImage {
    std::vector<std::uint8_t> bits;  // B, G, R
    int width = 0;
    int height = 0;
};

struct TextPageSpec {
    int width = 900;
    int height = 1200;
    // Clockwise as displayed, in degrees: lines descend to the right.
    double angle = 0.0;
    int glyphHeight = 16;
    int lineSpacing = 34;   // baseline to baseline
    int marginX = 120;      // blank border around the text block
    int marginY = 140;
    bool verticalText = false;  // columns of glyphs instead of lines
    int columns = 1;            // text blocks side by side
    unsigned seed = 1;
    std::uint8_t ink = 0;
    std::uint8_t paper = 255;
};

// Glyphs are boxes with inner strokes, grouped in words, drawn upright and
// then turned about the page centre (nearest sample).
GreyImage TextPage(const TextPageSpec& spec);
GreyImage BlankPage(int width, int height, std::uint8_t level = 255);
// Every pixel dark with the given probability.
GreyImage SpeckledPage(int width, int height, double density, unsigned seed);
// Random grey levels.
GreyImage NoisePage(int width, int height, unsigned seed);
ColourImage NoiseColourPage(int width, int height, unsigned seed);
// Grey to colour (B = G = R).
ColourImage ToColour(const GreyImage& grey);
// A filled rectangle (rows from the top, inclusive bounds).
void FillRect(GreyImage& image, int left, int top, int right, int bottom, std::uint8_t level);

}  // namespace testdata
