#include "support/SkewedPages.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace testdata {

namespace {

std::size_t Stride8(int width) { return (static_cast<std::size_t>(width) + 3) & ~std::size_t{3}; }
std::size_t Stride24(int width) { return (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3}; }

GreyImage NewGrey(int width, int height, std::uint8_t level) {
    GreyImage g;
    g.width = width;
    g.height = height;
    g.bits.assign(Stride8(width) * static_cast<std::size_t>(height), level);
    return g;
}

// One glyph in an upright layout: a box outline with one or two inner bars,
// so that it has strokes and gaps like a character.
void DrawGlyph(GreyImage& img, int left, int top, int w, int h, std::mt19937& rng, std::uint8_t ink) {
    const int stroke = std::max(2, h / 8);
    FillRect(img, left, top, left + w - 1, top + stroke - 1, ink);
    FillRect(img, left, top + h - stroke, left + w - 1, top + h - 1, ink);
    FillRect(img, left, top, left + stroke - 1, top + h - 1, ink);
    if (rng() % 2) FillRect(img, left + w - stroke, top, left + w - 1, top + h - 1, ink);
    if (rng() % 2) FillRect(img, left, top + h / 2 - stroke / 2, left + w - 1, top + h / 2 + stroke / 2, ink);
    else FillRect(img, left + w / 2 - stroke / 2, top, left + w / 2 + stroke / 2, top + h - 1, ink);
}

}  // namespace

std::uint8_t& GreyImage::at(int x, int yFromTop) {
    return bits[Stride8(width) * static_cast<std::size_t>(height - 1 - yFromTop) + static_cast<std::size_t>(x)];
}
std::uint8_t GreyImage::at(int x, int yFromTop) const {
    return bits[Stride8(width) * static_cast<std::size_t>(height - 1 - yFromTop) + static_cast<std::size_t>(x)];
}

void FillRect(GreyImage& image, int left, int top, int right, int bottom, std::uint8_t level) {
    for (int y = std::max(0, top); y <= std::min(image.height - 1, bottom); ++y)
        for (int x = std::max(0, left); x <= std::min(image.width - 1, right); ++x) image.at(x, y) = level;
}

GreyImage TextPage(const TextPageSpec& spec) {
    GreyImage upright = NewGrey(spec.width, spec.height, spec.paper);
    std::mt19937 rng(spec.seed);
    // Lay out along "lines" in an abstract (along, across) frame; vertical
    // text swaps the axes.
    const int alongLength = spec.verticalText ? spec.height - 2 * spec.marginY : spec.width - 2 * spec.marginX;
    const int acrossStart = spec.verticalText ? spec.marginX : spec.marginY;
    const int acrossEnd = spec.verticalText ? spec.width - spec.marginX : spec.height - spec.marginY;
    const int alongStart = spec.verticalText ? spec.marginY : spec.marginX;
    const int blocks = std::max(1, spec.columns);
    const int blockGap = blocks > 1 ? alongLength / 12 : 0;
    const int blockLength = (alongLength - (blocks - 1) * blockGap) / blocks;
    const int h = spec.glyphHeight;
    for (int across = acrossStart; across + h <= acrossEnd; across += spec.lineSpacing) {
        for (int b = 0; b < blocks; ++b) {
            const int begin = alongStart + b * (blockLength + blockGap);
            const int end = begin + blockLength;
            int pos = begin;
            while (pos < end) {
                const int letters = 2 + static_cast<int>(rng() % 6);
                for (int i = 0; i < letters && pos < end; ++i) {
                    const int w = h * 6 / 10 + static_cast<int>(rng() % (h / 2 + 1));
                    if (pos + w > end) break;
                    if (spec.verticalText)
                        DrawGlyph(upright, across, pos, h, w, rng, spec.ink);
                    else
                        DrawGlyph(upright, pos, across, w, h, rng, spec.ink);
                    pos += w + std::max(2, h / 6);
                }
                pos += h;  // word gap
            }
        }
    }
    if (spec.angle == 0.0) return upright;

    GreyImage out = NewGrey(spec.width, spec.height, spec.paper);
    const double a = spec.angle * 3.14159265358979323846 / 180.0;
    const double c = std::cos(a), s = std::sin(a);
    const double cx = (spec.width - 1) / 2.0, cy = (spec.height - 1) / 2.0;
    for (int y = 0; y < spec.height; ++y) {
        for (int x = 0; x < spec.width; ++x) {
            // Clockwise on screen (rows downward) forward is
            // (dx c - dy s, dx s + dy c); this is its inverse.
            const double dx = x - cx, dy = y - cy;
            const long sx = std::lround(cx + dx * c + dy * s);
            const long sy = std::lround(cy - dx * s + dy * c);
            if (sx < 0 || sy < 0 || sx >= spec.width || sy >= spec.height) continue;
            out.at(x, y) = upright.at(static_cast<int>(sx), static_cast<int>(sy));
        }
    }
    return out;
}

GreyImage BlankPage(int width, int height, std::uint8_t level) { return NewGrey(width, height, level); }

GreyImage SpeckledPage(int width, int height, double density, unsigned seed) {
    GreyImage g = NewGrey(width, height, 255);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (u(rng) < density) g.at(x, y) = 0;
    return g;
}

GreyImage NoisePage(int width, int height, unsigned seed) {
    GreyImage g = NewGrey(width, height, 0);
    std::mt19937 rng(seed);
    for (auto& b : g.bits) b = static_cast<std::uint8_t>(rng());
    return g;
}

ColourImage NoiseColourPage(int width, int height, unsigned seed) {
    ColourImage c;
    c.width = width;
    c.height = height;
    c.bits.resize(Stride24(width) * static_cast<std::size_t>(height));
    std::mt19937 rng(seed);
    for (auto& b : c.bits) b = static_cast<std::uint8_t>(rng());
    return c;
}

ColourImage ToColour(const GreyImage& grey) {
    ColourImage c;
    c.width = grey.width;
    c.height = grey.height;
    c.bits.assign(Stride24(grey.width) * static_cast<std::size_t>(grey.height), 255);
    for (int y = 0; y < grey.height; ++y)
        for (int x = 0; x < grey.width; ++x) {
            std::uint8_t* p = c.bits.data() + Stride24(grey.width) * static_cast<std::size_t>(y) + 3 * static_cast<std::size_t>(x);
            p[0] = p[1] = p[2] = grey.bits[Stride8(grey.width) * static_cast<std::size_t>(y) + static_cast<std::size_t>(x)];
        }
    return c;
}

}  // namespace testdata
