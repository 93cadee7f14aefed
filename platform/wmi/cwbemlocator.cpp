#include "cwbemlocator.h"

#include "cwbemservices.h"

#include <QString>

CWbemLocator::CWbemLocator()
    : CWbemUnknown(IID_IWbemLocator)
{ }

bool CWbemLocator::isServedNamespace(const OLECHAR *name)
{
    if (!name)
        return false;
    const QString text = QString::fromUtf16(name);
    return text.compare(QLatin1String("root\\cimv2"), Qt::CaseInsensitive) == 0
        || text.compare(QLatin1String("root/cimv2"), Qt::CaseInsensitive) == 0;
}

HRESULT CWbemLocator::ConnectServer(const BSTR strNetworkResource, const BSTR, const BSTR, const BSTR, LONG, const BSTR,
    IWbemContext *, IWbemServices **ppNamespace)
{
    if (!ppNamespace)
        return WBEM_E_INVALID_PARAMETER;
    *ppNamespace = nullptr;
    if (!strNetworkResource)
        return WBEM_E_INVALID_PARAMETER;
    if (!isServedNamespace(strNetworkResource))
        return WBEM_E_INVALID_NAMESPACE;
    *ppNamespace = new CWbemServices;
    return WBEM_S_NO_ERROR;
}
