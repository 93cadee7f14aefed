#pragma once

#include "cwbemunknown.h"
#include "cwmiobject.h"
#include "wbeminterfaces.h"

#include <QList>
#include <QMutex>

// Hands out the objects of one query, one class object per instance, forward from the start.
class CWbemEnumerator : public CWbemUnknown<IEnumWbemClassObject>
{
public:
    explicit CWbemEnumerator(const QList<CWmiObject> &objects);
    // An enumeration that fails with error at its first fetch (an unknown class).
    explicit CWbemEnumerator(HRESULT error);

    HRESULT Reset() override;
    HRESULT Next(LONG lTimeout, ULONG uCount, IWbemClassObject **apObjects, ULONG *puReturned) override;
    HRESULT NextAsync(ULONG uCount, IWbemObjectSink *pSink) override;
    HRESULT Clone(IEnumWbemClassObject **ppEnum) override;
    HRESULT Skip(LONG lTimeout, ULONG nCount) override;

private:
    ~CWbemEnumerator() override = default;
    QMutex m_mutex;
    QList<CWmiObject> m_objects;
    qsizetype m_position = 0;
    HRESULT m_error = WBEM_S_NO_ERROR;
};
