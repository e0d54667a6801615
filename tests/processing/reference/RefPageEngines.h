// Plain references of the binding-hole remover and the stain and border
// remover, written step by step from the behaviour they must have (pixel
// loops, literal squares, a breadth-first fringe over the whole page). Slow on
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

}  // namespace ref
