// Text-component analyser: sorts the dark components of a grey page into
// characters (with their dots and accents) and everything else, so that the
// skew search can look at text only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "processing/ComponentClasses.h"
#include "processing/Components.h"
#include "processing/ImageView.h"

struct TextComponentParams {
    // grey rows tested against the threshold (required); colour rows not used
    PageView page;
    int threshold = comp::kTextThreshold;  // dark: grey byte <= threshold
    std::uint8_t flag = 0;
    std::wstring name;
};

class CTextComponentAnalyzer {
public:
    // Classes: 1 character, 2 attached to a character, 3 isolated, 4 small,
    // 5 solid medium, 6 rejected (aspect or too many gaps), 7 too large.
    using Class = comp::ComponentClass;
    static constexpr Class kCharacter = Class::kText, kAttached = Class::kAttached, kIsolated = Class::kSmall,
                           kSmall = Class::kMedium, kSolid = Class::kSolid, kRejected = Class::kLarge,
                           kLarge = Class::kOversize;

    // Labels and classifies. Returns false without a grey image or with a
    // non-positive size; the previous classification is then dropped, so a
    // later ClearTextPixels does nothing.
    bool Analyze(const TextComponentParams& params);
    // Sets the mask byte (8-bit rows padded to four bytes) of every point of
    // every class-1 and class-2 component to 0, when the mask is given and
    // its size is that of the last analysis. Returns whether it did.
    bool ClearTextPixels(std::uint8_t* mask, int width, int height) const;
    void Free();

    const comp::ComponentAnalysis& Analysis() const { return analysis_; }
    // How many small components each component absorbed (at most 2).
    const std::vector<int>& AbsorbCounts() const { return absorbed_; }

private:
    void Attach();

    comp::ComponentAnalysis analysis_;
    std::vector<int> absorbed_;
    std::vector<int> excess_;
    int width_ = 0, height_ = 0;
};

// Whether (right - left) / (bottom - top) in single precision lies outside
// 1/6..6. A zero height with a non-zero width is an infinite ratio (outside);
// a single pixel has no ratio (not outside).
bool RawAspectOutside(const comp::PageComponent& c);
