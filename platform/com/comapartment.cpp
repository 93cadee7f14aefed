// Apartments, process security and the thread locale.

#include "ccomapartment.h"
#include "combase.h"

extern "C" {

HRESULT CoInitializeEx(void *pvReserved, DWORD dwCoInit)
{
    if (pvReserved)
        return E_INVALIDARG;
    return CComApartment::enter(dwCoInit);
}

HRESULT CoInitialize(void *pvReserved)
{
    return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED);
}

void CoUninitialize()
{
    CComApartment::leave();
}

HRESULT CoInitializeSecurity(void *pSecDesc, LONG cAuthSvc, void *asAuthSvc, void *pReserved1, DWORD dwAuthnLevel,
    DWORD dwImpLevel, void *pAuthList, DWORD dwCapabilities, void *pReserved3)
{
    // Nothing in this runtime crosses a process boundary, so the levels have nothing to act on;
    // what callers can observe is that only the first call succeeds.
    (void)pSecDesc;
    (void)cAuthSvc;
    (void)asAuthSvc;
    (void)pReserved1;
    (void)dwAuthnLevel;
    (void)dwImpLevel;
    (void)pAuthList;
    (void)dwCapabilities;
    (void)pReserved3;
    return CComApartment::initializeSecurity();
}

LCID GetThreadLocale()
{
    return CComApartment::threadLocale();
}

BOOL SetThreadLocale(LCID Locale)
{
    return CComApartment::setThreadLocale(Locale) ? COM_TRUE : COM_FALSE;
}

} // extern "C"
