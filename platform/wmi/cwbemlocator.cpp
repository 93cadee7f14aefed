#include "cwbemlocator.h"

#include "cwbemmodule.h"
#include "cwbemservices.h"

#include <QString>

CWbemLocator::CWbemLocator()
{
    CWbemModule::objectCreated();
}

CWbemLocator::~CWbemLocator()
{
    CWbemModule::objectDestroyed();
}

HRESULT CWbemLocator::QueryInterface(REFIID riid, void **ppvObject)
{
    if (!ppvObject)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IWbemLocator) {
        *ppvObject = static_cast<IWbemLocator *>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG CWbemLocator::AddRef()
{
    return ++m_refs;
}

ULONG CWbemLocator::Release()
{
    const ULONG refs = --m_refs;
    if (refs == 0)
        delete this;
    return refs;
}

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
