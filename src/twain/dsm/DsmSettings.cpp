#include "twain/dsm/DsmSettings.h"

#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/core/Files.h"
#include "platform/core/Paths.h"
#include "platform/core/Strings.h"

namespace {

std::mutex g_lock;
std::string g_sourceFolder;

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

}  // namespace

std::string DsmSourceFolder() {
    std::string folder = Env(kDsmSourceFolderVariable);
    if (!folder.empty()) return folder;
    std::lock_guard guard(g_lock);
    return g_sourceFolder.empty() ? std::string(kDsmDefaultSourceFolder) : g_sourceFolder;
}

void DsmSetSourceFolder(const std::string& folder) {
    std::lock_guard guard(g_lock);
    g_sourceFolder = folder;
}

std::string DsmDefaultSourceFile() {
    std::string base = Env("XDG_CONFIG_HOME");
    if (base.empty()) {
        const std::string home = Env("HOME");
        if (home.empty()) return {};
        base = ToUtf8(PathJoin(FromUtf8(home), L".config"));
    }
    return ToUtf8(PathJoin(FromUtf8(base), L"tessavan", L"twain-default-source"));
}

bool DsmReadDefaultSource(std::string& path) {
    const std::string file = DsmDefaultSourceFile();
    if (file.empty()) return false;
    std::vector<std::uint8_t> bytes;
    if (!files::ReadAll(FromUtf8(file), bytes)) return false;
    std::string text(bytes.begin(), bytes.end());
    const std::size_t end = text.find_first_of("\r\n");
    if (end != std::string::npos) text.resize(end);
    if (text.empty()) return false;
    if (text.size() > 259) text.resize(259);
    path = text;
    return true;
}

bool DsmWriteDefaultSource(const std::string& path) {
    const std::string file = DsmDefaultSourceFile();
    if (file.empty()) return false;
    const std::wstring wfile = FromUtf8(file);
    const std::wstring folder = PathFolder(wfile);
    const std::wstring parent = PathFolder(folder);
    if (!files::IsDirectory(parent) && !files::CreateDirectory(parent)) return false;
    if (!files::CreateDirectory(folder)) return false;
    const std::string line = path + "\n";
    return files::WriteAllAtomic(wfile, line.data(), line.size());
}
