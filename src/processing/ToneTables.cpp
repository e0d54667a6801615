// Tone tables and image statistics. Every tone step is a 256-entry table
// (brightness/contrast pivoted on a mean, level stretch, composition), so
// applying one is a look-up per byte; histograms use several partial counts so
// that long runs of equal bytes do not serialise on one counter, and means are
// taken in 64-bit sums.
#include "processing/ToneTables.h"

#include <bit>
#include <cstddef>
#include <cstring>
#include <vector>


#include "processing/PixelMath.h"
#include "processing/PixelRows.h"

namespace tone {

Lut IdentityLut() {
    Lut t{};
    for (int i = 0; i < 256; ++i) t[i] = static_cast<std::uint8_t>(i);
    return t;
}

Lut BrightnessContrastTable(int brightness, int contrast, int mean) {
    float f;
    if (contrast <= -255) {
        f = -1.0f;
    } else {
        f = static_cast<float>(contrast) / 255.0f;
        if (contrast >= 1 && contrast <= 254) f = 1.0f / (1.0f - f) - 1.0f;
    }
    // Brightness beyond +-255 moves every level to one end either way;
    // limiting it keeps the sums inside int.
    const int b = brightness < -512 ? -512 : (brightness > 512 ? 512 : brightness);
    Lut t{};
    for (int i = 0; i < 256; ++i) {
        int v = contrast > 0 ? px::ClampByte(i + b) : i;
        if (contrast >= 255) {
            t[i] = v >= mean ? 255 : 0;
            continue;
        }
        const float delta = static_cast<float>(static_cast<std::int64_t>(v) - mean) * f + 0.5f;
        const std::int64_t moved = static_cast<std::int64_t>(v) + px::SaturatingInt(delta);
        v = moved < 0 ? 0 : (moved > 255 ? 255 : static_cast<int>(moved));
        if (contrast <= 0) v = px::ClampByte(v + b);
        t[i] = static_cast<std::uint8_t>(v);
    }
    return t;
}

Lut StretchTable(int lo, int hi) {
    Lut t{};
    for (int j = 0; j < 256; ++j) {
        if (j <= lo) {
            t[j] = 0;
        } else if (j >= hi) {
            t[j] = 255;
        } else {
            const float v = static_cast<float>(j - lo) / static_cast<float>(hi - lo) * 255.0f;
            t[j] = px::ClampByte(static_cast<int>(v));
        }
    }
    return t;
}

Lut Compose(const Lut& first, const Lut& second) {
    Lut t{};
    for (int i = 0; i < 256; ++i) t[i] = second[first[i]];
    return t;
}

int LowClipLevel(const Histogram& h, std::int64_t limit, int fallback) {
    std::int64_t run = 0;
    for (int j = 0; j < 256; ++j) {
        run += h[j];
        if (run > limit) return j;
    }
    return fallback;
}

int HighClipLevel(const Histogram& h, std::int64_t limit, int fallback) {
    std::int64_t run = 0;
    for (int j = 255; j >= 0; --j) {
        run += h[j];
        if (run > limit) return j;
    }
    return fallback;
}

std::int64_t ClipCount(float clip, std::int64_t pixels, float unit) {
    const float v = clip * static_cast<float>(pixels) * unit;
    if (!(v == v)) return 0;
    if (v >= 9.2e18f) return INT64_MAX;
    if (v <= -9.2e18f) return INT64_MIN;
    return static_cast<std::int64_t>(v);
}

Histogram Histogram8(const std::uint8_t* bits, int width, int height) {
    // Eight partial counts, so that runs of equal bytes (the paper of a page)
    // do not wait on one counter after the other. 32-bit partial counts stay
    // in the first-level cache; each takes at most an eighth of the bytes of
    // every row plus the row's last seven, which stays far below 2^32 for
    // any image size the program accepts (65535 x 65535 at most), and they
    // are added in 64 bits. The eight bytes of a group are read in one
    // little-endian word, byte k being bits 8k .. 8k + 7, which leaves the
    // loads to the counters.
    constexpr int kParts = 8;
    static_assert(std::endian::native == std::endian::little);
    std::uint32_t part[kParts][256] = {};
    const std::size_t stride = px::Stride8(width);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* row = bits + stride * y;
        int x = 0;
        for (; x + kParts <= width; x += kParts) {
            std::uint64_t group;
            std::memcpy(&group, row + x, sizeof group);
            for (int k = 0; k < kParts; ++k) ++part[k][(group >> (8 * k)) & 0xFF];
        }
        for (; x < width; ++x) ++part[0][row[x]];
    }
    Histogram h{};
    for (int v = 0; v < 256; ++v)
        for (int k = 0; k < kParts; ++k) h[v] += part[k][v];
    return h;
}

std::array<Histogram, 3> Histograms24(const std::uint8_t* bits, int width, int height) {
    // Two partial counts per channel (even and odd pixels), for the same
    // reason as above; each takes at most half a row plus one pixel per row.
    std::uint32_t part[2][3][256] = {};
    const std::size_t stride = px::Stride24(width);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* p = bits + stride * y;
        int x = 0;
        for (; x + 2 <= width; x += 2, p += 6) {
            ++part[0][0][p[0]];
            ++part[0][1][p[1]];
            ++part[0][2][p[2]];
            ++part[1][0][p[3]];
            ++part[1][1][p[4]];
            ++part[1][2][p[5]];
        }
        if (x < width) {
            ++part[0][0][p[0]];
            ++part[0][1][p[1]];
            ++part[0][2][p[2]];
        }
    }
    std::array<Histogram, 3> h{};
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v) h[c][v] = std::int64_t{part[0][c][v]} + part[1][c][v];
    return h;
}

int MeanByte8(const std::uint8_t* bits, int width, int height) {
    if (width <= 0 || height <= 0) return 0;
    const std::size_t stride = px::Stride8(width);
    std::uint64_t sum = 0;
    for (int y = 0; y < height; ++y) sum += px::SumRow(bits + stride * y, static_cast<std::size_t>(width));
    return static_cast<int>(sum / (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height)));
}

int MeanGrey24(const std::uint8_t* bits, int width, int height) {
    if (width <= 0 || height <= 0) return 0;
    const std::size_t stride = px::Stride24(width), w = static_cast<std::size_t>(width);
    std::vector<std::uint8_t> levels(w);
    std::uint64_t sum = 0;
    for (int y = 0; y < height; ++y) {
        px::GreyRow(bits + stride * y, levels.data(), w);
        sum += px::SumRow(levels.data(), w);
    }
    return static_cast<int>(sum / (static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height)));
}

void ExtractChannel(const std::uint8_t* src, std::uint8_t* dst, int width, int height, int channel) {
    if (channel < 0 || channel > 2) return;
    const std::size_t s24 = px::Stride24(width), s8 = px::Stride8(width);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = src + s24 * y + channel;
        std::uint8_t* out = dst + s8 * y;
        for (int x = 0; x < width; ++x) out[x] = in[3 * x];
    }
}

void ApplyLut8(std::uint8_t* bits, int width, int height, const Lut& lut, const ProtectedRects& protect) {
    const std::size_t stride = px::Stride8(width);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bits + stride * y;
        protect.ForEachFreeSpan(y, width, [&](int x0, int x1) {
            px::LookupRow(row + x0, row + x0, static_cast<std::size_t>(x1 - x0), lut.data());
        });
    }
}

void ApplyLut24(std::uint8_t* bits, int width, int height, const Lut& lut, unsigned channels,
                const ProtectedRects& protect) {
    channels &= kAllChannels;
    if (channels == 0) return;
    const std::size_t stride = px::Stride24(width);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bits + stride * y;
        protect.ForEachFreeSpan(y, width, [&](int x0, int x1) {
            if (channels == kAllChannels) {
                std::uint8_t* span = row + 3 * static_cast<std::size_t>(x0);
                px::LookupRow(span, span, 3 * static_cast<std::size_t>(x1 - x0), lut.data());
                return;
            }
            for (int x = x0; x < x1; ++x) {
                std::uint8_t* p = row + 3 * x;
                if (channels & kBlue) p[0] = lut[p[0]];
                if (channels & kGreen) p[1] = lut[p[1]];
                if (channels & kRed) p[2] = lut[p[2]];
            }
        });
    }
}

void ApplyLuts24(std::uint8_t* bits, int width, int height, const Lut& blue, const Lut& green, const Lut& red) {
    const std::size_t stride = px::Stride24(width);
    const std::uint8_t* const tables[3] = {blue.data(), green.data(), red.data()};
    for (int y = 0; y < height; ++y) px::LookupPixelRow(bits + stride * y, static_cast<std::size_t>(width), tables);
}

}  // namespace tone
