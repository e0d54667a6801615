// Whole rows of the shared pixel formulas (PixelMath.h) and of the table
// look-ups, for the loops that run over every pixel of a page. Each gives
// exactly what the per-pixel formula gives; where the processor has AVX2 or
// AVX-512 a vector loop does the same operations many lanes wide.
#pragma once

#include <cstddef>
#include <cstdint>

namespace px {

// The loops a row routine may run: kFastest takes the widest vector loop the
// processor has; kAvx2 at most the AVX2 loop; kBaseline is the plain loop
// (any x86-64 processor).
enum class RowKernel { kFastest, kAvx2, kBaseline };

// grey[x] = Grey(B, G, R) of the pixel at bgr + 3x, for x < width.
void GreyRow(const std::uint8_t* bgr, std::uint8_t* grey, std::size_t width, RowKernel kernel = RowKernel::kFastest);
// grey[x] = GreyRgbOrder(B, G, R) of the pixel at bgr + 3x, for x < width.
void GreyRgbOrderRow(const std::uint8_t* bgr, std::uint8_t* grey, std::size_t width,
                     RowKernel kernel = RowKernel::kFastest);

// out[i] = table[in[i]] for i < n; `in` and `out` may be the same bytes.
void LookupRow(const std::uint8_t* in, std::uint8_t* out, std::size_t n, const std::uint8_t* table,
               RowKernel kernel = RowKernel::kFastest);

// The same with one table per byte of a B, G, R pixel: bytes i of the
// `pixels` pixels at bgr go through tables[i % 3], in place.
void LookupPixelRow(std::uint8_t* bgr, std::size_t pixels, const std::uint8_t* const tables[3],
                    RowKernel kernel = RowKernel::kFastest);

// out[x] = bit (B | G << 8 | R << 16) of a table of 2^24 bits (bit i is bit
// i mod 64 of word i / 64) for the pixel at bgr + 3x, for x < width; returns
// how many are 1.
std::size_t ColourBitsRow(const std::uint8_t* bgr, std::uint8_t* out, std::size_t width, const std::uint64_t* words,
                          RowKernel kernel = RowKernel::kFastest);

// Sets the three bytes of pixel x to levels[x] for every x < width whose
// keep byte is 0 (every x when `keep` is null); other pixels stay.
void SpreadGreyRow(const std::uint8_t* levels, const std::uint8_t* keep, std::uint8_t* bgr, std::size_t width,
                   RowKernel kernel = RowKernel::kFastest);

// Sum of n bytes.
std::uint64_t SumRow(const std::uint8_t* bytes, std::size_t n);

// Moves every byte of a B, G, R pixel by the grey level's change: with
// g = grey[x], each byte b of pixel x becomes clamp(b + rise[g] - fall[g])
// to 0..255, where for every level one of rise and fall is 0.
struct GreyShiftTables {
    std::uint8_t rise[256];
    std::uint8_t fall[256];
};
// The tables of the change from level v to newLevel[v].
GreyShiftTables MakeGreyShiftTables(const std::uint8_t* newLevel);
void ShiftRowByGrey(std::uint8_t* bgr, const std::uint8_t* grey, std::size_t width, const GreyShiftTables& tables,
                    RowKernel kernel = RowKernel::kFastest);

}  // namespace px
