// Cropping a page to its content plus a margin: cut white margins (content
// found on a binarised copy) and cut by background colour (content found as
// long runs of chosen pure colours after reducing the page to eight colours).
// Boxes are in buffer coordinates: "top" is the first row in memory, which
// is the lowest row of the picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace cutting {

struct Box {
    int left = -1;
    int right = -1;
    int top = -1;
    int bottom = -1;
    bool Found() const { return left != -1 && right != -1 && top != -1 && bottom != -1; }
};

struct Margins {
    int left = 0;
    int right = 0;
    int top = 0;
    int bottom = 0;
};

// A block of an image, cut out.
struct Cut {
    std::unique_ptr<std::uint8_t[]> bits;  // padded bottom-up rows of the source depth
    std::size_t size = 0;                  // bytes
    int width = 0;
    int height = 0;
    bool empty() const { return !bits; }
};

// Copies the block left..right x top..bottom (inclusive) of an image; an
// empty cut for a block outside the image or when the memory is not there.
Cut CopyBlock(const std::uint8_t* bits, int width, int height, int bitsPerPixel, const Box& box);

// Content box of a binary image (dark pixels are 0): the first and last rows
// with more than ratio / 100 x width dark pixels and the first and last
// columns with more than ratio / 100 x height (single precision); -1 where
// there are none.
Box FindContentBox(const std::uint8_t* binary, int width, int height, float ratio);

// Widens a content box by the margins; a margin of 0 or less leaves its side
// as it is. Sides stop at the image edges.
Box ApplyMargins(const Box& box, const Margins& margins, int width, int height);

// Cut white margins of an 8- or 24-bit image. The image is binarised at the
// fixed threshold (255 where the grey value is at least it) when
// `fixedThreshold` is set, otherwise by Otsu. `box` receives the content box
// before the margins. Returns an empty cut when there is no content box.
Cut CutWhiteMargins(const std::uint8_t* bits, int width, int height, int bitsPerPixel, bool fixedThreshold,
                    int threshold, const Margins& margins, float ratio, Box* box);

// Values of the cut by background colour, in this order.
struct CutByBkColorParams {
    int red = 0, yellow = 0, green = 0, cyan = 0, blue = 0, purple = 0, black = 0, white = 0;
    int marginUnit = 0;       // 0 pixels, 1 millimetres
    float margin = 0.0f;
    float contentRatio = 0.0f;  // percent
    std::uint8_t skipNearWhite = 0;
};

struct Colour {
    std::uint8_t r, g, b;
};

// One pure colour per flag that is on, in the order red, yellow, green,
// cyan, blue, purple, black, white.
std::vector<Colour> ContentColours(const CutByBkColorParams& params);

// Margin in pixels: millimetres through whole pixels per millimetre of the
// dpi, int(int(dpi x 0.03937008) x margin); pixels as int(margin + 0.49).
int MarginPixels(const CutByBkColorParams& params, int xDpi);

// Every channel of every pixel becomes 255 when it is at least the mean grey
// value of the image (64-bit sum of truncated greys, integer division), 0
// otherwise, so that each pixel is one of eight pure colours. In place.
void BinarizeAtMeanColor(std::uint8_t* bits, int width, int height);

// More than half of the pixels have all three channels at 250 or above.
bool IsMostlyWhite(const std::uint8_t* bits, int width, int height);

// Content box of a binarised 24-bit image: the first rows (from each end)
// and columns whose pixels of the listed colours form a long enough run of
// content (ratio percent of the line, at most 100 %).
Box FindColourContentBox(const Colour* colours, int count, const std::uint8_t* binarised, int width, int height,
                         float ratio);

// Widens (or, for a negative margin, narrows) a colour content box by the
// margin on every side, stopping at the image edges. A box that a negative
// margin turns inside out is no box.
Box ApplyColourMargin(const Box& box, int margin, int width, int height);

// The whole cut by background colour of a 24-bit image.
struct ColourCut {
    Cut cut;                       // empty when nothing is cut
    Box box;                       // content box before the margin
    bool searched = false;          // the content box was looked for
    bool nearWhiteChecked = false;  // skip near-white was on and the test ran
    bool mostlyWhite = false;       // its result
};
ColourCut CutEdgesByBkColor(const std::uint8_t* bits, int width, int height, const CutByBkColorParams& params,
                            int xDpi);

}  // namespace cutting
