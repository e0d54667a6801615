#include "support/BenchFolder.h"

#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#include "platform/core/Strings.h"

namespace benchfiles {

namespace {
std::string g_folder;
}

const std::wstring& Folder() {
    static const std::wstring folder = [] {
        g_folder = std::filesystem::temp_directory_path().string() + "/tessavan-bench-XXXXXX";
        if (!::mkdtemp(g_folder.data())) std::abort();
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(g_folder, ec);
        });
        return FromUtf8(g_folder);
    }();
    return folder;
}

}  // namespace benchfiles
