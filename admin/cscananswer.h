#pragma once

#include <QString>
#include <QStringView>

// The identity answer of one probe, kept as its bytes arrive: the frame's body is one serialised
// string (32-bit big-endian byte count, UTF-16 big-endian units; a count of FFFFFFFF is the null
// string), stored already as host-order UTF-16. A small answer is held in memory and charged to
// CAnswerBudget::scan() as it grows; a larger one, or one the budget has no room for, goes to an
// unlinked temporary file, so a peer that announces much and sends slowly holds none of the
// console's memory. Once complete, text() is the whole answer: for a file, a view of its mapping,
// without a copy.
//
//   CScanAnswer answer;
//   answer.begin(bodyBytes);                  // the body's size as the frame announced it
//   while (answer.status() == CScanAnswer::NeedMore)
//       answer.feed(bytes, n);                // at most bytesWanted() of the body
//   answer.finish();                          // maps a file; then text() until destruction
class CScanAnswer
{
public:
    // Answers up to this size are held in memory when the budget has room.
    static constexpr qint64 MemoryBytes = 64 * 1024;
    // The start of the answer, kept in memory whatever its size: the identity part must lie in it.
    static constexpr qsizetype HeadUnits = 4096;

    enum Status {
        NeedMore,
        Complete, // the string is whole; what follows it in the body is not read
        Invalid // no string fits the body, or the file could not be written
    };

    CScanAnswer();
    ~CScanAnswer();
    CScanAnswer(const CScanAnswer &) = delete;
    CScanAnswer &operator=(const CScanAnswer &) = delete;

    Status begin(qint64 bodyBytes);
    Status feed(const char *data, qint64 size);
    Status status() const { return m_status; }
    // Bytes of the body still needed for the string (never more than the body holds).
    qint64 bytesWanted() const;

    // The first HeadUnits units of the string (all of it when shorter), as they have arrived.
    QStringView head() const { return m_head; }
    // The units of the whole string.
    qsizetype size() const { return m_units; }
    bool isInFile() const { return m_fd >= 0; }

    // Makes text() valid; false when a file could not be mapped.
    bool finish();
    // The whole answer, valid while this object lives; empty for the null string.
    const QString &text() const { return m_text; }

private:
    bool store(const char16_t *units, qsizetype count);
    bool toFile();

    Status m_status = Invalid;
    qint64 m_bodyBytes = 0;
    unsigned char m_lengthBytes[4] = {};
    int m_lengthGot = 0;
    qsizetype m_units = 0; // of the string, once its length is read
    qsizetype m_unitsGot = 0;
    bool m_haveOdd = false; // the first byte of a unit that the last chunk cut in two
    unsigned char m_odd = 0;
    QString m_head;
    QString m_memory; // the units so far, when held in memory
    qint64 m_charged = 0; // bytes of m_memory charged to the budget
    int m_fd = -1;
    void *m_map = nullptr;
    QString m_text;
};
