#include "cwbemenumerator.h"

#include "cwbemclassobject.h"

#include <QMutexLocker>

CWbemEnumerator::CWbemEnumerator(const QList<CWmiObject> &objects)
    : CWbemUnknown(IID_IEnumWbemClassObject)
    , m_objects(objects)
{ }

CWbemEnumerator::CWbemEnumerator(HRESULT error)
    : CWbemUnknown(IID_IEnumWbemClassObject)
    , m_error(error)
{ }

HRESULT CWbemEnumerator::Reset()
{
    QMutexLocker lock(&m_mutex);
    m_position = 0;
    return WBEM_S_NO_ERROR;
}

HRESULT CWbemEnumerator::Next(LONG lTimeout, ULONG uCount, IWbemClassObject **apObjects, ULONG *puReturned)
{
    if (!apObjects || !puReturned || (lTimeout < 0 && lTimeout != WBEM_INFINITE))
        return WBEM_E_INVALID_PARAMETER;
    *puReturned = 0;
    QMutexLocker lock(&m_mutex);
    if (FAILED(m_error))
        return m_error;
    // Every object is at hand already, so no time-out can pass while waiting.
    ULONG returned = 0;
    while (returned < uCount && m_position < m_objects.size()) {
        apObjects[returned] = new CWbemClassObject(m_objects.at(m_position));
        ++returned;
        ++m_position;
    }
    *puReturned = returned;
    return returned == uCount ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
}

HRESULT CWbemEnumerator::NextAsync(ULONG, IWbemObjectSink *)
{
    return WBEM_E_NOT_SUPPORTED;
}

HRESULT CWbemEnumerator::Clone(IEnumWbemClassObject **ppEnum)
{
    if (!ppEnum)
        return WBEM_E_INVALID_PARAMETER;
    QMutexLocker lock(&m_mutex);
    CWbemEnumerator *copy = FAILED(m_error) ? new CWbemEnumerator(m_error) : new CWbemEnumerator(m_objects);
    copy->m_position = m_position;
    *ppEnum = copy;
    return WBEM_S_NO_ERROR;
}

HRESULT CWbemEnumerator::Skip(LONG lTimeout, ULONG nCount)
{
    if (lTimeout < 0 && lTimeout != WBEM_INFINITE)
        return WBEM_E_INVALID_PARAMETER;
    QMutexLocker lock(&m_mutex);
    if (FAILED(m_error))
        return m_error;
    const qsizetype left = m_objects.size() - m_position;
    if (qsizetype(nCount) > left) {
        m_position = m_objects.size();
        return WBEM_S_FALSE;
    }
    m_position += nCount;
    return WBEM_S_NO_ERROR;
}
