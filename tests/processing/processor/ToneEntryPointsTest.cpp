// The processor's tone entry points: the working images they touch, the
// protected rectangles of its photo finder and the source-depth gates.
#include <gtest/gtest.h>

#include <cstring>

#include "processing/processor/ImageProcessor.h"
#include "processing/PixelMath.h"
#include "processing/reference/RefToneOps.h"
#include "settings/ProcessSetting.h"
#include "support/SyntheticPages.h"

namespace {

using synth::Page;

class ToneEntryPoints : public ::testing::Test {
protected:
    void SetUp() override { ProcessSetting::ResetToStart(); }
    void TearDown() override { ProcessSetting::ResetToStart(); }

    // A processor holding `page` (24-bit) as its working images, as a load
    // of a colour source leaves them, with the photo finder run on it.
    void Hold(const Page& page) {
        p.width = page.width;
        p.height = page.height;
        p.sourceDepth = 24;
        p.workingDepth = 8;
        p.colourImage = AllocPixels(page.width, page.height, 24);
        std::memcpy(p.colourImage.get(), page.Data(), page.bits.size());
        const Page grey = synth::ToGrey(page);
        p.greyImage = AllocPixels(page.width, page.height, 8);
        std::memcpy(p.greyImage.get(), grey.Data(), grey.bits.size());
        PhotoRegionParams f;
        f.page.grey = p.greyImage.get();
        f.page.width = page.width;
        f.page.height = page.height;
        f.page.bitsPerPixel = 8;
        f.page.dpi = page.dpi;
        ASSERT_TRUE(p.photoFinder.Find(f));
    }
    std::vector<BYTE> Grey() const {
        return {p.greyImage.get(), p.greyImage.get() + PixelBytes(p.width, p.height, 8)};
    }

    CImageProcessor p;
};

// A page with a photograph at 60 dpi.
Page PhotoPage() {
    Page page = synth::TextPage(400, 300, 24, 60, 3, synth::kYellowedPaper, 10);
    synth::DrawPhoto(page, {40, 40, 200, 240}, 9);
    return page;
}

TEST_F(ToneEntryPoints, BrightnessContrastAndDarkeningHonourTheFoundPhotos) {
    const Page page = PhotoPage();
    for (int illustration : {0, 1, 2}) {
        ProcessSetting::rmbkcolor.illstration = illustration;
        Hold(page);
        ASSERT_EQ(p.photoFinder.Found().size(), 1u);
        const ref::RProtect protect{p.photoFinder.Found(), illustration != 0};
        std::vector<BYTE> want = Grey();
        ref::RefAdjustBC(want.data(), p.width, p.height, 40, 50, protect);
        ref::RefDarken(want.data(), p.width, p.height, 50, protect);
        p.AdjustBrightnessContrast(p.greyImage.get(), p.width, p.height, 40, 50);
        p.ApplyDarkeningCurve(50);
        EXPECT_TRUE(Grey() == want) << "illustration " << illustration;
        // Inside the photo nothing moved when protection is on.
        const RECT r = p.photoFinder.Found()[0];
        const Page grey = synth::ToGrey(page);
        int moved = 0;
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x) moved += p.greyImage[px::Stride8(p.width) * y + x] != grey.Row(y)[x];
        EXPECT_EQ(moved == 0, illustration != 0) << "illustration " << illustration;
    }
    // Without a grey image the darkening does nothing.
    p.greyImage.reset();
    p.ApplyDarkeningCurve(50);
    EXPECT_EQ(p.greyImage, nullptr);
}

TEST_F(ToneEntryPoints, ColourAutoContrastOnlyForColourSources) {
    const Page page = PhotoPage();
    Hold(page);
    p.lowClip = 1.0f;
    p.highClip = 2.0f;
    for (bool common : {true, false}) {
        for (int depth : {8, 24}) {
            p.sourceDepth = depth;
            Page got = page, want = page;
            if (common)
                p.AutoContrastColor(got.Data(), got.width, got.height);
            else
                p.AutoContrastPerChannel(got.Data(), got.width, got.height);
            if (depth == 24) ref::RefAutoColour(want.Data(), want.width, want.height, 1.0f, 2.0f, common);
            EXPECT_TRUE(got.bits == want.bits) << (common ? "common" : "per channel") << " depth " << depth;
        }
    }
    Page grey = synth::ToGrey(page), want = grey;
    p.AutoContrastGray(grey.Data(), grey.width, grey.height);
    ref::RefAutoGray(want.Data(), want.width, want.height, 1.0f, 2.0f);
    EXPECT_TRUE(grey.bits == want.bits);
}

TEST_F(ToneEntryPoints, ContrastCopyFollowsTheSourceDepth) {
    const Page page = PhotoPage();
    Hold(page);
    p.PrepareContrastCopy(0.5f, 0.7f);
    EXPECT_EQ(p.lowClip, 0.5f);
    EXPECT_EQ(p.highClip, 0.7f);
    ASSERT_NE(p.contrastCopy, nullptr);
    Page want = page;
    ref::RefAutoColour(want.Data(), want.width, want.height, 0.5f, 0.7f, false);
    EXPECT_EQ(std::memcmp(p.contrastCopy.get(), want.Data(), want.bits.size()), 0);
    EXPECT_EQ(std::memcmp(p.colourImage.get(), page.Data(), page.bits.size()), 0);  // the colour image stays

    // A grey source: the grey image stretched.
    p.sourceDepth = 8;
    p.colourImage.reset();
    p.PrepareContrastCopy(0.1f, 0.1f);
    ASSERT_NE(p.contrastCopy, nullptr);
    std::vector<BYTE> grey = Grey();
    ref::RefAutoGray(grey.data(), p.width, p.height, 0.1f, 0.1f);
    EXPECT_EQ(std::memcmp(p.contrastCopy.get(), grey.data(), grey.size()), 0);

    // Nothing to copy: no copy.
    p.greyImage.reset();
    p.PrepareContrastCopy(0.1f, 0.1f);
    EXPECT_EQ(p.contrastCopy, nullptr);
}

}  // namespace
