// Where saving writes: names as long as the file system takes, output
// folders of any depth, page folders left by a run that ended while saving,
// a multi-page output that cannot be written, and files a run's guard
// protects.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <tiffio.h>
#include <vector>

#include "platform/core/Files.h"
#include "platform/core/Paths.h"
#include "platform/core/Strings.h"
#include "processing/processor/ImageProcessor.h"
#include "processing/processor/ProcessOneFile.h"
#include "settings/PathHelpers.h"
#include "settings/ProcessSetting.h"
#include "support/ImageFiles.h"
#include "support/RunOutput.h"
#include "support/TempDir.h"
#include "ProcessorTestUtil.h"

using testdata::TempDir;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> out;
    if (!fs::exists(folder)) return out;
    for (const auto& e : fs::recursive_directory_iterator(folder)) out.push_back(fs::relative(e.path(), folder).string());
    std::sort(out.begin(), out.end());
    return out;
}

std::wstring Repeat(const std::wstring& unit, int n) {
    std::wstring out;
    for (int i = 0; i < n; ++i) out += unit;
    return out;
}

bool WriteTwoPageTiff(const std::string& path, unsigned seed) {
    const testimg::Picture a = testimg::Pattern(10, 8, 1, seed), b = testimg::Pattern(7, 9, 1, seed + 1);
    return testimg::WriteTiff(path, {{a, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE},
                                     {b, 8, PHOTOMETRIC_MINISBLACK, COMPRESSION_LZW}});
}

// A run's guard that protects some files and records the folders made.
class TestGuard final : public IOutputGuard {
public:
    std::set<std::wstring> protectedPaths;
    mutable std::vector<std::wstring> made;
    bool MakeOutputFolder(const std::wstring& folder) const override {
        made.push_back(folder);
        return CreateFolderPath(folder) != 0;
    }
    bool MayReplace(const std::wstring& path) const override { return protectedPaths.count(path) == 0; }
};

class SavePaths : public proctest::SettingsReset {
protected:
    TempDir tmp;
    std::wstring out() const { return tmp.wfile(L"out"); }
    OneFileOutcome Run(CImageProcessor& p, const std::wstring& source, const std::wstring& folder,
                       const std::wstring& name) {
        return ProcessOneFile(p, source, folder, name, RUN_DESKEW_METHOD_0, 0);
    }
};

}  // namespace

TEST_F(SavePaths, EveryNameThatCanBeReadCanBeWritten) {
    struct Case {
        std::wstring name;
        bool multiPage;
    };
    const Case cases[] = {
        {Repeat(L"a", 251) + L".jpg", false},   // 255 bytes
        {Repeat(L"页", 82) + L".jpg", false},   // 250 bytes
        {Repeat(L"页", 83) + L".png", false},   // 253 bytes
        {Repeat(L"页", 83) + L".tif", true},    // 253 bytes, pages kept in a page folder
        {Repeat(L"b", 250) + L".tiff", true},   // 255 bytes
    };
    for (const auto& c : cases) {
        ASSERT_LE(ToUtf8(c.name).size(), files::kNameMaxBytes);
        const std::wstring source = PathJoin(tmp.wpath(), c.name);
        const std::string path = ToUtf8(source);
        const std::wstring ext = PathExtension(c.name);
        bool written;
        if (c.multiPage)
            written = WriteTwoPageTiff(path, 3);
        else if (ext == L"png")
            written = testimg::WritePng(path, testimg::Pattern(12, 9, 3, 4), 2, 8, {}, 150);
        else
            written = testimg::WriteJpeg(path, testimg::Pattern(12, 9, 3, 5), 90, 150);
        ASSERT_TRUE(written) << path;
        CImageProcessor p;
        const OneFileOutcome o = Run(p, source, out(), c.name);
        EXPECT_TRUE(o.processed) << path;
        EXPECT_TRUE(o.saved) << path;
        const std::string result = ToUtf8(PathJoin(out(), c.name));
        if (c.multiPage)
            EXPECT_EQ(testimg::ReadTiff(result).size(), 2u) << result;
        else
            EXPECT_TRUE(fs::is_regular_file(result)) << result;
    }
    // Nothing but the results: no temporary file or page folder is left.
    EXPECT_EQ(FilesIn(ToUtf8(out())).size(), std::size(cases));
}

TEST_F(SavePaths, DerivedNamesFitTheLimitAndStayApart) {
    const std::wstring longA = Repeat(L"页", 82) + L"甲.tif";
    const std::wstring longB = Repeat(L"页", 82) + L"乙.tif";
    for (const auto& name : {longA, longB}) {
        const std::wstring stem = CImageProcessor::TempPageFolderStem(name);
        const std::wstring comparison = CImageProcessor::ComparisonName(name);
        // Room stays for a variant number after the stem.
        EXPECT_LE(ToUtf8(stem).size() + 4, files::kNameMaxBytes);
        EXPECT_LE(ToUtf8(comparison).size(), files::kNameMaxBytes);
        EXPECT_NE(stem.find(L"_tmpformultiframe"), std::wstring::npos);
        EXPECT_EQ(comparison.substr(comparison.size() - 7), L"_对比.tif");
    }
    EXPECT_NE(CImageProcessor::TempPageFolderStem(longA), CImageProcessor::TempPageFolderStem(longB));
    EXPECT_NE(CImageProcessor::ComparisonName(longA), CImageProcessor::ComparisonName(longB));
    // Short names keep their plain forms.
    EXPECT_EQ(CImageProcessor::TempPageFolderStem(L"a.tif"), L"a_tmpformultiframe");
    EXPECT_EQ(CImageProcessor::ComparisonName(L"page.jpg"), L"page_对比.jpg");
    // A temporary name is short, hidden and beside its file.
    const std::wstring target = PathJoin(tmp.wpath(), Repeat(L"页", 84));
    const std::wstring temporary = files::TemporarySibling(target);
    EXPECT_EQ(PathFolder(temporary), tmp.wpath());
    EXPECT_EQ(PathFileName(temporary)[0], L'.');
    EXPECT_LT(PathFileName(temporary).size(), 32u);
}

TEST_F(SavePaths, ASinglePageSaveMakesEveryMissingLevelOfItsFolder) {
    const std::wstring source = tmp.wfile(L"p.jpg");
    ASSERT_TRUE(testimg::WriteJpeg(ToUtf8(source), testimg::Pattern(12, 9, 3, 6), 90, 150));
    const std::wstring folder = PathJoin(out(), L"a/b/c");
    CImageProcessor p;
    const OneFileOutcome o = Run(p, source, folder, L"p.jpg");
    EXPECT_TRUE(o.saved);
    EXPECT_TRUE(fs::is_regular_file(ToUtf8(PathJoin(folder, L"p.jpg"))));
}

TEST_F(SavePaths, PageFoldersLeftByAnEndedRunAreClearedAndHeldOnesKept) {
    const std::string source = tmp.file("two.tif");
    ASSERT_TRUE(WriteTwoPageTiff(source, 7));
    // A run that ended while saving left two page folders with stale pages;
    // another processor is using a third one right now.
    for (const char* stale : {"out/two_tmpformultiframe", "out/two_tmpformultiframe_3"}) {
        fs::create_directories(tmp.file(stale));
        ASSERT_TRUE(files::WriteAllAtomic(FromUtf8(tmp.file(stale) + "/0.tif"), "stale", 5));
    }
    fs::create_directories(tmp.file("out/two_tmpformultiframe_1"));
    ASSERT_TRUE(files::WriteAllAtomic(tmp.wfile(L"out/two_tmpformultiframe_1/0.tif"), "busy", 4));
    files::FolderLock busy;
    ASSERT_TRUE(busy.TryLock(tmp.wfile(L"out/two_tmpformultiframe_1")));
    // An ordinary folder of a similar name is not a page folder.
    fs::create_directories(tmp.file("out/two_tmpformultiframe_old"));

    CImageProcessor p;
    const OneFileOutcome o = Run(p, FromUtf8(source), out(), L"two.tif");
    EXPECT_TRUE(o.saved);
    EXPECT_EQ(testimg::ReadTiff(tmp.file("out/two.tif")).size(), 2u);
    EXPECT_EQ(FilesIn(tmp.file("out")),
              (std::vector<std::string>{"two.tif", "two_tmpformultiframe_1", "two_tmpformultiframe_1/0.tif",
                                        "two_tmpformultiframe_old"}));
    EXPECT_EQ(testdata::ReadFileText(tmp.wfile(L"out/two_tmpformultiframe_1/0.tif")), "busy");
}

TEST_F(SavePaths, AMultiPageOutputThatCannotBeWrittenKeepsItsPages) {
    const std::string source = tmp.file("two.tif");
    ASSERT_TRUE(WriteTwoPageTiff(source, 9));
    // Something that is no file stands where the output goes.
    fs::create_directories(tmp.file("out/two.tif/inside"));
    {
        CImageProcessor p;
        const OneFileOutcome o = Run(p, FromUtf8(source), out(), L"two.tif");
        EXPECT_TRUE(o.processed);
        EXPECT_FALSE(o.saved);
    }
    // The finished pages stay on disk after the processor is gone.
    EXPECT_EQ(FilesIn(tmp.file("out")), (std::vector<std::string>{"two.tif", "two.tif/inside", "two_tmpformultiframe",
                                                                  "two_tmpformultiframe/0.tif",
                                                                  "two_tmpformultiframe/1.tif"}));
    // Once the way is free, the next run of the file clears them and saves.
    fs::remove_all(tmp.file("out/two.tif"));
    CImageProcessor again;
    EXPECT_TRUE(Run(again, FromUtf8(source), out(), L"two.tif").saved);
    EXPECT_EQ(FilesIn(tmp.file("out")), (std::vector<std::string>{"two.tif"}));
    EXPECT_EQ(testimg::ReadTiff(tmp.file("out/two.tif")).size(), 2u);
}

TEST_F(SavePaths, AGuardedFileIsNeverReplacedOrRemoved) {
    struct Case {
        const char* name;
        bool multiPage;
        RunType runType;
    };
    const Case cases[] = {{"p.jpg", false, RUN_DESKEW_METHOD_0},
                          {"two.tif", true, RUN_DESKEW_METHOD_0},
                          {"q.jpg", false, RUN_DETECTION}};
    for (const auto& c : cases) {
        const std::string source = tmp.file(c.name);
        ASSERT_TRUE(c.multiPage ? WriteTwoPageTiff(source, 11)
                                : testimg::WriteJpeg(source, testimg::Pattern(12, 9, 3, 12), 90, 150));
        const std::wstring target = PathJoin(out(), FromUtf8(c.name));
        ASSERT_EQ(CreateFolderPath(out()), 1);
        ASSERT_TRUE(files::WriteAllAtomic(target, "protected", 9));
        auto guard = std::make_shared<TestGuard>();
        guard->protectedPaths.insert(target);
        CImageProcessor p;
        p.outputGuard = guard;
        p.needsProcessing = 1;  // a detection run copies the file
        const OneFileOutcome o = ProcessOneFile(p, FromUtf8(source), out(), FromUtf8(c.name), c.runType, 0);
        EXPECT_TRUE(o.processed) << c.name;
        if (c.runType == RUN_DETECTION) {
            p.needsProcessing = 1;
            EXPECT_FALSE(p.SaveResult()) << c.name;
        } else {
            EXPECT_FALSE(o.saved) << c.name;
        }
        EXPECT_EQ(testdata::ReadFileText(target), "protected") << c.name;
        EXPECT_FALSE(guard->made.empty()) << "folders are made through the guard: " << c.name;
        files::Remove(target);
    }
}
