#pragma once

// Thread creation refused on demand, as when the system has no memory or address space left for
// another stack. A test program that links this defines pthread_create itself, so every thread of
// the program (the toolkit's too) is made through it: passed on to the C library's (or the
// sanitizer's), or refused with EAGAIN as set here.
class CTestThreadRefusal
{
public:
    enum Mode { None, All, EveryOther };

    static void set(Mode mode);
    // Counts since the last reset.
    static void resetCounts();
    static int refused();
};
