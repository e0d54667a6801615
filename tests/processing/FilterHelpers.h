// Parameters of the text filter for a synthetic 8-bit page.
#pragma once

#include "processing/TextFilter.h"
#include "support/SyntheticPages.h"

inline TextFilterParams FilterParamsFor(synth::Page& page) {
    TextFilterParams p;
    p.binary = page.Data();
    p.width = page.width;
    p.height = page.height;
    p.dpi = page.dpi;
    return p;
}
