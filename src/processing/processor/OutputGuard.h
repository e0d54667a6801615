// What a run lets its results do to the file system. The batch engine hands
// a processor a guard of its run (the run's output rule): folders for results
// are made through it, and no file it protects (the run's input files) is
// replaced or removed by a save. A processor without a guard (the manual
// window, tools that check their own paths) makes folders plainly and
// replaces what its caller asked it to.
#pragma once

#include <string>

class IOutputGuard {
public:
    virtual ~IOutputGuard() = default;
    // Makes `folder` (every missing level) to hold results; false when it
    // cannot be made or must not hold results.
    virtual bool MakeOutputFolder(const std::wstring& folder) const = 0;
    // False when the file at `path` must not be replaced or removed.
    virtual bool MayReplace(const std::wstring& path) const = 0;
};
