// Image files the virtual scanner writes for file transfers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vds {

// One page in memory, rows from the top: 1 bit per pixel (packed, most
// significant bit first, 1 = white), 8 bits grey or 24 bits R, G, B.
struct Raster {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 24;
    int dpiX = 0;
    int dpiY = 0;
    int rowBytes = 0;  // (bits * width + 7) / 8, no padding
    std::vector<std::uint8_t> pixels;
};

// TIFF (compression: a TWAIN TWCP_ value), appended as a further page when
// `append` is set; JPEG at `quality`; BMP. False when the file cannot be
// written; `error` then says why.
bool WriteTiff(const std::string& path, const Raster& page, int twainCompression, int quality, bool append,
               std::string& error);
bool WriteJpeg(const std::string& path, const Raster& page, int quality, std::string& error);
bool WriteBmp(const std::string& path, const std::vector<std::uint8_t>& dib, std::string& error);

}  // namespace vds
