// Binding-hole remover: finds the punched holes that show as solid dark
// blobs in the margin bands of a page and paints them white or covers them
// with a patch of paper from a clean place nearby in the same band.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "processing/BindHoleOptions.h"
#include "processing/Components.h"
#include "processing/ImageView.h"

// The paper a page is printed on, which decides how holes are filled.
enum class PaperType : std::int32_t {
    kWhite = 0,   // holes painted white
    kTinted = 1,  // holes covered with a patch of nearby paper (any value but kWhite)
};

struct BindHoleParams {
    // grey rows tested for hole pixels and changed in place (required; sides 1..32767); colour rows changed in
    // place on a colour page
    PageView page;
    bool mark = true;  // paint changed pixels magenta in the comparison copy
    std::wstring name;      // not used
    std::int32_t on = 0;    // holes are filled only when not 0
    std::int32_t left = 10, right = 10;  // band widths, % of the width
    std::int32_t top = 10, bottom = 10;  // band widths, also % of the width
    std::int32_t smallestArea = 4;       // mm^2
    std::int32_t largestArea = 100;      // mm^2
    std::int32_t greyLow = 0, greyHigh = 64;
    std::int32_t radius = 3;         // mm; each filled pixel also fills the square -r..r-1 around it
    std::int32_t ignoreCorners = 0;  // %
    PaperType backgroundType = PaperType::kWhite;
    std::int32_t colourDelta = 25;   // tinted paper: max - min of a hole pixel's channels at most this
    std::int32_t whiteFill = 0;      // 1 paint white even on tinted paper

    // Copies the option block's values (everything but the background type,
    // which the caller decides from the image); the mark flag is the low
    // byte of the options' flag.
    void TakeOptions(const BindHoleOptions& o);
};

class CBindHoleRemover {
public:
    // Finds and fills the holes. Nothing changes for a missing grey image,
    // a side outside 1..32767, or a colour-mode run without a colour image.
    void Run(const BindHoleParams& params);
    void Free();

    // The comparison copy of the last run with the mark flag: a copy of the
    // colour image (with magenta where pixels were filled) or, without a
    // colour image, an unmarked copy of the grey image. Null otherwise.
    const std::uint8_t* ComparisonCopy() const { return copy_.empty() ? nullptr : copy_.data(); }
    bool ComparisonIsColour() const { return copyIsColour_; }
    bool MarkFlag() const { return params_.mark; }

    // A hole's ordered patch fill copies each hole pixel's square in turn;
    // a hole whose fill would copy more pixels than this is left as it is
    // (only absurd radii or hole sizes reach it).
    static constexpr std::int64_t kPatchCopyBudget = std::int64_t{1} << 31;

private:
    struct Geometry;
    bool IsHole(const comp::PageComponent& c, const Geometry& g) const;
    bool FindPatch(const comp::PageComponent& c, const Geometry& g, int& dx, int& dy) const;
    void FillPatch(const comp::PageComponent& c, int dx, int dy, int r);
    void FillWhite(const comp::PageComponent& c, int dx, int dy, int r);
    void Mark(const comp::PageComponent& c, int dx, int dy, int r);
    // Marks with 1 in `window_` (a local mask over the hole's box grown by r)
    // the pixels the fill of `c` touches: the points and their squares (when
    // r > 0), kept where the source (pixel + offset) also lies in the image.
    void CoverWindow(const comp::PageComponent& c, int dx, int dy, int r);

    BindHoleParams params_;
    comp::ComponentAnalysis analysis_;
    std::vector<std::uint8_t> copy_;
    bool copyIsColour_ = false;
    // scratch of the window fills
    std::vector<std::uint8_t> window_;
    int winL_ = 0, winT_ = 0, winW_ = 0, winH_ = 0;
};
