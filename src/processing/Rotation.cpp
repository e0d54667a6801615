// Rotation by any angle with bilinear sampling. The canvas-to-source mapping
// is built per column and per row (each one rounding of the full formula, so
// positions are exact); the plain loop samples every pixel, and the vector
// loops (AVX2, AVX-512) do four or eight pixels at a time over one row loop,
// writing the samples beside the image a group at a time and falling back to
// the plain sample only at the image's border, where the fill and edge
// rules meet the image.
#include "processing/Rotation.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "platform/core/CheckedSize.h"
#include "processing/ImageBuffer.h"
#include "processing/PixelMath.h"
#include "processing/VectorLoops.h"

namespace rotation {

namespace {

double Radians(double degrees) { return degrees * static_cast<double>(kRotationPi) / 180.0; }

bool ValidImage(const std::uint8_t* bits, int width, int height, int bpp) {
    return bits != nullptr && width > 0 && height > 0 && (bpp == 8 || bpp == 24) &&
           static_cast<std::uint64_t>(width) <= image_limits::kMaxSide &&
           static_cast<std::uint64_t>(height) <= image_limits::kMaxSide;
}

// The mapping of the canvas back into a sampled area of sampledWidth x
// sampledHeight, in which the image sits at (offsetX, offsetY) and every
// other position reads `outside`.
struct Mapping {
    const std::uint8_t* bits;
    int width, height, channels;
    std::size_t stride;
    int offsetX, offsetY;
    int sampledWidth, sampledHeight;
    std::uint8_t outside;
    double centreX, centreY;
    double cosA, sinA;
    std::uint8_t edgeFill;
};

// One canvas pixel: the bilinear sample at (x, y) of the sampled area, with
// the fill and edge rules. Used for every pixel by the baseline loop and for
// the pixels near the image's border by the vector loop.
inline void SamplePixel(const Mapping& m, double x, double y, std::uint8_t* dst) {
    if (!(x >= 0.0 && y >= 0.0)) return;
    const int n = m.channels;
    const int lastX = m.sampledWidth - 1, lastY = m.sampledHeight - 1;
    const int x0 = x >= lastX ? lastX : static_cast<int>(x);
    const int y0 = y >= lastY ? lastY : static_cast<int>(y);
    if (x0 + 1 == m.sampledWidth || y0 + 1 == m.sampledHeight) {
        for (int c = 0; c < n; ++c) dst[c] = m.edgeFill;
        return;
    }
    const double fx = x - x0, fy = y - y0;
    const double w00 = (1 - fx) * (1 - fy), w10 = fx * (1 - fy), w01 = (1 - fx) * fy, w11 = fx * fy;
    const int ix = x0 - m.offsetX, iy = y0 - m.offsetY;
    if (ix >= 0 && iy >= 0 && ix + 1 < m.width && iy + 1 < m.height) {
        const std::uint8_t* p0 = m.bits + m.stride * static_cast<std::size_t>(iy) + static_cast<std::size_t>(ix) * n;
        const std::uint8_t* p1 = p0 + m.stride;
        for (int c = 0; c < n; ++c)
            dst[c] = static_cast<std::uint8_t>(
                static_cast<int>(w00 * p0[c] + w10 * p0[n + c] + w01 * p1[c] + w11 * p1[n + c]));
    } else {
        auto at = [&](int sx, int sy, int c) -> std::uint8_t {
            if (sx < 0 || sy < 0 || sx >= m.width || sy >= m.height) return m.outside;
            return m.bits[m.stride * static_cast<std::size_t>(sy) + static_cast<std::size_t>(sx) * n + c];
        };
        for (int c = 0; c < n; ++c)
            dst[c] = static_cast<std::uint8_t>(static_cast<int>(w00 * at(ix, iy, c) + w10 * at(ix + 1, iy, c) +
                                                                w01 * at(ix, iy + 1, c) + w11 * at(ix + 1, iy + 1, c)));
    }
}

// Per column: centre + dx cos a and centre + dx sin a; per row: dy sin a and
// dy cos a. Each is one rounding of the same expression as the full
// formula, and the sums keep their order, so the positions are exact.
struct Positions {
    std::vector<double> colX, colY;
    double halfH;
    Positions(const Mapping& m, int cw, int ch) : colX(static_cast<std::size_t>(cw)), colY(static_cast<std::size_t>(cw)) {
        const double halfW = cw / 2.0;
        halfH = ch / 2.0;
        for (int X = 0; X < cw; ++X) {
            const double dx = X - halfW;
            colX[static_cast<std::size_t>(X)] = m.centreX + dx * m.cosA;
            colY[static_cast<std::size_t>(X)] = m.centreY + dx * m.sinA;
        }
    }
};

// Canvas pixels from..to - 1 of a row (out), one sample at a time. With
// `fillUnplaced` a sample at a negative position writes the level the
// canvas starts with (the outside level) instead of leaving the pixel.
inline void SampleSpan(const Mapping& m, const Positions& pos, int from, int to, double rowX, double rowY,
                       std::uint8_t* out, bool fillUnplaced = false) {
    for (int X = from; X < to; ++X) {
        const double x = pos.colX[static_cast<std::size_t>(X)] - rowX, y = pos.colY[static_cast<std::size_t>(X)] + rowY;
        std::uint8_t* dst = out + static_cast<std::size_t>(X) * m.channels;
        if (fillUnplaced && !(x >= 0.0 && y >= 0.0))
            std::memset(dst, m.outside, static_cast<std::size_t>(m.channels));
        else
            SamplePixel(m, x, y, dst);
    }
}

void RenderBaseline(const Mapping& m, Canvas& canvas) {
    const int cw = canvas.width, ch = canvas.height;
    const std::size_t outStride = px::StrideFor(static_cast<std::size_t>(cw), canvas.bitsPerPixel);
    const Positions pos(m, cw, ch);
    for (int Y = 0; Y < ch; ++Y) {
        const double dy = Y - pos.halfH;
        const double rowX = dy * m.sinA, rowY = dy * m.cosA;
        SampleSpan(m, pos, 0, cw, rowX, rowY, canvas.bits.get() + outStride * static_cast<std::size_t>(Y));
    }
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TESSAVAN_ROTATION_AVX2 1

// Where the vector loops sample a group at once: samples (x, y) whose four
// neighbours are inside the image and inside the sampled area, that is
// x0 = int(x) from max(0, offsetX) up to the image's last-but-one column,
// less a margin for the reads that go past the right neighbour, and below
// the sampled area's last column; the same for rows without the margin.
// Gathers address the image with 32-bit offsets: a larger image is
// sampled pixel by pixel (ok false).
struct VectorArea {
    double loX, hiX, loY, hiY;
    bool ok;
    VectorArea(const Mapping& m, int readMargin)
        : loX(std::max(0, m.offsetX)),
          hiX(std::min(m.offsetX + m.width - readMargin, m.sampledWidth - 1)),
          loY(std::max(0, m.offsetY)),
          hiY(std::min(m.offsetY + m.height - 1, m.sampledHeight - 1)),
          ok(m.stride * static_cast<std::size_t>(m.height) + 8 < static_cast<std::size_t>(INT32_MAX)) {}
    bool Holds(double x, double y) const { return x >= loX && x < hiX && y >= loY && y < hiY; }
};

// A canvas row's terms: its pixel X samples (colX[X] - x, colY[X] + y).
struct RowTerms {
    double x, y;
};

// The lanes of a group whose samples lie beside the image: one placed at a
// negative position keeps the outside level the canvas starts with; one at
// or past the sampled area's last column or row takes the edge fill (`edge`);
// any other whose four neighbours all lie outside the image (x0 + 1 <
// offsetX or x0 >= offsetX + width, x0 the whole part of x >= 0, the same
// for rows) blends the outside level four times (`away`). `all`: the three
// kinds together.
struct BesideLanes {
    unsigned all, edge, away;
};

// What tells the samples beside the image apart, per lane: positions 0,
// the sampled area's last column and row, the columns and rows just left
// of, right of, below and above the image, and the outside level.
enum BesideBound { kZero, kLastX, kLastY, kLeftOfImage, kRightOfImage, kBelowImage, kAboveImage, kOutside, kBounds };
void BesideBounds(const Mapping& m, double (&bounds)[kBounds]) {
    bounds[kZero] = 0;
    bounds[kLastX] = m.sampledWidth - 1;
    bounds[kLastY] = m.sampledHeight - 1;
    bounds[kLeftOfImage] = static_cast<double>(m.offsetX) - 1;
    bounds[kRightOfImage] = static_cast<double>(m.offsetX) + m.width;
    bounds[kBelowImage] = static_cast<double>(m.offsetY) - 1;
    bounds[kAboveImage] = static_cast<double>(m.offsetY) + m.height;
    bounds[kOutside] = m.outside;
}

// Asks for the image pixels the sample kAhead canvas pixels further on
// reads: the rows are read in short pieces (the sampled row changes every
// few dozen pixels at the angles of deskewing), which the processor does
// not foresee. Along a canvas row the sample moves by (cos a, sin a) per
// pixel, so that sample lies a fixed distance on from this one's pixel:
// floor(kAhead sin a) or one more rows down, about kAhead cos a pixels on.
// The distance in bytes, for a pointer sum that may wrap (a prefetch never
// faults, so the address is only computed, as an integer).
std::uintptr_t AheadBytes(const Mapping& m) {
    constexpr int kAhead = 64;  // pixels
    return static_cast<std::uintptr_t>(static_cast<std::ptrdiff_t>(std::floor(kAhead * m.sinA)) *
                                           static_cast<std::ptrdiff_t>(m.stride) +
                                       static_cast<std::ptrdiff_t>(std::lround(kAhead * m.cosA)) * m.channels);
}

// The image's byte of the pixel at whole parts (x0, y0) of the sampled
// area, which lies in the image.
inline const std::uint8_t* PixelAt(const Mapping& m, int x0, int y0, int channels) {
    return m.bits + m.stride * static_cast<std::size_t>(y0 - m.offsetY) +
           static_cast<std::size_t>(x0 - m.offsetX) * static_cast<std::size_t>(channels);
}

// The image pixels the sample kAhead canvas pixels after a group's first
// one reads lie aheadBytes on from that group's first pixel, give or take a
// row: asked for in all three rows. (Inlined at once: as a function of its
// own, which returns nothing and writes nothing, the compiler finds it has
// no effect and drops the calls, prefetches and all.)
__attribute__((always_inline)) inline void PrefetchAhead(const std::uint8_t* first, std::uintptr_t aheadBytes, std::size_t stride) {
    const std::uintptr_t ahead = reinterpret_cast<std::uintptr_t>(first) + aheadBytes;
    _mm_prefetch(reinterpret_cast<const char*>(ahead), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(ahead + stride), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(ahead + 2 * stride), _MM_HINT_T0);
}

// What the groups of a vector loop share, whatever their width: the
// mapping, the positions, the vector area (with the loop's margin for reads
// past the right neighbour) and the distance of the pixels asked for ahead.
struct LanesBase {
    const Mapping& m;
    Positions pos;
    VectorArea area;
    std::uintptr_t aheadBytes;
    LanesBase(const Mapping& mapping, const Canvas& canvas, int readMargin)
        : m(mapping), pos(mapping, canvas.width, canvas.height), area(mapping, readMargin), aheadBytes(AheadBytes(mapping)) {}
};

// The row loop of the vector loops, over groups of L::kLanes canvas pixels.
// For the group of pixels X .. X + kLanes - 1 of a row, L gives
//   Inside(X, row)     the lanes whose samples lie in the vector area, as bits;
//   BesideOf(X, row)   the lanes whose samples lie beside the image;
//   WriteBeside(X, row, lanes, count, dst)  the first `count` of those,
//                      when they are all beside the image;
//   Run(X, end, row, out)  every pixel X .. end - 1 (at least kLanes), all
//                      in the vector area;
// and the members of LanesBase. It writes every byte of the canvas, the
// row padding and the pixels a sample leaves included, with the outside
// level the canvas would start with: it takes a canvas that was never
// filled. The loop itself has no vector types: the function of each
// instruction set inlines it, with L's members (`flatten`).
template <class L>
inline void RenderRows(const L& lanes, Canvas& canvas) {
    constexpr int kLanes = L::kLanes;
    constexpr unsigned kAll = (1u << kLanes) - 1;
    const Mapping& m = lanes.m;
    const Positions& pos = lanes.pos;
    const VectorArea& area = lanes.area;
    const int cw = canvas.width, ch = canvas.height, n = m.channels;
    const std::size_t outStride = px::StrideFor(static_cast<std::size_t>(cw), canvas.bitsPerPixel);
    const std::size_t rowBytes = static_cast<std::size_t>(cw) * n;
    for (int Y = 0; Y < ch; ++Y) {
        const double dy = Y - pos.halfH;
        const RowTerms row{dy * m.sinA, dy * m.cosA};
        std::uint8_t* out = canvas.bits.get() + outStride * static_cast<std::size_t>(Y);
        // The samples that lie in the vector area make one run of the row
        // (each position is a rounded sum and product that never decreases
        // or never increases along the row, so each of the four bounds
        // holds on a start or an end of the row): its end after a pixel
        // `from` - 1 that lies in it, by halving. The same double
        // operations as the groups', one lane.
        const auto runEnd = [&](int from) {
            int lo = from, hi = cw;
            while (lo < hi) {
                const int mid = lo + (hi - lo) / 2;
                if (area.Holds(pos.colX[static_cast<std::size_t>(mid)] - row.x,
                               pos.colY[static_cast<std::size_t>(mid)] + row.y))
                    lo = mid + 1;
                else
                    hi = mid;
            }
            return lo;
        };
        int X = 0;
        while (area.ok && X + kLanes <= cw) {
            const unsigned inside = lanes.Inside(X, row);
            if (inside != kAll) {
                // The group's leading samples beside the image are done at
                // once. The leading samples at the image's border (neither
                // beside it nor in the vector area) are taken one by one, or
                // the first sample when it lies in the vector area; the
                // group is then tried again from the next sample, so that
                // only the few samples at the image's border go one by one.
                const BesideLanes beside = lanes.BesideOf(X, row);
                // Samples from the group's first up to the first one not
                // beside the image (kLanes when all are).
                const int besideLead = __builtin_ctz(~beside.all | (1u << kLanes));
                if (besideLead == 0) {
                    const int border = __builtin_ctz(beside.all | inside | (1u << kLanes));
                    const int take = border > 0 ? border : 1;
                    SampleSpan(m, pos, X, X + take, row.x, row.y, out, true);
                    X += take;
                    continue;
                }
                lanes.WriteBeside(X, row, beside, besideLead, out + static_cast<std::size_t>(X) * n);
                X += besideLead;
                continue;
            }
            // A group in the vector area: the groups after it up to the
            // run's end are there too, without testing.
            const int end = runEnd(X + kLanes);
            lanes.Run(X, end, row, out);
            X = end;
        }
        // The row's last samples: when all of them lie beside the image, a
        // group ending with the row, over pixels already done (the same
        // bytes again).
        if (area.ok && X < cw && cw >= kLanes) {
            const BesideLanes beside = lanes.BesideOf(cw - kLanes, row);
            if (beside.all == kAll) {
                lanes.WriteBeside(cw - kLanes, row, beside, kLanes, out + static_cast<std::size_t>(cw - kLanes) * n);
                X = cw;
            }
        }
        SampleSpan(m, pos, X, cw, row.x, row.y, out, true);
        // The row padding after the pixels, whose bytes lie in cache now.
        std::memset(out + rowBytes, m.outside, outStride - rowBytes);
    }
}

// Every canvas pixel X .. end - 1 of a run of a row (at least G::kLanes),
// all in the vector area, a group at a time: the run's last pixels are done
// by a group ending with the run, over pixels already done (the same bytes
// again). G, made for the run, gives
//   Group                  what a group holds between its two halves;
//   Prepare(X, group)      the group of pixels X .. X + kLanes - 1, up to
//                          its first reads from the image;
//   Finish(group, X)       its pixels written;
// and kChannels. 24-bit groups are prepared before the one before them is
// finished, so that the reads of the next are under way meanwhile; 8-bit
// groups take less time than their reads, and each is finished before the
// next. Without vector types, as RenderRows.
template <class G>
inline void RunGroups(const G& groups, int X, int end) {
    constexpr int kLanes = G::kLanes;
    typename G::Group group, next;
    groups.Prepare(X, group);
    for (; X + 2 * kLanes <= end; X += kLanes) {
        if constexpr (G::kChannels == 1) {
            groups.Finish(group, X);
            groups.Prepare(X + kLanes, group);
        } else {
            groups.Prepare(X + kLanes, next);
            groups.Finish(group, X);
            group = next;
        }
    }
    groups.Finish(group, X);
    X += kLanes;
    if (X < end) {
        groups.Prepare(end - kLanes, group);
        groups.Finish(group, end - kLanes);
    }
}

#define TESSAVAN_AVX2_INLINE __attribute__((target("avx2"), always_inline)) inline

struct Weights {
    __m256d w00, w10, w01, w11;
};

// The baseline's weights of four samples at (x, y), all at non-negative
// positions below the sampled area's last column and row, times kScale (a
// power of two); x0 and y0 are their whole parts. Scaling by a power of two
// is exact, before and after rounding: kScale (1 - fx) is rounded as
// kScale - kScale fx, and the weights are kScale times the baseline's, bit
// for bit.
template <int kScale = 1>
TESSAVAN_AVX2_INLINE Weights Weights4Of(__m256d x, __m256d y, __m128i& x0, __m128i& y0) {
    const __m256d scale = _mm256_set1_pd(kScale);
    x0 = _mm256_cvttpd_epi32(x);
    y0 = _mm256_cvttpd_epi32(y);
    __m256d fx = _mm256_sub_pd(x, _mm256_cvtepi32_pd(x0));
    const __m256d fy = _mm256_sub_pd(y, _mm256_cvtepi32_pd(y0));
    if constexpr (kScale != 1) fx = _mm256_mul_pd(fx, scale);
    const __m256d gx = _mm256_sub_pd(scale, fx), gy = _mm256_sub_pd(_mm256_set1_pd(1.0), fy);
    return Weights{_mm256_mul_pd(gx, gy), _mm256_mul_pd(fx, gy), _mm256_mul_pd(gx, fy), _mm256_mul_pd(fx, fy)};
}

// Weights times 1 / kScale, exactly.
template <int kScale>
TESSAVAN_AVX2_INLINE Weights Unscaled(const Weights& w) {
    const __m256d down = _mm256_set1_pd(1.0 / kScale);
    return Weights{_mm256_mul_pd(w.w00, down), _mm256_mul_pd(w.w10, down), _mm256_mul_pd(w.w01, down),
                   _mm256_mul_pd(w.w11, down)};
}

// Byte `Shift / 8` of each lane as a double.
template <int Shift>
TESSAVAN_AVX2_INLINE __m256d Level(__m128i word) {
    return _mm256_cvtepi32_pd(_mm_and_si128(_mm_srli_epi32(word, Shift), _mm_set1_epi32(0xFF)));
}

TESSAVAN_AVX2_INLINE __m128i Load8(const std::uint8_t* p) {
    return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
}

TESSAVAN_AVX2_INLINE __m128i Load4(const std::uint8_t* p) {
    int word;
    std::memcpy(&word, p, 4);
    return _mm_cvtsi32_si128(word);
}

// The levels in the low bytes of four 64-bit lanes (the other bytes 0) as
// doubles, without a conversion instruction: such a lane with the high bits
// of 2^52 is the double 2^52 + v, exactly, and less 2^52 it is v, exactly,
// the value the conversion gives.
TESSAVAN_AVX2_INLINE __m256d Doubles(__m256i levels) {
    const __m256i twoTo52 = _mm256_set1_epi64x(0x4330000000000000LL);
    return _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(levels, twoTo52)), _mm256_castsi256_pd(twoTo52));
}

// From the eight bytes at pixel x0 of four samples (two per 128-bit half),
// channel C of x0 and of x0 + 1, as doubles in sample order.
template <int C>
TESSAVAN_AVX2_INLINE void Channel(__m256i bytes, __m256d& left, __m256d& right) {
    const __m256i pick = _mm256_setr_epi8(C, -1, -1, -1, 8 + C, -1, -1, -1, 3 + C, -1, -1, -1, 11 + C, -1, -1, -1,
                                          C, -1, -1, -1, 8 + C, -1, -1, -1, 3 + C, -1, -1, -1, 11 + C, -1, -1, -1);
    const __m256i v = _mm256_permute4x64_epi64(_mm256_shuffle_epi8(bytes, pick), 0xD8);
    left = _mm256_cvtepi32_pd(_mm256_castsi256_si128(v));
    right = _mm256_cvtepi32_pd(_mm256_extracti128_si256(v, 1));
}

// Level v in the low byte of a 64-bit lane whose top byte is 0x43, the
// other bytes 0, is the double 2^49 + v / 8, exactly; less 2^49 it is v / 8,
// exactly. Levels so made meet weights 8 times the baseline's: each product
// is the baseline's real product, rounded the same, and so is every sum.
constexpr int kLevelScale = 8;
constexpr std::int64_t kTwoTo49 = 0x4300000000000000LL;

// Sixteen bytes from a pixel of a 24-bit row, in both halves of `row`,
// moved up a byte with 0x43 before them: the row's byte k at k + 1.
TESSAVAN_AVX2_INLINE __m256i WithTopByte(__m256i row) {
    return _mm256_alignr_epi8(row, _mm256_set1_epi8(0x43), 15);
}

// From such bytes (WithTopByte), channel C of the four pixels from pixel
// First on (0: the group's own pixels, 1: their right neighbours), as
// levels / 8 (kLevelScale).
template <int First, int C>
TESSAVAN_AVX2_INLINE __m256d RowLevels(__m256i bytes) {
    constexpr char z = -1;
    constexpr char b = static_cast<char>(3 * First + C + 1);  // pixel First's byte, moved up
    const __m256i pick = _mm256_setr_epi8(b, z, z, z, z, z, z, 0, b + 3, z, z, z, z, z, z, 0,
                                          b + 6, z, z, z, z, z, z, 0, b + 9, z, z, z, z, z, z, 0);
    const __m256i twoTo49 = _mm256_set1_epi64x(kTwoTo49);
    return _mm256_sub_pd(_mm256_castsi256_pd(_mm256_shuffle_epi8(bytes, pick)), _mm256_castsi256_pd(twoTo49));
}

// int(w00 p00 + w10 p10 + w01 p01 + w11 p11), summed left to right.
TESSAVAN_AVX2_INLINE __m128i Blend(const Weights& w, __m256d p00, __m256d p10, __m256d p01, __m256d p11) {
    const __m256d s = _mm256_add_pd(
        _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(w.w00, p00), _mm256_mul_pd(w.w10, p10)), _mm256_mul_pd(w.w01, p01)),
        _mm256_mul_pd(w.w11, p11));
    return _mm256_cvttpd_epi32(s);
}

// The offsets of the samples' pixels x0 in rows y0 from the image's first
// byte, for the gathers.
TESSAVAN_AVX2_INLINE __m128i GatherOffsets4(const Mapping& m, __m128i x0, __m128i y0) {
    return _mm_add_epi32(
        _mm_mullo_epi32(_mm_sub_epi32(y0, _mm_set1_epi32(m.offsetY)), _mm_set1_epi32(static_cast<int>(m.stride))),
        _mm_mullo_epi32(_mm_sub_epi32(x0, _mm_set1_epi32(m.offsetX)), _mm_set1_epi32(m.channels)));
}

// The positions of the samples of canvas pixels X .. X + 3 of a row whose
// terms are rowX and rowY, from the columns' terms (Positions).
TESSAVAN_AVX2_INLINE void Positions4(const double* colX, const double* colY, int X, __m256d rowX, __m256d rowY,
                                     __m256d& x, __m256d& y) {
    x = _mm256_sub_pd(_mm256_loadu_pd(colX + X), rowX);
    y = _mm256_add_pd(_mm256_loadu_pd(colY + X), rowY);
}

// A group of four samples that all lie in the vector area, up to its first
// reads from the image: weights, whole parts, whether the samples lie at
// consecutive pixels of one pair of rows (`straight`), the first sample's
// pixel, and for 24-bit pixels read straight, the sixteen bytes from that
// pixel in rows y0 and y0 + 1 (B, G, R of the four pixels and of the one
// after them), each in both halves of a register. The loop over 24-bit
// pixels prepares the next group before it finishes this one, so that the
// reads of the next are under way meanwhile.
struct Group4 {
    Weights w;
    __m128i x0, y0;
    const std::uint8_t* first;
    bool straight;
    __m256i rows0, rows1;
};

// Stands in for the rows of a group that does not read them.
alignas(32) constexpr std::uint8_t kNoRows4[32] = {};

// The group of samples at (x, y) of an image of kChannels bytes per pixel.
// `aheadBytes`: see AheadBytes.
template <int kChannels>
TESSAVAN_AVX2_INLINE Group4 Prepare4(const Mapping& m, __m256d x, __m256d y, std::uintptr_t aheadBytes) {
    Group4 g;
    // 24-bit groups: weights for the straight groups' levels (RowLevels).
    g.w = Weights4Of<kChannels == 3 ? kLevelScale : 1>(x, y, g.x0, g.y0);
    // Four samples at consecutive pixels of one pair of rows, as the small
    // angles of deskewing give almost everywhere: the pixels are read
    // straight from the rows.
    g.straight = _mm_movemask_epi8(_mm_and_si128(
                     _mm_cmpeq_epi32(_mm_sub_epi32(g.x0, _mm_shuffle_epi32(g.x0, 0)), _mm_setr_epi32(0, 1, 2, 3)),
                     _mm_cmpeq_epi32(g.y0, _mm_shuffle_epi32(g.y0, 0)))) == 0xFFFF;
    g.first = PixelAt(m, _mm_cvtsi128_si32(g.x0), _mm_cvtsi128_si32(g.y0), kChannels);
    PrefetchAhead(g.first, aheadBytes, m.stride);
    if constexpr (kChannels == 3) {
        // Only a straight group's rows are read so; the others read zeros
        // instead, without a branch.
        const std::uint8_t* from = g.straight ? g.first : kNoRows4;
        const std::size_t stride = g.straight ? m.stride : 16;
        g.rows0 = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
        g.rows1 = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + stride)));
    } else {
        g.rows0 = g.rows1 = _mm256_setzero_si256();
    }
    return g;
}

// B, G, R of four pixels packed in the low three bytes of each lane, to
// twelve consecutive bytes.
TESSAVAN_AVX2_INLINE __m128i PackBgr(__m128i lanes) {
    return _mm_shuffle_epi8(lanes, _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1));
}

// The four canvas pixels of a prepared group at dst: straight from the rows
// when the group is straight, else gathered (8-bit pixels: four bytes from
// each sample's pixel x0 in rows y0 and y0 + 1; 24-bit: eight, B, G, R of
// x0 and of x0 + 1).
template <int kChannels>
TESSAVAN_AVX2_INLINE void Finish4(const Mapping& m, const Group4& g, std::uint8_t* dst) {
    const std::size_t stride = m.stride;
    if constexpr (kChannels == 1) {
        __m256d p00, p10, p01, p11;
        if (g.straight) {
            p00 = Doubles(_mm256_cvtepu8_epi64(Load4(g.first)));
            p10 = Doubles(_mm256_cvtepu8_epi64(Load4(g.first + 1)));
            p01 = Doubles(_mm256_cvtepu8_epi64(Load4(g.first + stride)));
            p11 = Doubles(_mm256_cvtepu8_epi64(Load4(g.first + stride + 1)));
        } else {
            const int* base = reinterpret_cast<const int*>(m.bits);
            const __m128i row0 = GatherOffsets4(m, g.x0, g.y0);
            const __m128i a = _mm_i32gather_epi32(base, row0, 1);
            const __m128i b =
                _mm_i32gather_epi32(base, _mm_add_epi32(row0, _mm_set1_epi32(static_cast<int>(stride))), 1);
            p00 = Level<0>(a);
            p10 = Level<8>(a);
            p01 = Level<0>(b);
            p11 = Level<8>(b);
        }
        const __m128i v = Blend(g.w, p00, p10, p01, p11);
        const __m128i bytes = _mm_packus_epi16(_mm_packus_epi32(v, v), _mm_setzero_si128());
        const int word = _mm_cvtsi128_si32(bytes);
        std::memcpy(dst, &word, 4);
        return;
    }
    __m256d b00, b10, b01, b11, g00, g10, g01, g11, r00, r10, r01, r11;
    Weights w = g.w;  // kLevelScale times the baseline's
    if (g.straight) {
        // The four pixels' levels in rows y0 and y0 + 1, and their right
        // neighbours', all scaled as the weights are.
        const __m256i row0 = WithTopByte(g.rows0), row1 = WithTopByte(g.rows1);
        b00 = RowLevels<0, 0>(row0);
        b01 = RowLevels<0, 0>(row1);
        g00 = RowLevels<0, 1>(row0);
        g01 = RowLevels<0, 1>(row1);
        r00 = RowLevels<0, 2>(row0);
        r01 = RowLevels<0, 2>(row1);
        b10 = RowLevels<1, 0>(row0);
        b11 = RowLevels<1, 0>(row1);
        g10 = RowLevels<1, 1>(row0);
        g11 = RowLevels<1, 1>(row1);
        r10 = RowLevels<1, 2>(row0);
        r11 = RowLevels<1, 2>(row1);
    } else {
        w = Unscaled<kLevelScale>(g.w);
        alignas(16) int offsets[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(offsets), GatherOffsets4(m, g.x0, g.y0));
        const std::uint8_t* q = m.bits;
        const __m256i r0 = _mm256_set_m128i(_mm_unpacklo_epi64(Load8(q + offsets[2]), Load8(q + offsets[3])),
                                            _mm_unpacklo_epi64(Load8(q + offsets[0]), Load8(q + offsets[1])));
        const __m256i r1 =
            _mm256_set_m128i(_mm_unpacklo_epi64(Load8(q + offsets[2] + stride), Load8(q + offsets[3] + stride)),
                             _mm_unpacklo_epi64(Load8(q + offsets[0] + stride), Load8(q + offsets[1] + stride)));
        Channel<0>(r0, b00, b10);
        Channel<0>(r1, b01, b11);
        Channel<1>(r0, g00, g10);
        Channel<1>(r1, g01, g11);
        Channel<2>(r0, r00, r10);
        Channel<2>(r1, r01, r11);
    }
    const __m128i blue = Blend(w, b00, b10, b01, b11);
    const __m128i green = Blend(w, g00, g10, g01, g11);
    const __m128i red = Blend(w, r00, r10, r01, r11);
    const __m128i packed =
        PackBgr(_mm_or_si128(blue, _mm_or_si128(_mm_slli_epi32(green, 8), _mm_slli_epi32(red, 16))));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), packed);
    const int last = _mm_extract_epi32(packed, 2);
    std::memcpy(dst + 8, &last, 4);
}

// The groups of one run of a row four canvas pixels wide, for RunGroups.
// What the groups read is held here, in the run's own object: the canvas
// bytes written could otherwise be any of the lanes' members, read again
// after each store.
template <int kChannelsOfRun>
struct GroupRun4 {
    static constexpr int kLanes = 4, kChannels = kChannelsOfRun;
    using Group = Group4;
    Mapping m;
    std::uintptr_t ahead;
    const double* colX;
    const double* colY;
    __m256d rowX, rowY;
    std::uint8_t* out;

    __attribute__((target("avx2"))) void Prepare(int X, Group4& group) const {
        __m256d x, y;
        Positions4(colX, colY, X, rowX, rowY, x, y);
        group = Prepare4<kChannels>(m, x, y, ahead);
    }
    __attribute__((target("avx2"))) void Finish(const Group4& group, int X) const {
        Finish4<kChannels>(m, group, out + static_cast<std::size_t>(X) * kChannels);
    }
};

// The groups of the row loop four canvas pixels wide. The positions,
// fractions, weights and sums are the baseline's double operations done
// four lanes wide (multiply and add kept apart, never fused), truncated the
// same way, so every byte is the baseline's. The reads go past the right
// neighbour by 3 pixels (4-byte gathers of 8-bit pixels) and 2 (8- and
// 16-byte reads of 24-bit ones).
struct Lanes4 : LanesBase {
    static constexpr int kLanes = 4;
    __m256d loX, hiX, loY, hiY;
    __m256d bound[kBounds];  // beside the image
    __m128i outsideLevel, edgeLevel;

    __attribute__((target("avx2"))) Lanes4(const Mapping& mapping, const Canvas& canvas)
        : LanesBase(mapping, canvas, mapping.channels == 1 ? 3 : 2) {
        loX = _mm256_set1_pd(area.loX);
        hiX = _mm256_set1_pd(area.hiX);
        loY = _mm256_set1_pd(area.loY);
        hiY = _mm256_set1_pd(area.hiY);
        double bounds[kBounds];
        BesideBounds(m, bounds);
        for (int i = 0; i < kBounds; ++i) bound[i] = _mm256_set1_pd(bounds[i]);
        outsideLevel = _mm_set1_epi32(m.outside);
        edgeLevel = _mm_set1_epi32(m.edgeFill);
    }

    __attribute__((target("avx2"))) void At(int X, RowTerms row, __m256d& x, __m256d& y) const {
        Positions4(pos.colX.data(), pos.colY.data(), X, _mm256_set1_pd(row.x), _mm256_set1_pd(row.y), x, y);
    }

    __attribute__((target("avx2"))) unsigned Inside(int X, RowTerms row) const {
        __m256d x, y;
        At(X, row, x, y);
        return static_cast<unsigned>(_mm256_movemask_pd(
            _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(x, loX, _CMP_GE_OQ), _mm256_cmp_pd(x, hiX, _CMP_LT_OQ)),
                          _mm256_and_pd(_mm256_cmp_pd(y, loY, _CMP_GE_OQ), _mm256_cmp_pd(y, hiY, _CMP_LT_OQ)))));
    }

    __attribute__((target("avx2"))) BesideLanes BesideOf(int X, RowTerms row) const {
        __m256d x, y;
        At(X, row, x, y);
        const unsigned placed = static_cast<unsigned>(_mm256_movemask_pd(
            _mm256_and_pd(_mm256_cmp_pd(x, bound[kZero], _CMP_GE_OQ), _mm256_cmp_pd(y, bound[kZero], _CMP_GE_OQ))));
        const unsigned below = static_cast<unsigned>(_mm256_movemask_pd(
            _mm256_and_pd(_mm256_cmp_pd(x, bound[kLastX], _CMP_LT_OQ), _mm256_cmp_pd(y, bound[kLastY], _CMP_LT_OQ))));
        const unsigned outsideImage = static_cast<unsigned>(_mm256_movemask_pd(_mm256_or_pd(
            _mm256_or_pd(_mm256_cmp_pd(x, bound[kLeftOfImage], _CMP_LT_OQ),
                         _mm256_cmp_pd(x, bound[kRightOfImage], _CMP_GE_OQ)),
            _mm256_or_pd(_mm256_cmp_pd(y, bound[kBelowImage], _CMP_LT_OQ),
                         _mm256_cmp_pd(y, bound[kAboveImage], _CMP_GE_OQ)))));
        BesideLanes lanes;
        lanes.edge = placed & ~below & 0xFu;
        lanes.away = placed & below & outsideImage;
        lanes.all = (lanes.away | lanes.edge | ~placed) & 0xFu;
        return lanes;
    }

    __attribute__((target("avx2"))) void WriteBeside(int X, RowTerms row, const BesideLanes& lanes, int count,
                                                     std::uint8_t* dst) const {
        __m256d x, y;
        At(X, row, x, y);
        __m128i x0, y0;
        const __m128i bit = _mm_setr_epi32(1, 2, 4, 8);
        const auto laneMask = [&](unsigned bits) {
            return _mm_cmpeq_epi32(_mm_and_si128(_mm_set1_epi32(static_cast<int>(bits)), bit), bit);
        };
        const __m256d outside = bound[kOutside];
        const __m128i blended = Blend(Weights4Of(x, y, x0, y0), outside, outside, outside, outside);
        __m128i v = _mm_blendv_epi8(outsideLevel, blended, laneMask(lanes.away));
        v = _mm_blendv_epi8(v, edgeLevel, laneMask(lanes.edge));
        alignas(16) std::uint8_t bytes[16];
        if (m.channels == 1)
            _mm_store_si128(reinterpret_cast<__m128i*>(bytes), _mm_packus_epi16(_mm_packus_epi32(v, v), v));
        else
            _mm_store_si128(reinterpret_cast<__m128i*>(bytes),
                            PackBgr(_mm_mullo_epi32(v, _mm_set1_epi32(0x010101))));  // a level into B, G and R
        std::memcpy(dst, bytes, static_cast<std::size_t>(count) * m.channels);
    }

    __attribute__((target("avx2"))) void Run(int X, int end, RowTerms row, std::uint8_t* out) const {
        const __m256d rowX = _mm256_set1_pd(row.x), rowY = _mm256_set1_pd(row.y);
        if (m.channels == 1)
            RunGroups(GroupRun4<1>{m, aheadBytes, pos.colX.data(), pos.colY.data(), rowX, rowY, out}, X, end);
        else
            RunGroups(GroupRun4<3>{m, aheadBytes, pos.colX.data(), pos.colY.data(), rowX, rowY, out}, X, end);
    }
};

__attribute__((flatten, target("avx2"))) void RenderAvx2(const Mapping& m, Canvas& canvas) {
    RenderRows(Lanes4(m, canvas), canvas);
}

// GCC 12's AVX-512 headers start the unmasked intrinsics from an undefined
// register, which it then reports as maybe used uninitialised (clang has no
// such warning).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#define TESSAVAN_AVX512 "avx512f,avx512bw,avx512dq,avx512vl,avx512vbmi,avx2"
#define TESSAVAN_AVX512_INLINE __attribute__((target(TESSAVAN_AVX512), always_inline)) inline

struct Weights8 {
    __m512d w00, w10, w01, w11;
};

// Byte `Byte` and byte `Byte` + 8 of each 128-bit lane, zero-extended into
// its 64-bit lane: the same byte of every 64-bit lane.
template <int Byte>
TESSAVAN_AVX512_INLINE __m512d Byte8(__m512i lanes) {
    constexpr char z = -1;
    const __m512i pick = _mm512_set_epi8(z, z, z, z, z, z, z, 8 + Byte, z, z, z, z, z, z, z, Byte,
                                         z, z, z, z, z, z, z, 8 + Byte, z, z, z, z, z, z, z, Byte,
                                         z, z, z, z, z, z, z, 8 + Byte, z, z, z, z, z, z, z, Byte,
                                         z, z, z, z, z, z, z, 8 + Byte, z, z, z, z, z, z, z, Byte);
    return _mm512_cvtepi64_pd(_mm512_shuffle_epi8(lanes, pick));
}

// The baseline's weights of eight samples at (x, y), all at non-negative
// positions below the sampled area's last column and row; x0 and y0 are
// their whole parts.
TESSAVAN_AVX512_INLINE Weights8 Weights8Of(__m512d x, __m512d y, __m256i& x0, __m256i& y0) {
    const __m512d one = _mm512_set1_pd(1.0);
    x0 = _mm512_cvttpd_epi32(x);
    y0 = _mm512_cvttpd_epi32(y);
    // The whole part as a double is the position rounded toward zero: the
    // same value as int(x) converted back (the positions are below 2^31),
    // in one instruction fewer.
    const __m512d fx = _mm512_sub_pd(x, _mm512_roundscale_pd(x, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC));
    const __m512d fy = _mm512_sub_pd(y, _mm512_roundscale_pd(y, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC));
    const __m512d gx = _mm512_sub_pd(one, fx), gy = _mm512_sub_pd(one, fy);
    return Weights8{_mm512_mul_pd(gx, gy), _mm512_mul_pd(fx, gy), _mm512_mul_pd(gx, fy), _mm512_mul_pd(fx, fy)};
}

// w00 p00 + w10 p10 + w01 p01 + w11 p11, summed left to right.
TESSAVAN_AVX512_INLINE __m512d Sum8(const Weights8& w, __m512d p00, __m512d p10, __m512d p01, __m512d p11) {
    return _mm512_add_pd(
        _mm512_add_pd(_mm512_add_pd(_mm512_mul_pd(w.w00, p00), _mm512_mul_pd(w.w10, p10)), _mm512_mul_pd(w.w01, p01)),
        _mm512_mul_pd(w.w11, p11));
}

// int(w00 p00 + w10 p10 + w01 p01 + w11 p11).
TESSAVAN_AVX512_INLINE __m256i Blend8(const Weights8& w, __m512d p00, __m512d p10, __m512d p01, __m512d p11) {
    return _mm512_cvttpd_epi32(Sum8(w, p00, p10, p01, p11));
}

// The same truncated to 64-bit lanes: the same value (a sum of levels
// weighted by fractions lies in 0 .. 255), and one instruction fewer than
// the 32-bit truncation; the canvas byte is the lane's low byte as the
// baseline's is the int's.
TESSAVAN_AVX512_INLINE __m512i Blend8Wide(const Weights8& w, __m512d p00, __m512d p10, __m512d p01, __m512d p11) {
    return _mm512_cvttpd_epi64(Sum8(w, p00, p10, p01, p11));
}

// The byte at 32 Row + 3 k + C (channel C of pixel k of row Row, two rows
// of 32 bytes side by side) into 64-bit lane k, zero-extended, as doubles.
constexpr __mmask64 kLowBytes = 0x0101010101010101ULL;
template <int Row, int C>
TESSAVAN_AVX512_INLINE __m512d LeftLevels(__m512i rows) {
    const __m512i pick = _mm512_setr_epi64(32 * Row + C, 32 * Row + 3 + C, 32 * Row + 6 + C, 32 * Row + 9 + C,
                                           32 * Row + 12 + C, 32 * Row + 15 + C, 32 * Row + 18 + C,
                                           32 * Row + 21 + C);
    return _mm512_cvtepi64_pd(_mm512_maskz_permutexvar_epi8(kLowBytes, pick, rows));
}

// Channel C of pixels 1 .. 8 of row Row: lanes 1 .. 7 of `left` (pixels
// 0 .. 7), then lane 3 Row + C of `next` (pixel 8's B, G, R of both rows).
template <int Row, int C>
TESSAVAN_AVX512_INLINE __m512d RightLevels(__m512d left, __m512d next) {
    return _mm512_permutex2var_pd(left, _mm512_setr_epi64(1, 2, 3, 4, 5, 6, 7, 8 + 3 * Row + C), next);
}

// Eight 24-bit canvas pixels from their levels, one in the low byte of each
// 64-bit lane: the blue and green bytes side by side, then the red ones
// put in.
TESSAVAN_AVX512_INLINE void StoreColour8(__m512i blue, __m512i green, __m512i red, std::uint8_t* dst) {
    alignas(64) static constexpr std::uint8_t kBlueGreen[64] = {
        0,  64, 0,  8,  72, 0,  16, 80, 0,  24, 88, 0,  32, 96, 0,  40, 104, 0,  48, 112, 0,  56, 120, 0};
    alignas(64) static constexpr std::uint8_t kWithRed[64] = {
        0,  1,  64, 3,  4,  72, 6,  7,  80, 9,  10, 88, 12, 13, 96, 15, 16, 104, 18, 19, 112, 21, 22, 120};
    const __m512i bg = _mm512_permutex2var_epi8(blue, _mm512_load_si512(kBlueGreen), green);
    const __m512i bgr = _mm512_permutex2var_epi8(bg, _mm512_load_si512(kWithRed), red);
    _mm512_mask_storeu_epi8(dst, 0xFFFFFF, bgr);
}

// The positions of the samples of canvas pixels X .. X + 7 of a row whose
// terms are rowX and rowY.
TESSAVAN_AVX512_INLINE void Positions8(const Positions& pos, int X, __m512d rowX, __m512d rowY, __m512d& x,
                                       __m512d& y) {
    x = _mm512_sub_pd(_mm512_loadu_pd(&pos.colX[static_cast<std::size_t>(X)]), rowX);
    y = _mm512_add_pd(_mm512_loadu_pd(&pos.colY[static_cast<std::size_t>(X)]), rowY);
}

// The offsets of the samples' pixels x0 in rows y0 from the image's first
// byte, for the gathers.
TESSAVAN_AVX512_INLINE __m256i GatherOffsets(const Mapping& m, __m256i x0, __m256i y0) {
    return _mm256_add_epi32(
        _mm256_mullo_epi32(_mm256_sub_epi32(y0, _mm256_set1_epi32(m.offsetY)), _mm256_set1_epi32(static_cast<int>(m.stride))),
        _mm256_mullo_epi32(_mm256_sub_epi32(x0, _mm256_set1_epi32(m.offsetX)), _mm256_set1_epi32(m.channels)));
}

// Samples beside the image, eight at a time (see BesideLanes).
struct Beside {
    __m512d bound[kBounds];
    __m256i outsideLevel, edgeLevel, grey3, packed;
    int channels;
    __attribute__((target(TESSAVAN_AVX512))) explicit Beside(const Mapping& m) : channels(m.channels) {
        double bounds[kBounds];
        BesideBounds(m, bounds);
        for (int i = 0; i < kBounds; ++i) bound[i] = _mm512_set1_pd(bounds[i]);
        outsideLevel = _mm256_set1_epi32(m.outside);
        edgeLevel = _mm256_set1_epi32(m.edgeFill);
        grey3 = _mm256_set1_epi32(0x010101);  // a level into B, G and R
        // B, G, R in the low three bytes of eight 32-bit lanes, to 24 bytes.
        alignas(32) std::uint8_t order[32];
        for (int k = 0; k < 8; ++k)
            for (int j = 0; j < 3; ++j) order[3 * k + j] = static_cast<std::uint8_t>(4 * k + j);
        for (int j = 24; j < 32; ++j) order[j] = 0;
        packed = _mm256_load_si256(reinterpret_cast<const __m256i*>(order));
    }
};

// The lanes of the group at (x, y) whose samples lie beside the image.
TESSAVAN_AVX512_INLINE BesideLanes BesideImage8(const Beside& b, __m512d x, __m512d y) {
    const __m512d* bound = b.bound;
    const __mmask8 placed =
        _mm512_cmp_pd_mask(x, bound[kZero], _CMP_GE_OQ) & _mm512_cmp_pd_mask(y, bound[kZero], _CMP_GE_OQ);
    const __mmask8 below =
        _mm512_cmp_pd_mask(x, bound[kLastX], _CMP_LT_OQ) & _mm512_cmp_pd_mask(y, bound[kLastY], _CMP_LT_OQ);
    const __mmask8 edge = placed & static_cast<__mmask8>(~below);
    const __mmask8 away = placed & below &
                          (_mm512_cmp_pd_mask(x, bound[kLeftOfImage], _CMP_LT_OQ) |
                           _mm512_cmp_pd_mask(x, bound[kRightOfImage], _CMP_GE_OQ) |
                           _mm512_cmp_pd_mask(y, bound[kBelowImage], _CMP_LT_OQ) |
                           _mm512_cmp_pd_mask(y, bound[kAboveImage], _CMP_GE_OQ));
    return BesideLanes{static_cast<__mmask8>(away | edge | ~placed), edge, away};
}

// Writes the first `count` samples of such a group to dst.
TESSAVAN_AVX512_INLINE void WriteBeside8(const Beside& b, __m512d x, __m512d y, const BesideLanes& lanes, int count,
                                         std::uint8_t* dst) {
    __m256i x0, y0;
    const __m256i blended =
        _mm256_mask_blend_epi32(static_cast<__mmask8>(lanes.away), b.outsideLevel,
                                Blend8(Weights8Of(x, y, x0, y0), b.bound[kOutside], b.bound[kOutside],
                                       b.bound[kOutside], b.bound[kOutside]));
    const __m256i v = _mm256_mask_blend_epi32(static_cast<__mmask8>(lanes.edge), blended, b.edgeLevel);
    if (b.channels == 1)
        _mm_mask_storeu_epi8(dst, static_cast<__mmask16>((1u << count) - 1), _mm256_cvtepi32_epi8(v));
    else
        _mm256_mask_storeu_epi8(dst, (1u << (3 * count)) - 1,
                                _mm256_permutexvar_epi8(b.packed, _mm256_mullo_epi32(v, b.grey3)));
}

// A group of eight samples that all lie in the vector area, up to its
// first reads from the image: weights, whole parts, whether the samples lie
// at consecutive pixels of one pair of rows (`straight`), the first
// sample's pixel, and for 24-bit pixels read straight, pixels x0 .. x0 + 10
// of rows y0 and y0 + 1, 32 bytes each, side by side. The loop over 24-bit
// pixels prepares the next group before it finishes this one, so that the
// reads of the next are under way meanwhile.
struct Group8 {
    Weights8 w;
    __m256i x0, y0;
    const std::uint8_t* first;
    bool straight;
    __m512i rows;
};

// Stands in for the rows of a group that does not read them.
alignas(64) constexpr std::uint8_t kNoRows[64] = {};

// The group of samples at (x, y) of an image of kChannels bytes per pixel.
// `aheadBytes`: see AheadBytes.
template <int kChannels>
TESSAVAN_AVX512_INLINE Group8 Prepare8(const Mapping& m, __m512d x, __m512d y, std::uintptr_t aheadBytes) {
    Group8 g;
    g.w = Weights8Of(x, y, g.x0, g.y0);
    g.straight =
        _mm256_cmpeq_epi32_mask(_mm256_sub_epi32(g.x0, _mm256_broadcastd_epi32(_mm256_castsi256_si128(g.x0))),
                                _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)) == 0xFF &&
        _mm256_cmpeq_epi32_mask(g.y0, _mm256_broadcastd_epi32(_mm256_castsi256_si128(g.y0))) == 0xFF;
    g.first = PixelAt(m, _mm256_cvtsi256_si32(g.x0), _mm256_cvtsi256_si32(g.y0), kChannels);
    PrefetchAhead(g.first, aheadBytes, m.stride);
    if constexpr (kChannels == 3) {
        // Only a straight group's rows lie inside the image up to pixel
        // x0 + 10; the others read zeros instead, without a branch.
        const std::uint8_t* from = g.straight ? g.first : kNoRows;
        const std::size_t stride = g.straight ? m.stride : 32;
        g.rows =
            _mm512_inserti64x4(_mm512_castsi256_si512(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(from))),
                               _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + stride)), 1);
    } else {
        g.rows = _mm512_setzero_si512();
    }
    return g;
}

// The eight canvas pixels of a prepared group at dst.
template <int kChannels>
TESSAVAN_AVX512_INLINE void Finish8(const Mapping& m, const Group8& g, std::uint8_t* dst) {
    const Weights8& w = g.w;
    const std::uint8_t* first = g.first;
    const __m256i vStride = _mm256_set1_epi32(static_cast<int>(m.stride));
    if constexpr (kChannels == 1) {
        __m512i q0, q1;
        if (g.straight) {
            // x0 .. x0 + 7 and x0 + 1 .. x0 + 8, zero-extended.
            const __m512d p00 = _mm512_cvtepi64_pd(_mm512_cvtepu8_epi64(Load8(first)));
            const __m512d p10 = _mm512_cvtepi64_pd(_mm512_cvtepu8_epi64(Load8(first + 1)));
            const __m512d p01 = _mm512_cvtepi64_pd(_mm512_cvtepu8_epi64(Load8(first + m.stride)));
            const __m512d p11 = _mm512_cvtepi64_pd(_mm512_cvtepu8_epi64(Load8(first + m.stride + 1)));
            const __m256i v = Blend8(w, p00, p10, p01, p11);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm256_cvtepi32_epi8(v));
            return;
        }
        const __m256i row0 = GatherOffsets(m, g.x0, g.y0);
        q0 = _mm512_cvtepu32_epi64(_mm256_i32gather_epi32(reinterpret_cast<const int*>(m.bits), row0, 1));
        q1 = _mm512_cvtepu32_epi64(
            _mm256_i32gather_epi32(reinterpret_cast<const int*>(m.bits), _mm256_add_epi32(row0, vStride), 1));
        const __m256i v = Blend8(w, Byte8<0>(q0), Byte8<1>(q0), Byte8<0>(q1), Byte8<1>(q1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), _mm256_cvtepi32_epi8(v));
        return;
    }
    __m512i q0, q1;
    if (g.straight) {
        // The right neighbours x0 + 1 .. x0 + 8 are the left ones moved
        // down a lane, with pixel x0 + 8 in the last: the same levels, so
        // only the left ones and pixel x0 + 8 are converted (the
        // conversions are most of the loop's cost).
        const __m512i rows = g.rows;
        // Pixel 8's B, G, R of both rows (bytes 24 .. 26 and 56 .. 58 of
        // the two rows side by side) into lanes 0 .. 5.
        const __m512i vNextPixel = _mm512_setr_epi64(24, 25, 26, 56, 57, 58, 24, 24);
        const __m512d next = _mm512_cvtepi64_pd(_mm512_maskz_permutexvar_epi8(kLowBytes, vNextPixel, rows));
        const __m512d b00 = LeftLevels<0, 0>(rows), b01 = LeftLevels<1, 0>(rows);
        const __m512d g00 = LeftLevels<0, 1>(rows), g01 = LeftLevels<1, 1>(rows);
        const __m512d r00 = LeftLevels<0, 2>(rows), r01 = LeftLevels<1, 2>(rows);
        const __m512i blue = Blend8Wide(w, b00, RightLevels<0, 0>(b00, next), b01, RightLevels<1, 0>(b01, next));
        const __m512i green =
            Blend8Wide(w, g00, RightLevels<0, 1>(g00, next), g01, RightLevels<1, 1>(g01, next));
        const __m512i red = Blend8Wide(w, r00, RightLevels<0, 2>(r00, next), r01, RightLevels<1, 2>(r01, next));
        StoreColour8(blue, green, red, dst);
        return;
    }
    const __m256i row0 = GatherOffsets(m, g.x0, g.y0);
    q0 = _mm512_i32gather_epi64(row0, m.bits, 1);
    q1 = _mm512_i32gather_epi64(_mm256_add_epi32(row0, vStride), m.bits, 1);
    const __m512i blue = Blend8Wide(w, Byte8<0>(q0), Byte8<3>(q0), Byte8<0>(q1), Byte8<3>(q1));
    const __m512i green = Blend8Wide(w, Byte8<1>(q0), Byte8<4>(q0), Byte8<1>(q1), Byte8<4>(q1));
    const __m512i red = Blend8Wide(w, Byte8<2>(q0), Byte8<5>(q0), Byte8<2>(q1), Byte8<5>(q1));
    StoreColour8(blue, green, red, dst);
}

// The groups of one run of a row eight canvas pixels wide, for RunGroups
// (as GroupRun4).
template <int kChannelsOfRun>
struct GroupRun8 {
    static constexpr int kLanes = 8, kChannels = kChannelsOfRun;
    using Group = Group8;
    Mapping m;
    std::uintptr_t ahead;
    const Positions& pos;
    __m512d rowX, rowY;
    std::uint8_t* out;

    __attribute__((target(TESSAVAN_AVX512))) void Prepare(int X, Group8& group) const {
        __m512d x, y;
        Positions8(pos, X, rowX, rowY, x, y);
        group = Prepare8<kChannels>(m, x, y, ahead);
    }
    __attribute__((target(TESSAVAN_AVX512))) void Finish(const Group8& group, int X) const {
        Finish8<kChannels>(m, group, out + static_cast<std::size_t>(X) * kChannels);
    }
};

// The groups of the row loop eight canvas pixels wide: the baseline's
// double operations eight lanes wide (multiply and add kept apart), the
// source levels converted exactly from their bytes, so every byte is the
// baseline's. Each sample's pixel x0 and the bytes after it, in rows y0 and
// y0 + 1, are first brought into one 64-bit lane (8-bit pixels: x0 .. x0 + 3;
// 24-bit: B, G, R of x0 and of x0 + 1); each level is then one byte of
// that lane. The reads go up to three pixels past the right neighbour (a
// 4-byte gather of 8-bit pixels, 8-byte gathers and a 32-byte row read of
// 24-bit ones).
struct Lanes8 : LanesBase {
    static constexpr int kLanes = 8;
    __m512d loX, hiX, loY, hiY;
    Beside beside;

    __attribute__((target(TESSAVAN_AVX512))) Lanes8(const Mapping& mapping, const Canvas& canvas)
        : LanesBase(mapping, canvas, 3), beside(mapping) {
        loX = _mm512_set1_pd(area.loX);
        hiX = _mm512_set1_pd(area.hiX);
        loY = _mm512_set1_pd(area.loY);
        hiY = _mm512_set1_pd(area.hiY);
    }

    __attribute__((target(TESSAVAN_AVX512))) void At(int X, RowTerms row, __m512d& x, __m512d& y) const {
        Positions8(pos, X, _mm512_set1_pd(row.x), _mm512_set1_pd(row.y), x, y);
    }

    __attribute__((target(TESSAVAN_AVX512))) unsigned Inside(int X, RowTerms row) const {
        __m512d x, y;
        At(X, row, x, y);
        return _mm512_cmp_pd_mask(x, loX, _CMP_GE_OQ) & _mm512_cmp_pd_mask(x, hiX, _CMP_LT_OQ) &
               _mm512_cmp_pd_mask(y, loY, _CMP_GE_OQ) & _mm512_cmp_pd_mask(y, hiY, _CMP_LT_OQ);
    }

    __attribute__((target(TESSAVAN_AVX512))) BesideLanes BesideOf(int X, RowTerms row) const {
        __m512d x, y;
        At(X, row, x, y);
        return BesideImage8(beside, x, y);
    }

    __attribute__((target(TESSAVAN_AVX512))) void WriteBeside(int X, RowTerms row, const BesideLanes& lanes,
                                                              int count, std::uint8_t* dst) const {
        __m512d x, y;
        At(X, row, x, y);
        WriteBeside8(beside, x, y, lanes, count, dst);
    }

    __attribute__((target(TESSAVAN_AVX512))) void Run(int X, int end, RowTerms row, std::uint8_t* out) const {
        const __m512d rowX = _mm512_set1_pd(row.x), rowY = _mm512_set1_pd(row.y);
        if (m.channels == 1)
            RunGroups(GroupRun8<1>{m, aheadBytes, pos, rowX, rowY, out}, X, end);
        else
            RunGroups(GroupRun8<3>{m, aheadBytes, pos, rowX, rowY, out}, X, end);
    }
};

__attribute__((flatten, target(TESSAVAN_AVX512))) void RenderAvx512(const Mapping& m, Canvas& canvas) {
    RenderRows(Lanes8(m, canvas), canvas);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
#endif

// Whether the loop chosen for `kernel` is a vector loop, which writes the
// whole canvas: kFastest, kAvx2 and kAvx512 alike take at least the AVX2
// loop where the processor has it.
bool WritesWholeCanvas(Kernel kernel) { return kernel != Kernel::kBaseline && Avx2Available(); }

// Samples the canvas: one that starts as m.outside, or one never filled
// when WritesWholeCanvas(kernel).
void Render(const Mapping& m, Canvas& canvas, Kernel kernel) {
#ifdef TESSAVAN_ROTATION_AVX2
    if ((kernel == Kernel::kFastest || kernel == Kernel::kAvx512) && Avx512Available())
        return RenderAvx512(m, canvas);
    if (WritesWholeCanvas(kernel)) return RenderAvx2(m, canvas);
#endif
    RenderBaseline(m, canvas);
}

// A canvas whose bytes are all still to be written; empty when the memory
// is not there.
Canvas UnfilledCanvas(int width, int height, int bpp) {
    return CanvasOf(AllocPixelsUnfilled(width, height, bpp), width, height, bpp);
}

// A turn by zero (cos a exactly 1, sin a exactly +-0) about the centre of a
// centred buffer. The canvas is (w + 1) x (h + 1), so the image sits at
// offset (0, 0). Each column's position is W'/2 + (X - W'/2) = X and each
// row's is H'/2 + (Y - H'/2) = Y, exactly (halves of integers, sums of
// integers), and the cross terms are +-0. So every sample lies on a whole
// pixel: fractions 0, weights 1, 0, 0, 0, and 1 x p + 0 x q + 0 x r + 0 x s
// is p exactly; the neighbours outside the image weigh 0. Column w and
// row h reach the sampled area's last column and row and take the edge
// fill. The canvas is therefore the image, one edge-filled column to the
// right of each row, one edge-filled row on top, and the row padding the
// fill the canvas starts with -- written here byte by byte, once, from the
// image at `source` (stride `inStride`) into `out`. The rows go last to
// first, each row's pixels moved with memmove, so that `out` may be the
// image's own buffer: the canvas's stride is never the smaller, so a row
// never lands below where a row still to be read starts.
void WriteStraightRows(const std::uint8_t* source, std::size_t inStride, int width, int height, int bpp,
                       std::uint8_t* out, std::uint8_t outside, std::uint8_t edgeFill) {
    const int cw = width + 1, ch = height + 1;
    const std::size_t outStride = px::StrideFor(static_cast<std::size_t>(cw), bpp);
    const std::size_t n = static_cast<std::size_t>(bpp / 8);
    const std::size_t imageBytes = static_cast<std::size_t>(width) * n;
    const std::size_t rowBytes = static_cast<std::size_t>(cw) * n;
    for (int y = ch - 1; y >= 0; --y) {
        std::uint8_t* row = out + outStride * static_cast<std::size_t>(y);
        std::size_t done = 0;
        if (y < height) {
            std::memmove(row, source + inStride * static_cast<std::size_t>(y), imageBytes);
            done = imageBytes;
        }
        std::memset(row + done, edgeFill, rowBytes - done);
        std::memset(row + rowBytes, outside, outStride - rowBytes);
    }
}

Canvas StraightCanvas(const Mapping& m, int cw, int ch, int bpp) {
    Canvas c = UnfilledCanvas(cw, ch, bpp);
    if (c.empty()) return c;
    WriteStraightRows(m.bits, m.stride, m.width, m.height, bpp, c.bits.get(), m.outside, m.edgeFill);
    return c;
}

// A canvas that starts as `fill`, or (for a loop that writes every byte)
// is left as the allocator gives it.
Canvas NewCanvas(int width, int height, int bpp, std::uint8_t fill, Kernel kernel) {
    Canvas c = UnfilledCanvas(width, height, bpp);
    if (!c.empty() && !WritesWholeCanvas(kernel)) std::memset(c.bits.get(), fill, c.size);
    return c;
}

}  // namespace

bool Avx512Available() {
#ifdef TESSAVAN_ROTATION_AVX2
    return vectorloops::Avx512();
#else
    return false;
#endif
}

bool Avx2Available() {
#ifdef TESSAVAN_ROTATION_AVX2
    return vectorloops::Avx2();
#else
    return false;
#endif
}

Canvas CanvasOf(std::unique_ptr<std::uint8_t[]> bits, int width, int height, int bpp) {
    Canvas c;
    if (!bits) return c;
    c.bits = std::move(bits);
    c.size = PixelBytes(width, height, bpp);
    c.width = width;
    c.height = height;
    c.bitsPerPixel = bpp;
    return c;
}

bool MovesNoPixel(double degrees) {
    if (!std::isfinite(degrees)) return false;
    const double a = Radians(degrees);
    return std::cos(a) == 1.0 && std::sin(a) == 0.0;
}

bool CanvasSize(double degrees, int width, int height, int* canvasWidth, int* canvasHeight) {
    if (!std::isfinite(degrees) || width <= 0 || height <= 0) return false;
    const double a = Radians(degrees);
    const double c = std::fabs(std::cos(a)), s = std::fabs(std::sin(a));
    const double w = width * c + height * s + 1;
    const double h = width * s + height * c + 1;
    const double maxSide = static_cast<double>(image_limits::kMaxSide);
    if (!(w >= 1.0 && w < maxSide + 1.0 && h >= 1.0 && h < maxSide + 1.0)) return false;
    const int cw = static_cast<int>(w), ch = static_cast<int>(h);
    // The limit on pixel bytes holds for a 24-bit canvas.
    const auto bytes = checked::Mul(px::Stride24(static_cast<std::size_t>(cw)), static_cast<std::size_t>(ch));
    if (!bytes || *bytes > image_limits::kMaxPixelBytes) return false;
    *canvasWidth = cw;
    *canvasHeight = ch;
    return true;
}

Canvas RotateCentred(const std::uint8_t* bits, int width, int height, int bpp, double degrees, std::uint8_t fill,
                     std::uint8_t edgeFill, Kernel kernel) {
    int cw = 0, ch = 0;
    if (!ValidImage(bits, width, height, bpp) || !CanvasSize(degrees, width, height, &cw, &ch)) return {};
    const double a = Radians(degrees);
    const Mapping m{bits, width, height, bpp / 8, px::StrideFor(static_cast<std::size_t>(width), bpp),
                    (cw - width) / 2, (ch - height) / 2, cw, ch, fill, cw / 2.0, ch / 2.0,
                    std::cos(a), std::sin(a), edgeFill};
    if (kernel == Kernel::kFastest && MovesNoPixel(degrees)) return StraightCanvas(m, cw, ch, bpp);
    Canvas canvas = NewCanvas(cw, ch, bpp, fill, kernel);
    if (canvas.empty()) return canvas;
    Render(m, canvas, kernel);
    return canvas;
}

bool StraightenInPlace(std::uint8_t* bits, std::size_t capacity, int width, int height, int bpp, std::uint8_t fill,
                       std::uint8_t edgeFill) {
    int cw = 0, ch = 0;
    if (!ValidImage(bits, width, height, bpp) || !CanvasSize(0.0, width, height, &cw, &ch)) return false;
    if (capacity < PixelBytes(cw, ch, bpp)) return false;
    WriteStraightRows(bits, px::StrideFor(static_cast<std::size_t>(width), bpp), width, height, bpp, bits, fill,
                      edgeFill);
    return true;
}

Canvas RotateAboutImageCentre(const std::uint8_t* bits, int width, int height, int bpp, double degrees,
                              std::uint8_t edgeFill, Kernel kernel) {
    int cw = 0, ch = 0;
    if (!ValidImage(bits, width, height, bpp) || !CanvasSize(degrees, width, height, &cw, &ch)) return {};
    Canvas canvas = NewCanvas(cw, ch, bpp, 255, kernel);
    if (canvas.empty()) return canvas;
    const double a = Radians(degrees);
    const Mapping m{bits, width, height, bpp / 8, px::StrideFor(static_cast<std::size_t>(width), bpp),
                    0, 0, width, height, 255, width / 2.0, height / 2.0,
                    std::cos(a), std::sin(a), edgeFill};
    Render(m, canvas, kernel);
    return canvas;
}

void SampleRotated(const std::uint8_t* source, int sourceWidth, int sourceHeight, std::uint8_t* canvas,
                   int canvasWidth, int canvasHeight, double x, double y, int column, int row, int bpp,
                   std::uint8_t edgeFill) {
    if (!(x >= 0.0 && y >= 0.0) || column < 0 || row < 0) return;
    if (column >= canvasWidth || row >= canvasHeight || sourceWidth <= 0 || sourceHeight <= 0) return;
    const int n = bpp == 24 ? 3 : 1;
    const int x0 = x >= sourceWidth - 1 ? sourceWidth - 1 : static_cast<int>(x);
    const int y0 = y >= sourceHeight - 1 ? sourceHeight - 1 : static_cast<int>(y);
    std::uint8_t* dst = canvas + px::StrideFor(static_cast<std::size_t>(canvasWidth), bpp) * static_cast<std::size_t>(row) +
                        static_cast<std::size_t>(column) * n;
    if (x0 + 1 == sourceWidth || y0 + 1 == sourceHeight) {
        for (int c = 0; c < n; ++c) dst[c] = edgeFill;
        return;
    }
    const double fx = x - x0, fy = y - y0;
    const std::size_t stride = px::StrideFor(static_cast<std::size_t>(sourceWidth), bpp);
    const std::uint8_t* p0 = source + stride * static_cast<std::size_t>(y0) + static_cast<std::size_t>(x0) * n;
    const std::uint8_t* p1 = p0 + stride;
    for (int c = 0; c < n; ++c)
        dst[c] = static_cast<std::uint8_t>(static_cast<int>((1 - fx) * (1 - fy) * p0[c] + fx * (1 - fy) * p0[n + c] +
                                                            (1 - fx) * fy * p1[c] + fx * fy * p1[n + c]));
}

namespace {

// Exact quarter turns, `quarters` (1..3) clockwise as displayed, of a
// bottom-up image of w x h into `out` (the turned size). In memory
// coordinates (column x, row y from the first row in memory):
//   1: out(x, y) = in(w - 1 - y, x)
//   2: out(x, y) = in(w - 1 - x, h - 1 - y)
//   3: out(x, y) = in(y, h - 1 - x)
template <int Bytes>
void TurnQuartersOf(const std::uint8_t* in, int w, int h, int quarters, std::uint8_t* out) {
    const int ow = quarters == 2 ? w : h;
    const int oh = quarters == 2 ? h : w;
    const std::size_t inStride = px::StrideFor(static_cast<std::size_t>(w), Bytes * 8);
    const std::size_t outStride = px::StrideFor(static_cast<std::size_t>(ow), Bytes * 8);
    auto source = [&](int x, int y) { return in + inStride * static_cast<std::size_t>(y) + static_cast<std::size_t>(x) * Bytes; };
    if (quarters == 2) {
        for (int y = 0; y < oh; ++y) {
            std::uint8_t* o = out + outStride * static_cast<std::size_t>(y);
            const std::uint8_t* s = source(w - 1, h - 1 - y);
            for (int x = 0; x < ow; ++x, o += Bytes, s -= Bytes) std::memcpy(o, s, Bytes);
        }
        return;
    }
    // Tiles keep both the rows read and the rows written in cache.
    constexpr int kTile = 64;
    for (int ty = 0; ty < oh; ty += kTile)
        for (int tx = 0; tx < ow; tx += kTile) {
            const int yEnd = std::min(oh, ty + kTile), xEnd = std::min(ow, tx + kTile);
            for (int y = ty; y < yEnd; ++y) {
                std::uint8_t* o = out + outStride * static_cast<std::size_t>(y) + static_cast<std::size_t>(tx) * Bytes;
                for (int x = tx; x < xEnd; ++x, o += Bytes) {
                    const std::uint8_t* s = quarters == 1 ? source(w - 1 - y, x) : source(y, h - 1 - x);
                    std::memcpy(o, s, Bytes);
                }
            }
        }
}


}  // namespace

void TurnQuarters(const std::uint8_t* in, int width, int height, int bitsPerPixel, int quarters, std::uint8_t* out) {
    if (bitsPerPixel == 24)
        TurnQuartersOf<3>(in, width, height, quarters, out);
    else
        TurnQuartersOf<1>(in, width, height, quarters, out);
}

void KeepSizeCrop(const std::uint8_t* canvas, int canvasWidth, int canvasHeight, int bpp, int width, int height,
                  std::uint8_t fill, std::uint8_t* out, int* offsetX, int* offsetY) {
    const int ox = (canvasWidth - width) / 2, oy = (canvasHeight - height) / 2;
    if (offsetX) *offsetX = ox;
    if (offsetY) *offsetY = oy;
    if (!canvas || !out || canvasWidth <= 0 || canvasHeight <= 0 || width <= 0 || height <= 0) return;
    if (bpp != 8 && bpp != 24) return;
    const int n = bpp / 8;
    const std::size_t inStride = px::StrideFor(static_cast<std::size_t>(canvasWidth), bpp);
    const std::size_t outStride = px::StrideFor(static_cast<std::size_t>(width), bpp);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* dst = out + outStride * static_cast<std::size_t>(y);
        const int sy = oy + y;
        if (sy < 0 || sy >= canvasHeight) {
            std::memset(dst, fill, static_cast<std::size_t>(width) * n);
            continue;
        }
        const std::uint8_t* src = canvas + inStride * static_cast<std::size_t>(sy);
        // Columns of the block that lie on the canvas.
        const int first = std::max(0, -ox), last = std::min(width, canvasWidth - ox);
        if (first > 0) std::memset(dst, fill, static_cast<std::size_t>(std::min(first, width)) * n);
        if (first < last)
            std::memcpy(dst + static_cast<std::size_t>(first) * n, src + static_cast<std::size_t>(ox + first) * n,
                        static_cast<std::size_t>(last - first) * n);
        if (last < width) {
            const int from = std::max(last, 0);
            std::memset(dst + static_cast<std::size_t>(from) * n, fill, static_cast<std::size_t>(width - from) * n);
        }
    }
}

}  // namespace rotation
