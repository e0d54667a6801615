// Plain references of the photo-region finder (3 x 3 passes from a copy,
// per-pixel rectangle tests) and the background colour changer (the
// per-pixel formula).
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "processing/reference/RefComponents.h"
#include "processing/reference/RefProtect.h"
#include "processing/reference/RefTone.h"

namespace ref {

struct RPhotoParams {
    std::uint8_t* grey;
    std::uint8_t* colour;
    int w, h, bpp, dpi, binContrast, binBrightness, enhContrast, enhBrightness, passes, mode;
};

inline void RefPass3x3(std::vector<std::uint8_t>& img, int w, int h, int stride, bool takeMax) {
    std::vector<std::uint8_t> prev = img;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int best = prev[y * stride + x];
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx) {
                    int xx = x + dx, yy = y + dy;
                    if (xx < 0 || yy < 0 || xx >= w || yy >= h) continue;
                    int v = prev[yy * stride + xx];
                    if (takeMax ? v > best : v < best) best = v;
                }
            img[y * stride + x] = (std::uint8_t)best;
        }
}

inline bool RefIdentitySize(int w, int h, int dpi) {
    static const float sizes[12][2] = {{2.1f, 2.6f}, {2.2f, 3.2f}, {2.5f, 3.5f}, {3.3f, 4.8f},
                                       {2.6f, 3.2f}, {2.7f, 3.8f}, {4.0f, 5.5f}, {3.5f, 4.5f},
                                       {3.5f, 4.9f}, {3.5f, 5.3f}, {5.0f, 5.0f}, {3.0f, 4.0f}};
    for (auto& s : sizes) {
        int wp = (int)(s[0] * 10.0f / 25.4f * (float)dpi), hp = (int)(s[1] * 10.0f / 25.4f * (float)dpi);
        if (std::fabs(s[0] / s[1] - (float)w / (float)h) < 0.12f && std::fabs((float)(w - wp)) < 0.1f * (float)wp &&
            std::fabs((float)(h - hp)) < 0.1f * (float)hp)
            return true;
    }
    return false;
}

inline std::vector<RECT> RefPhotoFind(const RPhotoParams& p) {
    std::vector<RECT> found;
    if (!p.grey || p.w <= 0 || p.h <= 0) return found;
    int w = p.w, h = p.h, s8 = (w + 3) / 4 * 4, s24 = (3 * w + 3) / 4 * 4;
    std::vector<std::uint8_t> work(p.grey, p.grey + s8 * h);
    long long sum = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) sum += work[y * s8 + x];
    std::vector<int> t = RefBrightnessContrast(p.binBrightness, p.binContrast, (int)(sum / ((long long)w * h)));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) work[y * s8 + x] = (std::uint8_t)t[work[y * s8 + x]];
    for (int i = 0; i < p.passes; ++i) RefPass3x3(work, w, h, s8, true);
    for (int i = 0; i < p.passes; ++i) RefPass3x3(work, w, h, s8, false);
    std::vector<std::uint8_t> visited(w * h, 0);
    std::vector<RComponent> regions;
    RefLabel(w, h, visited, regions, [&](int x, int y) { return work[y * s8 + x] < 128; },
             [](int, int) { return true; });
    RefBoxes(regions);
    int smallest = (int)((float)p.dpi * 0.984252f);
    for (RComponent& c : regions) {
        int rw = c.right - c.left, rh = c.bottom - c.top;
        if ((rw > rh ? rw : rh) + 1 <= smallest) continue;
        if (rw == 0 || rh == 0) continue;
        float aspect = (float)rw / (float)rh;
        if (aspect < 0.2f || aspect > 5.0f) continue;
        if (p.mode == 1 && !RefIdentitySize(rw, rh, p.dpi)) continue;
        if ((double)c.points.size() < 0.5 * rw * (double)rh) continue;
        long long dark = 0;
        for (int y = c.top; y <= c.bottom - 1; ++y)
            for (int x = c.left; x <= c.right - 1; ++x) dark += p.grey[y * s8 + x] < 128;
        if ((double)dark / ((double)rw * rh) < 0.2) continue;
        found.push_back(RECT{c.left, c.top, c.right, c.bottom});
    }
    if (p.enhContrast == 0 && p.enhBrightness == 0) return found;
    RProtect inside{found, true};
    if (p.bpp == 24) {
        if (!p.colour) return found;
        long long gs = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                std::uint8_t* q = p.colour + y * s24 + 3 * x;
                gs += (int)(0.587 * q[1] + 0.299 * q[2] + 0.114 * q[0]);
            }
        std::vector<int> e = RefBrightnessContrast(p.enhBrightness, p.enhContrast, (int)(gs / ((long long)w * h)));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (inside.Has(x, y))
                    for (int c = 0; c < 3; ++c) p.colour[y * s24 + 3 * x + c] = (std::uint8_t)e[p.colour[y * s24 + 3 * x + c]];
    } else {
        std::vector<int> e = RefBrightnessContrast(p.enhBrightness, p.enhContrast, (int)(sum / ((long long)w * h)));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (inside.Has(x, y)) p.grey[y * s8 + x] = (std::uint8_t)e[p.grey[y * s8 + x]];
    }
    return found;
}

// New colour of one pixel (B, G, R in place) for the target (R, G, B).
inline void RefChangePixel(std::uint8_t* q, int rt, int gt, int bt) {
    int a = (int)(0.587 * q[1] + 0.299 * q[2] + 0.114 * q[0]);
    int f = 255 - a;
    int exc[3];
    for (int c = 0; c < 3; ++c) {
        if (a == 255) exc[c] = 255;
        else {
            int v = (q[c] - a) * 255 / f;
            exc[c] = v < 0 ? 0 : (v > 255 ? 255 : v);
        }
    }
    q[0] = (std::uint8_t)((bt * a + f * exc[0]) / 255);
    q[1] = (std::uint8_t)((gt * a + f * exc[1]) / 255);
    q[2] = (std::uint8_t)((rt * a + f * exc[2]) / 255);
}

}  // namespace ref
