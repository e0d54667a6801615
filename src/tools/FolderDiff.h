// The folder difference without a window: the image files of a folder A
// that a folder B of the same name lacks are copied into a folder C, keeping
// their paths below A (C/<name of A>/<path below A>/<file>).
#pragma once

#include <string>
#include <vector>

// The checks before anything is copied, in the order they are made.
enum class FolderDiffCheck {
    kOk,
    kEmpty,            // "目录不能为空."
    kSameFolder,       // "A 和 B不能为同一目录."
    kNamesDiffer,      // "B必须与A同名."
    kNested,           // "A与B不能有互相包含."
    kTargetIsSource,   // "C 与B、A 必须为不同的文件夹."
    kTargetInside,     // "C 不能位于 B、A 当中."
    kTargetIsParent,   // "C 不能位于 B、A 父目录."
    kTargetExists,     // "选择的C 下面已存在同名的文件夹."
};
// Folders are compared on whole path components in their resolved form
// (/x/a does not contain /x/ab; a link to A is A).
FolderDiffCheck CheckFolderDiff(const std::wstring& a, const std::wstring& b, const std::wstring& c);
std::wstring FolderDiffCheckMessage(FolderDiffCheck check);

struct FolderDiffResult {
    bool listed = false;             // both trees were listed
    bool aEmpty = false;             // A holds no image ("A不能为空。.")
    std::vector<std::wstring> missing;  // files of A without a counterpart in B, in A's order
    int copied = 0;                  // of those, copied
    std::vector<std::wstring> failed;   // could not be copied
};
// Lists A and B (jpg, tif, tiff, png in any case, with sub-folders) and
// copies every file of A whose path below A (case counts) names no file of
// B into C/<name of A>/<its folder below A>. Call after CheckFolderDiff.
FolderDiffResult RunFolderDiff(const std::wstring& a, const std::wstring& b, const std::wstring& c);
// The message at the end: how many files were found only in A, and how many
// of them could not be copied when some could not.
std::wstring FolderDiffDoneMessage(const FolderDiffResult& result);
