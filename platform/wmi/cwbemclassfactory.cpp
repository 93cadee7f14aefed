#include "cwbemclassfactory.h"

#include "cwbemlocator.h"
#include "cwbemmodule.h"

CWbemClassFactory::CWbemClassFactory()
{
    CWbemModule::objectCreated();
}

CWbemClassFactory::~CWbemClassFactory()
{
    CWbemModule::objectDestroyed();
}

HRESULT CWbemClassFactory::QueryInterface(REFIID riid, void **ppvObject)
{
    if (!ppvObject)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
        *ppvObject = static_cast<IClassFactory *>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG CWbemClassFactory::AddRef()
{
    return ++m_refs;
}

ULONG CWbemClassFactory::Release()
{
    const ULONG refs = --m_refs;
    if (refs == 0)
        delete this;
    return refs;
}

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
