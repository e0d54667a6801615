#include "platform/core/Paths.h"

std::wstring PathJoin(std::wstring_view folder, std::wstring_view name) {
    if (folder.empty()) return std::wstring(name);
    if (name.empty()) return std::wstring(folder);
    std::wstring out(folder);
    while (out.size() > 1 && out.back() == kPathSeparator) out.pop_back();
    std::size_t start = 0;
    while (start < name.size() && name[start] == kPathSeparator) ++start;
    if (out.back() != kPathSeparator) out.push_back(kPathSeparator);
    out.append(name.substr(start));
    return out;
}

std::wstring PathFolder(std::wstring_view path) {
    auto pos = path.find_last_of(kPathSeparator);
    if (pos == std::wstring_view::npos) return L"";
    if (pos == 0) return L"/";
    return std::wstring(path.substr(0, pos));
}

std::wstring PathFileName(std::wstring_view path) {
    auto pos = path.find_last_of(kPathSeparator);
    return std::wstring(pos == std::wstring_view::npos ? path : path.substr(pos + 1));
}

std::wstring PathExtension(std::wstring_view path) {
    std::wstring name = PathFileName(path);
    auto dot = name.find_last_of(L'.');
    if (dot == std::wstring::npos) return L"";
    return name.substr(dot + 1);
}

std::wstring PathWithoutExtension(std::wstring_view path) {
    auto slash = path.find_last_of(kPathSeparator);
    auto dot = path.find_last_of(L'.');
    if (dot == std::wstring_view::npos || (slash != std::wstring_view::npos && dot < slash))
        return std::wstring(path);
    return std::wstring(path.substr(0, dot));
}
