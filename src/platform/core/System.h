// The machine and the clock: processor count, millisecond ticks, local time.
#pragma once

#include <cstdint>

#include "platform/core/WinTypes.h"

// The number of processors the program may use: those the calling thread may
// run on (its affinity: a program limited to 4 of 8 processors counts 4; the
// system's count when the affinity cannot be read), or the value set by
// SetProcessorCountOverride. Never below 1 (a system that cannot tell counts
// as one processor).
int GetProcessorCount();
// Makes GetProcessorCount return `count` (tests pretend to run on machines
// with 2, 6 or 12 processors); 0 or less removes the override.
void SetProcessorCountOverride(int count);

// The machine's memory in bytes, or the memory limit the process runs
// under (its control group's) when that is smaller; at least 1 GiB is
// assumed when neither can be read.
std::uint64_t GetPhysicalMemoryBytes();

// Milliseconds since an arbitrary start (steady, not the wall clock),
// wrapping at 2^32 like a 32-bit tick count; differences taken in unsigned
// arithmetic stay right across a wrap.
DWORD GetTickCount();

struct SYSTEMTIME {
    WORD wYear = 0;
    WORD wMonth = 0;  // 1..12
    WORD wDayOfWeek = 0;  // 0 Sunday
    WORD wDay = 0;
    WORD wHour = 0;
    WORD wMinute = 0;
    WORD wSecond = 0;
    WORD wMilliseconds = 0;
};
// The local wall-clock time.
void GetLocalTime(SYSTEMTIME* time);
