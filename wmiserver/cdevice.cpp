#include "cdevice.h"

#include "cinquixmodule.h"
#include "inquixresources.h"
#include "utf8text.h"

#include <cstring>

namespace {

// The properties a query reports, compared exactly (letter case included), in this order.
const char *const kQueryProperties[] = {"Caption", "Capacity", "Signature", "Description", "Name", "Manufacturer",
    "SerialNumber", "SocketDesignation", "Version", "Partitions", "Size", "VideoModeDescription"};
const char kInstallDate2[] = "InstallDate2";
// The date part of a CIM date-time text (yyyymmdd).
const int kInstallDateLength = 8;

const DISPID kDispGetCpu = DISPID_IDEVICE_GETCPU;
const DISPID kDispGetInfo = DISPID_IDEVICE_GETINFO;
const DISPID kDispQuery = DISPID_IDEVICE_QUERY;

// The object works on 8-bit text in the ANSI code page of the thread's locale. On Linux that code
// page is UTF-8, so every character survives the round trip; a lone surrogate, which has no UTF-8
// form, becomes '?' as an unmappable character does.
std::string toAnsi(const OLECHAR *text, size_t length)
{
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = '?';
        }
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xF0 | (c >> 18));
            out += char(0x80 | ((c >> 12) & 0x3F));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string toAnsi(BSTR text)
{
    return text ? toAnsi(text, SysStringLen(text)) : std::string();
}

// Back from the 8-bit text, which toAnsi made and is therefore well-formed UTF-8.
std::u16string fromAnsi(const std::string &text)
{
    return utf8ToUtf16(text.data(), text.size());
}

// The first count characters of an 8-bit text, never cutting a multi-byte character in two.
std::string leftChars(const std::string &text, int count)
{
    size_t end = 0;
    int chars = 0;
    while (end < text.size()) {
        if ((static_cast<unsigned char>(text[end]) & 0xC0) != 0x80) {
            if (chars == count)
                break;
            ++chars;
        }
        ++end;
    }
    return text.substr(0, end);
}

void setText(VARIANT *result, const std::string &text)
{
    const std::u16string wide = fromAnsi(text);
    result->vt = VT_BSTR;
    result->bstrVal = SysAllocStringLen(wide.data(), UINT(wide.size()));
}

bool isQueryProperty(const std::string &name)
{
    for (const char *listed : kQueryProperties)
        if (name == listed)
            return true;
    return false;
}

// Automation matches member names without regard to letter case.
bool sameNameNoCase(const OLECHAR *name, const char *ascii)
{
    if (!name)
        return false;
    for (;; ++name, ++ascii) {
        OLECHAR a = *name;
        char b = *ascii;
        if (a >= u'A' && a <= u'Z')
            a = OLECHAR(a - u'A' + u'a');
        if (b >= 'A' && b <= 'Z')
            b = char(b - 'A' + 'a');
        if (a != OLECHAR(static_cast<unsigned char>(b)))
            return false;
        if (!b)
            return true;
    }
}

struct CMemberName
{
    const char *name;
    DISPID dispid;
    const char *params[2]; // parameter names, DISPIDs 0 and 1 by position
};

const CMemberName kMembers[] = {
    {"getCPU", kDispGetCpu, {"pvarInfo", nullptr}},
    {"getINFO", kDispGetInfo, {"bstrWMIClass", "pvarResult"}},
    {"query", kDispQuery, {"bstrSQL", "pvarResult"}},
};

class CBstr
{
public:
    explicit CBstr(const OLECHAR *text)
        : m_bstr(SysAllocString(text))
    { }
    explicit CBstr(const std::string &ansi)
    {
        const std::u16string wide = fromAnsi(ansi);
        m_bstr = SysAllocStringLen(wide.data(), UINT(wide.size()));
    }
    ~CBstr() { SysFreeString(m_bstr); }
    CBstr(const CBstr &) = delete;
    CBstr &operator=(const CBstr &) = delete;
    operator BSTR() const { return m_bstr; }

private:
    BSTR m_bstr;
};

} // namespace

HRESULT CDevice::createInstance(IUnknown *outer, REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (outer && !IsEqualIID(riid, IID_IUnknown))
        return CLASS_E_NOAGGREGATION;
    CDevice *device = new CDevice(outer);
    const HRESULT hr = device->m_inner.QueryInterface(riid, ppv);
    if (FAILED(hr))
        delete device;
    return hr;
}

HRESULT CDevice::UpdateRegistry(bool bRegister)
{
    return inquixModule().updateRegistryFromResource(IDR_DEVICE, bRegister);
}

CDevice::CDevice(IUnknown *outer)
    : m_refCount(0)
    , m_locator(nullptr)
    , m_services(nullptr)
    , m_inner(this)
    , m_outer(outer ? outer : &m_inner)
{
    inquixModule().lock();
}

CDevice::~CDevice()
{
    releaseWmi();
    inquixModule().unlock();
}

HRESULT CDevice::CInnerUnknown::QueryInterface(REFIID riid, void **ppvObject)
{
    if (!ppvObject)
        return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown)) {
        *ppvObject = static_cast<IUnknown *>(this);
        AddRef();
        return S_OK;
    }
    if (IsEqualIID(riid, IID_IDevice) || IsEqualIID(riid, IID_IDispatch)) {
        IDevice *device = m_device;
        *ppvObject = device;
        device->AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG CDevice::CInnerUnknown::AddRef()
{
    return ++m_device->m_refCount;
}

ULONG CDevice::CInnerUnknown::Release()
{
    const ULONG count = --m_device->m_refCount;
    if (count == 0) {
        m_device->m_refCount = 1; // a reference taken while tearing down must not delete twice
        delete m_device;
    }
    return count;
}

HRESULT CDevice::QueryInterface(REFIID riid, void **ppvObject)
{
    return m_outer->QueryInterface(riid, ppvObject);
}

ULONG CDevice::AddRef()
{
    return m_outer->AddRef();
}

ULONG CDevice::Release()
{
    return m_outer->Release();
}

HRESULT CDevice::GetTypeInfoCount(UINT *pctinfo)
{
    if (!pctinfo)
        return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

HRESULT CDevice::GetTypeInfo(UINT, LCID, ITypeInfo **ppTInfo)
{
    if (!ppTInfo)
        return E_POINTER;
    *ppTInfo = nullptr;
    return DISP_E_BADINDEX;
}

HRESULT CDevice::GetIDsOfNames(REFIID riid, LPOLESTR *rgszNames, UINT cNames, LCID, DISPID *rgDispId)
{
    if (!IsEqualIID(riid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    if (!rgszNames || !rgDispId || cNames == 0)
        return E_INVALIDARG;
    for (UINT i = 0; i < cNames; ++i)
        rgDispId[i] = DISPID_UNKNOWN;
    const CMemberName *member = nullptr;
    for (const CMemberName &m : kMembers)
        if (sameNameNoCase(rgszNames[0], m.name))
            member = &m;
    if (!member)
        return DISP_E_UNKNOWNNAME;
    rgDispId[0] = member->dispid;
    HRESULT hr = S_OK;
    for (UINT i = 1; i < cNames; ++i) {
        for (DISPID p = 0; p < 2; ++p)
            if (member->params[p] && sameNameNoCase(rgszNames[i], member->params[p]))
                rgDispId[i] = p;
        if (rgDispId[i] == DISPID_UNKNOWN)
            hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

HRESULT CDevice::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS *pDispParams,
    VARIANT *pVarResult, EXCEPINFO *, UINT *puArgErr)
{
    if (!IsEqualIID(riid, IID_NULL))
        return DISP_E_UNKNOWNINTERFACE;
    if (dispIdMember != kDispGetCpu && dispIdMember != kDispGetInfo && dispIdMember != kDispQuery)
        return DISP_E_MEMBERNOTFOUND;
    // Methods only; a caller that cannot tell a method from a property read asks for both.
    if (!(wFlags & DISPATCH_METHOD))
        return DISP_E_MEMBERNOTFOUND;
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    if (!pDispParams)
        pDispParams = &none;
    if (pDispParams->cNamedArgs != 0)
        return DISP_E_PARAMNOTFOUND;
    if (pDispParams->cArgs != 0 && !pDispParams->rgvarg)
        return E_INVALIDARG;
    return invokeMethod(dispIdMember, pDispParams, pVarResult, puArgErr);
}

HRESULT CDevice::invokeMethod(DISPID dispIdMember, DISPPARAMS *pDispParams, VARIANT *pVarResult, UINT *puArgErr)
{
    const UINT inCount = dispIdMember == kDispGetCpu ? 0 : 1;
    const UINT cArgs = pDispParams->cArgs;
    // The result comes back in pVarResult; a caller may also pass the [out] argument itself, as
    // the last argument, by reference.
    if (cArgs != inCount && cArgs != inCount + 1)
        return DISP_E_BADPARAMCOUNT;
    VARIANT *outArg = nullptr;
    if (cArgs == inCount + 1) {
        outArg = &pDispParams->rgvarg[0]; // arguments arrive in reverse order
        if (outArg->vt != (VT_BYREF | VT_VARIANT) || !outArg->pvarVal) {
            if (puArgErr)
                *puArgErr = 0;
            return DISP_E_TYPEMISMATCH;
        }
    }

    VARIANT coerced;
    VariantInit(&coerced);
    BSTR in = nullptr;
    if (inCount == 1) {
        const UINT index = cArgs - 1;
        const VARIANT &arg = pDispParams->rgvarg[index];
        if (arg.vt == VT_BSTR) {
            in = arg.bstrVal;
        } else if (arg.vt == (VT_BYREF | VT_BSTR) && arg.pbstrVal) {
            in = *arg.pbstrVal;
        } else {
            const VARIANT *source = &arg;
            if (arg.vt == (VT_BYREF | VT_VARIANT) && arg.pvarVal)
                source = arg.pvarVal;
            if (FAILED(VariantChangeType(&coerced, source, 0, VT_BSTR))) {
                if (puArgErr)
                    *puArgErr = index;
                return DISP_E_TYPEMISMATCH;
            }
            in = coerced.bstrVal;
        }
    }

    VARIANT result;
    VariantInit(&result);
    HRESULT hr;
    if (dispIdMember == kDispGetCpu)
        hr = getCPU(&result);
    else if (dispIdMember == kDispGetInfo)
        hr = getINFO(in, &result);
    else
        hr = query(in, &result);
    VariantClear(&coerced);

    // A refused query leaves the result as the caller passed it.
    if (result.vt != VT_EMPTY) {
        if (outArg) {
            VariantClear(outArg->pvarVal);
            if (pVarResult)
                VariantCopy(pVarResult, &result);
            *outArg->pvarVal = result;
        } else if (pVarResult) {
            *pVarResult = result;
        } else {
            VariantClear(&result);
        }
    }
    return hr;
}

void CDevice::releaseWmi()
{
    if (m_services) {
        m_services->Release();
        m_services = nullptr;
    }
    if (m_locator) {
        m_locator->Release();
        m_locator = nullptr;
    }
}

HRESULT CDevice::connectWmi(VARIANT *pvarResult)
{
    releaseWmi();
    // Process-wide security can be set once only; later calls are refused and change nothing,
    // which is why the result does not matter.
    CoInitializeSecurity(
        nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);

    void *locator = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_WbemAdministrativeLocator, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
        IID_IWbemLocator, &locator);
    if (FAILED(hr) || !locator) {
        setText(pvarResult, "CoCreateInstance error");
        return S_FALSE;
    }
    m_locator = static_cast<IWbemLocator *>(locator);

    CBstr nameSpace(u"root\\cimv2");
    IWbemServices *services = nullptr;
    hr = m_locator->ConnectServer(nameSpace, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services);
    if (FAILED(hr) || !services) {
        setText(pvarResult, "ConnectServer error");
        return S_FALSE;
    }
    m_services = services;
    return S_OK;
}

bool CDevice::runQuery(BSTR wql, bool joinWithCaret, bool filterProperties, std::string &text)
{
    CBstr language(u"WQL");
    IEnumWbemClassObject *enumerator = nullptr;
    const HRESULT hr = m_services->ExecQuery(language, wql, WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, &enumerator);
    if (FAILED(hr)) {
        if (enumerator)
            enumerator->Release();
        return false;
    }
    if (!enumerator)
        return false;

    text.clear();
    bool first = true;
    for (;;) {
        IWbemClassObject *object = nullptr;
        ULONG returned = 0;
        if (enumerator->Next(WBEM_INFINITE, 1, &object, &returned) != S_OK || returned == 0 || !object)
            break;
        if (!first && joinWithCaret)
            text += '^';
        first = false;

        SAFEARRAY *names = nullptr;
        if (SUCCEEDED(object->GetNames(nullptr, WBEM_MASK_CONDITION_ORIGIN, nullptr, &names)) && names) {
            LONG lower = 0;
            LONG upper = -1;
            SafeArrayGetLBound(names, 1, &lower);
            SafeArrayGetUBound(names, 1, &upper);
            for (LONG i = lower; i <= upper; ++i) {
                BSTR wideName = nullptr;
                if (FAILED(SafeArrayGetElement(names, &i, &wideName)) || !wideName)
                    continue;
                VARIANT value;
                VariantInit(&value);
                if (SUCCEEDED(object->Get(wideName, 0, &value, nullptr, nullptr))) {
                    VARIANT textValue;
                    VariantInit(&textValue);
                    if (SUCCEEDED(VariantChangeType(&textValue, &value, 0, VT_BSTR)) && textValue.vt == VT_BSTR) {
                        const std::string name = toAnsi(wideName);
                        const std::string valueText = toAnsi(textValue.bstrVal);
                        if (!filterProperties) {
                            text += name + '=' + valueText + '\n';
                        } else {
                            if (isQueryProperty(name))
                                text += name + '=' + valueText + '\n';
                            if (name == kInstallDate2)
                                text += name + '=' + leftChars(valueText, kInstallDateLength) + '\n';
                        }
                    }
                    VariantClear(&textValue);
                }
                VariantClear(&value);
                SysFreeString(wideName);
            }
            SafeArrayDestroy(names);
        }
        object->Release();
    }
    enumerator->Release();
    return true;
}

HRESULT CDevice::query(BSTR bstrSQL, VARIANT *pvarResult)
{
    if (!pvarResult)
        return E_POINTER;
    if (connectWmi(pvarResult) != S_OK)
        return S_FALSE;
    std::string text;
    if (!runQuery(bstrSQL, true, true, text))
        return S_FALSE;
    setText(pvarResult, text);
    return S_OK;
}

HRESULT CDevice::getINFO(BSTR bstrWMIClass, VARIANT *pvarResult)
{
    if (!pvarResult)
        return E_POINTER;
    if (connectWmi(pvarResult) != S_OK)
        return S_FALSE;
    CBstr wql("Select * from " + toAnsi(bstrWMIClass));
    std::string text;
    if (!runQuery(wql, false, false, text))
        return S_FALSE;
    setText(pvarResult, text);
    return S_OK;
}

HRESULT CDevice::getCPU(VARIANT *pvarInfo)
{
    CBstr wmiClass(u"Win32_Processor");
    return getINFO(wmiClass, pvarInfo);
}
