// Page-sized buffers (asked to be backed by huge pages) come filled as
// promised: zero for working images and images, the fill for canvases.
#include <gtest/gtest.h>

#include <algorithm>

#include "image/Raster.h"
#include "platform/core/CheckedSize.h"
#include "processing/ImageBuffer.h"
#include "processing/PixelMath.h"

TEST(ImageBuffer, LargeBuffersComeZeroedOrFilled) {
    const int w = 2481, h = 1203;  // 8.95 MB at 24 bits, an odd width
    for (int round = 0; round < 3; ++round) {
        // Earlier rounds free dirty blocks of the same size for later ones.
        PixelBuffer colour = AllocPixels(w, h, 24);
        ASSERT_TRUE(colour);
        const std::size_t bytes = PixelBytes(w, h, 24);
        EXPECT_TRUE(std::all_of(colour.get(), colour.get() + bytes, [](BYTE b) { return b == 0; })) << round;
        std::fill(colour.get(), colour.get() + bytes, BYTE{0x5A});

        auto canvas = px::NewBuffer(bytes, 200);
        ASSERT_TRUE(canvas);
        EXPECT_TRUE(std::all_of(canvas.get(), canvas.get() + bytes, [](std::uint8_t b) { return b == 200; })) << round;
        std::fill(canvas.get(), canvas.get() + bytes, std::uint8_t{0xA5});

        CRaster image;
        ASSERT_TRUE(image.Create(w, h, 24));
        EXPECT_TRUE(std::all_of(image.GetBits(0), image.GetBits(0) + image.GetHeader().biSizeImage,
                                [](BYTE b) { return b == 0; }))
            << round;
        std::fill(image.GetBits(0), image.GetBits(0) + image.GetHeader().biSizeImage, BYTE{0x33});
    }
}

TEST(ImageBuffer, BuffersHaveRoomForAnExtraColumnAndRow) {
    // Room for a turn by zero (one pixel wider, one row higher), whatever
    // the stride does: widths that keep it and widths that grow it.
    for (int bpp : {8, 24})
        for (auto [w, h] : {std::pair<int, int>{1, 1}, {3, 2}, {4, 9}, {2480, 3508}, {901, 17}}) {
            const std::size_t need = PixelBytes(w + 1, h + 1, bpp);
            EXPECT_GE(PixelCapacity(AllocPixels(w, h, bpp).get()), need) << w << "x" << h << " " << bpp;
            EXPECT_GE(PixelCapacity(AllocPixelsUnfilled(w, h, bpp).get()), need) << w << "x" << h << " " << bpp;
        }
    EXPECT_EQ(PixelCapacity(nullptr), 0u);
    // At the side limit there is no such image: the buffer is what the
    // image needs.
    const PixelBuffer edge = AllocPixels(image_limits::kMaxSide, 1, 8);
    ASSERT_TRUE(edge);
    EXPECT_GE(PixelCapacity(edge.get()), PixelBytes(image_limits::kMaxSide, 1, 8));
}
