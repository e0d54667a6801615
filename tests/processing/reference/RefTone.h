// Plain references for the tone pieces: the brightness/contrast table, the
// tone curve's lookup table, clip levels and stretch, the colour test and
// the square grow, written out straight from their description.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace ref {

inline int Clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

inline std::vector<int> RefBrightnessContrast(int b, int c, int mean) {
    float k;
    if (c <= -255) k = -1.0f;
    else {
        k = (float)c / 255.0f;
        if (c >= 1 && c <= 254) k = 1.0f / (1.0f - (float)c / 255.0f) - 1.0f;
    }
    std::vector<int> t(256);
    for (int j = 0; j < 256; ++j) {
        if (c > 0) {
            int v = Clamp255(j + b);
            if (c >= 255) t[j] = v >= mean ? 255 : 0;
            else t[j] = Clamp255(v + (int)((float)(v - mean) * k + 0.5f));
        } else {
            int e = Clamp255(j + (int)((float)(j - mean) * k + 0.5f));
            t[j] = Clamp255(e + b);
        }
    }
    return t;
}

// Natural cubic spline through (i, v[i]), solved with the Thomas algorithm.
struct RefSpline {
    std::vector<double> v, m;
    explicit RefSpline(std::vector<double> values) : v(std::move(values)), m(v.size(), 0.0) {
        int n = (int)v.size();
        if (n < 3) return;
        // h = 1 everywhere: m[i-1] + 4 m[i] + m[i+1] = 6 (v[i+1] - 2 v[i] + v[i-1])
        std::vector<double> diag(n, 4.0), rhs(n, 0.0);
        for (int i = 1; i < n - 1; ++i) rhs[i] = 6.0 * (v[i + 1] - 2 * v[i] + v[i - 1]);
        for (int i = 2; i < n - 1; ++i) {
            double w = 1.0 / diag[i - 1];
            diag[i] -= w;
            rhs[i] -= w * rhs[i - 1];
        }
        for (int i = n - 2; i >= 1; --i) m[i] = (rhs[i] - (i + 1 < n - 1 ? m[i + 1] : 0.0)) / diag[i];
    }
    double At(double t) const {
        int n = (int)v.size();
        if (t < 0) return v[0] + t * ((v[1] - v[0]) - m[1] / 6.0);
        if (t >= n - 1) return v[n - 1] + (t - (n - 1)) * ((v[n - 1] - v[n - 2]) + m[n - 2] / 6.0);
        int i = (int)t;
        if (i > n - 2) i = n - 2;
        double a = (i + 1) - t, bb = t - i;
        return a * v[i] + bb * v[i + 1] + ((a * a * a - a) * m[i] + (bb * bb * bb - bb) * m[i + 1]) / 6.0;
    }
};

inline std::vector<int> RefToneLut(double x0, double y0, double x1, double y1, double x2, double y2) {
    RefSpline xs({x0, x1, x2}), ys({y0, y1, y2});
    std::vector<double> sx, sy;
    double step = (double)(1.0f / 86.0f);
    for (double t = 0; t < 2.0; t += step) {
        sx.push_back(xs.At(t));
        sy.push_back(ys.At(t));
    }
    sx.push_back(x2);
    sy.push_back(y2);
    sx.push_back(x2);
    sy.push_back(y2);
    std::vector<int> lut(256, 0);
    std::size_t i = 0;
    for (int j = 0; j < 256; ++j) {
        while (i < sx.size() && !(std::fabs(j - sx[i]) < 0.001 || sx[i] > j)) i++;
        if (i == sx.size()) break;
        lut[j] = Clamp255((int)(sy[i] + 0.5));
    }
    return lut;
}

inline void RefClipLevels(const std::vector<long long>& hist, long long lowCount, long long highCount, int* lo,
                          int* hi) {
    *lo = 0;
    *hi = 255;
    long long run = 0;
    for (int j = 0; j < 256; ++j) {
        run += hist[j];
        if (run > lowCount) {
            *lo = j;
            break;
        }
    }
    run = 0;
    for (int j = 255; j >= 0; --j) {
        run += hist[j];
        if (run > highCount) {
            *hi = j;
            break;
        }
    }
}

inline bool RefIsColour(int b, int g, int r, int delta, float saturation, bool requireRed) {
    int s = std::min({b, g, r}), l = std::max({b, g, r});
    int m = b + g + r - s - l;
    bool sat = l == 0 || (float)(l - s) / (float)l >= saturation;
    return sat && l - m > delta && (!requireRed || r == l);
}

// The grow exactly as described: row by row, left to right; a 1-pixel
// marks the 0-pixels of its square with 2, or only the column x + r - 1
// when its left neighbour was also 1.
inline void RefGrow(std::uint8_t* mask, int w, int h, int r) {
    if (r <= 0) return;
    int stride = (w + 3) / 4 * 4;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (mask[y * stride + x] != 1) continue;
            bool leftToo = x > 0 && mask[y * stride + x - 1] == 1;
            int x0 = leftToo ? x + r - 1 : x - r;
            for (int yy = y - r; yy <= y + r - 1; ++yy)
                for (int xx = x0; xx <= x + r - 1; ++xx) {
                    if (yy < 0 || yy >= h || xx < 0 || xx >= w) continue;
                    if (mask[yy * stride + xx] == 0) mask[yy * stride + xx] = 2;
                }
        }
}

}  // namespace ref
