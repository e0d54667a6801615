// Whole-row pixel formulas and table look-ups. The plain loops evaluate the
// formula pixel by pixel; the vector loops evaluate the same operations many
// lanes at a time (the grey formula as the same double-precision expression
// in the same order of additions, or in whole numbers where those provably
// truncate to the same level, as GreyFast does; a table look-up as byte
// permutations or shuffles of the same 256 table bytes, or as gathers of
// them widened to 32 bits; clamped moves as saturating byte additions), so
// every loop gives identical bytes. The loop is chosen by
// what the processor supports, checked once.
#include "processing/PixelRows.h"

#include <algorithm>
#include <array>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "processing/PixelMath.h"
#include "processing/VectorLoops.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TESSAVAN_ROWS_X86 1
#endif

namespace px {

namespace {

// The two orders of the grey formula's terms (PixelMath.h): green first
// (Grey) or red first (GreyRgbOrder).
template <bool kRedFirst>
std::uint8_t GreyOf(std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    return kRedFirst ? GreyRgbOrderFast(b, g, r) : GreyFast(b, g, r);
}

template <bool kRedFirst>
void GreyRowBaseline(const std::uint8_t* bgr, std::uint8_t* grey, std::size_t width) {
    for (std::size_t x = 0; x < width; ++x, bgr += 3) grey[x] = GreyOf<kRedFirst>(bgr[0], bgr[1], bgr[2]);
}

void LookupRowBaseline(const std::uint8_t* in, std::uint8_t* out, std::size_t n, const std::uint8_t* table) {
    for (std::size_t i = 0; i < n; ++i) out[i] = table[in[i]];
}

void LookupPixelRowBaseline(std::uint8_t* bgr, std::size_t pixels, const std::uint8_t* const tables[3]) {
    for (std::size_t x = 0; x < pixels; ++x, bgr += 3) {
        bgr[0] = tables[0][bgr[0]];
        bgr[1] = tables[1][bgr[1]];
        bgr[2] = tables[2][bgr[2]];
    }
}

std::size_t ColourBitsRowBaseline(const std::uint8_t* bgr, std::uint8_t* out, std::size_t width,
                                  const std::uint64_t* words) {
    std::size_t ones = 0;
    for (std::size_t x = 0; x < width; ++x, bgr += 3) {
        const std::uint32_t i = static_cast<std::uint32_t>(bgr[0]) | (static_cast<std::uint32_t>(bgr[1]) << 8) |
                                (static_cast<std::uint32_t>(bgr[2]) << 16);
        out[x] = static_cast<std::uint8_t>((words[i >> 6] >> (i & 63)) & 1u);
        ones += out[x];
    }
    return ones;
}

void SpreadGreyRowBaseline(const std::uint8_t* levels, const std::uint8_t* keep, std::uint8_t* bgr,
                           std::size_t width) {
    for (std::size_t x = 0; x < width; ++x)
        if (!keep || keep[x] == 0) bgr[3 * x] = bgr[3 * x + 1] = bgr[3 * x + 2] = levels[x];
}

// Each pixel's rise and fall are spread over its three bytes in a small
// chunk, then the chunk's bytes move by a saturating add and subtract: with
// one of rise and fall 0, that is the clamped b + rise - fall.
void ShiftRowByGreyBaseline(std::uint8_t* bgr, const std::uint8_t* grey, std::size_t width, const GreyShiftTables& t) {
    constexpr std::size_t kChunk = 32;
    std::uint8_t ups[3 * kChunk], downs[3 * kChunk];
    for (std::size_t x0 = 0; x0 < width; x0 += kChunk) {
        const std::size_t count = std::min(kChunk, width - x0);
        for (std::size_t k = 0; k < count; ++k) {
            const std::uint8_t g = grey[x0 + k];
            ups[3 * k] = ups[3 * k + 1] = ups[3 * k + 2] = t.rise[g];
            downs[3 * k] = downs[3 * k + 1] = downs[3 * k + 2] = t.fall[g];
        }
        std::uint8_t* q = bgr + 3 * x0;
        const std::size_t n = 3 * count;
        std::size_t i = 0;
#ifdef __SSE2__
        for (; i + 16 <= n; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + i));
            const __m128i up = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ups + i));
            const __m128i down = _mm_loadu_si128(reinterpret_cast<const __m128i*>(downs + i));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(q + i), _mm_subs_epu8(_mm_adds_epu8(v, up), down));
        }
#endif
        for (; i < n; ++i) q[i] = ClampByte(q[i] + ups[i] - downs[i]);
    }
}

#ifdef TESSAVAN_ROWS_X86
#define TESSAVAN_AVX2 __attribute__((target("avx2")))

// The low bytes of the eight 32-bit lanes, in order.
TESSAVAN_AVX2 inline __m128i LowBytesOfLanes(__m256i v) {
    const __m256i pick = _mm256_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 4, 8, 12, -1,
                                          -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i bytes = _mm256_shuffle_epi8(v, pick);
    return _mm_unpacklo_epi32(_mm256_castsi256_si128(bytes), _mm256_extracti128_si256(bytes, 1));
}

// The double expression's value for the pure greys (v, v, v), whose sum S
// is always a whole thousand.
template <bool kRedFirst>
const std::array<std::uint8_t, 256>& GreyOfPureGreys() {
    static const std::array<std::uint8_t, 256> table = [] {
        std::array<std::uint8_t, 256> t{};
        for (int v = 0; v < 256; ++v) {
            const auto c = static_cast<std::uint8_t>(v);
            t[v] = kRedFirst ? GreyRgbOrder(c, c, c) : Grey(c, c, c);
        }
        return t;
    }();
    return table;
}

// The pure greys whose double expression falls just below v (its value is
// v or v - 1: S is exactly 1000 v), as 256 bits in eight 32-bit words.
template <bool kRedFirst>
const std::array<std::uint32_t, 8>& PureGreysBelow() {
    static const std::array<std::uint32_t, 8> bits = [] {
        const std::array<std::uint8_t, 256>& levels = GreyOfPureGreys<kRedFirst>();
        std::array<std::uint32_t, 8> b{};
        for (int v = 0; v < 256; ++v)
            if (levels[v] != v) b[v / 32] |= 1u << (v % 32);
        return b;
    }();
    return bits;
}

// Eight pixels at a time in whole numbers (the way GreyFast reasons):
// S = 587 G + 299 R + 114 B as two multiply-adds of 16-bit pairs, and
// S / 1000 = (S / 8) / 125, the last division as a multiply by 33555 and a
// shift by 22, which is exact for every S / 8 below 59074 (S is at most
// 255000, so S / 8 at most 31875). Where S is a multiple of 1000 the double
// expression decides, as in GreyFast: a pure grey's value is its level less
// its bit in PureGreysBelow; any other colour is then set by GreyFast
// itself. Two 16-byte loads hold pixels 0-3 and 4-7 (twelve bytes each);
// the second reads up to byte 27 of the eight pixels, so the loop stops
// while 30 bytes (ten pixels) remain.
template <bool kRedFirst>
TESSAVAN_AVX2 void GreyRowAvx2(const std::uint8_t* bgr, std::uint8_t* grey, std::size_t width) {
    const __m256i pickGR = _mm256_setr_epi8(1, -1, 2, -1, 4, -1, 5, -1, 7, -1, 8, -1, 10, -1, 11, -1, 1, -1, 2, -1, 4,
                                            -1, 5, -1, 7, -1, 8, -1, 10, -1, 11, -1);
    const __m256i pickB = _mm256_setr_epi8(0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1, 0, -1, -1, -1,
                                           3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1);
    const __m256i kGR = _mm256_set1_epi32((299 << 16) | 587), kB = _mm256_set1_epi32(114);
    const __m256i k33555 = _mm256_set1_epi32(33555), k1000 = _mm256_set1_epi32(1000);
    const __m256i low5 = _mm256_set1_epi32(31), one = _mm256_set1_epi32(1);
    const __m256i below =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(PureGreysBelow<kRedFirst>().data()));
    std::size_t x = 0;
    for (; x + 10 <= width; x += 8) {
        const std::uint8_t* p = bgr + 3 * x;
        const __m256i v =
            _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(p + 12), reinterpret_cast<const __m128i*>(p));
        const __m256i gr = _mm256_shuffle_epi8(v, pickGR), b = _mm256_shuffle_epi8(v, pickB);
        const __m256i sum = _mm256_add_epi32(_mm256_madd_epi16(gr, kGR), _mm256_madd_epi16(b, kB));
        __m256i levels = _mm256_srli_epi32(_mm256_mulhi_epu16(_mm256_srli_epi32(sum, 3), k33555), 6);
        const __m256i whole = _mm256_cmpeq_epi32(_mm256_madd_epi16(levels, k1000), sum);
        unsigned others = 0;
        if (!_mm256_testz_si256(whole, whole)) {
            // Pure greys: (G, R) as 16-bit pairs equals (B, B).
            const __m256i pure = _mm256_cmpeq_epi32(gr, _mm256_or_si256(b, _mm256_slli_epi32(b, 16)));
            const __m256i word = _mm256_permutevar8x32_epi32(below, _mm256_srli_epi32(b, 5));
            const __m256i fallsBelow = _mm256_and_si256(_mm256_srlv_epi32(word, _mm256_and_si256(b, low5)), one);
            levels = _mm256_blendv_epi8(levels, _mm256_sub_epi32(b, fallsBelow), _mm256_and_si256(whole, pure));
            others = static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_andnot_si256(pure, whole))));
        }
        _mm_storel_epi64(reinterpret_cast<__m128i*>(grey + x), LowBytesOfLanes(levels));
        for (; others; others &= others - 1) {
            const int k = __builtin_ctz(others);
            grey[x + k] = GreyOf<kRedFirst>(p[3 * k], p[3 * k + 1], p[3 * k + 2]);
        }
    }
    GreyRowBaseline<kRedFirst>(bgr + 3 * x, grey + x, width - x);
}

// A 256-byte table for 32 look-ups at once. AVX2 has no 256-byte
// permutation, only byte shuffles within 16 bytes, which give 0 where the
// index byte has its top bit set: each of the table's sixteen 16-byte pieces
// is reached through a saturating add that sets that bit for the levels
// outside a range. For levels below 128, adding 112 - 16i leaves it clear
// exactly for the levels below 16(i + 1), and keeps the level's low four
// bits; the levels from 128 go the same way with their top bit flipped
// (which sets it for the levels below 128, and no add clears it again). A
// level is thus met by the pieces of every range that holds it, so piece i
// holds the XOR of table pieces i and i + 1 (the last piece of each half
// as it is), and the XOR of all sixteen shuffles is the level's own entry.
struct Table256 {
    alignas(32) std::uint8_t piece[16][32];  // each piece in both 16-byte lanes
};
TESSAVAN_AVX2 inline void LoadPieces(const std::uint8_t* table, Table256& t) {
    for (int i = 0; i < 16; ++i) {
        __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + 16 * i));
        if (i % 8 != 7) p = _mm_xor_si128(p, _mm_loadu_si128(reinterpret_cast<const __m128i*>(table + 16 * i + 16)));
        _mm256_store_si256(reinterpret_cast<__m256i*>(t.piece[i]), _mm256_broadcastsi128_si256(p));
    }
}
TESSAVAN_AVX2 inline __m256i Lookup32(const Table256& t, __m256i index) {
    const __m256i flipped = _mm256_xor_si256(index, _mm256_set1_epi8(static_cast<char>(0x80)));
    __m256i out = _mm256_setzero_si256();
    for (int i = 0; i < 8; ++i) {
        const __m256i step = _mm256_set1_epi8(static_cast<char>(112 - 16 * i));
        const __m256i low = _mm256_load_si256(reinterpret_cast<const __m256i*>(t.piece[i]));
        const __m256i high = _mm256_load_si256(reinterpret_cast<const __m256i*>(t.piece[8 + i]));
        out = _mm256_xor_si256(out, _mm256_shuffle_epi8(low, _mm256_adds_epu8(index, step)));
        out = _mm256_xor_si256(out, _mm256_shuffle_epi8(high, _mm256_adds_epu8(flipped, step)));
    }
    return out;
}

// Byte j of the 32-byte block p of 32 consecutive B, G, R pixels (96
// bytes) belongs to pixel (32p + j) / 3. A byte shuffle picks within
// 16-byte lanes, so each block takes its pixels' values from the 32
// per-pixel bytes laid out for it: the first block from the first 16 pixels
// in both lanes, the second from the bytes as they are, the third from the
// last 16 pixels in both lanes.
alignas(32) constexpr std::array<std::uint8_t, 96> kSpreadPick = [] {
    std::array<std::uint8_t, 96> a{};
    for (int j = 0; j < 96; ++j) {
        const int pixel = j / 3, part = j / 32, lane = (j % 32) / 16;
        const int first = part == 0 ? 0 : (part == 2 ? 16 : 16 * lane);
        a[j] = static_cast<std::uint8_t>(pixel - first);
    }
    return a;
}();
template <int kPart>
TESSAVAN_AVX2 inline __m256i SpreadToPixels(__m256i perPixel) {
    const __m256i source = kPart == 1 ? perPixel : _mm256_permute4x64_epi64(perPixel, kPart == 0 ? 0x44 : 0xee);
    return _mm256_shuffle_epi8(source,
                               _mm256_load_si256(reinterpret_cast<const __m256i*>(kSpreadPick.data() + 32 * kPart)));
}

// 32 bytes at a time; the last bytes (fewer than 32) through the plain loop,
// so that nothing past the row is read or written. (Gathers of the table
// widened to 32-bit entries take as long.)
TESSAVAN_AVX2 void LookupRowAvx2(const std::uint8_t* in, std::uint8_t* out, std::size_t n, const std::uint8_t* table) {
    std::size_t i = 0;
    if (n >= 32) {
        Table256 t;
        LoadPieces(table, t);
        for (; i + 32 <= n; i += 32)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                                Lookup32(t, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i))));
    }
    LookupRowBaseline(in + i, out + i, n - i, table);
}

// The new level of every grey level, v + rise[v] - fall[v]. Returns whether
// the tables are the saturating differences of that level and v, as
// MakeGreyShiftTables makes them: then a pixel's rise and fall follow from
// its grey level and one look-up of its new level.
TESSAVAN_AVX2 bool NewLevels(const GreyShiftTables& t, std::uint8_t* newLevel) {
    __m128i v = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
    __m128i differ = _mm_setzero_si128();
    for (int i = 0; i < 256; i += 16, v = _mm_add_epi8(v, _mm_set1_epi8(16))) {
        const __m128i rise = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t.rise + i));
        const __m128i fall = _mm_loadu_si128(reinterpret_cast<const __m128i*>(t.fall + i));
        const __m128i level = _mm_subs_epu8(_mm_adds_epu8(v, rise), fall);
        differ = _mm_or_si128(differ, _mm_xor_si128(_mm_subs_epu8(level, v), rise));
        differ = _mm_or_si128(differ, _mm_xor_si128(_mm_subs_epu8(v, level), fall));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(newLevel + i), level);
    }
    return _mm_testz_si128(differ, differ);
}

// 32 pixels at a time: the new levels of the 32 grey levels are looked up,
// the rise and fall taken as their saturating differences, spread to the
// three bytes of each pixel and applied by saturating add and subtract. The
// last pixels (fewer than 32), and every pixel under tables not made that
// way, through the plain loop.
TESSAVAN_AVX2 void ShiftRowByGreyAvx2(std::uint8_t* bgr, const std::uint8_t* grey, std::size_t width,
                                      const GreyShiftTables& tables) {
    std::size_t x = 0;
    std::uint8_t newLevel[256];
    if (width >= 32 && NewLevels(tables, newLevel)) {
        Table256 t;
        LoadPieces(newLevel, t);
        for (; x + 32 <= width; x += 32) {
            const __m256i g = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(grey + x));
            const __m256i level = Lookup32(t, g);
            const __m256i up = _mm256_subs_epu8(level, g), down = _mm256_subs_epu8(g, level);
            __m256i* q = reinterpret_cast<__m256i*>(bgr + 3 * x);
            const __m256i ups[3] = {SpreadToPixels<0>(up), SpreadToPixels<1>(up), SpreadToPixels<2>(up)};
            const __m256i downs[3] = {SpreadToPixels<0>(down), SpreadToPixels<1>(down), SpreadToPixels<2>(down)};
            for (int part = 0; part < 3; ++part)
                _mm256_storeu_si256(
                    q + part, _mm256_subs_epu8(_mm256_adds_epu8(_mm256_loadu_si256(q + part), ups[part]), downs[part]));
        }
    }
    ShiftRowByGreyBaseline(bgr + 3 * x, grey + x, width - x, tables);
}

// Byte j of 32 consecutive B, G, R pixels: where its channel's table starts
// in the three tables laid end to end.
alignas(32) constexpr std::array<std::int32_t, 96> kChannelStart = [] {
    std::array<std::int32_t, 96> a{};
    for (int j = 0; j < 96; ++j) a[j] = 256 * (j % 3);
    return a;
}();

// The entries of the first eight bytes of `bytes`, whose tables start at
// start[0..7] in `tables`.
TESSAVAN_AVX2 inline __m256i GatherEight(const int* tables, __m128i bytes, const std::int32_t* start) {
    const __m256i index =
        _mm256_add_epi32(_mm256_cvtepu8_epi32(bytes), _mm256_load_si256(reinterpret_cast<const __m256i*>(start)));
    return _mm256_i32gather_epi32(tables, index, 4);
}

// 32 pixels (96 bytes) at a time: the three tables widened to 32-bit
// entries end to end, eight bytes looked up per gather, the results packed
// back to bytes. (Three 32-byte look-ups of the shuffle kind, one per table,
// take twice as long as the plain loop.) The last pixels (fewer than 32)
// through the plain loop.
TESSAVAN_AVX2 void LookupPixelRowAvx2(std::uint8_t* bgr, std::size_t pixels, const std::uint8_t* const tables[3]) {
    std::size_t x = 0;
    if (pixels >= 32) {
        alignas(32) int wide[768];
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 256; k += 8)
                _mm256_store_si256(
                    reinterpret_cast<__m256i*>(wide + 256 * c + k),
                    _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(tables[c] + k))));
        for (; x + 32 <= pixels; x += 32) {
            __m256i* q = reinterpret_cast<__m256i*>(bgr + 3 * x);
            for (int part = 0; part < 3; ++part) {
                const std::int32_t* start = kChannelStart.data() + 32 * part;
                const __m256i v = _mm256_loadu_si256(q + part);
                const __m128i lo = _mm256_castsi256_si128(v), hi = _mm256_extracti128_si256(v, 1);
                const __m256i a = GatherEight(wide, lo, start), b = GatherEight(wide, _mm_srli_si128(lo, 8), start + 8);
                const __m256i c = GatherEight(wide, hi, start + 16);
                const __m256i d = GatherEight(wide, _mm_srli_si128(hi, 8), start + 24);
                // Packing works within 16-byte lanes: the 32-bit groups come
                // out as a0 b0 c0 d0 a1 b1 c1 d1 and are put back in order.
                const __m256i packed = _mm256_packus_epi16(_mm256_packus_epi32(a, b), _mm256_packus_epi32(c, d));
                _mm256_storeu_si256(q + part,
                                    _mm256_permutevar8x32_epi32(packed, _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7)));
            }
        }
    }
    LookupPixelRowBaseline(bgr + 3 * x, pixels - x, tables);
}

// 32 pixels at a time: the levels and the pixels to set are spread to the
// three bytes of each pixel; each byte of a pixel to set takes the level,
// the others are stored back as they were. The last pixels (fewer than 32)
// through the plain loop.
TESSAVAN_AVX2 void SpreadGreyRowAvx2(const std::uint8_t* levels, const std::uint8_t* keep, std::uint8_t* bgr,
                                     std::size_t width) {
    std::size_t x = 0;
    for (; x + 32 <= width; x += 32) {
        const __m256i lv = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(levels + x));
        const __m256i spread[3] = {SpreadToPixels<0>(lv), SpreadToPixels<1>(lv), SpreadToPixels<2>(lv)};
        __m256i* q = reinterpret_cast<__m256i*>(bgr + 3 * x);
        __m256i set = _mm256_set1_epi8(-1);
        if (keep) {
            set = _mm256_cmpeq_epi8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(keep + x)),
                                    _mm256_setzero_si256());
            if (_mm256_testz_si256(set, set)) continue;
        }
        if (_mm256_movemask_epi8(set) == -1) {
            for (int part = 0; part < 3; ++part) _mm256_storeu_si256(q + part, spread[part]);
            continue;
        }
        const __m256i sets[3] = {SpreadToPixels<0>(set), SpreadToPixels<1>(set), SpreadToPixels<2>(set)};
        for (int part = 0; part < 3; ++part)
            _mm256_storeu_si256(q + part, _mm256_blendv_epi8(_mm256_loadu_si256(q + part), spread[part], sets[part]));
    }
    SpreadGreyRowBaseline(levels + x, keep ? keep + x : nullptr, bgr + 3 * x, width - x);
}

// Eight pixels at a time: the colour's number B | G << 8 | R << 16 picked
// from two 16-byte loads (pixels 0-3 and 4-7, twelve bytes each), its bit's
// 32-bit half of a table word (the low half first, as x86 stores a word) by
// one gather, the bit by a variable shift. The second load reads up to byte
// 27 of the eight pixels, so the loop stops while 30 bytes (ten pixels)
// remain; the rest through the plain loop.
TESSAVAN_AVX2 std::size_t ColourBitsRowAvx2(const std::uint8_t* bgr, std::uint8_t* out, std::size_t width,
                                            const std::uint64_t* words) {
    const __m256i pick = _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0, 1, 2, -1, 3, 4, 5,
                                          -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m256i low5 = _mm256_set1_epi32(31), one = _mm256_set1_epi32(1);
    const int* halves = reinterpret_cast<const int*>(words);
    __m256i count = _mm256_setzero_si256();
    std::size_t x = 0;
    for (; x + 10 <= width; x += 8) {
        const __m256i v = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(bgr + 3 * x + 12),
                                              reinterpret_cast<const __m128i*>(bgr + 3 * x));
        const __m256i index = _mm256_shuffle_epi8(v, pick);
        const __m256i half = _mm256_i32gather_epi32(halves, _mm256_srli_epi32(index, 5), 4);
        const __m256i bit = _mm256_and_si256(_mm256_srlv_epi32(half, _mm256_and_si256(index, low5)), one);
        count = _mm256_add_epi32(count, bit);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), LowBytesOfLanes(bit));
    }
    // Each lane counted at most one in eight of the row's pixels.
    alignas(32) std::uint32_t lanes[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), count);
    std::size_t ones = 0;
    for (std::uint32_t n : lanes) ones += n;
    return ones + ColourBitsRowBaseline(bgr + 3 * x, out + x, width - x, words);
}

#define TESSAVAN_AVX512 __attribute__((target("avx512f,avx512bw,avx512vl,avx512vbmi")))

// The zero-masked forms of some instructions with every lane selected: the
// same instructions, without the unmasked intrinsics' "undefined" source
// operand that g++ 12 takes for an uninitialised variable.
constexpr __mmask8 kAll8 = 0xff;
constexpr __mmask16 kAll16 = 0xffff;
constexpr __mmask64 kAll64 = ~__mmask64{0};

// The first `n` (at most 64) bytes of a 64-byte block.
TESSAVAN_AVX512 inline __mmask64 FirstBytes(std::size_t n) {
    return n >= 64 ? ~__mmask64{0} : (__mmask64{1} << n) - 1;
}

// Eight pixels at a time, the same double expression as above: two 16-byte
// loads (pixels 0-3 and 4-7, twelve bytes each) picked apart within their
// halves. The second load reads up to byte 27 of the eight pixels, so the
// loop stops while 30 bytes (ten pixels) remain.
template <bool kRedFirst>
TESSAVAN_AVX512 void GreyRowAvx512Double(const std::uint8_t* bgr, std::uint8_t* grey, std::size_t width) {
    const __m256i pickB = _mm256_setr_epi8(0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1, 0, -1, -1, -1,
                                           3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1);
    const __m256i pickG = _mm256_add_epi32(pickB, _mm256_set1_epi32(1));
    const __m256i pickR = _mm256_add_epi32(pickB, _mm256_set1_epi32(2));
    const __m512d kG = _mm512_set1_pd(0.587), kR = _mm512_set1_pd(0.299), kB = _mm512_set1_pd(0.114);
    std::size_t x = 0;
    for (; x + 10 <= width; x += 8) {
        const __m256i v = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(bgr + 3 * x + 12),
                                              reinterpret_cast<const __m128i*>(bgr + 3 * x));
        const __m512d b = _mm512_maskz_cvtepi32_pd(kAll8, _mm256_shuffle_epi8(v, pickB));
        const __m512d g = _mm512_maskz_cvtepi32_pd(kAll8, _mm256_shuffle_epi8(v, pickG));
        const __m512d r = _mm512_maskz_cvtepi32_pd(kAll8, _mm256_shuffle_epi8(v, pickR));
        const __m512d gTerm = _mm512_mul_pd(kG, g), rTerm = _mm512_mul_pd(kR, r);
        const __m512d s = _mm512_add_pd(kRedFirst ? _mm512_add_pd(rTerm, gTerm) : _mm512_add_pd(gTerm, rTerm),
                                        _mm512_mul_pd(kB, b));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(grey + x),
                         _mm256_maskz_cvtepi32_epi8(kAll8, _mm512_maskz_cvttpd_epi32(kAll8, s)));
    }
    GreyRowBaseline<kRedFirst>(bgr + 3 * x, grey + x, width - x);
}

// The first `n` (at most 16) lanes of a 16-lane block.
TESSAVAN_AVX512 inline __mmask16 FirstLanes(std::size_t n) {
    return n >= 16 ? __mmask16(0xffff) : static_cast<__mmask16>((1u << n) - 1);
}

// A 256-byte table as four 64-byte quarters; a look-up of 64 bytes at once:
// each two-table permutation picks by the index's low seven bits from one
// half of the table, the index's top bit picks the half.
struct Table512 {
    __m512i q0, q1, q2, q3;
};
TESSAVAN_AVX512 inline Table512 LoadTable(const std::uint8_t* table) {
    return {_mm512_loadu_si512(table), _mm512_loadu_si512(table + 64), _mm512_loadu_si512(table + 128),
            _mm512_loadu_si512(table + 192)};
}
TESSAVAN_AVX512 inline __m512i Lookup64(const Table512& t, __m512i index) {
    const __m512i low = _mm512_permutex2var_epi8(t.q0, index, t.q1);
    const __m512i high = _mm512_permutex2var_epi8(t.q2, index, t.q3);
    return _mm512_mask_blend_epi8(_mm512_movepi8_mask(index), low, high);
}

// Per 32-bit lane k: bytes (G, 0, R, 0) and (B, 0, 0, 0) of pixel k (the
// zero bytes are masked off; their index is unused).
alignas(64) constexpr std::array<std::uint8_t, 64> kPickGreenRed = [] {
    std::array<std::uint8_t, 64> a{};
    for (int k = 0; k < 16; ++k) {
        a[4 * k] = static_cast<std::uint8_t>(3 * k + 1);
        a[4 * k + 2] = static_cast<std::uint8_t>(3 * k + 2);
    }
    return a;
}();
alignas(64) constexpr std::array<std::uint8_t, 64> kPickBlue = [] {
    std::array<std::uint8_t, 64> a{};
    for (int k = 0; k < 16; ++k) a[4 * k] = static_cast<std::uint8_t>(3 * k);
    return a;
}();

// Sixteen pixels at a time in whole numbers (the way GreyFast reasons):
// S = 587 G + 299 R + 114 B as two multiply-adds of 16-bit pairs, and
// S / 1000 = (S / 8) / 125, the last division as a multiply by 33555 and a
// shift by 22, which is exact for every S / 8 below 59074 (S is at most
// 255000, so S / 8 at most 31875). Where S is a multiple of 1000 the double
// expression itself decides, as in GreyFast: for a pure grey its value comes
// from a table of the 256 greys; for any other colour the block goes through
// the double loop.
template <bool kRedFirst>
TESSAVAN_AVX512 void GreyRowAvx512(const std::uint8_t* bgr, std::uint8_t* grey, std::size_t width) {
    const Table512 pureGreys = LoadTable(GreyOfPureGreys<kRedFirst>().data());
    const __m512i idxGR = _mm512_load_si512(kPickGreenRed.data()), idxB = _mm512_load_si512(kPickBlue.data());
    const __mmask64 pairBytes = 0x5555555555555555ull, firstBytes = 0x1111111111111111ull;
    const __m512i kGR = _mm512_set1_epi32((299 << 16) | 587), kB = _mm512_set1_epi32(114);
    const __m512i k33555 = _mm512_set1_epi32(33555), k1000 = _mm512_set1_epi32(1000);
    for (std::size_t x = 0; x < width; x += 16) {
        const std::size_t pixels = std::min<std::size_t>(16, width - x);
        const __m512i v = _mm512_maskz_loadu_epi8(FirstBytes(3 * pixels), bgr + 3 * x);
        const __m512i gr = _mm512_maskz_permutexvar_epi8(pairBytes, idxGR, v);
        const __m512i b = _mm512_maskz_permutexvar_epi8(firstBytes, idxB, v);
        const __m512i sum = _mm512_add_epi32(_mm512_madd_epi16(gr, kGR), _mm512_madd_epi16(b, kB));
        const __m512i q = _mm512_maskz_srli_epi32(kAll16, _mm512_mulhi_epu16(_mm512_maskz_srli_epi32(kAll16, sum, 3), k33555), 6);
        __m512i levels = q;
        const __mmask16 whole = _mm512_cmpeq_epi32_mask(_mm512_madd_epi16(q, k1000), sum) & FirstLanes(pixels);
        if (whole) {
            // Pure greys: (G, R) as 16-bit pairs equals (B, B).
            const __mmask16 pure =
                _mm512_cmpeq_epi32_mask(gr, _mm512_or_si512(b, _mm512_maskz_slli_epi32(kAll16, b, 16)));
            if (whole & ~pure) {
                GreyRowAvx512Double<kRedFirst>(bgr + 3 * x, grey + x, pixels);
                continue;
            }
            // The table entry of B sits in the lane's low byte.
            const __m512i fromTable = _mm512_and_si512(Lookup64(pureGreys, b), _mm512_set1_epi32(0xff));
            levels = _mm512_mask_blend_epi32(whole, q, fromTable);
        }
        _mm_mask_storeu_epi8(grey + x, FirstLanes(pixels), _mm512_maskz_cvtepi32_epi8(kAll16, levels));
    }
}

// 64 bytes at a time; the last part through masked loads and stores, which
// neither read nor write the bytes outside it.
TESSAVAN_AVX512 void LookupRowAvx512(const std::uint8_t* in, std::uint8_t* out, std::size_t n,
                                     const std::uint8_t* table) {
    const Table512 t = LoadTable(table);
    for (std::size_t i = 0; i < n; i += 64) {
        const __mmask64 m = FirstBytes(n - i);
        _mm512_mask_storeu_epi8(out + i, m, Lookup64(t, _mm512_maskz_loadu_epi8(m, in + i)));
    }
}

// Byte j of 64 consecutive B, G, R pixels belongs to pixel j / 3.
alignas(64) constexpr std::array<std::uint8_t, 192> kPixelOfByte = [] {
    std::array<std::uint8_t, 192> a{};
    for (int j = 0; j < 192; ++j) a[j] = static_cast<std::uint8_t>(j / 3);
    return a;
}();

// 64 bytes at a time through all three tables; the bytes of each channel
// are then picked from its table's result. A block starts at byte 64k of
// the row, whose channel is 64k mod 3 = k mod 3, so the picks repeat every
// three blocks.
TESSAVAN_AVX512 void LookupPixelRowAvx512(std::uint8_t* bgr, std::size_t pixels, const std::uint8_t* const tables[3]) {
    const Table512 blue = LoadTable(tables[0]), green = LoadTable(tables[1]), red = LoadTable(tables[2]);
    __mmask64 greens[3] = {}, reds[3] = {};
    for (int phase = 0; phase < 3; ++phase)
        for (int j = 0; j < 64; ++j) {
            const int channel = (phase + j) % 3;
            if (channel == 1) greens[phase] |= __mmask64{1} << j;
            if (channel == 2) reds[phase] |= __mmask64{1} << j;
        }
    const std::size_t n = 3 * pixels;
    int phase = 0;
    for (std::size_t i = 0; i < n; i += 64, phase = phase == 2 ? 0 : phase + 1) {
        const __mmask64 m = FirstBytes(n - i);
        const __m512i v = _mm512_maskz_loadu_epi8(m, bgr + i);
        __m512i out = _mm512_mask_blend_epi8(greens[phase], Lookup64(blue, v), Lookup64(green, v));
        out = _mm512_mask_blend_epi8(reds[phase], out, Lookup64(red, v));
        _mm512_mask_storeu_epi8(bgr + i, m, out);
    }
}

// 64 pixels (192 colour bytes) at a time: the rise and fall of the 64 grey
// levels are looked up, spread to three bytes per pixel by byte
// permutations, and applied by saturating add and subtract.
TESSAVAN_AVX512 void ShiftRowByGreyAvx512(std::uint8_t* bgr, const std::uint8_t* grey, std::size_t width,
                                          const GreyShiftTables& tables) {
    const Table512 rise = LoadTable(tables.rise), fall = LoadTable(tables.fall);
    const __m512i pixelOf[3] = {_mm512_load_si512(kPixelOfByte.data()), _mm512_load_si512(kPixelOfByte.data() + 64),
                                _mm512_load_si512(kPixelOfByte.data() + 128)};
    for (std::size_t x = 0; x < width; x += 64) {
        const std::size_t pixels = std::min<std::size_t>(64, width - x);
        const __m512i g = _mm512_maskz_loadu_epi8(FirstBytes(pixels), grey + x);
        const __m512i up = Lookup64(rise, g), down = Lookup64(fall, g);
        std::uint8_t* q = bgr + 3 * x;
        for (std::size_t part = 0; part < 3 && 64 * part < 3 * pixels; ++part) {
            const __mmask64 m = FirstBytes(3 * pixels - 64 * part);
            const __m512i v = _mm512_maskz_loadu_epi8(m, q + 64 * part);
            const __m512i moved = _mm512_subs_epu8(_mm512_adds_epu8(v, _mm512_maskz_permutexvar_epi8(kAll64, pixelOf[part], up)),
                                                   _mm512_maskz_permutexvar_epi8(kAll64, pixelOf[part], down));
            _mm512_mask_storeu_epi8(q + 64 * part, m, moved);
        }
    }
}

// 64 pixels at a time: the levels and the pixels to set are spread to the
// three bytes of each pixel by byte permutations; a masked store writes the
// bytes of the pixels to set and nothing else.
TESSAVAN_AVX512 void SpreadGreyRowAvx512(const std::uint8_t* levels, const std::uint8_t* keep, std::uint8_t* bgr,
                                         std::size_t width) {
    const __m512i pixelOf[3] = {_mm512_load_si512(kPixelOfByte.data()), _mm512_load_si512(kPixelOfByte.data() + 64),
                                _mm512_load_si512(kPixelOfByte.data() + 128)};
    for (std::size_t x = 0; x < width; x += 64) {
        const std::size_t pixels = std::min<std::size_t>(64, width - x);
        const __mmask64 inRow = FirstBytes(pixels);
        const __m512i lv = _mm512_maskz_loadu_epi8(inRow, levels + x);
        __mmask64 set = inRow;
        if (keep) {
            const __m512i k = _mm512_maskz_loadu_epi8(inRow, keep + x);
            set &= _mm512_testn_epi8_mask(k, k);
        }
        if (!set) continue;
        const __m512i setBytes = _mm512_movm_epi8(set);
        std::uint8_t* q = bgr + 3 * x;
        for (std::size_t part = 0; part < 3 && 64 * part < 3 * pixels; ++part) {
            const __mmask64 m = _mm512_movepi8_mask(_mm512_maskz_permutexvar_epi8(kAll64, pixelOf[part], setBytes)) &
                                FirstBytes(3 * pixels - 64 * part);
            _mm512_mask_storeu_epi8(q + 64 * part, m, _mm512_maskz_permutexvar_epi8(kAll64, pixelOf[part], lv));
        }
    }
}

// Per 32-bit lane k: bytes (B, G, R, 0) of pixel k.
alignas(64) constexpr std::array<std::uint8_t, 64> kPickPixel = [] {
    std::array<std::uint8_t, 64> a{};
    for (int k = 0; k < 16; ++k)
        for (int c = 0; c < 3; ++c) a[4 * k + c] = static_cast<std::uint8_t>(3 * k + c);
    return a;
}();

// Sixteen pixels at a time: the colour's number B | G << 8 | R << 16 by one
// byte permutation, its bit's 32-bit half of a table word (the low half
// first, as x86 stores a word) by one sixteen-lane gather, the bit by a
// variable shift; lanes past the row read nothing (their half is 0, and so
// their bit) and are not stored.
TESSAVAN_AVX512 std::size_t ColourBitsRowAvx512(const std::uint8_t* bgr, std::uint8_t* out, std::size_t width,
                                                const std::uint64_t* words) {
    const __m512i pick = _mm512_load_si512(kPickPixel.data());
    const __mmask64 colourBytes = 0x7777777777777777ull;
    const __m512i one = _mm512_set1_epi32(1), low5 = _mm512_set1_epi32(31);
    const int* halves = reinterpret_cast<const int*>(words);
    std::size_t ones = 0;
    for (std::size_t x = 0; x < width; x += 16) {
        const std::size_t pixels = std::min<std::size_t>(16, width - x);
        const __mmask16 inRow = FirstLanes(pixels);
        const __m512i v = _mm512_maskz_loadu_epi8(FirstBytes(3 * pixels), bgr + 3 * x);
        const __m512i index = _mm512_maskz_permutexvar_epi8(colourBytes, pick, v);
        const __m512i half = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), inRow,
                                                         _mm512_maskz_srli_epi32(kAll16, index, 5), halves, 4);
        const __m512i bit = _mm512_and_si512(_mm512_maskz_srlv_epi32(kAll16, half, _mm512_and_si512(index, low5)), one);
        _mm_mask_storeu_epi8(out + x, inRow, _mm512_maskz_cvtepi32_epi8(kAll16, bit));
        ones += static_cast<std::size_t>(__builtin_popcount(_mm512_test_epi32_mask(bit, bit)));
    }
    return ones;
}

bool HasAvx2() { return vectorloops::Avx2(); }
bool HasAvx512() { return vectorloops::Avx512(); }
#endif

}  // namespace

namespace {

template <bool kRedFirst>
void GreyRowOf(const std::uint8_t* bgr, std::uint8_t* grey, std::size_t width, RowKernel kernel) {
#ifdef TESSAVAN_ROWS_X86
    if (kernel == RowKernel::kFastest && HasAvx512()) return GreyRowAvx512<kRedFirst>(bgr, grey, width);
    if (kernel != RowKernel::kBaseline && HasAvx2()) return GreyRowAvx2<kRedFirst>(bgr, grey, width);
#endif
    (void)kernel;
    GreyRowBaseline<kRedFirst>(bgr, grey, width);
}

}  // namespace

void GreyRow(const std::uint8_t* bgr, std::uint8_t* grey, std::size_t width, RowKernel kernel) {
    GreyRowOf<false>(bgr, grey, width, kernel);
}

void GreyRgbOrderRow(const std::uint8_t* bgr, std::uint8_t* grey, std::size_t width, RowKernel kernel) {
    GreyRowOf<true>(bgr, grey, width, kernel);
}

void LookupRow(const std::uint8_t* in, std::uint8_t* out, std::size_t n, const std::uint8_t* table,
               RowKernel kernel) {
#ifdef TESSAVAN_ROWS_X86
    if (kernel == RowKernel::kFastest && HasAvx512()) return LookupRowAvx512(in, out, n, table);
    if (kernel != RowKernel::kBaseline && HasAvx2()) return LookupRowAvx2(in, out, n, table);
#endif
    (void)kernel;
    LookupRowBaseline(in, out, n, table);
}

void LookupPixelRow(std::uint8_t* bgr, std::size_t pixels, const std::uint8_t* const tables[3], RowKernel kernel) {
#ifdef TESSAVAN_ROWS_X86
    if (kernel == RowKernel::kFastest && HasAvx512()) return LookupPixelRowAvx512(bgr, pixels, tables);
    if (kernel != RowKernel::kBaseline && HasAvx2()) return LookupPixelRowAvx2(bgr, pixels, tables);
#endif
    (void)kernel;
    LookupPixelRowBaseline(bgr, pixels, tables);
}

std::size_t ColourBitsRow(const std::uint8_t* bgr, std::uint8_t* out, std::size_t width, const std::uint64_t* words,
                          RowKernel kernel) {
#ifdef TESSAVAN_ROWS_X86
    if (kernel == RowKernel::kFastest && HasAvx512()) return ColourBitsRowAvx512(bgr, out, width, words);
    if (kernel != RowKernel::kBaseline && HasAvx2()) return ColourBitsRowAvx2(bgr, out, width, words);
#endif
    (void)kernel;
    return ColourBitsRowBaseline(bgr, out, width, words);
}

void SpreadGreyRow(const std::uint8_t* levels, const std::uint8_t* keep, std::uint8_t* bgr, std::size_t width,
                   RowKernel kernel) {
#ifdef TESSAVAN_ROWS_X86
    if (kernel == RowKernel::kFastest && HasAvx512()) return SpreadGreyRowAvx512(levels, keep, bgr, width);
    if (kernel != RowKernel::kBaseline && HasAvx2()) return SpreadGreyRowAvx2(levels, keep, bgr, width);
#endif
    (void)kernel;
    SpreadGreyRowBaseline(levels, keep, bgr, width);
}

std::uint64_t SumRow(const std::uint8_t* bytes, std::size_t n) {
    std::uint64_t sum = 0;
    std::size_t i = 0;
#ifdef __SSE2__
    // Sums of 8 bytes at a time against zero.
    __m128i acc = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16)
        acc = _mm_add_epi64(acc, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i)),
                                              _mm_setzero_si128()));
    sum = static_cast<std::uint64_t>(_mm_cvtsi128_si64(acc)) +
          static_cast<std::uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(acc, acc)));
#endif
    for (; i < n; ++i) sum += bytes[i];
    return sum;
}

GreyShiftTables MakeGreyShiftTables(const std::uint8_t* newLevel) {
    GreyShiftTables t;
    for (int v = 0; v < 256; ++v) {
        const int d = newLevel[v] - v;
        t.rise[v] = static_cast<std::uint8_t>(d > 0 ? d : 0);
        t.fall[v] = static_cast<std::uint8_t>(d < 0 ? -d : 0);
    }
    return t;
}

void ShiftRowByGrey(std::uint8_t* bgr, const std::uint8_t* grey, std::size_t width, const GreyShiftTables& tables,
                    RowKernel kernel) {
#ifdef TESSAVAN_ROWS_X86
    if (kernel == RowKernel::kFastest && HasAvx512()) return ShiftRowByGreyAvx512(bgr, grey, width, tables);
    if (kernel != RowKernel::kBaseline && HasAvx2()) return ShiftRowByGreyAvx2(bgr, grey, width, tables);
#endif
    (void)kernel;
    ShiftRowByGreyBaseline(bgr, grey, width, tables);
}

}  // namespace px
