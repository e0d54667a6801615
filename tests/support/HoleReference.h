// Plain, slow binding-hole removal for tests, written step by step from the
// behaviour the engine must have (pixel loops, no shortcuts). The engine's
// output must equal it byte for byte.
#pragma once

#include <cstdint>
#include <vector>

namespace ref {

struct HoleRun {
    std::uint8_t* grey = nullptr;
    std::uint8_t* colour = nullptr;
    int width = 0, height = 0;
    int bitsPerPixel = 24;
    int dpi = 300;
    bool mark = true;
    int on = 0;
    int left = 10, right = 10, top = 10, bottom = 10;
    int smallestArea = 4, largestArea = 100;
    int greyLow = 0, greyHigh = 64;
    int radius = 3;
    int ignoreCorners = 0;
    int backgroundType = 0;
    int colourDelta = 25;
    int whiteFill = 0;
};

// Runs the removal in place; returns the number of holes filled. When
// `copyOut` is not null and the mark flag is set it receives the comparison
// copy (the colour image's layout, or the grey image's without colour).
int RemoveHoles(const HoleRun& run, std::vector<std::uint8_t>* copyOut = nullptr);

}  // namespace ref
