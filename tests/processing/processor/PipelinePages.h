// Pages handed straight to a processor's working images, as a load would
// leave them, and comparisons of its result with an expected page.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "processing/processor/ImageProcessor.h"
#include "processing/PixelMath.h"
#include "support/HolePages.h"
#include "support/SyntheticPages.h"

namespace pipetest {

// Working images of a decoded page: bits per pixel 24 (colour and its grey)
// or 8 (grey only); `sourceDepth` 1 marks a grey page that came from a
// 1-bit source.
inline void SetWorking(CImageProcessor& p, const std::uint8_t* bits, int width, int height, int bpp, int dpi,
                       int sourceDepth = 0) {
    p.ReleaseBuffers(false);
    p.width = width;
    p.height = height;
    p.dpiX = p.dpiY = dpi;
    p.workingDepth = 8;
    p.sourceDepth = sourceDepth ? sourceDepth : bpp;
    p.pageCount = 1;
    p.currentPage = 0;
    p.greyImage = AllocPixels(width, height, 8);
    const std::size_t gs = px::Stride8(width);
    if (bpp == 24) {
        p.colourImage = AllocPixels(width, height, 24);
        std::memcpy(p.colourImage.get(), bits, PixelBytes(width, height, 24));
        const std::size_t cs = px::Stride24(width);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const std::uint8_t* c = bits + cs * y + 3 * x;
                p.greyImage[gs * y + x] = px::Grey(c[0], c[1], c[2]);
            }
    } else {
        std::memcpy(p.greyImage.get(), bits, PixelBytes(width, height, 8));
    }
}

inline void SetWorking(CImageProcessor& p, const synth::Page& page, int sourceDepth = 0) {
    SetWorking(p, page.Data(), page.width, page.height, page.bpp, page.dpi, sourceDepth);
}

inline void SetWorking(CImageProcessor& p, const testdata::TestPage& page) {
    if (page.colour)
        SetWorking(p, page.bgr.data(), page.width, page.height, 24, page.dpi);
    else
        SetWorking(p, page.grey.data(), page.width, page.height, 8, page.dpi);
}

// The result equals the page's pixels (its colour rows for 24 bits, its grey
// rows for 8), padding bytes excepted.
inline ::testing::AssertionResult ResultEquals(const CImageProcessor& p, const std::uint8_t* bits, int width,
                                               int height, int bpp) {
    if (!p.result) return ::testing::AssertionFailure() << "no result";
    if (p.resultWidth != width || p.resultHeight != height)
        return ::testing::AssertionFailure() << "result is " << p.resultWidth << " x " << p.resultHeight
                                             << ", expected " << width << " x " << height;
    const std::size_t stride = px::StrideFor(width, bpp);
    const std::size_t used = static_cast<std::size_t>(width) * (bpp / 8);
    for (int y = 0; y < height; ++y)
        if (std::memcmp(p.result + stride * y, bits + stride * y, used) != 0)
            return ::testing::AssertionFailure() << "row " << y << " (in memory) differs";
    return ::testing::AssertionSuccess();
}

inline ::testing::AssertionResult ResultEquals(const CImageProcessor& p, const testdata::TestPage& page) {
    return page.colour ? ResultEquals(p, page.bgr.data(), page.width, page.height, 24)
                       : ResultEquals(p, page.grey.data(), page.width, page.height, 8);
}

}  // namespace pipetest
