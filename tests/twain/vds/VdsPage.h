// The pages the virtual scanner produces: what each pixel of page k holds,
// so tests can check a transferred page pixel by pixel against ground truth.
//
// Pages are smooth gradients (they survive JPEG with small errors): in
// colour, red rises from left to right, green from top to bottom, and blue is
// flat with a level per page (eight levels 32 apart, so eight pages in a row
// can be told apart after JPEG; kPageMarks); in grey, the level rises from left to right
// with an offset per page; black and white pages are checkerboards whose cell
// width depends on the page. Coordinates are from the top-left corner.
#pragma once

#include <cstdint>

namespace vds {

// Page size from the physical size (hundredths of an inch) and resolution.
inline int PageSide(int hundredths, int dpi) { return (hundredths * dpi + 50) / 100; }

inline std::uint8_t PageRed(int /*page*/, int x, int /*y*/, int width, int /*height*/) {
    return static_cast<std::uint8_t>(width > 1 ? x * 255 / (width - 1) : 0);
}
inline std::uint8_t PageGreen(int /*page*/, int /*x*/, int y, int /*width*/, int height) {
    return static_cast<std::uint8_t>(height > 1 ? y * 255 / (height - 1) : 0);
}
// The count of pages in a row that the blue level tells apart.
constexpr int kPageMarks = 8;
inline std::uint8_t PageBlue(int page, int /*x*/, int /*y*/, int /*width*/, int /*height*/) {
    return static_cast<std::uint8_t>(16 + (page % kPageMarks) * 32);
}
// The page (modulo kPageMarks) whose blue level `blue` is, within what JPEG
// changes; -1 for none.
inline int PageOfBlue(int blue) {
    for (int page = 0; page < kPageMarks; ++page) {
        const int d = blue - PageBlue(page, 0, 0, 0, 0);
        if (d >= -6 && d <= 6) return page;
    }
    return -1;
}
inline std::uint8_t PageGrey(int page, int x, int /*y*/, int width, int /*height*/) {
    return static_cast<std::uint8_t>((width > 1 ? x * 200 / (width - 1) : 0) + (page % 4) * 15);
}
// 1 for a white pixel, 0 for black.
inline int PageBit(int page, int x, int y) { return ((x / (4 + page % 4)) + (y / 4)) & 1; }

}  // namespace vds
