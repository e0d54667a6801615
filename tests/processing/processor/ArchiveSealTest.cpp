// The seal's geometry and its stamping on pages of every depth, drawn by a
// stand-in drawer that paints known pixels (the real drawer needs fonts and
// is tested with the tools).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>

#include "platform/core/Strings.h"
#include "processing/ArchiveSeal.h"
#include "processing/processor/ImageProcessor.h"
#include "settings/ProcessSetting.h"
#include "support/ImageFiles.h"
#include "support/TempDir.h"

namespace {

TEST(SealGeometry, AnA4PageAtThreeHundredDpi) {
    struct Case {
        const char* what;
        SealSettings settings;
        int w, h, x, y, pw, divider, label, value;
    };
    SealSettings fixed;
    fixed.sizeMode = 1;
    SealSettings thin;
    thin.useLineWidth = 1;
    thin.lineWidth = 0;
    SealSettings left;
    left.side = 1;
    SealSettings fonts;
    fonts.useFontSizes = 1;
    const Case cases[] = {
        {"defaults", SealSettings{}, 578, 181, 1784, 59, 8, 384, 57, 47},
        {"fixed size", fixed, 539, 173, 1823, 59, 8, 4 + 2 * (539 - 8) / 3, 55, 45},
        // Pen width 0 (one-pixel lines); nothing is added to the size.
        {"line width 0", thin, 570, 173, 1792, 59, 0, 380, 57, 47},
        {"from the left", left, 578, 181, 118, 59, 8, 384, 57, 47},
        {"font sizes", fonts, 578, 181, 1784, 59, 8, 384, 60, 50},
    };
    for (const auto& c : cases) {
        const SealLayout l = ComputeSealLayout(c.settings, 2480, 3508, 300);
        EXPECT_EQ(l.width, c.w) << c.what;
        EXPECT_EQ(l.height, c.h) << c.what;
        EXPECT_EQ(l.x, c.x) << c.what;
        EXPECT_EQ(l.y, c.y) << c.what;
        EXPECT_EQ(l.penWidth, c.pw) << c.what;
        EXPECT_EQ(l.dividerX, c.divider) << c.what;
        EXPECT_EQ(l.labelHeight, c.label) << c.what;
        EXPECT_EQ(l.valueHeight, c.value) << c.what;
    }
    const SealLayout l = ComputeSealLayout(SealSettings{}, 2480, 3508, 300);
    EXPECT_EQ(l.frame.left, 4);
    EXPECT_EQ(l.frame.right, 574);
    EXPECT_EQ(l.frame.bottom, 177);
    // The text cells split at (H - pw) / 2 = 86, not at the divider's 90.
    EXPECT_EQ(l.labelCells[0].bottom, 86);
    EXPECT_EQ(l.valueCells[1].top, 86);
    EXPECT_EQ(l.valueCells[1].left, 384);
}

TEST(SealGeometry, AbsurdSettingsGiveASealThatCanBeDrawn) {
    SealSettings nan;
    nan.ratioWidth = std::numeric_limits<float>::quiet_NaN();
    nan.ratioHeight = -50.0f;
    SealSettings huge;
    huge.ratioWidth = 1e30f;
    huge.ratioHeight = 1e30f;
    huge.useFontSizes = 1;
    huge.titleFontSize = 2000000000;
    huge.numberFontSize = -5;
    SealSettings widePen;
    widePen.useLineWidth = 1;
    widePen.lineWidth = -40;
    for (const SealSettings& s : {nan, huge, widePen}) {
        const SealLayout l = ComputeSealLayout(s, 800, 600, 150);
        EXPECT_GE(l.width, 1);
        EXPECT_LE(l.width, 800);
        EXPECT_GE(l.height, 1);
        EXPECT_LE(l.height, 600);
        EXPECT_GE(l.penWidth, 0);
        EXPECT_LE(l.penWidth, std::min(l.width, l.height));
        EXPECT_GE(l.labelHeight, 1);
        EXPECT_LE(l.labelHeight, 8192);
        EXPECT_GE(l.valueHeight, 1);
        EXPECT_LE(l.valueHeight, 8192);
    }
}

TEST(SealGeometry, ValueTexts) {
    struct Case {
        const wchar_t* prefix;
        int volume, serial;
        const wchar_t* archive;
        const wchar_t* number;
    };
    const Case cases[] = {{L"A-B", 12, 3, L"A-B-012", L"3"},
                          {L"X", 7, 0, L"X-007", L"0"},
                          {L"卷", 1234, 56, L"卷-1234", L"56"}};
    for (const auto& c : cases) {
        const SealTexts t = MakeSealTexts(c.prefix, c.volume, c.serial);
        EXPECT_EQ(t.values[0], c.archive);
        EXPECT_EQ(t.values[1], c.number);
        EXPECT_EQ(t.labels[0], L"档  号");
        EXPECT_EQ(t.labels[1], L"序号");
    }
}

// Paints the seal's outermost row and column in the line colour and one
// pixel per text cell in the text colour, white elsewhere; remembers what
// it was asked to draw.
class MarkDrawer final : public ISealDrawer {
public:
    bool Draw(BYTE* bits, const SealLayout& l, const SealSettings& s, const SealTexts& t) override {
        texts = t;
        calls++;
        const std::size_t stride = (static_cast<std::size_t>(l.width) * 3 + 3) & ~std::size_t{3};
        auto put = [&](int x, int yTop, COLORREF c) {
            BYTE* p = bits + static_cast<std::size_t>(l.height - 1 - yTop) * stride + 3 * static_cast<std::size_t>(x);
            p[0] = GetBValue(c);
            p[1] = GetGValue(c);
            p[2] = GetRValue(c);
        };
        for (int x = 0; x < l.width; ++x) put(x, 0, s.lineColor);
        for (int y = 0; y < l.height; ++y) put(0, y, s.lineColor);
        put(l.valueCells[0].left + 1, l.valueCells[0].top + 1, s.textColor);
        return true;
    }
    SealTexts texts;
    int calls = 0;
};

class SealStampTest : public ::testing::Test {
protected:
    void SetUp() override { ProcessSetting::ResetToStart(); }
    void TearDown() override { ProcessSetting::ResetToStart(); }
    testdata::TempDir dir;
};

// Pixel (x, y) of an RGB picture.
testimg::Rgb At(const testimg::Picture& p, int x, int y) {
    return {p.at(x, y, 0), p.at(x, y, 1), p.at(x, y, 2)};
}

TEST_F(SealStampTest, TheSealsPixelsLandAtItsCornerAndNothingElseChanges) {
    // A colour PNG page of 400 x 300 at 254 dpi: 10 mm = 100 px.
    const testimg::Picture page = testimg::Pattern(400, 300, 3, 5);
    ASSERT_TRUE(testimg::WritePng(dir.file("p.png"), page, 2, 8, {}, 254));
    SealSettings s;
    s.lineColor = RGB(10, 20, 30);
    s.textColor = RGB(40, 50, 60);
    MarkDrawer drawer;
    CImageProcessor processor;
    ASSERT_TRUE(processor.StampArchiveSeal(dir.wfile(L"p.png"), dir.wfile(L"out"), L"p.png", L"A-B", 12, 3, s, drawer));
    EXPECT_EQ(drawer.texts.values[0], L"A-B-012");
    const SealLayout l = ComputeSealLayout(s, 400, 300, 254);
    ASSERT_EQ(l.x, 400 - l.width - 100);
    ASSERT_EQ(l.y, 50);

    const auto out = testimg::ReadPng(dir.file("out/p.png"));
    ASSERT_TRUE(out.ok);
    ASSERT_EQ(out.width, 400);
    int changed = 0;
    for (int y = 0; y < 300; ++y) {
        for (int x = 0; x < 400; ++x) {
            const auto o = At(out.rgb, x, y);
            const auto i = At(page, x, y);
            const bool sealLine = (y == l.y && x >= l.x && x < l.x + l.width) || (x == l.x && y >= l.y && y < l.y + l.height);
            const bool sealText = x == l.x + l.valueCells[0].left + 1 && y == l.y + l.valueCells[0].top + 1;
            if (sealLine) {
                EXPECT_TRUE(o.r == 10 && o.g == 20 && o.b == 30) << x << "," << y;
            } else if (sealText) {
                EXPECT_TRUE(o.r == 40 && o.g == 50 && o.b == 60) << x << "," << y;
            } else if (o.r != i.r || o.g != i.g || o.b != i.b) {
                ++changed;
            }
        }
    }
    EXPECT_EQ(changed, 0) << "white seal pixels and the page outside the seal stay as they were";
}

TEST_F(SealStampTest, GreyAndOneBitPagesAreStampedInColour) {
    testimg::Picture grey(120, 80, 1);
    for (auto& v : grey.pixels) v = 200;
    ASSERT_TRUE(testimg::WritePng(dir.file("g.png"), grey, 0, 8, {}, 300));
    testimg::Picture bits(120, 80, 1);  // 1-bit: all 0 = white with min-is-white
    ASSERT_TRUE(testimg::WriteTiff(dir.file("b.tif"), {testimg::TiffPage(bits, 1, 0, 4)}));
    SealSettings s;
    s.side = 1;
    s.leftMargin = 0;
    s.topMargin = 0;
    for (const wchar_t* name : {L"g.png", L"b.tif"}) {
        MarkDrawer drawer;
        CImageProcessor processor;
        ASSERT_TRUE(processor.StampArchiveSeal(dir.wfile(name), dir.wfile(L"out"), name, L"X", 1, 1, s, drawer))
            << ToUtf8(name);
        testimg::Picture rgb;
        if (std::wstring(name) == L"g.png") {
            const auto out = testimg::ReadPng(dir.file("out/g.png"));
            ASSERT_TRUE(out.ok);
            EXPECT_EQ(out.colorType, 2) << "saved in colour";
            rgb = out.rgb;
            EXPECT_EQ(At(rgb, 50, 50).g, 200) << "grey paper kept";
        } else {
            const auto pages = testimg::ReadTiff(dir.file("out/b.tif"));
            ASSERT_EQ(pages.size(), 1u);
            EXPECT_EQ(pages[0].samplesPerPixel, 3) << "saved in colour";
            rgb = pages[0].rgb;
            EXPECT_EQ(At(rgb, 50, 50).g, 255) << "white paper kept";
        }
        EXPECT_EQ(At(rgb, 0, 0).r, 255) << ToUtf8(name) << ": the seal's red corner";
        EXPECT_EQ(At(rgb, 0, 0).g, 0) << ToUtf8(name);
    }
}

TEST_F(SealStampTest, ASealReachingPastThePageIsClipped) {
    const testimg::Picture page = testimg::Pattern(200, 100, 3, 9);
    ASSERT_TRUE(testimg::WritePng(dir.file("p.png"), page, 2, 8, {}, 300));
    struct Case {
        int side, left, top, right;
    };
    // Past the left edge, past the right edge, past the bottom.
    const Case cases[] = {{1, -20, 0, 0}, {0, 0, 0, -30}, {1, 0, 7, 0}};
    for (const auto& c : cases) {
        SealSettings s;
        s.side = c.side;
        s.leftMargin = c.left;
        s.topMargin = c.top;
        s.rightMargin = c.right;
        s.ratioHeight = 60.0f;
        MarkDrawer drawer;
        CImageProcessor processor;
        EXPECT_TRUE(processor.StampArchiveSeal(dir.wfile(L"p.png"), dir.wfile(L"out"), L"p.png", L"X", 1, 1, s, drawer));
        const auto out = testimg::ReadPng(dir.file("out/p.png"));
        ASSERT_TRUE(out.ok);
        EXPECT_EQ(out.width, 200);
        EXPECT_EQ(out.height, 100);
    }
}

TEST_F(SealStampTest, AMultiPageTiffKeepsItsOtherPages) {
    std::vector<testimg::TiffPage> pages;
    pages.emplace_back(testimg::Pattern(90, 60, 3, 1), 8, 2, 5);
    pages.emplace_back(testimg::Pattern(70, 50, 1, 2), 8, 1, 5);
    pages.emplace_back(testimg::Pattern(90, 60, 3, 3), 8, 2, 1);
    ASSERT_TRUE(testimg::WriteTiff(dir.file("m.tif"), pages));
    SealSettings s;
    s.side = 1;
    s.leftMargin = 0;
    s.topMargin = 0;
    MarkDrawer drawer;
    CImageProcessor processor;
    ASSERT_TRUE(processor.StampArchiveSeal(dir.wfile(L"m.tif"), dir.wfile(L"out"), L"m.tif", L"X", 1, 1, s, drawer));
    const auto out = testimg::ReadTiff(dir.file("out/m.tif"));
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(At(out[0].rgb, 0, 0).r, 255);
    EXPECT_EQ(At(out[0].rgb, 0, 0).g, 0);
    // Pages 2 and 3 are the originals: the colour page pixel for pixel; the
    // grey page within one level, since loading a grey page takes its levels
    // through the core's truncated grey formula (149 comes back as 148).
    const auto in = testimg::ReadTiff(dir.file("m.tif"));
    ASSERT_EQ(in.size(), 3u);
    EXPECT_EQ(out[2].rgb.pixels, in[2].rgb.pixels);
    ASSERT_EQ(out[1].rgb.pixels.size(), in[1].rgb.pixels.size());
    int worst = 0;
    for (std::size_t k = 0; k < in[1].rgb.pixels.size(); ++k)
        worst = std::max(worst, std::abs(int(out[1].rgb.pixels[k]) - int(in[1].rgb.pixels[k])));
    EXPECT_LE(worst, 1);
    EXPECT_EQ(out[1].width, in[1].width);
    EXPECT_EQ(out[1].samplesPerPixel, 1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out/m_tmpformultiframe")));
}

TEST_F(SealStampTest, AnUnreadablePageWritesNothing) {
    const std::string junk = "no picture";
    std::FILE* f = std::fopen(dir.file("bad.jpg").c_str(), "wb");
    std::fwrite(junk.data(), 1, junk.size(), f);
    std::fclose(f);
    MarkDrawer drawer;
    CImageProcessor processor;
    EXPECT_FALSE(processor.StampArchiveSeal(dir.wfile(L"bad.jpg"), dir.wfile(L"out"), L"bad.jpg", L"X", 1, 1,
                                            SealSettings{}, drawer));
    EXPECT_FALSE(std::filesystem::exists(dir.file("out/bad.jpg")));
    EXPECT_EQ(drawer.calls, 0);
}

}  // namespace
