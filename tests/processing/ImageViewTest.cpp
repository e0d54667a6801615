// Image views name the rows the engines read and write: padded row lengths,
// the picture row behind each memory row in either row order, and owned
// images that hand out views of their own pixels.
#include <gtest/gtest.h>

#include "processing/ImageView.h"

TEST(ImageView, PaddedRowLengthsForOddAndEvenWidths) {
    struct Case {
        int width, bitsPerPixel;
        std::size_t stride;
    };
    const Case cases[] = {{1, 8, 4}, {3, 8, 4}, {4, 8, 4}, {5, 8, 8}, {1, 24, 4}, {2, 24, 8},
                          {3, 24, 12}, {5, 24, 16}, {7, 24, 24}, {2481, 24, 7444}, {2481, 8, 2484}};
    for (const Case& c : cases) {
        const ImageView v = ImageView::Padded(nullptr, c.width, 2, c.bitsPerPixel);
        EXPECT_EQ(v.stride, c.stride) << c.width << " x " << c.bitsPerPixel;
    }
    EXPECT_EQ(ImageView::Grey(nullptr, 5, 1).stride, 8u);
    EXPECT_EQ(ImageView::Colour(nullptr, 5, 1).stride, 16u);
}

TEST(ImageView, RowsFromTheTopFollowTheRowOrder) {
    OwnedImage bottomUp = OwnedImage::Allocate(3, 4, 8);
    OwnedImage topDown = OwnedImage::Allocate(3, 4, 8, RowOrder::kTopDown);
    ASSERT_FALSE(bottomUp.Empty());
    ASSERT_FALSE(topDown.Empty());
    const ImageView a = bottomUp.View(), b = topDown.View();
    for (int y = 0; y < 4; ++y) {
        // Mark each memory row with its index.
        a.MemoryRow(y)[0] = static_cast<std::uint8_t>(y);
        b.MemoryRow(y)[0] = static_cast<std::uint8_t>(y);
    }
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(a.RowFromTop(y)[0], 3 - y) << y;  // the top of the picture is the last memory row
        EXPECT_EQ(b.RowFromTop(y)[0], y) << y;
    }
    EXPECT_EQ(a.MemoryRow(1) - a.MemoryRow(0), 4);
    EXPECT_EQ(a.Bytes(), 16u);
    const ConstImageView readOnly = a;
    EXPECT_EQ(readOnly.bits, a.bits);
    EXPECT_EQ(readOnly.stride, a.stride);
    EXPECT_EQ(readOnly.RowFromTop(0)[0], 3);
}

TEST(ImageView, OwnedImagesRefuseWhatTheyCannotHoldAndGiveTheirPixelsAway) {
    EXPECT_TRUE(OwnedImage::Allocate(0, 5, 24).Empty());
    EXPECT_TRUE(OwnedImage::Allocate(5, -1, 8).Empty());
    EXPECT_TRUE(OwnedImage::Allocate(70000, 1, 8).Empty());  // a side above the image limit
    EXPECT_TRUE(OwnedImage().View().Empty());

    OwnedImage image = OwnedImage::Allocate(5, 2, 24);
    ASSERT_FALSE(image.Empty());
    const ImageView v = image.View();
    EXPECT_EQ(v.width, 5);
    EXPECT_EQ(v.height, 2);
    EXPECT_EQ(v.bitsPerPixel, 24);
    EXPECT_EQ(v.stride, 16u);
    EXPECT_EQ(v.rows, RowOrder::kBottomUp);
    v.MemoryRow(1)[14] = 77;
    PixelBuffer bits = image.Release();
    EXPECT_TRUE(image.Empty());
    ASSERT_TRUE(bits);
    EXPECT_EQ(bits[16 + 14], 77);
}

TEST(ImageView, PagesTakeTheirShapeFromTheViewThatHasPixels) {
    std::uint8_t grey[8 * 3] = {}, colour[16 * 3] = {};
    const PageView both = PageView::Of(ImageView::Grey(grey, 5, 3), ImageView::Colour(colour, 5, 3), 24, 200);
    EXPECT_EQ(both.grey, grey);
    EXPECT_EQ(both.colour, colour);
    EXPECT_EQ(both.width, 5);
    EXPECT_EQ(both.height, 3);
    EXPECT_TRUE(both.ColourPage());
    EXPECT_EQ(both.dpi, 200);
    EXPECT_EQ(both.Colour().stride, 16u);
    EXPECT_EQ(both.Grey().stride, 8u);

    const PageView colourOnly = PageView::Of(ImageView::Colour(colour, 5, 3), 300);
    EXPECT_EQ(colourOnly.grey, nullptr);
    EXPECT_EQ(colourOnly.colour, colour);
    EXPECT_EQ(colourOnly.width, 5);
    EXPECT_TRUE(colourOnly.ColourPage());

    const PageView greyOnly = PageView::Of(ImageView::Grey(grey, 5, 3), 300);
    EXPECT_EQ(greyOnly.grey, grey);
    EXPECT_EQ(greyOnly.colour, nullptr);
    EXPECT_EQ(greyOnly.height, 3);
    EXPECT_FALSE(greyOnly.ColourPage());
}
