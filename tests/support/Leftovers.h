// What a process killed while it wrote leaves behind: files under the
// program's temporary names, of processes that have ended or still run.
#pragma once

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/core/Strings.h"

namespace testdata {

// A name TemporarySibling gives a temporary file of the process `pid`. Its
// counter lies far above any this test process reaches itself, so that no
// temporary file the test writes through takes the name.
inline std::wstring TemporaryNameOf(int pid, unsigned counter = 0) {
    char name[32];
    std::snprintf(name, sizeof name, ".tsv%08x%08x.tmp", static_cast<unsigned>(pid), 0xfeed0000u + counter);
    return FromUtf8(name);
}

// The id of a process of this test that has already ended.
inline int EndedProcessId() {
    const int pid = ::fork();
    if (pid == 0) ::_exit(0);
    if (pid > 0) ::waitpid(pid, nullptr, 0);
    return pid;
}

// A process of this test that sleeps until it is ended, by its id.
class SleepingChild {
public:
    SleepingChild() {
        pid_ = ::fork();
        if (pid_ == 0) {
            for (;;) ::pause();  // until the test ends it
        }
    }
    ~SleepingChild() { End(); }
    SleepingChild(const SleepingChild&) = delete;
    SleepingChild& operator=(const SleepingChild&) = delete;
    int pid() const { return pid_; }
    void End() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

private:
    int pid_ = -1;
};

}  // namespace testdata
