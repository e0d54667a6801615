#include "processing/Morphology.h"

#include <algorithm>
#include <cstring>

namespace morph {

namespace {

template <bool kMax>
inline std::uint8_t Pick(std::uint8_t a, std::uint8_t b) {
    if constexpr (kMax)
        return a > b ? a : b;
    else
        return a < b ? a : b;
}

}  // namespace

// Van Herk / Gil-Werman: with blocks of k = 2r + 1 samples, the extreme of a
// window is the extreme of a block suffix and the next block's prefix. The
// line is padded with r neutral samples at each end, which is the same as
// clipping the window.
template <bool kMax>
void WindowFilter::Run(std::uint8_t* image, int width, int height, std::size_t stride, int r) {
    if (r <= 0 || width <= 0 || height <= 0) return;
    constexpr std::uint8_t kNeutral = kMax ? 0 : 255;

    // Rows.
    if (width > 1) {
        const int rr = std::min(r, width - 1);
        const std::size_t kk = 2 * static_cast<std::size_t>(rr) + 1;
        const std::size_t n = static_cast<std::size_t>(width) + 2 * rr;
        const std::size_t padded = (n + kk - 1) / kk * kk;
        line_.assign(padded, kNeutral);
        forward_.resize(padded);
        backward_.resize(padded);
        for (int y = 0; y < height; ++y) {
            std::uint8_t* row = image + stride * y;
            std::memcpy(line_.data() + rr, row, static_cast<std::size_t>(width));
            for (std::size_t b = 0; b < padded; b += kk) {
                forward_[b] = line_[b];
                for (std::size_t i = b + 1; i < b + kk; ++i) forward_[i] = Pick<kMax>(forward_[i - 1], line_[i]);
                backward_[b + kk - 1] = line_[b + kk - 1];
                for (std::size_t i = b + kk - 1; i-- > b;) backward_[i] = Pick<kMax>(backward_[i + 1], line_[i]);
            }
            // Output x covers padded samples x .. x + 2rr.
            for (int x = 0; x < width; ++x)
                row[x] = Pick<kMax>(backward_[static_cast<std::size_t>(x)], forward_[static_cast<std::size_t>(x) + 2 * rr]);
        }
    }

    // Columns, a whole row at a time.
    if (height > 1) {
        const int rr = std::min(r, height - 1);
        const std::size_t kk = 2 * static_cast<std::size_t>(rr) + 1;
        const std::size_t n = static_cast<std::size_t>(height) + 2 * rr;
        const std::size_t padded = (n + kk - 1) / kk * kk;
        const std::size_t w = static_cast<std::size_t>(width);
        rowsForward_.resize(padded * w);
        rowsBackward_.resize(padded * w);
        // Padded row i is image row i - rr, or neutral outside.
        auto src = [&](std::size_t i) -> const std::uint8_t* {
            const std::ptrdiff_t y = static_cast<std::ptrdiff_t>(i) - rr;
            return (y < 0 || y >= height) ? nullptr : image + stride * static_cast<std::size_t>(y);
        };
        for (std::size_t b = 0; b < padded; b += kk) {
            for (std::size_t i = b; i < b + kk; ++i) {
                std::uint8_t* f = rowsForward_.data() + i * w;
                const std::uint8_t* s = src(i);
                if (i == b) {
                    if (s) std::memcpy(f, s, w); else std::memset(f, kNeutral, w);
                } else {
                    const std::uint8_t* prev = f - w;
                    if (s)
                        for (std::size_t x = 0; x < w; ++x) f[x] = Pick<kMax>(prev[x], s[x]);
                    else
                        std::memcpy(f, prev, w);
                }
            }
            for (std::size_t i = b + kk; i-- > b;) {
                std::uint8_t* g = rowsBackward_.data() + i * w;
                const std::uint8_t* s = src(i);
                if (i == b + kk - 1) {
                    if (s) std::memcpy(g, s, w); else std::memset(g, kNeutral, w);
                } else {
                    const std::uint8_t* next = g + w;
                    if (s)
                        for (std::size_t x = 0; x < w; ++x) g[x] = Pick<kMax>(next[x], s[x]);
                    else
                        std::memcpy(g, next, w);
                }
            }
        }
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* g = rowsBackward_.data() + static_cast<std::size_t>(y) * w;
            const std::uint8_t* f = rowsForward_.data() + (static_cast<std::size_t>(y) + 2 * rr) * w;
            std::uint8_t* row = image + stride * y;
            for (std::size_t x = 0; x < w; ++x) row[x] = Pick<kMax>(g[x], f[x]);
        }
    }
}

void WindowFilter::Max(std::uint8_t* image, int width, int height, std::size_t stride, int r) {
    Run<true>(image, width, height, stride, r);
}
void WindowFilter::Min(std::uint8_t* image, int width, int height, std::size_t stride, int r) {
    Run<false>(image, width, height, stride, r);
}

}  // namespace morph
