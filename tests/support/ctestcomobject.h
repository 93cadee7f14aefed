#pragma once

// Base of the COM objects test libraries stand in with: reference counted, deleted at the last
// Release, and answering QueryInterface for IUnknown, its own interface identifier and, for
// automation objects, IDispatch. alive counts the objects of its kind that exist.

#include "combase.h"

#include <atomic>
#include <type_traits>

template<class Interface, class Counter = int> class CTestComObject : public Interface
{
public:
    CTestComObject(const IID &iid, Counter &alive)
        : m_iid(iid)
        , m_alive(alive)
    {
        ++m_alive;
    }
    CTestComObject(const CTestComObject &) = delete;
    CTestComObject &operator=(const CTestComObject &) = delete;

    HRESULT QueryInterface(REFIID riid, void **ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, m_iid)
            || (std::is_base_of<IDispatch, Interface>::value && IsEqualIID(riid, IID_IDispatch))) {
            *ppv = static_cast<Interface *>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_refs; }
    ULONG Release() override
    {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    virtual ~CTestComObject() { --m_alive; }

private:
    const IID &m_iid;
    Counter &m_alive;
    std::atomic<ULONG> m_refs {1};
};
