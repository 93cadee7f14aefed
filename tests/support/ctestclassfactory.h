#pragma once

// The class factory of a test COM library: a static object (its reference count does not matter),
// making one kind of object with create. create may refuse, returning null, to stand in for a
// class that cannot be made.

#include "combase.h"

class CTestClassFactory final : public IClassFactory
{
public:
    typedef IUnknown *(*Create)();

    explicit CTestClassFactory(Create create)
        : m_create(create)
    { }

    HRESULT QueryInterface(REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *ppv = static_cast<IClassFactory *>(this);
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return 2; }
    ULONG Release() override { return 1; }
    HRESULT CreateInstance(IUnknown *outer, REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        IUnknown *object = m_create();
        if (!object)
            return E_OUTOFMEMORY;
        const HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

private:
    Create m_create;
};
