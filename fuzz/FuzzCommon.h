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
    BYTE* buffer = nullptr;
    std::int32_t size = 0;
    if (!img.EncodeToMemory(buffer, size, RASTER_FORMAT_BMP)) std::abort();
    CRaster back(buffer, static_cast<DWORD>(size), RASTER_FORMAT_BMP);
    std::free(buffer);
    if (!back.IsValid() || back.GetWidth() != img.GetWidth() || back.GetHeight() != img.GetHeight() ||
        back.GetBitsPerPixel() != img.GetBitsPerPixel())
        std::abort();
    // A few hundred bytes of CCITT data can describe a page of 100 million
    // pixels: compare the pixels of pages up to 4 million only, so such a
    // page costs its decode, not minutes of comparing.
    if (static_cast<std::uint64_t>(img.GetWidth()) * img.GetHeight() > (std::uint64_t{1} << 22)) return;
    for (DWORD y = 0; y < img.GetHeight(); ++y)
        for (DWORD x = 0; x < img.GetWidth(); ++x) {
            const RGBQUAD a = img.GetColourFast(x, y), b = back.GetColourFast(x, y);
            if (a.rgbRed != b.rgbRed || a.rgbGreen != b.rgbGreen || a.rgbBlue != b.rgbBlue) std::abort();
        }
}

// Whether a page's header asks for at most `maxPixels` pixels (a header
// that does not read counts as small: the decode fails the same way). A few
// hundred bytes of fax-coded TIFF describe a page of 100 million pixels; such
// a page is legal, but taking it apart byte by byte under the sanitizers
// takes seconds while teaching the fuzzer nothing new.
inline bool PageFits(const std::uint8_t* data, std::size_t size, DWORD type, std::int32_t frame,
                     std::uint64_t maxPixels) {
    CRaster probe;
    probe.SelectFrame(frame);
    CMemStream s(const_cast<std::uint8_t*>(data), static_cast<std::uint32_t>(size));
    if (!probe.Decode(&s, type, true)) return true;
    return static_cast<std::uint64_t>(probe.GetWidth()) * probe.GetHeight() <= maxPixels;
}

constexpr std::uint64_t kFuzzMaxTiffPixels = std::uint64_t{32} << 20;

inline void FuzzDecode(const std::uint8_t* data, std::size_t size, DWORD type, bool headerOnly = false,
                       std::int32_t frame = 0) {
    if (!headerOnly && (type == RASTER_FORMAT_TIF || type == RASTER_FORMAT_UNKNOWN) &&
        !PageFits(data, size, RASTER_FORMAT_TIF, frame, kFuzzMaxTiffPixels))
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
