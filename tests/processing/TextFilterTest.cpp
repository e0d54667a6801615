// The text filter: identical to its plain reference on random and synthetic
// pages, and what it keeps and erases on pages built for the purpose.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "processing/ComponentClasses.h"
#include "processing/PixelMath.h"
#include "processing/EngineParams.h"
#include "processing/TextFilter.h"
#include "processing/reference/RefComponents.h"
#include "support/SyntheticPages.h"

namespace {

using synth::Page;

struct Outcome {
    std::vector<std::uint8_t> binary, colour;
    std::vector<int> classes;
    float dominant;
    int orientation;
};

Outcome RunProduction(const Page& bin, const Page* colour, int bpp, int dpi, CTextFilter& filter) {
    Page b = bin;
    Page c = colour ? *colour : Page();
    TextFilterParams p;
    p.page.grey = b.Data();
    p.page.colour = colour ? c.Data() : nullptr;
    p.page.width = bin.width;
    p.page.height = bin.height;
    p.page.bitsPerPixel = bpp;
    p.page.dpi = dpi;
    EXPECT_TRUE(filter.Run(p));
    Outcome o{b.bits, c.bits, {}, filter.Analysis().dominantSize, filter.Analysis().orientation};
    for (const auto& comp : filter.Analysis().components) o.classes.push_back(static_cast<int>(comp.cls));
    return o;
}

Outcome RunReference(const Page& bin, const Page* colour, int bpp, int dpi, float previous) {
    Page b = bin;
    Page c = colour ? *colour : Page();
    auto r = ref::RefTextFilter(b.Data(), colour ? c.Data() : nullptr, bin.width, bin.height, bpp, 160, dpi, previous);
    Outcome o{b.bits, c.bits, {}, r.dominant, r.orientation};
    for (const auto& comp : r.comps) o.classes.push_back(static_cast<int>(comp.cls));
    return o;
}

void ExpectSame(const Outcome& a, const Outcome& b, const std::string& what) {
    EXPECT_EQ(a.classes, b.classes) << what;
    EXPECT_EQ(a.dominant, b.dominant) << what;
    EXPECT_EQ(a.orientation, b.orientation) << what;
    EXPECT_TRUE(a.binary == b.binary) << what;
    EXPECT_TRUE(a.colour == b.colour) << what;
}

TEST(TextFilter, MatchesReferenceOnRandomAndSyntheticPages) {
    struct Case {
        std::string name;
        Page page;
        int dpi;
    };
    std::vector<Case> cases;
    for (auto [w, h] : {std::pair{1, 1}, std::pair{3, 40}, std::pair{41, 2}, std::pair{77, 53}, std::pair{150, 101}}) {
        cases.push_back({"noise", synth::RandomNoise(w, h, 24, 0.1, w * 31 + h), 300});
        cases.push_back({"shapes", synth::RandomShapes(w, h, 24, 20, w * 17 + h), 150});
    }
    cases.push_back({"text-300", synth::TextPage(601, 450, 24, 300, 3), 300});
    cases.push_back({"text-200", synth::TextPage(413, 287, 24, 200, 4, synth::kYellowedPaper, 20), 200});
    {
        Page vertical = synth::Blank(503, 611, 24, synth::kWhite);
        synth::TextOptions o;
        o.area = {20, 20, 480, 590};
        o.vertical = true;
        o.charHeight = 36;
        synth::DrawText(vertical, o);
        cases.push_back({"vertical", vertical, 300});
    }
    {
        Page specks = synth::TextPage(640, 480, 24, 300, 9);
        synth::AddNoise(specks, 120, 5);  // noise this strong leaves many specks
        cases.push_back({"specks", specks, 300});
    }
    cases.push_back({"dpi-1", synth::TextPage(200, 150, 24, 300, 2), 1});
    cases.push_back({"dpi-0", synth::TextPage(200, 150, 24, 300, 2), 0});
    cases.push_back({"dpi-13", synth::TextPage(200, 150, 24, 300, 2), 13});

    for (const Case& c : cases) {
        const Page bin = synth::ToBinary(c.page);
        for (int bpp : {8, 24}) {
            const std::string what = c.name + " " + std::to_string(c.page.width) + "x" +
                                     std::to_string(c.page.height) + " bpp " + std::to_string(bpp);
            CTextFilter filter;
            const Outcome got = RunProduction(bin, &c.page, bpp, c.dpi, filter);
            const Outcome want = RunReference(bin, &c.page, bpp, c.dpi, 0.0f);
            ExpectSame(got, want, what);
        }
    }
}

// Sets the bytes of a rectangle (buffer coordinates) of an 8-bit page to 0.
void Dark(Page& page, synth::Rect r) { page.FillRect(r, synth::kBlack); }

// A page with a line of text and marks around it.
struct MarkedPage {
    Page page;
    synth::Rect nearSpeck, farSpeck, nearSquare, farSquare, block;
};

MarkedPage MakeMarkedPage() {
    MarkedPage m;
    m.page = synth::Blank(1400, 900, 8, synth::kWhite);
    synth::TextOptions o;
    o.area = {100, 600, 700, 640};  // one line of 36-px characters
    o.charHeight = 36;
    o.charSpacing = 1.3;
    o.seed = 11;
    synth::DrawText(m.page, o);
    // Right of the line's end, centred on the line: within three half-widths.
    m.nearSpeck = {712, 617, 715, 620};
    m.farSpeck = {1300, 100, 1303, 103};
    // A solid square just below the line: its centre is within half the
    // summed widths plus one character height of a character's centre.
    m.nearSquare = {150, 530, 200, 580};
    m.farSquare = {1200, 300, 1250, 350};
    // Wider than the largest character side (267 at 300 dpi).
    m.block = {100, 50, 420, 200};
    for (synth::Rect r : {m.nearSpeck, m.farSpeck, m.nearSquare, m.farSquare, m.block}) Dark(m.page, r);
    return m;
}

bool AllLight(const Page& page, synth::Rect r) {
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            if (page.Row(y)[x] != 255) return false;
    return true;
}
bool AllDark(const Page& page, synth::Rect r) {
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            if (page.Row(y)[x] != 0) return false;
    return true;
}

TEST(TextFilter, KeepsTextAndWhatLiesBesideItErasesTheRest) {
    MarkedPage m = MakeMarkedPage();
    const Page before = m.page;
    TextFilterParams p = FilterParamsFor(m.page);
    CTextFilter filter;
    ASSERT_TRUE(filter.Run(p));

    EXPECT_TRUE(AllDark(m.page, m.nearSpeck));
    EXPECT_TRUE(AllLight(m.page, m.farSpeck));
    EXPECT_TRUE(AllDark(m.page, m.nearSquare));
    EXPECT_TRUE(AllLight(m.page, m.farSquare));
    EXPECT_TRUE(AllLight(m.page, m.block));
    // The text line itself is untouched.
    const synth::Rect line{100, 600, 700, 640};
    for (int y = line.top; y < line.bottom; ++y)
        for (int x = line.left; x < line.right; ++x) ASSERT_EQ(m.page.Row(y)[x], before.Row(y)[x]) << x << "," << y;
    EXPECT_EQ(filter.Analysis().orientation, 1);
}

TEST(TextFilter, ErasesInTheColourImageIn24BitMode) {
    MarkedPage m = MakeMarkedPage();
    Page colour = synth::Blank(m.page.width, m.page.height, 24, synth::kWhite);
    for (int y = 0; y < m.page.height; ++y)
        for (int x = 0; x < m.page.width; ++x)
            if (m.page.Row(y)[x] == 0) colour.Set(x, y, synth::Rgb(10, 20, 30));
    const Page binaryBefore = m.page;
    TextFilterParams p = FilterParamsFor(m.page);
    p.page.colour = colour.Data();
    p.page.bitsPerPixel = 24;
    CTextFilter filter;
    ASSERT_TRUE(filter.Run(p));
    EXPECT_TRUE(m.page.bits == binaryBefore.bits);  // the binary image is only read
    EXPECT_EQ(colour.At(1201, 301), synth::kWhite);
    EXPECT_EQ(colour.At(151, 531), synth::Rgb(10, 20, 30));
}

TEST(TextFilter, ManySpecksAreNeverRescued) {
    // A line of text with specks beside it: with up to 10000 specks on the
    // page the ones beside the text survive; with more, none does.
    auto make = [](int extraRows) {
        Page page = synth::Blank(1000, 1300, 8, synth::kWhite);
        synth::TextOptions o;
        o.area = {100, 1200, 900, 1240};
        o.charHeight = 36;
        o.charSpacing = 1.6;
        o.seed = 5;
        synth::DrawText(page, o);
        // Specks right of the text line's last character, in line with it.
        int end = 0;
        for (int y = 1200; y < 1240; ++y)
            for (int x = 0; x < 1000; ++x)
                if (page.Row(y)[x] == 0) end = std::max(end, x);
        for (int x = end + 5; x < 990; x += 6) Dark(page, {x, 1219, x + 2, 1221});
        // A field of specks far below.
        for (int y = 10; y < 10 + extraRows * 6; y += 6)
            for (int x = 10; x < 990; x += 6) Dark(page, {x, y, x + 2, y + 2});
        return page;
    };
    auto specksLeft = [](const Page& page) {
        int n = 0;
        for (int x = 890; x < 1000; ++x) n += page.Row(1219)[x] == 0 && page.Row(1222)[x] != 0;
        return n;
    };
    for (auto [rows, expectRescue] : {std::pair{40, true}, std::pair{190, false}}) {
        Page page = make(rows);
        TextFilterParams p = FilterParamsFor(page);
        CTextFilter filter;
        ASSERT_TRUE(filter.Run(p));
        int small = 0;
        for (const auto& c : filter.Analysis().components) small += c.cls == comp::ComponentClass::kSmall;
        if (expectRescue) {
            EXPECT_EQ(small, 0);
            EXPECT_GT(specksLeft(page), 0);
        } else {
            EXPECT_GT(small, 10000);
            EXPECT_EQ(specksLeft(page), 0);
        }
    }
}

TEST(TextFilter, OrientationOfHorizontalAndVerticalText) {
    for (bool vertical : {false, true}) {
        Page page = synth::Blank(900, 900, 8, synth::kWhite);
        synth::TextOptions o;
        o.area = {40, 40, 860, 860};
        o.charHeight = 36;
        o.vertical = vertical;
        o.seed = 21;
        synth::DrawText(page, o);
        TextFilterParams p = FilterParamsFor(page);
        CTextFilter filter;
        ASSERT_TRUE(filter.Run(p));
        EXPECT_EQ(filter.Analysis().orientation, vertical ? 0 : 1) << (vertical ? "vertical" : "horizontal");
    }
}

TEST(TextFilter, NothingDarkOrBadInput) {
    Page page = synth::Blank(33, 21, 8, synth::kWhite);
    const Page before = page;
    TextFilterParams p = FilterParamsFor(page);
    CTextFilter filter;
    ASSERT_TRUE(filter.Run(p));
    EXPECT_TRUE(filter.Analysis().components.empty());
    EXPECT_TRUE(page.bits == before.bits);

    for (auto [w, h, image] : {std::tuple{0, 10, true}, std::tuple{10, -1, true}, std::tuple{10, 10, false}}) {
        TextFilterParams bad = p;
        bad.page.width = w;
        bad.page.height = h;
        if (!image) bad.page.grey = nullptr;
        EXPECT_FALSE(filter.Run(bad));
        EXPECT_TRUE(page.bits == before.bits);
    }
}

}  // namespace
