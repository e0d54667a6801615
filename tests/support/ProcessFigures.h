// Figures of the running process (a test or a benchmark) from the system:
// resident memory and its peak (/proc/self/status), and the CPU time, page
// faults and context switches of all its threads (getrusage).
#pragma once

namespace procfig {

// A value of /proc/self/status in kB ("VmHWM", "VmRSS"); -1 when missing.
long long StatusKb(const char* key);

// Sets the peak resident size (VmHWM) back to the current one; false when
// the system does not allow it (the peak then covers earlier work too).
bool ResetPeak();

struct Usage {
    double userSeconds = 0;
    double systemSeconds = 0;
    long long minorFaults = 0;
    long long majorFaults = 0;
    long long voluntarySwitches = 0;    // waits (locks, conditions, I/O)
    long long involuntarySwitches = 0;  // preempted
};

// The whole process so far, every thread included.
Usage ProcessUsage();
Usage operator-(const Usage& after, const Usage& before);

// A page's buffers as the pipeline makes them on the calling thread (the
// working image, a grey copy, two tables, the turned image: 63 MB), each
// written all over, then freed. Nothing else is made meanwhile, so that
// the freed blocks join the free top of the thread's heap. False when a
// block could not be had.
bool MakePageBuffers();

}  // namespace procfig
