#pragma once

#include "cwbemunknown.h"
#include "wbeminterfaces.h"

// A connection to "root\cimv2": runs "select * from <class>" queries against the Linux providers.
class CWbemServices : public CWbemUnknown<IWbemServices>
{
public:
    CWbemServices();

    HRESULT OpenNamespace(const BSTR strNamespace, LONG lFlags, IWbemContext *pCtx, IWbemServices **ppWorkingNamespace,
        IWbemCallResult **ppResult) override;
    HRESULT CancelAsyncCall(IWbemObjectSink *pSink) override;
    HRESULT QueryObjectSink(LONG lFlags, IWbemObjectSink **ppResponseHandler) override;
    HRESULT GetObject(const BSTR strObjectPath, LONG lFlags, IWbemContext *pCtx, IWbemClassObject **ppObject,
        IWbemCallResult **ppCallResult) override;
    HRESULT ExecQuery(const BSTR strQueryLanguage, const BSTR strQuery, LONG lFlags, IWbemContext *pCtx,
        IEnumWbemClassObject **ppEnum) override;

private:
    ~CWbemServices() override = default;
};
