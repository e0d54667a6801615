#include "settings_ui/SettingPreview.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwctype>

#include "image/Raster.h"
#include "platform/core/Files.h"
#include "processing/PixelMath.h"
#include "processing/PixelRows.h"
#include "processing/ToneOperations.h"
#include "processing/ToneTables.h"

namespace {

DWORD TypeFromEnding(const std::wstring& path) {
    const auto dot = path.find_last_of(L'.');
    std::wstring ext = dot == std::wstring::npos ? L"" : path.substr(dot + 1);
    for (auto& c : ext) c = static_cast<wchar_t>(std::towlower(c));
    if (ext == L"tif" || ext == L"tiff") return RASTER_FORMAT_TIF;
    if (ext == L"png") return RASTER_FORMAT_PNG;
    return RASTER_FORMAT_JPG;
}

}  // namespace

void PreviewImage::ResetWorking() {
    greyWorking = greySource;
    colourWorking = colourSource;
}

PreviewLoad LoadPreviewSample(const std::wstring& path, PreviewImage& image) {
    if (path.empty() || !files::Exists(path)) return PreviewLoad::kUnreadable;
    CRaster raster;
    if (!raster.Load(path, TypeFromEnding(path)) || !raster.IsValid()) return PreviewLoad::kUnreadable;
    const std::int32_t width = static_cast<std::int32_t>(raster.GetWidth());
    const std::int32_t height = static_cast<std::int32_t>(raster.GetHeight());
    // A colour page with an alpha plane counts as 32 bits; its colours are
    // the 24-bit rows.
    const int bits = raster.GetBitsPerPixel() == 24 && raster.GetAlphaPlane() ? 32 : raster.GetBitsPerPixel();
    image.width = width;
    image.height = height;
    image.dpiX = raster.GetDpiX();
    image.dpiY = raster.GetDpiY();
    image.depth = 8;
    image.greySource.clear();
    image.colourSource.clear();
    if (width <= 0 || height <= 0) return PreviewLoad::kUnsupported;
    const std::size_t w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
    // Rows bottom-up, as the raster holds them.
    auto row = [&](std::size_t y) { return static_cast<const std::uint8_t*>(raster.GetBits(static_cast<DWORD>(y))); };
    const std::size_t g8 = px::Stride8(w), c24 = px::Stride24(w);
    auto greyFromColour = [&] {
        image.greySource.assign(g8 * h, 0);
        for (std::size_t y = 0; y < h; ++y) {
            const std::uint8_t* s = &image.colourSource[y * c24];
            std::uint8_t* d = &image.greySource[y * g8];
            px::GreyRgbOrderRow(s, d, w);
        }
    };
    switch (bits) {
    case 8:
        image.greySource.assign(g8 * h, 0);
        for (std::size_t y = 0; y < h; ++y) std::memcpy(&image.greySource[y * g8], row(y), w);
        break;
    case 24:
    case 32: {
        // A raster of 32 bits per pixel keeps its colours in the first three
        // bytes of each pixel; one with an alpha plane in its 24-bit rows.
        const std::size_t step = raster.GetBitsPerPixel() / 8;
        image.depth = 24;
        image.colourSource.assign(c24 * h, 0);
        for (std::size_t y = 0; y < h; ++y)
            for (std::size_t x = 0; x < w; ++x)
                std::memcpy(&image.colourSource[y * c24 + 3 * x], row(y) + step * x, 3);
        greyFromColour();
        break;
    }
    case 1: {
        const RGBQUAD* palette = raster.GetPalette();
        if (!palette || raster.GetPaletteSize() < 8) return PreviewLoad::kUnsupported;
        const std::uint8_t grey0 = px::GreyRgbOrder(palette[0].rgbBlue, palette[0].rgbGreen, palette[0].rgbRed);
        const std::uint8_t grey1 = px::GreyRgbOrder(palette[1].rgbBlue, palette[1].rgbGreen, palette[1].rgbRed);
        image.greySource.assign(g8 * h, 0);
        for (std::size_t y = 0; y < h; ++y)
            for (std::size_t x = 0; x < w; ++x) {
                const bool set = (row(y)[x / 8] >> (7 - x % 8)) & 1;
                image.greySource[y * g8 + x] = set ? grey1 : grey0;
            }
        break;
    }
    default: return PreviewLoad::kUnsupported;
    }
    return PreviewLoad::kLoaded;
}

void AdjustPreviewBrightness(std::uint8_t* bits, int width, int height, int delta) {
    tone::ApplyLut8(bits, width, height, tone::BrightnessContrastTable(delta, 0, 0));
}

void AdjustPreviewContrast(std::uint8_t* bits, int width, int height, int contrast) {
    const int mean = tone::MeanByte8(bits, width, height);
    tone::ApplyLut8(bits, width, height, tone::BrightnessContrastTable(0, contrast, mean));
}

void DarkenPreview(CToneCurve& curve, std::uint8_t* bits, int width, int height, int darkening) {
    tone::ApplyDarkening(bits, width, height, darkening, curve);
}

void RunGreyPreview(PreviewImage& image, CToneCurve& curve) {
    image.greyWorking = image.greySource;
    std::uint8_t* bits = image.greyWorking.data();
    AdjustPreviewBrightness(bits, image.width, image.height, image.brightness);
    AdjustPreviewContrast(bits, image.width, image.height, image.contrast);
    DarkenPreview(curve, bits, image.width, image.height, image.darkening);
}

BkColorParams PreviewColourParams(PreviewImage& image, const PreviewColourValues& v) {
    BkColorParams p;
    p.page = PageView{image.greyWorking.data(), image.colourWorking.data(), image.width, image.height, 24, image.dpiX};
    p.brightness = image.brightness;
    p.contrast = image.contrast;
    p.darkening = image.darkening;
    p.rebuildMask = image.rebuildMask != 0;
    p.colorDelta = std::clamp(v.colourDelta, 1, 100);
    p.saturation = std::clamp(v.saturation, 0.0f, 1.0f);
    p.keepRadius = std::clamp(v.keepRadius, 0.0f, 6.0f);
    p.keepMode = static_cast<KeepMode>(v.keepMode);
    p.keepSourceColours = v.keepSourceColours;
    return p;
}

void RunColourPreview(PreviewImage& image, CBkColorRemover& remover, const PreviewColourValues& values) {
    image.ResetWorking();
    remover.Run(PreviewColourParams(image, values));
}
