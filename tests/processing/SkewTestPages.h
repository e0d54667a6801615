// Small pages for the skew, rotation, centring and cutting tests, on the
// shared synthetic page generator. Rows "from the top" are rows as the
// picture is displayed: memory row height - 1 - row.
#pragma once

#include <algorithm>
#include <cstdint>

#include "processing/PixelMath.h"
#include "support/SyntheticPages.h"

namespace skewpages {

// An 8-bit page of one grey byte (not through the grey formula, which
// lowers some levels by one).
inline synth::Page Grey(int width, int height, std::uint8_t level = 255) {
    synth::Page p(width, height, 8);
    std::fill(p.bits.begin(), p.bits.end(), level);
    return p;
}

inline std::uint8_t& AtFromTop(synth::Page& p, int x, int row) { return p.Row(p.height - 1 - row)[x]; }
inline std::uint8_t AtFromTop(const synth::Page& p, int x, int row) { return p.Row(p.height - 1 - row)[x]; }

// Fills columns left .. right and rows from the top top .. bottom (all
// inclusive) of an 8-bit page with a byte.
inline void FillFromTop(synth::Page& p, int left, int top, int right, int bottom, std::uint8_t level) {
    for (int row = std::max(0, top); row <= std::min(p.height - 1, bottom); ++row)
        for (int x = std::max(0, left); x <= std::min(p.width - 1, right); ++x) AtFromTop(p, x, row) = level;
}

// The 24-bit page with B = G = R = the grey byte.
inline synth::Page ToColour(const synth::Page& grey) {
    synth::Page c(grey.width, grey.height, 24, grey.dpi);
    for (int y = 0; y < grey.height; ++y)
        for (int x = 0; x < grey.width; ++x) std::fill_n(c.Row(y) + 3 * x, 3, grey.Row(y)[x]);
    return c;
}

struct TextPageSpec {
    int width = 900;
    int height = 1200;
    double angle = 0.0;  // clockwise as displayed: lines descend to the right
    int charHeight = 16;
    double lineSpacing = 2.0;
    int marginX = 120;
    int marginY = 140;
    bool vertical = false;  // columns of characters
    int blocks = 1;         // text blocks side by side
    std::uint64_t seed = 1;
};

// Black text on white, 8-bit, turned by the angle.
inline synth::Page TextPage(const TextPageSpec& spec) {
    synth::Page page = Grey(spec.width, spec.height);
    const int inner = spec.width - 2 * spec.marginX;
    const int gap = spec.blocks > 1 ? inner / 12 : 0;
    const int blockWidth = (inner - (spec.blocks - 1) * gap) / std::max(1, spec.blocks);
    for (int b = 0; b < std::max(1, spec.blocks); ++b) {
        synth::TextOptions o;
        const int left = spec.marginX + b * (blockWidth + gap);
        o.area = synth::Rect{left, spec.marginY, left + blockWidth, spec.height - spec.marginY};
        o.charHeight = spec.charHeight;
        o.lineSpacing = spec.lineSpacing;
        o.vertical = spec.vertical;
        o.seed = spec.seed * 31 + static_cast<std::uint64_t>(b);
        synth::DrawText(page, o);
    }
    return spec.angle == 0.0 ? page : synth::Turned(page, spec.angle);
}

}  // namespace skewpages
