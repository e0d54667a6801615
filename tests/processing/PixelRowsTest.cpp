// Row forms of the pixel formulas against the per-pixel double expressions.
#include <gtest/gtest.h>

#include <vector>

#include "processing/PixelMath.h"
#include "processing/PixelRows.h"

TEST(PixelRows, GreyRowEqualsTheFormulaForEveryColourOnEveryLoop) {
    // Every colour once, a row of 65536 pixels per red level, then rows of
    // every width up to 40 (the vector loop's ends), through both loops.
    std::vector<std::uint8_t> bgr(3 * 65536 + 16), grey(65536);
    for (px::RowKernel kernel : {px::RowKernel::kBaseline, px::RowKernel::kFastest}) {
        for (int r = 0; r < 256; ++r) {
            for (int i = 0; i < 65536; ++i) {
                bgr[3 * i] = static_cast<std::uint8_t>(i & 255);
                bgr[3 * i + 1] = static_cast<std::uint8_t>(i >> 8);
                bgr[3 * i + 2] = static_cast<std::uint8_t>(r);
            }
            px::GreyRow(bgr.data(), grey.data(), 65536, kernel);
            for (int i = 0; i < 65536; ++i) {
                const int want = static_cast<int>(0.587 * (i >> 8) + 0.299 * r + 0.114 * (i & 255));
                if (grey[i] != want) FAIL() << "grey of " << r << "," << (i >> 8) << "," << (i & 255);
            }
        }
        for (std::size_t w = 0; w <= 40; ++w) {
            // The bytes just past the row are never written.
            std::vector<std::uint8_t> row(3 * w), out(w + 4, 77);
            for (std::size_t k = 0; k < row.size(); ++k) row[k] = static_cast<std::uint8_t>(k * 97 + w);
            px::GreyRow(row.data(), out.data(), w, kernel);
            for (std::size_t x = 0; x < w; ++x) ASSERT_EQ(out[x], px::Grey(row[3 * x], row[3 * x + 1], row[3 * x + 2]));
            for (std::size_t x = w; x < w + 4; ++x) ASSERT_EQ(out[x], 77) << w;
        }
    }
}
