// Centring of page content, both directions, grey and colour.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "processing/Centring.h"
#include "processing/PixelMath.h"
#include "processing/SkewTestPages.h"

using synth::Page;

namespace {

// First and last columns (or memory rows) holding a dark pixel; -1 if none.
std::pair<int, int> DarkSpan(const Page& g, bool columns) {
    int first = -1, last = -1;
    const int n = columns ? g.width : g.height;
    for (int i = 0; i < n; ++i) {
        bool dark = false;
        for (int j = 0; j < (columns ? g.height : g.width) && !dark; ++j)
            dark = (columns ? g.bits[px::Stride8(g.width) * j + i] : g.bits[px::Stride8(g.width) * i + j]) < 128;
        if (dark) {
            if (first < 0) first = i;
            last = i;
        }
    }
    return {first, last};
}

}  // namespace

TEST(Centring, HorizontalCases) {
    struct Case {
        const char* what;
        int left, right;  // content columns, inclusive; left > right: none
        int shift;
    };
    // 600 x 200; left = first content column from column 5, right = 600 - k
    // for the last content column k at or below 595.
    const Case cases[] = {
        {"100 blank at the left, 300 at the right: right is 301", 100, 299, 100},
        {"the mirror case moves left, truncated toward zero", 300, 499, -99},  // (101 - 300) / 2
        {"centred within 2", 199, 399, 0},      // left 199, right 201
        {"3 apart moves by 1", 198, 399, 1},    // left 198, right 201: (201 - 198) / 2
        {"covering all but five columns", 2, 597, 0},
        {"no content", 1, 0, 0},
    };
    for (const Case& c : cases) {
        Page g = skewpages::Grey(600, 200);
        if (c.left <= c.right) skewpages::FillFromTop(g, c.left, 20, c.right, 179, 0);
        const Page before = g;
        const int d = centring::CentreHorizontal(g.bits.data(), 600, 200, 8, 2.0f, before.bits.data());
        EXPECT_EQ(d, c.shift) << c.what;
        if (c.left <= c.right) {
            const auto [first, last] = DarkSpan(g, true);
            EXPECT_EQ(first, c.left + c.shift) << c.what;
            EXPECT_EQ(last, std::min(599, c.right + c.shift)) << c.what;
        }
    }
}

TEST(Centring, TheFirstFiveColumnsAreNotLookedAtFromTheLeft) {
    // Marks in columns 2 .. 4 do not count for the left margin: left = 200,
    // right = 600 - 210 = 390, shift (390 - 200) / 2 = 95.
    Page g = skewpages::Grey(600, 200);
    skewpages::FillFromTop(g, 2, 20, 4, 179, 0);
    skewpages::FillFromTop(g, 200, 20, 210, 179, 0);
    const Page measure = g;
    EXPECT_EQ(centring::CentreHorizontal(g.bits.data(), 600, 200, 8, 2.0f, measure.bits.data()), 95);
    EXPECT_EQ(DarkSpan(g, true), std::make_pair(97, 305));
}

TEST(Centring, VerticalWorksOnMemoryRows) {
    // Content near memory row 0 (the bottom of the picture as displayed)
    // moves toward the end of the buffer (up on the screen).
    Page g = skewpages::Grey(200, 600);
    skewpages::FillFromTop(g, 20, 400, 179, 499, 0);  // rows from the top: memory rows 100 .. 199
    const Page measure = g;
    const int d = centring::CentreVertical(g.bits.data(), 200, 600, 8, 2.0f, measure.bits.data());
    // first = 100, last = 600 - 199 = 401: (401 - 100) / 2 = 150.
    EXPECT_EQ(d, 150);
    EXPECT_EQ(DarkSpan(g, false), std::make_pair(250, 349));
    // A page of five rows is not looked at from row 5.
    Page small = skewpages::Grey(50, 5);
    skewpages::FillFromTop(small, 0, 4, 49, 4, 0);
    const Page smallMeasure = small;
    EXPECT_EQ(centring::CentreVertical(small.bits.data(), 50, 5, 8, 2.0f, smallMeasure.bits.data()), 0);
}

TEST(Centring, TheLimitIsATruncatedPercentOfTheOtherSide) {
    // Height 200 at 2 %: a column is content with more than 4 dark pixels.
    // Columns 100 .. 109 carry the marks: left 100, right 600 - 109 = 491.
    for (int darkRows : {4, 5}) {
        Page g = skewpages::Grey(600, 200);
        skewpages::FillFromTop(g, 100, 0, 109, darkRows - 1, 0);
        const Page measure = g;
        const int d = centring::CentreHorizontal(g.bits.data(), 600, 200, 8, 2.0f, measure.bits.data());
        EXPECT_EQ(d, darkRows == 4 ? 0 : (491 - 100) / 2) << darkRows;
    }
    // 2.5 % of 200 is 5: more than 5 needed.
    Page g = skewpages::Grey(600, 200);
    skewpages::FillFromTop(g, 100, 0, 109, 4, 0);
    const Page measure = g;
    EXPECT_EQ(centring::CentreHorizontal(g.bits.data(), 600, 200, 8, 2.5f, measure.bits.data()), 0);
    // A single content column never moves: left + right is the width.
    Page one = skewpages::Grey(600, 200);
    skewpages::FillFromTop(one, 100, 0, 100, 199, 0);
    const Page oneMeasure = one;
    EXPECT_EQ(centring::CentreHorizontal(one.bits.data(), 600, 200, 8, 2.0f, oneMeasure.bits.data()), 0);
}

TEST(Centring, ATextBlockMovesToTheMiddleMeasuredOnItsOwnCopy) {
    skewpages::TextPageSpec spec;
    spec.width = 500;
    spec.height = 400;
    spec.marginX = 30;
    spec.marginY = 40;
    const Page text = skewpages::TextPage(spec);
    // The block placed 40 columns from the left of a 900-wide page.
    Page page = skewpages::Grey(900, 400);
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 500; ++x) skewpages::AtFromTop(page, 40 + x, y) = skewpages::AtFromTop(text, x, y);
    const auto [first, last] = DarkSpan(page, true);
    // The colour page measured on a grey copy of itself: only the measure
    // decides, the colour is shifted the same way.
    synth::Page colour = skewpages::ToColour(page);
    const synth::Page measure = colour;
    const int d = centring::CentreHorizontal(colour.bits.data(), 900, 400, 24, 2.0f, measure.bits.data());
    // Roughly half the difference of the margins (content columns need more
    // than 8 dark pixels, so the glyph edges may not count).
    EXPECT_NEAR(d, ((900 - last) - first) / 2, 2);
    Page after = skewpages::Grey(900, 400);
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 900; ++x) after.bits[px::Stride8(900) * y + x] = colour.bits[px::Stride24(900) * y + 3 * x];
    const auto [newFirst, newLast] = DarkSpan(after, true);
    EXPECT_LE(std::abs(newFirst - (900 - 1 - newLast)), 4);
    EXPECT_EQ(newLast - newFirst, last - first);
    // Grey pixels vacated on the left are white.
    for (int y = 0; y < 400; ++y) ASSERT_EQ(after.bits[px::Stride8(900) * y], 255);
}

TEST(Centring, BadInputDoesNothing) {
    Page g = skewpages::Grey(60, 40);
    skewpages::FillFromTop(g, 5, 5, 20, 30, 0);
    const Page before = g;
    EXPECT_EQ(centring::CentreHorizontal(nullptr, 60, 40, 8, 2.0f, before.bits.data()), 0);
    EXPECT_EQ(centring::CentreHorizontal(g.bits.data(), 60, 40, 8, 2.0f, nullptr), 0);
    EXPECT_EQ(centring::CentreHorizontal(g.bits.data(), 0, 40, 8, 2.0f, before.bits.data()), 0);
    EXPECT_EQ(centring::CentreVertical(g.bits.data(), 60, -1, 8, 2.0f, before.bits.data()), 0);
    EXPECT_EQ(centring::CentreHorizontal(g.bits.data(), 60, 40, 16, 2.0f, before.bits.data()), 0);
    // Ratios out of any sensible range: a huge one finds no content, NaN
    // counts as a limit of 0.
    EXPECT_EQ(centring::CentreHorizontal(g.bits.data(), 60, 40, 8, 1e30f, before.bits.data()), 0);
    EXPECT_EQ(centring::CentreHorizontal(g.bits.data(), 60, 40, 8, std::numeric_limits<float>::infinity(),
                                         before.bits.data()),
              0);
    EXPECT_EQ(g.bits, before.bits);
    EXPECT_NE(centring::CentreHorizontal(g.bits.data(), 60, 40, 8, std::nanf(""), before.bits.data()), 0);
}
