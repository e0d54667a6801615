// The file-tree finder: lists a folder and its sub-folders into nodes that
// know their parent, children, full path and name, keeping only files whose
// extension is in a given list. Every part of the program that enumerates
// image folders builds it the same way: a flat, breadth-first walk from a
// root path (flags kFlatWalk | kKeepRootPath) with no count limit.
#pragma once

#include <memory>
#include <string>
#include <vector>

struct FileTreeNode {
    // Node types: folders, and files by the class of their lower-cased
    // extension.
    enum Type : int {
        kFolder = 1,
        kExecutable = 2,  // "exe"
        kPicture = 3,     // bmp jpg ico png jpeg psd gif
        kAudio = 4,       // mp3 wma wav ac3 aac mp1 mp2 mpa
        kVideo = 5,       // avi wmv asf mp4 mpg dat divx 3gp mov mpeg
        kText = 6,        // "txt"
        kOther = 7,       // everything else, "tif" and "tiff" included
    };
    // Where a node lies: the root; inside the "USB Disk" folder; inside the
    // storage-card folder; anywhere else.
    enum Kind : int { kRoot = 0, kUsbDisk = 1, kStorageCard = 2, kOrdinary = 3 };

    int listed = 0;     // 1 once the folder's entries have been read
    int type = kFolder;
    int kind = kRoot;
    int depth = -1;     // 0 for the root, parent's depth + 1 below it
    int pageCount = 0;  // children / 5, rounded up
    int hasChildren = 0;
    int fileCount = 0;    // set when the children are sorted (collect mode)
    int folderCount = 0;
    FileTreeNode* parent = nullptr;
    std::vector<FileTreeNode*> children;  // in the order the entries were found
    std::wstring fullPath;  // parent's full path + "/" + name
    std::wstring name;      // "root" for the root node
    // Free for the caller (tree pages keep their view item here, the seal
    // tool a page number); the finder never reads it.
    int itemData = 0;

    bool IsFolder() const { return type == kFolder; }
};

class CFileTree {
public:
    // Flags of Build.
    static constexpr int kFoldersOnly = 0x2;       // no file nodes; clears 0x1 and 0x4
    static constexpr int kFlatWalk = 0x4;
    static constexpr int kCollect = 0x8;           // flat walk, prune, sorted collection
    static constexpr int kOnlyStorageCard = 0x10;  // among the root's sub-folders
    static constexpr int kOnlyUsbDisk = 0x20;
    static constexpr int kOnlySpecial = 0x40;      // either of the two
    static constexpr int kIncludeHidden = 0x80;
    static constexpr int kKeepRootPath = 0x100;    // root node's full path = root path

    CFileTree() = default;
    ~CFileTree();
    CFileTree(const CFileTree&) = delete;
    CFileTree& operator=(const CFileTree&) = delete;

    // Replaces the extension list, the flags and the root path, frees the
    // nodes of the previous walk of the same mode and walks again. Returns 1,
    // or 0 when a flat walk is asked with an empty extension list. A root
    // that cannot be listed gives 1 with the root node only.
    int Build(const std::vector<std::wstring>& extensions, int flags, int countLimit,
              const std::wstring& rootPath);

    // Removes folder nodes without children, pass after pass, until none is
    // left. Returns 0 when no node is given, else 1.
    int PruneEmptyFolders(FileTreeNode* node);
    // Frees a node with all its descendants, removes it from its parent's
    // children and from the finder's lists.
    void DeleteNode(FileTreeNode* node);
    // Frees every node and list; empties the root path; flags 0.
    void Clear();

    // Results of the last flat walk: every kept file and every folder in walk
    // order (the first folder is the root node), and the root node.
    const std::vector<FileTreeNode*>& FileList() const { return fileList_; }
    const std::vector<FileTreeNode*>& FolderList() const { return folderList_; }
    FileTreeNode* FlatRoot() const { return flatRoot_; }
    // Root of the last depth-first tree walk.
    FileTreeNode* TreeRoot() const { return treeRoot_; }
    // Files gathered by the collect mode, folder by folder.
    const std::vector<FileTreeNode*>& CollectedFiles() const { return collectedFiles_; }
    // The file list's length / 5, rounded up, and whether it is not empty.
    int PageCount() const { return pageCount_; }
    int HasFiles() const { return hasFiles_; }

    const std::vector<std::wstring>& Extensions() const { return extensions_; }
    int Flags() const { return flags_; }
    const std::wstring& RootPath() const { return rootPath_; }

    // The file type of a name by its extension (FileTreeNode::Type).
    static int TypeOfName(const std::wstring& name);
    // The storage-card folder's name.
    static std::wstring StorageCardName();

private:
    struct Walk;

    FileTreeNode* NewRoot();
    void ListFolder(FileTreeNode* folder, Walk& walk);
    bool KeepsFile(const std::wstring& name) const;
    std::wstring ListingPath(const FileTreeNode* folder) const;
    void FreeSubtree(FileTreeNode* node);
    void DropFromLists(const std::vector<FileTreeNode*>& gone);
    void PruneAll();
    void Collect();

    std::vector<std::wstring> extensions_;
    int flags_ = 0;
    std::wstring rootPath_;
    int countLimit_ = 0;
    FileTreeNode* flatRoot_ = nullptr;
    FileTreeNode* treeRoot_ = nullptr;
    std::vector<FileTreeNode*> folderList_;
    std::vector<FileTreeNode*> fileList_;
    std::vector<FileTreeNode*> collectedFiles_;
    int pageCount_ = 0;
    int hasFiles_ = 0;
};
