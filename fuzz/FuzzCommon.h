// Shared body of the image decoder fuzz targets: decode, and when that
// succeeds, check that the result survives a BMP round trip unchanged.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <jpeglib.h>

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

// The size a JPEG frame header asks for, as libjpeg reads it (0 x 0 when it
// reads no header). Nothing is allocated for the page.
struct JpegProbeError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

inline void JpegProbeExit(j_common_ptr cinfo) {
    std::longjmp(reinterpret_cast<JpegProbeError*>(cinfo->err)->jump, 1);
}

inline void JpegProbeMessage(j_common_ptr, int) {}

inline std::pair<std::uint64_t, std::uint64_t> JpegSize(const std::uint8_t* data, std::size_t size) {
    static thread_local jpeg_decompress_struct cinfo;
    static thread_local JpegProbeError err;
    jpeg_std_error(&err.pub);
    err.pub.error_exit = JpegProbeExit;
    err.pub.emit_message = JpegProbeMessage;
    cinfo.err = &err.pub;
    // Kept across the jump out of libjpeg.
    volatile std::uint64_t w = 0, h = 0;
    if (setjmp(err.jump) == 0) {
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
        if (jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK) {
            w = cinfo.image_width;
            h = cinfo.image_height;
        }
    }
    jpeg_destroy_decompress(&cinfo);
    return {w, h};
}

// A JPEG page the program takes (within its size limits) but larger than
// this is skipped. Every JPEG decode creates its whole page before the
// first row (a header-only decode too), and under the sanitizers each
// megabyte of page costs milliseconds to clear and release: a few mutated
// frame headers asking for a hundred million pixels held the target at 19
// runs a second. Pages beyond the limits are still decoded (and refused
// before anything is allocated).
constexpr std::uint64_t kFuzzJpegMaxPixels = std::uint64_t{1} << 20;

inline bool JpegTooLargeToFuzz(const std::uint8_t* data, std::size_t size) {
    const auto [w, h] = JpegSize(data, size);
    if (w * h <= kFuzzJpegMaxPixels) return false;
    CRaster probe;
    return probe.FitsLimits(w, h, 8);
}

inline void FuzzDecode(const std::uint8_t* data, std::size_t size, DWORD type, bool headerOnly = false,
                       std::int32_t frame = 0) {
    // BMP run lengths and TIFF fax codes describe huge pages in a few bytes;
    // JPEG and PNG pages stop at the first row their data lacks, but a JPEG
    // page is created whole before that.
    const bool any = type == RASTER_FORMAT_UNKNOWN;
    if ((any || type == RASTER_FORMAT_JPG) && JpegTooLargeToFuzz(data, size)) return;
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
