// Shared body of the image decoder fuzz targets: decode, and when that
// succeeds, check that the result survives a BMP round trip unchanged.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "image/ByteStream.h"
#include "image/Raster.h"

inline void CheckThroughBmp(CRaster& img) {
    if (!img.IsValid()) return;
    // Pages up to 4 million pixels only: the copy of a larger one would
    // double the memory and the comparison would take seconds.
    if (static_cast<std::uint64_t>(img.GetWidth()) * img.GetHeight() > (std::uint64_t{1} << 22)) return;
    BYTE* buffer = nullptr;
    std::int32_t size = 0;
    if (!img.EncodeToMemory(buffer, size, RASTER_FORMAT_BMP)) std::abort();
    CRaster back(buffer, static_cast<DWORD>(size), RASTER_FORMAT_BMP);
    std::free(buffer);
    if (!back.IsValid() || back.GetWidth() != img.GetWidth() || back.GetHeight() != img.GetHeight() ||
        back.GetBitsPerPixel() != img.GetBitsPerPixel())
        std::abort();
    for (DWORD y = 0; y < img.GetHeight(); ++y)
        for (DWORD x = 0; x < img.GetWidth(); ++x) {
            const RGBQUAD a = img.GetColourFast(x, y), b = back.GetColourFast(x, y);
            if (a.rgbRed != b.rgbRed || a.rgbGreen != b.rgbGreen || a.rgbBlue != b.rgbBlue) std::abort();
        }
}

// Whether a page's header asks for at most `maxPixels` pixels (a header
// that does not read counts as small: the decode fails the same way). A few
// hundred bytes of fax-coded TIFF or run-length BMP describe a page of 100
// million pixels; such a page is legal, but taking it apart byte by byte
// under the sanitizers takes seconds and gigabytes while teaching the fuzzer
// nothing new.
inline bool PageFits(const std::uint8_t* data, std::size_t size, DWORD type, std::int32_t frame,
                     std::uint64_t maxPixels) {
    CRaster probe;
    probe.SelectFrame(frame);
    CMemStream s(const_cast<std::uint8_t*>(data), static_cast<std::uint32_t>(size));
    if (!probe.Decode(&s, type, true)) return true;
    return static_cast<std::uint64_t>(probe.GetWidth()) * probe.GetHeight() <= maxPixels;
}

constexpr std::uint64_t kFuzzMaxPixels = std::uint64_t{32} << 20;

// The pixels a BMP header (file or bare DIB) asks for, 0 when the data does
// not start like one. The BMP decoder has no header-only road, so the
// header is read here.
inline std::uint64_t BmpPixels(const std::uint8_t* data, std::size_t size) {
    const std::size_t at = size >= 2 && data[0] == 'B' && data[1] == 'M' ? 14 : 0;
    if (size < at + 12) return 0;
    auto u16 = [&](std::size_t i) { return std::uint64_t(data[i]) | std::uint64_t(data[i + 1]) << 8; };
    auto i32 = [&](std::size_t i) {
        const std::int32_t v = static_cast<std::int32_t>(u16(i) | u16(i + 2) << 16);
        return static_cast<std::uint64_t>(v < 0 ? -static_cast<std::int64_t>(v) : v);
    };
    if (u16(at) == 12 && u16(at + 2) == 0) return u16(at + 4) * u16(at + 6);
    return i32(at + 4) * i32(at + 8);
}

inline void FuzzDecode(const std::uint8_t* data, std::size_t size, DWORD type, bool headerOnly = false,
                       std::int32_t frame = 0) {
    // BMP run lengths and TIFF fax codes describe huge pages in a few bytes;
    // JPEG and PNG pages stop at the first row their data lacks.
    const bool any = type == RASTER_FORMAT_UNKNOWN;
    if (!headerOnly && (any || type == RASTER_FORMAT_BMP) && BmpPixels(data, size) > kFuzzMaxPixels) return;
    if (!headerOnly && (any || type == RASTER_FORMAT_TIF) &&
        !PageFits(data, size, RASTER_FORMAT_TIF, frame, kFuzzMaxPixels))
        return;
    CRaster img;
    img.SelectFrame(frame);
    CMemStream s(const_cast<std::uint8_t*>(data), static_cast<std::uint32_t>(size));
    if (img.Decode(&s, type, headerOnly)) {
        if (!headerOnly) CheckThroughBmp(img);
    } else if (img.GetLastError()[0] == 0) {
        std::abort();  // a failure always carries a text
    }
}
