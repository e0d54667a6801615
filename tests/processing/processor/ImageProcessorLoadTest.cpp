#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <tiffio.h>
#include <vector>

#include "platform/core/Files.h"
#include "platform/core/ScriptedUserDialogs.h"
#include "platform/core/Strings.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/PixelMath.h"
#include "support/ImageFiles.h"
#include "support/TempDir.h"
#include "ProcessorTestUtil.h"

using proctest::ColourAt;
using proctest::GreyAt;
using proctest::GreyEquals;
using proctest::Indices;
using proctest::Load;
using proctest::RandomPalette;
using testdata::TempDir;
using testimg::Picture;
using testimg::Rgb;

namespace {

std::uint8_t PaletteGrey(const Rgb& c) { return px::Grey(c.b, c.g, c.r); }

void Truncate(const std::string& path, double fraction) {
    const auto size = std::filesystem::file_size(path);
    std::filesystem::resize_file(path, static_cast<std::uintmax_t>(size * fraction));
}

}  // namespace

class ProcessorLoad : public proctest::SettingsReset {
protected:
    TempDir tmp;
};

TEST_F(ProcessorLoad, NewProcessorDefaults) {
    CImageProcessor p;
    EXPECT_EQ(p.fileType, FILE_TYPE_JPEG);
    EXPECT_EQ(p.pageCount, 0);
    EXPECT_EQ(p.currentPage, -1);
    EXPECT_EQ(p.dpiX, 300);
    EXPECT_EQ(p.dpiY, 300);
    EXPECT_EQ(p.outputPathMode, OUTPUT_TO_FOLDER);
    EXPECT_EQ(p.runType, RUN_DESKEW_METHOD_0);
    EXPECT_EQ(p.lowClip, 0.1f);
    EXPECT_EQ(p.highClip, 0.1f);
    EXPECT_EQ(p.skewSearcher.skewColumns, 1);
    EXPECT_EQ(p.boxLeft, -1);
    EXPECT_EQ(p.boxRight, -1);
    EXPECT_EQ(p.boxTop, -1);
    EXPECT_EQ(p.boxBottom, -1);
    EXPECT_EQ(p.result, nullptr);
    EXPECT_FALSE(p.fileBytes);
    EXPECT_FALSE(p.codecImage.IsValid());
}

TEST_F(ProcessorLoad, FileTypeByTheEndOfTheName) {
    struct Case { const wchar_t* name; ImageFileType type; };
    const Case cases[] = {
        {L"/d/page.tif", FILE_TYPE_TIFF},  {L"/d/page.TIFF", FILE_TYPE_TIFF}, {L"/d/page.Tif", FILE_TYPE_TIFF},
        {L"/d/pagetif", FILE_TYPE_TIFF},   // only the letters count
        {L"/d/page.png", FILE_TYPE_PNG},   {L"/d/page.PNG", FILE_TYPE_PNG},
        {L"/d/page.pdf", FILE_TYPE_PDF},   {L"/d/page.jpg", FILE_TYPE_JPEG},
        {L"/d/page.jpeg", FILE_TYPE_JPEG}, {L"/d/page.bmp", FILE_TYPE_JPEG},
        {L"xtif", FILE_TYPE_SHORT_NAME},   // four characters or fewer
        {L"a.jp", FILE_TYPE_SHORT_NAME},   {L"", FILE_TYPE_SHORT_NAME},
        {L"a.tif", FILE_TYPE_TIFF},        {L"b.png", FILE_TYPE_PNG},
    };
    for (const auto& c : cases) EXPECT_EQ(CImageProcessor::FileTypeOf(c.name), c.type) << ToUtf8(c.name);
}

TEST_F(ProcessorLoad, EveryDepthLoadsIntoTheRightWorkingImages) {
    // One row per source kind: how the file is written, and what the grey
    // image must hold at each pixel (from the same picture and palette).
    const int w = 13, h = 7;  // odd sizes: rows carry padding
    const Picture rgb = testimg::Pattern(w, h, 3, 1);
    const Picture rgba = testimg::Pattern(w, h, 4, 2);
    const Picture grey = testimg::Pattern(w, h, 1, 3);
    const Picture bits = Indices(w, h, 2, 4);
    const Picture idx = Indices(w, h, 256, 5);
    const Picture idx16 = Indices(w, h, 16, 6);
    const auto pal256 = RandomPalette(256, 7);
    const auto pal16 = RandomPalette(16, 8);

    struct Case {
        const char* label;
        const char* name;
        std::function<bool(const std::string&)> write;
        int sourceDepth;
        bool colour;                                // a colour image exists
        const Picture* expectedColour;              // RGB or RGBA picture, when colour
        std::function<int(int, int)> expectedGrey;  // (x, y) from the top
    };
    auto greyOf = [](const Picture& p) {
        return [&p](int x, int y) { return px::Grey(p.at(x, y, 2), p.at(x, y, 1), p.at(x, y, 0)); };
    };
    const std::vector<Case> cases = {
        {"png rgb", "rgb.png", [&](auto& f) { return testimg::WritePng(f, rgb, 2, 8); }, 24, true, &rgb,
         greyOf(rgb)},
        {"png rgba (32 bits)", "rgba.png", [&](auto& f) { return testimg::WritePng(f, rgba, 6, 8); }, 24, true,
         &rgba, greyOf(rgba)},
        // Grey levels pass through the grey palette and its formula, which
        // lowers some levels by one (0.587 i + 0.299 i + 0.114 i, truncated).
        {"png grey", "grey.png", [&](auto& f) { return testimg::WritePng(f, grey, 0, 8); }, 8, false, nullptr,
         [&](int x, int y) { const int v = grey.at(x, y); return px::Grey(v, v, v); }},
        {"png palette 256", "pal.png", [&](auto& f) { return testimg::WritePng(f, idx, 3, 8, pal256); }, 8,
         false, nullptr, [&](int x, int y) { return PaletteGrey(pal256[idx.at(x, y)]); }},
        {"png palette of 16 at 8 bits", "pal16.png",
         [&](auto& f) { return testimg::WritePng(f, idx16, 3, 8, pal16); }, 8, false, nullptr,
         [&](int x, int y) { return PaletteGrey(pal16[idx16.at(x, y)]); }},
        {"png 1 bit", "bits.png", [&](auto& f) { return testimg::WritePng(f, bits, 0, 1); }, 1, false, nullptr,
         [&](int x, int y) { return bits.at(x, y) ? 255 : 0; }},
        {"tiff rgb lzw", "rgb.tif",
         [&](auto& f) { return testimg::WriteTiff(f, {{rgb, 8, PHOTOMETRIC_RGB, COMPRESSION_LZW}}); }, 24, true,
         &rgb, greyOf(rgb)},
        {"tiff grey packbits", "grey.tif",
         [&](auto& f) { return testimg::WriteTiff(f, {{grey, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_PACKBITS}}); },
         8, false, nullptr, [&](int x, int y) { const int v = grey.at(x, y); return px::Grey(v, v, v); }},
        {"tiff palette", "pal.tif",
         [&](auto& f) {
             testimg::TiffPage page{idx, 8, PHOTOMETRIC_PALETTE, COMPRESSION_NONE};
             page.palette = pal256;
             return testimg::WriteTiff(f, {page});
         },
         8, false, nullptr, [&](int x, int y) { return PaletteGrey(pal256[idx.at(x, y)]); }},
        // 1-bit: black-then-white palette gives white for set bits, the
        // white-then-black palette black for set bits.
        {"tiff 1 bit min-is-black", "mb.tif",
         [&](auto& f) { return testimg::WriteTiff(f, {{bits, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_CCITTFAX4}}); },
         1, false, nullptr, [&](int x, int y) { return bits.at(x, y) ? 255 : 0; }},
        {"tiff 1 bit min-is-white", "mw.tif",
         [&](auto& f) { return testimg::WriteTiff(f, {{bits, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_NONE}}); },
         1, false, nullptr, [&](int x, int y) { return bits.at(x, y) ? 0 : 255; }},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const std::string path = tmp.file(c.name);
        ASSERT_TRUE(c.write(path));
        CImageProcessor p;
        ASSERT_TRUE(Load(p, path));
        EXPECT_EQ(p.width, w);
        EXPECT_EQ(p.height, h);
        EXPECT_EQ(p.sourceDepth, c.sourceDepth);
        EXPECT_EQ(p.workingDepth, 8);
        ASSERT_TRUE(p.greyImage);
        EXPECT_TRUE(GreyEquals(p, c.expectedGrey));
        EXPECT_EQ(bool(p.colourImage), c.colour);
        if (c.colour) {
            Picture expectedRgb(w, h, 3);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    for (int k = 0; k < 3; ++k) expectedRgb.at(x, y, k) = c.expectedColour->at(x, y, k);
            EXPECT_TRUE(proctest::ColourEquals(p, expectedRgb));
        }
        EXPECT_FALSE(p.oneBitCopy);
        EXPECT_EQ(p.pageCount, 1);
        EXPECT_EQ(p.currentPage, 0);
        // Single-page files are released once decoded.
        EXPECT_FALSE(p.fileBytes);
        EXPECT_EQ(p.fileSize, 0u);
        // The header copy is the BMP's bytes before its pixels.
        ASSERT_TRUE(p.sourceHeaderCopy);
        EXPECT_GE(p.sourceHeaderSize, 54u);
        EXPECT_EQ(p.sourceHeaderCopy[0], 'B');
        EXPECT_EQ(p.sourceHeaderCopy[1], 'M');
    }
}

TEST_F(ProcessorLoad, RowsStayBottomUpAndAMirroredPageWouldBeCaught) {
    // A page whose top row is black and bottom row white.
    const int w = 6, h = 5;
    Picture grey(w, h, 1);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) grey.at(x, y) = static_cast<std::uint8_t>(y * 60);
    const std::string path = tmp.file("rows.png");
    ASSERT_TRUE(testimg::WritePng(path, grey, 0, 8));
    CImageProcessor p;
    ASSERT_TRUE(Load(p, path));
    // Memory row 0 is the bottom of the picture.
    EXPECT_EQ(p.greyImage[0], 240);
    EXPECT_EQ(p.greyImage[std::size_t(h - 1) * px::Stride8(w)], 0);
}

TEST_F(ProcessorLoad, JpegPixelsAreThoseOfTheJpegLibrary) {
    const int w = 21, h = 10;
    for (int channels : {1, 3}) {
        SCOPED_TRACE(channels);
        const std::string path = tmp.file("page" + std::to_string(channels) + ".jpg");
        ASSERT_TRUE(testimg::WriteJpeg(path, testimg::Pattern(w, h, channels, 9), 90, 200));
        const testimg::JpegInfo truth = testimg::ReadJpeg(path);
        ASSERT_TRUE(truth.ok);
        CImageProcessor p;
        ASSERT_TRUE(Load(p, path));
        EXPECT_EQ(p.dpiX, 200);
        EXPECT_EQ(p.dpiY, 200);
        if (channels == 3) {
            EXPECT_EQ(p.sourceDepth, 24);
            EXPECT_TRUE(proctest::ColourEquals(p, truth.pixels));
            EXPECT_TRUE(GreyEquals(p, [&](int x, int y) {
                return px::Grey(truth.pixels.at(x, y, 2), truth.pixels.at(x, y, 1), truth.pixels.at(x, y, 0));
            }));
        } else {
            EXPECT_EQ(p.sourceDepth, 8);
            EXPECT_FALSE(p.colourImage);
            EXPECT_TRUE(GreyEquals(p, [&](int x, int y) {
                const int v = truth.pixels.at(x, y);
                return px::Grey(v, v, v);
            }));
        }
    }
}

TEST_F(ProcessorLoad, ResolutionComesFromTheSource) {
    const Picture rgb = testimg::Pattern(8, 8, 3, 10);
    struct Case { const char* name; std::function<bool(const std::string&)> write; int dpi; };
    const std::vector<Case> cases = {
        {"a.png", [&](auto& f) { return testimg::WritePng(f, rgb, 2, 8, {}, 300); }, 300},
        {"b.png", [&](auto& f) { return testimg::WritePng(f, rgb, 2, 8); }, 96},
        {"c.jpg", [&](auto& f) { return testimg::WriteJpeg(f, rgb, 80, 150); }, 150},
        {"d.tif",
         [&](auto& f) {
             testimg::TiffPage page{rgb, 8, PHOTOMETRIC_RGB, COMPRESSION_NONE};
             page.dpi = 118.11f;
             page.resolutionUnit = RESUNIT_CENTIMETER;
             return testimg::WriteTiff(f, {page});
         },
         300},
        {"e.tif", [&](auto& f) { return testimg::WriteTiff(f, {{rgb, 8, PHOTOMETRIC_RGB, COMPRESSION_NONE}}); }, 96},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(c.write(tmp.file(c.name)));
        CImageProcessor p;
        ASSERT_TRUE(Load(p, tmp.file(c.name)));
        EXPECT_EQ(p.dpiX, c.dpi);
        EXPECT_EQ(p.dpiY, c.dpi);
    }
}

TEST_F(ProcessorLoad, AThreePageTiffIsDecodedPageByPageFromOneRead) {
    const Picture a = testimg::Pattern(9, 5, 1, 11);
    const Picture b = testimg::Pattern(7, 6, 3, 12);
    const Picture c = Indices(10, 4, 2, 13);
    const std::string path = tmp.file("three.tif");
    ASSERT_TRUE(testimg::WriteTiff(path, {{a, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW},
                                          {b, 8, PHOTOMETRIC_RGB, COMPRESSION_NONE},
                                          {c, 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4}}));
    const std::wstring wpath = FromUtf8(path);
    CImageProcessor p;
    ASSERT_TRUE(p.ReadFileBytes(wpath.c_str()));
    ASSERT_TRUE(p.LoadImageFile(wpath.c_str(), 1));
    EXPECT_EQ(p.pageCount, 3);
    EXPECT_EQ(p.multiPageSource, 1);
    EXPECT_EQ(p.sourceCompression, COMPRESSION_LZW);
    EXPECT_EQ(p.sourceDepth, 8);
    EXPECT_EQ(p.width, 9);
    EXPECT_TRUE(p.fileBytes);

    // Later pages come from the same bytes in memory.
    p.ReleaseBuffers(true);
    p.currentPage = 1;
    ASSERT_TRUE(p.LoadImageFile(wpath.c_str(), 0));
    EXPECT_EQ(p.width, 7);
    EXPECT_EQ(p.sourceDepth, 24);
    EXPECT_TRUE(proctest::ColourEquals(p, b));
    EXPECT_TRUE(p.fileBytes);
    EXPECT_EQ(p.sourceCompression, COMPRESSION_LZW);  // page 0's

    p.ReleaseBuffers(true);
    p.currentPage = 2;
    ASSERT_TRUE(p.LoadImageFile(wpath.c_str(), 0));
    EXPECT_EQ(p.width, 10);
    EXPECT_EQ(p.sourceDepth, 1);
    EXPECT_TRUE(GreyEquals(p, [&](int x, int y) { return c.at(x, y) ? 0 : 255; }));
    EXPECT_FALSE(p.fileBytes);  // released after the last page
    EXPECT_EQ(p.fileSize, 0u);
}

TEST_F(ProcessorLoad, TheNameChoosesTheDecoder) {
    const Picture rgb = testimg::Pattern(6, 4, 3, 14);
    const std::string jpeg = tmp.file("src.jpg");
    const std::string png = tmp.file("src.png");
    const std::string tiff = tmp.file("src.tif");
    ASSERT_TRUE(testimg::WriteJpeg(jpeg, rgb, 90));
    ASSERT_TRUE(testimg::WritePng(png, rgb, 2, 8));
    ASSERT_TRUE(testimg::WriteTiff(tiff, {{rgb, 8, PHOTOMETRIC_RGB, COMPRESSION_NONE}}));
    struct Case { const std::string& content; const char* name; bool loads; ImageFileType type; };
    const Case cases[] = {
        {tiff, "UPPER.TIF", true, FILE_TYPE_TIFF},
        {tiff, "mixed.Tiff", true, FILE_TYPE_TIFF},
        {jpeg, "photo.jpeg", true, FILE_TYPE_JPEG},
        {jpeg, "scan.pdf", true, FILE_TYPE_PDF},   // decoded as JPEG
        {jpeg, "page.bmp", true, FILE_TYPE_JPEG},    // any other name: decoded as JPEG
        {png, "p.PNG", true, FILE_TYPE_PNG},
        {png, "png-named.jpg", false, FILE_TYPE_JPEG},  // decoded as JPEG: fails
        {jpeg, "jpeg-named.tif", false, FILE_TYPE_TIFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = tmp.file(c.name);
        std::filesystem::copy_file(c.content, path, std::filesystem::copy_options::overwrite_existing);
        CImageProcessor p;
        EXPECT_EQ(Load(p, path), c.loads);
        EXPECT_EQ(p.fileType, c.type);
    }
}

TEST_F(ProcessorLoad, FourBitSourcesFail) {
    const std::string path = tmp.file("four.png");
    ASSERT_TRUE(testimg::WritePng(path, Indices(8, 8, 16, 15), 3, 4, RandomPalette(16, 16)));
    CImageProcessor p;
    EXPECT_FALSE(Load(p, path));
}

TEST_F(ProcessorLoad, ReleaseBuffersKeepsOrFreesTheFileBytes) {
    const std::string path = tmp.file("two.tif");
    const Picture g = testimg::Pattern(5, 5, 1, 17);
    ASSERT_TRUE(testimg::WriteTiff(path, {{g, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE},
                                          {g, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE}}));
    CImageProcessor p;
    ASSERT_TRUE(Load(p, path));
    p.result = p.greyImage.get();
    p.ReleaseBuffers(true);
    EXPECT_TRUE(p.fileBytes);
    EXPECT_FALSE(p.greyImage);
    EXPECT_FALSE(p.sourceHeaderCopy);
    EXPECT_EQ(p.result, nullptr);
    p.ReleaseBuffers(true);  // twice is harmless
    EXPECT_TRUE(p.fileBytes);
    p.ReleaseBuffers(false);
    EXPECT_FALSE(p.fileBytes);
    EXPECT_EQ(p.fileSize, 0u);
    p.ReleaseBuffers(false);
}

TEST_F(ProcessorLoad, MissingFilesFailWithoutTouchingTheWorkingImages) {
    const std::string path = tmp.file("ok.png");
    ASSERT_TRUE(testimg::WritePng(path, testimg::Pattern(4, 4, 3, 18), 2, 8));
    CImageProcessor p;
    ASSERT_TRUE(Load(p, path));
    const BYTE* grey = p.greyImage.get();
    const std::wstring missing = tmp.wfile(L"missing.png");
    EXPECT_FALSE(p.ReadFileBytes(missing.c_str()));
    EXPECT_FALSE(p.ReadFileBytes(nullptr));
    EXPECT_FALSE(p.ReadFileBytes(tmp.wpath().c_str()));  // a folder
    EXPECT_FALSE(p.LoadImageFile(missing.c_str(), 1));
    EXPECT_FALSE(p.LoadImageFile(nullptr, 1));
    EXPECT_EQ(p.greyImage.get(), grey);
    EXPECT_EQ(p.width, 4);
    // The bytes were released after the page: a load without a read fails.
    EXPECT_FALSE(p.LoadImageFile(FromUtf8(path).c_str(), 1));
}

TEST_F(ProcessorLoad, HostileFilesFailCleanly) {
    const Picture rgb = testimg::Pattern(40, 30, 3, 19);
    struct Case { const char* name; std::function<bool(const std::string&)> make; };
    const std::vector<Case> cases = {
        {"zero.jpg", [](auto& f) { return testimg::RunCommand("true > '" + f + "'").ok; }},
        {"garbage.tif", [](auto& f) {
             std::ofstream(f) << "II*\0garbage that is not a directory";
             return true;
         }},
        {"text.png", [](auto& f) {
             std::ofstream(f) << "hello";
             return true;
         }},
        {"half.png", [&](auto& f) { return testimg::WritePng(f, rgb, 2, 8) && (Truncate(f, 0.5), true); }},
        {"half.jpg", [&](auto& f) { return testimg::WriteJpeg(f, rgb, 90) && (Truncate(f, 0.4), true); }},
        {"half.tif",
         [&](auto& f) {
             return testimg::WriteTiff(f, {{rgb, 8, PHOTOMETRIC_RGB, COMPRESSION_NONE}}) && (Truncate(f, 0.3), true);
         }},
        {"header.jpg", [&](auto& f) { return testimg::WriteJpeg(f, rgb, 90) && (Truncate(f, 0.05), true); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = tmp.file(c.name);
        ASSERT_TRUE(c.make(path));
        CImageProcessor p;
        EXPECT_FALSE(Load(p, path));
        EXPECT_FALSE(p.fileBytes);  // nothing is held after the last page
    }
}

TEST_F(ProcessorLoad, AFileThatVanishesBetweenReadAndLoadFails) {
    const std::string path = tmp.file("gone.png");
    ASSERT_TRUE(testimg::WritePng(path, testimg::Pattern(4, 4, 3, 20), 2, 8));
    const std::wstring w = FromUtf8(path);
    CImageProcessor p;
    ASSERT_TRUE(p.ReadFileBytes(w.c_str()));
    ASSERT_TRUE(files::Remove(w));
    EXPECT_FALSE(p.LoadImageFile(w.c_str(), 1));
    EXPECT_FALSE(p.greyImage);
}

TEST_F(ProcessorLoad, TheDepthErrorReachesTheUserFromAWorker) {
    ScriptedUserDialogs dialogs;
    std::thread worker([] { CImageProcessor::ShowDepthError(); });
    worker.join();
    const auto shown = dialogs.Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].kind, ShownDialog::MessageBox);
    EXPECT_EQ(shown[0].text, L"出错了哦(Error accour)");
    EXPECT_EQ(shown[0].type & MB_TYPEMASK, MB_OK);
    EXPECT_NE(shown[0].thread, std::this_thread::get_id());
}
