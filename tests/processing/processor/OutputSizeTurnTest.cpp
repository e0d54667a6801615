// Fixed output size, the turn by text direction and the finding of
// illustrations on the processing object.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "PipelinePages.h"
#include "ProcessorTestUtil.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/PixelMath.h"
#include "processing/Rotation.h"
#include "support/GlyphText.h"
#include "support/HolePages.h"
#include "support/SyntheticPages.h"

using testdata::Font;
using testdata::TestPage;

namespace {

// A page of random bytes (colour and grey planes independent).
TestPage RandomTestPage(int w, int h, bool colour, std::uint64_t seed) {
    TestPage page(w, h, colour);
    synth::Rng rng(seed);
    for (auto& v : page.grey) v = static_cast<std::uint8_t>(rng.Int(0, 255));
    for (auto& v : page.bgr) v = static_cast<std::uint8_t>(rng.Int(0, 255));
    return page;
}

// The fixed output size as the operation describes it, pixel by pixel:
// target (j, i) takes source ((W - TW) / 2 + j, (H - TH) / 2 + i) when that
// lies inside the source, else the fill.
std::vector<std::uint8_t> ReferenceFit(const std::uint8_t* src, int w, int h, int bpp, int tw, int th,
                                       std::uint8_t fill) {
    const int bytes = bpp / 8;
    const std::size_t ss = px::StrideFor(w, bpp), ts = px::StrideFor(tw, bpp);
    std::vector<std::uint8_t> out(ts * th, 0);
    for (int i = 0; i < th; ++i)
        for (int j = 0; j < tw; ++j) {
            const int x = (w - tw) / 2 + j, y = (h - th) / 2 + i;
            for (int c = 0; c < bytes; ++c)
                out[ts * i + j * bytes + c] =
                    (x >= 0 && x < w && y >= 0 && y < h) ? src[ss * y + x * bytes + c] : fill;
        }
    return out;
}

class OutputSize : public proctest::SettingsReset {};
class TextTurn : public proctest::SettingsReset {};

}  // namespace

TEST_F(OutputSize, CentresTheResultOnTheTargetCroppingOrPadding) {
    const struct Case {
        int w, h, tw, th;
        int maintain, fill;
        int wantW, wantH;
    } cases[] = {
        {41, 37, 21, 15, 1, 1, 21, 15},  // smaller target: the centre is cropped
        {13, 9, 30, 20, 1, 1, 30, 20},   // larger: padded on all sides
        {13, 9, 30, 20, 1, 0, 30, 20},   // black fill
        {13, 9, 20, 30, 1, 1, 30, 20},   // landscape result: the portrait target turns landscape
        {13, 9, 20, 30, 0, 1, 20, 30},   // ... unless the orientation is not kept
        {9, 13, 30, 20, 1, 1, 20, 30},   // portrait result, landscape target
        {10, 10, 7, 12, 1, 1, 7, 12},    // a square result is not landscape: no exchange
        {17, 11, 17, 11, 1, 1, 17, 11},  // same size: a copy
        {18, 11, 5, 20, 1, 1, 20, 5},    // cropped across, padded down
    };
    for (const Case& c : cases)
        for (int bpp : {8, 24}) {
            SCOPED_TRACE(::testing::Message() << c.w << "x" << c.h << " -> " << c.tw << "x" << c.th << " bpp "
                                              << bpp << " maintain " << c.maintain << " fill " << c.fill);
            ProcessSetting::output.on = 1;
            ProcessSetting::output.maintainhw = c.maintain;
            ProcessSetting::output.fillcolor = c.fill;
            const TestPage page = RandomTestPage(c.w, c.h, bpp == 24, 7 + c.w);
            CImageProcessor p;
            pipetest::SetWorking(p, page);
            p.result = bpp == 24 ? p.colourImage.get() : p.greyImage.get();
            p.resultWidth = c.w;
            p.resultHeight = c.h;
            if (bpp == 24)
                p.FitOutputSizeColor(c.tw, c.th, 0);
            else
                p.FitOutputSizeGray(c.tw, c.th, 0);
            const auto want = ReferenceFit(bpp == 24 ? page.bgr.data() : page.grey.data(), c.w, c.h, bpp, c.wantW,
                                           c.wantH, c.fill ? 255 : 0);
            EXPECT_EQ(p.result, p.sizeCanvas.get());
            EXPECT_TRUE(pipetest::ResultEquals(p, want.data(), c.wantW, c.wantH, bpp));
        }
}

TEST_F(OutputSize, AnA4TargetTurnsLandscapeForALandscapeResult) {
    ProcessSetting::output.on = 1;
    const TestPage page = RandomTestPage(60, 40, false, 3);
    CImageProcessor p;
    pipetest::SetWorking(p, page);
    p.result = p.greyImage.get();
    p.resultWidth = 60;
    p.resultHeight = 40;
    p.FitOutputSizeGray(2480, 3508, 0);
    EXPECT_EQ(p.resultWidth, 3508);
    EXPECT_EQ(p.resultHeight, 2480);
    const auto want = ReferenceFit(page.grey.data(), 60, 40, 8, 3508, 2480, 255);
    EXPECT_TRUE(pipetest::ResultEquals(p, want.data(), 3508, 2480, 8));
}

TEST_F(OutputSize, RunsWhenItsGateIsOnOrWhenForced) {
    const TestPage page = RandomTestPage(12, 8, false, 5);
    const struct Case {
        int runType;
        int setting, scanSwitch, force;
        bool runs;
    } cases[] = {
        {0, 0, 1, 0, false}, {0, 1, 0, 0, true}, {0, 0, 0, 1, true},  // the manual save forces it
        {4, 1, 0, 0, false}, {4, 0, 1, 0, true}, {4, 0, 0, 1, true},  // scan runs follow the scan switch
        {1, 1, 0, 0, true},  {3, 0, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "run type " << c.runType << " setting " << c.setting << " switch "
                                          << c.scanSwitch << " force " << c.force);
        ProcessSetting::output.on = c.setting;
        ScanStepFlags::output = static_cast<std::uint8_t>(c.scanSwitch);
        CImageProcessor p;
        p.runType = c.runType;
        pipetest::SetWorking(p, page);
        p.result = p.greyImage.get();
        p.resultWidth = 12;
        p.resultHeight = 8;
        p.FitOutputSizeGray(20, 6, static_cast<BYTE>(c.force));
        EXPECT_EQ(p.resultWidth, c.runs ? 20 : 12);
        EXPECT_EQ(p.resultHeight, c.runs ? 6 : 8);
        EXPECT_EQ(p.result == p.greyImage.get(), !c.runs);
    }
}

TEST_F(OutputSize, ImpossibleTargetsLeaveTheResultAlone) {
    ProcessSetting::output.on = 1;
    ProcessSetting::output.maintainhw = 0;
    const TestPage page = RandomTestPage(12, 8, true, 9);
    for (const auto& [tw, th] : {std::pair{0, 10}, std::pair{10, -3}, std::pair{70000, 70000}, std::pair{32768, 32768}}) {
        SCOPED_TRACE(::testing::Message() << tw << "x" << th);
        CImageProcessor p;
        pipetest::SetWorking(p, page);
        p.result = p.colourImage.get();
        p.resultWidth = 12;
        p.resultHeight = 8;
        p.FitOutputSizeColor(tw, th, 0);
        EXPECT_EQ(p.result, p.colourImage.get());
        EXPECT_TRUE(pipetest::ResultEquals(p, page));
    }
}

// Quarter and half turns move every pixel exactly: the result equals the
// page turned by an independent pixel mapping, for both depths and odd
// sizes, whichever way the angle is written.
TEST_F(TextTurn, QuarterTurnsArePixelPermutations) {
    for (bool colour : {false, true})
        for (const auto& [w, h] : {std::pair{37, 23}, std::pair{1, 5}, std::pair{64, 3}}) {
            ProcessSetting::filesave.retaincolor = 1;
            const TestPage page = RandomTestPage(w, h, colour, 11 + w);
            for (int angle : {-270, -180, -90, 0, 90, 180, 270, 360, -450}) {
                SCOPED_TRACE(::testing::Message() << (colour ? "colour " : "grey ") << w << "x" << h << " angle "
                                                  << angle);
                CImageProcessor p;
                pipetest::SetWorking(p, page);
                p.TurnResult(angle, colour ? p.colourImage.get() : p.greyImage.get(), w, h);
                EXPECT_EQ(p.result, p.turnCanvas.get());
                EXPECT_TRUE(pipetest::ResultEquals(p, testdata::Turn(page, angle / 90)));
            }
        }
}

// The exact turn goes the same way as the rotation's own mapping with a
// single-precision pi: compared with that resampled turn, every pixel of a
// blocky page has a pixel within one place and one level in it.
TEST_F(TextTurn, TurnsTheSameWayAsTheRotationMapping) {
    TestPage page(61, 40, false);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 61; ++x) page.g(x, y) = static_cast<std::uint8_t>(((x / 8) * 37 + (y / 6) * 91) % 256);
    for (int angle : {-90, -180, -270}) {
        SCOPED_TRACE(angle);
        ProcessSetting::filesave.retaincolor = 0;
        CImageProcessor p;
        pipetest::SetWorking(p, page);
        p.TurnResult(angle, p.greyImage.get(), 61, 40);
        // The resampled turn: canvas pixel offsets from the canvas centre,
        // turned about the source centre, sampled bilinearly.
        const bool odd = angle != -180;
        const int cw = odd ? 40 : 61, ch = odd ? 61 : 40;
        ASSERT_EQ(p.resultWidth, cw);
        ASSERT_EQ(p.resultHeight, ch);
        std::vector<std::uint8_t> ref(px::Stride8(cw) * ch, 255);
        const double a = angle * static_cast<double>(3.1415927f) / 180.0;
        for (int y = 0; y < ch; ++y)
            for (int x = 0; x < cw; ++x) {
                const double dx = x - cw / 2.0, dy = y - ch / 2.0;
                rotation::SampleRotated(page.grey.data(), 61, 40, ref.data(), cw, ch,
                                        61 / 2.0 + dx * std::cos(a) - dy * std::sin(a),
                                        40 / 2.0 + dx * std::sin(a) + dy * std::cos(a), x, y, 8, 255);
            }
        int far = 0;
        for (int y = 2; y < ch - 2; ++y)
            for (int x = 2; x < cw - 2; ++x) {
                const int v = p.result[px::Stride8(cw) * y + x];
                bool near = false;
                for (int dy = -1; dy <= 1 && !near; ++dy)
                    for (int dx = -1; dx <= 1 && !near; ++dx)
                        near = std::abs(v - ref[px::Stride8(cw) * (y + dy) + x + dx]) <= 1;
                far += !near;
            }
        EXPECT_EQ(far, 0);
    }
}

// Rendered text pages turned by quarter turns come back upright, pixel for
// pixel, in both branches.
TEST_F(TextTurn, TurnedTextPagesComeBackUpright) {
    const struct {
        Font font;
        int height;
    } pages[] = {{Font::LatinSerif, 42}, {Font::Cjk, 50}};
    for (const auto& pg : pages)
        for (bool colour : {false, true}) {
            TestPage upright(1240, 1754, colour);
            testdata::FillText(upright, pg.font, pg.height, 100, 100, 1140, 1654);
            for (int q = 0; q < 4; ++q) {
                SCOPED_TRACE(::testing::Message() << "font " << static_cast<int>(pg.font) << (colour ? " colour" : " grey")
                                                  << " turned " << 90 * q);
                ProcessSetting::rotatetextdirect.on = 1;
                const TestPage turned = testdata::Turn(upright, q);
                CImageProcessor p;
                pipetest::SetWorking(p, turned);
                p.result = colour ? p.colourImage.get() : p.greyImage.get();
                p.resultWidth = turned.width;
                p.resultHeight = turned.height;
                p.RotateByTextDirection();
                EXPECT_EQ(p.directionDetector.Angle(), 90 * q);
                EXPECT_TRUE(pipetest::ResultEquals(p, upright));
            }
        }
}

TEST_F(TextTurn, NothingHappensWithTheGateOffOrWithoutAResult) {
    TestPage upright(1240, 1754, false);
    testdata::FillText(upright, Font::LatinSerif, 42, 100, 100, 1140, 1654);
    const TestPage turned = testdata::Turn(upright, 2);
    for (int runType : {0, 4}) {
        SCOPED_TRACE(runType);
        // The setting is on but a scan run follows its switch, and the other
        // way round.
        ProcessSetting::rotatetextdirect.on = runType == 4 ? 1 : 0;
        ScanStepFlags::rotatetextdirect = runType == 4 ? 0 : 1;
        CImageProcessor p;
        p.runType = runType;
        pipetest::SetWorking(p, turned);
        p.result = p.greyImage.get();
        p.resultWidth = turned.width;
        p.resultHeight = turned.height;
        p.RotateByTextDirection();
        EXPECT_EQ(p.result, p.greyImage.get());
        EXPECT_FALSE(p.turnCanvas);
    }
    ProcessSetting::rotatetextdirect.on = 1;
    CImageProcessor empty;
    empty.RotateByTextDirection();
    EXPECT_EQ(empty.result, nullptr);
}

TEST_F(OutputSize, IllustrationsAreFoundOnlyWhenAsked) {
    synth::Page page = synth::Blank(900, 1200, 24, synth::kWhite, 150);
    const synth::Rect photo{200, 300, 200 + 400, 300 + 500};
    synth::DrawPhoto(page, photo, 4);
    for (int mode : {0, 2}) {
        SCOPED_TRACE(mode);
        ProcessSetting::rmbkcolor.illstration = mode;
        CImageProcessor p;
        pipetest::SetWorking(p, page);
        p.FindIllustrations();
        if (mode == 0) {
            EXPECT_TRUE(p.photoFinder.Found().empty());
            EXPECT_FALSE(p.ProtectedRectangles().Active());
            continue;
        }
        ASSERT_FALSE(p.photoFinder.Found().empty());
        ASSERT_TRUE(p.ProtectedRectangles().Active());
        // The tone steps leave the found picture alone.
        const std::vector<std::uint8_t> before(p.greyImage.get(), p.greyImage.get() + PixelBytes(900, 1200, 8));
        p.AdjustBrightnessContrast(p.greyImage.get(), 900, 1200, 40, 50);
        const std::size_t gs = px::Stride8(900);
        const int cx = (photo.left + photo.right) / 2, cy = (photo.top + photo.bottom) / 2;
        EXPECT_TRUE(p.ProtectedRectangles().Contains(cx, cy));
        for (int y = cy - 50; y < cy + 50; ++y)
            for (int x = cx - 50; x < cx + 50; ++x) ASSERT_EQ(p.greyImage[gs * y + x], before[gs * y + x]);
    }
}
