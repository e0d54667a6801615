// Cutting white margins and cutting edges by background colour.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "processing/Cutting.h"
#include "processing/PixelMath.h"
#include "processing/SkewTestPages.h"

using cutting::Box;
using synth::Page;

namespace {

// Box in memory rows of a block given in rows from the top.
Box MemoryBox(int height, int left, int top, int right, int bottom) {
    return Box{left, right, height - 1 - bottom, height - 1 - top};
}

void ExpectBox(const Box& got, const Box& want, const char* what) {
    EXPECT_EQ(got.left, want.left) << what;
    EXPECT_EQ(got.right, want.right) << what;
    EXPECT_EQ(got.top, want.top) << what;
    EXPECT_EQ(got.bottom, want.bottom) << what;
}

synth::Page Field(int width, int height, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    synth::Page c;
    c.width = width;
    c.height = height;
    c.bits.assign(px::Stride24(width) * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = c.bits.data() + px::Stride24(width) * y + 3 * x;
            p[0] = b, p[1] = g, p[2] = r;
        }
    return c;
}

void FillColour(synth::Page& c, int left, int memTop, int right, int memBottom, std::uint8_t b,
                std::uint8_t g, std::uint8_t r) {
    for (int y = memTop; y <= memBottom; ++y)
        for (int x = left; x <= right; ++x) {
            std::uint8_t* p = c.bits.data() + px::Stride24(c.width) * y + 3 * x;
            p[0] = b, p[1] = g, p[2] = r;
        }
}

}  // namespace

TEST(CutWhite, MarginsAroundTheContentBox) {
    // 300 x 200, content in columns 60 .. 239 and rows from the top 50 .. 129
    // (memory rows 70 .. 149).
    struct Case {
        const char* what;
        cutting::Margins margins;
        Box block;  // memory rows
    };
    const Case cases[] = {
        {"no margins", {0, 0, 0, 0}, {60, 239, 70, 149}},
        {"margins of 0 or below are ignored", {-5, -1, 0, -100}, {60, 239, 70, 149}},
        {"plain margins", {10, 20, 5, 15}, {50, 259, 65, 164}},
        {"margins beyond the edges stop there", {60, 1000, 70, 51}, {0, 299, 0, 199}},
        {"huge margins do not overflow", {std::numeric_limits<int>::max(), std::numeric_limits<int>::max(),
                                          std::numeric_limits<int>::max(), std::numeric_limits<int>::max()},
         {0, 299, 0, 199}},
    };
    Page page = skewpages::Grey(300, 200);
    skewpages::FillFromTop(page, 60, 50, 239, 129, 0);
    for (const Case& c : cases) {
        for (bool fixed : {false, true}) {
            Box box;
            const cutting::Cut cut = cutting::CutWhiteMargins(page.bits.data(), 300, 200, 8, fixed, 128, c.margins,
                                                              2.0f, &box);
            ExpectBox(box, MemoryBox(200, 60, 50, 239, 129), c.what);
            ASSERT_EQ(cut.width, c.block.right - c.block.left + 1) << c.what;
            ASSERT_EQ(cut.height, c.block.bottom - c.block.top + 1) << c.what;
            for (int y = 0; y < cut.height; ++y)
                for (int x = 0; x < cut.width; ++x)
                    ASSERT_EQ(cut.bits[px::Stride8(cut.width) * y + x],
                              page.bits[px::Stride8(300) * (c.block.top + y) + c.block.left + x])
                        << c.what;
        }
    }
}

TEST(CutWhite, TheTopMarginLiesBelowTheContentAsDisplayed) {
    // Rows are bottom-up: the margin passed as "top" extends the first rows
    // in memory, which are the lowest rows of the picture.
    Page page = skewpages::Grey(100, 100);
    skewpages::FillFromTop(page, 10, 40, 89, 59, 0);  // rows from the top 40 .. 59
    const cutting::Cut cut =
        cutting::CutWhiteMargins(page.bits.data(), 100, 100, 8, true, 128, {0, 0, 5, 12}, 2.0f, nullptr);
    ASSERT_EQ(cut.height, 20 + 5 + 12);
    Page out = skewpages::Grey(cut.width, cut.height);
    out.bits.assign(cut.bits.get(), cut.bits.get() + cut.size);
    int blankAbove = 0, blankBelow = 0;  // as displayed
    while (skewpages::AtFromTop(out, 0, blankAbove) == 255) ++blankAbove;
    while (skewpages::AtFromTop(out, 0, cut.height - 1 - blankBelow) == 255) ++blankBelow;
    EXPECT_EQ(blankBelow, 5);
    EXPECT_EQ(blankAbove, 12);
}

TEST(CutWhite, ThresholdsRatioAndBlankPages) {
    // Content at grey 100: dark at a fixed threshold of 128 or by Otsu, not
    // at a fixed threshold of 100 (at least the threshold is light).
    Page page = skewpages::Grey(200, 100, 230);
    skewpages::FillFromTop(page, 50, 20, 149, 79, 100);
    Box box;
    EXPECT_FALSE(cutting::CutWhiteMargins(page.bits.data(), 200, 100, 8, true, 128, {}, 2.0f, &box).empty());
    EXPECT_FALSE(cutting::CutWhiteMargins(page.bits.data(), 200, 100, 8, false, 0, {}, 2.0f, &box).empty());
    EXPECT_TRUE(cutting::CutWhiteMargins(page.bits.data(), 200, 100, 8, true, 100, {}, 2.0f, &box).empty());
    EXPECT_FALSE(box.Found());
    // Colour through its grey values.
    const synth::Page colour = skewpages::ToColour(page);
    const cutting::Cut c = cutting::CutWhiteMargins(colour.bits.data(), 200, 100, 24, false, 0, {}, 2.0f, &box);
    EXPECT_EQ(c.width, 100);
    EXPECT_EQ(c.height, 60);
    ExpectBox(box, MemoryBox(100, 50, 20, 149, 79), "colour");
    // A row is content with more than ratio / 100 x width dark pixels: 4 of
    // 200 at 2 % is not enough, 5 is.
    for (int n : {4, 5}) {
        Page p = skewpages::Grey(200, 100);
        skewpages::FillFromTop(p, 0, 10, n - 1, 10, 0);  // row 10 from the top: memory row 89
        skewpages::FillFromTop(p, 100, 0, 100, 99, 0);   // one dark pixel in every row
        skewpages::FillFromTop(p, 100, 10, 100, 10, 255);
        const Box found = cutting::FindContentBox(p.bits.data(), 200, 100, 2.0f);
        EXPECT_EQ(found.top, n == 5 ? 89 : -1) << n;
        EXPECT_EQ(found.bottom, n == 5 ? 89 : -1) << n;
        EXPECT_EQ(found.left, 100) << n;
        EXPECT_EQ(found.right, 100) << n;
    }
    // A blank page cuts nothing, whatever the margins.
    const Page blank = skewpages::Grey(64, 48);
    EXPECT_TRUE(cutting::CutWhiteMargins(blank.bits.data(), 64, 48, 8, false, 0, {5, 5, 5, 5}, 2.0f, &box).empty());
    EXPECT_FALSE(box.Found());
    EXPECT_TRUE(cutting::CutWhiteMargins(nullptr, 64, 48, 8, false, 0, {}, 2.0f, &box).empty());
    EXPECT_TRUE(cutting::CutWhiteMargins(blank.bits.data(), 0, 48, 8, false, 0, {}, 2.0f, &box).empty());
}

TEST(CutByBkColor, MarginUnits) {
    struct Case {
        int unit;
        float margin;
        int dpi;
        int pixels;
    };
    const Case cases[] = {
        {0, 2.5f, 300, 2},   // int(2.5 + 0.49)
        {0, 2.6f, 300, 3},   {0, 0.0f, 300, 0},   {1, 2.0f, 300, 22},  // int(11 x 2)
        {1, 3.0f, 200, 21},  // int(dpi x 0.03937008) = 7
        {1, 1.0f, 0, 0},     {0, 1e30f, 300, std::numeric_limits<int>::max()},
    };
    for (const Case& c : cases) {
        cutting::CutByBkColorParams p;
        p.marginUnit = c.unit;
        p.margin = c.margin;
        EXPECT_EQ(cutting::MarginPixels(p, c.dpi), c.pixels) << c.unit << " " << c.margin;
    }
}

TEST(CutByBkColor, ColourListFollowsTheFlagOrder) {
    cutting::CutByBkColorParams p;
    p.white = 1;
    p.red = 1;
    p.cyan = 7;
    const auto list = cutting::ContentColours(p);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].r, 255);
    EXPECT_EQ(list[0].g, 0);
    EXPECT_EQ(list[1].r, 0);
    EXPECT_EQ(list[1].g, 255);
    EXPECT_EQ(list[1].b, 255);
    EXPECT_EQ(list[2].r + list[2].g + list[2].b, 765);
    EXPECT_TRUE(cutting::ContentColours(cutting::CutByBkColorParams{}).empty());
}

TEST(CutByBkColor, AWhitePageOnABlueFieldIsCutToThePage) {
    // 300 x 200 blue field, white page in columns 50 .. 249, memory rows
    // 30 .. 169; a little dark text on the page.
    synth::Page img = Field(300, 200, 200, 40, 30);
    FillColour(img, 50, 30, 249, 169, 245, 250, 252);
    FillColour(img, 80, 60, 200, 64, 20, 20, 20);
    cutting::CutByBkColorParams p;
    p.white = 1;
    p.contentRatio = 50.0f;
    p.margin = 2.5f;
    const cutting::ColourCut out = cutting::CutEdgesByBkColor(img.bits.data(), 300, 200, p, 300);
    ExpectBox(out.box, Box{50, 249, 30, 169}, "page box");
    ASSERT_EQ(out.cut.width, 200 + 4);
    ASSERT_EQ(out.cut.height, 140 + 4);
    // The cut holds the original colours, not the reduced ones.
    const std::uint8_t* corner = out.cut.bits.get();  // (48, 28): blue field
    EXPECT_EQ(corner[0], 200);
    EXPECT_EQ(corner[1], 40);
    EXPECT_EQ(corner[2], 30);
    const std::uint8_t* inside = out.cut.bits.get() + px::Stride24(out.cut.width) * 2 + 3 * 2;  // (50, 30)
    EXPECT_EQ(inside[2], 252);
    EXPECT_FALSE(out.nearWhiteChecked);
}

TEST(CutByBkColor, RatioAboveOneHundredBehavesAsOneHundred) {
    // At 100 % a run must be as long as the line, which a run from the
    // first to the last pixel is not (it is one shorter): nothing is cut,
    // exactly as at 150 %; at 80 % the page is found.
    synth::Page img = Field(120, 80, 255, 0, 0);
    FillColour(img, 5, 4, 114, 75, 255, 255, 255);
    for (float ratio : {100.0f, 150.0f, 1e30f}) {
        cutting::CutByBkColorParams p;
        p.white = 1;
        p.contentRatio = ratio;
        const auto out = cutting::CutEdgesByBkColor(img.bits.data(), 120, 80, p, 300);
        EXPECT_TRUE(out.cut.empty()) << ratio;
        EXPECT_FALSE(out.box.Found()) << ratio;
    }
    cutting::CutByBkColorParams p;
    p.white = 1;
    p.contentRatio = 80.0f;
    ExpectBox(cutting::CutEdgesByBkColor(img.bits.data(), 120, 80, p, 300).box, Box{5, 114, 4, 75}, "80 %");
}

TEST(CutByBkColor, NearWhitePagesAreSkippedWhenAsked) {
    synth::Page img = Field(100, 100, 255, 255, 255);
    FillColour(img, 0, 0, 99, 20, 255, 0, 0);  // a blue band, 21 % of the page
    cutting::CutByBkColorParams p;
    p.white = 1;
    p.contentRatio = 50.0f;
    p.skipNearWhite = 1;
    const auto skipped = cutting::CutEdgesByBkColor(img.bits.data(), 100, 100, p, 300);
    EXPECT_TRUE(skipped.nearWhiteChecked);
    EXPECT_TRUE(skipped.mostlyWhite);
    EXPECT_TRUE(skipped.cut.empty());
    p.skipNearWhite = 0;
    const auto cut = cutting::CutEdgesByBkColor(img.bits.data(), 100, 100, p, 300);
    EXPECT_FALSE(cut.nearWhiteChecked);
    EXPECT_EQ(cut.cut.height, 79);
}

TEST(CutByBkColor, MostlyWhiteAndMeanBinarisation) {
    // Exactly half white is not mostly white; one more pixel is.
    for (int whites : {50, 51}) {
        synth::Page img = Field(10, 10, 0, 0, 0);
        for (int i = 0; i < whites; ++i) {
            std::uint8_t* p = img.bits.data() + px::Stride24(10) * (i / 10) + 3 * (i % 10);
            p[0] = 250, p[1] = 251, p[2] = 255;
        }
        EXPECT_EQ(cutting::IsMostlyWhite(img.bits.data(), 10, 10), whites == 51) << whites;
    }
    synth::Page almost = Field(4, 4, 255, 249, 255);
    EXPECT_FALSE(cutting::IsMostlyWhite(almost.bits.data(), 4, 4));
    EXPECT_FALSE(cutting::IsMostlyWhite(nullptr, 4, 4));

    // Two pixels: grey 0.587 x 200 + 0.299 x 100 + 0.114 x 50 evaluates to
    // 152.99999999999997 -> 152, and 0.587 x 10 + 0.299 x 250 + 0.114 x 160
    // = 98.86 -> 98; mean (152 + 98) / 2 = 125.
    synth::Page two = Field(2, 1, 0, 0, 0);
    std::uint8_t* p = two.bits.data();
    p[0] = 50, p[1] = 200, p[2] = 100, p[3] = 160, p[4] = 10, p[5] = 250;
    cutting::BinarizeAtMeanColor(two.bits.data(), 2, 1);
    const std::uint8_t want[6] = {0, 255, 0, 255, 0, 255};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(p[i], want[i]) << i;
}

TEST(CutByBkColor, LinesWithManyGapsAreNotContent) {
    // A row of 30 white dashes (8 on, 8 off) has 29 gaps of more than five
    // pixels; with 19 dashes there are 18 gaps and the row counts.
    for (int dashes : {19, 30}) {
        synth::Page img = Field(16 * dashes, 20, 0, 0, 0);
        for (int d = 0; d < dashes; ++d) FillColour(img, 16 * d, 10, 16 * d + 7, 10, 255, 255, 255);
        const cutting::Colour white{255, 255, 255};
        const Box box = cutting::FindColourContentBox(&white, 1, img.bits.data(), img.width, 20, 40.0f);
        EXPECT_EQ(box.top, dashes == 19 ? 10 : -1) << dashes;
    }
}
