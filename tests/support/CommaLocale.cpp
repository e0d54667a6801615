#include "support/CommaLocale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <memory>

#include "support/TempDir.h"

namespace testdata {

namespace {

const char* kLocale = "de_DE.UTF-8";

// Generates the locale once; the folder lives until the process ends.
bool PrepareLocale() {
    static std::unique_ptr<TempDir> dir;
    static bool ok = false;
    if (dir) return ok;
    dir = std::make_unique<TempDir>();
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + dir->path() + "/" + kLocale + "' >/dev/null 2>&1";
    ok = std::system(command.c_str()) == 0;
    if (ok) ::setenv("LOCPATH", dir->path().c_str(), 1);
    return ok;
}

}  // namespace

CommaLocale::CommaLocale() {
    const char* current = std::setlocale(LC_ALL, nullptr);
    previous_ = current ? current : "C";
    if (!PrepareLocale()) {
        ADD_FAILURE() << "cannot generate the locale " << kLocale
                      << " with localedef (Debian package 'locales'; run scripts/setup)";
        return;
    }
    if (!std::setlocale(LC_ALL, kLocale)) {
        ADD_FAILURE() << "setlocale(" << kLocale << ") failed";
        return;
    }
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%.1f", 0.5);
    active_ = std::string(buffer) == "0,5";
    if (!active_) ADD_FAILURE() << "the locale " << kLocale << " does not write a decimal comma: " << buffer;
}

CommaLocale::~CommaLocale() { std::setlocale(LC_ALL, previous_.c_str()); }

}  // namespace testdata
