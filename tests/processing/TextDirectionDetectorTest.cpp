// Text-direction detector: equality with the plain reference, ground truth
// on rendered text pages turned by quarter turns, and strokes that must
// never vote.
#include <gtest/gtest.h>

#include "processing/TextDirectionDetector.h"
#include "processing/reference/RefTextDirection.h"
#include "support/GlyphText.h"
#include "support/HolePages.h"

using testdata::Font;
using testdata::TestPage;

namespace {

TextDirectionParams ParamsFor(const TestPage& page) {
    TextDirectionParams p;
    p.image = ConstImageView::Grey(page.grey.data(), page.width, page.height);
    p.threshold = 160;
    p.dpi = page.dpi;
    return p;
}

void ExpectSameAsReference(const TestPage& page, const std::string& what) {
    CTextDirectionDetector det;
    det.Detect(ParamsFor(page));
    const ref::DirectionOutcome want = ref::DetectDirection(page.grey.data(), page.width, page.height, 160, page.dpi);
    EXPECT_EQ(det.Angle(), want.angle) << what;
    for (int k = 0; k < 4; ++k) EXPECT_EQ(det.Votes()[k], want.votes[k]) << what << " scan " << k;
    const std::vector<std::uint8_t> skeleton(det.Skeleton(), det.Skeleton() + page.width * page.height);
    EXPECT_EQ(skeleton, want.skeleton) << what;
}

TestPage TextPage(Font font, int pixelHeight, int w = 1240, int h = 1754) {
    TestPage p(w, h, false);
    testdata::FillText(p, font, pixelHeight, 100, 100, w - 100, h - 100);
    return p;
}

}  // namespace

TEST(TextDirectionDetector, MatchesReferenceOnRandomPages) {
    // odd widths, tiny pages and pages with a one-pixel frame in use
    const int sizes[][2] = {{1, 1}, {1, 40}, {40, 1}, {3, 3}, {37, 29}, {121, 97}, {203, 150}, {257, 311}};
    for (const auto& s : sizes)
        for (std::uint32_t seed = 1; seed <= 6; ++seed) {
            TestPage p = testdata::RandomPage(s[0], s[1], false, seed * 7919u + s[0]);
            p.dpi = (seed % 3 == 0) ? 150 : 300;
            ExpectSameAsReference(p, "random " + std::to_string(s[0]) + "x" + std::to_string(s[1]) + " seed " +
                                         std::to_string(seed));
        }
}

TEST(TextDirectionDetector, MatchesReferenceOnTextPages) {
    const struct {
        Font font;
        int height, turn, w;
    } cases[] = {{Font::LatinSans, 42, 0, 801}, {Font::LatinSerif, 36, 1, 803},
                 {Font::Cjk, 50, 2, 805},       {Font::Cjk, 30, 3, 807}};
    for (const auto& c : cases) {
        TestPage page = testdata::Turn(TextPage(c.font, c.height, c.w, 1001), c.turn);
        ExpectSameAsReference(page, "font " + std::to_string(static_cast<int>(c.font)) + " turn " + std::to_string(c.turn));
    }
}

// A page whose text is turned clockwise by a quarter turns reports 90 x a
// (turning it back by minus that angle makes it upright).
TEST(TextDirectionDetector, FindsTheTurnOfRenderedTextPages) {
    const struct {
        Font font;
        int height;
    } pages[] = {{Font::LatinSerif, 42}, {Font::Cjk, 50}, {Font::Cjk, 60}};
    for (const auto& pg : pages) {
        const TestPage upright = TextPage(pg.font, pg.height);
        for (int q = 0; q < 4; ++q) {
            CTextDirectionDetector det;
            const TestPage page = testdata::Turn(upright, q);
            det.Detect(ParamsFor(page));
            EXPECT_EQ(det.Angle(), 90 * q) << "font " << static_cast<int>(pg.font) << " size " << pg.height
                                           << " turned " << 90 * q << " votes " << det.Votes()[0] << " "
                                           << det.Votes()[1] << " " << det.Votes()[2] << " " << det.Votes()[3];
        }
    }
}

TEST(TextDirectionDetector, StraightOrShortStrokesNeverVote) {
    // Hollow frames have inner gaps and thin strokes, so they are characters;
    // their skeletons are horizontal and vertical lines only. The diagonal
    // strokes are shorter than 2 mm (23 pixels at 300 dpi).
    TestPage p(600, 400, false);
    for (int i = 0; i < 6; ++i) {
        const int x = 40 + 90 * i, y = 60;
        p.fillRect(x, y, x + 50, y + 3, 0);
        p.fillRect(x, y + 60, x + 50, y + 63, 0);
        p.fillRect(x, y, x + 3, y + 63, 0);
        p.fillRect(x + 47, y, x + 50, y + 63, 0);
        // a short diagonal inside a second row of frames
        p.fillRect(x, 200, x + 50, 203, 0);
        p.fillRect(x, 260, x + 50, 263, 0);
        p.fillRect(x, 200, x + 3, 263, 0);
        p.fillRect(x + 47, 200, x + 50, 263, 0);
        p.stroke(x + 15, 220, x + 28, 236, 2.0, 0);
    }
    CTextDirectionDetector det;
    det.Detect(ParamsFor(p));
    // the frames are characters: they have skeletons to trace
    int skeleton = 0;
    for (int i = 0; i < p.width * p.height; ++i) skeleton += det.Skeleton()[i] != 0;
    EXPECT_GT(skeleton, 12 * 200);
    EXPECT_EQ(det.Votes()[0] + det.Votes()[1] + det.Votes()[2] + det.Votes()[3], 0);
    EXPECT_EQ(det.Angle(), 0);
    ExpectSameAsReference(p, "frames");
}

TEST(TextDirectionDetector, RefusedImagesKeepTheAngle) {
    const TestPage upright = TextPage(Font::Cjk, 50);
    const TestPage turned = testdata::Turn(upright, 2);
    CTextDirectionDetector det;
    det.Detect(ParamsFor(turned));
    ASSERT_EQ(det.Angle(), 180);
    std::vector<std::uint8_t> strip(4 * 32768, 255);
    TextDirectionParams bad[4];
    bad[0] = ParamsFor(turned);
    bad[0].image.bits = nullptr;
    bad[1] = ParamsFor(turned);
    bad[1].image.width = 0;
    bad[2].image = ConstImageView::Grey(strip.data(), 1, 32768);
    bad[3].image = ConstImageView::Grey(strip.data(), 32768, 1);
    for (const auto& b : bad) {
        det.Detect(b);
        EXPECT_EQ(det.Angle(), 180);
    }
    // an empty page is accepted and gives 0 with no votes
    TestPage blank(300, 200, false);
    det.Detect(ParamsFor(blank));
    EXPECT_EQ(det.Angle(), 0);
    EXPECT_EQ(det.Votes()[0] + det.Votes()[1] + det.Votes()[2] + det.Votes()[3], 0);
}

TEST(TextDirectionDetector, AbsurdResolutionsDoNotBreakIt) {
    const TestPage page = TextPage(Font::LatinSans, 36, 400, 300);
    for (int dpi : {-300, 0, 1, 13, 72, 1200, 100000}) {
        TestPage p = page;
        p.dpi = dpi;
        ExpectSameAsReference(p, "dpi " + std::to_string(dpi));
    }
}
