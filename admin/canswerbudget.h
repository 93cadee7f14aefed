#pragma once

#include <QMutex>
#include <QWaitCondition>

#include <deque>
#include <functional>

// The bytes of identity answers that the scan's probes hold at once. An answer may be 16 MiB, and a
// probe holds it (and what is made of it) until its client's file is written: hundreds of probes
// reading such answers at once would take all the memory there is.
//
// A probe asks for its answer's bytes before reading them. Probes are let through in the order they
// asked while the bytes held stay within the capacity; the first in line always goes when nothing is
// held, so an answer larger than the capacity is read too, alone.
class CAnswerBudget
{
public:
    explicit CAnswerBudget(qint64 capacity);

    // The budget every probe of the console shares: 64 MiB.
    static CAnswerBudget &scan();

    // Waits for the caller's turn and takes bytes. False, holding nothing, when stop() (asked every
    // 100 ms while waiting) says so.
    bool acquire(qint64 bytes, const std::function<bool()> &stop);
    void release(qint64 bytes);

    void setCapacity(qint64 capacity);
    qint64 capacity() const;
    qint64 held() const;
    // The most bytes held at once since the last resetPeak().
    qint64 peak() const;
    void resetPeak();
    int waiting() const;

private:
    // Lets the first in line go when its bytes fit; called under m_lock.
    bool mayGo(quint64 ticket, qint64 bytes) const;

    mutable QMutex m_lock;
    QWaitCondition m_changed;
    qint64 m_capacity;
    qint64 m_held = 0;
    qint64 m_peak = 0;
    quint64 m_nextTicket = 0;
    std::deque<quint64> m_line; // tickets of the callers waiting, in the order they came
};
