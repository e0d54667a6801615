// Little-endian field readers and writers for file headers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/core/WinTypes.h"

namespace le {

inline std::uint16_t Get16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t Get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void Put16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void Put32(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
    p[2] = static_cast<std::uint8_t>(v >> 16);
    p[3] = static_cast<std::uint8_t>(v >> 24);
}

// 14 bytes.
void WriteFileHeader(std::uint8_t* out, const BITMAPFILEHEADER& h);
BITMAPFILEHEADER ReadFileHeader(const std::uint8_t* in);
// 40 bytes.
void WriteInfoHeader(std::uint8_t* out, const BITMAPINFOHEADER& h);
BITMAPINFOHEADER ReadInfoHeader(const std::uint8_t* in);

}  // namespace le
