// The huge-page request for large buffers is a hint only: whatever the
// buffer held before it holds after it, whatever its size and alignment.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/core/LargeBuffers.h"

TEST(LargeBuffers, AdviceLeavesTheContentsAsTheyWere) {
    const std::size_t sizes[] = {0, 1, 4096, largebuf::kMinBytes - 1, largebuf::kMinBytes, 9 * 1024 * 1024 + 17};
    for (std::size_t size : sizes) {
        for (std::size_t shift : {0, 1, 4095}) {
            std::vector<std::uint8_t> block(size + shift + 1);
            for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 131 + 7);
            const std::vector<std::uint8_t> before = block;
            largebuf::Advise(block.data() + shift, size);
            ASSERT_EQ(block, before) << size << " bytes at +" << shift;
        }
    }
    largebuf::Advise(nullptr, largebuf::kMinBytes);  // nothing to advise: no effect, no crash
}

TEST(LargeBuffers, FreshLargeBlocksStillWriteAndReadBack) {
    // Advice before the first write, as the image buffers are made.
    const std::size_t size = 3 * largebuf::kMinBytes + 12345;
    auto* p = static_cast<std::uint8_t*>(std::malloc(size));
    ASSERT_NE(p, nullptr);
    largebuf::Advise(p, size);
    for (std::size_t i = 0; i < size; i += 511) p[i] = static_cast<std::uint8_t>(i >> 9);
    for (std::size_t i = 0; i < size; i += 511) ASSERT_EQ(p[i], static_cast<std::uint8_t>(i >> 9)) << i;
    std::free(p);
}
