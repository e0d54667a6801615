// Photo-region finder: the rectangles of photographs and large pictures on
// a page, found by binarising at the mean grey, removing thin strokes with an
// opening of the dark areas and keeping large, compact, dark regions
// (optionally only those of an identity-photo size).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/WinTypes.h"
#include "processing/Components.h"
#include "processing/ImageView.h"
#include "processing/Morphology.h"
#include "processing/ProtectedRects.h"

struct PhotoRegionParams {
    // grey rows required, read (and enhanced on a grey page); colour rows enhanced on a colour page
    PageView page;
    int binContrast = 255;  // 255: a threshold at the mean
    int binBrightness = 0;
    int enhContrast = 0;    // 0 and 0: no enhancement
    int enhBrightness = 0;
    int passes = 5;         // shrink passes and grow passes of the opening
    int mode = 2;           // 1 identity-photo sizes only; other: every photo-like region
    std::wstring name;
};

class CPhotoRegionFinder {
public:
    // Fills the found list and, with a non-zero enhancement, adjusts the
    // image inside the found rectangles. Returns false without a grey image
    // or with a non-positive size; the found list is then empty (a refused
    // run never leaves the previous page's rectangles in place).
    bool Find(const PhotoRegionParams& params);
    void Free();

    // Found rectangles: right and bottom are the region's last column and
    // row; tests against them use the point-in-rectangle rule.
    const std::vector<RECT>& Found() const { return found_; }
    ProtectedRects AsProtected(bool enabled) const { return ProtectedRects(found_, enabled); }

    // The identity-photo size test for a region of w x h pixels
    // (w = right - left, h = bottom - top).
    static bool IdentityPhotoSize(int w, int h, int dpi);

private:
    // Binarises a working copy at its mean, opens its dark areas and labels them.
    void LabelOpenedDarkAreas(const PhotoRegionParams& p);
    // Brightness and contrast of the pixels inside the found regions.
    void Enhance(const PhotoRegionParams& p) const;
    std::vector<std::uint8_t> work_;
    std::vector<RECT> found_;
    comp::ComponentAnalysis analysis_;
    morph::WindowFilter filter_;
    morph::BitImage bits_;
};
