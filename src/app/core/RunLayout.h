// Which files a run takes and where their results go.
//
// Output layout:
// - results into the source folders: a file in folder F goes to
//   F/<name of F>/<file name>, so each folder's results lie in a sub-folder
//   of the same name inside it;
// - results into a new folder: D/<source name>/<path below the source
//   folder>/<file name>, D the destination folder and <source name> the last
//   component of the source folder.
// The output keeps the input's file name and extension.
#pragma once

#include <string>
#include <vector>

#include "app/core/FileTree.h"

// A queued input file, held by value so nothing refers into a file tree once
// the queue is built.
struct QueuedFile {
    std::wstring fullPath;
    std::wstring name;        // file name with its extension
    std::wstring parentPath;  // full path of its folder
    std::wstring parentName;  // name of its folder (the source name for the source folder itself)
};

// The values the layout of a run depends on.
struct RunLayout {
    bool newFolder = false;    // results into a new folder
    std::wstring destination;  // the destination folder (new-folder layout)
    std::wstring rootPath;     // the source folder
    std::wstring rootName;     // its last component
};

// The extensions a run takes, compared without regard to case.
const std::vector<std::wstring>& RunExtensions();

// The output folder of a file in folder (parentPath, parentName).
std::wstring OutputFolderOf(const std::wstring& parentPath, const std::wstring& parentName, const RunLayout& layout);

// Builds the run's file tree of layout.rootPath (flat walk, root path kept,
// no limit). False when the tree cannot be built.
bool BuildRunTree(CFileTree& tree, const std::wstring& rootPath);

// The files of a built tree that a run takes, in the tree's order: every
// file of the tree with include-sub-folders on, else the source folder's own
// entries. Skipped: folders; nodes without a parent; files in a folder whose
// name contains "_tmpformultiframe" (case counts); in the source-folder layout,
// files in a result folder of an earlier run (a folder with the same name as
// its own parent folder that carries the result-folder marker); in the
// new-folder layout, files inside the destination's result tree (reached
// through a link); unless reprocess-all, files whose output path exists.
// `sources`, when given, receives every file that passed the folder rules,
// whether or not its output exists: the run's source files.
// The root node is renamed to layout.rootName.
std::vector<QueuedFile> CollectRunFiles(CFileTree& tree, bool includeSubfolders, bool reprocessAll,
                                        const RunLayout& layout, std::vector<std::wstring>* sources = nullptr);
