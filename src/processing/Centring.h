// Centring of page content: the content is found on a measuring image (the
// page itself or a text-only copy of it) and the page is shifted so that its
// blank margins on both sides become equal, without changing its size.
#pragma once

#include <cstdint>

namespace centring {

// Direction bits of the centring setting.
constexpr int kHorizontal = 1;
constexpr int kVertical = 2;

// Shifts the columns of `image` (8 or 24 bits per pixel, bottom-up padded
// rows) measured on `measure` (same size and depth). The measuring image is
// binarised at 128 (colour through its grey value); a column is content when
// it has more than int(height x ratio x 0.01) dark pixels. Returns the shift
// applied (positive to the right), 0 when the image was left alone.
int CentreHorizontal(std::uint8_t* image, int width, int height, int bitsPerPixel, float ratio,
                     const std::uint8_t* measure);

// The same on rows in memory order (the first row in memory is the lowest
// row of the picture); a positive shift moves the content toward the end of
// the buffer.
int CentreVertical(std::uint8_t* image, int width, int height, int bitsPerPixel, float ratio,
                   const std::uint8_t* measure);

}  // namespace centring
