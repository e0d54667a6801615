// Otsu's threshold and the fixed thresholds.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "processing/Binarize.h"
#include "processing/ToneTables.h"
#include "processing/PixelMath.h"
#include "processing/SkewTestPages.h"

namespace {

// An 8-bit image of the given levels, row after row.
synth::Page ImageOfLevels(const std::vector<std::uint8_t>& levels, int width) {
    const int height = static_cast<int>(levels.size()) / width;
    synth::Page g = skewpages::Grey(width, height);
    for (int i = 0; i < width * height; ++i) g.bits[px::Stride8(width) * (i / width) + i % width] = levels[i];
    return g;
}

// Otsu's threshold in double precision: the t of the largest between-class
// variance, the first of equals; levels up to t are the dark class.
int ClassicOtsu(const binarize::Histogram& h, double total) {
    double best = -1;
    int bestT = 0;
    for (int t = 0; t < 255; ++t) {
        double w0 = 0, s0 = 0, w1 = 0, s1 = 0;
        for (int j = 0; j < 256; ++j) {
            const double p = h[j] / total;
            if (j <= t) {
                w0 += p;
                s0 += j * p;
            } else {
                w1 += p;
                s1 += j * p;
            }
        }
        if (w0 == 0 || w1 == 0) continue;
        const double d = s0 / w0 - s1 / w1, sigma = d * d * w0 * w1;
        if (sigma > best * (1 + 1e-6)) {
            best = sigma;
            bestT = t;
        }
    }
    return bestT;
}

}  // namespace

TEST(Otsu, SpreadHistogramsGiveTheClassicThreshold) {
    std::mt19937 rng(5);
    for (int trial = 0; trial < 20; ++trial) {
        // Two overlapping bell-shaped clusters of random size and place.
        std::normal_distribution<double> dark(30 + rng() % 60, 5 + rng() % 15), light(150 + rng() % 80, 5 + rng() % 20);
        std::vector<std::uint8_t> levels;
        const int darkCount = 200 + static_cast<int>(rng() % 2000), lightCount = 3000;
        for (int i = 0; i < darkCount + lightCount; ++i) {
            const double v = i < darkCount ? dark(rng) : light(rng);
            levels.push_back(static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0)));
        }
        while (levels.size() % 50) levels.push_back(255);
        const synth::Page g = ImageOfLevels(levels, 50);
        const binarize::Histogram h = tone::Histogram8(g.bits.data(), g.width, g.height);
        const int t = binarize::OtsuThreshold(h, static_cast<std::int64_t>(levels.size()));
        // The classic threshold, or, when the levels just above it are
        // empty (a gap between the clusters), the top of that gap: the
        // pixels split the same way.
        const int classic = ClassicOtsu(h, static_cast<double>(levels.size()));
        EXPECT_GE(t, classic) << trial;
        for (int j = classic + 1; j <= t; ++j) EXPECT_EQ(h[j], 0u) << "trial " << trial << " level " << j;
        // Light where the level is at least the threshold.
        const auto out = binarize::Otsu8(g.bits.data(), g.width, g.height);
        for (int i = 0; i < static_cast<int>(levels.size()); ++i)
            ASSERT_EQ(out[px::Stride8(50) * (i / 50) + i % 50], levels[i] >= t ? 255 : 0);
    }
}

TEST(Otsu, TwoLevelImagesKeepTheirDarkPixels) {
    // Levels 50 and 200 split equally well at every t from 50 to 199; the
    // threshold lies above the dark level, so dark stays dark.
    std::vector<std::uint8_t> levels;
    for (int i = 0; i < 600; ++i) levels.push_back(i % 3 == 0 ? 50 : 200);
    const synth::Page g = ImageOfLevels(levels, 30);
    const binarize::Histogram h = tone::Histogram8(g.bits.data(), g.width, g.height);
    const int t = binarize::OtsuThreshold(h, static_cast<std::int64_t>(levels.size()));
    EXPECT_GT(t, 50);
    EXPECT_LE(t, 200);
    const auto out = binarize::Otsu8(g.bits.data(), g.width, g.height);
    for (int i = 0; i < 600; ++i) ASSERT_EQ(out[px::Stride8(30) * (i / 30) + i % 30], levels[i] == 50 ? 0 : 255);
    // The same through the grey value of a colour image (no shortcut).
    const synth::Page c = skewpages::ToColour(g);
    const auto colourOut = binarize::OtsuColor(c.bits.data(), c.width, c.height);
    EXPECT_EQ(colourOut, out);
    // Black and white: the 8-bit form copies, the colour form thresholds;
    // both keep black black.
    std::vector<std::uint8_t> bw;
    for (int i = 0; i < 64; ++i) bw.push_back(i % 5 ? 255 : 0);
    const synth::Page b = ImageOfLevels(bw, 8);
    EXPECT_EQ(binarize::Otsu8(b.bits.data(), 8, 8), b.bits);
    const synth::Page bc = skewpages::ToColour(b);
    EXPECT_EQ(binarize::OtsuColor(bc.bits.data(), 8, 8), b.bits);
}

TEST(Otsu, OneLevelAndDegenerateImages) {
    // One grey level: no split can be measured; the page counts as light.
    const synth::Page grey = skewpages::Grey(9, 7, 100);
    for (std::uint8_t v : binarize::Otsu8(grey.bits.data(), 9, 7)) EXPECT_EQ(v, 255);
    // All black is already binary and stays black.
    const synth::Page black = skewpages::Grey(9, 7, 0);
    const auto out = binarize::Otsu8(black.bits.data(), 9, 7);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) EXPECT_EQ(out[px::Stride8(9) * y + x], 0);
    // Empty images give empty results.
    EXPECT_TRUE(binarize::Otsu8(black.bits.data(), 0, 7).empty());
    EXPECT_TRUE(binarize::OtsuColor(nullptr, 5, 0).empty());
    EXPECT_EQ(binarize::OtsuThreshold(binarize::Histogram{}, 0), 0);
}

TEST(Threshold, FixedThresholdsUseTheGreyFormula) {
    // Grey of (128, 128, 128) truncates to 127: dark at threshold 128.
    struct Case {
        std::uint8_t b, g, r;
        int threshold;
        std::uint8_t out;
    };
    const Case cases[] = {
        {128, 128, 128, 128, 0}, {129, 129, 129, 128, 255}, {0, 255, 0, 150, 0},  // 149.685
        {0, 255, 0, 149, 255},   {255, 0, 0, 30, 0},        {0, 0, 255, 76, 255}, // 29.07, 76.245
        {10, 10, 10, 0, 255},    {255, 255, 255, 256, 0},
    };
    for (const Case& c : cases) {
        const std::uint8_t pixel[4] = {c.b, c.g, c.r, 0};
        EXPECT_EQ(binarize::ThresholdColor(pixel, 1, 1, c.threshold)[0], c.out)
            << int(c.b) << "," << int(c.g) << "," << int(c.r) << " at " << c.threshold;
    }
    const std::uint8_t row[4] = {127, 128, 129, 0};
    const auto out = binarize::Threshold8(row, 3, 1, 128);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 255);
    EXPECT_EQ(out[2], 255);
}

TEST(Threshold, HistogramAndThresholdOfWholeImagesEqualTheirDefinitions) {
    // Random images of odd widths (the vector loops' ends and padding)
    // against the per-pixel definitions, every threshold and beyond.
    for (auto [w, h] : {std::pair<int, int>{1, 1}, {3, 5}, {15, 2}, {16, 3}, {17, 4}, {33, 9}, {257, 31}}) {
        const synth::Page g = synth::RandomBytes(w, h, 8, static_cast<std::uint64_t>(w * 1000 + h));
        binarize::Histogram want{};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) ++want[g.bits[px::Stride8(w) * y + x]];
        EXPECT_EQ(tone::Histogram8(g.bits.data(), w, h), want) << w << "x" << h;
        for (int t = -1; t <= 256; ++t) {
            const auto out = binarize::Threshold8(g.bits.data(), w, h, t);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const std::size_t at = px::Stride8(w) * y + x;
                    ASSERT_EQ(out[at], g.bits[at] >= t ? 255 : 0) << w << "x" << h << " at " << t;
                }
        }
    }
}

TEST(Threshold, ColourImagesAreThresholdedOnTheirGreyValues) {
    // Random colour images whose widths reach the row loops' vector widths
    // and ends, against the grey formula pixel by pixel: fixed thresholds
    // (every level and beyond) and Otsu's threshold of their grey histogram.
    for (auto [w, h] : {std::pair<int, int>{1, 1}, {5, 3}, {31, 2}, {64, 3}, {67, 4}, {129, 5}, {301, 7}}) {
        const synth::Page c = synth::RandomBytes(w, h, 24, static_cast<std::uint64_t>(w * 7 + h));
        const auto greyAt = [&](int x, int y) {
            const std::uint8_t* p = c.bits.data() + px::Stride24(w) * y + 3 * x;
            return px::Grey(p[0], p[1], p[2]);
        };
        binarize::Histogram hist{};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) ++hist[greyAt(x, y)];
        EXPECT_EQ(binarize::HistogramOfColor(c.bits.data(), w, h), hist) << w << "x" << h;
        const int otsu = binarize::OtsuThreshold(hist, static_cast<std::int64_t>(w) * h);
        const auto otsuOut = binarize::OtsuColor(c.bits.data(), w, h);
        for (int t = -1; t <= 256; ++t) {
            const auto out = binarize::ThresholdColor(c.bits.data(), w, h, t);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const std::size_t at = px::Stride8(w) * y + x;
                    ASSERT_EQ(out[at], greyAt(x, y) >= t ? 255 : 0) << w << "x" << h << " at " << t;
                    if (t == otsu) {
                        ASSERT_EQ(otsuOut[at], out[at]) << w << "x" << h << " Otsu " << otsu;
                    }
                }
            // The row padding stays light.
            for (int y = 0; y < h; ++y)
                for (std::size_t at = px::Stride8(w) * y + w; at < px::Stride8(w) * (y + 1); ++at)
                    ASSERT_EQ(out[at], 255) << w << "x" << h << " padding";
        }
    }
}
