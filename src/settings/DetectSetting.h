// What a detection run looks for. The detection dialog writes these values
// when it starts a run; the detection pipeline reads them for every page.
// Process-wide, never saved.
#pragma once

#include <cstdint>

#include "settings/RelaxedAtomic.h"

namespace detect_setting {

struct Values {
    // 0 no margin or edge check, 1 white margins, 2 stray edges of coloured paper.
    RelaxedAtomic<std::int32_t> kind{0};
    // Report pages that need deskewing.
    RelaxedAtomic<std::uint8_t> correct{0};
    // Content colours for kind 2.
    RelaxedAtomic<std::int32_t> red{0};
    RelaxedAtomic<std::int32_t> yellow{0};
    RelaxedAtomic<std::int32_t> green{0};
    RelaxedAtomic<std::int32_t> cyan{0};
    RelaxedAtomic<std::int32_t> blue{0};
    RelaxedAtomic<std::int32_t> purple{0};
    RelaxedAtomic<std::int32_t> black{0};
    RelaxedAtomic<std::int32_t> white{0};
    // Stray edges wider than this many pixels are reported (1 to 1000).
    RelaxedAtomic<std::int32_t> edgePixels{10};
    // Largest skew looked for, degrees (0.05 to 30).
    RelaxedAtomic<float> maxAngle{5.0f};
    // Smallest skew reported, degrees (0.05 to 30, at most maxAngle - 0.1).
    RelaxedAtomic<float> minAngle{0.2f};
    // White margins wider than this percent of the width or height are
    // reported (0.1 to 30).
    RelaxedAtomic<float> marginPercent{5.0f};
};

}  // namespace detect_setting

struct DetectSetting {
    using Values = detect_setting::Values;

    static inline Values values;
    static inline RelaxedAtomic<std::int32_t>& kind = values.kind;
    static inline RelaxedAtomic<std::uint8_t>& correct = values.correct;
    static inline RelaxedAtomic<std::int32_t>& red = values.red;
    static inline RelaxedAtomic<std::int32_t>& yellow = values.yellow;
    static inline RelaxedAtomic<std::int32_t>& green = values.green;
    static inline RelaxedAtomic<std::int32_t>& cyan = values.cyan;
    static inline RelaxedAtomic<std::int32_t>& blue = values.blue;
    static inline RelaxedAtomic<std::int32_t>& purple = values.purple;
    static inline RelaxedAtomic<std::int32_t>& black = values.black;
    static inline RelaxedAtomic<std::int32_t>& white = values.white;
    static inline RelaxedAtomic<std::int32_t>& edgePixels = values.edgePixels;
    static inline RelaxedAtomic<float>& maxAngle = values.maxAngle;
    static inline RelaxedAtomic<float>& minAngle = values.minAngle;
    static inline RelaxedAtomic<float>& marginPercent = values.marginPercent;

    // Every value back to its start value (for tests).
    static void ResetToStart();

    DetectSetting() = delete;
};
