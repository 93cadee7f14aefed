#pragma once

#include "combase.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

// The in-process server module: one per process, alive while the library is loaded. It keeps the
// lock count that decides whether the library may be unloaded, the table of its creatable classes
// with their class factories, and writes and removes the registry entries from its scripts.
class CInquixModule
{
public:
    CInquixModule();
    virtual ~CInquixModule();

    virtual LONG lock();
    virtual LONG unlock();
    virtual LONG lockCount() const;
    // Adds "APPID" = the module's AppID text for every script the module runs.
    virtual void addAppIdReplacement(std::vector<COMREGREPLACEMENT> &replacements);

    HRESULT canUnloadNow() const;
    HRESULT getClassObject(REFCLSID rclsid, REFIID riid, void **ppv);
    HRESULT registerServer();
    HRESULT unregisterServer();
    // Runs registry script resourceId to write (bRegister) or to remove its keys.
    HRESULT updateRegistryFromResource(int resourceId, bool bRegister);

    // The full path of this library's file, or empty when it cannot be found.
    static std::u16string modulePath();

private:
    struct CObjectEntry
    {
        const CLSID *clsid;
        HRESULT (*updateRegistry)(bool bRegister);
        HRESULT (*createInstance)(IUnknown *outer, REFIID riid, void **ppv);
        IClassFactory *factory; // made at the first request, kept for the module's life
    };

    std::atomic<LONG> m_lockCount;
    CObjectEntry m_objectTable[1];
    std::mutex m_factoryMutex; // serialises the first creation of a class factory
};

CInquixModule &inquixModule();
