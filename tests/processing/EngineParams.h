// Engine parameter records for synthetic pages.
#pragma once

#include "processing/BkColorRemover.h"
#include "processing/PhotoRegionFinder.h"
#include "processing/TextFilter.h"
#include "support/SyntheticPages.h"

// Background colour removal with the pipeline's defaults (keep red).
inline BkColorParams BkDefaults(synth::Page& colour, synth::Page& grey) {
    BkColorParams p;
    p.page.colour = colour.Data();
    p.page.grey = grey.Data();
    p.page.width = colour.width;
    p.page.height = colour.height;
    p.page.dpi = colour.dpi;
    p.brightness = 40;
    p.contrast = 50;
    p.darkening = 50;
    p.colorDelta = 25;
    p.saturation = 0.15f;
    p.keepRadius = 0.1f;
    p.keepMode = KeepMode::kKeepRed;
    return p;
}

inline TextFilterParams FilterParamsFor(synth::Page& page) {
    TextFilterParams p;
    p.page.grey = page.Data();
    p.page.width = page.width;
    p.page.height = page.height;
    p.page.dpi = page.dpi;
    return p;
}

// The photo finder on a colour page and its grey copy, in the given mode.
inline PhotoRegionParams FinderParams(synth::Page& colour, synth::Page& grey, int mode) {
    PhotoRegionParams f;
    f.page.grey = grey.Data();
    f.page.colour = colour.Data();
    f.page.width = colour.width;
    f.page.height = colour.height;
    f.page.dpi = colour.dpi;
    f.mode = static_cast<PhotoSelection>(mode);
    return f;
}
