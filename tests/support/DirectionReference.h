// Plain text-direction detection for tests, written step by step from the
// behaviour the detector must have: classification, thinning over the
// full point lists, junctions, the four scans with the stroke tracer and
// the vote. The detector's angle and votes must equal it.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace ref {

struct DirectionOutcome {
    int angle = 0;
    std::array<int, 4> votes{};
    std::vector<std::uint8_t> skeleton;  // map after junctions (width x height), before the scans
};

DirectionOutcome DetectDirection(const std::uint8_t* image, int width, int height, int threshold, int dpi);

// The stroke tracer alone on a prepared map (values 0, 1, 3), for hand-made
// cases: returns 0, 2 or 3 and leaves traced pixels at 2.
int TraceStroke(std::vector<std::uint8_t>& map, int width, int height, int x, int y, int k, int shortest);

}  // namespace ref
