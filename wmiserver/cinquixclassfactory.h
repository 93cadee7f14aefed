#pragma once

#include "combase.h"

#include <atomic>

// The class factory of one creatable class. The module keeps one reference for its whole life;
// every further reference, held by a client, keeps the module locked, as LockServer does.
class CInquixClassFactory final : public IClassFactory
{
public:
    typedef HRESULT (*Creator)(IUnknown *outer, REFIID riid, void **ppv);
    explicit CInquixClassFactory(Creator creator);

    HRESULT QueryInterface(REFIID riid, void **ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppvObject) override;
    HRESULT LockServer(BOOL fLock) override;

private:
    ~CInquixClassFactory() = default;

    std::atomic<ULONG> m_refCount;
    Creator m_creator;
};
