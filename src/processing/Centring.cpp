// Centring. Dark pixels of the measuring image are counted per column or per
// row; from those counts the shift that makes the blank margins before and
// after the content equal is found, and the page is moved by it in place, the
// uncovered side filled white. The page keeps its size.
#include "processing/Centring.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "processing/PixelMath.h"

namespace centring {

namespace {

bool Valid(const std::uint8_t* image, int width, int height, int bpp, const std::uint8_t* measure) {
    return image != nullptr && measure != nullptr && width > 0 && height > 0 && (bpp == 8 || bpp == 24);
}

// Dark pixels (below 128 after binarisation) of the measuring image, per
// column or per row.
std::vector<int> DarkCounts(const std::uint8_t* measure, int width, int height, int bpp, bool perColumn) {
    std::vector<int> counts(static_cast<std::size_t>(perColumn ? width : height), 0);
    const std::size_t stride = px::StrideFor(static_cast<std::size_t>(width), bpp);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = measure + stride * static_cast<std::size_t>(y);
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = row + static_cast<std::size_t>(x) * (bpp / 8);
            const int level = bpp == 24 ? px::GreyFast(p[0], p[1], p[2]) : p[0];
            if (px::Binarise128(static_cast<std::uint8_t>(level)) == 0) ++counts[static_cast<std::size_t>(perColumn ? x : y)];
        }
    }
    return counts;
}

// The shift along one direction of `length` lines that makes the blank
// margins before and after the content equal; 0 when the content stays.
// `needSix`: the margin before is only looked for in six lines or more.
int Shift(const std::vector<int>& counts, int length, int limit, bool needSix) {
    int before = 0, after = 0;
    if (!needSix || length >= 6) {
        for (int i = 5; i < length; ++i) {
            if (counts[static_cast<std::size_t>(i)] > limit) {
                before = i;
                break;
            }
        }
    }
    for (int k = length - 5; k >= 0; --k) {
        if (counts[static_cast<std::size_t>(k)] > limit) {
            after = length - k;
            break;
        }
    }
    if (std::abs(before - after) > 2 && before + after < length - 5) return (after - before) / 2;
    return 0;
}

}  // namespace

int CentreHorizontal(std::uint8_t* image, int width, int height, int bpp, float ratio, const std::uint8_t* measure) {
    if (!Valid(image, width, height, bpp, measure)) return 0;
    const int limit = px::SaturatingInt(static_cast<float>(height) * ratio * 0.01f);
    const int d = Shift(DarkCounts(measure, width, height, bpp, true), width, limit, false);
    if (d == 0) return 0;
    const int n = bpp / 8;
    const std::size_t stride = px::StrideFor(static_cast<std::size_t>(width), bpp);
    std::vector<std::uint8_t> shifted(stride * static_cast<std::size_t>(height), 255);
    // Columns c that land inside: 0 <= c + d < width.
    const int from = d < 0 ? -d : 0, to = d < 0 ? width : width - d;
    for (int y = 0; y < height; ++y) {
        const std::size_t at = stride * static_cast<std::size_t>(y);
        if (from < to)
            std::memcpy(shifted.data() + at + static_cast<std::size_t>(from + d) * n,
                        image + at + static_cast<std::size_t>(from) * n, static_cast<std::size_t>(to - from) * n);
    }
    std::memcpy(image, shifted.data(), shifted.size());
    return d;
}

int CentreVertical(std::uint8_t* image, int width, int height, int bpp, float ratio, const std::uint8_t* measure) {
    if (!Valid(image, width, height, bpp, measure)) return 0;
    const int limit = px::SaturatingInt(static_cast<float>(width) * ratio * 0.01f);
    const int d = Shift(DarkCounts(measure, width, height, bpp, false), height, limit, true);
    if (d == 0) return 0;
    const std::size_t stride = px::StrideFor(static_cast<std::size_t>(width), bpp);
    std::vector<std::uint8_t> shifted(stride * static_cast<std::size_t>(height), 255);
    for (int y = 0; y < height; ++y) {
        const int target = y + d;
        if (target < 0 || target >= height) continue;
        std::memcpy(shifted.data() + stride * static_cast<std::size_t>(target), image + stride * static_cast<std::size_t>(y),
                    stride);
    }
    std::memcpy(image, shifted.data(), shifted.size());
    return d;
}

}  // namespace centring
