#include "app/core/RunLayout.h"

#include "platform/core/Files.h"
#include "platform/core/Paths.h"
#include "settings/PathHelpers.h"

const std::vector<std::wstring>& RunExtensions() {
    static const std::vector<std::wstring> extensions{L"jpg", L"tif", L"tiff", L"png"};
    return extensions;
}

std::wstring OutputFolderOf(const std::wstring& parentPath, const std::wstring& parentName, const RunLayout& layout) {
    if (layout.newFolder)
        return PathJoin(layout.destination, GetResultSubfolder(parentPath, layout.rootPath, layout.rootName));
    return PathJoin(parentPath, parentName);
}

bool BuildRunTree(CFileTree& tree, const std::wstring& rootPath) {
    return tree.Build(RunExtensions(), CFileTree::kFlatWalk | CFileTree::kKeepRootPath, 0, rootPath) != 0;
}

std::vector<QueuedFile> CollectRunFiles(CFileTree& tree, bool includeSubfolders, bool reprocessAll,
                                        const RunLayout& layout) {
    std::vector<QueuedFile> out;
    FileTreeNode* root = tree.FlatRoot();
    if (!root) return out;
    root->name = layout.rootName;
    const std::vector<FileTreeNode*>& candidates = includeSubfolders ? tree.FileList() : root->children;
    for (const FileTreeNode* node : candidates) {
        if (node->IsFolder()) continue;
        const FileTreeNode* parent = node->parent;
        if (!parent) continue;
        if (parent->name.find(L"_tmpformultiframe") != std::wstring::npos) continue;
        if (!layout.newFolder && parent->parent && parent->name == parent->parent->name) continue;
        const std::wstring folder = OutputFolderOf(parent->fullPath, parent->name, layout);
        if (!reprocessAll && files::Exists(PathJoin(folder, node->name))) continue;
        out.push_back(QueuedFile{node->fullPath, node->name, parent->fullPath, parent->name});
    }
    return out;
}
