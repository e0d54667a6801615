#include <gtest/gtest.h>

#include <dirent.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ConformanceUtil.h"
#include "support/TempDir.h"
#include "image/ByteStream.h"
#include "image/ExifReader.h"
#include "image/RasterPNG.h"

#include <cstdio>
#include <cstdlib>

using imgtest::CompareWithReference;
using imgtest::Difference;
using imgtest::LoadImage;
using imgtest::LoadReference;

namespace {

std::vector<std::string> FilesIn(const std::string& folder, const std::string& suffix) {
    std::vector<std::string> out;
    const std::string dir = testdata::ConformanceDir() + "/" + folder;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
                out.push_back(folder + "/" + name);
        }
        closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

TEST(PngConformance, EveryPngSuiteImageDecodesToLibpngsPixels) {
    const auto files = FilesIn("pngsuite", ".png");
    ASSERT_GE(files.size(), 35u) << "PngSuite missing: run scripts/setup";
    for (const auto& f : files) {
        CRaster img;
        if (!LoadImage(f, img, RASTER_FORMAT_PNG)) continue;
        testdata::Rgba8 ref;
        if (!LoadReference(f, ref)) continue;
        Difference d;
        ASSERT_TRUE(CompareWithReference(img, ref, &d)) << f;
        EXPECT_EQ(d.max, 0) << f;
        EXPECT_EQ(img.GetType(), RASTER_FORMAT_PNG);
        if (f.find("-31i") != std::string::npos) {
            EXPECT_EQ(img.GetFormatOption(RASTER_FORMAT_PNG) & 1, 1u) << f << " is interlaced";
        }
    }
}

TEST(PngConformance, InterlacedAndPlainPairsDecodeAlike) {
    const std::pair<const char*, const char*> pairs[] = {
        {"png/gray-gradient.png", "png/gray-gradient.interlaced.png"},
        {"png/benchRGB.png", "png/benchRGB-interlace.png"},
    };
    for (auto [plain, interlaced] : pairs) {
        CRaster a, b;
        if (!LoadImage(plain, a, RASTER_FORMAT_PNG) || !LoadImage(interlaced, b, RASTER_FORMAT_PNG)) continue;
        EXPECT_TRUE(imgtest::SamePicture(a, b, 0, true)) << interlaced;
        EXPECT_EQ(a.GetFormatOption(RASTER_FORMAT_PNG) & 1, 0u);
        EXPECT_EQ(b.GetFormatOption(RASTER_FORMAT_PNG) & 1, 1u);
    }
}

TEST(PngConformance, InvalidFilesFailWithAText) {
    for (const char* f : {"png/invalid-crc32.png", "png/invalid-noend.png", "png/invalid-trunc.png",
                          "png/invalid-zlib.png"}) {
        const std::string path = testdata::ConformanceFile(f);
        if (path.empty()) continue;
        CRaster img;
        EXPECT_FALSE(img.Load(std::wstring(path.begin(), path.end()), RASTER_FORMAT_PNG) &&
                     img.GetType() == RASTER_FORMAT_PNG)
            << f;
        EXPECT_FALSE(img.IsValid()) << f;
        EXPECT_STRNE(img.GetLastError(), "") << f;
    }
}

TEST(PngConformance, IndexBeyondThePaletteIsToleratedAsLibpngDoes) {
    // libpng reports pixel indices beyond PLTE as a benign error only; the
    // entries beyond the palette read as black.
    CRaster img;
    if (!LoadImage("png/invalid-palette.png", img, RASTER_FORMAT_PNG)) return;
    EXPECT_EQ(img.GetBitsPerPixel(), 8);
    EXPECT_LT(img.GetHeader().biClrImportant, 256u);
}

TEST(BmpConformance, BmpFilesMatchTheirPngReferences) {
    const std::pair<const char*, const char*> pairs[] = {
        {"xtiff/colormap.bmp", "xtiff/colormap.png"},
        {"xtiff/video-001.bmp", "xtiff/video-001.png"},
        {"xtiff/yellow_rose-small.bmp", "xtiff/yellow_rose-small.png"},
        {"xtiff/yellow_rose-small-v5.bmp", "xtiff/yellow_rose-small-v5.png"},
    };
    for (auto [bmp, png] : pairs) {
        CRaster img;
        testdata::Rgba8 ref;
        if (!LoadImage(bmp, img, RASTER_FORMAT_BMP) || !LoadReference(png, ref)) continue;
        Difference d;
        ASSERT_TRUE(CompareWithReference(img, ref, &d, false)) << bmp;
        EXPECT_EQ(d.max, 0) << bmp;
    }
}

TEST(JpegConformance, VariantsMatchTheirReferencesWithinATolerance) {
    // The references were decoded by another decoder: IDCT and chroma
    // upsampling differ slightly, so a tolerance, never bit-exactness.
    struct Case { const char* jpeg; const char* png; int maxDiff; double meanDiff; };
    const Case cases[] = {
        {"jpeg/video-001.jpeg", "jpeg/video-001.png", 24, 2.5},
        {"jpeg/video-001.progressive.jpeg", "jpeg/video-001.png", 24, 2.5},
        {"jpeg/video-001.progressive.truncated.jpeg", "jpeg/video-001.progressive.truncated.png", 24, 2.5},
        {"jpeg/video-001.cmyk.jpeg", "jpeg/video-001.cmyk.png", 24, 2.5},
        {"jpeg/video-001.221212.jpeg", "jpeg/video-001.221212.png", 32, 2.5},
        {"jpeg/video-005.gray.jpeg", "jpeg/video-005.gray.png", 8, 1.0},
    };
    for (const auto& c : cases) {
        CRaster img;
        testdata::Rgba8 ref;
        if (!LoadImage(c.jpeg, img, RASTER_FORMAT_JPG) || !LoadReference(c.png, ref)) continue;
        EXPECT_EQ(img.GetType(), RASTER_FORMAT_JPG);
        Difference d;
        ASSERT_TRUE(CompareWithReference(img, ref, &d)) << c.jpeg;
        EXPECT_LE(d.max, c.maxDiff) << c.jpeg;
        EXPECT_LE(d.mean, c.meanDiff) << c.jpeg;
    }
}

TEST(JpegConformance, EverySubsamplingDecodesAlikeInBaselineAndProgressive) {
    CRaster first;
    if (!LoadImage("jpeg/video-001.q50.444.jpeg", first, RASTER_FORMAT_JPG)) return;
    for (const char* s : {"410", "411", "420", "422", "440", "444"}) {
        const std::string base = std::string("jpeg/video-001.q50.") + s;
        CRaster baseline, progressive;
        if (!LoadImage(base + ".jpeg", baseline, RASTER_FORMAT_JPG) ||
            !LoadImage(base + ".progressive.jpeg", progressive, RASTER_FORMAT_JPG))
            continue;
        EXPECT_TRUE(imgtest::SamePicture(baseline, progressive, 0)) << s;
        EXPECT_EQ(baseline.GetWidth(), first.GetWidth()) << s;
    }
    for (const char* g : {"jpeg/video-005.gray.q50.jpeg", "jpeg/video-005.gray.q50.2x2.jpeg"}) {
        CRaster img;
        if (!LoadImage(g, img, RASTER_FORMAT_JPG)) continue;
        EXPECT_EQ(img.GetBitsPerPixel(), 8) << g;
        EXPECT_TRUE(img.HasGreyRamp()) << g;
    }
}

TEST(JpegConformance, TruncatedScanDataFails) {
    // Scan data cut short; (the Go set's "progressive.truncated" file lacks
    // scans but ends with a proper end marker, so it decodes).
    for (const char* f : {"skimage/truncated.jpg"}) {
        const std::string path = testdata::ConformanceFile(f);
        if (path.empty()) continue;
        CRaster img;
        EXPECT_FALSE(img.Load(std::wstring(path.begin(), path.end()), RASTER_FORMAT_JPG)) << f;
        EXPECT_FALSE(img.IsValid()) << f;
        EXPECT_STRNE(img.GetLastError(), "") << f;
    }
}

TEST(ExifConformance, EveryOrientationComesOutUpright) {
    CRaster upright;
    if (!LoadImage("exif/f1-exif.jpg", upright, RASTER_FORMAT_JPG)) return;
    for (int o = 1; o <= 8; ++o) {
        const std::string f = "exif/f" + std::to_string(o) + "-exif.jpg";
        CRaster img;
        if (!LoadImage(f, img, RASTER_FORMAT_JPG)) continue;
        EXPECT_EQ(img.GetExifInfo().orientation, 1) << f << ": the turn resets the orientation";
        Difference d;
        testdata::Rgba8 ref;
        ref.width = upright.GetWidth();
        ref.height = upright.GetHeight();
        ref.pixels.resize(std::size_t(ref.width) * ref.height * 4);
        for (DWORD y = 0; y < ref.height; ++y)
            for (DWORD x = 0; x < ref.width; ++x) {
                const RGBQUAD c = imgtest::At(upright, x, y);
                std::uint8_t* p = &ref.pixels[(std::size_t(y) * ref.width + x) * 4];
                p[0] = c.rgbRed;
                p[1] = c.rgbGreen;
                p[2] = c.rgbBlue;
                p[3] = 255;
            }
        ASSERT_TRUE(CompareWithReference(img, ref, &d)) << f;
        EXPECT_LE(d.mean, 3.0) << f;

        // A header-only load reports the upright size too.
        CRaster header;
        const std::string path = testdata::ConformanceFile(f);
        ASSERT_TRUE(header.Load(std::wstring(path.begin(), path.end()), RASTER_FORMAT_JPG, true));
        EXPECT_EQ(header.GetWidth(), upright.GetWidth()) << f;
        EXPECT_EQ(header.GetHeight(), upright.GetHeight()) << f;
    }
}

TEST(ExifConformance, CameraExifSegmentsAreRead) {
    // The camera samples are Exif headers whose image data was stripped:
    // the reader must find the Exif block in every one of them.
    const auto files = FilesIn("exif", ".jpg");
    ASSERT_GE(files.size(), 50u);
    for (const auto& f : files) {
        const std::string path = testdata::ConformanceFile(f);
        std::FILE* fp = std::fopen(path.c_str(), "rb");
        ASSERT_NE(fp, nullptr) << f;
        CFileStream s(fp);
        ExifInfo info{};
        CExifReader reader(&info);
        reader.Decode(&s, CExifReader::kReadExif);
        std::fclose(fp);
        EXPECT_EQ(info.isExif, 1) << f << ": " << reader.GetLastError();
        EXPECT_GE(info.orientation, 0) << f;
        EXPECT_LE(info.orientation, 8) << f;
    }
}

namespace {

// Decodes with the djpeg tool of the same library into a PNM file.
::testing::AssertionResult Djpeg(const std::string& jpeg, CRaster& out, const std::string& tmp) {
    const std::string cmd = "djpeg -pnm -outfile '" + tmp + "' '" + jpeg + "'";
    const int status = std::system(cmd.c_str());
    if (status != 0) return ::testing::AssertionFailure() << cmd << " exited with " << status;
    std::FILE* fp = std::fopen(tmp.c_str(), "rb");
    if (!fp) return ::testing::AssertionFailure() << "no output " << tmp;
    char magic[3] = {};
    unsigned w = 0, h = 0, maxval = 0;
    const bool header = std::fscanf(fp, "%2s %u %u %u", magic, &w, &h, &maxval) == 4;
    std::fgetc(fp);
    const bool grey = std::string(magic) == "P5";
    bool ok = header && maxval == 255 && out.Create(w, h, grey ? 8 : 24);
    if (ok && grey) out.MakeGreyRamp();
    std::vector<std::uint8_t> row(std::size_t(w) * (grey ? 1 : 3));
    for (unsigned y = 0; ok && y < h; ++y) {
        ok = std::fread(row.data(), 1, row.size(), fp) == row.size();
        BYTE* dib = out.GetBits(h - 1 - y);
        for (unsigned x = 0; ok && x < w; ++x) {
            if (grey) {
                dib[x] = row[x];
            } else {
                dib[3 * x] = row[3 * x + 2];
                dib[3 * x + 1] = row[3 * x + 1];
                dib[3 * x + 2] = row[3 * x];
            }
        }
    }
    std::fclose(fp);
    if (!ok) return ::testing::AssertionFailure() << "unreadable output of " << cmd;
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST(JpegConformance, PixelsEqualTheLibrarysOwnDecoderTool) {
    // djpeg runs the same library: every file but CMYK (converted by the
    // codec itself) must come out identical.
    ASSERT_EQ(std::system("command -v djpeg > /dev/null"), 0) << "djpeg missing: run scripts/setup";
    testdata::TempDir dir;
    for (const auto& f : FilesIn("jpeg", ".jpeg")) {
        if (f.find("cmyk") != std::string::npos) continue;
        CRaster ours, theirs;
        if (!LoadImage(f, ours, RASTER_FORMAT_JPG)) continue;
        ASSERT_TRUE(Djpeg(testdata::ConformanceFile(f), theirs, dir.file("djpeg.pnm"))) << f;
        EXPECT_TRUE(imgtest::SamePicture(ours, theirs, 0)) << f;
        EXPECT_EQ(ours.GetBitsPerPixel(), theirs.GetBitsPerPixel()) << f;
    }
}
