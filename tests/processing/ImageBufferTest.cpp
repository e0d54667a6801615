// Page-sized buffers (asked to be backed by huge pages) come filled as
// promised: zero for working images and images, the fill for canvases.
#include <gtest/gtest.h>

#include <algorithm>

#include "image/Raster.h"
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
