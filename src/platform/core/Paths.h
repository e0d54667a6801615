// Path joining. The separator is '/'; every place that builds a path from a
// folder and a name goes through PathJoin.
#pragma once

#include <string>
#include <string_view>

constexpr wchar_t kPathSeparator = L'/';

// Joins with exactly one separator between the parts. An empty part yields
// the other unchanged.
std::wstring PathJoin(std::wstring_view folder, std::wstring_view name);
template <typename... Rest>
std::wstring PathJoin(std::wstring_view a, std::wstring_view b, Rest&&... rest) {
    return PathJoin(PathJoin(a, b), std::forward<Rest>(rest)...);
}

// Folder part (without trailing separator) and last component of a path.
std::wstring PathFolder(std::wstring_view path);
std::wstring PathFileName(std::wstring_view path);
// Extension without the dot ("" when none); the name without its extension.
std::wstring PathExtension(std::wstring_view path);
std::wstring PathWithoutExtension(std::wstring_view path);
