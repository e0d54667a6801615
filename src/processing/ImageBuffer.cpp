// Allocation of raw image buffers. Sizes are checked in 64-bit arithmetic
// against the image limits before anything is allocated, and the buffer comes
// zero-filled; a refused size or a failed allocation gives null, never an
// exception.
#include "processing/ImageBuffer.h"

#include <algorithm>
#include <cstring>
#include <malloc.h>
#include <new>

#include "platform/core/CheckedSize.h"
#include "platform/core/LargeBuffers.h"
#include "processing/PixelMath.h"

std::size_t PixelBytes(std::int64_t width, std::int64_t height, int bitsPerPixel) {
    if (width <= 0 || height <= 0) return 0;
    if (static_cast<std::uint64_t>(width) > image_limits::kMaxSide ||
        static_cast<std::uint64_t>(height) > image_limits::kMaxSide)
        return 0;
    const std::size_t stride = px::StrideFor(static_cast<std::size_t>(width), bitsPerPixel);
    const auto bytes = checked::Mul(stride, static_cast<std::size_t>(height));
    if (!bytes || *bytes > image_limits::kMaxPixelBytes) return 0;
    return *bytes;
}

namespace {

// A buffer of `bytes` for an image of this size, with the room of
// AllocPixels.
PixelBuffer Allocate(std::size_t bytes, std::int64_t width, std::int64_t height, int bitsPerPixel) {
    if (bytes == 0) return nullptr;
    const std::size_t room = std::max(bytes, PixelBytes(width + 1, height + 1, bitsPerPixel));
    PixelBuffer buffer(new (std::nothrow) BYTE[room]);
    if (buffer) largebuf::Advise(buffer.get(), room);
    return buffer;
}

}  // namespace

PixelBuffer AllocPixels(std::int64_t width, std::int64_t height, int bitsPerPixel) {
    const std::size_t bytes = PixelBytes(width, height, bitsPerPixel);
    PixelBuffer buffer = Allocate(bytes, width, height, bitsPerPixel);
    if (buffer) std::memset(buffer.get(), 0, bytes);
    return buffer;
}

PixelBuffer AllocPixelsUnfilled(std::int64_t width, std::int64_t height, int bitsPerPixel) {
    const std::size_t bytes = PixelBytes(width, height, bitsPerPixel);
    PixelBuffer buffer = Allocate(bytes, width, height, bitsPerPixel);
    if (!buffer) return nullptr;
    const std::size_t w = static_cast<std::size_t>(width);
    const std::size_t used = bitsPerPixel == 24 ? w * 3 : w;
    const std::size_t stride = px::StrideFor(w, bitsPerPixel);
    if (stride > used)
        for (std::size_t at = used; at < bytes; at += stride) std::memset(buffer.get() + at, 0, stride - used);
    return buffer;
}

std::size_t PixelCapacity(const BYTE* bits) {
    // Every pixel buffer comes from array new of bytes, which takes its
    // memory from malloc with nothing in front.
    return bits ? ::malloc_usable_size(const_cast<BYTE*>(bits)) : 0;
}
