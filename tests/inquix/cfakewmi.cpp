#include "cfakewmi.h"

#include "combase.h"
#include "ctestclassfactory.h"
#include "ctestcomobject.h"
#include "wbeminterfaces.h"

#include <cstring>

namespace {

CFakeWmiState g_state;

// The identifiers the Device object asks for, kept here so this library needs no WMI runtime.
const IID kIidLocator = {0xDC12A687, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};
const IID kIidServices = {0x9556DC99, 0x828C, 0x11CF, {0xA3, 0x7E, 0x00, 0xAA, 0x00, 0x32, 0x40, 0xC7}};
const IID kIidEnum = {0x027947E1, 0xD731, 0x11CE, {0xA3, 0x57, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01}};
const IID kIidObject = {0xDC12A681, 0x737F, 0x11CF, {0x88, 0x4D, 0x00, 0xAA, 0x00, 0x4B, 0x2E, 0x24}};

std::u16string text(const OLECHAR *s)
{
    return s ? std::u16string(s) : std::u16string();
}

class CFakeObject final : public CTestComObject<IWbemClassObject>
{
public:
    explicit CFakeObject(const CFakeWmiObject &object)
        : CTestComObject(kIidObject, g_state.objectsAlive)
        , m_object(object)
    { }
    HRESULT GetQualifierSet(IWbemQualifierSet **) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT Get(LPCOLESTR name, LONG, VARIANT *value, CIMTYPE *, LONG *) override
    {
        for (const CFakeWmiProperty &p : m_object.properties) {
            if (p.name != text(name))
                continue;
            VariantInit(value);
            switch (p.kind) {
            case CFakeWmiProperty::Text:
                value->vt = VT_BSTR;
                value->bstrVal = SysAllocStringLen(p.text.data(), UINT(p.text.size()));
                return S_OK;
            case CFakeWmiProperty::Integer:
                value->vt = VT_I8;
                value->llVal = p.number;
                return S_OK;
            case CFakeWmiProperty::Null:
                value->vt = VT_NULL;
                return S_OK;
            case CFakeWmiProperty::Unreadable:
                return WBEM_E_FAILED;
            }
        }
        return WBEM_E_NOT_FOUND;
    }
    HRESULT Put(LPCOLESTR, LONG, VARIANT *, CIMTYPE) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT Delete(LPCOLESTR) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT GetNames(LPCOLESTR, LONG, VARIANT *, SAFEARRAY **names) override
    {
        *names = nullptr;
        if (m_object.namesFail)
            return WBEM_E_FAILED;
        SAFEARRAY *array = SafeArrayCreateVector(VT_BSTR, 0, ULONG(m_object.properties.size()));
        for (LONG i = 0; i < LONG(m_object.properties.size()); ++i) {
            BSTR name = SysAllocString(m_object.properties[i].name.c_str());
            SafeArrayPutElement(array, &i, name);
            SysFreeString(name);
        }
        *names = array;
        return S_OK;
    }

private:
    CFakeWmiObject m_object;
};

class CFakeEnum final : public CTestComObject<IEnumWbemClassObject>
{
public:
    CFakeEnum()
        : CTestComObject(kIidEnum, g_state.enumeratorsAlive)
    { }
    HRESULT Reset() override
    {
        m_next = 0;
        return S_OK;
    }
    HRESULT Next(LONG, ULONG count, IWbemClassObject **objects, ULONG *returned) override
    {
        *returned = 0;
        if (count != 1)
            return WBEM_E_INVALID_PARAMETER;
        if (g_state.failure == CFakeWmiState::EnumerationFails && m_next >= g_state.failAfter)
            return WBEM_E_INVALID_QUERY;
        if (m_next >= g_state.objects.size())
            return WBEM_S_FALSE;
        objects[0] = new CFakeObject(g_state.objects[m_next++]);
        *returned = 1;
        return S_OK;
    }
    HRESULT NextAsync(ULONG, IWbemObjectSink *) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT Clone(IEnumWbemClassObject **) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT Skip(LONG, ULONG) override { return WBEM_E_NOT_SUPPORTED; }

private:
    size_t m_next = 0;
};

class CFakeServices final : public CTestComObject<IWbemServices>
{
public:
    CFakeServices()
        : CTestComObject(kIidServices, g_state.servicesAlive)
    { }
    HRESULT OpenNamespace(const BSTR, LONG, IWbemContext *, IWbemServices **, IWbemCallResult **) override
    {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT CancelAsyncCall(IWbemObjectSink *) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT QueryObjectSink(LONG, IWbemObjectSink **) override { return WBEM_E_NOT_SUPPORTED; }
    HRESULT GetObject(const BSTR, LONG, IWbemContext *, IWbemClassObject **, IWbemCallResult **) override
    {
        return WBEM_E_NOT_SUPPORTED;
    }
    HRESULT ExecQuery(
        const BSTR language, const BSTR query, LONG flags, IWbemContext *, IEnumWbemClassObject **e) override
    {
        g_state.lastLanguage = text(language);
        g_state.lastQuery = text(query);
        g_state.lastQueryFlags = flags;
        *e = nullptr;
        if (g_state.failure == CFakeWmiState::QueryRefused)
            return WBEM_E_INVALID_QUERY;
        *e = new CFakeEnum;
        return S_OK;
    }
};

class CFakeLocator final : public CTestComObject<IWbemLocator>
{
public:
    CFakeLocator()
        : CTestComObject(kIidLocator, g_state.locatorsAlive)
    {
        ++g_state.locatorsCreated;
    }
    HRESULT ConnectServer(const BSTR resource, const BSTR user, const BSTR password, const BSTR locale, LONG,
        const BSTR authority, IWbemContext *, IWbemServices **services) override
    {
        g_state.lastNamespace = text(resource);
        g_state.lastConnectHadCredentials = user || password || locale || authority;
        *services = nullptr;
        if (g_state.failure == CFakeWmiState::ConnectFails)
            return WBEM_E_INVALID_NAMESPACE;
        ++g_state.connections;
        *services = new CFakeServices;
        return S_OK;
    }
};

// A locator that cannot be made stands in for a WMI service that is not there.
IUnknown *createLocator()
{
    if (g_state.failure == CFakeWmiState::LocatorFails)
        return nullptr;
    return new CFakeLocator;
}

CTestClassFactory g_factory(createLocator);

} // namespace

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

FAKE_EXPORT CFakeWmiState *fakeWmiState()
{
    return &g_state;
}

FAKE_EXPORT HRESULT DllGetClassObject(REFCLSID, REFIID riid, void **ppv)
{
    return g_factory.QueryInterface(riid, ppv);
}

// The test holds the library loaded for its whole run; its state must survive.
FAKE_EXPORT HRESULT DllCanUnloadNow()
{
    return S_FALSE;
}
