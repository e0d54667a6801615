// Tone tables and tone curves: the documented values, the plain references,
// and where tables are applied (channels, masks, protected rectangles).
#include <gtest/gtest.h>

#include <string>

#include "processing/PixelMath.h"
#include "processing/ToneCurve.h"
#include "processing/ToneTables.h"
#include "processing/reference/RefTone.h"
#include "support/SyntheticPages.h"

namespace {

tone::Lut CurveLut(double y1, double x1 = 105) {
    CToneCurve c;
    c.SetPoints({0, 0}, {x1, y1}, {255, 255});
    c.BuildLut();
    return c.Lut();
}

TEST(ToneCurve, DocumentedTableValues) {
    struct Case {
        double x1, y1;
        std::vector<std::pair<int, int>> values;
    } cases[] = {
        {105, 55, {{0, 0}, {50, 15}, {105, 55}, {160, 122}, {200, 177}, {255, 255}}},
        {75, 188, {{50, 156}, {75, 188}, {128, 224}, {200, 245}}},
    };
    for (const Case& c : cases) {
        const tone::Lut lut = CurveLut(c.y1, c.x1);
        for (auto [in, out] : c.values) EXPECT_EQ(lut[in], out) << "(" << c.x1 << "," << c.y1 << ") at " << in;
    }
    // The near-identity curve never lies below the identity and exceeds it
    // by at most 2.
    const tone::Lut near = CurveLut(105);
    for (int j = 0; j < 256; ++j) {
        EXPECT_GE(near[j], j);
        EXPECT_LE(near[j], j + 2);
    }
}

TEST(ToneCurve, EveryDarkeningStrengthMatchesReference) {
    // Strengths 0..85 give the 86 possible middle points; the seal-removal
    // and red-push curves are the other two in use.
    std::vector<std::pair<double, double>> middles;
    for (int s = 0; s <= 90; ++s) middles.push_back({105, DarkeningCurveY(s)});
    middles.push_back({105, 65});
    middles.push_back({75, 188});
    for (auto [x1, y1] : middles) {
        const tone::Lut lut = CurveLut(y1, x1);
        const std::vector<int> want = ref::RefToneLut(0, 0, x1, y1, 255, 255);
        for (int j = 0; j < 256; ++j) ASSERT_EQ(lut[j], want[j]) << "middle (" << x1 << "," << y1 << ") at " << j;
    }
    EXPECT_EQ(DarkeningCurveY(0), 105);
    EXPECT_EQ(DarkeningCurveY(85), 20);
    EXPECT_EQ(DarkeningCurveY(200), 20);
    EXPECT_EQ(DarkeningCurveY(-50), 105);
}

TEST(ToneCurve, SamplingAndRepeatedPoints) {
    CToneCurve c;
    c.SetPoints({0, 0}, {105, 55}, {255, 255});
    // 173 samples of the curve, then the end point twice.
    ASSERT_EQ(c.Samples().size(), 175u);
    EXPECT_EQ(c.Samples()[0].x, 0.0);
    EXPECT_EQ(c.Samples()[173].x, 255.0);
    EXPECT_EQ(c.Samples()[174].y, 255.0);
    EXPECT_LT(c.Samples()[172].x, 255.0);
    const auto samples = c.Samples();
    c.BuildLut();
    const tone::Lut first = c.Lut();
    c.SetPoints({0, 0}, {105, 55.000001}, {255, 255});  // within 0.00001: no change
    EXPECT_EQ(c.Samples().size(), samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) EXPECT_EQ(c.Samples()[i].y, samples[i].y);
    c.BuildLut();
    EXPECT_EQ(c.Lut(), first);

    // Without points the table maps nothing (identity).
    CToneCurve empty;
    empty.BuildLut();
    EXPECT_EQ(empty.Lut(), tone::IdentityLut());

    CCubicSpline two;
    two.AddKnot(0, 3);
    two.AddKnot(1, 7);
    two.Prepare();
    EXPECT_EQ(two.Evaluate(0.5), 0.0);
    EXPECT_EQ(two.Evaluate(-4), 0.0);
}

TEST(ToneCurve, ChannelsMasksAndProtectedRectangles) {
    const int w = 33, h = 27;
    synth::Page page = synth::RandomBytes(w, h, 24, 99);
    synth::Page mask(w, h, 8);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) mask.Row(y)[x] = (x + 2 * y) % 3 == 0 ? 1 : 0;

    CToneCurve curve;
    curve.SetPoints({0, 0}, {105, 40}, {255, 255});
    curve.BuildLut();
    const tone::Lut& lut = curve.Lut();
    const RECT rect{10, 10, 20, 20};

    for (int selector : {0, 1, 2, 3, 7}) {
        for (bool enabled : {true, false}) {
            for (bool masked : {false, true}) {
                synth::Page out = page;
                curve.SetChannel(selector);
                curve.SetProtected(ProtectedRects({rect}, enabled));
                if (masked)
                    curve.ApplyMasked(out.Data(), mask.Data(), w, h);
                else
                    curve.ApplyUnmasked(out.Data(), mask.Data(), w, h);
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        const bool maskHit = masked ? mask.Row(y)[x] != 0 : mask.Row(y)[x] == 0;
                        const bool inRect = x >= 10 && x < 20 && y >= 10 && y < 20;
                        const bool changes = maskHit && !(inRect && enabled && !masked);
                        for (int ch = 0; ch < 3; ++ch) {
                            const bool selected = selector == 0 || (selector == 1 && ch == 2) ||
                                                  (selector == 2 && ch == 1) || (selector == 3 && ch == 0);
                            const std::uint8_t in = page.Row(y)[3 * x + ch];
                            ASSERT_EQ(out.Row(y)[3 * x + ch], changes && selected ? lut[in] : in)
                                << "selector " << selector << " enabled " << enabled << " masked " << masked << " at "
                                << x << "," << y << " channel " << ch;
                        }
                    }
                // Row padding is never touched.
                for (int y = 0; y < h; ++y)
                    for (std::size_t i = 3 * w; i < page.stride; ++i) ASSERT_EQ(out.Row(y)[i], page.Row(y)[i]);
            }
        }
    }
}

TEST(BrightnessContrast, DocumentedTableValues) {
    const tone::Lut t = tone::BrightnessContrastTable(40, 50, 200);
    for (auto [in, out] : {std::pair{0, 2}, {50, 64}, {100, 126}, {150, 189}, {180, 225}, {200, 250}, {230, 255}})
        EXPECT_EQ(t[in], out) << in;
}

TEST(BrightnessContrast, MatchesReferenceOverParameterGrid) {
    for (int b : {-600, -255, -40, -1, 0, 1, 40, 255, 600})
        for (int c : {-1000, -255, -254, -128, -1, 0, 1, 50, 128, 200, 254, 255, 1000})
            for (int mean : {0, 1, 77, 128, 200, 255}) {
                const tone::Lut t = tone::BrightnessContrastTable(b, c, mean);
                const std::vector<int> want = ref::RefBrightnessContrast(b, c, mean);
                for (int j = 0; j < 256; ++j)
                    ASSERT_EQ(t[j], want[j]) << "b " << b << " c " << c << " mean " << mean << " level " << j;
            }
}

TEST(BrightnessContrast, Extremes) {
    // Contrast 255 or more: a threshold at the mean after the brightness.
    const tone::Lut thr = tone::BrightnessContrastTable(10, 300, 120);
    for (int j = 0; j < 256; ++j) EXPECT_EQ(thr[j], j + 10 >= 120 ? 255 : 0) << j;
    // Contrast 0 only adds the brightness.
    const tone::Lut plain = tone::BrightnessContrastTable(-30, 0, 99);
    for (int j = 0; j < 256; ++j) EXPECT_EQ(plain[j], std::max(0, j - 30)) << j;
    // Contrast -255 or less: (j - m) x -1 + 0.5 truncated toward zero moves
    // levels at or below the mean to the mean and levels above it to
    // mean + 1; then the brightness is added.
    const tone::Lut flat = tone::BrightnessContrastTable(5, -255, 100);
    for (int j = 0; j < 256; ++j) EXPECT_EQ(flat[j], (j <= 100 ? 100 : 101) + 5) << j;
}

TEST(ClipLevels, SpreadAndSingleLevel) {
    // Levels spread evenly over 40..200, 0.1 % clipped at each end.
    tone::Histogram h{};
    for (int v = 40; v <= 200; ++v) h[v] = 1000;
    const std::int64_t total = 161 * 1000;
    const std::int64_t count = tone::ClipCount(0.1f, total, 0.01f);
    EXPECT_EQ(count, 161);
    int lo, hi;
    std::vector<long long> hv(h.begin(), h.end());
    ref::RefClipLevels(hv, count, count, &lo, &hi);
    EXPECT_EQ(tone::LowClipLevel(h, count), lo);
    EXPECT_EQ(tone::HighClipLevel(h, count), hi);
    EXPECT_EQ(lo, 40);
    EXPECT_EQ(hi, 200);

    // A single level: lo = hi = the level, which maps to 0.
    tone::Histogram one{};
    one[90] = 500;
    EXPECT_EQ(tone::LowClipLevel(one, 0), 90);
    EXPECT_EQ(tone::HighClipLevel(one, 0), 90);
    EXPECT_EQ(tone::StretchTable(90, 90)[90], 0);
    // Nothing qualifies (limit above the total): the defaults.
    EXPECT_EQ(tone::LowClipLevel(one, 500), 0);
    EXPECT_EQ(tone::HighClipLevel(one, 500), 255);

    const tone::Lut s = tone::StretchTable(40, 200);
    for (int j = 0; j < 256; ++j) {
        const int want = j <= 40 ? 0 : (j >= 200 ? 255 : (int)((float)(j - 40) / 160.0f * 255.0f));
        EXPECT_EQ(s[j], want) << j;
    }
}

TEST(ToneTables, MeansChannelsAndProtectedApplication) {
    for (int w : {1, 3, 5, 31, 77}) {
        const int h = 7;
        synth::Page colour = synth::RandomBytes(w, h, 24, w);
        synth::Page grey = synth::RandomBytes(w, h, 8, w + 100);
        long long sumGrey = 0, sumByte = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::uint8_t* p = colour.Row(y) + 3 * x;
                sumGrey += (int)(0.587 * p[1] + 0.299 * p[2] + 0.114 * p[0]);
                sumByte += grey.Row(y)[x];
            }
        EXPECT_EQ(tone::MeanGrey24(colour.Data(), w, h), sumGrey / (w * h));
        EXPECT_EQ(tone::MeanByte8(grey.Data(), w, h), sumByte / (w * h));

        synth::Page red(w, h, 8);
        tone::ExtractChannel(colour.Data(), red.Data(), w, h, 2);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) ASSERT_EQ(red.Row(y)[x], colour.Row(y)[3 * x + 2]);

        // A table applied to an 8-bit image around a protected rectangle that
        // reaches past the image.
        const tone::Lut inv = [] {
            tone::Lut t{};
            for (int i = 0; i < 256; ++i) t[i] = static_cast<std::uint8_t>(255 - i);
            return t;
        }();
        synth::Page out = grey;
        const ProtectedRects protect({RECT{1, 2, 100, 4}, RECT{-5, 5, 1, 6}}, true);
        tone::ApplyLut8(out.Data(), w, h, inv, protect);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const bool in = protect.Contains(x, y);
                ASSERT_EQ(out.Row(y)[x], in ? grey.Row(y)[x] : 255 - grey.Row(y)[x]) << x << "," << y;
            }
    }
    EXPECT_EQ(tone::MeanByte8(nullptr, 0, 5), 0);
}

}  // namespace

namespace {

TEST(Grey, FastFormsEqualTheDoubleExpressionsForEveryColour) {
    // Both orders of terms, written out in double precision and truncated.
    long long mismatchesBetweenOrders = 0;
    for (int r = 0; r < 256; ++r)
        for (int g = 0; g < 256; ++g)
            for (int b = 0; b < 256; ++b) {
                const int want = static_cast<int>(0.587 * g + 0.299 * r + 0.114 * b);
                const int wantRgb = static_cast<int>(0.299 * r + 0.587 * g + 0.114 * b);
                if (px::GreyFast(b, g, r) != want || px::Grey(b, g, r) != want)
                    FAIL() << "grey of " << r << "," << g << "," << b;
                if (px::GreyRgbOrderFast(b, g, r) != wantRgb || px::GreyRgbOrder(b, g, r) != wantRgb)
                    FAIL() << "rgb-order grey of " << r << "," << g << "," << b;
                mismatchesBetweenOrders += want != wantRgb;
            }
    // Measured: with strict double arithmetic the two orders agree on every
    // colour.
    EXPECT_EQ(mismatchesBetweenOrders, 0);
}

}  // namespace

TEST(ToneTables, ChannelHistogramsCountEveryPixelOnce) {
    // Odd and even widths (the partial counts take even and odd pixels),
    // random padding bytes that must not be counted, and a page of one
    // colour (every count on one level).
    for (auto [w, h] : {std::pair{1, 1}, std::pair{2, 3}, std::pair{3, 5}, std::pair{8, 2}, std::pair{77, 9}}) {
        const synth::Page page = synth::RandomBytes(w, h, 24, static_cast<std::uint64_t>(w * 31 + h));
        std::array<tone::Histogram, 3> want{};
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < 3; ++c) ++want[c][page.bits[px::Stride24(w) * y + 3 * x + c]];
        EXPECT_EQ(tone::Histograms24(page.bits.data(), w, h), want) << w << "x" << h;
    }
    std::vector<std::uint8_t> flat(px::Stride24(9) * 4, 200);
    const std::array<tone::Histogram, 3> one = tone::Histograms24(flat.data(), 9, 4);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(one[c][200], 36) << c;
}
