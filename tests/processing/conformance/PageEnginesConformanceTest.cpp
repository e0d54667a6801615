// The hole, stain/border and text-direction engines on real scanned and
// photographed pages of the Debian conformance sets: identical to their
// plain references in every mode, and the direction of a real book page.
#include <gtest/gtest.h>

#include "image/Raster.h"
#include "processing/BindHoleRemover.h"
#include "processing/PixelMath.h"
#include "processing/StainBorderRemover.h"
#include "processing/TextDirectionDetector.h"
#include "processing/reference/RefPageEngines.h"
#include "processing/reference/RefTextDirection.h"
#include "support/Conformance.h"
#include "support/GlyphText.h"
#include "support/HolePages.h"

using testdata::TestPage;

namespace {

// The file as a colour page with its grey image, rows bottom-up like the
// working images.
bool LoadPage(const std::string& relative, TestPage& page) {
    const std::string path = testdata::ConformanceFile(relative);
    if (path.empty()) return false;
    CRaster raster;
    if (!raster.Load(std::wstring(path.begin(), path.end())) || !raster.IsValid()) {
        ADD_FAILURE() << "cannot decode " << path;
        return false;
    }
    page = TestPage(static_cast<int>(raster.GetWidth()), static_cast<int>(raster.GetHeight()), true);
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x) {
            const RGBQUAD c = raster.GetColourAt(x, y);
            page.setColour(x, y, c.rgbBlue, c.rgbGreen, c.rgbRed);
        }
    return true;
}

const char* const kPages[] = {"skimage/page.png", "skimage/text.png", "skimage/bw_text.png", "jpeg/video-001.jpeg"};

}  // namespace

TEST(PageEnginesConformance, StainBorderRemoverMatchesReference) {
    for (const char* file : kPages) {
        TestPage original;
        if (!LoadPage(file, original)) continue;
        for (int mode = 0; mode < 4; ++mode) {
            TestPage page = original, expected = original;
            StainBorderParams p;
            p.page.width = page.width;
            p.page.height = page.height;
            p.page.bitsPerPixel = mode == 1 ? 8 : 24;
            p.page.dpi = 150;
            p.threshold = mode == 3 ? 128 : 160;
            p.stains = mode == 0 || mode == 1;
            p.borders = mode >= 1;
            p.board = mode == 3;
            p.band = 6;
            p.eraseRadius = 2;
            p.stainArea = 4.0f;
            StainBorderParams q = p;
            p.page.grey = page.grey.data();
            p.page.colour = page.bgr.data();
            q.page.grey = expected.grey.data();
            q.page.colour = expected.bgr.data();
            const ref::StainOutcome want = ref::RemoveStains(q);
            CStainBorderRemover engine;
            engine.Run(p);
            EXPECT_TRUE(page.sameGrey(expected)) << file << " mode " << mode;
            EXPECT_TRUE(page.sameColour(expected)) << file << " mode " << mode;
            ASSERT_NE(engine.ComparisonCopy(), nullptr);
            EXPECT_TRUE(std::equal(want.copy.begin(), want.copy.end(), engine.ComparisonCopy())) << file;
            EXPECT_EQ(engine.BordersFound(), want.bordersFound) << file;
            EXPECT_EQ(engine.BoardFound(), want.boardFound) << file;
        }
    }
}

TEST(PageEnginesConformance, BindHoleRemoverMatchesReference) {
    for (const char* file : kPages) {
        TestPage original;
        if (!LoadPage(file, original)) continue;
        // a punched hole in the left band of the real page
        original.disc(original.width / 20 + 12, original.height / 2, 10, 30);
        for (int mode = 0; mode < 3; ++mode) {
            TestPage page = original, expected = original;
            BindHoleParams p;
            p.page.width = page.width;
            p.page.height = page.height;
            p.page.bitsPerPixel = mode == 0 ? 8 : 24;
            p.page.dpi = 150;
            p.on = 1;
            p.left = p.right = p.top = p.bottom = 15;
            p.smallestArea = 1;
            p.greyHigh = 100;
            p.radius = 1;
            p.backgroundType = mode == 2 ? 1 : 0;
            BindHoleParams q = p;
            p.page.grey = page.grey.data();
            p.page.colour = page.bgr.data();
            q.page.grey = expected.grey.data();
            q.page.colour = expected.bgr.data();
            std::vector<std::uint8_t> wantCopy;
            const int filled = ref::RemoveHoles(q, &wantCopy);
            CBindHoleRemover engine;
            engine.Run(p);
            // on the pages the drawn hole stands free (on the photograph it
            // joins the dark picture)
            if (std::string(file).rfind("skimage/", 0) == 0) {
                EXPECT_GE(filled, 1) << file << ": the drawn hole";
            }
            EXPECT_TRUE(page.sameGrey(expected)) << file << " mode " << mode;
            EXPECT_TRUE(page.sameColour(expected)) << file << " mode " << mode;
            ASSERT_NE(engine.ComparisonCopy(), nullptr);
            EXPECT_TRUE(std::equal(wantCopy.begin(), wantCopy.end(), engine.ComparisonCopy())) << file;
        }
    }
}

TEST(PageEnginesConformance, TextDirectionMatchesReference) {
    for (const char* file : kPages) {
        TestPage original;
        if (!LoadPage(file, original)) continue;
        for (int q = 0; q < 4; ++q)
            for (int dpi : {100, 150, 300}) {
                TestPage page = testdata::Turn(original, q);
                for (auto& v : page.grey) v = px::Binarise128(v);
                TextDirectionParams p;
                p.image = ConstImageView::Grey(page.grey.data(), page.width, page.height);
                p.dpi = dpi;
                CTextDirectionDetector det;
                det.Detect(p);
                const ref::DirectionOutcome want = ref::DetectDirection(page.grey.data(), page.width, page.height, 160, dpi);
                EXPECT_EQ(det.Angle(), want.angle) << file << " turn " << q << " dpi " << dpi;
                for (int k = 0; k < 4; ++k) EXPECT_EQ(det.Votes()[k], want.votes[k]) << file << " turn " << q;
            }
    }
}

// The photographed book page read at 150 dpi: each quarter turn is found.
TEST(PageEnginesConformance, TextDirectionOfARealBookPage) {
    TestPage original;
    if (!LoadPage("skimage/page.png", original)) return;
    for (int q = 0; q < 4; ++q) {
        TestPage page = testdata::Turn(original, q);
        for (auto& v : page.grey) v = px::Binarise128(v);
        TextDirectionParams p;
        p.image = ConstImageView::Grey(page.grey.data(), page.width, page.height);
        p.dpi = 150;
        CTextDirectionDetector det;
        det.Detect(p);
        EXPECT_EQ(det.Angle(), 90 * q);
    }
}
