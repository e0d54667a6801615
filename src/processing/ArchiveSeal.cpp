// Geometry and texts of the archive seal. The layout is plain arithmetic on
// the page size, the resolution and the seal settings (the seal's sides kept
// within the page); the drawing itself is left to the ISealDrawer the owner
// supplies, because it needs fonts and the processing core draws no text.
#include "processing/ArchiveSeal.h"

#include <algorithm>

#include "platform/core/Numbers.h"
#include "processing/PixelMath.h"

namespace {

constexpr std::int32_t kMaxFontHeight = 8192;

std::int32_t Clamp(std::int32_t v, std::int32_t lo, std::int32_t hi) { return std::max(lo, std::min(v, hi)); }

}  // namespace

SealLayout ComputeSealLayout(const SealSettings& s, std::int32_t pageWidth, std::int32_t pageHeight,
                             std::int32_t dpi) {
    SealLayout l;
    const float lineWidth = static_cast<float>(s.lineWidth);
    std::int32_t W;
    std::int32_t H;
    if (s.sizeMode == 0) {
        W = px::SaturatingInt(s.ratioWidth * static_cast<float>(pageWidth) * 0.01f + lineWidth);
        H = px::SaturatingInt(s.ratioHeight * static_cast<float>(pageWidth) * 0.01f + lineWidth);
    } else {
        const float d = static_cast<float>(dpi);
        W = px::SaturatingInt(static_cast<double>(px::MmToPixels(static_cast<float>(s.fixedWidth), d)) + s.lineWidth);
        H = px::SaturatingInt(static_cast<double>(px::MmToPixels(static_cast<float>(s.fixedHeight), d)) + s.lineWidth);
    }
    W = Clamp(W, 1, std::max(1, pageWidth));
    H = Clamp(H, 1, std::max(1, pageHeight));
    l.width = W;
    l.height = H;

    const float d = static_cast<float>(dpi);
    l.x = s.side == 1 ? px::MmToPixels(static_cast<float>(s.leftMargin), d)
                      : px::SaturatingInt(static_cast<double>(pageWidth) - W - px::MmToPixels(static_cast<float>(s.rightMargin), d));
    l.y = px::MmToPixels(static_cast<float>(s.topMargin), d);

    const std::int32_t pw = Clamp(s.useLineWidth ? s.lineWidth : (H - s.lineWidth) / 20, 0, std::min(W, H));
    const std::int32_t half = pw / 2;
    l.penWidth = pw;
    l.half = half;
    l.dividerX = half + 2 * (W - pw) / 3;
    const std::int32_t mid = (H - pw) / 2;
    l.frame = RECT{half, half, W - half, H - half};
    l.labelCells[0] = RECT{half, half, l.dividerX, mid};
    l.labelCells[1] = RECT{l.dividerX, half, W - half, mid};
    l.valueCells[0] = RECT{half, mid, l.dividerX, H - half};
    l.valueCells[1] = RECT{l.dividerX, mid, W - half, H - half};

    const std::int32_t derived = (H - pw) / 3;
    l.labelHeight = Clamp(s.useFontSizes ? s.titleFontSize : derived, 1, kMaxFontHeight);
    l.valueHeight = Clamp(s.useFontSizes ? s.numberFontSize : static_cast<std::int32_t>(derived * 0.8333333333333334),
                          1, kMaxFontHeight);
    return l;
}

SealTexts MakeSealTexts(const std::wstring& prefix, std::int32_t volume, std::int32_t serial) {
    SealTexts t;
    t.values[0] = prefix + FormatW(L"-%03d", volume);
    t.values[1] = FormatW(L"%d", serial);
    return t;
}
