// Text-component analysis for the skew search's text-only mask. Components are
// classed by size, shape and gaps with the analyser's finer scheme; solid
// medium components are attached to characters by centre distance and small
// ones absorbed by nearby characters, each absorbing at most two, so that the
// mask holds text and the marks that belong to it.
#include "processing/TextComponentAnalyzer.h"

#include <cstdlib>

#include "processing/PixelMath.h"

namespace {

constexpr float kSixth = 0.16666667f;

}  // namespace

bool RawAspectOutside(const comp::PageComponent& c) {
    const int w = c.right - c.left, h = c.bottom - c.top;
    if (h == 0) return w != 0;
    const float ratio = static_cast<float>(w) / static_cast<float>(h);
    return ratio > 6.0f || ratio < kSixth;
}

bool CTextComponentAnalyzer::Analyze(const TextComponentParams& p) {
    absorbed_.clear();
    if (!p.page.grey || !analysis_.Begin(p.page.width, p.page.height, p.page.dpi)) {
        analysis_.components.clear();
        width_ = height_ = 0;
        return false;
    }
    width_ = p.page.width;
    height_ = p.page.height;
    const std::uint8_t* grey = p.page.grey;
    const std::size_t stride = px::Stride8(p.page.width);
    const int threshold = p.threshold;
    auto dark = [grey, stride, threshold](int x, int y) { return grey[stride * y + x] <= threshold; };

    comp::ComponentAnalysis& ca = analysis_;
    ca.CandidatesAtMost(grey, threshold);
    ca.LabelCandidates();
    ca.SetSizeLimits(px::kInch3mm);
    ca.ComputeGapRatios(dark, &excess_);
    for (std::size_t i = 0; i < ca.components.size(); ++i) {
        if (excess_[i] > 4) {
            comp::PageComponent& c = ca.components[i];
            c.gapMax = c.gapMin = 0.0;
            c.cls = kRejected;
        }
    }
    for (comp::PageComponent& c : ca.components) {
        if (c.cls != Class::kUnclassified) continue;
        const int side = c.Side();
        const float aspect = static_cast<float>(c.W() + 1) / static_cast<float>(c.H() + 1);
        if (side > ca.maxSide)
            c.cls = kLarge;
        else if (side < ca.minSide)
            c.cls = kSmall;
        else if (aspect > 6.0f || aspect < kSixth)
            c.cls = kRejected;
        else
            c.cls = c.gapMax > static_cast<double>(0.2f) ? kCharacter : kSolid;
    }
    ca.DominantCharSize();
    Attach();
    return true;
}

void CTextComponentAnalyzer::Attach() {
    comp::ComponentAnalysis& ca = analysis_;
    const std::size_t n = ca.components.size();
    absorbed_.assign(n, 0);
    const std::int64_t a = px::SaturatingInt(static_cast<float>(ca.Dpi()) * (ca.dominantSize / 25.4f));
    std::vector<std::size_t> chars;
    for (std::size_t j = 0; j < n; ++j)
        if (ca.components[j].cls == kCharacter) chars.push_back(j);

    // Solid medium components: attached by centre distance, or isolated.
    for (std::size_t i = 0; i < n; ++i) {
        comp::PageComponent& ci = ca.components[i];
        if (ci.cls != kSolid) continue;
        const std::int64_t cxi = ci.CentreX(), cyi = ci.CentreY();
        ci.cls = kIsolated;
        for (std::size_t j : chars) {
            const comp::PageComponent& cj = ca.components[j];
            const std::int64_t k = (static_cast<std::int64_t>(cj.W()) + ci.W()) / 2 + a;
            const std::int64_t dx = cj.CentreX() - cxi, dy = cj.CentreY() - cyi;
            if (k > 0 && dx * dx + dy * dy < k * k) {
                ci.cls = RawAspectOutside(ci) ? kRejected : kAttached;
                break;
            }
        }
    }

    std::size_t small = 0;
    for (const comp::PageComponent& c : ca.components) small += c.cls == kSmall;
    if (small > 10000) return;

    // Small components: absorbed by the first nearby character that has
    // absorbed fewer than two.
    for (std::size_t i = 0; i < n; ++i) {
        comp::PageComponent& ci = ca.components[i];
        if (ci.cls != kSmall) continue;
        if (RawAspectOutside(ci)) {
            ci.cls = kRejected;
            continue;
        }
        const std::int64_t cxi = ci.CentreX(), cyi = ci.CentreY(), wi = ci.W(), hi = ci.H();
        ci.cls = kIsolated;
        for (std::size_t j : chars) {
            if (absorbed_[j] >= 2) continue;
            const comp::PageComponent& cj = ca.components[j];
            const std::int64_t wsum = wi + cj.W(), hsum = hi + cj.H();
            const std::int64_t dx = std::llabs(cxi - cj.CentreX()), dy = std::llabs(cyi - cj.CentreY());
            if ((dx < wsum / 2 && dy < hsum / 2) || (dx <= wsum && dy <= hsum / 2)) {
                ci.cls = kAttached;
                ++absorbed_[j];
                break;
            }
        }
    }
}

bool CTextComponentAnalyzer::ClearTextPixels(std::uint8_t* mask, int width, int height) const {
    if (!mask || width != width_ || height != height_ || width <= 0) return false;
    const std::size_t stride = px::Stride8(width);
    for (const comp::PageComponent& c : analysis_.components) {
        if (c.cls != kCharacter && c.cls != kAttached) continue;
        for (const comp::Point p : analysis_.Points(c)) mask[stride * p.y + p.x] = 0;
    }
    return true;
}

void CTextComponentAnalyzer::Free() {
    analysis_.Free();
    absorbed_.clear();
    absorbed_.shrink_to_fit();
    excess_.clear();
    excess_.shrink_to_fit();
    width_ = height_ = 0;
}
