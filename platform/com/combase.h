#pragma once

// The COM interfaces and functions the system calls, declared for our own in-process COM runtime
// (libbramixcom). Names, slot orders and values are those the callers expect of COM; nothing here is
// taken from a platform header. One ABI only (x86-64 / aarch64 Linux), so no calling-convention marks.

#include <cstddef>
#include <cstdint>

typedef int32_t HRESULT;
typedef int32_t LONG;
typedef uint32_t ULONG;
typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef uint16_t USHORT;
typedef int16_t SHORT;
typedef uint8_t BYTE;
typedef int8_t CHAR;
typedef int32_t INT;
typedef uint32_t UINT;
typedef int64_t LONGLONG;
typedef uint64_t ULONGLONG;
typedef int32_t BOOL;
typedef uint32_t LCID;
typedef int32_t DISPID;
typedef uint16_t VARTYPE;
typedef int16_t VARIANT_BOOL;
typedef double DATE;

typedef char16_t OLECHAR;
typedef OLECHAR *BSTR;
typedef OLECHAR *LPOLESTR;
typedef const OLECHAR *LPCOLESTR;

#define COM_TRUE 1
#define COM_FALSE 0
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

// HRESULT values
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001u)
#define E_NOINTERFACE ((HRESULT)0x80004002u)
#define E_POINTER ((HRESULT)0x80004003u)
#define E_ABORT ((HRESULT)0x80004004u)
#define E_FAIL ((HRESULT)0x80004005u)
#define E_UNEXPECTED ((HRESULT)0x8000FFFFu)
#define E_ACCESSDENIED ((HRESULT)0x80070005u)
#define E_OUTOFMEMORY ((HRESULT)0x8007000Eu)
#define E_INVALIDARG ((HRESULT)0x80070057u)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110u)
#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111u)
#define REGDB_E_READREGDB ((HRESULT)0x80040150u)
#define REGDB_E_WRITEREGDB ((HRESULT)0x80040151u)
#define REGDB_E_KEYMISSING ((HRESULT)0x80040152u)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154u)
#define REGDB_E_IIDNOTREG ((HRESULT)0x80040155u)
#define SELFREG_E_TYPELIB ((HRESULT)0x80040200u)
#define SELFREG_E_CLASS ((HRESULT)0x80040201u)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0u)
#define CO_E_CLASSSTRING ((HRESULT)0x800401F3u)
#define CO_E_DLLNOTFOUND ((HRESULT)0x800401F8u)
#define CO_E_ERRORINDLL ((HRESULT)0x800401F9u)
#define RPC_E_CHANGED_MODE ((HRESULT)0x80010106u)
#define RPC_E_TOO_LATE ((HRESULT)0x80010119u)
#define DISP_E_UNKNOWNINTERFACE ((HRESULT)0x80020001u)
#define DISP_E_MEMBERNOTFOUND ((HRESULT)0x80020003u)
#define DISP_E_PARAMNOTFOUND ((HRESULT)0x80020004u)
#define DISP_E_TYPEMISMATCH ((HRESULT)0x80020005u)
#define DISP_E_UNKNOWNNAME ((HRESULT)0x80020006u)
#define DISP_E_BADVARTYPE ((HRESULT)0x80020008u)
#define DISP_E_EXCEPTION ((HRESULT)0x80020009u)
#define DISP_E_OVERFLOW ((HRESULT)0x8002000Au)
#define DISP_E_BADINDEX ((HRESULT)0x8002000Bu)
#define DISP_E_ARRAYISLOCKED ((HRESULT)0x8002000Du)
#define DISP_E_BADPARAMCOUNT ((HRESULT)0x8002000Eu)
#define DISP_E_PARAMNOTOPTIONAL ((HRESULT)0x8002000Fu)
#define TYPE_E_REGISTRYACCESS ((HRESULT)0x8002801Cu)
#define TYPE_E_LIBNOTREGISTERED ((HRESULT)0x8002801Du)

// CoInitializeEx
#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2

// Class contexts
#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4

// CoInitializeSecurity
#define RPC_C_AUTHN_LEVEL_DEFAULT 0
#define RPC_C_AUTHN_LEVEL_PKT 4
#define RPC_C_IMP_LEVEL_IMPERSONATE 3
#define EOAC_NONE 0

// Locales
#define LOCALE_SYSTEM_DEFAULT 0x0800
#define LOCALE_USER_DEFAULT 0x0400

// IDispatch::Invoke flags
#define DISPATCH_METHOD 0x1
#define DISPATCH_PROPERTYGET 0x2
#define DISPATCH_PROPERTYPUT 0x4
#define DISPID_UNKNOWN (-1)
#define DISPID_PROPERTYPUT (-3)

// VariantChangeType flags
#define VARIANT_NOVALUEPROP 0x1
#define VARIANT_ALPHABOOL 0x2

// Type library registration
#define SYS_WIN32 1
#define SYS_WIN64 3

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_CY = 6,
    VT_DATE = 7,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_I1 = 16,
    VT_UI1 = 17,
    VT_UI2 = 18,
    VT_UI4 = 19,
    VT_I8 = 20,
    VT_UI8 = 21,
    VT_INT = 22,
    VT_UINT = 23,
    VT_ARRAY = 0x2000,
    VT_BYREF = 0x4000,
    VT_TYPEMASK = 0x0FFF
};

struct GUID
{
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID CLSID;
typedef const GUID &REFGUID;
typedef const IID &REFIID;
typedef const CLSID &REFCLSID;

inline bool operator==(const GUID &a, const GUID &b)
{
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3)
        return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i])
            return false;
    return true;
}
inline bool operator!=(const GUID &a, const GUID &b)
{
    return !(a == b);
}
#define IsEqualGUID(a, b) ((a) == (b))
#define IsEqualIID(a, b) ((a) == (b))
#define IsEqualCLSID(a, b) ((a) == (b))

struct SAFEARRAYBOUND
{
    ULONG cElements;
    LONG lLbound;
};

// One-dimensional arrays are all the system uses (the property names of a WMI object).
struct SAFEARRAY
{
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void *pvData;
    VARTYPE vt; // element type (our runtime keeps it here)
    SAFEARRAYBOUND rgsabound[1];
};

struct IUnknown;
struct IDispatch;

struct VARIANT
{
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union
    {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        HRESULT scode;
        DATE date;
        BSTR bstrVal;
        IUnknown *punkVal;
        IDispatch *pdispVal;
        SAFEARRAY *parray;
        CHAR cVal;
        USHORT uiVal;
        ULONG ulVal;
        ULONGLONG ullVal;
        INT intVal;
        UINT uintVal;
        BSTR *pbstrVal;
        VARIANT *pvarVal;
        void *byref;
    };
};
typedef VARIANT VARIANTARG;

struct DISPPARAMS
{
    VARIANTARG *rgvarg; // arguments in reverse order, as COM passes them
    DISPID *rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO
{
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    void *pvReserved;
    HRESULT (*pfnDeferredFillIn)(EXCEPINFO *);
    HRESULT scode;
};

struct ITypeInfo; // no type information is served; GetTypeInfo answers E_NOTIMPL or 0 infos

struct IUnknown
{
    virtual HRESULT QueryInterface(REFIID riid, void **ppvObject) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default; // objects are destroyed through Release only
};

struct IDispatch : public IUnknown
{
    virtual HRESULT GetTypeInfoCount(UINT *pctinfo) = 0;
    virtual HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo **ppTInfo) = 0;
    virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR *rgszNames, UINT cNames, LCID lcid, DISPID *rgDispId) = 0;
    virtual HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS *pDispParams,
        VARIANT *pVarResult, EXCEPINFO *pExcepInfo, UINT *puArgErr)
        = 0;

protected:
    ~IDispatch() = default;
};

struct IClassFactory : public IUnknown
{
    virtual HRESULT CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppvObject) = 0;
    virtual HRESULT LockServer(BOOL fLock) = 0;

protected:
    ~IClassFactory() = default;
};

// Registry-script replacement ("%NAME%" in a script becomes value).
struct COMREGREPLACEMENT
{
    const OLECHAR *name;
    const OLECHAR *value;
};

// What a type-library registration records (the counterpart of registering a TYPELIB resource).
struct COMTYPELIBINFO
{
    GUID libid;
    WORD majorVersion;
    WORD minorVersion;
    LCID lcid;
    const OLECHAR *name; // e.g. u"InquixLib"
    const OLECHAR *helpString; // library help string
    GUID iid; // the one dual interface the library describes
    const OLECHAR *interfaceName;
};

extern "C" {

// Well-known identifiers
extern const IID IID_IUnknown; // {00000000-0000-0000-C000-000000000046}
extern const IID IID_IDispatch; // {00020400-0000-0000-C000-000000000046}
extern const IID IID_IClassFactory; // {00000001-0000-0000-C000-000000000046}
extern const IID IID_NULL; // all zero

// Apartments and security. Each thread has its own apartment: the first CoInitializeEx answers
// S_OK, later ones S_FALSE (each needs its CoUninitialize), RPC_E_CHANGED_MODE when the mode differs
// from the one the thread holds. Only the first CoInitializeSecurity of a process succeeds; every
// later call answers RPC_E_TOO_LATE and changes nothing.
HRESULT CoInitializeEx(void *pvReserved, DWORD dwCoInit);
HRESULT CoInitialize(void *pvReserved); // apartment-threaded
void CoUninitialize();
HRESULT CoInitializeSecurity(void *pSecDesc, LONG cAuthSvc, void *asAuthSvc, void *pReserved1, DWORD dwAuthnLevel,
    DWORD dwImpLevel, void *pAuthList, DWORD dwCapabilities, void *pReserved3);

// Activation of in-process servers, from a thread that has initialised COM (else
// CO_E_NOTINITIALIZED): CLSID\{clsid}\InprocServer32 in the class registry names the library
// (REGDB_E_CLASSNOTREG without it; CO_E_DLLNOTFOUND when it is missing, CO_E_ERRORINDLL when it
// cannot be loaded or has no DllGetClassObject). CLSID_WbemAdministrativeLocator needs no entry: it
// is served by libbramixwmi.so beside libbramixcom.so. The object is made in the calling thread
// whatever its ThreadingModel says. CoFreeUnusedLibraries unloads every library whose
// DllCanUnloadNow answers S_OK.
HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown *pUnkOuter, DWORD dwClsContext, REFIID riid, void **ppv);
HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void *pvReserved, REFIID riid, void **ppv);
void CoFreeUnusedLibraries();

// Identifiers and their text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (upper case written,
// either case read). CLSIDFromProgID follows CurVer to the current version's CLSID; an unknown
// ProgID gives CO_E_CLASSSTRING.
HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID *lpclsid);
HRESULT CLSIDFromString(LPCOLESTR lpsz, CLSID *pclsid);
HRESULT IIDFromString(LPCOLESTR lpsz, IID *lpiid);
int StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax); // characters written incl. terminator, 0 if short

// Strings: length-prefixed UTF-16, terminated, owned by whoever receives them
BSTR SysAllocString(const OLECHAR *psz);
BSTR SysAllocStringLen(const OLECHAR *strIn, UINT ui);
void SysFreeString(BSTR bstrString);
UINT SysStringLen(BSTR pbstr);

// Variants. VariantChangeType to VT_BSTR uses the C locale: integers in decimal, reals with '.'
// and the shortest exact form (an exponent only where shorter: "1e+20"), currency with up to four
// decimals, booleans "True"/"False", dates "yyyy-MM-dd hh:mm:ss" (years 100 to 9999, else
// DISP_E_OVERFLOW); VT_NULL and VT_EMPTY to VT_BSTR fail with DISP_E_TYPEMISMATCH. VT_BSTR and the
// source's own type are the only targets (others: DISP_E_TYPEMISMATCH).
void VariantInit(VARIANTARG *pvarg);
HRESULT VariantClear(VARIANTARG *pvarg);
HRESULT VariantCopy(VARIANTARG *pvargDest, const VARIANTARG *pvargSrc);
HRESULT VariantChangeType(VARIANTARG *pvargDest, const VARIANTARG *pvarSrc, USHORT wFlags, VARTYPE vt);

// Safe arrays (one dimension)
SAFEARRAY *SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
HRESULT SafeArrayDestroy(SAFEARRAY *psa);
HRESULT SafeArrayGetLBound(SAFEARRAY *psa, UINT nDim, LONG *plLbound);
HRESULT SafeArrayGetUBound(SAFEARRAY *psa, UINT nDim, LONG *plUbound);
HRESULT SafeArrayGetElement(SAFEARRAY *psa, LONG *rgIndices, void *pv); // copies (BSTR: new string)
// Put: pv is the BSTR or the interface pointer itself for VT_BSTR, VT_UNKNOWN and VT_DISPATCH
// arrays, the address of the value for every other type.
HRESULT SafeArrayPutElement(SAFEARRAY *psa, LONG *rgIndices, void *pv); // copies
HRESULT SafeArrayCopy(SAFEARRAY *psa, SAFEARRAY **ppsaOut); // deep copy

// Thread locale (registration switches it and restores it). Per thread; a thread starts with
// 0x0409 (English, United States), and both default locales are taken as that.
LCID GetThreadLocale();
BOOL SetThreadLocale(LCID Locale);

// Class registry (the counterpart of HKEY_CLASSES_ROOT, the file classregistry.json in the platform
// state directory) through registry scripts, the notation of the registrar: keys,
// "val name = s 'text'", "NoRemove", "ForceRemove", "Delete", "%NAME%" replacements (see
// cregistrarscript.h). A script is applied whole or not at all: DISP_E_EXCEPTION for an invalid
// script, REGDB_E_READREGDB / REGDB_E_WRITEREGDB when the registry cannot be read / written.
// Type libraries go under TypeLib\{libid}\<major.minor> and Interface\{iid}; UnRegisterTypeLib
// removes the version whole and answers TYPE_E_REGISTRYACCESS when it is not registered.
HRESULT ComRegistrarUpdate(
    const char *scriptUtf8, BOOL bRegister, const COMREGREPLACEMENT *replacements, int replacementCount);
HRESULT ComRegisterTypeLib(const COMTYPELIBINFO *info, LPCOLESTR libraryPath);
HRESULT UnRegisterTypeLib(REFGUID libID, WORD wVerMajor, WORD wVerMinor, LCID lcid, int syskind);

} // extern "C"
