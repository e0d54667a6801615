// The shared component analysis. Labelling grows each component breadth first
// in the Neighbour8 order from seeds taken in raster order; on packed bit
// images whole runs are joined instead (the same components, numbered in the
// order of their first pixel). Gap ratios, size limits, the dominant character
// size, the text orientation and the attachment of small and medium components
// to text follow the shared rules, so that every engine classifies from the
// same measurements.
#include "processing/Components.h"

#include "processing/ComponentClasses.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace comp {

bool ComponentAnalysis::Begin(int width, int height, int dpi) {
    if (width <= 0 || height <= 0) return false;
    width_ = width;
    height_ = height;
    dpi_ = dpi;
    components.clear();
    points_.clear();
    mapReady_ = false;
    return true;
}

std::uint8_t* ComponentAnalysis::Map() {
    if (!mapReady_) {
        visited_.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), 0);
        mapReady_ = true;
    }
    return visited_.data();
}

namespace {

// Index of the first non-zero byte of p[from..n), or n.
std::size_t NextNonZero(const std::uint8_t* p, std::size_t from, std::size_t n) {
    std::size_t i = from;
    while (i < n && (i & 7) != 0) {
        if (p[i]) return i;
        ++i;
    }
    while (i + 8 <= n) {
        std::uint64_t v;
        std::memcpy(&v, p + i, 8);
        if (v != 0) break;
        i += 8;
    }
    while (i < n && !p[i]) ++i;
    return i;
}

}  // namespace

void ComponentAnalysis::LabelCandidates(ComponentClass startClass, bool keepPoints) {
    if (width_ <= 0 || height_ <= 0) return;
    std::uint8_t* const cand = Map();
    const std::size_t stride = static_cast<std::size_t>(width_);
    const std::size_t total = stride * static_cast<std::size_t>(height_);
    // A neighbour joins when it is still a candidate; joining uses it up.
    auto claim = [](std::uint8_t& candidate, int, int) {
        if (!candidate) return false;
        candidate = 0;
        return true;
    };
    for (std::size_t seed = NextNonZero(cand, 0, total); seed < total; seed = NextNonZero(cand, seed + 1, total)) {
        cand[seed] = 0;
        Grow(static_cast<int>(seed % stride), static_cast<int>(seed / stride), startClass, keepPoints, cand, claim);
    }
}

void ComponentAnalysis::LabelBits(const morph::BitImage& bits, ComponentClass startClass) {
    if (bits.width != width_ || bits.height != height_ || width_ <= 0 || height_ <= 0) return;
    runs_.clear();
    runParent_.clear();
    auto find = [this](std::uint32_t i) {
        while (runParent_[i] != i) {
            runParent_[i] = runParent_[runParent_[i]];
            i = runParent_[i];
        }
        return i;
    };
    // Runs of one row are 8-connected to runs of the row before that reach
    // one column beyond them on either side. The smaller run index is always
    // the root, so a component's root is its first run in raster order,
    // which holds its first pixel.
    std::size_t prevBegin = 0, prevEnd = 0;
    for (int y = 0; y < height_; ++y) {
        std::size_t j = prevBegin;
        const std::size_t rowBegin = runs_.size();
        bits.ForEachRun(y, [&](int x0, int x1) {
            const auto i = static_cast<std::uint32_t>(runs_.size());
            runs_.push_back({y, x0, x1});
            runParent_.push_back(i);
            while (j < prevEnd && runs_[j].x1 < x0) ++j;
            for (std::size_t k = j; k < prevEnd && runs_[k].x0 <= x1; ++k) {
                const std::uint32_t a = find(i), b = find(static_cast<std::uint32_t>(k));
                if (a != b) runParent_[a > b ? a : b] = a < b ? a : b;
            }
        });
        prevBegin = rowBegin;
        prevEnd = runs_.size();
    }
    // Parents always have smaller indices, so in index order a run's parent
    // is settled before the run: index[i] (overwriting the parent) becomes
    // the component of run i, numbered in root order.
    std::vector<std::uint32_t>& index = runParent_;
    const std::size_t first = components.size();
    for (std::size_t i = 0; i < runs_.size(); ++i) {
        const std::uint32_t parent = runParent_[i];
        const Run& r = runs_[i];
        if (parent == i) {
            PageComponent c;
            c.cls = startClass;
            c.hasPoints = false;
            c.firstPoint = points_.size();
            c.left = r.x0;
            c.right = r.x1 - 1;
            c.top = c.bottom = r.y;
            c.pointCount = static_cast<std::size_t>(r.x1 - r.x0);
            index[i] = static_cast<std::uint32_t>(components.size() - first);
            components.push_back(c);
            continue;
        }
        const std::uint32_t ci = index[parent];
        index[i] = ci;
        PageComponent& c = components[first + ci];
        c.pointCount += static_cast<std::size_t>(r.x1 - r.x0);
        c.left = std::min(c.left, r.x0);
        c.right = std::max(c.right, r.x1 - 1);
        c.bottom = r.y;
    }
}

void ComponentAnalysis::CandidatesAtMost(const std::uint8_t* image8, int threshold) {
    const std::size_t w = static_cast<std::size_t>(width_), stride8 = px::Stride8(w);
    // Every byte is written below: no need to clear the map first.
    visited_.resize(w * static_cast<std::size_t>(height_));
    mapReady_ = true;
    std::uint8_t* cand = visited_.data();
    if (threshold < 0) {
        std::memset(cand, 0, w * static_cast<std::size_t>(height_));
        return;
    }
    const std::uint8_t t = static_cast<std::uint8_t>(threshold > 255 ? 255 : threshold);
    for (int y = 0; y < height_; ++y) {
        const std::uint8_t* in = image8 + stride8 * y;
        std::uint8_t* out = cand + w * y;
        for (std::size_t x = 0; x < w; ++x) out[x] = in[x] <= t;
    }
}

void ComponentAnalysis::Free() {
    components.clear();
    components.shrink_to_fit();
    points_.clear();
    points_.shrink_to_fit();
    visited_.clear();
    visited_.shrink_to_fit();
    mapReady_ = false;
    peelGrid_.clear();
    peelGrid_.shrink_to_fit();
}

void ComponentAnalysis::SetSizeLimits(float minSideInches) {
    const float dpi = static_cast<float>(dpi_);
    maxSide = px::InchFractionToPixels(dpi, px::kInch22_64mm);
    minSide = px::InchFractionToPixels(dpi, minSideInches);
}

int ComponentAnalysis::BucketLimit(int j) const {
    return px::MmToPixels(kCharSizeTable[static_cast<std::size_t>(j)], static_cast<float>(dpi_));
}

void ComponentAnalysis::DominantCharSize() {
    buckets.fill(0);
    int limits[18];
    for (int j = 0; j < 18; ++j) limits[j] = BucketLimit(j);
    for (const PageComponent& c : components) {
        if (c.cls != ComponentClass::kText) continue;
        const int height = c.bottom - c.top + 1;
        if (height < minSide || height > maxSide) continue;
        for (int j = 0; j < 18; ++j) {
            if (height < limits[j]) {
                ++buckets[static_cast<std::size_t>(j)];
                break;
            }
        }
    }
    int best = -1;
    for (int j = 0; j < 18; ++j)
        if (buckets[static_cast<std::size_t>(j)] > 0 &&
            (best < 0 || buckets[static_cast<std::size_t>(j)] >= buckets[static_cast<std::size_t>(best)]))
            best = j;
    if (best >= 0) dominantSize = kCharSizeTable[static_cast<std::size_t>(best)];
}

namespace {

struct ProfileLines {
    int expected = 0;  // g: rows above the level, in character heights, rounded
    int found = 0;     // n: lines separated by more than a millimetre
};

// One profile (rows or columns) against the level f = 3e.
ProfileLines CountLines(const std::vector<std::int64_t>& profile, int e, int mmPixels) {
    const std::int64_t f = 3 * static_cast<std::int64_t>(e);
    std::int64_t above = 0;
    for (std::int64_t v : profile) above += v > f;
    ProfileLines r;
    r.expected = px::SaturatingInt(static_cast<float>(above) / static_cast<float>(e) + 0.4999f);
    bool inLine = false;
    std::int64_t gapRows = 0, lineRows = 0;
    for (std::int64_t v : profile) {
        if (!inLine) {
            if (v > f)
                inLine = true;
            else
                ++gapRows;
        } else if (v > f) {
            ++lineRows;
        } else {
            if (lineRows > e / 2 && gapRows > mmPixels) ++r.found;
            lineRows = gapRows = 0;
            inLine = false;
        }
    }
    return r;
}

}  // namespace

void ComponentAnalysis::DetectTextOrientation() {
    orientation = 1;
    if (dominantSize == 0.0f) return;
    const int e = px::MmToPixels(dominantSize, static_cast<float>(dpi_));
    // A character height below one pixel (absurd dpi) gives no profile to
    // count in; keep horizontal lines.
    if (e <= 0) return;
    std::vector<std::int64_t> rows(static_cast<std::size_t>(height_) + 1, 0);
    std::vector<std::int64_t> cols(static_cast<std::size_t>(width_) + 1, 0);
    bool any = false;
    for (const PageComponent& c : components) {
        if (c.cls != ComponentClass::kText) continue;
        any = true;
        rows[static_cast<std::size_t>(c.top)] += c.right - c.left + 1;
        rows[static_cast<std::size_t>(c.bottom) + 1] -= c.right - c.left + 1;
        cols[static_cast<std::size_t>(c.left)] += c.bottom - c.top + 1;
        cols[static_cast<std::size_t>(c.right) + 1] -= c.bottom - c.top + 1;
    }
    if (!any) return;
    for (std::size_t i = 1; i < rows.size(); ++i) rows[i] += rows[i - 1];
    for (std::size_t i = 1; i < cols.size(); ++i) cols[i] += cols[i - 1];
    rows.pop_back();
    cols.pop_back();
    const int mm = px::PixelsPerMm(static_cast<float>(dpi_));
    const ProfileLines byRows = CountLines(rows, e, mm);
    if (byRows.found + 0.1 >= byRows.expected * 0.5) return;
    const ProfileLines byCols = CountLines(cols, e, mm);
    if (byCols.found + 0.1 >= byCols.expected * 0.5)
        orientation = 0;
    else
        orientation = byRows.found >= byCols.found ? 1 : 0;
}

void ComponentAnalysis::AttachToText(int limit) {
    const std::int64_t a = px::SaturatingInt(static_cast<float>(dpi_) * (dominantSize / 25.4f));
    const std::size_t n = components.size();
    std::vector<std::size_t> text;
    for (std::size_t j = 0; j < n; ++j)
        if (components[j].cls == ComponentClass::kText) text.push_back(j);

    // Class 4: near a text component by centre distance. Components that
    // become text are compared with the later ones; list order decides.
    for (std::size_t i = 0; i < n; ++i) {
        PageComponent& ci = components[i];
        if (ci.cls != ComponentClass::kMedium) continue;
        const std::int64_t cxi = ci.CentreX(), cyi = ci.CentreY(), wi = ci.W();
        bool near = false;
        for (std::size_t j : text) {
            const PageComponent& cj = components[j];
            const std::int64_t k = (wi + cj.W()) / 2 + a;
            if (k <= 0) continue;
            const std::int64_t dx = cj.CentreX() - cxi, dy = cj.CentreY() - cyi;
            // sqrt(d2) < k for integers d2 >= 0, k > 0 is d2 < k^2.
            if (dx * dx + dy * dy < k * k) {
                near = true;
                break;
            }
        }
        ci.cls = near ? ComponentClass::kText : ComponentClass::kAttached;
        if (near) text.insert(std::upper_bound(text.begin(), text.end(), i), i);
    }

    std::size_t small = 0;
    for (const PageComponent& c : components) small += c.cls == ComponentClass::kSmall;
    if (small > static_cast<std::size_t>(limit < 0 ? 0 : limit)) return;

    for (std::size_t i = 0; i < n; ++i) {
        PageComponent& ci = components[i];
        if (ci.cls != ComponentClass::kSmall) continue;
        const std::int64_t cxi = ci.CentreX(), cyi = ci.CentreY(), wi = ci.W(), hi = ci.H();
        bool near = false;
        for (std::size_t j : text) {
            const PageComponent& cj = components[j];
            const std::int64_t wsum = wi + cj.W(), hsum = hi + cj.H();
            const std::int64_t dx = std::llabs(cxi - cj.CentreX()), dy = std::llabs(cyi - cj.CentreY());
            if (dx < wsum / 2 && dy < hsum / 2) {
                near = true;
            } else if (orientation == 1) {
                near = dx <= 3 * wsum / 2 && dy <= hsum / 2;
            } else {
                near = dy <= 3 * hsum / 2 && dx <= wsum / 2;
            }
            if (near) break;
        }
        ci.cls = near ? ComponentClass::kText : ComponentClass::kAttached;
        if (near) text.insert(std::upper_bound(text.begin(), text.end(), i), i);
    }
}

int ComponentAnalysis::PeelPasses(const PageComponent& c) {
    if (c.right < c.left || c.bottom < c.top || c.pointCount == 0) return 0;
    // Passes = the largest city-block distance of a point to the nearest
    // empty cell or the outside of the grid (cells on the grid's edge are at
    // distance 1): the peel removes exactly the cells at distance k in pass k.
    const std::size_t gw = static_cast<std::size_t>(c.W()) + 1, gh = static_cast<std::size_t>(c.H()) + 1;
    peelGrid_.assign(gw * gh, 0);
    constexpr std::int32_t kFar = std::numeric_limits<std::int32_t>::max() / 2;
    for (const Point& p : Points(c))
        peelGrid_[static_cast<std::size_t>(p.y - c.top) * gw + static_cast<std::size_t>(p.x - c.left)] = kFar;
    std::int32_t* g = peelGrid_.data();
    for (std::size_t y = 0; y < gh; ++y) {
        for (std::size_t x = 0; x < gw; ++x) {
            std::int32_t& v = g[y * gw + x];
            if (v == 0) continue;
            const std::int32_t up = y > 0 ? g[(y - 1) * gw + x] : 0;
            const std::int32_t left = x > 0 ? g[y * gw + x - 1] : 0;
            v = std::min(v, std::min(up, left) + 1);
        }
    }
    std::int32_t passes = 0;
    for (std::size_t y = gh; y-- > 0;) {
        for (std::size_t x = gw; x-- > 0;) {
            std::int32_t& v = g[y * gw + x];
            if (v == 0) continue;
            const std::int32_t down = y + 1 < gh ? g[(y + 1) * gw + x] : 0;
            const std::int32_t right = x + 1 < gw ? g[y * gw + x + 1] : 0;
            v = std::min(v, std::min(down, right) + 1);
            passes = std::max(passes, v);
        }
    }
    return passes;
}

bool ComponentAnalysis::PeelTest(const PageComponent& c) {
    const int side = std::max(c.W(), c.H()) + 1;
    const int limit = px::SaturatingInt(static_cast<float>(side) * 0.15f + 1.0f);
    return PeelPasses(c) <= limit;
}

ComponentClass ClassifyTextFilter(const PageComponent& c, const ComponentAnalysis& ca) {
    const int side = c.Side();
    if (side > ca.maxSide) return ComponentClass::kLarge;
    if (GapsLikeText(c)) return ComponentClass::kText;
    return side < ca.minSide ? ComponentClass::kSmall : ComponentClass::kMedium;
}

}  // namespace comp
