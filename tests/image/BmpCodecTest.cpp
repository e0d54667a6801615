#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "image/ByteStream.h"
#include "image/Raster.h"
#include "RasterTestUtil.h"
#include "support/TempDir.h"

using imgtest::At;
using imgtest::BmpBuilder;
using imgtest::FillRandom;
using imgtest::SamePicture;

namespace {

bool DecodeBytes(CRaster& img, const std::vector<std::uint8_t>& bytes, DWORD type = RASTER_FORMAT_BMP) {
    return img.DecodeFromMemory(bytes.data(), DWORD(bytes.size()), type);
}

RGBQUAD Rgb(BYTE r, BYTE g, BYTE b) { return RGBQUAD{b, g, r, 0}; }

// A stream that accepts `room` bytes and then refuses, like a full disk.
class FullStream : public CMemStream {
public:
    explicit FullStream(std::size_t room) : m_room(room) { Open(); }
    std::size_t Write(const void* b, std::size_t size, std::size_t count) override {
        if (size * count > m_room) return 0;
        m_room -= size * count;
        return CMemStream::Write(b, size, count);
    }

private:
    std::size_t m_room;
};

}  // namespace

TEST(BmpCodec, RoundTripsEveryDepthThroughMemoryAndFile) {
    testdata::TempDir dir;
    for (int bpp : {1, 4, 8, 24})
        for (DWORD w : {1u, 3u, 17u, 64u})
            for (bool alpha : {false, true}) {
                if (alpha && bpp != 24) continue;
                CRaster img;
                ASSERT_TRUE(img.Create(w, 5, bpp, RASTER_FORMAT_BMP));
                if (alpha) img.CreateAlphaPlane();
                FillRandom(img, w * 7 + bpp);
                img.SetDpiX(300);
                img.SetDpiY(150);

                BYTE* buffer = nullptr;
                std::int32_t size = 0;
                ASSERT_TRUE(img.EncodeToMemory(buffer, size, RASTER_FORMAT_BMP));
                const std::uint32_t expectSize = alpha ? 54 + w * 4 * 5 : img.GetSize() + 14;
                EXPECT_EQ(std::uint32_t(size), expectSize);
                EXPECT_EQ(le::Get32(buffer + 2), expectSize) << "file size field";
                CRaster back(buffer, DWORD(size), RASTER_FORMAT_BMP);
                std::free(buffer);
                ASSERT_TRUE(back.IsValid()) << back.GetLastError();
                EXPECT_EQ(back.GetBitsPerPixel(), bpp);
                EXPECT_TRUE(SamePicture(back, img, 0, alpha)) << bpp << " " << w;
                EXPECT_EQ(back.HasAlphaPlane(), alpha);
                EXPECT_EQ(back.GetDpiX(), 300);
                EXPECT_EQ(back.GetDpiY(), 150);
                if (bpp < 24) {
                    EXPECT_EQ(std::memcmp(back.GetPalette(), img.GetPalette(), img.GetPaletteSize()), 0);
                }

                const std::wstring path = dir.wfile(L"rt.bmp");
                ASSERT_TRUE(img.Save(path, RASTER_FORMAT_BMP));
                CRaster loaded;
                ASSERT_TRUE(loaded.Load(path, RASTER_FORMAT_BMP));
                EXPECT_TRUE(SamePicture(loaded, img, 0, alpha));
                EXPECT_EQ(loaded.GetType(), RASTER_FORMAT_BMP);
            }
}

TEST(BmpCodec, ReadsEveryHeaderKind) {
    // A 3 x 2 8-bit picture; rows bottom-up, padded to 4 bytes.
    const std::vector<std::uint8_t> pixels = {0, 1, 2, 0, 2, 1, 0, 0};
    for (std::uint32_t headerSize : {12u, 40u, 64u, 108u, 124u}) {
        for (bool bare : {false, true}) {
            BmpBuilder b;
            b.headerSize = headerSize;
            b.width = 3;
            b.height = 2;
            b.bits = 8;
            b.coloursUsed = 3;
            b.ppmX = 11811;
            b.ppmY = 3937;
            b.imageSize = headerSize == 108 ? 8 : 0;  // another size needs a consistent image size ...
            if (headerSize == 108) b.coloursUsed = 0;  // ... and no colour count
            // A bare OS/2 DIB has no offset to tell a short palette: it holds all 256.
            const int entries = headerSize == 108 || (headerSize == 12 && bare) ? 256 : 3;
            for (int i = 0; i < entries; ++i) {
                const BYTE v = BYTE(i == 1 ? 200 : i == 2 ? 50 : 0);
                b.palette.insert(b.palette.end(), {v, BYTE(v / 2), BYTE(255 - v)});
                if (headerSize != 12) b.palette.push_back(0x77);  // reserved byte: cleared on reading
            }
            b.pixels = pixels;
            b.fileHeader = !bare;
            CRaster img;
            ASSERT_TRUE(DecodeBytes(img, b.Build(), bare ? RASTER_FORMAT_UNKNOWN : RASTER_FORMAT_BMP))
                << headerSize << (bare ? " bare" : "") << ": " << img.GetLastError();
            EXPECT_EQ(img.GetWidth(), 3u);
            EXPECT_EQ(img.GetHeight(), 2u);
            EXPECT_EQ(img.GetIndexAt(1, 0), 1) << headerSize;
            EXPECT_EQ(img.GetIndexAt(2, 0), 2) << headerSize;
            EXPECT_EQ(img.GetIndexAt(0, 1), 2) << headerSize;
            EXPECT_TRUE(imgtest::SameColour(img.GetPaletteEntry(1), RGBQUAD{200, 100, 55, 0})) << headerSize;
            EXPECT_EQ(img.GetPaletteEntry(1).rgbReserved, 0);
            if (headerSize != 12) {
                EXPECT_EQ(img.GetDpiX(), 300);
                EXPECT_EQ(img.GetDpiY(), 100);
            } else {
                EXPECT_EQ(img.GetDpiX(), 96) << "no resolution in an OS/2 core header";
            }
        }
    }
}

TEST(BmpCodec, TopDownRowsDecodeUpright) {
    BmpBuilder b;
    b.width = 2;
    b.height = -2;
    b.bits = 24;
    // First row in the file is the top of the picture.
    b.pixels = {0, 0, 255, 0, 255, 0, 0, 0, /**/ 255, 0, 0, 255, 255, 255, 0, 0};
    CRaster img;
    ASSERT_TRUE(DecodeBytes(img, b.Build())) << img.GetLastError();
    EXPECT_EQ(img.GetHeight(), 2u);
    EXPECT_TRUE(imgtest::SameColour(At(img, 0, 0), Rgb(255, 0, 0)));
    EXPECT_TRUE(imgtest::SameColour(At(img, 1, 0), Rgb(0, 255, 0)));
    EXPECT_TRUE(imgtest::SameColour(At(img, 0, 1), Rgb(0, 0, 255)));
    EXPECT_TRUE(imgtest::SameColour(At(img, 1, 1), Rgb(255, 255, 255)));
}

TEST(BmpCodec, SixteenBitPixelsWithDefaultAndFieldMasks) {
    struct Case { std::vector<std::uint32_t> masks; std::uint16_t pixel; RGBQUAD expected; };
    const Case cases[] = {
        {{}, 0x7FFF, Rgb(0xF8, 0xF8, 0xF8)},                        // 5-5-5 white
        {{}, 0x7C00, Rgb(0xF8, 0, 0)},
        {{}, 0x03E0, Rgb(0, 0xF8, 0)},
        {{}, 0x001F, Rgb(0, 0, 0xF8)},
        {{0xF800, 0x07E0, 0x001F}, 0xF800, Rgb(0xF8, 0, 0)},         // 5-6-5
        {{0xF800, 0x07E0, 0x001F}, 0x07E0, Rgb(0, 0xFC, 0)},
        {{0xF800, 0x07E0, 0x001F}, 0x0010, Rgb(0, 0, 0x80)},
    };
    for (const auto& c : cases) {
        for (std::uint32_t headerSize : {40u, 124u}) {
            BmpBuilder b;
            b.headerSize = headerSize;
            b.width = 3;  // odd: rows padded to 8 bytes
            b.bits = 16;
            b.imageSize = 8;
            b.compression = c.masks.empty() ? 0 : 3;
            b.masks = c.masks;
            b.pixels = {BYTE(c.pixel), BYTE(c.pixel >> 8), 0, 0, BYTE(c.pixel), BYTE(c.pixel >> 8), 0, 0};
            CRaster img;
            ASSERT_TRUE(DecodeBytes(img, b.Build())) << img.GetLastError();
            EXPECT_EQ(img.GetBitsPerPixel(), 24);
            EXPECT_TRUE(imgtest::SameColour(At(img, 0, 0), c.expected))
                << std::hex << c.pixel << " header " << std::dec << headerSize << ": got " << int(At(img, 0, 0).rgbRed)
                << "," << int(At(img, 0, 0).rgbGreen) << "," << int(At(img, 0, 0).rgbBlue);
            EXPECT_TRUE(imgtest::SameColour(At(img, 2, 0), c.expected));
            EXPECT_TRUE(imgtest::SameColour(At(img, 1, 0), Rgb(0, 0, 0)));
        }
    }
}

TEST(BmpCodec, ThirtyTwoBitAlphaAndMasks) {
    // Compression 0: the fourth byte is alpha.
    BmpBuilder b;
    b.width = 2;
    b.bits = 32;
    b.pixels = {10, 20, 30, 40, 50, 60, 70, 0};
    CRaster img;
    ASSERT_TRUE(DecodeBytes(img, b.Build())) << img.GetLastError();
    ASSERT_TRUE(img.HasAlphaPlane());
    EXPECT_TRUE(imgtest::SameColour(At(img, 0, 0), Rgb(30, 20, 10)));
    EXPECT_EQ(img.GetAlphaAt(0, 0), 40);
    EXPECT_EQ(img.GetAlphaAt(1, 0), 0);

    // All fourth bytes 0: fully opaque.
    b.pixels = {10, 20, 30, 0, 50, 60, 70, 0};
    ASSERT_TRUE(DecodeBytes(img, b.Build()));
    EXPECT_EQ(img.GetAlphaAt(0, 0), 255);
    EXPECT_EQ(img.GetAlphaAt(1, 0), 255);

    // Bit fields in a V5 header (and after a 40-byte header): the channels
    // sit where the masks say, no alpha plane.
    for (std::uint32_t headerSize : {40u, 124u}) {
        BmpBuilder f;
        f.headerSize = headerSize;
        f.width = 1;
        f.bits = 32;
        f.compression = 3;
        f.masks = {0x000000FF, 0x0000FF00, 0xFF000000};  // red low, blue high
        f.pixels = {1, 2, 3, 4};
        ASSERT_TRUE(DecodeBytes(img, f.Build())) << img.GetLastError();
        EXPECT_TRUE(imgtest::SameColour(At(img, 0, 0), Rgb(1, 2, 4))) << headerSize;
        EXPECT_FALSE(img.HasAlphaPlane());
    }
}

TEST(BmpCodec, RunLengthEncodedPixels) {
    // RLE8, 5 x 3: run, end of line, literal with padding, delta, end.
    BmpBuilder r8;
    r8.width = 5;
    r8.height = 3;
    r8.bits = 8;
    r8.compression = 1;
    r8.coloursUsed = 8;
    r8.palette.assign(8 * 4, 0);
    r8.pixels = {3, 7,          0, 0,          // row 0: 7 7 7 . .
                 0, 3, 1, 2, 3, 0,             // row 1: literal 1 2 3 (padded)
                 0, 2, 1, 0,                   // delta: x 3 -> 4, same row
                 1, 5,                         // row 1 x 4: 5
                 0, 0, 9, 6,                   // row 2: nine 6s, cut to the width
                 0, 1};
    CRaster img;
    ASSERT_TRUE(DecodeBytes(img, r8.Build())) << img.GetLastError();
    const BYTE expect8[3][5] = {{7, 7, 7, 0, 0}, {1, 2, 3, 0, 5}, {6, 6, 6, 6, 6}};
    for (DWORD y = 0; y < 3; ++y)
        for (DWORD x = 0; x < 5; ++x) EXPECT_EQ(img.GetIndexAt(x, y), expect8[y][x]) << x << "," << y;

    // RLE4, 6 x 2: alternating nibbles in runs and literals.
    BmpBuilder r4;
    r4.width = 6;
    r4.height = 2;
    r4.bits = 4;
    r4.compression = 2;
    r4.palette.assign(16 * 4, 0);
    r4.pixels = {5, 0x12, 0, 0,                  // row 0: 1 2 1 2 1 .
                 0, 3, 0xAB, 0xC0, 2, 0xEE, 0, 1};  // row 1: A B C E E .
    ASSERT_TRUE(DecodeBytes(img, r4.Build())) << img.GetLastError();
    const BYTE expect4[2][6] = {{1, 2, 1, 2, 1, 0}, {0xA, 0xB, 0xC, 0xE, 0xE, 0}};
    for (DWORD y = 0; y < 2; ++y)
        for (DWORD x = 0; x < 6; ++x) EXPECT_EQ(img.GetIndexAt(x, y), expect4[y][x]) << x << "," << y;
}

TEST(BmpCodec, HostileFilesFailWithATextAndNoCrash) {
    auto base = [] {
        BmpBuilder b;
        b.width = 4;
        b.height = 4;
        b.bits = 8;
        b.palette.assign(256 * 4, 0);
        b.pixels.assign(16, 1);
        return b;
    };
    struct Case { const char* name; std::vector<std::uint8_t> bytes; const char* text; };
    std::vector<Case> cases;
    cases.push_back({"empty", {}, "Not a BMP"});
    cases.push_back({"short file header", {'B', 'M', 1, 2}, "Not a BMP"});
    { auto b = base().Build(); b.resize(30); cases.push_back({"short info header", b, "Error reading BMP info"}); }
    { auto b = base(); b.width = 0x7FFFFFFF; cases.push_back({"huge width", b.Build(), "too large"}); }
    { auto b = base(); b.width = -4; cases.push_back({"negative width", b.Build(), "Error reading BMP info"}); }
    { auto b = base(); b.height = 0; cases.push_back({"zero height", b.Build(), "Error reading BMP info"}); }
    { auto b = base(); b.width = 65535; b.height = -65535; b.bits = 24; b.palette.clear();
      cases.push_back({"top-down 12 GiB", b.Build(), "too large"}); }
    { auto b = base(); b.bits = 3; cases.push_back({"bit count 3", b.Build(), "Error reading BMP info"}); }
    { auto b = base(); b.compression = 7; cases.push_back({"8-bit compression 7", b.Build(), "compression type not supported"}); }
    { auto b = base(); b.bits = 24; b.compression = 1; cases.push_back({"24-bit RLE", b.Build(), "unknown compression"}); }
    { auto b = base(); b.bits = 32; b.compression = 2; cases.push_back({"32-bit RLE4", b.Build(), "unknown compression"}); }
    { auto b = base(); b.pixels.resize(10); cases.push_back({"truncated pixels", b.Build(), "truncated"}); }
    { auto b = base(); b.coloursUsed = 0x40000000; b.fileHeader = false;
      cases.push_back({"colour count beyond the file", b.Build(), "truncated"}); }
    { auto b = base(); b.headerSize = 20; cases.push_back({"header size 20", b.Build(), "Error reading BMP info"}); }
    { auto b = base(); b.headerSize = 4096; b.coloursUsed = 0; b.imageSize = 0xFFFFFFFF;
      auto v = b.Build(); v.resize(14 + 100);
      cases.push_back({"header size beyond the file", v, "Error reading BMP info"}); }
    { auto b = base(); b.offsetOverride = 0x7FFFFFFF; cases.push_back({"offset beyond the file", b.Build(), "truncated"}); }
    { auto b = base(); b.compression = 1; b.pixels = {255, 1, 2, 1};
      cases.push_back({"RLE data ends before the last row", b.Build(), "truncated"}); }
    { auto b = base(); b.compression = 1; b.pixels = {0, 200, 1, 2};
      cases.push_back({"RLE literal longer than the data", b.Build(), "truncated"}); }

    for (const auto& c : cases) {
        CRaster img;
        img.SetDpiX(123);
        EXPECT_FALSE(DecodeBytes(img, c.bytes)) << c.name;
        EXPECT_NE(std::string(img.GetLastError()).find(c.text), std::string::npos)
            << c.name << ": " << img.GetLastError();
        EXPECT_FALSE(img.IsValid()) << c.name;
        EXPECT_EQ(img.GetDpiX(), 123) << c.name << ": a failed decode leaves the image as it was";
    }
}

TEST(BmpCodec, RunsPastTheRowOrImageAreClippedNotWritten) {
    BmpBuilder b;
    b.width = 3;
    b.height = 2;
    b.bits = 8;
    b.compression = 1;
    b.palette.assign(256 * 4, 0);
    // 255 pixels in row 0, a delta far above the image, more runs, end.
    b.pixels = {255, 4, 0, 2, 200, 200, 255, 9, 0, 1};
    CRaster img;
    ASSERT_TRUE(DecodeBytes(img, b.Build())) << img.GetLastError();
    EXPECT_EQ(img.GetIndexAt(2, 0), 4);
    EXPECT_EQ(img.GetIndexAt(0, 1), 0) << "the run does not wrap into the next row";
}

TEST(BmpCodec, ImageSizeFieldLargerThanThePixelAreaIsClamped) {
    BmpBuilder b;
    b.width = 2;
    b.height = 2;
    b.bits = 8;
    b.imageSize = 0x7FFFFFF0;
    b.palette.assign(256 * 4, 0);
    b.pixels = {1, 2, 0, 0, 3, 4, 0, 0};
    CRaster img;
    ASSERT_TRUE(DecodeBytes(img, b.Build())) << img.GetLastError();
    EXPECT_EQ(img.GetIndexAt(1, 1), 4);
    EXPECT_EQ(img.GetHeader().biSizeImage, 8u);
}

TEST(BmpCodec, FailedWritesReturnFalse) {
    CRaster img;
    ASSERT_TRUE(img.Create(40, 40, 24));
    for (std::size_t room : {0u, 10u, 100u, 4000u}) {
        FullStream full(room);
        EXPECT_FALSE(img.Encode(&full, RASTER_FORMAT_BMP)) << room;
        EXPECT_STREQ(img.GetLastError(), "Error saving BMP file");
    }
    img.CreateAlphaPlane();
    FullStream full(500);
    EXPECT_FALSE(img.Encode(&full, RASTER_FORMAT_BMP));
    if (FILE* devfull = std::fopen("/dev/full", "wb")) {
        std::fclose(devfull);
        EXPECT_FALSE(img.Save(L"/dev/full", RASTER_FORMAT_BMP)) << "a write the disk refuses on flush";
    }
}

TEST(CodecDispatch, ErrorTexts) {
    CRaster img;
    EXPECT_FALSE(img.Decode(static_cast<CByteStream*>(nullptr), RASTER_FORMAT_BMP));
    EXPECT_STREQ(img.GetLastError(), "null file handler");
    std::uint8_t junk[64] = {1, 2, 3};
    CMemStream s(junk, sizeof junk);
    EXPECT_FALSE(img.Decode(&s, 2));
    EXPECT_STREQ(img.GetLastError(), "Decode: Unknown or wrong format");
    EXPECT_FALSE(img.Decode(&s, 0));
    EXPECT_STREQ(img.GetLastError(), "Decode: Unknown or wrong format");
    EXPECT_EQ(s.Tell(), 0) << "the position is restored after a failed decode";

    EXPECT_FALSE(img.Encode(static_cast<CByteStream*>(nullptr), RASTER_FORMAT_BMP));
    EXPECT_STREQ(img.GetLastError(), "null file handler");
    CMemStream out;
    out.Open();
    EXPECT_FALSE(img.Encode(&out, RASTER_FORMAT_BMP));
    EXPECT_STREQ(img.GetLastError(), "null image!!!");
    ASSERT_TRUE(img.Create(2, 2, 8));
    EXPECT_FALSE(img.Encode(&out, 5));
    EXPECT_STREQ(img.GetLastError(), "Encode: Unknown format");

    BYTE* buffer = junk;
    std::int32_t size = 77;
    EXPECT_FALSE(img.EncodeToMemory(buffer, size, RASTER_FORMAT_BMP));
    EXPECT_STREQ(img.GetLastError(), "the buffer must be empty");
    EXPECT_EQ(buffer, junk);
    EXPECT_EQ(size, 77);
}

TEST(CodecDispatch, DecodeReadsFromTheCurrentPositionOfAStream) {
    CRaster img;
    ASSERT_TRUE(img.Create(3, 3, 24));
    FillRandom(img, 9);
    CMemStream s;
    s.Open();
    s.Write("prefix", 1, 6);
    ASSERT_TRUE(img.Encode(&s, RASTER_FORMAT_BMP));
    s.Seek(6, 0);
    CRaster back;
    ASSERT_TRUE(back.Decode(&s, RASTER_FORMAT_UNKNOWN)) << back.GetLastError();
    EXPECT_TRUE(SamePicture(back, img));
}

TEST(CodecDispatch, LoadOfMissingOrUnknownFiles) {
    testdata::TempDir dir;
    CRaster img;
    EXPECT_FALSE(img.Load(dir.wfile(L"missing.bmp"), RASTER_FORMAT_BMP));
    EXPECT_STREQ(img.GetLastError(), "") << "a file that cannot be opened leaves the text";
    std::ofstream(dir.file("text.bmp")) << "this is not an image at all, just some words";
    EXPECT_FALSE(img.Load(dir.wfile(L"text.bmp"), RASTER_FORMAT_UNKNOWN));
    EXPECT_STREQ(img.GetLastError(), "Decode: Unknown or wrong format");
    EXPECT_FALSE(img.Load(dir.wfile(L"text.bmp"), RASTER_FORMAT_BMP));
    EXPECT_STRNE(img.GetLastError(), "Decode: Unknown or wrong format")
        << "the caller sees the error of the format asked for";
    EXPECT_FALSE(img.Save(dir.wfile(L"no/such/folder.bmp"), RASTER_FORMAT_BMP));
}
