// Red seal engine: identical to the plain reference, and seals removed or
// strengthened on pages built for it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "processing/PixelMath.h"
#include "processing/RedSealEngine.h"
#include "processing/reference/RefRedSeal.h"
#include "support/SyntheticPages.h"

namespace {

using synth::Page;

RedSealParams ParamsFor(Page& page, int mode, int type) {
    RedSealParams p;
    p.page.colour = page.Data();
    p.page.width = page.width;
    p.page.height = page.height;
    p.page.dpi = page.dpi;
    p.redLead = 25;
    p.saturation = 0.15f;
    p.mode = static_cast<SealAction>(mode);
    p.type = static_cast<SealScope>(type);
    return p;
}

ref::RSealParams ToRef(const RedSealParams& p, std::uint8_t* image) {
    return {image,     p.redLead, p.saturation, p.page.width, p.page.height, p.page.bitsPerPixel, p.page.dpi,
            p.sealArea, p.erase,  p.textStrength, static_cast<int>(p.type), static_cast<int>(p.mode),  p.clip};
}

// A page with a seal crossed by text, a faint seal, a solid red block and a
// small red tick, at the given dpi (sizes scale with it).
struct SealPage {
    Page page;
    int sealX, sealY, sealR, faintX, faintY;
    synth::Rect block, tick;
};

SealPage MakeSealPage(int width, int height, int dpi) {
    SealPage s;
    const double mm = dpi / 25.4;
    s.page = synth::Blank(width, height, 24, synth::kWhite, dpi);
    s.sealR = static_cast<int>(20 * mm);
    s.sealX = s.sealR + static_cast<int>(8 * mm);
    s.sealY = height - s.sealR - static_cast<int>(8 * mm);
    synth::DrawStamp(s.page, s.sealX, s.sealY, s.sealR, static_cast<int>(2 * mm), synth::kSealRed);
    // Black text through the seal.
    synth::TextOptions o;
    o.area = {s.sealX - s.sealR, s.sealY - static_cast<int>(3 * mm), s.sealX + s.sealR,
              s.sealY + static_cast<int>(2 * mm)};
    o.charHeight = static_cast<int>(3 * mm);
    o.ink = synth::Rgb(20, 20, 20);
    synth::DrawText(s.page, o);
    s.faintX = width - s.sealR - static_cast<int>(8 * mm);
    s.faintY = s.sealY;
    synth::DrawStamp(s.page, s.faintX, s.faintY, s.sealR, static_cast<int>(2 * mm), synth::Rgb(230, 170, 170));
    const int b = static_cast<int>(17 * mm);
    s.block = {static_cast<int>(8 * mm), static_cast<int>(8 * mm), static_cast<int>(8 * mm) + b,
               static_cast<int>(8 * mm) + b};
    s.page.FillRect(s.block, synth::Rgb(210, 20, 30));
    const int t = static_cast<int>(3 * mm);
    s.tick = {width - static_cast<int>(20 * mm), static_cast<int>(10 * mm), width - static_cast<int>(20 * mm) + t,
              static_cast<int>(10 * mm) + t};
    s.page.Line(s.tick.left, s.tick.top + t / 2, s.tick.left + t / 3, s.tick.top, 3, synth::kSealRed);
    s.page.Line(s.tick.left + t / 3, s.tick.top, s.tick.right, s.tick.bottom, 3, synth::kSealRed);
    return s;
}

TEST(RedSealEngine, MatchesReferenceOnRandomAndSealPages) {
    std::vector<std::pair<std::string, Page>> pages;
    for (auto [w, h] : {std::pair{1, 1}, std::pair{3, 50}, std::pair{57, 2}, std::pair{131, 97}}) {
        Page shapes = synth::RandomShapes(w, h, 24, 9, w * 5 + h);
        shapes.dpi = 100;
        pages.push_back({"shapes", shapes});
        Page bytes = synth::RandomBytes(w, h, 24, w * 3 + h);
        bytes.dpi = 60;
        pages.push_back({"bytes", bytes});
    }
    pages.push_back({"seals-100", MakeSealPage(455, 331, 100).page});
    {
        Page noisy = MakeSealPage(301, 233, 75).page;
        synth::AddNoise(noisy, 40, 4);
        pages.push_back({"seals-75-noisy", noisy});
    }
    for (const auto& [name, page] : pages) {
        for (int mode : {0, 1}) {
            for (int type : {0, 1}) {
                for (int clip : {10, 30, 2000}) {
                    if (mode == 0 && clip != 10) continue;
                    Page out = page, want = page;
                    RedSealParams p = ParamsFor(out, mode, type);
                    p.clip = clip;
                    p.sealArea = 20;
                    CRedSealEngine engine;
                    ASSERT_TRUE(engine.Run(p));
                    const auto regions = ref::RefRedSeal(ToRef(p, want.Data()));
                    const std::string what = name + " " + std::to_string(page.width) + "x" +
                                             std::to_string(page.height) + " mode " + std::to_string(mode) +
                                             " type " + std::to_string(type) + " clip " + std::to_string(clip);
                    ASSERT_EQ(engine.Regions().size(), regions.size()) << what;
                    for (std::size_t i = 0; i < regions.size(); ++i) {
                        const auto& a = engine.Regions()[i];
                        EXPECT_EQ(std::tie(a.left, a.top, a.right, a.bottom, a.redCount),
                                  std::tie(regions[i].left, regions[i].top, regions[i].right, regions[i].bottom,
                                           regions[i].red))
                            << what << " region " << i;
                    }
                    ASSERT_TRUE(out.bits == want.bits) << what;
                }
            }
        }
    }
}

bool InsideRect(const CRedSealEngine::SealRegion& r, int x, int y) {
    return x >= r.left && x <= r.right && y >= r.top && y <= r.bottom;
}

TEST(RedSealEngine, RemovesSealsKeepsTextFiltersBlocksAndTicks) {
    const SealPage s = MakeSealPage(1500, 1100, 300);
    for (int type : {0, 1}) {
        Page out = s.page;
        RedSealParams p = ParamsFor(out, 0, type);
        CRedSealEngine engine;
        ASSERT_TRUE(engine.Run(p));
        auto regionAt = [&](int x, int y) {
            for (const auto& r : engine.Regions())
                if (InsideRect(r, x, y)) return true;
            return false;
        };
        EXPECT_TRUE(regionAt(s.sealX, s.sealY)) << "type " << type;
        EXPECT_TRUE(regionAt(s.faintX, s.faintY)) << "type " << type;
        EXPECT_EQ(regionAt(s.block.left + 5, s.block.top + 5), type == 1) << "solid block, type " << type;
        EXPECT_EQ(regionAt(s.tick.left + 2, s.tick.bottom - 2), type == 1) << "tick, type " << type;
        if (type != 0) continue;
        ASSERT_EQ(engine.Regions().size(), 2u);

        // No red remains in the seals' boxes; the text stays dark.
        int textPixels = 0;
        for (const auto& r : engine.Regions())
            for (int y = r.top; y < r.bottom; ++y)
                for (int x = r.left; x < r.right; ++x) {
                    const synth::Colour c = out.At(x, y);
                    ASSERT_LE(c.r - std::max(c.g, c.b), 25) << x << "," << y;
                    const synth::Colour in = s.page.At(x, y);
                    if (in == synth::Rgb(20, 20, 20)) {
                        ++textPixels;
                        ASSERT_LT(px::Grey(c.b, c.g, c.r), 100) << x << "," << y;
                    }
                }
        EXPECT_GT(textPixels, 2000);
        // The block outside every region is untouched.
        EXPECT_EQ(out.At(s.block.left + 5, s.block.top + 5), s.page.At(s.block.left + 5, s.block.top + 5));
    }
}

double MeanSaturation(const Page& page, int cx, int cy, int r) {
    double sum = 0;
    int n = 0;
    for (int y = cy - r; y <= cy + r; ++y)
        for (int x = cx - r; x <= cx + r; ++x) {
            const synth::Colour c = page.At(x, y);
            const int l = std::max({c.r, c.g, c.b}), s = std::min({c.r, c.g, c.b});
            if (l == 0 || c.r < l || l - s < 20) continue;  // reddish pixels only
            sum += double(l - s) / l;
            ++n;
        }
    return n ? sum / n : 0;
}

TEST(RedSealEngine, StrengthensAFaintSeal) {
    const SealPage s = MakeSealPage(1500, 1100, 300);
    Page out = s.page;
    RedSealParams p = ParamsFor(out, 1, 0);
    p.clip = 30;
    CRedSealEngine engine;
    ASSERT_TRUE(engine.Run(p));
    const double before = MeanSaturation(s.page, s.faintX, s.faintY, s.sealR);
    const double after = MeanSaturation(out, s.faintX, s.faintY, s.sealR);
    EXPECT_GT(after, before + 0.2) << before << " -> " << after;

    // At least 3 % of each box ends at 0 in its darkest channel and at 255 in
    // its lightest.
    for (const auto& r : engine.Regions()) {
        long long n = 0, low = 0, high = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) {
                const synth::Colour c = out.At(x, y);
                ++n;
                low += std::min({c.r, c.g, c.b}) == 0;
                high += std::max({c.r, c.g, c.b}) == 255;
            }
        EXPECT_GE(low * 100, 3 * n);
        EXPECT_GE(high * 100, 3 * n);
    }
}

TEST(RedSealEngine, RefusesBadImagesAndSurvivesBadValues) {
    CRedSealEngine engine;
    Page tall = synth::Blank(1, 32768, 24, synth::kSealRed);
    const Page tallBefore = tall;
    RedSealParams p = ParamsFor(tall, 0, 1);
    EXPECT_FALSE(engine.Run(p));
    EXPECT_TRUE(tall.bits == tallBefore.bits);
    Page small = MakeSealPage(200, 150, 50).page;
    const Page smallBefore = small;
    for (auto [w, h, image] : {std::tuple{0, 150, true}, std::tuple{200, -1, true}, std::tuple{200, 150, false}}) {
        RedSealParams bad = ParamsFor(small, 0, 1);
        bad.page.width = w;
        bad.page.height = h;
        if (!image) bad.page.colour = nullptr;
        EXPECT_FALSE(engine.Run(bad));
        EXPECT_TRUE(engine.Regions().empty());
    }
    EXPECT_TRUE(small.bits == smallBefore.bits);
    // Not 24 bits per pixel: no red pixel is found.
    RedSealParams grey = ParamsFor(small, 0, 1);
    grey.page.bitsPerPixel = 8;
    EXPECT_TRUE(engine.Run(grey));
    EXPECT_TRUE(small.bits == smallBefore.bits);
    // Absurd values run inside the buffers (checked under ASan/UBSan).
    for (int dpi : {0, 1, 13, 1200, 2000000000})
        for (int big : {-2000000000, -1, 0, 2000000000}) {
            Page out = small;
            RedSealParams v = ParamsFor(out, big & 1, 0);
            v.page.dpi = dpi;
            v.sealArea = big;
            v.clip = big;
            v.erase = big;
            v.textStrength = big;
            EXPECT_TRUE(engine.Run(v));
            v.mode = SealAction::kStrengthen;
            EXPECT_TRUE(engine.Run(v));
        }
}

}  // namespace
