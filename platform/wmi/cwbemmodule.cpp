#include "cwbemmodule.h"

#include "cwbemclassfactory.h"
#include "wbeminterfaces.h"

#include <atomic>

extern "C" {
const CLSID CLSID_WbemAdministrativeLocator
    = {0xCB8555CC, 0x9128, 0x11D1, {0xAD, 0x9B, 0x00, 0xC0, 0x4F, 0xD8, 0xFD, 0xFF}};
const IID IID_IWbemLocator = {0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
const IID IID_IWbemServices = {0x9556DC99, 0x828C, 0x11CF, {0xA3, 0x7E, 0x00, 0xAA, 0x00, 0x32, 0x40, 0xC7}};
const IID IID_IEnumWbemClassObject = {0x027947E1, 0xD731, 0x11CE, {0xA3, 0x57, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};
const IID IID_IWbemClassObject = {0xDC12A681, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
}

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
