#include "support/HolePages.h"

#include <algorithm>
#include <cmath>

#include "processing/PixelMath.h"

namespace testdata {

TestPage::TestPage(int w, int h, bool withColour, std::uint8_t paper) : width(w), height(h), colour(withColour) {
    grey.assign(greyStride() * static_cast<size_t>(h), paper);
    if (withColour) bgr.assign(colourStride() * static_cast<size_t>(h), paper);
}

size_t TestPage::greyStride() const { return px::Stride8(static_cast<size_t>(width)); }
size_t TestPage::colourStride() const { return px::Stride24(static_cast<size_t>(width)); }

void TestPage::setGrey(int x, int y, std::uint8_t v) {
    if (!inside(x, y)) return;
    g(x, y) = v;
    if (colour) std::fill_n(c(x, y), 3, v);
}

void TestPage::setColour(int x, int y, std::uint8_t b, std::uint8_t gr, std::uint8_t r) {
    if (!inside(x, y)) return;
    if (colour) {
        std::uint8_t* q = c(x, y);
        q[0] = b;
        q[1] = gr;
        q[2] = r;
    }
    g(x, y) = px::Grey(b, gr, r);
}

void TestPage::greyFromColour() {
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* q = c(x, y);
            g(x, y) = px::Grey(q[0], q[1], q[2]);
        }
}

void TestPage::fillRect(int l, int t, int r, int b, std::uint8_t v) {
    for (int y = std::max(t, 0); y <= std::min(b, height - 1); ++y)
        for (int x = std::max(l, 0); x <= std::min(r, width - 1); ++x) setGrey(x, y, v);
}

void TestPage::disc(double cx, double cy, double radius, std::uint8_t v) { ring(cx, cy, radius, -1.0, v); }

void TestPage::ring(double cx, double cy, double outer, double inner, std::uint8_t v) {
    const int l = static_cast<int>(std::floor(cx - outer)), r = static_cast<int>(std::ceil(cx + outer));
    const int t = static_cast<int>(std::floor(cy - outer)), b = static_cast<int>(std::ceil(cy + outer));
    for (int y = t; y <= b; ++y)
        for (int x = l; x <= r; ++x) {
            const double d = std::hypot(x - cx, y - cy);
            if (d <= outer && d > inner) setGrey(x, y, v);
        }
}

void TestPage::stroke(double x0, double y0, double x1, double y1, double thickness, std::uint8_t v) {
    const double len = std::hypot(x1 - x0, y1 - y0);
    const double half = thickness / 2;
    const int l = static_cast<int>(std::floor(std::min(x0, x1) - half)), r = static_cast<int>(std::ceil(std::max(x0, x1) + half));
    const int t = static_cast<int>(std::floor(std::min(y0, y1) - half)), b = static_cast<int>(std::ceil(std::max(y0, y1) + half));
    for (int y = t; y <= b; ++y)
        for (int x = l; x <= r; ++x) {
            double u = len > 0 ? ((x - x0) * (x1 - x0) + (y - y0) * (y1 - y0)) / (len * len) : 0;
            u = std::clamp(u, 0.0, 1.0);
            const double d = std::hypot(x - (x0 + u * (x1 - x0)), y - (y0 + u * (y1 - y0)));
            if (d <= half) setGrey(x, y, v);
        }
}

int TestPage::countDark(int l, int t, int r, int b, int v) const {
    int n = 0;
    for (int y = std::max(t, 0); y <= std::min(b, height - 1); ++y)
        for (int x = std::max(l, 0); x <= std::min(r, width - 1); ++x)
            if (g(x, y) <= v) ++n;
    return n;
}

double MmPx(int dpi, double mm) { return mm / 25.4 * dpi; }

void TintPaper(TestPage& page, std::uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> n(-6, 6);
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x)
            page.setColour(x, y, static_cast<std::uint8_t>(190 + n(rng)), static_cast<std::uint8_t>(225 + n(rng)),
                           static_cast<std::uint8_t>(235 + n(rng)));
}

TestPage RandomPage(int width, int height, bool colour, std::uint32_t seed) {
    std::mt19937 rng(seed);
    TestPage p(width, height, colour, 255);
    auto uni = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    // light-grey paper noise so that fringes exist
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (uni(0, 9) == 0) p.setGrey(x, y, static_cast<std::uint8_t>(uni(170, 254)));
    const int shapes = std::max(3, width * height / 400);
    for (int i = 0; i < shapes; ++i) {
        const double cx = uni(0, width - 1), cy = uni(0, height - 1);
        const std::uint8_t v = static_cast<std::uint8_t>(uni(0, 100));
        switch (uni(0, 5)) {
        case 0: p.disc(cx, cy, uni(1, 9), v); break;
        case 1: p.ring(cx, cy, uni(4, 12), uni(1, 3), v); break;
        case 2: p.stroke(cx, cy, cx + uni(-20, 20), cy + uni(-20, 20), uni(1, 3), v); break;
        case 3: p.setGrey(static_cast<int>(cx), static_cast<int>(cy), v); break;
        case 4: p.fillRect(static_cast<int>(cx), static_cast<int>(cy), static_cast<int>(cx) + uni(0, 6), static_cast<int>(cy) + uni(0, 6), v); break;
        default: p.ring(cx, cy, uni(3, 8), uni(2, 3), static_cast<std::uint8_t>(uni(180, 230))); break;
        }
    }
    if (colour) {
        // some saturated ink so colour-dependent tests see both kinds
        for (int i = 0; i < shapes / 4; ++i) {
            const int x = uni(0, width - 1), y = uni(0, height - 1);
            p.setColour(x, y, static_cast<std::uint8_t>(uni(0, 80)), static_cast<std::uint8_t>(uni(0, 80)),
                        static_cast<std::uint8_t>(uni(0, 255)));
        }
    }
    return p;
}

}  // namespace testdata
