#include "support/ProcessFigures.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <fstream>
#include <string>
#include <sys/resource.h>

namespace procfig {

long long StatusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(key) + ":";
    while (std::getline(in, line))
        if (line.compare(0, prefix.size(), prefix) == 0) return std::atoll(line.c_str() + prefix.size());
    return -1;
}

bool ResetPeak() {
    std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
    if (!f) return false;
    const bool ok = std::fputs("5", f) >= 0;
    return std::fclose(f) == 0 && ok;
}

Usage ProcessUsage() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    Usage u;
    u.userSeconds = static_cast<double>(r.ru_utime.tv_sec) + static_cast<double>(r.ru_utime.tv_usec) * 1e-6;
    u.systemSeconds = static_cast<double>(r.ru_stime.tv_sec) + static_cast<double>(r.ru_stime.tv_usec) * 1e-6;
    u.minorFaults = r.ru_minflt;
    u.majorFaults = r.ru_majflt;
    u.voluntarySwitches = r.ru_nvcsw;
    u.involuntarySwitches = r.ru_nivcsw;
    return u;
}

Usage operator-(const Usage& after, const Usage& before) {
    Usage d;
    d.userSeconds = after.userSeconds - before.userSeconds;
    d.systemSeconds = after.systemSeconds - before.systemSeconds;
    d.minorFaults = after.minorFaults - before.minorFaults;
    d.majorFaults = after.majorFaults - before.majorFaults;
    d.voluntarySwitches = after.voluntarySwitches - before.voluntarySwitches;
    d.involuntarySwitches = after.involuntarySwitches - before.involuntarySwitches;
    return d;
}

bool MakePageBuffers() {
    constexpr std::size_t kSizes[] = {std::size_t{26} << 20, std::size_t{9} << 20, 1100000, 1100000,
                                      std::size_t{26} << 20};
    void* blocks[std::size(kSizes)] = {};
    bool made = true;
    for (std::size_t i = 0; i < std::size(kSizes); ++i) {
        blocks[i] = std::malloc(kSizes[i]);
        if (blocks[i] == nullptr) {
            made = false;
            break;
        }
        std::memset(blocks[i], 1, kSizes[i]);
    }
    for (void* p : blocks) std::free(p);
    return made;
}

}  // namespace procfig
