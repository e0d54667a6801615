// Files that are never replaced, the reasons a write failed, and the
// temporary files of processes that ended.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "platform/core/Files.h"
#include "platform/core/Paths.h"
#include "platform/core/Strings.h"
#include "support/RunOutput.h"
#include "support/TempDir.h"

namespace {

// Names in a folder, hidden ones too, in listing order.
std::vector<std::wstring> Names(const std::wstring& folder) {
    std::vector<files::DirEntry> entries;
    files::ListDirectory(folder, entries);
    std::vector<std::wstring> names;
    for (const auto& e : entries) names.push_back(e.name);
    return names;
}

struct EndFullDisk {
    ~EndFullDisk() { files::SetFullDiskFolderForTests(L""); }
};

}  // namespace

TEST(Files, CopyNoReplaceNeverReplacesAFile) {
    testdata::TempDir dir;
    const std::wstring from = dir.wfile(L"原图.jpg");
    ASSERT_TRUE(files::WriteAllAtomic(from, "page", 4));
    const std::wstring folder = dir.wfile(L"copies");
    ASSERT_TRUE(files::CreateDirectory(folder));
    ASSERT_TRUE(files::WriteAllAtomic(PathJoin(folder, L"taken.jpg"), "mine", 4));
    ASSERT_TRUE(files::CreateDirectory(PathJoin(folder, L"sub.jpg")));
    struct Case {
        std::wstring from;
        std::wstring to;  // in `folder`
        bool copied;
        int error;
    };
    const Case cases[] = {
        {from, L"new.jpg", true, 0},
        {from, L"taken.jpg", false, EEXIST},
        {from, L"sub.jpg", false, EEXIST},  // a folder of that name
        {dir.wfile(L"missing.jpg"), L"none.jpg", false, ENOENT},
    };
    for (const auto& c : cases) {
        errno = 0;
        EXPECT_EQ(files::CopyNoReplace(c.from, PathJoin(folder, c.to)), c.copied) << ToUtf8(c.to);
        if (!c.copied) {
            EXPECT_EQ(errno, c.error) << ToUtf8(c.to);
        }
    }
    EXPECT_EQ(testdata::ReadFileText(PathJoin(folder, L"new.jpg")), "page");
    EXPECT_EQ(testdata::ReadFileText(PathJoin(folder, L"taken.jpg")), "mine");
    EXPECT_EQ(testdata::ReadFileText(from), "page");
    // No temporary file is left beside the copies.
    EXPECT_EQ(Names(folder), (std::vector<std::wstring>{L"new.jpg", L"sub.jpg", L"taken.jpg"}));
}

TEST(Files, SystemErrorTextsOfWriteFailures) {
    struct Case {
        int error;
        const wchar_t* text;
    };
    const Case cases[] = {
        {ENOSPC, L"磁盘空间不足"}, {EDQUOT, L"超出磁盘配额"}, {EIO, L"磁盘读写出错"},
        {EACCES, L"没有写入权限"}, {EPERM, L"没有写入权限"},  {EROFS, L"磁盘是只读的"},
        {EEXIST, L"已有同名文件"}, {ENAMETOOLONG, L"文件名太长"},
    };
    for (const auto& c : cases) EXPECT_EQ(ToUtf8(files::SystemErrorText(c.error)), ToUtf8(c.text)) << c.error;
    // Any other error in the system's own words.
    EXPECT_EQ(files::SystemErrorText(EXDEV), FromUtf8(std::strerror(EXDEV)));
}

TEST(Files, AFullDiskForTestsFailsWritesBelowItsFolderOnly) {
    testdata::TempDir dir;
    const std::wstring full = dir.wfile(L"full");
    ASSERT_TRUE(files::CreateDirectory(full));
    ASSERT_TRUE(files::CreateDirectory(PathJoin(full, L"sub")));
    ASSERT_TRUE(files::WriteAllAtomic(PathJoin(full, L"old.txt"), "old", 3));
    EndFullDisk end;
    files::SetFullDiskFolderForTests(full);
    for (const wchar_t* name : {L"old.txt", L"new.txt", L"sub/new.txt"}) {
        std::FILE* f = _wfopen(PathJoin(full, name).c_str(), L"wb");
        ASSERT_NE(f, nullptr) << ToUtf8(name);
        const bool written = std::fwrite("data", 1, 4, f) == 4 && std::fflush(f) == 0;
        const int error = errno;
        std::fclose(f);
        EXPECT_FALSE(written) << ToUtf8(name);
        EXPECT_EQ(error, ENOSPC) << ToUtf8(name);
    }
    // Reading is not touched; nothing was written or emptied there.
    EXPECT_EQ(testdata::ReadFileText(PathJoin(full, L"old.txt")), "old");
    EXPECT_EQ(Names(full), (std::vector<std::wstring>{L"old.txt", L"sub"}));
    // Beside it, and once it ends, writes go where they are meant to.
    EXPECT_TRUE(files::WriteAllAtomic(dir.wfile(L"fullness.txt"), "yes", 3));
    files::SetFullDiskFolderForTests(L"");
    EXPECT_TRUE(files::WriteAllAtomic(PathJoin(full, L"new.txt"), "new", 3));
    EXPECT_EQ(testdata::ReadFileText(PathJoin(full, L"new.txt")), "new");
}
