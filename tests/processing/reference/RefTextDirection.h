// Plain reference of the text-direction detector, written afresh from the
// behaviour it must have rather than from the engine: a skeleton grid with
// bounds-checked reads, Zhang-Suen thinning stated as its neighbour sequence,
// the four scans and both stroke patterns of each scan as data read off the
// vote table (the ratio as numerator/denominator step letters), and the
// straightness test as its three numbered steps. Slow on purpose; the
// detector must give identical votes and skeletons. The character finding
// before it is the plain component analysis of RefComponents.h with the stain
// classification of RefPageEngines.h.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "processing/PixelMath.h"
#include "processing/reference/RefComponents.h"
#include "processing/reference/RefPageEngines.h"

namespace ref {

struct DirectionOutcome {
    int angle = 0;
    std::array<int, 4> votes{};
    std::vector<std::uint8_t> skeleton;  // map after junctions (width x height), before the scans
};

namespace direction_ref {

// Skeleton map values.
constexpr std::uint8_t kOff = 0, kOn = 1, kWalked = 2, kFork = 3;

// Step letters of the tracer, in the order it looks at the four neighbours:
// down (y + 1), up (y - 1), left (x - 1), right (x + 1).
enum Letter { D = 0, U = 1, L = 2, R = 3 };

struct Grid {
    int w = 0, h = 0;
    std::vector<std::uint8_t> v;
    // Outside the image reads as background.
    int get(int x, int y) const { return x < 0 || y < 0 || x >= w || y >= h ? 0 : v[static_cast<std::size_t>(y) * w + x]; }
    void set(int x, int y, std::uint8_t value) { v[static_cast<std::size_t>(y) * w + x] = value; }
    bool inner(int x, int y) const { return x >= 1 && y >= 1 && x <= w - 2 && y <= h - 2; }
};

// One stroke pattern as the vote table writes it: the two step kinds whose
// share counts, the ratio numerator/denominator, and the straightness
// arguments a, b and kind.
struct StrokePattern {
    Letter numerator, denominator;
    int a, b, kind;
};

// Per scan k: first the pattern giving 2, then the one giving 3.
//   k 0: up/left (-1,-1,2), up/right (+1,-1,3)
//   k 1: down/left (-1,+1,2), up/left (-1,-1,3)
//   k 2: down/right (+1,+1,2), down/left (-1,+1,3)
//   k 3: up/right (+1,-1,2), down/right (+1,+1,3)
inline const StrokePattern kVoteTable[4][2] = {
    {{U, L, -1, -1, 2}, {U, R, +1, -1, 3}},
    {{D, L, -1, +1, 2}, {U, L, -1, -1, 3}},
    {{D, R, +1, +1, 2}, {D, L, -1, +1, 3}},
    {{U, R, +1, -1, 2}, {D, R, +1, +1, 3}},
};

// The side of the line through the path's ends on which an interior point
// must lie, for scan k and pattern kind.
inline bool ExpectedSide(int k, int kind, float x, float y, float s, float t) {
    const float line = s * x + t;
    if (k == 0) return y <= line + 0.000049f;
    if (k == 2) return y > line - 0.00001f;
    const bool below = (k == 1) == (kind == 2);  // k 1 kind 2 and k 3 kind 3 want y under the line
    return below ? y < line + 0.00001f : y > line - 0.00001f;
}

inline bool StraightPath(const Grid& g, const std::vector<RPoint>& path, const StrokePattern& pat, int k) {
    const int c = static_cast<int>(path.size());
    if (c < 3) return false;
    // 1. Runs of step classes (none = 0, horizontal = 1, vertical = 2).
    int runs = 1;
    int previous = 0;
    for (int i = 1; i < c; ++i) {
        const int moveX = path[i].x - path[i - 1].x;
        const int moveY = path[i].y - path[i - 1].y;
        const bool horizontal = (pat.a < 0 && moveX < 0) || (pat.a > 0 && moveX > 0);
        const bool vertical = (pat.b < 0 && moveY < 0) || (pat.b > 0 && moveY > 0);
        const int current = horizontal ? 1 : vertical ? 2 : previous;
        if (current != previous) runs += 1;
        previous = current;
    }
    if (runs * 4 < c) return false;
    // 2. A free end, and ends in different columns.
    const RPoint end = path[c - 1], begin = path[0];
    const int neighbours = (g.get(end.x, end.y - 1) != 0) + (g.get(end.x, end.y + 1) != 0) +
                           (g.get(end.x - 1, end.y) != 0) + (g.get(end.x + 1, end.y) != 0);
    if (neighbours >= 2) return false;
    if (begin.x == end.x) return false;
    // 3. Interior points on the expected side of the line through the ends.
    const float s = static_cast<float>(end.y - begin.y) / static_cast<float>(end.x - begin.x);
    const float t = static_cast<float>(begin.y) - static_cast<float>(begin.x) * s;
    int onSide = 0, offSide = 0;
    for (int i = 1; i < c - 1; ++i) {
        if (ExpectedSide(k, pat.kind, static_cast<float>(path[i].x), static_cast<float>(path[i].y), s, t)) ++onSide;
        else ++offSide;
    }
    return static_cast<float>(onSide) > 5.0f * static_cast<float>(offSide);
}

// The tracer: 0, 2 or 3; pixels it walks over are left at kWalked.
inline int Trace(Grid& g, int x, int y, int k, int shortest) {
    if (g.get(x, y) != kOn) return 0;
    g.set(x, y, kWalked);
    std::vector<RPoint> path;
    path.push_back({x, y});
    std::array<int, 4> count{};  // by letter
    const int dx[4] = {0, 0, -1, 1};
    const int dy[4] = {1, -1, 0, 0};
    for (std::size_t next = 0; next < path.size(); ++next) {
        for (int letter = D; letter <= R; ++letter) {
            const int nx = path[next].x + dx[letter], ny = path[next].y + dy[letter];
            if (nx < 0 || ny < 0 || nx >= g.w || ny >= g.h || g.get(nx, ny) != kOn) continue;
            g.set(nx, ny, kWalked);
            path.push_back({nx, ny});
            count[static_cast<std::size_t>(letter)] += 1;
        }
    }
    const int n = count[D] + count[U] + count[L] + count[R];
    if (n <= shortest) return 0;
    for (int which = 0; which < 2; ++which) {
        const StrokePattern& pat = kVoteTable[k][which];
        const int num = count[static_cast<std::size_t>(pat.numerator)];
        const int den = count[static_cast<std::size_t>(pat.denominator)];
        const bool share = static_cast<float>(num + den) / static_cast<float>(n) > 0.8f;
        if (!share) continue;
        const bool ratioOk = num > 0 && den > 0 && static_cast<float>(num) / static_cast<float>(den) >= 0.2f &&
                             num / den <= 5;
        if (!ratioOk) return 0;
        if (StraightPath(g, path, pat, k)) return pat.kind;
    }
    return 0;
}

// Zhang-Suen thinning of one component's points, in stored order, until a
// full cycle of both passes removes nothing.
inline void Thin(Grid& g, const RComponent& c) {
    // The circular neighbour sequence N, NE, E, SE, S, SW, W, NW (N again closes it).
    static const int ox[8] = {0, 1, 1, 1, 0, -1, -1, -1};
    static const int oy[8] = {-1, -1, 0, 1, 1, 1, 0, -1};
    bool changed = true;
    while (changed) {
        changed = false;
        for (int pass = 1; pass <= 2; ++pass) {
            for (const RPoint& q : c.points) {
                if (!g.inner(q.x, q.y) || g.get(q.x, q.y) == 0) continue;
                int around[8];
                for (int i = 0; i < 8; ++i) around[i] = g.get(q.x + ox[i], q.y + oy[i]);
                int ones = 0, rises = 0;
                for (int i = 0; i < 8; ++i) {
                    ones += around[i] == 1;
                    rises += around[i] == 0 && around[(i + 1) % 8] == 1;
                }
                if (ones < 2 || ones > 6 || rises != 1) continue;
                const int n = around[0], e = around[2], s = around[4], w = around[6];
                const int product = pass == 1 ? s * e * (n + w) : n * w * (s + e);
                if (product != 0) continue;
                g.set(q.x, q.y, 0);
                changed = true;
            }
        }
    }
}

// The pixels of a box in the order scan k visits them.
inline void ForEachInScanOrder(const RComponent& c, int k, const std::function<void(int, int)>& f) {
    switch (k) {
    case 0:  // rows bottom - 1 down to top, columns left up to right - 1
        for (int y = c.bottom - 1; y >= c.top; --y)
            for (int x = c.left; x < c.right; ++x) f(x, y);
        return;
    case 1:  // columns right - 1 down to left, rows bottom - 1 down to top
        for (int x = c.right - 1; x >= c.left; --x)
            for (int y = c.bottom - 1; y >= c.top; --y) f(x, y);
        return;
    case 2:  // rows top up to bottom - 1, columns right - 1 down to left + 1
        for (int y = c.top; y < c.bottom; ++y)
            for (int x = c.right - 1; x > c.left; --x) f(x, y);
        return;
    default:  // columns left up to right - 1, rows top up to bottom - 1
        for (int x = c.left; x < c.right; ++x)
            for (int y = c.top; y < c.bottom; ++y) f(x, y);
        return;
    }
}

}  // namespace direction_ref

// The stroke tracer alone on a prepared map (values 0, 1, 3), for hand-made
// cases: returns 0, 2 or 3 and leaves traced pixels at 2.
inline int TraceStroke(std::vector<std::uint8_t>& map, int width, int height, int x, int y, int k, int shortest) {
    direction_ref::Grid g{width, height, map};
    const int result = direction_ref::Trace(g, x, y, k, shortest);
    map = g.v;
    return result;
}

inline DirectionOutcome DetectDirection(const std::uint8_t* image, int width, int height, int threshold, int dpi) {
    using namespace direction_ref;
    DirectionOutcome out;
    if (image == nullptr || width < 1 || height < 1 || width > 32767 || height > 32767) return out;
    const std::size_t stride = px::Stride8(width);
    auto dark = [&](int x, int y) { return image[static_cast<std::size_t>(y) * stride + x] <= threshold; };

    // 1-3. Characters: labelling, stain classes, dominant size, orientation, attachment.
    std::vector<std::uint8_t> visited(static_cast<std::size_t>(width) * height, 0);
    std::vector<RComponent> comps;
    RefLabelSeeded(width, height, visited, nullptr, dark, comps);
    RefBoxes(comps);
    const RLimits limits = RefLimits(dpi, 0.0496063f);
    RefGapRatios(comps, dark);
    RefClassifyStainScheme(comps, limits);
    const float dominant = RefDominantSize(comps, limits, dpi, 0.0f);
    RefAttach(comps, dpi, dominant, RefOrientation(comps, width, height, dpi, dominant), 30000);
    // 4. Characters tested again by shape and ink share alone.
    for (RComponent& c : comps) {
        if (c.cls != 1) continue;
        const long long bw = c.right - c.left + 1, bh = c.bottom - c.top + 1;
        const float aspect = static_cast<float>(bw) / static_cast<float>(bh);
        const bool shapeOk = aspect >= 0.1f && aspect <= 10.0f;
        const bool inkOk = 10LL * static_cast<long long>(c.points.size()) >= bw * bh;
        if (!(shapeOk && inkOk)) c.cls = std::max(bw, bh) < limits.minSide ? 3 : 4;
    }
    auto characters = [&](const std::function<void(const RComponent&)>& f) {
        for (const RComponent& c : comps)
            if (c.cls == 1) f(c);
    };

    // 5. Skeleton.
    Grid g{width, height, std::vector<std::uint8_t>(static_cast<std::size_t>(width) * height, kOff)};
    characters([&](const RComponent& c) {
        for (const RPoint& q : c.points) g.set(q.x, q.y, kOn);
    });
    characters([&](const RComponent& c) { Thin(g, c); });
    // 6. Junctions.
    characters([&](const RComponent& c) {
        for (const RPoint& q : c.points) {
            if (!g.inner(q.x, q.y) || g.get(q.x, q.y) == kOff) continue;
            int four = 0;
            four += g.get(q.x, q.y - 1) != 0;
            four += g.get(q.x, q.y + 1) != 0;
            four += g.get(q.x - 1, q.y) != 0;
            four += g.get(q.x + 1, q.y) != 0;
            if (four >= 3) g.set(q.x, q.y, kFork);
        }
    });
    out.skeleton = g.v;

    // 7. Votes.
    const int shortest = static_cast<int>(static_cast<float>(dpi) * 0.07874016f);
    for (int k = 0; k < 4; ++k) {
        characters([&](const RComponent& c) {
            ForEachInScanOrder(c, k, [&](int x, int y) {
                if (!g.inner(x, y)) return;
                const int result = Trace(g, x, y, k, shortest);
                if (result == 2 || result == 3) out.votes[static_cast<std::size_t>(k)] += 1;
            });
        });
        characters([&](const RComponent& c) {
            for (const RPoint& q : c.points)
                if (g.get(q.x, q.y) == kWalked) g.set(q.x, q.y, kOn);
        });
    }

    // 8. Decision, ties to the smaller k.
    const std::array<int, 4>& v = out.votes;
    int k = 0;
    if (v[3] > v[0] && v[3] > v[1] && v[3] > v[2]) k = 3;
    else if (v[2] > v[0] && v[2] > v[1]) k = 2;
    else if (v[1] > v[0]) k = 1;
    out.angle = 90 * k;
    return out;
}

}  // namespace ref
