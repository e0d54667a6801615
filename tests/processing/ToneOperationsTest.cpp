// The processor's tone operations: identical to their plain references on
// random and synthetic images, and the documented behaviour of each.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "processing/PixelMath.h"
#include "processing/ToneOperations.h"
#include "processing/reference/RefToneOps.h"
#include "support/SyntheticPages.h"

namespace {

using synth::Page;

std::vector<std::pair<std::string, Page>> Images(int bpp) {
    std::vector<std::pair<std::string, Page>> images;
    for (auto [w, h] : {std::pair{1, 1}, std::pair{3, 17}, std::pair{29, 2}, std::pair{77, 41}}) {
        images.push_back({"bytes", synth::RandomBytes(w, h, bpp, w * 19 + h)});
        images.push_back({"shapes", synth::RandomShapes(w, h, bpp, 7, w * 23 + h)});
    }
    Page page = synth::TextPage(211, 163, 24, 100, 4, synth::kYellowedPaper, 15);
    images.push_back({"page", bpp == 24 ? page : synth::ToGrey(page)});
    return images;
}

TEST(ToneOperations, AdjustAndDarkenEqualsTheTwoStepsOneAfterTheOther) {
    // The grey background removal's single pass against the plain
    // brightness/contrast step followed by the plain darkening step; with
    // protected pixels, which both steps must leave alone.
    const RECT rect{2, 1, 40, 9};
    for (const auto& [name, image] : Images(8)) {
        for (bool protect : {false, true}) {
            for (auto [b, c, strength] : {std::tuple{40, 50, 50}, std::tuple{-20, 300, 85}, std::tuple{0, -255, 0},
                                          std::tuple{7, 0, 120}, std::tuple{255, 254, 30}}) {
                Page got = image, want = image;
                CToneCurve curve;
                tone::AdjustAndDarken(got.Data(), got.width, got.height, b, c, strength, curve,
                                      ProtectedRects({rect}, protect));
                ref::RefAdjustBC(want.Data(), want.width, want.height, b, c, ref::RProtect{{rect}, protect});
                ref::RefDarken(want.Data(), want.width, want.height, strength, ref::RProtect{{rect}, protect});
                ASSERT_TRUE(got.bits == want.bits) << name << " " << got.width << "x" << got.height << " b " << b
                                                   << " c " << c << " strength " << strength << " protect " << protect;
            }
        }
    }
}

TEST(ToneOperations, MatchReferences) {
    const RECT rect{2, 1, 40, 9};
    for (const auto& [name, image] : Images(8)) {
        for (bool protect : {false, true}) {
            const ProtectedRects rects({rect}, protect);
            const ref::RProtect refRects{{rect}, protect};
            for (auto [b, c] : {std::pair{40, 50}, std::pair{-20, 300}, std::pair{0, -255}, std::pair{7, 0},
                                std::pair{255, 254}}) {
                Page got = image, want = image;
                tone::AdjustBrightnessContrast(got.Data(), got.width, got.height, b, c, rects);
                ref::RefAdjustBC(want.Data(), want.width, want.height, b, c, refRects);
                ASSERT_TRUE(got.bits == want.bits) << name << " b " << b << " c " << c;
            }
            for (int strength : {0, 50, 85, 120}) {
                Page got = image, want = image;
                CToneCurve curve;
                tone::ApplyDarkening(got.Data(), got.width, got.height, strength, curve, rects);
                ref::RefDarken(want.Data(), want.width, want.height, strength, refRects);
                ASSERT_TRUE(got.bits == want.bits) << name << " strength " << strength;
            }
        }
        for (auto [low, high] : {std::pair{0.1f, 0.1f}, std::pair{0.0f, 5.0f}, std::pair{30.0f, 80.0f}}) {
            Page got = image, want = image;
            tone::AutoContrastGray(got.Data(), got.width, got.height, low, high);
            ref::RefAutoGray(want.Data(), want.width, want.height, low, high);
            ASSERT_TRUE(got.bits == want.bits) << name << " clips " << low << "/" << high;
        }
    }
    for (const auto& [name, image] : Images(24)) {
        for (auto [low, high] : {std::pair{0.1f, 0.1f}, std::pair{2.0f, 0.5f}, std::pair{60.0f, 60.0f}}) {
            for (bool common : {true, false}) {
                Page got = image, want = image;
                if (common)
                    tone::AutoContrastColor(got.Data(), got.width, got.height, low, high);
                else
                    tone::AutoContrastPerChannel(got.Data(), got.width, got.height, low, high);
                ref::RefAutoColour(want.Data(), want.width, want.height, low, high, common);
                ASSERT_TRUE(got.bits == want.bits) << name << (common ? " common" : " per channel");
            }
        }
    }
}

TEST(ToneOperations, BrightnessAndContrastExtremes) {
    // Levels 0..255 in a row, twice over.
    Page ramp(256, 2, 8);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 256; ++x) ramp.Row(y)[x] = static_cast<std::uint8_t>(x);
    const int mean = 127;  // (0 + ... + 255) / 256
    {
        Page p = ramp;
        tone::AdjustBrightnessContrast(p.Data(), 256, 2, 20, 255);
        for (int x = 0; x < 256; ++x) EXPECT_EQ(p.Row(1)[x], std::min(255, x + 20) >= mean ? 255 : 0) << x;
    }
    {
        Page p = ramp;
        tone::AdjustBrightnessContrast(p.Data(), 256, 2, -15, 0);
        for (int x = 0; x < 256; ++x) EXPECT_EQ(p.Row(0)[x], std::max(0, x - 15)) << x;
    }
    {
        // Contrast -255: levels at or below the mean go to the mean, those
        // above it to mean + 1 (truncation toward zero of -(v - m) + 0.5),
        // then the brightness is added.
        Page p = ramp;
        tone::AdjustBrightnessContrast(p.Data(), 256, 2, 3, -400);
        for (int x = 0; x < 256; ++x) EXPECT_EQ(p.Row(0)[x], (x <= mean ? mean : mean + 1) + 3) << x;
    }
}

TEST(ToneOperations, ProtectedRectangleKeepsItsPixels) {
    const Page image = synth::RandomBytes(50, 40, 8, 5);
    const RECT rect{10, 5, 30, 25};
    for (bool enabled : {true, false}) {
        Page p = image;
        tone::AdjustBrightnessContrast(p.Data(), 50, 40, 60, 100, ProtectedRects({rect}, enabled));
        Page q = image;
        CToneCurve curve;
        tone::ApplyDarkening(q.Data(), 50, 40, 60, curve, ProtectedRects({rect}, enabled));
        int insideChanged = 0, outsideChanged = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 50; ++x) {
                const int changed = (p.Row(y)[x] != image.Row(y)[x]) + (q.Row(y)[x] != image.Row(y)[x]);
                (x >= 10 && x < 30 && y >= 5 && y < 25 ? insideChanged : outsideChanged) += changed;
            }
        if (enabled) {
            EXPECT_EQ(insideChanged, 0);
        } else {
            EXPECT_GT(insideChanged, 400);
        }
        EXPECT_GT(outsideChanged, 1500);
    }
}

TEST(ToneOperations, DarkeningStrengthsGiveTheirMiddlePoints) {
    Page ramp(256, 1, 8);
    for (int x = 0; x < 256; ++x) ramp.Row(0)[x] = static_cast<std::uint8_t>(x);
    auto curveOf = [](double y1) {
        CToneCurve c;
        c.SetPoints({0, 0}, {105, y1}, {255, 255});
        c.BuildLut();
        return c.Lut();
    };
    for (auto [strength, y1] : {std::pair{0, 105.0}, std::pair{-10, 105.0}, std::pair{50, 55.0}, std::pair{85, 20.0},
                                std::pair{200, 20.0}}) {
        Page p = ramp;
        CToneCurve curve;
        tone::ApplyDarkening(p.Data(), 256, 1, strength, curve);
        const tone::Lut want = curveOf(y1);
        for (int x = 0; x < 256; ++x) ASSERT_EQ(p.Row(0)[x], want[x]) << "strength " << strength << " level " << x;
    }
}

TEST(ToneOperations, AutoContrastClipLevels) {
    // Levels spread evenly over 40..200 with clips of 0.1 %: lo 40, hi 200.
    Page spread(161, 100, 8);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 161; ++x) spread.Row(y)[x] = static_cast<std::uint8_t>(40 + x);
    const tone::ClipLevels c = tone::ClipLevelsOf(tone::Histogram8(spread.Data(), 161, 100), 16100, 0.1f, 0.1f);
    EXPECT_EQ(c.lo, 40);
    EXPECT_EQ(c.hi, 200);
    tone::AutoContrastGray(spread.Data(), 161, 100, 0.1f, 0.1f);
    EXPECT_EQ(spread.Row(0)[0], 0);
    EXPECT_EQ(spread.Row(0)[160], 255);
    EXPECT_EQ(spread.Row(0)[80], static_cast<int>(80.0f / 160.0f * 255.0f));

    // A single level maps to 0.
    Page flat = synth::Blank(9, 9, 8, synth::Rgb(90, 90, 90));
    tone::AutoContrastGray(flat.Data(), 9, 9, 0.1f, 0.1f);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 9; ++x) ASSERT_EQ(flat.Row(y)[x], 0);

    // Colour: channels spread over different ranges. One common table keeps
    // the channels' relation; per channel each reaches 0 and 255.
    Page colour(64, 4, 24);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 64; ++x) colour.Set(x, y, synth::Rgb(100 + x, 50 + 2 * x, 20 + x / 2));
    Page common = colour, each = colour;
    tone::AutoContrastColor(common.Data(), 64, 4, 0.0f, 0.0f);
    tone::AutoContrastPerChannel(each.Data(), 64, 4, 0.0f, 0.0f);
    // Common: lo = 20 (blue's lowest), hi = 176 (green's highest).
    auto stretch = [](int v) { return static_cast<int>(static_cast<float>(v - 20) / 156.0f * 255.0f); };
    EXPECT_EQ(common.At(0, 0), synth::Rgb(stretch(100), stretch(50), 0));
    EXPECT_EQ(stretch(100), 130);
    EXPECT_EQ(each.At(0, 0), synth::Rgb(0, 0, 0));
    EXPECT_EQ(each.At(63, 0), synth::Rgb(255, 255, 255));
}

}  // namespace
