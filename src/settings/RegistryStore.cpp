#include "settings/RegistryStore.h"

#include <mutex>
#include <sstream>
#include <vector>

#include "platform/core/Files.h"
#include "platform/core/Paths.h"
#include "platform/core/Strings.h"

#include "settings/PathHelpers.h"

namespace {
std::mutex g_lock;
std::wstring g_fileOverride;

std::vector<std::string> ReadLines(const std::wstring& path) {
    std::vector<std::uint8_t> bytes;
    std::vector<std::string> lines;
    if (!files::ReadAll(path, bytes)) return lines;
    std::string line;
    for (std::uint8_t b : bytes) {
        if (b == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (b != '\r') {
            line.push_back(static_cast<char>(b));
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// Single-line form of a value.
std::string OneLine(const std::wstring& text) {
    std::string s = ToUtf8(text);
    for (char& c : s)
        if (c == '\n' || c == '\r') c = ' ';
    return s;
}

// "[key]", the line that opens the key's section. Appended piece by piece:
// GCC 12 takes "[" + a temporary string for an overlapping copy and warns.
std::string SectionLine(const std::wstring& key) {
    std::string line = "[";
    line += OneLine(key);
    line += ']';
    return line;
}
}  // namespace

void SetRegistryFileForTesting(const std::wstring& path) {
    std::lock_guard guard(g_lock);
    g_fileOverride = path;
}

std::wstring RegistryFile() {
    {
        std::lock_guard guard(g_lock);
        if (!g_fileOverride.empty()) return g_fileOverride;
    }
    std::wstring folder;
    if (!GetExeFolder(&folder)) return {};
    return PathJoin(folder, L"registry.ini");
}

bool SetRegistryValue(const std::wstring& key, const std::wstring& name, const std::wstring& value) {
    const std::wstring file = RegistryFile();
    if (file.empty()) return false;
    std::lock_guard guard(g_lock);
    std::vector<std::string> lines = ReadLines(file);
    const std::string section = SectionLine(key);
    const std::string prefix = OneLine(name) + "=";
    const std::string entry = prefix + OneLine(value);
    std::size_t i = 0;
    while (i < lines.size() && lines[i] != section) ++i;
    if (i == lines.size()) {
        lines.push_back(section);
        lines.push_back(entry);
    } else {
        std::size_t j = i + 1;
        bool replaced = false;
        for (; j < lines.size() && !(lines[j].size() > 1 && lines[j][0] == '['); ++j)
            if (lines[j].compare(0, prefix.size(), prefix) == 0) {
                lines[j] = entry;
                replaced = true;
                break;
            }
        if (!replaced) lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(i + 1), entry);
    }
    std::string text;
    for (const std::string& l : lines) text += l + "\n";
    return files::WriteAllAtomic(file, text.data(), text.size());
}

std::optional<std::wstring> GetRegistryValue(const std::wstring& key, const std::wstring& name) {
    const std::wstring file = RegistryFile();
    if (file.empty()) return std::nullopt;
    std::lock_guard guard(g_lock);
    const std::vector<std::string> lines = ReadLines(file);
    const std::string section = SectionLine(key);
    const std::string prefix = OneLine(name) + "=";
    bool inside = false;
    for (const std::string& l : lines) {
        if (!l.empty() && l[0] == '[') {
            inside = l == section;
            continue;
        }
        if (inside && l.compare(0, prefix.size(), prefix) == 0) return FromUtf8(l.substr(prefix.size()));
    }
    return std::nullopt;
}
