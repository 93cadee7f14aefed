#include "cinquixmodule.h"

#include "cdevice.h"
#include "cinquixclassfactory.h"
#include "inquix_i.h"
#include "inquixresources.h"
#include "utf8text.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>

namespace {

CInquixModule g_inquixModule;

// Locale switch for the length of a registration: scripts and the type library are written under
// the system default locale, and the caller's thread gets its own back whatever happens.
class CLocaleSwitch
{
public:
    CLocaleSwitch()
        : m_saved(GetThreadLocale())
    {
        SetThreadLocale(LOCALE_SYSTEM_DEFAULT);
    }
    ~CLocaleSwitch() { SetThreadLocale(m_saved); }
    CLocaleSwitch(const CLocaleSwitch &) = delete;
    CLocaleSwitch &operator=(const CLocaleSwitch &) = delete;

private:
    LCID m_saved;
};

} // namespace

CInquixModule &inquixModule()
{
    return g_inquixModule;
}

CInquixModule::CInquixModule()
    : m_lockCount(0)
    , m_objectTable {{&CLSID_Device, &CDevice::UpdateRegistry, &CDevice::createInstance, nullptr}}
{ }

CInquixModule::~CInquixModule()
{
    for (CObjectEntry &entry : m_objectTable) {
        if (entry.factory)
            entry.factory->Release();
        entry.factory = nullptr;
    }
}

LONG CInquixModule::lock()
{
    return ++m_lockCount;
}

LONG CInquixModule::unlock()
{
    return --m_lockCount;
}

LONG CInquixModule::lockCount() const
{
    return m_lockCount;
}

void CInquixModule::addAppIdReplacement(std::vector<COMREGREPLACEMENT> &replacements)
{
    replacements.push_back({u"APPID", kInquixAppId});
}

HRESULT CInquixModule::canUnloadNow() const
{
    return lockCount() == 0 ? S_OK : S_FALSE;
}

HRESULT CInquixModule::getClassObject(REFCLSID rclsid, REFIID riid, void **ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    for (CObjectEntry &entry : m_objectTable) {
        if (!IsEqualCLSID(rclsid, *entry.clsid))
            continue;
        IClassFactory *factory;
        {
            std::lock_guard<std::mutex> guard(m_factoryMutex);
            if (!entry.factory)
                entry.factory = new CInquixClassFactory(entry.createInstance);
            factory = entry.factory;
        }
        return factory->QueryInterface(riid, ppv);
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

std::u16string CInquixModule::modulePath()
{
    Dl_info info;
    if (!dladdr(reinterpret_cast<void *>(&inquixModule), &info) || !info.dli_fname)
        return std::u16string();
    // The loader keeps the name it was given, which may be relative to the caller's directory.
    char resolved[PATH_MAX];
    if (!realpath(info.dli_fname, resolved))
        return std::u16string();
    return utf8ToUtf16(resolved, std::strlen(resolved));
}

HRESULT CInquixModule::updateRegistryFromResource(int resourceId, bool bRegister)
{
    const char *script = inquixRegistryScript(resourceId);
    if (!script)
        return E_INVALIDARG;
    const std::u16string path = modulePath();
    if (path.empty())
        return E_UNEXPECTED;
    std::vector<COMREGREPLACEMENT> replacements;
    replacements.push_back({u"MODULE", path.c_str()});
    addAppIdReplacement(replacements);
    return ComRegistrarUpdate(script, bRegister ? COM_TRUE : COM_FALSE, replacements.data(), int(replacements.size()));
}

HRESULT CInquixModule::registerServer()
{
    CLocaleSwitch locale;
    HRESULT hr = updateRegistryFromResource(IDR_INQUIX, true);
    for (CObjectEntry &entry : m_objectTable) {
        if (FAILED(hr))
            break;
        hr = entry.updateRegistry(true);
    }
    if (SUCCEEDED(hr)) {
        const std::u16string path = modulePath();
        hr = path.empty() ? E_UNEXPECTED : ComRegisterTypeLib(&inquixTypeLibInfo(), path.c_str());
    }
    return FAILED(hr) ? hr : S_OK;
}

HRESULT CInquixModule::unregisterServer()
{
    CLocaleSwitch locale;
    HRESULT hr = S_OK;
    for (CObjectEntry &entry : m_objectTable) {
        hr = entry.updateRegistry(false);
        if (FAILED(hr))
            break;
    }
    if (SUCCEEDED(hr)) {
        const COMTYPELIBINFO &lib = inquixTypeLibInfo();
        hr = UnRegisterTypeLib(lib.libid, lib.majorVersion, lib.minorVersion, lib.lcid, SYS_WIN32);
    }
    if (SUCCEEDED(hr))
        hr = updateRegistryFromResource(IDR_INQUIX, false);
    return FAILED(hr) ? hr : S_OK;
}
