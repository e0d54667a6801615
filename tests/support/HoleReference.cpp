#include "support/HoleReference.h"

#include <algorithm>
#include <vector>

#include "processing/PixelMath.h"
#include "support/ComponentReference.h"

namespace ref {

namespace {

struct Ctx {
    const HoleRun& p;
    size_t gs, cs;  // strides
    int L, R, T, B;
    explicit Ctx(const HoleRun& run) : p(run) {
        gs = px::Stride8(run.width);
        cs = px::Stride24(run.width);
        L = band(run.left);
        R = band(run.right);
        T = band(run.top);
        B = band(run.bottom);
    }
    int band(int pct) const {
        return px::SaturatingInt(static_cast<float>(pct) * static_cast<float>(p.width) * 0.01f);
    }
    std::uint8_t& g(int x, int y) const { return p.grey[static_cast<size_t>(y) * gs + x]; }
    std::uint8_t* c(int x, int y) const { return p.colour + static_cast<size_t>(y) * cs + 3 * static_cast<size_t>(x); }
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < p.width && y < p.height; }

    bool bandTest(int x, int y) const {
        const int W = p.width, H = p.height;
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
        if (p.colour && p.backgroundType != 0) {
            const std::uint8_t* q = c(x, y);
            const int mx = std::max({q[0], q[1], q[2]}), mn = std::min({q[0], q[1], q[2]});
            if (mx - mn > p.colourDelta) return false;
        }
        return true;
    }
};

bool PatchSearch(const Ctx& k, const Component& c, int& dx, int& dy) {
    const int W = k.p.width, H = k.p.height;
    const int hh = (c.bottom - c.top) / 2, cy = c.top + hh;
    const int hw = (c.right - c.left) / 2, cx = c.left + hw;
    const double n = static_cast<double>(c.points.size());
    auto clean = [&](int ox, int oy) {
        long long count = 0;
        for (const auto& pt : c.points) {
            const int x = pt.first + ox, y = pt.second + oy;
            if (k.inside(x, y) && k.holePixel(x, y)) ++count;
        }
        return count < 0.1 * n;
    };
    if (k.T <= cy && cy <= H - k.B) {
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

}  // namespace

int RemoveHoles(const HoleRun& p, std::vector<std::uint8_t>* copyOut) {
    if (!p.grey || p.width < 1 || p.height < 1 || p.width > 32767 || p.height > 32767) return 0;
    if (p.bitsPerPixel == 24 && !p.colour) return 0;
    const Ctx k(p);
    const int W = p.width, H = p.height;
    const bool colourMode = p.bitsPerPixel == 24;
    std::vector<std::uint8_t> copy;
    if (p.mark) {
        if (p.colour) copy.assign(p.colour, p.colour + k.cs * H);
        else copy.assign(p.grey, p.grey + k.gs * H);
    }
    const bool marks = p.mark && colourMode && p.colour;

    std::vector<std::uint8_t> visited(static_cast<size_t>(W) * H, 0);
    std::vector<Component> comps;
    Label(W, H, visited, [&](int x, int y) { return k.bandTest(x, y); },
          [&](int x, int y) { return k.bandTest(x, y) && k.holePixel(x, y); }, comps);
    Boxes(comps);
    const Limits lim = SizeLimits(p.dpi);
    GapRatios(comps, [&](int x, int y) { return k.holePixel(x, y); });
    for (auto& c : comps) {
        const int w = c.right - c.left, h = c.bottom - c.top, side = std::max(w, h) + 1;
        if (side > lim.maxSide) c.cls = 6;
        else if (c.gapMax > 0.2f && AspectOk(c) && FillOk(c) && PeelTest(c)) c.cls = 1;
        else c.cls = side < lim.minSide ? 3 : 4;
    }
    int filled = 0;
    if (p.on != 0) {
        const long long perMm = px::SaturatingInt(static_cast<float>(p.dpi) * 0.03937008f);
        const long long smallest =
            perMm * px::SaturatingInt(static_cast<float>(p.smallestArea) / 25.4f * static_cast<float>(p.dpi));
        const long long largest =
            perMm * px::SaturatingInt(static_cast<float>(p.largestArea) / 25.4f * static_cast<float>(p.dpi));
        const int r = px::SaturatingInt(static_cast<float>(p.radius) / 25.4f * static_cast<float>(p.dpi));
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
                const int x = pt.first, y = pt.second;
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

}  // namespace ref
