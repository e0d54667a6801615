// Helpers of the processing-object tests: reading a file into a processor
// and looking at its working images in picture coordinates.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/core/Strings.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/PixelMath.h"
#include "settings/DetectSetting.h"
#include "settings/ProcessSetting.h"
#include "settings/ScanSetting.h"
#include "support/ImageFiles.h"

namespace proctest {

// n random colours.
inline std::vector<testimg::Rgb> RandomPalette(int n, unsigned seed) {
    const testimg::Picture p = testimg::Pattern(n, 1, 3, seed);
    std::vector<testimg::Rgb> out;
    for (int i = 0; i < n; ++i) out.push_back(testimg::Rgb{p.at(i, 0, 0), p.at(i, 0, 1), p.at(i, 0, 2)});
    return out;
}

// Values (palette indices, levels) 0..n-1 spread over a one-channel picture.
inline testimg::Picture Indices(int w, int h, int n, unsigned seed) {
    testimg::Picture p = testimg::Pattern(w, h, 1, seed);
    for (auto& v : p.pixels) v = static_cast<std::uint8_t>(v % n);
    return p;
}

// Reads and decodes the first page, as a worker and the UI thread do.
inline bool Load(CImageProcessor& p, const std::string& path) {
    const std::wstring w = FromUtf8(path);
    return p.ReadFileBytes(w.c_str()) && p.LoadImageFile(w.c_str(), 1);
}

// Pixel (x, y) counted from the top-left of the picture: row 0 in memory is
// the bottom row.
inline BYTE GreyAt(const CImageProcessor& p, int x, int y) {
    return p.greyImage[std::size_t(p.height - 1 - y) * px::Stride8(p.width) + x];
}
inline const BYTE* ColourAt(const CImageProcessor& p, int x, int y) {
    return &p.colourImage[std::size_t(p.height - 1 - y) * px::Stride24(p.width) + 3 * std::size_t(x)];
}

// Compares the grey working image with `expected(x, y)`; reports the first
// difference.
template <typename F>
::testing::AssertionResult GreyEquals(const CImageProcessor& p, F expected) {
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const int want = expected(x, y);
            if (GreyAt(p, x, y) != want)
                return ::testing::AssertionFailure() << "grey at (" << x << "," << y << ") from the top is "
                                                     << int(GreyAt(p, x, y)) << ", expected " << want;
        }
    return ::testing::AssertionSuccess();
}

// Compares the colour working image with an RGB picture of the same size.
inline ::testing::AssertionResult ColourEquals(const CImageProcessor& p, const testimg::Picture& rgb) {
    if (!p.colourImage) return ::testing::AssertionFailure() << "no colour image";
    if (p.width != rgb.width || p.height != rgb.height) return ::testing::AssertionFailure() << "size differs";
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            const BYTE* c = ColourAt(p, x, y);
            if (c[2] != rgb.at(x, y, 0) || c[1] != rgb.at(x, y, 1) || c[0] != rgb.at(x, y, 2))
                return ::testing::AssertionFailure() << "colour at (" << x << "," << y << ") from the top differs";
        }
    return ::testing::AssertionSuccess();
}

// Every setting back to its start value around each test.
class SettingsReset : public ::testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        ProcessSetting::ResetToStart();
        ScanSetting::ResetToStart();
        ScanStepFlags::ResetToStart();
        DetectSetting::ResetToStart();
    }
};

}  // namespace proctest
