// Stain and border remover: equality with the plain reference on random
// pages in every mode, and ground truth on drawn pages (stains away from text
// erased with their fringe, borders and the scanning board erased, text and
// what is near it kept, bad input refused).
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "processing/PixelMath.h"
#include "processing/StainBorderRemover.h"
#include "support/GlyphText.h"
#include "support/HolePages.h"
#include "processing/reference/RefPageEngines.h"

using testdata::TestPage;

namespace {

// The black image of the board step: every channel binarised at the page's
// mean grey.
std::vector<std::uint8_t> BlackImage(const TestPage& page) {
    std::int64_t sum = 0;
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x) sum += px::Grey(page.c(x, y)[0], page.c(x, y)[1], page.c(x, y)[2]);
    const std::int64_t mean = sum / (static_cast<std::int64_t>(page.width) * page.height);
    std::vector<std::uint8_t> out = page.bgr;
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x)
            for (int k = 0; k < 3; ++k) {
                std::uint8_t& v = out[page.colourStride() * y + 3 * x + k];
                v = v >= mean ? 255 : 0;
            }
    return out;
}

StainBorderParams ParamsFor(TestPage& page, int bitsPerPixel) {
    StainBorderParams p;
    p.page = page.Page(bitsPerPixel);
    p.threshold = 160;
    return p;
}

// Runs the engine on `page` and the reference on a copy; everything must be
// identical. Returns the reference's outcome.
ref::StainOutcome ExpectSameAsReference(TestPage& page, StainBorderParams p, const std::string& what) {
    TestPage expected = page;
    StainBorderParams q = p;
    if (q.page.grey) q.page.grey = expected.grey.data();
    if (q.page.colour) q.page.colour = expected.bgr.data();
    ref::StainOutcome want = ref::RemoveStains(q);
    if (p.page.grey) p.page.grey = page.grey.data();
    if (p.page.colour) p.page.colour = page.bgr.data();
    CStainBorderRemover engine;
    engine.Run(p);
    EXPECT_TRUE(page.sameGrey(expected)) << what;
    EXPECT_TRUE(page.sameColour(expected)) << what;
    EXPECT_EQ(engine.BordersFound(), want.bordersFound) << what;
    EXPECT_EQ(engine.BoardFound(), want.boardFound) << what;
    if (want.copy.empty()) {
        EXPECT_EQ(engine.ComparisonCopy(), nullptr) << what;
    } else if (!engine.ComparisonCopy()) {
        ADD_FAILURE() << what << ": no comparison copy";
    } else {
        EXPECT_TRUE(std::equal(want.copy.begin(), want.copy.end(), engine.ComparisonCopy())) << what;
    }
    std::vector<int> classes;
    for (const auto& c : engine.Analysis().components) classes.push_back(static_cast<int>(c.cls));
    if (!want.classes.empty()) {
        EXPECT_EQ(classes, want.classes) << what;
    }
    return want;
}

TestPage StainyPage(int w, int h, bool colour, std::uint32_t seed) {
    TestPage page = testdata::RandomPage(w, h, colour, seed);
    std::mt19937 rng(seed * 31u + 7u);
    auto uni = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    // a few words, a border bar on a random side and a board frame piece
    if (seed % 2) testdata::DrawText(page, testdata::Font::LatinSans, 30, uni(5, w / 3), uni(h / 3, h / 2), "stain ax", 20);
    switch (seed % 4) {
    case 0: page.fillRect(0, 0, uni(3, 12), h - 1, 10); break;
    case 1: page.fillRect(w - uni(3, 12), uni(0, h / 2), w - 1, h - 1, 0); break;
    case 2: page.fillRect(0, 0, w - 1, uni(2, 9), 0); break;
    default: page.fillRect(uni(0, w / 4), h - uni(4, 14), w - 1, h - 1, 30); break;
    }
    if (colour) {
        // a dark blue piece along one edge, and pure black along another
        for (int y = 0; y < h / 3; ++y)
            for (int x = w - 6; x < w; ++x) page.setColour(x, y, 250, 30, 10);
        for (int x = 0; x < w / 2; ++x) page.setColour(x, 0, 0, 0, 0);
    }
    return page;
}

}  // namespace

TEST(StainBorderRemover, MatchesReferenceOnRandomPages) {
    struct Mode {
        const char* what;
        bool colour;
        int bpp;
        void (*apply)(StainBorderParams&);
    };
    const Mode modes[] = {
        {"stains grey", false, 8, [](StainBorderParams& p) { p.stains = 1; p.stainArea = 4.0f; }},
        {"stains colour", true, 24, [](StainBorderParams& p) { p.stains = 1; p.stainArea = 0.5f; p.threshold = 128; }},
        {"stains large", true, 24, [](StainBorderParams& p) { p.stains = 1; p.stainArea = 40.0f; p.mark = 0; }},
        {"borders grey r3", false, 8, [](StainBorderParams& p) { p.borders = 1; p.eraseRadius = 3; }},
        {"borders colour region 1", true, 24, [](StainBorderParams& p) { p.borders = 1; p.region = 1; p.eraseRadius = 2; p.left = 15; p.bottom = 20; }},
        {"borders type 1", true, 24, [](StainBorderParams& p) { p.borders = 1; p.borderType = 1; p.page.dpi = 60; }},
        {"borders r0", true, 24, [](StainBorderParams& p) { p.borders = 1; p.eraseRadius = 0; p.top = 30; }},
        {"board grey", false, 8, [](StainBorderParams& p) { p.board = 1; p.band = 10; p.threshold = 128; p.eraseRadius = 5; p.stainArea = 4.0f; p.mark = 0; }},
        {"board colour", true, 24, [](StainBorderParams& p) { p.board = 1; p.band = 4; p.threshold = 128; p.eraseRadius = 2; }},
        {"board black image", true, 24, [](StainBorderParams& p) { p.board = 1; p.band = 8; p.threshold = 128; p.eraseRadius = 1; }},
        {"board colour as black", true, 24, [](StainBorderParams& p) { p.board = 1; p.band = 8; p.threshold = 128; p.colourPixelsAreBlack = 1; }},
        {"everything", true, 24, [](StainBorderParams& p) { p.stains = p.borders = p.board = 1; p.band = 6; p.eraseRadius = 2; p.stainArea = 2.0f; }},
        {"everything grey", false, 8, [](StainBorderParams& p) { p.stains = p.borders = p.board = 1; p.band = 3; p.eraseRadius = 1; p.stainArea = 2.0f; p.region = 1; }},
    };
    const int sizes[][2] = {{201, 151}, {150, 223}, {97, 131}};
    int erasedRuns = 0, run = 0;
    for (const Mode& m : modes)
        for (const auto& s : sizes)
            for (std::uint32_t seed = 1; seed <= 4; ++seed) {
                TestPage page = StainyPage(s[0], s[1], m.colour, seed * 13u + static_cast<std::uint32_t>(run));
                const TestPage before = page;
                StainBorderParams p = ParamsFor(page, m.bpp);
                m.apply(p);
                std::vector<std::uint8_t> black;
                if (std::string(m.what).find("black") != std::string::npos && page.colour) {
                    black = BlackImage(page);
                    p.black = black.data();
                }
                ExpectSameAsReference(page, p, std::string(m.what) + " " + std::to_string(s[0]) + " seed " + std::to_string(seed));
                erasedRuns += !(page.sameGrey(before) && page.sameColour(before));
                ++run;
            }
    EXPECT_GT(erasedRuns, run * 3 / 4) << "the pages must really exercise the erasing";
}

TEST(StainBorderRemover, MatchesReferenceOnTinyPages) {
    const int sizes[][2] = {{1, 1}, {1, 7}, {7, 1}, {2, 3}, {5, 5}, {13, 11}};
    for (const auto& s : sizes)
        for (int mode = 0; mode < 3; ++mode) {
            TestPage page = testdata::RandomPage(s[0], s[1], true, 3u + s[0] + 5u * s[1]);
            StainBorderParams p = ParamsFor(page, mode == 1 ? 8 : 24);
            p.stains = 1;
            p.stainArea = 4.0f;
            p.borders = mode >= 1;
            p.board = mode == 2;
            p.band = 1;
            p.eraseRadius = 2;
            ExpectSameAsReference(page, p, std::to_string(s[0]) + "x" + std::to_string(s[1]) + " mode " + std::to_string(mode));
        }
}

namespace {

// A white page at 300 dpi with a block of text in the middle.
TestPage TextPage(bool colour, testdata::Font font = testdata::Font::Cjk) {
    TestPage p(1200, 1000, colour);
    testdata::FillText(p, font, font == testdata::Font::Cjk ? 40 : 38, 250, 250, 950, 750);
    return p;
}

// Dark pixels of the colour image (green channel below 100) in a box.
int CountDarkColour(const TestPage& p, int l, int t, int r, int b) {
    int n = 0;
    for (int y = t; y <= b; ++y)
        for (int x = l; x <= r; ++x) n += p.c(x, y)[1] < 100;
    return n;
}

}  // namespace

TEST(StainBorderRemover, StainsAwayFromTextAreErasedWithTheirFringe) {
    TestPage p = TextPage(false);
    // specks of 100..500 px far from the text
    p.disc(100, 100, 6, 40);   // ~113 px
    p.disc(1100, 150, 12, 40); // ~450 px
    p.disc(120, 900, 9, 40);
    p.ring(1100, 900, 14, 10, 200);  // a light-grey halo ...
    p.disc(1100, 900, 10, 40);       // ... around a stain
    // a 600-px blob: larger than the largest stain (47 x 11 = 517 points)
    p.disc(1000, 500, 14, 40);
    // a small speck just after the last character of the first line (the
    // highest rows), at its middle height
    int lastX = 0, lineTop = 0, lineBottom = 1000;
    for (int y = 999; y >= 0 && lineTop == 0; --y)
        for (int x = 0; x < 1200; ++x)
            if (p.g(x, y) == 0) { lineTop = y; break; }
    for (int y = lineTop; y > lineTop - 60; --y)
        for (int x = 0; x < 1200; ++x)
            if (p.g(x, y) == 0) { lastX = std::max(lastX, x); lineBottom = y; }
    const int sx = lastX + 8, sy = (lineTop + lineBottom) / 2;
    p.fillRect(sx, sy, sx + 2, sy + 2, 40);
    const TestPage before = p;

    StainBorderParams prm = ParamsFor(p, 8);
    prm.stains = 1;
    prm.stainArea = 4.0f;
    prm.threshold = 160;
    CStainBorderRemover engine;
    engine.Run(prm);

    EXPECT_EQ(p.countDark(80, 80, 120, 120, 254), 0);
    EXPECT_EQ(p.countDark(1080, 130, 1120, 170, 254), 0);
    EXPECT_EQ(p.countDark(100, 880, 140, 920, 254), 0);
    EXPECT_EQ(p.countDark(1080, 880, 1120, 920, 254), 0) << "the stain and its light halo";
    EXPECT_EQ(p.countDark(980, 480, 1020, 520, 160), before.countDark(980, 480, 1020, 520, 160)) << "the 600-px blob";
    EXPECT_EQ(p.countDark(sx, sy, sx + 2, sy + 2, 160), 9) << "the speck beside the text";
    EXPECT_EQ(p.countDark(250, 250, 950, 750, 160), before.countDark(250, 250, 950, 750, 160)) << "the text";
    TestPage again = before;
    ExpectSameAsReference(again, prm, "stain page");
}

// The dots of i and j in Latin text of about 3 mm lie too far above their
// stems for the distance rules, so stain removal takes them (and nothing else
// of the text).
TEST(StainBorderRemover, LatinDotsOfIAreTakenAsStains) {
    TestPage p = TextPage(false, testdata::Font::LatinSans);
    const TestPage before = p;
    StainBorderParams prm = ParamsFor(p, 8);
    prm.stains = 1;
    prm.stainArea = 4.0f;
    CStainBorderRemover engine;
    engine.Run(prm);
    int erased = 0, dots = 0;
    for (const auto& c : engine.Analysis().components) {
        bool gone = true;
        for (const auto& q : engine.Analysis().Points(c)) gone = gone && p.g(q.x, q.y) == 255;
        if (!gone) continue;
        ++dots;
        erased += static_cast<int>(c.pointCount);
        EXPECT_LE(c.pointCount, 16u);
        // a stem of the letter lies right below it (lower buffer rows)
        EXPECT_LT(before.countDark(c.left, c.top - 12, c.right, c.top - 4, 160), (c.right - c.left + 1) * 9);
        EXPECT_GT(before.countDark(c.left, c.top - 12, c.right, c.top - 4, 160), 0);
    }
    EXPECT_GT(dots, 0);
    EXPECT_EQ(before.countDark(0, 0, 1199, 999, 160) - p.countDark(0, 0, 1199, 999, 160), erased);
}

TEST(StainBorderRemover, BlackBordersAreErasedAndTextStays) {
    TestPage p = TextPage(true);
    p.fillRect(0, 0, 60, 999, 0);      // left border, whole height
    p.fillRect(1150, 0, 1199, 400, 0); // right border piece
    // a dark arm reaching from the left band into the text area (through a
    // cleared gap, touching no character): most of its points lie in the
    // left 10 %
    p.fillRect(240, 585, 330, 635, 255);
    p.fillRect(80, 600, 115, 990, 0);
    p.fillRect(115, 600, 300, 620, 0);
    p.disc(1100, 700, 8, 0);           // a small blob outside the text area
    const TestPage before = p;
    StainBorderParams prm = ParamsFor(p, 24);
    prm.borders = 1;
    prm.eraseRadius = 5;
    CStainBorderRemover engine;
    engine.Run(prm);
    EXPECT_TRUE(engine.BordersFound());
    EXPECT_EQ(p.countDark(0, 0, 60, 999, 160), 0);
    EXPECT_EQ(p.countDark(1150, 0, 1199, 400, 160), 0);
    EXPECT_EQ(p.countDark(80, 600, 240, 990, 160), 0) << "the arm";
    EXPECT_EQ(p.countDark(1090, 690, 1110, 710, 160), 0);
    // the colour image was whitened; the text in it is untouched (the arm's
    // square reaches 5 px into the first text column at most)
    int textDark = 0, textBefore = 0;
    for (int y = 260; y < 740; ++y)
        for (int x = 310; x < 940; ++x) {
            textDark += p.c(x, y)[0] < 100;
            textBefore += before.c(x, y)[0] < 100;
        }
    EXPECT_EQ(textDark, textBefore);
    EXPECT_GT(textDark, 20000);

    // border type 1 keeps everything up to the largest character side
    TestPage q = before;
    StainBorderParams t1 = ParamsFor(q, 24);
    t1.borders = 1;
    t1.borderType = 1;
    CStainBorderRemover e1;
    e1.Run(t1);
    // without an erase radius a 24-bit run whitens the colour image only
    EXPECT_EQ(CountDarkColour(q, 0, 0, 60, 999), 0) << "taller than 22.64 mm";
    EXPECT_EQ(q.countDark(0, 0, 60, 999, 160), 61 * 1000) << "the grey image is left as it was";
    EXPECT_GT(CountDarkColour(q, 1090, 690, 1110, 710), 150) << "the small blob stays";

    // region 0 on a page without any character erases nothing
    TestPage bare(600, 400, false);
    bare.fillRect(0, 0, 30, 399, 0);
    const TestPage bareBefore = bare;
    StainBorderParams b0 = ParamsFor(bare, 8);
    b0.borders = 1;
    CStainBorderRemover e2;
    e2.Run(b0);
    EXPECT_TRUE(bare.sameGrey(bareBefore));
    EXPECT_FALSE(e2.BordersFound());

    TestPage again = before;
    ExpectSameAsReference(again, prm, "border page");
}

// A dark bar inside the text area is a border when more than 80 % of it lies
// in a margin band.
TEST(StainBorderRemover, BarsInsideTheTextAreaGoByTheBands) {
    for (int leftBand : {10, 5}) {
        TestPage p(1200, 1000, false);
        testdata::FillText(p, testdata::Font::Cjk, 40, 140, 150, 1100, 850);
        testdata::DrawText(p, testdata::Font::Cjk, 40, 100, 880, "档案馆");  // the text area reaches x = 100
        p.fillRect(102, 200, 118, 800, 0);
        StainBorderParams prm = ParamsFor(p, 8);
        prm.borders = 1;
        prm.left = leftBand;  // 120 or 60 pixels
        CStainBorderRemover engine;
        engine.Run(prm);
        if (leftBand == 10) EXPECT_EQ(p.countDark(102, 200, 118, 800, 160), 0);
        else EXPECT_EQ(p.countDark(102, 200, 118, 800, 160), 17 * 601);
    }
}

// With region 1 the text area lies inside the four bands; "top" counts from
// the first row in memory, which is the bottom of the picture.
TEST(StainBorderRemover, TopBandIsTheFirstRowsInMemory) {
    TestPage p(800, 1000, false);
    p.disc(400, 100, 20, 0);  // buffer rows 80..120: the picture's bottom
    p.disc(400, 900, 20, 0);  // the picture's top
    StainBorderParams prm = ParamsFor(p, 8);
    prm.borders = 1;
    prm.region = 1;
    prm.left = prm.right = prm.bottom = 0;
    prm.top = 20;  // rows 0..199
    CStainBorderRemover engine;
    engine.Run(prm);
    EXPECT_TRUE(engine.BordersFound());
    EXPECT_EQ(p.countDark(380, 80, 420, 120, 160), 0);
    EXPECT_GT(p.countDark(380, 880, 420, 920, 160), 1200);
}

TEST(StainBorderRemover, TheScanningBoardIsErasedWholeUnlessItIsColour) {
    auto page = []() {
        TestPage p = TextPage(true);
        // a black frame touching the edges, with a tongue reaching into the page
        p.fillRect(0, 0, 1199, 25, 0);
        p.fillRect(0, 0, 30, 999, 0);
        p.fillRect(30, 400, 200, 430, 0);
        // a dark-blue scanner edge along the right side
        for (int y = 100; y < 900; ++y)
            for (int x = 1180; x < 1200; ++x) p.setColour(x, y, 250, 30, 10);
        return p;
    };
    for (int colourAsBlack : {0, 1}) {
        TestPage p = page();
        const TestPage before = p;
        std::vector<std::uint8_t> black = BlackImage(p);
        StainBorderParams prm = ParamsFor(p, 24);
        prm.board = 1;
        prm.band = 10;
        prm.threshold = 128;
        prm.eraseRadius = 5;
        prm.stainArea = 4.0f;
        prm.mark = 0;
        prm.black = black.data();
        prm.colourPixelsAreBlack = colourAsBlack;
        CStainBorderRemover engine;
        engine.Run(prm);
        EXPECT_TRUE(engine.BoardFound());
        EXPECT_EQ(p.countDark(0, 0, 1199, 25, 128), 0);
        EXPECT_EQ(p.countDark(0, 0, 30, 999, 128), 0);
        EXPECT_EQ(p.countDark(30, 400, 200, 430, 128), 0) << "the tongue goes with the frame";
        int blue = 0;
        for (int y = 100; y < 900; ++y)
            for (int x = 1180; x < 1200; ++x) blue += p.c(x, y)[1] == 30;
        if (colourAsBlack) EXPECT_EQ(blue, 0);
        else EXPECT_EQ(blue, 800 * 20);
        EXPECT_EQ(p.countDark(300, 300, 900, 700, 160), before.countDark(300, 300, 900, 700, 160));
        TestPage again = before;
        ExpectSameAsReference(again, prm, "board page");
    }
}

TEST(StainBorderRemover, RefusesBadImages) {
    std::vector<std::uint8_t> strip(4 * 32768, 0);
    const std::vector<std::uint8_t> stripBefore = strip;
    StainBorderParams tall;
    tall.page.grey = strip.data();
    tall.page.width = 1;
    tall.page.height = 32768;
    tall.page.bitsPerPixel = 8;
    tall.stains = tall.borders = tall.board = 1;
    tall.threshold = 200;
    StainBorderParams wide = tall;
    wide.page.width = 32768;
    wide.page.height = 1;
    StainBorderParams none = tall;
    none.page.grey = nullptr;
    none.page.height = 10;
    StainBorderParams empty = tall;
    empty.page.height = 0;
    for (const auto& p : {tall, wide, none, empty}) {
        CStainBorderRemover engine;
        engine.Run(p);
        EXPECT_FALSE(engine.BoardFound());
        EXPECT_EQ(engine.ComparisonCopy(), nullptr);
    }
    EXPECT_EQ(strip, stripBefore);
    // 32767 rows are accepted: the board along the strip is found
    StainBorderParams ok = tall;
    ok.page.height = 32767;
    ok.band = 1;
    ok.mark = 0;
    CStainBorderRemover engine;
    engine.Run(ok);
    EXPECT_TRUE(engine.BoardFound());
    EXPECT_EQ(strip[0], 255);

    // colour mode without a colour image erases nothing
    TestPage p = StainyPage(120, 90, false, 2);
    const TestPage before = p;
    StainBorderParams c = ParamsFor(p, 24);
    c.stains = c.borders = 1;
    c.stainArea = 4;
    CStainBorderRemover e2;
    e2.Run(c);
    EXPECT_TRUE(p.sameGrey(before));
}

TEST(StainBorderRemover, ExtremeSettingsStayExact) {
    struct Case {
        const char* what;
        void (*apply)(StainBorderParams&);
    } cases[] = {
        {"dpi 0", [](StainBorderParams& p) { p.page.dpi = 0; }},
        {"dpi -300", [](StainBorderParams& p) { p.page.dpi = -300; }},
        {"dpi 1", [](StainBorderParams& p) { p.page.dpi = 1; }},
        {"dpi 1e6", [](StainBorderParams& p) { p.page.dpi = 1000000; }},
        {"area huge", [](StainBorderParams& p) { p.stainArea = 1e30f; }},
        {"area nan", [](StainBorderParams& p) { p.stainArea = std::numeric_limits<float>::quiet_NaN(); }},
        {"area -inf", [](StainBorderParams& p) { p.stainArea = -std::numeric_limits<float>::infinity(); }},
        {"bands 1000 %", [](StainBorderParams& p) { p.left = p.right = p.top = p.bottom = 1000; p.region = 1; }},
        {"bands INT extremes", [](StainBorderParams& p) { p.left = INT_MAX; p.top = INT_MIN; p.right = -5; p.region = 1; }},
        {"bands INT_MIN", [](StainBorderParams& p) { p.left = p.top = p.right = p.bottom = INT_MIN; p.region = 1; }},
        {"band INT_MAX", [](StainBorderParams& p) { p.band = INT_MAX; }},
        {"band INT_MIN", [](StainBorderParams& p) { p.band = INT_MIN; }},
        {"radius negative", [](StainBorderParams& p) { p.eraseRadius = -7; }},
        {"radius INT_MIN", [](StainBorderParams& p) { p.eraseRadius = INT_MIN; }},
        {"threshold 255", [](StainBorderParams& p) { p.threshold = 255; }},
        {"threshold -1", [](StainBorderParams& p) { p.threshold = -1; }},
    };
    for (const Case& c : cases) {
        TestPage page = StainyPage(151, 117, true, 5);
        StainBorderParams p = ParamsFor(page, 24);
        p.stains = p.borders = p.board = 1;
        p.band = 5;
        p.stainArea = 4.0f;
        p.eraseRadius = 1;
        c.apply(p);
        ExpectSameAsReference(page, p, c.what);
    }
}

TEST(StainBorderRemover, HugeEraseRadiusFinishes) {
    for (int radius : {100000, INT_MAX}) {
        TestPage p(300, 200, true);
        p.fillRect(0, 0, 10, 199, 0);  // board along the left edge
        p.disc(150, 100, 20, 200);     // light grey, not dark
        StainBorderParams prm = ParamsFor(p, 24);
        prm.board = 1;
        prm.band = 5;
        prm.threshold = 128;
        prm.eraseRadius = radius;
        CStainBorderRemover engine;
        engine.Run(prm);
        // every pixel lies in the square of some board pixel
        EXPECT_EQ(p.countDark(0, 0, 299, 199, 254), 0);
        for (int y = 0; y < 200; ++y)
            for (int x = 0; x < 300; ++x) ASSERT_EQ(p.c(x, y)[1], 255);
    }
}
