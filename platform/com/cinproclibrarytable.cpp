#include "cinproclibrarytable.h"

#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QRecursiveMutex>

#include <dlfcn.h>
#include <map>

namespace {

typedef HRESULT (*GetClassObjectFn)(REFCLSID, REFIID, void **);
typedef HRESULT (*CanUnloadNowFn)();

struct Library
{
    void *handle;
    GetClassObjectFn getClassObject;
    CanUnloadNowFn canUnloadNow;
};

// Recursive: a server may activate further classes while it makes its class object.
QRecursiveMutex g_lock;
std::map<QString, Library> &libraries()
{
    // Never destroyed: libraries stay loaded until the process ends, and a static destructor must
    // not unload a library whose objects may still be released by later destructors.
    static auto *table = new std::map<QString, Library>;
    return *table;
}

QString keyFor(const QString &path)
{
    if (!path.contains(QLatin1Char('/')))
        return path; // a bare name is found by the loader's search
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

} // namespace

HRESULT CInprocLibraryTable::getClassObject(const QString &path, REFCLSID clsid, REFIID riid, void **ppv)
{
    // The call into the library happens under the lock, so no other thread can unload it meanwhile.
    QMutexLocker locker(&g_lock);
    const QString key = keyFor(path);
    auto it = libraries().find(key);
    if (it == libraries().end()) {
        if (path.contains(QLatin1Char('/')) && !QFileInfo::exists(path))
            return CO_E_DLLNOTFOUND;
        void *handle = ::dlopen(QFile::encodeName(key).constData(), RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return path.contains(QLatin1Char('/')) ? CO_E_ERRORINDLL : CO_E_DLLNOTFOUND;
        Library lib;
        lib.handle = handle;
        lib.getClassObject = reinterpret_cast<GetClassObjectFn>(::dlsym(handle, "DllGetClassObject"));
        lib.canUnloadNow = reinterpret_cast<CanUnloadNowFn>(::dlsym(handle, "DllCanUnloadNow"));
        if (!lib.getClassObject) {
            ::dlclose(handle);
            return CO_E_ERRORINDLL;
        }
        it = libraries().emplace(key, lib).first;
    }
    return it->second.getClassObject(clsid, riid, ppv);
}

void CInprocLibraryTable::freeUnused()
{
    QMutexLocker locker(&g_lock);
    for (auto it = libraries().begin(); it != libraries().end();) {
        const Library &lib = it->second;
        if (lib.canUnloadNow && lib.canUnloadNow() == S_OK) {
            ::dlclose(lib.handle);
            it = libraries().erase(it);
        } else {
            ++it;
        }
    }
}

bool CInprocLibraryTable::isLoaded(const QString &path)
{
    QMutexLocker locker(&g_lock);
    return libraries().count(keyFor(path)) > 0;
}
