// Plain, slow component analysis for tests: labelling, boxes, gap ratios,
// size limits, dominant character size, text orientation, attachment to
// text and the peel test, each written as directly as possible from the
// behaviour the engines must have. The engines' own fast code is checked
// against it.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace ref {

struct Component {
    int cls = 0;
    int left = 0, top = 0, right = -1, bottom = -1;
    std::vector<std::pair<int, int>> points;  // (x, y) in discovery order
    double gapMax = 0, gapMin = 0;
};

using PixelPredicate = std::function<bool(int x, int y)>;

// Raster-order seeds, breadth-first growth over the eight neighbours in the
// fixed order. `visited` (width x height, row-major) is updated; `seed` may
// be empty (every pixel may start a component).
void Label(int width, int height, std::vector<std::uint8_t>& visited, const PixelPredicate& seed,
           const PixelPredicate& pixel, std::vector<Component>& out);

void Boxes(std::vector<Component>& comps);
void GapRatios(std::vector<Component>& comps, const PixelPredicate& dark);

struct Limits {
    int minSide = 0, maxSide = 0;
};
Limits SizeLimits(int dpi);  // 1.26 mm and 22.64 mm

bool PeelTest(const Component& c);
int PeelPasses(const Component& c);

// Buckets the class-1 heights; returns the new dominant size (the previous
// one when nothing is counted).
float DominantCharSize(const std::vector<Component>& comps, int dpi, const Limits& lim, float previous);
int TextOrientation(const std::vector<Component>& comps, int width, int height, int dpi, float dominant);
void AttachToText(std::vector<Component>& comps, int dpi, float dominant, int orientation, int limit);

// The character tests shared by the stain, hole and direction engines.
bool AspectOk(const Component& c);  // (w+1)/(h+1) within 0.1..10
bool FillOk(const Component& c);    // 10 x points >= (w+1)(h+1)

// Classification of class-0 components as the stain remover does it.
void ClassifyStainScheme(std::vector<Component>& comps, const Limits& lim);

}  // namespace ref
