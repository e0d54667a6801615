// The binding-hole values that the manual window's hole page and the batch
// pipeline fill before the processing object removes binding holes.
#pragma once

#include <cstdint>

struct BindHoleOptions {
    std::int32_t on = 0;            // the removal runs only when not 0
    std::int32_t left = 10;         // band widths, % of the width
    std::int32_t right = 10;
    std::int32_t top = 10;
    std::int32_t bottom = 10;
    std::int32_t smallestArea = 4;  // mm^2
    std::int32_t largestArea = 100; // mm^2
    std::int32_t greyLow = 0;       // a hole pixel's grey value lies in low..high
    std::int32_t greyHigh = 64;
    std::int32_t radius = 3;        // mm, fill growth
    std::int32_t ignoreCorners = 0; // % of width or height
    // Carried but not read: the processing object decides the paper type
    // from the image itself.
    std::int32_t backgroundType = 0;
    std::int32_t colourDelta = 25;  // on tinted paper
    std::int32_t whiteFill = 0;     // 1 paint holes white (0 automatic)
    std::int32_t markFlag = 0;      // only its low byte is read

    // Every field back to its default.
    void SetDefaults() { *this = BindHoleOptions(); }
};
