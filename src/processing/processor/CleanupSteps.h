// The processing object's side of four clean-up steps whose engines live
// elsewhere: stains 【１０】 or black borders 【４】 (the stain and border
// remover), the black scanning board 【３】 (the same remover in board mode)
// and binding holes 【９】 (the hole remover). These routines decide whether
// a step runs, fill the engine's record from the settings or the caller's
// block, and choose between the 24-bit and the 8-bit form.
#pragma once

#include <cstdint>
#include <string>

#include "processing/BindHoleOptions.h"
#include "processing/BindHoleRemover.h"
#include "processing/StainBorderRemover.h"

namespace cleanup {

// The working images the steps change in place (bottom-up padded rows).
struct Images {
    std::uint8_t* grey = nullptr;    // 8-bit
    std::uint8_t* colour = nullptr;  // 24-bit, null for grey sources
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t dpi = 300;          // x dpi
};

// The stain and border remover's record over `images`, every switch off:
// in colour form (24 bits, erasing in the colour rows) or grey form.
StainBorderParams StainBorderRecord(const Images& images, bool colourForm, const std::wstring& name);

// Step gates of the stain, border and hole steps.
struct Gates {
    bool stains = false;
    bool borders = false;
    bool holes = false;
};
// The gates for a run type: the scan window's step switches in run type 4
// (scan and process), the step settings otherwise; read now.
Gates CurrentGates(std::int32_t runType);

// The black-board record, passed by value.
struct BlackBoardRecord {
    std::uint8_t stains = 0;
    std::uint8_t borders = 0;
    std::uint8_t board = 0;                 // the gate: nothing happens when 0
    std::int32_t eraseRadius = 0;           // pixels
    std::int32_t band = 0;                  // pixels
    std::uint8_t colourPixelsAreBlack = 0;
    std::wstring name;
};
// The pipeline's record: board = the step's gate, radius, band and colour
// flag from the rmblackboard settings.
BlackBoardRecord PipelineBoardRecord(bool gate);

// Stains (when their gate is on; stains win, borders are then not removed
// in the same pass) or black borders, then binding holes, with the values
// of the settings. `keepColour`: the page goes on as a colour image (keep
// colour set and a colour source); the remover then works on the colour
// image, otherwise on the grey image, which is what is saved.
void RemoveStainsBordersAndHoles(const Gates& gates, bool keepColour, const Images& images, const std::wstring& name,
                                 CStainBorderRemover& remover, CBindHoleRemover& holes);

// The black board with the record's switches, radius, band and colour flag
// (threshold 128, stain area 4 mm², no marks). The colour form passes the
// colour image and, as the black image, a copy of it binarised per channel
// at its mean grey; the grey form neither.
void RemoveBlackBoard(const BlackBoardRecord& record, const Images& images, bool colourForm,
                      CStainBorderRemover& remover);

// The pipeline's hole block: on, the bands, areas, grey range, radius,
// ignored corners, background type, colour delta, fill and the mark flag
// (bit 2 of the comparison setting) from the settings.
BindHoleOptions PipelineHoleOptions();

// Binding holes with the block's values, when its on value is set. The
// paper counts as tinted (patched holes) when the colour form's colour image
// is not mostly white; the grey form always paints white. The block's own
// background type is not passed on.
void RemoveBindHoles(const BindHoleOptions& options, const std::wstring& name, const Images& images,
                     bool colourForm, CBindHoleRemover& holes);

}  // namespace cleanup
