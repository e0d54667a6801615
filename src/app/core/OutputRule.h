// Where a run's results may go: the rule that keeps the user's files safe.
//
// An output path is never one of the run's source files, never inside the
// tree the run takes its inputs from, and never the output of another
// source (of this run, or of another source folder in an earlier run into
// the same destination). The rule is applied in three places:
// - when a run starts: the layout is refused, with a message naming the
//   folders, when it maps an output onto a source, into the source tree or
//   onto the results of another source folder, or when the results cannot
//   be written at all (CheckOutputFolders, CheckOutputFiles, PrepareOutputs),
//   and a detection run when a copy would land on an existing file
//   (CheckDetectionCopies);
// - when the source tree is enumerated: the program's own result folders
//   and the destination tree are not inputs (IsResultsFolder, and the
//   destination skip of CollectRunFiles);
// - when a result is written: a file that is one of the run's inputs is
//   never replaced or removed (CRunOutputGuard), and a detection copy never
//   replaces anything.
//
// The program's own result folders carry a marker file (kResultsMarker):
// in the source-folder layout each folder's sub-folder of the same name,
// in the new-folder layout the output root destination/<source name>,
// whose marker names the source folder the results belong to. A sub-folder
// named like its parent without the marker is an ordinary folder of the
// user's.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

#include "app/core/RunLayout.h"
#include "platform/core/Files.h"
#include "processing/processor/OutputGuard.h"

// The marker file of a result folder (hidden; no run takes it).
inline constexpr wchar_t kResultsMarker[] = L".tessavan-results";

// The source folder text without trailing separators ("/" stays "/").
std::wstring NormaliseSourceFolder(const std::wstring& folder);

// True when `folder` carries the result-folder marker.
bool IsResultsFolder(const std::wstring& folder);
// Makes `folder` (every level) a result folder: creates it and, unless it
// has one, writes the marker naming `source`. False when either fails.
bool MarkResultsFolder(const std::wstring& folder, const std::wstring& source);

// The folder the new-folder layout's results of a whole run go into:
// destination/<source name>.
std::wstring OutputRootOf(const RunLayout& layout);

// The input files of a run (and the folders holding them), by identity, so
// that a link or another spelling of a path is the same file. Safe to use
// from several threads; auto-detection adds the files it finds.
class RunInputs {
public:
    void Add(const std::wstring& path);
    void Add(const std::vector<std::wstring>& paths);
    bool HasFile(const files::FileId& id) const;
    bool HasFolder(const files::FileId& id) const;
    // True when the file or folder at `path` is one of the inputs or holds
    // one directly.
    bool IsInputFile(const std::wstring& path) const;
    bool IsInputFolder(const std::wstring& path) const;

private:
    struct IdHash {
        std::size_t operator()(const files::FileId& id) const { return std::hash<std::uint64_t>()(id.inode ^ (id.device << 32)); }
    };
    mutable std::mutex mutex_;
    std::unordered_set<files::FileId, IdHash> files_;
    std::unordered_set<files::FileId, IdHash> folders_;
};

// Folder-level checks, before the source tree is enumerated. Returns the
// refusal (a message naming the folders) or an empty text.
std::wstring CheckOutputFolders(const RunLayout& layout);
// Checks every queued file's output against the run's inputs. Returns the
// refusal or an empty text.
std::wstring CheckOutputFiles(const RunLayout& layout, const std::vector<QueuedFile>& queued,
                              const RunInputs& inputs);
// A detection run copies pages into the output tree and replaces nothing
// there: it is refused, naming the folder, when anything already stands
// where one of the queued files would be copied (the results of an earlier
// run, for example). Returns the refusal or an empty text.
std::wstring CheckDetectionCopies(const RunLayout& layout, const std::vector<QueuedFile>& queued);
// Makes sure the results can be written before anything is processed: the
// new-folder layout's output root is created and marked; in the
// source-folder layout the first queued file's result folder is (or, with
// nothing queued, the source folder must take a file). Returns the refusal
// or an empty text.
std::wstring PrepareOutputs(const RunLayout& layout, const std::vector<QueuedFile>& queued);

// The write-time side of the rule for one file of a run.
class CRunOutputGuard final : public IOutputGuard {
public:
    // `sweep`, when given, is the run's: each folder the run writes into is
    // cleared of the temporary files that killed processes left there, the
    // first time the run writes into it.
    CRunOutputGuard(bool sourceFolderLayout, std::shared_ptr<const RunInputs> inputs,
                    std::shared_ptr<files::TemporarySweep> sweep = nullptr)
        : sourceFolderLayout_(sourceFolderLayout), inputs_(std::move(inputs)), sweep_(std::move(sweep)) {}
    // In the source-folder layout the folder becomes a marked result folder;
    // an ordinary folder that holds inputs is refused.
    bool MakeOutputFolder(const std::wstring& folder) const override;
    // False for a file that is one of the run's inputs.
    bool MayReplace(const std::wstring& path) const override;

private:
    bool sourceFolderLayout_;
    std::shared_ptr<const RunInputs> inputs_;
    std::shared_ptr<files::TemporarySweep> sweep_;
};
