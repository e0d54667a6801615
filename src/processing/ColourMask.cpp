#include "processing/ColourMask.h"

#include <algorithm>
#include <vector>

#include "processing/PixelMath.h"

namespace colourmask {

bool IsColour(std::uint8_t b, std::uint8_t g, std::uint8_t r, const ColourTest& test) {
    int c[3] = {b, g, r};
    std::sort(c, c + 3);
    const int s = c[0], m = c[1], l = c[2];
    const bool saturated = l == 0 || static_cast<float>(l - s) / static_cast<float>(l) >= test.saturation;
    return saturated && l - m > test.delta && (!test.requireRed || r == l);
}

ColourClassifier::ColourClassifier(const ColourTest& test) : delta_(test.delta), requireRed_(test.requireRed) {
    minSpread_[0] = 0;
    for (int l = 1; l < 256; ++l) {
        int d = 0;
        while (d <= l && !(static_cast<float>(d) / static_cast<float>(l) >= test.saturation)) ++d;
        minSpread_[l] = d;  // l + 1 (never reached) when no spread passes
    }
}

std::int64_t MarkColourPixels(const std::uint8_t* bgr, int width, int height, const ColourTest& test,
                              std::uint8_t* mask) {
    const ColourClassifier isColour(test);
    const std::size_t s24 = px::Stride24(width), s8 = px::Stride8(width);
    std::int64_t count = 0;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* p = bgr + s24 * y;
        std::uint8_t* m = mask + s8 * y;
        for (int x = 0; x < width; ++x, p += 3) {
            if (isColour(p[0], p[1], p[2])) {
                m[x] = kColour;
                ++count;
            }
        }
    }
    return count;
}

void GrowColourMask(std::uint8_t* mask, int width, int height, int r) {
    if (r <= 0 || width <= 0 || height <= 0) return;
    // A square wider than the image covers all of it either way.
    r = std::min(r, std::max(width, height));
    const std::size_t s8 = px::Stride8(width);
    const std::size_t w = static_cast<std::size_t>(width);

    // Pixel (px, py) is covered by a 1-pixel (x, y) when px - r + 1 <= x <=
    // px + r and py - r + 1 <= y <= py + r: a separable window. First the rows
    // (which columns of row y see a 1 in their window), then the columns.
    std::vector<std::uint8_t> rowHit(w * static_cast<std::size_t>(height), 0);
    std::vector<int> prefix(w + 1);
    bool any = false;
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* m = mask + s8 * y;
        prefix[0] = 0;
        for (int x = 0; x < width; ++x) prefix[x + 1] = prefix[x] + (m[x] == kColour);
        if (prefix[width] == 0) continue;
        any = true;
        std::uint8_t* hit = rowHit.data() + w * y;
        for (int x = 0; x < width; ++x) {
            const int from = std::max(0, x - r + 1);
            const int to = std::min(width - 1, x + r);  // inclusive
            hit[x] = prefix[to + 1] - prefix[from] > 0;
        }
    }
    if (!any) return;

    std::vector<int> count(w, 0);
    auto addRow = [&](int y, int sign) {
        const std::uint8_t* hit = rowHit.data() + w * y;
        for (int x = 0; x < width; ++x) count[x] += sign * hit[x];
    };
    for (int y = 0; y <= std::min(r, height - 1); ++y) addRow(y, +1);
    for (int y = 0; y < height; ++y) {
        if (y > 0) {
            if (y + r < height) addRow(y + r, +1);
            if (y - r >= 0) addRow(y - r, -1);
        }
        std::uint8_t* m = mask + s8 * y;
        for (int x = 0; x < width; ++x)
            if (m[x] == 0 && count[x] > 0) m[x] = kGrown;
    }
}

}  // namespace colourmask
