#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/core/OutputRule.h"
#include "app/core/RunLayout.h"
#include "platform/core/Files.h"
#include "platform/core/Paths.h"
#include "settings/PathHelpers.h"
#include "support/TempDir.h"

using testdata::TempDir;

namespace {

void MakeFiles(const std::wstring& base, const std::vector<std::wstring>& rel) {
    for (const auto& r : rel) {
        const std::wstring full = PathJoin(base, r);
        ASSERT_EQ(CreateFolderPath(PathFolder(full)), 1);
        ASSERT_TRUE(files::WriteAllAtomic(full, "x", 1));
    }
}

// Paths of the collected files relative to `base`.
std::vector<std::wstring> Relative(const std::vector<QueuedFile>& files, const std::wstring& base) {
    std::vector<std::wstring> out;
    for (const auto& f : files) {
        std::wstring below;
        GetPathBelowRoot(base.c_str(), f.fullPath.c_str(), below);
        out.push_back(below);
    }
    return out;
}

}  // namespace

TEST(RunLayout, OutputFolderOfBothLayouts) {
    struct Case {
        std::wstring parentPath, parentName;
        bool newFolder;
        std::wstring expected;
    };
    const Case cases[] = {
        {L"/scan/box1", L"box1", false, L"/scan/box1/box1"},
        {L"/scan/box1/a/b", L"b", false, L"/scan/box1/a/b/b"},
        {L"/scan/box1", L"box1", true, L"/out/box1"},
        {L"/scan/box1/a/b", L"b", true, L"/out/box1/a/b"},
        {L"/elsewhere/c", L"c", true, L"/out"},  // outside the source: no sub-folder
    };
    for (const auto& c : cases) {
        const RunLayout layout{c.newFolder, L"/out", L"/scan/box1", L"box1"};
        EXPECT_EQ(OutputFolderOf(c.parentPath, c.parentName, layout), c.expected) << c.parentPath;
    }
}

// A source tree named "src" with every kind of entry the skip rules know:
//   a.jpg B.PNG notes.txt src/f.jpg sub/c.tif sub/deep/d.Tif sub/sub/g.jpg
//   sub/x_tmpformultiframe/e.jpg
// src/src is the result folder of an earlier run (it carries the marker);
// sub/sub is an ordinary folder of the user's that happens to be named like
// its parent.
class CollectTest : public ::testing::Test {
protected:
    CollectTest() {
        MakeFiles(src, {L"a.jpg", L"B.PNG", L"notes.txt", L"src/f.jpg", L"sub/c.tif", L"sub/deep/d.Tif",
                        L"sub/sub/g.jpg", L"sub/x_tmpformultiframe/e.jpg"});
        EXPECT_TRUE(MarkResultsFolder(PathJoin(src, L"src"), src));
    }
    std::vector<std::wstring> Collect(bool includeSub, bool newFolder, bool reprocess) {
        CFileTree tree;
        EXPECT_TRUE(BuildRunTree(tree, src));
        const RunLayout layout{newFolder, dst, src, L"src"};
        return Relative(CollectRunFiles(tree, includeSub, reprocess, layout), src);
    }
    TempDir tmp;
    std::wstring src = tmp.wfile(L"src");
    std::wstring dst = tmp.wfile(L"dst");
};

TEST_F(CollectTest, SkipRulesByLayoutAndSubfolderChoice) {
    struct Case {
        bool includeSub, newFolder;
        std::vector<std::wstring> expected;
    };
    const Case cases[] = {
        // Source-folder layout: src/f.jpg lies in an earlier run's result
        // folder; sub/sub/g.jpg is the user's own, although its folder is
        // named like its parent.
        {true, false, {L"a.jpg", L"B.PNG", L"sub/c.tif", L"sub/deep/d.Tif", L"sub/sub/g.jpg"}},
        {true, true, {L"a.jpg", L"B.PNG", L"src/f.jpg", L"sub/c.tif", L"sub/deep/d.Tif", L"sub/sub/g.jpg"}},
        {false, false, {L"a.jpg", L"B.PNG"}},
        {false, true, {L"a.jpg", L"B.PNG"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Collect(c.includeSub, c.newFolder, true), c.expected) << c.includeSub << c.newFolder;
}

TEST_F(CollectTest, ExistingOutputsAreSkippedUnlessReprocessingAll) {
    // Outputs of an earlier run: a.jpg in the source layout, c.tif in the new
    // folder layout.
    MakeFiles(src, {L"src/a.jpg"});
    MakeFiles(dst, {L"src/sub/c.tif"});
    EXPECT_EQ(Collect(true, false, false),
              (std::vector<std::wstring>{L"B.PNG", L"sub/c.tif", L"sub/deep/d.Tif", L"sub/sub/g.jpg"}));
    EXPECT_EQ(Collect(true, true, false),
              (std::vector<std::wstring>{L"a.jpg", L"B.PNG", L"src/a.jpg", L"src/f.jpg", L"sub/deep/d.Tif",
                                         L"sub/sub/g.jpg"}));
    EXPECT_EQ(Collect(true, false, true),
              (std::vector<std::wstring>{L"a.jpg", L"B.PNG", L"sub/c.tif", L"sub/deep/d.Tif", L"sub/sub/g.jpg"}));
}

TEST_F(CollectTest, QueuedFilesCarryTheirFolderAndTheRootTakesTheSourceName) {
    CFileTree tree;
    ASSERT_TRUE(BuildRunTree(tree, src));
    const RunLayout layout{false, L"", src, L"src"};
    const auto files = CollectRunFiles(tree, true, true, layout);
    ASSERT_EQ(files.size(), 5u);
    EXPECT_EQ(files[0].fullPath, PathJoin(src, L"a.jpg"));
    EXPECT_EQ(files[0].name, L"a.jpg");
    EXPECT_EQ(files[0].parentPath, src);
    EXPECT_EQ(files[0].parentName, L"src");
    EXPECT_EQ(files[3].parentPath, PathJoin(src, L"sub/deep"));
    EXPECT_EQ(files[3].parentName, L"deep");
    EXPECT_EQ(tree.FlatRoot()->name, L"src");
}

TEST(RunLayoutMissing, AMissingSourceGivesNoFiles) {
    TempDir tmp;
    CFileTree tree;
    ASSERT_TRUE(BuildRunTree(tree, tmp.wfile(L"gone")));
    const RunLayout layout{false, L"", tmp.wfile(L"gone"), L"gone"};
    EXPECT_TRUE(CollectRunFiles(tree, true, true, layout).empty());
}
