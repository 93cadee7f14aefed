#include "cinquixclassfactory.h"

#include "cinquixmodule.h"

CInquixClassFactory::CInquixClassFactory(Creator creator)
    : m_refCount(1)
    , m_creator(creator)
{ }

HRESULT CInquixClassFactory::QueryInterface(REFIID riid, void **ppvObject)
{
    if (!ppvObject)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
        *ppvObject = static_cast<IClassFactory *>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG CInquixClassFactory::AddRef()
{
    const ULONG count = ++m_refCount;
    if (count == 2) // the first reference beyond the module's own
        inquixModule().lock();
    return count;
}

ULONG CInquixClassFactory::Release()
{
    const ULONG count = --m_refCount;
    if (count == 1)
        inquixModule().unlock();
    else if (count == 0)
        delete this;
    return count;
}

HRESULT CInquixClassFactory::CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppvObject)
{
    if (!ppvObject)
        return E_POINTER;
    *ppvObject = nullptr;
    return m_creator(pUnkOuter, riid, ppvObject);
}

HRESULT CInquixClassFactory::LockServer(BOOL fLock)
{
    if (fLock)
        inquixModule().lock();
    else
        inquixModule().unlock();
    return S_OK;
}
