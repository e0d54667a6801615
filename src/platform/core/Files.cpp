#include "platform/core/Files.h"

#include <atomic>
#include <cerrno>
#include <algorithm>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/core/Strings.h"

namespace fs = std::filesystem;

std::FILE* _wfopen(const wchar_t* path, const wchar_t* mode) {
    if (!path || !mode) {
        errno = EINVAL;
        return nullptr;
    }
    return std::fopen(ToUtf8(path).c_str(), ToUtf8(mode).c_str());
}

namespace files {

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

std::wstring TemporarySibling(const std::wstring& path) {
    static std::atomic<unsigned> counter{0};
    return path + L".tmp" + std::to_wstring(::getpid()) + L"_" + std::to_wstring(counter.fetch_add(1));
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

bool CopyReplacing(const std::wstring& from, const std::wstring& to) {
    if (from.empty() || to.empty()) return false;
    FileId source;
    FileId target;
    if (GetFileId(from, source) && GetFileId(to, target) && source == target) return false;
    const std::wstring tmp = TemporarySibling(to);
    std::error_code ec;
    std::filesystem::copy_file(std::filesystem::path(ToUtf8(from)), std::filesystem::path(ToUtf8(tmp)),
                               std::filesystem::copy_options::overwrite_existing, ec);
    if (!ec && Rename(tmp, to)) return true;
    Remove(tmp);
    return false;
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

}  // namespace files
