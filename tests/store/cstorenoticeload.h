#pragma once

#include <QString>
#include <QStringList>

// The load of the concurrency tests, the same in the test program's threads and in the helper
// process: notices whose rows are unique by tag, thread and number, and clients and folders whose
// names are unique by tag and number.
class CStoreNoticeLoad
{
public:
    // The items of notice k of thread t: one row added to CPU, one to Software.
    static QString items(const QString &tag, int t, int k);
    static QString cpuRow(const QString &tag, int t, int k);
    static QString softwareRow(const QString &tag, int t, int k);
    // Notice k of thread t goes to client (t + k) % count.
    static int clientOf(int t, int k, int count) { return (t + k) % count; }

    // Runs threads x perThread notices; 0 when every applyChange returned 0.
    static int runNotices(const QString &tag, int threads, int perThread, const QStringList &uuids);
    // Adds count clients and count folders, alternating; 0 when every call returned 0.
    static int runAdder(const QString &tag, int count);
};
