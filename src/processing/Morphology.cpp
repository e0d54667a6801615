// Window extremes and packed bit images. The (2r + 1)-wide extreme is computed
// with the van Herk / Gil-Werman block scheme, rows first and then columns a
// whole row at a time, so the cost does not depend on r. Bit images pack eight
// pixels per byte (64 per word) for the dilations of the colour mask and the
// photo finder's opening.
#include "processing/Morphology.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

void BitImage::Reset(int w, int h) {
    width = w > 0 ? w : 0;
    height = h > 0 ? h : 0;
    wordsPerRow = (static_cast<std::size_t>(width) + 63) / 64;
    bits.assign(wordsPerRow * static_cast<std::size_t>(height), 0);
}

void BitImage::ClearTail() {
    const int used = width & 63;
    if (used == 0 || wordsPerRow == 0) return;
    const std::uint64_t keep = (std::uint64_t{1} << used) - 1;
    for (int y = 0; y < height; ++y) Row(y)[wordsPerRow - 1] &= keep;
}

void BitImage::FromThreshold(const std::uint8_t* image, int w, int h, std::size_t stride, int threshold,
                             bool atLeast) {
    // Thresholds outside 0..255 make the test always or never true.
    if (atLeast ? threshold > 255 : threshold < 0) {
        Reset(w, h);
        return;
    }
    if (atLeast ? threshold <= 0 : threshold >= 255) {
        Reset(w, h);
        for (std::uint64_t& word : bits) word = ~std::uint64_t{0};
        ClearTail();
        return;
    }
    Pack(image, w, h, stride, static_cast<std::uint8_t>(threshold), atLeast ? 0 : 1);
}

void BitImage::FromEqual(const std::uint8_t* image, int w, int h, std::size_t stride, std::uint8_t value) {
    Pack(image, w, h, stride, value, 2);
}

bool BitImage::Empty() const {
    for (std::uint64_t word : bits)
        if (word) return false;
    return true;
}

void BitImage::Pack(const std::uint8_t* image, int w, int h, std::size_t stride, std::uint8_t t, int kind) {
    Reset(w, h);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = image + stride * static_cast<std::size_t>(y);
        std::uint64_t* row = Row(y);
        int x = 0;
#if defined(__SSE2__)
        const __m128i vt = _mm_set1_epi8(static_cast<char>(t));
        for (; x + 64 <= width; x += 64) {
            std::uint64_t word = 0;
            for (int k = 0; k < 4; ++k) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x + 16 * k));
                // Unsigned v >= t exactly when max(v, t) == v; v <= t when min(v, t) == v.
                const __m128i hit = kind == 0   ? _mm_cmpeq_epi8(_mm_max_epu8(v, vt), v)
                                    : kind == 1 ? _mm_cmpeq_epi8(_mm_min_epu8(v, vt), v)
                                                : _mm_cmpeq_epi8(v, vt);
                word |= static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(hit))) << (16 * k);
            }
            row[x >> 6] = word;
        }
#endif
        for (; x < width; ++x) {
            const bool hit = kind == 0 ? in[x] >= t : (kind == 1 ? in[x] <= t : in[x] == t);
            if (hit) row[x >> 6] |= std::uint64_t{1} << (x & 63);
        }
    }
}

void BitImage::Invert() {
    for (std::uint64_t& w : bits) w = ~w;
    ClearTail();
}

namespace {

// out(x) |= in(x + d) for one packed row of n words (bits outside the row
// count as 0).
void OrOffset(const std::uint64_t* in, std::uint64_t* out, std::size_t n, long d) {
    if (d == 0) {
        for (std::size_t i = 0; i < n; ++i) out[i] |= in[i];
        return;
    }
    const std::size_t s = static_cast<std::size_t>(d > 0 ? d : -d);
    const std::size_t q = s / 64, b = s % 64;
    if (d > 0) {
        // Word i takes bits from words i + q and i + q + 1.
        for (std::size_t i = 0; i + q < n; ++i) {
            std::uint64_t v = b ? in[i + q] >> b : in[i + q];
            if (b && i + q + 1 < n) v |= in[i + q + 1] << (64 - b);
            out[i] |= v;
        }
    } else {
        for (std::size_t i = q; i < n; ++i) {
            std::uint64_t v = b ? in[i - q] << b : in[i - q];
            if (b && i >= q + 1) v |= in[i - q - 1] >> (64 - b);
            out[i] |= v;
        }
    }
}

// Steps that extend a covered offset range [0, 0] to [lo, hi] (lo <= 0 <=
// hi): each step ORs the current state at one offset s. A step to the right
// is at most ch + 1 (ch the covered reach on that side; likewise to the
// left): then the state read at x + s lies inside the image whenever the
// newly covered pixel does, so clipping at the image edge loses nothing.
std::vector<long> ExtendSteps(long lo, long hi) {
    std::vector<long> steps;
    for (long ch = 0; ch < hi;) {
        const long s = std::min(ch + 1, hi - ch);
        steps.push_back(s);
        ch += s;
    }
    for (long cl = 0; cl > lo;) {
        const long s = std::min(-cl + 1, cl - lo);
        steps.push_back(-s);
        cl -= s;
    }
    return steps;
}

}  // namespace

void BitImage::Dilate(int r) { DilateRange(-r, r, -r, r); }

void BitImage::DilateRange(int dxMin, int dxMax, int dyMin, int dyMax) {
    if (width <= 0 || height <= 0) return;
    auto clampTo = [](int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); };
    // Offsets beyond the image reach nothing more.
    dxMin = clampTo(dxMin, -width, 0);
    dxMax = clampTo(dxMax, 0, width);
    dyMin = clampTo(dyMin, -height, 0);
    dyMax = clampTo(dyMax, 0, height);
    const std::size_t n = wordsPerRow;
    const std::vector<long> xs = ExtendSteps(dxMin, dxMax);
    if (!xs.empty()) {
        scratch_.resize(n);
        for (int y = 0; y < height; ++y) {
            std::uint64_t* row = Row(y);
            for (long d : xs) {
                std::memcpy(scratch_.data(), row, n * sizeof(std::uint64_t));
                OrOffset(scratch_.data(), row, n, d);
            }
        }
        ClearTail();
    }
    const std::size_t h = static_cast<std::size_t>(height);
    for (long d : ExtendSteps(dyMin, dyMax)) {
        scratch_ = bits;
        // Row y takes row y + d.
        for (std::size_t y = 0; y < h; ++y) {
            const long from = static_cast<long>(y) + d;
            if (from < 0 || from >= static_cast<long>(h)) continue;
            const std::uint64_t* src = scratch_.data() + static_cast<std::size_t>(from) * n;
            std::uint64_t* out = bits.data() + y * n;
            for (std::size_t i = 0; i < n; ++i) out[i] |= src[i];
        }
    }
}

}  // namespace morph
