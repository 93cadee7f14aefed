#pragma once

#include "wbeminterfaces.h"

#include <atomic>

// A connection to "root\cimv2": runs "select * from <class>" queries against the Linux providers.
class CWbemServices : public IWbemServices
{
public:
    CWbemServices();
    CWbemServices(const CWbemServices &) = delete;
    CWbemServices &operator=(const CWbemServices &) = delete;

    HRESULT QueryInterface(REFIID riid, void **ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT OpenNamespace(const BSTR strNamespace, LONG lFlags, IWbemContext *pCtx, IWbemServices **ppWorkingNamespace,
        IWbemCallResult **ppResult) override;
    HRESULT CancelAsyncCall(IWbemObjectSink *pSink) override;
    HRESULT QueryObjectSink(LONG lFlags, IWbemObjectSink **ppResponseHandler) override;
    HRESULT GetObject(const BSTR strObjectPath, LONG lFlags, IWbemContext *pCtx, IWbemClassObject **ppObject,
        IWbemCallResult **ppCallResult) override;
    HRESULT ExecQuery(const BSTR strQueryLanguage, const BSTR strQuery, LONG lFlags, IWbemContext *pCtx,
        IEnumWbemClassObject **ppEnum) override;

private:
    virtual ~CWbemServices();

    std::atomic<ULONG> m_refs {1};
};
