// Whole-row pixel formulas. The plain loop evaluates the grey formula pixel by
// pixel; the AVX2 loop evaluates the same double-precision expression four
// pixels at a time in the same order of additions, so both give identical
// bytes. The loop is chosen once, by what the processor supports.
#include "processing/PixelRows.h"

#include <cstring>

#include "processing/PixelMath.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TESSAVAN_ROWS_AVX2 1
#endif

namespace px {

namespace {

void GreyRowBaseline(const std::uint8_t* bgr, std::uint8_t* grey, std::size_t width) {
    for (std::size_t x = 0; x < width; ++x, bgr += 3) grey[x] = GreyFast(bgr[0], bgr[1], bgr[2]);
}

#ifdef TESSAVAN_ROWS_AVX2
// Four pixels at a time: 0.587 G + 0.299 R + 0.114 B in double, the terms
// added in that order, truncated; a 16-byte load covers the twelve bytes
// of four pixels, so the loop stops while sixteen bytes remain readable.
__attribute__((target("avx2"))) void GreyRowAvx2(const std::uint8_t* bgr, std::uint8_t* grey, std::size_t width) {
    const __m128i pickB = _mm_setr_epi8(0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1);
    const __m128i pickG = _mm_setr_epi8(1, -1, -1, -1, 4, -1, -1, -1, 7, -1, -1, -1, 10, -1, -1, -1);
    const __m128i pickR = _mm_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1);
    const __m256d kG = _mm256_set1_pd(0.587), kR = _mm256_set1_pd(0.299), kB = _mm256_set1_pd(0.114);
    std::size_t x = 0;
    for (; x + 6 <= width; x += 4) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bgr + 3 * x));
        const __m256d b = _mm256_cvtepi32_pd(_mm_shuffle_epi8(v, pickB));
        const __m256d g = _mm256_cvtepi32_pd(_mm_shuffle_epi8(v, pickG));
        const __m256d r = _mm256_cvtepi32_pd(_mm_shuffle_epi8(v, pickR));
        const __m256d s = _mm256_add_pd(_mm256_add_pd(_mm256_mul_pd(kG, g), _mm256_mul_pd(kR, r)), _mm256_mul_pd(kB, b));
        const __m128i levels = _mm256_cvttpd_epi32(s);
        const int word = _mm_cvtsi128_si32(_mm_packus_epi16(_mm_packus_epi32(levels, levels), levels));
        std::memcpy(grey + x, &word, 4);
    }
    GreyRowBaseline(bgr + 3 * x, grey + x, width - x);
}

bool HasAvx2() {
    static const bool available = __builtin_cpu_supports("avx2");
    return available;
}
#endif

}  // namespace

void GreyRow(const std::uint8_t* bgr, std::uint8_t* grey, std::size_t width, RowKernel kernel) {
#ifdef TESSAVAN_ROWS_AVX2
    if (kernel == RowKernel::kFastest && HasAvx2()) return GreyRowAvx2(bgr, grey, width);
#endif
    (void)kernel;
    GreyRowBaseline(bgr, grey, width);
}

}  // namespace px
