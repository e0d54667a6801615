// Photo-region finder and background colour changer: the window filters
// against repeated 3 x 3 passes, both engines against their plain
// references, and photographs found, skipped and recoloured on pages built
// for it.
#include <gtest/gtest.h>

#include <string>

#include "processing/BkColorChanger.h"
#include "processing/BkColorRemover.h"
#include "processing/EngineParams.h"
#include "processing/Morphology.h"
#include "processing/PhotoRegionFinder.h"
#include "processing/PixelMath.h"
#include "processing/reference/RefPhoto.h"
#include "support/SyntheticPages.h"

namespace {

using synth::Page;

TEST(WindowFilter, EqualsRepeatedThreeByThreePasses) {
    morph::WindowFilter filter;
    for (auto [w, h] : {std::pair{1, 1}, std::pair{1, 13}, std::pair{13, 1}, std::pair{2, 3}, std::pair{17, 11},
                        std::pair{64, 37}}) {
        for (int kind = 0; kind < 2; ++kind) {
            const Page page = kind == 0 ? synth::RandomBytes(w, h, 8, w * 7 + h)
                                        : synth::RandomNoise(w, h, 8, 0.3, w * 5 + h);
            for (int r : {0, 1, 2, 3, 6, 40}) {
                for (bool takeMax : {true, false}) {
                    Page out = page;
                    std::vector<std::uint8_t> want = page.bits;
                    if (takeMax)
                        filter.Max(out.Data(), w, h, out.stride, r);
                    else
                        filter.Min(out.Data(), w, h, out.stride, r);
                    for (int i = 0; i < r; ++i) ref::RefPass3x3(want, w, h, static_cast<int>(page.stride), takeMax);
                    // Compare the used bytes; the row padding is never written.
                    for (int y = 0; y < h; ++y)
                        for (int x = 0; x < w; ++x)
                            ASSERT_EQ(out.Row(y)[x], want[page.stride * y + x])
                                << w << "x" << h << " r " << r << (takeMax ? " max" : " min") << " at " << x << ","
                                << y;
                    for (int y = 0; y < h; ++y)
                        for (std::size_t i = w; i < page.stride; ++i) ASSERT_EQ(out.Row(y)[i], page.Row(y)[i]);
                }
            }
        }
    }
}

TEST(BitDilation, EqualsTheWindowDefinition) {
    // Pixel (x, y) is set afterwards when a set pixel lies at (x + dx, y + dy)
    // for some dx in dxMin..dxMax, dy in dyMin..dyMax, inside the image.
    struct Range {
        int dxMin, dxMax, dyMin, dyMax;
    } ranges[] = {{0, 0, 0, 0},   {-1, 1, -1, 1},   {-3, 3, -2, 2},  {0, 5, -1, 0},    {-7, 0, 0, 9},
                  {-2, 3, -2, 3}, {-40, 1, -3, 70}, {-64, 64, 0, 0}, {-130, 65, -5, 5}, {-1000, 1000, -1000, 1000}};
    for (auto [w, h] : {std::pair{1, 1}, std::pair{1, 9}, std::pair{63, 2}, std::pair{64, 3}, std::pair{65, 7},
                        std::pair{200, 31}}) {
        for (const Range& r : ranges) {
            synth::Rng rng(w * 131 + h + r.dxMax);
            morph::BitImage img;
            img.Reset(w, h);
            std::vector<std::uint8_t> set(static_cast<std::size_t>(w) * h);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if (rng.Unit() < 0.03) {
                        set[static_cast<std::size_t>(y) * w + x] = 1;
                        img.Row(y)[x >> 6] |= std::uint64_t{1} << (x & 63);
                    }
            img.DilateRange(r.dxMin, r.dxMax, r.dyMin, r.dyMax);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    bool want = false;
                    for (int dy = r.dyMin; dy <= r.dyMax && !want; ++dy)
                        for (int dx = r.dxMin; dx <= r.dxMax && !want; ++dx) {
                            const int sx = x + dx, sy = y + dy;
                            want = sx >= 0 && sy >= 0 && sx < w && sy < h && set[static_cast<std::size_t>(sy) * w + sx];
                        }
                    ASSERT_EQ(img.Test(x, y), want) << w << "x" << h << " range " << r.dxMin << ".." << r.dxMax << ", "
                                                    << r.dyMin << ".." << r.dyMax << " at " << x << "," << y;
                }
            // Bits past the width stay clear.
            for (int y = 0; y < h && w % 64 != 0; ++y) ASSERT_EQ(img.Row(y)[img.wordsPerRow - 1] >> (w % 64), 0u);
        }
    }
}

// A page with text, photographs and things that look a little like them,
// at the given dpi; sizes are physical.
struct PhotoPage {
    Page page;
    synth::Rect large, identity, frame, strip;
};

PhotoPage MakePhotoPage(int dpi, bool withLarge = true) {
    const double mm = dpi / 25.4;
    auto px = [&](double v) { return static_cast<int>(v * mm); };
    PhotoPage p;
    p.page = synth::TextPage(px(210), px(190), 24, dpi, 31);
    p.large = {px(10), px(10), px(10) + px(100), px(10) + px(150)};
    p.identity = {px(125), px(120), px(125) + static_cast<int>(35 / 25.4f * dpi) + 1,
                  px(120) + static_cast<int>(49 / 25.4f * dpi) + 1};
    p.frame = {px(125), px(15), px(200), px(75)};
    p.strip = {px(125), px(85), px(200), px(85) + px(75) / 6};
    if (withLarge) synth::DrawPhoto(p.page, p.large, 3);
    synth::DrawPhoto(p.page, p.identity, 4);
    // A table frame with strokes thick enough to survive the opening.
    const int t = px(2.5);
    for (synth::Rect r : {synth::Rect{p.frame.left, p.frame.top, p.frame.right, p.frame.top + t},
                          synth::Rect{p.frame.left, p.frame.bottom - t, p.frame.right, p.frame.bottom},
                          synth::Rect{p.frame.left, p.frame.top, p.frame.left + t, p.frame.bottom},
                          synth::Rect{p.frame.right - t, p.frame.top, p.frame.right, p.frame.bottom}})
        p.page.FillRect(r, synth::Rgb(30, 30, 30));
    synth::DrawPhoto(p.page, p.strip, 5);
    return p;
}


bool Contains(const std::vector<RECT>& found, synth::Rect r) {
    for (const RECT& f : found)
        if (f.left <= r.left + 2 && f.top <= r.top + 2 && f.right >= r.right - 3 && f.bottom >= r.bottom - 3 &&
            f.left >= r.left - 3 && f.top >= r.top - 3 && f.right <= r.right + 2 && f.bottom <= r.bottom + 2)
            return true;
    return false;
}

TEST(PhotoRegionFinder, MatchesReference) {
    std::vector<std::pair<std::string, Page>> pages;
    for (auto [w, h] : {std::pair{1, 1}, std::pair{3, 61}, std::pair{59, 2}, std::pair{123, 101}}) {
        Page shapes = synth::RandomShapes(w, h, 24, 6, w * 3 + h);
        shapes.dpi = 40;
        pages.push_back({"shapes", shapes});
    }
    pages.push_back({"photos-60", MakePhotoPage(60).page});
    {
        Page noisy = MakePhotoPage(45).page;
        synth::AddNoise(noisy, 60, 9);
        pages.push_back({"photos-45-noisy", noisy});
    }
    struct Setting {
        int mode, passes, bpp, enhContrast, enhBrightness;
    } settings[] = {{2, 5, 24, 0, 0}, {1, 5, 24, 40, 10}, {2, 0, 8, -30, 20}, {2, 2, 24, 300, 0}, {7, 12, 8, 0, 0}};
    for (const auto& [name, page] : pages) {
        for (const Setting& s : settings) {
            Page colour = page, grey = synth::ToGrey(page);
            Page refColour = colour, refGrey = grey;
            PhotoRegionParams f = FinderParams(colour, grey, s.mode);
            f.passes = s.passes;
            f.page.bitsPerPixel = s.bpp;
            f.enhContrast = s.enhContrast;
            f.enhBrightness = s.enhBrightness;
            CPhotoRegionFinder finder;
            ASSERT_TRUE(finder.Find(f));
            const auto want = ref::RefPhotoFind({refGrey.Data(), refColour.Data(), f.page.width, f.page.height, f.page.bitsPerPixel,
                                                 f.page.dpi, f.binContrast, f.binBrightness, f.enhContrast, f.enhBrightness,
                                                 f.passes, s.mode});
            const std::string what = name + " mode " + std::to_string(s.mode) + " passes " + std::to_string(s.passes) +
                                     " bpp " + std::to_string(s.bpp);
            ASSERT_EQ(finder.Found().size(), want.size()) << what;
            for (std::size_t i = 0; i < want.size(); ++i) {
                const RECT& a = finder.Found()[i];
                EXPECT_EQ(std::tie(a.left, a.top, a.right, a.bottom),
                          std::tie(want[i].left, want[i].top, want[i].right, want[i].bottom))
                    << what;
            }
            EXPECT_TRUE(colour.bits == refColour.bits) << what;
            EXPECT_TRUE(grey.bits == refGrey.bits) << what;
        }
    }
}

TEST(PhotoRegionFinder, FindsPhotosAndRejectsLookAlikes) {
    PhotoPage p = MakePhotoPage(150);
    Page grey = synth::ToGrey(p.page);
    CPhotoRegionFinder finder;
    for (int mode : {1, 2}) {
        Page colour = p.page;
        ASSERT_TRUE(finder.Find(FinderParams(colour, grey, mode)));
        EXPECT_EQ(Contains(finder.Found(), p.large), mode == 2) << "10 x 15 cm photo, mode " << mode;
        EXPECT_TRUE(Contains(finder.Found(), p.identity)) << "3.5 x 4.9 cm photo, mode " << mode;
        EXPECT_EQ(finder.Found().size(), mode == 2 ? 2u : 1u) << "frame and strip are no photos, mode " << mode;
        EXPECT_TRUE(colour.bits == p.page.bits) << "no enhancement asked";
    }

    // A page of text alone: nothing.
    Page text = synth::TextPage(1240, 1754, 8, 150, 12);
    PhotoRegionParams f = FinderParams(text, text, 2);
    f.page.colour = nullptr;
    f.page.bitsPerPixel = 8;
    ASSERT_TRUE(finder.Find(f));
    EXPECT_TRUE(finder.Found().empty());

    // A refused run leaves no rectangles of the page before.
    ASSERT_TRUE(finder.Find(FinderParams(p.page, grey, 2)));
    ASSERT_FALSE(finder.Found().empty());
    PhotoRegionParams bad = FinderParams(p.page, grey, 2);
    bad.page.grey = nullptr;
    EXPECT_FALSE(finder.Find(bad));
    EXPECT_TRUE(finder.Found().empty());
}

TEST(PhotoRegionFinder, EnhancesInsideFoundRectanglesOnly) {
    PhotoPage p = MakePhotoPage(100);
    Page grey = synth::ToGrey(p.page);
    Page colour = p.page;
    PhotoRegionParams f = FinderParams(colour, grey, 2);
    f.enhContrast = 60;
    f.enhBrightness = 15;
    CPhotoRegionFinder finder;
    ASSERT_TRUE(finder.Find(f));
    ASSERT_EQ(finder.Found().size(), 2u);
    const ProtectedRects inside = finder.AsProtected(true);
    long long changed = 0;
    for (int y = 0; y < colour.height; ++y)
        for (int x = 0; x < colour.width; ++x) {
            if (!inside.Contains(x, y)) {
                ASSERT_EQ(colour.At(x, y), p.page.At(x, y)) << x << "," << y;
            } else {
                changed += !(colour.At(x, y) == p.page.At(x, y));
            }
        }
    EXPECT_GT(changed, 10000);
}

TEST(PhotoRegionFinder, FoundPhotoIsProtectedFromBackgroundRemoval) {
    PhotoPage p = MakePhotoPage(100);
    Page grey = synth::ToGrey(p.page);
    CPhotoRegionFinder finder;
    Page colour = p.page;
    ASSERT_TRUE(finder.Find(FinderParams(colour, grey, 2)));
    ASSERT_TRUE(Contains(finder.Found(), p.large));

    BkColorParams b = BkDefaults(colour, grey);
    b.keepMode = KeepMode::kDirect;
    b.protect = finder.AsProtected(true);
    CBkColorRemover remover;
    ASSERT_TRUE(remover.Run(b));
    // The same run without protection: outside the rectangles the results
    // agree, inside the photo keeps its pixels.
    Page open = p.page;
    BkColorParams unprotected = b;
    unprotected.page.colour = open.Data();
    unprotected.protect = ProtectedRects();
    ASSERT_TRUE(remover.Run(unprotected));
    long long insideDiffers = 0;
    for (int y = 0; y < colour.height; ++y)
        for (int x = 0; x < colour.width; ++x) {
            if (b.protect.Contains(x, y)) {
                ASSERT_EQ(colour.At(x, y), p.page.At(x, y)) << x << "," << y;
                insideDiffers += !(open.At(x, y) == p.page.At(x, y));
            } else {
                ASSERT_EQ(colour.At(x, y), open.At(x, y)) << x << "," << y;
            }
        }
    EXPECT_GT(insideDiffers, 10000);
}

TEST(PhotoRegionFinder, AbsurdValuesRunInsideTheBuffers) {
    PhotoPage p = MakePhotoPage(40);
    Page grey = synth::ToGrey(p.page);
    CPhotoRegionFinder finder;
    for (int passes : {-5, 0, 1000000000})
        for (int dpi : {-300, 0, 1, 2000000000})
            for (int value : {-2000000000, 0, 2000000000}) {
                Page colour = p.page, g = grey;
                PhotoRegionParams f = FinderParams(colour, g, 1);
                f.passes = passes;
                f.page.dpi = dpi;
                f.binContrast = value;
                f.binBrightness = -value;
                f.enhContrast = value;
                f.enhBrightness = value;
                EXPECT_TRUE(finder.Find(f));
                f.page.bitsPerPixel = 8;
                EXPECT_TRUE(finder.Find(f));
            }
}

TEST(PhotoRegionFinder, IdentitySizesAt300Dpi) {
    // 3.5 x 4.5 cm is 413 x 531 pixels at 300 dpi; within 10 % matches.
    EXPECT_TRUE(CPhotoRegionFinder::IdentityPhotoSize(413, 531, 300));
    EXPECT_TRUE(CPhotoRegionFinder::IdentityPhotoSize(380, 490, 300));
    EXPECT_FALSE(CPhotoRegionFinder::IdentityPhotoSize(1181, 1771, 300));  // 10 x 15 cm
    EXPECT_FALSE(CPhotoRegionFinder::IdentityPhotoSize(531, 413, 300));    // turned: other ratio
    EXPECT_FALSE(CPhotoRegionFinder::IdentityPhotoSize(413, 0, 300));
}

TEST(BkColorChanger, DocumentedColours) {
    Page page = synth::Blank(4, 2, 24, synth::kWhite);
    page.Set(1, 0, synth::Rgb(255, 0, 0));
    page.Set(2, 0, synth::kBlack);
    BkColorChangeParams p;
    p.page.colour = page.Data();
    p.page.width = 4;
    p.page.height = 2;
    CBkColorChanger changer;
    ASSERT_TRUE(changer.Run(p));
    EXPECT_EQ(page.At(0, 0), synth::Rgb(254, 249, 197));
    EXPECT_EQ(page.At(1, 0), synth::Rgb(254, 74, 58));
    EXPECT_EQ(page.At(2, 0), synth::kBlack);
    EXPECT_EQ(page.At(3, 1), synth::Rgb(254, 249, 197));
}

TEST(BkColorChanger, EveryColourMatchesTheFormula) {
    for (COLORREF target : {COLORREF{0xC5F9FE}, RGB(12, 200, 99)}) {
        // All 2^24 colours as one 4096 x 4096 image.
        const int w = 4096, h = 4096;
        Page page(w, h, 24);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const std::uint32_t c = static_cast<std::uint32_t>(y) * w + x;
                std::uint8_t* q = page.Row(y) + 3 * x;
                q[0] = c & 255;
                q[1] = (c >> 8) & 255;
                q[2] = (c >> 16) & 255;
            }
        Page want = page;
        BkColorChangeParams p;
        p.page.colour = page.Data();
        p.page.width = w;
        p.page.height = h;
        p.target = target;
        CBkColorChanger changer;
        ASSERT_TRUE(changer.Run(p));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) ref::RefChangePixel(want.Row(y) + 3 * x, GetRValue(target), GetGValue(target), GetBValue(target));
        ASSERT_TRUE(page.bits == want.bits) << std::hex << target;
    }
}

TEST(BkColorChanger, KeepsPhotographsAsAsked) {
    PhotoPage p = MakePhotoPage(100);
    Page grey = synth::ToGrey(p.page);
    for (int keep : {0, 1, 2}) {
        Page colour = p.page;
        BkColorChangeParams c;
        c.page.colour = colour.Data();
        c.page.grey = grey.Data();
        c.page.width = colour.width;
        c.page.height = colour.height;
        c.page.dpi = 100;
        c.keepPictures = static_cast<PhotoSelection>(keep);
        CBkColorChanger changer;
        ASSERT_TRUE(changer.Run(c));
        // Reference: the found rectangles skipped, every other pixel by the formula.
        Page want = p.page;
        Page refGrey = grey;
        std::vector<RECT> skip;
        if (keep != 0)
            skip = ref::RefPhotoFind({refGrey.Data(), want.Data(), want.width, want.height, 24, 100, 255, 0, 0, 0, 5,
                                      keep});
        const ref::RProtect inside{skip, true};
        for (int y = 0; y < want.height; ++y)
            for (int x = 0; x < want.width; ++x)
                if (!inside.Has(x, y)) ref::RefChangePixel(want.Row(y) + 3 * x, 254, 249, 197);
        ASSERT_TRUE(colour.bits == want.bits) << "keep " << keep;

        // The large photo keeps its pixels only with keep 2, and then all but
        // its last row and column (the rectangles' right and bottom are
        // inclusive, the tests exclusive).
        const RECT* large = nullptr;
        for (const RECT& r : changer.Finder().Found())
            if (r.right - r.left > 300) large = &r;
        EXPECT_EQ(large != nullptr, keep == 2) << "keep " << keep;
        if (large) {
            for (int y = large->top; y < large->bottom; ++y)
                for (int x = large->left; x < large->right; ++x) ASSERT_EQ(colour.At(x, y), p.page.At(x, y));
            int lastChanged = 0;
            for (int x = large->left; x <= large->right; ++x)
                lastChanged += !(colour.At(x, large->bottom) == p.page.At(x, large->bottom));
            EXPECT_GT(lastChanged, 0);
        }
    }
}

TEST(BkColorChanger, RefusesWhatItCannotChange) {
    Page page = synth::TextPage(50, 40, 24, 100, 1);
    const Page before = page;
    CBkColorChanger changer;
    BkColorChangeParams p;
    p.page.colour = page.Data();
    p.page.width = 50;
    p.page.height = 40;
    p.page.bitsPerPixel = 8;
    EXPECT_FALSE(changer.Run(p));
    p.page.bitsPerPixel = 24;
    p.page.colour = nullptr;
    EXPECT_FALSE(changer.Run(p));
    p.page.colour = page.Data();
    p.page.width = 0;
    EXPECT_FALSE(changer.Run(p));
    EXPECT_TRUE(page.bits == before.bits);
    // Keep pictures without a grey copy: the finder refuses, nothing is
    // skipped, the page is still recoloured.
    p.page.width = 50;
    p.keepPictures = PhotoSelection::kEvery;
    EXPECT_TRUE(changer.Run(p));
    EXPECT_TRUE(changer.Finder().Found().empty());
    EXPECT_EQ(page.At(0, 0), synth::Rgb(254, 249, 197));
}

}  // namespace
