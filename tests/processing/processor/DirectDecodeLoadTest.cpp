// A JPEG page is decoded straight into the working images (the grey made
// row by row as the colour rows arrive). Against the plain road through a
// BMP in memory: identical working images (their row padding included),
// stored headers and resolution at every width from 1 to 17, for colour,
// grey (whose ramp palette is applied to the decoded levels in place) and
// pictures an Exif orientation turns, which keep the codec's own rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LoadSaveCompare.h"
#include "ProcessorTestUtil.h"
#include "image/RasterJPG.h"
#include "platform/core/Strings.h"
#include "processing/processor/ImageProcessor.h"
#include "support/ImageFiles.h"
#include "support/TempDir.h"

namespace {

// Inserts an Exif segment with `orientation` after the file's SOI.
void AddOrientation(const std::string& path, int orientation) {
    std::vector<std::uint8_t> jpeg = loadsave::FileBytes(path);
    std::vector<std::uint8_t> seg = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0,
                                     0x12, 0x01, 3, 0, 1, 0, 0, 0, std::uint8_t(orientation), 0, 0, 0, 0, 0, 0, 0};
    seg[3] = std::uint8_t(seg.size() - 2);
    jpeg.insert(jpeg.begin() + 2, seg.begin(), seg.end());
    ASSERT_TRUE(files::WriteAllAtomic(FromUtf8(path), jpeg.data(), jpeg.size()));
}

// One load by the processor (its codec image set up by `setup`) against
// the plain road with a codec image set up the same way.
std::string LoadDifference(const std::string& path, void (*setup)(CRaster&)) {
    const std::wstring w = FromUtf8(path);
    CImageProcessor p;
    setup(p.codecImage);
    if (!p.ReadFileBytes(w.c_str())) return "not read";
    const bool ok = p.LoadImageFile(w.c_str(), 1);
    if (!ok) return "not loaded";
    CRaster codec;
    setup(codec);
    int dpiX = -1, dpiY = -1;
    const ref::LoadedPage plain =
        ref::LoadViaBmp(codec, loadsave::FileBytes(path), FILE_TYPE_JPEG, 0, true, &dpiX, &dpiY);
    std::string d = loadsave::Difference(loadsave::StateOf(p, ok), plain);
    if (p.dpiX != dpiX || p.dpiY != dpiY) d += "resolution; ";
    if (p.codecImage.IsValid()) d += "codec image kept; ";
    return d;
}

void Plain(CRaster&) {}
void GreyOutput(CRaster& c) { c.SetFormatOption(JPEG_OPTION_GREY_OUTPUT, RASTER_FORMAT_JPG); }

}  // namespace

class DirectDecodeLoad : public proctest::SettingsReset {
protected:
    testdata::TempDir tmp;
};

TEST_F(DirectDecodeLoad, EveryWidthAndDecodeFormLoadsAsByWayOfABmp) {
    struct Form {
        const char* label;
        int channels;
        void (*setup)(CRaster&);
        int orientation;  // 0: no Exif segment
    };
    const Form forms[] = {
        {"colour", 3, Plain, 0},
        {"grey", 1, Plain, 0},
        {"colour decoded as grey", 3, GreyOutput, 0},
        {"colour upright by Exif", 3, Plain, 1},
        {"colour mirrored by Exif", 3, Plain, 2},
        {"colour turned by Exif", 3, Plain, 6},
        {"grey turned by Exif", 1, Plain, 7},
    };
    unsigned seed = 3;
    for (const Form& f : forms) {
        for (int w = 1; w <= 17; ++w) {
            for (int h : {1, 6, 17}) {
                SCOPED_TRACE(std::string(f.label) + " " + std::to_string(w) + "x" + std::to_string(h));
                const std::string path = tmp.file("page.jpg");
                ASSERT_TRUE(testimg::WriteJpeg(path, testimg::Pattern(w, h, f.channels, seed++), 90, 200));
                if (f.orientation) AddOrientation(path, f.orientation);
                EXPECT_EQ(LoadDifference(path, f.setup), "");
            }
        }
    }
}

TEST_F(DirectDecodeLoad, ACutPageFailsAndLeavesNoWorkingImages) {
    const std::string path = tmp.file("cut.jpg");
    ASSERT_TRUE(testimg::WriteJpeg(path, testimg::Pattern(120, 90, 3, 9), 90, 200));
    std::vector<std::uint8_t> bytes = loadsave::FileBytes(path);
    bytes.resize(bytes.size() / 2);
    ASSERT_TRUE(files::WriteAllAtomic(FromUtf8(path), bytes.data(), bytes.size()));
    const std::wstring w = FromUtf8(path);
    CImageProcessor p;
    ASSERT_TRUE(p.ReadFileBytes(w.c_str()));
    EXPECT_FALSE(p.LoadImageFile(w.c_str(), 1));
    EXPECT_FALSE(p.greyImage);
    EXPECT_FALSE(p.colourImage);
    EXPECT_FALSE(p.codecImage.IsValid());
}
