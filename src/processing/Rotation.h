// Rotation of a working image by an arbitrary angle: every pixel of an
// enlarged canvas is mapped back into the source and sampled bilinearly in
// double precision, the value truncated. Rows are bottom-up, so a positive
// angle turns the content clockwise as displayed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace rotation {

// pi as the single-precision value the rotation uses.
constexpr float kRotationPi = 3.1415927f;

struct Canvas {
    std::unique_ptr<std::uint8_t[]> bits;  // bottom-up rows, px::StrideFor(width, bitsPerPixel)
    std::size_t size = 0;                  // bytes
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    bool empty() const { return !bits; }
};

// The canvas of these pixels (an image of this size and depth); empty when
// `bits` is null.
Canvas CanvasOf(std::unique_ptr<std::uint8_t[]> bits, int width, int height, int bitsPerPixel);

// The sampling loops: the baseline loop (any x86-64 processor), one for
// processors with AVX2 and one for processors with AVX-512 (F, BW, DQ, VL,
// VBMI and BMI2), which give identical canvases. kFastest takes the widest loop
// the processor has, and builds the canvas of a turn by zero about a
// centred buffer by copying rows (the same bytes: every sample lies on a
// whole pixel); the others always sample, kAvx512 falling back to the AVX2
// loop and kAvx2 to the baseline loop where the processor lacks them.
enum class Kernel { kFastest, kBaseline, kAvx2, kAvx512 };
// True when the processor runs the AVX2 loop.
bool Avx2Available();
// True when the processor runs the AVX-512 loop.
bool Avx512Available();

// Canvas that holds a width x height image turned by `degrees`:
// int(w |cos a| + h |sin a| + 1) by int(w |sin a| + h |cos a| + 1) with
// a = degrees x pi / 180 in double precision. False when the angle is not a
// finite number or the canvas would exceed the image limits.
bool CanvasSize(double degrees, int width, int height, int* canvasWidth, int* canvasHeight);

// True when a turn by `degrees` moves no pixel: cos a is exactly 1 and
// sin a exactly 0. Such a turn about the centre of a centred buffer gives a
// canvas one column wider and one row higher whose w x h block at the
// keep-size crop's offsets (0, 0) is the image itself.
bool MovesNoPixel(double degrees);

// Turns an image (8 or 24 bits per pixel) by `degrees` about the centre of a
// canvas-sized buffer into which the image is placed centred at the offsets
// ((W' - w) / 2, (H' - h) / 2); the rest of that buffer is `fill`. The canvas
// starts as `fill`; points mapped to a negative position keep it, points
// whose sample reaches the buffer's last row or column take `edgeFill`.
// The centred buffer is never built: samples outside the image read `fill`.
// Returns an empty canvas for bad input or when the memory is not there.
Canvas RotateCentred(const std::uint8_t* bits, int width, int height, int bitsPerPixel, double degrees,
                     std::uint8_t fill, std::uint8_t edgeFill, Kernel kernel = Kernel::kFastest);

// The canvas RotateCentred gives for a turn that moves no pixel, made in the
// image's own buffer when it holds `capacity` bytes, at least those of the
// (w + 1) x (h + 1) canvas: the rows are moved to the canvas's stride, last
// to first. False, the buffer untouched, for bad input or too little room.
bool StraightenInPlace(std::uint8_t* bits, std::size_t capacity, int width, int height, int bitsPerPixel,
                       std::uint8_t fill, std::uint8_t edgeFill);

// Turns an image by `degrees`, sampling the image itself about its own centre
// (w / 2, h / 2); the canvas starts white (255), `edgeFill` as above.
Canvas RotateAboutImageCentre(const std::uint8_t* bits, int width, int height, int bitsPerPixel, double degrees,
                              std::uint8_t edgeFill, Kernel kernel = Kernel::kFastest);

// One bilinear sample at (x, y) of a source image written to the canvas at
// (column, row). Nothing is written when a coordinate is negative. The
// sample's whole part is capped at the source's last column and row; a
// sample whose right or upper neighbour would be outside the source takes
// `edgeFill` in every channel.
void SampleRotated(const std::uint8_t* source, int sourceWidth, int sourceHeight, std::uint8_t* canvas,
                   int canvasWidth, int canvasHeight, double x, double y, int column, int row, int bitsPerPixel,
                   std::uint8_t edgeFill);

// Exact quarter turns, `quarters` (1..3) clockwise as displayed, of a
// bottom-up image of width x height (8 or 24 bits per pixel) into `out`,
// whose size is the turned one (sides exchanged for 1 and 3).
void TurnQuarters(const std::uint8_t* in, int width, int height, int bitsPerPixel, int quarters, std::uint8_t* out);

// Copies the width x height block at the centre of a canvas of
// canvasWidth x canvasHeight (8 or 24 bits per pixel), starting at
// ((W' - w) / 2, (H' - h) / 2), into `out` (padded rows of the canvas
// depth). A canvas narrower or lower than the block (a thin image turned
// far) gives `fill` where the block reaches beyond it. Returns the offsets.
void KeepSizeCrop(const std::uint8_t* canvas, int canvasWidth, int canvasHeight, int bitsPerPixel, int width,
                  int height, std::uint8_t fill, std::uint8_t* out, int* offsetX, int* offsetY);

}  // namespace rotation
