// The archive seal: a two-by-two table stamped on the first page of an
// archive folder (labels "档  号" and "序号" in the upper row, the archive
// number and the serial number in the lower row). Its appearance
// (SealSettings), the geometry that follows from the page, and the drawing
// interface the processing object draws through: the drawing itself needs
// fonts, which the processing core leaves to the user-interface layers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/core/WinTypes.h"

// The seal's appearance, as the seal tool's dialog holds it.
struct SealSettings {
    COLORREF lineColor = RGB(255, 0, 0);  // frame, dividers and the two labels
    COLORREF textColor = RGB(0, 0, 0);    // the two values
    std::int32_t lineWidth = 8;           // pixels; always added to the seal's width and height
    BYTE useLineWidth = 0;                // 1: the pen width is lineWidth; 0: derived from the seal height
    BYTE useFontSizes = 0;                // 1: font heights as given; 0: derived from the seal height
    std::int32_t side = 0;                // 0 from the right page edge, 1 from the left
    std::int32_t leftMargin = 10;         // mm (side 1)
    std::int32_t topMargin = 5;           // mm
    std::int32_t rightMargin = 10;        // mm (side 0)
    std::int32_t fixedWidth = 45;         // mm (size mode 1)
    std::int32_t fixedHeight = 14;        // mm (size mode 1)
    float ratioWidth = 23.0f;             // percent of the page width (size mode 0)
    float ratioHeight = 7.0f;             // percent of the page width, not of its height
    std::int32_t sizeMode = 0;            // 0 ratio, 1 fixed size
    std::int32_t titleFontSize = 60;      // pixels, labels
    std::int32_t numberFontSize = 50;     // pixels, values
    std::wstring titleFontName = L"微软雅黑";
    std::wstring numberFontName = L"微软雅黑";
};

// Where the seal lies on a page and how it is drawn. Rectangles are in the
// seal's own pixels, (0, 0) its top-left corner.
struct SealLayout {
    std::int32_t width = 0;       // seal W
    std::int32_t height = 0;      // seal H
    std::int32_t x = 0;           // top-left corner on the page, columns from the left
    std::int32_t y = 0;           // rows from the top
    std::int32_t penWidth = 0;    // pw (0: one-pixel lines)
    std::int32_t half = 0;        // pw / 2
    std::int32_t dividerX = 0;    // the vertical divider, half + 2 (W - pw) / 3
    std::int32_t labelHeight = 0; // font cell heights
    std::int32_t valueHeight = 0;
    RECT frame{};                 // (half, half) - (W - half, H - half)
    RECT labelCells[2]{};         // "档  号", "序号"
    RECT valueCells[2]{};         // archive number, serial number
};

// The seal on a page of pageWidth x pageHeight pixels at `dpi` (the page's
// horizontal resolution), in single precision and truncated as the seal has
// always been measured: ratio mode W = trunc(ratioWidth x pageWidth x 0.01 +
// lineWidth), H likewise with ratioHeight; fixed mode trunc(mm / 25.4 x dpi)
// + lineWidth. Absurd settings are held to sizes that can be drawn: W and H
// at least 1 and at most the page's sides, the pen width from 0 to the
// smaller side, font heights from 1 to 8192.
SealLayout ComputeSealLayout(const SealSettings& settings, std::int32_t pageWidth, std::int32_t pageHeight,
                             std::int32_t dpi);

// The four texts: the labels, prefix + "-%03d" (volume), "%d" (serial).
struct SealTexts {
    std::wstring labels[2] = {L"档  号", L"序号"};
    std::wstring values[2];
};
SealTexts MakeSealTexts(const std::wstring& prefix, std::int32_t volume, std::int32_t serial);

// Draws a seal into a white 24-bit surface of layout.width x layout.height
// pixels: B, G, R bytes, rows bottom-up (the first row in memory is the
// seal's bottom row), each padded to four bytes. True when it was drawn.
class ISealDrawer {
public:
    virtual ~ISealDrawer() = default;
    virtual bool Draw(BYTE* bits, const SealLayout& layout, const SealSettings& settings, const SealTexts& texts) = 0;
};

// The drawing state a processing object keeps for its seal.
struct SealCanvas {
    bool created = false;          // the surface exists
    std::unique_ptr<BYTE[]> bits;  // the surface (see ISealDrawer)
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::wstring prefix;
    std::int32_t serial = 0;
    std::int32_t volume = 0;
    void Release() {
        bits.reset();
        created = false;
    }
};
