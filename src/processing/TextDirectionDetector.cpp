// Text-direction detection. Characters found with the shared analysis are
// thinned to skeletons (Zhang-Suen, in place over each component's points),
// cut at their junctions, and traced from the stroke ends met in four scan
// orders; straight diagonal strokes of the scan's patterns vote, and the scan
// with most votes gives the quarter turn.
#include "processing/TextDirectionDetector.h"

#include <algorithm>

#include "processing/ComponentClasses.h"
#include "processing/PixelMath.h"

namespace {

enum : std::uint8_t { kBackground = 0, kSkeleton = 1, kTraced = 2, kJunction = 3 };

// Tracer steps in the order the neighbours are looked at.
enum Step { kDown = 0, kUp = 1, kLeft = 2, kRight = 3 };
constexpr int kStep4[4][2] = {{0, 1}, {0, -1}, {-1, 0}, {1, 0}};

struct Pattern {
    Step p, q;   // the ratio is q / p
    int a, b;    // straightness directions
    int kind;    // 2 or 3: the tracer result
};
// Per scan k, the pattern giving 2 and the one giving 3.
constexpr Pattern kPatterns[4][2] = {
    {{kLeft, kUp, -1, -1, 2}, {kRight, kUp, +1, -1, 3}},
    {{kLeft, kDown, -1, +1, 2}, {kLeft, kUp, -1, -1, 3}},
    {{kRight, kDown, +1, +1, 2}, {kLeft, kDown, -1, +1, 3}},
    {{kRight, kUp, +1, -1, 2}, {kRight, kDown, +1, +1, 3}},
};

// Whether the traced path is a straight staircase ending in a free end,
// lying on the expected side of the line through its ends.
bool Straight(const std::uint8_t* map, int W, int H, const std::vector<comp::Point>& path, const Pattern& pt, int k) {
    const int c = static_cast<int>(path.size());
    if (c < 3) return false;
    int runs = 1, cls = 0;  // step class: 0 none yet, 1 horizontal, 2 vertical
    for (int i = 0; i + 1 < c; ++i) {
        const int dx = path[i + 1].x - path[i].x, dy = path[i + 1].y - path[i].y;
        int now = cls;
        if ((pt.a < 0 && dx < 0) || (pt.a > 0 && dx > 0)) now = 1;
        else if ((pt.b < 0 && dy < 0) || (pt.b > 0 && dy > 0)) now = 2;
        runs += now != cls;
        cls = now;
    }
    if (4 * runs < c) return false;
    const comp::Point last = path.back(), first = path.front();
    int around = 0;
    for (const auto& d : kStep4) {
        const int x = last.x + d[0], y = last.y + d[1];
        around += x >= 0 && y >= 0 && x < W && y < H && map[static_cast<std::size_t>(y) * W + x] != kBackground;
    }
    if (around >= 2 || first.x == last.x) return false;
    const float s = static_cast<float>(last.y - first.y) / static_cast<float>(last.x - first.x);
    const float t = static_cast<float>(first.y) - static_cast<float>(first.x) * s;
    int v = 0, u = 0;
    for (int i = 1; i <= c - 2; ++i) {
        const float x = static_cast<float>(path[i].x), y = static_cast<float>(path[i].y);
        bool side;
        switch (k) {
        case 0: side = y <= s * x + t + 0.000049f; break;
        case 1: side = pt.kind == 2 ? y < s * x + t + 0.00001f : y > s * x + t - 0.00001f; break;
        case 2: side = y > s * x + t - 0.00001f; break;
        default: side = pt.kind == 2 ? y > s * x + t - 0.00001f : y < s * x + t + 0.00001f; break;
        }
        (side ? v : u) += 1;
    }
    return static_cast<float>(v) > 5.0f * static_cast<float>(u);
}

}  // namespace

void CTextDirectionDetector::Free() {
    analysis_.Free();
    active_.clear();
    active_.shrink_to_fit();
    path_.clear();
    path_.shrink_to_fit();
    traced_.clear();
    traced_.shrink_to_fit();
}

void CTextDirectionDetector::Detect(const TextDirectionParams& p) {
    if (!p.image.bits || p.image.width < 1 || p.image.height < 1 || p.image.width > 32767 || p.image.height > 32767) return;
    angle_ = 0;
    votes_ = {0, 0, 0, 0};
    width_ = p.image.width;
    height_ = p.image.height;
    if (!analysis_.Begin(width_, height_, p.dpi)) return;
    FindCharacters(p);
    std::uint8_t* map = BuildSkeleton();
    traced_.clear();
    shortest_ = px::InchFractionToPixels(static_cast<float>(p.dpi), px::kInch2mm);
    for (int k = 0; k < 4; ++k) Scan(map, k);
    const auto& V = votes_;
    int k = 0;
    if (V[3] > std::max({V[0], V[1], V[2]})) k = 3;
    else if (V[2] > std::max(V[0], V[1])) k = 2;
    else if (V[1] > V[0]) k = 1;
    angle_ = 90 * k;
}

void CTextDirectionDetector::FindCharacters(const TextDirectionParams& p) {
    comp::ComponentAnalysis& ca = analysis_;
    const std::size_t gs = px::Stride8(static_cast<std::size_t>(width_));
    const std::uint8_t* const img = p.image.bits;
    const int threshold = p.threshold;
    auto dark = [=](int x, int y) { return img[gs * static_cast<std::size_t>(y) + static_cast<std::size_t>(x)] <= threshold; };
    ca.Label(dark);
    ca.ComputeGapRatios(dark);
    ca.SetSizeLimits(px::kInch1_26mm);
    for (comp::PageComponent& c : ca.components)
        if (c.cls == comp::ComponentClass::kUnclassified) c.cls = comp::ClassifyStain(c, ca);
    ca.DominantCharSize();
    ca.DetectTextOrientation();
    ca.AttachToText(30000);
    // Characters are tested again by shape and ink share alone.
    for (comp::PageComponent& c : ca.components)
        if (c.cls == comp::ComponentClass::kText && !(comp::AspectOk(c) && comp::FillOk(c)))
            c.cls = c.Side() < ca.minSide ? comp::ComponentClass::kSmall : comp::ComponentClass::kMedium;
}

std::uint8_t* CTextDirectionDetector::BuildSkeleton() {
    const comp::ComponentAnalysis& ca = analysis_;
    const int W = width_, H = height_;
    // The visited map becomes the skeleton map.
    std::uint8_t* map = analysis_.Visited();
    std::fill(map, map + static_cast<std::size_t>(W) * H, kBackground);
    for (const comp::PageComponent& c : ca.components)
        if (c.cls == comp::ComponentClass::kText)
            for (const comp::Point& q : ca.Points(c)) map[static_cast<std::size_t>(q.y) * W + q.x] = kSkeleton;
    for (const comp::PageComponent& c : ca.components)
        if (c.cls == comp::ComponentClass::kText) Thin(c, map);

    for (const comp::PageComponent& c : ca.components) {
        if (c.cls != comp::ComponentClass::kText) continue;
        for (const comp::Point& q : ca.Points(c)) {
            if (q.x < 1 || q.x > W - 2 || q.y < 1 || q.y > H - 2) continue;
            std::uint8_t* m = map + static_cast<std::size_t>(q.y) * W + q.x;
            if (*m == kBackground) continue;
            const int around = (m[-W] != 0) + (m[W] != 0) + (m[1] != 0) + (m[-1] != 0);
            if (around >= 3) *m = kJunction;
        }
    }
    return map;
}

void CTextDirectionDetector::Scan(std::uint8_t* map, int k) {
    const int W = width_, H = height_;
    auto visit = [&](int x, int y) {
        // only untraced skeleton pixels inside the frame start a stroke
        if (map[static_cast<std::size_t>(y) * W + x] != kSkeleton || x < 1 || x > W - 2 || y < 1 || y > H - 2) return;
        const int res = Trace(map, x, y, k);
        votes_[k] += res == 2 || res == 3;
    };
    for (const comp::PageComponent& c : analysis_.components) {
        if (c.cls != comp::ComponentClass::kText) continue;
        switch (k) {
        case 0:
            for (int y = c.bottom - 1; y >= c.top; --y)
                for (int x = c.left; x <= c.right - 1; ++x) visit(x, y);
            break;
        case 1:
            for (int x = c.right - 1; x >= c.left; --x)
                for (int y = c.bottom - 1; y >= c.top; --y) visit(x, y);
            break;
        case 2:
            for (int y = c.top; y <= c.bottom - 1; ++y)
                for (int x = c.right - 1; x >= c.left + 1; --x) visit(x, y);
            break;
        default:
            for (int x = c.left; x <= c.right - 1; ++x)
                for (int y = c.top; y <= c.bottom - 1; ++y) visit(x, y);
            break;
        }
    }
    // every pixel traced in this scan back to skeleton
    for (const std::int32_t i : traced_) map[i] = kSkeleton;
    traced_.clear();
}

void CTextDirectionDetector::Thin(const comp::PageComponent& c, std::uint8_t* map) {
    // Zhang-Suen thinning of one component, in place over its points in
    // stored order; a removed point is cleared at once. Points already
    // removed, or on the one-pixel frame of the image, never change again and
    // are dropped from the working list (which keeps the order).
    const int W = width_, H = height_;
    active_.clear();
    for (const comp::Point& q : analysis_.Points(c))
        if (q.x >= 1 && q.x <= W - 2 && q.y >= 1 && q.y <= H - 2) active_.push_back(q);
    const std::ptrdiff_t w = W;
    for (;;) {
        bool removed = false;
        for (int pass = 0; pass < 2; ++pass) {
            for (const comp::Point& q : active_) {
                std::uint8_t* m = map + static_cast<std::size_t>(q.y) * W + q.x;
                if (*m == 0) continue;
                const int N = m[-w], NE = m[-w + 1], E = m[1], SE = m[w + 1];
                const int S = m[w], SW = m[w - 1], Wv = m[-1], NW = m[-w - 1];
                const int ones = (N == 1) + (NE == 1) + (E == 1) + (SE == 1) + (S == 1) + (SW == 1) + (Wv == 1) + (NW == 1);
                if (ones < 2 || ones > 6) continue;
                const int trans = (N == 0 && NE == 1) + (NE == 0 && E == 1) + (E == 0 && SE == 1) + (SE == 0 && S == 1) +
                                  (S == 0 && SW == 1) + (SW == 0 && Wv == 1) + (Wv == 0 && NW == 1) + (NW == 0 && N == 1);
                if (trans != 1) continue;
                if ((pass == 0 ? S * E * (N + Wv) : N * Wv * (S + E)) != 0) continue;
                *m = 0;
                removed = true;
            }
        }
        if (!removed) break;
        active_.erase(std::remove_if(active_.begin(), active_.end(),
                                     [&](const comp::Point& q) { return map[static_cast<std::size_t>(q.y) * W + q.x] == 0; }),
                      active_.end());
    }
}

int CTextDirectionDetector::Trace(std::uint8_t* map, int x, int y, int k) {
    const int W = width_, H = height_;
    std::uint8_t& start = map[static_cast<std::size_t>(y) * W + x];
    if (start != kSkeleton) return 0;
    start = kTraced;
    traced_.push_back(y * W + x);
    path_.clear();
    path_.push_back({x, y});
    int steps[4] = {0, 0, 0, 0};
    for (std::size_t i = 0; i < path_.size(); ++i) {
        const comp::Point q = path_[i];
        for (int d = 0; d < 4; ++d) {
            const int nx = q.x + kStep4[d][0], ny = q.y + kStep4[d][1];
            if (nx < 0 || ny < 0 || nx >= W || ny >= H) continue;
            std::uint8_t& v = map[static_cast<std::size_t>(ny) * W + nx];
            if (v != kSkeleton) continue;
            v = kTraced;
            traced_.push_back(ny * W + nx);
            path_.push_back({nx, ny});
            ++steps[d];
        }
    }
    const int n = steps[0] + steps[1] + steps[2] + steps[3];
    if (n <= shortest_) return 0;
    for (const Pattern& pt : kPatterns[k]) {
        const int P = steps[pt.p], Q = steps[pt.q];
        if (!(static_cast<float>(P + Q) / static_cast<float>(n) > 0.8f)) continue;  // try the next pattern
        if (P <= 0 || Q <= 0 || static_cast<float>(Q) / static_cast<float>(P) < 0.2f || Q / P > 5) return 0;
        if (Straight(map, W, H, path_, pt, k)) return pt.kind;
    }
    return 0;
}
