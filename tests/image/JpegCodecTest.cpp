#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/ByteStream.h"
#include "image/ExifReader.h"
#include "image/Raster.h"
#include "image/RasterJPG.h"
#include "RasterTestUtil.h"
#include "support/ImageFiles.h"


using imgtest::At;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A smooth, scan-like colour picture: gradients and a few soft shapes.
void FillSmooth(CRaster& img) {
    for (DWORD y = 0; y < img.GetHeight(); ++y)
        for (DWORD x = 0; x < img.GetWidth(); ++x) {
            const BYTE r = BYTE(128 + 100 * std::sin(x * 0.05));
            const BYTE g = BYTE((x + y) * 255 / (img.GetWidth() + img.GetHeight()));
            const BYTE b = BYTE(200 - (y * 150) / img.GetHeight());
            img.SetColourAt(x, img.GetHeight() - 1 - y, RGBQUAD{b, g, r, 0});
        }
}

Bytes Encode(CRaster& img, DWORD type = RASTER_FORMAT_JPG) { return imgtest::Encoded(img, type); }

double MeanDifference(const CRaster& a, const CRaster& b) {
    double sum = 0;
    for (DWORD y = 0; y < a.GetHeight(); ++y)
        for (DWORD x = 0; x < a.GetWidth(); ++x) {
            const RGBQUAD p = At(a, x, y), q = At(b, x, y);
            sum += std::abs(p.rgbRed - q.rgbRed) + std::abs(p.rgbGreen - q.rgbGreen) + std::abs(p.rgbBlue - q.rgbBlue);
        }
    return sum / (3.0 * a.GetWidth() * a.GetHeight());
}

bool HasMarker(const Bytes& jpeg, std::uint8_t marker) {
    // Walks the segments up to the first scan.
    std::size_t i = 2;
    while (i + 4 <= jpeg.size() && jpeg[i] == 0xFF) {
        if (jpeg[i + 1] == marker) return true;
        if (jpeg[i + 1] == 0xDA) return false;
        i += 2 + ((jpeg[i + 2] << 8) | jpeg[i + 3]);
    }
    return false;
}

// An Exif APP1 segment (marker and length included), little-endian, with
// IFD0 entries for orientation and resolution.
Bytes ExifSegment(int orientation, std::uint32_t xres, std::uint32_t yres, int unit) {
    Bytes t = {'I', 'I', 42, 0, 8, 0, 0, 0};
    auto put16 = [&](std::uint16_t v) { t.push_back(BYTE(v)); t.push_back(BYTE(v >> 8)); };
    auto put32 = [&](std::uint32_t v) { for (int i = 0; i < 4; ++i) t.push_back(BYTE(v >> (8 * i))); };
    put16(4);
    const std::uint32_t data = 8 + 2 + 4 * 12 + 4;
    put16(274); put16(3); put32(1); put16(std::uint16_t(orientation)); put16(0);
    put16(282); put16(5); put32(1); put32(data);
    put16(283); put16(5); put32(1); put32(data + 8);
    put16(296); put16(3); put32(1); put16(std::uint16_t(unit)); put16(0);
    put32(0);
    put32(xres); put32(1); put32(yres); put32(1);
    Bytes seg = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    seg.insert(seg.end(), t.begin(), t.end());
    const std::size_t len = seg.size() - 2;
    seg[2] = BYTE(len >> 8);
    seg[3] = BYTE(len);
    return seg;
}

// Replaces the JFIF APP0 segment of an encoded file (or removes it).
Bytes WithHeader(const Bytes& jpeg, const Bytes& replacement, bool keepJfif = false, int unit = -1,
                 int xd = 0, int yd = 0) {
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    const std::size_t app0 = 2 + 2 + ((jpeg[4] << 8) | jpeg[5]);
    if (keepJfif) {
        Bytes jfif(jpeg.begin() + 2, jpeg.begin() + std::ptrdiff_t(app0));
        if (unit >= 0) {
            jfif[11] = BYTE(unit);
            jfif[12] = BYTE(xd >> 8); jfif[13] = BYTE(xd);
            jfif[14] = BYTE(yd >> 8); jfif[15] = BYTE(yd);
        }
        out.insert(out.end(), jfif.begin(), jfif.end());
    }
    out.insert(out.end(), replacement.begin(), replacement.end());
    out.insert(out.end(), jpeg.begin() + std::ptrdiff_t(app0), jpeg.end());
    return out;
}

bool Decode(CRaster& img, const Bytes& b, bool headerOnly = false) {
    CMemStream s(const_cast<std::uint8_t*>(b.data()), DWORD(b.size()));
    return img.Decode(&s, RASTER_FORMAT_JPG, headerOnly);
}

}  // namespace

TEST(JpegCodec, RoundTripsAtQualitiesAndOptions) {
    CRaster img;
    ASSERT_TRUE(img.Create(101, 67, 24));
    FillSmooth(img);
    struct Case { DWORD option; BYTE quality; double maxMean; std::uint8_t sof; };
    const Case cases[] = {
        {0, 95, 1.5, 0xC0}, {0, 75, 2.5, 0xC0}, {0, 30, 5.0, 0xC0},
        {JPEG_OPTION_BASELINE, 90, 2.0, 0xC0},
        {JPEG_OPTION_OPTIMISE, 90, 2.0, 0xC0},
        {JPEG_OPTION_PROGRESSIVE, 90, 2.0, 0xC2},
        {JPEG_OPTION_ARITHMETIC, 90, 2.0, 0xC9},
        {JPEG_OPTION_LUMA_2X1, 90, 2.0, 0xC0},
        {JPEG_OPTION_LUMA_1X1, 90, 1.5, 0xC0},
    };
    std::size_t lastSize = 0;
    for (const auto& c : cases) {
        img.SetQuality(c.quality);
        img.SetFormatOption(c.option, RASTER_FORMAT_JPG);
        const Bytes jpeg = Encode(img);
        EXPECT_TRUE(HasMarker(jpeg, c.sof)) << std::hex << c.option;
        EXPECT_FALSE(HasMarker(jpeg, 0xE1)) << "no Exif segment is written";
        CRaster back;
        ASSERT_TRUE(Decode(back, jpeg)) << back.GetLastError();
        ASSERT_EQ(back.GetWidth(), 101u);
        EXPECT_EQ(back.GetBitsPerPixel(), 24);
        EXPECT_LE(MeanDifference(back, img), c.maxMean) << std::hex << c.option << std::dec << " q" << int(c.quality);
        if (c.option == 0 && lastSize) {
            EXPECT_LT(jpeg.size(), lastSize) << "lower quality, smaller file";
        }
        if (c.option == 0) lastSize = jpeg.size();
    }
    // Sampling factors as written in the frame header.
    for (auto [option, factor] : {std::pair{0u, 0x22}, {JPEG_OPTION_LUMA_2X1, 0x21}, {JPEG_OPTION_LUMA_1X1, 0x11}}) {
        img.SetFormatOption(option, RASTER_FORMAT_JPG);
        const Bytes jpeg = Encode(img);
        CMemStream s(const_cast<std::uint8_t*>(jpeg.data()), DWORD(jpeg.size()));
        std::size_t i = 2;
        while (jpeg[i + 1] != 0xC0) i += 2 + ((jpeg[i + 2] << 8) | jpeg[i + 3]);
        EXPECT_EQ(jpeg[i + 11], factor) << std::hex << option;
    }
}

TEST(JpegCodec, GreyAndPaletteImages) {
    CRaster grey;
    ASSERT_TRUE(grey.Create(33, 20, 8));
    grey.MakeGreyRamp();
    for (DWORD y = 0; y < 20; ++y)
        for (DWORD x = 0; x < 33; ++x) grey.SetIndexAt(x, y, BYTE(x * 7 + y));
    const Bytes jpeg = Encode(grey);
    std::size_t i = 2;
    while (jpeg[i + 1] != 0xC0) i += 2 + ((jpeg[i + 2] << 8) | jpeg[i + 3]);
    EXPECT_EQ(jpeg[i + 9], 1) << "one component";
    CRaster back;
    ASSERT_TRUE(Decode(back, jpeg));
    EXPECT_EQ(back.GetBitsPerPixel(), 8);
    EXPECT_TRUE(back.HasGreyRamp());
    EXPECT_LE(MeanDifference(back, grey), 2.0);

    // Colour written in greyscale space (option 0x4) reads back grey.
    CRaster colour;
    ASSERT_TRUE(colour.Create(16, 16, 24));
    FillSmooth(colour);
    colour.SetFormatOption(JPEG_OPTION_GREYSCALE, RASTER_FORMAT_JPG);
    ASSERT_TRUE(Decode(back, Encode(colour)));
    EXPECT_EQ(back.GetBitsPerPixel(), 8);

    for (int bpp : {1, 4, 8}) {
        CRaster pal;
        ASSERT_TRUE(pal.Create(4, 4, bpp));
        pal.SetPaletteEntry(0, 10, 20, 30);
        BYTE* buffer = nullptr;
        std::int32_t size = 0;
        EXPECT_FALSE(pal.EncodeToMemory(buffer, size, RASTER_FORMAT_JPG)) << bpp;
        EXPECT_STREQ(pal.GetLastError(), "JPEG can save only RGB or GreyScale images");
        EXPECT_EQ(buffer, nullptr);
    }
}

// Decoding with quantised colours (option 0x100, the quality value as the
// number of colours) gives an 8-bit picture with the library's palette, at
// any size, the smallest included; one pass or two.
TEST(JpegCodec, QuantisedDecodeGivesAPaletteImage) {
    for (auto [w, h] : {std::pair<DWORD, DWORD>{1, 1}, {3, 2}, {101, 67}})
        for (DWORD pass : {0u, JPEG_OPTION_ONE_PASS}) {
            SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + (pass ? " one pass" : " two passes"));
            CRaster img;
            ASSERT_TRUE(img.Create(w, h, 24));
            FillSmooth(img);
            img.SetQuality(95);
            const Bytes jpeg = Encode(img);
            CRaster back;
            back.SetFormatOption(JPEG_OPTION_QUANTISE | pass, RASTER_FORMAT_JPG);
            back.SetQuality(16);
            ASSERT_TRUE(Decode(back, jpeg)) << back.GetLastError();
            ASSERT_EQ(back.GetWidth(), w);
            ASSERT_EQ(back.GetHeight(), h);
            EXPECT_EQ(back.GetBitsPerPixel(), 8);
            const DWORD colours = back.GetPaletteSize() / 4;
            EXPECT_GE(colours, 1u);
            EXPECT_LE(colours, 16u);
            double mean[2][3] = {};
            for (DWORD y = 0; y < h; ++y)
                for (DWORD x = 0; x < w; ++x) {
                    EXPECT_LT(back.GetIndexAt(x, y), colours);
                    const RGBQUAD p = At(back, x, y), q = At(img, x, y);
                    mean[0][0] += p.rgbRed, mean[0][1] += p.rgbGreen, mean[0][2] += p.rgbBlue;
                    mean[1][0] += q.rgbRed, mean[1][1] += q.rgbGreen, mean[1][2] += q.rgbBlue;
                }
            // Dithering keeps a picture's average colour, not its pixels'.
            if (w * h > 1000) {
                for (int c = 0; c < 3; ++c) EXPECT_NEAR(mean[0][c] / (w * h), mean[1][c] / (w * h), 8.0) << c;
            }
        }
}

TEST(JpegCodec, ResolutionFromJfifAndExif) {
    CRaster img;
    ASSERT_TRUE(img.Create(24, 16, 24));
    FillSmooth(img);
    img.SetDpiX(300);
    img.SetDpiY(200);
    const Bytes jpeg = Encode(img);
    // The written JFIF header: unit 1 (dots per inch) and the image's DPI.
    ASSERT_EQ(std::memcmp(&jpeg[6], "JFIF", 5), 0);
    EXPECT_EQ(jpeg[13], 1);
    EXPECT_EQ((jpeg[14] << 8) | jpeg[15], 300);
    EXPECT_EQ((jpeg[16] << 8) | jpeg[17], 200);

    struct Case { const char* name; Bytes file; int dpiX, dpiY; };
    const Case cases[] = {
        {"JFIF dpi", jpeg, 300, 200},
        {"JFIF per cm 118", WithHeader(jpeg, {}, true, 2, 118, 118), 300, 300},
        {"JFIF aspect 1:2", WithHeader(jpeg, {}, true, 0, 1, 2), 96, 192},
        {"JFIF aspect 0:0", WithHeader(jpeg, {}, true, 0, 0, 0), 96, 96},
        {"JFIF dpi 0", WithHeader(jpeg, {}, true, 1, 0, 0), 96, 96},
        {"JFIF 300 and Exif 72", WithHeader(jpeg, ExifSegment(1, 72, 72, 2), true), 300, 200},
        {"Exif only, inch", WithHeader(jpeg, ExifSegment(1, 400, 250, 2)), 400, 250},
        {"Exif only, no unit", WithHeader(jpeg, ExifSegment(1, 400, 250, 0)), 96, 96},
    };
    for (const auto& c : cases) {
        CRaster back;
        ASSERT_TRUE(Decode(back, c.file)) << c.name << ": " << back.GetLastError();
        EXPECT_EQ(back.GetDpiX(), c.dpiX) << c.name;
        EXPECT_EQ(back.GetDpiY(), c.dpiY) << c.name;
    }
}

TEST(JpegCodec, ExifOrientationTurnsFullAndHeaderOnlyDecodes) {
    CRaster img;
    ASSERT_TRUE(img.Create(48, 16, 24));
    FillSmooth(img);
    const Bytes plain = Encode(img);
    for (int o = 1; o <= 9; ++o) {
        const Bytes file = WithHeader(plain, ExifSegment(o, 300, 300, 2));
        CRaster full, header;
        ASSERT_TRUE(Decode(full, file)) << o;
        ASSERT_TRUE(Decode(header, file, true)) << o;
        const bool swapped = o >= 5 && o <= 8;
        EXPECT_EQ(full.GetWidth(), swapped ? 16u : 48u) << o;
        EXPECT_EQ(header.GetWidth(), full.GetWidth()) << o;
        EXPECT_EQ(header.GetHeight(), full.GetHeight()) << o;
        EXPECT_EQ(header.GetDpiX(), 300) << o;
        EXPECT_EQ(full.GetExifInfo().orientation, 1) << o;
    }
    // Orientation 6: the picture's top-left is the stored bottom-left.
    CRaster turned, upright;
    ASSERT_TRUE(Decode(turned, WithHeader(plain, ExifSegment(6, 300, 300, 2))));
    ASSERT_TRUE(Decode(upright, plain));
    const RGBQUAD a = At(turned, 0, 0), b = At(upright, 0, 15);
    EXPECT_LE(std::abs(a.rgbRed - b.rgbRed) + std::abs(a.rgbBlue - b.rgbBlue), 12);
    // An invalid orientation is stored as 0 and nothing turns.
    ExifInfo info{};
    CExifReader reader(&info);
    const Bytes nine = WithHeader(plain, ExifSegment(9, 300, 300, 2));
    CMemStream s(const_cast<std::uint8_t*>(nine.data()), DWORD(nine.size()));
    ASSERT_TRUE(reader.Decode(&s));
    EXPECT_EQ(info.orientation, 0);
    EXPECT_EQ(info.isExif, 1);
}

TEST(JpegCodec, TruncatedScanDataFailsButAMissingEndMarkerDecodes) {
    CRaster img;
    ASSERT_TRUE(img.Create(64, 64, 24));
    FillSmooth(img);
    const Bytes jpeg = Encode(img);
    CRaster full;
    ASSERT_TRUE(Decode(full, jpeg));

    Bytes noEnd(jpeg.begin(), jpeg.end() - 2);
    CRaster back;
    ASSERT_TRUE(Decode(back, noEnd)) << back.GetLastError();
    EXPECT_TRUE(imgtest::SamePicture(back, full));

    for (double cut : {0.5, 0.8, 0.95}) {
        Bytes half(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(jpeg.size() * cut));
        CRaster t;
        EXPECT_FALSE(Decode(t, half)) << cut;
        EXPECT_FALSE(t.IsValid()) << cut;
        EXPECT_STRNE(t.GetLastError(), "") << cut;
        // The same data closed with an end marker still lacks its rows.
        half.push_back(0xFF);
        half.push_back(0xD9);
        CRaster closed;
        EXPECT_FALSE(Decode(closed, half)) << cut;
        EXPECT_FALSE(closed.IsValid()) << cut;
    }
    CRaster empty;
    EXPECT_FALSE(Decode(empty, Bytes{}));
    EXPECT_STREQ(empty.GetLastError(), "Empty input file");
    CRaster notJpeg;
    EXPECT_FALSE(Decode(notJpeg, Bytes{'P', 'N', 'G', 0, 1, 2, 3}));
    EXPECT_STRNE(notJpeg.GetLastError(), "");
}

namespace {

// The same picture encoded by libjpeg alone into memory, with the writer's
// settings: defaults at a quality, B, G, R rows from the top, 4:2:0, the
// resolution in dots per inch.
Bytes PlainLibjpeg(CRaster& img, int quality) {
    return testimg::EncodeJpeg(int(img.GetWidth()), int(img.GetHeight()), testimg::JpegRows::kBgr,
                               testimg::JpegSettings{quality, false, img.GetDpiX(), img.GetDpiY()},
                               [&](int y) { return img.GetBits(img.GetHeight() - 1 - DWORD(y)); });
}

}  // namespace

TEST(JpegCodec, LargeOutputIsWrittenWholeAsLibjpegMakesIt) {
    // Noise at quality 95: some 300 kilobytes, written to the stream
    // in many pieces.
    CRaster img;
    ASSERT_TRUE(img.Create(613, 407, 24));
    std::uint32_t state = 12345;
    for (DWORD y = 0; y < img.GetHeight(); ++y)
        for (DWORD x = 0; x < 3 * img.GetWidth(); ++x) {
            state = state * 1664525u + 1013904223u;
            img.GetBits(y)[x] = static_cast<BYTE>(state >> 24);
        }
    img.SetDpiX(300);
    img.SetDpiY(200);
    img.SetQuality(95);
    const Bytes ours = Encode(img);
    const Bytes plain = PlainLibjpeg(img, 95);
    EXPECT_GT(ours.size(), 200000u);
    EXPECT_TRUE(ours == plain) << ours.size() << " bytes against " << plain.size();
}

TEST(JpegCodec, WriteFailureReportsTheLibraryText) {
    class Refusing : public CMemStream {
    public:
        Refusing() { Open(); }
        std::size_t Write(const void*, std::size_t, std::size_t) override { return 0; }
    } refusing;
    CRaster img;
    ASSERT_TRUE(img.Create(300, 300, 24));
    FillSmooth(img);
    EXPECT_FALSE(img.Encode(&refusing, RASTER_FORMAT_JPG));
    EXPECT_STREQ(img.GetLastError(), "Output file write error --- out of disk space?");
}

// ---- Exif reader ----

namespace {

// The data of an APP1 segment: "Exif\0\0" and a TIFF block built from
// 16-bit little-endian words and raw bytes.
Bytes ExifData(const Bytes& tiff) {
    Bytes d = {'E', 'x', 'i', 'f', 0, 0};
    d.insert(d.end(), tiff.begin(), tiff.end());
    return d;
}

Bytes Tiff(std::uint16_t magic, std::uint32_t first, const Bytes& dirs) {
    Bytes t = {'I', 'I', BYTE(magic), BYTE(magic >> 8), BYTE(first), BYTE(first >> 8), BYTE(first >> 16), BYTE(first >> 24)};
    t.insert(t.end(), dirs.begin(), dirs.end());
    return t;
}

Bytes Entry(std::uint16_t tag, std::uint16_t format, std::uint32_t count, std::uint32_t value) {
    return {BYTE(tag), BYTE(tag >> 8), BYTE(format), BYTE(format >> 8),
            BYTE(count), BYTE(count >> 8), BYTE(count >> 16), BYTE(count >> 24),
            BYTE(value), BYTE(value >> 8), BYTE(value >> 16), BYTE(value >> 24)};
}

Bytes Dir(const std::vector<Bytes>& entries, std::uint32_t next) {
    Bytes d = {BYTE(entries.size()), BYTE(entries.size() >> 8)};
    for (const auto& e : entries) d.insert(d.end(), e.begin(), e.end());
    for (int i = 0; i < 4; ++i) d.push_back(BYTE(next >> (8 * i)));
    return d;
}

}  // namespace

TEST(ExifReader, BrokenBlocksAreRefusedWithTheirText) {
    struct Case { const char* name; Bytes data; const char* text; };
    const Case cases[] = {
        {"header", Bytes{'E', 'x', 'i', 'f', 1, 0, 'I', 'I', 42, 0, 8, 0, 0, 0, 0, 0}, "Incorrect Exif header"},
        {"alignment", ExifData({'I', 'M', 42, 0, 8, 0, 0, 0, 0, 0}), "Invalid Exif alignment marker."},
        {"magic", ExifData(Tiff(43, 8, Dir({}, 0))), "Invalid Exif start (1)"},
        {"directory size", ExifData(Tiff(42, 8, Bytes{200, 0})), "Illegally sized directory"},
        {"format", ExifData(Tiff(42, 8, Dir({Entry(274, 13, 1, 1)}, 0))), "Illegal format code in EXIF dir"},
        {"pointer", ExifData(Tiff(42, 8, Dir({Entry(271, 2, 100, 8)}, 0))), "Illegal pointer offset value in EXIF."},
        {"count overflow", ExifData(Tiff(42, 8, Dir({Entry(271, 12, 0x20000001u, 8)}, 0))),
         "Illegal pointer offset value in EXIF."},
        {"sub link", ExifData(Tiff(42, 8, Dir({Entry(34665, 4, 1, 0x7FFFFFF0u)}, 0))), "Illegal subdirectory link"},
        {"loop", ExifData(Tiff(42, 8, Dir({}, 8))), "Maximum directory nesting exceeded (corrupt exif header)"},
    };
    for (const auto& c : cases) {
        ExifInfo info{};
        CExifReader r(&info);
        EXPECT_FALSE(r.ParseExif(c.data.data(), std::uint32_t(c.data.size()))) << c.name;
        EXPECT_STREQ(r.GetLastError(), c.text) << c.name;
    }
}

TEST(ExifReader, ReadsValuesFromNestedDirectories) {
    // IFD0: make (inline), orientation, link to the Exif IFD; Exif IFD:
    // exposure time 1/250, F-number 28/10, ISO 2 (x200), flash 1.
    const std::uint32_t exifIfd = 8 + 2 + 3 * 12 + 4;
    const std::uint32_t values = exifIfd + 2 + 4 * 12 + 4;
    Bytes dirs = Dir({Entry(271, 2, 4, 'A' | ('B' << 8) | ('C' << 16)), Entry(274, 3, 1, 8), Entry(34665, 4, 1, exifIfd)}, 0);
    Bytes exif = Dir({Entry(33434, 5, 1, values), Entry(33437, 5, 1, values + 8), Entry(34855, 3, 1, 2),
                      Entry(37385, 3, 1, 0x19)}, 0);
    dirs.insert(dirs.end(), exif.begin(), exif.end());
    for (std::uint32_t v : {1u, 250u, 28u, 10u})
        for (int i = 0; i < 4; ++i) dirs.push_back(BYTE(v >> (8 * i)));
    const Bytes data = ExifData(Tiff(42, 8, dirs));
    ExifInfo info{};
    CExifReader r(&info);
    ASSERT_TRUE(r.ParseExif(data.data(), std::uint32_t(data.size()))) << r.GetLastError();
    EXPECT_STREQ(info.cameraMake, "ABC");
    EXPECT_EQ(info.orientation, 8);
    EXPECT_FLOAT_EQ(info.exposureTime, 1.0f / 250);
    EXPECT_FLOAT_EQ(info.apertureNumber, 2.8f);
    EXPECT_EQ(info.isoEquivalent, 400);
    EXPECT_EQ(info.flashUsed, 1);
}

TEST(ExifReader, SegmentsCommentsAndLimits) {
    auto segment = [](std::uint8_t marker, const Bytes& body) {
        Bytes s = {0xFF, marker, BYTE((body.size() + 2) >> 8), BYTE(body.size() + 2)};
        s.insert(s.end(), body.begin(), body.end());
        return s;
    };
    Bytes file = {0xFF, 0xD8};
    for (const auto& s : {segment(0xFE, {'a', '\r', '\n', 'b', 1, '\t', 'c'}), segment(0xFE, {'z'}),
                          segment(0xC0, {8, 0, 10, 0, 20, 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1}),
                          segment(0xDA, {0})})
        file.insert(file.end(), s.begin(), s.end());
    ExifInfo info{};
    CExifReader r(&info);
    CMemStream s1(file.data(), DWORD(file.size()));
    ASSERT_TRUE(r.Decode(&s1));
    EXPECT_STREQ(info.comments, "a\nb?\tc") << "CR LF loses the CR, control bytes become '?', the second comment is dropped";
    EXPECT_EQ(info.width, 20);
    EXPECT_EQ(info.height, 10);
    EXPECT_EQ(info.isColour, 1);
    EXPECT_EQ(info.process, 0xC0);

    Bytes many = {0xFF, 0xD8};
    for (int i = 0; i < 21; ++i) {
        const Bytes s = segment(0xE2, {1, 2, 3});
        many.insert(many.end(), s.begin(), s.end());
    }
    CExifReader r2;
    CMemStream s2(many.data(), DWORD(many.size()));
    EXPECT_FALSE(r2.Decode(&s2));
    EXPECT_STREQ(r2.GetLastError(), "Too many sections in jpg file");

    // Too many fill bytes and an end of image before any scan are said on
    // standard output.
    struct Said { const char* what; Bytes file; const char* text; };
    const Said said[] = {
        {"padding", {0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xE0, 0, 2}, "too many padding bytes\n"},
        {"no image", {0xFF, 0xD8, 0xFF, 0xFE, 0, 3, 'x', 0xFF, 0xD9, 0, 2}, "No image in jpeg!\n"},
    };
    for (const auto& c : said) {
        CExifReader r3;
        CMemStream s3(const_cast<std::uint8_t*>(c.file.data()), DWORD(c.file.size()));
        ::testing::internal::CaptureStdout();
        const bool read = r3.Decode(&s3);
        const std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_FALSE(read) << c.what;
        EXPECT_EQ(out, c.text) << c.what;
    }

    Bytes shortSeg = {0xFF, 0xD8, 0xFF, 0xE1, 0x10, 0x00, 'E', 'x'};
    CExifReader r4;
    CMemStream s4(shortSeg.data(), DWORD(shortSeg.size()));
    EXPECT_FALSE(r4.Decode(&s4));
    EXPECT_STREQ(r4.GetLastError(), "Premature end of file?");
}

// The comments: the first comment segment, even after an Exif block whose
// user comment filled them; without a comment segment the user comment as
// stored (its character-code header and trailing blanks included), at most
// 199 characters.
TEST(ExifReader, CommentSegmentAndUserCommentRules) {
    auto segment = [](std::uint8_t marker, const Bytes& body) {
        Bytes s = {0xFF, marker, BYTE((body.size() + 2) >> 8), BYTE(body.size() + 2)};
        s.insert(s.end(), body.begin(), body.end());
        return s;
    };
    auto exifWithUserComment = [&](const Bytes& comment) {
        const std::uint32_t at = 8 + 2 + 12 + 4;
        Bytes dirs = Dir({Entry(37510, 7, std::uint32_t(comment.size()), at)}, 0);
        dirs.insert(dirs.end(), comment.begin(), comment.end());
        return segment(0xE1, ExifData(Tiff(42, 8, dirs)));
    };
    auto file = [&](const std::vector<Bytes>& segments) {
        Bytes f = {0xFF, 0xD8};
        for (const auto& s : segments) f.insert(f.end(), s.begin(), s.end());
        const Bytes sos = segment(0xDA, {0});
        f.insert(f.end(), sos.begin(), sos.end());
        return f;
    };
    const Bytes user = {'A', 'S', 'C', 'I', 'I', 0, 0, 0, 'H', 'e', 'l', 'l', 'o', ' ', ' ', ' '};
    Bytes longUser(250, 'u');
    std::copy(user.begin(), user.begin() + 8, longUser.begin());
    struct Case { const char* what; Bytes file; Bytes comments; };
    const Case cases[] = {
        {"comment segment after the user comment", file({exifWithUserComment(user), segment(0xFE, {'n', 'o', 't', 'e'})}),
         {'n', 'o', 't', 'e', 0}},
        {"comment segment before the user comment", file({segment(0xFE, {'n', 'o', 't', 'e'}), exifWithUserComment(user)}),
         {'n', 'o', 't', 'e', 0}},
        {"user comment alone, as stored", file({exifWithUserComment(user)}), [&] { Bytes b = user; b.push_back(0); return b; }()},
        {"a long user comment", file({exifWithUserComment(longUser)}),
         [&] { Bytes b(longUser.begin(), longUser.begin() + 199); b.push_back(0); return b; }()},
    };
    for (const auto& c : cases) {
        ExifInfo info{};
        CExifReader r(&info);
        CMemStream s(const_cast<std::uint8_t*>(c.file.data()), DWORD(c.file.size()));
        ASSERT_TRUE(r.Decode(&s)) << c.what << ": " << r.GetLastError();
        EXPECT_EQ(info.isExif, 1) << c.what;
        EXPECT_EQ(Bytes(info.comments, info.comments + c.comments.size()), c.comments) << c.what;
    }
}
