// Plain reference versions of the skew line counts and of the rotation,
// written straight from their definitions, one sample at a time, for the
// differential tests and the benchmarks. Header-only so that the benchmark
// programs can use them without the test framework.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "processing/PixelMath.h"
#include "processing/SkewSearch.h"

namespace reference {

// int(v) for a sample position; a position that is not a number or lies
// outside the int range is -2^31 (no row or column of an image).
inline int ToIndex(double v) {
    if (!(v > -2147483649.0 && v < 2147483648.0)) return -2147483647 - 1;
    return static_cast<int>(v);
}

// Dark test at column x and row from the top y of a bottom-up binary image.
inline bool DarkAt(const std::uint8_t* bin, int width, int height, int x, int yFromTop) {
    return bin[px::Stride8(width) * static_cast<std::size_t>(height - 1 - yFromTop) + x] != 255;
}

inline int CountHorizontalLines(const std::uint8_t* bin, int W, int H, int C, double t, int method) {
    const int mx = W / 20, my = H / 20;
    const int S = (W - 2 * mx) / C;
    const int o = (S % 100) / 2;
    const int n = method == 1 ? 10 : std::max(20, static_cast<int>(W * 0.01f));
    int blank = 0;
    for (int s = 0; s < C; ++s) {
        const double c = mx + s * S + (o + S) / 2.0;
        for (int y = my; y <= H - my - 1; ++y) {
            int count = 0;
            for (int x = mx + o + s * S; x <= mx + s * S + S - 1; ++x) {
                const int yy = ToIndex(y + (x - c) * t + 0.5);
                if (my <= yy && yy < H - my && DarkAt(bin, W, H, x, yy)) {
                    ++count;
                    if (count > n) break;
                }
            }
            if (count < n) ++blank;
        }
    }
    return blank;
}

inline int CountVerticalLines(const std::uint8_t* bin, int W, int H, int C, double t, int method) {
    const int S = (W - 2 * (W / 20)) / C;
    const int e = (S % 100) / 2;
    const int n = method == 1 ? 10 : std::max(20, static_cast<int>(H * 0.01f));
    const float halfH = H / 2.0f;
    int blank = 0;
    for (int x = e; x <= W - e - 1; ++x) {
        int count = 0;
        for (int k = H / 20; k <= H - H / 20 - 1; ++k) {
            const int m = ToIndex((k - (halfH - x * t)) / t + 0.5);
            if (e <= m && m < W - e && DarkAt(bin, W, H, m, k)) {
                ++count;
                if (count > n) break;
            }
        }
        if (count < n) ++blank;
    }
    return blank;
}

// The search with the reference counts in place of the fast ones.
class ReferenceSkewSearcher : public skew::SkewSearcher {
public:
    int CountHorizontalLines(double slope, int method) override {
        if (!HasBinaryImage()) return 0;
        return reference::CountHorizontalLines(bits_, width_, height_, skewColumns, slope, method);
    }
    int CountVerticalLines(double slope, int method) override {
        if (!HasBinaryImage()) return 0;
        return reference::CountVerticalLines(bits_, width_, height_, skewColumns, slope, method);
    }
};

// One bilinear sample, as defined: nothing for negative coordinates, the
// edge fill when the neighbour to the right or above is outside.
inline void SampleRotated(const std::vector<std::uint8_t>& src, int sw, int sh, std::vector<std::uint8_t>& canvas,
                          int cw, double x, double y, int X, int Y, int channels, std::uint8_t edgeFill) {
    if (x < 0 || y < 0) return;
    int x0 = static_cast<int>(std::min(x, static_cast<double>(sw - 1)));
    int y0 = static_cast<int>(std::min(y, static_cast<double>(sh - 1)));
    const int bpp = channels * 8;
    std::uint8_t* dst = canvas.data() + px::StrideFor(cw, bpp) * Y + X * channels;
    if (x0 + 1 == sw || y0 + 1 == sh) {
        for (int c = 0; c < channels; ++c) dst[c] = edgeFill;
        return;
    }
    const double fx = x - x0, fy = y - y0;
    auto P = [&](int px_, int py_, int c) { return src[px::StrideFor(sw, bpp) * py_ + px_ * channels + c]; };
    for (int c = 0; c < channels; ++c)
        dst[c] = static_cast<std::uint8_t>(static_cast<int>((1 - fx) * (1 - fy) * P(x0, y0, c) + fx * (1 - fy) * P(x0 + 1, y0, c) +
                                                            (1 - fx) * fy * P(x0, y0 + 1, c) + fx * fy * P(x0 + 1, y0 + 1, c)));
}

struct RotatedImage {
    std::vector<std::uint8_t> bits;
    int width = 0, height = 0;
};

// Canvas size from the corner formula, then every canvas pixel mapped back
// about the canvas centre to (cx + dx cos a - dy sin a, cy + dx sin a +
// dy cos a) in `src` (sw x sh) and sampled into a canvas of `prefill`.
// With `centredBuffer` the samples come from a canvas-sized buffer holding
// the image centred.
inline RotatedImage Turn(const std::uint8_t* bits, int w, int h, int bpp, double degrees, std::uint8_t prefill,
                         std::uint8_t edgeFill, bool centredBuffer) {
    const int ch = bpp / 8;
    const double a = degrees * 3.1415927f / 180;
    RotatedImage out;
    out.width = static_cast<int>(w * std::fabs(std::cos(a)) + h * std::fabs(std::sin(a)) + 1);
    out.height = static_cast<int>(w * std::fabs(std::sin(a)) + h * std::fabs(std::cos(a)) + 1);
    const int W = out.width, H = out.height;
    std::vector<std::uint8_t> src(bits, bits + px::StrideFor(w, bpp) * h);
    int sw = w, sh = h;
    double cx = w / 2.0, cy = h / 2.0;
    if (centredBuffer) {
        // The image copied centred into a canvas-sized buffer of the fill;
        // a source wider or taller than the canvas (a thin image, or a turn
        // near 90 degrees) keeps only the part that fits.
        std::vector<std::uint8_t> centred(px::StrideFor(W, bpp) * H, prefill);
        const int ox = (W - w) / 2, oy = (H - h) / 2;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                for (int c = 0; c < ch; ++c)
                    if (x + ox >= 0 && x + ox < W && y + oy >= 0 && y + oy < H)
                        centred[px::StrideFor(W, bpp) * (y + oy) + (x + ox) * ch + c] = src[px::StrideFor(w, bpp) * y + x * ch + c];
        src.swap(centred);
        sw = W, sh = H, cx = W / 2.0, cy = H / 2.0;
    }
    out.bits.assign(px::StrideFor(W, bpp) * H, prefill);
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X) {
            const double dx = X - W / 2.0, dy = Y - H / 2.0;
            const double sx = cx + dx * std::cos(a) - dy * std::sin(a);
            const double sy = cy + dx * std::sin(a) + dy * std::cos(a);
            SampleRotated(src, sw, sh, out.bits, W, sx, sy, X, Y, ch, edgeFill);
        }
    return out;
}

// Turn about the centre of a canvas-sized buffer holding the image centred.
inline RotatedImage RotateCentred(const std::uint8_t* bits, int w, int h, int bpp, double degrees, std::uint8_t fill,
                                  std::uint8_t edgeFill) {
    return Turn(bits, w, h, bpp, degrees, fill, edgeFill, true);
}

// Turn sampling the image itself about (w / 2, h / 2) into a white canvas.
inline RotatedImage RotateAboutImageCentre(const std::uint8_t* bits, int w, int h, int bpp, double degrees,
                                           std::uint8_t edgeFill) {
    return Turn(bits, w, h, bpp, degrees, 255, edgeFill, false);
}

}  // namespace reference
