#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/core/Files.h"
#include "platform/core/Strings.h"
#include "support/RunOutput.h"
#include "support/TempDir.h"
#include "tools/FolderDiff.h"

namespace {

class FolderDiffTest : public ::testing::Test {
protected:
    void File(const std::string& relative, const std::string& content = "x") {
        const std::string path = dir.file(relative);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        ASSERT_TRUE(files::WriteAllAtomic(FromUtf8(path), content.data(), content.size()));
    }
    void Folder(const std::string& relative) { std::filesystem::create_directories(dir.file(relative)); }
    std::wstring W(const std::string& relative) const { return FromUtf8(dir.file(relative)); }
    testdata::TempDir dir;
};

TEST_F(FolderDiffTest, WrongFolderChoicesAreRefusedInOrder) {
    for (const char* f : {"d/box1", "e/box1", "e/box2", "f", "d/ab/box1", "g/box1", "x/boxA", "y/boxa"}) Folder(f);
    std::filesystem::create_directory_symlink(dir.file("d/box1"), dir.file("link"));
    struct Case {
        const char* what;
        std::wstring a, b, c;
        FolderDiffCheck check;
    };
    const Case cases[] = {
        {"no C", W("d/box1"), W("e/box1"), L"", FolderDiffCheck::kEmpty},
        {"no A", L"", W("e/box1"), W("f"), FolderDiffCheck::kEmpty},
        {"A is B", W("d/box1"), W("d/box1"), W("f"), FolderDiffCheck::kSameFolder},
        {"A is B through a link", W("link"), W("d/box1"), W("f"), FolderDiffCheck::kSameFolder},
        {"names differ", W("d/box1"), W("e/box2"), W("f"), FolderDiffCheck::kNamesDiffer},
        {"names differ in case", W("x/boxA"), W("y/boxa"), W("f"), FolderDiffCheck::kNamesDiffer},
        {"B inside A", W("d/box1"), W("d/box1/box1"), W("f"), FolderDiffCheck::kNested},
        {"C is A", W("d/box1"), W("e/box1"), W("d/box1"), FolderDiffCheck::kTargetIsSource},
        {"C is B", W("d/box1"), W("e/box1"), W("e/box1"), FolderDiffCheck::kTargetIsSource},
        {"C inside A", W("d/box1"), W("e/box1"), W("d/box1/out"), FolderDiffCheck::kTargetInside},
        {"C inside B", W("d/box1"), W("e/box1"), W("e/box1/x/y"), FolderDiffCheck::kTargetInside},
        {"A directly in C", W("d/box1"), W("e/box1"), W("d"), FolderDiffCheck::kTargetIsParent},
        {"B directly in C", W("d/box1"), W("e/box1"), W("e"), FolderDiffCheck::kTargetIsParent},
        {"C holds a folder named like A", W("d/box1"), W("e/box1"), W("g"), FolderDiffCheck::kTargetExists},
        // On whole components: d/ab/box1 is not inside d/a...; both folders are box1.
        {"ab is not a", W("d/box1"), W("d/ab/box1"), W("f"), FolderDiffCheck::kOk},
        {"fine", W("d/box1"), W("e/box1"), W("f"), FolderDiffCheck::kOk},
    };
    Folder("g/box1");
    for (const auto& c : cases) EXPECT_EQ(CheckFolderDiff(c.a, c.b, c.c), c.check) << c.what;
    const std::pair<FolderDiffCheck, const wchar_t*> messages[] = {
        {FolderDiffCheck::kEmpty, L"目录不能为空."},
        {FolderDiffCheck::kSameFolder, L"A 和 B不能为同一目录."},
        {FolderDiffCheck::kNamesDiffer, L"B必须与A同名."},
        {FolderDiffCheck::kNested, L"A与B不能有互相包含."},
        {FolderDiffCheck::kTargetIsSource, L"C 与B、A 必须为不同的文件夹."},
        {FolderDiffCheck::kTargetInside, L"C 不能位于 B、A 当中."},
        {FolderDiffCheck::kTargetIsParent, L"C 不能位于 B、A 父目录."},
        {FolderDiffCheck::kTargetExists, L"选择的C 下面已存在同名的文件夹."},
    };
    for (const auto& [check, text] : messages) EXPECT_EQ(FolderDiffCheckMessage(check), text);
}

TEST_F(FolderDiffTest, CopiesExactlyTheImagesOfAThatBLacks) {
    File("A/box1/p1.jpg", "1");
    File("A/box1/p2.JPG", "2");
    File("A/box1/a.jpg", "a");          // B has A.JPG: case counts, so a.jpg is missing
    File("A/box1/notes.txt", "t");      // not an image
    File("A/box1/sub/p3.tif", "3");
    File("A/box1/sub/deep/p4.png", "4");
    File("A/box1/sub/p5.tiff", "5");
    File("B/box1/p1.jpg", "other content");  // present: its content does not matter
    File("B/box1/A.JPG", "A");
    File("B/box1/sub/p3.tif", "3");
    File("B/box1/p5.tiff", "5");        // at another depth: no counterpart
    Folder("C");
    ASSERT_EQ(CheckFolderDiff(W("A/box1"), W("B/box1"), W("C")), FolderDiffCheck::kOk);
    const FolderDiffResult r = RunFolderDiff(W("A/box1"), W("B/box1"), W("C"));
    ASSERT_TRUE(r.listed);
    EXPECT_FALSE(r.aEmpty);
    EXPECT_EQ(r.missing.size(), 4u);
    EXPECT_EQ(r.copied, 4);
    EXPECT_TRUE(r.failed.empty());
    std::vector<std::string> copied;
    for (auto& e : std::filesystem::recursive_directory_iterator(dir.file("C")))
        if (e.is_regular_file()) copied.push_back(e.path().string().substr(dir.file("C/").size()));
    std::sort(copied.begin(), copied.end());
    EXPECT_EQ(copied, (std::vector<std::string>{"box1/a.jpg", "box1/p2.JPG", "box1/sub/deep/p4.png",
                                                "box1/sub/p5.tiff"}));
    EXPECT_EQ(testdata::ReadFileText(W("C/box1/sub/deep/p4.png")), "4");
    EXPECT_EQ(FolderDiffDoneMessage(r), L"执行完成，共发现 4个 文件只存在A中,并复制了它们到目标位置");
}

TEST_F(FolderDiffTest, AnEmptyAOrAMissingBAndFailedCopies) {
    Folder("A/box1");
    File("A/box1/readme.txt");
    Folder("B/box1");
    Folder("C");
    const FolderDiffResult empty = RunFolderDiff(W("A/box1"), W("B/box1"), W("C"));
    EXPECT_TRUE(empty.aEmpty);
    // A B that cannot be listed lacks everything.
    File("A2/box1/p.jpg");
    const FolderDiffResult all = RunFolderDiff(W("A2/box1"), W("nowhere/box1"), W("C"));
    EXPECT_EQ(all.copied, 1);
    // Found and copied are told apart.
    FolderDiffResult partial;
    partial.missing = {L"/a", L"/b", L"/c"};
    partial.copied = 2;
    partial.failed = {L"/c"};
    EXPECT_EQ(FolderDiffDoneMessage(partial),
              L"执行完成，共发现 3个 文件只存在A中,并复制了它们到目标位置(其中1个复制失败)");
}

}  // namespace
