// A temporary folder for the files a benchmark writes, made on first use
// and removed with everything in it when the process exits.
#pragma once

#include <string>

namespace benchfiles {

const std::wstring& Folder();

}  // namespace benchfiles
