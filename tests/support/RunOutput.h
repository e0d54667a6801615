// Reading what a batch run left on disk, for the engine and main-window tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/core/Files.h"
#include "platform/core/Paths.h"

namespace testdata {

// A file's bytes as a string; "<missing>" when it cannot be read.
inline std::string ReadFileText(const std::wstring& path) {
    std::vector<std::uint8_t> bytes;
    if (!files::ReadAll(path, bytes)) return "<missing>";
    return std::string(bytes.begin(), bytes.end());
}

// Files named image_failed_*.txt in a folder.
inline std::vector<std::wstring> FailedLists(const std::wstring& folder) {
    std::vector<files::DirEntry> entries;
    files::ListDirectory(folder, entries);
    std::vector<std::wstring> out;
    for (const auto& e : entries)
        if (e.name.rfind(L"image_failed_", 0) == 0) out.push_back(PathJoin(folder, e.name));
    return out;
}

}  // namespace testdata
