// A plain PNG reader written straight on libpng's transforms, used as the
// reference the codec's pixels are compared with: every image comes out as
// 8-bit red, green, blue, alpha rows from the top.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testdata {

struct Rgba8 {
    std::uint32_t width = 0, height = 0;
    std::vector<std::uint8_t> pixels;  // 4 bytes per pixel, rows from the top
    const std::uint8_t* At(std::uint32_t x, std::uint32_t y) const { return &pixels[(std::size_t(y) * width + x) * 4]; }
};

// False (and the message in `error`) when libpng refuses the file.
bool ReadPngReference(const std::string& path, Rgba8& out, std::string* error = nullptr);

}  // namespace testdata
