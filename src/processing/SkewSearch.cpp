// Skew search. Sample lines at a trial slope are counted blank or not from
// bit-packed rows (for vertical lines: columns) of the binary image, with a
// run of columns that share one whole offset read from a single row by a
// population count, or, at steep slopes, 64 lines at a time from the packed
// columns (rows); slopes too close to a rounding boundary are evaluated
// sample by sample. The sweep over angles, the choice between the methods
// and the retry over the wide range follow the detection rules; the
// method's binary image comes from the owner.
#include "processing/SkewSearch.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <immintrin.h>

#include "processing/PixelMath.h"

namespace skew {

// The angle in radians is computed in single precision: the angle is a float
// (the sweep accumulates its steps in single precision) and pi is a float,
// so angle x pi / 180 is a float expression; only the tangent is taken in
// double precision, as the slope is a double.
double HorizontalSlope(float degrees) {
    const float radians = degrees * kSearchPi / 180.0f;
    return std::tan(static_cast<double>(radians));
}

double VerticalSlopeFirst(float degrees) {
    const float radians = (degrees + 90.0f) * kSearchPi / 180.0f;
    return std::tan(static_cast<double>(radians));
}

double VerticalSlopeSecond(float degrees) {
    const float radians = (90.0f - degrees) * kSearchPi / 180.0f;
    return std::tan(static_cast<double>(radians));
}

namespace {

constexpr double kEpsilon = 1.1102230246251565e-16;  // 2^-53
// Larger images are counted sample by sample (their packed copies would be
// too large to keep beside the image).
constexpr int kMaxPrefixSide = 65535;
// Runs shorter than this on average are counted column by column.
constexpr std::size_t kShortRun = 16;
// Above this margin the slope is treated sample by sample.
constexpr double kMaxMargin = 1e-4;

// Byte lanes of eight pixels: bit 7 of each byte set where the pixel is
// dark (any byte but 255). Exact: no carry crosses a byte.
constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
constexpr std::uint64_t kHigh = 0x8080808080808080ull;
inline std::uint64_t DarkLanes(const std::uint8_t* p) {
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    const std::uint64_t t = ~w;  // zero bytes where the pixel is 255
    return (((t & kLow7) + kLow7) | t) & kHigh;
}

// Adds the dark pixels of every column over `rows` rows (row(i) gives the
// i-th) to `sums`; eight columns at a time in byte lanes, flushed before a
// lane could overflow.
template <class Row>
void AddDarkPerColumn(int width, int rows, Row row, std::uint32_t* sums) {
    const int groups = width / 8;
    std::vector<std::uint64_t> lanes(static_cast<std::size_t>(groups));
    for (int first = 0; first < rows; first += 255) {
        const int last = std::min(rows, first + 255);
        std::fill(lanes.begin(), lanes.end(), 0);
        for (int i = first; i < last; ++i) {
            const std::uint8_t* r = row(i);
            for (int g = 0; g < groups; ++g) lanes[static_cast<std::size_t>(g)] += DarkLanes(r + 8 * g) >> 7;
            for (int x = 8 * groups; x < width; ++x) sums[x] += r[x] != 255;
        }
        for (int g = 0; g < groups; ++g)
            for (int b = 0; b < 8; ++b)
                sums[8 * g + b] += static_cast<std::uint32_t>((lanes[static_cast<std::size_t>(g)] >> (8 * b)) & 0xFF);
    }
}

// Most dark samples a sample line of `length` pixels (the width for
// horizontal lines, the height for vertical ones) may hold and still count as
// blank. The text-only mask carries no noise, so a few stray samples already
// mean a text line; the other binary images keep specks, so they may hold 1 %
// of the length, and never fewer than 20.
constexpr int kTextMaskBlankLimit = 10;
constexpr int kLeastBlankLimit = 20;
constexpr float kBlankShareOfLength = 0.01f;

int BlankLineLimit(int length, int method) {
    return static_cast<SkewMethod>(method) == SkewMethod::kTextMask
               ? kTextMaskBlankLimit
               : std::max(kLeastBlankLimit, static_cast<int>(static_cast<float>(length) * kBlankShareOfLength));
}

// Splits a sample position into a whole offset and decides whether the
// fraction lies far enough from a rounding boundary (by more than `margin`)
// for the offset to hold for every sample that shares it.
bool SafeOffset(double position, double margin, int* offset) {
    const double whole = std::floor(position);
    const double fraction = position - whole;
    *offset = static_cast<int>(whole);
    return fraction >= margin && fraction <= 1.0 - margin;
}

// Dark pixels from .. to of a bit-packed line (defined with the counts).
int DarkInPacked(const std::uint8_t* line, int from, int to);

// Bytes of a bit-packed line of n pixels, with room for an eight-byte load
// at every byte that holds a pixel.
std::size_t PackedBytes(int n) { return n > 0 ? (static_cast<std::size_t>(n) + 7) / 8 + 8 : 0; }

// Packs pixels x .. n - 1 into bits (set where dark), sixteen or eight at
// a time; the pixels before x are packed already.
void PackDarkFrom(const std::uint8_t* p, int n, std::uint8_t* out, int x) {
#ifdef __SSE2__
    const __m128i white = _mm_set1_epi8(static_cast<char>(-1));
    for (; x + 16 <= n; x += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + x));
        const unsigned light = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, white)));
        const unsigned dark = ~light & 0xFFFFu;
        out[x / 8] = static_cast<std::uint8_t>(dark);
        out[x / 8 + 1] = static_cast<std::uint8_t>(dark >> 8);
    }
#endif
    // (lanes >> 7) holds 0 or 1 per byte; the product gathers byte i's bit
    // into bit 56 + i without carries (every partial product lands on its
    // own bit).
    for (; x + 8 <= n; x += 8)
        out[x / 8] = static_cast<std::uint8_t>(((DarkLanes(p + x) >> 7) * 0x0102040810204080ull) >> 56);
    for (; x < n; ++x)
        if (p[x] != 255) out[x / 8] = static_cast<std::uint8_t>(out[x / 8] | (1u << (x % 8)));
}

std::atomic<bool> g_useAvx2{__builtin_cpu_supports("avx2") != 0};

// PackDarkFrom 32 pixels at a time first: the byte mask of the light
// pixels, inverted, is the next four bytes of bits.
__attribute__((target("avx2"))) void PackDarkAvx2(const std::uint8_t* p, int n, std::uint8_t* out) {
    const __m256i white = _mm256_set1_epi8(static_cast<char>(-1));
    int x = 0;
    for (; x + 32 <= n; x += 32) {
        const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + x));
        const std::uint32_t dark = ~static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v, white)));
        std::memcpy(out + x / 8, &dark, sizeof dark);
    }
    PackDarkFrom(p, n, out, x);
}

void PackDark(const std::uint8_t* p, int n, std::uint8_t* out) {
    if (g_useAvx2.load(std::memory_order_relaxed))
        PackDarkAvx2(p, n, out);
    else
        PackDarkFrom(p, n, out, 0);
}

}  // namespace

void SkewSearcher::SetBinaryImage(const std::uint8_t* bits, int width, int height) {
    bits_ = bits;
    width_ = width;
    height_ = height;
    rowBitsReady_ = false;
    columnBitsReady_ = false;
    shearBitsReady_ = false;
    rowWordsEdge_ = -1;
    rowBytes_ = PackedBytes(width);
    columnBytes_ = PackedBytes(height);
    columnTotalsReady_ = false;
    stripColumns_ = 0;
}

void SkewSearcher::Clear() {
    SetBinaryImage(nullptr, 0, 0);
    std::vector<std::uint8_t>().swap(rowBits_);
    std::vector<std::uint8_t>().swap(columnBits_);
    std::vector<std::uint64_t>().swap(shearBits_);
    std::vector<std::uint64_t>().swap(rowWords_);
    std::vector<std::pair<std::size_t, int>>().swap(columns_);
    stripTotals_.clear();
    std::vector<std::uint32_t>().swap(columnTotals_);
}

void SkewSearcher::RememberCounts(bool on) {
    remember_ = on;
    if (!on)
        for (Remembered& r : remembered_) r = Remembered{};
}

// The remembered counts of a scan side, after making sure they were taken
// on an image with the same dark pixels (else they are forgotten); null
// when counts are not remembered for this scan.
std::vector<int>* SkewSearcher::RememberedCounts(bool horizontal, float sign, int method) {
    if (!remember_ || method < 0 || method > 2 || skewColumns < 1 || skewColumns > 2 || !HasBinaryImage())
        return nullptr;
    Remembered& r = remembered_[method];
    BuildRowBits();
    if (r.width != width_ || r.rows != rowBits_) {
        r = Remembered{};
        r.width = width_;
        r.rows = rowBits_;
    }
    return &r.counts[skewColumns - 1][(horizontal ? 0 : 2) + (sign < 0 ? 1 : 0)];
}

bool SkewSearcher::Dark(int column, int rowFromTop) const {
    const std::size_t stride = px::Stride8(static_cast<std::size_t>(width_));
    return bits_[stride * static_cast<std::size_t>(height_ - 1 - rowFromTop) + static_cast<std::size_t>(column)] != 255;
}

// Rows from the top, one bit per pixel (set where dark), bit i of byte j
// being column 8j + i.
void SkewSearcher::BuildRowBits() {
    if (rowBitsReady_) return;
    const std::size_t stride = px::Stride8(static_cast<std::size_t>(width_));
    rowBits_.assign(rowBytes_ * static_cast<std::size_t>(height_), 0);
    for (int r = 0; r < height_; ++r)
        PackDark(bits_ + stride * static_cast<std::size_t>(height_ - 1 - r), width_,
                 rowBits_.data() + rowBytes_ * static_cast<std::size_t>(r));
    rowBitsReady_ = true;
}

// Columns, one bit per row from the top (set where dark), bit i of byte j
// being row 8j + i: eight rows at a time give one byte of every column.
void SkewSearcher::BuildColumnBits() {
    if (columnBitsReady_) return;
    const std::size_t stride = px::Stride8(static_cast<std::size_t>(width_));
    columnBits_.assign(columnBytes_ * static_cast<std::size_t>(width_), 0);
    for (int r0 = 0; r0 < height_; r0 += 8) {
        const int n = std::min(8, height_ - r0);
        const std::uint8_t* rows[8];
        for (int i = 0; i < n; ++i) rows[i] = bits_ + stride * static_cast<std::size_t>(height_ - 1 - (r0 + i));
        std::uint8_t* out = columnBits_.data() + static_cast<std::size_t>(r0 / 8);
        for (int x = 0; x < width_; ++x) {
            unsigned byte = 0;
            for (int i = 0; i < n; ++i) byte |= static_cast<unsigned>(rows[i][x] != 255) << i;
            out[columnBytes_ * static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(byte);
        }
    }
    columnBitsReady_ = true;
}

// Columns as 64-bit words along the rows, for the horizontal lines counted
// column by column: row r of column x at bit shearPad_ + r of the column's
// shearWords_ words, only the sampled rows (H/20 .. H - H/20 - 1) set.
// The padding on both sides takes every offset a sample can have (within
// H + 2 of its line) and the 255 lines beyond the last of four blocks, plus
// the words read after the last.
void SkewSearcher::BuildShearBits() {
    if (shearBitsReady_) return;
    const int H = height_, W = width_;
    const std::size_t stride = px::Stride8(static_cast<std::size_t>(W));
    shearPad_ = 64 * ((H + 64 + 63) / 64);
    shearWords_ = static_cast<std::size_t>((shearPad_ + 2 * H + 64) / 64 + 6);
    shearBits_.assign(shearWords_ * static_cast<std::size_t>(W), 0);
    std::vector<std::uint64_t> word(static_cast<std::size_t>(W));
    const int first = H / 20, last = H - H / 20;
    for (int r0 = first - first % 64; r0 < last; r0 += 64) {
        std::fill(word.begin(), word.end(), 0);
        for (int r = std::max(r0, first); r < std::min(r0 + 64, last); ++r) {
            const std::uint8_t* row = bits_ + stride * static_cast<std::size_t>(H - 1 - r);
            const unsigned bit = static_cast<unsigned>(r - r0);
            for (int x = 0; x < W; ++x) word[static_cast<std::size_t>(x)] |= static_cast<std::uint64_t>(row[x] != 255) << bit;
        }
        const std::size_t at = static_cast<std::size_t>((shearPad_ + r0) / 64);
        for (int x = 0; x < W; ++x) shearBits_[shearWords_ * static_cast<std::size_t>(x) + at] = word[static_cast<std::size_t>(x)];
    }
    shearBitsReady_ = true;
}

// Rows from the top as 64-bit words along the columns, for the vertical
// lines counted 64 at a time: column x of row k at bit rowWordPad_ + x of
// the row's rowWordCount_ words, only the columns that vertical lines may
// sample (e .. W - e - 1) set, with padding as in BuildShearBits.
void SkewSearcher::BuildRowWords(int e) {
    if (rowWordsEdge_ == e) return;
    const int H = height_, W = width_;
    const std::size_t stride = px::Stride8(static_cast<std::size_t>(W));
    rowWordPad_ = 64 * ((W + 64 + 63) / 64);
    rowWordCount_ = static_cast<std::size_t>((rowWordPad_ + 2 * W + 64) / 64 + 6);
    rowWords_.assign(rowWordCount_ * static_cast<std::size_t>(H), 0);
    // The words are little-endian: bit x of the packed row (bit x % 8 of
    // byte x / 8) lands on bit x % 64 of word x / 64, so a row is packed
    // straight into its words after the padding, which is whole words.
    static_assert(std::endian::native == std::endian::little);
    for (int k = 0; k < H; ++k) {
        std::uint64_t* words = rowWords_.data() + rowWordCount_ * static_cast<std::size_t>(k);
        PackDark(bits_ + stride * static_cast<std::size_t>(H - 1 - k), W,
                 reinterpret_cast<std::uint8_t*>(words) + rowWordPad_ / 8);
        auto clear = [&](int x) {
            words[static_cast<std::size_t>(rowWordPad_ + x) / 64] &= ~(std::uint64_t{1} << ((rowWordPad_ + x) % 64));
        };
        for (int x = 0; x < std::min(e, W); ++x) clear(x);
        for (int x = std::max(0, W - e); x < W; ++x) clear(x);
    }
    rowWordsEdge_ = e;
}

const std::vector<std::uint32_t>& SkewSearcher::StripRowTotals(int strip, int columns, int from, int to) {
    if (stripColumns_ != columns) {
        stripTotals_.assign(static_cast<std::size_t>(columns), {});
        stripColumns_ = columns;
    }
    std::vector<std::uint32_t>& totals = stripTotals_[static_cast<std::size_t>(strip)];
    if (totals.empty()) {
        // Counted in the packed rows, 56 pixels per population count.
        BuildRowBits();
        totals.assign(static_cast<std::size_t>(height_) + 1, 0);
        for (int r = 0; r < height_; ++r) {
            const std::uint32_t inStrip =
                from <= to ? static_cast<std::uint32_t>(
                                 DarkInPacked(rowBits_.data() + rowBytes_ * static_cast<std::size_t>(r), from, to))
                           : 0;
            totals[static_cast<std::size_t>(r) + 1] = totals[static_cast<std::size_t>(r)] + inStrip;
        }
    }
    return totals;
}

namespace {

// One sample of BuildRuns: at `position` from its line.
inline void AddToRuns(int i, double position, double reach, double margin, std::vector<SkewSearcher::Run>& runs,
                      int& lowest, int& highest) {
    if (!(std::fabs(position) <= reach)) return;
    int k;
    const bool safe = SafeOffset(position, margin, &k);
    lowest = std::min(lowest, k);
    highest = std::max(highest, k);
    if (!runs.empty()) {
        SkewSearcher::Run& last = runs.back();
        if (last.to == i - 1 && last.exact == !safe && (!safe || last.offset == k)) {
            last.to = i;
            return;
        }
    }
    runs.push_back({i, i, k, !safe});
}

// Samples i .. to of BuildRuns one by one.
void AddSamplesToRuns(int i, int to, double a, double b, double reach, double margin,
                      std::vector<SkewSearcher::Run>& runs, int& lowest, int& highest) {
    for (; i <= to; ++i) AddToRuns(i, (static_cast<double>(i) - a) * b + 0.5, reach, margin, runs, lowest, highest);
}

// BuildRuns four samples at a time: the same positions (the same double
// operations, never fused), and four that all continue the last run (safe,
// at its offset) extend it at once; any other four go one by one.
__attribute__((target("avx2"))) void BuildRunsAvx2(int from, int to, double a, double b, double reach, double margin,
                                                   std::vector<SkewSearcher::Run>& runs, int& lowest, int& highest) {
    const __m256d va = _mm256_set1_pd(a), vb = _mm256_set1_pd(b), half = _mm256_set1_pd(0.5);
    const __m256d vreach = _mm256_set1_pd(reach), low = _mm256_set1_pd(margin), high = _mm256_set1_pd(1.0 - margin);
    const __m256d magnitude = _mm256_castsi256_pd(_mm256_set1_epi64x(0x7FFFFFFFFFFFFFFFll));
    const __m128i steps = _mm_setr_epi32(0, 1, 2, 3);
    int i = from;
    for (; i <= to - 3; i += 4) {
        const __m256d x = _mm256_cvtepi32_pd(_mm_add_epi32(_mm_set1_epi32(i), steps));
        const __m256d z = _mm256_add_pd(_mm256_mul_pd(_mm256_sub_pd(x, va), vb), half);
        const __m256d whole = _mm256_floor_pd(z);
        const __m256d fraction = _mm256_sub_pd(z, whole);
        const __m256d safe =
            _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(_mm256_and_pd(z, magnitude), vreach, _CMP_LE_OQ),
                                        _mm256_cmp_pd(fraction, low, _CMP_GE_OQ)),
                          _mm256_cmp_pd(fraction, high, _CMP_LE_OQ));
        if (_mm256_movemask_pd(safe) == 0xF && !runs.empty()) {
            SkewSearcher::Run& last = runs.back();
            if (last.to == i - 1 && !last.exact &&
                _mm256_movemask_pd(_mm256_cmp_pd(whole, _mm256_set1_pd(last.offset), _CMP_EQ_OQ)) == 0xF) {
                last.to = i + 3;
                continue;
            }
        }
        alignas(32) double positions[4];
        _mm256_store_pd(positions, z);
        for (int j = 0; j < 4; ++j) AddToRuns(i + j, positions[j], reach, margin, runs, lowest, highest);
    }
    AddSamplesToRuns(i, to, a, b, reach, margin, runs, lowest, highest);
}

// Samples from..to (columns of a horizontal line, rows of a vertical one)
// grouped into runs: a sample whose position relative to its line is
// (i - a) b + 0.5 = offset + fraction lands at line + offset whenever the
// fraction is safely away from a rounding boundary. `lowest` and `highest`
// receive the range of offsets. Samples farther than `reach` from their
// line lie outside the image for every line and are left out.
void BuildRuns(int from, int to, double a, double b, double reach, double margin,
               std::vector<SkewSearcher::Run>& runs, int& lowest, int& highest) {
    runs.clear();
    lowest = INT_MAX;
    highest = INT_MIN;
    if (g_useAvx2.load(std::memory_order_relaxed))
        BuildRunsAvx2(from, to, a, b, reach, margin, runs, lowest, highest);
    else
        AddSamplesToRuns(from, to, a, b, reach, margin, runs, lowest, highest);
}

// Set bits of a 64-bit word: the processor's instruction where the caller
// is built for it, else the classic sum in widening fields (same count).
template <bool kPopcnt>
__attribute__((always_inline)) inline int PopCount(std::uint64_t w) {
    if constexpr (kPopcnt) {
        return __builtin_popcountll(w);
    } else {
        w = w - ((w >> 1) & 0x5555555555555555ull);
        w = (w & 0x3333333333333333ull) + ((w >> 2) & 0x3333333333333333ull);
        w = (w + (w >> 4)) & 0x0F0F0F0F0F0F0F0Full;
        return static_cast<int>((w * 0x0101010101010101ull) >> 56);
    }
}

// Dark pixels among pixels from .. to of a bit-packed line: 56 bits per
// load, so the shift to the first pixel stays the same from load to load.
template <bool kPopcnt>
__attribute__((always_inline)) inline int DarkBits(const std::uint8_t* line, int from, int to) {
    const std::uint8_t* p = line + (from >> 3);
    const int shift = from & 7;
    int n = to - from + 1;
    int count = 0;
    std::uint64_t w;
    for (; n > 56; n -= 56, p += 7) {
        std::memcpy(&w, p, sizeof w);
        count += PopCount<kPopcnt>((w >> shift) & ((std::uint64_t{1} << 56) - 1));
    }
    std::memcpy(&w, p, sizeof w);
    return count + PopCount<kPopcnt>((w >> shift) & ((std::uint64_t{1} << n) - 1));
}

// The runs of a line as words of its packed targets: a run's samples
// are read 56 at a time as in DarkBits, each read being the eight bytes at
// `at` from the line's own target (the run's offset included) with the
// samples' bits kept by `mask` (the shift to the first sample is in the
// mask: at most 7 + 56 bits). Padded with empty words to a multiple of
// kWordGroup: the words are summed that many at a time between the tests
// against the limit.
constexpr std::size_t kWordGroup = 4;

void BuildRunWords(const std::vector<SkewSearcher::Run>& runs, std::size_t stride, SkewSearcher::RunWords& words) {
    words.at.clear();
    words.mask.clear();
    for (const SkewSearcher::Run& r : runs) {
        const std::int64_t target = static_cast<std::int64_t>(stride) * r.offset;
        for (int from = r.from, n = r.to - r.from + 1; n > 0; n -= 56, from += 56) {
            words.at.push_back(target + (from >> 3));
            words.mask.push_back(((std::uint64_t{1} << std::min(n, 56)) - 1) << (from & 7));
        }
    }
    while (words.at.size() % kWordGroup != 0) {
        words.at.push_back(0);
        words.mask.push_back(0);
    }
}

// Dark samples of the line whose own target starts at `line` (every word
// read lies inside the packed targets), counted until the limit is reached.
template <bool kPopcnt>
__attribute__((always_inline)) inline int DarkInWords(const std::uint8_t* line, const SkewSearcher::RunWords& words,
                                                      int limit) {
    int count = 0;
    const std::size_t n = words.at.size();
    for (std::size_t i = 0; i < n; i += kWordGroup) {
        for (std::size_t k = i; k < i + kWordGroup; ++k) {
            std::uint64_t w;
            std::memcpy(&w, line + words.at[k], sizeof w);
            count += PopCount<kPopcnt>(w & words.mask[k]);
        }
        if (count >= limit) break;
    }
    return count;
}

// Blank lines among lines first .. last - 1 whose samples land on targets
// (rows of a horizontal line, columns of a vertical one) between
// targetFirst and targetLast - 1. totals[t] holds the dark pixels of all
// targets before t; `packed()`, asked for only when a line needs more than
// that bound, gives the targets bit-packed, target t at packed() + t *
// stride. `exact(line, i)` decides a sample on its own. Lines whose samples
// all land inside the targets read them as the runs' words (`words`, built
// here), the others run by run.
template <bool kPopcnt, class Packed, class Exact>
__attribute__((always_inline)) inline int CountBlank(int first, int last, int targetFirst, int targetLast,
                                                     const std::vector<SkewSearcher::Run>& runs, int lowest,
                                                     int highest, Packed packedOf, std::size_t stride,
                                                     const std::uint32_t* totals, int limit, Exact exact,
                                                     SkewSearcher::RunWords& words) {
    int blank = 0;
    const std::uint8_t* packed = nullptr;
    // Lines whose every sample reads a target inside the range (so none is
    // left out or moved to target 0) when no sample needs the formula.
    int wordsFirst = last, wordsLast = last;
    if (!runs.empty() && std::none_of(runs.begin(), runs.end(), [](const SkewSearcher::Run& r) { return r.exact; })) {
        wordsFirst = targetFirst - lowest;
        wordsLast = targetLast - highest;
        if (wordsFirst < wordsLast) BuildRunWords(runs, stride, words);
    }
    for (int line = first; line < last; ++line) {
        if (runs.empty()) {
            ++blank;
            continue;
        }
        // The samples lie on targets line + lowest - 1 .. line + highest + 1;
        // when those hold fewer dark pixels than the limit, the line is
        // blank whatever the details.
        const int lo = std::max(targetFirst, line + lowest - 1);
        const int hi = std::min(targetLast - 1, line + highest + 1);
        const std::uint32_t bound =
            lo <= hi ? totals[static_cast<std::size_t>(hi) + 1] - totals[static_cast<std::size_t>(lo)] : 0;
        if (bound < static_cast<std::uint32_t>(limit)) {
            ++blank;
            continue;
        }
        if (!packed) packed = packedOf();
        if (line >= wordsFirst && line < wordsLast) {
            const std::uint8_t* own = packed + stride * static_cast<std::size_t>(line);
            if (DarkInWords<kPopcnt>(own, words, limit) < limit) ++blank;
            continue;
        }
        int count = 0;
        for (const SkewSearcher::Run& run : runs) {
            if (run.exact) {
                for (int i = run.from; i <= run.to; ++i)
                    if (exact(line, i)) ++count;
            } else {
                // A position just below zero truncates to target 0.
                int target = line + run.offset;
                if (target == -1) target = 0;
                if (target >= targetFirst && target < targetLast)
                    count += DarkBits<kPopcnt>(packed + stride * static_cast<std::size_t>(target), run.from, run.to);
            }
            if (count >= limit) break;
        }
        if (count < limit) ++blank;
    }
    return blank;
}

// CountBlank built for processors with and without the population count
// instruction; both count the same bits.
template <class... A>
__attribute__((target("popcnt"))) int CountBlankPopcnt(A&... a) {
    return CountBlank<true>(a...);
}
template <class... A>
int CountBlankPlain(A&... a) {
    return CountBlank<false>(a...);
}
std::atomic<bool> g_usePopcount{__builtin_cpu_supports("popcnt") != 0};

__attribute__((target("popcnt"))) int DarkInPackedPopcnt(const std::uint8_t* line, int from, int to) {
    return DarkBits<true>(line, from, to);
}

int DarkInPacked(const std::uint8_t* line, int from, int to) {
    return g_usePopcount.load(std::memory_order_relaxed) ? DarkInPackedPopcnt(line, from, to)
                                                         : DarkBits<false>(line, from, to);
}

template <class... A>
int CountBlankLines(A&&... a) {
    return g_usePopcount.load(std::memory_order_relaxed) ? CountBlankPopcnt(a...) : CountBlankPlain(a...);
}

// Lanes (bits) whose bit-sliced count (bit b of every lane's count in
// count[b]) is at least `limit`: compared from the top bit down.
template <int kBits>
std::uint64_t AtLeast(const std::uint64_t* count, int limit) {
    std::uint64_t greater = 0, equal = ~std::uint64_t{0};
    for (int b = kBits - 1; b >= 0; --b) {
        if ((limit >> b) & 1) {
            equal &= count[b];
        } else {
            greater |= equal & count[b];
            equal &= ~count[b];
        }
    }
    return greater | equal;
}

// Blank horizontal lines first .. last - 1 of one strip, 64 lines at a time,
// from the image's columns packed along the rows (`shear`, `words` words a
// column, row r at bit pad + r, zero outside the sampled rows and in the
// padding). Column x with offset k gives lines y0 .. y0 + 63 their samples
// in one word, the bits from pad + y0 + k on; each word is added to 64
// bit-sliced counters of kBits bits (2^kBits > limit) whose overflow is kept,
// so a lane's count is exact up to the limit. The same samples as the runs
// (a sample outside the sampled rows reads a zero bit, where the runs leave
// it out), counted column by column instead of line by line; a block stops
// once every line in it has reached the limit.
template <int kBits>
int CountBlankBlocks(const std::uint64_t* shear, std::size_t words, int pad,
                     const std::vector<std::pair<std::size_t, int>>& columns, int first, int last, int limit) {
    int blank = 0;
    for (int y0 = first; y0 < last; y0 += 64) {
        const int n = std::min(64, last - y0);
        const std::uint64_t live = n == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
        std::uint64_t count[kBits] = {};
        std::uint64_t over = 0, reached = 0;
        for (std::size_t i = 0; i < columns.size();) {
            const std::size_t end = std::min(columns.size(), i + 32);
            for (; i < end; ++i) {
                const std::size_t q = static_cast<std::size_t>(pad + y0 + columns[i].second);
                const std::uint64_t* w = shear + columns[i].first + (q >> 6);
                const unsigned shift = static_cast<unsigned>(q & 63);
                // (w[1] << 1) << (63 - shift) is w[1] << (64 - shift), and 0
                // for a shift of 0.
                std::uint64_t carry = (w[0] >> shift) | ((w[1] << 1) << (63 - shift));
                for (int b = 0; b < kBits; ++b) {
                    const std::uint64_t next = count[b] & carry;
                    count[b] ^= carry;
                    carry = next;
                }
                over |= carry;
            }
            reached = over | AtLeast<kBits>(count, limit);
            if ((reached & live) == live) break;
        }
        blank += n - PopCount<false>(reached & live);
    }
    return blank;
}

// CountBlankBlocks four blocks (256 lines) at a time in the four lanes of
// AVX2 registers. The four blocks' samples of a column lie 64 bits apart, so
// they are the four words from the same word on with the same shift: one
// load of four words each for the word and the next, shifted alike (a
// shift by 64 gives 0 here). The counters, their overflow and the test
// against the limit are CountBlankBlocks' in every lane.
template <int kBits>
__attribute__((target("avx2"))) __m256i AtLeastAvx2(const __m256i* count, int limit) {
    __m256i greater = _mm256_setzero_si256(), equal = _mm256_set1_epi64x(-1);
    for (int b = kBits - 1; b >= 0; --b) {
        if ((limit >> b) & 1) {
            equal = _mm256_and_si256(equal, count[b]);
        } else {
            greater = _mm256_or_si256(greater, _mm256_and_si256(equal, count[b]));
            equal = _mm256_andnot_si256(count[b], equal);
        }
    }
    return _mm256_or_si256(greater, equal);
}

template <int kBits>
__attribute__((target("avx2"))) int CountBlankBlocksAvx2(const std::uint64_t* shear, int pad,
                                                         const std::vector<std::pair<std::size_t, int>>& columns,
                                                         int first, int last, int limit) {
    int blank = 0;
    for (int y0 = first; y0 < last; y0 += 256) {
        alignas(32) std::uint64_t lanes[4];
        for (int k = 0; k < 4; ++k) {
            const int n = std::clamp(last - (y0 + 64 * k), 0, 64);
            lanes[k] = n == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
        }
        const __m256i live = _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes));
        __m256i count[kBits];
        for (int b = 0; b < kBits; ++b) count[b] = _mm256_setzero_si256();
        __m256i over = _mm256_setzero_si256(), reached = _mm256_setzero_si256();
        for (std::size_t i = 0; i < columns.size();) {
            const std::size_t end = std::min(columns.size(), i + 32);
            for (; i < end; ++i) {
                const std::size_t q = static_cast<std::size_t>(pad + y0 + columns[i].second);
                const std::uint64_t* w = shear + columns[i].first + (q >> 6);
                const __m128i shift = _mm_cvtsi32_si128(static_cast<int>(q & 63));
                const __m128i back = _mm_cvtsi32_si128(static_cast<int>(64 - (q & 63)));
                const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w));
                const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + 1));
                __m256i carry = _mm256_or_si256(_mm256_srl_epi64(low, shift), _mm256_sll_epi64(high, back));
                for (int b = 0; b < kBits; ++b) {
                    const __m256i next = _mm256_and_si256(count[b], carry);
                    count[b] = _mm256_xor_si256(count[b], carry);
                    carry = next;
                }
                over = _mm256_or_si256(over, carry);
            }
            reached = _mm256_or_si256(over, AtLeastAvx2<kBits>(count, limit));
            if (_mm256_testc_si256(reached, live)) break;
        }
        _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), _mm256_andnot_si256(reached, live));
        for (std::uint64_t l : lanes) blank += PopCount<false>(l);
    }
    return blank;
}

template <int kBits>
int CountBlankBlocksOf(const std::uint64_t* shear, std::size_t words, int pad,
                       const std::vector<std::pair<std::size_t, int>>& columns, int first, int last, int limit) {
    return g_useAvx2.load(std::memory_order_relaxed)
               ? CountBlankBlocksAvx2<kBits>(shear, pad, columns, first, last, limit)
               : CountBlankBlocks<kBits>(shear, words, pad, columns, first, last, limit);
}

// CountBlankBlocks with counters just wide enough for the limit (at most
// 655: 1 % of a width below 65536).
int CountBlankBlockLines(const std::uint64_t* shear, std::size_t words, int pad,
                         const std::vector<std::pair<std::size_t, int>>& columns, int first, int last, int limit) {
    int bits = 1;
    while ((limit >> bits) != 0) ++bits;
    switch (bits) {
        case 1: case 2: case 3: case 4: return CountBlankBlocksOf<4>(shear, words, pad, columns, first, last, limit);
        case 5: return CountBlankBlocksOf<5>(shear, words, pad, columns, first, last, limit);
        case 6: return CountBlankBlocksOf<6>(shear, words, pad, columns, first, last, limit);
        case 7: return CountBlankBlocksOf<7>(shear, words, pad, columns, first, last, limit);
        case 8: return CountBlankBlocksOf<8>(shear, words, pad, columns, first, last, limit);
        default: return CountBlankBlocksOf<16>(shear, words, pad, columns, first, last, limit);
    }
}

}  // namespace

bool UseExtraInstructions(bool on) {
    const bool popcount = on && __builtin_cpu_supports("popcnt") != 0;
    const bool avx2 = on && __builtin_cpu_supports("avx2") != 0;
    g_usePopcount.store(popcount, std::memory_order_relaxed);
    g_useAvx2.store(avx2, std::memory_order_relaxed);
    return popcount || avx2;
}

// Horizontal lines. For strip s the samples of the line at row y (from the
// top) are the columns x of the strip at rows yy = int(y + (x - c) t + 0.5).
// v = (x - c) t does not depend on y, so wherever the fraction of v + 0.5 is
// safely away from a whole number, yy = y + floor(v + 0.5) for every line
// (one whole step lower for the one line where that sum is -1, because the
// conversion truncates toward zero). Neighbouring columns with the same
// offset form a run that reads one row and is summed from the row prefix.
int SkewSearcher::CountHorizontalLines(double t, int method) {
    if (!HasBinaryImage() || skewColumns <= 0) return 0;
    const int W = width_, H = height_, C = skewColumns;
    const int limit = BlankLineLimit(W, method);
    if (W > kMaxPrefixSide || H > kMaxPrefixSide || !std::isfinite(t)) return CountHorizontalDirect(t, limit);

    const int mx = W / 20, my = H / 20;
    const int S = (W - 2 * mx) / C;
    const int o = (S % 100) / 2;
    // Rounding of y + v and of + 0.5 on values below 2H + 3, and of our own
    // v + 0.5, stay well inside this margin.
    const double margin = 4.0 * kEpsilon * (5.0 * H + 10.0);
    auto packed = [this] {
        BuildRowBits();
        return rowBits_.data();
    };

    int blank = 0;
    for (int s = 0; s < C; ++s) {
        const int from = mx + o + s * S;
        const int to = mx + s * S + S - 1;
        const double c = mx + s * S + (o + S) / 2.0;
        const std::vector<std::uint32_t>& totals = StripRowTotals(s, C, from, to);
        int lowest, highest;
        BuildRuns(from, to, c, t, H + 2.0, margin, runs_, lowest, highest);
        // Many short runs (steep slopes): counted column by column, 64 lines
        // at a time. Not where a sample needs the full formula, nor where the
        // sampled rows start at row 0 (a position just below zero then reads
        // row 0, which the packed columns do not repeat).
        if (my > 0 && runs_.size() * kShortRun > static_cast<std::size_t>(std::max(0, to - from + 1)) &&
            std::none_of(runs_.begin(), runs_.end(), [](const Run& r) { return r.exact; })) {
            BuildShearBits();
            columns_.clear();
            for (const Run& r : runs_)
                for (int x = r.from; x <= r.to; ++x) columns_.emplace_back(shearWords_ * static_cast<std::size_t>(x), r.offset);
            blank += CountBlankBlockLines(shearBits_.data(), shearWords_, shearPad_, columns_, my, H - my, limit);
            continue;
        }
        blank += CountBlankLines(my, H - my, my, H - my, runs_, lowest, highest, packed, rowBytes_, totals.data(), limit, [&](int y, int x) {
                                const int yy = SampleIndex(y + (x - c) * t + 0.5);
                                return yy >= my && yy < H - my && Dark(x, yy);
                            }, runWords_);
    }
    return blank;
}

int SkewSearcher::CountHorizontalDirect(double t, int limit) {
    const int W = width_, H = height_, C = skewColumns;
    const int mx = W / 20, my = H / 20;
    const int S = (W - 2 * mx) / C;
    const int o = (S % 100) / 2;
    int blank = 0;
    for (int s = 0; s < C; ++s) {
        const double c = mx + s * S + (o + S) / 2.0;
        for (int y = my; y < H - my; ++y) {
            int count = 0;
            for (int x = mx + o + s * S; x <= mx + s * S + S - 1 && count <= limit; ++x) {
                const int yy = SampleIndex(y + (x - c) * t + 0.5);
                if (yy >= my && yy < H - my && Dark(x, yy)) ++count;
            }
            if (count < limit) ++blank;
        }
    }
    return blank;
}

// Vertical lines. The line of column x samples rows k (from the top) at
// columns m = int((k - (H/2 - x t)) / t + 0.5), which is x + (k - H/2) / t
// + 0.5 up to rounding; the offset from x depends on k only, so rows with a
// safe offset form runs that read one column and are summed from the column
// prefix.
int SkewSearcher::CountVerticalLines(double t, int method) {
    if (!HasBinaryImage() || skewColumns <= 0) return 0;
    const int W = width_, H = height_, C = skewColumns;
    const int S = (W - 2 * (W / 20)) / C;
    const int e = (S % 100) / 2;
    const int limit = BlankLineLimit(H, method);
    // Rounding in the formula, divided by the slope, stays inside this
    // margin; for slopes near zero it grows without bound and every sample
    // is evaluated on its own.
    const double margin = 4.0 * kEpsilon * (H / std::fabs(t) + 10.0 * W + 20.0);
    if (W > kMaxPrefixSide || H > kMaxPrefixSide || !std::isfinite(t) || !(margin < kMaxMargin))
        return CountVerticalDirect(t, limit, e);

    const int k0 = H / 20, k1 = H - H / 20;
    const float h2 = static_cast<float>(H) / 2.0f;
    if (!columnTotalsReady_) {
        // Dark pixels of each column within the sampled rows, summed over
        // the columns.
        const std::size_t stride = px::Stride8(static_cast<std::size_t>(W));
        std::vector<std::uint32_t> perColumn(static_cast<std::size_t>(W), 0);
        if (k0 < k1)
            AddDarkPerColumn(W, k1 - k0, [&](int i) { return bits_ + stride * static_cast<std::size_t>(H - 1 - (k0 + i)); },
                             perColumn.data());
        columnTotals_.assign(static_cast<std::size_t>(W) + 1, 0);
        for (int x = 0; x < W; ++x)
            columnTotals_[static_cast<std::size_t>(x) + 1] =
                columnTotals_[static_cast<std::size_t>(x)] + perColumn[static_cast<std::size_t>(x)];
        columnTotalsReady_ = true;
    }
    auto packed = [this] {
        BuildColumnBits();
        return columnBits_.data();
    };
    // Only the run layout comes from this estimate, not the samples: the
    // product with the reciprocal differs from the quotient by far less
    // than the margin.
    const double inverse = 1.0 / t;
    int lowest, highest;
    BuildRuns(k0, k1 - 1, static_cast<double>(h2), inverse, W + 2.0, margin, runs_, lowest, highest);
    // Many short runs: counted 64 lines (columns) at a time from the packed
    // rows, as the horizontal lines are from the packed columns.
    if (e > 0 && runs_.size() * kShortRun > static_cast<std::size_t>(std::max(0, k1 - k0)) &&
        std::none_of(runs_.begin(), runs_.end(), [](const Run& r) { return r.exact; })) {
        BuildRowWords(e);
        columns_.clear();
        for (const Run& r : runs_)
            for (int k = r.from; k <= r.to; ++k) columns_.emplace_back(rowWordCount_ * static_cast<std::size_t>(k), r.offset);
        return CountBlankBlockLines(rowWords_.data(), rowWordCount_, rowWordPad_, columns_, e, W - e, limit);
    }
    return CountBlankLines(e, W - e, e, W - e, runs_, lowest, highest, packed, columnBytes_, columnTotals_.data(),
                      limit, [&](int x, int k) {
                          const int m = SampleIndex((k - (h2 - x * t)) / t + 0.5);
                          return m >= e && m < W - e && Dark(m, k);
                      }, runWords_);
}

int SkewSearcher::CountVerticalDirect(double t, int limit, int e) {
    const int W = width_, H = height_;
    const float h2 = static_cast<float>(H) / 2.0f;
    int blank = 0;
    for (int x = e; x < W - e; ++x) {
        int count = 0;
        for (int k = H / 20; k < H - H / 20 && count <= limit; ++k) {
            const int m = SampleIndex((k - (h2 - x * t)) / t + 0.5);
            if (m >= e && m < W - e && Dark(m, k)) ++count;
        }
        if (count < limit) ++blank;
    }
    return blank;
}

void SkewSearcher::Update(bool horizontal, int count, float angle) {
    if (count <= skewBestCount) return;
    skewBestCount = count;
    const int side = horizontal ? height_ : width_;
    const float score = static_cast<float>(count) / static_cast<float>(static_cast<long long>(skewColumns) * side);
    if (horizontal) {
        horizontalAngle = angle;
        horizontalScore = score;
    } else {
        verticalAngle = angle;
        verticalScore = score;
    }
}

// One side of a scan: angles start, start + step, ... (float accumulation)
// while below end. Returns true when the side ended by the decline rule.
bool SkewSearcher::ScanSide(bool horizontal, double (*slopeOf)(float), float start, double end, float sign,
                            int method) {
    declineCount = 0;
    int previous = 0;
    // The angles are the same from scan to scan of a side (the same float
    // steps from the same start): step n's count can be remembered.
    std::vector<int>* remembered = RememberedCounts(horizontal, sign, method);
    std::size_t n = 0;
    for (float d = start; d < end; d += kAngleStep, ++n) {
        int count;
        if (remembered && n < remembered->size() && (*remembered)[n] >= 0) {
            count = (*remembered)[n];
        } else {
            const double slope = slopeOf(d);
            count = horizontal ? CountHorizontalLines(sign < 0 ? -slope : slope, method)
                               : CountVerticalLines(slope, method);
            if (remembered) {
                if (remembered->size() <= n) remembered->resize(n + 1, -1);
                (*remembered)[n] = count;
            }
        }
        Update(horizontal, count, sign < 0 ? -d : d);
        if (count < previous)
            ++declineCount;
        else if (count > previous)
            declineCount = 0;
        previous = count;
        if (declineCount > kDeclineLimit) return true;
    }
    return false;
}

bool SkewSearcher::SearchHorizontalSkew(int maxAngle, int method) {
    skewBestCount = 0;
    declineCount = 0;
    horizontalAngle = 0.0f;
    horizontalScore = 0.0f;
    const double end = std::min(maxAngle, kMaxSearchAngle) + 0.5;
    const bool found = ScanSide(true, HorizontalSlope, 0.0f, end, 1.0f, method);
    return ScanSide(true, HorizontalSlope, 0.0f, end, -1.0f, method) || found;
}

bool SkewSearcher::SearchVerticalSkew(int maxAngle, int method) {
    skewBestCount = 0;
    declineCount = 0;
    verticalAngle = 0.0f;
    verticalScore = 0.0f;
    const double end = std::min(maxAngle, kMaxSearchAngle) + 0.5;
    const bool found = ScanSide(false, VerticalSlopeFirst, 0.01f, end, 1.0f, method);
    return ScanSide(false, VerticalSlopeSecond, 0.0f, end, -1.0f, method) || found;
}

bool SkewSearcher::SearchSkew(int maxAngle, int method, bool twoColumns, bool horizontalText) {
    skewColumns = twoColumns ? 2 : 1;
    skewAngle = 0.0f;
    skewScore = 0.0f;
    if (horizontalText) {
        if (SearchHorizontalSkew(maxAngle, method)) {
            skewAngle = horizontalAngle;
            skewScore = horizontalScore;
            return true;
        }
        if (SearchVerticalSkew(maxAngle, method)) {
            skewAngle = verticalAngle;
            skewScore = verticalScore;
            return true;
        }
    } else {
        if (SearchVerticalSkew(maxAngle, method)) {
            skewAngle = verticalAngle;
            skewScore = verticalScore;
            return true;
        }
        if (SearchHorizontalSkew(maxAngle, method)) {
            skewAngle = horizontalAngle;
            skewScore = horizontalScore;
            return true;
        }
    }
    // No peak either way: the larger score, horizontal on a tie.
    if (horizontalScore >= verticalScore) {
        skewAngle = horizontalAngle;
        skewScore = horizontalScore;
    } else {
        skewAngle = verticalAngle;
        skewScore = verticalScore;
    }
    return false;
}

}  // namespace skew

namespace skew {

float DetectSkewAngle(SkewMethods& methods, int maxAngle, int method, bool tryOthers, bool twoColumns) {
    enum { kUntried = 0, kTried = 1, kFound = 2 };
    int A = maxAngle;
    for (;;) {
        // A negative remainder would index no method; it counts from the top.
        const int m = ((method % kSkewMethodCount) + kSkewMethodCount) % kSkewMethodCount;
        constexpr int kOtsu = static_cast<int>(SkewMethod::kOtsu);
        constexpr int kContrast = static_cast<int>(SkewMethod::kContrast);
        int state[kSkewMethodCount] = {kUntried, kUntried, kUntried};
        float angles[kSkewMethodCount] = {0.0f, 0.0f, 0.0f};
        float scores[kSkewMethodCount] = {0.0f, 0.0f, 0.0f};
        float angle = 0.0f;
        bool accepted = false;

        auto run = [&](int i, bool columns) {
            const bool found = methods.RunSkewSearch(A, static_cast<SkewMethod>(i), columns, &angles[i], &scores[i]);
            state[i] = found ? kFound : kTried;
            angle = angles[i];
            return found && scores[i] >= kFoundScore;
        };

        if (m == kContrast && !methods.HasContrastCopy()) methods.PrepareContrastCopy();
        accepted = run(m, twoColumns);
        if (!accepted) {
            if (!tryOthers) return angle;
            for (int i = 0; i < kSkewMethodCount && !accepted; ++i) {
                if (state[i] != kUntried) continue;
                bool columns = twoColumns;
                if (i == kContrast) {
                    methods.PrepareContrastCopy();
                    columns = !twoColumns;
                } else if (i == kOtsu && method == kContrast) {
                    columns = !twoColumns;
                }
                accepted = run(i, columns);
            }
        }
        if (!accepted) {
            if (state[m] == kFound) return angles[m];
            for (int i = 0; i < kSkewMethodCount; ++i)
                if (state[i] == kFound) return angles[i];
            angle = methods.BinaryMostlyDark() ? angles[kContrast] : angles[kOtsu];
        }
        // An angle in the extra half degree beyond the maximum: search again
        // over the wide range.
        const long long a = A < 0 ? -static_cast<long long>(A) : A;
        if (tryOthers && std::fabs(angle) > static_cast<float>(a) && a < 29) {
            A = kRestartAngle;
            continue;
        }
        return angle;
    }
}

bool TextOnlyMask(CTextComponentAnalyzer& analyser, std::uint8_t* grey, std::uint8_t* colour, int width, int height,
                  int bitsPerPixel, int dpi, std::uint8_t* mask) {
    if (width <= 0 || height <= 0 || mask == nullptr) return false;
    std::memset(mask, 255, px::Stride8(static_cast<std::size_t>(width)) * static_cast<std::size_t>(height));
    TextComponentParams p;
    p.page.grey = grey;
    p.page.colour = colour;
    p.page.width = width;
    p.page.height = height;
    p.page.bitsPerPixel = bitsPerPixel;
    p.threshold = comp::kTextThreshold;
    p.page.dpi = dpi;
    p.flag = 0;
    if (!analyser.Analyze(p)) return false;
    analyser.ClearTextPixels(mask, width, height);
    return true;
}

std::vector<std::uint8_t> TextOnlyMask(CTextComponentAnalyzer& analyser, std::uint8_t* grey, std::uint8_t* colour,
                                       int width, int height, int bitsPerPixel, int dpi) {
    if (width <= 0 || height <= 0) return {};
    std::vector<std::uint8_t> mask(px::Stride8(static_cast<std::size_t>(width)) * static_cast<std::size_t>(height));
    TextOnlyMask(analyser, grey, colour, width, height, bitsPerPixel, dpi, mask.data());
    return mask;
}

}  // namespace skew
