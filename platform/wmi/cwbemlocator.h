#pragma once

#include "wbeminterfaces.h"

#include <atomic>

// The administrative locator: connects to the one namespace the stand-in serves.
class CWbemLocator : public IWbemLocator
{
public:
    CWbemLocator();
    CWbemLocator(const CWbemLocator &) = delete;
    CWbemLocator &operator=(const CWbemLocator &) = delete;

    HRESULT QueryInterface(REFIID riid, void **ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT ConnectServer(const BSTR strNetworkResource, const BSTR strUser, const BSTR strPassword,
        const BSTR strLocale, LONG lSecurityFlags, const BSTR strAuthority, IWbemContext *pCtx,
        IWbemServices **ppNamespace) override;

    // "root\cimv2" in any letter case, with "\" or "/" between the two parts.
    static bool isServedNamespace(const OLECHAR *name);

private:
    virtual ~CWbemLocator();

    std::atomic<ULONG> m_refs {1};
};
