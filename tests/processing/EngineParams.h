// Engine parameter records for synthetic pages.
#pragma once

#include "processing/BkColorRemover.h"
#include "processing/PhotoRegionFinder.h"
#include "processing/TextFilter.h"
#include "support/SyntheticPages.h"

// Background colour removal with the pipeline's defaults (keep red).
inline BkColorParams BkDefaults(synth::Page& colour, synth::Page& grey) {
    BkColorParams p;
    p.colour = colour.Data();
    p.grey = grey.Data();
    p.width = colour.width;
    p.height = colour.height;
    p.dpi = colour.dpi;
    p.brightness = 40;
    p.contrast = 50;
    p.darkening = 50;
    p.colorDelta = 25;
    p.saturation = 0.15f;
    p.keepRadius = 0.1f;
    p.keepMode = 1;
    return p;
}

inline TextFilterParams FilterParamsFor(synth::Page& page) {
    TextFilterParams p;
    p.binary = page.Data();
    p.width = page.width;
    p.height = page.height;
    p.dpi = page.dpi;
    return p;
}

// The photo finder on a colour page and its grey copy, in the given mode.
inline PhotoRegionParams FinderParams(synth::Page& colour, synth::Page& grey, int mode) {
    PhotoRegionParams f;
    f.grey = grey.Data();
    f.colour = colour.Data();
    f.width = colour.width;
    f.height = colour.height;
    f.dpi = colour.dpi;
    f.mode = mode;
    return f;
}
