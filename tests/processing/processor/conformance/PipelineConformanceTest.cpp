// Real files of the Debian conformance sets through the default pipeline
// (background removal and deskew on): the saved file keeps the source's
// format, depth, resolution and compression, at the size the deskew leaves.
#include <gtest/gtest.h>

#include <string>
#include <tiffio.h>

#include "../ProcessorTestUtil.h"
#include "platform/core/Strings.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/processor/ProcessOneFile.h"
#include "processing/Rotation.h"
#include "support/Conformance.h"
#include "support/ImageFiles.h"
#include "support/TempDir.h"

namespace {

struct Saved {
    bool ok = false;
    int width = 0, height = 0, depth = 0, dpi = 0, compression = 0;
};

Saved ReadBack(const std::string& path, const std::string& kind) {
    Saved s;
    if (kind == "png") {
        const testimg::PngInfo i = testimg::ReadPng(path);
        const int channels = i.colorType == 2 ? 3 : (i.colorType == 0 ? 1 : 0);
        s = {i.ok, i.width, i.height, channels * i.bitDepth, i.hasPhys ? static_cast<int>(i.physX * 0.0254 + 0.5) : 0, 0};
    } else if (kind == "jpeg") {
        const testimg::JpegInfo i = testimg::ReadJpeg(path);
        s = {i.ok, i.width, i.height, 8 * i.components, i.densityUnit == 1 ? i.xDensity : 0, 0};
    } else {
        const auto pages = testimg::ReadTiff(path);
        if (pages.size() != 1) return s;
        const auto& p = pages[0];
        s = {true, p.width, p.height, p.bitsPerSample * p.samplesPerPixel, static_cast<int>(p.xResolution + 0.5f),
             p.compression};
    }
    return s;
}

class PipelineConformance : public proctest::SettingsReset {};

}  // namespace

TEST_F(PipelineConformance, RealFilesKeepFormatDepthAndResolution) {
    const struct Case {
        const char* file;
        const char* kind;
        int depth;
    } cases[] = {
        {"skimage/page.png", "png", 8},                     // a real book page, grey
        {"jpeg/video-001.jpeg", "jpeg", 24},
        {"jpeg/video-001.progressive.jpeg", "jpeg", 24},
        {"jpeg/video-005.gray.jpeg", "jpeg", 8},
        {"xtiff/bw-gopher_ccittGroup4.tiff", "tiff", 1},
        {"xtiff/bw-packbits.tiff", "tiff", 1},
        {"xtiff/video-001-tile-64x64.tiff", "tiff", 24},
        {"xtiff/video-001-gray.tiff", "tiff", 8},
    };
    testdata::TempDir tmp;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string src = testdata::ConformanceFile(c.file);
        ASSERT_FALSE(src.empty());
        const std::string name = std::string(c.file).substr(std::string(c.file).find('/') + 1);
        CImageProcessor p;
        const OneFileOutcome o =
            ProcessOneFile(p, FromUtf8(src), tmp.wfile(L"out"), FromUtf8(name), RUN_DESKEW_METHOD_0, 3);
        ASSERT_TRUE(o.saved);
        const Saved s = ReadBack(tmp.file("out/" + name), c.kind);
        ASSERT_TRUE(s.ok);
        int w = 0, h = 0;
        ASSERT_TRUE(rotation::CanvasSize(-static_cast<double>(p.skewSearcher.skewAngle), p.width, p.height, &w, &h));
        EXPECT_EQ(s.width, w);
        EXPECT_EQ(s.height, h);
        EXPECT_EQ(s.depth, c.depth);
        EXPECT_EQ(s.dpi, p.dpiX);
        if (std::string(c.kind) == "tiff") {
            const auto source = testimg::ReadTiff(src);
            ASSERT_FALSE(source.empty());
            EXPECT_EQ(s.compression, source[0].compression == COMPRESSION_OJPEG ? COMPRESSION_JPEG : source[0].compression);
            if (source[0].xResolution > 0 && source[0].resolutionUnit == RESUNIT_INCH) {
                EXPECT_EQ(p.dpiX, static_cast<int>(source[0].xResolution + 0.5f));
            }
        }
    }
}
