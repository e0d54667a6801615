#include "support/TestData.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace testdata {

std::string TestDataFile(const std::string& relative) {
    const std::string path = std::string(TESSAVAN_TESTS_DIR) + "/" + relative;
    if (!std::filesystem::is_regular_file(path)) {
        ADD_FAILURE() << "missing test file " << path;
        return {};
    }
    return path;
}

}  // namespace testdata
