// Pixel arithmetic shared by the whole processing core: grey from colour,
// binarisation, row strides of the working buffers, millimetre conversions
// and saturating float-to-int. One definition each, so every operation
// computes them the same way.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "platform/core/LargeBuffers.h"

namespace px {

// Grey level of a B, G, R pixel: 0.587 G + 0.299 R + 0.114 B in double
// precision, in this order of terms, truncated. (The order of the terms can
// change the truncated value by one.)
inline std::uint8_t Grey(std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    return static_cast<std::uint8_t>(0.587 * g + 0.299 * r + 0.114 * b);
}
// The order 0.299 R + 0.587 G + 0.114 B, used by the few places that say so.
inline std::uint8_t GreyRgbOrder(std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    return static_cast<std::uint8_t>(0.299 * r + 0.587 * g + 0.114 * b);
}

// The same values without floating point for all but one colour in a
// thousand: with S = 587 G + 299 R + 114 B, the exact grey is S / 1000, whose
// fraction is at least 0.001 unless S is a multiple of 1000; the double
// expression is far closer than that to the exact value, so it truncates to
// the same whole number. Only at multiples of 1000 can the double fall just
// below the whole number, and there the double expression itself is used.
inline std::uint8_t GreyFast(std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    const unsigned s = 587u * g + 299u * r + 114u * b;
    const unsigned q = s / 1000u;
    return q * 1000u != s ? static_cast<std::uint8_t>(q) : Grey(b, g, r);
}
inline std::uint8_t GreyRgbOrderFast(std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    const unsigned s = 587u * g + 299u * r + 114u * b;
    const unsigned q = s / 1000u;
    return q * 1000u != s ? static_cast<std::uint8_t>(q) : GreyRgbOrder(b, g, r);
}

// Binary images hold 0 (dark) and 255 (light); 128 and above is light.
inline std::uint8_t Binarise128(std::uint8_t v) { return v >= 128 ? 255 : 0; }

// Bytes of one bottom-up row: 24-bit rows are 3 x width rounded up to a
// multiple of four, 8-bit rows width rounded up to a multiple of four.
inline std::size_t Stride24(std::size_t width) { return (width * 3 + 3) & ~std::size_t{3}; }
inline std::size_t Stride8(std::size_t width) { return (width + 3) & ~std::size_t{3}; }
inline std::size_t StrideFor(std::size_t width, int bitsPerPixel) {
    return bitsPerPixel == 24 ? Stride24(width) : Stride8(width);
}

// Float to int that saturates instead of being undefined out of range; NaN
// gives 0. Truncates toward zero like a cast.
inline int SaturatingInt(double v) {
    if (std::isnan(v)) return 0;
    if (v >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    if (v <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    return static_cast<int>(v);
}
// Product of two ints, saturated to the int range.
inline int SaturatingMul(int a, int b) {
    const std::int64_t p = static_cast<std::int64_t>(a) * b;
    if (p > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (p < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(p);
}

// Millimetres to pixels in single precision, truncated: int(mm / 25.4 x dpi).
// Out-of-range values (absurd settings) saturate instead of being undefined.
inline int MmToPixels(float mm, float dpi) { return SaturatingInt(mm / 25.4f * dpi); }
// Whole pixels per millimetre: int(dpi x 0.03937008), single precision.
inline int PixelsPerMm(float dpi) { return SaturatingInt(dpi * 0.03937008f); }
// A length given as a fraction of an inch, e.g. int(dpi x 0.8913386) for
// 22.64 mm; single precision, truncated.
inline int InchFractionToPixels(float dpi, float inches) { return SaturatingInt(dpi * inches); }
// An area in mm^2 as pixels: int(dpi x 0.03937008) x int(mm^2 / 25.4 x dpi).
inline int AreaMm2ToPixels(float mm2, float dpi) { return SaturatingMul(PixelsPerMm(dpi), MmToPixels(mm2, dpi)); }

// Fixed lengths derived from the dpi, in inches (single precision).
inline constexpr float kInch1_26mm = 0.0496063f;   // smallest character side
inline constexpr float kInch2mm = 0.07874016f;     // grow radius, shortest stroke
inline constexpr float kInch3mm = 0.11811024f;     // smallest character of the text analyser
inline constexpr float kInch22_64mm = 0.8913386f;  // largest character side
inline constexpr float kInch25mm = 0.984252f;      // smallest photo side

// An owned buffer of `bytes` bytes, each set to `fill`; null when the memory
// is not there (no exception).
inline std::unique_ptr<std::uint8_t[]> NewBuffer(std::size_t bytes, std::uint8_t fill) {
    std::unique_ptr<std::uint8_t[]> b(new (std::nothrow) std::uint8_t[bytes > 0 ? bytes : 1]);
    if (b) {
        largebuf::Advise(b.get(), bytes);
        std::memset(b.get(), fill, bytes);
    }
    return b;
}

inline std::uint8_t ClampByte(int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

}  // namespace px
