#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "platform/core/Strings.h"

namespace testdata {

TempDir::TempDir() {
    std::string base = std::filesystem::temp_directory_path().string() + "/tessavan-test-XXXXXX";
    if (!::mkdtemp(base.data())) throw std::runtime_error("mkdtemp failed");
    path_ = base;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::wstring TempDir::wpath() const { return FromUtf8(path_); }
std::string TempDir::file(const std::string& name) const { return path_ + "/" + name; }
std::wstring TempDir::wfile(const std::wstring& name) const { return wpath() + L"/" + name; }

}  // namespace testdata
