// The huge-page request for large buffers is a hint only: whatever the
// buffer held before it holds after it, whatever its size and alignment.
// It is made for fresh memory and not repeated for memory in use.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/mman.h>
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

namespace {

// The kernel's flags of the mapping that holds `p` ("hg": huge pages asked for).
std::string MappingFlags(const void* p) {
    std::ifstream smaps("/proc/self/smaps");
    const auto at = reinterpret_cast<std::uintptr_t>(p);
    std::string line;
    bool inside = false;
    while (std::getline(smaps, line)) {
        unsigned long long lo = 0, hi = 0;
        char dash = 0;
        std::istringstream head(line);
        if (head >> std::hex >> lo >> dash >> hi && dash == '-' && line.find(' ') != std::string::npos &&
            line.find(':') > line.find(' ')) {
            inside = at >= lo && at < hi;
        } else if (inside && line.rfind("VmFlags:", 0) == 0) {
            return line.substr(8) + " ";
        }
    }
    return "";
}

bool AskedForHugePages(const void* p) { return MappingFlags(p).find(" hg ") != std::string::npos; }

}  // namespace

TEST(LargeBuffers, MemoryAlreadyMappedIsNotAskedForAgain) {
    constexpr std::size_t kBlock = std::size_t{2} << 20;
    constexpr std::size_t kSize = 4 * kBlock;
    // Which pages of a 2 MB-aligned region of four blocks are written before
    // the advice, and whether the advice is then given.
    struct Case {
        const char* label;
        bool touchAll;
        std::size_t untouchedBlock;  // with touchAll: one block whose first page stays unwritten (4: none)
        bool asked;
    };
    const Case cases[] = {
        {"fresh memory", false, 4, true},
        {"memory in use", true, 4, false},
        {"in use but for one block", true, 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        void* raw = ::mmap(nullptr, kSize + kBlock, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        ASSERT_NE(raw, MAP_FAILED);
        auto* region =
            reinterpret_cast<std::uint8_t*>((reinterpret_cast<std::uintptr_t>(raw) + kBlock - 1) & ~(kBlock - 1));
        if (c.touchAll)
            for (std::size_t b = 0; b < 4; ++b)
                if (b != c.untouchedBlock) std::memset(region + b * kBlock, 1, kBlock);
        largebuf::Advise(region, kSize);
        const bool asked = AskedForHugePages(region + 3 * kBlock);
        ::munmap(raw, kSize + kBlock);
        if (!c.touchAll && !asked) GTEST_SKIP() << "this system does not take huge-page requests";
        EXPECT_EQ(asked, c.asked);
    }
}
