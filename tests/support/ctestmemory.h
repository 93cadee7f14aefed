#pragma once

#include <QtGlobal>

// A process's memory figures and open files, from /proc: this process's, for the tests that bound
// what a hostile input may cost, or another's (a server, a console) by its pid.
class CTestMemory
{
public:
    // Under AddressSanitizer the figures are the sanitizer's (red zones, quarantine), not ours, so
    // only plain builds check them.
#if defined(__SANITIZE_ADDRESS__)
    static constexpr bool figuresMean = false;
#else
    static constexpr bool figuresMean = true;
#endif

    // A field of /proc/self/status in KiB ("VmRSS", "VmHWM"), 0 when there is none.
    static qint64 statusKiB(const char *field);
    // Sets the peak ("VmHWM") back to the resident size now; false where the kernel refuses.
    static bool resetPeak();

    // The same of another process; -1 when the field or the process is not there.
    static qint64 statusKiB(qint64 pid, const char *field);
    static bool resetPeak(qint64 pid);
    // Descriptors the process has open.
    static int openFiles(qint64 pid);
};
