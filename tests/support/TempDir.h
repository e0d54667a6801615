// A fresh folder under the system temporary folder, removed with everything
// in it when the object goes away.
#pragma once

#include <string>

namespace testdata {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::wstring wpath() const;
    // path() + "/" + name
    std::string file(const std::string& name) const;
    std::wstring wfile(const std::wstring& name) const;

private:
    std::string path_;
};

}  // namespace testdata
