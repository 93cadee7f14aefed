#pragma once

#include "combase.h"

// Counts of the stand-in's live objects and class-factory locks, which decide whether the COM
// runtime may unload the library.
class CWbemModule
{
public:
    static void objectCreated();
    static void objectDestroyed();
    static void lockServer(bool lock);
    static bool canUnload();
};
