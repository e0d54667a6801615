// Binding-hole remover: equality with the plain reference on random pages,
// and ground truth on drawn pages (holes found and filled, look-alikes left
// alone, the bands in buffer-row order, tinted paper patched from the right
// place, bad input refused).
#include <gtest/gtest.h>

#include <climits>

#include "processing/BindHoleRemover.h"
#include "processing/PixelMath.h"
#include "support/GlyphText.h"
#include "support/HolePages.h"
#include "processing/reference/RefPageEngines.h"

using testdata::TestPage;

namespace {

BindHoleParams ParamsFor(TestPage& page, int bitsPerPixel) {
    BindHoleParams p;
    p.page = page.Page(bitsPerPixel);
    p.on = 1;
    return p;
}

// Runs the engine on `page` and the reference on a copy; both results must
// be identical. Returns the number of holes the reference filled.
int ExpectSameAsReference(TestPage& page, BindHoleParams p, const std::string& what) {
    TestPage expected = page;
    std::vector<std::uint8_t> wantCopy;
    BindHoleParams q = p;
    if (q.page.grey) q.page.grey = expected.grey.data();
    if (q.page.colour) q.page.colour = expected.bgr.data();
    const int filled = ref::RemoveHoles(q, &wantCopy);
    if (p.page.grey) p.page.grey = page.grey.data();
    if (p.page.colour) p.page.colour = page.bgr.data();
    CBindHoleRemover engine;
    engine.Run(p);
    EXPECT_TRUE(page.sameGrey(expected)) << what;
    EXPECT_TRUE(page.sameColour(expected)) << what;
    if (p.mark && p.page.grey && p.page.width > 0 && p.page.height > 0 && p.page.width <= 32767 && p.page.height <= 32767 &&
        !(p.page.bitsPerPixel == 24 && !p.page.colour)) {
        const std::size_t size = page.colour ? page.bgr.size() : page.grey.size();
        EXPECT_EQ(wantCopy.size(), size) << what;
        EXPECT_NE(engine.ComparisonCopy(), nullptr) << what;
        if (engine.ComparisonCopy() && wantCopy.size() == size) {
            EXPECT_TRUE(std::equal(wantCopy.begin(), wantCopy.end(), engine.ComparisonCopy())) << what;
        }
    }
    return filled;
}

// A random page with solid dark discs sprinkled over the margin bands.
TestPage HoleyPage(int w, int h, bool colour, std::uint32_t seed, bool tinted) {
    TestPage page = testdata::RandomPage(w, h, colour, seed);
    std::mt19937 rng(seed ^ 0x5EEDu);
    if (tinted && colour) {
        TestPage paper(w, h, true);
        testdata::TintPaper(paper, seed);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (page.g(x, y) > 200) std::copy_n(paper.c(x, y), 3, page.c(x, y));
        page.greyFromColour();
    }
    auto uni = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int i = 0; i < 6; ++i) {
        const int rad = uni(13, 22);
        const int side = uni(0, 3);
        int cx, cy;
        if (side == 0) { cx = uni(rad + 1, w / 5); cy = uni(rad + 1, h - rad - 2); }
        else if (side == 1) { cx = uni(w - w / 5, w - rad - 2); cy = uni(rad + 1, h - rad - 2); }
        else if (side == 2) { cx = uni(rad + 1, w - rad - 2); cy = uni(rad + 1, w / 5); }
        else { cx = uni(rad + 1, w - rad - 2); cy = uni(h - w / 5, h - rad - 2); }
        page.disc(cx, cy, rad, static_cast<std::uint8_t>(uni(5, 60)));
    }
    return page;
}

}  // namespace

TEST(BindHoleRemover, MatchesReferenceOnRandomPages) {
    struct Mode {
        bool colour;
        int bpp, backgroundType, whiteFill, radius, ignore, band;
        std::uint8_t mark;
    };
    const Mode modes[] = {
        {false, 8, 0, 0, 1, 0, 20, 1},  {false, 8, 1, 0, 3, 0, 20, 0},  {true, 24, 0, 0, 1, 10, 20, 1},
        {true, 24, 1, 0, 3, 0, 20, 1},  {true, 24, 1, 0, 1, 5, 25, 1},  {true, 24, 1, 1, 2, 0, 20, 1},
        {true, 24, 1, 0, 0, 0, 20, 1},  {true, 24, 0, 0, 0, 0, 20, 1},  {true, 8, 1, 0, 3, 0, 20, 1},
        {false, 8, 0, 0, 5, 0, 15, 1},
    };
    const int sizes[][2] = {{301, 401}, {402, 333}, {257, 389}};
    int filled = 0;
    int run = 0;
    for (const Mode& m : modes)
        for (const auto& s : sizes)
            for (std::uint32_t seed = 1; seed <= 3; ++seed) {
                TestPage page = HoleyPage(s[0], s[1], m.colour, seed * 101u + static_cast<std::uint32_t>(run), m.backgroundType != 0);
                BindHoleParams p = ParamsFor(page, m.bpp);
                p.backgroundType = m.backgroundType;
                p.whiteFill = m.whiteFill;
                p.radius = m.radius;
                p.ignoreCorners = m.ignore;
                p.left = p.right = p.top = p.bottom = m.band;
                p.mark = m.mark;
                p.greyHigh = 64;
                filled += ExpectSameAsReference(page, p, "mode " + std::to_string(run / 9) + " size " + std::to_string(s[0]) +
                                                             " seed " + std::to_string(seed));
                ++run;
            }
    // the pages must really exercise the fills
    EXPECT_GT(filled, 40);
}

TEST(BindHoleRemover, MatchesReferenceOnTinyAndOddPages) {
    const int sizes[][2] = {{1, 1}, {1, 9}, {9, 1}, {2, 2}, {5, 7}, {33, 17}, {63, 65}};
    for (const auto& s : sizes)
        for (bool colour : {false, true}) {
            TestPage page = testdata::RandomPage(s[0], s[1], colour, 7u + s[0] * 3u + s[1]);
            BindHoleParams p = ParamsFor(page, colour ? 24 : 8);
            p.smallestArea = 0;  // let the smallest specks count
            p.backgroundType = colour ? 1 : 0;
            p.left = p.right = p.top = p.bottom = 40;
            ExpectSameAsReference(page, p, std::to_string(s[0]) + "x" + std::to_string(s[1]));
        }
}

namespace {

// A white page at 300 dpi with 6 mm discs of grey 20.
struct MarginPage {
    TestPage page{1000, 1400, false};
    const double r = testdata::MmPx(300, 3.0);  // 35.4 px
};

}  // namespace

TEST(BindHoleRemover, FillsHolesInTheLeftBandAndLeavesLookAlikes) {
    MarginPage m;
    TestPage& p = m.page;
    p.disc(50, 400, m.r, 20);           // a hole
    p.disc(50, 800, m.r, 20);           // a hole
    p.ring(50, 1100, m.r, m.r - 12, 20);  // a ring: fill below 40 % of its box
    p.disc(28, 600, m.r, 20);           // touches the left edge
    p.disc(50, 70, m.r, 20);            // in the ignored bottom-left corner (buffer rows 0..139)
    testdata::DrawText(p, testdata::Font::LatinSans, 40, 10, 1250, "Ab8", 20);  // letters in the margin
    p.fillRect(50, 440, 52, 442, 200);  // light pixels next to the first hole, within 1 mm
    const TestPage before = p;

    BindHoleParams prm = ParamsFor(p, 8);
    prm.radius = 1;  // r = 11
    prm.ignoreCorners = 10;
    CBindHoleRemover engine;
    engine.Run(prm);

    EXPECT_EQ(p.countDark(0, 360, 99, 440, 64), 0) << "first hole";
    EXPECT_EQ(p.countDark(0, 760, 99, 840, 64), 0) << "second hole";
    // the square of offsets -11..10 around each hole pixel is white too
    EXPECT_EQ(p.g(51, 441), 255);
    EXPECT_EQ(p.g(50, 400 + 35 + 10), 255);
    EXPECT_EQ(p.g(50, 400 + 35 + 14), 255) << "outside the square nothing was drawn anyway";
    for (const auto& box : {std::array<int, 4>{0, 1060, 99, 1140}, std::array<int, 4>{0, 560, 99, 640},
                            std::array<int, 4>{0, 30, 99, 110}, std::array<int, 4>{0, 1240, 200, 1300}})
        for (int y = box[1]; y <= box[3]; ++y)
            for (int x = box[0]; x <= box[2]; ++x) ASSERT_EQ(p.g(x, y), before.g(x, y)) << x << "," << y;
}

TEST(BindHoleRemover, OffIsAnalysisOnly) {
    MarginPage m;
    m.page.disc(50, 400, m.r, 20);
    const TestPage before = m.page;
    BindHoleParams prm = ParamsFor(m.page, 8);
    prm.on = 0;
    CBindHoleRemover engine;
    engine.Run(prm);
    EXPECT_TRUE(m.page.sameGrey(before));
}

TEST(BindHoleRemover, TintedPaperIsPatchedFromTwoHoleHeightsTowardsTheMiddle) {
    TestPage p(800, 1200, true);
    testdata::TintPaper(p, 99);
    const double r = testdata::MmPx(300, 3.0);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (std::hypot(x - 50.0, y - 300.0) <= r || std::hypot(x - 750.0, y - 1000.0) <= r) p.setColour(x, y, 22, 20, 21);
    const TestPage before = p;
    BindHoleParams prm = ParamsFor(p, 24);
    prm.backgroundType = 1;
    prm.radius = 1;
    CBindHoleRemover engine;
    engine.Run(prm);
    // lower hole (centre row 300 < 600): patched from below... that is from
    // higher buffer rows; upper hole from lower buffer rows
    const int extent = 2 * static_cast<int>(r);  // bottom - top of the drawn disc
    struct Hole {
        int cx, cy, dy;
    } holes[] = {{50, 300, 2 * extent}, {750, 1000, -2 * extent}};
    for (const Hole& h : holes) {
        int checked = 0;
        for (int y = h.cy - 30; y <= h.cy + 30; ++y)
            for (int x = h.cx - 30; x <= h.cx + 30; ++x) {
                if (std::hypot(x - h.cx, y - h.cy) > 30) continue;
                ASSERT_TRUE(std::equal(p.c(x, y), p.c(x, y) + 3, before.c(x, h.dy + y))) << x << "," << y;
                ASSERT_EQ(p.g(x, y), 255);
                ++checked;
            }
        EXPECT_GT(checked, 2500);
    }
    TestPage again = before;
    BindHoleParams q = ParamsFor(again, 24);
    q.backgroundType = 1;
    q.radius = 1;
    ExpectSameAsReference(again, q, "tinted");
}

TEST(BindHoleRemover, TopBandIsTheFirstRowsInMemoryAndMeasuredOnTheWidth) {
    // 2000 x 3000: a top band of 10 % is 200 rows (10 % of the width), and
    // "top" is buffer row 0, the bottom of the picture.
    const double r = testdata::MmPx(300, 3.0);
    auto page = [&]() {
        TestPage p(2000, 3000, false);
        p.disc(600, 100, r, 20);   // buffer rows 65..135: inside the first 200 rows
        p.disc(1000, 250, r, 20);  // rows 215..285: inside 300 rows, outside 200
        p.disc(1400, 2900, r, 20); // the last rows in memory (top of the picture)
        return p;
    };
    {
        TestPage p = page();
        BindHoleParams prm = ParamsFor(p, 8);
        prm.left = prm.right = prm.bottom = 0;
        prm.top = 10;
        CBindHoleRemover engine;
        engine.Run(prm);
        EXPECT_EQ(p.countDark(560, 60, 640, 140, 64), 0);
        EXPECT_GT(p.countDark(960, 210, 1040, 290, 64), 3000);
        EXPECT_GT(p.countDark(1360, 2860, 1440, 2940, 64), 3000);
    }
    {
        TestPage p = page();
        BindHoleParams prm = ParamsFor(p, 8);
        prm.left = prm.right = prm.top = 0;
        prm.bottom = 10;
        CBindHoleRemover engine;
        engine.Run(prm);
        EXPECT_GT(p.countDark(560, 60, 640, 140, 64), 3000);
        EXPECT_EQ(p.countDark(1360, 2860, 1440, 2940, 64), 0);
    }
}

TEST(BindHoleRemover, MarksExactlyWhatItFills) {
    TestPage p(700, 900, true);
    testdata::TintPaper(p, 5);
    const double r = testdata::MmPx(300, 3.0);
    p.disc(40, 450, r, 20);
    p.disc(660, 200, r, 30);
    const TestPage before = p;
    BindHoleParams prm = ParamsFor(p, 24);
    prm.backgroundType = 1;
    prm.whiteFill = 1;
    prm.mark = 1;
    CBindHoleRemover engine;
    engine.Run(prm);
    ASSERT_TRUE(engine.ComparisonIsColour());
    const std::uint8_t* copy = engine.ComparisonCopy();
    ASSERT_NE(copy, nullptr);
    int changed = 0;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const std::uint8_t* q = copy + p.colourStride() * y + 3 * x;
            const bool magenta = q[0] == 255 && q[1] == 0 && q[2] == 255;
            const bool filled = !std::equal(p.c(x, y), p.c(x, y) + 3, before.c(x, y));
            ASSERT_EQ(magenta, filled) << x << "," << y;
            if (!magenta) {
                ASSERT_TRUE(std::equal(q, q + 3, before.c(x, y)));
            }
            changed += filled;
        }
    EXPECT_GT(changed, 2 * 4000);
}

TEST(BindHoleRemover, OptionsBlockDefaultsAndCopy) {
    BindHoleOptions o;
    o.on = 1;
    o.left = 3;
    o.markFlag = 0x100;  // only the low byte counts
    o.backgroundType = 7;
    o.SetDefaults();
    const int want[15] = {0, 10, 10, 10, 10, 4, 100, 0, 64, 3, 0, 0, 25, 0, 0};
    const int got[15] = {o.on,      o.left,    o.right,         o.top,           o.bottom,
                         o.smallestArea, o.largestArea, o.greyLow, o.greyHigh, o.radius,
                         o.ignoreCorners, o.backgroundType, o.colourDelta, o.whiteFill, o.markFlag};
    for (int i = 0; i < 15; ++i) EXPECT_EQ(got[i], want[i]) << i;
    static_assert(sizeof(BindHoleOptions) == 15 * sizeof(std::int32_t));

    o.on = 1;
    o.right = 12;
    o.radius = 2;
    o.whiteFill = 1;
    o.backgroundType = 1;
    o.markFlag = 0x100;
    BindHoleParams p;
    EXPECT_EQ(p.mark, 1);
    EXPECT_EQ(p.page.bitsPerPixel, 24);
    EXPECT_EQ(p.page.dpi, 300);
    p.TakeOptions(o);
    EXPECT_EQ(p.on, 1);
    EXPECT_EQ(p.right, 12);
    EXPECT_EQ(p.radius, 2);
    EXPECT_EQ(p.whiteFill, 1);
    EXPECT_EQ(p.backgroundType, 0) << "the paper type is the caller's decision";
    EXPECT_EQ(p.mark, 0) << "low byte of 0x100";
}

TEST(BindHoleRemover, RefusesBadImagesWithoutTouchingAnything) {
    TestPage p = HoleyPage(120, 160, true, 3, false);
    const TestPage before = p;
    std::vector<std::uint8_t> strip(4 * 32768, 20);
    const std::vector<std::uint8_t> stripBefore = strip;
    BindHoleParams bad[6];
    for (auto& b : bad) b = ParamsFor(p, 24);
    bad[0].page.grey = nullptr;
    bad[1].page.width = 0;
    bad[2].page.height = -5;
    bad[3].page.colour = nullptr;  // colour mode without colour image
    bad[4].page.grey = strip.data();
    bad[4].page.colour = nullptr;
    bad[4].page.bitsPerPixel = 8;
    bad[4].page.width = 1;
    bad[4].page.height = 32768;
    bad[5] = bad[4];
    bad[5].page.width = 32768;
    bad[5].page.height = 1;
    for (const auto& b : bad) {
        CBindHoleRemover engine;
        engine.Run(b);
        EXPECT_EQ(engine.ComparisonCopy(), nullptr);
    }
    EXPECT_TRUE(p.sameGrey(before));
    EXPECT_TRUE(p.sameColour(before));
    EXPECT_EQ(strip, stripBefore);
}

TEST(BindHoleRemover, ExtremeSettingsStayExactOrRefuse) {
    // Out-of-range values a configuration file may carry: the result is the
    // reference's wherever the reference can run at all.
    struct Case {
        const char* what;
        void (*apply)(BindHoleParams&);
    } cases[] = {
        {"dpi 0", [](BindHoleParams& p) { p.page.dpi = 0; }},
        {"dpi -300", [](BindHoleParams& p) { p.page.dpi = -300; }},
        {"dpi 1", [](BindHoleParams& p) { p.page.dpi = 1; }},
        {"dpi 1e6 smallest 0", [](BindHoleParams& p) { p.page.dpi = 1000000; p.smallestArea = 0; p.radius = 0; }},
        {"bands 1000 %", [](BindHoleParams& p) { p.left = p.right = p.top = p.bottom = 1000; }},
        {"bands -50 %", [](BindHoleParams& p) { p.left = p.right = p.top = p.bottom = -50; }},
        {"bands INT_MAX", [](BindHoleParams& p) { p.left = p.top = INT_MAX; p.right = p.bottom = INT_MIN; }},
        {"bands INT_MIN", [](BindHoleParams& p) { p.left = p.top = p.right = p.bottom = INT_MIN; }},
        {"areas extreme", [](BindHoleParams& p) { p.smallestArea = INT_MIN; p.largestArea = INT_MAX; }},
        {"grey range inverted", [](BindHoleParams& p) { p.greyLow = 200; p.greyHigh = 10; }},
        {"corners 100 %", [](BindHoleParams& p) { p.ignoreCorners = 100; }},
        {"corners INT_MAX", [](BindHoleParams& p) { p.ignoreCorners = INT_MAX; }},
        {"radius negative", [](BindHoleParams& p) { p.radius = -4; }},
        {"radius INT_MIN", [](BindHoleParams& p) { p.radius = INT_MIN; }},
        {"delta negative", [](BindHoleParams& p) { p.colourDelta = -1; }},
    };
    for (const Case& c : cases)
        for (int type : {0, 1}) {
            TestPage page = HoleyPage(203, 257, true, 11, type != 0);
            BindHoleParams p = ParamsFor(page, 24);
            p.backgroundType = type;
            p.left = p.right = p.top = p.bottom = 20;
            c.apply(p);
            ExpectSameAsReference(page, p, std::string(c.what) + " type " + std::to_string(type));
        }
}

TEST(BindHoleRemover, HugeRadiiFinish) {
    // White fill: the squares are one dilation, whatever the radius; the
    // whole image except what has no source becomes white.
    for (int radius : {1000, INT_MAX}) {
        TestPage p(300, 200, false, 180);
        p.disc(30, 100, 14, 20);
        BindHoleParams prm = ParamsFor(p, 8);
        prm.left = 20;
        prm.radius = radius;
        CBindHoleRemover engine;
        engine.Run(prm);
        EXPECT_EQ(p.g(30, 100), 255);
        EXPECT_EQ(p.g(150, 100), 255) << "far inside the page, inside the huge square";
    }
    // Patch fill: an ordered copy of squares that cover the whole page for
    // each of its ~2800 pixels is beyond the copy budget, so the hole stays
    // as it is.
    TestPage p(1000, 1000, true);
    testdata::TintPaper(p, 1);
    p.disc(60, 500, 30, 20);
    const TestPage before = p;
    BindHoleParams prm = ParamsFor(p, 24);
    prm.left = 10;
    prm.backgroundType = 1;
    prm.radius = INT_MAX;
    CBindHoleRemover engine;
    engine.Run(prm);
    EXPECT_TRUE(p.sameColour(before));
    EXPECT_TRUE(p.sameGrey(before));
    // the same hole with a 1 mm radius is found and patched
    prm.radius = 1;
    engine.Run(prm);
    EXPECT_EQ(p.countDark(30, 470, 90, 530, 64), 0);
}
