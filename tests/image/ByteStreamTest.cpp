#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "image/ByteStream.h"
#include "support/TempDir.h"

TEST(MemStream, GrowsInSteps64KiB) {
    CMemStream s;
    ASSERT_TRUE(s.Open());
    std::vector<std::uint8_t> data(65540, 0x5A);
    EXPECT_EQ(s.Write(data.data(), 1, 10), 10u);
    EXPECT_EQ(s.Capacity(), 65536u);
    EXPECT_EQ(s.Size(), 10);
    EXPECT_EQ(s.Tell(), 10);
    EXPECT_EQ(s.Write(data.data(), 1, 65530), 65530u);
    EXPECT_EQ(s.Size(), 65540);
    EXPECT_EQ(s.Capacity(), 131072u);

    CMemStream exact;
    ASSERT_TRUE(exact.Open());
    EXPECT_EQ(exact.Write(data.data(), 65536, 1), 1u);
    EXPECT_EQ(exact.Capacity(), 131072u) << "low bits cleared, then 64 KiB added";
    EXPECT_FALSE(exact.Open()) << "a buffer already exists";
}

TEST(MemStream, SeekTable) {
    std::uint8_t buf[20] = {};
    struct Case { std::int32_t offset; int origin; bool ok; std::int32_t pos; };
    const Case cases[] = {{-5, 0, true, 0}, {5, 0, true, 5}, {3, 1, true, 13}, {-2, 2, true, 18},
                          {40, 0, true, 40}, {1, 3, false, 10}, {0, -1, false, 10}};
    for (const auto& c : cases) {
        CMemStream s(buf, sizeof buf);
        ASSERT_TRUE(s.Seek(10, 0));
        EXPECT_EQ(s.Seek(c.offset, c.origin), c.ok) << c.offset << "/" << c.origin;
        EXPECT_EQ(s.Tell(), c.pos) << c.offset << "/" << c.origin;
    }
    CMemStream past(buf, sizeof buf);
    past.Seek(25, 0);
    EXPECT_EQ(past.Error(), 1);
    std::uint8_t b;
    EXPECT_EQ(past.Read(&b, 1, 1), 0u);
    EXPECT_TRUE(past.Eof());
}

TEST(MemStream, ShortReadCountsWholeItemsAndSetsEnd) {
    std::uint8_t buf[10];
    for (int i = 0; i < 10; ++i) buf[i] = std::uint8_t(i);
    CMemStream s(buf, sizeof buf);
    s.Seek(4, 0);
    std::uint32_t items[10] = {};
    EXPECT_EQ(s.Read(items, 4, 10), 1u);
    EXPECT_TRUE(s.Eof());
    EXPECT_EQ(s.Tell(), 10);
    EXPECT_EQ(std::memcmp(items, buf + 4, 6), 0);
    s.Seek(0, 0);
    EXPECT_FALSE(s.Eof()) << "a seek clears the end flag";
}

TEST(MemStream, GetSNeedsALineFeedOrALimit) {
    char out[16];
    std::uint8_t ab[] = {'a', 'b'};
    CMemStream s1(ab, 2);
    EXPECT_EQ(s1.GetS(out, 16), nullptr);
    std::uint8_t lines[] = {'x', 'y', '\n', 'z', 'w', 'v'};
    CMemStream s2(lines, sizeof lines);
    ASSERT_EQ(s2.GetS(out, 16), out);
    EXPECT_STREQ(out, "xy\n");
    ASSERT_EQ(s2.GetS(out, 3), out);
    EXPECT_STREQ(out, "zw");
    EXPECT_EQ(s2.Scanf("%d", out), 0);
}

TEST(MemStream, CallersBufferStaysTheCallers) {
    std::uint8_t* caller = static_cast<std::uint8_t*>(std::malloc(8));
    std::memset(caller, 1, 8);
    {
        CMemStream s(caller, 8);
        EXPECT_FALSE(s.OwnsBuffer());
        EXPECT_TRUE(s.Close());
        EXPECT_EQ(s.GetBuffer(false), caller) << "still attached";
        EXPECT_EQ(s.Size(), 8);
        // Writing beyond the block copies it into one of the stream's own.
        s.Seek(8, 0);
        const std::uint8_t more[4] = {9, 9, 9, 9};
        EXPECT_EQ(s.Write(more, 1, 4), 4u);
        EXPECT_NE(s.GetBuffer(false), caller);
        EXPECT_EQ(s.GetBuffer(false)[0], 1);
        EXPECT_EQ(s.GetBuffer(false)[11], 9);
    }
    EXPECT_EQ(caller[7], 1);  // intact, and ours to free
    std::free(caller);

    std::uint8_t* detached;
    {
        CMemStream s;
        s.Open();
        s.PutC(42);
        detached = s.GetBuffer(true);
    }
    EXPECT_EQ(detached[0], 42);
    std::free(detached);
}

TEST(MemStream, WithoutBufferEverythingFailsQuietly) {
    CMemStream s;
    std::uint8_t b = 0;
    EXPECT_EQ(s.Read(&b, 1, 1), 0u);
    EXPECT_EQ(s.Write(&b, 1, 1), 0u);
    EXPECT_FALSE(s.Seek(0, 0));
    EXPECT_EQ(s.Tell(), -1);
    EXPECT_EQ(s.Size(), -1);
    EXPECT_FALSE(s.Flush());
    EXPECT_TRUE(s.Eof());
    EXPECT_EQ(s.Error(), -1);
    EXPECT_FALSE(s.PutC(1));
    EXPECT_EQ(s.GetC(), -1);
}

// Random operations against a plain model of the stream's bytes.
TEST(MemStream, RandomOperationsMatchAModel) {
    std::mt19937 rng(1234);
    for (int round = 0; round < 20; ++round) {
        CMemStream s;
        ASSERT_TRUE(s.Open());
        std::vector<std::uint8_t> model;
        std::size_t pos = 0;
        for (int op = 0; op < 400; ++op) {
            switch (rng() % 5) {
                case 0: {  // write
                    std::vector<std::uint8_t> data(rng() % 3000 + 1);
                    for (auto& d : data) d = std::uint8_t(rng());
                    ASSERT_EQ(s.Write(data.data(), 1, data.size()), data.size());
                    if (model.size() < pos + data.size()) model.resize(pos + data.size(), 0);
                    std::copy(data.begin(), data.end(), model.begin() + std::ptrdiff_t(pos));
                    pos += data.size();
                    break;
                }
                case 1: {  // read
                    std::vector<std::uint8_t> out(rng() % 3000 + 1);
                    const std::size_t n = s.Read(out.data(), 1, out.size());
                    const std::size_t expect = pos >= model.size() ? 0 : std::min(out.size(), model.size() - pos);
                    ASSERT_EQ(n, expect);
                    ASSERT_TRUE(std::equal(out.begin(), out.begin() + std::ptrdiff_t(n), model.begin() + std::ptrdiff_t(pos)));
                    pos += n;
                    break;
                }
                case 2: {  // seek within or a little past the end
                    const std::size_t to = model.empty() ? 0 : rng() % (model.size() + 10);
                    ASSERT_TRUE(s.Seek(std::int32_t(to), 0));
                    pos = to;
                    break;
                }
                case 3: {
                    const std::uint8_t b = std::uint8_t(rng());
                    ASSERT_TRUE(s.PutC(b));
                    if (model.size() < pos + 1) model.resize(pos + 1, 0);
                    model[pos++] = b;
                    break;
                }
                case 4: {
                    const int c = s.GetC();
                    if (pos < model.size()) {
                        ASSERT_EQ(c, model[pos]);
                        ++pos;
                    } else {
                        ASSERT_EQ(c, -1);
                    }
                    break;
                }
            }
            ASSERT_EQ(s.Tell(), std::int32_t(pos));
            ASSERT_EQ(s.Size(), std::int32_t(model.size()));
        }
        ASSERT_EQ(std::memcmp(s.GetBuffer(false), model.data(), model.size()), 0);
    }
}

TEST(FileStream, WithoutStreamTable) {
    CFileStream s;
    std::uint8_t b = 0;
    EXPECT_TRUE(s.Close());
    EXPECT_EQ(s.Read(&b, 1, 1), 0u);
    EXPECT_EQ(s.Write(&b, 1, 1), 0u);
    EXPECT_FALSE(s.Seek(0, 0));
    EXPECT_EQ(s.Tell(), 0);
    EXPECT_EQ(s.Size(), -1);
    EXPECT_FALSE(s.Flush());
    EXPECT_TRUE(s.Eof());
    EXPECT_EQ(s.Error(), -1);
    EXPECT_FALSE(s.PutC(1));
    EXPECT_EQ(s.GetC(), -1);
    char line[4];
    EXPECT_EQ(s.GetS(line, 4), nullptr);
    EXPECT_EQ(s.Scanf("%d", line), -1);
}

TEST(FileStream, MapsOntoTheFileAndLeavesACallersStreamOpen) {
    testdata::TempDir dir;
    const std::wstring path = dir.wfile(L"流.bin");
    {
        CFileStream owned;
        ASSERT_TRUE(owned.Open(path.c_str(), L"w+b"));
        EXPECT_EQ(owned.Write("12 abc\nxyz", 1, 10), 10u);
        EXPECT_TRUE(owned.PutC('!'));
        EXPECT_EQ(owned.Size(), 11);
        EXPECT_EQ(owned.Tell(), 11) << "Size keeps the position";
        ASSERT_TRUE(owned.Seek(0, 0));
        int number = 0;
        EXPECT_EQ(owned.Scanf("%d", &number), 1);
        EXPECT_EQ(number, 12);
        char line[16];
        ASSERT_NE(owned.GetS(line, 16), nullptr);
        EXPECT_STREQ(line, " abc\n");
        EXPECT_EQ(owned.GetC(), 'x');
        ASSERT_TRUE(owned.Seek(-1, 2));
        EXPECT_EQ(owned.GetC(), '!');
        EXPECT_EQ(owned.GetC(), -1);
        EXPECT_TRUE(owned.Eof());
    }
    std::FILE* fp = std::fopen(dir.file("流.bin").c_str(), "rb");
    ASSERT_NE(fp, nullptr);
    {
        CFileStream wrap(fp);
        EXPECT_EQ(wrap.Size(), 11);
        EXPECT_TRUE(wrap.Close()) << "nothing to do for a caller's stream";
    }
    EXPECT_EQ(std::fgetc(fp), '1') << "the caller's stream is still open";
    std::fclose(fp);
}
