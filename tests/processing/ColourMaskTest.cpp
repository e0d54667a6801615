// The colour test and the square grow shared by the background colour
// remover and the red seal engine.
#include <gtest/gtest.h>

#include <string>

#include "processing/ColourMask.h"
#include "processing/PixelMath.h"
#include "processing/reference/RefTone.h"
#include "support/SyntheticPages.h"

namespace {

using colourmask::ColourTest;

TEST(ColourTest, TableEqualsTheWrittenOutTestForEveryColour) {
    const ColourTest tests[] = {{25, 0.15f, false}, {25, 0.15f, true}};
    for (const ColourTest& t : tests) {
        const colourmask::ColourTable fast(t);
        for (int b = 0; b < 256; ++b)
            for (int g = 0; g < 256; ++g)
                for (int r = 0; r < 256; ++r) {
                    const bool want = ref::RefIsColour(b, g, r, t.delta, t.saturation, t.requireRed);
                    if (fast(b, g, r) != want)
                        FAIL() << "colour " << r << "," << g << "," << b << " red " << t.requireRed;
                }
    }
    // Other parameters, on a coarser lattice.
    const ColourTest others[] = {{0, 0.0f, false}, {-1, 0.0f, false}, {100, 1.0f, false}, {10, 0.5f, true},
                                 {0, 0.33333334f, false}, {255, 0.0f, false}};
    for (const ColourTest& t : others) {
        const colourmask::ColourTable fast(t);
        for (int b = 0; b < 256; b += 3)
            for (int g = 0; g < 256; g += 5)
                for (int r = 0; r < 256; ++r) {
                    const bool want = ref::RefIsColour(b, g, r, t.delta, t.saturation, t.requireRed);
                    ASSERT_EQ(fast(b, g, r), want) << r << "," << g << "," << b;
                    ASSERT_EQ(colourmask::IsColour(b, g, r, t), want) << r << "," << g << "," << b;
                }
    }
}

TEST(ColourTest, Swatches) {
    const ColourTest red{25, 0.15f, true}, any{25, 0.15f, false};
    struct Case {
        const char* name;
        synth::Colour c;
        bool isRed, isColour;
    } cases[] = {
        {"pure red", synth::Rgb(255, 0, 0), true, true},
        {"pure blue", synth::Rgb(0, 0, 255), false, true},
        {"orange", synth::Rgb(240, 150, 30), true, true},
        {"yellow", synth::Rgb(255, 255, 0), false, false},
        {"lead exactly 25", synth::Rgb(200, 175, 100), false, false},
        {"lead 26", synth::Rgb(200, 174, 100), true, true},
        {"grey", synth::Rgb(128, 128, 128), false, false},
        {"tinted paper", synth::Rgb(235, 225, 190), false, false},
        {"black", synth::Rgb(0, 0, 0), false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(colourmask::IsColour(c.c.b, c.c.g, c.c.r, red), c.isRed) << c.name;
        EXPECT_EQ(colourmask::IsColour(c.c.b, c.c.g, c.c.r, any), c.isColour) << c.name;
    }
}

TEST(ColourGrow, MatchesTheWrittenOutGrow) {
    for (auto [w, h] : {std::pair{1, 1}, std::pair{1, 9}, std::pair{9, 1}, std::pair{13, 7}, std::pair{37, 41},
                        std::pair{90, 61}}) {
        for (double share : {0.002, 0.03, 0.3}) {
            for (int r : {1, 2, 3, 7, 23, 200}) {
                synth::Rng rng(w * 1000 + h + r);
                synth::Page mask(w, h, 8);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) mask.Row(y)[x] = rng.Unit() < share ? 1 : 0;
                synth::Page want = mask;
                colourmask::GrowColourMask(mask.Data(), w, h, r);
                ref::RefGrow(want.Data(), w, h, r);
                ASSERT_TRUE(mask.bits == want.bits) << w << "x" << h << " share " << share << " r " << r;
            }
        }
    }
}

TEST(ColourGrow, OnePixelGrowsAnAsymmetricSquare) {
    synth::Page mask(20, 20, 8);
    mask.Row(10)[10] = 1;
    colourmask::GrowColourMask(mask.Data(), 20, 20, 3);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            const int want = x == 10 && y == 10 ? 1 : (x >= 7 && x <= 12 && y >= 7 && y <= 12 ? 2 : 0);
            ASSERT_EQ(mask.Row(y)[x], want) << x << "," << y;
        }
    // r <= 0 grows nothing.
    synth::Page other(20, 20, 8);
    other.Row(3)[3] = 1;
    const synth::Page before = other;
    colourmask::GrowColourMask(other.Data(), 20, 20, 0);
    colourmask::GrowColourMask(other.Data(), 20, 20, -5);
    EXPECT_TRUE(other.bits == before.bits);
}

}  // namespace
