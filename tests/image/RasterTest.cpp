#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "image/Raster.h"
#include "RasterTestUtil.h"

using imgtest::At;
using imgtest::FillRandom;

TEST(Raster, NewImageHasDefaultsAndNoPixels) {
    CRaster img(RASTER_FORMAT_TIF);
    EXPECT_FALSE(img.IsValid());
    EXPECT_EQ(img.GetDpiX(), 96);
    EXPECT_EQ(img.GetDpiY(), 96);
    EXPECT_EQ(img.GetQuality(), 90);
    EXPECT_EQ(img.GetType(), RASTER_FORMAT_TIF);
    EXPECT_EQ(img.GetTransparentIndex(), -1);
    EXPECT_EQ(img.GetBits(), nullptr);
    EXPECT_EQ(img.GetPalette(), nullptr);
}

TEST(Raster, ResolutionSettersStoreDpiAndPixelsPerMetre) {
    struct Case { std::int32_t dpi, stored, ppm; };
    const Case cases[] = {{0, 96, 3780}, {-5, 96, 3780}, {300, 300, 11811}, {72, 72, 2835}, {600, 600, 23622},
                          {100000000, 100000000, INT32_MAX}};  // the header field saturates
    for (const auto& c : cases) {
        CRaster img;
        ASSERT_TRUE(img.Create(2, 2, 24));
        img.SetDpiX(c.dpi);
        img.SetDpiY(c.dpi);
        EXPECT_EQ(img.GetDpiX(), c.stored) << c.dpi;
        EXPECT_EQ(img.GetHeader().biXPelsPerMeter, c.ppm) << c.dpi;
        EXPECT_EQ(img.GetHeader().biYPelsPerMeter, c.ppm) << c.dpi;
        // The copy inside the DIB block follows.
        EXPECT_EQ(le::ReadInfoHeader(img.GetDib()).biXPelsPerMeter, c.ppm) << c.dpi;
    }
}

TEST(Raster, CreateSizesRowsPaletteAndZeroFillsPixels) {
    struct Case { DWORD w, h, bppIn, bpp, rowBytes, imageSize, colours; };
    const Case cases[] = {
        {3, 2, 24, 24, 12, 24, 0},   {10, 1, 1, 1, 4, 4, 2},     {33, 3, 1, 1, 8, 24, 2},
        {5, 2, 2, 4, 4, 8, 16},      {9, 1, 4, 4, 8, 8, 16},     {7, 3, 5, 8, 8, 24, 256},
        {1, 1, 16, 24, 4, 4, 0},     {2, 1, 32, 24, 8, 8, 0},
    };
    for (const auto& c : cases) {
        CRaster img;
        ASSERT_NE(img.Create(c.w, c.h, c.bppIn, RASTER_FORMAT_BMP), nullptr);
        EXPECT_EQ(img.GetBitsPerPixel(), c.bpp) << c.w << "x" << c.h << "@" << c.bppIn;
        EXPECT_EQ(img.GetRowBytes(), c.rowBytes) << c.w << "x" << c.h << "@" << c.bppIn;
        EXPECT_EQ(img.GetHeader().biSizeImage, c.imageSize) << c.w << "x" << c.h << "@" << c.bppIn;
        EXPECT_EQ(img.GetColourCount(), c.colours);
        EXPECT_EQ(img.GetSize(), 40 + c.colours * 4 + c.imageSize);
        EXPECT_EQ(img.GetType(), RASTER_FORMAT_BMP);
        for (DWORD i = 0; i < c.imageSize; ++i) ASSERT_EQ(img.GetBits()[i], 0) << "byte " << i;
        EXPECT_EQ(le::ReadInfoHeader(img.GetDib()).biWidth, LONG(c.w));
    }
}

TEST(Raster, CreateRefusesEmptyAndOversizedImagesWithAText) {
    struct Case { DWORD w, h, bpp; const char* text; };
    const Case cases[] = {
        {0, 5, 8, "CRaster::Create : width and height must be greater than zero"},
        {5, 0, 24, "CRaster::Create : width and height must be greater than zero"},
        {65536, 1, 8, "too large"},
        {1, 70000, 1, "too large"},
        {65535, 65535, 24, "too large"},   // 12 GiB of pixels
        {0xFFFFFFFFu, 0xFFFFFFFFu, 24, "too large"},
    };
    for (const auto& c : cases) {
        CRaster img;
        ASSERT_TRUE(img.Create(4, 4, 8));  // a previous image is gone after a failed Create
        EXPECT_EQ(img.Create(c.w, c.h, c.bpp), nullptr) << c.w << "x" << c.h;
        EXPECT_FALSE(img.IsValid());
        EXPECT_NE(std::string(img.GetLastError()).find(c.text), std::string::npos) << img.GetLastError();
    }
    CRaster big;
    EXPECT_NE(big.Create(65535, 4, 24), nullptr) << "the largest side is allowed";
}

TEST(Raster, FormatOptionSlotsFollowTheType) {
    CRaster tif(RASTER_FORMAT_TIF);
    ASSERT_TRUE(tif.SetFormatOption(5, 0));
    EXPECT_EQ(tif.GetInfo().codecOptions[4], 5u);
    EXPECT_EQ(tif.GetFormatOption(RASTER_FORMAT_TIF), 5u);
    tif.SetFormatOption(7, RASTER_FORMAT_JPG);
    EXPECT_EQ(tif.GetInfo().codecOptions[2], 7u);
    EXPECT_EQ(tif.GetFormatOption(0), 5u) << "type 0 reads the image's own slot";

    CRaster none(0);
    none.SetFormatOption(5, 0);
    EXPECT_EQ(none.GetInfo().codecOptions[0], 5u);
    none.SetFormatOption(9, 2);  // type 2 has no slot: the image's own, here slot 0
    EXPECT_EQ(none.GetInfo().codecOptions[0], 9u);
}

TEST(Raster, SharingImageNeverFreesTheSourceBuffers) {
    CRaster source;
    ASSERT_TRUE(source.Create(8, 3, 24));
    FillRandom(source, 1);
    source.CreateAlphaPlane();
    {
        CRaster view;
        view.ShareFrom(&source);
        EXPECT_TRUE(view.IsSharing());
        EXPECT_EQ(view.GetBits(), source.GetBits());
        EXPECT_FALSE(view.Destroy());
        EXPECT_FALSE(view.FreeFrameList());
        EXPECT_TRUE(view.IsValid());
    }
    ASSERT_TRUE(source.IsValid());
    EXPECT_EQ(source.GetAlphaAt(0, 0), 255);
    source.GetBits(2)[23] = 7;  // still writable: ASan would flag a freed block
}

TEST(Raster, TakeFromMovesEverythingAndEmptiesTheSource) {
    CRaster a, b;
    ASSERT_TRUE(b.Create(5, 4, 8, RASTER_FORMAT_PNG));
    b.SetDpiX(200);
    b.CreateAlphaPlane();
    BYTE* bits = b.GetBits();
    ASSERT_TRUE(a.Create(2, 2, 24));
    ASSERT_TRUE(a.TakeFrom(b));
    EXPECT_EQ(a.GetBits(), bits);
    EXPECT_EQ(a.GetWidth(), 5u);
    EXPECT_EQ(a.GetDpiX(), 200);
    EXPECT_EQ(a.GetType(), RASTER_FORMAT_PNG);
    EXPECT_TRUE(a.HasAlphaPlane());
    EXPECT_FALSE(b.IsValid());
    EXPECT_FALSE(b.HasAlphaPlane());
    EXPECT_EQ(b.GetWidth(), 0u);
}

TEST(Raster, CopyFromCopiesPixelsPlanesOrOnlyThePalette) {
    CRaster src;
    ASSERT_TRUE(src.Create(13, 5, 8, RASTER_FORMAT_BMP));
    FillRandom(src, 3);
    src.CreateAlphaPlane();
    src.SetAlphaAt(1, 1, 9);
    CRaster full(src, true);
    EXPECT_TRUE(imgtest::SamePicture(full, src, 0, true));
    EXPECT_NE(full.GetBits(), src.GetBits());
    CRaster shape(src, false, false, false);
    EXPECT_EQ(shape.GetWidth(), 13u);
    EXPECT_FALSE(shape.HasAlphaPlane());
    EXPECT_EQ(shape.GetIndexAt(3, 3), 0);
    EXPECT_TRUE(imgtest::SameColour(shape.GetPaletteEntry(200), src.GetPaletteEntry(200)));
}

// ---- palette and pixel access ----

TEST(Raster, IndexBitsFollowTheDibLayout) {
    CRaster one;
    ASSERT_TRUE(one.Create(10, 2, 1));
    one.SetIndexAt(0, 0, 1);
    one.SetIndexAt(9, 1, 1);
    EXPECT_EQ(one.GetBits(0)[0], 0x80) << "bit 7 is the first pixel";
    EXPECT_EQ(one.GetBits(1)[1], 0x40);
    EXPECT_EQ(one.GetIndexAt(9, 1), 1);
    EXPECT_EQ(one.GetIndexAt(8, 1), 0);
    EXPECT_EQ(one.GetIndexAt(10, 1), 0) << "outside";

    CRaster four;
    ASSERT_TRUE(four.Create(3, 1, 4));
    four.SetIndexAt(0, 0, 0xA);
    four.SetIndexAt(1, 0, 0x5);
    four.SetIndexAt(2, 0, 0xF);
    EXPECT_EQ(four.GetBits()[0], 0xA5) << "high nibble first";
    EXPECT_EQ(four.GetBits()[1], 0xF0);
    EXPECT_EQ(four.GetIndexAt(1, 0), 5);
}

TEST(Raster, GreyRampTestIsExact) {
    CRaster eight, four;
    ASSERT_TRUE(eight.Create(1, 1, 8));
    ASSERT_TRUE(four.Create(1, 1, 4));
    eight.MakeGreyRamp();
    four.MakeGreyRamp();
    EXPECT_TRUE(eight.HasGreyRamp());
    EXPECT_EQ(four.GetPaletteEntry(1).rgbRed, 17);
    EXPECT_FALSE(four.HasGreyRamp()) << "a 0, 17, 34 ... ramp is not the identity";
    eight.SetPaletteEntry(7, 7, 7, 8);
    EXPECT_FALSE(eight.HasGreyRamp());
    CRaster colour;
    ASSERT_TRUE(colour.Create(1, 1, 24));
    EXPECT_FALSE(colour.HasGreyRamp());
}

TEST(Raster, NearestIndexAndExchange) {
    CRaster img;
    ASSERT_TRUE(img.Create(4, 1, 4));
    const RGBQUAD pal[4] = {{0, 0, 0, 0}, {255, 0, 0, 0}, {0, 0, 250, 0}, {0, 0, 250, 0}};
    img.SetPalette(pal, 4);
    img.SetImportantCount(4);
    EXPECT_EQ(img.FindNearestIndex(RGBQUAD{0, 0, 240, 0}), 2) << "the first of equals wins";
    EXPECT_EQ(img.FindNearestIndex(RGBQUAD{200, 10, 0, 0}), 1);
    EXPECT_EQ(img.FindNearestIndex(RGBQUAD{0, 0, 0, 0}), 0);
    img.SetColourAt(3, 0, RGBQUAD{250, 5, 5, 0});
    EXPECT_EQ(img.GetIndexAt(3, 0), 1);
    img.SetIndexAt(0, 0, 2);
    img.ExchangeIndices(1, 2);
    EXPECT_EQ(img.GetIndexAt(0, 0), 1);
    EXPECT_EQ(img.GetIndexAt(3, 0), 2);
    EXPECT_EQ(img.GetColourAt(3, 0).rgbBlue, 255) << "the palette entries moved with the pixels";
}

TEST(Raster, ColourOutsideTheImageIsTheTransparentColourOrPixelZero) {
    CRaster img;
    ASSERT_TRUE(img.Create(2, 2, 24));
    img.SetColourAt(0, 0, RGBQUAD{1, 2, 3, 0});
    EXPECT_EQ(img.GetColourAt(-1, 5).rgbRed, 3);
    img.SetTransparentIndex(0);
    img.SetTransparentColour(RGBQUAD{9, 9, 9, 0});
    EXPECT_EQ(img.GetColourAt(-1, 5).rgbRed, 9);
}

// ---- flips and turns ----

namespace {

// Reference mappings in picture coordinates (from the top-left): the pixel
// of the result at (X, Y) comes from the source at map(X, Y).
using Map = std::function<std::pair<DWORD, DWORD>(DWORD X, DWORD Y, DWORD w, DWORD h)>;

::testing::AssertionResult Mapped(const CRaster& src, const CRaster& out, bool swapSides, const Map& map) {
    const DWORD w = src.GetWidth(), h = src.GetHeight();
    const DWORD ow = swapSides ? h : w, oh = swapSides ? w : h;
    if (out.GetWidth() != ow || out.GetHeight() != oh)
        return ::testing::AssertionFailure() << "size " << out.GetWidth() << "x" << out.GetHeight();
    if (out.GetBitsPerPixel() != src.GetBitsPerPixel()) return ::testing::AssertionFailure() << "depth";
    for (DWORD Y = 0; Y < oh; ++Y)
        for (DWORD X = 0; X < ow; ++X) {
            const auto [x, y] = map(X, Y, w, h);
            if (!imgtest::SameColour(At(out, X, Y), At(src, x, y)))
                return ::testing::AssertionFailure() << "pixel (" << X << "," << Y << ")";
            if (src.HasAlphaPlane() && imgtest::AlphaAt(out, X, Y) != imgtest::AlphaAt(src, x, y))
                return ::testing::AssertionFailure() << "alpha (" << X << "," << Y << ")";
        }
    return ::testing::AssertionSuccess();
}

struct OrientationCase {
    int orientation;
    bool swapSides;
    Map map;
};

const std::vector<OrientationCase>& Orientations() {
    static const std::vector<OrientationCase> cases = {
        {1, false, [](DWORD X, DWORD Y, DWORD, DWORD) { return std::pair{X, Y}; }},
        {2, false, [](DWORD X, DWORD Y, DWORD w, DWORD) { return std::pair{w - 1 - X, Y}; }},
        {3, false, [](DWORD X, DWORD Y, DWORD w, DWORD h) { return std::pair{w - 1 - X, h - 1 - Y}; }},
        {4, false, [](DWORD X, DWORD Y, DWORD, DWORD h) { return std::pair{X, h - 1 - Y}; }},
        {5, true, [](DWORD X, DWORD Y, DWORD, DWORD) { return std::pair{Y, X}; }},
        {6, true, [](DWORD X, DWORD Y, DWORD, DWORD h) { return std::pair{Y, h - 1 - X}; }},
        {7, true, [](DWORD X, DWORD Y, DWORD w, DWORD h) { return std::pair{w - 1 - Y, h - 1 - X}; }},
        {8, true, [](DWORD X, DWORD Y, DWORD w, DWORD) { return std::pair{w - 1 - Y, X}; }},
    };
    return cases;
}

}  // namespace

TEST(RasterTurns, EveryOrientationOnEveryDepthMatchesTheReferenceMapping) {
    // Sizes cross the 64-pixel tiles and the byte boundaries of 1- and 4-bit rows.
    const std::pair<DWORD, DWORD> sizes[] = {{1, 1}, {4, 2}, {13, 7}, {67, 130}, {129, 65}};
    for (int bpp : {1, 4, 8, 24})
        for (auto [w, h] : sizes)
            for (const auto& c : Orientations()) {
                CRaster src;
                ASSERT_TRUE(src.Create(w, h, bpp));
                if (bpp == 24) src.CreateAlphaPlane();
                FillRandom(src, w * 131 + h + bpp);
                CRaster out(src, true);
                EXPECT_TRUE(out.RotateByOrientation(c.orientation));
                EXPECT_TRUE(Mapped(src, out, c.swapSides, c.map))
                    << "orientation " << c.orientation << " bpp " << bpp << " " << w << "x" << h;
                EXPECT_EQ(out.GetExifInfo().orientation, 1);
            }
}

TEST(RasterTurns, QuarterTurnCornerAndStoredOrientation) {
    CRaster img;
    ASSERT_TRUE(img.Create(4, 2, 24));
    FillRandom(img, 5);
    const RGBQUAD bottomLeft = At(img, 0, 1);
    img.ExifBlock().orientation = 6;
    ASSERT_TRUE(img.RotateByOrientation(0));
    EXPECT_EQ(img.GetWidth(), 2u);
    EXPECT_EQ(img.GetHeight(), 4u);
    EXPECT_TRUE(imgtest::SameColour(At(img, 0, 0), bottomLeft));
    CRaster copy(img, true);
    ASSERT_TRUE(img.RotateByOrientation(0)) << "the stored orientation is now 1";
    EXPECT_TRUE(imgtest::SamePicture(img, copy));
    for (int o : {0, 9, -3}) {
        img.ExifBlock().orientation = o;
        EXPECT_TRUE(img.RotateByOrientation(0));
        EXPECT_TRUE(imgtest::SamePicture(img, copy)) << o;
    }
}

TEST(RasterTurns, TurnsComposeToIdentityAndKeepInfo) {
    for (int bpp : {1, 4, 8, 24}) {
        CRaster img;
        ASSERT_TRUE(img.Create(37, 70, bpp, RASTER_FORMAT_TIF));
        FillRandom(img, 11 + bpp);
        img.SetDpiX(300);
        img.SetDpiY(200);
        CRaster orig(img, true);
        ASSERT_TRUE(img.RotateCW());
        ASSERT_TRUE(img.RotateCW());
        CRaster half(orig, true);
        ASSERT_TRUE(half.Rotate180());
        EXPECT_TRUE(imgtest::SamePicture(img, half)) << bpp;
        ASSERT_TRUE(img.RotateCCW());
        ASSERT_TRUE(img.RotateCCW());
        EXPECT_TRUE(imgtest::SamePicture(img, orig)) << bpp;
        EXPECT_EQ(img.GetDpiX(), 300);
        EXPECT_EQ(img.GetDpiY(), 200);
        EXPECT_EQ(img.GetType(), RASTER_FORMAT_TIF);
        EXPECT_EQ(std::memcmp(img.GetDib(), orig.GetDib(), 40 + orig.GetPaletteSize()), 0) << "header and palette";
    }
}

TEST(RasterTurns, FlipAndMirrorWithoutPixelsFail) {
    CRaster empty;
    EXPECT_FALSE(empty.Flip());
    EXPECT_FALSE(empty.Mirror());
    EXPECT_FALSE(empty.RotateCW());
    EXPECT_FALSE(empty.Rotate180());
}

// Mirroring writes its rows through a scratch row: the padding bytes at the
// end of every row must come out zero, never as whatever that scratch held.
TEST(RasterTurns, MirrorLeavesZeroRowPadding) {
    constexpr BYTE kPattern = 0xA5;
    for (int bpp : {1, 4, 8, 24})
        for (DWORD w : {5u, 37u}) {
            CRaster img;
            ASSERT_TRUE(img.Create(w, 3, bpp));
            FillRandom(img, w + bpp);
            const std::size_t used = (std::size_t(w) * bpp + 7) / 8, rb = img.GetRowBytes();
            ASSERT_LT(used, rb) << "every case has padding";
            for (DWORD y = 0; y < img.GetHeight(); ++y) std::memset(img.GetBits(y) + used, kPattern, rb - used);
            CRaster before(img, true);
            // A freed block of the row's size that held the pattern: a scratch
            // row taken from the heap without clearing would reuse it.
            void* stale = std::malloc(rb);
            ASSERT_NE(stale, nullptr);
            std::memset(stale, kPattern, rb);
            std::free(stale);
            ASSERT_TRUE(img.Mirror());
            for (DWORD y = 0; y < img.GetHeight(); ++y) {
                for (std::size_t i = used; i < rb; ++i)
                    EXPECT_EQ(img.GetBits(y)[i], 0) << bpp << " bpp, width " << w << ", row " << y << ", byte " << i;
                for (DWORD x = 0; x < w; ++x)
                    EXPECT_TRUE(imgtest::SameColour(img.GetColourFast(x, y), before.GetColourFast(w - 1 - x, y)))
                        << bpp << " bpp, width " << w << ", pixel " << x << "," << y;
            }
        }
}

TEST(RasterTurns, SelectionPlaneAndBoxFollowTheTurn) {
    CRaster img;
    ASSERT_TRUE(img.Create(6, 4, 8));
    ASSERT_TRUE(img.CreateSelectionPlane());
    img.SetSelectionByte(1, 0, 1);  // bottom row, second column
    img.SetSelectionByte(2, 1, 1);
    EXPECT_EQ(img.GetSelectionBox().left, 1);
    EXPECT_EQ(img.GetSelectionBox().right, 3);
    ASSERT_TRUE(img.RotateCW());
    // Clockwise: DIB (x, r) -> (r, w-1-x).
    EXPECT_EQ(img.GetSelectionByte(0, 4), 1);
    EXPECT_EQ(img.GetSelectionByte(1, 3), 1);
    const RECT b = img.GetSelectionBox();
    EXPECT_EQ(b.left, 0);
    EXPECT_EQ(b.right, 2);
    EXPECT_EQ(b.bottom, 3);
    EXPECT_EQ(b.top, 5);
}

TEST(RasterPlanes, AlphaPlaneOperations) {
    CRaster img;
    ASSERT_TRUE(img.Create(3, 2, 24));
    EXPECT_EQ(img.GetAlphaAt(0, 0), 0) << "no plane";
    ASSERT_TRUE(img.CreateAlphaPlane());
    EXPECT_EQ(img.GetAlphaAt(2, 1), 255);
    img.SetAlphaAt(2, 1, 10);
    img.SetAlphaAt(3, 1, 10);  // outside: ignored
    img.InvertAlphaPlane();
    EXPECT_EQ(img.GetAlphaAt(2, 1), 245);
    EXPECT_EQ(img.GetAlphaAt(0, 0), 0);
    EXPECT_EQ(img.GetAlphaAddress(3, 0), nullptr);
    img.FreeAlphaPlane();
    EXPECT_FALSE(img.HasAlphaPlane());
}
