#pragma once

#include "combase.h"

#include <atomic>

// Makes the administrative locator for the COM runtime.
class CWbemClassFactory : public IClassFactory
{
public:
    CWbemClassFactory();
    CWbemClassFactory(const CWbemClassFactory &) = delete;
    CWbemClassFactory &operator=(const CWbemClassFactory &) = delete;

    HRESULT QueryInterface(REFIID riid, void **ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppvObject) override;
    HRESULT LockServer(BOOL fLock) override;

private:
    virtual ~CWbemClassFactory();

    std::atomic<ULONG> m_refs {1};
};
