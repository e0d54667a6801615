// Small image files written and read with libtiff, libpng and libjpeg
// directly (not through the program's codecs), so tests can build inputs of
// every depth and format and check what the program wrote against the
// libraries themselves.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace testimg {

// A picture in reading order (first row = top of the picture), `channels`
// bytes per pixel, rows without padding. For 1-bit pictures each value is
// the bit (0 or 1).
struct Picture {
    int width = 0;
    int height = 0;
    int channels = 1;
    std::vector<std::uint8_t> pixels;

    Picture() = default;
    Picture(int w, int h, int c) : width(w), height(h), channels(c), pixels(std::size_t(w) * h * c, 0) {}
    std::uint8_t& at(int x, int y, int c = 0) { return pixels[(std::size_t(y) * width + x) * channels + c]; }
    std::uint8_t at(int x, int y, int c = 0) const { return pixels[(std::size_t(y) * width + x) * channels + c]; }
};

// A picture whose every pixel differs from its neighbours (a pattern made
// from x, y and a seed), so a shifted or mirrored copy never matches.
Picture Pattern(int width, int height, int channels, unsigned seed);

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
};

struct TiffPage {
    TiffPage() = default;
    TiffPage(Picture p, int bits, int photometricValue, int compressionValue)
        : picture(std::move(p)), bitsPerSample(bits), photometric(photometricValue), compression(compressionValue) {}

    Picture picture;
    int bitsPerSample = 8;  // 1, 4 or 8
    int photometric = 1;    // 0 min-is-white, 1 min-is-black, 2 RGB, 3 palette
    int compression = 1;
    std::vector<Rgb> palette;  // photometric 3: 2^bitsPerSample entries
    float dpi = 0;             // 0: no resolution tags
    int resolutionUnit = 2;    // 2 inch, 3 centimetre
    int jpegQuality = 75;
};
// Writes the pages as one TIFF file (a multi-page file for several pages).
bool WriteTiff(const std::string& path, const std::vector<TiffPage>& pages);

// Cuts a file down to the first `share` (0 to 1) of its bytes, as a copy
// broken off part way leaves it.
bool TruncateFile(const std::string& path, double share);

// colorType: 0 grey, 2 RGB, 3 palette, 4 grey+alpha, 6 RGBA. bitDepth 1..8.
// dpi 0 writes no pHYs chunk.
bool WritePng(const std::string& path, const Picture& picture, int colorType, int bitDepth,
              const std::vector<Rgb>& palette = {}, int dpi = 0);

// Grey (1 channel) or RGB (3 channels) baseline JPEG with a JFIF density in
// dots per inch (0: unit 0, density 1:1).
bool WriteJpeg(const std::string& path, const Picture& picture, int quality, int dpi = 0);

// How the rows handed to EncodeJpeg are laid out: one byte per pixel, or
// three in R, G, B or B, G, R order, or four of (Adobe-style) CMYK.
enum class JpegRows { kGrey, kRgb, kBgr, kCmyk };
struct JpegSettings {
    int quality = 75;
    bool baseline = false;  // quantisation tables limited to baseline values
    int dpiX = 0, dpiY = 0;  // a JFIF density in dots per inch when either is set
};
// A JPEG made by libjpeg alone, in memory, with its defaults and `settings`;
// row(y) gives the row y counted from the top. Empty when libjpeg fails.
std::vector<std::uint8_t> EncodeJpeg(int width, int height, JpegRows layout, const JpegSettings& settings,
                                     const std::function<const std::uint8_t*(int y)>& row);

struct TiffPageInfo {
    int width = 0, height = 0;
    int bitsPerSample = 0, samplesPerPixel = 0, photometric = 0, compression = 0;
    float xResolution = 0, yResolution = 0;
    int resolutionUnit = 0;
    int subfileType = 0;
    std::uint16_t pageNumber = 0, pageTotal = 0;
    bool hasPageNumber = false;
    std::string pageName;
    // JPEG pages: the luminance table of the page's JPEG tables.
    bool hasJpegTable = false;
    std::array<std::uint16_t, 64> jpegLuminanceTable{};
    Picture rgb;           // the page as RGB, 3 channels
};
// Every directory of a TIFF file; empty when it cannot be opened.
std::vector<TiffPageInfo> ReadTiff(const std::string& path);

struct PngInfo {
    bool ok = false;
    int width = 0, height = 0, bitDepth = 0, colorType = 0;
    bool hasPhys = false;
    std::uint32_t physX = 0, physY = 0;
    int physUnit = 0;
    Picture rgb;  // 3 channels (alpha dropped)
};
PngInfo ReadPng(const std::string& path);

struct JpegInfo {
    bool ok = false;
    int width = 0, height = 0, components = 0;
    int densityUnit = -1, xDensity = 0, yDensity = 0;
    bool arithmetic = false;
    std::array<std::uint16_t, 64> luminanceTable{};  // natural order
    Picture pixels;  // as decoded by libjpeg: 1 or 3 channels
};
JpegInfo ReadJpeg(const std::string& path);
// The luminance quantisation table libjpeg makes for a quality.
std::array<std::uint16_t, 64> LuminanceTableForQuality(int quality);

// Output of a command (stdout and stderr) and whether it exited with 0.
struct CommandResult {
    bool ok = false;
    std::string output;
};
CommandResult RunCommand(const std::string& command);

}  // namespace testimg
