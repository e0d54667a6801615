// Plain references of the binding-hole remover, the stain and border
// remover and the text-direction detector, written step by step from the
// behaviour they must have (pixel loops, literal squares, a breadth-first
// fringe over the whole page, thinning over full point lists). Slow on
// purpose; the engines must give identical results. Built on the plain
// component analysis of RefComponents.h.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <utility>
#include <vector>

#include "processing/BindHoleRemover.h"
#include "processing/PixelMath.h"
#include "processing/StainBorderRemover.h"
#include "processing/reference/RefComponents.h"

namespace ref {

// Labelling with an optional seed test (empty: every pixel may seed).
inline void RefLabelSeeded(int w, int h, std::vector<std::uint8_t>& visited, std::function<bool(int, int)> seed,
                           std::function<bool(int, int)> pixel, std::vector<RComponent>& out) {
    RefLabel(w, h, visited, out, pixel, [&](int x, int y) { return !seed || seed(x, y); });
}

// (w + 1) / (h + 1) within 0.1..10, single precision.
inline bool RefAspectOk(const RComponent& c) {
    const float r = static_cast<float>(c.right - c.left + 1) / static_cast<float>(c.bottom - c.top + 1);
    return r >= 0.1f && r <= 10.0f;
}
inline bool RefFillOk(const RComponent& c) {
    return 10LL * static_cast<long long>(c.points.size()) >=
           static_cast<long long>(c.right - c.left + 1) * (c.bottom - c.top + 1);
}
// Class-0 components as the stain remover classifies them.
inline void RefClassifyStainScheme(std::vector<RComponent>& comps, const RLimits& lim) {
    for (auto& c : comps) {
        if (c.cls != 0) continue;
        const int side = std::max(c.right - c.left, c.bottom - c.top) + 1;
        if (side > lim.maxSide) c.cls = 6;
        else if (c.gapMax > 0.2f) c.cls = (RefAspectOk(c) && RefFillOk(c) && RefPeelTest(c)) ? 1 : 3;
        else c.cls = side < lim.minSide ? 3 : 4;
    }
}

// ---- binding holes ----------------------------------------------------

// Runs the removal in place; returns the number of holes filled. When
// `copyOut` is not null and the mark flag is set it receives the comparison
// copy (the colour image's layout, or the grey image's without colour).
inline int RemoveHoles(const BindHoleParams& run, std::vector<std::uint8_t>* copyOut = nullptr);

namespace holes_detail {

struct Ctx {
    const BindHoleParams& p;
    size_t gs, cs;  // strides
    long long L, R, T, B;
    explicit Ctx(const BindHoleParams& run) : p(run) {
        gs = px::Stride8(run.page.width);
        cs = px::Stride24(run.page.width);
        L = band(run.left);
        R = band(run.right);
        T = band(run.top);
        B = band(run.bottom);
    }
    int band(int pct) const {
        return px::SaturatingInt(static_cast<float>(pct) * static_cast<float>(p.page.width) * 0.01f);
    }
    std::uint8_t& g(int x, int y) const { return p.page.grey[static_cast<size_t>(y) * gs + x]; }
    std::uint8_t* c(int x, int y) const { return p.page.colour + static_cast<size_t>(y) * cs + 3 * static_cast<size_t>(x); }
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < p.page.width && y < p.page.height; }

    bool bandTest(int x, int y) const {
        const int W = p.page.width, H = p.page.height;
        if (L <= x && x < W - R && T <= y && y < H - B) return false;
        if (p.ignoreCorners == 0) return true;
        const int cw = px::SaturatingInt(static_cast<float>(W) * static_cast<float>(p.ignoreCorners) * 0.01f);
        const int ch = px::SaturatingInt(static_cast<float>(H) * static_cast<float>(p.ignoreCorners) * 0.01f);
        auto in = [&](long long l, long long t, long long r, long long b) { return l <= x && x < r && t <= y && y < b; };
        if (in(0, 0, cw, ch)) return false;
        if (in(static_cast<long long>(W) - cw - 1, 0, W - 1, ch)) return false;
        if (in(0, static_cast<long long>(H) - ch - 1, cw, H - 1)) return false;
        if (in(static_cast<long long>(W) - cw - 1, static_cast<long long>(H) - ch - 1, W - 1, H - 1)) return false;
        return true;
    }
    bool holePixel(int x, int y) const {
        const int v = g(x, y);
        if (v < p.greyLow || v > p.greyHigh) return false;
        if (p.page.colour && p.backgroundType != 0) {
            const std::uint8_t* q = c(x, y);
            const int mx = std::max({q[0], q[1], q[2]}), mn = std::min({q[0], q[1], q[2]});
            if (mx - mn > p.colourDelta) return false;
        }
        return true;
    }
};

inline bool PatchSearch(const Ctx& k, const RComponent& c, int& dx, int& dy) {
    const int W = k.p.page.width, H = k.p.page.height;
    const int hh = (c.bottom - c.top) / 2, cy = c.top + hh;
    const int hw = (c.right - c.left) / 2, cx = c.left + hw;
    const double n = static_cast<double>(c.points.size());
    auto clean = [&](int ox, int oy) {
        long long count = 0;
        for (const auto& pt : c.points) {
            const int x = pt.x + ox, y = pt.y + oy;
            if (k.inside(x, y) && k.holePixel(x, y)) ++count;
        }
        return count < 0.1 * n;
    };
    if (k.T <= cy && cy <= static_cast<long long>(H) - k.B) {
        const int dist = 2 * (c.bottom - c.top);
        if (cy > H / 2) {
            for (int cand = cy - dist; cand >= hh; cand -= 5)
                if (clean(0, cand - cy)) { dx = 0; dy = cand - cy; return true; }
        } else {
            for (int cand = cy + dist; cand < H - hh; cand += 5)
                if (clean(0, cand - cy)) { dx = 0; dy = cand - cy; return true; }
        }
    } else {
        const int dist = 2 * (c.right - c.left);
        if (cx > W / 2) {
            for (int cand = cx - dist; cand >= hw; cand -= 5)
                if (clean(cand - cx, 0)) { dx = cand - cx; dy = 0; return true; }
        } else {
            for (int cand = cx + dist; cand < W - hw; cand += 5)
                if (clean(cand - cx, 0)) { dx = cand - cx; dy = 0; return true; }
        }
    }
    return false;
}

}  // namespace holes_detail

inline int RemoveHoles(const BindHoleParams& p, std::vector<std::uint8_t>* copyOut) {
    using namespace holes_detail;
    if (!p.page.grey || p.page.width < 1 || p.page.height < 1 || p.page.width > 32767 || p.page.height > 32767) return 0;
    if (p.page.bitsPerPixel == 24 && !p.page.colour) return 0;
    const Ctx k(p);
    const int W = p.page.width, H = p.page.height;
    const bool colourMode = p.page.bitsPerPixel == 24;
    std::vector<std::uint8_t> copy;
    if (p.mark) {
        if (p.page.colour) copy.assign(p.page.colour, p.page.colour + k.cs * H);
        else copy.assign(p.page.grey, p.page.grey + k.gs * H);
    }
    const bool marks = p.mark && colourMode && p.page.colour;

    std::vector<std::uint8_t> visited(static_cast<size_t>(W) * H, 0);
    std::vector<RComponent> comps;
    RefLabelSeeded(W, H, visited, [&](int x, int y) { return k.bandTest(x, y); },
          [&](int x, int y) { return k.bandTest(x, y) && k.holePixel(x, y); }, comps);
    RefBoxes(comps);
    const RLimits lim = RefLimits(p.page.dpi, 0.0496063f);
    RefGapRatios(comps, [&](int x, int y) { return k.holePixel(x, y); });
    for (auto& c : comps) {
        const int w = c.right - c.left, h = c.bottom - c.top, side = std::max(w, h) + 1;
        if (side > lim.maxSide) c.cls = 6;
        else if (c.gapMax > 0.2f && RefAspectOk(c) && RefFillOk(c) && RefPeelTest(c)) c.cls = 1;
        else c.cls = side < lim.minSide ? 3 : 4;
    }
    int filled = 0;
    if (p.on != 0) {
        const long long perMm = px::SaturatingInt(static_cast<float>(p.page.dpi) * 0.03937008f);
        const long long smallest =
            perMm * px::SaturatingInt(static_cast<float>(p.smallestArea) / 25.4f * static_cast<float>(p.page.dpi));
        const long long largest =
            perMm * px::SaturatingInt(static_cast<float>(p.largestArea) / 25.4f * static_cast<float>(p.page.dpi));
        const int r = px::SaturatingInt(static_cast<float>(p.radius) / 25.4f * static_cast<float>(p.page.dpi));
        const bool patch = p.backgroundType != 0 && p.whiteFill == 0;
        for (const auto& c : comps) {
            if (c.cls == 1) continue;
            const long long w = c.right - c.left, h = c.bottom - c.top;
            if (h == 0) continue;
            const float ratio = static_cast<float>(w) / static_cast<float>(h);
            if (ratio < 0.25f || ratio > 4.0f) continue;
            const long long n = static_cast<long long>(c.points.size());
            if (n == 0 || static_cast<double>(w * h) / static_cast<double>(n) > 2.5) continue;
            if (!(c.left > 0 && c.top > 0 && c.right < W - 1 && c.bottom < H - 1)) continue;
            if (n < smallest || n > largest) continue;
            int dx = 0, dy = 0;
            if (!PatchSearch(k, c, dx, dy)) continue;
            ++filled;
            auto valid = [&](int x, int y) { return k.inside(x, y) && k.inside(x + dx, y + dy); };
            auto mark = [&](int x, int y) {
                if (!marks) return;
                std::uint8_t* q = copy.data() + static_cast<size_t>(y) * k.cs + 3 * static_cast<size_t>(x);
                q[0] = 255; q[1] = 0; q[2] = 255;
            };
            for (const auto& pt : c.points) {
                const int x = pt.x, y = pt.y;
                // the pixel itself
                if (valid(x, y)) {
                    if (patch) {
                        if (colourMode) std::copy_n(k.c(x + dx, y + dy), 3, k.c(x, y));
                        else k.g(x, y) = k.g(x + dx, y + dy);
                    } else {
                        if (colourMode) std::fill_n(k.c(x, y), 3, 255);
                        else k.g(x, y) = 255;
                    }
                    mark(x, y);
                }
                // then its square
                for (long long j = -static_cast<long long>(r); j <= static_cast<long long>(r) - 1; ++j) {
                    for (long long i = -static_cast<long long>(r); i <= static_cast<long long>(r) - 1; ++i) {
                        const long long tx = x + i, ty = y + j;
                        if (tx < 0 || ty < 0 || tx >= W || ty >= H) continue;
                        if (!valid(static_cast<int>(tx), static_cast<int>(ty))) continue;
                        const int X = static_cast<int>(tx), Y = static_cast<int>(ty);
                        if (patch) {
                            if (colourMode) {
                                std::copy_n(k.c(X + dx, Y + dy), 3, k.c(X, Y));
                                k.g(X, Y) = 255;
                            } else {
                                k.g(X, Y) = k.g(X + dx, Y + dy);
                            }
                        } else {
                            if (colourMode) {
                                std::fill_n(k.c(X, Y), 3, 255);
                                k.g(X, Y) = 255;
                            } else {
                                k.g(X, Y) = 255;
                            }
                        }
                        mark(X, Y);
                    }
                }
            }
        }
    }
    if (copyOut) *copyOut = std::move(copy);
    return filled;
}

// ---- stains, borders and board ------------------------------------------

struct StainOutcome {
    bool bordersFound = false, boardFound = false;
    std::vector<std::uint8_t> copy;  // comparison copy, empty without the mark flag
    std::vector<int> classes;        // final class of every component, list order
};

inline StainOutcome RemoveStains(const StainBorderParams& run);

namespace stains_detail {
inline const int kN8[8][2] = {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}};

struct Rect {
    long long l, t, r, b;
};
inline bool Overlap(const RComponent& c, const Rect& a) {
    return std::min<long long>(c.right, a.r) >= std::max<long long>(c.left, a.l) &&
           std::min<long long>(c.bottom, a.b) >= std::max<long long>(c.top, a.t);
}
inline long long CountIn(const RComponent& c, const Rect& a) {
    long long n = 0;
    for (const auto& p : c.points)
        if (a.l <= p.x && p.x < a.r && a.t <= p.y && p.y < a.b) ++n;
    return n;
}
inline long long Pct(int pct, int size) { return px::SaturatingInt(pct * 0.01 * size); }
}  // namespace stains_detail

inline StainOutcome RemoveStains(const StainBorderParams& p) {
    using namespace stains_detail;
    StainOutcome out;
    if (!p.page.grey || p.page.width < 1 || p.page.height < 1 || p.page.width > 32767 || p.page.height > 32767) return out;
    const int W = p.page.width, H = p.page.height;
    const size_t gs = px::Stride8(W), cs = px::Stride24(W);
    auto t = [&](int x, int y) -> std::uint8_t& { return p.page.grey[static_cast<size_t>(y) * gs + x]; };
    const long long largest = static_cast<long long>(px::SaturatingInt(p.stainArea / 25.4f * static_cast<float>(p.page.dpi))) *
                              px::SaturatingInt(static_cast<float>(p.page.dpi) * 0.03937008f);
    if (p.mark) {
        if (p.page.colour) out.copy.assign(p.page.colour, p.page.colour + cs * H);
        else out.copy.assign(p.page.grey, p.page.grey + gs * H);
    }
    const bool copy24 = p.mark && p.page.colour;

    std::vector<std::uint8_t> visited(static_cast<size_t>(W) * H, 0);
    const bool needBlack = p.board && p.black && !p.colourPixelsAreBlack;
    auto pixel = [&](int x, int y) {
        if (t(x, y) > p.threshold) return false;
        if (needBlack) {
            const std::uint8_t* q = p.black + static_cast<size_t>(y) * cs + 3 * static_cast<size_t>(x);
            if (q[0] || q[1] || q[2]) return false;
        }
        return true;
    };
    std::vector<RComponent> comps;
    if (p.board) {
        RefLabelSeeded(W, H, visited,
              [&](int x, int y) { const long long b = p.band; return x < b || x >= W - b || y < b || y >= H - b; }, pixel,
              comps);
        for (auto& c : comps) {
            c.cls = 9;
            out.boardFound = true;
        }
    }
    RefLabelSeeded(W, H, visited, nullptr, pixel, comps);
    RefBoxes(comps);
    const RLimits lim = RefLimits(p.page.dpi, 0.0496063f);
    RefGapRatios(comps, [&](int x, int y) { return t(x, y) <= p.threshold; });
    RefClassifyStainScheme(comps, lim);
    const float dominant = RefDominantSize(comps, lim, p.page.dpi, 0.0f);
    const int orient = RefOrientation(comps, W, H, p.page.dpi, dominant);
    RefAttach(comps, p.page.dpi, dominant, orient, 30000);
    for (auto& c : comps) {
        if (c.cls != 1) continue;
        if (!(RefAspectOk(c) && RefFillOk(c) && RefPeelTest(c))) {
            const int side = std::max(c.right - c.left, c.bottom - c.top) + 1;
            c.cls = side < lim.minSide ? 3 : 4;
        }
    }

    const int r = p.eraseRadius;
    const bool squares = p.borders || p.board;
    auto erase = [&](int x, int y) {
        if (p.page.bitsPerPixel != 24) {
            t(x, y) = 255;
            if (squares)
                for (long long j = -static_cast<long long>(r); j <= static_cast<long long>(r) - 1; ++j)
                    for (long long i = -static_cast<long long>(r); i <= static_cast<long long>(r) - 1; ++i) {
                        const long long X = x + i, Y = y + j;
                        if (X >= 0 && Y >= 0 && X < W && Y < H) t(static_cast<int>(X), static_cast<int>(Y)) = 255;
                    }
            return;
        }
        if (!p.page.colour) return;
        auto white = [&](int X, int Y) { std::fill_n(p.page.colour + static_cast<size_t>(Y) * cs + 3 * static_cast<size_t>(X), 3, 255); };
        auto magenta = [&](int X, int Y) {
            std::uint8_t* q = out.copy.data() + static_cast<size_t>(Y) * cs + 3 * static_cast<size_t>(X);
            q[0] = 255; q[1] = 0; q[2] = 255;
        };
        white(x, y);
        if (copy24) magenta(x, y);
        if (squares)
            for (long long j = -static_cast<long long>(r); j <= static_cast<long long>(r) - 1; ++j)
                for (long long i = -static_cast<long long>(r); i <= static_cast<long long>(r) - 1; ++i) {
                    const long long X = x + i, Y = y + j;
                    if (X < 0 || Y < 0 || X >= W || Y >= H) continue;
                    white(static_cast<int>(X), static_cast<int>(Y));
                    t(static_cast<int>(X), static_cast<int>(Y)) = 255;
                    if (copy24 && p.board) magenta(static_cast<int>(X), static_cast<int>(Y));
                }
    };

    std::vector<char> erasedSeed(comps.size(), 0);
    if (p.stains)
        for (size_t i = 0; i < comps.size(); ++i)
            if (comps[i].cls == 2 && static_cast<long long>(comps[i].points.size()) <= largest) {
                erasedSeed[i] = 1;
                for (const auto& q : comps[i].points) erase(q.x, q.y);
            }
    if (p.borders) {
        Rect area{};
        bool haveArea = true;
        if (p.region == 1) {
            area = {Pct(p.left, W), Pct(p.top, H), W - Pct(p.right, W), H - Pct(p.bottom, H)};
        } else {
            haveArea = false;
            for (const auto& c : comps) {
                if (c.cls != 1) continue;
                if (!haveArea) area = {c.left, c.top, c.right, c.bottom};
                area.l = std::min<long long>(area.l, c.left);
                area.t = std::min<long long>(area.t, c.top);
                area.r = std::max<long long>(area.r, c.right);
                area.b = std::max<long long>(area.b, c.bottom);
                haveArea = true;
            }
        }
        if (haveArea) {
            const Rect bands[4] = {{0, 0, Pct(p.left, W), H},
                                   {W - Pct(p.right, W), 0, W, H},
                                   {0, 0, W, Pct(p.top, H)},
                                   {0, H - Pct(p.bottom, H), W, H}};
            for (auto& c : comps) {
                if (c.cls == 1) continue;
                if (p.borderType == 1 && c.cls != 6) continue;
                const double n = static_cast<double>(c.points.size());
                bool erase_it = false;
                if (!Overlap(c, area)) erase_it = true;
                else if (CountIn(c, area) < 0.3 * n) erase_it = true;
                else
                    for (const Rect& b : bands)
                        if (Overlap(c, b) && CountIn(c, b) > 0.8 * n) {
                            erase_it = true;
                            break;
                        }
                if (erase_it) {
                    out.bordersFound = true;
                    for (const auto& q : c.points) erase(q.x, q.y);
                }
            }
        }
    }
    if (p.board)
        for (size_t i = 0; i < comps.size(); ++i)
            if (comps[i].cls == 9) {
                erasedSeed[i] = 1;
                for (const auto& q : comps[i].points) erase(q.x, q.y);
            }

    // Fringe: light-grey pixels reached from kept components are halo 1,
    // those reached only from erased ones halo 2 and erased.
    std::vector<std::uint8_t> halo(static_cast<size_t>(W) * H, 0);
    auto grow = [&](bool fromErased, std::uint8_t value) {
        std::deque<RPoint> queue;
        for (size_t i = 0; i < comps.size(); ++i)
            if (static_cast<bool>(erasedSeed[i]) == fromErased)
                for (const auto& q : comps[i].points) queue.push_back(q);
        while (!queue.empty()) {
            const auto q = queue.front();
            queue.pop_front();
            for (const auto& d : kN8) {
                const int x = q.x + d[0], y = q.y + d[1];
                if (x < 0 || y < 0 || x >= W || y >= H) continue;
                const size_t i = static_cast<size_t>(y) * W + x;
                if (visited[i] || halo[i]) continue;
                if (!(t(x, y) > p.threshold && t(x, y) < 255)) continue;
                halo[i] = value;
                queue.push_back({x, y});
            }
        }
    };
    grow(false, 1);
    grow(true, 2);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (halo[static_cast<size_t>(y) * W + x] == 2) erase(x, y);

    for (const auto& c : comps) out.classes.push_back(c.cls);
    return out;
}

// ---- text direction --------------------------------------------------

struct DirectionOutcome {
    int angle = 0;
    std::array<int, 4> votes{};
    std::vector<std::uint8_t> skeleton;  // map after junctions (width x height), before the scans
};

inline DirectionOutcome DetectDirection(const std::uint8_t* image, int width, int height, int threshold, int dpi);

// The stroke tracer alone on a prepared map (values 0, 1, 3), for hand-made
// cases: returns 0, 2 or 3 and leaves traced pixels at 2.
inline int TraceStroke(std::vector<std::uint8_t>& map, int width, int height, int x, int y, int k, int shortest);

namespace direction_detail {

struct Pattern {
    int p, q;  // step kinds: 0 down, 1 up, 2 left, 3 right; ratio is q / p
    int a, b, kind;
};
// Patterns per scan, giving 2 and 3.
inline const Pattern kPatterns[4][2] = {
    {{2, 1, -1, -1, 2}, {3, 1, +1, -1, 3}},
    {{2, 0, -1, +1, 2}, {2, 1, -1, -1, 3}},
    {{3, 0, +1, +1, 2}, {2, 0, -1, +1, 3}},
    {{3, 1, +1, -1, 2}, {3, 0, +1, +1, 3}},
};

inline bool Straight(const std::vector<std::uint8_t>& map, int W, int H, const std::vector<RPoint>& path, int a,
              int b, int kind, int k) {
    const int c = static_cast<int>(path.size());
    if (c < 3) return false;
    int runs = 1, cls = 0;  // 0 none, 1 horizontal, 2 vertical
    for (int i = 0; i + 1 < c; ++i) {
        const int dx = path[i + 1].x - path[i].x, dy = path[i + 1].y - path[i].y;
        int now = cls;
        if ((a < 0 && dx < 0) || (a > 0 && dx > 0)) now = 1;
        else if ((b < 0 && dy < 0) || (b > 0 && dy > 0)) now = 2;
        if (now != cls) ++runs;
        cls = now;
    }
    if (4 * runs < c) return false;
    const auto last = path.back();
    int around = 0;
    const int d4[4][2] = {{0, 1}, {0, -1}, {-1, 0}, {1, 0}};
    for (const auto& d : d4) {
        const int x = last.x + d[0], y = last.y + d[1];
        if (x >= 0 && y >= 0 && x < W && y < H && map[static_cast<size_t>(y) * W + x] != 0) ++around;
    }
    if (around >= 2) return false;
    const auto first = path.front();
    if (first.x == last.x) return false;
    const float s = static_cast<float>(last.y - first.y) / static_cast<float>(last.x - first.x);
    const float t = static_cast<float>(first.y) - static_cast<float>(first.x) * s;
    int v = 0, u = 0;
    for (int i = 1; i <= c - 2; ++i) {
        const float x = static_cast<float>(path[i].x), y = static_cast<float>(path[i].y);
        bool side;
        if (k == 0) side = y <= s * x + t + 0.000049f;
        else if (k == 1) side = kind == 2 ? y < s * x + t + 0.00001f : y > s * x + t - 0.00001f;
        else if (k == 2) side = y > s * x + t - 0.00001f;
        else side = kind == 2 ? y > s * x + t - 0.00001f : y < s * x + t + 0.00001f;
        if (side) ++v;
        else ++u;
    }
    return static_cast<float>(v) > 5.0f * static_cast<float>(u);
}

}  // namespace direction_detail

inline int TraceStroke(std::vector<std::uint8_t>& map, int W, int H, int x, int y, int k, int m) {
    using namespace direction_detail;
    if (map[static_cast<size_t>(y) * W + x] != 1) return 0;
    map[static_cast<size_t>(y) * W + x] = 2;
    std::vector<RPoint> path{{x, y}};
    int steps[4] = {0, 0, 0, 0};
    const int d4[4][2] = {{0, 1}, {0, -1}, {-1, 0}, {1, 0}};
    for (size_t i = 0; i < path.size(); ++i) {
        for (int d = 0; d < 4; ++d) {
            const int nx = path[i].x + d4[d][0], ny = path[i].y + d4[d][1];
            if (nx < 0 || ny < 0 || nx >= W || ny >= H) continue;
            std::uint8_t& v = map[static_cast<size_t>(ny) * W + nx];
            if (v != 1) continue;
            v = 2;
            path.push_back({nx, ny});
            ++steps[d];
        }
    }
    const int n = steps[0] + steps[1] + steps[2] + steps[3];
    if (n <= m) return 0;
    for (int which = 0; which < 2; ++which) {
        const Pattern& pt = kPatterns[k][which];
        const int P = steps[pt.p], Q = steps[pt.q];
        if (static_cast<float>(P + Q) / static_cast<float>(n) > 0.8f) {
            const bool limits = P > 0 && Q > 0 && static_cast<float>(Q) / static_cast<float>(P) >= 0.2f && Q / P <= 5;
            if (!limits) return 0;
            if (Straight(map, W, H, path, pt.a, pt.b, pt.kind, k)) return which == 0 ? 2 : 3;
        }
    }
    return 0;
}

inline DirectionOutcome DetectDirection(const std::uint8_t* image, int W, int H, int threshold, int dpi) {
    DirectionOutcome out;
    if (!image || W < 1 || H < 1 || W > 32767 || H > 32767) return out;
    const size_t gs = px::Stride8(W);
    auto dark = [&](int x, int y) { return image[static_cast<size_t>(y) * gs + x] <= threshold; };
    std::vector<std::uint8_t> map(static_cast<size_t>(W) * H, 0);
    std::vector<RComponent> comps;
    RefLabelSeeded(W, H, map, nullptr, dark, comps);
    RefBoxes(comps);
    const RLimits lim = RefLimits(dpi, 0.0496063f);
    RefGapRatios(comps, dark);
    RefClassifyStainScheme(comps, lim);
    const float dominant = RefDominantSize(comps, lim, dpi, 0.0f);
    const int orient = RefOrientation(comps, W, H, dpi, dominant);
    RefAttach(comps, dpi, dominant, orient, 30000);
    for (auto& c : comps) {
        if (c.cls != 1) continue;
        if (!(RefAspectOk(c) && RefFillOk(c))) {
            const int side = std::max(c.right - c.left, c.bottom - c.top) + 1;
            c.cls = side < lim.minSide ? 3 : 4;
        }
    }
    std::fill(map.begin(), map.end(), 0);
    for (const auto& c : comps)
        if (c.cls == 1)
            for (const auto& p : c.points) map[static_cast<size_t>(p.y) * W + p.x] = 1;
    auto at = [&](int x, int y) -> std::uint8_t& { return map[static_cast<size_t>(y) * W + x]; };
    auto inFrame = [&](int x, int y) { return x >= 1 && x <= W - 2 && y >= 1 && y <= H - 2; };
    for (const auto& c : comps) {
        if (c.cls != 1) continue;
        for (;;) {
            bool removed = false;
            for (int pass = 0; pass < 2; ++pass) {
                for (const auto& p : c.points) {
                    const int x = p.x, y = p.y;
                    if (!inFrame(x, y) || at(x, y) == 0) continue;
                    const int N = at(x, y - 1), NE = at(x + 1, y - 1), E = at(x + 1, y), SE = at(x + 1, y + 1);
                    const int S = at(x, y + 1), SW = at(x - 1, y + 1), Wv = at(x - 1, y), NW = at(x - 1, y - 1);
                    const int seq[9] = {N, NE, E, SE, S, SW, Wv, NW, N};
                    int ones = 0;
                    for (int i = 0; i < 8; ++i)
                        if (seq[i] == 1) ++ones;
                    int trans = 0;
                    for (int i = 0; i < 8; ++i)
                        if (seq[i] == 0 && seq[i + 1] == 1) ++trans;
                    if (ones < 2 || ones > 6 || trans != 1) continue;
                    const int cond = pass == 0 ? S * E * (N + Wv) : N * Wv * (S + E);
                    if (cond != 0) continue;
                    at(x, y) = 0;
                    removed = true;
                }
            }
            if (!removed) break;
        }
    }
    for (const auto& c : comps) {
        if (c.cls != 1) continue;
        for (const auto& p : c.points) {
            const int x = p.x, y = p.y;
            if (!inFrame(x, y) || at(x, y) == 0) continue;
            const int nz = (at(x, y - 1) != 0) + (at(x, y + 1) != 0) + (at(x + 1, y) != 0) + (at(x - 1, y) != 0);
            if (nz >= 3) at(x, y) = 3;
        }
    }
    out.skeleton = map;
    const int m = static_cast<int>(static_cast<float>(dpi) * 0.07874016f);
    for (int k = 0; k < 4; ++k) {
        auto visit = [&](int x, int y) {
            if (!inFrame(x, y)) return;
            const int res = TraceStroke(map, W, H, x, y, k, m);
            if (res == 2 || res == 3) ++out.votes[k];
        };
        for (const auto& c : comps) {
            if (c.cls != 1) continue;
            if (k == 0) {
                for (int y = c.bottom - 1; y >= c.top; --y)
                    for (int x = c.left; x <= c.right - 1; ++x) visit(x, y);
            } else if (k == 1) {
                for (int x = c.right - 1; x >= c.left; --x)
                    for (int y = c.bottom - 1; y >= c.top; --y) visit(x, y);
            } else if (k == 2) {
                for (int y = c.top; y <= c.bottom - 1; ++y)
                    for (int x = c.right - 1; x >= c.left + 1; --x) visit(x, y);
            } else {
                for (int x = c.left; x <= c.right - 1; ++x)
                    for (int y = c.top; y <= c.bottom - 1; ++y) visit(x, y);
            }
        }
        for (const auto& c : comps)
            if (c.cls == 1)
                for (const auto& p : c.points)
                    if (at(p.x, p.y) == 2) at(p.x, p.y) = 1;
    }
    const auto& V = out.votes;
    int k;
    if (V[3] > std::max({V[0], V[1], V[2]})) k = 3;
    else if (V[2] > std::max(V[0], V[1])) k = 2;
    else if (V[1] > V[0]) k = 1;
    else k = 0;
    out.angle = 90 * k;
    return out;
}

}  // namespace ref
