#include <gtest/gtest.h>

#include <cstring>

#include "platform/core/CheckedSize.h"
#include "platform/core/Files.h"
#include "platform/core/LittleEndian.h"
#include "platform/core/Paths.h"
#include "platform/core/Strings.h"
#include "support/TempDir.h"

TEST(Utf8, RoundTripsChineseAndAstralText) {
    const std::wstring text = L"处理完成后才能使用此功能。 a\U0001F600z";
    const std::string utf8 = ToUtf8(text);
    EXPECT_TRUE(IsValidUtf8(utf8));
    EXPECT_EQ(FromUtf8(utf8), text);
    EXPECT_EQ(ToUtf8(L"\u4e2d"), "\xe4\xb8\xad");
}

TEST(Utf8, MalformedBytesBecomeReplacementCharacters) {
    struct Case { std::string bytes; std::wstring expected; };
    const Case cases[] = {
        {"a\xff" "b", L"a\uFFFDb"},
        {"\xe4\xb8", L"\uFFFD\uFFFD"},          // cut short
        {"\xc0\xaf", L"\uFFFD\uFFFD"},          // overlong '/'
        {"\xed\xa0\x80", L"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(IsValidUtf8(c.bytes));
        EXPECT_EQ(FromUtf8(c.bytes), c.expected);
    }
    // A lone surrogate in a wide string is not encodable.
    EXPECT_EQ(ToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xef\xbf\xbd");
}

TEST(Paths, JoinSplitAndExtensions) {
    EXPECT_EQ(PathJoin(L"/a/b", L"c.jpg"), L"/a/b/c.jpg");
    EXPECT_EQ(PathJoin(L"/a/b/", L"/c.jpg"), L"/a/b/c.jpg");
    EXPECT_EQ(PathJoin(L"/", L"x"), L"/x");
    EXPECT_EQ(PathJoin(L"", L"x"), L"x");
    EXPECT_EQ(PathJoin(L"a", L"b", L"c"), L"a/b/c");
    EXPECT_EQ(PathFolder(L"/a/b/c.jpg"), L"/a/b");
    EXPECT_EQ(PathFolder(L"/c.jpg"), L"/");
    EXPECT_EQ(PathFileName(L"/a/b/c.jpg"), L"c.jpg");
    EXPECT_EQ(PathExtension(L"/a.b/c.TIF"), L"TIF");
    EXPECT_EQ(PathExtension(L"/a.b/c"), L"");
    EXPECT_EQ(PathWithoutExtension(L"/a.b/c"), L"/a.b/c");
    EXPECT_EQ(PathWithoutExtension(L"/a/页.jpg"), L"/a/页");
    EXPECT_TRUE(EqualsNoCase(L"TiFf", L"tiff"));
}

TEST(Files, WideNamesAtomicWritesAndRemoval) {
    testdata::TempDir dir;
    const std::wstring folder = dir.wfile(L"文件夹");
    ASSERT_TRUE(files::CreateDirectory(folder));
    EXPECT_TRUE(files::CreateDirectory(folder));  // already there
    const std::wstring file = PathJoin(folder, L"页面.bin");
    const char payload[] = "payload";
    ASSERT_TRUE(files::WriteAllAtomic(file, payload, sizeof payload));
    EXPECT_EQ(files::Size(file), static_cast<std::int64_t>(sizeof payload));
    std::vector<std::uint8_t> back;
    ASSERT_TRUE(files::ReadAll(file, back));
    EXPECT_EQ(0, std::memcmp(back.data(), payload, sizeof payload));

    // A write into a folder that does not exist fails and leaves nothing.
    const std::wstring bad = PathJoin(folder, L"missing", L"x.bin");
    EXPECT_FALSE(files::WriteAllAtomic(bad, payload, sizeof payload));
    EXPECT_FALSE(files::Exists(bad));
    EXPECT_FALSE(files::ReadAll(bad, back));
    EXPECT_TRUE(back.empty());

    std::FILE* f = _wfopen(file.c_str(), L"ab");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_TRUE(files::RemoveTree(folder));
    EXPECT_FALSE(files::Exists(folder));
}

TEST(CheckedSize, RefusesWrapAround) {
    EXPECT_EQ(checked::Mul(SIZE_MAX / 2, 3), std::nullopt);
    EXPECT_EQ(checked::Add(SIZE_MAX, 1), std::nullopt);
    EXPECT_EQ(checked::Mul3(1u << 20, 1u << 20, 1u << 20).value(), std::size_t{1} << 60);
    EXPECT_EQ(checked::DibRowBytes(3, 24).value(), 12u);
    EXPECT_EQ(checked::DibRowBytes(10, 1).value(), 4u);
    EXPECT_EQ(checked::DibRowBytes(33, 1).value(), 8u);
    EXPECT_EQ(checked::DibRowBytes(UINT64_MAX / 2, 24), std::nullopt);
}

TEST(LittleEndian, HeadersSerialiseFieldByField) {
    BITMAPINFOHEADER h;
    h.biSize = 40;
    h.biWidth = -3;
    h.biHeight = 0x01020304;
    h.biBitCount = 24;
    h.biXPelsPerMeter = 11811;
    std::uint8_t buf[40];
    le::WriteInfoHeader(buf, h);
    EXPECT_EQ(buf[0], 40);
    EXPECT_EQ(buf[4], 0xFD);
    EXPECT_EQ(buf[7], 0xFF);
    EXPECT_EQ(buf[8], 0x04);
    EXPECT_EQ(buf[11], 0x01);
    BITMAPINFOHEADER r = le::ReadInfoHeader(buf);
    EXPECT_EQ(r.biWidth, -3);
    EXPECT_EQ(r.biHeight, 0x01020304);
    EXPECT_EQ(r.biXPelsPerMeter, 11811);

    BITMAPFILEHEADER fh;
    fh.bfType = 0x4D42;
    fh.bfSize = 1234;
    fh.bfOffBits = 54;
    std::uint8_t fb[14];
    le::WriteFileHeader(fb, fh);
    EXPECT_EQ(fb[0], 'B');
    EXPECT_EQ(fb[1], 'M');
    EXPECT_EQ(le::ReadFileHeader(fb).bfOffBits, 54u);
    EXPECT_TRUE(PtInRect(RECT{0, 0, 2, 2}, POINT{1, 1}));
    EXPECT_FALSE(PtInRect(RECT{0, 0, 2, 2}, POINT{2, 1}));
}
