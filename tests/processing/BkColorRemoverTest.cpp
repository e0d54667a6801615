// Background colour remover: identical to the plain reference over the
// parameter space, and what happens to paper, text and colour on pages
// built for it.
#include <gtest/gtest.h>

#include <string>

#include "processing/BkColorRemover.h"
#include "processing/EngineParams.h"
#include "processing/PixelMath.h"
#include "processing/reference/RefBkColor.h"
#include "support/SyntheticPages.h"

namespace {

using synth::Page;

ref::RBkParams ToRef(const BkColorParams& p, std::uint8_t* colour) {
    return ref::RBkParams{p.page.grey,         colour,       p.brightness,        p.contrast,
                          p.darkening,    p.colorDelta, p.saturation,        p.keepRadius,
                          p.rebuildMask,  static_cast<int>(p.keepMode),   p.keepSourceColours, p.page.width,
                          p.page.height,       p.page.bitsPerPixel, p.page.dpi,
                          ref::RProtect{p.protect.Rects(), p.protect.Enabled()}};
}

TEST(BkColorRemover, MatchesReferenceAcrossModesAndPages) {
    std::vector<std::pair<std::string, Page>> pages;
    for (auto [w, h] : {std::pair{1, 1}, std::pair{2, 9}, std::pair{7, 3}, std::pair{61, 45}}) {
        pages.push_back({"bytes", synth::RandomBytes(w, h, 24, w * 13 + h)});
        pages.push_back({"shapes", synth::RandomShapes(w, h, 24, 8, w * 7 + h)});
    }
    {
        Page page = synth::TextPage(203, 157, 24, 150, 8, synth::kYellowedPaper, 12);
        synth::DrawStamp(page, 120, 80, 40, 5, synth::kSealRed);
        pages.push_back({"yellowed", page});
    }
    struct Setting {
        int mode, keepSource, rebuild;
        float radius;
        int brightness, contrast, darkening;
        bool protect;
    } settings[] = {
        {0, 0, 1, 0.1f, 40, 50, 50, false}, {1, 0, 1, 0.1f, 40, 50, 50, true},  {1, 0, 1, 2.0f, 40, 50, 50, false},
        {2, 0, 1, 0.5f, -20, 120, 0, true}, {3, 0, 1, 0.1f, 0, 255, 85, false}, {2, 0, 1, 9.0f, 0, -300, 20, false},
        {1, 1, 1, 0.1f, 40, 50, 50, false}, {0, 1, 1, 0.1f, 10, 300, 90, true}, {2, 0, 0, 1.0f, 5, 5, 5, false},
        // The first run's mask reused: marked pixels under "no greying" and
        // "grey all".
        {0, 0, 0, 1.0f, 40, 50, 50, true},  {3, 0, 0, 1.0f, 40, 50, 50, false},
    };
    for (const auto& [name, page] : pages) {
        for (const Setting& s : settings) {
            const std::string what = name + " " + std::to_string(page.width) + "x" + std::to_string(page.height) +
                                     " mode " + std::to_string(s.mode) + " source " + std::to_string(s.keepSource) +
                                     " radius " + std::to_string(s.radius);
            Page colour = page, refColour = page;
            Page grey = synth::ToGrey(page);
            BkColorParams p = BkDefaults(colour, grey);
            p.page.dpi = 300;
            p.keepMode = static_cast<KeepMode>(s.mode);
            p.keepSourceColours = s.keepSource;
            p.rebuildMask = s.rebuild;
            p.keepRadius = s.radius;
            p.brightness = s.brightness;
            p.contrast = s.contrast;
            p.darkening = s.darkening;
            if (s.protect) p.protect = ProtectedRects({RECT{1, 1, page.width / 2 + 1, page.height / 2 + 1}}, true);

            // Two runs: the second with the flag under test; the first builds
            // the mask a reuse would keep.
            CBkColorRemover engine;
            ref::RBkState state;
            BkColorParams first = p;
            first.rebuildMask = 1;
            first.keepMode = KeepMode::kKeepColour;
            Page scratch = page, refScratch = page;
            first.page.colour = scratch.Data();
            ASSERT_TRUE(engine.Run(first));
            ref::RefBkRemove(ToRef(first, refScratch.Data()), state);
            ASSERT_TRUE(scratch.bits == refScratch.bits) << what << " (first run)";

            ASSERT_TRUE(engine.Run(p));
            ref::RefBkRemove(ToRef(p, refColour.Data()), state);
            ASSERT_TRUE(colour.bits == refColour.bits) << what;
            if (!s.keepSource) {
                ASSERT_TRUE(engine.Mask() == state.mask) << what;
            }
        }
    }
}

// A row of swatches, each 4 x 4 pixels, on white.
struct Swatch {
    const char* name;
    synth::Colour c;
};
const Swatch kSwatches[] = {
    {"red", synth::Rgb(255, 0, 0)},          {"blue", synth::Rgb(0, 0, 255)},
    {"orange", synth::Rgb(240, 150, 30)},    {"yellow", synth::Rgb(255, 255, 0)},
    {"lead 25", synth::Rgb(200, 175, 100)},  {"grey", synth::Rgb(128, 128, 128)},
    {"tinted", synth::Rgb(235, 225, 190)},
};

TEST(BkColorRemover, KeepModesOnSwatches) {
    // Radius 0: no neighbourhood, so each swatch is judged on its own.
    struct Expect {
        int mode;
        std::vector<bool> kept;  // per swatch: left exactly as it was
    } expects[] = {
        {0, {false, false, false, false, false, false, false}},
        {1, {true, false, true, false, false, false, false}},
        {2, {true, true, true, false, false, false, false}},
        {3, {false, false, false, false, false, false, false}},
    };
    for (const Expect& e : expects) {
        Page page = synth::Blank(8 * 7, 8, 24, synth::kWhite);
        for (int i = 0; i < 7; ++i) page.FillRect({8 * i + 2, 2, 8 * i + 6, 6}, kSwatches[i].c);
        Page grey = synth::ToGrey(page);
        Page out = page;
        BkColorParams p = BkDefaults(out, grey);
        p.keepRadius = 0;
        p.keepMode = static_cast<KeepMode>(e.mode);
        CBkColorRemover engine;
        ASSERT_TRUE(engine.Run(p));
        for (int i = 0; i < 7; ++i) {
            const int x = 8 * i + 3, y = 3;
            const bool colour = engine.Mask()[px::Stride8(page.width) * y + x] == CBkColorRemover::kColour;
            EXPECT_EQ(colour, e.kept[i]) << "mode " << e.mode << " " << kSwatches[i].name;
            const synth::Colour c = out.At(x, y);
            if (e.kept[i]) {
                EXPECT_EQ(c, page.At(x, y)) << "mode " << e.mode << " " << kSwatches[i].name;
            } else if (e.mode != 0) {
                // Greyed before the tables: all three channels equal.
                EXPECT_TRUE(c.r == c.g && c.g == c.b) << "mode " << e.mode << " " << kSwatches[i].name;
            }
        }
    }
}

TEST(BkColorRemover, YellowedPageComesOutWhiteWithTextAndStampKept) {
    Page page = synth::TextPage(600, 500, 24, 200, 5, synth::kYellowedPaper, 6);
    synth::DrawStamp(page, 420, 200, 90, 10, synth::kSealRed);
    Page grey = synth::ToGrey(page);
    Page out = page;
    BkColorParams p = BkDefaults(out, grey);
    p.page.dpi = 200;
    p.keepRadius = 2.0f;
    CBkColorRemover engine;
    ASSERT_TRUE(engine.Run(p));

    // Paper: pixels well away from ink and stamp become white.
    int paper = 0, paperWhite = 0, ink = 0, inkDark = 0, stamp = 0, stampSame = 0;
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x) {
            const synth::Colour in = page.At(x, y), o = out.At(x, y);
            const bool red = in.r > 150 && in.g < 100;
            if (red) {
                ++stamp;
                stampSame += o == in;
            } else if (page.GreyAt(x, y) < 80) {
                ++ink;
                inkDark += px::Grey(o.b, o.g, o.r) < 60;
            } else if (std::abs(in.r - 235) < 10 && std::abs(in.b - 190) < 10 &&
                       (std::abs(x - 420) > 110 || std::abs(y - 200) > 110)) {
                // Paper outside the stamp's kept neighbourhood.
                ++paper;
                paperWhite += o.r >= 250 && o.g >= 250 && o.b >= 250;
            }
        }
    ASSERT_GT(paper, 100000);
    ASSERT_GT(ink, 2000);
    ASSERT_GT(stamp, 1000);
    EXPECT_GE(paperWhite, paper * 99 / 100) << paperWhite << " of " << paper;
    EXPECT_EQ(inkDark, ink);
    EXPECT_EQ(stampSame, stamp);
}

TEST(BkColorRemover, GreyShiftMovesEveryPixelByItsGreyChange) {
    Page page = synth::TextPage(120, 90, 24, 100, 3, synth::kYellowedPaper, 30);
    Page grey = synth::ToGrey(page);
    Page out = page;
    BkColorParams p = BkDefaults(out, grey);
    p.keepSourceColours = 1;
    p.protect = ProtectedRects({RECT{10, 10, 20, 20}}, true);
    const Page greyBefore = grey;
    CBkColorRemover engine;
    ASSERT_TRUE(engine.Run(p));
    EXPECT_TRUE(grey.bits == greyBefore.bits);  // the grey image is only read

    // The grey change of each level, from the remover's own tables.
    CToneCurve curve;
    curve.SetPoints({0, 0}, {105, DarkeningCurveY(50)}, {255, 255});
    curve.BuildLut();
    long long sum = 0;
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x) sum += grey.Row(y)[x];
    const tone::Lut t = tone::BrightnessContrastTable(40, 50, static_cast<int>(sum / (page.width * page.height)));
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x) {
            const int g = grey.Row(y)[x];
            const int d = (x >= 10 && x < 20 && y >= 10 && y < 20) ? 0 : curve.Lut()[t[g]] - g;
            const synth::Colour in = page.At(x, y), o = out.At(x, y);
            ASSERT_EQ(o.r, px::ClampByte(in.r + d)) << x << "," << y;
            ASSERT_EQ(o.g, px::ClampByte(in.g + d)) << x << "," << y;
            ASSERT_EQ(o.b, px::ClampByte(in.b + d)) << x << "," << y;
        }
}

TEST(BkColorRemover, MaskReuseAndItsSizeGuard) {
    // First run finds a red square; a second run with the rebuild flag 0 on
    // an image without red keeps that mask (the square's place is left
    // alone); a run on an image of another size builds a new mask.
    Page page = synth::Blank(40, 30, 24, synth::kYellowedPaper);
    page.FillRect({5, 5, 10, 10}, synth::Rgb(250, 0, 0));
    Page grey = synth::ToGrey(page);
    CBkColorRemover engine;
    Page first = page;
    BkColorParams p = BkDefaults(first, grey);
    p.keepRadius = 0;
    ASSERT_TRUE(engine.Run(p));
    EXPECT_EQ(engine.Mask()[px::Stride8(40) * 6 + 6], CBkColorRemover::kColour);

    Page plain = synth::Blank(40, 30, 24, synth::kYellowedPaper);
    Page plainGrey = synth::ToGrey(plain);
    Page second = plain;
    BkColorParams again = BkDefaults(second, plainGrey);
    again.keepRadius = 0;
    again.rebuildMask = 0;
    ASSERT_TRUE(engine.Run(again));
    EXPECT_EQ(second.At(6, 6), synth::kYellowedPaper);  // masked by the old mask
    EXPECT_NE(second.At(20, 20), synth::kYellowedPaper);

    Page bigger = synth::Blank(64, 50, 24, synth::kYellowedPaper);
    Page biggerGrey = synth::ToGrey(bigger);
    BkColorParams other = BkDefaults(bigger, biggerGrey);
    other.rebuildMask = 0;
    ASSERT_TRUE(engine.Run(other));
    EXPECT_EQ(engine.Mask().size(), px::Stride8(64) * 50);
    EXPECT_NE(bigger.At(6, 6), synth::kYellowedPaper);
}

TEST(BkColorRemover, BadParametersDoNothingOrStayInBounds) {
    Page page = synth::TextPage(33, 21, 24, 300, 2);
    Page grey = synth::ToGrey(page);
    CBkColorRemover engine;
    for (auto [w, h, withGrey] : {std::tuple{0, 21, true}, std::tuple{33, -4, true}, std::tuple{33, 21, false}}) {
        Page out = page;
        BkColorParams p = BkDefaults(out, grey);
        p.page.width = w;
        p.page.height = h;
        if (!withGrey) p.page.grey = nullptr;
        EXPECT_FALSE(engine.Run(p));
        EXPECT_TRUE(out.bits == page.bits);
    }
    // Absurd values run and stay inside the buffers (checked under ASan).
    for (float radius : {-5.0f, 1e30f, std::numeric_limits<float>::quiet_NaN()})
        for (int dpi : {0, -300, 1, 1200, 2000000000}) {
            Page out = page;
            BkColorParams p = BkDefaults(out, grey);
            p.keepRadius = radius;
            p.page.dpi = dpi;
            p.keepMode = KeepMode::kKeepColour;
            p.saturation = std::numeric_limits<float>::quiet_NaN();
            p.brightness = 1 << 30;
            p.contrast = -(1 << 30);
            p.darkening = 1 << 30;
            EXPECT_TRUE(engine.Run(p));
        }
    // No colour image: nothing to change, still a run.
    BkColorParams none = BkDefaults(page, grey);
    none.page.colour = nullptr;
    const Page before = page;
    EXPECT_TRUE(engine.Run(none));
    EXPECT_TRUE(page.bits == before.bits);
}

}  // namespace
