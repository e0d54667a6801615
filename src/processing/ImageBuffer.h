// Owned raw image buffers and their allocation with checked sizes.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/core/WinTypes.h"

// An owned image buffer (array new); null when there is none.
using PixelBuffer = std::unique_ptr<BYTE[]>;

// A zero-filled buffer for a raw image of this size and depth (24 gives
// 24-bit rows, anything else 8-bit rows, each padded to four bytes), or null
// when a side is not positive, a side exceeds the image limits, the pixel
// data would exceed them, or memory runs out. Where the limits allow, the
// buffer has room (not zeroed) for an image one pixel wider and one row
// higher, so that a turn by zero can be made in it (PixelCapacity).
PixelBuffer AllocPixels(std::int64_t width, std::int64_t height, int bitsPerPixel);
// The same buffer for rows that are written whole before anything reads
// them: only the padding bytes at the end of each row are zeroed.
PixelBuffer AllocPixelsUnfilled(std::int64_t width, std::int64_t height, int bitsPerPixel);
// Bytes of such a buffer; 0 for the cases AllocPixels refuses by size.
std::size_t PixelBytes(std::int64_t width, std::int64_t height, int bitsPerPixel);
// Bytes the buffer at `bits` can hold (at least what it was allocated with);
// 0 for null.
std::size_t PixelCapacity(const BYTE* bits);
