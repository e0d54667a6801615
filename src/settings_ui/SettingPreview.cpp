#include "settings_ui/SettingPreview.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwctype>

#include "image/Raster.h"
#include "platform/core/Files.h"
#include "processing/PixelMath.h"
#include "processing/ToneOperations.h"
#include "processing/ToneTables.h"

namespace {

std::uint32_t U32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
std::int32_t I32(const std::uint8_t* p) { return static_cast<std::int32_t>(U32(p)); }
std::uint16_t U16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

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

std::uint8_t PreviewGrey(std::uint8_t b, std::uint8_t g, std::uint8_t r) {
    return static_cast<std::uint8_t>(0.299 * r + 0.587 * g + 0.114 * b);
}

PreviewLoad LoadPreviewSample(const std::wstring& path, PreviewImage& image) {
    if (path.empty() || !files::Exists(path)) return PreviewLoad::kUnreadable;
    CRaster raster;
    if (!raster.Load(path, TypeFromEnding(path)) || !raster.IsValid()) return PreviewLoad::kUnreadable;
    BYTE* bmp = nullptr;
    std::int32_t size = 0;
    if (!raster.EncodeToMemory(bmp, size, RASTER_FORMAT_BMP) || !bmp || size <= 0) {
        std::free(bmp);
        return PreviewLoad::kUnreadable;
    }
    std::vector<std::uint8_t> file(bmp, bmp + size);
    std::free(bmp);
    // File header 14 bytes, info header from 14.
    if (file.size() < 54) return PreviewLoad::kUnreadable;
    const std::uint32_t dataOffset = U32(&file[10]);
    const std::uint32_t infoSize = U32(&file[14]);
    const std::int32_t width = I32(&file[18]);
    const std::int32_t height = std::abs(I32(&file[22]));
    const int bits = U16(&file[28]);
    const std::uint8_t* palette = &file[14 + infoSize];

    image.width = width;
    image.height = height;
    image.dpiX = raster.GetDpiX();
    image.dpiY = raster.GetDpiY();
    image.depth = 8;
    image.greySource.clear();
    image.colourSource.clear();

    const std::size_t w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(height);
    const std::size_t srcStride = ((w * bits + 31) / 32) * 4;
    if (width <= 0 || height <= 0 || dataOffset + srcStride * h > file.size()) return PreviewLoad::kUnsupported;
    const std::uint8_t* rows = &file[dataOffset];
    const std::size_t g8 = px::Stride8(w), c24 = px::Stride24(w);

    auto greyFromColour = [&] {
        image.greySource.assign(g8 * h, 0);
        for (std::size_t y = 0; y < h; ++y) {
            const std::uint8_t* s = &image.colourSource[y * c24];
            std::uint8_t* d = &image.greySource[y * g8];
            for (std::size_t x = 0; x < w; ++x) d[x] = PreviewGrey(s[3 * x], s[3 * x + 1], s[3 * x + 2]);
        }
    };

    switch (bits) {
    case 8:
        image.greySource.assign(g8 * h, 0);
        for (std::size_t y = 0; y < h; ++y) std::memcpy(&image.greySource[y * g8], rows + y * srcStride, w);
        break;
    case 24:
        image.depth = 24;
        image.colourSource.assign(c24 * h, 0);
        for (std::size_t y = 0; y < h; ++y) std::memcpy(&image.colourSource[y * c24], rows + y * srcStride, 3 * w);
        greyFromColour();
        break;
    case 32:
        image.depth = 24;
        image.colourSource.assign(c24 * h, 0);
        for (std::size_t y = 0; y < h; ++y)
            for (std::size_t x = 0; x < w; ++x)
                std::memcpy(&image.colourSource[y * c24 + 3 * x], rows + y * srcStride + 4 * x, 3);
        greyFromColour();
        break;
    case 1: {
        if (palette + 8 > file.data() + file.size()) return PreviewLoad::kUnsupported;
        const std::uint8_t grey0 = PreviewGrey(palette[0], palette[1], palette[2]);
        const std::uint8_t grey1 = PreviewGrey(palette[4], palette[5], palette[6]);
        image.greySource.assign(g8 * h, 0);
        for (std::size_t y = 0; y < h; ++y)
            for (std::size_t x = 0; x < w; ++x) {
                const bool set = (rows[y * srcStride + x / 8] >> (7 - x % 8)) & 1;
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
