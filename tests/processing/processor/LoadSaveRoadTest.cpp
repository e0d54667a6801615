// Loading and saving take the working images straight from the decoded page
// and build the image to encode straight from the result. The plain road
// goes through a BMP file in memory both ways (reference/RefLoadSave.h);
// these tests demand identical working images, stored headers, images to
// encode and output files for every source depth and format, every save
// kind and every output format, odd widths included.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <tiffio.h>
#include <vector>

#include "LoadSaveCompare.h"
#include "platform/core/Files.h"
#include "platform/core/Strings.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/PixelMath.h"
#include "settings/ProcessSetting.h"
#include "support/ImageFiles.h"
#include "support/SyntheticPages.h"
#include "support/TempDir.h"
#include "ProcessorTestUtil.h"

using proctest::Indices;
using proctest::RandomPalette;
using testdata::TempDir;
using testimg::Rgb;
using Kind = CImageProcessor::SaveKind;

namespace {

// One way of writing a source file of a given size.
struct SourceKind {
    const char* label;
    const char* extension;
    std::function<bool(const std::string&, int, int)> write;
    bool loads = true;
};

std::vector<SourceKind> SourceKinds() {
    auto tiff = [](int bits, int photometric, int compression, int channels, bool palette = false, float dpi = 0) {
        return [=](const std::string& f, int w, int h) {
            const int levels = bits == 1 ? 2 : (bits == 4 ? 16 : 256);
            testimg::TiffPage page(channels == 1 ? Indices(w, h, levels, 11) : testimg::Pattern(w, h, channels, 12),
                                   bits, photometric, compression);
            if (palette) page.palette = RandomPalette(levels, 13);
            page.dpi = dpi;
            return testimg::WriteTiff(f, {page});
        };
    };
    return {
        {"jpeg colour 300 dpi", "jpg",
         [](auto& f, int w, int h) { return testimg::WriteJpeg(f, testimg::Pattern(w, h, 3, 1), 90, 300); }},
        {"jpeg grey without density", "jpeg",
         [](auto& f, int w, int h) { return testimg::WriteJpeg(f, testimg::Pattern(w, h, 1, 2), 75, 0); }},
        {"png rgb", "png", [](auto& f, int w, int h) { return testimg::WritePng(f, testimg::Pattern(w, h, 3, 3), 2, 8, {}, 200); }},
        {"png rgba", "png", [](auto& f, int w, int h) { return testimg::WritePng(f, testimg::Pattern(w, h, 4, 4), 6, 8); }},
        {"png grey", "png", [](auto& f, int w, int h) { return testimg::WritePng(f, testimg::Pattern(w, h, 1, 5), 0, 8, {}, 72); }},
        {"png grey and alpha", "png",
         [](auto& f, int w, int h) { return testimg::WritePng(f, testimg::Pattern(w, h, 2, 6), 4, 8); }},
        {"png grey 4 bits", "png", [](auto& f, int w, int h) { return testimg::WritePng(f, Indices(w, h, 16, 7), 0, 4); }, false},
        {"png grey 2 bits", "png", [](auto& f, int w, int h) { return testimg::WritePng(f, Indices(w, h, 4, 8), 0, 2); }, false},
        {"png 1 bit", "png", [](auto& f, int w, int h) { return testimg::WritePng(f, Indices(w, h, 2, 9), 0, 1); }},
        {"png colour palette of 256", "png",
         [](auto& f, int w, int h) { return testimg::WritePng(f, Indices(w, h, 256, 10), 3, 8, RandomPalette(256, 14)); }},
        {"png colour palette of 16 at 8 bits", "png",
         [](auto& f, int w, int h) { return testimg::WritePng(f, Indices(w, h, 16, 15), 3, 8, RandomPalette(16, 16)); }},
        {"png colour palette at 4 bits", "png",
         [](auto& f, int w, int h) { return testimg::WritePng(f, Indices(w, h, 16, 17), 3, 4, RandomPalette(16, 18)); }, false},
        {"png grey palette at 1 bit", "png",
         [](auto& f, int w, int h) {
             return testimg::WritePng(f, Indices(w, h, 2, 19), 3, 1, {Rgb{0, 0, 0}, Rgb{255, 255, 255}});
         }},
        {"tiff 1 bit min-is-white G4", "tif", tiff(1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4, 1, false, 300)},
        {"tiff 1 bit min-is-black", "tiff", tiff(1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE, 1)},
        {"tiff grey 4 bits", "tif", tiff(4, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE, 1), false},
        {"tiff palette 4 bits", "tif", tiff(4, PHOTOMETRIC_PALETTE, COMPRESSION_NONE, 1, true), false},
        {"tiff grey packbits", "tif", tiff(8, PHOTOMETRIC_MINISBLACK, COMPRESSION_PACKBITS, 1, false, 150)},
        {"tiff colour palette", "tif", tiff(8, PHOTOMETRIC_PALETTE, COMPRESSION_LZW, 1, true)},
        {"tiff rgb lzw", "tif", tiff(8, PHOTOMETRIC_RGB, COMPRESSION_LZW, 3, false, 400)},
        {"tiff rgb jpeg", "tif", tiff(8, PHOTOMETRIC_RGB, COMPRESSION_JPEG, 3)},
        {"tiff rgba", "tif", tiff(8, PHOTOMETRIC_RGB, COMPRESSION_NONE, 4)},
    };
}

struct Size {
    int w, h;
};
constexpr Size kSizes[] = {{1, 1}, {2, 3}, {13, 7}, {31, 9}, {64, 17}};

}  // namespace

class LoadSaveRoad : public proctest::SettingsReset {
protected:
    TempDir tmp;
};

TEST_F(LoadSaveRoad, EverySourceKindLoadsAsByWayOfABmp) {
    for (const SourceKind& kind : SourceKinds()) {
        for (const Size& s : kSizes) {
            SCOPED_TRACE(std::string(kind.label) + " " + std::to_string(s.w) + "x" + std::to_string(s.h));
            const std::string path = tmp.file("src." + std::string(kind.extension));
            ASSERT_TRUE(kind.write(path, s.w, s.h));
            const LoadComparison c = CompareFileLoads(path);
            EXPECT_TRUE(c.same) << c.difference;
            // Pages of 2 and 4 bits become 4-bit images, which both roads
            // refuse; everything else is taken.
            EXPECT_EQ(c.loaded, kind.loads);
        }
    }
}

TEST_F(LoadSaveRoad, EveryPageOfAMixedMultiPageTiff) {
    const int w = 19, h = 11;
    testimg::TiffPage colour(testimg::Pattern(w, h, 3, 1), 8, PHOTOMETRIC_RGB, COMPRESSION_JPEG);
    testimg::TiffPage bits(Indices(w + 2, h - 3, 2, 2), 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4);
    testimg::TiffPage palette(Indices(w - 4, h + 1, 256, 3), 8, PHOTOMETRIC_PALETTE, COMPRESSION_LZW);
    palette.palette = RandomPalette(256, 4);
    testimg::TiffPage nibbles(Indices(w, h, 16, 5), 4, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE);
    const std::string path = tmp.file("pages.tif");
    ASSERT_TRUE(testimg::WriteTiff(path, {colour, bits, palette, nibbles}));
    const LoadComparison c = CompareFileLoads(path);
    EXPECT_TRUE(c.same) << c.difference;
    EXPECT_EQ(c.pages, 4);
}

TEST_F(LoadSaveRoad, DecodedImagesOfEveryDepthAreTakenAsByWayOfABmp) {
    // Images as the codecs leave them, BMP files included: 1, 4 and 8 bits
    // with grey and colour palettes of every length, 24 bits, 24 bits with
    // an alpha plane (the BMP writer's 32-bit form), read back from BMP files
    // of each kind.
    for (const Size& s : kSizes) {
        for (int bpp : {1, 4, 8, 24}) {
            for (int variant = 0; variant < 4; ++variant) {
                SCOPED_TRACE(std::to_string(bpp) + " bits, variant " + std::to_string(variant) + ", " +
                             std::to_string(s.w) + "x" + std::to_string(s.h));
                CRaster image;
                ASSERT_TRUE(image.Create(s.w, s.h, bpp, RASTER_FORMAT_BMP));
                const synth::Page noise = synth::RandomBytes(s.w, s.h, 24, 100 + bpp * 4 + variant);
                const std::size_t rowBytes = image.GetRowBytes();
                for (int y = 0; y < s.h; ++y)
                    std::memcpy(image.GetBits(y), noise.bits.data() + px::Stride24(s.w) * y,
                                std::min<std::size_t>(rowBytes, px::Stride24(s.w)));
                if (bpp <= 8) {
                    const synth::Page colours = synth::RandomBytes(260, 1, 24, 7 + variant);
                    const DWORD n = image.GetColourCount();
                    for (DWORD i = 0; i < n; ++i) {
                        // Variant 0: a grey ramp; otherwise colours, with
                        // reserved bytes set.
                        const BYTE v = static_cast<BYTE>(i * 255 / (n - 1));
                        const BYTE* r = colours.bits.data() + 3 * i;
                        image.SetPaletteEntry(static_cast<BYTE>(i), variant == 0 ? RGBQUAD{v, v, v, 0}
                                                                                 : RGBQUAD{r[0], r[1], r[2], r[3]});
                    }
                }
                if (variant == 3) {
                    ASSERT_TRUE(image.CreateAlphaPlane());
                    for (int i = 0; i < s.w * s.h; ++i) image.GetAlphaPlane()[i] = static_cast<BYTE>(i * 37);
                }
                image.SetDpiX(72 + variant);
                image.SetDpiY(300);
                {
                    const LoadComparison c = CompareImageTakes(image);
                    EXPECT_TRUE(c.same) << c.difference;
                    EXPECT_EQ(c.loaded, bpp != 4);
                }

                // The same image written as a BMP file and read back.
                CMemStream file;
                ASSERT_TRUE(file.Open());
                ASSERT_TRUE(image.Encode(&file, RASTER_FORMAT_BMP));
                CRaster back;
                ASSERT_TRUE(back.DecodeFromMemory(file.GetBuffer(false), static_cast<DWORD>(file.Size()),
                                                  RASTER_FORMAT_BMP));
                const LoadComparison c = CompareImageTakes(back);
                EXPECT_TRUE(c.same) << c.difference;
                EXPECT_EQ(c.loaded, bpp != 4);
            }
        }
    }
}

// ---- Saving ----

namespace {

// The result buffers a test saves: grey levels with 128 and 129 among them,
// and colour.
struct Results {
    synth::Page grey, colour;
};

Results ResultsOf(int w, int h, unsigned seed) {
    Results r{synth::RandomBytes(w, h, 8, seed), synth::RandomBytes(w, h, 24, seed + 1)};
    for (int x = 0; x < w; ++x) {
        r.grey.bits[x] = static_cast<std::uint8_t>(x % 2 == 0 ? 128 : 129);
    }
    return r;
}

}  // namespace

TEST_F(LoadSaveRoad, EverySaveKindAndFormatWritesWhatTheBmpRoadWrites) {
    // Sources give the stored headers a save starts from: resolution, depth,
    // palette length and compression.
    struct Source {
        const char* name;
        std::function<bool(const std::string&)> write;
    };
    const std::vector<Source> sources = {
        {"colour.jpg", [](auto& f) { return testimg::WriteJpeg(f, testimg::Pattern(21, 13, 3, 1), 90, 300); }},
        {"grey.png", [](auto& f) { return testimg::WritePng(f, testimg::Pattern(9, 5, 1, 2), 0, 8); }},
        {"palette.png", [](auto& f) { return testimg::WritePng(f, Indices(9, 5, 16, 3), 3, 8, RandomPalette(16, 4), 150); }},
        {"rgba.png", [](auto& f) { return testimg::WritePng(f, testimg::Pattern(7, 3, 4, 5), 6, 8, {}, 600); }},
        {"bits.tif",
         [](auto& f) {
             testimg::TiffPage p(Indices(17, 9, 2, 6), 1, PHOTOMETRIC_MINISWHITE, COMPRESSION_CCITTFAX4);
             p.dpi = 200;
             return testimg::WriteTiff(f, {p});
         }},
        {"jpeg.tif",
         [](auto& f) {
             return testimg::WriteTiff(f, {{testimg::Pattern(11, 7, 3, 7), 8, PHOTOMETRIC_RGB, COMPRESSION_JPEG}});
         }},
    };
    const ImageFileType formats[] = {FILE_TYPE_JPEG, FILE_TYPE_PNG, FILE_TYPE_TIFF, FILE_TYPE_SHORT_NAME};
    int written = 0;
    for (const Source& source : sources) {
        const std::string path = tmp.file(source.name);
        ASSERT_TRUE(source.write(path));
        for (ImageFileType format : formats) {
            for (int dpiOn : {0, 1}) {
                for (int tiffCompress : {0, 1, 2}) {
                    if (format != FILE_TYPE_TIFF && tiffCompress != 0) continue;
                    ProcessSetting::dpi.on = dpiOn;
                    ProcessSetting::dpi.dst = 240;
                    ProcessSetting::filesave.tiffcompress = tiffCompress;
                    ProcessSetting::filesave.jpgquality = 77;
                    for (const Size& s : kSizes) {
                        const Results r = ResultsOf(s.w, s.h, static_cast<unsigned>(s.w * 31 + format));
                        for (Kind kind : {Kind::kGray8, Kind::kBinary1, Kind::kColor24}) {
                            SCOPED_TRACE(std::string(source.name) + " as type " + std::to_string(format) + ", dpi " +
                                         std::to_string(dpiOn) + ", tiffcompress " + std::to_string(tiffCompress) +
                                         ", kind " + std::to_string(static_cast<int>(kind)) + ", " +
                                         std::to_string(s.w) + "x" + std::to_string(s.h));
                            const std::uint8_t* bits =
                                kind == Kind::kColor24 ? r.colour.bits.data() : r.grey.bits.data();
                            const SaveComparison c =
                                CompareSaves(path, format, kind, bits, s.w, s.h, tmp.path());
                            EXPECT_TRUE(c.same) << c.difference;
                            written += c.written;
                        }
                    }
                }
            }
        }
    }
    EXPECT_GT(written, 0);
}

TEST_F(LoadSaveRoad, SizesBeyondTheLimitsFailOnBothRoads) {
    const std::string path = tmp.file("g.png");
    ASSERT_TRUE(testimg::WritePng(path, testimg::Pattern(5, 5, 1, 1), 0, 8));
    // A result wider than an image may be: both roads refuse it before
    // touching pixels (only the first row is there).
    std::vector<std::uint8_t> row(70000 * 3, 9);
    for (Kind kind : {Kind::kGray8, Kind::kBinary1, Kind::kColor24}) {
        CImageProcessor a, b;
        ASSERT_TRUE(proctest::Load(a, path));
        ASSERT_TRUE(proctest::Load(b, path));
        CRaster ra(RASTER_FORMAT_BMP), rb(RASTER_FORMAT_BMP);
        EXPECT_FALSE(a.MakeSaveImage(kind, row.data(), 70000, 1, ra));
        EXPECT_FALSE(ref::MakeSaveImageViaBmp(b, kind, row.data(), 70000, 1, rb));
        EXPECT_TRUE(SameStoredHeaders(a, b)) << static_cast<int>(kind);
    }
}
