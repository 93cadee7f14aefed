#pragma once

#include "cwbemunknown.h"
#include "wbeminterfaces.h"

// The administrative locator: connects to the one namespace the stand-in serves.
class CWbemLocator : public CWbemUnknown<IWbemLocator>
{
public:
    CWbemLocator();

    HRESULT ConnectServer(const BSTR strNetworkResource, const BSTR strUser, const BSTR strPassword,
        const BSTR strLocale, LONG lSecurityFlags, const BSTR strAuthority, IWbemContext *pCtx,
        IWbemServices **ppNamespace) override;

    // "root\cimv2" in any letter case, with "\" or "/" between the two parts.
    static bool isServedNamespace(const OLECHAR *name);

private:
    ~CWbemLocator() override = default;
};
