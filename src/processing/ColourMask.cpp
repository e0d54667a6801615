// The colour test and its grow. The test for all 2^24 colours is one bit table
// per set of test values, built once and shared between engines (and threads);
// marking then costs one look-up per pixel. The grow is a dilation of the
// 1-pixels by the asymmetric square, done on packed bits row by row, which is
// linear in the page size whatever the radius.
#include "processing/ColourMask.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

#include "processing/Morphology.h"
#include "processing/PixelMath.h"
#include "processing/PixelRows.h"

namespace colourmask {

bool IsColour(std::uint8_t b, std::uint8_t g, std::uint8_t r, const ColourTest& test) {
    int c[3] = {b, g, r};
    std::sort(c, c + 3);
    const int s = c[0], m = c[1], l = c[2];
    const bool saturated = l == 0 || static_cast<float>(l - s) / static_cast<float>(l) >= test.saturation;
    return saturated && l - m > test.delta && (!test.requireRed || r == l);
}

ColourTable::ColourTable(const ColourTest& test) : bits_(std::size_t{1} << 18, 0) {
    // For one (g, r) the 256 values of b are one run of four words; the test
    // is written over arrays so that the compiler can use vector code.
    std::uint8_t hit[256];
    const bool red = test.requireRed;
    for (int r = 0; r < 256; ++r)
        for (int g = 0; g < 256; ++g) {
            for (int b = 0; b < 256; ++b) {
                const int hi = std::max(std::max(b, g), r), lo = std::min(std::min(b, g), r);
                const int mid = b + g + r - hi - lo;
                const bool saturated =
                    hi == 0 || static_cast<float>(hi - lo) / static_cast<float>(hi == 0 ? 1 : hi) >= test.saturation;
                hit[b] = saturated & (hi - mid > test.delta) & (!red | (r == hi));
            }
            std::uint64_t* word = bits_.data() + ((static_cast<std::size_t>(r) << 10) | (static_cast<std::size_t>(g) << 2));
            for (int k = 0; k < 4; ++k) {
                std::uint64_t v = 0;
                for (int i = 0; i < 64; ++i) v |= static_cast<std::uint64_t>(hit[64 * k + i]) << i;
                word[k] = v;
            }
        }
}

std::shared_ptr<const ColourTable> ColourTable::For(const ColourTest& test) {
    struct Entry {
        int delta;
        std::uint32_t saturationBits;
        bool red;
        std::shared_ptr<const ColourTable> table;
    };
    static std::mutex lock;
    static std::vector<Entry> cache;  // most recently used last
    std::uint32_t satBits;
    std::memcpy(&satBits, &test.saturation, sizeof satBits);
    {
        std::lock_guard<std::mutex> guard(lock);
        for (std::size_t i = 0; i < cache.size(); ++i) {
            if (cache[i].delta == test.delta && cache[i].saturationBits == satBits && cache[i].red == test.requireRed) {
                Entry e = cache[i];
                cache.erase(cache.begin() + static_cast<std::ptrdiff_t>(i));
                cache.push_back(e);
                return e.table;
            }
        }
    }
    auto table = std::make_shared<const ColourTable>(test);
    std::lock_guard<std::mutex> guard(lock);
    constexpr std::size_t kKept = 4;
    if (cache.size() >= kKept) cache.erase(cache.begin());
    cache.push_back({test.delta, satBits, test.requireRed, table});
    return table;
}

std::int64_t MarkColourPixels(const std::uint8_t* bgr, int width, int height, const ColourTest& test,
                              std::uint8_t* mask) {
    const std::shared_ptr<const ColourTable> table = ColourTable::For(test);
    const ColourTable& isColour = *table;
    const std::size_t s24 = px::Stride24(width), s8 = px::Stride8(width);
    std::int64_t count = 0;
    for (int y = 0; y < height; ++y)
        count += static_cast<std::int64_t>(
            px::ColourBitsRow(bgr + s24 * y, mask + s8 * y, static_cast<std::size_t>(width), isColour.Words()));
    return count;
}

void GrowColourMask(std::uint8_t* mask, int width, int height, int r) {
    if (r <= 0 || width <= 0 || height <= 0) return;
    const std::size_t s8 = px::Stride8(width);
    // Pixel (px, py) is covered by a 1-pixel (x, y) when px - r + 1 <= x <=
    // px + r and py - r + 1 <= y <= py + r: a dilation of the 1-pixels by
    // the offsets -r + 1 .. r in both directions, done on packed bits.
    morph::BitImage ones;
    ones.FromEqual(mask, width, height, s8, kColour);
    if (ones.Empty()) return;
    const int reach = std::min(r, std::max(width, height));
    ones.DilateRange(-reach + 1, reach, -reach + 1, reach);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* m = mask + s8 * y;
        ones.ForEachSet(y, [m](int x) {
            if (m[x] == 0) m[x] = kGrown;
        });
    }
}

}  // namespace colourmask
