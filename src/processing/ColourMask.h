// The colour test with grow shared by the background colour remover and the
// red seal engine: marks the "useful colour" pixels of a 24-bit image with 1
// in an 8-bit mask, then marks with 2 every 0-pixel in the square of rows
// y - r .. y + r - 1 and columns x - r .. x + r - 1 around each 1-pixel.
// Masks have 8-bit rows of px::Stride8(width) bytes.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace colourmask {

inline constexpr std::uint8_t kColour = 1;
inline constexpr std::uint8_t kGrown = 2;

struct ColourTest {
    // Largest channel minus the middle one must be greater than this.
    int delta = 0;
    // (largest - smallest) / largest, single precision, must reach this
    // (largest 0 always passes this part).
    float saturation = 0.0f;
    // The red channel must be the largest.
    bool requireRed = false;
};

// The test for one pixel, written out: sort the channels into smallest S,
// middle M and largest L; colour when (L == 0 or (L - S) / L >= saturation)
// and L - M > delta and (not requireRed or R == L).
bool IsColour(std::uint8_t b, std::uint8_t g, std::uint8_t r, const ColourTest& test);

// The test's answer for every one of the 2^24 colours, one bit each (2 MiB),
// so that a page costs one lookup per pixel. Tables are built on first use
// and shared process-wide (the last few parameter sets are kept).
class ColourTable {
public:
    static std::shared_ptr<const ColourTable> For(const ColourTest& test);
    explicit ColourTable(const ColourTest& test);
    bool operator()(std::uint8_t b, std::uint8_t g, std::uint8_t r) const {
        const std::uint32_t i = static_cast<std::uint32_t>(b) | (static_cast<std::uint32_t>(g) << 8) |
                                (static_cast<std::uint32_t>(r) << 16);
        return (bits_[i >> 6] >> (i & 63)) & 1u;
    }

    // The 2^18 words of the table: bit i of the table is bit i mod 64 of
    // word i / 64, i = B | G << 8 | R << 16.
    const std::uint64_t* Words() const { return bits_.data(); }

private:
    std::vector<std::uint64_t> bits_;
};

// Sets each mask byte to 1 where the pixel passes the test and to 0
// elsewhere. Returns the number of colour pixels.
std::int64_t MarkColourPixels(const std::uint8_t* bgr, int width, int height, const ColourTest& test,
                              std::uint8_t* mask);

// Marks with 2 every mask byte still 0 that lies in the square
// rows y - r .. y + r - 1, columns x - r .. x + r - 1 (clipped to the image)
// of some pixel marked 1. Nothing happens for r <= 0.
void GrowColourMask(std::uint8_t* mask, int width, int height, int r);

}  // namespace colourmask
