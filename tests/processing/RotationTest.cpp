// Rotation: canvas sizes, the direction of the turn, the fill and edge
// rules, the keep-size crop, and the fast rotation against the plain one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "processing/ImageBuffer.h"
#include "processing/PixelMath.h"
#include "processing/Rotation.h"
#include "support/SkewReference.h"
#include "processing/SkewTestPages.h"

using rotation::Canvas;

namespace {

std::uint8_t Pixel8(const Canvas& c, int x, int y) { return c.bits[px::Stride8(c.width) * y + x]; }

bool Same(const Canvas& c, const std::vector<std::uint8_t>& bits) {
    return c.size == bits.size() && std::equal(bits.begin(), bits.end(), c.bits.get());
}

// The sampling loops this processor runs: the baseline loop always, the
// vector loops where it has them.
std::vector<rotation::Kernel> SamplingLoops() {
    std::vector<rotation::Kernel> loops = {rotation::Kernel::kBaseline};
    if (rotation::Avx2Available()) loops.push_back(rotation::Kernel::kAvx2);
    if (rotation::Avx512Available()) loops.push_back(rotation::Kernel::kAvx512);
    return loops;
}

}  // namespace

TEST(Rotation, CanvasSizes) {
    struct Case {
        double degrees;
        int w, h;
        int cw, ch;
    };
    const Case cases[] = {
        {30, 100, 50, 112, 94},          // int(86.6 + 25 + 1), int(50 + 43.3 + 1)
        {-30, 100, 50, 112, 94},
        {0, 100, 50, 101, 51},           // a turn by 0 adds a column and a row
        {5, 2480, 3508, 2777, 3711},     // A4 at 300 dpi
        {30, 2480, 3508, 3902, 4279},
        {90, 2480, 3508, 3509, 2481},    // cos 90 is not exactly 0 in single-precision pi
        {180, 7, 5, 8, 6},
        {3, 1, 1, 2, 2},
    };
    for (const Case& c : cases) {
        int cw = 0, ch = 0;
        ASSERT_TRUE(rotation::CanvasSize(c.degrees, c.w, c.h, &cw, &ch)) << c.degrees;
        EXPECT_EQ(cw, c.cw) << c.degrees << " " << c.w << "x" << c.h;
        EXPECT_EQ(ch, c.ch) << c.degrees << " " << c.w << "x" << c.h;
    }
}

TEST(Rotation, BadAnglesAndSizesAreRefused) {
    int cw = 7, ch = 7;
    EXPECT_FALSE(rotation::CanvasSize(std::numeric_limits<double>::quiet_NaN(), 10, 10, &cw, &ch));
    EXPECT_FALSE(rotation::CanvasSize(std::numeric_limits<double>::infinity(), 10, 10, &cw, &ch));
    EXPECT_FALSE(rotation::CanvasSize(45, 60000, 60000, &cw, &ch));  // beyond the side limit
    EXPECT_FALSE(rotation::CanvasSize(5, 0, 10, &cw, &ch));
    EXPECT_FALSE(rotation::CanvasSize(5, 10, -1, &cw, &ch));
    EXPECT_EQ(cw, 7);
    EXPECT_EQ(ch, 7);
    const synth::Page g = synth::RandomBytes(10, 10, 8, 1);
    EXPECT_TRUE(rotation::RotateCentred(g.bits.data(), 10, 10, 8, std::nan(""), 255, 255).empty());
    EXPECT_TRUE(rotation::RotateCentred(nullptr, 10, 10, 8, 3, 255, 255).empty());
    EXPECT_TRUE(rotation::RotateCentred(g.bits.data(), 10, 10, 16, 3, 255, 255).empty());
    EXPECT_TRUE(rotation::RotateAboutImageCentre(g.bits.data(), 0, 10, 8, 3, 255).empty());
    // A huge finite angle is just an angle.
    EXPECT_FALSE(rotation::RotateCentred(g.bits.data(), 10, 10, 8, 1e300, 255, 255).empty());
}

TEST(Rotation, ATurnByZeroKeepsEveryPixelAndAddsAnEdgeColumnAndRow) {
    const synth::Page g = synth::RandomBytes(37, 23, 8, 2);
    for (std::uint8_t edge : {std::uint8_t{0}, std::uint8_t{255}}) {
        const Canvas c = rotation::RotateCentred(g.bits.data(), 37, 23, 8, 0.0, 255, edge);
        ASSERT_EQ(c.width, 38);
        ASSERT_EQ(c.height, 24);
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 38; ++x) {
                // The last column and row sample past the buffer's end: the
                // edge fill. Everything else is the source pixel itself.
                const std::uint8_t want = (x == 37 || y == 23) ? edge : g.bits[px::Stride8(37) * y + x];
                ASSERT_EQ(Pixel8(c, x, y), want) << x << "," << y;
            }
    }
}

TEST(Rotation, TheCopiedTurnByZeroEqualsTheSampledOne) {
    // The turn by zero is built by copying rows; the sampling loops and the
    // plain rotation must give the same canvas, padding included: both
    // depths, 1 x 1, every width from 1 to 17, odd and even heights, both
    // fill colours, and random bytes in the source's row padding (which must
    // not reach the canvas).
    const std::vector<rotation::Kernel> sampled = SamplingLoops();
    std::uint64_t seed = 700;
    for (int bpp : {8, 24})
        for (int w = 1; w <= 17; ++w)
            for (int h : {1, 2, 5, 16}) {
                const synth::Page page = synth::RandomBytes(w, h, bpp, seed++);
                for (double degrees : {0.0, -0.0})
                    for (auto [fill, edge] : {std::pair<int, int>{255, 255}, {0, 255}, {255, 0}, {0, 0}}) {
                        const auto f = static_cast<std::uint8_t>(fill), e = static_cast<std::uint8_t>(edge);
                        const Canvas copied = rotation::RotateCentred(page.bits.data(), w, h, bpp, degrees, f, e);
                        ASSERT_EQ(copied.width, w + 1);
                        ASSERT_EQ(copied.height, h + 1);
                        const reference::RotatedImage plain =
                            reference::RotateCentred(page.bits.data(), w, h, bpp, degrees, f, e);
                        EXPECT_TRUE(Same(copied, plain.bits))
                            << w << "x" << h << " " << bpp << " bits, fill " << fill << ", edge " << edge;
                        for (rotation::Kernel k : sampled) {
                            const Canvas c = rotation::RotateCentred(page.bits.data(), w, h, bpp, degrees, f, e, k);
                            EXPECT_TRUE(Same(copied, std::vector<std::uint8_t>(c.bits.get(), c.bits.get() + c.size)))
                                << w << "x" << h << " " << bpp << " bits, loop " << static_cast<int>(k);
                        }
                    }
            }
}

TEST(Rotation, TheTurnByZeroInTheImagesOwnBufferEqualsTheCopiedOne) {
    // The rows move up to the canvas's stride, last to first, over the image
    // itself: every width from 1 to 17 (some keep their stride, some grow by
    // four bytes), both depths, odd and even heights, both fills, random
    // bytes in the source's padding and in the room after it.
    std::uint64_t seed = 900;
    for (int bpp : {8, 24})
        for (int w = 1; w <= 17; ++w)
            for (int h : {1, 2, 5, 16})
                for (auto [fill, edge] : {std::pair<int, int>{255, 255}, {0, 255}, {255, 0}}) {
                    const synth::Page page = synth::RandomBytes(w, h, bpp, seed++);
                    const auto f = static_cast<std::uint8_t>(fill), e = static_cast<std::uint8_t>(edge);
                    const Canvas copied = rotation::RotateCentred(page.bits.data(), w, h, bpp, 0.0, f, e);
                    ASSERT_FALSE(copied.empty());
                    const synth::Page room = synth::RandomBytes(w + 1, h + 1, bpp, seed++);
                    ASSERT_EQ(room.bits.size(), copied.size);
                    std::vector<std::uint8_t> buffer = room.bits;
                    std::copy(page.bits.begin(), page.bits.end(), buffer.begin());
                    ASSERT_TRUE(rotation::StraightenInPlace(buffer.data(), buffer.size(), w, h, bpp, f, e));
                    EXPECT_TRUE(Same(copied, buffer)) << w << "x" << h << " " << bpp << " bits, fill " << fill
                                                      << ", edge " << edge;
                }
}

TEST(Rotation, TheTurnByZeroInPlaceRefusesTooLittleRoomAndBadImages) {
    const synth::Page page = synth::RandomBytes(13, 7, 24, 31);
    std::vector<std::uint8_t> buffer(PixelBytes(14, 8, 24) + 16, 0x5A);
    std::copy(page.bits.begin(), page.bits.end(), buffer.begin());
    const std::vector<std::uint8_t> before = buffer;
    EXPECT_FALSE(rotation::StraightenInPlace(buffer.data(), PixelBytes(14, 8, 24) - 1, 13, 7, 24, 255, 255));
    EXPECT_FALSE(rotation::StraightenInPlace(nullptr, buffer.size(), 13, 7, 24, 255, 255));
    EXPECT_FALSE(rotation::StraightenInPlace(buffer.data(), buffer.size(), 13, 7, 16, 255, 255));
    EXPECT_FALSE(rotation::StraightenInPlace(buffer.data(), buffer.size(), 0, 7, 24, 255, 255));
    EXPECT_FALSE(rotation::StraightenInPlace(buffer.data(), buffer.size(), 13, -1, 24, 255, 255));
    EXPECT_EQ(buffer, before);
}

TEST(Rotation, ATurnByAnAngleCloseToZeroIsNotACopy) {
    // The copy holds only when sin a is exactly zero: a turn by a tiny
    // angle maps the upper half of the first column to just below 0, which
    // keeps the fill instead of the source pixel.
    const synth::Page g = synth::Blank(9, 8, 8, synth::Rgb(120, 120, 120));
    for (double degrees : {1e-12, -1e-12}) {
        const Canvas c = rotation::RotateCentred(g.bits.data(), 9, 8, 8, degrees, 255, 0);
        const reference::RotatedImage plain = reference::RotateCentred(g.bits.data(), 9, 8, 8, degrees, 255, 0);
        ASSERT_TRUE(Same(c, plain.bits)) << degrees;
        const Canvas zero = rotation::RotateCentred(g.bits.data(), 9, 8, 8, 0.0, 255, 0);
        ASSERT_EQ(zero.size, c.size);
        EXPECT_NE(std::memcmp(zero.bits.get(), c.bits.get(), c.size), 0) << degrees;
        int kept = 0;
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 9; ++x) kept += Pixel8(c, x, y) == 255;
        EXPECT_GT(kept, 0) << degrees;
    }
}

TEST(Rotation, ASampleBesideTheImageBlendsTheFillAndMayComeOutBelowIt) {
    // Samples whose four neighbours all lie outside the image read the fill
    // four times; weights that sum to just below 1 then give the level
    // below the fill. The vector loops do such samples a group at once and
    // must not take the fill as it stands.
    const synth::Page g = synth::Blank(301, 257, 8, synth::Rgb(120, 120, 120));
    const synth::Page c = synth::Blank(301, 257, 24, synth::Rgb(120, 120, 120));
    for (const synth::Page* page : {&g, &c})
        for (rotation::Kernel loop : SamplingLoops()) {
            const Canvas turned =
                rotation::RotateCentred(page->bits.data(), 301, 257, page->bpp, 17.2, 255, 255, loop);
            const reference::RotatedImage plain =
                reference::RotateCentred(page->bits.data(), 301, 257, page->bpp, 17.2, 255, 255);
            EXPECT_TRUE(Same(turned, plain.bits)) << page->bpp << " bits, loop " << static_cast<int>(loop);
            EXPECT_NE(std::find(plain.bits.begin(), plain.bits.end(), 254), plain.bits.end());
        }
}

TEST(Rotation, APositiveAngleTurnsClockwiseAsDisplayed) {
    // A dark square 100 pixels right of the centre. Turned clockwise by 30
    // degrees as displayed it moves down on the screen, which is toward
    // memory row 0 in bottom-up rows.
    synth::Page g = skewpages::Grey(301, 301);
    skewpages::FillFromTop(g, 245, 145, 254, 154, 0);  // centre (249.5, 149.5) from the top
    for (double degrees : {30.0, -30.0}) {
        const Canvas c = rotation::RotateCentred(g.bits.data(), 301, 301, 8, degrees, 255, 255);
        double sx = 0, sy = 0, n = 0;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                if (Pixel8(c, x, y) < 128) {
                    sx += x;
                    sy += c.height - 1 - y;  // row from the top
                    ++n;
                }
        ASSERT_GT(n, 50);
        const double a = degrees * 3.14159265358979 / 180;
        const double cx = c.width / 2.0, cy = c.height / 2.0;
        // 99.5 right of the centre: turned clockwise on screen.
        EXPECT_NEAR(sx / n, cx + 99.5 * std::cos(a), 1.5) << degrees;
        EXPECT_NEAR(sy / n, cy + 99.5 * std::sin(a), 1.5) << degrees;
    }
}

TEST(Rotation, FillsOutsideTheSourceAndAtTheEdge) {
    // Fill 1 (white) or 0 (black) outside the turned source; the corners of
    // the canvas map to negative positions or past the buffer's end.
    const synth::Page g = skewpages::Grey(100, 50, 128);
    for (std::uint8_t fill : {std::uint8_t{0}, std::uint8_t{255}}) {
        const Canvas c = rotation::RotateCentred(g.bits.data(), 100, 50, 8, 30, fill, 255 - fill);
        ASSERT_EQ(c.width, 112);
        ASSERT_EQ(c.height, 94);
        // Canvas points that map to a negative position keep the pre-fill.
        EXPECT_EQ(Pixel8(c, 0, 0), fill);
        EXPECT_EQ(Pixel8(c, 2, 2), fill);
        // Points inside the centred buffer but off the source sample the
        // fill bilinearly (four white samples can truncate to 254).
        EXPECT_NEAR(Pixel8(c, 56, 10), fill, 1);
        // The centre is the source level.
        EXPECT_EQ(Pixel8(c, 56, 47), 128);
        // Points whose sample reaches the buffer's last row or column take
        // the edge fill.
        EXPECT_EQ(Pixel8(c, 100, 93), 255 - fill);
        EXPECT_EQ(Pixel8(c, 109, 91), 255 - fill);
    }
}

TEST(Rotation, SampleRotatedEdgeAndTruncationRules) {
    const std::uint8_t src[8] = {10, 20, 0, 0, 30, 40, 0, 0};  // 2 x 2, rows padded to 4
    std::vector<std::uint8_t> canvas(4 * 2, 99);
    // (0.25, 0.5): 0.375 x 10 + 0.125 x 20 + 0.375 x 30 + 0.125 x 40 = 22.5
    rotation::SampleRotated(src, 2, 2, canvas.data(), 4, 2, 0.25, 0.5, 0, 0, 8, 7);
    EXPECT_EQ(canvas[0], 22);
    // Negative coordinates write nothing.
    rotation::SampleRotated(src, 2, 2, canvas.data(), 4, 2, -0.01, 0.5, 1, 0, 8, 7);
    rotation::SampleRotated(src, 2, 2, canvas.data(), 4, 2, 0.5, -1e-9, 1, 0, 8, 7);
    EXPECT_EQ(canvas[1], 99);
    // The right neighbour outside: the edge fill; far outside is capped.
    rotation::SampleRotated(src, 2, 2, canvas.data(), 4, 2, 1.0, 0.0, 2, 0, 8, 7);
    rotation::SampleRotated(src, 2, 2, canvas.data(), 4, 2, 0.0, 1e12, 3, 0, 8, 7);
    EXPECT_EQ(canvas[2], 7);
    EXPECT_EQ(canvas[3], 7);

    // Four white neighbours whose weights sum to just below 1 give 254.
    std::vector<std::uint8_t> white(8 * 8, 255), out(4, 0);
    rotation::SampleRotated(white.data(), 8, 8, out.data(), 1, 1, 3.001, 4.002, 0, 0, 8, 0);
    EXPECT_EQ(out[0], 254);
    // 24-bit: each channel on its own.
    std::vector<std::uint8_t> colour(px::Stride24(2) * 2, 0), dst(4, 0);
    colour[0] = 30;  // B of (0, 0)
    colour[4] = 90;  // G of (1, 0)
    rotation::SampleRotated(colour.data(), 2, 2, dst.data(), 1, 1, 0.5, 0.0, 0, 0, 24, 0);
    EXPECT_EQ(dst[0], 15);
    EXPECT_EQ(dst[1], 45);
    EXPECT_EQ(dst[2], 0);
}

TEST(Rotation, FastRotationEqualsThePlainOne) {
    const double angles[] = {0.0, 0.01, -0.37, 1.3, -5.0, 17.2, 30.0, 45.0, 90.0, -90.0, 180.0, 271.5};
    struct Size {
        int w, h;
    };
    const Size sizes[] = {{37, 23}, {64, 41}, {1, 9}, {13, 1}, {50, 50}, {301, 257}};
    unsigned seed = 1;
    for (const Size& s : sizes) {
        const synth::Page g = synth::RandomBytes(s.w, s.h, 8, seed++);
        const synth::Page c = synth::RandomBytes(s.w, s.h, 24, seed++);
        for (double a : angles) {
            for (int bpp : {8, 24}) {
                const std::uint8_t* bits = bpp == 8 ? g.bits.data() : c.bits.data();
                for (auto [fill, edge] : {std::pair<int, int>{255, 255}, {0, 255}, {255, 0}, {0, 0}}) {
                    const Canvas fast = rotation::RotateCentred(bits, s.w, s.h, bpp, a, static_cast<std::uint8_t>(fill),
                                                                static_cast<std::uint8_t>(edge));
                    const reference::RotatedImage slow = reference::RotateCentred(
                        bits, s.w, s.h, bpp, a, static_cast<std::uint8_t>(fill), static_cast<std::uint8_t>(edge));
                    ASSERT_EQ(fast.width, slow.width);
                    ASSERT_EQ(fast.height, slow.height);
                    EXPECT_TRUE(Same(fast, slow.bits)) << s.w << "x" << s.h << " " << bpp << " bits, " << a << " degrees";
                }
                const Canvas fast = rotation::RotateAboutImageCentre(bits, s.w, s.h, bpp, a, 0);
                const reference::RotatedImage slow = reference::RotateAboutImageCentre(bits, s.w, s.h, bpp, a, 0);
                ASSERT_EQ(fast.width, slow.width);
                EXPECT_TRUE(Same(fast, slow.bits)) << "about the image centre " << s.w << "x" << s.h << " " << a;
            }
        }
    }
}

namespace {

// One turn through a given sampling loop against the plain rotation: both
// canvases (centred buffer with a fill and an edge fill, and about the
// image's own centre) byte for byte.
::testing::AssertionResult SameAsPlain(const synth::Page& page, double degrees, rotation::Kernel kernel,
                                       std::uint8_t fill, std::uint8_t edge) {
    const Canvas centred =
        rotation::RotateCentred(page.bits.data(), page.width, page.height, page.bpp, degrees, fill, edge, kernel);
    const reference::RotatedImage plainCentred =
        reference::RotateCentred(page.bits.data(), page.width, page.height, page.bpp, degrees, fill, edge);
    const Canvas own = rotation::RotateAboutImageCentre(page.bits.data(), page.width, page.height, page.bpp, degrees,
                                                        edge, kernel);
    const reference::RotatedImage plainOwn =
        reference::RotateAboutImageCentre(page.bits.data(), page.width, page.height, page.bpp, degrees, edge);
    if (!Same(centred, plainCentred.bits)) return ::testing::AssertionFailure() << "centred buffer differs";
    if (!Same(own, plainOwn.bits)) return ::testing::AssertionFailure() << "turn about the image centre differs";
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST(Rotation, EverySamplingLoopEqualsThePlainRotation) {
    // Pages of both depths, from 1 x 1 up, widths on both sides of the
    // vector loop's groups of four, at small, large and quarter angles:
    // random bytes, and flat areas (where weights that sum to just below 1
    // turn a level into the one below, so that any change in the order of
    // the sums shows).
    std::vector<synth::Page> pages;
    std::uint64_t seed = 40;
    for (auto [w, h] : {std::pair<int, int>{1, 1}, {2, 2}, {4, 3}, {5, 7}, {9, 4}, {37, 23}, {64, 41}, {301, 257}})
        for (int bpp : {8, 24}) {
            pages.push_back(synth::RandomBytes(w, h, bpp, seed++));
            pages.push_back(synth::RandomShapes(w, h, bpp, 6, seed++));
            pages.push_back(synth::Blank(w, h, bpp, synth::Rgb(255, 201, 77)));
        }
    const std::vector<rotation::Kernel> kernels = SamplingLoops();
    for (rotation::Kernel kernel : kernels)
        for (const synth::Page& page : pages)
            for (double degrees : {0.0, 0.01, -0.37, 1.3, -5.0, 17.2, 30.0, 45.0, 90.0, -90.0, 180.0, 271.5})
                for (std::uint8_t fill : {0, 255})
                    EXPECT_TRUE(SameAsPlain(page, degrees, kernel, fill, static_cast<std::uint8_t>(255 - fill)))
                        << page.width << "x" << page.height << " " << page.bpp << " bits, " << degrees
                        << " degrees, loop " << static_cast<int>(kernel);
}

TEST(Rotation, TheVectorLoopEqualsTheBaselineLoopOnScanLikePages) {
    // Pages of scan size and content (text on tinted paper with noise, odd
    // widths) turned by the small angles deskewing meets, and by as much
    // beside a half or a quarter turn (the samples then run along the image
    // backwards or down its columns), through every sampling loop.
    const std::vector<rotation::Kernel> loops = SamplingLoops();
    if (loops.size() < 2) GTEST_SKIP() << "this processor has no vector loop";
    const double angles[] = {-1.3, 0.05, 2.75, -4.95, 0.5001, 178.7, -91.3};
    int seed = 3;
    for (int bpp : {8, 24}) {
        for (auto [w, h] : {std::pair<int, int>{1241, 1753}, {1000, 1414}, {1003, 997}}) {
            const synth::Page page = synth::TextPage(w, h, bpp, 150, static_cast<std::uint64_t>(seed++),
                                                     synth::kYellowedPaper, 12);
            for (double a : angles) {
                const Canvas base = rotation::RotateCentred(page.bits.data(), w, h, bpp, a, 255, 0,
                                                            rotation::Kernel::kBaseline);
                for (rotation::Kernel loop : loops) {
                    const Canvas fast = rotation::RotateCentred(page.bits.data(), w, h, bpp, a, 255, 0, loop);
                    ASSERT_EQ(base.size, fast.size);
                    EXPECT_EQ(std::memcmp(base.bits.get(), fast.bits.get(), base.size), 0)
                        << w << "x" << h << " " << bpp << " bits, " << a << " degrees, loop "
                        << static_cast<int>(loop);
                }
            }
        }
    }
}

TEST(Rotation, KeepSizeCropReturnsTheSourceSize) {
    const synth::Page g = synth::RandomBytes(120, 90, 8, 9);
    const Canvas c = rotation::RotateCentred(g.bits.data(), 120, 90, 8, 3.0, 255, 255);
    std::vector<std::uint8_t> out(px::Stride8(120) * 90, 0);
    int ox = -1, oy = -1;
    rotation::KeepSizeCrop(c.bits.get(), c.width, c.height, 8, 120, 90, 255, out.data(), &ox, &oy);
    EXPECT_EQ(ox, (c.width - 120) / 2);
    EXPECT_EQ(oy, (c.height - 90) / 2);
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 120; ++x) ASSERT_EQ(out[px::Stride8(120) * y + x], Pixel8(c, ox + x, oy + y));
    // A turn by 0 and the crop give back the source exactly.
    const Canvas zero = rotation::RotateCentred(g.bits.data(), 120, 90, 8, 0.0, 255, 255);
    rotation::KeepSizeCrop(zero.bits.get(), zero.width, zero.height, 8, 120, 90, 255, out.data(), &ox, &oy);
    EXPECT_EQ(ox, 0);
    EXPECT_EQ(oy, 0);
    for (int y = 0; y < 90; ++y)
        for (int x = 0; x < 120; ++x) ASSERT_EQ(out[px::Stride8(120) * y + x], g.bits[px::Stride8(120) * y + x]);
}

TEST(Rotation, KeepSizeCropOfAThinImageStaysInsideTheCanvas) {
    // A 2000 x 20 strip turned by 5 degrees has a canvas 1995 pixels wide:
    // the block starts at column (1995 - 2000) / 2 = -2 and reaches 2 columns
    // beyond the canvas on the left and 3 on the right, which get the fill.
    synth::Page strip = synth::RandomBytes(2000, 20, 24, 4);
    const Canvas c = rotation::RotateCentred(strip.bits.data(), 2000, 20, 24, 5.0, 255, 255);
    ASSERT_EQ(c.width, 1995);
    std::vector<std::uint8_t> out(px::Stride24(2000) * 20, 1);
    int ox = 0, oy = 0;
    rotation::KeepSizeCrop(c.bits.get(), c.width, c.height, 24, 2000, 20, 200, out.data(), &ox, &oy);
    EXPECT_EQ(ox, -2);
    for (int y = 0; y < 20; ++y) {
        const std::uint8_t* row = out.data() + px::Stride24(2000) * y;
        for (int x : {0, 1, 1997, 1998, 1999})
            for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(row[3 * x + ch], 200) << x;
        for (int ch = 0; ch < 3; ++ch)
            EXPECT_EQ(row[3 * 2 + ch], c.bits[px::Stride24(c.width) * (oy + y) + ch]);
    }
}
