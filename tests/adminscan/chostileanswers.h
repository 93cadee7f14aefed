#pragma once

#include <QString>

// Identity answers as large as a probe takes (an extended frame of just under 16 MiB), for the scan
// tests and benchmarks: a real inventory of many rows, and two that cost the console most per byte.
class CHostileAnswers
{
public:
    // Bytes of the largest frame a probe reads.
    static constexpr qint64 MaxFrameBytes = 16 * 1024 * 1024;

    // About 70,000 Software rows of a real inventory, filling the frame.
    static QString realRows(const QString &uuid, const QString &hostLabel);
    // One Software block of nothing but "$": millions of empty rows.
    static QString dollars(const QString &uuid, const QString &hostLabel);
    // One Software block of millions of one-letter rows, whose file is ten times the answer.
    static QString letters(const QString &uuid, const QString &hostLabel);
    // Nothing but "^" after the identity: millions of empty class blocks.
    static QString carets(const QString &uuid, const QString &hostLabel);

    CHostileAnswers() = delete;
};
