// Whole rows of the shared pixel formulas (PixelMath.h), for the loops that
// run over every pixel of a page. Each gives exactly what the per-pixel
// formula gives; where the processor has AVX2 a vector loop does the same
// double operations four lanes wide.
#pragma once

#include <cstddef>
#include <cstdint>

namespace px {

// The loops a row routine may run: kFastest takes the AVX2 loop where the
// processor has it; kBaseline is the plain loop (any x86-64 processor).
enum class RowKernel { kFastest, kBaseline };

// grey[x] = Grey(B, G, R) of the pixel at bgr + 3x, for x < width.
void GreyRow(const std::uint8_t* bgr, std::uint8_t* grey, std::size_t width, RowKernel kernel = RowKernel::kFastest);

}  // namespace px
