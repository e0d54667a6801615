// The text filter: erases every dark component of a page that is not text,
// so that centring can measure the text alone.
#pragma once

#include <cstdint>
#include <string>

#include "processing/Components.h"
#include "processing/ImageView.h"

struct TextFilterParams {
    // grey rows: the binary image tested against the threshold (required); on a colour page erased in the colour
    // rows, otherwise in the grey rows
    PageView page{.bitsPerPixel = 8};
    void* second = nullptr;          // not used
    int threshold = comp::kTextThreshold;  // dark: binary byte <= threshold
    std::uint8_t flag = 0;
    std::wstring name;
};

class CTextFilter {
public:
    // Classifies the dark components and erases every one that is not text:
    // with 24 bits per pixel and both images given the colour pixels become
    // white, otherwise the binary bytes become 255. Returns false, changing
    // nothing, without a binary image or with a non-positive size.
    bool Run(const TextFilterParams& params);
    void Free();

    const comp::ComponentAnalysis& Analysis() const { return analysis_; }

private:
    comp::ComponentAnalysis analysis_;
};
