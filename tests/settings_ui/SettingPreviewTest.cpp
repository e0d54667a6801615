// The settings dialog's preview: samples of every accepted bit depth and the
// refused ones, the preview's tone steps against values worked out by hand,
// the colour run against the batch run's remover on the same sample, the
// step buttons' limits, and what the timer shows when.
#include <QImage>
#include <QWidget>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "SettingDlgFixture.h"
#include "image/Raster.h"
#include "platform/core/Strings.h"
#include "processing/BkColorRemover.h"
#include "processing/PixelMath.h"
#include "support/ImageFiles.h"
#include "support/TempDir.h"

namespace {

using PS = ProcessSetting;
const std::wstring kRefusal = L"图片格式不对。请打开正确的JPG或TIF, TIFF, PNG图片.";

std::uint8_t Grey299(std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return static_cast<std::uint8_t>(0.299 * r + 0.587 * g + 0.114 * b);
}

// The expected grey source of a picture (bottom-up rows padded to four).
std::vector<std::uint8_t> ExpectedGrey(const testimg::Picture& p, bool oneBit) {
    const std::size_t stride = px::Stride8(p.width);
    std::vector<std::uint8_t> out(stride * p.height, 0);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            std::uint8_t v;
            if (oneBit)
                v = p.at(x, y) ? 255 : 0;
            else if (p.channels == 1)
                v = p.at(x, y);
            else
                v = Grey299(p.at(x, y, 0), p.at(x, y, 1), p.at(x, y, 2));
            out[(p.height - 1 - y) * stride + x] = v;
        }
    return out;
}

// A warm-paper page with dark strokes and a red mark: the remover whitens
// the paper, keeps or greys the mark.
testimg::Picture SamplePage(int w, int h) {
    testimg::Picture p(w, h, 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t r = 236, g = 226, b = 190;
            if ((y / 6) % 3 == 0 && x % 17 < 12) r = g = b = 40;
            const int dx = x - w / 2, dy = y - h / 2;
            if (dx * dx + dy * dy < (w / 6) * (w / 6)) r = 180, g = 110, b = 100;
            p.at(x, y, 0) = r;
            p.at(x, y, 1) = g;
            p.at(x, y, 2) = b;
        }
    return p;
}

// The batch run's remover on `page` (a colour picture in reading order) with
// the values of 【１】 the preview takes, keep mode "红色像素不去色": the
// 24-bit rows (bottom-up B, G, R) it leaves.
std::vector<std::uint8_t> RemoverRun(const testimg::Picture& page, int dpi, int brightness, int contrast, int delta,
                                     float saturation) {
    const std::size_t w = page.width, h = page.height, c24 = px::Stride24(w), g8 = px::Stride8(w);
    std::vector<std::uint8_t> colour(c24 * h, 0), grey(g8 * h, 0);
    for (std::size_t y = 0; y < h; ++y)
        for (std::size_t x = 0; x < w; ++x) {
            const int py = static_cast<int>(h - 1 - y), px_ = static_cast<int>(x);
            std::uint8_t* c = &colour[y * c24 + 3 * x];
            c[0] = page.at(px_, py, 2);
            c[1] = page.at(px_, py, 1);
            c[2] = page.at(px_, py, 0);
            grey[y * g8 + x] = Grey299(c[2], c[1], c[0]);
        }
    BkColorParams p;
    p.page.grey = grey.data();
    p.page.colour = colour.data();
    p.page.width = page.width;
    p.page.height = page.height;
    p.page.bitsPerPixel = 24;
    p.page.dpi = dpi;
    p.brightness = brightness;
    p.contrast = contrast;
    p.darkening = 50;
    p.colorDelta = delta;
    p.saturation = saturation;
    p.keepRadius = 0.1f;
    p.keepMode = KeepMode::kKeepRed;
    p.keepSourceColours = false;
    p.rebuildMask = true;
    CBkColorRemover remover;
    EXPECT_TRUE(remover.Run(p));
    return colour;
}

class SettingPreviewTest : public SettingDlgTest {
protected:
    // Opens the preview view and loads `path` through "打开预览".
    void OpenSample(SettingDrivers& d, const std::wstring& path) {
        ASSERT_TRUE(d.page1.Click(IDC_PREVIEW_VIEW));
        dialogs->AnswerFile(path);
        ASSERT_TRUE(d.page1.Click(IDC_OPEN_PREVIEW));
    }
    // Waits for the timer to show a run.
    bool WaitForRun(CSettingDlg& s) {
        return PumpUntil([&] { return s.Preview().changed == 0; }, std::chrono::seconds(5));
    }
    testdata::TempDir dir;
};

}  // namespace

TEST_F(SettingPreviewTest, SamplesOfEveryAcceptedDepthLoadAndFourBitsIsRefused) {
    const testimg::Picture rgb = testimg::Pattern(23, 9, 3, 7);
    testimg::Picture rgba = testimg::Pattern(23, 9, 4, 8);
    const testimg::Picture grey = testimg::Pattern(23, 9, 1, 9);
    testimg::Picture bits(23, 9, 1);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 23; ++x) bits.at(x, y) = (x * 7 + y * 3) % 5 < 2;
    testimg::Picture nibbles(23, 9, 1);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 23; ++x) nibbles.at(x, y) = (x + y) % 16;
    std::vector<testimg::Rgb> palette16;
    for (int i = 0; i < 16; ++i)
        palette16.push_back({static_cast<std::uint8_t>(i * 16), static_cast<std::uint8_t>(255 - i * 16), 50});

    ASSERT_TRUE(testimg::WritePng(dir.file("rgb.png"), rgb, 2, 8, {}, 150));
    ASSERT_TRUE(testimg::WritePng(dir.file("rgba.PNG"), rgba, 6, 8));
    ASSERT_TRUE(testimg::WritePng(dir.file("grey.png"), grey, 0, 8));
    ASSERT_TRUE(testimg::WritePng(dir.file("bits.png"), bits, 0, 1));
    testimg::TiffPage nibblePage(nibbles, 4, 3, 1);
    nibblePage.palette = palette16;
    ASSERT_TRUE(testimg::WriteTiff(dir.file("nibbles.tif"), {nibblePage}));
    testimg::TiffPage rgbTiff(rgb, 8, 2, 1);
    ASSERT_TRUE(testimg::WriteTiff(dir.file("rgb.tiff"), {rgbTiff}));

    struct Case {
        const char* file;
        bool accepted;
        int depth;
        const testimg::Picture* picture;  // the expected grey source's picture
        bool oneBit;
    };
    const Case cases[] = {
        {"rgb.png", true, 24, &rgb, false},   {"rgba.PNG", true, 24, &rgba, false},
        {"grey.png", true, 8, &grey, false},  {"bits.png", true, 8, &bits, true},
        {"rgb.tiff", true, 24, &rgb, false},  {"nibbles.tif", false, 0, nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        dialogs->Clear();
        dlg = std::make_unique<CSettingDlg>();
        Open([&](SettingDrivers& d) {
            OpenSample(d, dir.wfile(FromUtf8(c.file)));
            const PreviewImage& p = d.dlg.Preview();
            if (!c.accepted) {
                EXPECT_EQ(dialogs->MessageTexts(), std::vector<std::wstring>{kRefusal});
                EXPECT_FALSE(p.HasGrey());
                return;
            }
            EXPECT_TRUE(dialogs->MessageTexts().empty());
            EXPECT_EQ(p.width, 23);
            EXPECT_EQ(p.height, 9);
            EXPECT_EQ(p.depth, c.depth);
            EXPECT_EQ(p.HasColour(), c.depth == 24);
            EXPECT_EQ(p.greySource, ExpectedGrey(*c.picture, c.oneBit));
            if (c.depth == 24) {
                const std::size_t stride = px::Stride24(23);
                for (int y = 0; y < 9; ++y)
                    for (int x = 0; x < 23; ++x)
                        for (int ch = 0; ch < 3; ++ch)
                            ASSERT_EQ(p.colourSource[(8 - y) * stride + 3 * x + ch], c.picture->at(x, y, 2 - ch))
                                << x << "," << y;
            }
            ASSERT_TRUE(WaitForRun(d.dlg));
            EXPECT_EQ(d.dlg.PreviewPannel().ImageWidth(), 23);
            EXPECT_EQ(d.dlg.PreviewPannel().ImageHeight(), 9);
        });
    }
}

TEST_F(SettingPreviewTest, AFileThatCannotBeReadKeepsTheSampleAndAnUnsupportedOneDropsIt) {
    const testimg::Picture grey = testimg::Pattern(8, 8, 1, 3);
    ASSERT_TRUE(testimg::WritePng(dir.file("grey.png"), grey, 0, 8));
    testimg::TiffPage nibblePage(testimg::Picture(8, 8, 1), 4, 1, 1);
    ASSERT_TRUE(testimg::WriteTiff(dir.file("four.tif"), {nibblePage}));
    Open([&](SettingDrivers& d) {
        OpenSample(d, dir.wfile(L"grey.png"));
        ASSERT_TRUE(d.dlg.Preview().HasGrey());
        dialogs->AnswerFile(dir.wfile(L"missing.png"));
        ASSERT_TRUE(d.page1.Click(IDC_OPEN_PREVIEW));
        EXPECT_TRUE(d.dlg.Preview().HasGrey()) << "a missing file leaves the sample";
        dialogs->AnswerFile(dir.wfile(L"four.tif"));
        ASSERT_TRUE(d.page1.Click(IDC_OPEN_PREVIEW));
        EXPECT_FALSE(d.dlg.Preview().HasGrey());
        // Cancel in the file dialog does nothing.
        dialogs->AnswerFile(std::nullopt);
        ASSERT_TRUE(d.page1.Click(IDC_OPEN_PREVIEW));
    });
    EXPECT_EQ(dialogs->MessageTexts(), (std::vector<std::wstring>{kRefusal, kRefusal}));
    const FileDialogRequest request = dialogs->Shown().front().file;  // Shown() gives a copy
    EXPECT_TRUE(request.open);
    EXPECT_EQ(request.defaultExt, L"jpg");
    EXPECT_EQ(request.flags, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT);
}

// The colour run is the batch run's remover on the sample with the dialog's
// current values; the view shows exactly its result.
TEST_F(SettingPreviewTest, ColourPreviewEqualsTheRemoversOwnRun) {
    const testimg::Picture page = SamplePage(120, 90);
    ASSERT_TRUE(testimg::WritePng(dir.file("page.png"), page, 2, 8, {}, 200));
    Open([&](SettingDrivers& d) {
        OpenSample(d, dir.wfile(L"page.png"));
        ASSERT_TRUE(d.page1.Click(IDC_COLOUR_STRATEGY));
        ASSERT_TRUE(d.page1.Click(IDC_KEEP_RED));
        ASSERT_TRUE(d.page1.Type(IDC_COLOUR_DELTA, L"30"));
        ASSERT_TRUE(d.page1.Type(IDC_SATURATION, L"0.2"));
        ASSERT_TRUE(d.page1.Slide(IDC_BRIGHT_SLIDER, 60));
        ASSERT_TRUE(d.page1.Slide(IDC_CONTRAST_SLIDER, 40));
        ASSERT_TRUE(WaitForRun(d.dlg));

        // The same run done here, from the file and the values typed.
        const std::vector<std::uint8_t> colour = RemoverRun(page, 200, 60, 40, 30, 0.2f);
        EXPECT_EQ(d.dlg.Preview().colourWorking, colour);
        EXPECT_EQ(d.dlg.ShownPreview(), colour);
        // The run changed the page: the paper is whiter than the source.
        EXPECT_NE(colour, d.dlg.Preview().colourSource);
    });
    // The preview never stores the slider values.
    EXPECT_EQ(PS::rmbkcolor.bright, 40);
    EXPECT_EQ(PS::rmbkcolor.contrast, 50);
}

TEST_F(SettingPreviewTest, GreyToneStepsMatchValuesWorkedOutByHand) {
    // Four pixels in a padded row: mean (0 + 100 + 200 + 50) / 4 = 87.
    struct Case {
        const char* name;
        int brightness, contrast;
        std::vector<std::uint8_t> expected;
    };
    const Case cases[] = {
        {"identity", 0, 0, {0, 100, 200, 50}},
        {"brighter", 60, 0, {60, 160, 255, 110}},
        {"darker", -60, 0, {0, 40, 140, 0}},
        {"threshold at the mean", 0, 255, {0, 255, 255, 0}},
        {"flattened", 0, -255, {87, 88, 88, 87}},
        // f = 1 / (1 - 100/255) - 1 = 0.6452: 100 + int(13 * f + 0.5) = 108.
        {"contrast 100", 0, 100, {0, 108, 255, 27}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> bits = {0, 100, 200, 50, 0, 100, 200, 50};
        AdjustPreviewBrightness(bits.data(), 4, 1, c.brightness);
        AdjustPreviewContrast(bits.data(), 4, 1, c.contrast);
        EXPECT_EQ(std::vector<std::uint8_t>(bits.begin(), bits.begin() + 4), c.expected);
        EXPECT_EQ(std::vector<std::uint8_t>(bits.begin() + 4, bits.end()), (std::vector<std::uint8_t>{0, 100, 200, 50}))
            << "a second row of the same pixels is not part of a 4 x 1 image";
    }
    // Darkening: the curve's middle point (105, 105 - d) limited to 20.
    const std::pair<int, int> middles[] = {{0, 105}, {30, 75}, {80, 25}, {200, 20}};
    for (auto [darkening, middle] : middles) {
        std::vector<std::uint8_t> ramp(256);
        for (int i = 0; i < 256; ++i) ramp[i] = static_cast<std::uint8_t>(i);
        CToneCurve curve;
        DarkenPreview(curve, ramp.data(), 256, 1, darkening);
        EXPECT_EQ(ramp[105], middle) << darkening;
        EXPECT_EQ(ramp[0], 0);
        EXPECT_EQ(ramp[255], 255);
        // Through (105, 105) the curve is a straight line, but the table is
        // taken from the curve's samples at steps of 1/86: some levels land
        // up to two above their own value (measured).
        if (darkening == 0) {
            for (int i = 0; i < 256; ++i) ASSERT_TRUE(ramp[i] >= i && ramp[i] <= i + 2) << i;
        }
        for (int i = 1; i < 256; ++i) ASSERT_GE(ramp[i], ramp[i - 1]) << "the table rises";
    }
}

TEST_F(SettingPreviewTest, GreyPreviewOfAColourSampleSkipsTheRemover) {
    const testimg::Picture page = SamplePage(40, 30);
    ASSERT_TRUE(testimg::WritePng(dir.file("page.png"), page, 2, 8));
    Open([&](SettingDrivers& d) {
        OpenSample(d, dir.wfile(L"page.png"));
        ASSERT_TRUE(d.page1.Click(IDC_GREY_PREVIEW));
        ASSERT_TRUE(d.page1.Click(IDC_ORIGINAL_TONES));
        ASSERT_TRUE(WaitForRun(d.dlg));
        // Tones 0: the shown picture is the grey source through the
        // darkening table of strength 0, in all three channels.
        const PreviewImage& p = d.dlg.Preview();
        std::vector<std::uint8_t> grey = p.greySource;
        CToneCurve curve;
        DarkenPreview(curve, grey.data(), 40, 30, 0);
        const std::size_t c24 = px::Stride24(40), g8 = px::Stride8(40);
        const std::vector<std::uint8_t>& shown = d.dlg.ShownPreview();
        ASSERT_EQ(shown.size(), c24 * 30);
        for (std::size_t y = 0; y < 30; ++y)
            for (std::size_t x = 0; x < 40; ++x)
                for (int ch = 0; ch < 3; ++ch) ASSERT_EQ(shown[y * c24 + 3 * x + ch], grey[y * g8 + x]);
        EXPECT_EQ(p.colourWorking, p.colourSource) << "the remover did not run";
    });
}

TEST_F(SettingPreviewTest, StepButtonsAndOriginalKeepTheirLimitsAndTheStore) {
    Open([&](SettingDrivers& d) {
        ASSERT_TRUE(d.page1.Click(IDC_PREVIEW_VIEW));
        ASSERT_TRUE(d.page1.Slide(IDC_BRIGHT_SLIDER, 200));
        ASSERT_TRUE(d.page1.Click(IDC_BRIGHT_UP));
        EXPECT_EQ(d.dlg.Preview().brightness, 150);
        EXPECT_EQ(d.page1.Text(IDC_BRIGHT_VALUE), L"150");
        ASSERT_TRUE(d.page1.Slide(IDC_CONTRAST_SLIDER, -50));
        ASSERT_TRUE(d.page1.Click(IDC_CONTRAST_DOWN));
        EXPECT_EQ(d.dlg.Preview().contrast, -50);
        ASSERT_TRUE(d.page1.Click(IDC_CONTRAST_UP));
        EXPECT_EQ(d.page1.Text(IDC_CONTRAST_VALUE), L"-49");
        ASSERT_TRUE(d.page1.Slide(IDC_CURVE_SLIDER, 80));
        ASSERT_TRUE(d.page1.Click(IDC_CURVE_UP));
        EXPECT_EQ(d.dlg.Preview().darkening, 80);
        ASSERT_TRUE(d.page1.Click(IDC_CURVE_DOWN));
        EXPECT_EQ(d.dlg.Preview().darkening, 79);
        EXPECT_EQ(d.page1.Text(IDC_CURVE_VALUE), L"79");

        ASSERT_TRUE(d.page1.Click(IDC_ORIGINAL_TONES));
        for (int id : {IDC_BRIGHT_VALUE, IDC_CONTRAST_VALUE, IDC_CURVE_VALUE}) EXPECT_EQ(d.page1.Text(id), L"0");
        EXPECT_EQ(d.dlg.Preview().brightness, 0);
        EXPECT_EQ(PS::rmbkcolor.bright, 40) << "the store keeps its value until the save";
        ASSERT_TRUE(d.page1.Click(IDC_SAVE_SETTINGS_BUTTON));
    });
    EXPECT_EQ(PS::rmbkcolor.bright, 0);
    EXPECT_EQ(PS::rmbkcolor.contrast, 0);
    EXPECT_EQ(PS::rmbkcolor.curve, 0);
}

// "−" is one step down from any value, at least -50 (only "+" stops at
// 150): from 200 it gives 199, not 150.
TEST_F(SettingPreviewTest, StepDownGoesOneStepFromAnyValue) {
    struct Case {
        int slider, label, button;
        int from, to;
    };
    const Case cases[] = {
        {IDC_BRIGHT_SLIDER, IDC_BRIGHT_VALUE, IDC_BRIGHT_DOWN, 200, 199},
        {IDC_BRIGHT_SLIDER, IDC_BRIGHT_VALUE, IDC_BRIGHT_DOWN, 255, 254},
        {IDC_BRIGHT_SLIDER, IDC_BRIGHT_VALUE, IDC_BRIGHT_DOWN, 151, 150},
        {IDC_BRIGHT_SLIDER, IDC_BRIGHT_VALUE, IDC_BRIGHT_DOWN, -50, -50},
        {IDC_BRIGHT_SLIDER, IDC_BRIGHT_VALUE, IDC_BRIGHT_UP, 200, 150},
        {IDC_CONTRAST_SLIDER, IDC_CONTRAST_VALUE, IDC_CONTRAST_DOWN, 200, 199},
        {IDC_CONTRAST_SLIDER, IDC_CONTRAST_VALUE, IDC_CONTRAST_DOWN, 255, 254},
        {IDC_CONTRAST_SLIDER, IDC_CONTRAST_VALUE, IDC_CONTRAST_DOWN, -49, -50},
        {IDC_CONTRAST_SLIDER, IDC_CONTRAST_VALUE, IDC_CONTRAST_UP, 151, 150},
    };
    Open([&](SettingDrivers& d) {
        ASSERT_TRUE(d.page1.Click(IDC_PREVIEW_VIEW));
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << "slider " << c.slider << " from " << c.from << " button " << c.button);
            ASSERT_TRUE(d.page1.Slide(c.slider, c.from));
            ASSERT_TRUE(d.page1.Click(c.button));
            const PreviewImage& p = d.dlg.Preview();
            EXPECT_EQ(c.slider == IDC_BRIGHT_SLIDER ? p.brightness : p.contrast, c.to);
            EXPECT_EQ(d.page1.Text(c.label), std::to_wstring(c.to));
            EXPECT_EQ(dynamic_cast<CSliderCtrl*>(d.dlg.GetDlgItem(c.slider))->GetPos(), c.to);
        }
    });
}

// The colour run takes the colour difference typed in its edit clamped to 1
// to 100: 0 and below run as 1, 101 and any larger number as 100. The page
// has colours right at the ends (the largest channel 1 and 101 above the
// middle one, and neutral grey), so a difference outside the range would
// keep other pixels' colour.
TEST_F(SettingPreviewTest, ColourDifferenceIsClampedToOneToHundred) {
    testimg::Picture page(60, 40, 3);
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 60; ++x) {
            const std::uint8_t bands[4][3] = {{236, 226, 190}, {200, 199, 100}, {255, 154, 0}, {120, 120, 120}};
            const std::uint8_t* c = bands[(x / 8) % 4];
            for (int ch = 0; ch < 3; ++ch) page.at(x, y, ch) = c[ch];
        }
    ASSERT_TRUE(testimg::WritePng(dir.file("page.png"), page, 2, 8, {}, 200));
    struct Case {
        const wchar_t* typed;
        int unclamped;
        int runsAs;
    };
    const Case cases[] = {{L"0", 0, 1},       {L"-7", -7, 1},  {L"101", 101, 100}, {L"99999999999", INT_MAX, 100},
                          {L"abc", 0, 1},     {L"55", 55, 55}};
    Open([&](SettingDrivers& d) {
        OpenSample(d, dir.wfile(L"page.png"));
        ASSERT_TRUE(d.page1.Click(IDC_COLOUR_STRATEGY));
        ASSERT_TRUE(d.page1.Click(IDC_KEEP_RED));
        ASSERT_TRUE(d.page1.Type(IDC_SATURATION, L"0"));
        ASSERT_TRUE(WaitForRun(d.dlg));
        const PreviewImage& p = d.dlg.Preview();
        for (const Case& c : cases) {
            SCOPED_TRACE(ToUtf8(c.typed));
            const std::vector<std::uint8_t> expected = RemoverRun(page, 200, p.brightness, p.contrast, c.runsAs, 0.0f);
            if (c.unclamped != c.runsAs) {
                ASSERT_NE(RemoverRun(page, 200, p.brightness, p.contrast, c.unclamped, 0.0f), expected)
                    << "the page tells the difference typed from the one used";
            }
            ASSERT_TRUE(d.page1.Type(IDC_COLOUR_DELTA, c.typed));
            ASSERT_TRUE(d.page1.Click(IDC_REFRESH_PREVIEW));
            ASSERT_TRUE(WaitForRun(d.dlg));
            EXPECT_EQ(d.dlg.ShownPreview(), expected);
        }
    });
}

TEST_F(SettingPreviewTest, TypedColourDeltaWaitsForASliderOrRefresh) {
    const testimg::Picture page = SamplePage(60, 40);
    ASSERT_TRUE(testimg::WritePng(dir.file("page.png"), page, 2, 8));
    Open([&](SettingDrivers& d) {
        OpenSample(d, dir.wfile(L"page.png"));
        ASSERT_TRUE(d.page1.Click(IDC_COLOUR_STRATEGY));
        ASSERT_TRUE(d.page1.Click(IDC_KEEP_RED));
        ASSERT_TRUE(WaitForRun(d.dlg));
        const std::vector<std::uint8_t> first = d.dlg.ShownPreview();
        // A delta the mark's red (70 above green) does not reach: the mark
        // turns grey, but only at the next run.
        ASSERT_TRUE(d.page1.Type(IDC_COLOUR_DELTA, L"100"));
        EXPECT_EQ(d.dlg.Preview().changed, 0);
        EXPECT_EQ(d.dlg.Preview().rebuildMask, 1);
        PumpUntil([] { return false; }, std::chrono::milliseconds(400));
        EXPECT_EQ(d.dlg.ShownPreview(), first);
        ASSERT_TRUE(d.page1.Click(IDC_REFRESH_PREVIEW));
        ASSERT_TRUE(WaitForRun(d.dlg));
        EXPECT_NE(d.dlg.ShownPreview(), first);
    });
}

// The group box of a switched-on step draws an orange frame and a green
// caption; a switched-off one a light grey frame and a black caption.
TEST_F(SettingDlgTest, GroupBoxesShowTheirStepsState) {
    PS::rmbkcolor.on = 1;
    PS::autocontrast.on = 0;
    Open([&](SettingDrivers& d) {
        auto grab = [&](int id) { return d.dlg.GetDlgItem(id)->Widget()->grab().toImage(); };
        auto hasColour = [](const QImage& img, QColor c, int top, int bottom) {
            for (int y = top; y < bottom && y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x)
                    if (img.pixelColor(x, y) == c) return true;
            return false;
        };
        for (bool on : {true, false}) {
            SCOPED_TRACE(on);
            const QImage img = grab(on ? IDC_GROUP_RMBK : IDC_GROUP_AUTOCONTRAST);
            ASSERT_FALSE(img.isNull());
            const QColor frame = on ? QColor(200, 127, 0) : QColor(220, 220, 220);
            const QColor text = on ? QColor(0, 180, 0) : QColor(0, 0, 0);
            // Left edge, below the caption; bottom edge.
            EXPECT_EQ(img.pixelColor(0, img.height() / 2), frame);
            EXPECT_EQ(img.pixelColor(img.width() / 2, img.height() - 1), frame);
            EXPECT_EQ(img.pixelColor(img.width() - 1, img.height() / 2), frame);
            // The caption's strokes at the top.
            EXPECT_TRUE(hasColour(img, text, 0, 14));
            EXPECT_FALSE(hasColour(img, on ? QColor(0, 0, 0) : QColor(0, 180, 0), 0, 14));
        }
        // Clicking the step's check turns its box on.
        ASSERT_TRUE(d.page1.Click(IDC_AUTOCONTRAST_ON));
        EXPECT_TRUE(d.dlg.GroupBox(1).IsHighlighted());
        EXPECT_EQ(grab(IDC_GROUP_AUTOCONTRAST).pixelColor(0, 30), QColor(200, 127, 0));
        d.GoTo(2);
        EXPECT_FALSE(d.dlg.Page3().GroupBox(1).IsHighlighted());
        ASSERT_TRUE(d.page3.Click(IDC_P3_DPI_ON));
        // No click rule: the box follows the next time the page is shown.
        EXPECT_FALSE(d.dlg.Page3().GroupBox(1).IsHighlighted());
        d.GoTo(0);
        d.GoTo(2);
        EXPECT_TRUE(d.dlg.Page3().GroupBox(1).IsHighlighted());
    });
}

// Pictures of the three pages and of the preview with a sample, for the
// documentation (TESSAVAN_SCREENSHOT_DIR, else a temporary folder): each is
// the whole window, and the preview shows the sample's whitened paper.
TEST_F(SettingPreviewTest, PicturesOfThePagesAndThePreview) {
    const testimg::Picture page = SamplePage(480, 640);
    ASSERT_TRUE(testimg::WritePng(dir.file("page.png"), page, 2, 8, {}, 150));
    const char* env = std::getenv("TESSAVAN_SCREENSHOT_DIR");
    const std::string folder = env ? std::string(env) : dir.path();
    Open([&](SettingDrivers& d) {
        QWidget* window = d.dlg.Widget()->window();
        auto save = [&](const std::string& name) {
            PumpUntil([] { return false; }, std::chrono::milliseconds(50));
            const std::string file = folder + "/" + name;
            ASSERT_TRUE(window->grab().save(QString::fromStdString(file), "PNG"));
            const QImage shot(QString::fromStdString(file));
            EXPECT_EQ(shot.size(), window->size());
        };
        save("settings-dialog.png");
        d.GoTo(1);
        save("settings-dialog-page2.png");
        d.GoTo(2);
        save("settings-dialog-page3.png");
        OpenSample(d, dir.wfile(L"page.png"));
        ASSERT_TRUE(WaitForRun(d.dlg));
        ASSERT_TRUE(d.page1.Click(IDC_FIT_VIEW));
        save("settings-preview.png");
        // The view's middle shows the middle of the preview's picture (the
        // uniform mark), not the empty view's checkerboard.
        QWidget* view = d.dlg.PreviewPannel().Widget();
        const QImage shown = view->grab().toImage();
        const QColor middle = shown.pixelColor(shown.width() / 2, shown.height() / 2);
        const std::vector<std::uint8_t>& bits = d.dlg.ShownPreview();
        const std::size_t at = 320 * px::Stride24(480) + 3 * 240;
        EXPECT_EQ(middle, QColor(bits[at + 2], bits[at + 1], bits[at]));
    });
}

// Restore defaults brings the sliders back and refreshes the preview with a
// new colour mask; the sample stays loaded across closing and reopening.
TEST_F(SettingPreviewTest, RestoreDefaultsRefreshesAndTheSampleOutlivesTheWindow) {
    const testimg::Picture page = SamplePage(60, 40);
    ASSERT_TRUE(testimg::WritePng(dir.file("page.png"), page, 2, 8));
    Open([&](SettingDrivers& d) {
        OpenSample(d, dir.wfile(L"page.png"));
        ASSERT_TRUE(WaitForRun(d.dlg));
        ASSERT_TRUE(d.page1.Slide(IDC_BRIGHT_SLIDER, 120));
        ASSERT_TRUE(WaitForRun(d.dlg));
        ASSERT_TRUE(d.page1.Click(IDC_RESTORE_DEFAULTS));
        EXPECT_EQ(d.dlg.Preview().changed, 1);
        EXPECT_EQ(d.dlg.Preview().rebuildMask, 1);
        EXPECT_EQ(d.dlg.Preview().brightness, 40);
        EXPECT_EQ(d.page1.Text(IDC_BRIGHT_VALUE), L"40");
        EXPECT_EQ(d.dlg.View(), 1) << "the preview view stays";
    });
    Open([&](SettingDrivers& d) {
        EXPECT_TRUE(d.dlg.Preview().HasColour());
        ASSERT_TRUE(WaitForRun(d.dlg));
        EXPECT_EQ(d.dlg.ShownPreview().size(), px::Stride24(60) * 40);
    });
}
