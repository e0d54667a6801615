// The archive-seal job without a window: the first page of every archive
// folder is stamped with the seal, every other file is copied, and
// everything goes into a mirror of the source tree under the output folder
// (output/<source folder's name>/<path below the source>/<file>).
//
// Archive folders are named fonds-project-volume-serial and page files
// fonds-project-volume-serial-page; the seal shows the folder's archive
// number and serial number, and the page with the smallest page number is
// stamped.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/core/FileTree.h"
#include "processing/ArchiveSeal.h"

// The page number of a file name: the text after the last '-', up to the
// last '.' when that comes after it, read as a decimal integer (text without
// leading digits reads as 0). -1 when the name has no '.' or no '-', or that
// text is empty. A-B-03-7-12.jpg gives 12.
std::int32_t ParsePageNumber(const std::wstring& fileName);

// Prefix, volume and serial of a folder name: the serial follows the last
// '-', the volume lies between the '-' before it and the last one, the
// prefix is everything before that. A-B-12-3 gives A-B, 12, 3. A missing
// '-' makes the prefix the whole name and the number's text run to the
// name's start or end (a name without '-' gives its leading integer twice).
void ParseArchiveNumber(const std::wstring& folderName, std::wstring& prefix, std::int32_t& volume,
                        std::int32_t& serial);

// The output folder of `folderPath` below the output folder: rootName for the
// root itself, rootName + "/" + the path below the root for a folder inside
// it (on whole path components); empty when either path is empty or the
// folder does not lie in the root.
std::wstring MapToOutputPath(const std::wstring& folderPath, const std::wstring& rootPath, const std::wstring& rootName);

// What the job is given when it starts (read on the user-interface thread).
struct SealJobSettings {
    std::wstring source;
    std::wstring output;
    bool includeSubfolders = true;
    SealSettings seal;
};

// The checks before a job starts; each refusal has its message.
enum class SealJobCheck { kOk, kNoSource, kNoOutput, kOutputInSource };
SealJobCheck CheckSealJob(const SealJobSettings& settings);
std::wstring SealJobCheckMessage(SealJobCheck check);

class CSealJob {
public:
    explicit CSealJob(SealJobSettings settings);

    // Lists the source tree (jpg, tif, tiff, png in any case) and counts the
    // files the job handles. False when the tree cannot be built.
    bool Prepare();
    int Total() const { return total_; }
    int Done() const { return done_.load(); }

    // Handles every folder (only the source folder itself without
    // sub-folders), calling afterFile after each file, stamped or copied,
    // whether it succeeded or not. Stops before the next file once `stop` is
    // set.
    void RunSealJob(ISealDrawer& drawer, const std::function<void()>& afterFile, const std::atomic<bool>& stop);

    // Files that could not be stamped or copied, and the files stamped.
    std::vector<std::wstring> Failed() const;
    std::vector<std::wstring> Stamped() const;

private:
    void StampFolder(FileTreeNode* folder, ISealDrawer& drawer, const std::function<void()>& afterFile,
                     const std::atomic<bool>& stop);

    SealJobSettings settings_;
    CFileTree tree_;
    FileTreeNode* root_ = nullptr;
    std::wstring rootName_;
    int total_ = 0;
    std::atomic<int> done_{0};
    mutable std::mutex mutex_;
    std::vector<std::wstring> failed_;
    std::vector<std::wstring> stamped_;
};
