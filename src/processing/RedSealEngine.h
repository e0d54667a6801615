// Red seal engine: finds red stamps on a colour page and either removes
// them (keeping the dark text printed under them) or strengthens them.
#pragma once

#include <cstdint>
#include <vector>

#include "processing/Components.h"
#include "processing/ToneCurve.h"
#include "processing/ImageView.h"

// Which red regions the engine works on.
enum class SealScope : std::int32_t {
    kSeals = 0,   // regions of seal size and red density only
    kAllRed = 1,  // every red region
};
// What the engine does to them.
enum class SealAction : std::int32_t {
    kRemove = 0,
    kStrengthen = 1,
};

struct RedSealParams {
    // colour rows changed in place (required); red pixels are found only on a colour page
    PageView page;
    int redLead = 0;                // red must exceed the middle channel by more than this
    float saturation = 0;           // (largest - smallest) / largest must reach this
    int sealArea = 100;     // mm^2, smallest seal region
    int erase = 20;         // removal: brightness = erase + 40
    int textStrength = 10;  // removal: contrast = text strength + 20
    SealScope type = SealScope::kSeals;
    SealAction mode = SealAction::kRemove;
    int clip = 10;          // per mille of each channel clipped at each end when strengthening
};

class CRedSealEngine {
public:
    static constexpr int kMaxSide = 32767;  // points are kept as 16-bit coordinates

    struct SealRegion {
        int left, top, right, bottom;  // inclusive
        std::int64_t redCount;         // mask-1 pixels, the region's first pixel not counted
    };

    // Changes the image in place. Returns false, changing nothing, without an
    // image or with a side outside 1..32767.
    bool Run(const RedSealParams& params);
    void Free();

    // The regions kept by the last run, in labelling order.
    const std::vector<SealRegion>& Regions() const { return regions_; }
    // Red mask of the last run: 0 none, 1 red pixel, 2 grown neighbour.
    const std::vector<std::uint8_t>& Mask() const { return mask_; }

private:
    void Remove(const RedSealParams& p);
    void Strengthen(const RedSealParams& p);

    std::vector<std::uint8_t> mask_;
    std::vector<std::uint8_t> redPlane_;
    std::vector<std::uint8_t> boxPixels_;
    std::vector<SealRegion> regions_;
    comp::ComponentAnalysis analysis_;
    CToneCurve curve_;
};
