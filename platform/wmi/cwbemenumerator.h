#pragma once

#include "cwmiobject.h"
#include "wbeminterfaces.h"

#include <QList>
#include <QMutex>

#include <atomic>

// Hands out the objects of one query, one class object per instance, forward from the start.
class CWbemEnumerator : public IEnumWbemClassObject
{
public:
    explicit CWbemEnumerator(const QList<CWmiObject> &objects);
    // An enumeration that fails with error at its first fetch (an unknown class).
    explicit CWbemEnumerator(HRESULT error);
    CWbemEnumerator(const CWbemEnumerator &) = delete;
    CWbemEnumerator &operator=(const CWbemEnumerator &) = delete;

    HRESULT QueryInterface(REFIID riid, void **ppvObject) override;
    ULONG AddRef() override;
    ULONG Release() override;

    HRESULT Reset() override;
    HRESULT Next(LONG lTimeout, ULONG uCount, IWbemClassObject **apObjects, ULONG *puReturned) override;
    HRESULT NextAsync(ULONG uCount, IWbemObjectSink *pSink) override;
    HRESULT Clone(IEnumWbemClassObject **ppEnum) override;
    HRESULT Skip(LONG lTimeout, ULONG nCount) override;

private:
    virtual ~CWbemEnumerator();

    std::atomic<ULONG> m_refs {1};
    QMutex m_mutex;
    QList<CWmiObject> m_objects;
    qsizetype m_position = 0;
    HRESULT m_error = WBEM_S_NO_ERROR;
};
