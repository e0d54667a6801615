// The colour test with grow shared by the background colour remover and the
// red seal engine: marks the "useful colour" pixels of a 24-bit image with 1
// in an 8-bit mask, then marks with 2 every 0-pixel in the square of rows
// y - r .. y + r - 1 and columns x - r .. x + r - 1 around each 1-pixel.
// Masks have 8-bit rows of px::Stride8(width) bytes.
#pragma once

#include <array>
#include <cstdint>

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

// The same test, tabulated for speed: the saturation part is monotone in
// L - S for a fixed L, so it reduces to L - S >= minSpread[L].
class ColourClassifier {
public:
    explicit ColourClassifier(const ColourTest& test);
    bool operator()(std::uint8_t b, std::uint8_t g, std::uint8_t r) const {
        std::uint8_t lo = b < g ? b : g, hi = b < g ? g : b;
        std::uint8_t mid;
        if (r >= hi) {
            mid = hi;
            hi = r;
        } else if (r <= lo) {
            mid = lo;
            lo = r;
        } else {
            mid = r;
        }
        if (requireRed_ && r != hi) return false;
        if (hi - mid <= delta_) return false;
        return hi - lo >= minSpread_[hi];
    }

private:
    std::array<int, 256> minSpread_{};
    int delta_;
    bool requireRed_;
};

// Sets mask bytes to 1 where the pixel passes the test (other bytes are left
// as they are). Returns the number of colour pixels.
std::int64_t MarkColourPixels(const std::uint8_t* bgr, int width, int height, const ColourTest& test,
                              std::uint8_t* mask);

// Marks with 2 every mask byte still 0 that lies in the square
// rows y - r .. y + r - 1, columns x - r .. x + r - 1 (clipped to the image)
// of some pixel marked 1. Nothing happens for r <= 0.
void GrowColourMask(std::uint8_t* mask, int width, int height, int r);

}  // namespace colourmask
