#pragma once

#include "combase.h"
#include "cwbemmodule.h"

#include <atomic>

// The IUnknown part every object of the stand-in shares: it answers for IUnknown and its one
// interface, is deleted at its last Release, and counts as a live object of the module meanwhile
// (so the COM runtime keeps the library loaded).
template<class Interface> class CWbemUnknown : public Interface
{
public:
    explicit CWbemUnknown(const IID &iid)
        : m_iid(iid)
    {
        CWbemModule::objectCreated();
    }
    CWbemUnknown(const CWbemUnknown &) = delete;
    CWbemUnknown &operator=(const CWbemUnknown &) = delete;

    HRESULT QueryInterface(REFIID riid, void **ppvObject) override
    {
        if (!ppvObject)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == m_iid) {
            *ppvObject = static_cast<Interface *>(this);
            AddRef();
            return S_OK;
        }
        *ppvObject = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override
    {
        const ULONG refs = --m_refs;
        if (refs == 0)
            delete this;
        return refs;
    }

protected:
    virtual ~CWbemUnknown() { CWbemModule::objectDestroyed(); }

private:
    const IID &m_iid;
    std::atomic<ULONG> m_refs {1};
};
