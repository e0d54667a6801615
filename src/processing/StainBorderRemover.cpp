#include "processing/StainBorderRemover.h"

#include <algorithm>
#include <cstring>

#include "processing/ColourMask.h"
#include "processing/ComponentClasses.h"
#include "processing/PixelMath.h"

namespace {

struct Box {
    std::int64_t l, t, r, b;
};

// Boxes overlap when min(right) >= max(left) and min(bottom) >= max(top).
bool Overlaps(const comp::PageComponent& c, const Box& a) {
    return std::min<std::int64_t>(c.right, a.r) >= std::max<std::int64_t>(c.left, a.l) &&
           std::min<std::int64_t>(c.bottom, a.b) >= std::max<std::int64_t>(c.top, a.t);
}

// Points inside the rectangle, left and top inclusive, right and bottom exclusive.
std::int64_t PointsIn(std::span<const comp::Point> points, const Box& a) {
    std::int64_t n = 0;
    for (const comp::Point& q : points) n += a.l <= q.x && q.x < a.r && a.t <= q.y && q.y < a.b;
    return n;
}

std::int64_t Percent(int percent, int size) { return px::SaturatingInt(percent * 0.01 * size); }

}  // namespace

void CStainBorderRemover::Free() {
    analysis_.Free();
    copy_.clear();
    copy_.shrink_to_fit();
    eraseSet_.clear();
    eraseSet_.shrink_to_fit();
    grown_.clear();
    grown_.shrink_to_fit();
    queue_.clear();
    queue_.shrink_to_fit();
}

void CStainBorderRemover::Run(const StainBorderParams& p) {
    if (!p.test || p.width < 1 || p.height < 1 || p.width > 32767 || p.height > 32767) return;
    params_ = p;
    const int W = p.width, H = p.height;
    comp::ComponentAnalysis& ca = analysis_;
    if (!ca.Begin(W, H, p.dpi)) return;
    const std::size_t gs = px::Stride8(static_cast<std::size_t>(W)), cs = px::Stride24(static_cast<std::size_t>(W));
    const std::int64_t largestStain = px::AreaMm2ToPixels(p.stainArea, static_cast<float>(p.dpi));

    copy_.clear();
    copyIsColour_ = false;
    if (p.mark) {
        if (p.colour) {
            copy_.assign(p.colour, p.colour + cs * static_cast<std::size_t>(H));
            copyIsColour_ = true;
        } else {
            copy_.assign(p.test, p.test + gs * static_cast<std::size_t>(H));
        }
    }

    const std::uint8_t* const test = p.test;
    const int threshold = p.threshold;
    auto dark = [=](int x, int y) { return test[gs * static_cast<std::size_t>(y) + static_cast<std::size_t>(x)] <= threshold; };
    const std::uint8_t* const black = (p.board && p.black && !p.colourPixelsAreBlack) ? p.black : nullptr;
    auto pixel = [=](int x, int y) {
        if (!dark(x, y)) return false;
        if (!black) return true;
        const std::uint8_t* q = black + cs * static_cast<std::size_t>(y) + 3 * static_cast<std::size_t>(x);
        return (q[0] | q[1] | q[2]) == 0;
    };
    if (p.board) {
        const std::int64_t band = p.band;
        ca.Label(pixel, [=](int x, int y) { return x < band || x >= W - band || y < band || y >= H - band; }, 9);
        if (!ca.components.empty()) boardFound_ = true;
    }
    ca.Label(pixel, comp::AnySeed(), 0);
    ca.ComputeGapRatios(dark);
    ca.SetSizeLimits(px::kInch1_26mm);
    for (comp::PageComponent& c : ca.components)
        if (c.cls == 0) c.cls = comp::ClassifyStain(c, ca);
    ca.DominantCharSize();
    ca.DetectTextOrientation();
    ca.AttachToText(30000);
    for (comp::PageComponent& c : ca.components)
        if (c.cls == 1 && !(comp::AspectOk(c) && comp::FillOk(c) && ca.PeelTest(c)))
            c.cls = c.Side() < ca.minSide ? 3 : 4;

    eraseSet_.assign(static_cast<std::size_t>(W) * static_cast<std::size_t>(H), 0);
    auto take = [&](const comp::PageComponent& c) {
        for (const comp::Point& q : ca.Points(c)) eraseSet_[static_cast<std::size_t>(q.y) * W + q.x] = 1;
    };
    std::vector<char> erasedSeed(ca.components.size(), 0);
    bool anySeed = false;
    if (p.stains)
        for (std::size_t i = 0; i < ca.components.size(); ++i) {
            const comp::PageComponent& c = ca.components[i];
            if (c.cls == 2 && static_cast<std::int64_t>(c.pointCount) <= largestStain) {
                erasedSeed[i] = 1;
                anySeed = true;
                take(c);
            }
        }
    if (p.borders) {
        Box area{};
        bool haveArea = false;
        if (p.region == 1) {
            area = {Percent(p.left, W), Percent(p.top, H), W - Percent(p.right, W), H - Percent(p.bottom, H)};
            haveArea = true;
        } else {
            for (const comp::PageComponent& c : ca.components) {
                if (c.cls != 1) continue;
                if (!haveArea) area = {c.left, c.top, c.right, c.bottom};
                area = {std::min<std::int64_t>(area.l, c.left), std::min<std::int64_t>(area.t, c.top),
                        std::max<std::int64_t>(area.r, c.right), std::max<std::int64_t>(area.b, c.bottom)};
                haveArea = true;
            }
        }
        if (haveArea) {
            const Box bands[4] = {{0, 0, Percent(p.left, W), H},
                                  {W - Percent(p.right, W), 0, W, H},
                                  {0, 0, W, Percent(p.top, H)},
                                  {0, H - Percent(p.bottom, H), W, H}};
            for (const comp::PageComponent& c : ca.components) {
                if (c.cls == 1 || (p.borderType == 1 && c.cls != 6)) continue;
                const auto points = ca.Points(c);
                const double n = static_cast<double>(points.size());
                bool border = !Overlaps(c, area) || static_cast<double>(PointsIn(points, area)) < 0.3 * n;
                for (int k = 0; k < 4 && !border; ++k)
                    border = Overlaps(c, bands[k]) && static_cast<double>(PointsIn(points, bands[k])) > 0.8 * n;
                if (border) {
                    bordersFound_ = true;
                    take(c);
                }
            }
        }
    }
    if (p.board)
        for (std::size_t i = 0; i < ca.components.size(); ++i)
            if (ca.components[i].cls == 9) {
                erasedSeed[i] = 1;
                anySeed = true;
                take(ca.components[i]);
            }
    Erase(eraseSet_);
    // Without erased stains or board there is no fringe to take.
    if (anySeed) RemoveFringe(erasedSeed);
}

void CStainBorderRemover::Erase(const std::vector<std::uint8_t>& set) {
    const StainBorderParams& p = params_;
    const int W = p.width, H = p.height;
    const bool colourMode = p.bitsPerPixel == 24;
    if (colourMode && !p.colour) return;
    // bounding box of the set
    int l = W, t = H, r = -1, b = -1;
    for (int y = 0; y < H; ++y) {
        const std::uint8_t* row = set.data() + static_cast<std::size_t>(y) * W;
        const void* any = std::memchr(row, 1, static_cast<std::size_t>(W));
        if (!any) continue;
        int x0 = static_cast<int>(static_cast<const std::uint8_t*>(any) - row), x1 = W - 1;
        while (!row[x1]) --x1;
        l = std::min(l, x0);
        r = std::max(r, x1);
        t = std::min(t, y);
        b = y;
    }
    if (r < 0) return;
    const std::size_t gs = px::Stride8(static_cast<std::size_t>(W)), cs = px::Stride24(static_cast<std::size_t>(W));
    const bool copy24 = p.mark && copyIsColour_;
    auto white = [&](std::size_t x, std::size_t y) { std::memset(p.colour + cs * y + 3 * x, 255, 3); };
    auto magenta = [&](std::size_t x, std::size_t y) {
        std::uint8_t* q = copy_.data() + cs * y + 3 * x;
        q[0] = 255;
        q[1] = 0;
        q[2] = 255;
    };
    for (int y = t; y <= b; ++y)
        for (int x = l; x <= r; ++x) {
            if (!set[static_cast<std::size_t>(y) * W + x]) continue;
            if (!colourMode) {
                p.test[gs * y + x] = 255;
            } else {
                white(x, y);
                if (copy24) magenta(x, y);
            }
        }
    const int rad = p.eraseRadius;
    if (!(p.borders || p.board) || rad <= 0) return;
    // The squares around the erased pixels: one dilation of the set.
    const std::int64_t wl = std::max<std::int64_t>(0, static_cast<std::int64_t>(l) - rad);
    const std::int64_t wt = std::max<std::int64_t>(0, static_cast<std::int64_t>(t) - rad);
    const std::int64_t wr = std::min<std::int64_t>(W - 1, static_cast<std::int64_t>(r) + rad - 1);
    const std::int64_t wb = std::min<std::int64_t>(H - 1, static_cast<std::int64_t>(b) + rad - 1);
    const int ww = static_cast<int>(wr - wl + 1), wh = static_cast<int>(wb - wt + 1);
    const std::size_t ws = px::Stride8(static_cast<std::size_t>(ww));
    grown_.assign(ws * static_cast<std::size_t>(wh), 0);
    for (int y = t; y <= b; ++y)
        for (int x = l; x <= r; ++x)
            if (set[static_cast<std::size_t>(y) * W + x])
                grown_[ws * static_cast<std::size_t>(y - wt) + static_cast<std::size_t>(x - wl)] = colourmask::kColour;
    colourmask::GrowColourMask(grown_.data(), ww, wh, rad);
    for (int y = 0; y < wh; ++y) {
        const std::uint8_t* m = grown_.data() + ws * static_cast<std::size_t>(y);
        const std::size_t Y = static_cast<std::size_t>(wt + y);
        for (int x = 0; x < ww; ++x) {
            if (!m[x]) continue;
            const std::size_t X = static_cast<std::size_t>(wl + x);
            p.test[gs * Y + X] = 255;
            if (colourMode) {
                white(X, Y);
                if (copy24 && p.board) magenta(X, Y);
            }
        }
    }
}

void CStainBorderRemover::RemoveFringe(const std::vector<char>& erasedSeed) {
    // Light-grey pixels (threshold < byte < 255, not labelled) form their own
    // 8-connected pieces. A piece touching a kept component belongs to it
    // (halo 1); a piece touching only erased stains or board (halo 2) is
    // erased with them. Pixels of a kept piece that were never reached stay
    // as they are, which is all that matters about them.
    const StainBorderParams& p = params_;
    const int W = p.width, H = p.height;
    const std::size_t gs = px::Stride8(static_cast<std::size_t>(W));
    comp::ComponentAnalysis& ca = analysis_;
    enum : std::uint8_t { kFree = 0, kKept = 1, kErased = 2, kQueued = 3, kHaloKept = 4, kHaloErased = 5 };
    std::uint8_t* map = ca.Visited();  // non-zero (1) on every labelled pixel
    for (std::size_t i = 0; i < ca.components.size(); ++i)
        if (erasedSeed[i])
            for (const comp::Point& q : ca.Points(ca.components[i])) map[static_cast<std::size_t>(q.y) * W + q.x] = kErased;
    const std::uint8_t* test = p.test;
    const int threshold = p.threshold;
    auto light = [&](int x, int y) {
        const int v = test[gs * static_cast<std::size_t>(y) + static_cast<std::size_t>(x)];
        return v > threshold && v < 255;
    };
    std::fill(eraseSet_.begin(), eraseSet_.end(), 0);
    bool any = false;
    for (std::size_t i = 0; i < ca.components.size(); ++i) {
        if (!erasedSeed[i]) continue;
        for (const comp::Point& s : ca.Points(ca.components[i])) {
            for (const auto& d : comp::kNeighbour8) {
                const int sx = s.x + d[0], sy = s.y + d[1];
                if (sx < 0 || sy < 0 || sx >= W || sy >= H) continue;
                const std::size_t si = static_cast<std::size_t>(sy) * W + sx;
                if (map[si] != kFree || !light(sx, sy)) continue;
                // Flood this light piece until it shows a kept component (or
                // a part already known to belong to one) next to it; only a
                // piece flooded to its end without one is halo 2.
                queue_.clear();
                queue_.push_back(static_cast<std::int32_t>(si));
                map[si] = kQueued;
                bool kept = false;
                for (std::size_t k = 0; k < queue_.size() && !kept; ++k) {
                    const int x = queue_[k] % W, y = queue_[k] / W;
                    for (const auto& e : comp::kNeighbour8) {
                        const int nx = x + e[0], ny = y + e[1];
                        if (nx < 0 || ny < 0 || nx >= W || ny >= H) continue;
                        const std::size_t ni = static_cast<std::size_t>(ny) * W + nx;
                        const std::uint8_t v = map[ni];
                        if (v == kKept || v == kHaloKept) {
                            kept = true;
                            break;
                        }
                        if (v == kFree && light(nx, ny)) {
                            map[ni] = kQueued;
                            queue_.push_back(static_cast<std::int32_t>(ni));
                        }
                    }
                }
                for (std::int32_t qi : queue_) {
                    map[qi] = kept ? kHaloKept : kHaloErased;
                    if (!kept) {
                        eraseSet_[static_cast<std::size_t>(qi)] = 1;
                        any = true;
                    }
                }
            }
        }
    }
    if (any) Erase(eraseSet_);
}
