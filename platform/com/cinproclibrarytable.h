#pragma once

#include "combase.h"

#include <QString>

// The in-process server libraries this process has loaded, one entry per path, each loaded once
// and kept until its DllCanUnloadNow allows unloading.
class CInprocLibraryTable
{
public:
    // Loads the library when needed and asks its DllGetClassObject for the class object.
    // CO_E_DLLNOTFOUND when the file is missing, CO_E_ERRORINDLL when it cannot be loaded or lacks
    // the entry point.
    static HRESULT getClassObject(const QString &path, REFCLSID clsid, REFIID riid, void **ppv);
    // Unloads every library whose DllCanUnloadNow answers S_OK.
    static void freeUnused();
    // Whether this table holds the library (for diagnostics and tests).
    static bool isLoaded(const QString &path);
};
