// The sample image of the settings dialog's preview and the tone steps the
// preview applies to a grey sample. A colour sample goes through the batch
// run's own background colour remover; a grey one gets brightness, contrast
// and darkening through the processing core's tone tables. Buffers are
// bottom-up rows as the BMP codec stores them: 8-bit rows padded to four
// bytes, 24-bit rows (B, G, R) 3 x width padded to four bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "processing/BkColorRemover.h"
#include "processing/ToneCurve.h"

struct PreviewImage {
    std::int32_t width = 0, height = 0;
    std::int32_t dpiX = 0, dpiY = 0;
    std::int32_t depth = 8;  // 8 or 24
    std::vector<std::uint8_t> greySource, colourSource;
    std::vector<std::uint8_t> greyWorking, colourWorking;
    std::uint8_t changed = 0;
    std::uint8_t rebuildMask = 0;
    // The preview's copies of the five slider values of 【１】.
    std::int32_t brightness = 0, contrast = 0, darkening = 0;
    std::int32_t pictureBrightness = 0, pictureContrast = 0;

    bool HasColour() const { return !colourSource.empty(); }
    bool HasGrey() const { return !greySource.empty(); }
    // The working buffers take fresh copies of the sources.
    void ResetWorking();
};

enum class PreviewLoad {
    kLoaded,
    kUnreadable,   // missing, empty path, cannot be decoded: the old sample stays
    kUnsupported,  // decoded, but a bit count other than 1, 8, 24 and 32: the old sample is gone
};

// Loads `path` into the sources of `image`: the type from the ending ("tif",
// "tiff": TIFF, "png": PNG, anything else JPEG), decoded, then taken by its
// bit count (a colour page with an alpha plane counts as 32 bits). The grey
// of a colour is 0.299 R + 0.587 G + 0.114 B in double precision, truncated
// (px::GreyRgbOrder).
PreviewLoad LoadPreviewSample(const std::wstring& path, PreviewImage& image);

// Every pixel v becomes clamp(v + delta, 0, 255); padding untouched.
void AdjustPreviewBrightness(std::uint8_t* bits, int width, int height, int delta);
// The contrast table pivoted on the image's mean byte (a threshold at the
// mean from 255 on).
void AdjustPreviewContrast(std::uint8_t* bits, int width, int height, int contrast);
// The darkening curve through (0, 0), (105, 105 - d limited to 20..105),
// (255, 255) on every pixel.
void DarkenPreview(CToneCurve& curve, std::uint8_t* bits, int width, int height, int darkening);

// One grey preview run on the working grey buffer (brightness, contrast,
// darkening with the image's copies).
void RunGreyPreview(PreviewImage& image, CToneCurve& curve);

// The values of 【１】 the colour run takes from the dialog's controls.
struct PreviewColourValues {
    int colourDelta = 25;     // clamped to 1..100
    float saturation = 0.15f; // clamped to 0..1
    float keepRadius = 0.1f;  // clamped to 0..6
    int keepMode = 1;
    bool keepSourceColours = false;
};
// The remover's parameters for one colour run on the working buffers.
BkColorParams PreviewColourParams(PreviewImage& image, const PreviewColourValues& values);
// One colour preview run: both working buffers start from the sources (the
// remover reads the grey image, which an earlier grey run may have changed),
// then the remover runs on them.
void RunColourPreview(PreviewImage& image, CBkColorRemover& remover, const PreviewColourValues& values);
