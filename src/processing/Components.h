// Component analysis shared by the page engines (text filter, binding-hole
// remover, stain and border remover, text-component analyser, blank-page
// detector, text-direction detector, red seal regions, photo regions).
//
// The page is seen as 8-connected components of pixels that pass an engine's
// pixel test. Every engine owns one `comp::ComponentAnalysis` (its component
// list, visited map, size limits, character-size buckets, dominant size and
// text orientation) and differs from the others only in the tests it passes
// and in how it classifies the components.
//
// Coordinates are buffer coordinates: x is the column, y the memory row (row
// 0 is the first row in memory, i.e. the bottom of the picture).
//
// Typical use by an engine:
//
//     comp::ComponentAnalysis& ca = analysis_;            // a member, reused
//     if (!ca.Begin(width, height, dpi)) return false;     // refuses size <= 0
//     const std::size_t stride = px::Stride8(width);
//     auto dark = [&](int x, int y) { return grey[stride * y + x] <= threshold; };
//     ca.Label(dark);                                      // Neighbour8 BFS, seeds in raster order
//     ca.ComputeGapRatios(dark);
//     ca.SetSizeLimits(px::kInch1_26mm);                   // minSide; maxSide is 22.64 mm
//     for (comp::PageComponent& c : ca.components)         // engine-specific classes
//         if (c.cls == comp::ComponentClass::kUnclassified) c.cls = comp::ClassifyTextFilter(c, ca);
//     ca.DominantCharSize();
//     ca.DetectTextOrientation();
//     ca.AttachToText(10000);
//     for (const comp::PageComponent& c : ca.components)
//         for (comp::Point p : ca.Points(c)) ...            // discovery order
//
// Engines with a band restriction pass a seed test and fold the band into the
// pixel test (the pixel test is applied to seeds and neighbours alike).
// Labelling twice (board components first, then the rest) keeps the visited
// map between the calls: call Label twice after one Begin.
//
// Components come in the order of their first (seed) pixel in raster order;
// the points of a component come in breadth-first discovery order with the
// neighbours taken in `kNeighbour8` order.
//
// Two faster roads give the same components when every pixel may seed:
//  - CandidatesAtMost(image, threshold) (or filling CandidateMap() by hand)
//    and then LabelCandidates(): the same points in the same order;
//  - a morph::BitImage of the pixel test and LabelBits(): boxes and point
//    counts only (no points), for engines that need nothing more.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "processing/Morphology.h"
#include "processing/PixelMath.h"

namespace comp {

// Neighbour offsets (dx, dy) in the order the labelling visits them.
inline constexpr int kNeighbour8[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};

// Dark limit of the text analysers (text filter, text-component analyser,
// text direction): a byte at or below it is ink. One value, so that every
// analyser reads the same pixels of a page as text.
inline constexpr int kTextThreshold = 160;

// Character heights in millimetres, ascending.
inline constexpr std::array<float, 18> kCharSizeTable = {1.76f, 1.94f, 2.29f, 2.56f, 3.18f, 3.70f,
                                                         4.23f, 4.94f, 5.29f, 5.64f, 6.35f, 7.76f,
                                                         8.47f, 9.17f, 12.70f, 14.82f, 18.97f, 22.14f};

struct Point {
    std::int32_t x;
    std::int32_t y;
    bool operator==(const Point&) const = default;
};

// Declared with its values in ComponentClasses.h.
enum class ComponentClass : std::int32_t;

struct PageComponent {
    ComponentClass cls{};
    // Bounding box, inclusive; right < left for a component without points.
    int left = 0, top = 0, right = -1, bottom = -1;
    // The component's points are ComponentAnalysis::Points(*this).
    std::size_t firstPoint = 0;
    std::size_t pointCount = 0;
    bool hasPoints = true;  // false when labelled without keeping points
    double gapMax = 0.0, gapMin = 0.0;

    int W() const { return right - left; }  // box width minus one
    int H() const { return bottom - top; }  // box height minus one
    int Side() const { return (W() > H() ? W() : H()) + 1; }
    int CentreX() const { return left + (right - left) / 2; }
    int CentreY() const { return top + (bottom - top) / 2; }
};

// Gap sums of one line of a box, fed pixel by pixel: a light pixel adds to
// the current gap, a dark pixel ends it and the gap counts when a dark run
// was seen before on this line. `gaps` counts the dark runs that follow an
// earlier one (the inner gaps).
struct GapLine {
    std::int64_t sum = 0;
    int gap = 0;
    int gaps = 0;
    bool seenDark = false;
    bool inGap = true;
    void Feed(bool dark) {
        if (!dark) {
            ++gap;
            inGap = true;
            return;
        }
        if (inGap) {
            if (seenDark) {
                sum += gap;
                ++gaps;
            }
            gap = 0;
            inGap = false;
        }
        seenDark = true;
    }
};

// Seed test that accepts every pixel.
struct AnySeed {
    bool operator()(int, int) const { return true; }
};

class ComponentAnalysis {
public:
    // Starts a run: stores the size and dpi, clears the component list, the
    // points and the visited map (the map is cleared when first used). Returns false, changing nothing, when width
    // or height is not positive. The dominant size survives across runs.
    bool Begin(int width, int height, int dpi);

    // Appends the components of the pixels that pass `pixel` and are not yet
    // visited; a pixel may start a component only when `seed` also accepts
    // it. New components get class `startClass` and their bounding box. With
    // keepPoints false only boxes and point counts are kept (Points() is then
    // empty for these components).
    template <class PixelTest, class SeedTest = AnySeed>
    void Label(PixelTest&& pixel, SeedTest&& seed = SeedTest(), ComponentClass startClass = {}, bool keepPoints = true);

    // The faster road for engines whose seed test accepts every pixel: fill
    // CandidateMap() (width x height bytes, row y at y x width, cleared by
    // Begin) with non-zero where the pixel test passes, then call
    // LabelCandidates. The result is the same as Label's; the map is used
    // up (every labelled byte becomes 0), so Visited() is not available
    // after this road.
    std::uint8_t* CandidateMap() { return Map(); }
    void LabelCandidates(ComponentClass startClass = {}, bool keepPoints = true);
    // The fastest road, for engines that need only boxes and point counts:
    // the set pixels of a packed image of the analysis' size are labelled
    // as runs. Same components, in the same order, with the same boxes and
    // counts as Label; no points are kept.
    void LabelBits(const morph::BitImage& bits, ComponentClass startClass = {});

    // Fills the candidate map with the test "byte <= threshold" on an 8-bit
    // image of the analysis' size (rows of px::Stride8(width) bytes).
    void CandidatesAtMost(const std::uint8_t* image8, int threshold);

    // Gap ratios of every component (see GapRatios below) with the engine's
    // dark test. With `excess` given, it receives per component the gap
    // excess of the text analyser's veto.
    template <class DarkTest>
    void ComputeGapRatios(DarkTest&& dark, std::vector<int>* excess = nullptr);
    // The same for one component; returns its gap excess.
    template <class DarkTest>
    int ComputeGapRatio(PageComponent& c, DarkTest&& dark);

    // maxSide = int(dpi x 0.8913386) and minSide = int(dpi x minSideInches),
    // single precision.
    void SetSizeLimits(float minSideInches);

    // Counts the class-1 components with minSide <= height <= maxSide into
    // the 18 buckets and sets the dominant size to the table size of the
    // fullest bucket (the larger size on ties); keeps the previous value
    // when every bucket is empty.
    void DominantCharSize();
    // Pixel limit of bucket j: int(kCharSizeTable[j] / 25.4 x dpi).
    int BucketLimit(int j) const;

    // Sets `orientation` (1 horizontal text lines, 0 vertical) from the
    // row and column profiles of the class-1 boxes.
    void DetectTextOrientation();

    // Reclassifies classes 4 and 3 by their distance to class-1 components:
    // 4 becomes 1 or 2; 3 becomes 1 or 2 unless more than `limit`
    // components are class 3 (then they stay 3).
    void AttachToText(int limit);

    // The number of 4-neighbour peeling passes of the component's box grid,
    // and whether it is at most int((max(w, h) + 1) x 0.15 + 1).
    int PeelPasses(const PageComponent& c);
    bool PeelTest(const PageComponent& c);

    std::span<const Point> Points(const PageComponent& c) const {
        if (!c.hasPoints) return {};
        return {points_.data() + c.firstPoint, c.pointCount};
    }
    std::span<Point> Points(const PageComponent& c) {
        if (!c.hasPoints) return {};
        return {points_.data() + c.firstPoint, c.pointCount};
    }

    // Visited map of the last labelling: width x height bytes, non-zero for
    // every labelled pixel; row y starts at y x width.
    std::uint8_t* Visited() { return Map(); }
    const std::uint8_t* Visited() const { return visited_.data(); }

    int Width() const { return width_; }
    int Height() const { return height_; }
    int Dpi() const { return dpi_; }

    // Drops components, points and scratch memory (the dominant size stays).
    void Free();

    std::vector<PageComponent> components;
    int minSide = 0;
    int maxSide = 0;
    float dominantSize = 0.0f;  // millimetres; 0 until a run finds a character
    int orientation = 1;        // 1 horizontal lines, 0 vertical
    std::array<int, 18> buckets{};

private:
    void Push(int x, int y) { points_.push_back({x, y}); }
    // Grows one component from (x, y) breadth first in kNeighbour8 order;
    // claim(mapByte, x, y) says whether a neighbour joins (and marks it).
    template <class Claim>
    void Grow(int x, int y, ComponentClass startClass, bool keepPoints, std::uint8_t* map, Claim&& claim);

    int width_ = 0, height_ = 0, dpi_ = 0;
    // The visited (or candidate) map, cleared on first use after Begin.
    std::uint8_t* Map();
    std::vector<std::uint8_t> visited_;
    bool mapReady_ = false;
    std::vector<Point> points_;
    std::vector<std::int32_t> peelGrid_;
    std::vector<GapLine> gapColumns_;
    struct Run {
        std::int32_t y, x0, x1;
    };
    std::vector<Run> runs_;
    std::vector<std::uint32_t> runParent_;
};

// Text filter classes: side > maxSide 6; gap ratio max > 0.2 gives 1;
// otherwise 3 when side < minSide, else 4. Used by the text filter and the
// blank-page detector.
ComponentClass ClassifyTextFilter(const PageComponent& c, const ComponentAnalysis& ca);

// ---- template definitions ----------------------------------------------

template <class Claim>
void ComponentAnalysis::Grow(int x, int y, ComponentClass startClass, bool keepPoints, std::uint8_t* map, Claim&& claim) {
    const int w = width_, h = height_;
    const std::size_t stride = static_cast<std::size_t>(w);
    const std::ptrdiff_t sw = static_cast<std::ptrdiff_t>(stride);
    const std::ptrdiff_t offs[8] = {-sw - 1, -sw, -sw + 1, -1, 1, sw - 1, sw, sw + 1};
    PageComponent c;
    c.cls = startClass;
    c.firstPoint = points_.size();
    c.left = c.right = x;
    c.top = c.bottom = y;
    Push(x, y);
    for (std::size_t k = c.firstPoint; k < points_.size(); ++k) {
        const Point p = points_[k];
        if (p.x > 0 && p.x < w - 1 && p.y > 0 && p.y < h - 1) {
            std::uint8_t* pm = map + stride * p.y + p.x;
            for (int n = 0; n < 8; ++n) {
                const int nx = p.x + kNeighbour8[n][0], ny = p.y + kNeighbour8[n][1];
                if (claim(pm[offs[n]], nx, ny)) Push(nx, ny);
            }
        } else {
            for (int n = 0; n < 8; ++n) {
                const int nx = p.x + kNeighbour8[n][0], ny = p.y + kNeighbour8[n][1];
                if (nx < 0 || nx >= w || ny < 0 || ny >= h) continue;
                if (claim(map[stride * ny + nx], nx, ny)) Push(nx, ny);
            }
        }
        if (p.x < c.left) c.left = p.x;
        if (p.x > c.right) c.right = p.x;
        if (p.y < c.top) c.top = p.y;
        if (p.y > c.bottom) c.bottom = p.y;
    }
    c.pointCount = points_.size() - c.firstPoint;
    if (!keepPoints) {
        points_.resize(c.firstPoint);
        c.hasPoints = false;
    }
    components.push_back(c);
}

template <class PixelTest, class SeedTest>
void ComponentAnalysis::Label(PixelTest&& pixel, SeedTest&& seed, ComponentClass startClass, bool keepPoints) {
    const int w = width_, h = height_;
    if (w <= 0 || h <= 0) return;
    std::uint8_t* const vis = Map();
    // A neighbour joins when it is not yet visited and passes the pixel test.
    auto claim = [&pixel](std::uint8_t& visited, int nx, int ny) {
        if (visited || !pixel(nx, ny)) return false;
        visited = 1;
        return true;
    };
    for (int y = 0; y < h; ++y) {
        std::uint8_t* vrow = vis + static_cast<std::size_t>(w) * y;
        for (int x = 0; x < w; ++x) {
            if (vrow[x] || !seed(x, y) || !pixel(x, y)) continue;
            vrow[x] = 1;
            Grow(x, y, startClass, keepPoints, vis, claim);
        }
    }
}

template <class DarkTest>
int ComponentAnalysis::ComputeGapRatio(PageComponent& c, DarkTest&& dark) {
    c.gapMax = c.gapMin = 0.0;
    if (c.right < c.left || c.bottom < c.top) return 0;
    gapColumns_.assign(static_cast<std::size_t>(c.right - c.left + 1), GapLine());
    GapLine* const cols = gapColumns_.data();
    std::int64_t rowSum = 0, colSum = 0;
    int extra = 0;
    for (int y = c.top; y <= c.bottom; ++y) {
        GapLine row;
        for (int x = c.left; x <= c.right; ++x) {
            const bool d = dark(x, y);
            row.Feed(d);
            cols[x - c.left].Feed(d);
        }
        rowSum += row.sum;
        if (row.gaps > 5) extra += row.gaps - 5;
    }
    for (const GapLine& col : gapColumns_) {
        colSum += col.sum;
        if (col.gaps > 5) extra += col.gaps - 5;
    }
    const float area = static_cast<float>(static_cast<std::int64_t>(c.bottom - c.top + 1) *
                                          static_cast<std::int64_t>(c.right - c.left + 1));
    const float rows = static_cast<float>(rowSum) / area;
    const float columns = static_cast<float>(colSum) / area;
    c.gapMax = rows > columns ? rows : columns;
    c.gapMin = rows > columns ? columns : rows;
    return extra;
}

template <class DarkTest>
void ComponentAnalysis::ComputeGapRatios(DarkTest&& dark, std::vector<int>* excess) {
    if (excess) excess->assign(components.size(), 0);
    for (std::size_t i = 0; i < components.size(); ++i) {
        const int extra = ComputeGapRatio(components[i], dark);
        if (excess) (*excess)[i] = extra;
    }
}

}  // namespace comp
