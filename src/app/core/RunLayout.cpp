#include "app/core/RunLayout.h"

#include <unordered_map>

#include "app/core/OutputRule.h"

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
                                        const RunLayout& layout, std::vector<std::wstring>* sources) {
    std::vector<QueuedFile> out;
    FileTreeNode* root = tree.FlatRoot();
    if (!root) return out;
    root->name = layout.rootName;
    const std::wstring resultsRoot = layout.newFolder ? files::CanonicalPath(OutputRootOf(layout)) : std::wstring();
    // Whether a folder's files are inputs, decided once per folder.
    std::unordered_map<const FileTreeNode*, bool> takes;
    const auto folderTaken = [&](const FileTreeNode* parent) {
        auto it = takes.find(parent);
        if (it != takes.end()) return it->second;
        bool take = parent->name.find(L"_tmpformultiframe") == std::wstring::npos;
        if (take && !layout.newFolder && parent->parent && parent->name == parent->parent->name)
            take = !IsResultsFolder(parent->fullPath);
        if (take && layout.newFolder) take = !files::IsSameOrBelow(files::CanonicalPath(parent->fullPath), resultsRoot);
        takes.emplace(parent, take);
        return take;
    };
    const std::vector<FileTreeNode*>& candidates = includeSubfolders ? tree.FileList() : root->children;
    for (const FileTreeNode* node : candidates) {
        if (node->IsFolder()) continue;
        const FileTreeNode* parent = node->parent;
        if (!parent) continue;
        if (!folderTaken(parent)) continue;
        if (sources) sources->push_back(node->fullPath);
        const std::wstring folder = OutputFolderOf(parent->fullPath, parent->name, layout);
        if (!reprocessAll && files::Exists(PathJoin(folder, node->name))) continue;
        out.push_back(QueuedFile{node->fullPath, node->name, parent->fullPath, parent->name});
    }
    return out;
}
