#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <tiffio.h>
#include <vector>

#include "platform/core/Files.h"
#include "platform/core/Strings.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/PixelMath.h"
#include "settings/ProcessSetting.h"
#include "platform/core/Paths.h"
#include "support/ImageFiles.h"
#include "support/RunOutput.h"
#include "support/TempDir.h"
#include "ProcessorTestUtil.h"

using proctest::Load;
using testdata::TempDir;
using testimg::Picture;
namespace fs = std::filesystem;

namespace {

// Loads a file and makes its result what a run without any step gives: the
// colour image when colour is kept and exists, else the grey image.
bool LoadAsResult(CImageProcessor& p, const std::string& path, const std::string& outFolder,
                  const std::string& outName) {
    if (!Load(p, path)) return false;
    const std::wstring folder = FromUtf8(outFolder);
    const std::wstring name = FromUtf8(outName);
    p.RunPipeline(FromUtf8(path), 0, &folder, &name, 0);
    return p.result != nullptr;
}

// Files of a folder, recursively, relative to it.
std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> out;
    if (!fs::exists(folder)) return out;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        out.push_back(fs::relative(e.path(), folder).string());
    std::sort(out.begin(), out.end());
    return out;
}

// The picture the working grey image holds, as RGB (top row first).
Picture GreyAsRgb(const CImageProcessor& p) {
    Picture out(p.width, p.height, 3);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            for (int c = 0; c < 3; ++c) out.at(x, y, c) = proctest::GreyAt(p, x, y);
    return out;
}
Picture ColourAsRgb(const CImageProcessor& p) {
    Picture out(p.width, p.height, 3);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const BYTE* c = proctest::ColourAt(p, x, y);
            out.at(x, y, 0) = c[2];
            out.at(x, y, 1) = c[1];
            out.at(x, y, 2) = c[0];
        }
    return out;
}

// A raw buffer (bottom-up rows) as an RGB picture, top row first.
Picture BufferAsRgb(const BYTE* bits, int w, int h, int bpp) {
    Picture out(w, h, 3);
    const std::size_t stride = px::StrideFor(std::size_t(w), bpp);
    for (int y = 0; y < h; ++y) {
        const BYTE* row = bits + std::size_t(h - 1 - y) * stride;
        for (int x = 0; x < w; ++x)
            for (int k = 0; k < 3; ++k)
                out.at(x, y, k) = bpp == 24 ? row[3 * x + 2 - k] : row[x];
    }
    return out;
}

::testing::AssertionResult SamePixels(const Picture& a, const Picture& b) {
    if (a.width != b.width || a.height != b.height || a.channels != b.channels)
        return ::testing::AssertionFailure() << "size " << a.width << "x" << a.height << "x" << a.channels << " vs "
                                             << b.width << "x" << b.height << "x" << b.channels;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            for (int c = 0; c < a.channels; ++c)
                if (a.at(x, y, c) != b.at(x, y, c))
                    return ::testing::AssertionFailure()
                           << "pixel (" << x << "," << y << ") channel " << c << ": " << int(a.at(x, y, c))
                           << " vs " << int(b.at(x, y, c));
    return ::testing::AssertionSuccess();
}

}  // namespace

class ProcessorSave : public proctest::SettingsReset {
protected:
    TempDir tmp;
    std::string out() const { return tmp.file("out"); }
};

TEST_F(ProcessorSave, JpegSourcesAreWrittenAsJpegAtTheChosenQualityWhateverTheName) {
    const std::string src = tmp.file("page.jpg");
    ASSERT_TRUE(testimg::WriteJpeg(src, testimg::Pattern(33, 17, 3, 1), 95, 200));
    struct Case { int quality; const char* name; };
    for (const Case c : {Case{85, "a.jpg"}, Case{40, "b.jpg"}, Case{85, "c.png"}}) {
        SCOPED_TRACE(c.name);
        ProcessSetting::filesave.jpgquality = c.quality;
        CImageProcessor p;
        ASSERT_TRUE(LoadAsResult(p, src, out(), c.name));
        ASSERT_TRUE(p.SaveResult());
        const testimg::JpegInfo j = testimg::ReadJpeg(tmp.file(std::string("out/") + c.name));
        ASSERT_TRUE(j.ok) << "not a JPEG file";
        EXPECT_EQ(j.width, 33);
        EXPECT_EQ(j.height, 17);
        EXPECT_EQ(j.components, 3);
        EXPECT_FALSE(j.arithmetic);
        EXPECT_EQ(j.luminanceTable, testimg::LuminanceTableForQuality(c.quality));
        EXPECT_EQ(j.densityUnit, 1);
        EXPECT_EQ(j.xDensity, 200);  // the source's resolution
        EXPECT_EQ(j.yDensity, 200);
    }
}

TEST_F(ProcessorSave, DpiChangeWritesTheChosenResolutionInEveryFormat) {
    const Picture rgb = testimg::Pattern(12, 9, 3, 2);
    ASSERT_TRUE(testimg::WriteJpeg(tmp.file("s.jpg"), rgb, 90, 150));
    ASSERT_TRUE(testimg::WritePng(tmp.file("s.png"), rgb, 2, 8, {}, 150));
    testimg::TiffPage page{rgb, 8, PHOTOMETRIC_RGB, COMPRESSION_NONE};
    page.dpi = 150;
    ASSERT_TRUE(testimg::WriteTiff(tmp.file("s.tif"), {page}));
    for (const int on : {0, 1}) {
        ProcessSetting::dpi.on = on;
        ProcessSetting::dpi.dst = 600;
        const int expected = on ? 600 : 150;
        for (const char* name : {"s.jpg", "s.png", "s.tif"}) {
            SCOPED_TRACE(std::string(name) + (on ? " dpi on" : " dpi off"));
            CImageProcessor p;
            ASSERT_TRUE(LoadAsResult(p, tmp.file(name), out(), name));
            ASSERT_TRUE(p.SaveResult());
            const std::string written = tmp.file(std::string("out/") + name);
            if (p.fileType == FILE_TYPE_JPEG) {
                const auto j = testimg::ReadJpeg(written);
                EXPECT_EQ(j.xDensity, expected);
                EXPECT_EQ(j.yDensity, expected);
            } else if (p.fileType == FILE_TYPE_PNG) {
                const auto png = testimg::ReadPng(written);
                ASSERT_TRUE(png.hasPhys);
                const auto ppm = static_cast<std::uint32_t>(expected * 10000.0 / 254.0 + 0.5);
                EXPECT_EQ(png.physX, ppm);
                EXPECT_EQ(png.physY, ppm);
            } else {
                const auto pages = testimg::ReadTiff(written);
                ASSERT_EQ(pages.size(), 1u);
                EXPECT_EQ(pages[0].resolutionUnit, RESUNIT_INCH);
                EXPECT_FLOAT_EQ(pages[0].xResolution, float(expected));
                EXPECT_FLOAT_EQ(pages[0].yResolution, float(expected));
            }
        }
    }
}

TEST_F(ProcessorSave, LosslessFormatsKeepEveryPixelAndTheRowOrder) {
    const Picture rgb = testimg::Pattern(15, 11, 3, 3);
    const Picture grey = testimg::Pattern(15, 11, 1, 4);
    ASSERT_TRUE(testimg::WritePng(tmp.file("c.png"), rgb, 2, 8));
    ASSERT_TRUE(testimg::WritePng(tmp.file("g.png"), grey, 0, 8));
    ASSERT_TRUE(testimg::WriteTiff(tmp.file("c.tif"), {{rgb, 8, PHOTOMETRIC_RGB, COMPRESSION_LZW}}));
    ASSERT_TRUE(testimg::WriteTiff(tmp.file("g.tif"), {{grey, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW}}));
    struct Case { const char* name; int pngColorType; };
    for (const Case c : {Case{"c.png", 2}, Case{"g.png", 0}, Case{"c.tif", 0}, Case{"g.tif", 0}}) {
        SCOPED_TRACE(c.name);
        CImageProcessor p;
        ASSERT_TRUE(LoadAsResult(p, tmp.file(c.name), out(), c.name));
        ASSERT_TRUE(p.SaveResult());
        const Picture expected = p.colourImage ? ColourAsRgb(p) : GreyAsRgb(p);
        const std::string written = tmp.file(std::string("out/") + c.name);
        if (p.fileType == FILE_TYPE_PNG) {
            const auto png = testimg::ReadPng(written);
            ASSERT_TRUE(png.ok);
            EXPECT_EQ(png.colorType, c.pngColorType);
            EXPECT_TRUE(SamePixels(png.rgb, expected));
        } else {
            const auto pages = testimg::ReadTiff(written);
            ASSERT_EQ(pages.size(), 1u);
            EXPECT_EQ(pages[0].compression, COMPRESSION_LZW);  // kept from the source
            EXPECT_TRUE(SamePixels(pages[0].rgb, expected));
        }
    }
}

TEST_F(ProcessorSave, WithoutKeepColourAColourSourceIsSavedAsGrey) {
    ProcessSetting::filesave.retaincolor = 0;
    const Picture rgb = testimg::Pattern(10, 8, 3, 5);
    ASSERT_TRUE(testimg::WritePng(tmp.file("c.png"), rgb, 2, 8));
    ASSERT_TRUE(testimg::WriteTiff(tmp.file("c.tif"), {{rgb, 8, PHOTOMETRIC_RGB, COMPRESSION_NONE}}));
    for (const char* name : {"c.png", "c.tif"}) {
        SCOPED_TRACE(name);
        CImageProcessor p;
        ASSERT_TRUE(LoadAsResult(p, tmp.file(name), out(), name));
        EXPECT_EQ(p.resultDepth, 8);
        ASSERT_TRUE(p.SaveResult());
        const std::string written = tmp.file(std::string("out/") + name);
        if (p.fileType == FILE_TYPE_PNG) {
            const auto png = testimg::ReadPng(written);
            EXPECT_EQ(png.colorType, 0);
            EXPECT_EQ(png.bitDepth, 8);
            EXPECT_TRUE(SamePixels(png.rgb, GreyAsRgb(p)));
        } else {
            const auto pages = testimg::ReadTiff(written);
            ASSERT_EQ(pages.size(), 1u);
            EXPECT_EQ(pages[0].samplesPerPixel, 1);
            EXPECT_EQ(pages[0].bitsPerSample, 8);
            EXPECT_EQ(pages[0].photometric, PHOTOMETRIC_MINISBLACK);
            EXPECT_TRUE(SamePixels(pages[0].rgb, GreyAsRgb(p)));
        }
    }
}

TEST_F(ProcessorSave, OneBitResultsAreBlackUpTo128) {
    const std::string src = tmp.file("g.tif");
    ASSERT_TRUE(testimg::WriteTiff(src, {{testimg::Pattern(6, 2, 1, 6), 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE}}));
    CImageProcessor p;
    ASSERT_TRUE(LoadAsResult(p, src, out(), "bits.tif"));
    // Top row 0, 127, 128, 129, 200, 255; bottom row the reverse.
    const BYTE top[6] = {0, 127, 128, 129, 200, 255};
    BYTE* bottomRow = p.greyImage.get();
    BYTE* topRow = p.greyImage.get() + px::Stride8(6);
    for (int x = 0; x < 6; ++x) {
        topRow[x] = top[x];
        bottomRow[x] = top[5 - x];
    }
    p.result = p.greyImage.get();
    p.resultDepth = 1;
    ASSERT_TRUE(p.SaveBinary1(FromUtf8(out()), L"bits.tif"));
    const auto pages = testimg::ReadTiff(tmp.file("out/bits.tif"));
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].bitsPerSample, 1);
    const int expectTop[6] = {0, 0, 0, 255, 255, 255};
    for (int x = 0; x < 6; ++x) {
        EXPECT_EQ(pages[0].rgb.at(x, 0, 0), expectTop[x]) << x;
        EXPECT_EQ(pages[0].rgb.at(x, 1, 0), expectTop[5 - x]) << x;
    }
}

TEST_F(ProcessorSave, TiffCompressionFollowsTheSourceAndTheChoice) {
    // Source compression x choice x result depth -> written compression.
    struct Case {
        int source;  // compression of the input
        int choice;  // filesave/tiffcompress
        int depth;   // 1, 8 or 24 result
        int written;
    };
    const Case cases[] = {
        {COMPRESSION_NONE, 0, 24, COMPRESSION_NONE},
        {COMPRESSION_LZW, 0, 8, COMPRESSION_LZW},
        {COMPRESSION_PACKBITS, 0, 24, COMPRESSION_PACKBITS},
        {COMPRESSION_ADOBE_DEFLATE, 0, 8, COMPRESSION_ADOBE_DEFLATE},
        {COMPRESSION_JPEG, 0, 24, COMPRESSION_JPEG},
        {COMPRESSION_CCITTFAX4, 0, 1, COMPRESSION_CCITTFAX4},
        {COMPRESSION_NONE, 2, 24, COMPRESSION_LZW},
        {COMPRESSION_CCITTFAX4, 2, 1, COMPRESSION_LZW},
        {COMPRESSION_NONE, 1, 24, COMPRESSION_JPEG},
        {COMPRESSION_LZW, 1, 8, COMPRESSION_JPEG},
        // A 1-bit page with the JPEG choice keeps the writer's 1-bit coding.
        {COMPRESSION_NONE, 1, 1, COMPRESSION_CCITTFAX4},
        // A grey result of a fax-coded source cannot keep the fax coding.
        {COMPRESSION_CCITTFAX4, 0, 8, COMPRESSION_LZW},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("source " + std::to_string(c.source) + " choice " + std::to_string(c.choice) + " depth " +
                     std::to_string(c.depth));
        ProcessSetting::filesave.tiffcompress = c.choice;
        ProcessSetting::filesave.jpgquality = 70;
        const int w = 24, h = 16;
        testimg::TiffPage page;
        if (c.source == COMPRESSION_CCITTFAX4) {
            Picture bits = testimg::Pattern(w, h, 1, 7);
            for (auto& v : bits.pixels) v &= 1;
            page = {bits, 1, PHOTOMETRIC_MINISWHITE, c.source};
        } else {
            page = {testimg::Pattern(w, h, 3, 7), 8, PHOTOMETRIC_RGB, c.source};
        }
        const std::string src = tmp.file("src.tif");
        ASSERT_TRUE(testimg::WriteTiff(src, {page}));
        CImageProcessor p;
        ASSERT_TRUE(LoadAsResult(p, src, out(), "r.tif"));
        if (c.depth == 8 && !p.colourImage) {
            p.resultDepth = 8;  // a grey result of a 1-bit page
        } else if (c.depth == 8) {
            p.result = p.greyImage.get();
            p.resultDepth = 8;
        } else if (c.depth == 1) {
            p.result = p.greyImage.get();
            p.resultDepth = 1;
        }
        ASSERT_TRUE(p.SaveResult());
        const auto pages = testimg::ReadTiff(tmp.file("out/r.tif"));
        ASSERT_EQ(pages.size(), 1u);
        EXPECT_EQ(pages[0].compression, c.written);
        EXPECT_EQ(pages[0].bitsPerSample * pages[0].samplesPerPixel, c.depth);
        if (c.written == COMPRESSION_JPEG) {
            ASSERT_TRUE(pages[0].hasJpegTable);
            EXPECT_EQ(pages[0].jpegLuminanceTable, testimg::LuminanceTableForQuality(70));
        }
        // tiffinfo, an independent reader, agrees.
        const auto info = testimg::RunCommand("tiffinfo '" + tmp.file("out/r.tif") + "'");
        ASSERT_TRUE(info.ok) << info.output;
        EXPECT_NE(info.output.find("Compression Scheme:"), std::string::npos);
    }
}

TEST_F(ProcessorSave, OldStyleJpegBecomesJpeg) {
    // A source that reported compression 6 is written with 7.
    const std::string src = tmp.file("src.tif");
    ASSERT_TRUE(testimg::WriteTiff(src, {{testimg::Pattern(16, 16, 3, 8), 8, PHOTOMETRIC_RGB, COMPRESSION_NONE}}));
    CImageProcessor p;
    ASSERT_TRUE(LoadAsResult(p, src, out(), "r.tif"));
    p.sourceCompression = COMPRESSION_OJPEG;
    ASSERT_TRUE(p.SaveResult());
    EXPECT_EQ(p.sourceCompression, COMPRESSION_JPEG);
    const auto pages = testimg::ReadTiff(tmp.file("out/r.tif"));
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].compression, COMPRESSION_JPEG);
}

TEST_F(ProcessorSave, AFailedWriteLeavesNoFileBehind) {
    const std::string src = tmp.file("s.png");
    ASSERT_TRUE(testimg::WritePng(src, testimg::Pattern(8, 8, 3, 9), 2, 8));
    // The output folder's parent is a file: nothing can be written.
    ASSERT_TRUE(files::WriteAllAtomic(tmp.wfile(L"blocker"), "x", 1));
    CImageProcessor p;
    ASSERT_TRUE(LoadAsResult(p, src, tmp.file("blocker/out"), "s.png"));
    EXPECT_FALSE(p.SaveResult());
    EXPECT_EQ(FilesIn(tmp.path()), (std::vector<std::string>{"blocker", "s.png"}));

    // An existing output is replaced whole, and no temporary file stays.
    CImageProcessor q;
    ASSERT_TRUE(LoadAsResult(q, src, out(), "s.png"));
    ASSERT_TRUE(files::CreateDirectory(FromUtf8(out())));
    ASSERT_TRUE(files::WriteAllAtomic(FromUtf8(out() + "/s.png"), "old", 3));
    ASSERT_TRUE(q.SaveResult());
    EXPECT_EQ(FilesIn(out()), (std::vector<std::string>{"s.png"}));
    EXPECT_TRUE(testimg::ReadPng(out() + "/s.png").ok);
}

TEST_F(ProcessorSave, AFailedSaveSaysWhy) {
    // The reason of the last save, in the system's words: what the batch
    // run writes after the file's path in its failed-file list.
    const std::string src = tmp.file("s.png");
    ASSERT_TRUE(testimg::WritePng(src, testimg::Pattern(8, 8, 3, 21), 2, 8));
    ASSERT_TRUE(files::WriteAllAtomic(tmp.wfile(L"blocker"), "x", 1));
    const std::wstring full = tmp.wfile(L"full");
    ASSERT_TRUE(files::CreateDirectory(full));
    ASSERT_TRUE(files::WriteAllAtomic(PathJoin(full, L"s.png"), "earlier", 7));
    struct EndFullDisk {
        ~EndFullDisk() { files::SetFullDiskFolderForTests(L""); }
    } endFullDisk;
    files::SetFullDiskFolderForTests(full);
    struct Case {
        const char* label;
        std::string folder;  // the output folder
        bool detection;      // a detection run's copy of the flagged source
        bool saved;
        std::wstring reason;
    };
    const Case cases[] = {
        {"the disk is full", ToUtf8(full), false, false, L"磁盘空间不足"},
        {"a file stands where the folder must be made", tmp.file("blocker/out"), false, false, L"已有同名文件"},
        {"a detection copy onto a file", ToUtf8(full), true, false, L"已有同名文件"},
        {"written", out(), false, true, L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        CImageProcessor p;
        ASSERT_TRUE(LoadAsResult(p, src, c.folder, "s.png"));
        p.sourcePath = FromUtf8(src);
        if (c.detection) {
            p.runType = RUN_DETECTION;
            p.needsProcessing = 1;
        }
        EXPECT_EQ(p.SaveResult(), c.saved);
        EXPECT_EQ(ToUtf8(p.SaveFailReason()), ToUtf8(c.reason));
    }
    // Nothing was left beside the earlier file, which is as it was.
    EXPECT_EQ(FilesIn(ToUtf8(full)), (std::vector<std::string>{"s.png"}));
    EXPECT_EQ(testdata::ReadFileText(PathJoin(full, L"s.png")), "earlier");
    EXPECT_EQ(FilesIn(tmp.path()), (std::vector<std::string>{"blocker", "full", "full/s.png", "out", "out/s.png", "s.png"}));
}

TEST_F(ProcessorSave, SavesWithoutAResultWriteNothing) {
    CImageProcessor p;
    p.outputFolder = FromUtf8(out());
    p.outputName = L"x.jpg";
    EXPECT_FALSE(p.SaveGray8(p.outputFolder, p.outputName));
    EXPECT_FALSE(p.SaveColor24(p.outputFolder, p.outputName));
    EXPECT_FALSE(p.SaveResult());
    EXPECT_TRUE(FilesIn(out()).empty());
}

TEST_F(ProcessorSave, ExplicitOutputPathMode) {
    const std::string src = tmp.file("s.png");
    ASSERT_TRUE(testimg::WritePng(src, testimg::Pattern(8, 8, 3, 10), 2, 8));
    CImageProcessor p;
    ASSERT_TRUE(LoadAsResult(p, src, out(), "ignored.png"));
    p.outputPathMode = OUTPUT_TO_EXPLICIT_PATH;
    p.explicitOutputPath = tmp.wfile(L"chosen.png");
    ASSERT_TRUE(p.SaveResult());
    EXPECT_TRUE(testimg::ReadPng(tmp.file("chosen.png")).ok);
    EXPECT_FALSE(fs::exists(out() + "/ignored.png"));
}

// ---- Detection copies ----

TEST_F(ProcessorSave, DetectionRunsCopyFlaggedSourcesByteForByte) {
    const std::string src = tmp.file("s.jpg");
    ASSERT_TRUE(testimg::WriteJpeg(src, testimg::Pattern(20, 20, 3, 11), 77));
    for (const BYTE flagged : {BYTE{0}, BYTE{1}}) {
        SCOPED_TRACE(int(flagged));
        CImageProcessor p;
        p.runType = RUN_DETECTION;
        const std::wstring folder = FromUtf8(out() + "/a/b");
        const std::wstring name = L"s.jpg";
        ASSERT_TRUE(p.ReadFileBytes(FromUtf8(src).c_str()));
        ASSERT_TRUE(p.ProcessFile(FromUtf8(src), 0, &folder, &name, 0, 1));
        p.needsProcessing = flagged;
        ASSERT_TRUE(p.SaveResult());
        const std::string copy = out() + "/a/b/s.jpg";
        ASSERT_EQ(fs::exists(copy), bool(flagged));
        if (flagged) {
            const auto r = testimg::RunCommand("cmp '" + src + "' '" + copy + "'");
            EXPECT_TRUE(r.ok) << r.output;
        }
    }
}

// ---- Comparison images ----

TEST_F(ProcessorSave, ComparisonImagesFollowRunTypeSettingsAndMarks) {
    const Picture grey = testimg::Pattern(29, 23, 1, 12);
    const Picture rgb = testimg::Pattern(29, 23, 3, 13);
    ASSERT_TRUE(testimg::WritePng(tmp.file("g.png"), grey, 0, 8));
    ASSERT_TRUE(testimg::WritePng(tmp.file("c.png"), rgb, 2, 8));

    struct Case {
        const char* label;
        const char* source;
        RunType runType;
        int compareimage;
        bool stains, borders, holes;  // rmstains/on, rmblackborder/on, bindhole/on
        BYTE stainMark, holeMark;     // the mark flags the two engines last ran with
        const char* expectedFrom;     // "stain", "hole" or nullptr
    };
    const Case cases[] = {
        {"grey, stains, bit 1, run type 0", "g.png", 0, 2, true, false, false, 1, 0, "stain"},
        {"grey, borders, bit 1, run type 0", "g.png", 0, 2, false, true, false, 1, 0, "stain"},
        {"grey, run type 1", "g.png", 1, 2, true, false, false, 1, 0, nullptr},
        {"grey, bit 0 only", "g.png", 0, 1, true, false, false, 1, 0, nullptr},
        {"grey, neither step on", "g.png", 0, 2, false, false, true, 1, 1, nullptr},
        {"grey, no copy made", "g.png", 0, 2, true, false, false, 0, 0, nullptr},
        {"colour, stain mark", "c.png", 1, 0, true, false, true, 1, 1, "stain"},
        {"colour, stain mark but steps off", "c.png", 0, 7, false, false, true, 1, 1, "hole"},
        {"colour, hole mark", "c.png", 0, 4, false, false, true, 0, 1, "hole"},
        {"colour, hole mark, holes off", "c.png", 0, 4, false, false, false, 0, 1, nullptr},
        {"colour, no marks", "c.png", 0, 7, true, true, true, 0, 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        fs::remove_all(out());
        ProcessSetting::compareimage = c.compareimage;
        ProcessSetting::rmstains.on = c.stains;
        ProcessSetting::rmblackborder.on = c.borders;
        ProcessSetting::bindhole.on = c.holes;
        CImageProcessor p;
        p.runType = c.runType;
        ASSERT_TRUE(LoadAsResult(p, tmp.file(c.source), out(), "page.png"));
        const bool colour = p.colourImage != nullptr;
        const int bpp = colour ? 24 : 8;

        // The two engines run on the page as the pipeline runs them; the
        // page changes in between, so their copies differ.
        StainBorderParams stains;
        stains.page.grey = p.greyImage.get();
        stains.page.colour = p.colourImage.get();
        stains.page.width = p.width;
        stains.page.height = p.height;
        stains.page.bitsPerPixel = bpp;
        stains.threshold = 160;
        stains.stains = 1;
        stains.stainArea = 4.0f;
        stains.mark = c.stainMark;
        p.stainBorderRemover.Run(stains);
        (colour ? p.colourImage : p.greyImage)[0] ^= 0x55;
        BindHoleParams holes;
        holes.page.grey = p.greyImage.get();
        holes.page.colour = p.colourImage.get();
        holes.page.width = p.width;
        holes.page.height = p.height;
        holes.page.bitsPerPixel = bpp;
        holes.on = 1;
        holes.mark = c.holeMark;
        p.holeRemover.Run(holes);

        ASSERT_TRUE(p.SaveResult());
        const std::string comparison = out() + "/page_对比.png";
        ASSERT_EQ(fs::exists(comparison), c.expectedFrom != nullptr);
        EXPECT_TRUE(fs::exists(out() + "/page.png"));
        if (c.expectedFrom) {
            const auto png = testimg::ReadPng(comparison);
            ASSERT_TRUE(png.ok);
            const BYTE* copy = std::string(c.expectedFrom) == "stain" ? p.stainBorderRemover.ComparisonCopy()
                                                                       : p.holeRemover.ComparisonCopy();
            ASSERT_NE(copy, nullptr);
            EXPECT_TRUE(SamePixels(png.rgb, BufferAsRgb(copy, p.width, p.height, bpp)));
        }
    }
}
