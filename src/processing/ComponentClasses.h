// Character tests and classification schemes that the stain and border
// remover, the binding-hole remover and the text-direction detector apply to
// the components of the shared analysis.
#pragma once

#include "processing/Components.h"

namespace comp {

// (w + 1) / (h + 1) lies within 0.1..10 (single precision).
inline bool AspectOk(const PageComponent& c) {
    const float r = static_cast<float>(c.W() + 1) / static_cast<float>(c.H() + 1);
    return r >= 0.1f && r <= 10.0f;
}

// At least a tenth of the box is ink: 10 x points >= (w + 1) x (h + 1).
inline bool FillOk(const PageComponent& c) {
    return 10 * static_cast<std::int64_t>(c.pointCount) >=
           static_cast<std::int64_t>(c.W() + 1) * static_cast<std::int64_t>(c.H() + 1);
}

inline bool GapsLikeText(const PageComponent& c) { return c.gapMax > static_cast<double>(0.2f); }

// Stain scheme: side > maxSide 6; with inner gaps, 1 when the shape,
// the ink share and the stroke thickness are those of a character, else 3;
// without, 3 below minSide, else 4.
inline int ClassifyStain(const PageComponent& c, ComponentAnalysis& ca) {
    const int side = c.Side();
    if (side > ca.maxSide) return 6;
    if (GapsLikeText(c)) return AspectOk(c) && FillOk(c) && ca.PeelTest(c) ? 1 : 3;
    return side < ca.minSide ? 3 : 4;
}

// Hole scheme: like the stain scheme, but a gapped component that fails the
// character tests goes by size (3 or 4) like an ungapped one.
inline int ClassifyHole(const PageComponent& c, ComponentAnalysis& ca) {
    const int side = c.Side();
    if (side > ca.maxSide) return 6;
    if (GapsLikeText(c) && AspectOk(c) && FillOk(c) && ca.PeelTest(c)) return 1;
    return side < ca.minSide ? 3 : 4;
}

}  // namespace comp
