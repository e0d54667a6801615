#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/core/RunResults.h"
#include "platform/core/Files.h"
#include "platform/core/Paths.h"
#include "support/RunOutput.h"
#include "support/TempDir.h"

using testdata::ReadFileText;
using testdata::TempDir;

namespace {

SYSTEMTIME At(int y, int mo, int d, int h, int mi) {
    SYSTEMTIME t;
    t.wYear = static_cast<WORD>(y);
    t.wMonth = static_cast<WORD>(mo);
    t.wDay = static_cast<WORD>(d);
    t.wHour = static_cast<WORD>(h);
    t.wMinute = static_cast<WORD>(mi);
    return t;
}

}  // namespace

TEST(RunResults, ProgressTexts) {
    EXPECT_EQ(AutoDetectProgressText(0, 0, 0), L"**********自动检测中,处理进度 0 / 0 张, 0张失败************");
    EXPECT_EQ(RunningProgressText(2, 3, 1), L"**********处理中请等待,处理进度 2 / 3 张, 失败1张************");
    EXPECT_EQ(FinishedProgressText(3, 1, 12),
              L"**********处理完成,总共处理了 3 张, 其中失败1张.用了 12 秒************");
    EXPECT_EQ(ProcessingStatusText(L"/a/b.jpg"), L"正在处理: /a/b.jpg");
}

TEST(RunResults, FailedListNameCarriesTheMinute) {
    EXPECT_EQ(FailedListFileName(At(2024, 3, 7, 9, 5)), L"image_failed_2024-03-07_0905.txt");
    EXPECT_EQ(FailedListFileName(At(1999, 12, 31, 23, 59)), L"image_failed_1999-12-31_2359.txt");
}

TEST(RunResults, FailedListHoldsOneLinePerPathWithoutHeaderOrMark) {
    TempDir tmp;
    const std::vector<std::wstring> paths{L"/in/a.jpg", L"/in/中文/b.tif"};
    const std::wstring written = WriteFailedListFile(tmp.wpath(), paths, At(2024, 3, 7, 9, 5), CP_UTF8);
    EXPECT_EQ(written, PathJoin(tmp.wpath(), L"image_failed_2024-03-07_0905.txt"));
    EXPECT_EQ(ReadFileText(written), "/in/a.jpg\r\n/in/\xe4\xb8\xad\xe6\x96\x87/b.tif\r\n");
}

TEST(RunResults, FailedListUsesTheCodePagesReplacementCharacter) {
    TempDir tmp;
    const std::vector<std::wstring> paths{L"/in/中/\u0e01x.jpg", L"/in/ok.jpg"};
    const std::wstring written = WriteFailedListFile(tmp.wpath(), paths, At(2024, 1, 2, 3, 4), 936);
    // 中 in GBK, the Thai letter replaced; the next line holds nothing of it.
    EXPECT_EQ(ReadFileText(written), "/in/\xd6\xd0/?x.jpg\r\n/in/ok.jpg\r\n");
}

TEST(RunResults, FailedListEdgeCases) {
    TempDir tmp;
    const SYSTEMTIME t = At(2024, 1, 2, 3, 4);
    // Nothing to write.
    EXPECT_TRUE(WriteFailedListFile(tmp.wpath(), {}, t).empty());
    EXPECT_TRUE(WriteFailedListFile(L"", {L"/a.jpg"}, t).empty());
    // The same minute: the later list replaces the earlier.
    WriteFailedListFile(tmp.wpath(), {L"/first.jpg", L"/second.jpg"}, t, CP_UTF8);
    const std::wstring written = WriteFailedListFile(tmp.wpath(), {L"/third.jpg"}, t, CP_UTF8);
    EXPECT_EQ(ReadFileText(written), "/third.jpg\r\n");
    std::vector<files::DirEntry> entries;
    files::ListDirectory(tmp.wpath(), entries);
    EXPECT_EQ(entries.size(), 1u);
    // A folder that cannot be written loses the list silently.
    EXPECT_TRUE(WriteFailedListFile(tmp.wfile(L"missing/folder"), {L"/a.jpg"}, t).empty());
}
