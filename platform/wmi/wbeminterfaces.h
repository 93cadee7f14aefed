#pragma once

// The WMI interfaces that the Device object calls, over our COM runtime. Slot order follows what the
// callers expect of WMI; only the methods the system calls carry behaviour, the rest answer
// WBEM_E_NOT_SUPPORTED.

#include "combase.h"

typedef LONG CIMTYPE;

#define WBEM_S_NO_ERROR ((HRESULT)0)
#define WBEM_S_FALSE ((HRESULT)1)
#define WBEM_S_TIMEDOUT ((HRESULT)0x40004)
#define WBEM_E_FAILED ((HRESULT)0x80041001u)
#define WBEM_E_NOT_FOUND ((HRESULT)0x80041002u)
#define WBEM_E_INVALID_PARAMETER ((HRESULT)0x80041008u)
#define WBEM_E_INVALID_CLASS ((HRESULT)0x80041010u)
#define WBEM_E_NOT_SUPPORTED ((HRESULT)0x8004100Cu)
#define WBEM_E_INVALID_NAMESPACE ((HRESULT)0x8004100Eu)
#define WBEM_E_INVALID_QUERY ((HRESULT)0x80041017u)
#define WBEM_E_INVALID_QUERY_TYPE ((HRESULT)0x80041018u)

#define WBEM_FLAG_RETURN_IMMEDIATELY 0x10
#define WBEM_FLAG_FORWARD_ONLY 0x20
#define WBEM_INFINITE ((LONG)0xFFFFFFFF)
#define WBEM_MASK_CONDITION_ORIGIN 0x70
#define WBEM_FLAG_ALWAYS 0
#define WBEM_FLAG_NONSYSTEM_ONLY 0x40
#define WBEM_FLAG_LOCAL_ONLY 0x10
#define WBEM_FLAG_PROPAGATED_ONLY 0x20
#define WBEM_FLAG_SYSTEM_ONLY 0x30

// CIM types reported by IWbemClassObject::Get
#define CIM_EMPTY 0
#define CIM_SINT32 3
#define CIM_REAL64 5
#define CIM_STRING 8
#define CIM_BOOLEAN 11
#define CIM_UINT32 19
#define CIM_SINT64 20
#define CIM_UINT64 21

struct IWbemContext;
struct IWbemCallResult;
struct IWbemObjectSink;
struct IWbemQualifierSet;
struct IWbemServices;

struct IWbemClassObject : public IUnknown
{
    virtual HRESULT GetQualifierSet(IWbemQualifierSet **ppQualSet) = 0;
    virtual HRESULT Get(LPCOLESTR wszName, LONG lFlags, VARIANT *pVal, CIMTYPE *pType, LONG *plFlavor) = 0;
    virtual HRESULT Put(LPCOLESTR wszName, LONG lFlags, VARIANT *pVal, CIMTYPE Type) = 0;
    virtual HRESULT Delete(LPCOLESTR wszName) = 0;
    // Property names in the object's own order; the caller destroys the array.
    virtual HRESULT GetNames(LPCOLESTR wszQualifierName, LONG lFlags, VARIANT *pQualifierVal, SAFEARRAY **pNames) = 0;

protected:
    ~IWbemClassObject() = default;
};

struct IEnumWbemClassObject : public IUnknown
{
    virtual HRESULT Reset() = 0;
    // S_OK when uCount objects were returned, WBEM_S_FALSE when fewer (end), an error otherwise.
    virtual HRESULT Next(LONG lTimeout, ULONG uCount, IWbemClassObject **apObjects, ULONG *puReturned) = 0;
    virtual HRESULT NextAsync(ULONG uCount, IWbemObjectSink *pSink) = 0;
    virtual HRESULT Clone(IEnumWbemClassObject **ppEnum) = 0;
    virtual HRESULT Skip(LONG lTimeout, ULONG nCount) = 0;

protected:
    ~IEnumWbemClassObject() = default;
};

struct IWbemServices : public IUnknown
{
    virtual HRESULT OpenNamespace(const BSTR strNamespace, LONG lFlags, IWbemContext *pCtx,
        IWbemServices **ppWorkingNamespace, IWbemCallResult **ppResult)
        = 0;
    virtual HRESULT CancelAsyncCall(IWbemObjectSink *pSink) = 0;
    virtual HRESULT QueryObjectSink(LONG lFlags, IWbemObjectSink **ppResponseHandler) = 0;
    virtual HRESULT GetObject(const BSTR strObjectPath, LONG lFlags, IWbemContext *pCtx, IWbemClassObject **ppObject,
        IWbemCallResult **ppCallResult)
        = 0;
    // "select * from <class>" in language "WQL"; anything else is refused at once.
    virtual HRESULT ExecQuery(const BSTR strQueryLanguage, const BSTR strQuery, LONG lFlags, IWbemContext *pCtx,
        IEnumWbemClassObject **ppEnum)
        = 0;

protected:
    ~IWbemServices() = default;
};

struct IWbemLocator : public IUnknown
{
    // Only "root\cimv2" (any letter case, "\\" or "/" as separator) can be connected to.
    virtual HRESULT ConnectServer(const BSTR strNetworkResource, const BSTR strUser, const BSTR strPassword,
        const BSTR strLocale, LONG lSecurityFlags, const BSTR strAuthority, IWbemContext *pCtx,
        IWbemServices **ppNamespace)
        = 0;

protected:
    ~IWbemLocator() = default;
};

extern "C" {
extern const CLSID CLSID_WbemAdministrativeLocator; // {CB8555CC-9128-11D1-AD9B-00C04FD8FDFF}
extern const IID IID_IWbemLocator; // {DC12A687-737F-11CF-884D-00AA004B2E24}
extern const IID IID_IWbemServices; // {9556DC99-828C-11CF-A37E-00AA003240C7}
extern const IID IID_IEnumWbemClassObject; // {027947E1-D731-11CE-A357-000000000001}
extern const IID IID_IWbemClassObject; // {DC12A681-737F-11CF-884D-00AA004B2E24}
}
