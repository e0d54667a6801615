// Access to the conformance image sets that scripts/setup extracts from
// Debian packages. A missing file is a test failure with a clear message,
// never a silent pass.
#pragma once

#include <string>

namespace testdata {

// The folder the build was configured with (TESSAVAN_CONFORMANCE_DIR); the
// environment variable of the same name overrides it at run time.
std::string ConformanceDir();

// Full path of `relative` inside the conformance folder. When the file is
// missing the current test fails with a message naming the file and
// scripts/setup, and the returned path is empty.
std::string ConformanceFile(const std::string& relative);

}  // namespace testdata
