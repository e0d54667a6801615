#include "settings/PathHelpers.h"

#include <climits>
#include <cstdlib>
#include <cwchar>
#include <unistd.h>

#include "platform/core/Files.h"
#include "platform/core/Paths.h"
#include "platform/core/Strings.h"

namespace {

// Number of leading characters of a path that the root and the separator
// after it take up.
std::size_t RootCutLength(std::wstring_view root) {
    return root.back() == kPathSeparator ? root.size() : root.size() + 1;
}

std::wstring CutBelow(std::wstring_view path, std::wstring_view root) {
    const std::size_t cut = RootCutLength(root);
    return cut >= path.size() ? std::wstring() : std::wstring(path.substr(cut));
}

}  // namespace

namespace path_helpers_detail {

std::wstring ChooseAppFolder(const std::wstring& exeFolder, bool exeFolderWritable,
                             const char* xdgDataHome, const char* home) {
    if (exeFolderWritable) return exeFolder;
    std::wstring base;
    if (xdgDataHome && xdgDataHome[0] == '/') {
        base = FromUtf8(xdgDataHome);
    } else if (home && home[0] != '\0') {
        base = PathJoin(FromUtf8(home), L".local/share");
    } else {
        return std::wstring();
    }
    return PathJoin(base, L"tessavan");
}

}  // namespace path_helpers_detail

int GetExeFolder(std::wstring* folder) {
    if (!folder) return 0;
    std::string exe(PATH_MAX, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", exe.data(), exe.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= exe.size()) return 0;
    exe.resize(static_cast<std::size_t>(n));
    const std::wstring exePath = FromUtf8(exe);
    const auto slash = exePath.find_last_of(kPathSeparator);
    if (slash == std::wstring::npos) return 1;
    const std::wstring exeFolder = slash == 0 ? std::wstring(L"/") : exePath.substr(0, slash);
    const bool writable = ::access(ToUtf8(exeFolder).c_str(), W_OK) == 0;
    const std::wstring chosen = path_helpers_detail::ChooseAppFolder(
        exeFolder, writable, std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
    if (chosen.empty()) return 0;
    if (!writable && !CreateFolderPath(chosen)) return 0;
    *folder = chosen;
    return 1;
}

int CreateFolderPath(const std::wstring& path) {
    if (path.empty() || path == L"/") return 0;
    const std::wstring full = path + kPathSeparator;
    for (std::size_t i = 0; i < full.size(); ++i) {
        if (full[i] != kPathSeparator) continue;
        if (i == 0) continue;  // the leading separator of an absolute path
        const std::wstring prefix = full.substr(0, i);
        if (files::IsDirectory(prefix)) continue;
        if (!files::CreateDirectory(prefix)) return 0;
    }
    return 1;
}

int GetPathBelowRoot(const wchar_t* root, const wchar_t* path, std::wstring& out) {
    if (!root || !path) return 0;
    const std::wstring_view r(root);
    const std::wstring_view p(path);
    if (r.empty() || p.find(r) == std::wstring_view::npos) return 0;
    out = CutBelow(p, r);
    return 1;
}

int GetLastPathComponent(const wchar_t* path, std::wstring& out) {
    if (!path) return 0;
    out.clear();
    out = PathFileName(path);
    return 1;
}

std::wstring GetResultSubfolder(const std::wstring& folder, const std::wstring& root,
                                const std::wstring& rootName) {
    if (root.empty() || folder.empty()) return std::wstring();
    if (folder.find(root) == std::wstring::npos) return std::wstring();
    const std::wstring below = folder.size() > root.size() ? CutBelow(folder, root) : std::wstring();
    if (below.empty()) return rootName;
    return rootName + kPathSeparator + below;
}
