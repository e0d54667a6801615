#include "support/Conformance.h"

#include <cstdlib>
#include <sys/stat.h>

#include <gtest/gtest.h>

namespace testdata {

std::string ConformanceDir() {
    if (const char* env = std::getenv("TESSAVAN_CONFORMANCE_DIR"); env && *env) return env;
    return TESSAVAN_CONFORMANCE_DIR;
}

std::string ConformanceFile(const std::string& relative) {
    std::string path = ConformanceDir() + "/" + relative;
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        ADD_FAILURE() << "conformance file missing: " << path
                      << " (run scripts/setup to extract the conformance sets)";
        return {};
    }
    return path;
}

}  // namespace testdata
