#include "canswerbudget.h"

#include <QMutexLocker>

#include <algorithm>

namespace {

const int kSliceMs = 100;

} // namespace

CAnswerBudget::CAnswerBudget(qint64 capacity)
    : m_capacity(capacity)
{ }

CAnswerBudget &CAnswerBudget::scan()
{
    static CAnswerBudget budget(qint64(64) * 1024 * 1024);
    return budget;
}

bool CAnswerBudget::mayGo(quint64 ticket, qint64 bytes) const
{
    return m_line.front() == ticket && (m_held == 0 || m_held + bytes <= m_capacity);
}

bool CAnswerBudget::acquire(qint64 bytes, const std::function<bool()> &stop)
{
    QMutexLocker locker(&m_lock);
    const quint64 ticket = m_nextTicket++;
    m_line.push_back(ticket);
    while (!mayGo(ticket, bytes)) {
        if (stop && stop()) {
            m_line.erase(std::find(m_line.begin(), m_line.end(), ticket));
            m_changed.wakeAll(); // the next in line may go now
            return false;
        }
        m_changed.wait(&m_lock, kSliceMs);
    }
    m_line.pop_front();
    m_held += bytes;
    m_peak = qMax(m_peak, m_held);
    m_changed.wakeAll(); // the next may fit beside this one
    return true;
}

void CAnswerBudget::release(qint64 bytes)
{
    QMutexLocker locker(&m_lock);
    m_held -= bytes;
    m_changed.wakeAll();
}

void CAnswerBudget::setCapacity(qint64 capacity)
{
    QMutexLocker locker(&m_lock);
    m_capacity = capacity;
    m_changed.wakeAll();
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

int CAnswerBudget::waiting() const
{
    QMutexLocker locker(&m_lock);
    return int(m_line.size());
}
