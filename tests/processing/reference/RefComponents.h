// Plain reference of the shared component analysis and the text filter,
// written straight from their description: per-component point lists,
// row-then-column gap scans, literal peeling passes, literal pairwise
// attachment with a double square root. Slow on purpose; the production code
// must give identical results.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace ref {

struct RPoint {
    int x, y;
};

struct RComponent {
    int cls = 0;
    int left = 0, top = 0, right = -1, bottom = -1;
    std::vector<RPoint> points;
    double gapMax = 0, gapMin = 0;
};

// Pixel test and seed test take (x, y).
template <class Pixel, class Seed>
void RefLabel(int w, int h, std::vector<std::uint8_t>& visited, std::vector<RComponent>& out, Pixel pixel,
              Seed seed, int startClass = 0) {
    static const int n8[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (!seed(x, y)) continue;
            if (visited[y * w + x]) continue;
            if (!pixel(x, y)) continue;
            RComponent c;
            c.cls = startClass;
            visited[y * w + x] = 1;
            c.points.push_back({x, y});
            for (std::size_t k = 0; k < c.points.size(); ++k) {
                RPoint p = c.points[k];
                for (int n = 0; n < 8; ++n) {
                    int nx = p.x + n8[n][0], ny = p.y + n8[n][1];
                    if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                    if (visited[ny * w + nx]) continue;
                    if (!pixel(nx, ny)) continue;
                    visited[ny * w + nx] = 1;
                    c.points.push_back({nx, ny});
                }
            }
            out.push_back(c);
        }
    }
}

inline void RefBoxes(std::vector<RComponent>& comps) {
    for (RComponent& c : comps) {
        if (c.points.empty()) continue;
        c.left = c.right = c.points[0].x;
        c.top = c.bottom = c.points[0].y;
        for (RPoint p : c.points) {
            if (p.x < c.left) c.left = p.x;
            if (p.x > c.right) c.right = p.x;
            if (p.y < c.top) c.top = p.y;
            if (p.y > c.bottom) c.bottom = p.y;
        }
    }
}

// Gap sum of one line; `gapCount` receives the number of inner gaps.
template <class Dark>
long long RefLineGaps(int n, Dark darkAt, int* gapCount) {
    long long sum = 0;
    int gap = 0;
    bool seen = false;
    bool inGap = true;
    int gaps = 0;
    for (int i = 0; i < n; ++i) {
        if (!darkAt(i)) {
            gap += 1;
            inGap = true;
        } else {
            if (inGap) {
                if (seen) {
                    sum += gap;
                    gaps += 1;
                }
                gap = 0;
                inGap = false;
            }
            seen = true;
        }
    }
    if (gapCount) *gapCount = gaps;
    return sum;
}

template <class Dark>
void RefGapRatios(std::vector<RComponent>& comps, Dark dark, std::vector<int>* excess = nullptr) {
    if (excess) excess->assign(comps.size(), 0);
    for (std::size_t i = 0; i < comps.size(); ++i) {
        RComponent& c = comps[i];
        if (c.right < c.left || c.bottom < c.top) {
            c.gapMax = c.gapMin = 0;
            continue;
        }
        long long rowSum = 0, colSum = 0;
        int extra = 0;
        for (int y = c.top; y <= c.bottom; ++y) {
            int g = 0;
            rowSum += RefLineGaps(c.right - c.left + 1, [&](int i) { return dark(c.left + i, y); }, &g);
            if (g > 5) extra += g - 5;
        }
        for (int x = c.left; x <= c.right; ++x) {
            int g = 0;
            colSum += RefLineGaps(c.bottom - c.top + 1, [&](int i) { return dark(x, c.top + i); }, &g);
            if (g > 5) extra += g - 5;
        }
        float a = (float)(c.bottom - c.top + 1) * (float)(c.right - c.left + 1);
        long long mx = rowSum > colSum ? rowSum : colSum;
        long long mn = rowSum > colSum ? colSum : rowSum;
        c.gapMax = (float)mx / a;
        c.gapMin = (float)mn / a;
        if (excess) (*excess)[i] = extra;
    }
}

struct RLimits {
    int minSide, maxSide;
};

inline RLimits RefLimits(int dpi, float minFactor) {
    return {(int)((float)dpi * minFactor), (int)((float)dpi * 0.8913386f)};
}

inline const float kRefCharSizes[18] = {1.76f, 1.94f, 2.29f, 2.56f, 3.18f, 3.70f, 4.23f, 4.94f, 5.29f,
                                        5.64f, 6.35f, 7.76f, 8.47f, 9.17f, 12.70f, 14.82f, 18.97f, 22.14f};

inline float RefDominantSize(const std::vector<RComponent>& comps, RLimits lim, int dpi, float previous) {
    int counts[18] = {};
    for (const RComponent& c : comps) {
        if (c.cls != 1) continue;
        int height = c.bottom - c.top + 1;
        if (height < lim.minSide || height > lim.maxSide) continue;
        for (int j = 0; j < 18; ++j) {
            if (height < (int)(kRefCharSizes[j] / 25.4f * (float)dpi)) {
                counts[j]++;
                break;
            }
        }
    }
    int best = 0;
    for (int j = 1; j < 18; ++j)
        if (counts[j] >= counts[best]) best = j;
    if (counts[best] == 0) return previous;
    return kRefCharSizes[best];
}

inline void RefProfileLines(const std::vector<long long>& prof, int e, int dpi, int* g, int* n) {
    int f = 3 * e;
    int above = 0;
    for (long long v : prof)
        if (v > f) above++;
    *g = (int)((float)above / (float)e + 0.4999f);
    *n = 0;
    bool line = false;
    int gapRows = 0, lineRows = 0;
    int mm = (int)((float)dpi * 0.03937008f);
    for (long long v : prof) {
        if (!line) {
            if (v > f)
                line = true;
            else
                gapRows++;
        } else {
            if (v > f) {
                lineRows++;
            } else {
                if (lineRows > e / 2 && gapRows > mm) (*n)++;
                gapRows = 0;
                lineRows = 0;
                line = false;
            }
        }
    }
}

inline int RefOrientation(const std::vector<RComponent>& comps, int w, int h, int dpi, float dominant) {
    bool any = false;
    for (const RComponent& c : comps) any = any || c.cls == 1;
    if (!any || dominant == 0) return 1;
    int e = (int)(dominant / 25.4f * (float)dpi);
    if (e <= 0) return 1;
    std::vector<long long> rows(h, 0), cols(w, 0);
    for (const RComponent& c : comps) {
        if (c.cls != 1) continue;
        for (int y = c.top; y <= c.bottom; ++y) rows[y] += c.right - c.left + 1;
        for (int x = c.left; x <= c.right; ++x) cols[x] += c.bottom - c.top + 1;
    }
    int g, n;
    RefProfileLines(rows, e, dpi, &g, &n);
    if (n + 0.1 >= g * 0.5) return 1;
    int hh, m;
    RefProfileLines(cols, e, dpi, &hh, &m);
    if (m + 0.1 >= hh * 0.5) return 0;
    return n >= m ? 1 : 0;
}

inline void RefAttach(std::vector<RComponent>& comps, int dpi, float dominant, int orientation, int limit) {
    int a = (int)((float)dpi * (dominant / 25.4f));
    for (std::size_t i = 0; i < comps.size(); ++i) {
        if (comps[i].cls != 4) continue;
        RComponent& ci = comps[i];
        int cxi = ci.left + (ci.right - ci.left) / 2, cyi = ci.top + (ci.bottom - ci.top) / 2;
        bool found = false;
        for (std::size_t j = 0; j < comps.size(); ++j) {
            if (j == i || comps[j].cls != 1) continue;
            RComponent& cj = comps[j];
            int cxj = cj.left + (cj.right - cj.left) / 2, cyj = cj.top + (cj.bottom - cj.top) / 2;
            double d = std::sqrt((double)(cxj - cxi) * (cxj - cxi) + (double)(cyj - cyi) * (cyj - cyi));
            if (d < ((ci.right - ci.left) + (cj.right - cj.left)) / 2 + a) {
                found = true;
                break;
            }
        }
        ci.cls = found ? 1 : 2;
    }
    int small = 0;
    for (const RComponent& c : comps) small += c.cls == 3;
    if (small > limit) return;
    for (std::size_t i = 0; i < comps.size(); ++i) {
        if (comps[i].cls != 3) continue;
        RComponent& ci = comps[i];
        int wi = ci.right - ci.left, hi = ci.bottom - ci.top;
        int cxi = ci.left + wi / 2, cyi = ci.top + hi / 2;
        bool found = false;
        for (std::size_t j = 0; j < comps.size() && !found; ++j) {
            if (j == i || comps[j].cls != 1) continue;
            RComponent& cj = comps[j];
            int wj = cj.right - cj.left, hj = cj.bottom - cj.top;
            int dx = cxi - (cj.left + wj / 2), dy = cyi - (cj.top + hj / 2);
            if (std::abs(dx) < (wi + wj) / 2 && std::abs(dy) < (hi + hj) / 2) found = true;
            else if (orientation == 1 && std::abs(dx) <= 3 * (wi + wj) / 2 && std::abs(dy) <= (hi + hj) / 2)
                found = true;
            else if (orientation == 0 && std::abs(dy) <= 3 * (hi + hj) / 2 && std::abs(dx) <= (wi + wj) / 2)
                found = true;
        }
        ci.cls = found ? 1 : 2;
    }
}

// Literal onion peeling: returns the number of counting passes.
inline int RefPeelPasses(const RComponent& c) {
    int w = c.right - c.left, h = c.bottom - c.top;
    int gw = w + 1, gh = h + 1;
    std::vector<int> g(gw * gh, 0);
    for (RPoint p : c.points) g[(p.y - c.top) * gw + (p.x - c.left)] = 1;
    int passes = 0;
    while (true) {
        bool marked = false;
        for (int y = 0; y < gh; ++y)
            for (int x = 0; x < gw; ++x) {
                if (g[y * gw + x] != 1) continue;
                bool edge = x == 0 || y == 0 || x == gw - 1 || y == gh - 1;
                auto zero = [&](int xx, int yy) {
                    if (xx < 0 || yy < 0 || xx >= gw || yy >= gh) return true;
                    return g[yy * gw + xx] == 0;
                };
                if (edge || zero(x, y - 1) || zero(x, y + 1) || zero(x - 1, y) || zero(x + 1, y)) {
                    g[y * gw + x] = 2;
                    marked = true;
                }
            }
        if (!marked) break;
        for (int& v : g)
            if (v == 2) v = 0;
        passes++;
    }
    return passes;
}

inline bool RefPeelTest(const RComponent& c) {
    int w = c.right - c.left, h = c.bottom - c.top;
    int m = w > h ? w : h;
    return RefPeelPasses(c) <= (int)((float)(m + 1) * 0.15f + 1.0f);
}

// Text filter classes: 6 above maxSide, 1 with gap ratio above 0.2, else 3
// below minSide or 4.
inline int RefTextFilterClass(const RComponent& c, RLimits lim) {
    int ww = c.right - c.left, hh = c.bottom - c.top;
    int side = (ww > hh ? ww : hh) + 1;
    if (side > lim.maxSide) return 6;
    if (c.gapMax > 0.2f) return 1;
    if (side < lim.minSide) return 3;
    return 4;
}

struct RefTextFilterResult {
    std::vector<RComponent> comps;
    float dominant;
    int orientation;
};

// The text filter on an 8-bit image (rows padded to four bytes); erases in
// the binary image, or in the colour image when bpp is 24 and it is given.
inline RefTextFilterResult RefTextFilter(std::uint8_t* bin, std::uint8_t* colour, int w, int h, int bpp,
                                         int threshold, int dpi, float previousDominant) {
    int stride = (w + 3) / 4 * 4;
    auto dark = [&](int x, int y) { return bin[y * stride + x] <= threshold; };
    std::vector<std::uint8_t> visited(w * h, 0);
    RefTextFilterResult r;
    RefLabel(w, h, visited, r.comps, dark, [](int, int) { return true; });
    RefBoxes(r.comps);
    RefGapRatios(r.comps, dark);
    RLimits lim = RefLimits(dpi, 0.0496063f);
    for (RComponent& c : r.comps) c.cls = RefTextFilterClass(c, lim);
    r.dominant = RefDominantSize(r.comps, lim, dpi, previousDominant);
    r.orientation = RefOrientation(r.comps, w, h, dpi, r.dominant);
    RefAttach(r.comps, dpi, r.dominant, r.orientation, 10000);
    int stride24 = (3 * w + 3) / 4 * 4;
    for (RComponent& c : r.comps) {
        if (c.cls == 1) continue;
        for (RPoint p : c.points) {
            if (bpp == 24 && colour) {
                colour[p.y * stride24 + 3 * p.x] = 255;
                colour[p.y * stride24 + 3 * p.x + 1] = 255;
                colour[p.y * stride24 + 3 * p.x + 2] = 255;
            } else {
                bin[p.y * stride + p.x] = 255;
            }
        }
    }
    return r;
}

}  // namespace ref
