// Helpers shared by the image tests: deterministic random images, pixel
// comparison in picture coordinates, and a builder of BMP byte streams.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "image/Raster.h"
#include "platform/core/LittleEndian.h"

namespace imgtest {

// Fills the pixels (and, when present, the alpha plane) with random values
// and gives palette images a random palette.
inline void FillRandom(CRaster& img, unsigned seed) {
    std::mt19937 rng(seed);
    if (RGBQUAD* pal = img.GetPalette()) {
        for (DWORD i = 0; i < img.GetColourCount(); ++i)
            pal[i] = RGBQUAD{BYTE(rng()), BYTE(rng()), BYTE(rng()), 0};
    }
    for (DWORD y = 0; y < img.GetHeight(); ++y) {
        BYTE* row = img.GetBits(y);
        for (DWORD i = 0; i < img.GetRowBytes(); ++i) row[i] = BYTE(rng());
    }
    if (BYTE* a = img.GetAlphaPlane())
        for (std::size_t i = 0; i < std::size_t(img.GetWidth()) * img.GetHeight(); ++i) a[i] = BYTE(rng());
}

// The image encoded in memory as `type` (a failure is reported and gives no
// bytes).
inline std::vector<std::uint8_t> Encoded(CRaster& img, DWORD type) {
    BYTE* buffer = nullptr;
    std::int32_t size = 0;
    EXPECT_TRUE(img.EncodeToMemory(buffer, size, type)) << img.GetLastError();
    std::vector<std::uint8_t> out(buffer, buffer + (buffer ? size : 0));
    std::free(buffer);
    return out;
}

// Colour of the pixel at (x, y) counted from the top-left of the picture.
inline RGBQUAD At(const CRaster& img, DWORD x, DWORD y) {
    return img.GetColourFast(x, img.GetHeight() - 1 - y);
}
inline BYTE AlphaAt(const CRaster& img, DWORD x, DWORD y) {
    return img.GetAlphaFast(x, img.GetHeight() - 1 - y);
}

inline bool SameColour(RGBQUAD a, RGBQUAD b) {
    return a.rgbBlue == b.rgbBlue && a.rgbGreen == b.rgbGreen && a.rgbRed == b.rgbRed;
}

// Same size and every pixel within `tolerance` per channel; alpha compared
// too when `alpha` is set.
inline ::testing::AssertionResult SamePicture(const CRaster& a, const CRaster& b, int tolerance = 0,
                                              bool alpha = false) {
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight())
        return ::testing::AssertionFailure() << "size " << a.GetWidth() << "x" << a.GetHeight() << " vs "
                                             << b.GetWidth() << "x" << b.GetHeight();
    for (DWORD y = 0; y < a.GetHeight(); ++y)
        for (DWORD x = 0; x < a.GetWidth(); ++x) {
            const RGBQUAD p = At(a, x, y), q = At(b, x, y);
            const int d = std::max({std::abs(p.rgbBlue - q.rgbBlue), std::abs(p.rgbGreen - q.rgbGreen),
                                    std::abs(p.rgbRed - q.rgbRed)});
            if (d > tolerance)
                return ::testing::AssertionFailure()
                       << "pixel (" << x << "," << y << ") from the top: " << int(p.rgbRed) << ","
                       << int(p.rgbGreen) << "," << int(p.rgbBlue) << " vs " << int(q.rgbRed) << ","
                       << int(q.rgbGreen) << "," << int(q.rgbBlue);
            if (alpha) {
                const int pa = a.HasAlphaPlane() ? AlphaAt(a, x, y) : 255;
                const int qa = b.HasAlphaPlane() ? AlphaAt(b, x, y) : 255;
                if (std::abs(pa - qa) > tolerance)
                    return ::testing::AssertionFailure()
                           << "alpha at (" << x << "," << y << "): " << pa << " vs " << qa;
            }
        }
    return ::testing::AssertionSuccess();
}

// Builds BMP files byte by byte, so a test states exactly what the file says.
struct BmpBuilder {
    std::uint32_t headerSize = 40;
    std::int32_t width = 1, height = 1;
    std::uint16_t planes = 1, bits = 24;
    std::uint32_t compression = 0;
    std::uint32_t imageSize = 0;
    std::int32_t ppmX = 0, ppmY = 0;
    std::uint32_t coloursUsed = 0;
    std::vector<std::uint8_t> palette;  // raw entries, as they go into the file
    std::vector<std::uint32_t> masks;   // after a 40-byte header, or inside a larger one
    std::vector<std::uint8_t> pixels;   // raw pixel bytes
    bool fileHeader = true;
    std::int64_t offsetOverride = -1;

    std::vector<std::uint8_t> Build() const {
        std::vector<std::uint8_t> info;
        auto put16 = [&](std::vector<std::uint8_t>& v, std::uint16_t x) { v.push_back(BYTE(x)); v.push_back(BYTE(x >> 8)); };
        auto put32 = [&](std::vector<std::uint8_t>& v, std::uint32_t x) { for (int i = 0; i < 4; ++i) v.push_back(BYTE(x >> (8 * i))); };
        if (headerSize == 12) {
            put32(info, 12);
            put16(info, std::uint16_t(width));
            put16(info, std::uint16_t(height));
            put16(info, planes);
            put16(info, bits);
        } else {
            put32(info, headerSize);
            put32(info, std::uint32_t(width));
            put32(info, std::uint32_t(height));
            put16(info, planes);
            put16(info, bits);
            put32(info, compression);
            put32(info, imageSize);
            put32(info, std::uint32_t(ppmX));
            put32(info, std::uint32_t(ppmY));
            put32(info, coloursUsed);
            put32(info, 0);
            if (headerSize > 40) {
                for (std::size_t i = 0; i < masks.size() && info.size() + 4 <= headerSize; ++i) put32(info, masks[i]);
                info.resize(headerSize, 0);
            } else {
                for (auto m : masks) put32(info, m);
            }
        }
        std::vector<std::uint8_t> out;
        const std::size_t offset = 14 + info.size() + palette.size();
        if (fileHeader) {
            out.push_back('B');
            out.push_back('M');
            put32(out, std::uint32_t(offset + pixels.size()));
            put32(out, 0);
            put32(out, offsetOverride >= 0 ? std::uint32_t(offsetOverride) : std::uint32_t(offset));
        }
        out.insert(out.end(), info.begin(), info.end());
        out.insert(out.end(), palette.begin(), palette.end());
        out.insert(out.end(), pixels.begin(), pixels.end());
        return out;
    }
};

}  // namespace imgtest
