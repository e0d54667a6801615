// Red seal removal and strengthening. Red pixels are marked with the shared
// colour test, grown, and labelled into regions; with the seal filter only
// regions of seal size and red density are kept. Removal replaces each box by
// the red channel through the seal table and curve (so red ink turns white and
// black text stays); strengthening stretches the levels of each box and pushes
// the red of its red pixels through a curve.
#include "processing/RedSealEngine.h"

#include <algorithm>

#include "processing/ColourMask.h"
#include "processing/PixelMath.h"
#include "processing/ToneTables.h"

bool CRedSealEngine::Run(const RedSealParams& p) {
    regions_.clear();
    if (!p.page.colour || p.page.width <= 0 || p.page.height <= 0 || p.page.width > kMaxSide || p.page.height > kMaxSide) return false;
    const int w = p.page.width, h = p.page.height;
    const std::size_t s8 = px::Stride8(w);
    mask_.assign(s8 * static_cast<std::size_t>(h), 0);
    if (p.page.bitsPerPixel != 24) return true;

    const colourmask::ColourTest red{p.redLead, p.saturation, true};
    if (colourmask::MarkColourPixels(p.page.colour, w, h, red, mask_.data()) == 0) return true;
    colourmask::GrowColourMask(mask_.data(), w, h, px::InchFractionToPixels(static_cast<float>(p.page.dpi), px::kInch2mm));

    // Regions of the grown mask, in the order of their first pixel.
    analysis_.Begin(w, h, p.page.dpi);
    const std::uint8_t* m = mask_.data();
    std::uint8_t* cand = analysis_.CandidateMap();
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) cand[static_cast<std::size_t>(w) * y + x] = m[s8 * y + x] != 0;
    analysis_.LabelCandidates();
    const std::int64_t least =
        static_cast<std::int64_t>(px::AreaMm2ToPixels(static_cast<float>(p.sealArea), static_cast<float>(p.page.dpi)));
    for (const comp::PageComponent& c : analysis_.components) {
        const auto points = analysis_.Points(c);
        std::int64_t redCount = 0;
        for (std::size_t i = 1; i < points.size(); ++i) redCount += m[s8 * points[i].y + points[i].x] == 1;
        if (p.type == SealScope::kSeals) {
            const std::int64_t area = static_cast<std::int64_t>(c.right - c.left) * (c.bottom - c.top);
            if (area < least || 20 * redCount < area || area < 2 * redCount) continue;
        }
        regions_.push_back({c.left, c.top, c.right, c.bottom, redCount});
    }
    if (regions_.empty()) return true;

    if (p.mode == SealAction::kRemove)
        Remove(p);
    else if (p.mode == SealAction::kStrengthen)
        Strengthen(p);
    return true;
}

void CRedSealEngine::Remove(const RedSealParams& p) {
    const int w = p.page.width, h = p.page.height;
    const std::size_t s8 = px::Stride8(w), s24 = px::Stride24(w);
    // The red channel as a grey image, through the brightness/contrast table
    // pivoted on its mean and the seal curve.
    redPlane_.assign(s8 * static_cast<std::size_t>(h), 0);
    tone::ExtractChannel(p.page.colour, redPlane_.data(), w, h, 2);
    const int mean = tone::MeanByte8(redPlane_.data(), w, h);
    curve_.SetChannel(0);
    curve_.SetProtected(ProtectedRects());
    curve_.SetPoints({0, 0}, {105, 65}, {255, 255});
    curve_.BuildLut();
    const tone::Lut lut =
        tone::Compose(tone::BrightnessContrastTable(p.erase + 40, p.textStrength + 20, mean), curve_.Lut());
    // Every box reads the plane as it was before any box was written.
    for (const SealRegion& r : regions_) {
        for (int y = r.top; y < r.bottom; ++y) {
            const std::uint8_t* g = redPlane_.data() + s8 * y;
            std::uint8_t* q = p.page.colour + s24 * y;
            for (int x = r.left; x < r.right; ++x) q[3 * x] = q[3 * x + 1] = q[3 * x + 2] = lut[g[x]];
        }
    }
}

void CRedSealEngine::Strengthen(const RedSealParams& p) {
    const int w = p.page.width;
    const std::size_t s8 = px::Stride8(w), s24 = px::Stride24(w);
    // Levels, box by box in list order (a later box sees what an earlier one
    // stretched where they overlap).
    for (const SealRegion& r : regions_) {
        const int bw = r.right - r.left, bh = r.bottom - r.top;
        if (bw <= 0 || bh <= 0) continue;  // an empty box has no levels to stretch
        tone::Histogram hist[3] = {};
        for (int y = r.top; y < r.bottom; ++y) {
            const std::uint8_t* q = p.page.colour + s24 * y + 3 * static_cast<std::size_t>(r.left);
            for (int x = 0; x < bw; ++x, q += 3) {
                ++hist[0][q[0]];
                ++hist[1][q[1]];
                ++hist[2][q[2]];
            }
        }
        const std::int64_t t =
            tone::ClipCount(static_cast<float>(p.clip), static_cast<std::int64_t>(bw) * bh, 0.001f);
        int lo = 255, hi = 0;
        for (const tone::Histogram& hc : hist) {
            lo = std::min(lo, tone::LowClipLevel(hc, t));
            hi = std::max(hi, tone::HighClipLevel(hc, t));
        }
        const tone::Lut stretch = tone::StretchTable(lo, hi);
        for (int y = r.top; y < r.bottom; ++y) {
            std::uint8_t* q = p.page.colour + s24 * y + 3 * static_cast<std::size_t>(r.left);
            for (int i = 0; i < 3 * bw; ++i) q[i] = stretch[q[i]];
        }
    }
    // Red push: the red channel of the boxes' red pixels through the curve.
    curve_.SetChannel(1);
    curve_.SetProtected(ProtectedRects());
    curve_.SetPoints({0, 0}, {75, 188}, {255, 255});
    curve_.BuildLut();
    std::vector<std::uint8_t>& pushed = boxPixels_;
    pushed.assign(s8 * static_cast<std::size_t>(p.page.height), 0);
    for (const SealRegion& r : regions_)
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                if (mask_[s8 * y + x] == 1) pushed[s8 * y + x] = 1;
    curve_.ApplyMasked(p.page.colour, pushed.data(), w, p.page.height);
}

void CRedSealEngine::Free() {
    mask_.clear();
    mask_.shrink_to_fit();
    redPlane_.clear();
    redPlane_.shrink_to_fit();
    boxPixels_.clear();
    boxPixels_.shrink_to_fit();
    regions_.clear();
    regions_.shrink_to_fit();
    analysis_.Free();
    curve_.Free();
}
