// Stain, border and black-board removal. The page is labelled (board
// components first, seeded in the edge band), classified with the stain
// scheme, and attached to text; stains, border components and board are chosen
// by their class, size and place, painted white together with their squares
// (row runs painted as rectangles), and the light fringe that belonged only to
// erased components is taken with them.
#include "processing/StainBorderRemover.h"

#include <algorithm>
#include <cstring>

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
    textBefore_.clear();
    textBefore_.shrink_to_fit();
    runsA_.clear();
    runsA_.shrink_to_fit();
    runsB_.clear();
    runsB_.shrink_to_fit();
    queue_.clear();
    queue_.shrink_to_fit();
}

void CStainBorderRemover::Run(const StainBorderParams& p) {
    if (!p.page.grey || p.page.width < 1 || p.page.height < 1 || p.page.width > 32767 || p.page.height > 32767) return;
    params_ = p;
    comp::ComponentAnalysis& ca = analysis_;
    if (!ca.Begin(p.page.width, p.page.height, p.page.dpi)) return;
    KeepComparisonCopy(p);
    LabelAndClassify(p);

    eraseSet_.assign(static_cast<std::size_t>(p.page.width) * static_cast<std::size_t>(p.page.height), 0);
    std::vector<char> erasedSeed(ca.components.size(), 0);
    bool anySeed = false;
    auto takeSeed = [&](std::size_t i) {
        erasedSeed[i] = 1;
        anySeed = true;
        Take(ca.components[i]);
    };
    if (p.stains) {
        const std::int64_t largestStain = px::AreaMm2ToPixels(p.stainArea, static_cast<float>(p.page.dpi));
        for (std::size_t i = 0; i < ca.components.size(); ++i) {
            const comp::PageComponent& c = ca.components[i];
            if (c.cls == comp::ComponentClass::kAttached && static_cast<std::int64_t>(c.pointCount) <= largestStain)
                takeSeed(i);
        }
    }
    if (p.borders) TakeBorders(p);
    if (p.board)
        for (std::size_t i = 0; i < ca.components.size(); ++i)
            if (ca.components[i].cls == comp::ComponentClass::kMarked) takeSeed(i);
    Erase(eraseSet_);
    // Without erased stains or board there is no fringe to take.
    if (anySeed) RemoveFringe(erasedSeed);
}

void CStainBorderRemover::KeepComparisonCopy(const StainBorderParams& p) {
    copy_.clear();
    copyIsColour_ = false;
    if (!p.mark) return;
    const std::size_t rows = static_cast<std::size_t>(p.page.height);
    if (p.page.colour) {
        copy_.assign(p.page.colour, p.page.colour + px::Stride24(static_cast<std::size_t>(p.page.width)) * rows);
        copyIsColour_ = true;
    } else {
        copy_.assign(p.page.grey, p.page.grey + px::Stride8(static_cast<std::size_t>(p.page.width)) * rows);
    }
}

void CStainBorderRemover::LabelAndClassify(const StainBorderParams& p) {
    comp::ComponentAnalysis& ca = analysis_;
    const int W = p.page.width, H = p.page.height;
    const std::size_t gs = px::Stride8(static_cast<std::size_t>(W)), cs = px::Stride24(static_cast<std::size_t>(W));
    const std::uint8_t* const test = p.page.grey;
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
        ca.Label(pixel, [=](int x, int y) { return x < band || x >= W - band || y < band || y >= H - band; },
                 comp::ComponentClass::kMarked);
        if (!ca.components.empty()) boardFound_ = true;
    }
    ca.Label(pixel, comp::AnySeed(), comp::ComponentClass::kUnclassified);
    ca.ComputeGapRatios(dark);
    ca.SetSizeLimits(px::kInch1_26mm);
    for (comp::PageComponent& c : ca.components)
        if (c.cls == comp::ComponentClass::kUnclassified) c.cls = comp::ClassifyStain(c, ca);
    // Characters from the classification passed the character tests
    // already; only those attached to text are tested again.
    textBefore_.assign(ca.components.size(), 0);
    for (std::size_t i = 0; i < ca.components.size(); ++i)
        textBefore_[i] = ca.components[i].cls == comp::ComponentClass::kText;
    ca.DominantCharSize();
    ca.DetectTextOrientation();
    ca.AttachToText(30000);
    for (std::size_t i = 0; i < ca.components.size(); ++i) {
        comp::PageComponent& c = ca.components[i];
        if (c.cls == comp::ComponentClass::kText && !textBefore_[i] &&
            !(comp::AspectOk(c) && comp::FillOk(c) && ca.PeelTest(c)))
            c.cls = c.Side() < ca.minSide ? comp::ComponentClass::kSmall : comp::ComponentClass::kMedium;
    }
}

void CStainBorderRemover::Take(const comp::PageComponent& c) {
    const std::size_t W = static_cast<std::size_t>(params_.page.width);
    for (const comp::Point& q : analysis_.Points(c)) eraseSet_[static_cast<std::size_t>(q.y) * W + q.x] = 1;
}

void CStainBorderRemover::TakeBorders(const StainBorderParams& p) {
    const comp::ComponentAnalysis& ca = analysis_;
    const int W = p.page.width, H = p.page.height;
    Box area{};
    bool haveArea = false;
    if (p.region == 1) {
        area = {Percent(p.left, W), Percent(p.top, H), W - Percent(p.right, W), H - Percent(p.bottom, H)};
        haveArea = true;
    } else {
        for (const comp::PageComponent& c : ca.components) {
            if (c.cls != comp::ComponentClass::kText) continue;
            if (!haveArea) area = {c.left, c.top, c.right, c.bottom};
            area = {std::min<std::int64_t>(area.l, c.left), std::min<std::int64_t>(area.t, c.top),
                    std::max<std::int64_t>(area.r, c.right), std::max<std::int64_t>(area.b, c.bottom)};
            haveArea = true;
        }
    }
    if (!haveArea) return;
    const Box bands[4] = {{0, 0, Percent(p.left, W), H},
                          {W - Percent(p.right, W), 0, W, H},
                          {0, 0, W, Percent(p.top, H)},
                          {0, H - Percent(p.bottom, H), W, H}};
    for (const comp::PageComponent& c : ca.components) {
        if (c.cls == comp::ComponentClass::kText || (p.borderType == 1 && c.cls != comp::ComponentClass::kLarge))
            continue;
        const auto points = ca.Points(c);
        const double n = static_cast<double>(points.size());
        bool border = !Overlaps(c, area) || static_cast<double>(PointsIn(points, area)) < 0.3 * n;
        for (int k = 0; k < 4 && !border; ++k)
            border = Overlaps(c, bands[k]) && static_cast<double>(PointsIn(points, bands[k])) > 0.8 * n;
        if (border) {
            bordersFound_ = true;
            Take(c);
        }
    }
}

void CStainBorderRemover::Erase(const std::vector<std::uint8_t>& set) {
    // Every pixel of the set is erased, and with borders or board on every
    // pixel of the square of offsets -r..r-1 around it. Painting white is the
    // same in any order, so the set is taken row by row as runs, and the
    // squares of a run that repeats unchanged over consecutive rows are
    // painted as one rectangle.
    const StainBorderParams& p = params_;
    const int W = p.page.width, H = p.page.height;
    const bool colourMode = p.page.bitsPerPixel == 24;
    if (colourMode && !p.page.colour) return;
    const std::size_t gs = px::Stride8(static_cast<std::size_t>(W)), cs = px::Stride24(static_cast<std::size_t>(W));
    const bool copy24 = p.mark && copyIsColour_;
    const std::int64_t rad = p.eraseRadius;
    const bool squares = (p.borders || p.board) && rad > 0;
    auto magenta = [&](std::int64_t x0, std::int64_t x1, std::int64_t y) {
        std::uint8_t* q = copy_.data() + cs * static_cast<std::size_t>(y) + 3 * static_cast<std::size_t>(x0);
        for (std::int64_t x = x0; x <= x1; ++x, q += 3) {
            q[0] = 255;
            q[1] = 0;
            q[2] = 255;
        }
    };
    // the pixels themselves
    auto pixels = [&](int x0, int x1, int y) {
        if (!colourMode) {
            std::memset(p.page.grey + gs * static_cast<std::size_t>(y) + static_cast<std::size_t>(x0), 255,
                        static_cast<std::size_t>(x1 - x0 + 1));
            return;
        }
        std::memset(p.page.colour + cs * static_cast<std::size_t>(y) + 3 * static_cast<std::size_t>(x0), 255,
                    3 * static_cast<std::size_t>(x1 - x0 + 1));
        if (copy24) magenta(x0, x1, y);
    };
    // the squares of the run x0..x1 over rows y0..y1
    auto block = [&](int x0, int x1, int y0, int y1) {
        const std::int64_t l = std::max<std::int64_t>(0, x0 - rad), r = std::min<std::int64_t>(W - 1, x1 + rad - 1);
        const std::int64_t t = std::max<std::int64_t>(0, y0 - rad), b = std::min<std::int64_t>(H - 1, y1 + rad - 1);
        for (std::int64_t y = t; y <= b; ++y) {
            std::memset(p.page.grey + gs * static_cast<std::size_t>(y) + static_cast<std::size_t>(l), 255,
                        static_cast<std::size_t>(r - l + 1));
            if (!colourMode) continue;
            std::memset(p.page.colour + cs * static_cast<std::size_t>(y) + 3 * static_cast<std::size_t>(l), 255,
                        3 * static_cast<std::size_t>(r - l + 1));
            if (copy24 && p.board) magenta(l, r, y);
        }
    };
    std::vector<EraseRun>& prev = runsA_;
    std::vector<EraseRun>& cur = runsB_;
    prev.clear();
    for (int y = 0; y <= H; ++y) {
        cur.clear();
        if (y < H) {
            const std::uint8_t* row = set.data() + static_cast<std::size_t>(y) * W;
            const std::uint8_t* at = static_cast<const std::uint8_t*>(std::memchr(row, 1, static_cast<std::size_t>(W)));
            while (at) {
                const int x0 = static_cast<int>(at - row);
                int x1 = x0;
                while (x1 + 1 < W && row[x1 + 1]) ++x1;
                cur.push_back({x0, x1, y});
                pixels(x0, x1, y);
                at = x1 + 1 < W ? static_cast<const std::uint8_t*>(std::memchr(row + x1 + 1, 1, static_cast<std::size_t>(W - x1 - 1)))
                                : nullptr;
            }
        }
        if (!squares) continue;
        // carry runs that continue unchanged; paint those that ended
        std::size_t k = 0;
        for (const EraseRun& r : prev) {
            while (k < cur.size() && cur[k].x0 < r.x0) ++k;
            if (k < cur.size() && cur[k].x0 == r.x0 && cur[k].x1 == r.x1) cur[k].since = r.since;
            else block(r.x0, r.x1, r.since, y - 1);
        }
        std::swap(prev, cur);
    }
}

void CStainBorderRemover::RemoveFringe(const std::vector<char>& erasedSeed) {
    // Light-grey pixels (threshold < byte < 255, not labelled) form their own
    // 8-connected pieces. A piece touching a kept component belongs to it
    // (halo 1); a piece touching only erased stains or board (halo 2) is
    // erased with them. Pixels of a kept piece that were never reached stay
    // as they are, which is all that matters about them.
    const StainBorderParams& p = params_;
    const int W = p.page.width, H = p.page.height;
    const std::size_t gs = px::Stride8(static_cast<std::size_t>(W));
    comp::ComponentAnalysis& ca = analysis_;
    enum : std::uint8_t { kFree = 0, kKept = 1, kErased = 2, kQueued = 3, kHaloKept = 4, kHaloErased = 5 };
    std::uint8_t* map = ca.Visited();  // non-zero (1) on every labelled pixel
    for (std::size_t i = 0; i < ca.components.size(); ++i)
        if (erasedSeed[i])
            for (const comp::Point& q : ca.Points(ca.components[i])) map[static_cast<std::size_t>(q.y) * W + q.x] = kErased;
    const std::uint8_t* test = p.page.grey;
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
