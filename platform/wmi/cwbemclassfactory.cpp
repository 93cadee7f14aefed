#include "cwbemclassfactory.h"

#include "cwbemlocator.h"
#include "cwbemmodule.h"

CWbemClassFactory::CWbemClassFactory()
    : CWbemUnknown(IID_IClassFactory)
{ }

HRESULT CWbemClassFactory::CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppvObject)
{
    if (!ppvObject)
        return E_POINTER;
    *ppvObject = nullptr;
    if (pUnkOuter)
        return CLASS_E_NOAGGREGATION;
    CWbemLocator *locator = new CWbemLocator;
    const HRESULT hr = locator->QueryInterface(riid, ppvObject);
    locator->Release();
    return hr;
}

HRESULT CWbemClassFactory::LockServer(BOOL fLock)
{
    CWbemModule::lockServer(fLock != COM_FALSE);
    return S_OK;
}
