#pragma once

#include <QtGlobal>

// This process's memory figures, for the tests that bound what a hostile input may cost.
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
};
