#include "tools/FolderDiff.h"

#include <unordered_set>

#include "app/core/FileTree.h"
#include "app/core/RunLayout.h"
#include "platform/core/Files.h"
#include "platform/core/Numbers.h"
#include "platform/core/Paths.h"
#include "settings/PathHelpers.h"
#include "tools/ToolPaths.h"

namespace {

std::wstring LastComponent(const std::wstring& path) {
    std::wstring trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == L'/') trimmed.pop_back();
    std::wstring name;
    GetLastPathComponent(trimmed.c_str(), name);
    return name;
}

// A file of a tree as the counterpart test sees it: its type, its depth and
// its path below the root.
std::wstring CounterpartKey(const FileTreeNode* node, const std::wstring& below) {
    return std::to_wstring(node->type) + L":" + std::to_wstring(node->depth) + L":" + below;
}

bool BuildTree(CFileTree& tree, const std::wstring& root) {
    return tree.Build(RunExtensions(), CFileTree::kFlatWalk | CFileTree::kKeepRootPath, 0, root) != 0;
}

}  // namespace

FolderDiffCheck CheckFolderDiff(const std::wstring& a, const std::wstring& b, const std::wstring& c) {
    if (a.empty() || b.empty() || c.empty()) return FolderDiffCheck::kEmpty;
    const std::wstring ra = ResolvedFolder(a);
    const std::wstring rb = ResolvedFolder(b);
    const std::wstring rc = ResolvedFolder(c);
    if (ra == rb) return FolderDiffCheck::kSameFolder;
    const std::wstring nameA = LastComponent(ra);
    if (nameA != LastComponent(rb)) return FolderDiffCheck::kNamesDiffer;
    if (TreesOverlap(ra, rb)) return FolderDiffCheck::kNested;
    if (rc == ra || rc == rb) return FolderDiffCheck::kTargetIsSource;
    if (IsSameOrInside(rc, ra) || IsSameOrInside(rc, rb)) return FolderDiffCheck::kTargetInside;
    // The copies go to C/<name of A>: with A or B directly in C that is A or B.
    const std::wstring target = PathJoin(rc, nameA);
    if (IsSameOrInside(ra, target) || IsSameOrInside(rb, target)) return FolderDiffCheck::kTargetIsParent;
    if (files::Exists(target)) return FolderDiffCheck::kTargetExists;
    return FolderDiffCheck::kOk;
}

std::wstring FolderDiffCheckMessage(FolderDiffCheck check) {
    switch (check) {
    case FolderDiffCheck::kEmpty: return L"目录不能为空.";
    case FolderDiffCheck::kSameFolder: return L"A 和 B不能为同一目录.";
    case FolderDiffCheck::kNamesDiffer: return L"B必须与A同名.";
    case FolderDiffCheck::kNested: return L"A与B不能有互相包含.";
    case FolderDiffCheck::kTargetIsSource: return L"C 与B、A 必须为不同的文件夹.";
    case FolderDiffCheck::kTargetInside: return L"C 不能位于 B、A 当中.";
    case FolderDiffCheck::kTargetIsParent: return L"C 不能位于 B、A 父目录.";
    case FolderDiffCheck::kTargetExists: return L"选择的C 下面已存在同名的文件夹.";
    case FolderDiffCheck::kOk: break;
    }
    return {};
}

FolderDiffResult RunFolderDiff(const std::wstring& a, const std::wstring& b, const std::wstring& c) {
    FolderDiffResult result;
    CFileTree treeA;
    CFileTree treeB;
    if (!BuildTree(treeA, a) || !BuildTree(treeB, b)) return result;
    result.listed = true;
    if (treeA.FileList().empty()) {
        result.aEmpty = true;
        return result;
    }
    const std::wstring rootA = treeA.FlatRoot()->fullPath;
    const std::wstring rootB = treeB.FlatRoot()->fullPath;
    std::unordered_set<std::wstring> inB;
    for (const FileTreeNode* node : treeB.FileList()) {
        std::wstring below;
        if (GetPathBelowRoot(rootB.c_str(), node->fullPath.c_str(), below)) inB.insert(CounterpartKey(node, below));
    }
    const std::wstring nameA = LastComponent(a);
    const std::wstring target = PathJoin(c, nameA);
    for (const FileTreeNode* node : treeA.FileList()) {
        std::wstring below;
        if (!GetPathBelowRoot(rootA.c_str(), node->fullPath.c_str(), below)) continue;
        if (inB.count(CounterpartKey(node, below))) continue;
        result.missing.push_back(node->fullPath);
        // The folders between A and the file, from the top down.
        std::wstring relative;
        for (const FileTreeNode* p = node->parent; p && p->parent; p = p->parent)
            relative = relative.empty() ? p->name : PathJoin(p->name, relative);
        const std::wstring folder = relative.empty() ? target : PathJoin(target, relative);
        CreateFolderPath(folder);
        if (files::CopyReplacing(node->fullPath, PathJoin(folder, node->name)))
            ++result.copied;
        else
            result.failed.push_back(node->fullPath);
    }
    return result;
}

std::wstring FolderDiffDoneMessage(const FolderDiffResult& r) {
    std::wstring text =
        FormatW(L"执行完成，共发现 %d个 文件只存在A中,并复制了它们到目标位置", static_cast<int>(r.missing.size()));
    if (!r.failed.empty()) text += FormatW(L"(其中%d个复制失败)", static_cast<int>(r.failed.size()));
    if (text.size() > 255) text.resize(255);
    return text;
}
