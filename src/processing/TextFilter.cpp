// Text filter. The binary image is labelled and classified with the text-
// filter scheme; after the dominant size, orientation and attachment passes
// every component that is not text is erased (white in the colour copy or in
// the binary image), which leaves the copy centring measures.
#include "processing/TextFilter.h"

#include "processing/ComponentClasses.h"

#include "processing/PixelMath.h"

bool CTextFilter::Run(const TextFilterParams& params) {
    if (!params.page.grey || !analysis_.Begin(params.page.width, params.page.height, params.page.dpi)) {
        analysis_.components.clear();
        return false;
    }
    std::uint8_t* const bin = params.page.grey;
    const std::size_t stride = px::Stride8(params.page.width);
    const int threshold = params.threshold;
    auto dark = [bin, stride, threshold](int x, int y) { return bin[stride * y + x] <= threshold; };

    comp::ComponentAnalysis& ca = analysis_;
    ca.CandidatesAtMost(bin, threshold);
    ca.LabelCandidates();
    ca.ComputeGapRatios(dark);
    ca.SetSizeLimits(px::kInch1_26mm);
    for (comp::PageComponent& c : ca.components)
        if (c.cls == comp::ComponentClass::kUnclassified) c.cls = comp::ClassifyTextFilter(c, ca);
    ca.DominantCharSize();
    ca.DetectTextOrientation();
    ca.AttachToText(10000);

    const bool colour = params.page.bitsPerPixel == 24 && params.page.colour;
    const std::size_t stride24 = px::Stride24(params.page.width);
    for (const comp::PageComponent& c : ca.components) {
        if (c.cls == comp::ComponentClass::kText) continue;
        for (const comp::Point p : ca.Points(c)) {
            if (colour) {
                std::uint8_t* q = params.page.colour + stride24 * p.y + 3 * static_cast<std::size_t>(p.x);
                q[0] = q[1] = q[2] = 255;
            } else {
                bin[stride * p.y + p.x] = 255;
            }
        }
    }
    return true;
}

void CTextFilter::Free() { analysis_.Free(); }
