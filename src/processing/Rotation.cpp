#include "processing/Rotation.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/core/CheckedSize.h"
#include "processing/PixelMath.h"

namespace rotation {

namespace {

double Radians(double degrees) { return degrees * static_cast<double>(kRotationPi) / 180.0; }

bool ValidImage(const std::uint8_t* bits, int width, int height, int bpp) {
    return bits != nullptr && width > 0 && height > 0 && (bpp == 8 || bpp == 24) &&
           static_cast<std::uint64_t>(width) <= image_limits::kMaxSide &&
           static_cast<std::uint64_t>(height) <= image_limits::kMaxSide;
}

// The mapping of the canvas back into a sampled area of sampledWidth x
// sampledHeight, in which the image sits at (offsetX, offsetY) and every
// other position reads `outside`.
struct Mapping {
    const std::uint8_t* bits;
    int width, height, channels;
    std::size_t stride;
    int offsetX, offsetY;
    int sampledWidth, sampledHeight;
    std::uint8_t outside;
    double centreX, centreY;
    double cosA, sinA;
    std::uint8_t edgeFill;
};

void Render(const Mapping& m, Canvas& canvas) {
    const int cw = canvas.width, ch = canvas.height, n = m.channels;
    const std::size_t outStride = px::StrideFor(static_cast<std::size_t>(cw), canvas.bitsPerPixel);
    // Per column: centre + dx cos a and centre + dx sin a; per row: dy sin a
    // and dy cos a. Each is one rounding of the same expression as the full
    // formula, and the sums keep their order, so the positions are exact.
    std::vector<double> colX(static_cast<std::size_t>(cw)), colY(static_cast<std::size_t>(cw));
    const double halfW = cw / 2.0, halfH = ch / 2.0;
    for (int X = 0; X < cw; ++X) {
        const double dx = X - halfW;
        colX[static_cast<std::size_t>(X)] = m.centreX + dx * m.cosA;
        colY[static_cast<std::size_t>(X)] = m.centreY + dx * m.sinA;
    }
    const int lastX = m.sampledWidth - 1, lastY = m.sampledHeight - 1;
    for (int Y = 0; Y < ch; ++Y) {
        const double dy = Y - halfH;
        const double rowX = dy * m.sinA, rowY = dy * m.cosA;
        std::uint8_t* out = canvas.bits.get() + outStride * static_cast<std::size_t>(Y);
        for (int X = 0; X < cw; ++X) {
            const double x = colX[static_cast<std::size_t>(X)] - rowX;
            const double y = colY[static_cast<std::size_t>(X)] + rowY;
            if (!(x >= 0.0 && y >= 0.0)) continue;
            const int x0 = x >= lastX ? lastX : static_cast<int>(x);
            const int y0 = y >= lastY ? lastY : static_cast<int>(y);
            std::uint8_t* dst = out + static_cast<std::size_t>(X) * n;
            if (x0 + 1 == m.sampledWidth || y0 + 1 == m.sampledHeight) {
                for (int c = 0; c < n; ++c) dst[c] = m.edgeFill;
                continue;
            }
            const double fx = x - x0, fy = y - y0;
            const double w00 = (1 - fx) * (1 - fy), w10 = fx * (1 - fy), w01 = (1 - fx) * fy, w11 = fx * fy;
            const int ix = x0 - m.offsetX, iy = y0 - m.offsetY;
            if (ix >= 0 && iy >= 0 && ix + 1 < m.width && iy + 1 < m.height) {
                const std::uint8_t* p0 = m.bits + m.stride * static_cast<std::size_t>(iy) + static_cast<std::size_t>(ix) * n;
                const std::uint8_t* p1 = p0 + m.stride;
                for (int c = 0; c < n; ++c)
                    dst[c] = static_cast<std::uint8_t>(
                        static_cast<int>(w00 * p0[c] + w10 * p0[n + c] + w01 * p1[c] + w11 * p1[n + c]));
            } else {
                auto at = [&](int sx, int sy, int c) -> std::uint8_t {
                    if (sx < 0 || sy < 0 || sx >= m.width || sy >= m.height) return m.outside;
                    return m.bits[m.stride * static_cast<std::size_t>(sy) + static_cast<std::size_t>(sx) * n + c];
                };
                for (int c = 0; c < n; ++c)
                    dst[c] = static_cast<std::uint8_t>(static_cast<int>(
                        w00 * at(ix, iy, c) + w10 * at(ix + 1, iy, c) + w01 * at(ix, iy + 1, c) + w11 * at(ix + 1, iy + 1, c)));
            }
        }
    }
}

Canvas NewCanvas(int width, int height, int bpp, std::uint8_t fill) {
    Canvas c;
    c.size = px::StrideFor(static_cast<std::size_t>(width), bpp) * static_cast<std::size_t>(height);
    c.bits = px::NewBuffer(c.size, fill);
    if (!c.bits) return Canvas{};
    c.width = width;
    c.height = height;
    c.bitsPerPixel = bpp;
    return c;
}

}  // namespace

bool CanvasSize(double degrees, int width, int height, int* canvasWidth, int* canvasHeight) {
    if (!std::isfinite(degrees) || width <= 0 || height <= 0) return false;
    const double a = Radians(degrees);
    const double c = std::fabs(std::cos(a)), s = std::fabs(std::sin(a));
    const double w = width * c + height * s + 1;
    const double h = width * s + height * c + 1;
    const double maxSide = static_cast<double>(image_limits::kMaxSide);
    if (!(w >= 1.0 && w < maxSide + 1.0 && h >= 1.0 && h < maxSide + 1.0)) return false;
    const int cw = static_cast<int>(w), ch = static_cast<int>(h);
    // The limit on pixel bytes holds for a 24-bit canvas.
    const auto bytes = checked::Mul(px::Stride24(static_cast<std::size_t>(cw)), static_cast<std::size_t>(ch));
    if (!bytes || *bytes > image_limits::kMaxPixelBytes) return false;
    *canvasWidth = cw;
    *canvasHeight = ch;
    return true;
}

Canvas RotateCentred(const std::uint8_t* bits, int width, int height, int bpp, double degrees, std::uint8_t fill,
                     std::uint8_t edgeFill) {
    int cw = 0, ch = 0;
    if (!ValidImage(bits, width, height, bpp) || !CanvasSize(degrees, width, height, &cw, &ch)) return {};
    Canvas canvas = NewCanvas(cw, ch, bpp, fill);
    if (canvas.empty()) return canvas;
    const double a = Radians(degrees);
    const Mapping m{bits, width, height, bpp / 8, px::StrideFor(static_cast<std::size_t>(width), bpp),
                    (cw - width) / 2, (ch - height) / 2, cw, ch, fill, cw / 2.0, ch / 2.0,
                    std::cos(a), std::sin(a), edgeFill};
    Render(m, canvas);
    return canvas;
}

Canvas RotateAboutImageCentre(const std::uint8_t* bits, int width, int height, int bpp, double degrees,
                              std::uint8_t edgeFill) {
    int cw = 0, ch = 0;
    if (!ValidImage(bits, width, height, bpp) || !CanvasSize(degrees, width, height, &cw, &ch)) return {};
    Canvas canvas = NewCanvas(cw, ch, bpp, 255);
    if (canvas.empty()) return canvas;
    const double a = Radians(degrees);
    const Mapping m{bits, width, height, bpp / 8, px::StrideFor(static_cast<std::size_t>(width), bpp),
                    0, 0, width, height, 255, width / 2.0, height / 2.0,
                    std::cos(a), std::sin(a), edgeFill};
    Render(m, canvas);
    return canvas;
}

void SampleRotated(const std::uint8_t* source, int sourceWidth, int sourceHeight, std::uint8_t* canvas,
                   int canvasWidth, int canvasHeight, double x, double y, int column, int row, int bpp,
                   std::uint8_t edgeFill) {
    if (!(x >= 0.0 && y >= 0.0) || column < 0 || row < 0) return;
    if (column >= canvasWidth || row >= canvasHeight || sourceWidth <= 0 || sourceHeight <= 0) return;
    const int n = bpp == 24 ? 3 : 1;
    const int x0 = x >= sourceWidth - 1 ? sourceWidth - 1 : static_cast<int>(x);
    const int y0 = y >= sourceHeight - 1 ? sourceHeight - 1 : static_cast<int>(y);
    std::uint8_t* dst = canvas + px::StrideFor(static_cast<std::size_t>(canvasWidth), bpp) * static_cast<std::size_t>(row) +
                        static_cast<std::size_t>(column) * n;
    if (x0 + 1 == sourceWidth || y0 + 1 == sourceHeight) {
        for (int c = 0; c < n; ++c) dst[c] = edgeFill;
        return;
    }
    const double fx = x - x0, fy = y - y0;
    const std::size_t stride = px::StrideFor(static_cast<std::size_t>(sourceWidth), bpp);
    const std::uint8_t* p0 = source + stride * static_cast<std::size_t>(y0) + static_cast<std::size_t>(x0) * n;
    const std::uint8_t* p1 = p0 + stride;
    for (int c = 0; c < n; ++c)
        dst[c] = static_cast<std::uint8_t>(static_cast<int>((1 - fx) * (1 - fy) * p0[c] + fx * (1 - fy) * p0[n + c] +
                                                            (1 - fx) * fy * p1[c] + fx * fy * p1[n + c]));
}

void KeepSizeCrop(const std::uint8_t* canvas, int canvasWidth, int canvasHeight, int bpp, int width, int height,
                  std::uint8_t fill, std::uint8_t* out, int* offsetX, int* offsetY) {
    const int ox = (canvasWidth - width) / 2, oy = (canvasHeight - height) / 2;
    if (offsetX) *offsetX = ox;
    if (offsetY) *offsetY = oy;
    if (!canvas || !out || canvasWidth <= 0 || canvasHeight <= 0 || width <= 0 || height <= 0) return;
    if (bpp != 8 && bpp != 24) return;
    const int n = bpp / 8;
    const std::size_t inStride = px::StrideFor(static_cast<std::size_t>(canvasWidth), bpp);
    const std::size_t outStride = px::StrideFor(static_cast<std::size_t>(width), bpp);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* dst = out + outStride * static_cast<std::size_t>(y);
        const int sy = oy + y;
        if (sy < 0 || sy >= canvasHeight) {
            std::memset(dst, fill, static_cast<std::size_t>(width) * n);
            continue;
        }
        const std::uint8_t* src = canvas + inStride * static_cast<std::size_t>(sy);
        // Columns of the block that lie on the canvas.
        const int first = std::max(0, -ox), last = std::min(width, canvasWidth - ox);
        if (first > 0) std::memset(dst, fill, static_cast<std::size_t>(std::min(first, width)) * n);
        if (first < last)
            std::memcpy(dst + static_cast<std::size_t>(first) * n, src + static_cast<std::size_t>(ox + first) * n,
                        static_cast<std::size_t>(last - first) * n);
        if (last < width) {
            const int from = std::max(last, 0);
            std::memset(dst + static_cast<std::size_t>(from) * n, fill, static_cast<std::size_t>(width - from) * n);
        }
    }
}

}  // namespace rotation
