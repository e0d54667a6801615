#include "support/SyntheticPages.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>

#include "processing/PixelMath.h"

namespace synth {

namespace {
constexpr double kPi = std::numbers::pi;
}  // namespace

std::uint64_t Rng::Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

int Rng::Int(int lo, int hi) {
    if (hi <= lo) return lo;
    const std::uint64_t span = static_cast<std::uint64_t>(static_cast<std::int64_t>(hi) - lo + 1);
    return static_cast<int>(lo + static_cast<std::int64_t>(Next() % span));
}

double Rng::Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

Page::Page(int w, int h, int b, int d) : width(w), height(h), bpp(b), dpi(d) {
    stride = px::StrideFor(static_cast<std::size_t>(w > 0 ? w : 0), b);
    bits.assign(stride * static_cast<std::size_t>(h > 0 ? h : 0), 0);
}

Colour Page::At(int x, int y) const {
    const std::uint8_t* p = Row(y);
    if (bpp == 24) return Colour{p[3 * x], p[3 * x + 1], p[3 * x + 2]};
    return Colour{p[x], p[x], p[x]};
}

std::uint8_t Page::GreyAt(int x, int y) const {
    const std::uint8_t* p = Row(y);
    if (bpp == 24) return px::Grey(p[3 * x], p[3 * x + 1], p[3 * x + 2]);
    return p[x];
}

void Page::Set(int x, int y, Colour c) {
    if (!Inside(x, y)) return;
    std::uint8_t* p = Row(y);
    if (bpp == 24) {
        p[3 * x] = c.b;
        p[3 * x + 1] = c.g;
        p[3 * x + 2] = c.r;
    } else {
        p[x] = px::Grey(c.b, c.g, c.r);
    }
}

void Page::Fill(Colour c) { FillRect(Rect{0, 0, width, height}, c); }

void Page::FillRect(Rect r, Colour c) {
    const int l = std::max(0, r.left), t = std::max(0, r.top);
    const int rt = std::min(width, r.right), b = std::min(height, r.bottom);
    for (int y = t; y < b; ++y)
        for (int x = l; x < rt; ++x) Set(x, y, c);
}

void Page::FillDisc(int cx, int cy, int radius, Colour c) { Ring(cx, cy, radius, 0, c); }

void Page::Ring(int cx, int cy, int rOuter, int rInner, Colour c) {
    const long long o2 = static_cast<long long>(rOuter) * rOuter, i2 = static_cast<long long>(rInner) * rInner;
    for (int y = std::max(0, cy - rOuter); y <= std::min(height - 1, cy + rOuter); ++y)
        for (int x = std::max(0, cx - rOuter); x <= std::min(width - 1, cx + rOuter); ++x) {
            const long long d2 = static_cast<long long>(x - cx) * (x - cx) + static_cast<long long>(y - cy) * (y - cy);
            if (d2 < o2 && d2 >= i2) Set(x, y, c);
        }
}

void Page::Line(int x0, int y0, int x1, int y1, int thickness, Colour c) {
    const double half = thickness / 2.0;
    const int pad = static_cast<int>(std::ceil(half)) + 1;
    const double dx = x1 - x0, dy = y1 - y0;
    const double len2 = dx * dx + dy * dy;
    for (int y = std::max(0, std::min(y0, y1) - pad); y <= std::min(height - 1, std::max(y0, y1) + pad); ++y)
        for (int x = std::max(0, std::min(x0, x1) - pad); x <= std::min(width - 1, std::max(x0, x1) + pad); ++x) {
            double t = len2 > 0 ? ((x - x0) * dx + (y - y0) * dy) / len2 : 0.0;
            t = std::clamp(t, 0.0, 1.0);
            const double ex = x0 + t * dx - x, ey = y0 + t * dy - y;
            if (ex * ex + ey * ey <= half * half) Set(x, y, c);
        }
}

Page Blank(int width, int height, int bpp, Colour paper, int dpi) {
    Page p(width, height, bpp, dpi);
    p.Fill(paper);
    return p;
}

Page ToGrey(const Page& colour) {
    Page g(colour.width, colour.height, 8, colour.dpi);
    for (int y = 0; y < colour.height; ++y)
        for (int x = 0; x < colour.width; ++x) g.Row(y)[x] = colour.GreyAt(x, y);
    return g;
}

Page ToBinary(const Page& page) {
    Page b(page.width, page.height, 8, page.dpi);
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x) b.Row(y)[x] = px::Binarise128(page.GreyAt(x, y));
    return b;
}

namespace {

struct Stroke {
    double u0, v0, u1, v1;  // cell units, v downwards in the picture
};

// Horizontal strokes 0..2, vertical 3..5, the rest diagonal or short.
const Stroke kStrokes[] = {
    {0.1, 0.12, 0.9, 0.12}, {0.1, 0.5, 0.9, 0.5},   {0.1, 0.88, 0.9, 0.88}, {0.12, 0.1, 0.12, 0.9},
    {0.5, 0.1, 0.5, 0.9},   {0.88, 0.1, 0.88, 0.9}, {0.1, 0.1, 0.9, 0.9},   {0.9, 0.1, 0.1, 0.9},
    {0.5, 0.1, 0.1, 0.6},   {0.5, 0.1, 0.9, 0.6},   {0.2, 0.9, 0.6, 0.4},   {0.4, 0.5, 0.9, 0.9},
};

}  // namespace

void DrawGlyph(Page& page, int left, int top, int size, Colour ink, Rng& rng) {
    const int thickness = std::max(2, size / 9);
    auto draw = [&](const Stroke& s) {
        const int x0 = left + static_cast<int>(s.u0 * (size - 1)), x1 = left + static_cast<int>(s.u1 * (size - 1));
        const int y0 = top - static_cast<int>(s.v0 * (size - 1)), y1 = top - static_cast<int>(s.v1 * (size - 1));
        page.Line(x0, y0, x1, y1, thickness, ink);
    };
    // A parallel pair gives the glyph its inner gap.
    const int family = rng.Int(0, 1) * 3;
    const int a = rng.Int(0, 2);
    const int b = (a + rng.Int(1, 2)) % 3;
    draw(kStrokes[family + a]);
    draw(kStrokes[family + b]);
    const int extra = rng.Int(1, 3);
    for (int i = 0; i < extra; ++i) draw(kStrokes[rng.Int(0, static_cast<int>(std::size(kStrokes)) - 1)]);
}

int DrawText(Page& page, const TextOptions& o) {
    Rng rng(o.seed);
    const int h = std::max(1, o.charHeight);
    const int linePitch = std::max(h + 1, static_cast<int>(h * o.lineSpacing));
    const int charPitch = std::max(h + 1, static_cast<int>(h * o.charSpacing));
    int drawn = 0;
    auto full = [&] { return o.maxChars >= 0 && drawn >= o.maxChars; };
    if (!o.vertical) {
        for (int top = o.area.bottom - 1; top - h + 1 >= o.area.top && !full(); top -= linePitch) {
            int wordLeft = rng.Int(2, 8);
            for (int x = o.area.left; x + h <= o.area.right && !full(); x += charPitch) {
                if (wordLeft-- == 0) {
                    wordLeft = rng.Int(2, 8);
                    continue;
                }
                DrawGlyph(page, x, top, h, o.ink, rng);
                ++drawn;
            }
        }
    } else {
        for (int x = o.area.right - h; x >= o.area.left && !full(); x -= linePitch) {
            for (int top = o.area.bottom - 1; top - h + 1 >= o.area.top && !full(); top -= charPitch) {
                DrawGlyph(page, x, top, h, o.ink, rng);
                ++drawn;
            }
        }
    }
    return drawn;
}

void DrawStamp(Page& page, int cx, int cy, int radius, int ringThickness, Colour ink) {
    page.Ring(cx, cy, radius, radius - ringThickness, ink);
    const int inner = radius - ringThickness - radius / 8;
    const int t = std::max(2, ringThickness / 2);
    // A five-pointed star of strokes.
    for (int i = 0; i < 5; ++i) {
        const double a0 = -kPi / 2 + i * 4 * kPi / 5, a1 = -kPi / 2 + (i + 1) * 4 * kPi / 5;
        page.Line(cx + static_cast<int>(inner * 0.5 * std::cos(a0)), cy - static_cast<int>(inner * 0.5 * std::sin(a0)),
                  cx + static_cast<int>(inner * 0.5 * std::cos(a1)), cy - static_cast<int>(inner * 0.5 * std::sin(a1)),
                  t, ink);
    }
    // A line of "characters" under the star.
    for (int k = -2; k <= 2; ++k) {
        const int x = cx + k * inner / 3;
        page.Line(x - inner / 10, cy - inner * 2 / 3, x + inner / 10, cy - inner * 2 / 3, t, ink);
        page.Line(x, cy - inner * 2 / 3 - inner / 10, x, cy - inner * 2 / 3 + inner / 10, t, ink);
    }
}

void DrawPhoto(Page& page, Rect r, std::uint64_t seed) {
    Rng rng(seed);
    const double fx = 0.02 + 0.02 * rng.Unit(), fy = 0.015 + 0.02 * rng.Unit();
    for (int y = std::max(0, r.top); y < std::min(page.height, r.bottom); ++y)
        for (int x = std::max(0, r.left); x < std::min(page.width, r.right); ++x) {
            const double shade = 110 + 55 * std::sin(x * fx) * std::cos(y * fy) +
                                 30.0 * (x - r.left) / std::max(1, r.Width()) - 15;
            const int n = rng.Int(-20, 20);
            const int v = std::clamp(static_cast<int>(shade) + n, 20, 200);
            page.Set(x, y, Rgb(std::min(255, v + 25), v, std::max(0, v - 20)));
        }
}

void DrawBlot(Page& page, int cx, int cy, int radius, Colour c, std::uint64_t seed) {
    Rng rng(seed);
    double bumps[8];
    for (double& b : bumps) b = 0.8 + 0.4 * rng.Unit();
    for (int y = std::max(0, cy - 2 * radius); y <= std::min(page.height - 1, cy + 2 * radius); ++y)
        for (int x = std::max(0, cx - 2 * radius); x <= std::min(page.width - 1, cx + 2 * radius); ++x) {
            const double a = std::atan2(y - cy, x - cx) + kPi;
            const double k = a / (2 * kPi) * 8;
            const int i = static_cast<int>(k) % 8;
            const double f = k - std::floor(k);
            const double rr = radius * (bumps[i] * (1 - f) + bumps[(i + 1) % 8] * f);
            if ((x - cx) * (x - cx) + (y - cy) * (y - cy) < rr * rr) page.Set(x, y, c);
        }
}

void AddNoise(Page& page, int amplitude, std::uint64_t seed) {
    if (amplitude <= 0) return;
    Rng rng(seed);
    const int bytesPerRow = page.bpp == 24 ? 3 * page.width : page.width;
    for (int y = 0; y < page.height; ++y) {
        std::uint8_t* p = page.Row(y);
        for (int i = 0; i < bytesPerRow; ++i) p[i] = px::ClampByte(p[i] + rng.Int(-amplitude, amplitude));
    }
}

Page Turned(const Page& page, double degrees, Colour paper) {
    Page out = Blank(page.width, page.height, page.bpp, paper, page.dpi);
    const double a = degrees * kPi / 180.0;
    const double c = std::cos(a), s = std::sin(a);
    const double cx = (page.width - 1) / 2.0, cy = (page.height - 1) / 2.0;
    const int n = page.bpp == 24 ? 3 : 1;
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x) {
            // Buffer rows run upwards, so a clockwise turn on the screen is a
            // clockwise turn of the buffer's (x, y) as well; the source of
            // (x, y) is (x, y) turned back, counter-clockwise.
            const double dx = x - cx, dy = y - cy;
            const long sx = std::lround(cx + dx * c - dy * s);
            const long sy = std::lround(cy + dx * s + dy * c);
            if (!page.Inside(static_cast<int>(sx), static_cast<int>(sy))) continue;
            std::copy_n(page.Row(static_cast<int>(sy)) + n * sx, n, out.Row(y) + n * x);
        }
    return out;
}

Page RandomNoise(int width, int height, int bpp, double darkShare, std::uint64_t seed) {
    Rng rng(seed);
    Page p = Blank(width, height, bpp, kWhite);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (rng.Unit() < darkShare) p.Set(x, y, kBlack);
    return p;
}

Page RandomShapes(int width, int height, int bpp, int shapes, std::uint64_t seed) {
    Rng rng(seed);
    Page p = Blank(width, height, bpp, kWhite);
    const int span = std::max(2, std::min(width, height) / 3);
    for (int i = 0; i < shapes; ++i) {
        const Colour c = Rgb(rng.Int(0, 255), rng.Int(0, 200), rng.Int(0, 255));
        const int cx = rng.Int(0, width - 1), cy = rng.Int(0, height - 1);
        switch (rng.Int(0, 3)) {
            case 0: p.FillDisc(cx, cy, rng.Int(1, span), c); break;
            case 1: {
                const int ro = rng.Int(2, span);
                p.Ring(cx, cy, ro, rng.Int(1, ro), c);
                break;
            }
            case 2:
                p.Line(cx, cy, rng.Int(0, width - 1), rng.Int(0, height - 1), rng.Int(1, 4), c);
                break;
            default: {
                Rng glyphRng(rng.Next());
                DrawGlyph(p, cx, cy, rng.Int(8, 3 * span), c, glyphRng);
                break;
            }
        }
    }
    return p;
}

Page RandomBytes(int width, int height, int bpp, std::uint64_t seed) {
    Rng rng(seed);
    Page p(width, height, bpp);
    for (std::uint8_t& b : p.bits) b = static_cast<std::uint8_t>(rng.Next());
    return p;
}

Page TextPage(int width, int height, int bpp, int dpi, std::uint64_t seed, Colour paper, int noise) {
    Page p = Blank(width, height, bpp, paper, dpi);
    const int margin = static_cast<int>(20.0 / 25.4 * dpi);
    const int charHeight = std::max(4, static_cast<int>(3.2 / 25.4 * dpi));
    const Colour ink = Rgb(25, 25, 30);
    TextOptions heading;
    heading.charHeight = charHeight * 2;
    heading.area = Rect{margin + width / 6, height - margin - 3 * charHeight, width - margin - width / 6,
                        height - margin};
    heading.ink = ink;
    heading.seed = seed * 7 + 1;
    DrawText(p, heading);
    TextOptions body;
    body.charHeight = charHeight;
    body.area = Rect{margin, margin, width - margin, height - margin - 4 * charHeight};
    body.ink = ink;
    body.seed = seed * 7 + 2;
    DrawText(p, body);
    AddNoise(p, noise, seed * 7 + 3);
    return p;
}

}  // namespace synth
