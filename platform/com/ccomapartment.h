#pragma once

#include "combase.h"

// The calling thread's apartment: one per thread, entered by the first CoInitializeEx and left by
// the matching last CoUninitialize. The state is plain thread-local data, so it needs no
// destruction at thread exit.
class CComApartment
{
public:
    static HRESULT enter(DWORD coInit);
    static void leave();
    static bool isEntered();

    // Process-wide security: only the first initialisation counts.
    static HRESULT initializeSecurity();

    // The thread's locale. Both default locales stand for English (United States), 0x0409, the
    // language of the C locale that all conversions of this runtime use.
    static LCID threadLocale();
    static bool setThreadLocale(LCID lcid);
};
