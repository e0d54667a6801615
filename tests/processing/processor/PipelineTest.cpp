// The batch pipeline: which steps run under which gates, in which order, on
// which branch, and what the seal, blank-page and deskew steps do to a page.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "PipelinePages.h"
#include "../SkewTestPages.h"
#include "ProcessorTestUtil.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/PixelMath.h"
#include "processing/Rotation.h"
#include "processing/VectorLoops.h"
#include "support/GlyphText.h"
#include "support/HolePages.h"
#include "support/SyntheticPages.h"

using Step = CImageProcessor::PipelineStep;

namespace {

std::string Name(Step s) {
    static const char* const names[] = {"background", "autocontrast", "stains/borders/holes", "blackboard",
                                        "skew detection", "rotation", "centre", "cut by colour", "cut white",
                                        "remove seal", "strengthen seal", "blank page", "change colour",
                                        "text direction", "output size"};
    return names[static_cast<int>(s)];
}

std::string Names(const std::vector<Step>& steps) {
    std::string out;
    for (Step s : steps) out += (out.empty() ? "" : ", ") + Name(s);
    return "[" + out + "]";
}

// Every gate the pipeline reads, each as its setting (run types 0 to 2) and
// its scan switch (run type 4), with the step it opens. Background removal
// and skew detection are gated by the quick-step bits outside scan runs.
synth::Page SmallColourPage() {
    synth::Page page = synth::TextPage(240, 180, 24, 100, 5);
    synth::DrawStamp(page, 60, 120, 30, 4, synth::kSealRed);
    return page;
}

using Effect = std::function<::testing::AssertionResult(const CImageProcessor&, const synth::Page&)>;

struct Gate {
    const char* name;
    Step step;
    std::function<void(int)> setting;
    std::function<void(int)> scanSwitch;
    bool colourOnly;
    // A colour page on which the step visibly acts (its grey form for the
    // grey branch), values the step needs besides its gate, and the check
    // that finds the step's effect after a run.
    std::function<synth::Page()> page = {};
    std::function<void()> values = {};
    Effect effect = {};
};

// ---- what the steps leave behind ----

using ::testing::AssertionFailure;
using ::testing::AssertionResult;
using ::testing::AssertionSuccess;

// Grey level of the result at (x, y) in buffer coordinates.
int LevelAt(const CImageProcessor& p, int x, int y) {
    const BYTE* row = p.result + px::StrideFor(p.resultWidth, p.resultDepth == 24 ? 24 : 8) * y;
    return p.resultDepth == 24 ? px::Grey(row[3 * x], row[3 * x + 1], row[3 * x + 2]) : row[x];
}

// Every channel of every result pixel, with the pixel's coordinates.
template <typename F>
void ForEachValue(const CImageProcessor& p, F f) {
    const int channels = p.resultDepth == 24 ? 3 : 1;
    const std::size_t stride = px::StrideFor(p.resultWidth, channels * 8);
    for (int y = 0; y < p.resultHeight; ++y)
        for (int x = 0; x < p.resultWidth * channels; ++x) f(x / channels, y, p.result[stride * y + x]);
}

AssertionResult HasResult(const CImageProcessor& p) {
    if (!p.result || p.resultWidth <= 0 || p.resultHeight <= 0) return AssertionFailure() << "no result";
    return AssertionSuccess();
}

// The colour steps' effects exist only on a colour page with a colour result.
AssertionResult HasColourResult(const CImageProcessor& p, const synth::Page& page) {
    if (!HasResult(p)) return HasResult(p);
    if (p.resultDepth != 24 || page.bpp != 24) return AssertionFailure() << "not a colour page and result";
    return AssertionSuccess();
}

// The levels reach both ends of the range.
Effect Stretched() {
    return [](const CImageProcessor& p, const synth::Page&) {
        if (!HasResult(p)) return HasResult(p);
        int lo = 255, hi = 0;
        ForEachValue(p, [&](int, int, BYTE v) { lo = std::min<int>(lo, v), hi = std::max<int>(hi, v); });
        if (lo <= 10 && hi >= 245) return AssertionSuccess();
        return AssertionFailure() << "levels span " << lo << ".." << hi;
    };
}

// Every pixel of the rectangle (buffer coordinates) is light.
Effect Whitened(synth::Rect r) {
    return [r](const CImageProcessor& p, const synth::Page&) {
        if (!HasResult(p)) return HasResult(p);
        int dark = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) dark += LevelAt(p, x, y) < 200;
        if (dark == 0) return AssertionSuccess();
        return AssertionFailure() << dark << " dark pixels left in (" << r.left << "," << r.top << ")-(" << r.right
                                  << "," << r.bottom << ")";
    };
}

AssertionResult DarkBox(const CImageProcessor& p, synth::Rect* box) {
    *box = synth::Rect{p.resultWidth, p.resultHeight, -1, -1};
    for (int y = 0; y < p.resultHeight; ++y)
        for (int x = 0; x < p.resultWidth; ++x)
            if (LevelAt(p, x, y) < 128) {
                box->left = std::min(box->left, x), box->right = std::max(box->right, x + 1);
                box->top = std::min(box->top, y), box->bottom = std::max(box->bottom, y + 1);
            }
    if (box->right < 0) return AssertionFailure() << "nothing dark in the result";
    return AssertionSuccess();
}

// The dark content sits in the middle both ways.
Effect Centred() {
    return [](const CImageProcessor& p, const synth::Page&) {
        if (!HasResult(p)) return HasResult(p);
        synth::Rect b;
        if (!DarkBox(p, &b)) return DarkBox(p, &b);
        const int dx = b.left - (p.resultWidth - b.right), dy = b.top - (p.resultHeight - b.bottom);
        if (std::abs(dx) <= 2 && std::abs(dy) <= 2) return AssertionSuccess();
        return AssertionFailure() << "content off the middle by " << dx << ", " << dy;
    };
}

Effect SizeIs(int w, int h) {
    return [w, h](const CImageProcessor& p, const synth::Page&) {
        if (!HasResult(p)) return HasResult(p);
        if (p.resultWidth == w && p.resultHeight == h) return AssertionSuccess();
        return AssertionFailure() << "result is " << p.resultWidth << " x " << p.resultHeight;
    };
}

// Pixels of seal red in a colour result.
int RedPixels(const BYTE* bits, int w, int h) {
    const std::size_t stride = px::Stride24(w);
    int n = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const BYTE* c = bits + stride * y + 3 * x;
            n += c[2] > 150 && c[1] < 100 && c[0] < 100;
        }
    return n;
}

// At most a tenth of the page's seal red is left.
Effect SealGone() {
    return [](const CImageProcessor& p, const synth::Page& page) {
        if (AssertionResult c = HasColourResult(p, page); !c) return c;
        const int before = RedPixels(page.Data(), page.width, page.height);
        const int after = RedPixels(p.result, p.resultWidth, p.resultHeight);
        if (before > 0 && after * 10 <= before) return AssertionSuccess();
        return AssertionFailure() << "seal red pixels " << before << " -> " << after;
    };
}

// The seal's pixels changed, and none of them became light.
Effect SealChanged() {
    return [](const CImageProcessor& p, const synth::Page& page) {
        if (AssertionResult c = HasColourResult(p, page); !c) return c;
        if (p.resultWidth != page.width || p.resultHeight != page.height) return AssertionFailure() << "size changed";
        const std::size_t stride = px::Stride24(page.width);
        int seal = 0, changed = 0, lost = 0;
        for (int y = 0; y < page.height; ++y)
            for (int x = 0; x < page.width; ++x) {
                const BYTE* c = page.Data() + stride * y + 3 * x;
                if (!(c[2] > 150 && c[1] < 100 && c[0] < 100)) continue;
                ++seal;
                const BYTE* r = p.result + stride * y + 3 * x;
                changed += std::memcmp(c, r, 3) != 0;
                lost += px::Grey(r[0], r[1], r[2]) > 200;
            }
        if (seal > 0 && changed * 2 >= seal && lost == 0) return AssertionSuccess();
        return AssertionFailure() << changed << " of " << seal << " seal pixels changed, " << lost << " became light";
    };
}

Effect FoundBlank() {
    return [](const CImageProcessor& p, const synth::Page&) {
        if (p.blankDetector.Result() == 1) return AssertionSuccess();
        return AssertionFailure() << "the blank-page detector says " << int(p.blankDetector.Result());
    };
}

// The paper around (x, y) took the new background colour.
Effect PaperIs(int x, int y, synth::Colour c) {
    return [x, y, c](const CImageProcessor& p, const synth::Page& page) {
        if (AssertionResult colour = HasColourResult(p, page); !colour) return colour;
        if (x >= p.resultWidth || y >= p.resultHeight) return AssertionFailure() << "result too small";
        const BYTE* r = p.result + px::Stride24(p.resultWidth) * y + 3 * x;
        if (r[0] == c.b && r[1] == c.g && r[2] == c.r) return AssertionSuccess();
        return AssertionFailure() << "paper is " << int(r[2]) << "," << int(r[1]) << "," << int(r[0]);
    };
}

// A text page upright and turned upside down (rendered once).
const std::pair<synth::Page, synth::Page>& UprightAndUpsideDown() {
    static const std::pair<synth::Page, synth::Page> pages = [] {
        testdata::TestPage text(620, 880, true);
        testdata::FillText(text, testdata::Font::LatinSerif, 42, 50, 50, 570, 830);
        auto toPage = [](const testdata::TestPage& t) {
            synth::Page page(t.width, t.height, 24, t.dpi);
            std::memcpy(page.Data(), t.bgr.data(), page.bits.size());
            return page;
        };
        return std::pair{toPage(text), toPage(testdata::Turn(text, 2))};
    }();
    return pages;
}

// The text was found upside down and the result is the page turned back.
Effect TurnedUpright() {
    return [](const CImageProcessor& p, const synth::Page&) {
        if (!HasResult(p)) return HasResult(p);
        if (p.directionDetector.Angle() != 180)
            return AssertionFailure() << "text direction " << p.directionDetector.Angle();
        const synth::Page& upright = UprightAndUpsideDown().first;
        const synth::Page want = p.resultDepth == 24 ? upright : synth::ToGrey(upright);
        return pipetest::ResultEquals(p, want.Data(), want.width, want.height, want.bpp);
    };
}

// ---- the pages ----

// Levels spread evenly over 90..170 only.
synth::Page FlatPage() {
    synth::Page page(240, 180, 24, 100);
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x) {
            const int v = 90 + (x * 80) / (page.width - 1);
            page.Set(x, y, synth::Rgb(v, v, v));
        }
    return page;
}

// A 600 x 400 page at 300 dpi with a line of text in the middle.
synth::Page TextLinePage() {
    synth::Page page = synth::Blank(600, 400, 24, synth::kWhite, 300);
    synth::TextOptions text;
    text.area = synth::Rect{150, 150, 450, 250};
    text.charHeight = 36;
    synth::DrawText(page, text);
    return page;
}

synth::Page StainPage() {
    synth::Page page = TextLinePage();
    page.FillDisc(550, 350, 6, synth::Rgb(40, 40, 40));
    return page;
}

synth::Page BorderPage() {
    synth::Page page = TextLinePage();
    page.FillRect(synth::Rect{0, 0, 30, 400}, synth::kBlack);
    return page;
}

// A punched hole of 6 mm in the left band of a 1000 x 1400 page at 300 dpi.
synth::Page HolePage() {
    synth::Page page = synth::Blank(1000, 1400, 24, synth::kWhite, 300);
    page.FillDisc(50, 600, 35, synth::Rgb(21, 20, 22));
    return page;
}

synth::Page BoardPage() {
    synth::Page page = TextLinePage();
    for (const synth::Rect r : {synth::Rect{0, 0, 600, 20}, synth::Rect{0, 380, 600, 400}, synth::Rect{0, 0, 20, 400},
                                synth::Rect{580, 0, 600, 400}})
        page.FillRect(r, synth::kBlack);
    return page;
}

synth::Page OffCentrePage() {
    synth::Page page = synth::Blank(600, 400, 24, synth::kWhite, 300);
    page.FillRect(synth::Rect{40, 60, 140, 160}, synth::kBlack);
    return page;
}

synth::Page FramedColourPage() {
    synth::Page page(300, 200, 24, 300);
    page.Fill(synth::Rgb(30, 40, 200));
    page.FillRect(synth::Rect{50, 30, 250, 170}, synth::kWhite);
    return page;
}

synth::Page MarginsPage() {
    synth::Page page = synth::Blank(500, 400, 24, synth::kWhite, 300);
    page.FillRect(synth::Rect{100, 120, 300, 260}, synth::kBlack);
    return page;
}

std::vector<Gate> Gates() {
    auto flag = [](RelaxedAtomic<std::uint8_t>& f) { return [&f](int v) { f = static_cast<std::uint8_t>(v); }; };
    auto value = [](RelaxedAtomic<std::int32_t>& f) { return [&f](int v) { f = v; }; };
    const synth::Rect board[] = {{0, 0, 600, 20}, {0, 380, 600, 400}, {0, 0, 20, 400}, {580, 0, 600, 400}};
    return {
        {"autocontrast", Step::kAutoContrast, value(ProcessSetting::autocontrast.on), flag(ScanStepFlags::autocontrast), false,
         FlatPage, {}, Stretched()},
        {"rmstains", Step::kStainsBordersHoles, flag(ProcessSetting::rmstains.on), flag(ScanStepFlags::rmstains), false,
         StainPage, {}, Whitened({540, 340, 561, 361})},
        {"rmblackborder", Step::kStainsBordersHoles, flag(ProcessSetting::rmblackborder.on), flag(ScanStepFlags::rmblackborder), false,
         BorderPage, {}, Whitened({0, 0, 30, 400})},
        {"bindhole", Step::kStainsBordersHoles, value(ProcessSetting::bindhole.on), flag(ScanStepFlags::bindhole), false,
         HolePage, {}, Whitened({10, 560, 91, 641})},
        {"rmblackboard", Step::kBlackBoard, value(ProcessSetting::rmblackboard.on), flag(ScanStepFlags::rmblackboard), false,
         BoardPage, {},
         [board](const CImageProcessor& p, const synth::Page& page) {
             for (const synth::Rect& r : board)
                 if (AssertionResult a = Whitened(r)(p, page); !a) return a;
             return AssertionSuccess();
         }},
        {"center", Step::kCentre, value(ProcessSetting::center.on), flag(ScanStepFlags::center), false,
         OffCentrePage, [] { ProcessSetting::center.type = 3; }, Centred()},
        {"cutbybkcolor", Step::kCutByBkColor, value(ProcessSetting::cutbybkcolor.on), flag(ScanStepFlags::cutbybkcolor), true,
         FramedColourPage, [] { ProcessSetting::cutbybkcolor.white = 1; }, SizeIs(200, 140)},
        {"cutwhite", Step::kCutWhite, value(ProcessSetting::cutwhite.on), flag(ScanStepFlags::cutwhite), false,
         MarginsPage, [] { ProcessSetting::cutwhite.margin = 0; }, SizeIs(200 + 50, 140 + 50)},
        {"rmredseal", Step::kRemoveRedSeal, value(ProcessSetting::rmredseal.on), flag(ScanStepFlags::rmredseal), true,
         SmallColourPage, [] { ProcessSetting::rmredseal.area = 20; }, SealGone()},
        {"strenredseal", Step::kStrengthenRedSeal, value(ProcessSetting::strenredseal.on), flag(ScanStepFlags::strenredseal), true,
         SmallColourPage, [] { ProcessSetting::strenredseal.area = 20; }, SealChanged()},
        {"rmblankpage", Step::kBlankPage, value(ProcessSetting::rmblankpage.on), flag(ScanStepFlags::rmblankpage), false,
         [] { return synth::Blank(300, 400, 24, synth::kWhite, 100); }, {}, FoundBlank()},
        {"modifycolor", Step::kChangeBkColor, value(ProcessSetting::modifycolor.on), flag(ScanStepFlags::modifycolor), true,
         TextLinePage, {}, PaperIs(300, 50, synth::Rgb(254, 249, 197))},
        {"rotatetextdirect", Step::kTextDirection, value(ProcessSetting::rotatetextdirect.on), flag(ScanStepFlags::rotatetextdirect), false,
         [] { return UprightAndUpsideDown().second; }, {}, TurnedUpright()},
        {"output", Step::kOutputSize, value(ProcessSetting::output.on), flag(ScanStepFlags::output), false,
         SmallColourPage,
         [] {
             ProcessSetting::output.widpixel = 300;
             ProcessSetting::output.heipixel = 200;
         },
         SizeIs(300, 200)},
    };
}

// Every step gate closed (the start values open none but deskewing and
// background removal, which the quick-step bits gate).
void CloseEveryGate() {
    for (const Gate& g : Gates()) {
        g.setting(0);
        g.scanSwitch(0);
    }
    ScanStepFlags::rmbkcolor = 0;
    ScanStepFlags::correct = 0;
}

std::vector<Step> RunOn(const synth::Page& page, int runType, int quickSteps, CImageProcessor& p) {
    p.runType = runType;
    pipetest::SetWorking(p, page);
    p.RunPage(L"page.jpg", quickSteps, nullptr, nullptr, 0);
    return p.stepsRun;
}

class Pipeline : public proctest::SettingsReset {};

}  // namespace

// Each gate opens its own step and no other, in plain and in scan runs; a
// scan run ignores the setting and a plain run ignores the scan switch. The
// colour-only steps never run on the grey branch.
TEST_F(Pipeline, EachStepRunsExactlyWhenItsGateIsOn) {
    for (const Gate& g : Gates()) {
        const synth::Page colour = g.page();
        const synth::Page grey = synth::ToGrey(colour);
        for (int runType : {0, 1, 4})
            for (bool viaScanSwitch : {false, true})
                for (const synth::Page* page : {&colour, &grey}) {
                    SCOPED_TRACE(::testing::Message() << g.name << " run type " << runType
                                                      << (viaScanSwitch ? " scan switch" : " setting")
                                                      << (page->bpp == 24 ? " colour" : " grey"));
                    Reset();
                    CloseEveryGate();
                    if (g.values) g.values();
                    (viaScanSwitch ? g.scanSwitch : g.setting)(1);
                    CImageProcessor p;
                    const std::vector<Step> ran = RunOn(*page, runType, 0, p);
                    const bool opens = viaScanSwitch == (runType == 4) && !(g.colourOnly && page->bpp != 24);
                    const std::vector<Step> want = opens ? std::vector<Step>{g.step} : std::vector<Step>{};
                    EXPECT_EQ(ran, want) << "ran " << Names(ran);
                    // The step did its work on the page, or nothing happened.
                    if (opens) {
                        EXPECT_TRUE(g.effect(p, *page));
                    } else {
                        EXPECT_FALSE(g.effect(p, *page));
                        EXPECT_TRUE(pipetest::ResultEquals(p, page->Data(), page->width, page->height, page->bpp));
                    }
                }
    }
}

// Every step, and the default steps (background removal and deskew) on
// scan-like pages askew, give the same bytes whether the pixel loops take
// AVX-512 or only AVX2, as on most desktop processors.
TEST_F(Pipeline, EveryStepGivesTheSameBytesWithoutAvx512) {
    if (!vectorloops::Avx512()) GTEST_SKIP() << "this processor has no AVX-512 loops to set aside";
    struct Result {
        std::vector<Step> ran;
        int width = 0, height = 0, depth = 0;
        std::vector<BYTE> bytes;
    };
    const auto run = [](const synth::Page& page, int quickSteps) {
        CImageProcessor p;
        Result r;
        r.ran = RunOn(page, 0, quickSteps, p);
        r.width = p.resultWidth;
        r.height = p.resultHeight;
        r.depth = p.resultDepth;
        if (p.result) r.bytes.assign(p.result, p.result + PixelBytes(p.resultWidth, p.resultHeight, p.resultDepth));
        return r;
    };
    const auto sameBothWays = [&](const synth::Page& page, int quickSteps) {
        const Result wide = run(page, quickSteps);
        Result narrow;
        {
            const vectorloops::WithoutAvx512 aside;
            EXPECT_FALSE(rotation::Avx512Available());
            narrow = run(page, quickSteps);
        }
        EXPECT_TRUE(rotation::Avx512Available());
        EXPECT_FALSE(wide.ran.empty());
        EXPECT_EQ(wide.ran, narrow.ran);
        EXPECT_EQ(wide.width, narrow.width);
        EXPECT_EQ(wide.height, narrow.height);
        EXPECT_EQ(wide.depth, narrow.depth);
        EXPECT_TRUE(wide.bytes == narrow.bytes) << "ran " << Names(wide.ran);
    };
    for (const Gate& g : Gates()) {
        const synth::Page colour = g.page();
        for (const synth::Page& page : {colour, synth::ToGrey(colour)}) {
            if (g.colourOnly && page.bpp != 24) continue;
            SCOPED_TRACE(::testing::Message() << g.name << (page.bpp == 24 ? " colour" : " grey"));
            Reset();
            CloseEveryGate();
            if (g.values) g.values();
            g.setting(1);
            sameBothWays(page, 0);
        }
    }
    // Text on tinted paper with noise (every level of the background's
    // tables met), turned as scans come.
    std::uint64_t seed = 11;
    for (double skew : {1.3, -4.2})
        for (int bpp : {8, 24}) {
            SCOPED_TRACE(::testing::Message() << "default steps, " << skew << " degrees, " << bpp << " bits");
            Reset();
            CloseEveryGate();
            const synth::Page page = synth::Turned(
                synth::TextPage(1003, 1414, bpp, 150, seed++, synth::kYellowedPaper, 12), skew, synth::kYellowedPaper);
            sameBothWays(page, 3);
        }
}

// Background removal and skew detection: the quick-step bits in plain runs,
// the scan switches in scan runs; the rotation follows quick-step bit 0 in
// every run type.
TEST_F(Pipeline, QuickStepBitsAndScanSwitchesGateBackgroundAndDeskew) {
    const synth::Page colour = SmallColourPage();
    const struct Case {
        int runType, quick, scanBackground, scanCorrect;
        std::vector<Step> want;
    } cases[] = {
        {0, 0, 1, 1, {}},
        {0, 2, 0, 0, {Step::kBackgroundRemoval}},
        {0, 1, 0, 0, {Step::kSkewDetection, Step::kRotation}},
        {2, 3, 0, 0, {Step::kBackgroundRemoval, Step::kSkewDetection, Step::kRotation}},
        {4, 2, 0, 0, {}},
        {4, 0, 1, 0, {Step::kBackgroundRemoval}},
        {4, 0, 0, 1, {}},  // quick-step bit 0 clear: no deskew at all
        {4, 1, 0, 1, {Step::kSkewDetection, Step::kRotation}},
        {4, 1, 0, 0, {Step::kRotation}},  // rotated by the stored angle
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "run type " << c.runType << " quick " << c.quick << " scan background "
                                          << c.scanBackground << " scan correct " << c.scanCorrect);
        CloseEveryGate();
        ScanStepFlags::rmbkcolor = static_cast<std::uint8_t>(c.scanBackground);
        ScanStepFlags::correct = static_cast<std::uint8_t>(c.scanCorrect);
        CImageProcessor p;
        const std::vector<Step> ran = RunOn(colour, c.runType, c.quick, p);
        EXPECT_EQ(ran, c.want) << "ran " << Names(ran);
    }
}

TEST_F(Pipeline, StepsRunInThePipelineOrder) {
    const synth::Page colour = SmallColourPage();
    for (const Gate& g : Gates()) g.setting(1);
    ProcessSetting::output.widpixel = 300;
    ProcessSetting::output.heipixel = 200;
    CImageProcessor p;
    const std::vector<Step> ran = RunOn(colour, 0, 3, p);
    // Both seal gates are on: only the removal runs.
    const std::vector<Step> want = {Step::kBackgroundRemoval, Step::kAutoContrast,  Step::kStainsBordersHoles,
                                    Step::kBlackBoard,        Step::kSkewDetection, Step::kRotation,
                                    Step::kCentre,            Step::kCutByBkColor,  Step::kCutWhite,
                                    Step::kRemoveRedSeal,     Step::kBlankPage,     Step::kChangeBkColor,
                                    Step::kTextDirection,     Step::kOutputSize};
    EXPECT_EQ(ran, want) << "ran " << Names(ran);
    EXPECT_EQ(p.resultDepth, 24);
    EXPECT_EQ(p.resultWidth, 300);
    EXPECT_EQ(p.resultHeight, 200);
    EXPECT_EQ(p.result, p.sizeCanvas.get());
}

// Without keep colour a colour page goes down the grey branch: the colour
// steps are skipped even with their gates on, and the result is the 8-bit
// grey image.
TEST_F(Pipeline, KeepColourOffSendsAColourPageDownTheGreyBranch) {
    const synth::Page colour = SmallColourPage();
    CloseEveryGate();
    ProcessSetting::filesave.retaincolor = 0;
    ProcessSetting::cutbybkcolor.on = 1;
    ProcessSetting::cutbybkcolor.white = 1;
    ProcessSetting::rmredseal.on = 1;
    ProcessSetting::strenredseal.on = 1;
    ProcessSetting::modifycolor.on = 1;
    CImageProcessor p;
    EXPECT_TRUE(RunOn(colour, 0, 0, p).empty());
    EXPECT_EQ(p.resultDepth, 8);
    EXPECT_EQ(p.result, p.greyImage.get());
    EXPECT_EQ(p.resultWidth, colour.width);
    // The seal is still in the grey image: nothing whitened it.
    const synth::Page grey = synth::ToGrey(colour);
    EXPECT_TRUE(pipetest::ResultEquals(p, grey.Data(), grey.width, grey.height, 8));

    // The same page with keep colour runs them.
    ProcessSetting::filesave.retaincolor = 1;
    CImageProcessor q;
    EXPECT_EQ(RunOn(colour, 0, 0, q),
              (std::vector<Step>{Step::kCutByBkColor, Step::kRemoveRedSeal, Step::kChangeBkColor}));
    EXPECT_EQ(q.resultDepth, 24);
}

// A page from a 1-bit source never gets background removal and stays
// 1-bit on the grey branch.
TEST_F(Pipeline, AOneBitSourceGetsNoBackgroundRemovalAndStaysOneBit) {
    const synth::Page binary = synth::ToBinary(synth::ToGrey(SmallColourPage()));
    for (int runType : {0, 4}) {
        SCOPED_TRACE(runType);
        CloseEveryGate();
        ScanStepFlags::rmbkcolor = 1;
        ProcessSetting::rmbkcolor.contrast = 200;  // would change every level
        CImageProcessor p;
        p.runType = runType;
        pipetest::SetWorking(p, binary, 1);
        p.RunPage(L"page.tif", 2, nullptr, nullptr, 0);
        EXPECT_TRUE(p.stepsRun.empty()) << Names(p.stepsRun);
        EXPECT_EQ(p.resultDepth, 1);
        EXPECT_TRUE(pipetest::ResultEquals(p, binary.Data(), binary.width, binary.height, 8));
    }
}

// Deskewing: quick-step bit 0 clear leaves the page at its size even when
// the scan switch asks for skew detection; with the bit set and detection
// off the page is turned by the angle this processor detected last (0
// before any), which still enlarges the canvas; keep size crops it back.
TEST_F(Pipeline, DeskewFollowsQuickBitZeroAndTheStoredAngle) {
    const synth::Page colour = SmallColourPage();
    CloseEveryGate();
    ScanStepFlags::correct = 1;
    {
        CImageProcessor p;
        RunOn(colour, 4, 0, p);
        EXPECT_EQ(p.result, p.colourImage.get());
        EXPECT_EQ(p.resultWidth, colour.width);
        EXPECT_EQ(p.resultHeight, colour.height);
        EXPECT_FALSE(p.canvas);
    }
    ScanStepFlags::correct = 0;
    for (float stored : {0.0f, 2.5f}) {
        SCOPED_TRACE(stored);
        CImageProcessor p;
        p.skewSearcher.skewAngle = stored;
        RunOn(colour, 4, 1, p);
        int w = 0, h = 0;
        ASSERT_TRUE(rotation::CanvasSize(-static_cast<double>(stored), colour.width, colour.height, &w, &h));
        EXPECT_EQ(p.resultWidth, w);
        EXPECT_EQ(p.resultHeight, h);
        EXPECT_EQ(p.result, p.canvas.get());
        if (stored == 0.0f) {
            EXPECT_EQ(w, colour.width + 1);
            EXPECT_EQ(h, colour.height + 1);
        }
    }
    ProcessSetting::correct.keepsize = 1;
    CImageProcessor p;
    p.skewSearcher.skewAngle = 2.5f;
    RunOn(colour, 4, 1, p);
    EXPECT_EQ(p.resultWidth, colour.width);
    EXPECT_EQ(p.resultHeight, colour.height);
    EXPECT_EQ(p.result, p.colourImage.get());
    EXPECT_FALSE(p.canvas);
}

// A colour source whose colour image is gone has its grey image turned: the
// page goes down the grey branch and is saved in grey (never grey rows read
// as colour ones), and keep size crops the grey canvas back to the page's
// size. The canvas a crop came from is freed; the result never points into
// it.
TEST_F(Pipeline, AColourSourceWithoutItsColourImageIsTurnedAndSavedInGrey) {
    const synth::Page grey = synth::ToGrey(SmallColourPage());
    for (int keepSize : {0, 1}) {
        SCOPED_TRACE(::testing::Message() << "keep size " << keepSize);
        Reset();
        CloseEveryGate();
        ProcessSetting::correct.keepsize = keepSize;
        CImageProcessor p;
        p.skewSearcher.skewAngle = 2.5f;
        p.runType = 4;
        pipetest::SetWorking(p, grey, 24);
        ASSERT_FALSE(p.colourImage);
        p.RunPage(L"page.jpg", 1, nullptr, nullptr, 0);
        ASSERT_NE(p.result, nullptr);
        EXPECT_EQ(p.resultDepth, 8);
        if (keepSize) {
            EXPECT_FALSE(p.canvas);
            EXPECT_EQ(p.result, p.greyImage.get());
            EXPECT_EQ(p.resultWidth, grey.width);
            EXPECT_EQ(p.resultHeight, grey.height);
        } else {
            EXPECT_EQ(p.result, p.canvas.get());
            EXPECT_EQ(p.canvasDepth, 8);
        }
    }
}

// A known skew is found and turned back on a text page, colour or grey.
TEST_F(Pipeline, ASkewedPageIsFoundAndTurnedBack) {
    for (double skew : {-2.0, 1.5})
        for (bool colour : {false, true}) {
            SCOPED_TRACE(::testing::Message() << skew << (colour ? " colour" : " grey"));
            CloseEveryGate();
            skewpages::TextPageSpec spec;
            spec.angle = skew;
            const synth::Page grey = skewpages::TextPage(spec);
            const synth::Page page = colour ? skewpages::ToColour(grey) : grey;
            CImageProcessor p;
            EXPECT_EQ(RunOn(page, 0, 1, p), (std::vector<Step>{Step::kSkewDetection, Step::kRotation}));
            // The sweep's angles are multiples of 0.05 degree.
            EXPECT_NEAR(p.skewSearcher.skewAngle, skew, 0.05 + 1e-4);
            int w = 0, h = 0;
            ASSERT_TRUE(rotation::CanvasSize(-static_cast<double>(p.skewSearcher.skewAngle), page.width, page.height, &w, &h));
            EXPECT_EQ(p.resultWidth, w);
            EXPECT_EQ(p.resultHeight, h);
            EXPECT_EQ(p.resultDepth, colour ? 24 : 8);
        }
}

TEST_F(Pipeline, RunTypeTwoPreparesTheContrastCopyAndDeskewFreesIt) {
    const synth::Page colour = SmallColourPage();
    CloseEveryGate();
    for (int runType : {0, 2})
        for (int quick : {0, 1}) {
            SCOPED_TRACE(::testing::Message() << "run type " << runType << " quick " << quick);
            CImageProcessor p;
            RunOn(colour, runType, quick, p);
            EXPECT_EQ(p.contrastCopy != nullptr, runType == 2 && quick == 0);
        }
}

namespace {

// 1000 x 800 at 200 dpi: a red seal of 20 mm radius at (500, 400) over a
// line of dark text.
constexpr int kSealX = 500, kSealY = 400, kSealRadius = static_cast<int>(20 * 200 / 25.4);

synth::Page SealOverTextPage() {
    const double mm = 200 / 25.4;
    synth::Page page = synth::Blank(1000, 800, 24, synth::kWhite, 200);
    const int r = kSealRadius, cx = kSealX, cy = kSealY;
    synth::DrawStamp(page, cx, cy, r, static_cast<int>(2 * mm), synth::kSealRed);
    synth::TextOptions o;
    o.area = {cx - r - 60, cy - static_cast<int>(6 * mm), cx + r + 60, cy + static_cast<int>(6 * mm)};
    o.charHeight = static_cast<int>(3 * mm);
    o.ink = synth::Rgb(20, 20, 20);
    synth::DrawText(page, o);
    return page;
}

}  // namespace

// A red seal over text: removal whitens the seal and keeps the text; with
// both seal gates on the removal wins over strengthening.
TEST_F(Pipeline, ARedSealOverTextIsRemovedAndTheTextKept) {
    const synth::Page page = SealOverTextPage();
    const int r = kSealRadius, cx = kSealX, cy = kSealY;
    for (int strengthenToo : {0, 1}) {
        SCOPED_TRACE(strengthenToo);
        CloseEveryGate();
        ProcessSetting::rmredseal.on = 1;
        ProcessSetting::strenredseal.on = strengthenToo;
        CImageProcessor p;
        EXPECT_EQ(RunOn(page, 0, 0, p), std::vector<Step>{Step::kRemoveRedSeal});
        ASSERT_EQ(p.resultDepth, 24);
        const std::size_t stride = px::Stride24(page.width);
        int sealPixels = 0, redLeft = 0, textPixels = 0, textLost = 0;
        for (int y = cy - r; y <= cy + r; ++y)
            for (int x = cx - r; x <= cx + r; ++x) {
                const synth::Colour in = page.At(x, y);
                const std::uint8_t* out = p.result + stride * y + 3 * x;
                if (in == synth::kSealRed) {
                    ++sealPixels;
                    redLeft += out[2] - std::max(out[0], out[1]) > 25;
                } else if (in == synth::Rgb(20, 20, 20)) {
                    ++textPixels;
                    textLost += px::Grey(out[0], out[1], out[2]) >= 100;
                }
            }
        EXPECT_GT(sealPixels, 5000);
        EXPECT_EQ(redLeft, 0);
        EXPECT_GT(textPixels, 1000);
        EXPECT_EQ(textLost, 0);
    }
}

TEST_F(Pipeline, BlankPagesAreFoundOnBothBranches) {
    const synth::Page text = synth::TextPage(600, 800, 24, 100, 3);
    const synth::Page white = synth::Blank(600, 800, 24, synth::kWhite, 100);
    for (int retain : {1, 0})
        for (const synth::Page* page : {&text, &white}) {
            SCOPED_TRACE(::testing::Message() << "keep colour " << retain << (page == &white ? " white" : " text"));
            CloseEveryGate();
            ProcessSetting::filesave.retaincolor = retain;
            ProcessSetting::rmblankpage.on = 1;
            CImageProcessor p;
            RunOn(*page, 0, 0, p);
            EXPECT_EQ(p.blankDetector.Result(), page == &white ? 1 : 0);
            EXPECT_EQ(p.IsBlankResult(), page == &white);
        }
}

// Cut white margins keeps the margins in pixels or, with the millimetre
// unit, in whole pixels per millimetre times the millimetres.
TEST_F(Pipeline, CutWhiteMarginsTakesItsMarginsInPixelsOrMillimetres) {
    synth::Page page = synth::Blank(500, 400, 8, synth::kWhite, 300);
    page.FillRect({100, 120, 300, 260}, synth::kBlack);
    const struct Case {
        int unit;
        int wantLeft, wantRight, wantTop, wantBottom;
    } cases[] = {
        {0, 25, 25, 25, 25},              // marginleftpx ... 25 each
        {1, 11 * 3, 11 * 3, 11 * 3, 11 * 3},  // 3 mm at int(300 x 0.03937008) = 11 px/mm
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.unit);
        CloseEveryGate();
        ProcessSetting::cutwhite.on = 1;
        ProcessSetting::cutwhite.margin = c.unit;
        CImageProcessor p;
        RunOn(page, 0, 0, p);
        EXPECT_EQ(p.boxLeft, 100);
        EXPECT_EQ(p.boxRight, 299);
        EXPECT_EQ(p.boxTop, 120);
        EXPECT_EQ(p.boxBottom, 259);
        EXPECT_EQ(p.resultWidth, 200 + c.wantLeft + c.wantRight);
        EXPECT_EQ(p.resultHeight, 140 + c.wantTop + c.wantBottom);
        EXPECT_EQ(p.result, p.whiteCut.get());
    }
}

// ---- Values no dialog would store, where the pipeline reads them ----
//
// A value out of its dialog's range (from a loaded configuration file, say)
// acts as the bound of that range: it can neither make a page take minutes
// nor reach arithmetic that overflows.

namespace {

std::vector<std::uint8_t> ResultBytes(const CImageProcessor& p) {
    if (!p.result) return {};
    return std::vector<std::uint8_t>(p.result, p.result + PixelBytes(p.resultWidth, p.resultHeight, p.resultDepth));
}

}  // namespace

// Useful colour keeps its colour within the keep radius, at most 6 mm (23
// pixels at 100 dpi); 1000 mm would keep the whole page in colour.
TEST_F(Pipeline, TheColourKeepRadiusStopsAtSixMillimetres) {
    synth::Page page = synth::Blank(400, 20, 24, synth::kWhite, 100);
    page.FillRect({0, 0, 10, 20}, synth::kSealRed);
    CloseEveryGate();
    ProcessSetting::keeporigcolor = 0;
    ProcessSetting::rmbkcolor.rmcolortype = 2;  // keep coloured parts
    for (float radius : {6.0f, 1000.0f}) {
        SCOPED_TRACE(radius);
        ProcessSetting::colorradius = radius;
        CImageProcessor p;
        RunOn(page, 0, 2, p);
        const std::vector<std::uint8_t>& mask = p.bkColorRemover.Mask();
        ASSERT_EQ(mask.size(), px::Stride8(400) * 20);
        for (int x : {9, 20, 30}) EXPECT_NE(mask[x], CBkColorRemover::kBackground) << x;
        for (int x : {36, 60, 399}) EXPECT_EQ(mask[x], CBkColorRemover::kBackground) << x;
    }
}

// The picture searches (of background removal and of the background colour
// change) open the page's dark areas with as many passes as the stroke
// width, at most 12: a 40-pixel square survives 12 passes (it would need
// 20), a 20-pixel one survives 5 but not 12; with a million passes nothing
// would survive.
TEST_F(Pipeline, ThePictureSearchStrokeWidthStopsAtTwelve) {
    synth::Page grey = synth::Blank(400, 200, 8, synth::kWhite, 10);
    grey.FillRect({50, 50, 90, 90}, synth::kBlack);
    grey.FillRect({200, 50, 220, 70}, synth::kBlack);
    synth::Page colour = synth::Blank(400, 200, 24, synth::kWhite, 10);
    colour.FillRect({50, 50, 90, 90}, synth::kBlack);
    colour.FillRect({200, 50, 220, 70}, synth::kBlack);
    struct Case {
        int strokeWidth;
        std::size_t found;
    };
    for (const Case& c : {Case{5, 2}, Case{12, 1}, Case{1000000, 1}, Case{-1000000, 2}}) {
        ProcessSetting::strokewidth = c.strokeWidth;
        CloseEveryGate();
        ProcessSetting::rmbkcolor.illstration = 2;
        CImageProcessor p;
        RunOn(grey, 0, 2, p);
        EXPECT_EQ(p.photoFinder.Found().size(), c.found) << "background removal, " << c.strokeWidth;
        CloseEveryGate();
        ProcessSetting::rmbkcolor.illstration = 0;
        ProcessSetting::modifycolor.on = 1;
        ProcessSetting::modifycolor.ignorepic = 2;
        CImageProcessor q;
        RunOn(colour, 0, 0, q);
        EXPECT_EQ(q.colourChanger.Finder().Found().size(), c.found) << "colour change, " << c.strokeWidth;
    }
}

// The skew search looks 30 degrees either way at most: a page turned by 40
// degrees is not found even when the stored angle asks for 90.
TEST_F(Pipeline, TheSkewSearchStaysWithinThirtyDegrees) {
    skewpages::TextPageSpec spec;
    spec.angle = 40;
    const synth::Page page = skewpages::TextPage(spec);
    CloseEveryGate();
    ProcessSetting::correct.angle = 90;
    CImageProcessor p;
    RunOn(page, 0, 1, p);
    EXPECT_LE(std::fabs(p.skewSearcher.skewAngle), 30.5f);
}

// A fixed output size takes sides of 1 to 32768 pixels.
TEST_F(Pipeline, TheOutputSizeStopsAtTheDialogsLimits) {
    struct Case {
        int width, height, wantWidth, wantHeight;
    };
    const Case cases[] = {{1000000, 0, 32768, 1}, {-5, 40000, 1, 32768}, {7, 3, 7, 3}};
    for (bool colour : {false, true})
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height << (colour ? " colour" : " grey"));
            CloseEveryGate();
            ProcessSetting::output.on = 1;
            ProcessSetting::output.maintainhw = 0;
            ProcessSetting::output.widpixel = c.width;
            ProcessSetting::output.heipixel = c.height;
            const synth::Page page = synth::Blank(30, 20, colour ? 24 : 8, synth::kWhite, 100);
            CImageProcessor p;
            RunOn(page, 0, 0, p);
            EXPECT_EQ(p.resultWidth, c.wantWidth);
            EXPECT_EQ(p.resultHeight, c.wantHeight);
        }
}

// The red-seal strengths act as their sliders' ends: a removal with an erase
// strength of a million gives the page of strength 60, and so on. Where a
// page reacts to a value, a second in-range value shows it. The text
// strength changes nothing on this page (no text lies inside the seal's
// boxes); its case is there for the sum "strength + 20", which overflowed
// for the largest int (the sanitizer build reports that).
TEST_F(Pipeline, RedSealStrengthsStopAtTheirSliders) {
    const synth::Page page = SealOverTextPage();
    struct Case {
        const char* what;
        RelaxedAtomic<std::int32_t>* value;
        RelaxedAtomic<std::int32_t>* gate;
        int outside, bound;
        std::optional<int> other;
    };
    const Case cases[] = {
        {"erase", &ProcessSetting::rmredseal.erase, &ProcessSetting::rmredseal.on, 1000000, 60, 0},
        {"erase", &ProcessSetting::rmredseal.erase, &ProcessSetting::rmredseal.on, 2147483647, 60, 0},
        {"text strength", &ProcessSetting::rmredseal.textstren, &ProcessSetting::rmredseal.on, 2147483647, 30, {}},
        {"strengthening", &ProcessSetting::strenredseal.strenvalue, &ProcessSetting::strenredseal.on, 1000000, 99, 1},
        {"strengthening", &ProcessSetting::strenredseal.strenvalue, &ProcessSetting::strenredseal.on, -7, 1, 99},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.what << " " << c.outside);
        auto run = [&](int v) {
            CloseEveryGate();
            *c.gate = 1;
            *c.value = v;
            CImageProcessor p;
            RunOn(page, 0, 0, p);
            return ResultBytes(p);
        };
        const std::vector<std::uint8_t> atBound = run(c.bound);
        ASSERT_FALSE(atBound.empty());
        if (c.other) {
            EXPECT_TRUE(run(*c.other) != atBound) << "the page does not react to this value";
        }
        EXPECT_TRUE(run(c.outside) == atBound);
    }
}
