#include "canswerbudget.h"

#include <QMutexLocker>

CAnswerBudget::CAnswerBudget(qint64 capacity)
    : m_capacity(capacity)
{ }

CAnswerBudget &CAnswerBudget::scan()
{
    static CAnswerBudget budget(qint64(16) * 1024 * 1024);
    return budget;
}

bool CAnswerBudget::tryTake(qint64 bytes)
{
    QMutexLocker locker(&m_lock);
    if (m_held + bytes > m_capacity)
        return false;
    m_held += bytes;
    m_peak = qMax(m_peak, m_held);
    return true;
}

void CAnswerBudget::release(qint64 bytes)
{
    QMutexLocker locker(&m_lock);
    m_held -= bytes;
}

void CAnswerBudget::setCapacity(qint64 capacity)
{
    QMutexLocker locker(&m_lock);
    m_capacity = capacity;
}

qint64 CAnswerBudget::capacity() const
{
    QMutexLocker locker(&m_lock);
    return m_capacity;
}

qint64 CAnswerBudget::held() const
{
    QMutexLocker locker(&m_lock);
    return m_held;
}

qint64 CAnswerBudget::peak() const
{
    QMutexLocker locker(&m_lock);
    return m_peak;
}

void CAnswerBudget::resetPeak()
{
    QMutexLocker locker(&m_lock);
    m_peak = m_held;
}
