// ENGINE PLACEHOLDERS. The processing object embeds one object of each
// operation engine; the engines are being written alongside it. Until an
// engine exists, its member in CImageProcessor has one of these types. The
// engine's author replaces the member's type with the engine class, adapts
// the processor's reading of it (StainComparison, HoleComparison,
// PageFoundBlank in ImageProcessorSave.cpp) and deletes the placeholder
// here once nothing uses it.
#pragma once

#include <cstdint>

#include "processing/ImageBuffer.h"

// An engine the processor only holds.
struct PendingEngine {};

// An engine that may keep a comparison copy: a copy of the image it worked
// on in which it painted every pixel it erased magenta.
struct PendingMarkingEngine {
    std::uint8_t markFlag = 0;      // the mark flag of its last run
    PixelBuffer comparisonCopy;     // null when none was made
    std::int32_t copyWidth = 0;
    std::int32_t copyHeight = 0;
    std::int32_t copyBitsPerPixel = 24;
};

// The blank-page detector: its result byte says whether the last page it
// examined is blank.
struct PendingBlankDetector {
    std::uint8_t isBlank = 0;
};
