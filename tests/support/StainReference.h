// Plain, slow stain, border and board removal for tests, written step by
// step from the behaviour the engine must have: per-pixel erase squares,
// a breadth-first fringe over the whole page. The engine's output must equal
// it byte for byte.
#pragma once

#include <cstdint>
#include <vector>

namespace ref {

struct StainRun {
    std::uint8_t* test = nullptr;
    std::uint8_t* colour = nullptr;
    const std::uint8_t* black = nullptr;
    int width = 0, height = 0;
    int bitsPerPixel = 24;
    int threshold = 0;
    bool stains = false, borders = false, board = false;
    int eraseRadius = 0;
    int band = 0;
    int colourAsBlack = 0;
    int borderType = 0;
    int region = 0;
    int left = 10, top = 10, right = 10, bottom = 10;
    float stainArea = 0;
    int dpi = 300;
    bool mark = true;
};

struct StainOutcome {
    bool bordersFound = false, boardFound = false;
    std::vector<std::uint8_t> copy;  // comparison copy, empty without the mark flag
    std::vector<int> classes;        // final class of every component, list order
};

StainOutcome RemoveStains(const StainRun& run);

}  // namespace ref
