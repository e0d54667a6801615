// The detection pipeline: pages needing deskewing, pages with wide white
// margins and pages showing coloured paper edges are flagged; nothing else
// is.
#include <gtest/gtest.h>

#include <cmath>

#include "PipelinePages.h"
#include "ProcessorTestUtil.h"
#include "../SkewTestPages.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/Rotation.h"
#include "settings/DetectSetting.h"
#include "support/SyntheticPages.h"

namespace {

class Detection : public proctest::SettingsReset {
protected:
    void RunOn(CImageProcessor& p, const synth::Page& page, int quickSteps = 0) {
        p.runType = RUN_DETECTION;
        pipetest::SetWorking(p, page);
        p.RunPage(L"page.jpg", quickSteps, nullptr, nullptr, 0);
    }
};

// White paper with one black block of content; margins in pixels from the
// picture's left, right, top and bottom edges.
synth::Page MarginPage(int bpp, int left, int right, int top, int bottom) {
    synth::Page page = synth::Blank(1000, 800, bpp, synth::kWhite, 300);
    // Buffer rows are bottom-up: the picture's top margin is at the end.
    page.FillRect({left, bottom, 1000 - right, 800 - top}, synth::kBlack);
    return page;
}

// Coloured background with a white sheet inset by `inset` pixels on every
// side.
synth::Page SheetOnColour(int inset) {
    synth::Page page = synth::Blank(600, 500, 24, synth::Rgb(20, 40, 200), 300);
    page.FillRect({inset, inset, 600 - inset, 500 - inset}, synth::kWhite);
    return page;
}

}  // namespace

TEST_F(Detection, NothingIsCheckedWithoutAKindOrTheDeskewSwitch) {
    CImageProcessor p;
    RunOn(p, MarginPage(8, 200, 200, 200, 200));
    EXPECT_EQ(p.needsProcessing, 0);
    EXPECT_EQ(p.result, nullptr);
    EXPECT_FALSE(p.binaryImage);
}

// A skew inside the range flags the page at once; a smaller one is turned
// back in memory and the margins are checked on the turned page.
TEST_F(Detection, SkewsWithinTheRangeAreFlagged) {
    DetectSetting::correct = 1;
    DetectSetting::kind = 1;
    DetectSetting::minAngle = 0.2f;
    DetectSetting::maxAngle = 5.0f;
    for (double skew : {2.0, -2.0, 0.1, 0.0}) {
        SCOPED_TRACE(skew);
        skewpages::TextPageSpec spec;
        spec.angle = skew;
        spec.marginX = 30;  // content close to the edges: the margins pass
        spec.marginY = 30;
        CImageProcessor p;
        RunOn(p, skewpages::TextPage(spec));
        EXPECT_NEAR(p.skewSearcher.skewAngle, skew, 0.05 + 1e-4);
        const float found = std::fabs(p.skewSearcher.skewAngle);
        if (found >= 0.2f) {
            EXPECT_EQ(p.needsProcessing, 1);
            EXPECT_EQ(p.boxLeft, -1);  // no margin check
            continue;
        }
        int w = 0, h = 0;
        ASSERT_TRUE(rotation::CanvasSize(-static_cast<double>(p.skewSearcher.skewAngle), 900, 1200, &w, &h));
        EXPECT_EQ(p.resultWidth, w);
        EXPECT_EQ(p.resultHeight, h);
        EXPECT_EQ(p.result, p.canvas.get());
        EXPECT_NE(p.boxLeft, -1);  // the margins were checked
        EXPECT_EQ(p.needsProcessing, 0);
    }
}

// The skew search of a detection run looks 30 degrees either way at most,
// whatever the stored angle asks for: a page turned by 40 degrees is not
// found as 40.
TEST_F(Detection, TheSkewSearchStaysWithinThirtyDegrees) {
    DetectSetting::correct = 1;
    ProcessSetting::correct.angle = 90;
    skewpages::TextPageSpec spec;
    spec.angle = 40;
    CImageProcessor p;
    RunOn(p, skewpages::TextPage(spec));
    EXPECT_LE(std::fabs(p.skewSearcher.skewAngle), 30.5f);
}

TEST_F(Detection, WhiteMarginsWiderThanThePercentageAreFlagged) {
    DetectSetting::kind = 1;
    const struct Case {
        int left, right, top, bottom;
        float percent;
        bool flagged;
    } cases[] = {
        // 1000 x 800 at 5 %: 5 x 0.01 in single precision is just below 0.05,
        // so the limits are int(1000 x m) = 49 columns and int(800 x m) = 39
        // rows.
        {60, 41, 30, 30, 5.0f, true},   // 6 % on the left
        {40, 41, 30, 30, 5.0f, false},  // 4 %
        {40, 41, 30, 30, 3.0f, true},   // limit 30
        {49, 41, 30, 30, 5.0f, false},
        {50, 41, 30, 30, 5.0f, true},
        {40, 48, 30, 30, 5.0f, false},  // right: width - last content column = 49
        {40, 49, 30, 30, 5.0f, true},
        {40, 41, 38, 30, 5.0f, false},  // the picture's top: height - last row = 39
        {40, 41, 39, 30, 5.0f, true},
        {40, 41, 30, 39, 5.0f, false},  // the picture's bottom: the first rows in memory
        {40, 41, 30, 40, 5.0f, true},
    };
    for (const Case& c : cases)
        for (int bpp : {8, 24}) {
            SCOPED_TRACE(::testing::Message() << c.left << " " << c.right << " " << c.top << " " << c.bottom << " at "
                                              << c.percent << "% bpp " << bpp);
            DetectSetting::marginPercent = c.percent;
            CImageProcessor p;
            RunOn(p, MarginPage(bpp, c.left, c.right, c.top, c.bottom));
            EXPECT_EQ(p.needsProcessing, c.flagged ? 1 : 0);
            EXPECT_EQ(p.boxLeft, c.left);
            EXPECT_EQ(p.boxRight, 1000 - c.right - 1);
            EXPECT_EQ(p.boxTop, c.bottom);  // rows in memory order
            EXPECT_EQ(p.resultDepth, bpp);
        }
}

TEST_F(Detection, ColouredPaperEdgesWiderThanTheEdgeWidthAreFlagged) {
    DetectSetting::kind = 2;
    DetectSetting::edgePixels = 10;
    const struct Case {
        int inset;
        bool whiteOn, flagged;
    } cases[] = {
        {30, true, true},    // 30 + 30 > 10
        {3, true, false},    // 3 + 3 on each axis
        {30, false, false},  // no content colour: never flagged
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "inset " << c.inset << " white " << c.whiteOn);
        DetectSetting::white = c.whiteOn ? 1 : 0;
        CImageProcessor p;
        RunOn(p, SheetOnColour(c.inset));
        EXPECT_EQ(p.needsProcessing, c.flagged ? 1 : 0);
        if (c.whiteOn) {
            EXPECT_EQ(p.boxLeft, c.inset);
            EXPECT_EQ(p.boxRight, 600 - c.inset - 1);
            EXPECT_EQ(p.boxTop, c.inset);
            EXPECT_EQ(p.boxBottom, 500 - c.inset - 1);
        }
    }
    // A sheet on white with only blue as content: the blue lines are not
    // long enough anywhere.
    DetectSetting::white = 0;
    DetectSetting::blue = 1;
    CImageProcessor p;
    RunOn(p, SheetOnColour(30));
    EXPECT_EQ(p.boxLeft, -1);
    EXPECT_EQ(p.needsProcessing, 0);
}

TEST_F(Detection, ColouredEdgesAreNotCheckedOnGreyPages) {
    DetectSetting::kind = 2;
    DetectSetting::white = 1;
    ProcessSetting::filesave.retaincolor = 0;
    CImageProcessor p;
    RunOn(p, SheetOnColour(30));
    EXPECT_EQ(p.needsProcessing, 0);
    EXPECT_EQ(p.boxLeft, -1);
    EXPECT_EQ(p.resultDepth, 8);
    ProcessSetting::filesave.retaincolor = 1;
    CImageProcessor q;
    RunOn(q, SheetOnColour(30));
    EXPECT_EQ(q.needsProcessing, 1);
}

// One flagged page flags the file: the flag is never cleared by a later
// page.
TEST_F(Detection, AFlagOutlivesLaterPages) {
    DetectSetting::kind = 1;
    CImageProcessor p;
    RunOn(p, MarginPage(8, 200, 41, 41, 41));
    ASSERT_EQ(p.needsProcessing, 1);
    p.ReleaseBuffers(true);
    RunOn(p, MarginPage(8, 40, 41, 41, 41));
    EXPECT_EQ(p.needsProcessing, 1);
}

// The line walk of the coloured-edge check, row by row: every row of the
// page carries the same pattern of white paper (the content colour) and
// blue background, so the rows are accepted exactly when the pattern is.
TEST_F(Detection, TheEdgeLineWalkCountsRunsGapsAndLongBreaks) {
    DetectSetting::kind = 2;
    DetectSetting::white = 1;
    const int w = 600, h = 50;
    struct Span {
        int from, to;  // white columns, inclusive
    };
    auto gapsOf = [&](int count) {  // white with `count` blue gaps of 6 columns
        std::vector<Span> s;
        int x = 0;
        for (int i = 0; i < count; ++i) {
            s.push_back({x, x + 23});
            x += 24 + 6;
        }
        s.push_back({x, w - 1});
        return s;
    };
    const struct Case {
        const char* what;
        std::vector<Span> white;
        bool accepted;
    } cases[] = {
        {"a long sheet", {{20, 579}}, true},
        {"half the line or less", {{20, 319}}, false},  // 300 white of 600: not more than half
        {"301 white but a span of 300", {{20, 320}}, false},  // last - first must exceed half too
        {"just over half", {{20, 321}}, true},
        {"19 gaps", gapsOf(19), true},
        {"20 gaps", gapsOf(20), false},
        {"a break of 50", {{0, 299}, {350, 599}}, true},
        {"a break of 51 ends the walk", {{0, 299}, {351, 599}}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        synth::Page page = synth::Blank(w, h, 24, synth::Rgb(20, 40, 200), 300);
        for (const Span& s : c.white) page.FillRect({s.from, 0, s.to + 1, h}, synth::kWhite);
        CImageProcessor p;
        RunOn(p, page);
        EXPECT_EQ(p.boxTop, c.accepted ? 0 : -1);
        EXPECT_EQ(p.boxBottom, c.accepted ? h - 1 : -1);
        // Columns are all white or all blue: the first white one is the left.
        EXPECT_EQ(p.boxLeft, c.white.front().from);
    }
}
