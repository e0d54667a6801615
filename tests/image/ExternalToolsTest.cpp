// Files we write must be readable by the Debian command-line tools of the
// formats' reference libraries.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>

#include "image/Raster.h"
#include "image/ByteStream.h"
#include "image/RasterPNG.h"
#include "image/RasterTIF.h"
#include "RasterTestUtil.h"
#include "support/TempDir.h"

namespace {

// Runs a command; returns its exit status and its standard output.
int RunTool(const std::string& cmd, std::string& output) {
    output.clear();
    std::FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    if (!p) return -1;
    std::array<char, 512> buf;
    while (std::fgets(buf.data(), buf.size(), p)) output += buf.data();
    const int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HaveTool(const char* tool) {
    std::string out;
    return RunTool(std::string("command -v ") + tool, out) == 0;
}

}  // namespace

TEST(ExternalTools, DjpegReadsOurJpegs) {
    ASSERT_TRUE(HaveTool("djpeg")) << "djpeg missing: run scripts/setup";
    testdata::TempDir dir;
    for (int bpp : {8, 24}) {
        CRaster img;
        ASSERT_TRUE(img.Create(45, 31, bpp));
        imgtest::FillRandom(img, 3);
        if (bpp == 8) img.MakeGreyRamp();
        img.SetDpiX(300);
        img.SetDpiY(300);
        const std::string path = dir.file("out" + std::to_string(bpp) + ".jpg");
        ASSERT_TRUE(img.Save(std::wstring(path.begin(), path.end()), RASTER_FORMAT_JPG));
        std::string out;
        EXPECT_EQ(RunTool("djpeg -verbose -outfile /dev/null '" + path + "'", out), 0) << out;
        EXPECT_NE(out.find("JFIF APP0 marker"), std::string::npos) << out;
        EXPECT_NE(out.find("density 300x300  1"), std::string::npos) << out;
        EXPECT_EQ(out.find("Corrupt"), std::string::npos) << out;
        EXPECT_EQ(out.find("Premature"), std::string::npos) << out;
    }
}

TEST(ExternalTools, PngcheckAcceptsOurPngs) {
    ASSERT_TRUE(HaveTool("pngcheck")) << "pngcheck missing: run scripts/setup";
    testdata::TempDir dir;
    struct Case { int bpp; bool alpha; bool grey; DWORD option; };
    const Case cases[] = {{1, false, false, 0}, {4, false, false, 0}, {8, false, true, 0},
                          {8, true, true, 0}, {24, false, false, PNG_OPTION_INTERLACED}, {24, true, false, 6}};
    for (const auto& c : cases) {
        CRaster img;
        ASSERT_TRUE(img.Create(21, 17, c.bpp));
        if (c.alpha) img.CreateAlphaPlane();
        imgtest::FillRandom(img, 9);
        if (c.grey) img.MakeGreyRamp();
        img.SetFormatOption(c.option, RASTER_FORMAT_PNG);
        const std::string path = dir.file("out.png");
        ASSERT_TRUE(img.Save(std::wstring(path.begin(), path.end()), RASTER_FORMAT_PNG));
        std::string out;
        EXPECT_EQ(RunTool("pngcheck -v '" + path + "'", out), 0) << out;
        EXPECT_NE(out.find("bKGD"), std::string::npos) << out;
        EXPECT_NE(out.find("pHYs"), std::string::npos) << out;
        EXPECT_NE(out.find("No errors detected"), std::string::npos) << out;
    }
}

TEST(ExternalTools, TiffinfoReadsOurSingleAndMultiPageFiles) {
    ASSERT_TRUE(HaveTool("tiffinfo")) << "tiffinfo missing: run scripts/setup";
    testdata::TempDir dir;
    const std::string path = dir.file("pages.tif");
    std::FILE* fp = std::fopen(path.c_str(), "w+b");
    ASSERT_NE(fp, nullptr);
    {
        CFileStream stream(fp);
        CRasterTIF tif;
        for (int bpp : {1, 8, 24}) {
            CRaster page;
            ASSERT_TRUE(page.Create(30, 20, bpp));
            imgtest::FillRandom(page, bpp);
            if (bpp == 8) page.MakeGreyRamp();
            page.SetDpiX(300);
            page.SetDpiY(300);
            BYTE* buffer = nullptr;
            std::int32_t size = 0;
            ASSERT_TRUE(page.EncodeToMemory(buffer, size, RASTER_FORMAT_TIF));
            ASSERT_TRUE(tif.DecodeFromMemory(buffer, DWORD(size), RASTER_FORMAT_TIF));
            std::free(buffer);
            ASSERT_TRUE(tif.Encode(&stream, true)) << tif.GetLastError();
        }
    }
    std::fclose(fp);
    std::string out;
    EXPECT_EQ(RunTool("tiffinfo -D '" + path + "'", out), 0) << out;
    EXPECT_EQ(out.find("rror"), std::string::npos) << out;
    for (const char* expect : {"TIFF Directory at offset", "CCITT Group 4", "LZW", "JPEG", "Page Number: 3-3",
                               "PageName: Page 2", "Resolution: 300, 300 pixels/inch"})
        EXPECT_NE(out.find(expect), std::string::npos) << expect << "\n" << out;
}
