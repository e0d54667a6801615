// The processing object's skew detection, rotation, keep-size crops,
// centring, cutting and clean-up steps, on its own working images.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/core/ScriptedUserDialogs.h"
#include "processing/Centring.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/PixelMath.h"
#include "processing/Rotation.h"
#include "processing/SkewTestPages.h"
#include "settings/ProcessSetting.h"
#include "settings/ScanSetting.h"
#include "support/HolePages.h"
#include "ProcessorTestUtil.h"

using synth::Page;

namespace {

class ProcessorDeskew : public proctest::SettingsReset {};

PixelBuffer CopyOf(const Page& page) {
    PixelBuffer b = AllocPixels(page.width, page.height, page.bpp);
    std::memcpy(b.get(), page.Data(), page.bits.size());
    return b;
}

// The page as the processor's working images after a load: the grey image
// always, the colour image for colour pages.
void Give(CImageProcessor& p, const Page& grey, const Page* colour = nullptr) {
    p.width = grey.width;
    p.height = grey.height;
    p.workingDepth = 8;
    p.dpiX = p.dpiY = grey.dpi;
    p.greyImage = CopyOf(grey);
    p.sourceDepth = colour ? 24 : 8;
    p.colourImage = colour ? CopyOf(*colour) : nullptr;
}

Page Turned(double angle, int dpi = 110) {
    skewpages::TextPageSpec spec;
    spec.angle = angle;
    spec.seed = 7;
    Page page = skewpages::TextPage(spec);
    page.dpi = dpi;
    return page;
}

// The skew found on the grey image the processor holds as its result.
float SkewOfResult(const CImageProcessor& p) {
    Page again = skewpages::Grey(p.resultWidth, p.resultHeight);
    std::memcpy(again.Data(), p.result, again.bits.size());
    CImageProcessor q;
    Give(q, again);
    q.DetectSkew(5, 0);
    return q.skewSearcher.skewAngle;
}

constexpr double kStep = 0.05 + 1e-4;

}  // namespace

TEST_F(ProcessorDeskew, EachMethodFindsTheAngleOfATurnedPage) {
    // Method 2 searches the contrast copy, here the page itself (a page of
    // black and white needs no stretching).
    for (int method : {0, 1, 2}) {
        for (double angle : {-3.3, 1.7}) {
            const Page page = Turned(angle);
            CImageProcessor p;
            Give(p, page);
            p.contrastCopy = CopyOf(page);
            ProcessSetting::tryothers = 0;
            p.DetectSkew(5, method);
            EXPECT_NEAR(p.skewSearcher.skewAngle, angle, kStep) << "method " << method;
            EXPECT_GE(p.skewSearcher.skewScore, 0.15f) << "method " << method;
            EXPECT_TRUE(p.binaryImage) << "the method's binary image stays until the caller frees it";
        }
    }
}

TEST_F(ProcessorDeskew, DeskewingTurnsThePageUpright) {
    for (double angle : {2.5, -4.0}) {
        CImageProcessor p;
        Give(p, Turned(angle));
        p.DetectSkew(ProcessSetting::correct.angle, ProcessSetting::correct.method);
        ASSERT_NEAR(p.skewSearcher.skewAngle, angle, kStep);
        p.RotateByAngle(-p.skewSearcher.skewAngle, ProcessSetting::correct.fillcolor);
        ASSERT_TRUE(p.canvas);
        EXPECT_EQ(p.canvasDepth, 8);
        EXPECT_FALSE(p.greyImage) << "the rotation frees the working images";
        p.KeepSizeCropGray(1);
        ASSERT_EQ(p.result, p.greyImage.get());
        EXPECT_EQ(p.resultWidth, 900);
        EXPECT_EQ(p.resultHeight, 1200);
        EXPECT_EQ(p.boxLeft, (p.canvasWidth - 900) / 2);
        EXPECT_EQ(p.boxTop, (p.canvasHeight - 1200) / 2);
        EXPECT_NEAR(SkewOfResult(p), 0.0, kStep) << "turned back from " << angle;
    }
}

TEST_F(ProcessorDeskew, RotationSourceFollowsKeepColour) {
    const Page grey = Turned(1.0);
    const Page colour = skewpages::ToColour(grey);
    struct Case {
        bool colourSource;
        int retainColour;
        int depth;
    };
    const Case cases[] = {{true, 1, 24}, {true, 0, 8}, {false, 1, 8}};
    for (const Case& c : cases) {
        ProcessSetting::filesave.retaincolor = static_cast<std::uint8_t>(c.retainColour);
        CImageProcessor p;
        Give(p, grey, c.colourSource ? &colour : nullptr);
        p.RotateByAngle(3.0, 1);
        ASSERT_TRUE(p.canvas);
        EXPECT_EQ(p.canvasDepth, c.depth);
        EXPECT_FALSE(p.greyImage);
        EXPECT_FALSE(p.colourImage);
        // The other crop does not take a canvas of another depth.
        if (c.depth == 8) {
            p.KeepSizeCropColor(1);
            EXPECT_FALSE(p.colourImage);
            p.KeepSizeCropGray(1);
            EXPECT_TRUE(p.greyImage);
        } else {
            p.KeepSizeCropGray(1);
            EXPECT_FALSE(p.greyImage);
            p.KeepSizeCropColor(1);
            EXPECT_TRUE(p.colourImage);
        }
        EXPECT_EQ(p.resultWidth, 900);
    }
}

TEST_F(ProcessorDeskew, AStraightTurnIsMadeInTheTurnedImagesBufferWhereItHasRoom) {
    // Working images are allocated with room for the turn by zero's extra
    // column and row: the canvas is then the turned image's own buffer, with
    // the bytes of the copied canvas. A buffer without that room (given by
    // a caller) gets a canvas of its own, with the same bytes.
    const Page grey = Turned(1.0);
    const Page colour = skewpages::ToColour(grey);
    for (int retain : {1, 0})
        for (bool room : {true, false})
            for (int fill : {1, 0}) {
                ProcessSetting::filesave.retaincolor = static_cast<std::uint8_t>(retain);
                ProcessSetting::correct.fillcolor = fill;
                const Page& turned = retain ? colour : grey;
                const rotation::Canvas want = rotation::RotateCentred(
                    turned.Data(), turned.width, turned.height, turned.bpp, 0.0, fill ? 255 : 0, fill ? 255 : 0);
                ASSERT_FALSE(want.empty());
                CImageProcessor p;
                Give(p, grey, &colour);
                PixelBuffer& image = retain ? p.colourImage : p.greyImage;
                if (!room) {
                    image.reset(new BYTE[turned.bits.size()]);
                    std::memcpy(image.get(), turned.Data(), turned.bits.size());
                }
                ASSERT_EQ(PixelCapacity(image.get()) >= want.size, room);
                const BYTE* before = image.get();
                p.RotateByAngle(-0.0, fill);
                ASSERT_TRUE(p.canvas);
                EXPECT_EQ(p.canvas.get() == before, room) << "retain " << retain << ", fill " << fill;
                ASSERT_EQ(p.canvasWidth, want.width);
                ASSERT_EQ(p.canvasHeight, want.height);
                EXPECT_EQ(p.canvasDepth, turned.bpp);
                EXPECT_EQ(std::memcmp(p.canvas.get(), want.bits.get(), want.size), 0)
                    << "retain " << retain << ", room " << room << ", fill " << fill;
            }
}

TEST_F(ProcessorDeskew, AResultInEitherWorkingImageBecomesTheCanvas) {
    // The image that is not turned is freed before the canvas is made; a
    // result that pointed into it, as one that pointed into the turned
    // image, is the canvas afterwards. A result elsewhere stays.
    const Page grey = Turned(1.0);
    const Page colour = skewpages::ToColour(grey);
    enum class At { kGrey, kColour, kElsewhere };
    struct Case {
        int retainColour;  // 1: the colour image is turned, 0: the grey one
        At resultAt;
    };
    const Case cases[] = {{1, At::kGrey}, {1, At::kColour}, {0, At::kGrey},
                          {0, At::kColour}, {1, At::kElsewhere}, {0, At::kElsewhere}};
    BYTE elsewhere[4] = {};
    // A turn by zero is made in the turned image's own buffer: the same
    // rules hold.
    for (double angle : {3.0, -0.0})
        for (const Case& c : cases) {
            ProcessSetting::filesave.retaincolor = static_cast<std::uint8_t>(c.retainColour);
            CImageProcessor p;
            Give(p, grey, &colour);
            BYTE* at = c.resultAt == At::kGrey ? p.greyImage.get()
                       : c.resultAt == At::kColour ? p.colourImage.get() : elsewhere;
            p.SetResult(at, 900, 1200);
            p.RotateByAngle(angle, 1);
            ASSERT_TRUE(p.canvas);
            EXPECT_EQ(p.canvasDepth, c.retainColour ? 24 : 8);
            EXPECT_FALSE(p.greyImage);
            EXPECT_FALSE(p.colourImage);
            if (c.resultAt == At::kElsewhere) {
                EXPECT_EQ(p.result, elsewhere);
            } else {
                EXPECT_EQ(p.result, p.canvas.get())
                    << "angle " << angle << ", retain " << c.retainColour << ", at " << static_cast<int>(c.resultAt);
                EXPECT_EQ(p.resultWidth, p.canvasWidth);
                EXPECT_EQ(p.resultHeight, p.canvasHeight);
            }
        }
    // An angle that makes no canvas frees neither image.
    ProcessSetting::filesave.retaincolor = 1;
    CImageProcessor p;
    Give(p, grey, &colour);
    p.SetResult(p.greyImage.get(), 900, 1200);
    p.RotateByAngle(std::nan(""), 1);
    EXPECT_FALSE(p.canvas);
    EXPECT_TRUE(p.greyImage);
    EXPECT_TRUE(p.colourImage);
    EXPECT_EQ(p.result, p.greyImage.get());
}

namespace {

// The processor's state that the turn and the keep-size crop leave.
struct AfterKeepSize {
    std::vector<BYTE> grey, colour;  // whole buffers, row padding included
    bool resultIsGrey = false, resultIsColour = false;
    std::int32_t resultWidth = 0, resultHeight = 0, boxLeft = 0, boxTop = 0;
    bool canvas = false;
    std::int32_t canvasWidth = 0, canvasHeight = 0, canvasDepth = 0;
    bool operator==(const AfterKeepSize&) const = default;
};

AfterKeepSize StateOf(const CImageProcessor& p) {
    AfterKeepSize s;
    if (p.greyImage) s.grey.assign(p.greyImage.get(), p.greyImage.get() + PixelBytes(p.width, p.height, 8));
    if (p.colourImage) s.colour.assign(p.colourImage.get(), p.colourImage.get() + PixelBytes(p.width, p.height, 24));
    s.resultIsGrey = p.result && p.result == p.greyImage.get();
    s.resultIsColour = p.result && p.result == p.colourImage.get();
    s.resultWidth = p.resultWidth;
    s.resultHeight = p.resultHeight;
    s.boxLeft = p.boxLeft;
    s.boxTop = p.boxTop;
    s.canvas = p.canvas != nullptr;
    s.canvasWidth = p.canvasWidth;
    s.canvasHeight = p.canvasHeight;
    s.canvasDepth = p.canvasDepth;
    return s;
}

// Random bytes in every working image's row padding, as a step that wrote
// whole rows could leave them.
void ScribbleOnPadding(CImageProcessor& p, unsigned seed) {
    for (auto [image, bpp] : {std::pair<BYTE*, int>{p.greyImage.get(), 8}, {p.colourImage.get(), 24}}) {
        if (!image) continue;
        const std::size_t stride = px::StrideFor(static_cast<std::size_t>(p.width), bpp);
        const std::size_t row = static_cast<std::size_t>(p.width) * (bpp / 8);
        for (std::int32_t y = 0; y < p.height; ++y)
            for (std::size_t i = row; i < stride; ++i) image[stride * static_cast<std::size_t>(y) + i] = static_cast<BYTE>(seed = seed * 1103515245u + 12345u);
    }
}

}  // namespace

TEST_F(ProcessorDeskew, AKeepSizeTurnByZeroLeavesWhatTheTurnAndCropLeave) {
    // The working image kept as it is against the turn into a canvas and
    // the crop back: every byte of the working images (padding included),
    // the result, the box and the canvas, on grey and colour sources, with
    // colour kept or not, at odd and even widths. An angle that moves
    // pixels (or a crop of the other depth) is refused and changes nothing.
    struct Case {
        bool colourSource;
        int retainColour;
        int w, h;
    };
    const Case cases[] = {{true, 1, 37, 23}, {true, 0, 37, 23}, {false, 1, 38, 21}, {false, 0, 1, 1}, {true, 1, 17, 2}};
    unsigned seed = 5;
    for (const Case& c : cases) {
        ProcessSetting::filesave.retaincolor = static_cast<std::uint8_t>(c.retainColour);
        const Page grey = synth::RandomBytes(c.w, c.h, 8, seed++);
        const Page colour = synth::RandomBytes(c.w, c.h, 24, seed++);
        const bool crop24 = c.colourSource && c.retainColour != 0;
        for (double angle : {0.0, -0.0}) {
            CImageProcessor turned, kept;
            for (CImageProcessor* p : {&turned, &kept}) {
                Give(*p, grey, c.colourSource ? &colour : nullptr);
                ScribbleOnPadding(*p, seed);
                p->SetResult(p->greyImage.get(), c.w, c.h);
            }
            turned.RotateByAngle(angle, 1);
            if (crop24)
                turned.KeepSizeCropColor(1);
            else
                turned.KeepSizeCropGray(1);
            turned.canvas.reset();
            turned.canvasWidth = turned.canvasHeight = 0;
            ASSERT_FALSE(kept.KeepSizeWithoutTurning(angle, !crop24)) << "a crop of the other depth";
            ASSERT_TRUE(kept.KeepSizeWithoutTurning(angle, crop24));
            EXPECT_TRUE(StateOf(kept) == StateOf(turned))
                << c.w << "x" << c.h << (c.colourSource ? " colour" : " grey") << " source, retain " << c.retainColour;
            EXPECT_EQ(kept.result, crop24 ? kept.colourImage.get() : kept.greyImage.get());
        }
        CImageProcessor moved;
        Give(moved, grey, c.colourSource ? &colour : nullptr);
        const AfterKeepSize before = StateOf(moved);
        for (double angle : {1e-12, 0.05, std::nan("")})
            EXPECT_FALSE(moved.KeepSizeWithoutTurning(angle, crop24)) << angle;
        EXPECT_TRUE(StateOf(moved) == before);
    }
    // A colour source whose colour image is gone: the turn takes the grey
    // image, which the colour crop would not take.
    ProcessSetting::filesave.retaincolor = 1;
    CImageProcessor gone;
    Give(gone, synth::RandomBytes(9, 9, 8, 1), nullptr);
    gone.sourceDepth = 24;
    EXPECT_FALSE(gone.KeepSizeWithoutTurning(0.0, true));
    EXPECT_TRUE(gone.greyImage);
}

TEST_F(ProcessorDeskew, NoImageOrDepthRotatesNothing) {
    ScriptedUserDialogs dialogs;
    CImageProcessor empty;
    empty.DetectSkew(5, 0);
    EXPECT_EQ(empty.skewSearcher.skewAngle, 0.0f);
    empty.RotateByAngle(2.0, 1);
    EXPECT_FALSE(empty.canvas);
    empty.KeepSizeCropGray(1);
    EXPECT_EQ(empty.result, nullptr);

    CImageProcessor p;
    Give(p, Turned(1.0));
    p.workingDepth = 24;  // the grey image is not usable
    p.RotateByAngle(2.0, 1);
    EXPECT_FALSE(p.canvas);
    EXPECT_TRUE(p.greyImage) << "nothing freed";
    // Neither the empty object nor this one has a usable image: both show
    // the depth message.
    EXPECT_EQ(dialogs.MessageTexts(), std::vector<std::wstring>(2, L"出错了哦(Error accour)"));
    p.workingDepth = 8;
    p.RotateByAngle(std::nan(""), 1);
    EXPECT_FALSE(p.canvas);
    EXPECT_TRUE(p.greyImage);
    p.KeepSizeCropGray(0);
    EXPECT_EQ(p.result, nullptr);
}

TEST_F(ProcessorDeskew, AWeakPeakBeyondTheRangeIsKeptWithoutARestart) {
    // A page at -8 degrees searched over 5: no method gets near -8, but the
    // text-only search passes a peak (its counts fall away on the positive
    // side) with a score below 0.15. A weak find ends the detection with
    // that method's angle, at the edge of the range, and no second search
    // over 30 degrees happens. Over 15 degrees the page's angle is found.
    const Page page = Turned(-8.0);
    CImageProcessor p;
    Give(p, page);
    p.contrastCopy = CopyOf(page);
    float angle = 0, score = 0;
    EXPECT_TRUE(p.RunSkewSearch(5, 1, 0, &angle, &score));
    EXPECT_LT(score, 0.15f);
    EXPECT_FALSE(p.RunSkewSearch(5, 0, 0, &angle, &score));
    p.DetectSkew(5, 0);
    EXPECT_LT(p.skewSearcher.skewAngle, -5.0f);
    EXPECT_GT(p.skewSearcher.skewAngle, -5.5f);
    p.DetectSkew(15, 0);
    EXPECT_NEAR(p.skewSearcher.skewAngle, -8.0, kStep);
}

TEST_F(ProcessorDeskew, CentringAndCuttingTheResult) {
    // A block of text 40 columns from the left of a 700-wide page.
    Page page = skewpages::Grey(700, 500);
    skewpages::FillFromTop(page, 40, 100, 339, 399, 0);
    CImageProcessor p;
    Give(p, page);
    p.result = p.greyImage.get();
    p.resultWidth = 700;
    p.resultHeight = 500;
    const PixelBuffer measure = CopyOf(page);
    p.CenterHorizontalGray(2.0f, measure.get(), centring::kVertical);  // not this direction
    EXPECT_EQ(std::memcmp(p.result, page.Data(), page.bits.size()), 0);
    p.CenterHorizontalGray(2.0f, measure.get(), centring::kHorizontal | centring::kVertical);
    // left 40, right 700 - 339 = 361: shifted by 160.
    EXPECT_EQ(p.result[px::Stride8(700) * 300 + 200], 0);
    EXPECT_EQ(p.result[px::Stride8(700) * 300 + 199], 255);

    // Cut white margins of 10 pixels, twice: the second cut works on the
    // first one's buffer.
    ProcessSetting::cutwhite.threholdtype = 1;
    p.CutWhiteMarginsGray(1, 10, 10, 10, 10, 2.0f);
    EXPECT_EQ(p.result, p.whiteCut.get());
    EXPECT_EQ(p.resultWidth, 300 + 20);
    EXPECT_EQ(p.resultHeight, 300 + 20);
    EXPECT_EQ(p.boxLeft, 200);
    EXPECT_EQ(p.boxTop, 100);
    p.CutWhiteMarginsGray(1, 0, 0, 0, 0, 2.0f);
    EXPECT_EQ(p.resultWidth, 300);
    EXPECT_EQ(p.boxLeft, 10);
    p.CutWhiteMarginsGray(0, 5, 5, 5, 5, 2.0f);
    EXPECT_EQ(p.resultWidth, 300) << "run 0 cuts nothing";
}

TEST_F(ProcessorDeskew, CutByBackgroundColourTwiceAndNearWhite) {
    Page colour(300, 200, 24);
    colour.Fill(synth::Rgb(30, 40, 200));
    colour.FillRect(synth::Rect{50, 30, 250, 170}, synth::kWhite);
    const Page grey = synth::ToGrey(colour);
    CImageProcessor p;
    Give(p, grey, &colour);
    p.result = p.colourImage.get();
    p.resultWidth = 300;
    p.resultHeight = 200;
    cutting::CutByBkColorParams prm;
    prm.white = 1;
    prm.contentRatio = 50.0f;
    p.CutEdgesByBkColor(prm);
    EXPECT_EQ(p.result, p.colourCut.get());
    EXPECT_EQ(p.resultWidth, 200);
    EXPECT_EQ(p.resultHeight, 140);
    // Again on its own output: all white now, nothing more to cut, and the
    // result stays valid.
    prm.skipNearWhite = 1;
    p.CutEdgesByBkColor(prm);
    EXPECT_EQ(p.mostlyWhite, 1);
    EXPECT_EQ(p.result, p.colourCut.get());
    EXPECT_EQ(p.result[0], 255);
    EXPECT_EQ(p.resultWidth, 200);
}

TEST_F(ProcessorDeskew, CleanupStepsFollowTheScanSwitchesInScanRuns) {
    // A stain far from text: run type 4 takes the scan switch, not the
    // setting.
    testdata::TestPage t(600, 400, false);
    t.disc(550, 350, 6, 40);
    Page grey = skewpages::Grey(600, 400);
    std::memcpy(grey.Data(), t.grey.data(), t.grey.size());
    for (int runType : {0, 4}) {
        ProcessSetting::rmstains.on = 1;
        ScanStepFlags::rmstains = 0;
        CImageProcessor p;
        p.runType = runType;
        Give(p, grey);
        p.RemoveStainsBordersAndHoles(L"page.jpg");
        const BYTE stain = p.greyImage[px::Stride8(600) * 350 + 550];
        EXPECT_EQ(stain, runType == 4 ? 40 : 255) << runType;
    }
}

TEST_F(ProcessorDeskew, MethodTwoSearchesItsOwnStretchedContrastCopy) {
    // Grey text of level 150 on paper of 230: binarised at 128 as it is,
    // the page would be all light; the contrast copy stretches 150..230 to
    // 0..255 first, so the text shows.
    Page grey = Turned(2.2);
    for (std::uint8_t& b : grey.bits) b = b < 128 ? 150 : 230;
    const Page colour = skewpages::ToColour(grey);
    CImageProcessor p;
    Give(p, grey, &colour);
    p.BinarizeColor128(p.colourImage.get());
    ASSERT_TRUE(p.binaryImage);
    for (std::size_t i = 0; i < grey.bits.size(); ++i) ASSERT_EQ(p.binaryImage[i], 255) << i;
    ProcessSetting::tryothers = 0;
    p.DetectSkew(5, 2);
    EXPECT_TRUE(p.contrastCopy) << "prepared by the detection";
    EXPECT_NEAR(p.skewSearcher.skewAngle, 2.2, kStep);
}

// A colour source whose colour image is gone (a manual-window road can leave
// only the grey image) gets a grey contrast copy; skew method 2 must
// binarise that copy as the 8-bit image it is, not read it as 24-bit
// triples three times past its end.
TEST_F(ProcessorDeskew, MethodTwoBinarisesAGreyContrastCopyOfAColourSourceAsGrey) {
    Page grey = Turned(-1.4);
    for (std::uint8_t& b : grey.bits) b = b < 128 ? 150 : 230;
    const Page colour = skewpages::ToColour(grey);
    CImageProcessor p;
    Give(p, grey, &colour);
    p.colourImage.reset();
    p.PrepareContrastCopy(1.0f, 1.0f);
    ASSERT_TRUE(p.contrastCopy);
    EXPECT_EQ(p.contrastDepth, 8);
    std::vector<std::uint8_t> want(p.contrastCopy.get(), p.contrastCopy.get() + grey.bits.size());
    for (std::uint8_t& b : want) b = b >= 128 ? 255 : 0;
    ProcessSetting::tryothers = 0;
    float angle = 0, score = 0;
    p.RunSkewSearch(5, 2, 0, &angle, &score);
    ASSERT_TRUE(p.binaryImage);
    for (int y = 0; y < grey.height; ++y)
        for (int x = 0; x < grey.width; ++x) {
            const std::size_t i = grey.stride * std::size_t(y) + std::size_t(x);
            ASSERT_EQ(p.binaryImage[i], want[i]) << "binary pixel " << x << "," << y;
        }
    EXPECT_NEAR(angle, -1.4, kStep);

    // With the colour image there, the copy is the stretched colour image.
    CImageProcessor q;
    Give(q, grey, &colour);
    q.PrepareContrastCopy(1.0f, 1.0f);
    EXPECT_EQ(q.contrastDepth, 24);
    q.RunSkewSearch(5, 2, 0, &angle, &score);
    EXPECT_NEAR(angle, -1.4, kStep);
}
