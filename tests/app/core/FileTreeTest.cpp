#include <gtest/gtest.h>

#include <string>
#include <unistd.h>
#include <vector>

#include "app/core/FileTree.h"
#include "platform/core/Files.h"
#include "platform/core/Strings.h"
#include "settings/PathHelpers.h"
#include "support/TempDir.h"

using testdata::TempDir;

namespace {

const std::vector<std::wstring> kImageExtensions = {L"jpg", L"tif", L"tiff", L"png"};
constexpr int kBatchFlags = CFileTree::kFlatWalk | CFileTree::kKeepRootPath;  // 0x104

// Creates the files (and their folders) named relative to the temp folder.
void MakeFiles(const TempDir& tmp, const std::vector<std::wstring>& names) {
    for (const auto& n : names) {
        const std::wstring full = tmp.wfile(n);
        ASSERT_EQ(CreateFolderPath(full.substr(0, full.find_last_of(L'/'))), 1);
        ASSERT_TRUE(files::WriteAllAtomic(full, "x", 1));
    }
}
void MakeFolders(const TempDir& tmp, const std::vector<std::wstring>& names) {
    for (const auto& n : names) ASSERT_EQ(CreateFolderPath(tmp.wfile(n)), 1);
}

std::vector<std::wstring> Names(const std::vector<FileTreeNode*>& nodes) {
    std::vector<std::wstring> out;
    for (const auto* n : nodes) out.push_back(n->name);
    return out;
}

}  // namespace

TEST(FileTree, FlatWalkIsBreadthFirstWithTheExtensionFilter) {
    TempDir tmp;
    MakeFiles(tmp, {L"a.jpg", L"sub/b.TIF", L"sub/deep/c.png", L"sub2/d.txt"});
    CFileTree tree;
    ASSERT_EQ(tree.Build(kImageExtensions, kBatchFlags, 0, tmp.wpath()), 1);

    EXPECT_EQ(Names(tree.FileList()), (std::vector<std::wstring>{L"a.jpg", L"b.TIF", L"c.png"}));
    EXPECT_EQ(Names(tree.FolderList()), (std::vector<std::wstring>{L"root", L"sub", L"sub2", L"deep"}));
    ASSERT_FALSE(tree.FileList().empty());
    EXPECT_EQ(tree.FileList()[2]->fullPath, tmp.wfile(L"sub/deep/c.png"));
    EXPECT_EQ(tree.FolderList().front(), tree.FlatRoot());

    const FileTreeNode* root = tree.FlatRoot();
    EXPECT_EQ(root->fullPath, tmp.wpath());
    EXPECT_EQ(root->depth, 0);
    EXPECT_EQ(root->kind, FileTreeNode::kRoot);
    EXPECT_EQ(root->parent, nullptr);
    EXPECT_EQ(Names(root->children), (std::vector<std::wstring>{L"a.jpg", L"sub", L"sub2"}));
    EXPECT_EQ(root->hasChildren, 1);
    EXPECT_EQ(root->pageCount, 1);
    EXPECT_EQ(tree.HasFiles(), 1);
    EXPECT_EQ(tree.PageCount(), 1);

    const FileTreeNode* c = tree.FileList()[2];
    EXPECT_EQ(c->depth, 3);
    EXPECT_EQ(c->kind, FileTreeNode::kOrdinary);
    EXPECT_EQ(c->type, FileTreeNode::kPicture);
    EXPECT_EQ(c->parent->name, L"deep");
    EXPECT_EQ(c->parent->parent->name, L"sub");
    EXPECT_EQ(tree.FileList()[1]->type, FileTreeNode::kOther);  // tif files are "other"
    for (const auto* f : tree.FolderList()) EXPECT_EQ(f->listed, 1);
}

TEST(FileTree, ExtensionIsTheTextAfterTheLastDotWithoutRegardToCase) {
    TempDir tmp;
    MakeFiles(tmp, {L"jpg", L"x.tar.jpg", L"y.jpg.txt", L"Z.JPG", L"w.TiFf", L"v.jpeg", L"u.pNg",
                    L"页面.tif", L"t."});
    CFileTree tree;
    ASSERT_EQ(tree.Build(kImageExtensions, kBatchFlags, 0, tmp.wpath()), 1);
    EXPECT_EQ(Names(tree.FileList()),
              (std::vector<std::wstring>{L"jpg", L"u.pNg", L"w.TiFf", L"x.tar.jpg", L"Z.JPG", L"页面.tif"}));
}

TEST(FileTree, FilesAreListedInNameOrderWithoutRegardToCase) {
    TempDir tmp;
    MakeFiles(tmp, {L"b.jpg", L"A.jpg", L"_c.jpg", L"a10.jpg", L"a2.jpg", L"C.jpg"});
    CFileTree tree;
    ASSERT_EQ(tree.Build(kImageExtensions, kBatchFlags, 0, tmp.wpath()), 1);
    // Names compared by their upper-case form, so '_' sorts after letters.
    EXPECT_EQ(Names(tree.FileList()),
              (std::vector<std::wstring>{L"A.jpg", L"a10.jpg", L"a2.jpg", L"b.jpg", L"C.jpg", L"_c.jpg"}));
}

TEST(FileTree, HiddenEntriesAreSkippedUnlessAsked) {
    TempDir tmp;
    MakeFiles(tmp, {L".hidden.jpg", L"seen.jpg", L".cache/in.jpg", L"sub/.h.png"});
    CFileTree tree;
    ASSERT_EQ(tree.Build(kImageExtensions, kBatchFlags, 0, tmp.wpath()), 1);
    EXPECT_EQ(Names(tree.FileList()), (std::vector<std::wstring>{L"seen.jpg"}));
    ASSERT_EQ(tree.Build(kImageExtensions, kBatchFlags | CFileTree::kIncludeHidden, 0, tmp.wpath()), 1);
    EXPECT_EQ(Names(tree.FileList()),
              (std::vector<std::wstring>{L".hidden.jpg", L"seen.jpg", L"in.jpg", L".h.png"}));
}

TEST(FileTree, EmptyOrMissingRootGivesTheRootNodeOnly) {
    TempDir tmp;
    for (const std::wstring& root : {tmp.wpath(), tmp.wfile(L"missing")}) {
        CFileTree tree;
        ASSERT_EQ(tree.Build(kImageExtensions, kBatchFlags, 0, root), 1);
        ASSERT_NE(tree.FlatRoot(), nullptr);
        EXPECT_EQ(tree.FolderList().size(), 1u);
        EXPECT_TRUE(tree.FileList().empty());
        EXPECT_EQ(tree.FlatRoot()->hasChildren, 0);
        EXPECT_EQ(tree.HasFiles(), 0);
        EXPECT_EQ(tree.PageCount(), 0);
    }
}

TEST(FileTree, FlatWalkNeedsExtensions) {
    TempDir tmp;
    MakeFiles(tmp, {L"a.jpg"});
    CFileTree tree;
    ASSERT_EQ(tree.Build(kImageExtensions, kBatchFlags, 0, tmp.wpath()), 1);
    EXPECT_EQ(tree.Build({}, kBatchFlags, 0, tmp.wpath()), 0);
    // The failed build leaves the previous walk in place.
    EXPECT_EQ(tree.FileList().size(), 1u);
}

TEST(FileTree, KindsPageCountsAndTypes) {
    TempDir tmp;
    MakeFiles(tmp, {L"usb disk/a.jpg", L"Storage Card/x/b.jpg", L"plain/c.jpg", L"d.png", L"e.exe",
                    L"f.mp3", L"g.avi", L"h.txt", L"i.bin"});
    CFileTree tree;
    ASSERT_EQ(tree.Build({L"jpg", L"png", L"exe", L"mp3", L"avi", L"txt", L"bin"}, kBatchFlags, 0,
                         tmp.wpath()),
              1);
    auto find = [&](const std::wstring& name) -> const FileTreeNode* {
        for (auto* f : tree.FileList())
            if (f->name == name) return f;
        for (auto* f : tree.FolderList())
            if (f->name == name) return f;
        return nullptr;
    };
    struct Case { const wchar_t* name; int kind; int type; };
    const Case cases[] = {
        {L"usb disk", FileTreeNode::kUsbDisk, FileTreeNode::kFolder},
        {L"a.jpg", FileTreeNode::kUsbDisk, FileTreeNode::kPicture},
        {L"Storage Card", FileTreeNode::kStorageCard, FileTreeNode::kFolder},
        {L"x", FileTreeNode::kStorageCard, FileTreeNode::kFolder},
        {L"b.jpg", FileTreeNode::kStorageCard, FileTreeNode::kPicture},
        {L"c.jpg", FileTreeNode::kOrdinary, FileTreeNode::kPicture},
        {L"d.png", FileTreeNode::kOrdinary, FileTreeNode::kPicture},
        {L"e.exe", FileTreeNode::kOrdinary, FileTreeNode::kExecutable},
        {L"f.mp3", FileTreeNode::kOrdinary, FileTreeNode::kAudio},
        {L"g.avi", FileTreeNode::kOrdinary, FileTreeNode::kVideo},
        {L"h.txt", FileTreeNode::kOrdinary, FileTreeNode::kText},
        {L"i.bin", FileTreeNode::kOrdinary, FileTreeNode::kOther},
    };
    for (const auto& c : cases) {
        const FileTreeNode* n = find(c.name);
        ASSERT_NE(n, nullptr) << ToUtf8(c.name);
        EXPECT_EQ(n->kind, c.kind) << ToUtf8(c.name);
        EXPECT_EQ(n->type, c.type) << ToUtf8(c.name);
    }
    // Root: 6 files + 3 folders = 9 children -> 2 pages of five.
    EXPECT_EQ(tree.FlatRoot()->children.size(), 9u);
    EXPECT_EQ(tree.FlatRoot()->pageCount, 2);
    EXPECT_EQ(find(L"x")->pageCount, 1);
    EXPECT_EQ(tree.PageCount(), 2);  // 9 files kept
}

TEST(FileTree, CountLimitStopsAfterTheFileThatPassesIt) {
    TempDir tmp;
    MakeFiles(tmp, {L"1.jpg", L"2.jpg", L"3.jpg", L"4.jpg", L"s/5.jpg"});
    CFileTree tree;
    ASSERT_EQ(tree.Build(kImageExtensions, kBatchFlags, 2, tmp.wpath()), 1);
    EXPECT_EQ(Names(tree.FileList()), (std::vector<std::wstring>{L"1.jpg", L"2.jpg", L"3.jpg"}));
    ASSERT_EQ(tree.Build(kImageExtensions, kBatchFlags, -1, tmp.wpath()), 1);
    EXPECT_EQ(tree.FileList().size(), 5u);
}

TEST(FileTree, FoldersOnlyBuildsATreeWithoutFiles) {
    TempDir tmp;
    MakeFiles(tmp, {L"a.jpg", L"s/b.jpg", L"s/t/c.jpg", L"u/d.jpg"});
    CFileTree tree;
    // 0x2 clears the flat-walk bit: a depth-first tree walk of folders.
    ASSERT_EQ(tree.Build(kImageExtensions, CFileTree::kFoldersOnly | kBatchFlags, 0, tmp.wpath()), 1);
    EXPECT_EQ(tree.FlatRoot(), nullptr);
    const FileTreeNode* root = tree.TreeRoot();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(Names(root->children), (std::vector<std::wstring>{L"s", L"u"}));
    ASSERT_EQ(root->children[0]->children.size(), 1u);
    EXPECT_EQ(root->children[0]->children[0]->fullPath, tmp.wfile(L"s/t"));
    EXPECT_EQ(root->children[0]->children[0]->listed, 1);
    EXPECT_TRUE(root->children[1]->children.empty());
}

TEST(FileTree, PruneRemovesFoldersLeftWithoutImages) {
    TempDir tmp;
    MakeFiles(tmp, {L"keep/a.jpg", L"only/sub/note.txt", L"b.png"});
    MakeFolders(tmp, {L"empty", L"nest/deeper/deepest"});
    CFileTree tree;
    ASSERT_EQ(tree.Build(kImageExtensions, kBatchFlags, 0, tmp.wpath()), 1);
    EXPECT_EQ(tree.FolderList().size(), 8u);
    EXPECT_EQ(tree.PruneEmptyFolders(nullptr), 0);
    EXPECT_EQ(tree.PruneEmptyFolders(tree.FlatRoot()), 1);
    EXPECT_EQ(Names(tree.FolderList()), (std::vector<std::wstring>{L"root", L"keep"}));
    EXPECT_EQ(Names(tree.FlatRoot()->children), (std::vector<std::wstring>{L"b.png", L"keep"}));
    EXPECT_EQ(tree.FlatRoot()->pageCount, 1);
    EXPECT_EQ(tree.FileList().size(), 2u);
}

TEST(FileTree, PruningAnImagelessTreeRemovesTheRootToo) {
    TempDir tmp;
    MakeFolders(tmp, {L"a/b"});
    CFileTree tree;
    ASSERT_EQ(tree.Build(kImageExtensions, kBatchFlags, 0, tmp.wpath()), 1);
    ASSERT_EQ(tree.PruneEmptyFolders(tree.FlatRoot()), 1);
    EXPECT_EQ(tree.FlatRoot(), nullptr);
    EXPECT_TRUE(tree.FolderList().empty());
}

TEST(FileTree, DeleteNodeFreesTheSubtreeAndDetachesIt) {
    TempDir tmp;
    MakeFiles(tmp, {L"a.jpg", L"s/b.jpg", L"s/t/c.jpg", L"u/d.jpg"});
    CFileTree tree;
    ASSERT_EQ(tree.Build(kImageExtensions, kBatchFlags, 0, tmp.wpath()), 1);
    FileTreeNode* s = tree.FolderList()[1];
    ASSERT_EQ(s->name, L"s");
    tree.DeleteNode(s);
    EXPECT_EQ(Names(tree.FlatRoot()->children), (std::vector<std::wstring>{L"a.jpg", L"u"}));
    EXPECT_EQ(Names(tree.FileList()), (std::vector<std::wstring>{L"a.jpg", L"d.jpg"}));
    EXPECT_EQ(Names(tree.FolderList()), (std::vector<std::wstring>{L"root", L"u"}));
    tree.DeleteNode(nullptr);  // harmless
}

TEST(FileTree, CollectModeSortsChildrenFoldersFirstAndGathersFiles) {
    TempDir tmp;
    MakeFiles(tmp, {L"b.jpg", L"A.jpg", L"z/y.jpg", L"z/x.jpg", L"m/k.png", L"none/n.txt"});
    CFileTree tree;
    ASSERT_EQ(tree.Build(kImageExtensions, CFileTree::kCollect | CFileTree::kKeepRootPath, 0, tmp.wpath()),
              1);
    const FileTreeNode* root = tree.FlatRoot();
    ASSERT_NE(root, nullptr);
    // Names compared with case: "A.jpg" before "b.jpg"; empty "none" pruned.
    EXPECT_EQ(Names(root->children), (std::vector<std::wstring>{L"m", L"z", L"A.jpg", L"b.jpg"}));
    EXPECT_EQ(root->folderCount, 2);
    EXPECT_EQ(root->fileCount, 2);
    EXPECT_EQ(Names(tree.CollectedFiles()),
              (std::vector<std::wstring>{L"A.jpg", L"b.jpg", L"k.png", L"x.jpg", L"y.jpg"}));
}

TEST(FileTree, RebuildReplacesTheFirstWalk) {
    TempDir tmp;
    MakeFiles(tmp, {L"one/a.jpg", L"two/b.jpg"});
    CFileTree tree;
    ASSERT_EQ(tree.Build(kImageExtensions, kBatchFlags, 0, tmp.wfile(L"one")), 1);
    EXPECT_EQ(Names(tree.FileList()), (std::vector<std::wstring>{L"a.jpg"}));
    ASSERT_EQ(tree.Build(kImageExtensions, kBatchFlags, 0, tmp.wfile(L"two")), 1);
    EXPECT_EQ(Names(tree.FileList()), (std::vector<std::wstring>{L"b.jpg"}));
    EXPECT_EQ(tree.FlatRoot()->fullPath, tmp.wfile(L"two"));
    tree.Clear();
    EXPECT_EQ(tree.FlatRoot(), nullptr);
    EXPECT_TRUE(tree.FileList().empty());
    EXPECT_TRUE(tree.RootPath().empty());
    EXPECT_EQ(tree.Flags(), 0);
}

TEST(FileTree, WithoutKeepRootPathTheRootHasNoPathButIsStillListed) {
    TempDir tmp;
    MakeFiles(tmp, {L"s/a.jpg"});
    CFileTree tree;
    ASSERT_EQ(tree.Build(kImageExtensions, CFileTree::kFlatWalk, 0, tmp.wpath()), 1);
    EXPECT_EQ(tree.FlatRoot()->fullPath, L"");
    ASSERT_EQ(tree.FileList().size(), 1u);
    EXPECT_EQ(tree.FileList()[0]->fullPath, L"s/a.jpg");
}

TEST(FileTree, LinkCyclesDoNotMakeTheWalkEndless) {
    TempDir tmp;
    MakeFiles(tmp, {L"a/x.jpg"});
    ASSERT_EQ(::symlink(tmp.path().c_str(), tmp.file("a/loop").c_str()), 0);
    ASSERT_EQ(::symlink(tmp.file("a").c_str(), tmp.file("again").c_str()), 0);
    CFileTree tree;
    ASSERT_EQ(tree.Build(kImageExtensions, kBatchFlags, 0, tmp.wpath()), 1);
    // "again" reaches folder a, which is listed once; the loop back to the
    // root is not listed again.
    EXPECT_EQ(Names(tree.FileList()), (std::vector<std::wstring>{L"x.jpg"}));
    EXPECT_EQ(Names(tree.FolderList()), (std::vector<std::wstring>{L"root", L"a", L"again", L"loop"}));
}
