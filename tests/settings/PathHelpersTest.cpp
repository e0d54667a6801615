#include <gtest/gtest.h>

#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/core/Files.h"
#include "platform/core/Strings.h"
#include "settings/PathHelpers.h"
#include "support/TempDir.h"

using testdata::TempDir;

TEST(GetExeFolder, IsTheFolderOfTheRunningTestWhenWritable) {
    EXPECT_EQ(GetExeFolder(nullptr), 0);
    std::wstring folder = L"unchanged";
    ASSERT_EQ(GetExeFolder(&folder), 1);
    char exe[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    std::string expected(exe);
    expected.resize(expected.find_last_of('/'));
    // The build folder is writable, so the executable's folder is used.
    ASSERT_EQ(::access(expected.c_str(), W_OK), 0);
    EXPECT_EQ(folder, FromUtf8(expected));
    EXPECT_NE(folder.back(), L'/');
}

TEST(GetExeFolder, FallsBackToTheUserDataFolderWhenNotWritable) {
    using path_helpers_detail::ChooseAppFolder;
    EXPECT_EQ(ChooseAppFolder(L"/opt/t", true, "/x/data", "/home/u"), L"/opt/t");
    EXPECT_EQ(ChooseAppFolder(L"/opt/t", false, "/x/data", "/home/u"), L"/x/data/tessavan");
    EXPECT_EQ(ChooseAppFolder(L"/opt/t", false, nullptr, "/home/u"), L"/home/u/.local/share/tessavan");
    // A relative XDG_DATA_HOME is ignored, as the base-directory rules say.
    EXPECT_EQ(ChooseAppFolder(L"/opt/t", false, "rel", "/home/u"), L"/home/u/.local/share/tessavan");
    EXPECT_EQ(ChooseAppFolder(L"/opt/t", false, nullptr, nullptr), L"");
}

TEST(CreateFolderPath, CreatesEveryMissingLevel) {
    TempDir tmp;
    const std::wstring deep = tmp.wfile(L"out/a/b");
    EXPECT_EQ(CreateFolderPath(deep), 1);
    EXPECT_TRUE(files::IsDirectory(tmp.wfile(L"out")));
    EXPECT_TRUE(files::IsDirectory(tmp.wfile(L"out/a")));
    EXPECT_TRUE(files::IsDirectory(deep));
    // Existing levels, a trailing separator and doubled separators are fine.
    EXPECT_EQ(CreateFolderPath(deep), 1);
    EXPECT_EQ(CreateFolderPath(tmp.wfile(L"out/a/c/")), 1);
    EXPECT_TRUE(files::IsDirectory(tmp.wfile(L"out/a/c")));
    EXPECT_EQ(CreateFolderPath(tmp.wfile(L"out//d")), 1);
    EXPECT_TRUE(files::IsDirectory(tmp.wfile(L"out/d")));
    // Chinese names.
    EXPECT_EQ(CreateFolderPath(tmp.wfile(L"扫描/处理")), 1);
    EXPECT_TRUE(files::IsDirectory(tmp.wfile(L"扫描/处理")));
}

TEST(CreateFolderPath, RefusesEmptyAndRootAndFailsOnAFileInTheWay) {
    EXPECT_EQ(CreateFolderPath(L""), 0);
    EXPECT_EQ(CreateFolderPath(L"/"), 0);
    // An existing folder one level below the root is accepted.
    EXPECT_EQ(CreateFolderPath(L"/tmp"), 1);

    TempDir tmp;
    ASSERT_TRUE(files::WriteAllAtomic(tmp.wfile(L"file"), "x", 1));
    EXPECT_EQ(CreateFolderPath(tmp.wfile(L"file/sub")), 0);
    EXPECT_FALSE(files::Exists(tmp.wfile(L"file/sub")));
    // Levels made before the failing one stay.
    ASSERT_EQ(CreateFolderPath(tmp.wfile(L"m")), 1);
    ASSERT_TRUE(files::WriteAllAtomic(tmp.wfile(L"m/f"), "x", 1));
    EXPECT_EQ(CreateFolderPath(tmp.wfile(L"m/n/f/g")), 1);
    EXPECT_EQ(CreateFolderPath(tmp.wfile(L"m/f/g")), 0);  // m/f is a file
}

TEST(CreateFolderPath, FailsWhereItMayNotCreate) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    TempDir tmp;
    ASSERT_EQ(CreateFolderPath(tmp.wfile(L"locked")), 1);
    ASSERT_EQ(::chmod(tmp.file("locked").c_str(), 0500), 0);
    EXPECT_EQ(CreateFolderPath(tmp.wfile(L"free/a")), 1);
    EXPECT_EQ(CreateFolderPath(tmp.wfile(L"locked/a/b")), 0);
    EXPECT_FALSE(files::Exists(tmp.wfile(L"locked/a")));
    ::chmod(tmp.file("locked").c_str(), 0700);
}

TEST(GetPathBelowRoot, CutsTheRootAndItsSeparator) {
    struct Case { const wchar_t* root; const wchar_t* path; int result; std::wstring out; };
    const Case cases[] = {
        {L"/d/a", L"/d/a/b/c.jpg", 1, L"b/c.jpg"},
        {L"/d/a", L"/d/a", 1, L""},                // the root itself
        {L"/d/a", L"/d/ab/c.jpg", 1, L"/c.jpg"},   // root text found at the start
        {L"/d/a/", L"/d/a/b/c.jpg", 1, L"b/c.jpg"},  // root with its separator
        {L"/", L"/b/c.jpg", 1, L"b/c.jpg"},
        {L"/x/y", L"/d/a/b.jpg", 0, L"keep"},      // root not in path
        {L"", L"/d/a/b.jpg", 0, L"keep"},
        {nullptr, L"/d/a/b.jpg", 0, L"keep"},
        {L"/d/a", nullptr, 0, L"keep"},
        {L"/D/A", L"/d/a/b.jpg", 0, L"keep"},      // case counts
    };
    for (const auto& c : cases) {
        std::wstring out = L"keep";
        EXPECT_EQ(GetPathBelowRoot(c.root, c.path, out), c.result) << (c.path ? c.path : L"null");
        EXPECT_EQ(out, c.out) << (c.path ? c.path : L"null");
    }
}

TEST(GetLastPathComponent, TakesTheTextAfterTheLastSeparator) {
    struct Case { const wchar_t* path; int result; std::wstring out; };
    const Case cases[] = {
        {L"/c/a/b", 1, L"b"},
        {L"b.jpg", 1, L"b.jpg"},   // no separator: the whole path
        {L"/c/a/", 1, L""},        // trailing separator: empty
        {L"", 1, L""},
        {L"/c/扫描", 1, L"扫描"},
        {L"/c/a\\b", 1, L"a\\b"},  // a backslash is part of a name here
        {nullptr, 0, L"before"},  // null: output untouched
    };
    for (const auto& c : cases) {
        std::wstring out = L"before";
        EXPECT_EQ(GetLastPathComponent(c.path, out), c.result);
        EXPECT_EQ(out, c.out);
    }
}

TEST(GetResultSubfolder, FormsTheNewFolderLayout) {
    struct Case { std::wstring folder, root, rootName, expected; };
    const Case cases[] = {
        {L"/scan/box1/a/b", L"/scan/box1", L"box1", L"box1/a/b"},
        {L"/scan/box1", L"/scan/box1", L"box1", L"box1"},
        {L"/scan/box1/a", L"/scan/box1/", L"box1", L"box1/a"},  // root with separator
        {L"/a/b", L"/", L"", L"/a/b"},                           // the file system root
        {L"/other/a", L"/scan/box1", L"box1", L""},              // outside the root
        {L"", L"/scan", L"scan", L""},
        {L"/scan/a", L"", L"scan", L""},
        {L"/Scan/a", L"/scan", L"scan", L""},                    // case counts
    };
    for (const auto& c : cases)
        EXPECT_EQ(GetResultSubfolder(c.folder, c.root, c.rootName), c.expected) << c.folder;
}
