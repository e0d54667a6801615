// Blank-page detector: whether a processed page is blank, by the share of
// dark pixels (type 1) or by the share of the page covered by characters
// (type 2).
#pragma once

#include <cstdint>
#include <string>

#include "processing/Components.h"
#include "processing/ImageView.h"

// What makes a page blank.
enum class BlankTest : std::int32_t {
    kByDarkPixels = 1,  // few dark pixels (any value but kByText judges this way)
    kByText = 2,        // little of the page covered by characters
};

struct BlankPageParams {
    // grey rows: the 8-bit page to judge (required); colour rows and depth not used
    PageView page;
    int threshold = 128;    // type 1: content below it; type 2: dark at or below it
    float contentPercent = 1.0f;  // type 1 limit, % of the page
    float textPercent = 0.1f;     // type 2 limit, % of the page
    BlankTest type = BlankTest::kByText;
    std::wstring name;
};

class CBlankPageDetector {
public:
    // Below this dpi the character sizes collapse to a few pixels and the
    // text test cannot tell characters from anything else; a type-2
    // detection is then refused rather than calling every page blank.
    static constexpr int kMinTextDpi = 50;

    // Sets the result. Returns false without an image, with a non-positive
    // size, or for type 2 below kMinTextDpi; the result is then 0 (not
    // blank), never the previous page's.
    bool Detect(const BlankPageParams& params);
    void Free() { analysis_.Free(); }

    // 1 blank, 0 not blank.
    std::uint8_t Result() const { return result_; }
    // Type 2: the summed box area of the characters counted so far (the
    // count stops once the page is known not to be blank).
    std::int64_t TextArea() const { return textArea_; }

private:
    comp::ComponentAnalysis analysis_;
    morph::BitImage bits_;
    std::uint8_t result_ = 0;
    std::int64_t textArea_ = 0;
};
