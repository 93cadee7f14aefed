#include "cwbemservices.h"

#include "cwbemenumerator.h"
#include "cwbemquery.h"
#include "cwmiprovidertable.h"

#include <QString>

CWbemServices::CWbemServices()
    : CWbemUnknown(IID_IWbemServices)
{ }

HRESULT CWbemServices::OpenNamespace(
    const BSTR, LONG, IWbemContext *, IWbemServices **ppWorkingNamespace, IWbemCallResult **ppResult)
{
    if (ppWorkingNamespace)
        *ppWorkingNamespace = nullptr;
    if (ppResult)
        *ppResult = nullptr;
    return WBEM_E_NOT_SUPPORTED;
}

HRESULT CWbemServices::CancelAsyncCall(IWbemObjectSink *)
{
    return WBEM_E_NOT_SUPPORTED;
}

HRESULT CWbemServices::QueryObjectSink(LONG, IWbemObjectSink **ppResponseHandler)
{
    if (ppResponseHandler)
        *ppResponseHandler = nullptr;
    return WBEM_E_NOT_SUPPORTED;
}

HRESULT CWbemServices::GetObject(
    const BSTR, LONG, IWbemContext *, IWbemClassObject **ppObject, IWbemCallResult **ppCallResult)
{
    if (ppObject)
        *ppObject = nullptr;
    if (ppCallResult)
        *ppCallResult = nullptr;
    return WBEM_E_NOT_SUPPORTED;
}

HRESULT CWbemServices::ExecQuery(
    const BSTR strQueryLanguage, const BSTR strQuery, LONG lFlags, IWbemContext *, IEnumWbemClassObject **ppEnum)
{
    if (!ppEnum)
        return WBEM_E_INVALID_PARAMETER;
    *ppEnum = nullptr;
    if (!strQueryLanguage || !strQuery)
        return WBEM_E_INVALID_PARAMETER;
    if (QString::fromUtf16(strQueryLanguage).compare(QLatin1String("WQL"), Qt::CaseInsensitive) != 0)
        return WBEM_E_INVALID_QUERY_TYPE;
    const QString className = CWbemQuery::className(QString::fromUtf16(strQuery));
    if (className.isNull())
        return WBEM_E_INVALID_QUERY;

    // The objects are read now, so every enumeration of this query sees one snapshot of the machine.
    const std::unique_ptr<CWmiProvider> provider = CWmiProviderTable::create(className);
    if (!provider) {
        // WMI refuses an unknown class only while the objects are fetched when the caller asked for
        // an immediate return, and at once otherwise; callers rely on both.
        if (lFlags & WBEM_FLAG_RETURN_IMMEDIATELY) {
            *ppEnum = new CWbemEnumerator(WBEM_E_INVALID_CLASS);
            return WBEM_S_NO_ERROR;
        }
        return WBEM_E_INVALID_CLASS;
    }
    *ppEnum = new CWbemEnumerator(provider->objects());
    return WBEM_S_NO_ERROR;
}
