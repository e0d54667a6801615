// Plain references of the text-component analyser and the blank-page
// detector, step by step as described.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "processing/reference/RefComponents.h"

namespace ref {

// (right - left) / (bottom - top) outside 1/6..6, in single precision; a
// zero height gives an infinite ratio (or none for a single pixel).
inline bool RefRawAspectOutside(const RComponent& c) {
    int w = c.right - c.left, h = c.bottom - c.top;
    if (h == 0) return w != 0;
    float r = (float)w / (float)h;
    return r > 6.0f || r < 0.16666667f;
}

struct RAnalysis {
    std::vector<RComponent> comps;
    std::vector<int> absorbed;
    float dominant;
};

inline RAnalysis RefAnalyze(const std::uint8_t* grey, int w, int h, int threshold, int dpi, float previous) {
    RAnalysis r;
    int stride = (w + 3) / 4 * 4;
    auto dark = [&](int x, int y) { return grey[y * stride + x] <= threshold; };
    std::vector<std::uint8_t> visited(w * h, 0);
    RefLabel(w, h, visited, r.comps, dark, [](int, int) { return true; });
    RefBoxes(r.comps);
    RLimits lim = RefLimits(dpi, 0.11811024f);
    std::vector<int> excess;
    RefGapRatios(r.comps, dark, &excess);
    for (std::size_t i = 0; i < r.comps.size(); ++i)
        if (excess[i] > 4) {
            r.comps[i].gapMax = r.comps[i].gapMin = 0;
            r.comps[i].cls = 6;
        }
    for (RComponent& c : r.comps) {
        if (c.cls != 0) continue;
        int cw = c.right - c.left, ch = c.bottom - c.top;
        int side = (cw > ch ? cw : ch) + 1;
        float aspect = (float)(cw + 1) / (float)(ch + 1);
        if (side > lim.maxSide) c.cls = 7;
        else if (side < lim.minSide) c.cls = 4;
        else if (aspect > 6.0f || aspect < 0.16666667f) c.cls = 6;
        else if (c.gapMax > 0.2f) c.cls = 1;
        else c.cls = 5;
    }
    r.dominant = RefDominantSize(r.comps, lim, dpi, previous);
    int a = (int)((float)dpi * (r.dominant / 25.4f));
    r.absorbed.assign(r.comps.size(), 0);
    for (std::size_t i = 0; i < r.comps.size(); ++i) {
        RComponent& ci = r.comps[i];
        if (ci.cls != 5) continue;
        int cxi = ci.left + (ci.right - ci.left) / 2, cyi = ci.top + (ci.bottom - ci.top) / 2;
        bool found = false;
        for (std::size_t j = 0; j < r.comps.size() && !found; ++j) {
            if (j == i || r.comps[j].cls != 1) continue;
            RComponent& cj = r.comps[j];
            int dx = cj.left + (cj.right - cj.left) / 2 - cxi, dy = cj.top + (cj.bottom - cj.top) / 2 - cyi;
            if (std::sqrt((double)dx * dx + (double)dy * dy) < ((cj.right - cj.left) + (ci.right - ci.left)) / 2 + a) {
                ci.cls = RefRawAspectOutside(ci) ? 6 : 2;
                found = true;
            }
        }
        if (!found) ci.cls = 3;
    }
    int small = 0;
    for (const RComponent& c : r.comps) small += c.cls == 4;
    if (small > 10000) return r;
    for (std::size_t i = 0; i < r.comps.size(); ++i) {
        RComponent& ci = r.comps[i];
        if (ci.cls != 4) continue;
        if (RefRawAspectOutside(ci)) {
            ci.cls = 6;
            continue;
        }
        int wi = ci.right - ci.left, hi = ci.bottom - ci.top;
        int cxi = ci.left + wi / 2, cyi = ci.top + hi / 2;
        bool found = false;
        for (std::size_t j = 0; j < r.comps.size() && !found; ++j) {
            if (j == i || r.comps[j].cls != 1 || r.absorbed[j] >= 2) continue;
            RComponent& cj = r.comps[j];
            int wj = cj.right - cj.left, hj = cj.bottom - cj.top;
            int dx = std::abs(cxi - (cj.left + wj / 2)), dy = std::abs(cyi - (cj.top + hj / 2));
            if ((dx < (wi + wj) / 2 && dy < (hi + hj) / 2) || (dx <= wi + wj && dy <= (hi + hj) / 2)) {
                ci.cls = 2;
                r.absorbed[j]++;
                found = true;
            }
        }
        if (!found) ci.cls = 3;
    }
    return r;
}

// 1 blank, 0 not blank; type 2 below 50 dpi is refused (0).
inline int RefBlank(const std::uint8_t* image, int w, int h, int threshold, int dpi, float content, float text,
                    int type) {
    int stride = (w + 3) / 4 * 4;
    if (type != 2) {
        long long count = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) count += image[y * stride + x] < threshold;
        return count < (long long)((float)h * (float)w * 0.01f * content) ? 1 : 0;
    }
    if (dpi < 50) return 0;
    auto dark = [&](int x, int y) { return image[y * stride + x] <= threshold; };
    std::vector<std::uint8_t> visited(w * h, 0);
    std::vector<RComponent> comps;
    RefLabel(w, h, visited, comps, dark, [](int, int) { return true; });
    RefBoxes(comps);
    RLimits lim = RefLimits(dpi, 0.0496063f);
    RefGapRatios(comps, dark);
    long long area = 0;
    for (RComponent& c : comps) {
        c.cls = RefTextFilterClass(c, lim);
        if (c.cls == 1) area += (long long)(c.right - c.left) * (c.bottom - c.top);
    }
    return (long long)((float)h * (float)w * text * 0.01f) >= area ? 1 : 0;
}

}  // namespace ref
