#include "platform/core/Files.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <mutex>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <cstdio>
#include <unistd.h>

#include "platform/core/Paths.h"
#include "platform/core/Strings.h"

namespace fs = std::filesystem;

namespace {

std::atomic<bool> g_fullDiskSet{false};
std::mutex g_fullDiskMutex;
std::wstring g_fullDiskFolder;

// The path a write to `path` goes to: the always-full device when a test
// made its folder a full disk.
std::string WritePath(const std::wstring& path, const std::wstring& mode) {
    if (g_fullDiskSet.load() && mode.find_first_of(L"wa+") != std::wstring::npos) {
        std::lock_guard lock(g_fullDiskMutex);
        if (!g_fullDiskFolder.empty() &&
            files::IsSameOrBelow(files::CanonicalPath(PathFolder(path)), g_fullDiskFolder))
            return "/dev/full";
    }
    return ToUtf8(path);
}

}  // namespace

std::FILE* _wfopen(const wchar_t* path, const wchar_t* mode) {
    if (!path || !mode) {
        errno = EINVAL;
        return nullptr;
    }
    return std::fopen(WritePath(path, mode).c_str(), ToUtf8(mode).c_str());
}

namespace files {

void SetFullDiskFolderForTests(const std::wstring& folder) {
    std::lock_guard lock(g_fullDiskMutex);
    g_fullDiskFolder = folder.empty() ? std::wstring() : CanonicalPath(folder);
    g_fullDiskSet = !g_fullDiskFolder.empty();
}

namespace {
bool StatPath(const std::wstring& path, struct stat& st) {
    return !path.empty() && ::stat(ToUtf8(path).c_str(), &st) == 0;
}
}  // namespace

bool Exists(const std::wstring& path) {
    struct stat st;
    return StatPath(path, st);
}

bool IsDirectory(const std::wstring& path) {
    struct stat st;
    return StatPath(path, st) && S_ISDIR(st.st_mode);
}

bool IsRegularFile(const std::wstring& path) {
    struct stat st;
    return StatPath(path, st) && S_ISREG(st.st_mode);
}

std::int64_t Size(const std::wstring& path) {
    struct stat st;
    if (!StatPath(path, st) || !S_ISREG(st.st_mode)) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

bool Remove(const std::wstring& path) {
    return !path.empty() && std::remove(ToUtf8(path).c_str()) == 0;
}

bool Rename(const std::wstring& from, const std::wstring& to) {
    return !from.empty() && !to.empty() && std::rename(ToUtf8(from).c_str(), ToUtf8(to).c_str()) == 0;
}

bool CreateDirectory(const std::wstring& path) {
    if (path.empty()) return false;
    if (::mkdir(ToUtf8(path).c_str(), 0777) == 0) return true;
    return errno == EEXIST && IsDirectory(path);
}

bool RemoveTree(const std::wstring& path) {
    if (path.empty()) return false;
    std::error_code ec;
    fs::remove_all(fs::path(ToUtf8(path)), ec);
    return !ec && !Exists(path);
}

bool ReadAll(const std::wstring& path, std::vector<std::uint8_t>& out) {
    out.clear();
    std::FILE* f = _wfopen(path.c_str(), L"rb");
    if (!f) return false;
    bool ok = true;
    std::uint8_t buf[65536];
    for (;;) {
        std::size_t n = std::fread(buf, 1, sizeof buf, f);
        out.insert(out.end(), buf, buf + n);
        if (n < sizeof buf) {
            ok = !std::ferror(f);
            break;
        }
    }
    std::fclose(f);
    if (!ok) out.clear();
    return ok;
}

namespace {
constexpr char kTemporaryPrefix[] = ".tsv";
constexpr char kTemporarySuffix[] = ".tmp";
constexpr std::size_t kTemporaryDigits = 8;  // of the process id, then of the counter
}  // namespace

std::wstring TemporarySibling(const std::wstring& path) {
    static std::atomic<unsigned> counter{0};
    char name[32];
    std::snprintf(name, sizeof name, "%s%08x%08x%s", kTemporaryPrefix, static_cast<unsigned>(::getpid()),
                  counter.fetch_add(1), kTemporarySuffix);
    const std::wstring folder = PathFolder(path);
    // Every writer goes through here: the first time this process writes
    // into a folder, what killed writers left there goes (the writers that
    // run for long sweep again per run or per save).
    static TemporarySweep firstWrite;
    firstWrite.Sweep(folder.empty() ? std::wstring(L".") : folder);
    return folder.empty() ? FromUtf8(name) : PathJoin(folder, FromUtf8(name));
}

bool ParseTemporaryName(const std::wstring& name, int& pid) {
    const std::size_t prefix = sizeof kTemporaryPrefix - 1, suffix = sizeof kTemporarySuffix - 1;
    if (name.size() != prefix + 2 * kTemporaryDigits + suffix) return false;
    if (name.compare(0, prefix, FromUtf8(kTemporaryPrefix)) != 0 ||
        name.compare(name.size() - suffix, suffix, FromUtf8(kTemporarySuffix)) != 0)
        return false;
    unsigned long long id = 0;
    for (std::size_t i = prefix; i < prefix + 2 * kTemporaryDigits; ++i) {
        const wchar_t c = name[i];
        const bool digit = c >= L'0' && c <= L'9', letter = c >= L'a' && c <= L'f';
        if (!digit && !letter) return false;
        if (i < prefix + kTemporaryDigits) id = id * 16 + static_cast<unsigned>(digit ? c - L'0' : c - L'a' + 10);
    }
    // No process has the id 0 or one beyond a positive int: not a name we made.
    if (id == 0 || id > static_cast<unsigned long long>(INT_MAX)) return false;
    pid = static_cast<int>(id);
    return true;
}

namespace {

// The machine's boot time in seconds since 1970, from /proc/stat; -1 when
// it cannot be read.
std::int64_t BootTime() {
    static const std::int64_t boot = [] {
        std::FILE* f = std::fopen("/proc/stat", "r");
        if (!f) return std::int64_t{-1};
        char line[256];
        long long value = -1;
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "btime %lld", &value) == 1) break;
        std::fclose(f);
        return static_cast<std::int64_t>(value);
    }();
    return boot;
}

// When the process `pid` started, in seconds since 1970; false when that
// cannot be found out.
bool ProcessStartTime(int pid, std::int64_t& seconds) {
    const std::int64_t boot = BootTime();
    const long ticks = ::sysconf(_SC_CLK_TCK);
    if (boot < 0 || ticks <= 0) return false;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
    std::FILE* f = std::fopen(path, "r");
    if (!f) return false;
    char text[1024];
    const std::size_t n = std::fread(text, 1, sizeof text - 1, f);
    std::fclose(f);
    text[n] = 0;
    // The fields after the command name (which may hold spaces and
    // parentheses): state is field 3, the start time field 22.
    const char* at = std::strrchr(text, ')');
    if (!at) return false;
    unsigned long long start = 0;
    if (std::sscanf(at + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d %*d %*d %llu",
                    &start) != 1)
        return false;
    seconds = boot + static_cast<std::int64_t>(start / static_cast<unsigned long long>(ticks));
    return true;
}

// Clocks of file systems and of the process table may differ a little: a
// process counts as having started after an entry changed only when it
// started this much later.
constexpr std::int64_t kClockSlackSeconds = 60;

// False when the process that made an entry last changed at `changed`
// (seconds since 1970) can no longer be writing it.
bool WriterMayRun(int pid, std::int64_t changed) {
    if (::kill(pid, 0) != 0 && errno == ESRCH) return false;
    std::int64_t started = 0;
    if (!ProcessStartTime(pid, started)) return true;  // alive, and nothing else known
    return started <= changed + kClockSlackSeconds;
}

}  // namespace

int RemoveStaleTemporaries(const std::wstring& folder) {
    if (folder.empty()) return 0;
    const std::string base = ToUtf8(folder);
    DIR* dir = ::opendir(base.c_str());
    if (!dir) return 0;
    std::vector<std::pair<std::string, int>> ours;
    while (const dirent* e = ::readdir(dir)) {
        int pid = 0;
        if (e->d_name[0] == '.' && ParseTemporaryName(FromUtf8(e->d_name), pid)) ours.emplace_back(e->d_name, pid);
    }
    ::closedir(dir);
    int removed = 0;
    for (const auto& [name, pid] : ours) {
        const std::string path = base.back() == '/' ? base + name : base + '/' + name;
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0) continue;
        if (WriterMayRun(pid, static_cast<std::int64_t>(st.st_mtim.tv_sec))) continue;
        const std::wstring wide = FromUtf8(path);
        if (S_ISREG(st.st_mode)) {
            if (::unlink(path.c_str()) == 0) ++removed;
        } else if (S_ISDIR(st.st_mode)) {
            // A page folder being made is locked by its maker.
            FolderLock lock;
            if (lock.TryLock(wide) && RemoveTree(wide)) ++removed;
        }
    }
    return removed;
}

void TemporarySweep::Sweep(const std::wstring& folder) {
    if (folder.empty()) return;
    {
        std::lock_guard lock(mutex_);
        if (!swept_.insert(folder).second) return;
    }
    RemoveStaleTemporaries(folder);
}

bool RenameNoReplace(const std::wstring& from, const std::wstring& to) {
    if (from.empty() || to.empty()) return false;
    const std::string a = ToUtf8(from), b = ToUtf8(to);
    if (::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the no-replace rename: look first.
    struct stat st;
    if (::lstat(b.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return std::rename(a.c_str(), b.c_str()) == 0;
}

std::wstring CutToUtf8Bytes(const std::wstring& name, std::size_t maxBytes) {
    std::wstring out;
    std::size_t bytes = 0;
    for (wchar_t c : name) {
        const std::size_t n = ToUtf8(std::wstring(1, c)).size();
        if (bytes + n > maxBytes) break;
        bytes += n;
        out.push_back(c);
    }
    return out;
}

bool GetFileStamp(const std::wstring& path, FileStamp& stamp) {
    struct stat st;
    if (!StatPath(path, st) || !S_ISREG(st.st_mode)) return false;
    stamp.size = static_cast<std::int64_t>(st.st_size);
    stamp.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return true;
}

std::wstring CanonicalPath(const std::wstring& path) {
    if (path.empty()) return path;
    std::error_code ec;
    fs::path given(ToUtf8(path));
    if (given.is_relative()) given = fs::absolute(given, ec);
    fs::path p = fs::weakly_canonical(given, ec);
    if (ec) p = given.lexically_normal();
    std::string text = p.string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return FromUtf8(text);
}

bool IsSameOrBelow(const std::wstring& path, const std::wstring& root) {
    if (path.empty() || root.empty()) return false;
    if (root == L"/") return path[0] == L'/';
    if (path.compare(0, root.size(), root) != 0) return false;
    return path.size() == root.size() || path[root.size()] == L'/';
}

FolderLock& FolderLock::operator=(FolderLock&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

bool FolderLock::TryLock(const std::wstring& folder) {
    Release();
    const int fd = ::open(ToUtf8(folder).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    return true;
}

void FolderLock::Release() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
    fd_ = -1;
}

bool WriteAllAtomic(const std::wstring& path, const void* data, std::size_t size) {
    const std::wstring tmp = TemporarySibling(path);
    std::FILE* f = _wfopen(tmp.c_str(), L"wb");
    if (!f) return false;
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    ok = (std::fflush(f) == 0) && ok;
    ok = (std::fclose(f) == 0) && ok;
    if (ok) ok = Rename(tmp, path);
    if (!ok) Remove(tmp);
    return ok;
}

namespace {

// Copies `from` to a fresh temporary name beside `to` and renames it to `to`
// (over what is there, or only where nothing is). On failure no file is
// left and errno tells why.
bool CopyThroughTemporary(const std::wstring& from, const std::wstring& to, bool replace) {
    const std::wstring tmp = TemporarySibling(to);
    std::error_code ec;
    std::filesystem::copy_file(std::filesystem::path(ToUtf8(from)), std::filesystem::path(ToUtf8(tmp)),
                               replace ? std::filesystem::copy_options::overwrite_existing
                                       : std::filesystem::copy_options::none,
                               ec);
    if (!ec && (replace ? Rename(tmp, to) : RenameNoReplace(tmp, to))) return true;
    const int error = ec ? ec.value() : errno;
    Remove(tmp);
    errno = error;
    return false;
}

}  // namespace

bool CopyReplacing(const std::wstring& from, const std::wstring& to) {
    if (from.empty() || to.empty()) return false;
    FileId source;
    FileId target;
    if (GetFileId(from, source) && GetFileId(to, target) && source == target) return false;
    return CopyThroughTemporary(from, to, true);
}

bool CopyNoReplace(const std::wstring& from, const std::wstring& to) {
    if (from.empty() || to.empty()) {
        errno = EINVAL;
        return false;
    }
    struct stat st;
    if (::lstat(ToUtf8(to).c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return CopyThroughTemporary(from, to, false);
}

bool GetFileId(const std::wstring& path, FileId& id) {
    struct stat st;
    if (!StatPath(path, st)) return false;
    id = FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return true;
}

namespace {
wchar_t AsciiUpper(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

// Windows file systems order names by their upper-case form.
bool ListingOrder(const DirEntry& a, const DirEntry& b) {
    const std::size_t n = std::min(a.name.size(), b.name.size());
    for (std::size_t i = 0; i < n; ++i) {
        const wchar_t x = AsciiUpper(a.name[i]);
        const wchar_t y = AsciiUpper(b.name[i]);
        if (x != y) return x < y;
    }
    if (a.name.size() != b.name.size()) return a.name.size() < b.name.size();
    return a.name < b.name;
}
}  // namespace

bool ListDirectory(const std::wstring& path, std::vector<DirEntry>& out) {
    out.clear();
    if (path.empty()) return false;
    const std::string folder = ToUtf8(path);
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return false;
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name == "." || name == "..") continue;
        DirEntry entry;
        entry.name = FromUtf8(name);
        entry.isHidden = name[0] == '.';
        struct stat st;
        const std::string full = folder.back() == '/' ? folder + name : folder + '/' + name;
        if (::stat(full.c_str(), &st) == 0) {
            entry.isDirectory = S_ISDIR(st.st_mode);
            entry.id = FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
        }
        out.push_back(std::move(entry));
    }
    ::closedir(dir);
    std::sort(out.begin(), out.end(), ListingOrder);
    return true;
}

std::wstring LastErrorText() {
    return FromUtf8(std::strerror(errno));
}

std::wstring SystemErrorText(int error) {
    switch (error) {
    case ENOSPC: return L"磁盘空间不足";
    case EDQUOT: return L"超出磁盘配额";
    case EIO: return L"磁盘读写出错";
    case EACCES:
    case EPERM: return L"没有写入权限";
    case EROFS: return L"磁盘是只读的";
    case EEXIST: return L"已有同名文件";
    case ENOENT: return L"文件或目录不存在";
    case ENOTDIR: return L"路径中有一级不是目录";
    case EISDIR: return L"目标是一个目录";
    case ENAMETOOLONG: return L"文件名太长";
    case EFBIG: return L"文件太大";
    case EMFILE:
    case ENFILE: return L"打开的文件太多";
    case ENOMEM: return L"内存不足";
    default: return FromUtf8(std::strerror(error));
    }
}

}  // namespace files
