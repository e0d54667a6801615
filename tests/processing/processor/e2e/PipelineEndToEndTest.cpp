// Whole files through the default pipeline (the main window's two quick
// steps on: background removal and deskew), read back with the image
// libraries: format, size, depth, resolution and quality of what was saved.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tiffio.h>
#include <vector>

#include "../PipelinePages.h"
#include "../ProcessorTestUtil.h"
#include "../../SkewTestPages.h"
#include "platform/core/MessagePump.h"
#include "platform/core/Strings.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/processor/ProcessOneFile.h"
#include "processing/Rotation.h"
#include "support/ImageFiles.h"
#include "support/RecordingWindow.h"
#include "support/SyntheticPages.h"
#include "support/TempDir.h"

using testdata::TempDir;
using testimg::Picture;
namespace fs = std::filesystem;

namespace {

constexpr int kDefaultQuickSteps = 3;  // deskew and background removal checked

// A synthetic page in reading order: RGB, grey, or bits (1 = dark).
Picture ToPicture(const synth::Page& page, int channels, bool bits = false) {
    Picture out(page.width, page.height, channels);
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x) {
            const synth::Colour c = page.At(x, page.height - 1 - y);
            if (bits) {
                out.at(x, y) = page.GreyAt(x, page.height - 1 - y) < 128 ? 1 : 0;
            } else if (channels == 1) {
                out.at(x, y) = page.GreyAt(x, page.height - 1 - y);
            } else {
                out.at(x, y, 0) = c.r;
                out.at(x, y, 1) = c.g;
                out.at(x, y, 2) = c.b;
            }
        }
    return out;
}

// A text page on tinted paper, turned by a small skew.
synth::Page ScanLikePage(double skew, int bpp, std::uint64_t seed) {
    skewpages::TextPageSpec spec;
    spec.angle = skew;
    spec.seed = seed;
    synth::Page grey = skewpages::TextPage(spec);
    if (bpp == 8) return grey;
    synth::Page colour = skewpages::ToColour(grey);
    for (int y = 0; y < colour.height; ++y)
        for (int x = 0; x < colour.width; ++x)
            if (colour.At(x, y) == synth::kWhite) colour.Set(x, y, synth::kYellowedPaper);
    return colour;
}

// The size a page of w x h has after the deskew step turned it back by the
// angle found (no keep size).
std::pair<int, int> DeskewedSize(const CImageProcessor& p, int w, int h) {
    int cw = 0, ch = 0;
    EXPECT_TRUE(rotation::CanvasSize(-static_cast<double>(p.skewSearcher.skewAngle), w, h, &cw, &ch));
    return {cw, ch};
}

// Mean of the picture's light pixels (the paper) in a band at the top.
double PaperLevel(const Picture& rgb) {
    double sum = 0;
    int n = 0;
    for (int y = 5; y < 60; ++y)
        for (int x = 5; x < rgb.width - 5; ++x) {
            const int g = (rgb.at(x, y, 0) + rgb.at(x, y, 1) + rgb.at(x, y, 2)) / 3;
            if (g < 150) continue;
            sum += g;
            ++n;
        }
    return n ? sum / n : 0;
}

class PipelineEndToEnd : public proctest::SettingsReset {
protected:
    TempDir tmp;
    std::wstring out() const { return tmp.wfile(L"out"); }
    OneFileOutcome Run(CImageProcessor& p, const std::string& src, const std::wstring& name,
                       int quickSteps = kDefaultQuickSteps) {
        return ProcessOneFile(p, FromUtf8(src), out(), name, RUN_DESKEW_METHOD_0, quickSteps);
    }
};

}  // namespace

TEST_F(PipelineEndToEnd, ColourJpegInColourJpegOut) {
    const synth::Page page = ScanLikePage(1.5, 24, 3);
    const std::string src = tmp.file("scan.jpg");
    ASSERT_TRUE(testimg::WriteJpeg(src, ToPicture(page, 3), 92, 150));
    CImageProcessor p;
    const OneFileOutcome o = Run(p, src, L"scan.jpg");
    ASSERT_TRUE(o.processed);
    ASSERT_TRUE(o.saved);
    EXPECT_NEAR(p.skewSearcher.skewAngle, 1.5, 0.05 + 1e-4);

    const testimg::JpegInfo info = testimg::ReadJpeg(tmp.file("out/scan.jpg"));
    ASSERT_TRUE(info.ok);
    const auto [w, h] = DeskewedSize(p, page.width, page.height);
    EXPECT_EQ(info.width, w);
    EXPECT_EQ(info.height, h);
    EXPECT_EQ(info.components, 3);
    EXPECT_EQ(info.densityUnit, 1);
    EXPECT_EQ(info.xDensity, 150);
    EXPECT_EQ(info.yDensity, 150);
    EXPECT_EQ(info.luminanceTable, testimg::LuminanceTableForQuality(85));
    // Background removal lightened the tinted paper (235, 225, 190: a mean
    // level of about 217 before, about 245 after).
    EXPECT_LT(PaperLevel(ToPicture(page, 3)), 220.0);
    EXPECT_GT(PaperLevel(info.pixels), 240.0);
}

TEST_F(PipelineEndToEnd, GreyPngInGreyPngOut) {
    const synth::Page page = ScanLikePage(-2.0, 8, 4);
    const std::string src = tmp.file("scan.png");
    ASSERT_TRUE(testimg::WritePng(src, ToPicture(page, 1), 0, 8, {}, 200));
    CImageProcessor p;
    const OneFileOutcome o = Run(p, src, L"scan.png");
    ASSERT_TRUE(o.saved);
    EXPECT_NEAR(p.skewSearcher.skewAngle, -2.0, 0.05 + 1e-4);

    const testimg::PngInfo info = testimg::ReadPng(tmp.file("out/scan.png"));
    ASSERT_TRUE(info.ok);
    const auto [w, h] = DeskewedSize(p, page.width, page.height);
    EXPECT_EQ(info.width, w);
    EXPECT_EQ(info.height, h);
    EXPECT_EQ(info.colorType, 0);  // grey
    EXPECT_EQ(info.bitDepth, 8);
    ASSERT_TRUE(info.hasPhys);
    EXPECT_EQ(info.physUnit, 1);
    EXPECT_EQ(static_cast<int>(info.physX * 0.0254 + 0.5), 200);
    EXPECT_EQ(static_cast<int>(info.physY * 0.0254 + 0.5), 200);
}

TEST_F(PipelineEndToEnd, OneBitFaxTiffStaysOneBitFax) {
    const synth::Page page = ScanLikePage(0.8, 8, 5);
    testimg::TiffPage tp(ToPicture(page, 1, true), 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4);
    tp.dpi = 300;
    const std::string src = tmp.file("fax.tif");
    ASSERT_TRUE(testimg::WriteTiff(src, {tp}));
    CImageProcessor p;
    const OneFileOutcome o = Run(p, src, L"fax.tif");
    ASSERT_TRUE(o.saved);
    EXPECT_EQ(p.sourceDepth, 1);
    EXPECT_EQ(p.resultDepth, 1);
    EXPECT_NEAR(p.skewSearcher.skewAngle, 0.8, 0.05 + 1e-4);

    const auto pages = testimg::ReadTiff(tmp.file("out/fax.tif"));
    ASSERT_EQ(pages.size(), 1u);
    const auto [w, h] = DeskewedSize(p, page.width, page.height);
    EXPECT_EQ(pages[0].width, w);
    EXPECT_EQ(pages[0].height, h);
    EXPECT_EQ(pages[0].bitsPerSample * pages[0].samplesPerPixel, 1);
    EXPECT_EQ(pages[0].compression, COMPRESSION_CCITTFAX4);
    EXPECT_FLOAT_EQ(pages[0].xResolution, 300.0f);
    EXPECT_FLOAT_EQ(pages[0].yResolution, 300.0f);
}

// A three-page file is announced once, after its last page, with one page
// file per page waiting; saving assembles them into one file whose pages
// equal the same pages processed one by one.
TEST_F(PipelineEndToEnd, AThreePageTiffIsFinishedOnceWithThreePages) {
    const synth::Page colour = ScanLikePage(1.0, 24, 6);
    const synth::Page grey = ScanLikePage(-1.0, 8, 7);
    const synth::Page bits = ScanLikePage(0.5, 8, 8);
    std::vector<testimg::TiffPage> spec = {
        {ToPicture(colour, 3), 8, PHOTOMETRIC_RGB, COMPRESSION_LZW},
        {ToPicture(grey, 1), 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW},
        {ToPicture(bits, 1, true), 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4},
    };
    for (auto& s : spec) s.dpi = 240;
    const std::string src = tmp.file("book.tif");
    ASSERT_TRUE(testimg::WriteTiff(src, spec));

    MessagePump pump;
    testdata::RecordingWindow window;
    SetMainWindowHandle(window.hwnd());
    CImageProcessor p;
    p.runType = RUN_DESKEW_METHOD_0;
    const std::wstring wsrc = FromUtf8(src), folder = out(), name = L"book.tif";
    ASSERT_TRUE(p.ReadFileBytes(wsrc.c_str()));
    ASSERT_TRUE(p.ProcessFile(wsrc, kDefaultQuickSteps, &folder, &name, 17, 1));
    pump.Pump();
    const auto got = window.received();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].message, WM_IMAGE_PROCESSED);
    EXPECT_EQ(got[0].wParam, reinterpret_cast<WPARAM>(&p));
    EXPECT_EQ(got[0].lParam, 17);
    EXPECT_EQ(p.pageCount, 3);
    EXPECT_EQ(p.currentPage, 2);
    const std::string pageFolder = tmp.file("out/book_tmpformultiframe");
    for (const char* f : {"0.tif", "1.tif", "2.tif"}) EXPECT_TRUE(fs::exists(pageFolder + "/" + f)) << f;
    SetMainWindowHandle(HWND());

    ASSERT_TRUE(p.SaveResult());
    EXPECT_FALSE(fs::exists(pageFolder));
    const auto pages = testimg::ReadTiff(tmp.file("out/book.tif"));
    ASSERT_EQ(pages.size(), 3u);

    // The same pages alone, each as a one-page file.
    const int depths[3] = {24, 8, 1};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const std::string one = tmp.file("page" + std::to_string(i) + ".tif");
        ASSERT_TRUE(testimg::WriteTiff(one, {spec[i]}));
        CImageProcessor single;
        ASSERT_TRUE(Run(single, one, FromUtf8("page" + std::to_string(i) + ".tif")).saved);
        const auto alone = testimg::ReadTiff(tmp.file("out/page" + std::to_string(i) + ".tif"));
        ASSERT_EQ(alone.size(), 1u);
        const synth::Page& source = i == 0 ? colour : (i == 1 ? grey : bits);
        const auto [w, h] = DeskewedSize(single, source.width, source.height);
        EXPECT_EQ(pages[i].width, w);
        EXPECT_EQ(pages[i].height, h);
        EXPECT_EQ(pages[i].bitsPerSample * pages[i].samplesPerPixel, depths[i]);
        EXPECT_FLOAT_EQ(pages[i].xResolution, 240.0f);
        EXPECT_EQ(pages[i].rgb.pixels, alone[0].rgb.pixels);
    }
}

// Blank-page deletion: a blank page is not written; a page with text is.
TEST_F(PipelineEndToEnd, ABlankPageIsNotSavedWhenBlankPagesAreDeleted) {
    ProcessSetting::rmblankpage.on = 1;
    const synth::Page blank = synth::Blank(600, 800, 24, synth::kWhite, 150);
    const std::string src = tmp.file("blank.jpg");
    ASSERT_TRUE(testimg::WriteJpeg(src, ToPicture(blank, 3), 90, 150));
    CImageProcessor p;
    const OneFileOutcome o = Run(p, src, L"blank.jpg", 0);
    EXPECT_TRUE(o.processed);
    EXPECT_TRUE(o.blank);
    EXPECT_FALSE(o.saved);
    EXPECT_FALSE(fs::exists(tmp.file("out/blank.jpg")));

    const std::string text = tmp.file("text.jpg");
    ASSERT_TRUE(testimg::WriteJpeg(text, ToPicture(ScanLikePage(0.0, 24, 9), 3), 90, 150));
    CImageProcessor q;
    const OneFileOutcome t = Run(q, text, L"text.jpg", 0);
    EXPECT_FALSE(t.blank);
    EXPECT_TRUE(t.saved);
    EXPECT_TRUE(fs::exists(tmp.file("out/text.jpg")));
}

// A detection run copies a flagged source byte for byte and writes nothing
// for an unflagged one.
TEST_F(PipelineEndToEnd, DetectionCopiesOnlyFlaggedFiles) {
    DetectSetting::kind = 1;
    const struct {
        const char* name;
        int margin;
        bool flagged;
    } cases[] = {{"wide.png", 200, true}, {"narrow.png", 20, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        synth::Page page = synth::Blank(800, 600, 8, synth::kWhite, 150);
        page.FillRect({c.margin, 20, 780, 580}, synth::kBlack);
        const std::string src = tmp.file(c.name);
        ASSERT_TRUE(testimg::WritePng(src, ToPicture(page, 1), 0, 8));
        CImageProcessor p;
        const OneFileOutcome o =
            ProcessOneFile(p, FromUtf8(src), out(), FromUtf8(c.name), RUN_DETECTION, kDefaultQuickSteps);
        EXPECT_TRUE(o.processed);
        EXPECT_EQ(p.needsProcessing, c.flagged ? 1 : 0);
        const std::string copy = tmp.file(std::string("out/") + c.name);
        EXPECT_EQ(fs::exists(copy), c.flagged);
        if (c.flagged) {
            const auto same = testimg::RunCommand("cmp '" + src + "' '" + copy + "'");
            EXPECT_TRUE(same.ok) << same.output;
        }
    }
}

// Without keep colour a colour scan is saved as a grey JPEG.
TEST_F(PipelineEndToEnd, KeepColourOffSavesAColourScanAsGrey) {
    ProcessSetting::filesave.retaincolor = 0;
    const synth::Page page = ScanLikePage(0.0, 24, 10);
    const std::string src = tmp.file("colour.jpg");
    ASSERT_TRUE(testimg::WriteJpeg(src, ToPicture(page, 3), 92, 200));
    CImageProcessor p;
    ASSERT_TRUE(Run(p, src, L"colour.jpg").saved);
    EXPECT_EQ(p.resultDepth, 8);
    const testimg::JpegInfo info = testimg::ReadJpeg(tmp.file("out/colour.jpg"));
    ASSERT_TRUE(info.ok);
    EXPECT_EQ(info.components, 1);
    const auto [w, h] = DeskewedSize(p, page.width, page.height);
    EXPECT_EQ(info.width, w);
    EXPECT_EQ(info.height, h);
    EXPECT_EQ(info.xDensity, 200);
}
