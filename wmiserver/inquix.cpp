// The four entry points through which COM activates the server and tools register it. Everything
// else in the library stays hidden.

#include "cinquixmodule.h"

#define INQUIX_EXPORT extern "C" __attribute__((visibility("default")))

INQUIX_EXPORT HRESULT DllCanUnloadNow()
{
    return inquixModule().canUnloadNow();
}

INQUIX_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void **ppv)
{
    return inquixModule().getClassObject(rclsid, riid, ppv);
}

INQUIX_EXPORT HRESULT DllRegisterServer()
{
    return inquixModule().registerServer();
}

INQUIX_EXPORT HRESULT DllUnregisterServer()
{
    return inquixModule().unregisterServer();
}
