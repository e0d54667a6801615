// Small deterministic pages for the hole, stain/border and text-direction
// tests: a grey and an optional colour buffer in the working layout (rows
// bottom-up in memory, each padded to four bytes), with drawing helpers in
// buffer coordinates (row 0 is the first row in memory).
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "processing/ImageView.h"

namespace testdata {

struct TestPage {
    int width = 0, height = 0, dpi = 300;
    bool colour = false;
    std::vector<std::uint8_t> grey;  // Stride8(width) x height
    std::vector<std::uint8_t> bgr;   // Stride24(width) x height when colour

    TestPage() = default;
    TestPage(int w, int h, bool withColour, std::uint8_t paper = 255);

    size_t greyStride() const;
    size_t colourStride() const;
    std::uint8_t& g(int x, int y) { return grey[static_cast<size_t>(y) * greyStride() + x]; }
    std::uint8_t g(int x, int y) const { return grey[static_cast<size_t>(y) * greyStride() + x]; }
    std::uint8_t* c(int x, int y) { return bgr.data() + static_cast<size_t>(y) * colourStride() + 3 * static_cast<size_t>(x); }
    const std::uint8_t* c(int x, int y) const {
        return bgr.data() + static_cast<size_t>(y) * colourStride() + 3 * static_cast<size_t>(x);
    }
    bool inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    // The page as an engine receives it, with the given depth of the page.
    PageView Page(int bitsPerPixel) {
        return {grey.data(), colour ? bgr.data() : nullptr, width, height, bitsPerPixel, dpi};
    }

    // Sets one pixel: grey to `v`, colour (if any) to (v, v, v).
    void setGrey(int x, int y, std::uint8_t v);
    // Sets one colour pixel and its grey value (the shared grey formula).
    void setColour(int x, int y, std::uint8_t b, std::uint8_t g, std::uint8_t r);
    // Recomputes the grey image from the colour image.
    void greyFromColour();

    void fillRect(int l, int t, int r, int b, std::uint8_t v);  // inclusive
    void disc(double cx, double cy, double radius, std::uint8_t v);
    void ring(double cx, double cy, double outer, double inner, std::uint8_t v);
    // A line of the given thickness from (x0, y0) to (x1, y1).
    void stroke(double x0, double y0, double x1, double y1, double thickness, std::uint8_t v);

    // Number of pixels with grey value <= `v` inside the inclusive box.
    int countDark(int l, int t, int r, int b, int v) const;
    // Byte-exact copy comparison helpers.
    bool sameGrey(const TestPage& o) const { return grey == o.grey; }
    bool sameColour(const TestPage& o) const { return bgr == o.bgr; }
};

// Pixels per millimetre at the page's dpi, as a double (for drawing only).
double MmPx(int dpi, double mm);

// Tinted, slightly textured paper (deterministic): colour around
// (190, 225, 235) B, G, R with +-6 of noise.
void TintPaper(TestPage& page, std::uint32_t seed);

// Random pages for differential tests: blobs, rings, strokes, specks and
// noise on a page of the given size.
TestPage RandomPage(int width, int height, bool colour, std::uint32_t seed);

}  // namespace testdata
