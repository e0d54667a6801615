// Window extremes of 8-bit images: every byte becomes the largest (or
// smallest) value of the (2r + 1) x (2r + 1) window around it, clipped to the
// image. Equal to r repetitions of the 3 x 3 filter, each computed from a
// copy of the previous state (the image rectangle is convex, so r steps of
// one pixel reach exactly the clipped window). Linear in the pixel count
// whatever r is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace morph {

class WindowFilter {
public:
    // Rows of `stride` bytes, `width` of them used. Nothing happens for
    // r <= 0 or an empty image.
    void Max(std::uint8_t* image, int width, int height, std::size_t stride, int r);
    void Min(std::uint8_t* image, int width, int height, std::size_t stride, int r);

private:
    template <bool kMax>
    void Run(std::uint8_t* image, int width, int height, std::size_t stride, int r);

    std::vector<std::uint8_t> line_, forward_, backward_, rowsForward_, rowsBackward_;
};

// A two-level image packed 64 pixels to a word (bit x & 63 of word x >> 6
// of a row is pixel x); bits past the width are always 0.
struct BitImage {
    int width = 0, height = 0;
    std::size_t wordsPerRow = 0;
    std::vector<std::uint64_t> bits;

    void Reset(int w, int h);
    std::uint64_t* Row(int y) { return bits.data() + wordsPerRow * static_cast<std::size_t>(y); }
    const std::uint64_t* Row(int y) const { return bits.data() + wordsPerRow * static_cast<std::size_t>(y); }
    bool Test(int x, int y) const { return (Row(y)[x >> 6] >> (x & 63)) & 1u; }
    // Every set bit spreads to the (2r + 1) x (2r + 1) window around it,
    // clipped to the image: the 3 x 3 "any set" filter repeated r times.
    void Dilate(int r);
    // Pixel (x, y) becomes set when some (x + dx, y + dy) with dx in
    // dxMin..dxMax and dy in dyMin..dyMax is set (each range holding 0).
    void DilateRange(int dxMin, int dxMax, int dyMin, int dyMax);
    // Flips every pixel (the bits past the width stay 0).
    void Invert();
    // Sets the image to the test "byte >= threshold" (atLeast) or
    // "byte <= threshold" (otherwise) on an 8-bit image with rows of
    // `stride` bytes.
    void FromThreshold(const std::uint8_t* image, int w, int h, std::size_t stride, int threshold, bool atLeast);
    // Sets the image to the test "byte == value".
    void FromEqual(const std::uint8_t* image, int w, int h, std::size_t stride, std::uint8_t value);
    // Calls f(x) for every set pixel of row y, left to right.
    template <class F>
    void ForEachSet(int y, F&& f) const {
        const std::uint64_t* row = Row(y);
        for (std::size_t i = 0; i < wordsPerRow; ++i)
            for (std::uint64_t word = row[i]; word != 0; word &= word - 1)
                f(static_cast<int>(i * 64) + __builtin_ctzll(word));
    }
    bool Empty() const;
    // Calls f(x0, x1) for every run [x0, x1) of set pixels of row y, left to
    // right.
    template <class F>
    void ForEachRun(int y, F&& f) const {
        const std::uint64_t* row = Row(y);
        const std::size_t n = wordsPerRow;
        int x = 0;
        while (x < width) {
            std::size_t i = static_cast<std::size_t>(x) >> 6;
            std::uint64_t word = row[i] & (~std::uint64_t{0} << (x & 63));
            while (word == 0) {
                if (++i >= n) return;
                word = row[i];
            }
            const int x0 = static_cast<int>(i * 64) + __builtin_ctzll(word);
            // Bits past the width are clear, so a run ends there at the latest.
            std::uint64_t gap = ~row[i] & (~std::uint64_t{0} << (x0 & 63));
            while (gap == 0) {
                if (++i >= n) {
                    f(x0, width);
                    return;
                }
                gap = ~row[i];
            }
            const int x1 = static_cast<int>(i * 64) + __builtin_ctzll(gap);
            f(x0, x1);
            x = x1;
        }
    }

private:
    void ClearTail();
    // Packs a byte test; `kind` 0 is ">= t", 1 "<= t", 2 "== t".
    void Pack(const std::uint8_t* image, int w, int h, std::size_t stride, std::uint8_t t, int kind);
    std::vector<std::uint64_t> scratch_;
};

}  // namespace morph
