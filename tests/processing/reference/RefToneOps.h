// Plain references of the processor's tone operations, written out per
// pixel: brightness/contrast, darkening, and the three auto contrasts with
// their histograms, clip levels and stretch.
#pragma once

#include <cstdint>
#include <vector>

#include "processing/reference/RefBkColor.h"
#include "processing/reference/RefProtect.h"
#include "processing/reference/RefTone.h"

namespace ref {

inline void RefAdjustBC(std::uint8_t* buf, int w, int h, int b, int c, const RProtect& protect) {
    int s = (w + 3) / 4 * 4;
    long long sum = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) sum += buf[y * s + x];
    std::vector<int> t = RefBrightnessContrast(b, c, (int)(sum / ((long long)w * h)));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (!protect.Has(x, y)) buf[y * s + x] = (std::uint8_t)t[buf[y * s + x]];
}

inline void RefDarken(std::uint8_t* buf, int w, int h, int strength, const RProtect& protect) {
    int s = (w + 3) / 4 * 4;
    std::vector<int> t = RefDarkeningLut(strength);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (!protect.Has(x, y)) buf[y * s + x] = (std::uint8_t)t[buf[y * s + x]];
}

// Clip levels of a plane of w x h values.
inline void RefPlaneLevels(const std::vector<int>& plane, float low, float high, int* lo, int* hi) {
    std::vector<long long> hist(256, 0);
    for (int v : plane) hist[v]++;
    long long total = (long long)plane.size();
    RefClipLevels(hist, (long long)(low * (float)total * 0.01f), (long long)(high * (float)total * 0.01f), lo, hi);
}

inline int RefStretch(int v, int lo, int hi) {
    if (v <= lo) return 0;
    if (v >= hi) return 255;
    return (int)((float)(v - lo) / (float)(hi - lo) * 255.0f);
}

inline void RefAutoGray(std::uint8_t* buf, int w, int h, float low, float high) {
    int s = (w + 3) / 4 * 4;
    std::vector<int> plane;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) plane.push_back(buf[y * s + x]);
    int lo, hi;
    RefPlaneLevels(plane, low, high, &lo, &hi);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) buf[y * s + x] = (std::uint8_t)RefStretch(buf[y * s + x], lo, hi);
}

// Colour: one table (common) or one per channel.
inline void RefAutoColour(std::uint8_t* buf, int w, int h, float low, float high, bool common) {
    int s = (3 * w + 3) / 4 * 4;
    int lo[3], hi[3];
    for (int c = 0; c < 3; ++c) {
        std::vector<int> plane;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) plane.push_back(buf[y * s + 3 * x + c]);
        RefPlaneLevels(plane, low, high, &lo[c], &hi[c]);
    }
    if (common) {
        int l = std::min({lo[0], lo[1], lo[2]}), hh = std::max({hi[0], hi[1], hi[2]});
        for (int c = 0; c < 3; ++c) {
            lo[c] = l;
            hi[c] = hh;
        }
    }
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) buf[y * s + 3 * x + c] = (std::uint8_t)RefStretch(buf[y * s + 3 * x + c], lo[c], hi[c]);
}

}  // namespace ref
