#include "app/core/FileTree.h"

#include <algorithm>
#include <deque>
#include <new>
#include <set>
#include <unordered_set>
#include <utility>

#include "platform/core/Files.h"
#include "platform/core/Paths.h"
#include "platform/core/Strings.h"

namespace {

int PagesOf(std::size_t count) { return static_cast<int>((count + 4) / 5); }

void RefreshChildCounts(FileTreeNode* node) {
    node->pageCount = PagesOf(node->children.size());
    node->hasChildren = node->children.empty() ? 0 : 1;
}

// The text a file is judged by: after the last '.', or the whole name.
std::wstring ExtensionOf(const std::wstring& name) {
    const auto dot = name.find_last_of(L'.');
    return dot == std::wstring::npos ? name : name.substr(dot + 1);
}

bool IsOneOf(const std::wstring& text, std::initializer_list<const wchar_t*> list) {
    for (const wchar_t* item : list)
        if (text == item) return true;
    return false;
}

}  // namespace

// State of one walk: depth first or breadth first, how many files it kept,
// and the folders already listed (a folder reached twice through links is
// listed once, so a link cycle cannot make the walk endless).
struct CFileTree::Walk {
    bool breadthFirst = true;
    int files = 0;
    std::set<std::pair<std::uint64_t, std::uint64_t>> listedFolders;
};

CFileTree::~CFileTree() { Clear(); }

int CFileTree::TypeOfName(const std::wstring& name) {
    const std::wstring ext = AsciiLower(ExtensionOf(name));
    if (ext == L"exe") return FileTreeNode::kExecutable;
    if (IsOneOf(ext, {L"bmp", L"jpg", L"ico", L"png", L"jpeg", L"psd", L"gif"}))
        return FileTreeNode::kPicture;
    if (IsOneOf(ext, {L"mp3", L"wma", L"wav", L"ac3", L"aac", L"mp1", L"mp2", L"mpa"}))
        return FileTreeNode::kAudio;
    if (IsOneOf(ext, {L"avi", L"wmv", L"asf", L"mp4", L"mpg", L"dat", L"divx", L"3gp", L"mov", L"mpeg"}))
        return FileTreeNode::kVideo;
    if (ext == L"txt") return FileTreeNode::kText;
    return FileTreeNode::kOther;
}

// Windows devices keep the storage-card folder's name in the system
// settings; no such setting exists here, so the name is its default.
std::wstring CFileTree::StorageCardName() { return L"Storage Card"; }

bool CFileTree::KeepsFile(const std::wstring& name) const {
    const std::wstring ext = ExtensionOf(name);
    for (const auto& wanted : extensions_)
        if (EqualsNoCase(ext, wanted)) return true;
    return false;
}

std::wstring CFileTree::ListingPath(const FileTreeNode* folder) const {
    if (flags_ & kKeepRootPath) return folder->fullPath;
    return PathJoin(rootPath_, folder->fullPath);
}

FileTreeNode* CFileTree::NewRoot() {
    auto* root = new (std::nothrow) FileTreeNode;
    if (!root) return nullptr;
    root->type = FileTreeNode::kFolder;
    root->kind = FileTreeNode::kRoot;
    root->depth = 0;
    root->name = L"root";
    if (flags_ & kKeepRootPath) root->fullPath = rootPath_;
    return root;
}

void CFileTree::FreeSubtree(FileTreeNode* node) {
    if (!node) return;
    std::vector<FileTreeNode*> pending{node};
    while (!pending.empty()) {
        FileTreeNode* n = pending.back();
        pending.pop_back();
        pending.insert(pending.end(), n->children.begin(), n->children.end());
        delete n;
    }
}

void CFileTree::ListFolder(FileTreeNode* folder, Walk& walk) {
    if (!folder->IsFolder() || folder->listed) return;
    if (countLimit_ > 0 && walk.files > countLimit_) return;
    if (!folder->children.empty()) {
        DropFromLists(folder->children);
        for (FileTreeNode* child : folder->children) FreeSubtree(child);
        folder->children.clear();
    }

    const std::wstring path = ListingPath(folder);
    std::vector<files::DirEntry> entries;
    files::FileId id;
    const bool firstVisit =
        files::GetFileId(path, id) && walk.listedFolders.emplace(id.device, id.inode).second;
    if (firstVisit && files::ListDirectory(path, entries)) {
        const bool atRoot = folder->kind == FileTreeNode::kRoot;
        const int special = flags_ & (kOnlyStorageCard | kOnlyUsbDisk | kOnlySpecial);
        for (const files::DirEntry& e : entries) {
            if (e.isHidden && !(flags_ & kIncludeHidden)) continue;
            int kind = folder->kind;
            if (e.isDirectory) {
                if (atRoot) {
                    const bool card = EqualsNoCase(e.name, StorageCardName());
                    const bool usb = EqualsNoCase(e.name, L"USB Disk");
                    kind = card ? FileTreeNode::kStorageCard
                                : (usb ? FileTreeNode::kUsbDisk : FileTreeNode::kOrdinary);
                    if (special) {
                        const bool wanted = ((special & kOnlyStorageCard) && card) ||
                                            ((special & kOnlyUsbDisk) && usb) ||
                                            ((special & kOnlySpecial) && (card || usb));
                        if (!wanted) continue;
                    }
                }
            } else {
                if ((flags_ & kFoldersOnly) || !KeepsFile(e.name)) continue;
                if (atRoot) kind = FileTreeNode::kOrdinary;
            }

            auto* node = new (std::nothrow) FileTreeNode;
            if (!node) break;
            node->type = e.isDirectory ? static_cast<int>(FileTreeNode::kFolder) : TypeOfName(e.name);
            node->kind = kind;
            node->depth = folder->depth + 1;
            node->parent = folder;
            node->name = e.name;
            node->fullPath = PathJoin(folder->fullPath, e.name);
            folder->children.push_back(node);

            if (e.isDirectory) {
                if (walk.breadthFirst)
                    folderList_.push_back(node);
                else
                    ListFolder(node, walk);
            } else {
                if (walk.breadthFirst) fileList_.push_back(node);
                ++walk.files;
                if (countLimit_ > 0 && walk.files > countLimit_) break;
            }
        }
    }
    RefreshChildCounts(folder);
    folder->listed = 1;
}

int CFileTree::Build(const std::vector<std::wstring>& extensions, int flags, int countLimit,
                     const std::wstring& rootPath) {
    extensions_ = extensions;
    flags_ = flags;
    if (flags_ & kFoldersOnly) flags_ &= ~0x5;
    rootPath_ = rootPath;
    countLimit_ = countLimit;

    if (flags_ & (kFlatWalk | kCollect)) {
        if (extensions_.empty()) return 0;
        FreeSubtree(flatRoot_);
        flatRoot_ = nullptr;
        folderList_.clear();
        fileList_.clear();
        collectedFiles_.clear();
        pageCount_ = 0;
        hasFiles_ = 0;
        flatRoot_ = NewRoot();
        if (!flatRoot_) return 0;
        folderList_.push_back(flatRoot_);
        Walk walk;
        walk.breadthFirst = true;
        // The folder list grows while it is walked.
        for (std::size_t i = 0; i < folderList_.size(); ++i) ListFolder(folderList_[i], walk);
        pageCount_ = PagesOf(fileList_.size());
        hasFiles_ = fileList_.empty() ? 0 : 1;
        if (flags_ & kCollect) Collect();
        return 1;
    }

    FreeSubtree(treeRoot_);
    treeRoot_ = NewRoot();
    if (!treeRoot_) return 0;
    Walk walk;
    walk.breadthFirst = false;
    ListFolder(treeRoot_, walk);
    return 1;
}

void CFileTree::DropFromLists(const std::vector<FileTreeNode*>& gone) {
    if (gone.empty()) return;
    // Every descendant of the given nodes goes too.
    std::unordered_set<const FileTreeNode*> all;
    std::vector<const FileTreeNode*> pending(gone.begin(), gone.end());
    while (!pending.empty()) {
        const FileTreeNode* n = pending.back();
        pending.pop_back();
        if (!all.insert(n).second) continue;
        pending.insert(pending.end(), n->children.begin(), n->children.end());
    }
    auto drop = [&](std::vector<FileTreeNode*>& list) {
        std::erase_if(list, [&](const FileTreeNode* n) { return all.count(n) != 0; });
    };
    drop(folderList_);
    drop(fileList_);
    drop(collectedFiles_);
    if (all.count(flatRoot_)) flatRoot_ = nullptr;
    if (all.count(treeRoot_)) treeRoot_ = nullptr;
}

void CFileTree::DeleteNode(FileTreeNode* node) {
    if (!node) return;
    DropFromLists({node});
    if (FileTreeNode* parent = node->parent) {
        auto it = std::find(parent->children.begin(), parent->children.end(), node);
        if (it != parent->children.end()) parent->children.erase(it);
        RefreshChildCounts(parent);
    }
    FreeSubtree(node);
}

int CFileTree::PruneEmptyFolders(FileTreeNode* node) {
    if (!node) return 0;
    PruneAll();
    return 1;
}

void CFileTree::PruneAll() {
    for (;;) {
        bool removed = false;
        // From the end: children come after their parents in walk order, so
        // a folder emptied by this pass is met later in the same pass.
        for (std::size_t i = folderList_.size(); i-- > 0;) {
            FileTreeNode* f = folderList_[i];
            if (!f->children.empty()) continue;
            if (FileTreeNode* parent = f->parent) {
                auto it = std::find(parent->children.begin(), parent->children.end(), f);
                if (it != parent->children.end()) parent->children.erase(it);
                RefreshChildCounts(parent);
            }
            if (f == flatRoot_) flatRoot_ = nullptr;
            if (f == treeRoot_) treeRoot_ = nullptr;
            delete f;
            folderList_[i] = nullptr;
            removed = true;
        }
        std::erase(folderList_, nullptr);
        if (!removed) break;
    }
}

void CFileTree::Collect() {
    PruneAll();
    collectedFiles_.clear();
    if (!flatRoot_) return;
    std::deque<FileTreeNode*> queue{flatRoot_};
    while (!queue.empty()) {
        FileTreeNode* folder = queue.front();
        queue.pop_front();
        auto& kids = folder->children;
        std::stable_sort(kids.begin(), kids.end(), [](const FileTreeNode* a, const FileTreeNode* b) {
            if (a->IsFolder() != b->IsFolder()) return a->IsFolder();
            return a->name < b->name;
        });
        folder->fileCount = 0;
        folder->folderCount = 0;
        for (FileTreeNode* child : kids) {
            if (child->IsFolder()) {
                ++folder->folderCount;
                queue.push_back(child);
            } else {
                ++folder->fileCount;
                collectedFiles_.push_back(child);
            }
        }
    }
}

void CFileTree::Clear() {
    FreeSubtree(flatRoot_);
    FreeSubtree(treeRoot_);
    flatRoot_ = nullptr;
    treeRoot_ = nullptr;
    folderList_.clear();
    fileList_.clear();
    collectedFiles_.clear();
    extensions_.clear();
    pageCount_ = 0;
    hasFiles_ = 0;
    rootPath_.clear();
    flags_ = 0;
    countLimit_ = 0;
}
