// Switches the C library's process locale to one that writes and reads a
// decimal comma (de_DE.UTF-8, generated once per process with localedef into
// a temporary folder), and back to the previous locale on destruction. When
// the locale cannot be made the current test fails with a message naming the
// missing tool; it never passes silently.
#pragma once

#include <string>

namespace testdata {

class CommaLocale {
public:
    CommaLocale();
    ~CommaLocale();
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    bool active() const { return active_; }

private:
    std::string previous_;
    bool active_ = false;
};

}  // namespace testdata
