#include "platform/gdi/Dib.h"

#include <cstring>

namespace gdi {

Dib24::Dib24(int width, int height) {
    if (width <= 0 || height <= 0) return;
    image_ = QImage(width, height, QImage::Format_BGR888);
    image_.fill(0);
}

Dib24 Dib24::FromBottomUp(const std::uint8_t* bits, int width, int height) {
    Dib24 dib(width, height);
    if (dib.IsNull() || !bits) return dib;
    const std::size_t stride = Stride(width);
    for (int y = 0; y < height; ++y)
        std::memcpy(dib.image_.scanLine(y), bits + static_cast<std::size_t>(height - 1 - y) * stride, stride);
    return dib;
}

void Dib24::CopyToBottomUp(std::uint8_t* bits) const {
    if (IsNull() || !bits) return;
    const std::size_t stride = Stride(Width());
    for (int y = 0; y < Height(); ++y)
        std::memcpy(bits + static_cast<std::size_t>(Height() - 1 - y) * stride, image_.constScanLine(y), stride);
}

std::vector<std::uint8_t> Dib24::ToBottomUp() const {
    std::vector<std::uint8_t> out(IsNull() ? 0 : Stride(Width()) * static_cast<std::size_t>(Height()));
    CopyToBottomUp(out.data());
    return out;
}

COLORREF Dib24::GetPixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= Width() || y >= Height()) return 0xFFFFFFFF;  // CLR_INVALID
    const std::uint8_t* p = image_.constScanLine(y) + 3 * x;
    return RGB(p[2], p[1], p[0]);
}

void Dib24::SetPixel(int x, int y, COLORREF color) {
    if (x < 0 || y < 0 || x >= Width() || y >= Height()) return;
    std::uint8_t* p = image_.scanLine(y) + 3 * x;
    p[0] = GetBValue(color);
    p[1] = GetGValue(color);
    p[2] = GetRValue(color);
}

void Dib24::Fill(COLORREF color) {
    if (IsNull()) return;
    image_.fill(QColor(GetRValue(color), GetGValue(color), GetBValue(color)));
}

}  // namespace gdi
