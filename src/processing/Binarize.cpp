// Binarisation of the working images. Otsu's threshold is found from one
// histogram (of the bytes, or of the grey values of a colour image); fixed
// thresholds are applied row by row, sixteen bytes at a time. A colour
// image's grey values are first written into the output rows by the row
// loops, and the threshold applied to them there. Outputs start all light
// so that the row padding is light too.
#include "processing/Binarize.h"

#include <algorithm>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "processing/PixelMath.h"
#include "processing/PixelRows.h"

namespace binarize {

namespace {

std::size_t Bytes8(int width, int height) {
    return px::Stride8(static_cast<std::size_t>(width)) * static_cast<std::size_t>(height);
}

// Light bytes everywhere, also in the row padding, before pixels are written.
std::vector<std::uint8_t> LightImage(int width, int height) {
    return std::vector<std::uint8_t>(width > 0 && height > 0 ? Bytes8(width, height) : 0, 255);
}

// One row of 8-bit levels against a threshold, sixteen bytes at a time: a
// byte is at least t when max(byte, t) is the byte itself. `src` and `dst`
// may be the same bytes.
void ThresholdRow8(const std::uint8_t* src, std::uint8_t* dst, int width, int threshold) {
    int x = 0;
#ifdef __SSE2__
    if (threshold >= 0 && threshold <= 255) {
        const __m128i t = _mm_set1_epi8(static_cast<char>(threshold));
        for (; x + 16 <= width; x += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + x));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + x), _mm_cmpeq_epi8(_mm_max_epu8(v, t), v));
        }
    }
#endif
    for (; x < width; ++x) dst[x] = src[x] >= threshold ? 255 : 0;
}

void ThresholdRows8(const std::uint8_t* bits, int width, int height, std::uint8_t* out, int threshold) {
    const std::size_t stride = px::Stride8(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y)
        ThresholdRow8(bits + stride * static_cast<std::size_t>(y), out + stride * static_cast<std::size_t>(y), width,
                      threshold);
}

// The grey value of every pixel of a colour image (GreyFast's, which is the
// grey formula's) into the rows of an 8-bit image.
void GreyRows(const std::uint8_t* bits, int width, int height, std::uint8_t* out) {
    const std::size_t inStride = px::Stride24(static_cast<std::size_t>(width));
    const std::size_t outStride = px::Stride8(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y)
        px::GreyRow(bits + inStride * static_cast<std::size_t>(y), out + outStride * static_cast<std::size_t>(y),
                    static_cast<std::size_t>(width));
}

int GreyOf(const std::uint8_t* row, int x) {
    const std::uint8_t* p = row + 3 * static_cast<std::size_t>(x);
    return px::GreyFast(p[0], p[1], p[2]);
}

}  // namespace

int OtsuThreshold(const Histogram& hist, std::int64_t total) {
    if (total <= 0) return 0;
    std::array<float, 256> p{};
    const float n = static_cast<float>(total);
    for (int j = 0; j < 256; ++j) p[j] = static_cast<float>(hist[j]) / n;

    int best = 0;
    bool haveBest = false;
    float bestSigma = 0.0f;
    for (int t = 0; t < 256; ++t) {
        float w0 = 0.0f, s0 = 0.0f, w1 = 0.0f, s1 = 0.0f;
        for (int j = 0; j <= t; ++j) {
            w0 += p[j];
            s0 += static_cast<float>(j) * p[j];
        }
        for (int j = t + 1; j < 256; ++j) {
            w1 += p[j];
            s1 += static_cast<float>(j) * p[j];
        }
        if (w0 == 0.0f || w1 == 0.0f) continue;
        const float d = s0 / w0 - s1 / w1;
        const float sigma = d * d * w0 * w1;
        // A tie with the same split of the pixels (only empty levels since
        // the best t) moves the threshold up; other ties keep the lower t.
        bool sameSplit = haveBest;
        for (int j = best + 1; j <= t && sameSplit; ++j) sameSplit = hist[j] == 0;
        if (!haveBest || sigma > bestSigma || (sigma == bestSigma && sameSplit)) {
            haveBest = true;
            bestSigma = sigma;
            best = t;
        }
    }
    return best;
}

Histogram HistogramOfColor(const std::uint8_t* bits, int width, int height) {
    Histogram h{};
    const std::size_t stride = px::Stride24(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = bits + stride * static_cast<std::size_t>(y);
        for (int x = 0; x < width; ++x) ++h[GreyOf(row, x)];
    }
    return h;
}

void Otsu8(const std::uint8_t* bits, int width, int height, std::uint8_t* out) {
    if (width <= 0 || height <= 0) return;
    const Histogram h = tone::Histogram8(bits, width, height);
    const std::int64_t total = static_cast<std::int64_t>(width) * height;
    if (h[0] + h[255] == total) {
        const std::size_t stride = px::Stride8(static_cast<std::size_t>(width));
        for (int y = 0; y < height; ++y) {
            const std::size_t at = stride * static_cast<std::size_t>(y);
            std::copy(bits + at, bits + at + width, out + at);
        }
        return;
    }
    ThresholdRows8(bits, width, height, out, OtsuThreshold(h, total));
}

void OtsuColor(const std::uint8_t* bits, int width, int height, std::uint8_t* out) {
    if (width <= 0 || height <= 0) return;
    GreyRows(bits, width, height, out);
    const Histogram h = tone::Histogram8(out, width, height);
    const std::int64_t total = static_cast<std::int64_t>(width) * height;
    ThresholdRows8(out, width, height, out, OtsuThreshold(h, total));
}

void Threshold8(const std::uint8_t* bits, int width, int height, std::uint8_t* out, int threshold) {
    ThresholdRows8(bits, width, height, out, threshold);
}

void ThresholdColor(const std::uint8_t* bits, int width, int height, std::uint8_t* out, int threshold) {
    if (width <= 0 || height <= 0) return;
    GreyRows(bits, width, height, out);
    ThresholdRows8(out, width, height, out, threshold);
}

std::vector<std::uint8_t> Otsu8(const std::uint8_t* bits, int width, int height) {
    auto out = LightImage(width, height);
    Otsu8(bits, width, height, out.data());
    return out;
}

std::vector<std::uint8_t> OtsuColor(const std::uint8_t* bits, int width, int height) {
    auto out = LightImage(width, height);
    OtsuColor(bits, width, height, out.data());
    return out;
}

std::vector<std::uint8_t> Threshold8(const std::uint8_t* bits, int width, int height, int threshold) {
    auto out = LightImage(width, height);
    Threshold8(bits, width, height, out.data(), threshold);
    return out;
}

std::vector<std::uint8_t> ThresholdColor(const std::uint8_t* bits, int width, int height, int threshold) {
    auto out = LightImage(width, height);
    ThresholdColor(bits, width, height, out.data(), threshold);
    return out;
}

}  // namespace binarize
