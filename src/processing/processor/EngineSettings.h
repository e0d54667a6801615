// The translation from the processing settings to each engine's parameter
// record: one function per engine, filling the values the settings decide
// (and the fixed values the pipeline gives the engine); the caller adds the
// images, their size and the dpi. The pipeline, the manual window's steps
// and the tests read the settings through these functions only, so a
// setting reaches its engine field in one place.
#pragma once

#include <cstdint>

#include "processing/BkColorChanger.h"
#include "processing/BkColorRemover.h"
#include "processing/ManualOperation.h"
#include "processing/BlankPageDetector.h"
#include "processing/Cutting.h"
#include "processing/RedSealEngine.h"
#include "processing/TextFilter.h"

namespace engine_settings {

// Background removal 【１】 (rmbkcolor and the keep radius of useful
// colour): the colour remover's values on a kept colour page, of which a
// grey page uses brightness, contrast and darkening; and keeporigcolor.
RmBkColorOpParams BackgroundRemoval();
bool KeepSourceColours();

// The red-seal engine 【１１】: removal (rmredseal) or, when removal is off,
// strengthening (strenredseal). Both find red with a lead of 25 and a
// saturation of 0.15.
RedSealParams RedSealRemoval();
RedSealParams RedSealStrengthening();
inline constexpr int kSealRedLead = 25;
inline constexpr float kSealSaturation = 0.15f;

// Blank-page detection 【１２】 (rmblankpage).
BlankPageParams BlankPage();

// Changing the background colour 【１３】 (modifycolor and the photo
// finder's opening passes).
BkColorChangeParams BackgroundChange();

// The text filter that leaves only text on the copy centring 【６】 measures
// when centre/allobj is clear: dark means at or below comp::kTextThreshold,
// the level the text steps share.
TextFilterParams CentringTextFilter();

// Cutting the edges by background colour 【８】 (cutbybkcolor).
cutting::CutByBkColorParams CutByBkColor();

// The kept margins of cutting white margins 【７】 in pixels: the pixel
// margins, or the millimetre margins at `xDpi` (cutwhite/margin 1).
cutting::Margins WhiteMargins(std::int32_t xDpi);

}  // namespace engine_settings
