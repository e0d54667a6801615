// Small helpers on wide-character paths shared by the batch engine, saving,
// the scan window and the tools. The separator is '/'; comparisons are exact
// (case counts).
#pragma once

#include <string>

// The program's own folder, where the configuration file and the default
// "Scan" and "Process" folders live: the executable's folder when it is
// writable, otherwise $XDG_DATA_HOME/tessavan (default
// ~/.local/share/tessavan), created when missing. No trailing separator.
// Returns 1 and sets *folder, or 0 with *folder unchanged (no buffer given,
// the executable's path unknown, or no usable folder).
int GetExeFolder(std::wstring* folder);

// Creates every missing level of `path` (for /out/a/b: /out, /out/a,
// /out/a/b). Returns 1 when every level exists as a folder afterwards, 0
// otherwise; folders created before a failure stay. The empty path and "/"
// are refused (0).
int CreateFolderPath(const std::wstring& path);

// The part of `path` below `root`: `path` without its first (length of root
// + 1) characters, i.e. without the root and the separator after it (a root
// that already ends in a separator is cut by its own length). Returns 0 with
// `out` unchanged when either is null, root is empty or root does not occur
// in path; otherwise 1. Meant for paths that begin with root.
int GetPathBelowRoot(const wchar_t* root, const wchar_t* path, std::wstring& out);

// The characters after the last separator of `path` (empty when it ends in
// one), or the whole path when it has none. A null path returns 0 and leaves
// `out` as it was; otherwise 1.
int GetLastPathComponent(const wchar_t* path, std::wstring& out);

// The result sub-folder of `folder` in the new-folder layout: rootName when
// folder is root, rootName + "/" + the part of folder below root otherwise.
// Empty when root or folder is empty or root does not occur in folder.
// Example: folder /scan/box1/a/b, root /scan/box1, rootName box1 give box1/a/b.
std::wstring GetResultSubfolder(const std::wstring& folder, const std::wstring& root,
                                const std::wstring& rootName);

namespace path_helpers_detail {
// The choice GetExeFolder makes, given the executable's folder, whether it is
// writable and the two environment values (null when unset).
std::wstring ChooseAppFolder(const std::wstring& exeFolder, bool exeFolderWritable,
                             const char* xdgDataHome, const char* home);
}  // namespace path_helpers_detail
