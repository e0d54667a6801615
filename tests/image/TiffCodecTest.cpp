#include <gtest/gtest.h>

#include <tiffio.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "image/ByteStream.h"
#include "image/Raster.h"
#include "image/RasterTIF.h"
#include "RasterTestUtil.h"
#include "support/ImageFiles.h"
#include "support/TempDir.h"

using imgtest::At;
using imgtest::FillRandom;
using imgtest::SamePicture;

namespace {

std::wstring W(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// Tags of one directory as libtiff reads them.
struct Tags {
    std::uint16_t compression = 0, photometric = 0, predictor = 1, samples = 0, bits = 0;
    std::uint32_t rowsPerStrip = 0, subfile = 0;
    std::uint16_t page = 0, pages = 0;
    std::string pageName;
    float xres = 0;
};

std::vector<Tags> ReadTags(const std::string& path) {
    std::vector<Tags> out;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return out;
    do {
        Tags t;
        TIFFGetField(tif, TIFFTAG_COMPRESSION, &t.compression);
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &t.photometric);
        TIFFGetField(tif, TIFFTAG_PREDICTOR, &t.predictor);
        TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &t.samples);
        TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &t.bits);
        TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &t.rowsPerStrip);
        TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &t.subfile);
        TIFFGetField(tif, TIFFTAG_PAGENUMBER, &t.page, &t.pages);
        char* name = nullptr;
        if (TIFFGetField(tif, TIFFTAG_PAGENAME, &name) && name) t.pageName = name;
        TIFFGetField(tif, TIFFTAG_XRESOLUTION, &t.xres);
        out.push_back(t);
    } while (TIFFReadDirectory(tif));
    TIFFClose(tif);
    return out;
}

// Writes a one-strip TIFF with libtiff directly; `rows` are the file rows
// from the top, `extra` sets further tags.
void WriteRawTiff(const std::string& path, std::uint32_t w, std::uint32_t h, int bits, int samples, int photometric,
                  const std::vector<std::vector<std::uint8_t>>& rows, const std::function<void(TIFF*)>& extra = {},
                  const char* mode = "w") {
    TIFF* tif = TIFFOpen(path.c_str(), mode);
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, h);
    if (extra) extra(tif);
    for (std::uint32_t y = 0; y < h; ++y)
        ASSERT_GE(TIFFWriteScanline(tif, const_cast<std::uint8_t*>(rows[y].data()), y, 0), 0);
    TIFFClose(tif);
}

void MakeImage(CRaster& img, DWORD w, DWORD h, int bpp, bool grey, unsigned seed) {
    ASSERT_TRUE(img.Create(w, h, bpp, RASTER_FORMAT_TIF));
    FillRandom(img, seed);
    if (grey) img.MakeGreyRamp();
    if (bpp == 1) {
        // A 1-bit page is black and white in a TIFF file.
        img.SetPaletteEntry(0, 255, 255, 255);
        img.SetPaletteEntry(1, 0, 0, 0);
    }
}

}  // namespace

TEST(TiffCodec, CompressionAndPhotometricFollowTheDepth) {
    testdata::TempDir dir;
    struct Case { const char* name; int bpp; bool grey; std::uint16_t compression, photometric, predictor; int tol; };
    const Case cases[] = {
        {"1-bit", 1, false, COMPRESSION_CCITTFAX4, PHOTOMETRIC_MINISWHITE, 1, 0},
        {"4-bit palette", 4, false, COMPRESSION_LZW, PHOTOMETRIC_PALETTE, 1, 0},
        {"8-bit grey", 8, true, COMPRESSION_LZW, PHOTOMETRIC_MINISBLACK, PREDICTOR_HORIZONTAL, 0},
        {"8-bit palette", 8, false, COMPRESSION_LZW, PHOTOMETRIC_PALETTE, PREDICTOR_HORIZONTAL, 0},
        {"24-bit", 24, false, COMPRESSION_JPEG, PHOTOMETRIC_RGB, 1, -1},
    };
    for (const auto& c : cases) {
        CRaster img;
        MakeImage(img, 57, 41, c.bpp, c.grey, 3);
        if (c.bpp == 24) {
            // Smooth, so the JPEG compression keeps it close.
            for (DWORD y = 0; y < 41; ++y)
                for (DWORD x = 0; x < 57; ++x) img.SetColourAt(x, y, RGBQUAD{BYTE(x * 4), BYTE(y * 5), 128, 0});
            img.SetQuality(85);
        }
        img.SetDpiX(300);
        img.SetDpiY(300);
        const std::string path = dir.file("depth.tif");
        ASSERT_TRUE(img.Save(W(path), RASTER_FORMAT_TIF)) << c.name << ": " << img.GetLastError();
        const auto tags = ReadTags(path);
        ASSERT_EQ(tags.size(), 1u) << c.name;
        EXPECT_EQ(tags[0].compression, c.compression) << c.name;
        EXPECT_EQ(tags[0].photometric, c.photometric) << c.name;
        EXPECT_EQ(tags[0].predictor, c.predictor) << c.name;
        EXPECT_EQ(tags[0].subfile, 0u) << c.name;
        EXPECT_FLOAT_EQ(tags[0].xres, 300.0f);
        if (c.compression == COMPRESSION_JPEG) {
            EXPECT_EQ(tags[0].rowsPerStrip % 8, 0u);
        }

        CRaster back;
        ASSERT_TRUE(back.Load(W(path), RASTER_FORMAT_TIF)) << c.name << ": " << back.GetLastError();
        EXPECT_EQ(back.GetBitsPerPixel(), c.bpp) << c.name;
        EXPECT_TRUE(SamePicture(back, img, c.tol < 0 ? 12 : c.tol)) << c.name;
        EXPECT_EQ(back.GetFormatOption(RASTER_FORMAT_TIF), c.compression) << c.name;
        EXPECT_EQ(back.GetDpiX(), 300);
    }
}

TEST(TiffCodec, EveryWritableCompressionRoundTrips) {
    testdata::TempDir dir;
    struct Case { std::uint32_t compression; int bpp; bool grey; };
    const Case cases[] = {
        {COMPRESSION_NONE, 1, false}, {COMPRESSION_NONE, 8, false}, {COMPRESSION_NONE, 24, false},
        {COMPRESSION_CCITTFAX3, 1, false}, {COMPRESSION_CCITTFAX4, 1, false},
        {COMPRESSION_PACKBITS, 4, false}, {COMPRESSION_PACKBITS, 24, false},
        {COMPRESSION_LZW, 24, false}, {COMPRESSION_LZW, 1, false},
        {COMPRESSION_ADOBE_DEFLATE, 8, true}, {COMPRESSION_ADOBE_DEFLATE, 24, false},
        {COMPRESSION_DEFLATE, 8, false},
    };
    for (const auto& c : cases) {
        CRaster img;
        MakeImage(img, 35, 23, c.bpp, c.grey, c.compression + c.bpp);
        if (c.bpp == 24) img.CreateAlphaPlane();
        FillRandom(img, c.compression);
        if (c.grey) img.MakeGreyRamp();
        if (c.bpp == 1) {
            img.SetPaletteEntry(0, 0, 0, 0);
            img.SetPaletteEntry(1, 255, 255, 255);
        }
        img.SetFormatOption(c.compression, RASTER_FORMAT_TIF);
        CMemStream mem;
        mem.Open();
        ASSERT_TRUE(img.Encode(&mem, RASTER_FORMAT_TIF)) << c.compression << "/" << c.bpp << ": " << img.GetLastError();
        CRaster back;
        ASSERT_TRUE(back.DecodeFromMemory(mem.GetBuffer(false), DWORD(mem.Size()), RASTER_FORMAT_TIF))
            << c.compression << "/" << c.bpp << ": " << back.GetLastError();
        EXPECT_TRUE(SamePicture(back, img, 0, c.bpp == 24)) << c.compression << "/" << c.bpp;
        EXPECT_EQ(back.GetFormatOption(RASTER_FORMAT_TIF), c.compression);
    }
}

TEST(TiffCodec, CompressionThatDoesNotFitTheDepthFails) {
    CRaster img;
    MakeImage(img, 8, 8, 8, true, 1);
    img.SetFormatOption(COMPRESSION_CCITTFAX4, RASTER_FORMAT_TIF);
    CMemStream mem;
    mem.Open();
    EXPECT_FALSE(img.Encode(&mem, RASTER_FORMAT_TIF));
    EXPECT_STREQ(img.GetLastError(), "Error saving TIFF file");
}

TEST(TiffCodec, BlackFirstOneBitPageKeepsItsAppearance) {
    CRaster img;
    MakeImage(img, 19, 7, 1, false, 8);
    img.SetPaletteEntry(0, 0, 0, 0);
    img.SetPaletteEntry(1, 255, 255, 255);
    CRaster before(img, true);
    CMemStream mem;
    mem.Open();
    ASSERT_TRUE(img.Encode(&mem, RASTER_FORMAT_TIF)) << img.GetLastError();
    EXPECT_EQ(std::memcmp(img.GetBits(), before.GetBits(), before.GetHeader().biSizeImage), 0)
        << "the caller's pixels are not inverted";
    EXPECT_EQ(img.GetPaletteEntry(0).rgbRed, 0);
    CRaster back;
    ASSERT_TRUE(back.DecodeFromMemory(mem.GetBuffer(false), DWORD(mem.Size()), RASTER_FORMAT_TIF));
    EXPECT_TRUE(SamePicture(back, img));
    EXPECT_EQ(back.GetPaletteEntry(0).rgbRed, 255) << "white is zero in the file";
}

TEST(TiffCodec, AppendingPagesOfMixedDepths) {
    testdata::TempDir dir;
    const std::string path = dir.file("multi.tif");
    CRaster pages[3];
    MakeImage(pages[0], 40, 30, 1, false, 1);
    MakeImage(pages[1], 31, 33, 8, true, 2);
    MakeImage(pages[2], 20, 10, 24, false, 3);
    pages[2].SetFormatOption(COMPRESSION_LZW, RASTER_FORMAT_TIF);  // lossless, to compare exactly
    const int dpi[3] = {200, 300, 400};
    // The assembly: each page file loaded into the same codec object, which
    // keeps its handle between the appends.
    std::FILE* out = std::fopen(path.c_str(), "w+b");
    ASSERT_NE(out, nullptr);
    {
        CFileStream stream(out);
        CRasterTIF assembly;
        for (int i = 0; i < 3; ++i) {
            pages[i].SetDpiX(dpi[i]);
            pages[i].SetDpiY(dpi[i]);
            const std::string page = dir.file("p" + std::to_string(i) + ".tif");
            ASSERT_TRUE(pages[i].Save(W(page), RASTER_FORMAT_TIF)) << pages[i].GetLastError();
            ASSERT_TRUE(assembly.Load(W(page), RASTER_FORMAT_TIF)) << assembly.GetLastError();
            ASSERT_TRUE(assembly.Encode(&stream, true)) << i << ": " << assembly.GetLastError();
            EXPECT_EQ(assembly.PagesWritten(), i + 1);
        }
    }
    std::fclose(out);
    const auto tags = ReadTags(path);
    ASSERT_EQ(tags.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(tags[i].subfile, std::uint32_t(FILETYPE_PAGE));
        EXPECT_EQ(tags[i].page, i + 1);
        EXPECT_EQ(tags[i].pages, i + 1);
        EXPECT_EQ(tags[i].pageName, "Page " + std::to_string(i + 1));
        CRaster back;
        back.SelectFrame(i);
        ASSERT_TRUE(back.Load(W(path), RASTER_FORMAT_TIF)) << i << ": " << back.GetLastError();
        EXPECT_EQ(back.GetFrameCount(), 3);
        EXPECT_EQ(back.GetBitsPerPixel(), pages[i].GetBitsPerPixel());
        EXPECT_EQ(back.GetDpiX(), dpi[i]);
        EXPECT_TRUE(SamePicture(back, pages[i])) << i;
    }
    CRaster beyond;
    beyond.SelectFrame(3);
    EXPECT_FALSE(beyond.Load(W(path), RASTER_FORMAT_TIF));
    EXPECT_STREQ(beyond.GetLastError(), "Error: page not present in TIFF file");
    EXPECT_EQ(beyond.GetFrameCount(), 3);
}

TEST(TiffCodec, OrientationResolutionAndPaletteTagsOnTheStripRoad) {
    testdata::TempDir dir;
    // 3 x 2 grey page: values 10 20 30 / 40 50 60 from the top.
    const std::vector<std::vector<std::uint8_t>> rows = {{10, 20, 30}, {40, 50, 60}};
    struct Case { int orientation; DWORD w; std::vector<std::uint8_t> topRow; };
    const Case cases[] = {
        {1, 3, {10, 20, 30}}, {2, 3, {30, 20, 10}}, {3, 3, {60, 50, 40}}, {4, 3, {40, 50, 60}},
        {5, 2, {10, 40}}, {6, 2, {40, 10}}, {7, 2, {60, 30}}, {8, 2, {30, 60}},
    };
    for (const auto& c : cases) {
        const std::string path = dir.file("o.tif");
        WriteRawTiff(path, 3, 2, 8, 1, PHOTOMETRIC_MINISBLACK, rows,
                     [&](TIFF* t) { TIFFSetField(t, TIFFTAG_ORIENTATION, c.orientation); });
        CRaster img;
        ASSERT_TRUE(img.Load(W(path), RASTER_FORMAT_TIF)) << img.GetLastError();
        ASSERT_EQ(img.GetWidth(), c.w) << c.orientation;
        for (DWORD x = 0; x < c.w; ++x) EXPECT_EQ(At(img, x, 0).rgbRed, c.topRow[x]) << c.orientation << " x " << x;
    }

    struct Res { int unit; float value; bool set; int dpi; };
    const Res res[] = {{RESUNIT_CENTIMETER, 118.11f, true, 300}, {RESUNIT_INCH, 600, true, 600}, {RESUNIT_INCH, 0, false, 96}};
    for (const auto& r : res) {
        const std::string path = dir.file("r.tif");
        WriteRawTiff(path, 3, 2, 8, 1, PHOTOMETRIC_MINISBLACK, rows, [&](TIFF* t) {
            TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, r.unit);
            if (r.set) {
                TIFFSetField(t, TIFFTAG_XRESOLUTION, r.value);
                TIFFSetField(t, TIFFTAG_YRESOLUTION, r.value);
            }
        });
        CRaster img, header;
        ASSERT_TRUE(img.Load(W(path), RASTER_FORMAT_TIF));
        EXPECT_EQ(img.GetDpiX(), r.dpi);
        ASSERT_TRUE(header.Load(W(path), RASTER_FORMAT_TIF, true));
        EXPECT_EQ(header.GetDpiY(), r.dpi);
        EXPECT_FALSE(header.IsValid());
        EXPECT_EQ(header.GetWidth(), 3u);
    }

    // A colour map holding only values up to 255 is taken unscaled; one with
    // 16-bit values is scaled by 255 / 65535.
    for (bool wide : {false, true}) {
        std::vector<std::uint16_t> map(3 * 256, 0);
        map[1] = wide ? 65535 : 200;
        map[256 + 1] = wide ? 32768 : 100;
        map[512 + 1] = wide ? 257 : 7;
        const std::string path = dir.file("p.tif");
        WriteRawTiff(path, 3, 2, 8, 1, PHOTOMETRIC_PALETTE, {{1, 0, 0}, {0, 0, 1}},
                     [&](TIFF* t) { TIFFSetField(t, TIFFTAG_COLORMAP, &map[0], &map[256], &map[512]); });
        CRaster img;
        ASSERT_TRUE(img.Load(W(path), RASTER_FORMAT_TIF));
        const RGBQUAD c = At(img, 0, 0);
        EXPECT_EQ(c.rgbRed, wide ? 255 : 200);
        EXPECT_EQ(c.rgbGreen, wide ? 127 : 100);
        EXPECT_EQ(c.rgbBlue, wide ? 1 : 7);
    }
}

TEST(TiffCodec, SixteenBitGreyKeepsItsBrightestBit) {
    testdata::TempDir dir;
    const std::string path = dir.file("g16.tif");
    auto row = [](std::initializer_list<std::uint16_t> v) {
        std::vector<std::uint8_t> r;
        for (auto x : v) {
            r.push_back(std::uint8_t(x));
            r.push_back(std::uint8_t(x >> 8));
        }
        return r;
    };
    // The brightest value of the page is 0x0FFF: every row shifts by 4.
    WriteRawTiff(path, 3, 3, 16, 1, PHOTOMETRIC_MINISBLACK,
                 {row({0x0FFF, 0x0100, 0}), row({0x0010, 0x0020, 0x0030}), row({0x00F0, 0x0800, 0x0001})});
    CRaster img;
    ASSERT_TRUE(img.Load(W(path), RASTER_FORMAT_TIF)) << img.GetLastError();
    const std::uint16_t values[3][3] = {{0x0FFF, 0x0100, 0}, {0x0010, 0x0020, 0x0030}, {0x00F0, 0x0800, 0x0001}};
    for (DWORD y = 0; y < 3; ++y)
        for (DWORD x = 0; x < 3; ++x) EXPECT_EQ(At(img, x, y).rgbRed, values[y][x] >> 4) << x << "," << y;
}

// Grey samples wider than 8 bits keep their top 8 bits. Samples of whole
// bytes reach the decoder in host order, whatever the file's byte order;
// other sizes are packed most significant bit first.
TEST(TiffCodec, WideSamplesKeepTheirTopEightBits) {
    testdata::TempDir dir;
    auto host24 = [](std::initializer_list<std::uint32_t> values) {
        std::vector<std::uint8_t> r;
        for (std::uint32_t v : values) {
            const std::uint8_t b[3] = {BYTE(v), BYTE(v >> 8), BYTE(v >> 16)};
            if constexpr (std::endian::native == std::endian::little) r.insert(r.end(), b, b + 3);
            else r.insert(r.end(), {b[2], b[1], b[0]});
        }
        return r;
    };
    struct Case { int bits; std::vector<std::uint8_t> row; };
    const Case cases[] = {
        {24, host24({0x123456, 0xABCDEF, 0x00FF00})},
        // 12 bits: 0x123, 0xABC, 0x00F packed as 12 3A BC 00 F0.
        {12, {0x12, 0x3A, 0xBC, 0x00, 0xF0}},
    };
    const BYTE want[] = {0x12, 0xAB, 0x00};
    for (const auto& c : cases)
        for (const char* mode : {"wl", "wb"}) {
            const std::string path = dir.file("wide.tif");
            WriteRawTiff(path, 3, 1, c.bits, 1, PHOTOMETRIC_MINISBLACK, {c.row}, {}, mode);
            CRaster img;
            ASSERT_TRUE(img.Load(W(path), RASTER_FORMAT_TIF)) << c.bits << " " << mode << ": " << img.GetLastError();
            ASSERT_EQ(img.GetBitsPerPixel(), 8);
            for (DWORD x = 0; x < 3; ++x)
                EXPECT_EQ(At(img, x, 0).rgbRed, want[x]) << c.bits << " bits, " << mode << ", x " << x;
        }
}

// Tiled 16-bit grey pages keep the high byte of each sample (the page-wide
// range of striped pages does not apply); the right-hand tile is cut to the
// page.
TEST(TiffCodec, TiledSixteenBitGreyKeepsTheHighByte) {
    testdata::TempDir dir;
    const std::string path = dir.file("tiled16.tif");
    const std::uint32_t w = 20, h = 3, tile = 16;
    // Small values: a range rule would shift them by 5 instead of 8.
    auto value = [](std::uint32_t x, std::uint32_t y) { return std::uint16_t((x + 7 * y) * 0x55 + 0x0F); };
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_TILEWIDTH, tile);
    TIFFSetField(tif, TIFFTAG_TILELENGTH, tile);
    for (std::uint32_t tx = 0; tx < w; tx += tile) {
        std::vector<std::uint16_t> buf(tile * tile, 0xFFFF);
        for (std::uint32_t y = 0; y < h; ++y)
            for (std::uint32_t x = tx; x < std::min(w, tx + tile); ++x) buf[y * tile + (x - tx)] = value(x, y);
        ASSERT_GE(TIFFWriteTile(tif, buf.data(), tx, 0, 0, 0), 0);
    }
    TIFFClose(tif);
    CRaster img;
    ASSERT_TRUE(img.Load(W(path), RASTER_FORMAT_TIF)) << img.GetLastError();
    ASSERT_EQ(img.GetWidth(), w);
    ASSERT_EQ(img.GetBitsPerPixel(), 8);
    // By hand: (19 + 14) * 0x55 + 0x0F = 0x0B04 at the bottom-right corner.
    EXPECT_EQ(At(img, 19, 2).rgbRed, 0x0B);
    EXPECT_EQ(At(img, 0, 0).rgbRed, 0x00);
    for (std::uint32_t y = 0; y < h; ++y)
        for (std::uint32_t x = 0; x < w; ++x) EXPECT_EQ(At(img, x, y).rgbRed, value(x, y) >> 8) << x << "," << y;
}

TEST(TiffCodec, UnreadableStripsAndBrokenFilesFail) {
    CRaster img;
    MakeImage(img, 64, 64, 8, true, 4);
    for (std::uint32_t compression : {std::uint32_t(COMPRESSION_NONE), std::uint32_t(COMPRESSION_LZW)}) {
        img.SetFormatOption(compression, RASTER_FORMAT_TIF);
        CMemStream mem;
        mem.Open();
        ASSERT_TRUE(img.Encode(&mem, RASTER_FORMAT_TIF));
        std::vector<std::uint8_t> bytes(mem.GetBuffer(false), mem.GetBuffer(false) + mem.Size());
        // libtiff writes the directory after the pixel data: damage the
        // strip bytes in place so the directory still reads.
        const std::uint32_t dirOffset = le::Get32(&bytes[4]);
        ASSERT_GT(dirOffset, 100u);
        std::vector<std::uint8_t> broken = bytes;
        if (compression == COMPRESSION_NONE) {
            // Cut the file: the strip ends beyond it.
            broken.resize(8 + (dirOffset - 8) / 2);
            // Keep a valid directory at the end.
            broken.insert(broken.end(), bytes.begin() + dirOffset, bytes.end());
            const std::uint32_t newOffset = 8 + (dirOffset - 8) / 2;
            broken[4] = BYTE(newOffset);
            broken[5] = BYTE(newOffset >> 8);
            broken[6] = BYTE(newOffset >> 16);
            broken[7] = BYTE(newOffset >> 24);
        } else {
            for (std::uint32_t i = 8; i < dirOffset; ++i) broken[i] = BYTE(0xFF - i);
        }
        CRaster back;
        EXPECT_FALSE(back.DecodeFromMemory(broken.data(), DWORD(broken.size()), RASTER_FORMAT_TIF)) << compression;
        EXPECT_FALSE(back.IsValid()) << compression;
        EXPECT_STRNE(back.GetLastError(), "") << compression;
    }
    const std::uint8_t junk[] = {'I', 'I', 42, 0, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3};
    CRaster back;
    EXPECT_FALSE(back.DecodeFromMemory(junk, sizeof junk, RASTER_FORMAT_TIF));
    EXPECT_STREQ(back.GetLastError(), "Error encountered while opening TIFF file");
}

TEST(TiffCodec, LabPagesBecomeRgb) {
    testdata::TempDir dir;
    const std::string path = dir.file("lab.tif");
    // L*, a*, b* bytes: white, black, a strong red-ish a*, a blue-ish b*.
    WriteRawTiff(path, 4, 1, 8, 3, PHOTOMETRIC_CIELAB, {{255, 0, 0, 0, 0, 0, 140, 100, 0, 140, 0, BYTE(-100)}});
    CRaster img;
    ASSERT_TRUE(img.Load(W(path), RASTER_FORMAT_TIF)) << img.GetLastError();
    ASSERT_EQ(img.GetBitsPerPixel(), 24);
    const RGBQUAD white = At(img, 0, 0), black = At(img, 1, 0), red = At(img, 2, 0), blue = At(img, 3, 0);
    EXPECT_GE(std::min({white.rgbRed, white.rgbGreen, white.rgbBlue}), 254);
    // The conversion has no linear segment for small L*: black comes out as 8.
    EXPECT_LE(std::max({black.rgbRed, black.rgbGreen, black.rgbBlue}), 10);
    EXPECT_GT(red.rgbRed, red.rgbGreen + 100);
    EXPECT_GT(blue.rgbBlue, blue.rgbRed + 100);
}

TEST(TiffCodec, GreyWithAlphaOfSmallSamplesKeepsOneBytePerPixel) {
    testdata::TempDir dir;
    // Two samples of 1 and of 4 bits: grey value and alpha per pixel. Only
    // 8-bit samples keep an alpha plane; the grey values must come through.
    struct Case { int bits; std::vector<std::uint8_t> row; std::vector<BYTE> grey; };
    const Case cases[] = {
        // 1 bit: pixels (1,0) (0,1) (1,1) (0,0) (1,0) -> 10 01 11 00 | 10 000000
        {1, {0x9C, 0x80}, {255, 0, 255, 0, 255}},
        // 4 bits: pixels (15,0) (0,9) (5,15)
        {4, {0xF0, 0x09, 0x5F}, {255, 0, 85}},
    };
    for (const auto& c : cases) {
        const std::string path = dir.file("ga.tif");
        const auto w = static_cast<std::uint32_t>(c.grey.size());
        WriteRawTiff(path, w, 1, c.bits, 2, PHOTOMETRIC_MINISBLACK, {c.row}, [](TIFF* tif) {
            const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
            TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
        });
        CRaster img;
        ASSERT_TRUE(img.Load(W(path), RASTER_FORMAT_TIF)) << c.bits << ": " << img.GetLastError();
        ASSERT_EQ(img.GetBitsPerPixel(), 8) << c.bits;
        for (DWORD x = 0; x < w; ++x) EXPECT_EQ(At(img, x, 0).rgbRed, c.grey[x]) << c.bits << " bits, x " << x;
    }
}

TEST(TiffCodec, APageWhoseNextDirectoryLinkIsCutStillCountsAsOnePage) {
    CRaster img;
    MakeImage(img, 40, 30, 8, true, 9);
    img.SetFormatOption(COMPRESSION_NONE, RASTER_FORMAT_TIF);
    CMemStream mem;
    mem.Open();
    ASSERT_TRUE(img.Encode(&mem, RASTER_FORMAT_TIF));
    std::vector<std::uint8_t> bytes(mem.GetBuffer(false), mem.GetBuffer(false) + mem.Size());
    // The directory is the last thing written: cut its next-directory link.
    const std::uint32_t dirOffset = le::Get32(&bytes[4]);
    const std::uint32_t entries = le::Get16(&bytes[dirOffset]);
    const std::size_t link = dirOffset + 2 + 12 * entries;
    ASSERT_LE(link + 4, bytes.size());
    bytes.resize(link + 1);
    CRaster back;
    ASSERT_TRUE(back.DecodeFromMemory(bytes.data(), DWORD(bytes.size()), RASTER_FORMAT_TIF)) << back.GetLastError();
    EXPECT_EQ(back.GetFrameCount(), 1);
    EXPECT_TRUE(back.IsFrameChainCut()) << "the page decodes, and the cut is reported";
    EXPECT_TRUE(SamePicture(back, img, 0));
    CRaster head;
    CMemStream s(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
    ASSERT_TRUE(head.Decode(&s, RASTER_FORMAT_TIF, true)) << head.GetLastError();
    EXPECT_EQ(head.GetFrameCount(), 1);
    EXPECT_TRUE(head.IsFrameChainCut());
}

// A multi-page file cut short: the pages before the cut still decode, the
// count covers only them, and the decode says the chain is cut. Whole files,
// of one page or three, are not.
TEST(TiffCodec, AMultiPageFileCutShortReportsItsCutChain) {
    testdata::TempDir dir;
    const testimg::Picture g = testimg::Pattern(64, 64, 1, 3);
    const testimg::TiffPage page{g, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE};
    struct Case { int pages; double share; int count; bool cut; };
    const Case cases[] = {{3, 1.0, 3, false}, {3, 0.9, 2, true}, {3, 0.5, 1, true}, {1, 1.0, 1, false}};
    for (const auto& c : cases) {
        const std::string path = dir.file("pages.tif");
        ASSERT_TRUE(testimg::WriteTiff(path, std::vector<testimg::TiffPage>(std::size_t(c.pages), page)));
        ASSERT_TRUE(testimg::TruncateFile(path, c.share));
        for (int frame = 0; frame < c.count; ++frame) {
            CRaster img;
            img.SelectFrame(frame);
            ASSERT_TRUE(img.Load(W(path), RASTER_FORMAT_TIF)) << c.pages << " pages, " << c.share << ": " << img.GetLastError();
            EXPECT_EQ(img.GetFrameCount(), c.count) << c.pages << " pages, " << c.share;
            EXPECT_EQ(img.IsFrameChainCut(), c.cut) << c.pages << " pages, " << c.share << ", frame " << frame;
        }
    }
}

TEST(TiffCodec, PagesOfMoreThanFourSamplesOf64BitsAreRefusedBeforeAllocating) {
    testdata::TempDir dir;
    struct Case { int bits, samples; bool loads; };
    const Case cases[] = {{64, 4, true}, {32, 8, true}, {64, 5, false}, {16, 257, false}};
    for (const auto& c : cases) {
        const std::string path = dir.file("wide.tif");
        const std::uint32_t w = 3;
        const std::size_t rowBytes = std::size_t(w) * c.samples * c.bits / 8;
        WriteRawTiff(path, w, 2, c.bits, c.samples, PHOTOMETRIC_MINISBLACK,
                     {std::vector<std::uint8_t>(rowBytes, 0x80), std::vector<std::uint8_t>(rowBytes, 0x40)});
        CRaster img;
        EXPECT_EQ(img.Load(W(path), RASTER_FORMAT_TIF), c.loads) << c.samples << " x " << c.bits << ": " << img.GetLastError();
        if (!c.loads) {
            EXPECT_STREQ(img.GetLastError(), "CRasterTIF can't allocate memory");
        }
    }
}
