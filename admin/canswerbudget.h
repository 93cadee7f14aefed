#pragma once

#include <QMutex>

// The bytes of identity answers that the scan's probes hold in memory. A probe charges what it holds
// as it arrives, never what a peer announces, and never waits for room: an answer that does not fit
// goes on in a file of its own (CScanAnswer). So a peer that announces much and sends little holds
// nothing that another probe needs.
class CAnswerBudget
{
public:
    explicit CAnswerBudget(qint64 capacity);

    // The budget every probe of the console shares: 16 MiB.
    static CAnswerBudget &scan();

    // Takes bytes when they fit beside what is held; false, taking nothing, otherwise.
    bool tryTake(qint64 bytes);
    void release(qint64 bytes);

    void setCapacity(qint64 capacity);
    qint64 capacity() const;
    qint64 held() const;
    // The most bytes held at once since the last resetPeak().
    qint64 peak() const;
    void resetPeak();

private:
    mutable QMutex m_lock;
    qint64 m_capacity;
    qint64 m_held = 0;
    qint64 m_peak = 0;
};
