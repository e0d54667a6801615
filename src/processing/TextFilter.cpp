#include "processing/TextFilter.h"

#include "processing/PixelMath.h"

bool CTextFilter::Run(const TextFilterParams& params) {
    if (!params.binary || !analysis_.Begin(params.width, params.height, params.dpi)) {
        analysis_.components.clear();
        return false;
    }
    std::uint8_t* const bin = params.binary;
    const std::size_t stride = px::Stride8(params.width);
    const int threshold = params.threshold;
    auto dark = [bin, stride, threshold](int x, int y) { return bin[stride * y + x] <= threshold; };

    comp::ComponentAnalysis& ca = analysis_;
    ca.CandidatesAtMost(bin, threshold);
    ca.LabelCandidates();
    ca.ComputeGapRatios(dark);
    ca.SetSizeLimits(px::kInch1_26mm);
    for (comp::PageComponent& c : ca.components)
        if (c.cls == 0) c.cls = comp::ClassifyTextFilter(c, ca);
    ca.DominantCharSize();
    ca.DetectTextOrientation();
    ca.AttachToText(10000);

    const bool colour = params.bitsPerPixel == 24 && params.colour;
    const std::size_t stride24 = px::Stride24(params.width);
    for (const comp::PageComponent& c : ca.components) {
        if (c.cls == 1) continue;
        for (const comp::Point p : ca.Points(c)) {
            if (colour) {
                std::uint8_t* q = params.colour + stride24 * p.y + 3 * static_cast<std::size_t>(p.x);
                q[0] = q[1] = q[2] = 255;
            } else {
                bin[stride * p.y + p.x] = 255;
            }
        }
    }
    return true;
}

void CTextFilter::Free() { analysis_.Free(); }
