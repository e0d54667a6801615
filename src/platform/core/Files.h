// Files by wide name: the C stdio family on wide paths, and the few file
// system calls the program needs. Paths are converted to UTF-8 for the OS.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

// Opens a C stream on a wide path; the mode is an stdio mode such as L"rb".
// Returns null on failure (errno set), like fopen.
std::FILE* _wfopen(const wchar_t* path, const wchar_t* mode);

namespace files {

// For tests of what a full disk does: a file opened for writing by _wfopen
// anywhere below `folder` is opened on the system's always-full device
// instead, so that its writes fail as they do on a full disk (ENOSPC). An
// empty folder ends it.
void SetFullDiskFolderForTests(const std::wstring& folder);

bool Exists(const std::wstring& path);       // file or folder
bool IsDirectory(const std::wstring& path);
bool IsRegularFile(const std::wstring& path);
// Size in bytes, or -1 when the file cannot be examined.
std::int64_t Size(const std::wstring& path);
bool Remove(const std::wstring& path);        // a file, or an empty folder
bool Rename(const std::wstring& from, const std::wstring& to);  // replaces `to`
bool CreateDirectory(const std::wstring& path);  // one level; true if it exists
// Removes a folder and everything in it; true when nothing is left.
bool RemoveTree(const std::wstring& path);
// Reads a whole file. False when it cannot be opened or read completely.
bool ReadAll(const std::wstring& path, std::vector<std::uint8_t>& out);
// Writes through a temporary name in the same folder and renames it into
// place, so a reader never sees a half-written file and a failed write
// leaves no file behind.
bool WriteAllAtomic(const std::wstring& path, const void* data, std::size_t size);
// Copies the file `from` to `to`, replacing a file there, through a
// temporary name beside `to`. Refused (false, nothing written) when `to`
// names the same file as `from`: a copy never writes over its own source.
bool CopyReplacing(const std::wstring& from, const std::wstring& to);
// Copies the file `from` to `to` through a temporary name beside `to`, only
// when nothing is at `to`: false, nothing replaced and errno EEXIST, when
// something is (also when it appears during the copy). Any other failure
// leaves no file and errno telling why.
bool CopyNoReplace(const std::wstring& from, const std::wstring& to);
// A fresh name beside `path` for a temporary file: a hidden name of fixed
// length in the same folder (".tsv" + the process id and a counter, eight
// lower-case hexadecimal digits each, + ".tmp"), so a temporary name never
// grows past the file-name limit however long `path`'s own name is, and no
// run takes it for an image. The first name this process takes in a folder
// first sweeps it (RemoveStaleTemporaries), so whatever writes there clears
// what killed writers left.
std::wstring TemporarySibling(const std::wstring& path);
// True when `name` has the form of TemporarySibling's names; `pid` receives
// the id of the process that made it.
bool ParseTemporaryName(const std::wstring& name, int& pid);
// Removes from `folder` what processes that have ended (killed while they
// wrote) left under TemporarySibling's names: files, and folders with
// everything in them when nobody holds their lock (FolderLock). A name is
// left alone while the process of its id runs, unless that process started
// after the entry was last changed (the id was given again); names of any
// other form, links and entries that cannot be examined are never touched.
// Returns how many entries were removed.
int RemoveStaleTemporaries(const std::wstring& folder);
// RemoveStaleTemporaries for each folder once: the folders one run or job
// writes into, swept the first time it writes there. Safe to use from
// several threads.
class TemporarySweep {
public:
    void Sweep(const std::wstring& folder);

private:
    std::mutex mutex_;
    std::unordered_set<std::wstring> swept_;
};
// Renames `from` to `to` only when nothing is at `to` (also for folders);
// false, with errno EEXIST, when something is.
bool RenameNoReplace(const std::wstring& from, const std::wstring& to);
// The longest file name (one path component) the file systems take, in
// bytes of its UTF-8 form.
constexpr std::size_t kNameMaxBytes = 255;
// `name` cut at a character boundary to at most `maxBytes` UTF-8 bytes.
std::wstring CutToUtf8Bytes(const std::wstring& name, std::size_t maxBytes);

// What a later look can compare to see whether a file changed: its size
// and modification time.
struct FileStamp {
    std::int64_t size = -1;
    std::int64_t mtimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};
// The stamp of a regular file; false when it cannot be examined.
bool GetFileStamp(const std::wstring& path, FileStamp& stamp);

// The absolute path with every link, "." and ".." of its existing part resolved and
// no trailing separator (what does not exist yet is appended as written).
// Empty for an empty path.
std::wstring CanonicalPath(const std::wstring& path);
// True when `path` is `root` or lies below it (both canonical, compared
// component by component; case counts).
bool IsSameOrBelow(const std::wstring& path, const std::wstring& root);

// An exclusive lock on a folder (flock on the folder itself) for as long as
// the object lives. Every process and every object of this process that
// locks the same folder waits for, or is refused by, the holder; a process
// that ends releases its locks.
class FolderLock {
public:
    FolderLock() = default;
    ~FolderLock() { Release(); }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;
    FolderLock(FolderLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    FolderLock& operator=(FolderLock&& other) noexcept;
    // Takes the lock without waiting; false when the folder cannot be opened
    // or someone holds it.
    bool TryLock(const std::wstring& folder);
    bool Held() const { return fd_ >= 0; }
    void Release();

private:
    int fd_ = -1;
};
// Identity of a file or folder on its device; two paths that reach the same
// folder (through a link) give the same id.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileId&) const = default;
};
// The id of what `path` names (links followed); false when it cannot be
// examined.
bool GetFileId(const std::wstring& path, FileId& id);

// One entry of a folder listing.
struct DirEntry {
    std::wstring name;
    bool isDirectory = false;  // links are followed
    bool isHidden = false;     // the name starts with '.'
    FileId id;                 // zero when the entry cannot be examined
};
// Lists a folder without "." and "..", ordered by name without regard to
// ASCII case (as a Windows file system lists them; names equal but for case
// in byte order), so every walk over a folder tree is repeatable. False when
// the folder cannot be read; `out` is then empty.
bool ListDirectory(const std::wstring& path, std::vector<DirEntry>& out);

// Text of the last OS error (errno), for messages.
std::wstring LastErrorText();
// The reason an OS error (an errno value) gives a user, in Chinese for the
// errors of writing files ("磁盘空间不足" for ENOSPC), else the system's own
// text.
std::wstring SystemErrorText(int error);

}  // namespace files
