#include <gtest/gtest.h>

#include <string>

#include "ConformanceUtil.h"
#include "image/RasterTIF.h"

using imgtest::CompareWithReference;
using imgtest::Difference;
using imgtest::LoadImage;
using imgtest::LoadReference;

TEST(TiffConformance, PagesMatchTheirPngReferences) {
    struct Case { const char* tiff; const char* png; int maxDiff; DWORD compression; };
    const Case cases[] = {
        {"xtiff/bw-gopher_ccittGroup3.tiff", "xtiff/bw-gopher.png", 0, 3},
        {"xtiff/bw-gopher_ccittGroup4.tiff", "xtiff/bw-gopher.png", 0, 4},
        {"xtiff/blue-purple-pink.lzwcompressed.tiff", "xtiff/blue-purple-pink.png", 0, 5},
        {"xtiff/video-001.tiff", "xtiff/video-001.png", 0, 0},
        {"xtiff/video-001-uncompressed.tiff", "xtiff/video-001.png", 0, 1},
        {"xtiff/video-001-strip-64.tiff", "xtiff/video-001.png", 0, 0},
        {"xtiff/video-001-tile-64x64.tiff", "xtiff/video-001.png", 0, 0},
        {"xtiff/video-001-16bit.tiff", "xtiff/video-001.png", 0, 0},
    };
    for (const auto& c : cases) {
        CRaster img;
        testdata::Rgba8 ref;
        if (!LoadImage(c.tiff, img, RASTER_FORMAT_TIF) || !LoadReference(c.png, ref)) continue;
        Difference d;
        ASSERT_TRUE(CompareWithReference(img, ref, &d)) << c.tiff;
        EXPECT_LE(d.max, c.maxDiff) << c.tiff;
        EXPECT_EQ(img.GetType(), RASTER_FORMAT_TIF);
        EXPECT_EQ(img.GetFrameCount(), 1) << c.tiff;
        if (c.compression) {
            EXPECT_EQ(img.GetFormatOption(RASTER_FORMAT_TIF), c.compression) << c.tiff;
        }
    }
}

TEST(TiffConformance, SameFileInEveryCompressionDecodesAlike) {
    CRaster plain;
    if (!LoadImage("xtiff/bw-uncompressed.tiff", plain, RASTER_FORMAT_TIF)) return;
    EXPECT_EQ(plain.GetBitsPerPixel(), 1);
    for (const char* f : {"xtiff/bw-packbits.tiff", "xtiff/bw-deflate.tiff"}) {
        CRaster img;
        if (!LoadImage(f, img, RASTER_FORMAT_TIF)) continue;
        EXPECT_TRUE(imgtest::SamePicture(img, plain)) << f;
    }
    CRaster noRps, noCompress;
    if (LoadImage("xtiff/no_rps.tiff", noRps, RASTER_FORMAT_TIF) &&
        LoadImage("xtiff/no_compress.tiff", noCompress, RASTER_FORMAT_TIF)) {
        EXPECT_TRUE(imgtest::SamePicture(noRps, noCompress)) << "a missing RowsPerStrip means one strip";
    }
}

TEST(TiffConformance, PaletteGreyAndSixteenBitGrey) {
    CRaster colour, paletted, grey, grey16;
    if (!LoadImage("xtiff/video-001.tiff", colour, RASTER_FORMAT_TIF)) return;
    if (LoadImage("xtiff/video-001-paletted.tiff", paletted, RASTER_FORMAT_TIF)) {
        EXPECT_EQ(paletted.GetBitsPerPixel(), 8);
        EXPECT_FALSE(paletted.HasGreyRamp());
        EXPECT_TRUE(imgtest::SamePicture(paletted, colour, 80)) << "a 256-colour version of the same picture";
    }
    if (LoadImage("xtiff/video-001-gray.tiff", grey, RASTER_FORMAT_TIF) &&
        LoadImage("xtiff/video-001-gray-16bit.tiff", grey16, RASTER_FORMAT_TIF)) {
        EXPECT_EQ(grey.GetBitsPerPixel(), 8);
        EXPECT_TRUE(grey.HasGreyRamp());
        EXPECT_EQ(grey16.GetBitsPerPixel(), 8);
        // The 16-bit page uses its full range: its brightest value keeps its
        // top bit, so it reads like the 8-bit page (to within rounding).
        EXPECT_TRUE(imgtest::SamePicture(grey16, grey, 1));
    }
}

TEST(TiffConformance, RealTwoPageFile) {
    const std::string path = testdata::ConformanceFile("skimage/multipage.tif");
    if (path.empty()) return;
    const std::wstring wpath(path.begin(), path.end());
    CRaster pages[2];
    for (int i = 0; i < 2; ++i) {
        pages[i].SelectFrame(i);
        ASSERT_TRUE(pages[i].Load(wpath, RASTER_FORMAT_TIF)) << i << ": " << pages[i].GetLastError();
        EXPECT_EQ(pages[i].GetFrameCount(), 2);
        EXPECT_EQ(pages[i].GetWidth(), 10u);
        EXPECT_EQ(pages[i].GetHeight(), 15u);
        EXPECT_EQ(pages[i].GetDpiX(), 72);
    }
    EXPECT_FALSE(imgtest::SamePicture(pages[0], pages[1])) << "two different pages";
    CRaster missing;
    missing.SelectFrame(2);
    EXPECT_FALSE(missing.Load(wpath, RASTER_FORMAT_TIF));
    EXPECT_STREQ(missing.GetLastError(), "Error: page not present in TIFF file");
    EXPECT_EQ(missing.GetFrameCount(), 2);

    CRaster header;
    ASSERT_TRUE(header.Load(wpath, RASTER_FORMAT_TIF, true));
    EXPECT_FALSE(header.IsValid());
    EXPECT_EQ(header.GetWidth(), 10u);
    EXPECT_EQ(header.GetDpiY(), 72);
}
