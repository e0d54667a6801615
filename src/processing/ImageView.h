// The shape of a raw image in memory, and the images the engines are given.
//
// Every engine works on raw rows: 8-bit grey or 24-bit B, G, R, each row
// padded to four bytes, stored bottom-up (memory row 0 is the bottom of the
// picture). An ImageView names such a block of pixels together with its size,
// depth, row length and row order, so that none of it travels as a separate
// argument by convention. A view never owns its pixels; OwnedImage does, and
// hands out views of itself.
//
// A PageView is the page an engine works on: the same picture as 8-bit rows
// and as 24-bit rows (either may be absent where the engine says so), the
// depth of the page itself (24: the engine works on the colour rows) and its
// resolution.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "processing/ImageBuffer.h"
#include "processing/PixelMath.h"

// Which picture row the first memory row holds.
enum class RowOrder { kBottomUp, kTopDown };

template <class Byte>
struct BasicImageView {
    Byte* bits = nullptr;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bitsPerPixel = 8;
    std::size_t stride = 0;  // bytes from one memory row to the next
    RowOrder rows = RowOrder::kBottomUp;

    // A view of padded rows (the layout AllocPixels makes): 24 gives 24-bit
    // rows, anything else 8-bit rows.
    static BasicImageView Padded(Byte* bits, std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel,
                                 RowOrder rows = RowOrder::kBottomUp) {
        return {bits, width, height, bitsPerPixel,
                px::StrideFor(static_cast<std::size_t>(width > 0 ? width : 0), bitsPerPixel), rows};
    }
    static BasicImageView Grey(Byte* bits, std::int32_t width, std::int32_t height) {
        return Padded(bits, width, height, 8);
    }
    static BasicImageView Colour(Byte* bits, std::int32_t width, std::int32_t height) {
        return Padded(bits, width, height, 24);
    }

    // A view of the same pixels that cannot change them.
    operator BasicImageView<const std::uint8_t>() const
        requires(!std::is_const_v<Byte>)
    {
        return {bits, width, height, bitsPerPixel, stride, rows};
    }

    bool Empty() const { return !bits || width <= 0 || height <= 0; }
    // Memory row y (0 is the first row in memory, whatever the row order).
    Byte* MemoryRow(std::int32_t y) const { return bits + stride * static_cast<std::size_t>(y); }
    // Picture row y counted from the top.
    Byte* RowFromTop(std::int32_t y) const {
        return MemoryRow(rows == RowOrder::kTopDown ? y : height - 1 - y);
    }
    std::size_t Bytes() const { return bits ? stride * static_cast<std::size_t>(height > 0 ? height : 0) : 0; }
};

using ImageView = BasicImageView<std::uint8_t>;
using ConstImageView = BasicImageView<const std::uint8_t>;

// An image with its own pixels (padded rows, bottom-up unless told
// otherwise); empty when it has none.
class OwnedImage {
public:
    OwnedImage() = default;
    // Takes over a buffer of padded rows of this shape.
    OwnedImage(PixelBuffer bits, std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel,
               RowOrder rows = RowOrder::kBottomUp)
        : bits_(std::move(bits)), width_(width), height_(height), bitsPerPixel_(bitsPerPixel), rows_(rows) {}

    // A zero-filled image, or an empty one when AllocPixels refuses the size.
    static OwnedImage Allocate(std::int32_t width, std::int32_t height, std::int32_t bitsPerPixel,
                               RowOrder rows = RowOrder::kBottomUp) {
        PixelBuffer bits = AllocPixels(width, height, bitsPerPixel);
        if (!bits) return {};
        return OwnedImage(std::move(bits), width, height, bitsPerPixel, rows);
    }

    ImageView View() { return Shape(bits_.get()); }
    ConstImageView View() const { return Shape(static_cast<const std::uint8_t*>(bits_.get())); }
    bool Empty() const { return !bits_ || width_ <= 0 || height_ <= 0; }
    std::uint8_t* Bits() { return bits_.get(); }
    std::int32_t Width() const { return width_; }
    std::int32_t Height() const { return height_; }
    std::int32_t BitsPerPixel() const { return bitsPerPixel_; }
    // Gives the buffer away and leaves the image empty.
    PixelBuffer Release() {
        width_ = height_ = 0;
        return std::move(bits_);
    }
    void Reset() { *this = OwnedImage(); }

private:
    template <class Byte>
    BasicImageView<Byte> Shape(Byte* bits) const {
        if (!bits) return {};
        return BasicImageView<Byte>::Padded(bits, width_, height_, bitsPerPixel_, rows_);
    }

    PixelBuffer bits_;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
    std::int32_t bitsPerPixel_ = 8;
    RowOrder rows_ = RowOrder::kBottomUp;
};

// The page an engine works on. The grey and colour rows show the same
// picture of width x height; bitsPerPixel is the page's own depth, which
// tells an engine which of the two it works on.
struct PageView {
    std::uint8_t* grey = nullptr;    // 8-bit padded rows, bottom-up
    std::uint8_t* colour = nullptr;  // 24-bit padded rows, bottom-up
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t bitsPerPixel = 24;  // 24: a colour page; otherwise a grey page
    std::int32_t dpi = 300;

    // A page from its two forms; the size is that of whichever view has
    // pixels (the grey one when both have).
    static PageView Of(ImageView grey, ImageView colour, std::int32_t bitsPerPixel, std::int32_t dpi) {
        const ImageView& shape = grey.bits ? grey : colour;
        return {grey.bits, colour.bits, shape.width, shape.height, bitsPerPixel, dpi};
    }
    // A page of one form only: 24-bit views give a colour page, others a grey page.
    static PageView Of(ImageView image, std::int32_t dpi) {
        return image.bitsPerPixel == 24 ? Of(ImageView{}, image, 24, dpi) : Of(image, ImageView{}, 8, dpi);
    }

    ImageView Grey() const { return ImageView::Grey(grey, width, height); }
    ImageView Colour() const { return ImageView::Colour(colour, width, height); }
    bool ColourPage() const { return bitsPerPixel == 24; }
};
