// Every image of the conformance sets loaded by the processor and by way of
// a BMP file in memory, page by page, with identical working images and
// stored headers; BMP files through the codec image; and the loaded pages
// saved again in every format on both roads with identical files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "../LoadSaveCompare.h"
#include "../ProcessorTestUtil.h"
#include "platform/core/Strings.h"
#include "processing/processor/ImageProcessor.h"
#include "support/Conformance.h"
#include "support/TempDir.h"

namespace {

std::vector<std::string> ConformanceImages(const std::vector<std::string>& extensions) {
    std::vector<std::string> out;
    const std::filesystem::path root(testdata::ConformanceDir());
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (!it->is_regular_file()) continue;
        std::string ext = it->path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char ch) { return std::tolower(ch); });
        if (std::find(extensions.begin(), extensions.end(), ext) != extensions.end()) out.push_back(it->path().string());
    }
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace

class LoadSaveRoadConformance : public proctest::SettingsReset {
protected:
    testdata::TempDir tmp;
};

TEST_F(LoadSaveRoadConformance, EveryImageLoadsAsByWayOfABmp) {
    // Files the sets are known to hold: a failure to find them is a setup fault.
    ASSERT_FALSE(testdata::ConformanceFile("pngsuite/basn0g01.png").empty());
    ASSERT_FALSE(testdata::ConformanceFile("skimage/multipage_rgb.tif").empty());
    const std::vector<std::string> files = ConformanceImages({".jpg", ".jpeg", ".png", ".tif", ".tiff"});
    int loaded = 0, pages = 0;
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        const LoadComparison c = CompareFileLoads(path);
        EXPECT_TRUE(c.same) << c.difference;
        loaded += c.loaded;
        pages += c.pages;
    }
    EXPECT_GT(files.size(), 150u);
    EXPECT_GT(pages, 200);
    EXPECT_GT(loaded, 100);
}

TEST_F(LoadSaveRoadConformance, BmpFilesAreTakenAsByWayOfABmp) {
    const std::vector<std::string> files = ConformanceImages({".bmp"});
    ASSERT_GE(files.size(), 3u);
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        CRaster image;
        ASSERT_TRUE(image.Load(FromUtf8(path), RASTER_FORMAT_BMP)) << image.GetLastError();
        const LoadComparison c = CompareImageTakes(image);
        EXPECT_TRUE(c.same) << c.difference;
        EXPECT_TRUE(c.loaded);
    }
}

TEST_F(LoadSaveRoadConformance, LoadedPagesSaveAsByWayOfABmpInEveryFormat) {
    // The first page of each file (up to 90,000 pixels, to keep the run
    // short) saved from its own working images: grey as 8 and 1 bits, colour
    // as 24 bits, in JPEG, PNG and TIFF.
    ProcessSetting::filesave.jpgquality = 88;
    using Kind = CImageProcessor::SaveKind;
    int written = 0;
    for (const std::string& path : ConformanceImages({".jpg", ".png", ".tif", ".tiff"})) {
        CImageProcessor p;
        if (!proctest::Load(p, path) || p.width * p.height > 90000) continue;
        for (ImageFileType format : {FILE_TYPE_JPEG, FILE_TYPE_PNG, FILE_TYPE_TIFF}) {
            for (Kind kind : {Kind::kGray8, Kind::kBinary1, Kind::kColor24}) {
                const BYTE* bits = kind == Kind::kColor24 ? p.colourImage.get() : p.greyImage.get();
                if (!bits) continue;
                SCOPED_TRACE(path + " as type " + std::to_string(format) + ", kind " +
                             std::to_string(static_cast<int>(kind)));
                const SaveComparison c = CompareSaves(path, format, kind, bits, p.width, p.height, tmp.path());
                EXPECT_TRUE(c.same) << c.difference;
                written += c.written;
            }
        }
    }
    EXPECT_GT(written, 300);
}
