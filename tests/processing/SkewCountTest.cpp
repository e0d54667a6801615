// The fast blank-line counts against the plain reference counts, over every
// slope the scans evaluate, and on hand-made pages whose counts are known.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "processing/Binarize.h"
#include "processing/SkewSearch.h"
#include "support/SkewReference.h"
#include "processing/SkewTestPages.h"

using synth::Page;

namespace {

// Records the slopes a scan asks for; every count is 0, so no side ever
// declines and every slope of the sweep is visited.
class SlopeRecorder : public skew::SkewSearcher {
public:
    std::vector<double> horizontal, vertical;
    int CountHorizontalLines(double slope, int) override {
        horizontal.push_back(slope);
        return 0;
    }
    int CountVerticalLines(double slope, int) override {
        vertical.push_back(slope);
        return 0;
    }
};

SlopeRecorder SweepSlopes(int maxAngle) {
    SlopeRecorder r;
    r.SearchHorizontalSkew(maxAngle, 0);
    r.SearchVerticalSkew(maxAngle, 0);
    return r;
}

Page Binary(const Page& page) {
    Page b = page;
    b.bits = binarize::Otsu8(page.bits.data(), page.width, page.height);
    return b;
}

struct NamedPage {
    std::string name;
    Page image;
};

// Compares fast and reference counts for every slope, columns 1 and 2 and
// the given methods; reports the first mismatch of each kind.
void ExpectSameCounts(const NamedPage& page, const std::vector<double>& horizontal, const std::vector<double>& vertical,
                      const std::vector<int>& methods) {
    skew::SkewSearcher fast;
    fast.SetBinaryImage(page.image.bits.data(), page.image.width, page.image.height);
    const Page& b = page.image;
    for (int columns : {1, 2}) {
        fast.skewColumns = columns;
        for (int method : methods) {
            int mismatches = 0;
            for (double t : horizontal) {
                const int want = reference::CountHorizontalLines(b.bits.data(), b.width, b.height, columns, t, method);
                const int got = fast.CountHorizontalLines(t, method);
                if (got != want && mismatches++ == 0)
                    ADD_FAILURE() << page.name << " horizontal slope " << t << " columns " << columns << " method "
                                  << method << ": " << got << " != " << want;
            }
            for (double t : vertical) {
                const int want = reference::CountVerticalLines(b.bits.data(), b.width, b.height, columns, t, method);
                const int got = fast.CountVerticalLines(t, method);
                if (got != want && mismatches++ == 0)
                    ADD_FAILURE() << page.name << " vertical slope " << t << " columns " << columns << " method "
                                  << method << ": " << got << " != " << want;
            }
            EXPECT_EQ(mismatches, 0) << page.name << " columns " << columns << " method " << method;
        }
    }
}

std::vector<NamedPage> SweepPages(int scale) {
    skewpages::TextPageSpec text;
    text.width = 401 / scale * 2 + 1;   // odd widths
    text.height = 523 / scale * 2 + 1;
    text.marginX = text.width / 8;
    text.marginY = text.height / 9;
    text.charHeight = 12;
    text.angle = 2.3;
    std::vector<NamedPage> pages;
    pages.push_back({"blank", skewpages::Grey(text.width, text.height)});
    pages.push_back({"text", Binary(skewpages::TextPage(text))});
    text.angle = -17.0;
    text.blocks = 2;
    pages.push_back({"text-two-columns-steep", Binary(skewpages::TextPage(text))});
    pages.push_back({"speckled", synth::RandomNoise(text.width - 2, text.height + 2, 8, 0.02, 7)});
    return pages;
}

}  // namespace

TEST(SkewCount, SweepSlopesFollowTheSinglePrecisionAccumulation) {
    // 0, 0.05, ... accumulated in float while below A + 0.5, on both sides;
    // the vertical first side starts at 0.01.
    const SlopeRecorder five = SweepSlopes(5);
    EXPECT_EQ(five.horizontal.size(), 220u);
    EXPECT_EQ(five.vertical.size(), 220u);
    const SlopeRecorder thirty = SweepSlopes(30);
    EXPECT_EQ(thirty.horizontal.size(), 2u * 611u);
    EXPECT_EQ(thirty.vertical.size(), 610u + 611u);
    EXPECT_EQ(five.horizontal[0], 0.0);
    EXPECT_DOUBLE_EQ(five.horizontal[1], std::tan(static_cast<double>(0.05f * 3.1415925f / 180.0f)));
    EXPECT_LT(five.horizontal[111], 0.0);  // the negative side
    EXPECT_LT(five.vertical[0], -5000.0);   // tan(90.01 degrees)
    EXPECT_GT(five.vertical[110], 1e6);     // tan(90 degrees) in single precision
}

TEST(SkewCount, FastCountsEqualTheReferenceOverTheFiveDegreeSweep) {
    const SlopeRecorder sweep = SweepSlopes(5);
    for (const NamedPage& page : SweepPages(1)) ExpectSameCounts(page, sweep.horizontal, sweep.vertical, {0, 1});
}

TEST(SkewCount, FastCountsEqualTheReferenceOverTheThirtyDegreeSweep) {
    const SlopeRecorder sweep = SweepSlopes(30);
    for (const NamedPage& page : SweepPages(2)) ExpectSameCounts(page, sweep.horizontal, sweep.vertical, {0});
}

TEST(SkewCount, FastCountsEqualTheReferenceOnOddSizesAndExtremeSlopes) {
    std::vector<double> slopes = {0.0, -0.0, 1e-13, -1e-13, 1e-300, 0.5, -0.5, 1.0 / 3.0, 2.0, -7.25, 1e7, -1e7,
                                  1e12, std::tan(89.999 * 3.14159265358979 / 180),
                                  std::numeric_limits<double>::infinity(),
                                  -std::numeric_limits<double>::infinity(),
                                  std::numeric_limits<double>::quiet_NaN(),
                                  std::numeric_limits<double>::denorm_min()};
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-1.5, 1.5);
    for (int i = 0; i < 60; ++i) slopes.push_back(u(rng));
    // Half-integer offsets: (x - c) t lands exactly on .5 for many columns.
    for (int q = 1; q <= 8; ++q) slopes.push_back(1.0 / (2 * q));
    // Near ties: slopes a few units in the last place away from putting a
    // sample position exactly on a rounding boundary, for horizontal
    // offsets (x - c) and vertical offsets (k - H/2) of whole and half
    // pixels; the position then rounds differently for different lines.
    for (double d : {3.0, 3.5, 17.0, 17.5, 40.5, 61.0, 64.5, 98.0}) {
        for (double k : {1.5, 2.5, 7.5, -3.5}) {
            for (double t0 : {k / d, d / k}) {
                double t = t0;
                for (int i = 0; i < 4; ++i) t = std::nextafter(t, 0.0);
                for (int i = 0; i < 9; ++i, t = std::nextafter(t, 1e300)) slopes.push_back(t);
            }
        }
    }

    std::vector<NamedPage> pages;
    // Fewer than 20 rows: the sampled rows start at row 0, where a position
    // just below zero truncates to row 0.
    pages.push_back({"tiny-noise", synth::RandomBytes(37, 19, 8, 1)});
    pages.push_back({"one-row", synth::RandomBytes(53, 1, 8, 2)});
    pages.push_back({"one-column", synth::RandomBytes(1, 41, 8, 3)});
    // Width 111: the strip offset is 0, so the vertical lines start at
    // column 0 and positions just below zero truncate to column 0.
    pages.push_back({"edge-column-zero", synth::RandomNoise(111, 150, 8, 0.3, 4)});
    pages.push_back({"speckled-odd", synth::RandomNoise(203, 97, 8, 0.1, 5)});
    // Any byte other than 255 is dark.
    pages.push_back({"grey-levels", synth::RandomBytes(130, 90, 8, 6)});
    for (const NamedPage& page : pages) ExpectSameCounts(page, slopes, slopes, {0, 1, 2});
}

TEST(SkewCount, FastCountsEqualTheReferenceOnEveryNarrowWidth) {
    // The packed rows and columns end inside a byte and inside an eight- or
    // sixteen-pixel group at these widths and heights; the runs of the
    // lines then end at the last pixel.
    const std::vector<double> slopes = {0.0, 0.02, -0.13, 0.5, -1.0, 3.0, 1e4, -1e4, 0.25, 1.0 / 3.0};
    for (int width = 1; width <= 17; ++width)
        for (int height : {1, 2, 9, 17, 40}) {
            const NamedPage page{"random " + std::to_string(width) + " x " + std::to_string(height),
                                 synth::RandomNoise(width, height, 8, 0.4, static_cast<std::uint64_t>(width * 64 + height))};
            ExpectSameCounts(page, slopes, slopes, {0, 1});
        }
}

TEST(SkewCount, LongRunsAcrossWordEndsCountAsTheReference) {
    // Near-level slopes give runs of more than 56 samples, read in several
    // words whose kept bits start at every shift within a byte; dense pages
    // at low limits leave few lines blank on the bound alone. Lines at the
    // top and bottom, whose samples leave the sampled rows, are counted run
    // by run; those between as words.
    const std::vector<double> slopes = {0.0, -0.0, 1e-4, -1e-4, 0.004, -0.009, 0.013, -0.021, 0.05, -0.08};
    for (int width : {56, 57, 63, 64, 65, 71, 119, 120, 121, 127, 128, 129, 250}) {
        for (double density : {0.01, 0.04}) {
            const NamedPage page{"noise " + std::to_string(width) + " at " + std::to_string(density),
                                 synth::RandomNoise(width, 97, 8, density, static_cast<std::uint64_t>(width))};
            ExpectSameCounts(page, slopes, {}, {0, 1});
            struct Plain {
                Plain() { skew::UseExtraInstructions(false); }
                ~Plain() { skew::UseExtraInstructions(true); }
            } plain;
            ExpectSameCounts(page, slopes, {}, {0, 1});
        }
    }
}

TEST(SkewCount, FastCountsEqualTheReferenceOnWidePagesWithLargeLimits) {
    // 1 % of the width is the limit of a blank line: these widths need
    // counters of 6, 7, 8 and more bits where the steep slopes are counted
    // 64 lines at a time; low pages keep the reference quick.
    const std::vector<double> slopes = {0.0, 0.01, -0.02, 0.2, -0.35, 0.58, -0.6, 1e4};
    for (int width : {3301, 6553, 13001, 26003})
        ExpectSameCounts({"wide " + std::to_string(width), synth::RandomNoise(width, 45, 8, 0.0105, 11)}, slopes, slopes,
                         {0});
    // A dense page: most lines reach the limit, a block stops early.
    ExpectSameCounts({"dense", synth::RandomNoise(3301, 130, 8, 0.5, 12)}, slopes, slopes, {0, 1});
}

TEST(SkewCount, CountsWithAndWithoutTheExtraInstructionsAreTheSame) {
    // The plain code (a plain sum of bits, 64 lines at a time) serves
    // processors without the population count or AVX2 instructions.
    const SlopeRecorder sweep = SweepSlopes(5);
    struct Plain {
        Plain() { EXPECT_FALSE(skew::UseExtraInstructions(false)); }
        ~Plain() { skew::UseExtraInstructions(true); }
    } plain;
    std::vector<double> horizontal = sweep.horizontal;
    for (double t : {0.1, -0.2, 0.35, -0.5, 0.577}) horizontal.push_back(t);  // steep: 64 lines at a time
    for (const NamedPage& page : SweepPages(3)) ExpectSameCounts(page, horizontal, sweep.vertical, {0, 1});
    ExpectSameCounts({"wide", synth::RandomNoise(6553, 300, 8, 0.0105, 13)}, {0.2, -0.4}, {}, {0});
    for (int width : {1, 7, 8, 9, 15, 16, 17, 63, 64, 65})
        ExpectSameCounts({"random " + std::to_string(width), synth::RandomNoise(width, 23, 8, 0.5, 9)},
                         {0.0, 0.3, -2.0, 1e4}, {0.0, 0.3, -2.0, 1e4}, {0, 1});
}

TEST(SkewCount, BarsAtKnownRowsGiveKnownCountsAtSlopeZero) {
    // 400 x 300: rows 15 .. 284 are sampled, the strip is columns 50 .. 379
    // and the limit is 20 dark samples (method 0) or 10 (method 1).
    struct Case {
        const char* what;
        int barLeft, barRight;  // columns, inclusive
        int barTop, barBottom;  // rows from the top, inclusive
        int columns, method;
        int blank;
    };
    const Case cases[] = {
        {"no bar", 0, -1, 0, -1, 1, 0, 270},
        {"full-width bar of 10 rows", 0, 399, 100, 109, 1, 0, 260},
        {"two strips see the bar twice", 0, 399, 100, 109, 2, 0, 2 * 270 - 20},
        {"bar outside the sampled rows", 0, 399, 0, 14, 1, 0, 270},
        {"bar straddling the first sampled row", 0, 399, 10, 20, 1, 0, 264},
        {"19 dark samples stay blank", 100, 118, 50, 59, 1, 0, 270},
        {"20 dark samples are not blank", 100, 119, 50, 59, 1, 0, 260},
        {"10 dark samples are not blank for method 1", 100, 109, 50, 59, 1, 1, 260},
        {"9 dark samples stay blank for method 1", 100, 108, 50, 59, 1, 1, 270},
        {"bar in the left margin is never sampled", 0, 35, 50, 59, 1, 1, 270},
    };
    for (const Case& c : cases) {
        Page page = skewpages::Grey(400, 300);
        skewpages::FillFromTop(page, c.barLeft, c.barTop, c.barRight, c.barBottom, 0);
        skew::SkewSearcher s;
        s.SetBinaryImage(page.bits.data(), page.width, page.height);
        s.skewColumns = c.columns;
        EXPECT_EQ(s.CountHorizontalLines(0.0, c.method), c.blank) << c.what;
        EXPECT_EQ(reference::CountHorizontalLines(page.bits.data(), 400, 300, c.columns, 0.0, c.method), c.blank)
            << c.what;
    }
}

TEST(SkewCount, ColumnsAtKnownPlacesGiveKnownVerticalCounts) {
    // 300 x 400: strip offset e = (270 % 100) / 2 = 35, so columns 35 .. 264
    // are lines; rows 20 .. 379 are sampled; the limit is 20 dark samples.
    // A slope of 1e9 is vertical to well within a pixel.
    Page page = skewpages::Grey(300, 400);
    skewpages::FillFromTop(page, 50, 0, 54, 399, 0);    // 5 dark columns, full height
    skewpages::FillFromTop(page, 100, 30, 100, 48, 0);   // 19 dark samples: blank
    skewpages::FillFromTop(page, 120, 30, 120, 49, 0);   // 20: not blank
    skewpages::FillFromTop(page, 10, 0, 20, 399, 0);    // outside the lines
    skew::SkewSearcher s;
    s.SetBinaryImage(page.bits.data(), page.width, page.height);
    EXPECT_EQ(s.CountVerticalLines(1e9, 0), 230 - 6);
    EXPECT_EQ(s.CountVerticalLines(-1e9, 0), 230 - 6);
}

TEST(SkewCount, ABlankImageOrNoImageCountsSafely) {
    skew::SkewSearcher s;
    EXPECT_EQ(s.CountHorizontalLines(0.1, 0), 0);  // no image: nothing counted
    EXPECT_EQ(s.CountVerticalLines(0.1, 0), 0);
    Page blank = skewpages::Grey(200, 100);
    s.SetBinaryImage(blank.bits.data(), blank.width, blank.height);
    EXPECT_EQ(s.CountHorizontalLines(0.1, 0), 90);
    s.skewColumns = 0;  // no strips
    EXPECT_EQ(s.CountHorizontalLines(0.1, 0), 0);
    s.skewColumns = 1;
    s.SetBinaryImage(blank.bits.data(), 0, 100);
    EXPECT_EQ(s.CountHorizontalLines(0.1, 0), 0);
    EXPECT_EQ(s.CountVerticalLines(0.1, 0), 0);
}
