#include <gtest/gtest.h>

#include <filesystem>

#include "platform/core/Files.h"
#include "platform/core/Strings.h"
#include "support/ImageFiles.h"
#include "support/RunOutput.h"
#include "support/TempDir.h"
#include "tools/SealJob.h"

namespace {

TEST(SealNames, PageNumbers) {
    struct Case {
        const wchar_t* name;
        int page;
    };
    const Case cases[] = {
        {L"A-B-03-7-12.jpg", 12}, {L"X-0.tif", 0},     {L"X-1.jpg", 1},    {L"notes.png", -1},
        {L"X-abc.jpg", 0},        {L"X-.jpg", -1},     {L"X-5", -1},       {L"a.b-7", 7},
        {L"X- 42.png", 42},       {L"X--3.jpg", 3},   {L"X-007x.jpg", 7},
    };
    for (const auto& c : cases) EXPECT_EQ(ParsePageNumber(c.name), c.page) << ToUtf8(c.name);
}

TEST(SealNames, ArchiveNumbers) {
    struct Case {
        const wchar_t* name;
        const wchar_t* prefix;
        int volume, serial;
    };
    const Case cases[] = {
        {L"A-B-12-3", L"A-B", 12, 3},
        {L"全宗-项目-05-17", L"全宗-项目", 5, 17},
        {L"2023", L"2023", 2023, 2023},  // no '-': the leading integer twice
        {L"box", L"box", 0, 0},
        {L"X-5", L"X-5", 0, 5},          // one '-': the volume's text runs to the start
        {L"-4", L"-4", 0, 4},
    };
    for (const auto& c : cases) {
        std::wstring prefix;
        std::int32_t volume = -1;
        std::int32_t serial = -1;
        ParseArchiveNumber(c.name, prefix, volume, serial);
        EXPECT_EQ(prefix, c.prefix) << ToUtf8(c.name);
        EXPECT_EQ(volume, c.volume) << ToUtf8(c.name);
        EXPECT_EQ(serial, c.serial) << ToUtf8(c.name);
    }
}

TEST(SealNames, OutputPathsOnWholeComponents) {
    struct Case {
        const wchar_t* folder;
        const wchar_t* root;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"/scan/box1", L"/scan/box1", L"box1"},
        {L"/scan/box1/a/b", L"/scan/box1", L"box1/a/b"},
        {L"/scan/box1/a", L"/scan/box1/", L"box1/a"},
        {L"/scan/box10/a", L"/scan/box1", L""},  // not below the root
        {L"/other/scan/box1", L"/scan/box1", L""},
        {L"", L"/scan/box1", L""},
        {L"/scan/box1", L"", L""},
    };
    for (const auto& c : cases) EXPECT_EQ(MapToOutputPath(c.folder, c.root, L"box1"), c.expected) << ToUtf8(c.folder);
}

TEST(SealJobChecks, AnOutputThatWouldWriteIntoTheSourceIsRefused) {
    testdata::TempDir dir;
    const std::wstring base = dir.wpath();
    const std::wstring source = base + L"/scans/box1";
    std::filesystem::create_directories(ToUtf8(source + L"/sub"));
    std::filesystem::create_directories(ToUtf8(base + L"/out"));
    std::filesystem::create_directory_symlink(ToUtf8(base + L"/scans"), ToUtf8(base + L"/link"));
    struct Case {
        std::wstring source, output;
        SealJobCheck check;
    };
    const Case cases[] = {
        {L"", base + L"/out", SealJobCheck::kNoSource},
        {source, L"", SealJobCheck::kNoOutput},
        {source, base + L"/out", SealJobCheck::kOk},
        {source, base, SealJobCheck::kOk},                         // base/box1 is another folder
        {source, base + L"/scans", SealJobCheck::kOutputInSource},  // the mirror would be the source itself
        {source, base + L"/link", SealJobCheck::kOutputInSource},   // the same, through a link
        {source, source, SealJobCheck::kOutputInSource},
        {source, source + L"/sub", SealJobCheck::kOutputInSource},
        {source + L"/sub", source, SealJobCheck::kOutputInSource},  // the mirror of sub would lie in the source
    };
    for (const auto& c : cases) {
        SealJobSettings s;
        s.source = c.source;
        s.output = c.output;
        EXPECT_EQ(CheckSealJob(s), c.check) << ToUtf8(c.source) << " -> " << ToUtf8(c.output);
    }
    EXPECT_EQ(SealJobCheckMessage(SealJobCheck::kNoSource), L"请选择要处理的图片所在文件夹.");
    EXPECT_EQ(SealJobCheckMessage(SealJobCheck::kNoOutput), L"请选择要保存到的文件夹.");
}

// Records which page it stamped and paints nothing (the pages stay as they are).
class NullDrawer final : public ISealDrawer {
public:
    bool Draw(BYTE*, const SealLayout&, const SealSettings&, const SealTexts& t) override {
        archives.push_back(t.values[0] + L"|" + t.values[1]);
        return true;
    }
    std::vector<std::wstring> archives;
};

class SealJobTest : public ::testing::Test {
protected:
    void Page(const std::string& relative) {
        const std::string path = dir.file(relative);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        const testimg::Picture p = testimg::Pattern(40, 30, 3, static_cast<unsigned>(relative.size()));
        const std::string ext = std::filesystem::path(path).extension().string();
        if (ext == ".png")
            ASSERT_TRUE(testimg::WritePng(path, p, 2, 8));
        else if (ext == ".tif")
            ASSERT_TRUE(testimg::WriteTiff(path, {testimg::TiffPage(p, 8, 2, 5)}));
        else
            ASSERT_TRUE(testimg::WriteJpeg(path, p, 90, 300));
    }
    // Runs a job over dir/src into dir/out; returns the stamped files below src.
    std::vector<std::string> Run(bool includeSubfolders, NullDrawer& drawer, int* total = nullptr) {
        SealJobSettings s;
        s.source = dir.wfile(L"src");
        s.output = dir.wfile(L"out");
        s.includeSubfolders = includeSubfolders;
        CSealJob job(s);
        EXPECT_TRUE(job.Prepare());
        if (total) *total = job.Total();
        int calls = 0;
        std::atomic<bool> stop{false};
        job.RunSealJob(drawer, [&] { ++calls; }, stop);
        EXPECT_EQ(calls, job.Total());
        EXPECT_EQ(job.Done(), job.Total());
        EXPECT_TRUE(job.Failed().empty());
        std::vector<std::string> stamped;
        for (const auto& p : job.Stamped()) stamped.push_back(ToUtf8(p).substr(dir.file("src/").size()));
        return stamped;
    }
    bool SameBytes(const std::string& relativeIn, const std::string& relativeOut) {
        return testdata::ReadFileText(FromUtf8(dir.file(relativeIn))) ==
               testdata::ReadFileText(FromUtf8(dir.file(relativeOut)));
    }
    testdata::TempDir dir;
};

TEST_F(SealJobTest, TheSmallestPageNumberOfEachFolderIsStampedAndTheRestCopied) {
    Page("src/X-1.jpg");
    Page("src/X-0.tif");
    Page("src/notes.png");
    Page("src/A-B-12-3/A-B-12-3-2.jpg");
    Page("src/A-B-12-3/A-B-12-3-1.png");
    Page("src/A-B-12-3/A-B-12-3-01.jpg");  // the same page number later in the listing
    Page("src/plain/one.jpg");             // no page numbers: nothing stamped
    Page("src/plain/two.png");
    Page("src/abc/X-1.jpg");
    Page("src/abc/X-abc.jpg");  // page 0
    NullDrawer drawer;
    int total = 0;
    const auto stamped = Run(true, drawer, &total);
    EXPECT_EQ(total, 10);
    EXPECT_EQ(stamped, (std::vector<std::string>{"X-0.tif", "A-B-12-3/A-B-12-3-01.jpg", "abc/X-abc.jpg"}));
    EXPECT_EQ(drawer.archives, (std::vector<std::wstring>{L"src-000|0", L"A-B-012|3", L"abc-000|0"}));
    for (const char* copied : {"X-1.jpg", "notes.png", "A-B-12-3/A-B-12-3-2.jpg", "A-B-12-3/A-B-12-3-1.png",
                               "plain/one.jpg", "plain/two.png", "abc/X-1.jpg"})
        EXPECT_TRUE(SameBytes(std::string("src/") + copied, std::string("out/src/") + copied)) << copied;
    for (const char* written : {"X-0.tif", "A-B-12-3/A-B-12-3-01.jpg", "abc/X-abc.jpg"})
        EXPECT_TRUE(std::filesystem::exists(dir.file(std::string("out/src/") + written))) << written;
}

TEST_F(SealJobTest, WithoutSubFoldersOnlyTheSourcesOwnPagesGoIntoAFolderNamedLikeIt) {
    Page("src/X-2.jpg");
    Page("src/X-3.jpg");
    Page("src/sub/X-1.jpg");
    // An earlier output of the same name is replaced by the copy.
    std::filesystem::create_directories(dir.file("out/src"));
    const std::string old = "old";
    ASSERT_TRUE(files::WriteAllAtomic(dir.wfile(L"out/src/X-3.jpg"), old.data(), old.size()));
    NullDrawer drawer;
    int total = 0;
    EXPECT_EQ(Run(false, drawer, &total), std::vector<std::string>{"X-2.jpg"});
    EXPECT_EQ(total, 2);
    EXPECT_TRUE(SameBytes("src/X-3.jpg", "out/src/X-3.jpg"));
    EXPECT_FALSE(std::filesystem::exists(dir.file("out/src/sub")));
}

TEST_F(SealJobTest, AStopEndsTheJobBeforeTheNextFile) {
    for (int i = 1; i <= 5; ++i) Page("src/X-" + std::to_string(i) + ".jpg");
    SealJobSettings s;
    s.source = dir.wfile(L"src");
    s.output = dir.wfile(L"out");
    CSealJob job(s);
    ASSERT_TRUE(job.Prepare());
    std::atomic<bool> stop{false};
    NullDrawer drawer;
    job.RunSealJob(drawer, [&] { stop = job.Done() == 2; }, stop);
    EXPECT_EQ(job.Done(), 2);
}

}  // namespace
