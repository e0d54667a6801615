// The processing object's side of the stain, border, black-board and hole
// steps: which step runs, which values reach the engines, and which image
// they clean, on drawn pages with the real engines.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "processing/processor/CleanupSteps.h"
#include "settings/ProcessSetting.h"
#include "settings/ScanSetting.h"
#include "support/GlyphText.h"
#include "support/HolePages.h"
#include "ProcessorTestUtil.h"

using testdata::TestPage;

namespace {

class CleanupSteps : public proctest::SettingsReset {};

cleanup::Images ImagesOf(TestPage& p) {
    cleanup::Images im;
    im.grey = p.grey.data();
    im.colour = p.colour ? p.bgr.data() : nullptr;
    im.width = p.width;
    im.height = p.height;
    im.dpi = p.dpi;
    return im;
}

// 1200 x 1000 at 300 dpi: text in the middle, a stain far from it in the
// upper right and a black border along the left edge.
TestPage StainAndBorderPage(bool colour, std::uint8_t borderLevel = 0) {
    TestPage p(1200, 1000, colour);
    testdata::FillText(p, testdata::Font::Cjk, 40, 250, 250, 950, 750);
    p.disc(1100, 850, 12, 40);  // about 450 px, below 4 mm² (517 px)
    p.fillRect(0, 0, 60, 999, borderLevel);
    return p;
}

int Dark(const TestPage& p, int l, int t, int r, int b, int level = 160) { return p.countDark(l, t, r, b, level); }

int DarkColour(const TestPage& p, int l, int t, int r, int b) {
    int n = 0;
    for (int y = t; y <= b; ++y)
        for (int x = l; x <= r; ++x) n += p.c(x, y)[1] < 100;
    return n;
}

constexpr int kBorderPixels = 61 * 1000;

}  // namespace

TEST_F(CleanupSteps, StainsWinOverBordersAndNoGateDoesNothing) {
    struct Case {
        const char* what;
        cleanup::Gates gates;
        bool stainGone, borderGone;
    };
    const Case cases[] = {
        {"stains and borders on: only stains", {true, true, false}, true, false},
        {"stains only", {true, false, false}, true, false},
        {"borders only", {false, true, false}, true, true},
        {"nothing on", {false, false, false}, false, false},
    };
    for (const Case& c : cases) {
        TestPage p = StainAndBorderPage(false);
        const TestPage before = p;
        CStainBorderRemover remover;
        CBindHoleRemover holes;
        cleanup::RemoveStainsBordersAndHoles(c.gates, false, ImagesOf(p), L"page.jpg", remover, holes);
        EXPECT_EQ(Dark(p, 1080, 830, 1120, 870) == 0, c.stainGone) << c.what;
        EXPECT_EQ(Dark(p, 0, 0, 60, 999), c.borderGone ? 0 : kBorderPixels) << c.what;
        EXPECT_EQ(Dark(p, 300, 300, 900, 700), Dark(before, 300, 300, 900, 700)) << c.what << ": the text stays";
    }
}

TEST_F(CleanupSteps, StainSettingsReachTheRemover) {
    struct Case {
        int threshold;
        float area;
        bool gone;
    };
    // The stain is grey 40 of about 450 pixels; 4 mm² are 517 pixels at 300
    // dpi, 1 mm² 121.
    const Case cases[] = {{160, 4.0f, true}, {30, 4.0f, false}, {160, 1.0f, false}, {40, 4.0f, true}};
    for (const Case& c : cases) {
        ProcessSetting::rmstains.threhold = c.threshold;
        ProcessSetting::rmstains.areamax = c.area;
        TestPage p = StainAndBorderPage(false);
        CStainBorderRemover remover;
        CBindHoleRemover holes;
        cleanup::RemoveStainsBordersAndHoles({true, false, false}, false, ImagesOf(p), L"", remover, holes);
        EXPECT_EQ(Dark(p, 1080, 830, 1120, 870, 254) == 0, c.gone) << c.threshold << " " << c.area;
    }
}

TEST_F(CleanupSteps, BorderSettingsReachTheRemover) {
    // A light-grey strip just right of the border is whitened only by the
    // erase radius; a threshold below the border's level keeps the border.
    for (int radius : {0, 8}) {
        ProcessSetting::rmblackborder.ratio = radius;
        TestPage p = StainAndBorderPage(false, 10);
        p.fillRect(61, 0, 64, 999, 200);
        CStainBorderRemover remover;
        CBindHoleRemover holes;
        cleanup::RemoveStainsBordersAndHoles({false, true, false}, false, ImagesOf(p), L"", remover, holes);
        EXPECT_EQ(Dark(p, 0, 0, 60, 999), 0) << radius;
        EXPECT_EQ(Dark(p, 61, 0, 64, 999, 200), radius == 8 ? 0 : 4 * 1000) << radius;
    }
    ProcessSetting::rmblackborder.threhold = 5;
    TestPage p = StainAndBorderPage(false, 10);
    CStainBorderRemover remover;
    CBindHoleRemover holes;
    cleanup::RemoveStainsBordersAndHoles({false, true, false}, false, ImagesOf(p), L"", remover, holes);
    EXPECT_EQ(Dark(p, 0, 0, 60, 999), kBorderPixels);
    // Bands of 0 % on every side with region 1: the text area is the whole
    // page, and a border inside it is kept.
    ProcessSetting::rmblackborder.threhold = 160;
    ProcessSetting::rmblackborder.region = 1;
    ProcessSetting::rmblackborder.left = 0;
    ProcessSetting::rmblackborder.right = 0;
    ProcessSetting::rmblackborder.top = 0;
    ProcessSetting::rmblackborder.bottom = 0;
    TestPage q = StainAndBorderPage(false);
    cleanup::RemoveStainsBordersAndHoles({false, true, false}, false, ImagesOf(q), L"", remover, holes);
    EXPECT_EQ(Dark(q, 0, 0, 60, 999), kBorderPixels);
}

TEST_F(CleanupSteps, ComparisonMarksFollowTheirBits) {
    struct Case {
        int bits;
        cleanup::Gates gates;
        bool stainMark, holeMark;
    };
    const Case cases[] = {
        {2, {true, false, false}, true, false},  {1, {true, false, false}, false, false},
        {1, {false, true, false}, true, false},  {2, {false, true, false}, false, false},
        {4, {false, false, true}, false, true},   {3, {false, false, true}, false, false},
    };
    for (const Case& c : cases) {
        ProcessSetting::compareimage = c.bits;
        TestPage p = StainAndBorderPage(true);
        CStainBorderRemover remover;
        CBindHoleRemover holes;
        cleanup::RemoveStainsBordersAndHoles(c.gates, true, ImagesOf(p), L"", remover, holes);
        if (c.gates.stains || c.gates.borders) {
            EXPECT_EQ(remover.MarkFlag(), c.stainMark) << c.bits;
            EXPECT_EQ(remover.ComparisonCopy() != nullptr, c.stainMark) << c.bits;
        }
        if (c.gates.holes) {
            EXPECT_EQ(holes.MarkFlag(), c.holeMark) << c.bits;
        }
    }
}

TEST_F(CleanupSteps, AColourPageIsCleanedInTheImageThatIsSaved) {
    ProcessSetting::compareimage = 2;
    for (bool keepColour : {true, false}) {
        TestPage p = StainAndBorderPage(true);
        CStainBorderRemover remover;
        CBindHoleRemover holes;
        cleanup::RemoveStainsBordersAndHoles({true, false, false}, keepColour, ImagesOf(p), L"", remover, holes);
        if (keepColour) {
            // Kept as colour: the colour image is cleaned and marked.
            EXPECT_EQ(DarkColour(p, 1080, 830, 1120, 870), 0);
            EXPECT_TRUE(remover.ComparisonIsColour());
        } else {
            // Saved as grey: the grey image is cleaned, and the comparison
            // copy is the 8-bit one a grey page's comparison image needs.
            EXPECT_EQ(Dark(p, 1080, 830, 1120, 870, 254), 0);
            EXPECT_GT(DarkColour(p, 1080, 830, 1120, 870), 400);
            EXPECT_FALSE(remover.ComparisonIsColour());
            ASSERT_NE(remover.ComparisonCopy(), nullptr);
        }
    }
}

namespace {

// Text in the middle and a dark-blue frame along the four edges: dark in
// the grey image (49), but not black in the mean-binarised colour image.
TestPage BoardPage() {
    TestPage p(1200, 1000, true);
    testdata::FillText(p, testdata::Font::Cjk, 40, 250, 250, 950, 750);
    for (int y = 0; y < 1000; ++y)
        for (int x = 0; x < 1200; ++x)
            if (x < 30 || y < 30 || x >= 1170 || y >= 970) p.setColour(x, y, 250, 30, 10);
    return p;
}

}  // namespace

TEST_F(CleanupSteps, BlackBoardForms) {
    struct Case {
        const char* what;
        std::uint8_t board;
        bool colourForm;
        std::uint8_t colourPixelsAreBlack;
        bool frameGoneInGrey, frameGoneInColour;
    };
    const Case cases[] = {
        {"gate off", 0, true, 1, false, false},
        {"grey form: dark in the grey image is enough", 1, false, 0, true, false},
        {"colour form: the blue frame is not black", 1, true, 0, false, false},
        {"colour form counting colour pixels as black", 1, true, 1, true, true},
    };
    for (const Case& c : cases) {
        TestPage p = BoardPage();
        const TestPage before = p;
        cleanup::BlackBoardRecord r;
        r.board = c.board;
        r.band = 10;
        r.eraseRadius = 3;
        r.colourPixelsAreBlack = c.colourPixelsAreBlack;
        CStainBorderRemover remover;
        cleanup::RemoveBlackBoard(r, ImagesOf(p), c.colourForm, remover);
        EXPECT_EQ(Dark(p, 0, 0, 29, 999, 128) == 0, c.frameGoneInGrey) << c.what;
        EXPECT_EQ(DarkColour(p, 0, 0, 29, 999) == 0, c.frameGoneInColour) << c.what;
        EXPECT_EQ(Dark(p, 300, 300, 900, 700), Dark(before, 300, 300, 900, 700)) << c.what;
        if (c.board) {
            EXPECT_FALSE(remover.MarkFlag()) << c.what << ": the board step never marks";
        }
    }
    ProcessSetting::rmblackboard.ratioarea = 7;
    ProcessSetting::rmblackboard.whiteframewid = 12;
    ProcessSetting::rmblackboard.includecolorpixel = 1;
    const cleanup::BlackBoardRecord r = cleanup::PipelineBoardRecord(true);
    EXPECT_EQ(r.board, 1);
    EXPECT_EQ(r.stains, 0);
    EXPECT_EQ(r.borders, 0);
    EXPECT_EQ(r.eraseRadius, 7);
    EXPECT_EQ(r.band, 12);
    EXPECT_EQ(r.colourPixelsAreBlack, 1);
    EXPECT_EQ(cleanup::PipelineBoardRecord(false).board, 0);
}

namespace {

// A 1000 x 1400 page at 300 dpi with a 6 mm punched hole in the left band.
TestPage HolePage(bool tinted) {
    TestPage p(1000, 1400, true);
    if (tinted) testdata::TintPaper(p, 3);
    const double r = testdata::MmPx(300, 3.0);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (std::hypot(x - 50.0, y - 600.0) <= r) p.setColour(x, y, 22, 20, 21);
    return p;
}

}  // namespace

TEST_F(CleanupSteps, HolesAreFilledInTheFormOfTheSavedImage) {
    ProcessSetting::bindhole.on = 1;
    struct Case {
        const char* what;
        bool tinted, keepColour;
    };
    const Case cases[] = {
        {"tinted paper kept in colour: patched with paper", true, true},
        {"white paper kept in colour: painted white", false, true},
        {"tinted paper saved as grey: white in the grey image", true, false},
    };
    for (const Case& c : cases) {
        TestPage p = HolePage(c.tinted);
        const TestPage before = p;
        CStainBorderRemover remover;
        CBindHoleRemover holes;
        cleanup::RemoveStainsBordersAndHoles({false, false, true}, c.keepColour, ImagesOf(p), L"", remover, holes);
        EXPECT_EQ(Dark(p, 0, 560, 99, 640, 64), 0) << c.what;
        const std::uint8_t* centre = p.c(50, 600);
        if (!c.keepColour) {
            EXPECT_TRUE(std::equal(centre, centre + 3, before.c(50, 600))) << c.what << ": colour untouched";
        } else if (c.tinted) {
            EXPECT_NE(centre[0], 255) << c.what;
            EXPECT_GT(centre[1], 200) << c.what;
        } else {
            EXPECT_EQ(centre[0] + centre[1] + centre[2], 3 * 255) << c.what;
        }
    }
    // Off in its block: nothing happens.
    TestPage p = HolePage(false);
    const TestPage before = p;
    BindHoleOptions off = cleanup::PipelineHoleOptions();
    off.on = 0;
    CBindHoleRemover holes;
    cleanup::RemoveBindHoles(off, L"", ImagesOf(p), true, holes);
    EXPECT_TRUE(p.sameGrey(before));
    EXPECT_TRUE(p.sameColour(before));
}

TEST_F(CleanupSteps, HoleBlockComesFromTheSettings) {
    ProcessSetting::bindhole.left = 11;
    ProcessSetting::bindhole.right = 12;
    ProcessSetting::bindhole.top = 13;
    ProcessSetting::bindhole.bottom = 14;
    ProcessSetting::bindhole.areamin = 3;
    ProcessSetting::bindhole.areamax = 90;
    ProcessSetting::holethresholdmin = 5;
    ProcessSetting::holethresholdmax = 70;
    ProcessSetting::bindhole.radius = 2;
    ProcessSetting::bindhole.ignore = 8;
    ProcessSetting::bindhole.backtype = 1;
    ProcessSetting::bindhole.colordelta = 30;
    ProcessSetting::holefillcolor = 1;
    ProcessSetting::compareimage = 5;
    const BindHoleOptions o = cleanup::PipelineHoleOptions();
    const int got[] = {o.on, o.left, o.right, o.top, o.bottom, o.smallestArea, o.largestArea, o.greyLow, o.greyHigh,
                       o.radius, o.ignoreCorners, o.backgroundType, o.colourDelta, o.whiteFill, o.markFlag};
    const int want[] = {1, 11, 12, 13, 14, 3, 90, 5, 70, 2, 8, 1, 30, 1, 1};
    for (int i = 0; i < 15; ++i) EXPECT_EQ(got[i], want[i]) << "field " << i;
    // The block's background type is not passed on: on white paper the
    // holes are painted white although the block says tinted.
    TestPage p = HolePage(false);
    CBindHoleRemover holes;
    BindHoleOptions options = cleanup::PipelineHoleOptions();
    options.greyLow = 0;
    cleanup::RemoveBindHoles(options, L"", ImagesOf(p), true, holes);
    const std::uint8_t* centre = p.c(50, 600);
    EXPECT_EQ(centre[0] + centre[1] + centre[2], 3 * 255);
}

TEST_F(CleanupSteps, GatesFollowTheRunType) {
    ProcessSetting::rmstains.on = 1;
    ProcessSetting::rmblackborder.on = 1;
    ProcessSetting::bindhole.on = 1;
    for (int runType : {0, 1, 2, 3}) {
        const cleanup::Gates g = cleanup::CurrentGates(runType);
        EXPECT_TRUE(g.stains && g.borders && g.holes) << runType;
    }
    cleanup::Gates scan = cleanup::CurrentGates(4);
    EXPECT_FALSE(scan.stains || scan.borders || scan.holes);
    ScanStepFlags::rmblackborder = 1;
    ScanStepFlags::bindhole = 1;
    ProcessSetting::rmstains.on = 0;
    scan = cleanup::CurrentGates(4);
    EXPECT_FALSE(scan.stains);
    EXPECT_TRUE(scan.borders);
    EXPECT_TRUE(scan.holes);
    ScanStepFlags::rmstains = 1;
    EXPECT_TRUE(cleanup::CurrentGates(4).stains);
    EXPECT_FALSE(cleanup::CurrentGates(0).stains);
}

TEST_F(CleanupSteps, BadImagesChangeNothing) {
    ProcessSetting::bindhole.on = 1;
    TestPage p = StainAndBorderPage(true);
    const TestPage before = p;
    struct Case {
        const char* what;
        cleanup::Images images;
    };
    cleanup::Images noGrey = ImagesOf(p);
    noGrey.grey = nullptr;
    cleanup::Images zero = ImagesOf(p);
    zero.width = 0;
    cleanup::Images negative = ImagesOf(p);
    negative.height = -5;
    cleanup::Images tooWide = ImagesOf(p);
    tooWide.width = 40000;  // beyond the engines' 16-bit point packing (never read)
    tooWide.height = 1;
    const Case cases[] = {{"no grey image", noGrey}, {"zero width", zero}, {"negative height", negative},
                          {"side above 32767", tooWide}};
    for (const Case& c : cases) {
        CStainBorderRemover remover;
        CBindHoleRemover holes;
        for (bool keep : {true, false}) {
            cleanup::RemoveStainsBordersAndHoles({true, false, true}, keep, c.images, L"", remover, holes);
            cleanup::RemoveStainsBordersAndHoles({false, true, false}, keep, c.images, L"", remover, holes);
            cleanup::BlackBoardRecord r;
            r.board = 1;
            if (c.images.width > 0 && c.images.height > 0 && c.images.width <= 32767)
                cleanup::RemoveBlackBoard(r, c.images, keep, remover);
        }
        EXPECT_TRUE(p.sameGrey(before)) << c.what;
        EXPECT_TRUE(p.sameColour(before)) << c.what;
    }
    // A colour form without a colour image erases nothing.
    cleanup::Images noColour = ImagesOf(p);
    noColour.colour = nullptr;
    CStainBorderRemover remover;
    CBindHoleRemover holes;
    cleanup::BlackBoardRecord r;
    r.board = 1;
    cleanup::RemoveBlackBoard(r, noColour, true, remover);
    EXPECT_TRUE(p.sameColour(before));
}

// Values no dialog would store reach the engines at the bounds of their
// ranges: the black board's radius and band as the settings dialog clamps
// them (1 to 20 and 1 to 100 pixels), the border erase radius (0 to 100
// pixels), the binding holes' fill radius (0 to 10 mm) and areas (0 to
// 1000 mm²). Unbounded, a band of 100000 pixels takes every dark pixel for
// the board and a radius of a million repaints the page once per piece.
TEST_F(CleanupSteps, OutOfRangeRadiiBandsAndAreasReachTheEnginesAtTheirBounds) {
    const int most = std::numeric_limits<int>::max(), least = std::numeric_limits<int>::min();
    struct Board {
        int radius, band, wantRadius, wantBand;
    };
    const Board boards[] = {
        {1000000, 100000, 20, 100}, {most, most, 20, 100}, {0, 0, 1, 1}, {least, least, 1, 1}, {7, 12, 7, 12}};
    for (const Board& b : boards) {
        ProcessSetting::rmblackboard.ratioarea = b.radius;
        ProcessSetting::rmblackboard.whiteframewid = b.band;
        const cleanup::BlackBoardRecord r = cleanup::PipelineBoardRecord(true);
        EXPECT_EQ(r.eraseRadius, b.wantRadius) << b.radius;
        EXPECT_EQ(r.band, b.wantBand) << b.band;
    }
    struct Holes {
        int radius, smallest, largest, wantRadius, wantSmallest, wantLargest;
    };
    const Holes holes[] = {{10000, most, most, 10, 1000, 1000}, {-1, least, -5, 0, 0, 0}, {3, 4, 90, 3, 4, 90}};
    for (const Holes& h : holes) {
        ProcessSetting::bindhole.radius = h.radius;
        ProcessSetting::bindhole.areamin = h.smallest;
        ProcessSetting::bindhole.areamax = h.largest;
        const BindHoleOptions o = cleanup::PipelineHoleOptions();
        EXPECT_EQ(o.radius, h.wantRadius) << h.radius;
        EXPECT_EQ(o.smallestArea, h.wantSmallest) << h.smallest;
        EXPECT_EQ(o.largestArea, h.wantLargest) << h.largest;
    }
    // The border's erase squares reach 100 pixels past it: the light strip
    // beside the border goes, the text 190 pixels away stays.
    ProcessSetting::rmblackborder.ratio = 1000000;
    TestPage p = StainAndBorderPage(false, 10);
    p.fillRect(61, 0, 64, 999, 200);
    const TestPage before = p;
    CStainBorderRemover remover;
    CBindHoleRemover holeRemover;
    cleanup::RemoveStainsBordersAndHoles({false, true, false}, false, ImagesOf(p), L"", remover, holeRemover);
    EXPECT_EQ(Dark(p, 0, 0, 60, 999), 0);
    EXPECT_EQ(Dark(p, 61, 0, 64, 999, 200), 0);
    EXPECT_EQ(Dark(p, 300, 300, 900, 700), Dark(before, 300, 300, 900, 700));
}

TEST_F(CleanupSteps, ExtremeSettingsFinish) {
    // Radii, bands, areas and thresholds far outside what the dialogs allow
    // end without harm (the sanitizer build runs this too); radii, band and
    // areas reach the engines at the bounds of their ranges. A threshold
    // below every level finds nothing dark for stains, borders and holes; a
    // threshold of 0 still takes the black border. The board step has a
    // threshold of its own (128) and a band of at least one pixel, so with
    // the smallest values it takes the black bar along the edge.
    struct Case {
        int radius, band, percent, threshold;
        float area;
        bool unchanged;
    };
    const Case cases[] = {
        {std::numeric_limits<int>::max(), std::numeric_limits<int>::max(), std::numeric_limits<int>::max(), 255, 1e30f,
         false},
        {std::numeric_limits<int>::min(), std::numeric_limits<int>::min(), std::numeric_limits<int>::min(), -1000, -5.0f,
         false},
        {1000, 100000, 1000, 0, 0.0f, false},
    };
    for (const Case& c : cases) {
        ProcessSetting::rmstains.areamax = c.area;
        ProcessSetting::rmstains.threhold = c.threshold;
        ProcessSetting::rmblackborder.ratio = c.radius;
        ProcessSetting::rmblackborder.threhold = c.threshold;
        ProcessSetting::rmblackborder.left = c.percent;
        ProcessSetting::rmblackborder.top = c.percent;
        ProcessSetting::rmblackborder.right = c.percent;
        ProcessSetting::rmblackborder.bottom = c.percent;
        ProcessSetting::bindhole.radius = c.radius;
        ProcessSetting::bindhole.left = c.percent;
        ProcessSetting::bindhole.top = c.percent;
        ProcessSetting::bindhole.areamin = c.radius;
        ProcessSetting::bindhole.areamax = c.radius;
        ProcessSetting::bindhole.ignore = c.percent;
        ProcessSetting::holethresholdmax = c.threshold;
        ProcessSetting::rmblackboard.ratioarea = c.radius;
        ProcessSetting::rmblackboard.whiteframewid = c.band;
        for (bool colour : {false, true}) {
            TestPage p(160, 120, colour);
            p.fillRect(0, 0, 10, 119, 0);
            p.disc(100, 60, 5, 30);
            const TestPage before = p;
            CStainBorderRemover remover;
            CBindHoleRemover holes;
            cleanup::RemoveStainsBordersAndHoles({true, false, true}, colour, ImagesOf(p), L"", remover, holes);
            cleanup::RemoveStainsBordersAndHoles({false, true, false}, colour, ImagesOf(p), L"", remover, holes);
            cleanup::RemoveBlackBoard(cleanup::PipelineBoardRecord(true), ImagesOf(p), colour, remover);
            EXPECT_EQ(p.sameGrey(before) && p.sameColour(before), c.unchanged) << c.threshold << (colour ? " colour" : " grey");
            if (c.threshold < 0) {
                EXPECT_EQ(Dark(p, 0, 0, 10, 119, 128), 0) << "the board takes the bar" << (colour ? " colour" : " grey");
                EXPECT_EQ(Dark(p, 90, 50, 110, 70), Dark(before, 90, 50, 110, 70)) << "and nothing else";
            }
        }
    }
}
