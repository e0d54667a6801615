// Deterministic synthetic pages generated in code, in the engines' raw
// layout: rows bottom-up in memory, 24-bit rows of B, G, R padded to four
// bytes, 8-bit rows padded to four bytes.
//
// All coordinates are buffer coordinates: x is the column, y the memory row
// (row 0 is the first row in memory, which is the bottom of the picture).
// Rectangles are left/top inclusive, right/bottom exclusive. Text is drawn
// so that it reads upright when the page is shown as a picture (the glyphs'
// tops lie towards higher memory rows, lines follow each other towards lower
// memory rows).
//
// Everything is seeded: the same arguments give the same bytes on every
// machine. Used by the tests and, through bench/support, the benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace synth {

struct Colour {
    std::uint8_t b = 0, g = 0, r = 0;
    bool operator==(const Colour&) const = default;
};
inline constexpr Colour Rgb(int r, int g, int b) {
    return Colour{static_cast<std::uint8_t>(b), static_cast<std::uint8_t>(g), static_cast<std::uint8_t>(r)};
}
inline constexpr Colour kWhite = Rgb(255, 255, 255);
inline constexpr Colour kBlack = Rgb(0, 0, 0);
inline constexpr Colour kYellowedPaper = Rgb(235, 225, 190);
inline constexpr Colour kSealRed = Rgb(220, 30, 40);

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;  // right, bottom exclusive
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// Small deterministic generator (splitmix64).
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t Next();
    // Uniform in lo..hi inclusive.
    int Int(int lo, int hi);
    double Unit();  // [0, 1)

private:
    std::uint64_t state_;
};

class Page {
public:
    Page() = default;
    Page(int width, int height, int bpp, int dpi = 300);

    int width = 0, height = 0, bpp = 24, dpi = 300;
    std::size_t stride = 0;
    std::vector<std::uint8_t> bits;

    std::uint8_t* Data() { return bits.data(); }
    const std::uint8_t* Data() const { return bits.data(); }
    std::uint8_t* Row(int y) { return bits.data() + stride * static_cast<std::size_t>(y); }
    const std::uint8_t* Row(int y) const { return bits.data() + stride * static_cast<std::size_t>(y); }
    bool Inside(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }

    // 24-bit: the pixel; 8-bit: grey in all three channels.
    Colour At(int x, int y) const;
    // 8-bit: the byte; 24-bit: the grey (0.587 G + 0.299 R + 0.114 B).
    std::uint8_t GreyAt(int x, int y) const;
    // Sets a pixel; an 8-bit page stores the colour's grey. Outside: ignored.
    void Set(int x, int y, Colour c);

    void Fill(Colour c);
    void FillRect(Rect r, Colour c);
    void FillDisc(int cx, int cy, int radius, Colour c);
    // Pixels with rInner <= distance < rOuter.
    void Ring(int cx, int cy, int rOuter, int rInner, Colour c);
    // A straight stroke of the given thickness between two points.
    void Line(int x0, int y0, int x1, int y1, int thickness, Colour c);
};

// A page of one colour (bpp 24 or 8).
Page Blank(int width, int height, int bpp, Colour paper = kWhite, int dpi = 300);
// The 8-bit grey copy of a 24-bit page (0.587 G + 0.299 R + 0.114 B).
Page ToGrey(const Page& colour);
// A 0/255 copy: 255 where the grey is at least 128.
Page ToBinary(const Page& page);

// Text-like glyph in a size x size cell whose picture top-left corner is at
// buffer column `left` and buffer row `top` (the highest memory row of the
// cell): three to five straight strokes, at least two of them parallel, so
// that the glyph has inner gaps like a printed character.
void DrawGlyph(Page& page, int left, int top, int size, Colour ink, Rng& rng);

struct TextOptions {
    Rect area;                 // where the text goes (buffer coordinates)
    int charHeight = 30;       // pixels
    double lineSpacing = 1.8;  // line pitch in character heights
    double charSpacing = 1.2;  // character pitch in character heights
    bool vertical = false;     // columns of characters (right to left) instead of lines
    Colour ink = kBlack;
    std::uint64_t seed = 1;
    int maxChars = -1;  // -1: fill the area
};
// Fills the area with lines (or columns) of glyphs with word gaps; returns
// the number of glyphs drawn.
int DrawText(Page& page, const TextOptions& options);

// A red seal: a ring of the given outer radius and ring thickness with a
// star of strokes inside.
void DrawStamp(Page& page, int cx, int cy, int radius, int ringThickness, Colour ink);
// A textured photograph filling the rectangle: smooth shading plus texture,
// levels mostly between 20 and 200 (well over 20 % below 128).
void DrawPhoto(Page& page, Rect r, std::uint64_t seed);
// A solid irregular dark blot around (cx, cy) of about the given radius.
void DrawBlot(Page& page, int cx, int cy, int radius, Colour c, std::uint64_t seed);
// Scanner-like noise: every channel of every pixel moves by up to
// +-amplitude.
void AddNoise(Page& page, int amplitude, std::uint64_t seed);

// The page turned clockwise as displayed by `degrees` about its centre, at
// the same size (nearest sample; the uncovered corners take `paper`): level
// lines of a page descend to the right for a positive angle. Pages with a
// known skew.
Page Turned(const Page& page, double degrees, Colour paper = kWhite);

// Random test images for differential tests.
// Each pixel dark (0) with the given probability, else light (255).
Page RandomNoise(int width, int height, int bpp, double darkShare, std::uint64_t seed);
// Random discs, rings and strokes of random levels on white.
Page RandomShapes(int width, int height, int bpp, int shapes, std::uint64_t seed);
// Every byte random (including colour pixels).
Page RandomBytes(int width, int height, int bpp, std::uint64_t seed);

// A text page like a scanned office page: margins of about 2 cm, lines of
// characters of about 3 mm, a heading; paper colour and noise as given.
Page TextPage(int width, int height, int bpp, int dpi, std::uint64_t seed, Colour paper = kWhite,
              int noise = 0);

}  // namespace synth
