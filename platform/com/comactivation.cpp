// Activation of in-process servers: the class registry names the library of a class under
// CLSID\{clsid}\InprocServer32, the library's DllGetClassObject hands out the class factory.

#include "cclassregistry.h"
#include "ccomapartment.h"
#include "ccomtext.h"
#include "cinproclibrarytable.h"
#include "combase.h"

#include <QFileInfo>

#include <dlfcn.h>

namespace {

// {CB8555CC-9128-11D1-AD9B-00C04FD8FDFF}
const CLSID kWbemAdministrativeLocator = {0xCB8555CC, 0x9128, 0x11D1, {0xAD, 0x9B, 0x00, 0xC0, 0x4F, 0xD8, 0xFD, 0xFF}};

// The WMI stand-in is part of the platform, like the system's own WMI: it needs no registration and
// lies beside this library.
QString builtInWmiLibrary()
{
    Dl_info info;
    if (!::dladdr(reinterpret_cast<void *>(&CoCreateInstance), &info) || !info.dli_fname)
        return QString();
    return QFileInfo(QString::fromLocal8Bit(info.dli_fname)).absolutePath() + QStringLiteral("/libbramixwmi.so");
}

HRESULT serverPath(REFCLSID rclsid, QString *path)
{
    CRegistryTree tree;
    if (CClassRegistry().load(&tree) != CClassRegistry::Ok)
        return REGDB_E_READREGDB;
    const QString key = QStringLiteral("CLSID\\") + CComText::guidText(rclsid) + QStringLiteral("\\InprocServer32");
    QString data;
    if (tree.value(key, QString(), &data) && !data.isEmpty()) {
        *path = data;
        return S_OK;
    }
    if (rclsid == kWbemAdministrativeLocator) {
        *path = builtInWmiLibrary();
        return path->isEmpty() ? REGDB_E_CLASSNOTREG : S_OK;
    }
    return REGDB_E_CLASSNOTREG;
}

} // namespace

extern "C" {

HRESULT CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void *pvReserved, REFIID riid, void **ppv)
{
    (void)pvReserved;
    if (!ppv)
        return E_INVALIDARG;
    *ppv = nullptr;
    if (!CComApartment::isEntered())
        return CO_E_NOTINITIALIZED;
    // Only in-process servers exist here; a request for other contexts finds no server.
    if (!(dwClsContext & CLSCTX_INPROC_SERVER))
        return REGDB_E_CLASSNOTREG;
    QString path;
    const HRESULT hr = serverPath(rclsid, &path);
    if (FAILED(hr))
        return hr;
    return CInprocLibraryTable::getClassObject(path, rclsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown *pUnkOuter, DWORD dwClsContext, REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    IClassFactory *factory = nullptr;
    HRESULT hr
        = CoGetClassObject(rclsid, dwClsContext, nullptr, IID_IClassFactory, reinterpret_cast<void **>(&factory));
    if (FAILED(hr))
        return hr;
    if (!factory)
        return E_NOINTERFACE;
    hr = factory->CreateInstance(pUnkOuter, riid, ppv);
    factory->Release();
    if (FAILED(hr))
        *ppv = nullptr;
    return hr;
}

void CoFreeUnusedLibraries()
{
    CInprocLibraryTable::freeUnused();
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID *lpclsid)
{
    if (!lpszProgID || !lpclsid)
        return E_INVALIDARG;
    QString progId = CComText::fromOle(lpszProgID);
    if (!CRegistryTree::isValidPath(progId) || progId.contains(QLatin1Char('\\')))
        return CO_E_CLASSSTRING;
    CRegistryTree tree;
    if (CClassRegistry().load(&tree) != CClassRegistry::Ok)
        return REGDB_E_READREGDB;
    // A version-independent ProgID names its current version under CurVer: follow the chain and
    // take the CLSID of the last ProgID on it that has one. The bound only guards against a loop.
    QString found;
    for (int depth = 0; depth < 8; ++depth) {
        QString clsidText;
        if (tree.value(progId + QStringLiteral("\\CLSID"), QString(), &clsidText))
            found = clsidText.isNull() ? QStringLiteral("") : clsidText;
        QString curVer;
        if (!tree.value(progId + QStringLiteral("\\CurVer"), QString(), &curVer) || curVer.isEmpty()
            || !CRegistryTree::isValidPath(curVer) || curVer.contains(QLatin1Char('\\')))
            break;
        progId = curVer;
    }
    GUID g;
    if (found.isNull() || !CComText::parseGuid(found, &g))
        return CO_E_CLASSSTRING;
    *lpclsid = g;
    return S_OK;
}

} // extern "C"
