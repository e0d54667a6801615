// Files kept beside the tests in the source tree (tests/<area>/data/...).
#pragma once

#include <string>

namespace testdata {

// Full path of `relative` below the tests folder ("settings/data/x.xml").
// When the file is missing the current test fails with a message naming it,
// and the returned path is empty.
std::string TestDataFile(const std::string& relative);

}  // namespace testdata
