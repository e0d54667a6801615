#include "platform/core/Files.h"

#include <atomic>
#include <cerrno>
#include <cstring>
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

std::wstring LastErrorText() {
    return FromUtf8(std::strerror(errno));
}

}  // namespace files
