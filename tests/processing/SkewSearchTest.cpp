// The skew search on pages turned by known angles, the rules that choose
// among the methods, and bad maximum angles.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "processing/Binarize.h"
#include "processing/SkewSearch.h"
#include "processing/TextComponentAnalyzer.h"
#include "support/SkewReference.h"
#include "processing/SkewTestPages.h"

using synth::Page;

namespace {

// A searcher that counts the blank-line counts it takes.
class CountingSearcher : public skew::SkewSearcher {
public:
    int counted = 0;
    int CountHorizontalLines(double slope, int method) override {
        ++counted;
        return skew::SkewSearcher::CountHorizontalLines(slope, method);
    }
    int CountVerticalLines(double slope, int method) override {
        ++counted;
        return skew::SkewSearcher::CountVerticalLines(slope, method);
    }
};

// What one search left: its arguments, its result and the searcher's state.
struct SearchRecord {
    int maxAngle, method;
    bool twoColumns, found;
    skew::SkewState state;
};

bool SameState(const skew::SkewState& a, const skew::SkewState& b) {
    return a.skewColumns == b.skewColumns && a.skewBestCount == b.skewBestCount && a.skewAngle == b.skewAngle &&
           a.horizontalAngle == b.horizontalAngle && a.verticalAngle == b.verticalAngle &&
           a.skewScore == b.skewScore && a.horizontalScore == b.horizontalScore &&
           a.verticalScore == b.verticalScore && a.declineCount == b.declineCount;
}

bool operator==(const SearchRecord& a, const SearchRecord& b) {
    return a.maxAngle == b.maxAngle && a.method == b.method && a.twoColumns == b.twoColumns && a.found == b.found &&
           SameState(a.state, b.state);
}

std::ostream& operator<<(std::ostream& o, const SearchRecord& r) {
    return o << "{A" << r.maxAngle << " method " << r.method << (r.twoColumns ? " two" : " one")
             << (r.found ? " found" : "") << " angle " << r.state.skewAngle << " score " << r.state.skewScore
             << " h " << r.state.horizontalAngle << "/" << r.state.horizontalScore << " v " << r.state.verticalAngle
             << "/" << r.state.verticalScore << " best " << r.state.skewBestCount << " declines "
             << r.state.declineCount << "}";
}

// The search over a black-and-white grey page as the processing object
// prepares it: method 0 searches its Otsu binarisation, method 1 the
// text-only mask of the text analyser, method 2 the page binarised at 128
// (the contrast copy of a page of levels 0 and 255 is the page itself).
class GreyPageMethods : public skew::SkewMethods {
public:
    GreyPageMethods(Page& page, bool horizontalText) : page_(page), horizontalText_(horizontalText) {}
    bool RunSkewSearch(int maxAngle, skew::SkewMethod kind, bool twoColumns, float* angle, float* score) override {
        const int method = static_cast<int>(kind);
        if (method == 1)
            binary_ = skew::TextOnlyMask(analyser_, page_.Data(), nullptr, page_.width, page_.height, 8, page_.dpi);
        else if (method == 0)
            binary_ = binarize::Otsu8(page_.bits.data(), page_.width, page_.height);
        else
            binary_ = binarize::Threshold8(page_.bits.data(), page_.width, page_.height, 128);
        searcher.SetBinaryImage(binary_.data(), page_.width, page_.height);
        const bool found = searcher.SearchSkew(maxAngle, method, twoColumns, horizontalText_);
        // As the processing object does: the tables go, the state stays.
        searcher.Clear();
        *angle = searcher.skewAngle;
        *score = searcher.skewScore;
        maxAngles.push_back(maxAngle);
        records.push_back({maxAngle, method, twoColumns, found, searcher});
        return found;
    }
    bool HasContrastCopy() const override { return true; }
    void PrepareContrastCopy() override {}
    bool BinaryMostlyDark() const override { return false; }

    CountingSearcher searcher;
    std::vector<int> maxAngles;
    std::vector<SearchRecord> records;

private:
    Page& page_;
    bool horizontalText_;
    CTextComponentAnalyzer analyser_;
    std::vector<std::uint8_t> binary_;
};

Page TurnedText(double angle, bool vertical = false, int columns = 1) {
    skewpages::TextPageSpec spec;
    spec.angle = angle;
    spec.vertical = vertical;
    spec.blocks = columns;
    spec.seed = 11 + static_cast<unsigned>(std::fabs(angle) * 10);
    return skewpages::TextPage(spec);
}

// The sweep's angles are multiples of 0.05 up to the float accumulation.
constexpr double kStep = 0.05 + 1e-4;

}  // namespace

TEST(SkewSearch, TextPagesComeBackWithTheirAngle) {
    struct Case {
        double angle;
        int maxAngle;
        bool vertical;
    };
    const Case cases[] = {
        {0.0, 5, false},  {0.3, 5, false},   {-0.3, 5, false},  {1.0, 5, false},  {-1.2, 5, false},
        {2.5, 5, false},  {-2.5, 5, false},  {4.9, 5, false},   {-4.9, 5, false}, {7.5, 15, false},
        {-7.5, 15, false}, {10.0, 15, false}, {-10.0, 15, false}, {2.0, 5, true},  {-3.4, 5, true},
        {9.0, 15, true},
    };
    for (const Case& c : cases) {
        Page page = TurnedText(c.angle, c.vertical);
        GreyPageMethods methods(page, !c.vertical);
        const float angle = skew::DetectSkewAngle(methods, c.maxAngle, 0, true, false);
        EXPECT_NEAR(angle, c.angle, kStep) << "page turned by " << c.angle << (c.vertical ? " (columns)" : "");
        // Found by the first method, with a good score: one search only.
        EXPECT_EQ(methods.maxAngles.size(), 1u) << c.angle;
        EXPECT_GE(methods.searcher.skewScore, skew::kFoundScore) << c.angle;
    }
}

TEST(SkewSearch, EveryMethodFindsTheAngleOnItsOwn) {
    // The text analyser takes characters of 3 mm and more: at 110 dpi the
    // 16-pixel glyphs qualify.
    for (int method : {0, 1, 2}) {
        for (double angle : {-4.2, -0.65, 1.2, 3.7}) {
            Page page = TurnedText(angle);
            page.dpi = 110;
            GreyPageMethods methods(page, true);
            EXPECT_NEAR(skew::DetectSkewAngle(methods, 5, method, false, false), angle, kStep)
                << "method " << method << ", page turned by " << angle;
            EXPECT_GE(methods.searcher.skewScore, skew::kFoundScore) << method << " " << angle;
        }
    }
}

TEST(SkewSearch, TwoColumnPagesAreSearchedInTwoStrips) {
    // Each strip spans half the width, so a one-pixel drift along a sample
    // line takes twice the angle and the peak is flatter: on this 1300-wide
    // page the angle comes back within two steps.
    for (double angle : {-1.5, 0.7, 3.3}) {
        skewpages::TextPageSpec spec;
        spec.width = 1300;
        spec.angle = angle;
        spec.blocks = 2;
        spec.seed = 5;
        Page page = skewpages::TextPage(spec);
        GreyPageMethods methods(page, true);
        EXPECT_NEAR(skew::DetectSkewAngle(methods, 5, 0, true, true), angle, 2 * kStep) << angle;
        EXPECT_EQ(methods.searcher.skewColumns, 2);
    }
}

TEST(SkewSearch, AnAngleBeyondTheFirstRangeRestartsTheSearchAtThirty) {
    // Pages turned by 5.3, 12 and -8 degrees searched with a range of 5: the
    // angle left by the first searches lies in the extra half degree, so the
    // search runs once more over 30 degrees and finds the page's angle.
    for (double turned : {5.3, 12.0, -8.0}) {
        Page page = TurnedText(turned);
        page.dpi = 110;
        GreyPageMethods methods(page, true);
        EXPECT_NEAR(skew::DetectSkewAngle(methods, 5, 0, true, false), turned, kStep) << turned;
        ASSERT_GE(methods.maxAngles.size(), 2u);
        EXPECT_EQ(methods.maxAngles.front(), 5) << turned;
        EXPECT_EQ(methods.maxAngles.back(), 30) << turned;
        EXPECT_EQ(std::count(methods.maxAngles.begin(), methods.maxAngles.end(), 30), 1) << turned;
        // Without trying others there is no restart: the angle stays in the
        // extra half degree.
        GreyPageMethods once(page, true);
        const float angle = skew::DetectSkewAngle(once, 5, 0, false, false);
        EXPECT_GT(std::fabs(angle), 5.0f) << turned;
        EXPECT_LT(std::fabs(angle), 5.5f) << turned;
        EXPECT_EQ(once.maxAngles.size(), 1u);
    }
}

TEST(SkewSearch, RememberedCountsLeaveEverySearchAsCountingAfresh) {
    // The detection with counts remembered against the same detection
    // counting every slope afresh: every search (first round and wide
    // range) must leave the same result and state, on pages that take the
    // wide search and pages that do not, for every method, one and two
    // columns, lines and columns of text.
    struct Case {
        const char* what;
        double turned;
        bool vertical;  // columns of characters, searched as vertical text
        int blocks, method;
        bool twoColumns;
        bool wide;  // the detection searches the wide range
    };
    const Case cases[] = {
        {"7 degrees, method 0", 7.0, false, 1, 0, false, true},
        {"-8 degrees, method 0, two columns", -8.0, false, 1, 0, true, true},
        {"12 degrees, method 1", 12.0, false, 1, 1, false, true},
        {"-6 degrees, method 2", -6.0, false, 1, 2, false, true},
        {"7 degrees, two blocks in two columns", 7.0, false, 2, 0, true, true},
        {"columns of text at 8 degrees", 8.0, true, 1, 0, false, true},
        {"1.2 degrees: no wide search", 1.2, false, 1, 0, false, false},
        {"-2 degrees, method 1, two columns: no wide search", -2.0, false, 1, 1, true, false},
        {"columns of text at 2 degrees: no wide search", 2.0, true, 1, 2, false, false},
    };
    for (const Case& c : cases) {
        skewpages::TextPageSpec spec;
        spec.width = 700;
        spec.height = 900;
        spec.marginX = 90;
        spec.marginY = 100;
        spec.angle = c.turned;
        spec.vertical = c.vertical;
        spec.blocks = c.blocks;
        spec.seed = 3;
        Page page = skewpages::TextPage(spec);
        page.dpi = 110;
        GreyPageMethods afresh(page, !c.vertical);
        GreyPageMethods remembering(page, !c.vertical);
        remembering.searcher.RememberCounts(true);
        const float a = skew::DetectSkewAngle(afresh, 5, c.method, true, c.twoColumns);
        const float b = skew::DetectSkewAngle(remembering, 5, c.method, true, c.twoColumns);
        EXPECT_EQ(a, b) << c.what;
        EXPECT_EQ(afresh.records, remembering.records) << c.what;
        const bool wide = std::count(afresh.maxAngles.begin(), afresh.maxAngles.end(), 30) > 0;
        EXPECT_EQ(wide, c.wide) << c.what << ": angle " << a;
        // The wide search takes the first range's counts from the first
        // round; without it every search is a new one.
        if (c.wide)
            EXPECT_LT(remembering.searcher.counted, afresh.searcher.counted) << c.what;
        else
            EXPECT_EQ(remembering.searcher.counted, afresh.searcher.counted) << c.what;
    }
}

TEST(SkewSearch, RememberedCountsAreForgottenForAnImageOfOtherPixels) {
    // A short bar in the margin: the counts remembered on the image without
    // it would be wrong for the image with it (the bar darkens a blank line),
    // so they must not be used there; the same pixels in another buffer do
    // reuse them.
    skewpages::TextPageSpec spec;
    spec.width = 400;
    spec.height = 500;
    spec.marginX = 50;
    spec.marginY = 60;
    spec.charHeight = 12;
    spec.angle = 1.5;
    const Page page = skewpages::TextPage(spec);
    const std::vector<std::uint8_t> first = binarize::Otsu8(page.bits.data(), page.width, page.height);
    std::vector<std::uint8_t> same = first;
    // A 20-pixel bar in the margin makes a blank line at slope 0 dark.
    std::vector<std::uint8_t> other = first;
    Page bar = skewpages::Grey(page.width, page.height);
    skewpages::FillFromTop(bar, 100, 40, 119, 40, 0);
    for (std::size_t i = 0; i < other.size(); ++i) other[i] = std::min(other[i], bar.bits[i]);

    auto search = [&](skew::SkewSearcher& s, const std::vector<std::uint8_t>& image) {
        s.SetBinaryImage(image.data(), page.width, page.height);
        const bool found = s.SearchSkew(5, 0, false, true);
        return SearchRecord{5, 0, false, found, s};
    };
    CountingSearcher plain;
    const SearchRecord want = search(plain, other);
    skew::SkewSearcher check;
    check.SetBinaryImage(first.data(), page.width, page.height);
    const int withoutBar = check.CountHorizontalLines(0.0, 0);
    check.SetBinaryImage(other.data(), page.width, page.height);
    EXPECT_EQ(check.CountHorizontalLines(0.0, 0), withoutBar - 1) << "the bar must darken one line";

    CountingSearcher remembering;
    remembering.RememberCounts(true);
    search(remembering, first);
    const int firstCounts = remembering.counted;
    EXPECT_GT(firstCounts, 0);
    search(remembering, same);
    EXPECT_EQ(remembering.counted, firstCounts) << "the same pixels are counted once";
    EXPECT_EQ(search(remembering, other), want);
    EXPECT_EQ(remembering.counted, firstCounts + plain.counted);
    // Off forgets: the same pixels are counted again.
    remembering.RememberCounts(false);
    remembering.RememberCounts(true);
    search(remembering, other);
    EXPECT_EQ(remembering.counted, firstCounts + 2 * plain.counted);
}

TEST(SkewSearch, ABlankPageStaysWithinOneStepOfUpright) {
    // Every line of every slope is blank, so no scan finds a peak and the
    // larger score wins. The vertical lines leave only the small strip
    // offset unsampled (score 670 / 700) and the horizontal ones a twentieth
    // at each end (810 / 900), so the vertical scan's first angle, 0.01
    // degree, is the result: the page is turned by a hundredth of a degree.
    Page page = skewpages::Grey(700, 900);
    GreyPageMethods methods(page, true);
    EXPECT_EQ(skew::DetectSkewAngle(methods, 5, 0, true, false), 0.01f);
    // No method finds a peak: all three are tried, and there is no restart.
    EXPECT_EQ(methods.maxAngles, (std::vector<int>{5, 5, 5}));
    skew::SkewSearcher s;
    s.SetBinaryImage(page.bits.data(), page.width, page.height);
    EXPECT_FALSE(s.SearchSkew(5, 0, false, true));
    EXPECT_FLOAT_EQ(s.horizontalScore, 810.0f / 900.0f);
    EXPECT_FLOAT_EQ(s.verticalScore, 670.0f / 700.0f);
    EXPECT_EQ(s.horizontalAngle, 0.0f);
    EXPECT_EQ(s.verticalAngle, 0.01f);
    EXPECT_EQ(s.skewAngle, 0.01f);
    EXPECT_EQ(s.skewScore, s.verticalScore);
}

TEST(SkewSearch, FastAndReferenceSearchesLeaveTheSameState) {
    for (bool vertical : {false, true}) {
        skewpages::TextPageSpec spec;
        spec.width = 333;
        spec.height = 451;
        spec.marginX = 40;
        spec.marginY = 50;
        spec.charHeight = 10;
        spec.angle = vertical ? -1.1 : 2.2;
        spec.vertical = vertical;
        const Page page = skewpages::TextPage(spec);
        const auto binary = binarize::Otsu8(page.bits.data(), page.width, page.height);
        skew::SkewSearcher fast;
        reference::ReferenceSkewSearcher slow;
        for (skew::SkewSearcher* s : {&fast, static_cast<skew::SkewSearcher*>(&slow)})
            s->SetBinaryImage(binary.data(), page.width, page.height);
        for (bool horizontalText : {true, false}) {
            const bool a = fast.SearchSkew(15, 0, false, horizontalText);
            const bool b = slow.SearchSkew(15, 0, false, horizontalText);
            EXPECT_EQ(a, b);
            EXPECT_EQ(fast.skewAngle, slow.skewAngle);
            EXPECT_EQ(fast.skewScore, slow.skewScore);
            EXPECT_EQ(fast.horizontalAngle, slow.horizontalAngle);
            EXPECT_EQ(fast.verticalAngle, slow.verticalAngle);
            EXPECT_EQ(fast.horizontalScore, slow.horizontalScore);
            EXPECT_EQ(fast.verticalScore, slow.verticalScore);
            EXPECT_EQ(fast.skewBestCount, slow.skewBestCount);
            EXPECT_EQ(fast.declineCount, slow.declineCount);
        }
    }
}

TEST(SkewSearch, BadMaximumAnglesEndCleanly) {
    const Page page = skewpages::Grey(64, 48);
    skew::SkewSearcher s;
    s.SetBinaryImage(page.bits.data(), page.width, page.height);
    // Negative: nothing is swept.
    EXPECT_FALSE(s.SearchSkew(-5, 0, false, true));
    EXPECT_EQ(s.skewAngle, 0.0f);
    EXPECT_EQ(s.skewScore, 0.0f);
    EXPECT_FALSE(s.SearchSkew(INT_MIN, 0, false, true));
    // Huge: swept as 90 degrees, which ends (a float sweep to 2^31 would not).
    struct Counter : skew::SkewSearcher {
        int calls = 0;
        int CountHorizontalLines(double, int) override { return ++calls, 0; }
        int CountVerticalLines(double, int) override { return ++calls, 0; }
    } counter;
    EXPECT_FALSE(counter.SearchSkew(INT_MAX, 0, false, true));
    EXPECT_NEAR(counter.calls, 4 * 1810, 8);
    // No binary image: nothing found.
    skew::SkewSearcher none;
    EXPECT_FALSE(none.SearchSkew(5, 0, false, true));
    EXPECT_EQ(none.skewAngle, 0.0f);
}

namespace {

// Scripted search results per (maximum angle, method).
struct Outcome {
    bool found;
    float score;
    float angle;
};

class ScriptedMethods : public skew::SkewMethods {
public:
    std::map<std::pair<int, int>, Outcome> script;
    bool contrastCopy = false;
    bool mostlyDark = false;
    std::vector<std::string> calls;

    bool RunSkewSearch(int maxAngle, skew::SkewMethod kind, bool twoColumns, float* angle, float* score) override {
        const int method = static_cast<int>(kind);
        calls.push_back("search " + std::to_string(method) + (twoColumns ? " two" : " one") + " A" +
                        std::to_string(maxAngle));
        const auto it = script.find({maxAngle, method});
        const Outcome o = it == script.end() ? Outcome{false, 0.0f, 0.0f} : it->second;
        *angle = o.angle;
        *score = o.score;
        return o.found;
    }
    bool HasContrastCopy() const override { return contrastCopy; }
    void PrepareContrastCopy() override {
        calls.push_back("contrast");
        contrastCopy = true;
    }
    bool BinaryMostlyDark() const override { return mostlyDark; }
};

}  // namespace

TEST(SkewDetection, MethodsAreChosenTriedAndRestartedByTheRules) {
    using Calls = std::vector<std::string>;
    struct Case {
        const char* what;
        int maxAngle, method;
        bool tryOthers, twoColumns, contrastCopy, mostlyDark;
        std::map<std::pair<int, int>, Outcome> script;
        float angle;
        Calls calls;
    };
    const Case cases[] = {
        {"the chosen method finds a good peak", 5, 0, true, false, false, false,
         {{{5, 0}, {true, 0.2f, 1.5f}}}, 1.5f, {"search 0 one A5"}},
        {"a score of exactly 0.15 is good", 5, 1, true, false, false, false,
         {{{5, 1}, {true, 0.15f, -2.0f}}}, -2.0f, {"search 1 one A5"}},
        {"without trying others a weak result stands", 5, 0, false, true, false, false,
         {{{5, 0}, {false, 0.4f, 3.0f}}}, 3.0f, {"search 0 two A5"}},
        {"others are tried in the order 0, 1, 2", 5, 1, true, false, false, false,
         {{{5, 2}, {true, 0.5f, 4.0f}}}, 4.0f,
         {"search 1 one A5", "search 0 one A5", "contrast", "search 2 two A5"}},
        {"method 2 prepares its copy and method 0 then uses the other column setting", 5, 2, true, true, false, false,
         {{{5, 0}, {true, 0.3f, -1.0f}}}, -1.0f, {"contrast", "search 2 two A5", "search 0 one A5"}},
        {"an existing contrast copy is used as it is", 5, 2, false, false, true, false,
         {{{5, 2}, {true, 0.9f, 0.5f}}}, 0.5f, {"search 2 one A5"}},
        {"weak finds: the chosen method's angle wins", 5, 1, true, false, false, false,
         {{{5, 0}, {true, 0.1f, 1.0f}}, {{5, 1}, {true, 0.1f, 2.0f}}, {{5, 2}, {true, 0.1f, 3.0f}}}, 2.0f,
         {"search 1 one A5", "search 0 one A5", "contrast", "search 2 two A5"}},
        {"weak finds: else the first found in order", 5, 0, true, false, false, false,
         {{{5, 1}, {true, 0.1f, 2.0f}}, {{5, 2}, {true, 0.1f, 3.0f}}}, 2.0f,
         {"search 0 one A5", "search 1 one A5", "contrast", "search 2 two A5"}},
        {"nothing found on a light binary image: method 0's angle", 5, 1, true, false, false, false,
         {{{5, 0}, {false, 0.9f, 0.25f}}, {{5, 2}, {false, 0.9f, -0.5f}}}, 0.25f,
         {"search 1 one A5", "search 0 one A5", "contrast", "search 2 two A5"}},
        {"nothing found on a mostly dark binary image: method 2's angle", 5, 1, true, false, false, true,
         {{{5, 0}, {false, 0.9f, 0.25f}}, {{5, 2}, {false, 0.9f, -0.5f}}}, -0.5f,
         {"search 1 one A5", "search 0 one A5", "contrast", "search 2 two A5"}},
        {"an angle in the extra half degree restarts at 30", 5, 0, true, false, false, false,
         {{{5, 0}, {true, 0.3f, 5.3f}}, {{30, 0}, {true, 0.3f, 12.0f}}}, 12.0f,
         {"search 0 one A5", "search 0 one A30"}},
        {"the fallback angle restarts too", 5, 0, true, false, false, false,
         {{{5, 0}, {false, 0.3f, -5.2f}}, {{30, 0}, {true, 0.3f, -9.0f}}}, -9.0f,
         {"search 0 one A5", "search 1 one A5", "contrast", "search 2 two A5", "search 0 one A30"}},
        {"no restart without trying others", 5, 0, false, false, false, false,
         {{{5, 0}, {true, 0.3f, 5.3f}}}, 5.3f, {"search 0 one A5"}},
        {"no restart from a range of 29", 29, 0, true, false, false, false,
         {{{29, 0}, {true, 0.3f, 29.3f}}}, 29.3f, {"search 0 one A29"}},
        {"a weak find beyond the range does not restart", 5, 0, true, false, false, false,
         {{{5, 0}, {true, 0.1f, 5.3f}}}, 5.3f,
         {"search 0 one A5", "search 1 one A5", "contrast", "search 2 two A5"}},
        {"method -1 counts as method 2", 5, -1, false, false, true, false,
         {{{5, 2}, {true, 0.5f, 0.7f}}}, 0.7f, {"search 2 one A5"}},
        {"method 4 counts as method 1", 5, 4, false, false, false, false,
         {{{5, 1}, {true, 0.5f, 0.8f}}}, 0.8f, {"search 1 one A5"}},
    };
    for (const Case& c : cases) {
        ScriptedMethods m;
        m.script = c.script;
        m.contrastCopy = c.contrastCopy;
        m.mostlyDark = c.mostlyDark;
        EXPECT_EQ(skew::DetectSkewAngle(m, c.maxAngle, c.method, c.tryOthers, c.twoColumns), c.angle) << c.what;
        EXPECT_EQ(m.calls, c.calls) << c.what;
    }
}
