#include "support/DirectionReference.h"

#include <algorithm>

#include "processing/PixelMath.h"
#include "support/ComponentReference.h"

namespace ref {

namespace {

struct Pattern {
    int p, q;  // step kinds: 0 down, 1 up, 2 left, 3 right; ratio is q / p
    int a, b, kind;
};
// Patterns per scan, giving 2 and 3.
const Pattern kPatterns[4][2] = {
    {{2, 1, -1, -1, 2}, {3, 1, +1, -1, 3}},
    {{2, 0, -1, +1, 2}, {2, 1, -1, -1, 3}},
    {{3, 0, +1, +1, 2}, {2, 0, -1, +1, 3}},
    {{3, 1, +1, -1, 2}, {3, 0, +1, +1, 3}},
};

bool Straight(const std::vector<std::uint8_t>& map, int W, int H, const std::vector<std::pair<int, int>>& path, int a,
              int b, int kind, int k) {
    const int c = static_cast<int>(path.size());
    if (c < 3) return false;
    int runs = 1, cls = 0;  // 0 none, 1 horizontal, 2 vertical
    for (int i = 0; i + 1 < c; ++i) {
        const int dx = path[i + 1].first - path[i].first, dy = path[i + 1].second - path[i].second;
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
        const int x = last.first + d[0], y = last.second + d[1];
        if (x >= 0 && y >= 0 && x < W && y < H && map[static_cast<size_t>(y) * W + x] != 0) ++around;
    }
    if (around >= 2) return false;
    const auto first = path.front();
    if (first.first == last.first) return false;
    const float s = static_cast<float>(last.second - first.second) / static_cast<float>(last.first - first.first);
    const float t = static_cast<float>(first.second) - static_cast<float>(first.first) * s;
    int v = 0, u = 0;
    for (int i = 1; i <= c - 2; ++i) {
        const float x = static_cast<float>(path[i].first), y = static_cast<float>(path[i].second);
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

}  // namespace

int TraceStroke(std::vector<std::uint8_t>& map, int W, int H, int x, int y, int k, int m) {
    if (map[static_cast<size_t>(y) * W + x] != 1) return 0;
    map[static_cast<size_t>(y) * W + x] = 2;
    std::vector<std::pair<int, int>> path{{x, y}};
    int steps[4] = {0, 0, 0, 0};
    const int d4[4][2] = {{0, 1}, {0, -1}, {-1, 0}, {1, 0}};
    for (size_t i = 0; i < path.size(); ++i) {
        for (int d = 0; d < 4; ++d) {
            const int nx = path[i].first + d4[d][0], ny = path[i].second + d4[d][1];
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

DirectionOutcome DetectDirection(const std::uint8_t* image, int W, int H, int threshold, int dpi) {
    DirectionOutcome out;
    if (!image || W < 1 || H < 1 || W > 32767 || H > 32767) return out;
    const size_t gs = px::Stride8(W);
    auto dark = [&](int x, int y) { return image[static_cast<size_t>(y) * gs + x] <= threshold; };
    std::vector<std::uint8_t> map(static_cast<size_t>(W) * H, 0);
    std::vector<Component> comps;
    Label(W, H, map, nullptr, dark, comps);
    Boxes(comps);
    const Limits lim = SizeLimits(dpi);
    GapRatios(comps, dark);
    ClassifyStainScheme(comps, lim);
    const float dominant = DominantCharSize(comps, dpi, lim, 0.0f);
    const int orient = TextOrientation(comps, W, H, dpi, dominant);
    AttachToText(comps, dpi, dominant, orient, 30000);
    for (auto& c : comps) {
        if (c.cls != 1) continue;
        if (!(AspectOk(c) && FillOk(c))) {
            const int side = std::max(c.right - c.left, c.bottom - c.top) + 1;
            c.cls = side < lim.minSide ? 3 : 4;
        }
    }
    std::fill(map.begin(), map.end(), 0);
    for (const auto& c : comps)
        if (c.cls == 1)
            for (const auto& p : c.points) map[static_cast<size_t>(p.second) * W + p.first] = 1;
    auto at = [&](int x, int y) -> std::uint8_t& { return map[static_cast<size_t>(y) * W + x]; };
    auto inFrame = [&](int x, int y) { return x >= 1 && x <= W - 2 && y >= 1 && y <= H - 2; };
    for (const auto& c : comps) {
        if (c.cls != 1) continue;
        for (;;) {
            bool removed = false;
            for (int pass = 0; pass < 2; ++pass) {
                for (const auto& p : c.points) {
                    const int x = p.first, y = p.second;
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
            const int x = p.first, y = p.second;
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
                    if (at(p.first, p.second) == 2) at(p.first, p.second) = 1;
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
