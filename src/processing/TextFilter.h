// The text filter: erases every dark component of a page that is not text,
// so that centring can measure the text alone.
#pragma once

#include <cstdint>
#include <string>

#include "processing/Components.h"

struct TextFilterParams {
    std::uint8_t* binary = nullptr;  // 8-bit rows tested against the threshold (required)
    std::uint8_t* colour = nullptr;  // 24-bit rows, erased in 24-bit mode
    void* second = nullptr;          // not used
    int width = 0;
    int height = 0;
    int bitsPerPixel = 8;  // 24: erase in the colour image; otherwise in the binary image
    int threshold = 160;   // dark: binary byte <= threshold
    int dpi = 300;
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
