#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <tiffio.h>
#include <vector>

#include "platform/core/Files.h"
#include "platform/core/MessagePump.h"
#include "platform/core/Strings.h"
#include "processing/processor/ImageProcessor.h"
#include "settings/ProcessSetting.h"
#include "support/ImageFiles.h"
#include "support/RecordingWindow.h"
#include "support/TempDir.h"
#include "ProcessorTestUtil.h"

using testdata::TempDir;
using testimg::Picture;
namespace fs = std::filesystem;

namespace {

Picture Bits(int w, int h, unsigned seed) {
    Picture p = testimg::Pattern(w, h, 1, seed);
    for (auto& v : p.pixels) v &= 1;
    return p;
}

// The pages of the mixed file below, as the reader sees them (RGB).
Picture AsRgb(const Picture& p, int bitsPerSample, int photometric) {
    Picture out(p.width, p.height, 3);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            for (int c = 0; c < 3; ++c) {
                int v;
                if (bitsPerSample == 1)
                    v = (p.at(x, y) != 0) == (photometric == PHOTOMETRIC_MINISBLACK) ? 255 : 0;
                else if (p.channels == 1)
                    v = px::Grey(p.at(x, y), p.at(x, y), p.at(x, y));  // grey levels pass the palette formula
                else
                    v = p.at(x, y, c);
                out.at(x, y, c) = static_cast<std::uint8_t>(v);
            }
    return out;
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> out;
    if (!fs::exists(folder)) return out;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        out.push_back(fs::relative(e.path(), folder).string());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

class MultiPage : public proctest::SettingsReset {
protected:
    TempDir tmp;
    std::wstring outFolder() const { return tmp.wfile(L"out"); }

    // Reads the file and runs its whole page loop as a worker does.
    bool Process(CImageProcessor& p, const std::string& src, const std::wstring& name, int index = 0) {
        const std::wstring wsrc = FromUtf8(src);
        const std::wstring folder = outFolder();
        return p.ReadFileBytes(wsrc.c_str()) && p.ProcessFile(wsrc, 0, &folder, &name, index, 1);
    }
};

TEST_F(MultiPage, AMixedDepthFileIsReassembledPageByPage) {
    struct Page { Picture picture; int bits; int photometric; int compression; };
    const std::vector<Page> pages = {
        {testimg::Pattern(20, 12, 1, 1), 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW},
        {testimg::Pattern(17, 9, 3, 2), 8, PHOTOMETRIC_RGB, COMPRESSION_NONE},
        {Bits(23, 14, 3), 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4},
    };
    std::vector<testimg::TiffPage> spec;
    for (const auto& pg : pages) spec.push_back({pg.picture, pg.bits, pg.photometric, pg.compression});
    const std::string src = tmp.file("doc.tif");
    ASSERT_TRUE(testimg::WriteTiff(src, spec));

    CImageProcessor p;
    ASSERT_TRUE(Process(p, src, L"doc.tif"));
    // The worker's part leaves one file per page in the temporary folder.
    const std::string pageFolder = tmp.file("out/doc_tmpformultiframe");
    EXPECT_EQ(p.TempPageFolder(), FromUtf8(pageFolder));
    EXPECT_EQ(FilesIn(pageFolder), (std::vector<std::string>{"0.tif", "1.tif", "2.tif"}));
    EXPECT_FALSE(p.fileBytes);

    ASSERT_TRUE(p.SaveResult());
    EXPECT_FALSE(fs::exists(pageFolder));
    EXPECT_EQ(FilesIn(tmp.file("out")), (std::vector<std::string>{"doc.tif"}));

    const auto written = testimg::ReadTiff(tmp.file("out/doc.tif"));
    ASSERT_EQ(written.size(), 3u);
    // Each page keeps its depth; the compression chosen for the file (page
    // 0's LZW) suits every page here.
    const int depths[3] = {8, 24, 1};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(written[i].width, pages[i].picture.width);
        EXPECT_EQ(written[i].height, pages[i].picture.height);
        EXPECT_EQ(written[i].bitsPerSample * written[i].samplesPerPixel, depths[i]);
        EXPECT_EQ(written[i].compression, COMPRESSION_LZW);
        EXPECT_TRUE(written[i].hasPageNumber);
        EXPECT_EQ(written[i].pageNumber, i + 1);
        const Picture expected = AsRgb(pages[i].picture, pages[i].bits, pages[i].photometric);
        EXPECT_EQ(written[i].rgb.pixels, expected.pixels);
    }
    const auto info = testimg::RunCommand("tiffinfo '" + tmp.file("out/doc.tif") + "'");
    ASSERT_TRUE(info.ok) << info.output;
    std::size_t directories = 0;
    for (std::size_t at = 0; (at = info.output.find("TIFF Directory at offset", at)) != std::string::npos; ++at)
        ++directories;
    EXPECT_EQ(directories, 3u);
}

TEST_F(MultiPage, EachPageGetsACompressionValidForItsDepth) {
    // Page 0 is fax coded: the colour and grey pages cannot be, and are
    // written losslessly; with the JPEG choice the 1-bit pages stay fax coded
    // and the others are JPEG at the chosen quality.
    const std::vector<testimg::TiffPage> spec = {
        {Bits(16, 16, 4), 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4},
        {testimg::Pattern(16, 16, 3, 5), 8, PHOTOMETRIC_RGB, COMPRESSION_NONE},
        {testimg::Pattern(16, 16, 1, 6), 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE},
    };
    const std::string src = tmp.file("fax.tif");
    ASSERT_TRUE(testimg::WriteTiff(src, spec));
    struct Case { int choice; int expected[3]; };
    for (const Case c : {Case{0, {COMPRESSION_CCITTFAX4, COMPRESSION_LZW, COMPRESSION_LZW}},
                         Case{1, {COMPRESSION_CCITTFAX4, COMPRESSION_JPEG, COMPRESSION_JPEG}},
                         Case{2, {COMPRESSION_LZW, COMPRESSION_LZW, COMPRESSION_LZW}}}) {
        SCOPED_TRACE(c.choice);
        ProcessSetting::filesave.tiffcompress = c.choice;
        ProcessSetting::filesave.jpgquality = 33;
        CImageProcessor p;
        ASSERT_TRUE(Process(p, src, L"fax.tif"));
        ASSERT_TRUE(p.SaveResult());
        const auto written = testimg::ReadTiff(tmp.file("out/fax.tif"));
        ASSERT_EQ(written.size(), 3u);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(written[i].compression, c.expected[i]) << "page " << i;
            if (c.expected[i] == COMPRESSION_JPEG) {
                // The chosen quality reaches the assembled file.
                ASSERT_TRUE(written[i].hasJpegTable);
                EXPECT_EQ(written[i].jpegLuminanceTable, testimg::LuminanceTableForQuality(33)) << "page " << i;
            }
        }
        EXPECT_EQ(FilesIn(tmp.file("out")), (std::vector<std::string>{"fax.tif"}));
    }
}

TEST_F(MultiPage, APageThatCannotBeLoadedFailsTheFileAndLeavesNothing) {
    // The middle page has 4 bits per sample, which no working image takes.
    Picture nibbles = testimg::Pattern(10, 10, 1, 7);
    for (auto& v : nibbles.pixels) v &= 15;
    const std::string src = tmp.file("bad.tif");
    ASSERT_TRUE(testimg::WriteTiff(src, {{testimg::Pattern(10, 10, 1, 8), 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE},
                                         {nibbles, 4, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE},
                                         {testimg::Pattern(10, 10, 1, 9), 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE}}));
    ASSERT_TRUE(files::CreateDirectory(outFolder()));
    MessagePump pump;
    testdata::RecordingWindow window;
    SetMainWindowHandle(window.hwnd());

    auto p = std::make_unique<CImageProcessor>();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(Process(*p, src, L"bad.tif"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    p.reset();  // the worker deletes a failed processor
    pump.Pump();
    EXPECT_EQ(window.count(), 0u);  // nothing announced
    EXPECT_TRUE(FilesIn(tmp.file("out")).empty());
    SetMainWindowHandle(HWND());
}

// A multi-page file whose page chain is cut (a copy broken off part way)
// has lost pages: it fails whole, nothing is announced or written, instead
// of being saved with the pages that are left.
TEST_F(MultiPage, AFileWhosePageChainIsCutFailsWhole) {
    const Picture g = testimg::Pattern(64, 64, 1, 12);
    const testimg::TiffPage page{g, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE};
    ASSERT_TRUE(files::CreateDirectory(outFolder()));
    MessagePump pump;
    testdata::RecordingWindow window;
    SetMainWindowHandle(window.hwnd());
    for (double share : {0.5, 0.9}) {
        const std::string src = tmp.file("cut.tif");
        ASSERT_TRUE(testimg::WriteTiff(src, {page, page, page}));
        ASSERT_TRUE(testimg::TruncateFile(src, share));
        CImageProcessor p;
        EXPECT_FALSE(Process(p, src, L"cut.tif")) << share;
        pump.Pump();
        EXPECT_EQ(window.count(), 0u) << share;
        EXPECT_TRUE(FilesIn(tmp.file("out")).empty()) << share;
    }
    // The same file whole is three pages, and a file of one page is one.
    for (int pages : {3, 1}) {
        const std::string src = tmp.file("whole.tif");
        ASSERT_TRUE(testimg::WriteTiff(src, std::vector<testimg::TiffPage>(std::size_t(pages), page)));
        CImageProcessor p;
        EXPECT_TRUE(Process(p, src, L"whole.tif")) << pages;
        EXPECT_EQ(p.pageCount, pages);
        pump.Pump();
    }
    EXPECT_EQ(window.count(), 2u);
    SetMainWindowHandle(HWND());
}

TEST_F(MultiPage, TheLastPageAnnouncesTheFileOnce) {
    const std::string src = tmp.file("three.tif");
    const Picture g = testimg::Pattern(8, 8, 1, 10);
    ASSERT_TRUE(testimg::WriteTiff(src, {{g, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE},
                                         {g, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE},
                                         {g, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE}}));
    MessagePump pump;
    testdata::RecordingWindow window;
    SetMainWindowHandle(window.hwnd());
    CImageProcessor p;
    ASSERT_TRUE(Process(p, src, L"three.tif", 41));
    pump.Pump();
    const auto got = window.received();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].message, WM_IMAGE_PROCESSED);
    EXPECT_EQ(got[0].wParam, reinterpret_cast<WPARAM>(&p));
    EXPECT_EQ(got[0].lParam, 41);
    EXPECT_EQ(p.currentPage, 2);
    SetMainWindowHandle(HWND());
}

TEST_F(MultiPage, BlankPagesAreDroppedOneByOne) {
    // White pages and patterned pages; the blank-page detector judges each
    // page by its share of dark pixels.
    const Picture white(12, 9, 1);
    Picture whitePage = white;
    for (auto& v : whitePage.pixels) v = 255;
    auto tiffOf = [&](const std::string& name, const std::vector<bool>& blank) {
        std::vector<testimg::TiffPage> spec;
        for (std::size_t i = 0; i < blank.size(); ++i)
            spec.push_back({blank[i] ? whitePage : testimg::Pattern(12, 9, 1, 20 + unsigned(i)), 8,
                            PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE});
        EXPECT_TRUE(testimg::WriteTiff(tmp.file(name), spec));
        return tmp.file(name);
    };
    const std::string mixed = tiffOf("mixed.tif", {true, false, true, false});
    const std::string allWhite = tiffOf("white.tif", {true, true, true, true});
    const std::wstring folder = outFolder();
    const std::wstring name = L"doc.tif";

    // The page loop of a run whose blank-page step is on.
    auto run = [&](CImageProcessor& p, const std::string& src) {
        const std::wstring wsrc = FromUtf8(src);
        EXPECT_TRUE(p.ReadFileBytes(wsrc.c_str()));
        BYTE first = 1;
        p.droppedPages.clear();
        p.keptPageCount = 0;
        // Four pages: a loop that does not end after them never will.
        for (int page = 0;; ++page) {
            ASSERT_LT(page, 4) << "the page loop does not end after the last page";
            EXPECT_TRUE(p.LoadImageFile(wsrc.c_str(), first));
            first = 0;
            p.RunPage(wsrc, 0, &folder, &name, 0);
            BlankPageParams blank;
            blank.page.grey = p.result;
            blank.page.width = p.resultWidth;
            blank.page.height = p.resultHeight;
            blank.type = BlankTest::kByDarkPixels;
            blank.threshold = 128;
            blank.contentPercent = 1.0f;
            p.blankDetector.Detect(blank);
            const auto end = p.FinishPage(0);
            EXPECT_NE(end, CImageProcessor::PageEnd::kFailed);
            if (end != CImageProcessor::PageEnd::kNextPage) break;
        }
    };

    ProcessSetting::rmblankpage.on = 1;
    {
        CImageProcessor p;
        run(p, mixed);
        EXPECT_FALSE(p.IsBlankResult());
        ASSERT_TRUE(p.SaveResult());
        const auto written = testimg::ReadTiff(tmp.file("out/doc.tif"));
        const auto source = testimg::ReadTiff(mixed);
        ASSERT_EQ(written.size(), 2u);
        EXPECT_EQ(written[0].rgb.pixels, AsRgb(testimg::Pattern(12, 9, 1, 21), 8, 1).pixels);
        EXPECT_EQ(written[1].rgb.pixels, AsRgb(testimg::Pattern(12, 9, 1, 23), 8, 1).pixels);
        EXPECT_EQ(FilesIn(tmp.file("out")), (std::vector<std::string>{"doc.tif"}));
    }
    {
        // Only when every page is blank is there no output (and an earlier
        // one goes).
        CImageProcessor p;
        run(p, allWhite);
        EXPECT_TRUE(p.IsBlankResult());
        ASSERT_TRUE(p.SaveResult());
        EXPECT_TRUE(FilesIn(tmp.file("out")).empty());
    }
    ProcessSetting::rmblankpage.on = 0;
    {
        CImageProcessor p;
        run(p, allWhite);
        EXPECT_FALSE(p.IsBlankResult());
        ASSERT_TRUE(p.SaveResult());
        EXPECT_EQ(testimg::ReadTiff(tmp.file("out/doc.tif")).size(), 4u);
    }
}

TEST_F(MultiPage, PageFilesDoNotOutliveAnAbandonedProcessor) {
    const std::string src = tmp.file("two.tif");
    const Picture g = testimg::Pattern(8, 8, 1, 30);
    ASSERT_TRUE(testimg::WriteTiff(src, {{g, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE},
                                         {g, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE}}));
    {
        CImageProcessor p;
        ASSERT_TRUE(Process(p, src, L"two.tif"));
        EXPECT_TRUE(fs::exists(tmp.file("out/two_tmpformultiframe/1.tif")));
    }
    EXPECT_TRUE(FilesIn(tmp.file("out")).empty());
}

TEST_F(MultiPage, SavingOnePageOverAMultiPageFileIsRefused) {
    const std::string src = tmp.file("two.tif");
    const Picture g = testimg::Pattern(8, 8, 1, 31);
    ASSERT_TRUE(testimg::WriteTiff(src, {{g, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE},
                                         {g, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE}}));
    const auto before = fs::file_size(src);
    CImageProcessor p;
    ASSERT_TRUE(proctest::Load(p, src));
    p.result = p.greyImage.get();
    p.resultWidth = p.width;
    p.resultHeight = p.height;
    p.resultDepth = 8;
    p.outputPathMode = OUTPUT_TO_EXPLICIT_PATH;
    p.explicitOutputPath = FromUtf8(src);
    EXPECT_FALSE(p.SaveResult());
    EXPECT_EQ(testimg::ReadTiff(src).size(), 2u);
    EXPECT_EQ(fs::file_size(src), before);
}

TEST_F(MultiPage, DetectionRunsKeepNoPageFiles) {
    const std::string src = tmp.file("two.tif");
    const Picture g = testimg::Pattern(8, 8, 1, 32);
    ASSERT_TRUE(testimg::WriteTiff(src, {{g, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE},
                                         {g, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE}}));
    CImageProcessor p;
    p.runType = RUN_DETECTION;
    ASSERT_TRUE(Process(p, src, L"two.tif"));
    EXPECT_TRUE(FilesIn(tmp.file("out")).empty());
    p.needsProcessing = 1;
    ASSERT_TRUE(p.SaveResult());
    EXPECT_EQ(FilesIn(tmp.file("out")), (std::vector<std::string>{"two.tif"}));
    EXPECT_EQ(testimg::ReadTiff(tmp.file("out/two.tif")).size(), 2u);
}

TEST_F(MultiPage, TwoFilesOfOneBaseNameKeepTheirPagesApart) {
    // a.tif and a.tiff in one folder, processed at the same time by two
    // workers: their page folders must not mix.
    const std::string first = tmp.file("a.tif");
    const std::string second = tmp.file("a.tiff");
    const Picture p0 = testimg::Pattern(8, 8, 1, 40), p1 = testimg::Pattern(8, 8, 1, 41);
    const Picture q0 = testimg::Pattern(9, 5, 1, 42), q1 = testimg::Pattern(9, 5, 1, 43);
    ASSERT_TRUE(testimg::WriteTiff(first, {{p0, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE},
                                           {p1, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE}}));
    ASSERT_TRUE(testimg::WriteTiff(second, {{q0, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE},
                                            {q1, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE}}));
    const std::wstring folder = outFolder();
    const std::wstring names[2] = {L"a.tif", L"a.tiff"};
    const std::wstring sources[2] = {FromUtf8(first), FromUtf8(second)};
    CImageProcessor p[2];
    for (int k = 0; k < 2; ++k) ASSERT_TRUE(p[k].ReadFileBytes(sources[k].c_str()));
    // Page by page, alternating between the two files.
    for (int page = 0; page < 2; ++page)
        for (int k = 0; k < 2; ++k) {
            ASSERT_TRUE(p[k].LoadImageFile(sources[k].c_str(), page == 0 ? 1 : 0));
            p[k].RunPage(sources[k], 0, &folder, &names[k], k);
            ASSERT_NE(p[k].FinishPage(k), CImageProcessor::PageEnd::kFailed);
        }
    EXPECT_NE(p[0].TempPageFolder(), p[1].TempPageFolder());
    for (int k = 0; k < 2; ++k) ASSERT_TRUE(p[k].SaveResult());
    EXPECT_EQ(FilesIn(tmp.file("out")), (std::vector<std::string>{"a.tif", "a.tiff"}));
    const auto a = testimg::ReadTiff(tmp.file("out/a.tif"));
    const auto b = testimg::ReadTiff(tmp.file("out/a.tiff"));
    ASSERT_EQ(a.size(), 2u);
    ASSERT_EQ(b.size(), 2u);
    EXPECT_EQ(a[0].rgb.pixels, AsRgb(p0, 8, 1).pixels);
    EXPECT_EQ(a[1].rgb.pixels, AsRgb(p1, 8, 1).pixels);
    EXPECT_EQ(b[0].rgb.pixels, AsRgb(q0, 8, 1).pixels);
    EXPECT_EQ(b[1].rgb.pixels, AsRgb(q1, 8, 1).pixels);
}
