// Plain reference of the background colour remover, step by step as
// described: separate passes for the mask, the grow, the greying, the mean,
// the table and the darkening curve; the grey-shift variant on a copy.
#pragma once

#include <cstdint>
#include <vector>

#include "processing/reference/RefProtect.h"
#include "processing/reference/RefTone.h"

namespace ref {

struct RBkParams {
    std::uint8_t* grey;
    std::uint8_t* colour;
    int brightness, contrast, darkening, delta;
    float saturation, radius;
    int rebuild, keepMode, keepSource, w, h, bpp, dpi;
    RProtect protect;
};

struct RBkState {
    std::vector<std::uint8_t> mask;
    int w = 0, h = 0;
};

inline std::vector<int> RefDarkeningLut(int darkening) {
    int y1 = 105 - darkening;
    if (y1 < 20) y1 = 20;
    if (y1 > 105) y1 = 105;
    return RefToneLut(0, 0, 105, y1, 255, 255);
}

inline void RefBkRemove(const RBkParams& p, RBkState& st) {
    if (!p.grey || p.w <= 0 || p.h <= 0) return;
    int w = p.w, h = p.h;
    int s8 = (w + 3) / 4 * 4, s24 = (3 * w + 3) / 4 * 4;
    std::vector<int> curve = RefDarkeningLut(p.darkening);
    if (p.keepSource) {
        std::vector<std::uint8_t> copy(p.grey, p.grey + s8 * h);
        long long sum = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) sum += copy[y * s8 + x];
        int mean = (int)(sum / ((long long)w * h));
        std::vector<int> t = RefBrightnessContrast(p.brightness, p.contrast, mean);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (!p.protect.Has(x, y)) copy[y * s8 + x] = t[copy[y * s8 + x]];
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (!p.protect.Has(x, y)) copy[y * s8 + x] = curve[copy[y * s8 + x]];
        if (!p.colour) return;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                if (p.protect.Has(x, y)) continue;
                int d = copy[y * s8 + x] - p.grey[y * s8 + x];
                for (int c = 0; c < 3; ++c) {
                    std::uint8_t& v = p.colour[y * s24 + 3 * x + c];
                    v = Clamp255(v + d);
                }
            }
        return;
    }
    if (p.rebuild || st.mask.empty() || st.w != w || st.h != h) {
        st.mask.assign(s8 * h, 0);
        st.w = w;
        st.h = h;
        if ((p.keepMode == 1 || p.keepMode == 2) && p.bpp == 24 && p.colour) {
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    std::uint8_t* q = p.colour + y * s24 + 3 * x;
                    if (RefIsColour(q[0], q[1], q[2], p.delta, p.saturation, p.keepMode == 1)) st.mask[y * s8 + x] = 1;
                }
            RefGrow(st.mask.data(), w, h, (int)(p.radius / 25.4f * (float)p.dpi));
        }
    }
    if (!p.colour) return;
    if (p.keepMode >= 1 && p.keepMode <= 3) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                if (p.keepMode != 3 && st.mask[y * s8 + x] != 0) continue;
                if (p.protect.Has(x, y)) continue;
                std::uint8_t* q = p.colour + y * s24 + 3 * x;
                int g = (int)(0.299 * q[2] + 0.587 * q[1] + 0.114 * q[0]);
                q[0] = q[1] = q[2] = (std::uint8_t)g;
            }
    }
    long long sum = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* q = p.colour + y * s24 + 3 * x;
            sum += (int)(0.587 * q[1] + 0.299 * q[2] + 0.114 * q[0]);
        }
    int mean = (int)(sum / ((long long)w * h));
    std::vector<int> t = RefBrightnessContrast(p.brightness, p.contrast, mean);
    for (int pass = 0; pass < 2; ++pass)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                if (st.mask[y * s8 + x] != 0 || p.protect.Has(x, y)) continue;
                std::uint8_t* q = p.colour + y * s24 + 3 * x;
                for (int c = 0; c < 3; ++c) q[c] = (std::uint8_t)(pass == 0 ? t[q[c]] : curve[q[c]]);
            }
}

}  // namespace ref
