// Decoding into a row target: a JPEG decode that hands its rows to a target
// gives the same picture, header, palette and resolution as the decode that
// keeps them in the image's block; every row is reported once and no
// padding byte is written. Pictures that an Exif orientation turns stay in
// the block. An image over outside rows copies and encodes as the same
// image with its own block. The shape read from a JPEG's headers alone is
// the shape of the header-only decode.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>


#include "image/ByteStream.h"
#include "image/Raster.h"
#include "image/RasterJPG.h"
#include "platform/core/LittleEndian.h"
#include "RasterTestUtil.h"
#include "support/ImageFiles.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using imgtest::Encoded;
constexpr BYTE kUntouched = 0xA5;

// Rows in a vector of its own, pre-filled with a marker so that a write into
// the padding shows; counts the reports of every row.
class RecordingTarget final : public CRasterRowTarget {
public:
    bool refuse = false;
    int asked = 0;
    std::size_t rowBytes = 0;
    Bytes rows;
    std::vector<int> reported;

    BYTE* ProvideRows(DWORD w, DWORD h, DWORD bitsPerPixel, std::size_t bytes) override {
        ++asked;
        if (refuse) return nullptr;
        EXPECT_EQ(bytes, (std::size_t(w) * bitsPerPixel + 31) / 32 * 4);
        rowBytes = bytes;
        rows.assign(bytes * h, kUntouched);
        reported.assign(h, 0);
        return rows.data();
    }
    void RowsWritten(DWORD first, DWORD count) override {
        for (DWORD r = first; r < first + count; ++r) {
            ASSERT_LT(r, reported.size());
            ++reported[r];
        }
    }
};

// Adobe-style CMYK straight from libjpeg.
Bytes CmykJpeg(int w, int h, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<std::uint8_t> row(std::size_t(w) * 4);
    return testimg::EncodeJpeg(w, h, testimg::JpegRows::kCmyk, testimg::JpegSettings{90}, [&](int) {
        for (auto& v : row) v = std::uint8_t(rng());
        return row.data();
    });
}

// A JPEG file of random colour or grey pixels.
Bytes PictureJpeg(int w, int h, int bits, unsigned seed) {
    CRaster img;
    EXPECT_TRUE(img.Create(DWORD(w), DWORD(h), DWORD(bits)));
    imgtest::FillRandom(img, seed);
    if (bits == 8) img.MakeGreyRamp();
    img.SetDpiX(300);
    img.SetDpiY(150);
    return Encoded(img, RASTER_FORMAT_JPG);
}

// The file with an Exif segment carrying `orientation` after its SOI.
Bytes WithOrientation(const Bytes& jpeg, int orientation) {
    Bytes tiff = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0};
    const std::uint8_t entry[12] = {0x12, 0x01, 3, 0, 1, 0, 0, 0, BYTE(orientation), 0, 0, 0};
    tiff.insert(tiff.end(), entry, entry + 12);
    tiff.insert(tiff.end(), {0, 0, 0, 0});
    Bytes seg = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
    seg.insert(seg.end(), tiff.begin(), tiff.end());
    seg[2] = BYTE((seg.size() - 2) >> 8);
    seg[3] = BYTE(seg.size() - 2);
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), seg.begin(), seg.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

bool DecodeJpeg(CRaster& img, const Bytes& file) {
    return img.DecodeFromMemory(file.data(), DWORD(file.size()), RASTER_FORMAT_JPG);
}

// Header, palette, information and the pixels of every row (padding left
// out) of two images; empty when they agree.
std::string Difference(const CRaster& a, const CRaster& b) {
    std::string d;
    BYTE ha[40], hb[40];
    le::WriteInfoHeader(ha, a.GetHeader());
    le::WriteInfoHeader(hb, b.GetHeader());
    if (std::memcmp(ha, hb, 40) != 0) d += "header; ";
    if (a.GetPaletteSize() != b.GetPaletteSize() ||
        (a.GetPaletteSize() && std::memcmp(a.GetPalette(), b.GetPalette(), a.GetPaletteSize()) != 0))
        d += "palette; ";
    if (a.GetDpiX() != b.GetDpiX() || a.GetDpiY() != b.GetDpiY() || a.GetRowBytes() != b.GetRowBytes() ||
        a.GetType() != b.GetType() || std::memcmp(&a.GetExifInfo(), &b.GetExifInfo(), sizeof(ExifInfo)) != 0)
        d += "information; ";
    if (d.empty()) {
        const std::size_t used = std::size_t(a.GetWidth()) * a.GetBitsPerPixel() / 8;
        for (DWORD y = 0; y < a.GetHeight(); ++y)
            if (std::memcmp(a.GetBits(y), b.GetBits(y), used) != 0) return "row " + std::to_string(y);
    }
    return d;
}

struct Source {
    const char* label;
    int bits;  // 24 colour, 8 grey, 32 CMYK (decoded as colour)
};
constexpr Source kSources[] = {{"colour", 24}, {"grey", 8}, {"cmyk", 32}};

Bytes SourceFile(const Source& s, int w, int h, unsigned seed) {
    return s.bits == 32 ? CmykJpeg(w, h, seed) : PictureJpeg(w, h, s.bits, seed);
}

}  // namespace

TEST(RasterRowTarget, JpegRowsInTheTargetAreTheRowsOfThePlainDecode) {
    unsigned seed = 1;
    for (const Source& s : kSources) {
        for (int w = 1; w <= 17; ++w) {
            for (int h : {1, 2, 9, 17}) {
                SCOPED_TRACE(std::string(s.label) + " " + std::to_string(w) + "x" + std::to_string(h));
                const Bytes file = SourceFile(s, w, h, seed++);
                CRaster plain, delivered;
                RecordingTarget target;
                delivered.SetRowTarget(&target);
                ASSERT_TRUE(DecodeJpeg(plain, file)) << plain.GetLastError();
                ASSERT_TRUE(DecodeJpeg(delivered, file)) << delivered.GetLastError();
                EXPECT_FALSE(plain.HasRowsOutside());
                ASSERT_EQ(target.asked, 1);
                ASSERT_TRUE(delivered.HasRowsOutside());
                EXPECT_EQ(delivered.GetBits(0), target.rows.data());
                EXPECT_EQ(Difference(delivered, plain), "");
                // Each row reported once; the padding never written.
                EXPECT_EQ(target.reported, std::vector<int>(std::size_t(h), 1));
                const std::size_t used = std::size_t(w) * plain.GetBitsPerPixel() / 8;
                for (int y = 0; y < h; ++y)
                    for (std::size_t i = used; i < target.rowBytes; ++i)
                        ASSERT_EQ(target.rows[target.rowBytes * std::size_t(y) + i], kUntouched) << "row " << y;
            }
        }
    }
}

TEST(RasterRowTarget, TurnedPicturesRefusedTargetsAndHeaderOnlyDecodesKeepTheirRows) {
    const Bytes colour = PictureJpeg(13, 7, 24, 40);
    struct Case {
        const char* label;
        Bytes file;
        bool refuse;
        bool headerOnly;
        bool delivered;
    };
    const Case cases[] = {
        {"orientation 1", WithOrientation(colour, 1), false, false, true},
        {"orientation 0 (invalid 9)", WithOrientation(colour, 9), false, false, true},
        {"orientation 2 (mirrored in place)", WithOrientation(colour, 2), false, false, false},
        {"orientation 4 (flipped in place)", WithOrientation(colour, 4), false, false, false},
        {"orientation 6 (turned)", WithOrientation(colour, 6), false, false, false},
        {"orientation 8 (turned)", WithOrientation(colour, 8), false, false, false},
        {"target refuses", colour, true, false, false},
        {"header only", colour, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        CRaster plain, tried;
        RecordingTarget target;
        target.refuse = c.refuse;
        tried.SetRowTarget(&target);
        CMemStream a(const_cast<BYTE*>(c.file.data()), DWORD(c.file.size()));
        CMemStream b(const_cast<BYTE*>(c.file.data()), DWORD(c.file.size()));
        ASSERT_TRUE(plain.Decode(&a, RASTER_FORMAT_JPG, c.headerOnly));
        ASSERT_TRUE(tried.Decode(&b, RASTER_FORMAT_JPG, c.headerOnly));
        EXPECT_EQ(tried.HasRowsOutside(), c.delivered);
        EXPECT_EQ(target.asked, c.delivered || c.refuse ? 1 : 0);
        if (!c.delivered && !c.refuse) {
            EXPECT_TRUE(target.reported.empty());
        }
        EXPECT_EQ(Difference(tried, plain), "");
    }
}

TEST(RasterRowTarget, AFailedDecodeLeavesNoImage) {
    const Bytes file = PictureJpeg(64, 48, 24, 41);
    const Bytes cut(file.begin(), file.begin() + std::ptrdiff_t(file.size() / 2));
    CRaster img;
    RecordingTarget target;
    img.SetRowTarget(&target);
    EXPECT_FALSE(DecodeJpeg(img, cut));
    EXPECT_FALSE(img.IsValid());
    EXPECT_FALSE(img.HasRowsOutside());
    EXPECT_EQ(target.asked, 1);
}

TEST(RasterRowTarget, ImagesOverOutsideRowsCopyAndEncodeAsImagesWithTheirOwnRows) {
    for (int bits : {1, 8, 24}) {
        for (int w : {1, 5, 17}) {
            SCOPED_TRACE(std::to_string(bits) + " bits, width " + std::to_string(w));
            const int h = 6;
            CRaster own;
            ASSERT_TRUE(own.Create(DWORD(w), DWORD(h), DWORD(bits), RASTER_FORMAT_BMP));
            imgtest::FillRandom(own, unsigned(bits * 100 + w));
            own.SetDpiX(200);
            Bytes rows(std::size_t(own.GetRowBytes()) * h);
            std::memcpy(rows.data(), own.GetBits(0), rows.size());

            CRaster over;
            ASSERT_TRUE(over.CreateOverRows(DWORD(w), DWORD(h), DWORD(bits), rows.data(), RASTER_FORMAT_BMP));
            EXPECT_TRUE(over.HasRowsOutside());
            EXPECT_EQ(over.GetBits(0), rows.data());
            over.SetPalette(own.GetPalette(), own.GetColourCount());
            over.SetDpiX(200);
            EXPECT_EQ(Difference(over, own), "");
            for (DWORD type : {RASTER_FORMAT_BMP, RASTER_FORMAT_PNG, RASTER_FORMAT_TIF})
                EXPECT_EQ(Encoded(over, type), Encoded(own, type)) << type;

            // A copy has rows of its own.
            CRaster copy(over, true);
            EXPECT_FALSE(copy.HasRowsOutside());
            EXPECT_NE(copy.GetBits(0), rows.data());
            EXPECT_EQ(Encoded(copy, RASTER_FORMAT_BMP), Encoded(own, RASTER_FORMAT_BMP));

            // Destroying the image leaves the rows to their owner.
            over.Destroy();
            EXPECT_FALSE(over.HasRowsOutside());
            EXPECT_EQ(std::memcmp(rows.data(), own.GetBits(0), rows.size()), 0);
        }
    }
    CRaster none;
    EXPECT_EQ(none.CreateOverRows(4, 4, 8, nullptr), nullptr);
    EXPECT_FALSE(none.IsValid());
}

TEST(JpegShape, HeadersAloneGiveTheShapeOfTheHeaderOnlyDecode) {
    const Bytes colour = PictureJpeg(13, 7, 24, 50);
    const Bytes grey = PictureJpeg(5, 9, 8, 51);
    struct Case {
        const char* label;
        Bytes file;
    };
    std::vector<Case> cases = {{"colour", colour}, {"grey", grey}, {"cmyk", CmykJpeg(6, 4, 52)}};
    for (int o = 1; o <= 9; ++o)
        cases.push_back({"orientation", WithOrientation(colour, o)});
    cases.push_back({"grey turned", WithOrientation(grey, 6)});
    cases.push_back({"cut inside the headers", Bytes(colour.begin(), colour.begin() + 40)});
    cases.push_back({"not a JPEG", Bytes{'P', 'N', 'G', 0, 1, 2, 3}});
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(std::string(c.label) + " " + std::to_string(i));
        CRaster header;
        CMemStream a(const_cast<BYTE*>(c.file.data()), DWORD(c.file.size()));
        const bool decoded = header.Decode(&a, RASTER_FORMAT_JPG, true);
        CRasterJPG codec;
        CMemStream b(const_cast<BYTE*>(c.file.data()), DWORD(c.file.size()));
        DWORD w = 0, h = 0, bits = 0;
        EXPECT_EQ(codec.ReadShape(&b, w, h, bits), decoded);
        EXPECT_FALSE(codec.IsValid());
        if (!decoded) continue;
        EXPECT_EQ(w, header.GetWidth());
        EXPECT_EQ(h, header.GetHeight());
        EXPECT_EQ(bits, header.GetBitsPerPixel());
    }
}
