// Size arithmetic for buffers whose dimensions come from files. Every product
// or sum that sizes an allocation goes through these, so a hostile header can
// never wrap a size around to a small allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace checked {

inline std::optional<std::size_t> Mul(std::size_t a, std::size_t b) {
    std::size_t r;
    if (__builtin_mul_overflow(a, b, &r)) return std::nullopt;
    return r;
}
inline std::optional<std::size_t> Add(std::size_t a, std::size_t b) {
    std::size_t r;
    if (__builtin_add_overflow(a, b, &r)) return std::nullopt;
    return r;
}
inline std::optional<std::size_t> Mul3(std::size_t a, std::size_t b, std::size_t c) {
    auto ab = Mul(a, b);
    if (!ab) return std::nullopt;
    return Mul(*ab, c);
}

// Bytes of one DIB row: bits rounded up to whole 32-bit words.
inline std::optional<std::size_t> DibRowBytes(std::uint64_t width, std::uint64_t bitsPerPixel) {
    std::uint64_t bits;
    if (__builtin_mul_overflow(width, bitsPerPixel, &bits)) return std::nullopt;
    if (bits > UINT64_MAX - 31) return std::nullopt;
    std::uint64_t bytes = ((bits + 31) / 32) * 4;
    if (bytes > SIZE_MAX) return std::nullopt;
    return static_cast<std::size_t>(bytes);
}

}  // namespace checked

// Limits on images accepted from files or created on request.
namespace image_limits {
constexpr std::uint64_t kMaxSide = 65535;
constexpr std::uint64_t kMaxPixelBytes = std::uint64_t{2} << 30;  // 2 GiB
}  // namespace image_limits
