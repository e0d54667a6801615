// Window extremes of 8-bit images: every byte becomes the largest (or
// smallest) value of the (2r + 1) x (2r + 1) window around it, clipped to the
// image. Equal to r repetitions of the 3 x 3 filter, each computed from a
// copy of the previous state (the image rectangle is convex, so r steps of
// one pixel reach exactly the clipped window). Linear in the pixel count
// whatever r is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace morph {

class WindowFilter {
public:
    // Rows of `stride` bytes, `width` of them used. Nothing happens for
    // r <= 0 or an empty image.
    void Max(std::uint8_t* image, int width, int height, std::size_t stride, int r);
    void Min(std::uint8_t* image, int width, int height, std::size_t stride, int r);

private:
    template <bool kMax>
    void Run(std::uint8_t* image, int width, int height, std::size_t stride, int r);

    std::vector<std::uint8_t> line_, forward_, backward_, rowsForward_, rowsBackward_;
};

}  // namespace morph
