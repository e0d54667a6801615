// Character tests and classification schemes that the stain and border
// remover, the binding-hole remover and the text-direction detector apply to
// the components of the shared analysis.
#pragma once

#include "processing/Components.h"

namespace comp {

// The class of a component (PageComponent::cls). The values are the ones the
// engines and their callers use. The shared schemes (text filter, stain,
// hole, blank page, attachment pass) read them as named; the text-component
// analyser has a finer scheme of its own in the same values (3 a medium
// component with no character near, 4 below the smallest character side,
// 5 solid medium, 6 rejected shape, 7 above the largest character side).
enum class ComponentClass : std::int32_t {
    kUnclassified = 0,
    kText = 1,      // a character
    kAttached = 2,  // beside a character without being one (a stain when small)
    kSmall = 3,     // below the smallest character side
    kMedium = 4,    // character-sized but not a character
    kSolid = 5,     // text-component analyser: solid, character-sized
    kLarge = 6,     // above the largest character side, or not shaped like text
    kOversize = 7,  // text-component analyser: above the largest character side
    kMarked = 9,    // scanning-board component, or photo region
};

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
inline ComponentClass ClassifyStain(const PageComponent& c, ComponentAnalysis& ca) {
    const int side = c.Side();
    if (side > ca.maxSide) return ComponentClass::kLarge;
    if (GapsLikeText(c)) return AspectOk(c) && FillOk(c) && ca.PeelTest(c) ? ComponentClass::kText : ComponentClass::kSmall;
    return side < ca.minSide ? ComponentClass::kSmall : ComponentClass::kMedium;
}

// Hole scheme: like the stain scheme, but a gapped component that fails the
// character tests goes by size (3 or 4) like an ungapped one.
inline ComponentClass ClassifyHole(const PageComponent& c, ComponentAnalysis& ca) {
    const int side = c.Side();
    if (side > ca.maxSide) return ComponentClass::kLarge;
    if (GapsLikeText(c) && AspectOk(c) && FillOk(c) && ca.PeelTest(c)) return ComponentClass::kText;
    return side < ca.minSide ? ComponentClass::kSmall : ComponentClass::kMedium;
}

}  // namespace comp
