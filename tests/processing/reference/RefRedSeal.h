// Plain reference of the red seal engine, step by step as described.
#pragma once

#include <cstdint>
#include <vector>

#include "processing/reference/RefComponents.h"
#include "processing/reference/RefTone.h"

namespace ref {

struct RSealParams {
    std::uint8_t* image;
    int lead;
    float saturation;
    int w, h, bpp, dpi, area, erase, textStrength, type, mode, clip;
};

struct RSealRegion {
    int left, top, right, bottom;
    long long red;
};

inline std::vector<RSealRegion> RefRedSeal(const RSealParams& p) {
    std::vector<RSealRegion> kept;
    if (!p.image || p.w <= 0 || p.h <= 0 || p.w > 32767 || p.h > 32767) return kept;
    int w = p.w, h = p.h, s8 = (w + 3) / 4 * 4, s24 = (3 * w + 3) / 4 * 4;
    std::vector<std::uint8_t> mask(s8 * h, 0);
    if (p.bpp != 24) return kept;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* q = p.image + y * s24 + 3 * x;
            if (RefIsColour(q[0], q[1], q[2], p.lead, p.saturation, true)) mask[y * s8 + x] = 1;
        }
    RefGrow(mask.data(), w, h, (int)((float)p.dpi * 0.07874016f));
    std::vector<std::uint8_t> visited(w * h, 0);
    std::vector<RComponent> regions;
    RefLabel(w, h, visited, regions, [&](int x, int y) { return mask[y * s8 + x] != 0; },
             [](int, int) { return true; });
    RefBoxes(regions);
    for (RComponent& c : regions) {
        long long red = 0;
        for (std::size_t i = 1; i < c.points.size(); ++i) red += mask[c.points[i].y * s8 + c.points[i].x] == 1;
        if (p.type == 0) {
            long long area = (long long)(c.right - c.left) * (c.bottom - c.top);
            long long least = (long long)(int)((float)p.area / 25.4f * (float)p.dpi) * (int)((float)p.dpi * 0.03937008f);
            if (!(area >= least && 20 * red >= area && area >= 2 * red)) continue;
        }
        kept.push_back({c.left, c.top, c.right, c.bottom, red});
    }
    if (p.mode == 0) {
        if (kept.empty()) return kept;
        std::vector<int> plane(w * h);
        long long sum = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                plane[y * w + x] = p.image[y * s24 + 3 * x + 2];
                sum += plane[y * w + x];
            }
        std::vector<int> t = RefBrightnessContrast(p.erase + 40, p.textStrength + 20, (int)(sum / ((long long)w * h)));
        std::vector<int> curve = RefToneLut(0, 0, 105, 65, 255, 255);
        for (int& v : plane) v = t[v];
        for (int& v : plane) v = curve[v];
        for (const RSealRegion& r : kept)
            for (int y = r.top; y <= r.bottom - 1; ++y)
                for (int x = r.left; x <= r.right - 1; ++x)
                    for (int c = 0; c < 3; ++c) p.image[y * s24 + 3 * x + c] = (std::uint8_t)plane[y * w + x];
    } else if (p.mode == 1) {
        for (const RSealRegion& r : kept) {
            int bw = r.right - r.left, bh = r.bottom - r.top;
            if (bw <= 0 || bh <= 0) continue;
            std::vector<std::uint8_t> box;
            for (int y = r.top; y < r.bottom; ++y)
                for (int x = r.left; x < r.right; ++x)
                    for (int c = 0; c < 3; ++c) box.push_back(p.image[y * s24 + 3 * x + c]);
            long long pixels = (long long)bw * bh;
            long long t = (long long)((float)p.clip * (float)pixels * 0.001f);
            int lo = 255, hi = 0;
            for (int c = 0; c < 3; ++c) {
                std::vector<long long> hist(256, 0);
                for (std::size_t i = c; i < box.size(); i += 3) hist[box[i]]++;
                int l, hh;
                RefClipLevels(hist, t, t, &l, &hh);
                lo = std::min(lo, l);
                hi = std::max(hi, hh);
            }
            for (std::uint8_t& v : box) {
                if (v <= lo) v = 0;
                else if (v >= hi) v = 255;
                else v = (std::uint8_t)(int)((float)(v - lo) / (float)(hi - lo) * 255.0f);
            }
            std::size_t i = 0;
            for (int y = r.top; y < r.bottom; ++y)
                for (int x = r.left; x < r.right; ++x)
                    for (int c = 0; c < 3; ++c) p.image[y * s24 + 3 * x + c] = box[i++];
        }
        std::vector<std::uint8_t> push(s8 * h, 0);
        for (const RSealRegion& r : kept)
            for (int y = r.top; y < r.bottom; ++y)
                for (int x = r.left; x < r.right; ++x)
                    if (mask[y * s8 + x] == 1) push[y * s8 + x] = 1;
        std::vector<int> curve = RefToneLut(0, 0, 75, 188, 255, 255);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (push[y * s8 + x]) p.image[y * s24 + 3 * x + 2] = (std::uint8_t)curve[p.image[y * s24 + 3 * x + 2]];
    }
    return kept;
}

}  // namespace ref
