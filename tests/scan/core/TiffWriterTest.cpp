// The memory-transfer TIFF writer: its files read back through libtiff pixel
// for pixel, tiffinfo finds nothing to complain about, and the 174-byte
// header is laid out byte by byte as the format table says.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include <tiffio.h>

#include "scan/core/TiffWriter.h"
#include "support/ImageFiles.h"
#include "support/TempDir.h"

namespace {

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}
std::vector<std::uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A page of `bits` per pixel with rows of `rowLength` bytes, every byte
// distinct enough to catch a shifted or repeated row.
std::vector<std::uint8_t> Pattern(int height, std::uint32_t rowLength) {
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(height) * rowLength);
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<std::uint8_t>((i * 37 + i / rowLength * 11) & 0xFF);
    return pixels;
}

// Reads every row through libtiff's scanline interface.
std::vector<std::uint8_t> ReadRows(const std::string& path, std::uint32_t& width, std::uint32_t& height,
                                   std::uint16_t& bits, std::uint16_t& samples, std::uint16_t& photometric) {
    std::vector<std::uint8_t> out;
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return out;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
    const tmsize_t line = TIFFScanlineSize(tif);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(line));
    for (std::uint32_t y = 0; y < height; ++y) {
        if (TIFFReadScanline(tif, row.data(), y, 0) < 0) break;
        out.insert(out.end(), row.begin(), row.end());
    }
    TIFFClose(tif);
    return out;
}

struct WriterCase {
    const char* label;
    int width, height, bits;
    int strip;  // rows per write burst (the writer is row by row; strips only vary the caller)
    int photometric, samples, bitsPerSample;
};

class TiffWriterCases : public ::testing::TestWithParam<WriterCase> {};

TEST_P(TiffWriterCases, ReadsBackPixelIdenticalAndCleanInTiffinfo) {
    const WriterCase& c = GetParam();
    testdata::TempDir dir;
    const std::string path = dir.file("page.tif");
    const auto rowLength = static_cast<std::uint32_t>((c.bits * c.width + 7) / 8);
    const std::vector<std::uint8_t> pixels = Pattern(c.height, rowLength);
    {
        CTiffWriter writer(path, static_cast<std::uint32_t>(c.width), static_cast<std::uint32_t>(c.height), c.bits,
                           rowLength);
        writer.setXResolution(300, 1);
        writer.setYResolution(200, 1);
        EXPECT_TRUE(writer.writeImageHeader());
        EXPECT_EQ(writer.writeOffset(), 174u);
        // Rows arrive in strips of uneven heights.
        int y = 0, burst = c.strip;
        while (y < c.height) {
            for (int r = 0; r < burst && y < c.height; ++r, ++y)
                EXPECT_TRUE(writer.writeRow(pixels.data() + static_cast<std::size_t>(y) * rowLength));
            burst = burst > 1 ? burst - 1 : c.strip;
        }
    }
    const std::vector<std::uint8_t> bytes = ReadBytes(path);
    EXPECT_EQ(bytes.size(), 174u + pixels.size());

    std::uint32_t width = 0, height = 0;
    std::uint16_t bits = 0, samples = 0, photometric = 99;
    const std::vector<std::uint8_t> read = ReadRows(path, width, height, bits, samples, photometric);
    EXPECT_EQ(static_cast<int>(width), c.width);
    EXPECT_EQ(static_cast<int>(height), c.height);
    EXPECT_EQ(bits, c.bitsPerSample);
    EXPECT_EQ(samples, c.samples);
    EXPECT_EQ(photometric, c.photometric);
    EXPECT_EQ(read, pixels);

    const testimg::CommandResult info = testimg::RunCommand("tiffinfo '" + path + "'");
    EXPECT_TRUE(info.ok) << info.output;
    EXPECT_EQ(info.output.find("Warning"), std::string::npos) << info.output;
    EXPECT_EQ(info.output.find("Error"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("Resolution: 300, 200 pixels/inch"), std::string::npos) << info.output;
}

INSTANTIATE_TEST_SUITE_P(Depths, TiffWriterCases,
                         ::testing::Values(WriterCase{"rgb", 100, 50, 24, 7, 2, 3, 8},
                                           WriterCase{"grey", 33, 21, 8, 5, 1, 1, 8},
                                           WriterCase{"bilevel", 10, 9, 1, 3, 1, 1, 1},
                                           WriterCase{"bilevel_odd", 61, 17, 1, 16, 1, 1, 1}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(TiffWriter, HeaderLayout) {
    testdata::TempDir dir;
    const std::string path = dir.file("h.tif");
    {
        CTiffWriter writer(path, 100, 50, 24, 300);
        writer.setXResolution(300, 1);
        writer.setYResolution(300, 1);
        writer.writeImageHeader();
    }
    const std::vector<std::uint8_t> b = ReadBytes(path);
    ASSERT_EQ(b.size(), 174u);
    EXPECT_EQ(b[0], 'I');
    EXPECT_EQ(b[1], 'I');
    EXPECT_EQ(Le16(b, 2), 42);
    EXPECT_EQ(Le32(b, 4), 8u);
    EXPECT_EQ(Le16(b, 8), 12);
    struct Entry {
        std::uint16_t tag, type;
        std::uint32_t count, value;
    };
    const Entry want[12] = {{256, 4, 1, 100}, {257, 4, 1, 50},   {258, 3, 1, 8},   {259, 3, 1, 1},
                            {262, 3, 1, 2},   {273, 3, 1, 174},  {277, 3, 1, 3},   {278, 4, 1, 50},
                            {279, 4, 1, 15000}, {282, 5, 1, 158}, {283, 5, 1, 166}, {296, 3, 1, 2}};
    for (int i = 0; i < 12; ++i) {
        const std::size_t at = 10 + 12 * static_cast<std::size_t>(i);
        SCOPED_TRACE(want[i].tag);
        EXPECT_EQ(Le16(b, at), want[i].tag);
        EXPECT_EQ(Le16(b, at + 2), want[i].type);
        EXPECT_EQ(Le32(b, at + 4), want[i].count);
        if (want[i].type == 3) {
            EXPECT_EQ(Le16(b, at + 8), want[i].value);
            EXPECT_EQ(Le16(b, at + 10), 0);
        } else {
            EXPECT_EQ(Le32(b, at + 8), want[i].value);
        }
    }
    EXPECT_EQ(Le32(b, 154), 0u);
    EXPECT_EQ(Le32(b, 158), 300u);
    EXPECT_EQ(Le32(b, 162), 1u);
    EXPECT_EQ(Le32(b, 166), 300u);
    EXPECT_EQ(Le32(b, 170), 1u);
}

TEST(TiffWriter, DefaultResolutionAndGreyEntries) {
    CTiffWriter writer("unused.tif", 10, 4, 8, 10);
    const auto h = writer.headerBytes();
    const std::vector<std::uint8_t> b(h.begin(), h.end());
    EXPECT_EQ(Le16(b, 10 + 12 * 2 + 8), 8);   // BitsPerSample
    EXPECT_EQ(Le16(b, 10 + 12 * 4 + 8), 1);   // BlackIsZero
    EXPECT_EQ(Le16(b, 10 + 12 * 6 + 8), 1);   // one sample
    EXPECT_EQ(Le32(b, 10 + 12 * 8 + 8), 40u);  // 4 rows of 10 bytes
    EXPECT_EQ(Le32(b, 158), 100u);
    EXPECT_EQ(Le32(b, 162), 1u);
}

TEST(TiffWriter, FileThatCannotBeOpenedSkipsEveryRow) {
    testdata::TempDir dir;
    CTiffWriter writer(dir.file("missing/sub/page.tif"), 4, 2, 8, 4);
    EXPECT_TRUE(writer.writeImageHeader());
    EXPECT_FALSE(writer.good());
    const std::uint8_t row[4] = {1, 2, 3, 4};
    EXPECT_FALSE(writer.writeRow(row));
    EXPECT_EQ(writer.writeOffset(), 174u);
}

}  // namespace
