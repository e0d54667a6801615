// The shared component analysis against its plain reference, and its
// behaviour on hand-made and synthetic pages.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "processing/ComponentClasses.h"
#include "processing/Components.h"
#include "processing/PixelMath.h"
#include "processing/EngineParams.h"
#include "processing/TextFilter.h"
#include "processing/reference/RefComponents.h"
#include "support/SyntheticPages.h"

namespace {

using synth::Page;

// Random 8-bit images of several kinds and sizes, odd widths included.
struct ImageCase {
    std::string name;
    std::function<Page(int, int, std::uint64_t)> make;
};

std::vector<ImageCase> ImageCases() {
    return {
        {"sparse-noise", [](int w, int h, std::uint64_t s) { return synth::RandomNoise(w, h, 8, 0.08, s); }},
        {"dense-noise", [](int w, int h, std::uint64_t s) { return synth::RandomNoise(w, h, 8, 0.55, s); }},
        {"shapes", [](int w, int h, std::uint64_t s) { return synth::RandomShapes(w, h, 8, 12, s); }},
        {"bytes", [](int w, int h, std::uint64_t s) { return synth::RandomBytes(w, h, 8, s); }},
    };
}

const std::pair<int, int> kSizes[] = {{1, 1}, {1, 17}, {17, 1}, {2, 2}, {5, 3}, {37, 23}, {101, 67}, {64, 64}, {131, 90}};

void ExpectSameComponents(const comp::ComponentAnalysis& ca, const std::vector<ref::RComponent>& expected,
                          const std::string& what) {
    ASSERT_EQ(ca.components.size(), expected.size()) << what;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const comp::PageComponent& c = ca.components[i];
        const ref::RComponent& e = expected[i];
        SCOPED_TRACE(what + " component " + std::to_string(i));
        ASSERT_EQ(static_cast<int>(c.cls), e.cls);
        ASSERT_EQ(c.left, e.left);
        ASSERT_EQ(c.top, e.top);
        ASSERT_EQ(c.right, e.right);
        ASSERT_EQ(c.bottom, e.bottom);
        ASSERT_EQ(c.gapMax, e.gapMax);
        ASSERT_EQ(c.gapMin, e.gapMin);
        const auto pts = ca.Points(c);
        ASSERT_EQ(pts.size(), e.points.size());
        for (std::size_t k = 0; k < pts.size(); ++k) {
            ASSERT_EQ(pts[k].x, e.points[k].x) << "point " << k;
            ASSERT_EQ(pts[k].y, e.points[k].y) << "point " << k;
        }
    }
}

TEST(ComponentLabelling, MatchesReferenceOnRandomImages) {
    for (const ImageCase& ic : ImageCases()) {
        for (auto [w, h] : kSizes) {
            for (std::uint64_t seed = 1; seed <= 3; ++seed) {
                Page page = ic.make(w, h, seed * 1000 + w * 7 + h);
                const std::string what = ic.name + " " + std::to_string(w) + "x" + std::to_string(h);
                const int threshold = 128;
                auto dark = [&](int x, int y) { return page.Row(y)[x] <= threshold; };

                comp::ComponentAnalysis ca;
                ASSERT_TRUE(ca.Begin(w, h, 300));
                ca.Label(dark);
                std::vector<int> excess;
                ca.ComputeGapRatios(dark, &excess);

                std::vector<std::uint8_t> visited(static_cast<std::size_t>(w) * h, 0);
                std::vector<ref::RComponent> expected;
                ref::RefLabel(w, h, visited, expected, dark, [](int, int) { return true; });
                ref::RefBoxes(expected);
                std::vector<int> refExcess;
                ref::RefGapRatios(expected, dark, &refExcess);

                ExpectSameComponents(ca, expected, what);
                EXPECT_EQ(excess, refExcess) << what;

                // The candidate-map road gives the same components.
                comp::ComponentAnalysis fast;
                ASSERT_TRUE(fast.Begin(w, h, 300));
                fast.CandidatesAtMost(page.Data(), threshold);
                fast.LabelCandidates();
                fast.ComputeGapRatios(dark);
                ExpectSameComponents(fast, expected, what + " (candidates)");

                // The run road: same order, boxes and counts.
                comp::ComponentAnalysis runs;
                ASSERT_TRUE(runs.Begin(w, h, 300));
                morph::BitImage bits;
                bits.FromThreshold(page.Data(), w, h, page.stride, threshold, false);
                runs.LabelBits(bits);
                ASSERT_EQ(runs.components.size(), expected.size()) << what;
                for (std::size_t i = 0; i < expected.size(); ++i) {
                    const comp::PageComponent& c = runs.components[i];
                    ASSERT_EQ(std::tie(c.left, c.top, c.right, c.bottom),
                              std::tie(expected[i].left, expected[i].top, expected[i].right, expected[i].bottom))
                        << what << " (runs) " << i;
                    ASSERT_EQ(c.pointCount, expected[i].points.size()) << what << " (runs) " << i;
                    ASSERT_TRUE(runs.Points(c).empty());
                }
                for (std::size_t i = 0; i < expected.size(); ++i)
                    ASSERT_EQ(ca.PeelPasses(ca.components[i]), ref::RefPeelPasses(expected[i])) << what << " " << i;
            }
        }
    }
}

TEST(ComponentLabelling, SeedRestrictionAndSecondPassKeepVisitedPixels) {
    // Board-style labelling: seeds only in a band along the edge, growth
    // anywhere; then a second labelling of everything not yet visited.
    for (auto [w, h] : kSizes) {
        Page page = synth::RandomShapes(w, h, 8, 10, 77 + w);
        auto dark = [&](int x, int y) { return page.Row(y)[x] < 200; };
        const int band = 3;
        auto inBand = [&](int x, int y) { return x < band || y < band || x >= w - band || y >= h - band; };

        comp::ComponentAnalysis ca;
        ASSERT_TRUE(ca.Begin(w, h, 300));
        ca.Label(dark, inBand, comp::ComponentClass::kMarked);
        ca.Label(dark);
        ca.ComputeGapRatios(dark);

        std::vector<std::uint8_t> visited(static_cast<std::size_t>(w) * h, 0);
        std::vector<ref::RComponent> expected;
        ref::RefLabel(w, h, visited, expected, dark, inBand, 9);
        ref::RefLabel(w, h, visited, expected, dark, [](int, int) { return true; });
        ref::RefBoxes(expected);
        ref::RefGapRatios(expected, dark);
        ExpectSameComponents(ca, expected, std::to_string(w) + "x" + std::to_string(h));
    }
}

TEST(ComponentLabelling, BreadthFirstInNeighbourOrderWrittenOut) {
    // A 3 x 2 block and a lone pixel. From (0,0) the neighbours in order
    // are (1,0), (0,1), (1,1); from (1,0) come (2,0) and (2,1).
    Page page = synth::Blank(6, 3, 8, synth::kWhite);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) page.Row(y)[x] = 0;
    page.Row(2)[5] = 0;
    comp::ComponentAnalysis ca;
    ASSERT_TRUE(ca.Begin(6, 3, 300));
    ca.Label([&](int x, int y) { return page.Row(y)[x] == 0; });
    ASSERT_EQ(ca.components.size(), 2u);
    const std::vector<comp::Point> want = {{0, 0}, {1, 0}, {0, 1}, {1, 1}, {2, 0}, {2, 1}};
    const auto got = ca.Points(ca.components[0]);
    EXPECT_EQ(std::vector<comp::Point>(got.begin(), got.end()), want);
    EXPECT_EQ(ca.components[1].left, 5);
    EXPECT_EQ(ca.components[1].top, 2);
    EXPECT_EQ(ca.components[1].pointCount, 1u);
}

TEST(ComponentLabelling, WithoutPointsKeepsBoxesAndCounts) {
    Page page = synth::RandomShapes(90, 70, 8, 15, 5);
    auto dark = [&](int x, int y) { return page.Row(y)[x] < 128; };
    comp::ComponentAnalysis withPoints, boxesOnly;
    ASSERT_TRUE(withPoints.Begin(90, 70, 300));
    ASSERT_TRUE(boxesOnly.Begin(90, 70, 300));
    withPoints.Label(dark);
    boxesOnly.Label(dark, comp::AnySeed(), comp::ComponentClass::kUnclassified, false);
    ASSERT_EQ(withPoints.components.size(), boxesOnly.components.size());
    ASSERT_FALSE(withPoints.components.empty());
    for (std::size_t i = 0; i < withPoints.components.size(); ++i) {
        const auto& a = withPoints.components[i];
        const auto& b = boxesOnly.components[i];
        EXPECT_EQ(a.pointCount, b.pointCount);
        EXPECT_EQ(std::tie(a.left, a.top, a.right, a.bottom), std::tie(b.left, b.top, b.right, b.bottom));
        EXPECT_TRUE(boxesOnly.Points(b).empty());
    }
}

TEST(ComponentLabelling, RefusesEmptySizes) {
    comp::ComponentAnalysis ca;
    for (auto [w, h] : {std::pair{0, 5}, std::pair{5, 0}, std::pair{-3, 4}, std::pair{4, -1}})
        EXPECT_FALSE(ca.Begin(w, h, 300));
}

TEST(ComponentPeel, PassesOfKnownShapes) {
    // A solid 9 x 9 square peels in 5 passes (the centre is 5 steps from
    // outside); a one-pixel line in 1; a 12 x 4 bar in 2; a square frame of
    // thickness 2 in 2 (its inner corner cells touch nothing empty through
    // their four sides).
    struct Case {
        const char* name;
        int w, h;
        std::function<bool(int, int)> on;
        int passes;
    } cases[] = {
        {"square9", 9, 9, [](int, int) { return true; }, 5},
        {"line", 30, 1, [](int, int) { return true; }, 1},
        {"rect12x4", 12, 4, [](int, int) { return true; }, 2},
        {"frame", 20, 20, [](int x, int y) { return x < 2 || y < 2 || x >= 18 || y >= 18; }, 2},
    };
    for (const Case& c : cases) {
        Page page = synth::Blank(c.w + 2, c.h + 2, 8, synth::kWhite);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x)
                if (c.on(x, y)) page.Row(y + 1)[x + 1] = 0;
        comp::ComponentAnalysis ca;
        ASSERT_TRUE(ca.Begin(page.width, page.height, 300));
        ca.Label([&](int x, int y) { return page.Row(y)[x] == 0; });
        ASSERT_EQ(ca.components.size(), 1u) << c.name;
        EXPECT_EQ(ca.PeelPasses(ca.components[0]), c.passes) << c.name;
    }
}

TEST(ComponentSizes, ConstantsAt300Dpi) {
    comp::ComponentAnalysis ca;
    ASSERT_TRUE(ca.Begin(10, 10, 300));
    ca.SetSizeLimits(px::kInch1_26mm);
    EXPECT_EQ(ca.minSide, 14);
    EXPECT_EQ(ca.maxSide, 267);
    ca.SetSizeLimits(px::kInch3mm);
    EXPECT_EQ(ca.minSide, 35);
    const int limits[18] = {20, 22, 27, 30, 37, 43, 49, 58, 62, 66, 75, 91, 100, 108, 150, 175, 224, 261};
    for (int j = 0; j < 18; ++j) EXPECT_EQ(ca.BucketLimit(j), limits[j]) << j;
    EXPECT_EQ(px::InchFractionToPixels(300, px::kInch25mm), 295);
    EXPECT_EQ(px::InchFractionToPixels(300, px::kInch2mm), 23);
    EXPECT_EQ(px::PixelsPerMm(300), 11);
    EXPECT_EQ(px::AreaMm2ToPixels(4, 300), 517);
    EXPECT_EQ(px::AreaMm2ToPixels(100, 300), 12991);
}

// Draws n text-like components of the given height (class 1: an "H" with
// a wide inner gap) at the given buffer positions.
void DrawH(Page& page, int x, int y, int size) {
    const int t = std::max(2, size / 8);
    page.FillRect({x, y, x + t, y + size}, synth::kBlack);
    page.FillRect({x + size - t, y, x + size, y + size}, synth::kBlack);
    page.FillRect({x, y + size / 2 - t / 2, x + size, y + size / 2 - t / 2 + t}, synth::kBlack);
}

TEST(ComponentSizes, DominantSizeTakesTheLargerBucketOnTies) {
    // Two characters 40 px high (bucket 5, 3.70 mm) and two 60 px high
    // (bucket 8, 5.29 mm): equal counts, the larger size wins.
    Page page = synth::Blank(400, 120, 8, synth::kWhite);
    DrawH(page, 10, 10, 40);
    DrawH(page, 70, 10, 40);
    DrawH(page, 150, 10, 60);
    DrawH(page, 250, 10, 60);
    TextFilterParams p = FilterParamsFor(page);
    CTextFilter filter;
    ASSERT_TRUE(filter.Run(p));
    EXPECT_EQ(filter.Analysis().dominantSize, 5.29f);
    EXPECT_EQ(filter.Analysis().buckets[5], 2);
    EXPECT_EQ(filter.Analysis().buckets[8], 2);

    // A later page without characters keeps the size found before.
    Page blank = synth::Blank(50, 50, 8, synth::kWhite);
    p.page.grey = blank.Data();
    p.page.width = p.page.height = 50;
    ASSERT_TRUE(filter.Run(p));
    EXPECT_EQ(filter.Analysis().dominantSize, 5.29f);
}

}  // namespace
