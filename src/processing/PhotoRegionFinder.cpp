// Photo-region finding. A working copy is binarised at its mean and opened
// (maxima, then as many minima) so that text disappears and pictures stay as
// dark regions; with the usual threshold table this runs on packed bits.
// Regions large enough to be photographs are tested by shape (and, in the
// identity-photo mode, by size), optionally enhanced, and kept as protected
// rectangles for the tone steps.
#include "processing/PhotoRegionFinder.h"

#include "processing/ComponentClasses.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "processing/PixelMath.h"
#include "processing/PixelRows.h"
#include "processing/ToneTables.h"

namespace {

// Identity-photo sizes, width x height in centimetres.
constexpr float kIdentitySizes[12][2] = {{2.1f, 2.6f}, {2.2f, 3.2f}, {2.5f, 3.5f}, {3.3f, 4.8f},
                                         {2.6f, 3.2f}, {2.7f, 3.8f}, {4.0f, 5.5f}, {3.5f, 4.5f},
                                         {3.5f, 4.9f}, {3.5f, 5.3f}, {5.0f, 5.0f}, {3.0f, 4.0f}};

}  // namespace

bool CPhotoRegionFinder::IdentityPhotoSize(int w, int h, int dpi) {
    if (h == 0) return false;
    const float ratio = static_cast<float>(w) / static_cast<float>(h);
    for (const auto& size : kIdentitySizes) {
        const float wp = static_cast<float>(px::SaturatingInt(size[0] * 10.0f / 25.4f * static_cast<float>(dpi)));
        const float hp = static_cast<float>(px::SaturatingInt(size[1] * 10.0f / 25.4f * static_cast<float>(dpi)));
        if (std::fabs(size[0] / size[1] - ratio) < 0.12f && std::fabs(static_cast<float>(w) - wp) < 0.1f * wp &&
            std::fabs(static_cast<float>(h) - hp) < 0.1f * hp)
            return true;
    }
    return false;
}

bool CPhotoRegionFinder::Find(const PhotoRegionParams& p) {
    found_.clear();
    if (!p.page.grey || p.page.width <= 0 || p.page.height <= 0) return false;
    const int w = p.page.width;
    const std::size_t s8 = px::Stride8(w);

    LabelOpenedDarkAreas(p);

    const int smallest = px::InchFractionToPixels(static_cast<float>(p.page.dpi), px::kInch25mm);
    for (comp::PageComponent& c : analysis_.components) {
        const int rw = c.W(), rh = c.H();
        if (std::max(rw, rh) + 1 <= smallest) continue;
        c.cls = comp::ComponentClass::kLarge;
        if (rw == 0 || rh == 0) continue;
        const float aspect = static_cast<float>(rw) / static_cast<float>(rh);
        if (aspect < 0.2f || aspect > 5.0f) continue;
        if (p.mode == PhotoSelection::kIdentitySize && !IdentityPhotoSize(rw, rh, p.page.dpi)) continue;
        const std::int64_t box = static_cast<std::int64_t>(rw) * rh;
        if (static_cast<double>(c.pointCount) < 0.5 * static_cast<double>(box)) continue;
        std::int64_t dark = 0;
        for (int y = c.top; y < c.bottom; ++y) {
            const std::uint8_t* g = p.page.grey + s8 * y;
            for (int x = c.left; x < c.right; ++x) dark += g[x] < 128;
        }
        if (static_cast<double>(dark) / static_cast<double>(box) < 0.2) continue;
        c.cls = comp::ComponentClass::kMarked;
        found_.push_back(RECT{c.left, c.top, c.right, c.bottom});
    }

    if ((p.enhContrast != 0 || p.enhBrightness != 0) && !found_.empty()) Enhance(p);
    return true;
}

void CPhotoRegionFinder::LabelOpenedDarkAreas(const PhotoRegionParams& p) {
    const int w = p.page.width, h = p.page.height;
    const std::size_t s8 = px::Stride8(w);
    // Binarise a working copy at its mean, then open the dark areas:
    // `passes` 3 x 3 maxima, then as many minima.
    const tone::Lut table = tone::BrightnessContrastTable(p.binBrightness, p.binContrast, tone::MeanByte8(p.page.grey, w, h));
    // The usual table (a threshold at the mean) maps levels below some t0 to
    // 0 and the others to 255: then the opening runs on packed bits, light
    // pixels spreading first, then dark ones, and the regions come from runs.
    int t0 = 0;
    while (t0 < 256 && table[t0] < 128) ++t0;
    bool step = true;
    for (int v = 0; v < 256; ++v) step = step && table[v] == (v >= t0 ? 255 : 0);
    analysis_.Begin(w, h, p.page.dpi);
    if (step) {
        bits_.FromThreshold(p.page.grey, w, h, s8, t0, true);
        bits_.Dilate(p.passes);
        bits_.Invert();
        bits_.Dilate(p.passes);
        analysis_.LabelBits(bits_);
    } else {
        work_.assign(p.page.grey, p.page.grey + s8 * static_cast<std::size_t>(h));
        tone::ApplyLut8(work_.data(), w, h, table);
        filter_.Max(work_.data(), w, h, s8, p.passes);
        filter_.Min(work_.data(), w, h, s8, p.passes);
        std::uint8_t* cand = analysis_.CandidateMap();
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) cand[static_cast<std::size_t>(w) * y + x] = work_[s8 * y + x] < 128;
        analysis_.LabelCandidates(comp::ComponentClass::kUnclassified, false);
    }
}

void CPhotoRegionFinder::Enhance(const PhotoRegionParams& p) const {
    const int w = p.page.width, h = p.page.height;
    const std::size_t s8 = px::Stride8(w);
    const ProtectedRects inside(found_, true);
    if (p.page.bitsPerPixel == 24) {
        if (p.page.colour) {
            const tone::Lut t =
                tone::BrightnessContrastTable(p.enhBrightness, p.enhContrast, tone::MeanGrey24(p.page.colour, w, h));
            const std::size_t s24 = px::Stride24(w);
            for (int y = 0; y < h; ++y) {
                std::uint8_t* row = p.page.colour + s24 * y;
                inside.ForEachCoveredSpan(y, w, [&](int x0, int x1) {
                    std::uint8_t* span = row + 3 * static_cast<std::size_t>(x0);
                    px::LookupRow(span, span, 3 * static_cast<std::size_t>(x1 - x0), t.data());
                });
            }
        }
    } else {
        const tone::Lut t = tone::BrightnessContrastTable(p.enhBrightness, p.enhContrast, tone::MeanByte8(p.page.grey, w, h));
        for (int y = 0; y < h; ++y) {
            std::uint8_t* row = p.page.grey + s8 * y;
            inside.ForEachCoveredSpan(y, w, [&](int x0, int x1) {
                px::LookupRow(row + x0, row + x0, static_cast<std::size_t>(x1 - x0), t.data());
            });
        }
    }
}

void CPhotoRegionFinder::Free() {
    work_.clear();
    work_.shrink_to_fit();
    bits_.Reset(0, 0);
    bits_.bits.shrink_to_fit();
    found_.clear();
    found_.shrink_to_fit();
    analysis_.Free();
}
