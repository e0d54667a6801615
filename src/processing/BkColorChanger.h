// Background colour changer: gives a colour page a new paper colour. White
// becomes the target colour, black stays black, every other pixel is mixed
// from its brightness and its colour cast so that coloured ink keeps its
// hue. Photographs can be skipped with the changer's own photo finder.
#pragma once

#include <cstdint>
#include <string>

#include "platform/core/WinTypes.h"
#include "processing/PhotoRegionFinder.h"
#include "processing/ImageView.h"

struct BkColorChangeParams {
    // colour rows changed in place (required; the page must be colour); grey copy given to the photo finder
    PageView page;
    COLORREF target = 0xC5F9FE;  // red 254, green 249, blue 197
    std::wstring name;
    PhotoSelection keepPictures = PhotoSelection::kNone;  // the photo regions left unchanged
    std::uint8_t flag = 0;
    int passes = 5;        // opening passes of the photo finder
};

class CBkColorChanger {
public:
    // Recolours the image in place. Returns false, changing nothing, without
    // a colour image, with bits per pixel other than 24 or a non-positive
    // size.
    bool Run(const BkColorChangeParams& params);
    void Free() { finder_.Free(); }

    const CPhotoRegionFinder& Finder() const { return finder_; }

private:
    CPhotoRegionFinder finder_;
};
