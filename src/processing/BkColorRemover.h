// Background colour remover: whitens tinted paper and darkens text with a
// brightness/contrast table pivoted on the page's mean grey followed by a
// darkening tone curve; optionally keeps useful colour (red or any colour
// with a square neighbourhood), greys the rest, or shifts every pixel by
// the change of its grey value (keep source colours).
#pragma once

#include <cstdint>
#include <vector>

#include "processing/ProtectedRects.h"
#include "processing/ToneCurve.h"
#include "processing/ImageView.h"

// Which pixels keep their colour while the background is whitened.
enum class KeepMode : std::int32_t {
    kDirect = 0,      // no pixel is greyed
    kKeepRed = 1,     // red pixels (and those around them) keep their colour, the rest is greyed
    kKeepColour = 2,  // coloured pixels (and those around them) keep it, the rest is greyed
    kAllGrey = 3,     // every pixel is greyed
};

struct BkColorParams {
    // grey copy (required, read only); colour rows changed in place; the colour mask is built only for a colour
    // page
    PageView page;
    int brightness = 0;
    int contrast = 0;
    int darkening = 0;     // strength of the darkening curve
    int colorDelta = 0;    // largest channel must exceed the middle one by more than this
    float saturation = 0;  // (largest - smallest) / largest must reach this
    float keepRadius = 0;  // millimetres around colour pixels that keep their colour
    bool rebuildMask = true;  // false: reuse the previous run's colour mask when there is one
    KeepMode keepMode = KeepMode::kKeepRed;
    bool keepSourceColours = false;  // true: shift the colours by the grey change instead
    ProtectedRects protect;  // pixels left alone (the owner's protected rectangles)
};

class CBkColorRemover {
public:
    // Mask values.
    static constexpr std::uint8_t kBackground = 0, kColour = 1, kKept = 2;

    // Processes the colour image in place. Returns false, changing nothing,
    // without a grey image or with a non-positive size.
    bool Run(const BkColorParams& params);
    void Free();

    // The colour mask of the last run (8-bit rows padded to four bytes),
    // kept for runs with the rebuild flag 0; empty before the first run.
    const std::vector<std::uint8_t>& Mask() const { return mask_; }

private:
    void GreyShift(const BkColorParams& p, const tone::Lut& darken);
    // Builds the colour mask again unless it may be reused.
    void UpdateMask(const BkColorParams& p);
    // Mean grey of the page as greying would leave it.
    int GreyedMean(const BkColorParams& p, bool grey, bool greyAll) const;
    // Greys and tones the unprotected pixels in one pass.
    void ApplyGreyedTable(const BkColorParams& p, const tone::Lut& lut, bool grey, bool greyAll);

    std::vector<std::uint8_t> mask_;
    int maskWidth_ = 0, maskHeight_ = 0;
    CToneCurve curve_;
};
