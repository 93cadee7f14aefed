#pragma once

#include "combase.h"
#include "cwbemunknown.h"

// Makes the administrative locator for the COM runtime.
class CWbemClassFactory : public CWbemUnknown<IClassFactory>
{
public:
    CWbemClassFactory();

    HRESULT CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppvObject) override;
    HRESULT LockServer(BOOL fLock) override;

private:
    ~CWbemClassFactory() override = default;
};
