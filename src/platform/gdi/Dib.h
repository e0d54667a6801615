// A 24-bit image to draw into: B, G, R bytes, rows padded to four bytes, as
// the device-independent bitmaps the dialogs and the seal draw into. It is a
// QImage underneath (QPainter draws on it), kept top-down; the processing core
// hands images around bottom-up (row 0 last in memory), and the conversions
// below turn one layout into the other.
#pragma once

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/core/WinTypes.h"

namespace gdi {

class Dib24 {
public:
    Dib24() = default;
    // A new image of the size, every byte 0 (black), as a fresh DIB section.
    Dib24(int width, int height);

    // Copies a bottom-up buffer (rows of Stride(width) bytes, the first row in
    // memory being the bottom row of the picture).
    static Dib24 FromBottomUp(const std::uint8_t* bits, int width, int height);
    // Writes the image bottom-up into `bits` (Stride(width) x height bytes).
    void CopyToBottomUp(std::uint8_t* bits) const;
    std::vector<std::uint8_t> ToBottomUp() const;

    // Bytes of one row: 3 x width rounded up to a multiple of four.
    static std::size_t Stride(int width) { return (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3}; }

    int Width() const { return image_.width(); }
    int Height() const { return image_.height(); }
    bool IsNull() const { return image_.isNull(); }

    // Pixels by column and row counted from the top.
    COLORREF GetPixel(int x, int y) const;
    void SetPixel(int x, int y, COLORREF color);
    void Fill(COLORREF color);

    QImage& Image() { return image_; }
    const QImage& Image() const { return image_; }

private:
    QImage image_;  // Format_BGR888, top-down
};

}  // namespace gdi
