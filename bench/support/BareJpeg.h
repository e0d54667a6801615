// JPEG decoding and encoding done directly with libjpeg, without our image
// object: the yardstick other benchmarks report against ("x times a bare
// JPEG decode"). Pixels are raw rows from the top, B, G, R (3 components)
// or grey (1 component), `stride` bytes apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace barejpeg {

struct Image {
    int width = 0, height = 0, components = 0;
    std::size_t stride = 0;
    std::unique_ptr<std::uint8_t[]> pixels;  // not zero-filled: the decoder writes every byte
};

// False on any libjpeg error.
bool Decode(const std::uint8_t* data, std::size_t size, Image& out);

// Encodes at `quality` with libjpeg's defaults (4:2:0, Huffman, JFIF at
// `dpi`); false on any libjpeg error.
bool Encode(const std::uint8_t* pixels, int width, int height, int components, std::size_t stride, int quality,
            int dpi, std::vector<std::uint8_t>& out);

}  // namespace barejpeg
