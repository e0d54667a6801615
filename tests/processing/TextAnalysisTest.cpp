// Text-component analyser and blank-page detector: identical to their plain
// references, and their classes and decisions on pages built for them.
#include <gtest/gtest.h>

#include <string>

#include "processing/BlankPageDetector.h"
#include "processing/PixelMath.h"
#include "processing/TextComponentAnalyzer.h"
#include "processing/reference/RefTextAnalysis.h"
#include "support/SyntheticPages.h"

namespace {

using synth::Page;

// An "H": two uprights and a bar; one component with a wide inner gap.
void DrawH(Page& page, int x, int y, int size) {
    const int t = std::max(2, size / 8);
    page.FillRect({x, y, x + t, y + size}, synth::kBlack);
    page.FillRect({x + size - t, y, x + size, y + size}, synth::kBlack);
    page.FillRect({x, y + size / 2 - t / 2, x + size, y + size / 2 - t / 2 + t}, synth::kBlack);
}

std::vector<std::pair<std::string, Page>> GreyPages() {
    std::vector<std::pair<std::string, Page>> pages;
    for (auto [w, h] : {std::pair{1, 1}, std::pair{2, 45}, std::pair{45, 3}, std::pair{97, 71}}) {
        pages.push_back({"noise", synth::RandomNoise(w, h, 8, 0.2, w * 11 + h)});
        pages.push_back({"shapes", synth::RandomShapes(w, h, 8, 14, w * 13 + h)});
    }
    pages.push_back({"text", synth::ToGrey(synth::TextPage(421, 333, 24, 300, 6, synth::kWhite, 25))});
    {
        Page specks = synth::ToGrey(synth::TextPage(300, 250, 24, 300, 8));
        synth::AddNoise(specks, 140, 3);
        pages.push_back({"specks", specks});
    }
    {
        Page grid = synth::Blank(230, 170, 8, synth::kWhite);
        for (int x = 10; x < 120; x += 7) grid.FillRect({x, 10, x + 2, 120}, synth::kBlack);
        for (int y = 10; y < 120; y += 7) grid.FillRect({10, y, 120, y + 2}, synth::kBlack);
        DrawH(grid, 150, 30, 40);
        pages.push_back({"grid", grid});
    }
    return pages;
}

TEST(TextComponentAnalyzer, MatchesReference) {
    for (const auto& [name, page] : GreyPages()) {
        for (int dpi : {300, 150, 600, 13, 0}) {
            Page grey = page;
            TextComponentParams p;
            p.page.grey = grey.Data();
            p.page.width = grey.width;
            p.page.height = grey.height;
            p.page.dpi = dpi;
            CTextComponentAnalyzer analyzer;
            ASSERT_TRUE(analyzer.Analyze(p));
            const ref::RAnalysis want = ref::RefAnalyze(page.Data(), page.width, page.height, 160, dpi, 0.0f);
            const std::string what = name + " " + std::to_string(page.width) + "x" + std::to_string(page.height) +
                                     " dpi " + std::to_string(dpi);
            const auto& comps = analyzer.Analysis().components;
            ASSERT_EQ(comps.size(), want.comps.size()) << what;
            for (std::size_t i = 0; i < comps.size(); ++i) {
                ASSERT_EQ(static_cast<int>(comps[i].cls), want.comps[i].cls) << what << " component " << i;
                ASSERT_EQ(comps[i].gapMax, want.comps[i].gapMax) << what << " component " << i;
            }
            EXPECT_EQ(analyzer.AbsorbCounts(), want.absorbed) << what;
            EXPECT_EQ(analyzer.Analysis().dominantSize, want.dominant) << what;
            EXPECT_EQ(analyzer.Analysis().orientation, 1) << what;

            // The mask keeps 255 exactly where no character or attached mark is.
            Page mask = synth::Blank(page.width, page.height, 8, synth::kWhite);
            ASSERT_TRUE(analyzer.ClearTextPixels(mask.Data(), page.width, page.height));
            Page wantMask = synth::Blank(page.width, page.height, 8, synth::kWhite);
            for (const ref::RComponent& c : want.comps)
                if (c.cls == 1 || c.cls == 2)
                    for (ref::RPoint q : c.points) wantMask.Row(q.y)[q.x] = 0;
            EXPECT_TRUE(mask.bits == wantMask.bits) << what;
        }
    }
}

comp::ComponentClass ClassAt(const CTextComponentAnalyzer& a, int x, int y) {
    for (const auto& c : a.Analysis().components)
        if (x >= c.left && x <= c.right && y >= c.top && y <= c.bottom) {
            for (const comp::Point q : a.Analysis().Points(c))
                if (q.x == x && q.y == y) return c.cls;
        }
    return static_cast<comp::ComponentClass>(-1);  // no component there
}

TEST(TextComponentAnalyzer, ClassesOfMarksAroundCharacters) {
    Page page = synth::Blank(900, 500, 8, synth::kWhite);
    // Characters 40 px high (class 1 at 300 dpi: minSide 35).
    DrawH(page, 100, 300, 40);
    DrawH(page, 320, 300, 40);
    // Three dots beside the first character's top: a character absorbs two
    // marks at most, so the third stays isolated.
    page.FillRect({142, 330, 148, 336}, synth::kBlack);
    page.FillRect({149, 330, 155, 336}, synth::kBlack);
    page.FillRect({156, 330, 162, 336}, synth::kBlack);
    // A 30-px character: too small to be a character itself.
    DrawH(page, 600, 300, 30);
    // The same small character right beside a real one.
    DrawH(page, 365, 305, 30);
    // A row of dashes, and a long dash.
    for (int x = 100; x < 400; x += 40) page.FillRect({x, 100, x + 30, 104}, synth::kBlack);
    page.FillRect({500, 100, 560, 105}, synth::kBlack);
    // Hatching: many gaps on every row.
    for (int x = 600; x < 700; x += 6) page.FillRect({x, 50, x + 2, 150}, synth::kBlack);
    // Solid medium blobs near and far from text.
    page.FillRect({250, 300, 290, 340}, synth::kBlack);
    page.FillRect({800, 400, 840, 440}, synth::kBlack);

    TextComponentParams p;
    p.page.grey = page.Data();
    p.page.width = page.width;
    p.page.height = page.height;
    CTextComponentAnalyzer a;
    ASSERT_TRUE(a.Analyze(p));
    EXPECT_EQ(ClassAt(a, 100, 300), CTextComponentAnalyzer::kCharacter);
    EXPECT_EQ(ClassAt(a, 142, 330), CTextComponentAnalyzer::kAttached);
    EXPECT_EQ(ClassAt(a, 149, 330), CTextComponentAnalyzer::kAttached);
    EXPECT_EQ(ClassAt(a, 156, 330), CTextComponentAnalyzer::kIsolated);
    EXPECT_EQ(ClassAt(a, 600, 300), CTextComponentAnalyzer::kIsolated);
    EXPECT_EQ(ClassAt(a, 365, 305), CTextComponentAnalyzer::kAttached);
    EXPECT_EQ(ClassAt(a, 100, 100), CTextComponentAnalyzer::kRejected);
    EXPECT_EQ(ClassAt(a, 500, 100), CTextComponentAnalyzer::kRejected);
    EXPECT_EQ(ClassAt(a, 600, 50), CTextComponentAnalyzer::kRejected);
    EXPECT_EQ(ClassAt(a, 250, 300), CTextComponentAnalyzer::kAttached);
    EXPECT_EQ(ClassAt(a, 800, 400), CTextComponentAnalyzer::kIsolated);

    // The mask loses the characters and the attached dots, nothing else.
    Page mask = synth::Blank(page.width, page.height, 8, synth::kWhite);
    ASSERT_TRUE(a.ClearTextPixels(mask.Data(), page.width, page.height));
    EXPECT_EQ(mask.Row(300)[100], 0);
    EXPECT_EQ(mask.Row(330)[142], 0);
    EXPECT_EQ(mask.Row(330)[156], 255);
    EXPECT_EQ(mask.Row(100)[100], 255);
    // Another size: nothing changes.
    Page other = synth::Blank(page.width + 1, page.height, 8, synth::kWhite);
    const Page otherBefore = other;
    EXPECT_FALSE(a.ClearTextPixels(other.Data(), other.width, other.height));
    EXPECT_TRUE(other.bits == otherBefore.bits);
    EXPECT_FALSE(a.ClearTextPixels(nullptr, page.width, page.height));

    // A refused analysis drops the classification.
    TextComponentParams bad = p;
    bad.page.grey = nullptr;
    EXPECT_FALSE(a.Analyze(bad));
    EXPECT_FALSE(a.ClearTextPixels(mask.Data(), page.width, page.height));
}

TEST(RawAspect, SingleRowsAndPixels) {
    auto box = [](int l, int t, int r, int b) {
        comp::PageComponent c;
        c.left = l;
        c.top = t;
        c.right = r;
        c.bottom = b;
        return c;
    };
    EXPECT_TRUE(RawAspectOutside(box(0, 5, 9, 5)));    // a one-row dash: infinite
    EXPECT_FALSE(RawAspectOutside(box(3, 3, 3, 3)));   // a single pixel: no ratio
    EXPECT_TRUE(RawAspectOutside(box(3, 0, 3, 9)));    // a one-column stroke: 0
    EXPECT_FALSE(RawAspectOutside(box(0, 0, 12, 2)));  // exactly 6
    EXPECT_TRUE(RawAspectOutside(box(0, 0, 13, 2)));
    EXPECT_FALSE(RawAspectOutside(box(0, 0, 1, 6)));   // 1/6 in single precision
}

BlankPageParams BlankParams(Page& page, int type) {
    BlankPageParams p;
    p.page.grey = page.Data();
    p.page.width = page.width;
    p.page.height = page.height;
    p.page.dpi = page.dpi;
    p.type = static_cast<BlankTest>(type);
    return p;
}

TEST(BlankPageDetector, MatchesReference) {
    auto pages = GreyPages();
    {
        Page words = synth::Blank(640, 480, 8, synth::kWhite);
        synth::TextOptions o;
        o.area = {40, 300, 600, 340};
        o.charHeight = 36;
        o.maxChars = 5;
        synth::DrawText(words, o);
        synth::DrawBlot(words, 300, 120, 60, synth::kBlack, 2);
        pages.push_back({"words-and-blot", words});
    }
    for (const auto& [name, page] : pages)
        for (int type : {1, 2})
            for (int dpi : {300, 100, 49, 50})
                for (float percent : {0.1f, 1.0f, 12.25f})
                    for (int threshold : {-3, 0, 1, 128, 254, 255, 256, 1000}) {
                        Page image = page;
                        BlankPageParams p = BlankParams(image, type);
                        p.page.dpi = dpi;
                        p.textPercent = percent;
                        p.contentPercent = percent;
                        p.threshold = threshold;
                        CBlankPageDetector d;
                        const bool ran = d.Detect(p);
                        EXPECT_EQ(ran, type != 2 || dpi >= 50);
                        EXPECT_EQ(d.Result(), ref::RefBlank(page.Data(), page.width, page.height, threshold, dpi,
                                                             percent, percent, type))
                            << name << " type " << type << " dpi " << dpi << " percent " << percent << " threshold "
                            << threshold;
                    }
}

TEST(BlankPageDetector, WordsAndBlotsOnAnA4Page) {
    const int w = 2480, h = 3508;
    auto page = [&] { return synth::Blank(w, h, 8, synth::kWhite); };
    // Words of four 36-px characters: boxes of 35 x 35 = 1225 each; the
    // limit at 0.1 % is int(2480 x 3508 x 0.1 x 0.01) = 8699.
    auto word = [](Page& p, int x, int y) {
        for (int i = 0; i < 4; ++i) DrawH(p, x + 45 * i, y, 36);
    };
    CBlankPageDetector d;
    Page blank = page();
    ASSERT_TRUE(d.Detect(BlankParams(blank, 2)));
    EXPECT_EQ(d.Result(), 1);

    Page one = page();
    word(one, 1000, 2000);
    ASSERT_TRUE(d.Detect(BlankParams(one, 2)));
    EXPECT_EQ(d.Result(), 1) << d.TextArea();
    EXPECT_EQ(d.TextArea(), 4 * 1225);

    Page two = page();
    word(two, 1000, 2000);
    word(two, 1300, 2000);
    ASSERT_TRUE(d.Detect(BlankParams(two, 2)));
    EXPECT_EQ(d.Result(), 0);

    // Exactly at the limit: seven characters (7 x 1225 = 8575) and a narrow
    // one of 4 x 31 make 8699, blank; 5 x 25 instead makes 8700, not blank.
    // A narrow character: two uprights and a bar, a box of (w + 1) x (h + 1).
    auto narrow = [](Page& p, int x, int y, int w, int h) {
        p.FillRect({x, y, x + 1, y + h + 1}, synth::kBlack);
        p.FillRect({x + w, y, x + w + 1, y + h + 1}, synth::kBlack);
        p.FillRect({x, y + h / 2, x + w + 1, y + h / 2 + 1}, synth::kBlack);
    };
    for (auto [nw, nh, blankExpected] : {std::tuple{4, 31, 1}, std::tuple{5, 25, 0}}) {
        Page limit = page();
        for (int i = 0; i < 7; ++i) DrawH(limit, 500 + 60 * i, 1500, 36);
        narrow(limit, 1000, 1500, nw, nh);
        ASSERT_TRUE(d.Detect(BlankParams(limit, 2)));
        EXPECT_EQ(d.TextArea(), 8575 + nw * nh);
        EXPECT_EQ(d.Result(), blankExpected) << nw << " x " << nh;
    }

    // A blot of more than 1 % of the page and no characters.
    Page blot = page();
    synth::DrawBlot(blot, 1200, 1700, 200, synth::kBlack, 4);
    long long dark = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) dark += blot.Row(y)[x] < 128;
    ASSERT_GE(dark, w * h / 100);
    ASSERT_TRUE(d.Detect(BlankParams(blot, 2)));
    EXPECT_EQ(d.Result(), 1);
    BlankPageParams byDark = BlankParams(blot, 1);
    byDark.contentPercent = 1.0f;
    ASSERT_TRUE(d.Detect(byDark));
    EXPECT_EQ(d.Result(), 0);
}

TEST(BlankPageDetector, LimitsAreExact) {
    // Type 1 on 100 x 100 at 1 %: the limit is 100 pixels.
    for (auto [n, blank] : {std::pair{99, 1}, std::pair{100, 0}}) {
        Page page = synth::Blank(100, 100, 8, synth::kWhite);
        for (int i = 0; i < n; ++i) page.Row(i / 100)[i % 100] = 127;
        BlankPageParams p = BlankParams(page, 1);
        p.contentPercent = 1.0f;
        CBlankPageDetector d;
        ASSERT_TRUE(d.Detect(p));
        EXPECT_EQ(d.Result(), blank) << n << " dark pixels";
    }
    // Type 2 on 100 x 100 at 12.25 %: the limit is 1225, one 36-px
    // character's box exactly (blank), two are above it.
    for (auto [chars, blank] : {std::pair{1, 1}, std::pair{2, 0}}) {
        Page page = synth::Blank(100, 100, 8, synth::kWhite);
        for (int i = 0; i < chars; ++i) DrawH(page, 5 + 45 * i, 30, 36);
        BlankPageParams p = BlankParams(page, 2);
        p.textPercent = 12.25f;
        CBlankPageDetector d;
        ASSERT_TRUE(d.Detect(p));
        EXPECT_EQ(d.Result(), blank) << chars << " characters";
    }
}

TEST(BlankPageDetector, RefusalsNeverKeepAnEarlierVerdict) {
    Page blank = synth::Blank(300, 300, 8, synth::kWhite);
    CBlankPageDetector d;
    ASSERT_TRUE(d.Detect(BlankParams(blank, 2)));
    ASSERT_EQ(d.Result(), 1);
    for (int variant = 0; variant < 4; ++variant) {
        BlankPageParams p = BlankParams(blank, 2);
        if (variant == 0) p.page.grey = nullptr;
        if (variant == 1) p.page.width = 0;
        if (variant == 2) p.page.height = -7;
        if (variant == 3) p.page.dpi = 1;  // a page with content read as 1 dpi
        ASSERT_TRUE(d.Detect(BlankParams(blank, 2)));
        EXPECT_FALSE(d.Detect(p)) << variant;
        EXPECT_EQ(d.Result(), 0) << variant;
    }
    // Absurd percentages run and decide.
    for (float v : {-1.0f, 1e30f, std::numeric_limits<float>::quiet_NaN()})
        for (int type : {1, 2}) {
            BlankPageParams p = BlankParams(blank, type);
            p.textPercent = p.contentPercent = v;
            EXPECT_TRUE(d.Detect(p));
        }
}

}  // namespace
