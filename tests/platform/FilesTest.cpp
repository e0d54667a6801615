// Files that are never replaced, the reasons a write failed, and the
// temporary files of processes that ended.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <string>
#include <vector>

#include "platform/core/Files.h"
#include "platform/core/Paths.h"
#include "platform/core/Strings.h"
#include "support/Leftovers.h"
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

namespace {

using testdata::EndedProcessId;
using testdata::SleepingChild;
using testdata::TemporaryNameOf;

// Sets a file's modification time `secondsAgo` before now.
bool Age(const std::wstring& path, long secondsAgo) {
    struct timespec times[2];
    ::clock_gettime(CLOCK_REALTIME, &times[0]);
    times[0].tv_sec -= secondsAgo;
    times[1] = times[0];
    return ::utimensat(AT_FDCWD, ToUtf8(path).c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

}  // namespace

TEST(Files, TemporaryNamesAreRecognisedExactly) {
    int pid = 0;
    EXPECT_TRUE(files::ParseTemporaryName(PathFileName(files::TemporarySibling(L"/x/page.jpg")), pid));
    EXPECT_EQ(pid, static_cast<int>(::getpid()));
    EXPECT_TRUE(files::ParseTemporaryName(L".tsv0000abcd00000001.tmp", pid));
    EXPECT_EQ(pid, 0xabcd);
    for (const wchar_t* other : {L".tsv0000abcd0000001.tmp", L".tsv0000abcd000000011.tmp", L".TSV0000abcd00000001.tmp",
                                 L"tsv0000abcd00000001.tmp.", L".tsv0000ABCD00000001.tmp", L".tsv0000abcd00000001.TMP",
                                 L".tsv0000abcd0000000g.tmp", L".tsv0000abcd00000001.tmp.jpg", L".tsv0000000000000001.tmp",
                                 L".tsv8000000000000001.tmp"})
        EXPECT_FALSE(files::ParseTemporaryName(other, pid)) << ToUtf8(other);
}

TEST(Files, LeftoversOfEndedProcessesGoAndNothingElse) {
    testdata::TempDir dir;
    const std::wstring folder = dir.wfile(L"out");
    ASSERT_TRUE(files::CreateDirectory(folder));
    const int ended = EndedProcessId();
    SleepingChild child;
    const int childId = child.pid();
    ASSERT_GT(childId, 0);
    const int self = static_cast<int>(::getpid());
    struct Case {
        const char* label;
        std::wstring name;
        long age;  // seconds since it last changed
        bool folder;
        bool stays;
    };
    const Case cases[] = {
        {"an ended process's file", TemporaryNameOf(ended, 1), 3600, false, false},
        {"an ended process's file, just written", TemporaryNameOf(ended, 2), 0, false, false},
        {"an ended process's folder, with a page in it", TemporaryNameOf(ended, 3), 3600, true, false},
        {"this process's file", TemporaryNameOf(self, 4), 0, false, true},
        {"a running child's file", TemporaryNameOf(childId, 5), 0, false, true},
        {"a file of this id from before this process started", TemporaryNameOf(self, 6), 86400, false, false},
        {"a user's file of a like name", L".tsv" + TemporaryNameOf(ended, 7).substr(4, 8) + L".tmp", 3600, false, true},
        {"a user's file of a like name, upper case", L".TSV" + TemporaryNameOf(ended, 8).substr(4), 3600, false, true},
        {"a user's file with more after the name", TemporaryNameOf(ended, 9) + L".jpg", 3600, false, true},
        {"a user's page", L"page.jpg", 3600, false, true},
    };
    for (const auto& c : cases) {
        const std::wstring path = PathJoin(folder, c.name);
        if (c.folder) {
            ASSERT_TRUE(files::CreateDirectory(path));
            ASSERT_TRUE(files::WriteAllAtomic(PathJoin(path, L"0.tif"), "page", 4));
        } else {
            ASSERT_TRUE(files::WriteAllAtomic(path, c.label, std::strlen(c.label)));
        }
        ASSERT_TRUE(Age(path, c.age)) << c.label;
    }
    // A link of the form is not ours to remove, nor is what it leads to.
    ASSERT_TRUE(files::WriteAllAtomic(dir.wfile(L"target.jpg"), "target", 6));
    const std::wstring link = PathJoin(folder, TemporaryNameOf(ended, 10));
    ASSERT_EQ(::symlink(dir.file("target.jpg").c_str(), ToUtf8(link).c_str()), 0);
    // A folder of an ended process that someone holds locked stays.
    const std::wstring held = PathJoin(folder, TemporaryNameOf(ended, 11));
    ASSERT_TRUE(files::CreateDirectory(held));
    ASSERT_TRUE(Age(held, 3600));
    files::FolderLock lock;
    ASSERT_TRUE(lock.TryLock(held));

    EXPECT_EQ(files::RemoveStaleTemporaries(folder), 4);
    for (const auto& c : cases) {
        const std::wstring path = PathJoin(folder, c.name);
        EXPECT_EQ(files::Exists(path), c.stays) << c.label;
        if (c.stays && !c.folder) {
            EXPECT_EQ(testdata::ReadFileText(path), c.label);
        }
    }
    EXPECT_TRUE(files::Exists(link));
    EXPECT_EQ(testdata::ReadFileText(dir.wfile(L"target.jpg")), "target");
    EXPECT_TRUE(files::IsDirectory(held));

    // The child's file goes once the child has ended.
    child.End();
    lock.Release();
    EXPECT_EQ(files::RemoveStaleTemporaries(folder), 2);
    EXPECT_FALSE(files::Exists(PathJoin(folder, TemporaryNameOf(childId, 5))));
    EXPECT_FALSE(files::Exists(held));
}

TEST(Files, ASweepClearsEachFolderOnce) {
    testdata::TempDir dir;
    const std::wstring a = dir.wfile(L"a"), b = dir.wfile(L"b");
    ASSERT_TRUE(files::CreateDirectory(a));
    ASSERT_TRUE(files::CreateDirectory(b));
    const int ended = EndedProcessId();
    const auto leave = [&](const std::wstring& folder, unsigned counter) {
        const std::wstring path = PathJoin(folder, TemporaryNameOf(ended, counter));
        EXPECT_TRUE(files::WriteAllAtomic(path, "x", 1));
        return path;
    };
    files::TemporarySweep sweep;
    const std::wstring first = leave(a, 1);
    sweep.Sweep(a);
    EXPECT_FALSE(files::Exists(first));
    // Left after the first sweep of a: the same sweep does not look again.
    const std::wstring later = leave(a, 2);
    const std::wstring inB = leave(b, 3);
    sweep.Sweep(a);
    sweep.Sweep(b);
    EXPECT_TRUE(files::Exists(later));
    EXPECT_FALSE(files::Exists(inB));
    // The next run's sweep does.
    files::TemporarySweep next;
    next.Sweep(a);
    EXPECT_FALSE(files::Exists(later));
}

// Every writer takes its temporary names from TemporarySibling (copies, whole
// files, workbooks, scans, seals...): the first name this process takes in a
// folder clears what ended writers left there, and keeps what live ones and
// users have.
TEST(Files, TheFirstTemporaryNameInAFolderClearsWhatEndedWritersLeft) {
    using testdata::TemporaryNameOf;
    testdata::TempDir dir;
    const std::wstring folder = dir.wfile(L"out");
    ASSERT_TRUE(files::CreateDirectory(folder));
    testdata::SleepingChild live;
    const std::wstring ended = PathJoin(folder, TemporaryNameOf(testdata::EndedProcessId(), 1));
    const std::wstring running = PathJoin(folder, TemporaryNameOf(live.pid(), 2));
    const std::wstring users = PathJoin(folder, L".tsvnotes.tmp");
    // Written without the program's own writers, which would sweep first.
    for (const std::wstring& path : {ended, running, users}) {
        FILE* f = std::fopen(ToUtf8(path).c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("half a page", f);
        std::fclose(f);
    }
    ASSERT_TRUE(files::WriteAllAtomic(PathJoin(folder, L"copy.jpg"), "page", 4));
    EXPECT_FALSE(files::Exists(ended));
    EXPECT_TRUE(files::Exists(running));
    EXPECT_TRUE(files::Exists(users));
    EXPECT_TRUE(files::Exists(PathJoin(folder, L"copy.jpg")));
}
