#include "cwbemmodule.h"

#include "cwbemclassfactory.h"
#include "wbeminterfaces.h"

#include <atomic>

namespace {
std::atomic<long> s_objects {0};
std::atomic<long> s_locks {0};
} // namespace

void CWbemModule::objectCreated()
{
    ++s_objects;
}

void CWbemModule::objectDestroyed()
{
    --s_objects;
}

void CWbemModule::lockServer(bool lock)
{
    if (lock)
        ++s_locks;
    else if (s_locks.load() > 0)
        --s_locks;
}

bool CWbemModule::canUnload()
{
    return s_objects.load() == 0 && s_locks.load() == 0;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (rclsid != CLSID_WbemAdministrativeLocator)
        return CLASS_E_CLASSNOTAVAILABLE;
    CWbemClassFactory *factory = new CWbemClassFactory;
    const HRESULT hr = factory->QueryInterface(riid, ppv);
    factory->Release();
    return hr;
}

extern "C" __attribute__((visibility("default"))) HRESULT DllCanUnloadNow()
{
    return CWbemModule::canUnload() ? S_OK : S_FALSE;
}
