// The processing object's entry points for the manual window: the picture
// in and out as 24-bit rows, and each operation against the same engine or
// step called directly with the same values (the entry points add nothing
// and lose nothing), on pages the operation visibly changes.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "processing/BkColorRemover.h"
#include "processing/processor/CleanupSteps.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/ManualOperation.h"
#include "processing/PixelMath.h"
#include "processing/Rotation.h"
#include "processing/SkewTestPages.h"
#include "processing/ToneOperations.h"
#include "settings/ProcessSetting.h"
#include "support/TempDir.h"
#include "ProcessorTestUtil.h"

using synth::Page;

namespace {

class ManualEntryPoints : public proctest::SettingsReset {};

// 24-bit rows of a page (an 8-bit page as grey triples).
Page AsColour(const Page& page) { return page.bpp == 24 ? page : skewpages::ToColour(page); }

// A processor as the manual window has it: a file of `sourceDepth` was
// loaded, then the current picture was handed in with SetImage.
void Prepare(CImageProcessor& p, const Page& picture, int sourceDepth) {
    p.sourceDepth = sourceDepth;
    p.dpiX = p.dpiY = picture.dpi;
    const Page rows = AsColour(picture);
    ASSERT_TRUE(p.SetImage(rows.Data(), rows.width, rows.height));
}

// What GetResultBits hands back, as a page that owns it.
Page Fetch(CImageProcessor& p) {
    std::int32_t w = -1, h = -1;
    std::unique_ptr<BYTE[]> bits(p.GetResultBits(&w, &h));
    if (!bits) return Page();
    Page out(w, h, 24);
    std::memcpy(out.Data(), bits.get(), out.bits.size());
    return out;
}

// A page of 8-bit or 24-bit rows as 24-bit rows with grey expanded: what the
// window gets for a result buffer of that depth.
Page Expand(const BYTE* bits, int w, int h, int bpp) {
    Page out(w, h, 24);
    if (bpp == 24) {
        std::memcpy(out.Data(), bits, out.bits.size());
        return out;
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) std::fill_n(out.Row(y) + 3 * x, 3, bits[px::Stride8(w) * y + x]);
    return out;
}

::testing::AssertionResult SamePixels(const Page& got, const Page& want) {
    if (got.width != want.width || got.height != want.height)
        return ::testing::AssertionFailure() << "size " << got.width << "x" << got.height << ", expected "
                                             << want.width << "x" << want.height;
    for (int y = 0; y < got.height; ++y)
        for (int x = 0; x < got.width; ++x)
            for (int c = 0; c < 3; ++c)
                if (got.Row(y)[3 * x + c] != want.Row(y)[3 * x + c])
                    return ::testing::AssertionFailure()
                           << "pixel (" << x << ", memory row " << y << ") channel " << c << " is "
                           << int(got.Row(y)[3 * x + c]) << ", expected " << int(want.Row(y)[3 * x + c]);
    return ::testing::AssertionSuccess();
}

// A colour page whose every pixel differs from its neighbours, with an odd
// width so that rows carry padding.
Page PatternPage(int w, int h, unsigned seed) {
    const testimg::Picture pic = testimg::Pattern(w, h, 3, seed);
    Page page(w, h, 24);
    for (int row = 0; row < h; ++row)
        for (int x = 0; x < w; ++x)
            page.Set(x, h - 1 - row, synth::Rgb(pic.at(x, row, 0), pic.at(x, row, 1), pic.at(x, row, 2)));
    return page;
}

// Pixel (x, row from the top) of 24-bit rows.
const std::uint8_t* FromTop(const Page& p, int x, int row) { return p.Row(p.height - 1 - row) + 3 * x; }

// The grey triples the processor makes of colour rows (grey source).
Page GreyTriples(const Page& colour) { return skewpages::ToColour(synth::ToGrey(colour)); }

// ---- The picture in and out ----

TEST_F(ManualEntryPoints, SetImageRefusesNoPixelsOrNoSizeAndChangesNothing) {
    const Page page = PatternPage(13, 9, 1);
    CImageProcessor p;
    Prepare(p, page, 24);
    const BYTE* grey = p.greyImage.get();
    const BYTE* colour = p.colourImage.get();
    struct Case {
        const BYTE* bits;
        int w, h;
    } cases[] = {{nullptr, 13, 9}, {page.Data(), 0, 9}, {page.Data(), 13, 0}, {page.Data(), -3, 9},
                 {page.Data(), 13, -1}};
    for (const Case& c : cases) {
        EXPECT_FALSE(p.SetImage(c.bits, c.w, c.h)) << c.w << "x" << c.h;
        EXPECT_EQ(p.greyImage.get(), grey);
        EXPECT_EQ(p.colourImage.get(), colour);
        EXPECT_EQ(p.width, 13);
        EXPECT_EQ(p.height, 9);
    }
    EXPECT_TRUE(SamePixels(Fetch(p), page));
}

// Grey is computed from every pixel, the colour copy kept only for colour
// sources, and the picture comes back as it went in (colour) or as its grey
// triples; a second SetImage of another size replaces everything.
TEST_F(ManualEntryPoints, SetImageAndGetResultBitsBySourceDepth) {
    const Page first = PatternPage(17, 11, 2);
    const Page second = PatternPage(6, 23, 3);
    struct Case {
        int sourceDepth;
        int resultDepth;
        bool colour;
    } cases[] = {{24, 24, true}, {8, 8, false}, {1, 1, false}, {0, 8, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sourceDepth);
        CImageProcessor p;
        p.outputPathMode = OUTPUT_TO_FOLDER;
        Prepare(p, first, c.sourceDepth);
        EXPECT_EQ(p.outputPathMode, OUTPUT_TO_EXPLICIT_PATH);
        EXPECT_EQ(p.resultDepth, c.resultDepth);
        EXPECT_EQ(bool(p.colourImage), c.colour);
        EXPECT_TRUE(proctest::GreyEquals(p, [&](int x, int y) {
            const std::uint8_t* px = FromTop(first, x, y);
            return int(0.587 * px[1] + 0.299 * px[2] + 0.114 * px[0]);
        }));
        EXPECT_TRUE(SamePixels(Fetch(p), c.colour ? first : GreyTriples(first)));

        Prepare(p, second, c.sourceDepth);
        EXPECT_EQ(p.width, 6);
        EXPECT_EQ(p.height, 23);
        EXPECT_TRUE(SamePixels(Fetch(p), c.colour ? second : GreyTriples(second)));
    }
}

TEST_F(ManualEntryPoints, GetResultBitsOfALoadedGreyFileGivesGreyTriples) {
    testdata::TempDir dir;
    const testimg::Picture pic = testimg::Pattern(21, 14, 1, 9);
    ASSERT_TRUE(testimg::WritePng(dir.file("g.png"), pic, 0, 8));
    CImageProcessor p;
    ASSERT_TRUE(proctest::Load(p, dir.file("g.png")));
    const Page got = Fetch(p);
    ASSERT_EQ(got.width, 21);
    ASSERT_EQ(got.height, 14);
    for (int row = 0; row < 14; ++row)
        for (int x = 0; x < 21; ++x)
            for (int c = 0; c < 3; ++c) {
                // The file's levels through the grey formula (which lowers
                // some levels by one).
                const int v = pic.at(x, row);
                ASSERT_EQ(FromTop(got, x, row)[c], int(0.587 * v + 0.299 * v + 0.114 * v)) << x << "," << row;
            }
}

// Every grey level handed in as a neutral triple is the grey level itself,
// so a grey picture goes in and out unchanged as often as the window hands
// it over (the grey formula's truncated sum would lower 65 of the levels by
// one each time: 2 becomes 1, then 0).
TEST_F(ManualEntryPoints, AGreyPictureGoesInAndOutUnchanged) {
    Page levels(256, 3, 8);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 256; ++x) levels.Row(y)[x] = static_cast<std::uint8_t>(x);
    const Page shown = AsColour(levels);
    for (int depth : {8, 24}) {
        SCOPED_TRACE(depth);
        CImageProcessor p;
        Prepare(p, shown, depth);
        EXPECT_TRUE(proctest::GreyEquals(p, [](int x, int) { return x; }));
        Page current = shown;
        for (int round = 0; round < 10; ++round) {
            ASSERT_TRUE(p.SetImage(current.Data(), current.width, current.height));
            p.EraseBox(ManualOperation(OpEraseInside, L"", EraseOpParams{RGB(0, 0, 0), 5, RECT{0, 0, 0, 0}}));
            current = Fetch(p);
        }
        EXPECT_TRUE(SamePixels(current, shown));
    }
}

// The window's save road: the shown picture into the processor of the
// loaded file, saved to the explicit path in the file's format and depth;
// what is read back is what was shown.
TEST_F(ManualEntryPoints, SavingThroughTheExplicitPathWritesTheShownPicture) {
    testdata::TempDir dir;
    struct Case {
        const char* name;
        int channels, colorType, depth;
    } cases[] = {{"colour.png", 3, 2, 24}, {"grey.png", 1, 0, 8}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const testimg::Picture pic = testimg::Pattern(23, 17, c.channels, 12);
        ASSERT_TRUE(testimg::WritePng(dir.file(c.name), pic, c.colorType, 8));
        CImageProcessor p;
        ASSERT_TRUE(proctest::Load(p, dir.file(c.name)));
        Page shown = Fetch(p);
        ASSERT_EQ(shown.width, 23);
        ASSERT_TRUE(p.SetImage(shown.Data(), shown.width, shown.height));
        p.EraseBox(ManualOperation(OpEraseInside, L"", EraseOpParams{RGB(0, 0, 0), 5, RECT{2, 3, 9, 12}}));
        shown = Fetch(p);

        const std::string out = dir.file(std::string("saved-") + c.name);
        p.SetOutputPath(FromUtf8(out));
        ASSERT_TRUE(p.SetImage(shown.Data(), shown.width, shown.height));
        ASSERT_TRUE(p.SaveResult());
        const testimg::PngInfo back = testimg::ReadPng(out);
        ASSERT_TRUE(back.ok);
        EXPECT_EQ(back.colorType, c.colorType);
        ASSERT_EQ(back.width, shown.width);
        ASSERT_EQ(back.height, shown.height);
        for (int row = 0; row < back.height; ++row)
            for (int x = 0; x < back.width; ++x)
                for (int k = 0; k < 3; ++k)
                    ASSERT_EQ(back.rgb.at(x, row, k), FromTop(shown, x, row)[2 - k]) << x << "," << row;
        EXPECT_EQ(FromTop(shown, 2, 3)[0], 0) << "the erased box is in the file";
    }
}

// Without a picture nothing is there to give, and no operation does anything.
TEST_F(ManualEntryPoints, NoImageSetGivesNothingAndOperationsDoNothing) {
    CImageProcessor p;
    std::int32_t w = 5, h = 5;
    EXPECT_EQ(p.GetResultBits(&w, &h), nullptr);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
    const ManualOperation ops[] = {
        {OpCenter, L"", CenterOpParams{3, 2.0f, 2.0f, 1}},
        {OpCorrect, L"", CorrectOpParams{}},
        {OpRotate90, L"", Rotate90OpParams{}},
        {OpCutWhite, L"", CutWhiteOpParams{}},
        {OpRmBkColor, L"", RmBkColorOpParams{}},
        {OpRmStains, L"", RmStainsOpParams{4.0f, 160, 1, 1}},
        {OpAutoContrast, L"", AutoContrastOpParams{}},
        {OpEraseInside, L"", EraseOpParams{RGB(0, 0, 0), 5, RECT{0, 0, 4, 4}}},
        {OpCrop, L"", CropOpParams{RECT{0, 0, 4, 4}}},
    };
    for (const ManualOperation& op : ops) {
        p.RunManualOperation(op);
        EXPECT_EQ(p.GetResultBits(&w, &h), nullptr) << op.type;
    }
}

// ---- Erase and crop, against pixels worked out by hand ----

struct BoxCase {
    const char* what;
    RECT rect;
};

const BoxCase kBoxes[] = {
    {"inside the image", {3, 2, 11, 8}},
    {"past the right and bottom edges", {15, 10, 100, 100}},
    {"starting left of and above the image", {-5, -4, 6, 5}},
    {"the whole image", {0, 0, 19, 13}},
    {"empty (zero width)", {7, 2, 7, 9}},
    {"missing the image", {40, 40, 60, 60}},
    {"no rectangle at all", {0, 0, 0, 0}},
};

TEST_F(ManualEntryPoints, EraseInsideAndOutsideFillExactlyTheirPixels) {
    const Page page = PatternPage(19, 13, 4);
    const COLORREF fill = RGB(10, 200, 30);
    const std::uint8_t fillGrey = static_cast<std::uint8_t>(0.587 * 200 + 0.299 * 10 + 0.114 * 30);
    for (int depth : {24, 8}) {
        for (int type : {int(OpEraseInside), int(OpEraseOutside), 14}) {
            for (const BoxCase& c : kBoxes) {
                SCOPED_TRACE(std::string(c.what) + " type " + std::to_string(type) + " depth " +
                             std::to_string(depth));
                CImageProcessor p;
                Prepare(p, page, depth);
                p.EraseBox(ManualOperation(type, L"", EraseOpParams{fill, 5, c.rect}));
                const Page before = depth == 24 ? page : GreyTriples(page);
                Page want = before;
                for (int row = 0; row < page.height; ++row)
                    for (int x = 0; x < page.width; ++x) {
                        const bool in = x >= c.rect.left && x < c.rect.right && row >= c.rect.top &&
                                        row < c.rect.bottom;
                        const bool erased = (type == OpEraseInside && in) || (type == OpEraseOutside && !in);
                        if (!erased) continue;
                        std::uint8_t* px = want.Row(page.height - 1 - row) + 3 * x;
                        if (depth == 24) {
                            px[0] = 30, px[1] = 200, px[2] = 10;
                        } else {
                            px[0] = px[1] = px[2] = fillGrey;
                        }
                    }
                EXPECT_TRUE(SamePixels(Fetch(p), want));
            }
        }
    }
}

TEST_F(ManualEntryPoints, CropTakesTheRectangleWithinTheImage) {
    const Page page = PatternPage(19, 13, 5);
    struct Want {
        int left, top, width, height;
    };
    const Want wants[] = {{3, 2, 8, 6},  {15, 10, 4, 3},  {0, 0, 6, 5},  {0, 0, 19, 13},
                          {0, 0, 19, 13}, {0, 0, 19, 13}, {0, 0, 19, 13}};
    static_assert(std::size(wants) == std::size(kBoxes));
    for (int depth : {24, 8}) {
        for (std::size_t i = 0; i < std::size(kBoxes); ++i) {
            SCOPED_TRACE(std::string(kBoxes[i].what) + " depth " + std::to_string(depth));
            CImageProcessor p;
            Prepare(p, page, depth);
            p.CropToRect(ManualOperation(OpCrop, L"", CropOpParams{kBoxes[i].rect}));
            const Want& w = wants[i];
            const Page source = depth == 24 ? page : GreyTriples(page);
            Page want(w.width, w.height, 24);
            for (int row = 0; row < w.height; ++row)
                for (int x = 0; x < w.width; ++x)
                    std::memcpy(want.Row(w.height - 1 - row) + 3 * x, FromTop(source, w.left + x, w.top + row), 3);
            EXPECT_TRUE(SamePixels(Fetch(p), want));
            EXPECT_EQ(p.resultDepth, depth);
        }
    }
}

// ---- Operations against their engines called directly ----

// A page of one paper colour with glyph text in an area.
Page TextOn(int w, int h, synth::Colour paper, int dpi, synth::Rect area, int charHeight, std::uint64_t seed = 1) {
    Page page = synth::Blank(w, h, 24, paper, dpi);
    synth::TextOptions o;
    o.area = area;
    o.charHeight = charHeight;
    o.seed = seed;
    synth::DrawText(page, o);
    return page;
}

// A tinted text page with a red seal, at a small size.
Page TintedTextPage(int w = 420, int h = 300) {
    Page page = TextOn(w, h, synth::kYellowedPaper, 150, synth::Rect{30, 30, w - 30, h - 30}, 18, 3);
    synth::DrawStamp(page, w / 2, h / 2, 50, 6, synth::kSealRed);
    return page;
}

TEST_F(ManualEntryPoints, BackgroundRemovalIsTheColourRemoverOrTheGreyToneSteps) {
    const Page page = TintedTextPage();
    const RmBkColorOpParams values{30, 60, 40, 20, 0.2f, 1.5f, 1, 1};
    for (int depth : {24, 8}) {
        SCOPED_TRACE(depth);
        CImageProcessor p;
        Prepare(p, page, depth);
        p.RunBkColorRemoval(ManualOperation(OpRmBkColor, L"", values));
        const Page got = Fetch(p);

        Page want;
        if (depth == 24) {
            Page colour = page;
            Page grey = synth::ToGrey(page);
            BkColorParams params;
            params.page.grey = grey.Data();
            params.page.colour = colour.Data();
            params.brightness = 30;
            params.contrast = 60;
            params.darkening = 40;
            params.colorDelta = 20;
            params.saturation = 0.2f;
            params.keepRadius = 1.5f;
            params.keepMode = static_cast<KeepMode>(1);
            params.rebuildMask = 1;
            params.page.width = page.width;
            params.page.height = page.height;
            params.page.bitsPerPixel = 24;
            params.page.dpi = 150;
            CBkColorRemover remover;
            ASSERT_TRUE(remover.Run(params));
            want = colour;
        } else {
            CImageProcessor q;
            Prepare(q, page, 8);
            q.AdjustBrightnessContrast(q.greyImage.get(), q.width, q.height, 30, 60);
            q.ApplyDarkeningCurve(40);
            want = Expand(q.greyImage.get(), q.width, q.height, 8);
        }
        EXPECT_TRUE(SamePixels(got, want));
        EXPECT_FALSE(SamePixels(got, AsColour(depth == 24 ? page : synth::ToGrey(page)))) << "visibly changed";
    }
}

// Deskew finds the turn of a text page, turns it back through the same
// rotation the batch step uses, and with keep size gives the loaded size.
TEST_F(ManualEntryPoints, DeskewFindsTheAngleAndRotatesLikeTheBatchStep) {
    skewpages::TextPageSpec spec;
    spec.angle = 1.6;
    spec.seed = 11;
    Page grey = skewpages::TextPage(spec);
    grey.dpi = 110;
    const Page colour = skewpages::ToColour(grey);
    for (int method : {0, 1, 2}) {
        for (int keep : {0, 1}) {
            for (int retain : {1, 0}) {
                SCOPED_TRACE("method " + std::to_string(method) + " keep " + std::to_string(keep) + " retain " +
                             std::to_string(retain));
                ProcessSetting::filesave.retaincolor = retain;
                CImageProcessor p;
                Prepare(p, colour, 24);
                p.DeskewManual(ManualOperation(OpCorrect, L"", CorrectOpParams{5, method, 1, BYTE(keep), 0}));
                EXPECT_NEAR(p.skewSearcher.skewAngle, 1.6, 0.15);
                EXPECT_FALSE(p.binaryImage);
                EXPECT_FALSE(p.contrastCopy);
                const Page got = Fetch(p);
                if (keep) {
                    EXPECT_EQ(got.width, colour.width);
                    EXPECT_EQ(got.height, colour.height);
                } else {
                    EXPECT_GT(got.width, colour.width);
                }
                // A result grey when colour is not kept: 8-bit, read as such.
                EXPECT_EQ(p.resultDepth, retain ? 24 : 8);

                CImageProcessor q;
                Prepare(q, colour, 24);
                q.RotateByAngle(-static_cast<double>(p.skewSearcher.skewAngle), 1);
                if (keep) {
                    if (retain)
                        q.KeepSizeCropColor(1);
                    else
                        q.KeepSizeCropGray(1);
                    EXPECT_TRUE(SamePixels(got, Expand(q.result, q.width, q.height, retain ? 24 : 8)));
                } else {
                    EXPECT_TRUE(SamePixels(got, Expand(q.canvas.get(), q.canvasWidth, q.canvasHeight, q.canvasDepth)));
                }
            }
        }
    }
}

// Skew method 2 on a colour source whose colour image has gone: the contrast
// copy falls back to the grey image and is binarised as 8-bit rows.
TEST_F(ManualEntryPoints, DeskewMethodTwoOnAColourSourceWithAGreyContrastCopy) {
    skewpages::TextPageSpec spec;
    spec.angle = -1.2;
    spec.seed = 5;
    Page grey = skewpages::TextPage(spec);
    grey.dpi = 110;
    for (std::uint8_t& b : grey.bits) b = b < 128 ? 140 : 225;
    CImageProcessor p;
    Prepare(p, skewpages::ToColour(grey), 24);
    p.colourImage.reset();
    p.result = p.greyImage.get();
    p.DeskewManual(ManualOperation(OpCorrect, L"", CorrectOpParams{5, 2, 1, 1, 0}));
    EXPECT_EQ(p.contrastDepth, 8);
    EXPECT_NEAR(p.skewSearcher.skewAngle, -1.2, 0.15);
    const Page got = Fetch(p);
    EXPECT_EQ(got.width, grey.width);
    EXPECT_EQ(got.height, grey.height);
    // Turned from the grey image, since there is no colour image to turn.
    EXPECT_EQ(p.resultDepth, 8);
    EXPECT_FALSE(SamePixels(got, GreyTriples(skewpages::ToColour(grey)))) << "turned back";
}

// The quarter turns of the deskew page move every pixel exactly: clockwise
// as displayed, pixel (x, row) from the top of the turned picture is pixel
// (row, h - 1 - x) of the original; counter-clockwise (w - 1 - row, x). Four
// turns give the picture back. (Resampling them would blur every pixel by
// half a pixel and add a fill row and column at every turn.)
TEST_F(ManualEntryPoints, QuarterTurnsMoveEveryPixelExactly) {
    const Page page = PatternPage(21, 14, 6);
    for (int depth : {24, 8}) {
        for (int direction : {0, 1}) {
            SCOPED_TRACE("depth " + std::to_string(depth) + " direction " + std::to_string(direction));
            const Page source = depth == 24 ? page : GreyTriples(page);
            CImageProcessor p;
            Prepare(p, page, depth);
            const ManualOperation turn(OpRotate90, L"", Rotate90OpParams{direction == 0 ? 90 : -90, direction});
            p.RunManualOperation(turn);
            EXPECT_EQ(p.resultDepth, depth);
            Page current = Fetch(p);
            Page want(page.height, page.width, 24);
            for (int row = 0; row < want.height; ++row)
                for (int x = 0; x < want.width; ++x) {
                    const std::uint8_t* from = direction == 0 ? FromTop(source, row, page.height - 1 - x)
                                                              : FromTop(source, page.width - 1 - row, x);
                    std::memcpy(want.Row(want.height - 1 - row) + 3 * x, from, 3);
                }
            EXPECT_TRUE(SamePixels(current, want));
            for (int more = 0; more < 3; ++more) {
                ASSERT_TRUE(p.SetImage(current.Data(), current.width, current.height));
                p.RunManualOperation(turn);
                current = Fetch(p);
            }
            EXPECT_TRUE(SamePixels(current, source)) << "four turns";
        }
    }
}

// The turn goes the way the sampled rotation of the working image goes: a
// dark block in the top-left corner ends up top right after +90 degrees.
TEST_F(ManualEntryPoints, QuarterTurnGoesTheWayOfTheSampledRotation) {
    Page page = synth::Blank(60, 40, 24, synth::kWhite, 150);
    page.FillRect(synth::Rect{0, 30, 10, 40}, synth::kBlack);  // top-left as displayed
    CImageProcessor p;
    Prepare(p, page, 24);
    p.RunManualOperation(ManualOperation(OpRotate90, L"", Rotate90OpParams{90, 0}));
    const Page turned = Fetch(p);
    const rotation::Canvas sampled =
        rotation::RotateAboutImageCentre(page.Data(), page.width, page.height, 24, 90.0, 255);
    ASSERT_FALSE(sampled.empty());
    const Page sampledPage = Expand(sampled.bits.get(), sampled.width, sampled.height, 24);
    for (const Page* q : {&turned, &sampledPage}) {
        // Dark pixels by quadrant of the picture as displayed.
        int topRight = 0, elsewhere = 0;
        for (int row = 0; row < q->height; ++row)
            for (int x = 0; x < q->width; ++x) {
                if (FromTop(*q, x, row)[1] >= 128) continue;
                (x >= q->width / 2 && row < q->height / 2 ? topRight : elsewhere) += 1;
            }
        // The sampled turn blurs the block's edge by half a pixel.
        EXPECT_GE(topRight, 90) << q->width << "x" << q->height;
        EXPECT_EQ(elsewhere, 0);
    }
}

// A block of content placed off centre.
Page OffCentrePage(int bpp) {
    Page page = TextOn(320, 220, synth::kWhite, 150, synth::Rect{20, 40, 140, 120}, 14, 8);
    page.FillRect(synth::Rect{10, 190, 40, 200}, synth::kBlack);  // a non-text mark
    return bpp == 24 ? page : synth::ToGrey(page);
}

TEST_F(ManualEntryPoints, CentringMeasuresAllObjectsOrTheTextLikeTheBatchStep) {
    for (int depth : {24, 8}) {
        const Page page = OffCentrePage(depth);
        for (int all : {1, 0}) {
            for (int bits : {1, 2, 3}) {
                SCOPED_TRACE("depth " + std::to_string(depth) + " all " + std::to_string(all) + " bits " +
                             std::to_string(bits));
                CImageProcessor p;
                Prepare(p, page, depth);
                p.CenterManual(ManualOperation(OpCenter, L"", CenterOpParams{bits, 1.0f, 1.0f, BYTE(all)}));
                const Page got = Fetch(p);
                EXPECT_FALSE(SamePixels(got, AsColour(page))) << "visibly changed";

                // The batch pipeline's centring step with the same values.
                ProcessSetting::center.on = 1;
                ProcessSetting::center.type = bits;
                ProcessSetting::center.checkscalehor = 1.0f;
                ProcessSetting::center.checkscalever = 1.0f;
                ProcessSetting::center.allobj = all;
                ProcessSetting::filesave.retaincolor = 1;
                CImageProcessor q;
                Prepare(q, page, depth);
                q.RunPipeline(L"", 0, nullptr, nullptr, 0);
                ASSERT_EQ(q.stepsRun, std::vector{CImageProcessor::PipelineStep::kCentre});
                EXPECT_TRUE(SamePixels(got, Expand(q.result, q.resultWidth, q.resultHeight, depth)));
            }
        }
    }
}

// The operations whose code is the batch steps' own: each through the
// operation table and through the step called directly.
struct TableCase {
    const char* what;
    ManualOperation op;
    std::function<Page()> page;
    int depth;
    // Runs the same step on a processor prepared with the same page.
    std::function<void(CImageProcessor&)> direct;
};

TEST_F(ManualEntryPoints, OperationTableRunsTheBatchStepsOwnCode) {
    const auto tinted = [] { return TintedTextPage(); };
    const auto holes = [] {
        Page page = TextOn(400, 300, synth::kWhite, 150, synth::Rect{70, 40, 360, 260}, 16);
        page.FillDisc(20, 150, 17, synth::kBlack);  // 3 mm across at 150 dpi
        return page;
    };
    BindHoleOptions holeOptions;
    holeOptions.SetDefaults();
    holeOptions.on = 1;
    cutting::CutByBkColorParams byColour;
    byColour.white = 1;
    byColour.contentRatio = 50.0f;
    const auto framed = [] {
        Page page = TextOn(300, 240, synth::Rgb(30, 40, 160), 150, synth::Rect{60, 50, 240, 180}, 14);
        // White paper on the blue field, text drawn again over it.
        Page paper = TextOn(300, 240, synth::kWhite, 150, synth::Rect{60, 50, 240, 180}, 14);
        for (int y = 30; y < 200; ++y) std::memcpy(page.Row(y) + 3 * 40, paper.Row(y) + 3 * 40, 3 * 220);
        return page;
    };
    const auto margins = [] {
        Page page = OffCentrePage(24);
        return page;
    };
    const auto board = [] {
        Page page = TintedTextPage();
        page.FillRect(synth::Rect{0, 0, 420, 25}, synth::kBlack);
        page.FillRect(synth::Rect{0, 0, 20, 300}, synth::kBlack);
        return page;
    };
    const auto stains = [] {
        // Specks far from a block of text.
        Page page = TextOn(400, 300, synth::kWhite, 300, synth::Rect{130, 100, 290, 210}, 30);
        page.FillDisc(30, 30, 6, synth::Rgb(40, 40, 40));
        page.FillDisc(370, 260, 6, synth::Rgb(40, 40, 40));
        return page;
    };
    // The quarter turn of the batch road: the canvas becomes the result.
    const auto turn = [](double angle) {
        return [angle](CImageProcessor& q) {
            q.RotateWorkingImage(angle);
            q.result = q.canvas.get();
            q.resultWidth = q.canvasWidth;
            q.resultHeight = q.canvasHeight;
        };
    };
    TableCase cases[] = {
        {"quarter turn clockwise", ManualOperation(OpRotate90, L"", Rotate90OpParams{90, 0}), tinted, 24,
         turn(90.0)},
        {"quarter turn counter-clockwise, grey", ManualOperation(OpRotate90, L"", Rotate90OpParams{-90, 1}), tinted,
         8,
         turn(-90.0)},
        {"cut by background colour", ManualOperation(OpCutByBkColor, L"", byColour), framed, 24,
         [&](CImageProcessor& q) { q.CutEdgesByBkColor(byColour); }},
        {"cut white margins in mm", ManualOperation(OpCutWhite, L"", CutWhiteOpParams{0.0f, 1, 2.0f, 1.0f, 3.0f, 0.5f}),
         margins, 24, [](CImageProcessor& q) { q.CutWhiteMarginsColor(1, 10, 15, 5, 2, 0.0f); }},
        {"cut white margins in pixels, grey",
         ManualOperation(OpCutWhite, L"", CutWhiteOpParams{0.0f, 0, 4.9f, 3.2f, 7.7f, 1.0f}), margins, 8,
         [](CImageProcessor& q) { q.CutWhiteMarginsGray(1, 4, 7, 3, 1, 0.0f); }},
        {"black board", ManualOperation(OpRmBlackBoard, L"", RmBlackBoardOpParams{5, 10, 0}), board, 24,
         [](CImageProcessor& q) {
             cleanup::BlackBoardRecord r;
             r.board = 1;
             r.eraseRadius = 5;
             r.band = 10;
             q.RemoveBlackBoardColor(r);
         }},
        {"stains", ManualOperation(OpRmStains, L"", RmStainsOpParams{4.0f, 160, 1, 0}), stains, 24,
         [](CImageProcessor& q) {
             StainBorderParams s;
             s.page.grey = q.greyImage.get();
             s.page.colour = q.colourImage.get();
             s.page.bitsPerPixel = 24;
             s.page.width = q.width;
             s.page.height = q.height;
             s.threshold = 160;
             s.stains = 1;
             s.stainArea = 4.0f;
             s.page.dpi = q.dpiX;
             s.mark = 0;
             q.stainBorderRemover.Run(s);
         }},
        {"binding holes", ManualOperation(OpBindHole, L"", holeOptions), holes, 24,
         [&](CImageProcessor& q) { q.RemoveBindHolesColor(holeOptions, L""); }},
        {"auto contrast", ManualOperation(OpAutoContrast, L"", AutoContrastOpParams{1.0f, 2.0f}), tinted, 24,
         [](CImageProcessor& q) { tone::AutoContrastColor(q.colourImage.get(), q.width, q.height, 1.0f, 2.0f); }},
        {"auto contrast, grey", ManualOperation(OpAutoContrast, L"", AutoContrastOpParams{1.0f, 2.0f}), tinted, 8,
         [](CImageProcessor& q) { tone::AutoContrastGray(q.greyImage.get(), q.width, q.height, 1.0f, 2.0f); }},
    };
    for (TableCase& c : cases) {
        SCOPED_TRACE(c.what);
        Page page = c.page();
        if (c.depth == 8) page = synth::ToGrey(page);
        CImageProcessor p;
        Prepare(p, page, c.depth);
        p.RunManualOperation(c.op);
        const Page got = Fetch(p);
        EXPECT_FALSE(SamePixels(got, AsColour(page))) << "visibly changed";

        CImageProcessor q;
        Prepare(q, page, c.depth);
        c.direct(q);
        EXPECT_TRUE(SamePixels(got, Expand(q.result, q.resultWidth, q.resultHeight, c.depth)));
    }
}

// A cut by background colour needs a colour page: a grey one stays as it is.
TEST_F(ManualEntryPoints, CutByBackgroundColourLeavesAGreyPage) {
    const Page page = synth::ToGrey(TintedTextPage());
    cutting::CutByBkColorParams byColour;
    byColour.white = 1;
    CImageProcessor p;
    Prepare(p, page, 8);
    p.RunManualOperation(ManualOperation(OpCutByBkColor, L"", byColour));
    EXPECT_TRUE(SamePixels(Fetch(p), AsColour(page)));
}

}  // namespace
