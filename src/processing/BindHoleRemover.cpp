// Binding-hole removal. Components are labelled only inside the margin bands
// (the band test serves as seed and pixel test), classified with the hole
// scheme, and a non-text component of hole size and shape that stays clear of
// the image edge is filled: white, or with paper copied from a clean offset
// found by stepping from two hole extents away towards the middle. Fills copy
// whole row segments where the offset allows, which gives the same pixels as
// copying point by point in order.
#include "processing/BindHoleRemover.h"

#include <algorithm>
#include <cstring>

#include "processing/ColourMask.h"
#include "processing/ComponentClasses.h"
#include "processing/PixelMath.h"

void BindHoleParams::TakeOptions(const BindHoleOptions& o) {
    on = o.on;
    left = o.left;
    right = o.right;
    top = o.top;
    bottom = o.bottom;
    smallestArea = o.smallestArea;
    largestArea = o.largestArea;
    greyLow = o.greyLow;
    greyHigh = o.greyHigh;
    radius = o.radius;
    ignoreCorners = o.ignoreCorners;
    colourDelta = o.colourDelta;
    whiteFill = o.whiteFill;
    mark = static_cast<std::uint8_t>(o.markFlag & 0xFF);
}

struct CBindHoleRemover::Geometry {
    int W = 0, H = 0;
    std::int64_t L = 0, R = 0, T = 0, B = 0;  // band widths in pixels
    int cw = 0, ch = 0;              // ignored corner sizes (0: none)
    bool corners = false;
    std::size_t gs = 0, cs = 0;
    const std::uint8_t* grey = nullptr;
    const std::uint8_t* colour = nullptr;  // only when the colour test applies
    int low = 0, high = 0, delta = 0;

    bool Band(int x, int y) const {
        if (L <= x && x < W - R && T <= y && y < H - B) return false;
        if (!corners) return true;
        auto in = [&](std::int64_t l, std::int64_t t, std::int64_t r, std::int64_t b) {
            return l <= x && x < r && t <= y && y < b;
        };
        const std::int64_t w = W, h = H;
        return !(in(0, 0, cw, ch) || in(w - cw - 1, 0, w - 1, ch) || in(0, h - ch - 1, cw, h - 1) ||
                 in(w - cw - 1, h - ch - 1, w - 1, h - 1));
    }
    bool HolePixel(int x, int y) const {
        const int v = grey[gs * static_cast<std::size_t>(y) + static_cast<std::size_t>(x)];
        if (v < low || v > high) return false;
        if (colour) {
            const std::uint8_t* q = colour + cs * static_cast<std::size_t>(y) + 3 * static_cast<std::size_t>(x);
            const int mx = std::max({q[0], q[1], q[2]}), mn = std::min({q[0], q[1], q[2]});
            if (mx - mn > delta) return false;
        }
        return true;
    }
};

namespace {
int BandPixels(int percent, int width) {
    return px::SaturatingInt(static_cast<float>(percent) * static_cast<float>(width) * 0.01f);
}
}  // namespace

void CBindHoleRemover::Free() {
    analysis_.Free();
    copy_.clear();
    copy_.shrink_to_fit();
    window_.clear();
    window_.shrink_to_fit();
}

void CBindHoleRemover::Run(const BindHoleParams& p) {
    if (!p.page.grey || p.page.width < 1 || p.page.height < 1 || p.page.width > 32767 || p.page.height > 32767) return;
    const bool colourMode = p.page.bitsPerPixel == 24;
    if (colourMode && !p.page.colour) return;
    params_ = p;
    const int W = p.page.width, H = p.page.height;
    if (!analysis_.Begin(W, H, p.page.dpi)) return;

    Geometry g;
    g.W = W;
    g.H = H;
    g.L = BandPixels(p.left, W);
    g.R = BandPixels(p.right, W);
    g.T = BandPixels(p.top, W);
    g.B = BandPixels(p.bottom, W);
    g.corners = p.ignoreCorners != 0;
    g.cw = BandPixels(p.ignoreCorners, W);
    g.ch = px::SaturatingInt(static_cast<float>(H) * static_cast<float>(p.ignoreCorners) * 0.01f);
    g.gs = px::Stride8(static_cast<std::size_t>(W));
    g.cs = px::Stride24(static_cast<std::size_t>(W));
    g.grey = p.page.grey;
    g.colour = (p.page.colour && p.backgroundType != 0) ? p.page.colour : nullptr;
    g.low = p.greyLow;
    g.high = p.greyHigh;
    g.delta = p.colourDelta;

    copy_.clear();
    copyIsColour_ = false;
    if (p.mark) {
        if (p.page.colour) {
            copy_.assign(p.page.colour, p.page.colour + g.cs * static_cast<std::size_t>(H));
            copyIsColour_ = true;
        } else {
            copy_.assign(p.page.grey, p.page.grey + g.gs * static_cast<std::size_t>(H));
        }
    }

    comp::ComponentAnalysis& ca = analysis_;
    ca.Label([&](int x, int y) { return g.Band(x, y) && g.HolePixel(x, y); },
             [&](int x, int y) { return g.Band(x, y); });
    ca.ComputeGapRatios([&](int x, int y) { return g.HolePixel(x, y); });
    ca.SetSizeLimits(px::kInch1_26mm);
    for (comp::PageComponent& c : ca.components) c.cls = comp::ClassifyHole(c, ca);
    if (p.on == 0) return;

    const float dpi = static_cast<float>(p.page.dpi);
    const int r = px::MmToPixels(static_cast<float>(p.radius), dpi);
    const bool patch = p.backgroundType != 0 && p.whiteFill == 0;
    const bool marks = p.mark && colourMode && copyIsColour_;
    for (const comp::PageComponent& c : ca.components) {
        if (c.cls == comp::ComponentClass::kText || !IsHole(c, g)) continue;
        int dx = 0, dy = 0;
        if (!FindPatch(c, g, dx, dy)) continue;
        if (patch) {
            const std::int64_t side = r > 0 ? 2 * static_cast<std::int64_t>(r) : 1;
            const std::int64_t cost = static_cast<std::int64_t>(c.pointCount) * std::min<std::int64_t>(side, W) *
                                      std::min<std::int64_t>(side, H);
            if (cost > kPatchCopyBudget) continue;
            FillPatch(c, dx, dy, r);
        } else {
            FillWhite(c, dx, dy, r);
        }
        if (marks) Mark(c, dx, dy, r);
    }
}

bool CBindHoleRemover::IsHole(const comp::PageComponent& c, const Geometry& g) const {
    const std::int64_t w = c.W(), h = c.H(), n = static_cast<std::int64_t>(c.pointCount);
    // w / h within 0.25..4 (an empty height gives no ratio: never a hole)
    if (h <= 0) return false;
    const float ratio = static_cast<float>(w) / static_cast<float>(h);
    if (ratio < 0.25f || ratio > 4.0f) return false;
    // w x h / points <= 2.5: at least 40 % of the box is hole
    if (n == 0 || 2 * w * h > 5 * n) return false;
    if (!(c.left > 0 && c.top > 0 && c.right < g.W - 1 && c.bottom < g.H - 1)) return false;
    const float dpi = static_cast<float>(params_.page.dpi);
    const std::int64_t perMm = px::PixelsPerMm(dpi);
    const std::int64_t smallest = perMm * px::MmToPixels(static_cast<float>(params_.smallestArea), dpi);
    const std::int64_t largest = perMm * px::MmToPixels(static_cast<float>(params_.largestArea), dpi);
    return smallest <= n && n <= largest;
}

bool CBindHoleRemover::FindPatch(const comp::PageComponent& c, const Geometry& g, int& dx, int& dy) const {
    const auto points = analysis_.Points(c);
    const double limit = 0.1 * static_cast<double>(points.size());
    // Fewer than 10 % of the shifted points may be hole pixels; points shifted
    // outside the image count as clean.
    auto clean = [&](int ox, int oy) {
        std::int64_t count = 0;
        for (const comp::Point& q : points) {
            const int x = q.x + ox, y = q.y + oy;
            if (x < 0 || y < 0 || x >= g.W || y >= g.H || !g.HolePixel(x, y)) continue;
            if (!(static_cast<double>(++count) < limit)) return false;
        }
        return static_cast<double>(count) < limit;
    };
    const int hh = c.H() / 2, cy = c.top + hh;
    const int hw = c.W() / 2, cx = c.left + hw;
    if (g.T <= cy && cy <= static_cast<std::int64_t>(g.H) - g.B) {
        // left or right band: search up or down towards the middle row
        const int dist = 2 * c.H();
        if (cy > g.H / 2) {
            for (int cand = cy - dist; cand >= hh; cand -= 5)
                if (clean(0, cand - cy)) { dx = 0; dy = cand - cy; return true; }
        } else {
            for (int cand = cy + dist; cand < g.H - hh; cand += 5)
                if (clean(0, cand - cy)) { dx = 0; dy = cand - cy; return true; }
        }
        return false;
    }
    // top or bottom band: search sideways towards the middle column
    const int dist = 2 * c.W();
    if (cx > g.W / 2) {
        for (int cand = cx - dist; cand >= hw; cand -= 5)
            if (clean(cand - cx, 0)) { dx = cand - cx; dy = 0; return true; }
    } else {
        for (int cand = cx + dist; cand < g.W - hw; cand += 5)
            if (clean(cand - cx, 0)) { dx = cand - cx; dy = 0; return true; }
    }
    return false;
}

void CBindHoleRemover::FillPatch(const comp::PageComponent& c, int dx, int dy, int r) {
    // Each hole pixel, then its square, takes the value of the pixel at the
    // offset, in point order: squares that overlap their own sources copy
    // pixels already filled, so the order is kept. With a purely vertical
    // offset every column, with a purely horizontal one every row, is
    // independent and visited in increasing order, so whole row segments can
    // be copied at once.
    const BindHoleParams& p = params_;
    const int W = p.page.width, H = p.page.height;
    const bool colourMode = p.page.bitsPerPixel == 24;
    const std::size_t bpp = colourMode ? 3 : 1;
    const std::size_t stride = colourMode ? px::Stride24(static_cast<std::size_t>(W)) : px::Stride8(static_cast<std::size_t>(W));
    const std::size_t gs = px::Stride8(static_cast<std::size_t>(W));
    std::uint8_t* const img = colourMode ? p.page.colour : p.page.grey;
    auto at = [&](std::int64_t x, std::int64_t y) { return img + stride * static_cast<std::size_t>(y) + bpp * static_cast<std::size_t>(x); };
    // valid targets: inside, and their source inside too
    const std::int64_t xlo = std::max<std::int64_t>(0, -dx), xhi = std::min<std::int64_t>(W - 1, W - 1 - dx);
    const std::int64_t ylo = std::max<std::int64_t>(0, -dy), yhi = std::min<std::int64_t>(H - 1, H - 1 - dy);
    for (const comp::Point& q : analysis_.Points(c)) {
        if (q.x >= xlo && q.x <= xhi && q.y >= ylo && q.y <= yhi) std::memcpy(at(q.x, q.y), at(q.x + dx, q.y + dy), bpp);
        if (r <= 0) continue;
        const std::int64_t x0 = std::max<std::int64_t>(q.x - static_cast<std::int64_t>(r), xlo);
        const std::int64_t x1 = std::min<std::int64_t>(q.x + static_cast<std::int64_t>(r) - 1, xhi);
        const std::int64_t y0 = std::max<std::int64_t>(q.y - static_cast<std::int64_t>(r), ylo);
        const std::int64_t y1 = std::min<std::int64_t>(q.y + static_cast<std::int64_t>(r) - 1, yhi);
        if (x0 > x1 || y0 > y1) continue;
        const std::size_t len = bpp * static_cast<std::size_t>(x1 - x0 + 1);
        for (std::int64_t y = y0; y <= y1; ++y) {
            std::uint8_t* dst = at(x0, y);
            const std::uint8_t* src = at(x0 + dx, y + dy);
            if (dy != 0 || dx > 0) {
                std::memmove(dst, src, len);  // distinct rows, or reading ahead of the writes
            } else {
                for (std::size_t i = 0; i < len; ++i) dst[i] = src[i];  // reading behind: repeats the copy
            }
            if (colourMode) std::memset(p.page.grey + gs * static_cast<std::size_t>(y) + static_cast<std::size_t>(x0), 255,
                                        static_cast<std::size_t>(x1 - x0 + 1));
        }
    }
}

void CBindHoleRemover::CoverWindow(const comp::PageComponent& c, int dx, int dy, int r) {
    const int W = params_.page.width, H = params_.page.height;
    const std::int64_t grow = r > 0 ? r : 0;
    const std::int64_t l = std::max<std::int64_t>(0, c.left - grow), t = std::max<std::int64_t>(0, c.top - grow);
    const std::int64_t rr = std::min<std::int64_t>(W - 1, c.right + std::max<std::int64_t>(grow - 1, 0));
    const std::int64_t b = std::min<std::int64_t>(H - 1, c.bottom + std::max<std::int64_t>(grow - 1, 0));
    winL_ = static_cast<int>(l);
    winT_ = static_cast<int>(t);
    winW_ = static_cast<int>(rr - l + 1);
    winH_ = static_cast<int>(b - t + 1);
    const std::size_t ws = px::Stride8(static_cast<std::size_t>(winW_));
    window_.assign(ws * static_cast<std::size_t>(winH_), 0);
    for (const comp::Point& q : analysis_.Points(c))
        window_[ws * static_cast<std::size_t>(q.y - winT_) + static_cast<std::size_t>(q.x - winL_)] = colourmask::kColour;
    if (grow > 0) colourmask::GrowColourMask(window_.data(), winW_, winH_, r);
    // keep only the targets whose source lies inside the image
    for (int y = 0; y < winH_; ++y) {
        std::uint8_t* m = window_.data() + ws * static_cast<std::size_t>(y);
        const std::int64_t Y = winT_ + y;
        const bool rowOk = Y + dy >= 0 && Y + dy < H;
        for (int x = 0; x < winW_; ++x) {
            if (!m[x]) continue;
            const std::int64_t X = winL_ + x;
            m[x] = (rowOk && X + dx >= 0 && X + dx < W) ? 1 : 0;
        }
    }
}

void CBindHoleRemover::FillWhite(const comp::PageComponent& c, int dx, int dy, int r) {
    // Painting white is the same whatever the order: the union of the hole's
    // pixels and their squares, clipped to targets whose source is inside.
    const BindHoleParams& p = params_;
    const bool colourMode = p.page.bitsPerPixel == 24;
    CoverWindow(c, dx, dy, r);
    const std::size_t ws = px::Stride8(static_cast<std::size_t>(winW_));
    const std::size_t gs = px::Stride8(static_cast<std::size_t>(p.page.width)), cs = px::Stride24(static_cast<std::size_t>(p.page.width));
    // In colour mode a hole pixel itself is whitened in the colour image
    // only; its square (which contains it when r > 0) also whitens the grey.
    const bool greyToo = !colourMode || r > 0;
    for (int y = 0; y < winH_; ++y) {
        const std::uint8_t* m = window_.data() + ws * static_cast<std::size_t>(y);
        const std::size_t Y = static_cast<std::size_t>(winT_ + y);
        for (int x = 0; x < winW_; ++x) {
            if (!m[x]) continue;
            const std::size_t X = static_cast<std::size_t>(winL_ + x);
            if (colourMode) std::memset(p.page.colour + cs * Y + 3 * X, 255, 3);
            if (greyToo) p.page.grey[gs * Y + X] = 255;
        }
    }
}

void CBindHoleRemover::Mark(const comp::PageComponent& c, int dx, int dy, int r) {
    CoverWindow(c, dx, dy, r);
    const std::size_t ws = px::Stride8(static_cast<std::size_t>(winW_));
    const std::size_t cs = px::Stride24(static_cast<std::size_t>(params_.page.width));
    for (int y = 0; y < winH_; ++y) {
        const std::uint8_t* m = window_.data() + ws * static_cast<std::size_t>(y);
        for (int x = 0; x < winW_; ++x) {
            if (!m[x]) continue;
            std::uint8_t* q = copy_.data() + cs * static_cast<std::size_t>(winT_ + y) + 3 * static_cast<std::size_t>(winL_ + x);
            q[0] = 255;
            q[1] = 0;
            q[2] = 255;
        }
    }
}
