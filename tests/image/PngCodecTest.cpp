#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/ByteStream.h"
#include "image/Raster.h"
#include "image/RasterPNG.h"
#include "RasterTestUtil.h"
#include "support/TempDir.h"

using imgtest::FillRandom;
using imgtest::SamePicture;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes EncodePng(CRaster& img) { return imgtest::Encoded(img, RASTER_FORMAT_PNG); }

std::uint32_t Be32(const std::uint8_t* p) { return (std::uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }

// Offset of a chunk's data, or npos.
std::size_t FindChunk(const Bytes& png, const char* name) {
    std::size_t i = 8;
    while (i + 8 <= png.size()) {
        const std::uint32_t len = Be32(&png[i]);
        if (std::memcmp(&png[i + 4], name, 4) == 0) return i + 8;
        i += 12 + len;
    }
    return std::string::npos;
}

void FixCrc(Bytes& png, std::size_t data) {
    const std::uint32_t len = Be32(&png[data - 8]);
    const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, &png[data - 4], len + 4));
    for (int i = 0; i < 4; ++i) png[data + len + i] = BYTE(crc >> (24 - 8 * i));
}

bool DecodePng(CRaster& img, const Bytes& b) {
    CMemStream s(const_cast<std::uint8_t*>(b.data()), DWORD(b.size()));
    return img.Decode(&s, RASTER_FORMAT_PNG);
}

}  // namespace

TEST(PngCodec, RoundTripsEveryDepthWithItsColourType) {
    struct Case { const char* name; int bpp; bool greyRamp; bool alpha; int colourType; int bitDepth; };
    const Case cases[] = {
        {"1-bit palette", 1, false, false, 3, 1},
        {"4-bit palette", 4, false, false, 3, 4},
        {"8-bit palette", 8, false, false, 3, 8},
        {"8-bit grey", 8, true, false, 0, 8},
        {"8-bit grey + alpha", 8, true, true, 4, 8},
        {"24-bit", 24, false, false, 2, 8},
        {"24-bit + alpha", 24, false, true, 6, 8},
        {"8-bit palette + alpha", 8, false, true, 6, 8},  // no PNG type for it: written as RGBA
    };
    for (const auto& c : cases)
        for (DWORD w : {1u, 13u, 64u}) {
            CRaster img;
            ASSERT_TRUE(img.Create(w, 9, c.bpp, RASTER_FORMAT_PNG));
            if (c.alpha) img.CreateAlphaPlane();
            FillRandom(img, w + c.bpp);
            if (c.greyRamp) img.MakeGreyRamp();
            img.SetDpiX(300);
            img.SetDpiY(300);
            const Bytes png = EncodePng(img);
            const std::size_t ihdr = FindChunk(png, "IHDR");
            ASSERT_NE(ihdr, std::string::npos);
            EXPECT_EQ(png[ihdr + 9], c.colourType) << c.name;
            EXPECT_EQ(png[ihdr + 8], c.bitDepth) << c.name;
            EXPECT_EQ(FindChunk(png, "PLTE") != std::string::npos, c.colourType == 3) << c.name;
            EXPECT_NE(FindChunk(png, "bKGD"), std::string::npos) << c.name << ": every PNG carries bKGD";
            const std::size_t phys = FindChunk(png, "pHYs");
            ASSERT_NE(phys, std::string::npos);
            EXPECT_EQ(Be32(&png[phys]), 11811u);
            EXPECT_EQ(png[phys + 8], 1) << "unit metre";

            CRaster back;
            ASSERT_TRUE(DecodePng(back, png)) << c.name << ": " << back.GetLastError();
            EXPECT_TRUE(SamePicture(back, img, 0, c.alpha)) << c.name << " " << w;
            EXPECT_EQ(back.HasAlphaPlane(), c.alpha) << c.name;
            EXPECT_EQ(back.GetDpiX(), 300);
        }
}

TEST(PngCodec, InterlaceOptionAndCompressionLevels) {
    CRaster img;
    ASSERT_TRUE(img.Create(37, 29, 24));
    img.CreateAlphaPlane();
    FillRandom(img, 77);
    img.SetFormatOption(PNG_OPTION_INTERLACED, RASTER_FORMAT_PNG);
    const Bytes interlaced = EncodePng(img);
    EXPECT_EQ(interlaced[FindChunk(interlaced, "IHDR") + 12], 1);
    CRaster back;
    ASSERT_TRUE(DecodePng(back, interlaced)) << back.GetLastError();
    EXPECT_TRUE(SamePicture(back, img, 0, true));
    EXPECT_EQ(back.GetFormatOption(RASTER_FORMAT_PNG) & PNG_OPTION_INTERLACED, 1u);

    // A smooth picture: level 0 stores, level 9 compresses best.
    CRaster smooth;
    ASSERT_TRUE(smooth.Create(200, 100, 24));
    for (DWORD y = 0; y < 100; ++y)
        for (DWORD x = 0; x < 200; ++x) smooth.SetColourAt(x, y, RGBQUAD{BYTE(x), BYTE(y), BYTE(x / 2), 0});
    std::size_t sizes[3];
    const DWORD levels[3] = {2, 4, 6};
    for (int i = 0; i < 3; ++i) {
        smooth.SetFormatOption(levels[i], RASTER_FORMAT_PNG);
        const Bytes b = EncodePng(smooth);
        sizes[i] = b.size();
        ASSERT_TRUE(DecodePng(back, b));
        EXPECT_TRUE(SamePicture(back, smooth));
    }
    EXPECT_GT(sizes[0], 60000u) << "level 0 stores the 60000 pixel bytes";
    EXPECT_GT(sizes[0], sizes[1]);
    EXPECT_GE(sizes[1], sizes[2]);
}

TEST(PngCodec, PhysicalUnitsAndAspectOnly) {
    CRaster img;
    ASSERT_TRUE(img.Create(3, 3, 24));
    img.SetDpiX(72);
    Bytes png = EncodePng(img);
    const std::size_t phys = FindChunk(png, "pHYs");
    CRaster back;
    ASSERT_TRUE(DecodePng(back, png));
    EXPECT_EQ(back.GetDpiX(), 72);
    // Unit 0 (aspect ratio only) takes the numbers as they stand.
    png[phys + 8] = 0;
    const Bytes one = {0, 0, 0, 1, 0, 0, 0, 2};
    std::copy(one.begin(), one.end(), png.begin() + std::ptrdiff_t(phys));
    FixCrc(png, phys);
    ASSERT_TRUE(DecodePng(back, png)) << back.GetLastError();
    EXPECT_EQ(back.GetDpiX(), 1);
    EXPECT_EQ(back.GetDpiY(), 2);
}

TEST(PngCodec, BrokenStreamsFail) {
    CRaster img;
    ASSERT_TRUE(img.Create(50, 50, 24));
    FillRandom(img, 5);
    const Bytes png = EncodePng(img);
    for (std::size_t cut : {std::size_t(4), std::size_t(40), png.size() / 2, png.size() - 5}) {
        CRaster back;
        EXPECT_FALSE(DecodePng(back, Bytes(png.begin(), png.begin() + std::ptrdiff_t(cut)))) << cut;
        if (cut > 40) {
            EXPECT_STREQ(back.GetLastError(), "Read Error") << cut;
        }
        EXPECT_FALSE(back.IsValid());
    }
    Bytes bad = png;
    const std::size_t idat = FindChunk(bad, "IDAT");
    bad[idat + Be32(&bad[idat - 8])] ^= 0x55;  // the chunk's CRC no longer matches
    CRaster back;
    EXPECT_FALSE(DecodePng(back, bad));
    EXPECT_NE(std::string(back.GetLastError()).find("CRC"), std::string::npos) << back.GetLastError();

    class Refusing : public CMemStream {
    public:
        explicit Refusing(std::size_t room) : m_room(room) { Open(); }
        std::size_t Write(const void* b, std::size_t s, std::size_t n) override {
            if (s * n > m_room) return 0;
            m_room -= s * n;
            return CMemStream::Write(b, s, n);
        }
    private:
        std::size_t m_room;
    };
    for (std::size_t room : {0u, 100u, 2000u}) {
        Refusing r(room);
        EXPECT_FALSE(img.Encode(&r, RASTER_FORMAT_PNG)) << room;
        EXPECT_STREQ(img.GetLastError(), "Error saving PNG file");
    }
}

TEST(PngCodec, TransparencyIsReadIntoIndexColourOrPaletteAlpha) {
    // A palette image with a transparent index is written with the entry
    // moved to 0 and one tRNS value; reading gives index 0 transparent and
    // the caller's image keeps its own order.
    CRaster pal;
    ASSERT_TRUE(pal.Create(4, 1, 8));
    for (int i = 0; i < 256; ++i) pal.SetPaletteEntry(BYTE(i), BYTE(i), BYTE(255 - i), 7);
    pal.SetIndexAt(0, 0, 5);
    pal.SetIndexAt(1, 0, 0);
    pal.SetTransparentIndex(5);
    const Bytes png = EncodePng(pal);
    EXPECT_EQ(pal.GetIndexAt(0, 0), 5) << "moved back after the write";
    ASSERT_NE(FindChunk(png, "tRNS"), std::string::npos);
    CRaster back;
    ASSERT_TRUE(DecodePng(back, png));
    EXPECT_EQ(back.GetTransparentIndex(), 0);
    EXPECT_EQ(back.GetIndexAt(0, 0), 0);
    EXPECT_TRUE(imgtest::SameColour(back.GetColourAt(0, 0), pal.GetColourAt(0, 0)));
    EXPECT_TRUE(imgtest::SameColour(back.GetColourAt(1, 0), pal.GetColourAt(1, 0)));
}

TEST(CodecDispatch, TrialOrderAndKeptTextsOnAPngFile) {
    testdata::TempDir dir;
    CRaster img;
    ASSERT_TRUE(img.Create(6, 5, 24));
    FillRandom(img, 12);
    const std::wstring path = dir.wfile(L"picture.png");
    ASSERT_TRUE(img.Save(path, RASTER_FORMAT_PNG));

    // Type 0 tries BMP, JPEG, then PNG, seeking back each time.
    std::vector<std::uint8_t> bytes;
    {
        std::FILE* fp = std::fopen(dir.file("picture.png").c_str(), "rb");
        ASSERT_NE(fp, nullptr);
        int c;
        while ((c = std::fgetc(fp)) != EOF) bytes.push_back(std::uint8_t(c));
        std::fclose(fp);
    }
    CRaster any;
    ASSERT_TRUE(any.DecodeFromMemory(bytes.data(), DWORD(bytes.size()), RASTER_FORMAT_UNKNOWN));
    EXPECT_EQ(any.GetType(), RASTER_FORMAT_PNG);
    EXPECT_TRUE(SamePicture(any, img));

    // Asking for JPEG fails with the JPEG library's text; Load falls back to
    // trying every format and succeeds, keeping that text.
    CRaster asJpeg;
    EXPECT_FALSE(asJpeg.DecodeFromMemory(bytes.data(), DWORD(bytes.size()), RASTER_FORMAT_JPG));
    const std::string jpegText = asJpeg.GetLastError();
    EXPECT_NE(jpegText, "");
    CRaster loaded;
    ASSERT_TRUE(loaded.Load(path, RASTER_FORMAT_JPG));
    EXPECT_EQ(loaded.GetType(), RASTER_FORMAT_PNG);
    EXPECT_EQ(std::string(loaded.GetLastError()), jpegText) << "a successful decode does not clear the text";
}

TEST(PngCodec, AHugeTextChunkIsSkippedAndThePictureStillReads) {
    CRaster img;
    ASSERT_TRUE(img.Create(40, 30, 24));
    FillRandom(img, 8);
    Bytes png = EncodePng(img);
    const std::size_t idat = FindChunk(png, "IDAT");
    ASSERT_NE(idat, std::string::npos);
    // A 9 MB tEXt chunk, whole and with its CRC, right before the pixel
    // data: skipped unread, and the pixels after it still come through.
    const std::uint32_t len = 9000000;
    Bytes chunk(12 + len, 'x');
    for (int i = 0; i < 4; ++i) chunk[i] = BYTE(len >> (24 - 8 * i));
    std::memcpy(&chunk[4], "tEXt", 4);
    std::memcpy(&chunk[8], "Comment\0", 8);
    png.insert(png.begin() + std::ptrdiff_t(idat - 8), chunk.begin(), chunk.end());
    FixCrc(png, idat);
    CRaster back;
    ASSERT_TRUE(DecodePng(back, png)) << back.GetLastError();
    EXPECT_TRUE(SamePicture(back, img, 0));
}
