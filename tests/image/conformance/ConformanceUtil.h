// Comparison of a decoded image with a reference picture from a PNG file.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "../RasterTestUtil.h"
#include "image/Raster.h"
#include "support/Conformance.h"
#include "support/PngReference.h"

namespace imgtest {

struct Difference {
    int max = 0;
    double mean = 0;
};

// Per-channel difference between the image and the reference; alpha is
// compared where the image carries an alpha plane.
inline ::testing::AssertionResult CompareWithReference(const CRaster& img, const testdata::Rgba8& ref,
                                                       Difference* diff = nullptr, bool alpha = true) {
    if (img.GetWidth() != ref.width || img.GetHeight() != ref.height)
        return ::testing::AssertionFailure() << "size " << img.GetWidth() << "x" << img.GetHeight() << " vs "
                                             << ref.width << "x" << ref.height;
    Difference d;
    double sum = 0;
    for (DWORD y = 0; y < ref.height; ++y)
        for (DWORD x = 0; x < ref.width; ++x) {
            const RGBQUAD c = At(img, x, y);
            const std::uint8_t* r = ref.At(x, y);
            const int dd[3] = {std::abs(c.rgbRed - r[0]), std::abs(c.rgbGreen - r[1]), std::abs(c.rgbBlue - r[2])};
            for (int v : dd) {
                d.max = std::max(d.max, v);
                sum += v;
            }
            if (alpha && img.HasAlphaPlane()) d.max = std::max(d.max, std::abs(AlphaAt(img, x, y) - r[3]));
        }
    d.mean = sum / (3.0 * ref.width * ref.height);
    if (diff) *diff = d;
    return ::testing::AssertionSuccess();
}

inline bool LoadReference(const std::string& relative, testdata::Rgba8& ref) {
    const std::string path = testdata::ConformanceFile(relative);
    if (path.empty()) return false;
    std::string error;
    const bool ok = testdata::ReadPngReference(path, ref, &error);
    EXPECT_TRUE(ok) << relative << ": " << error;
    return ok;
}

inline bool LoadImage(const std::string& relative, CRaster& img, DWORD type = RASTER_FORMAT_UNKNOWN) {
    const std::string path = testdata::ConformanceFile(relative);
    if (path.empty()) return false;
    const bool ok = img.Load(std::wstring(path.begin(), path.end()), type);
    EXPECT_TRUE(ok) << relative << ": " << img.GetLastError();
    return ok;
}

}  // namespace imgtest
