#pragma once

#include <QList>
#include <QString>

// Records, from the calls themselves, the data syncs, syncs and renames this process makes in one
// directory, to check that a file replacement is durable: the program's own calls of fdatasync,
// fsync and rename reach the definitions of the test executable that links this, which note them
// and go on to the system's.
class CSyncRecorder
{
public:
    struct Event
    {
        enum Kind { DataSync, Sync, Rename } kind;
        QString path; // the file synced, or the name renamed from
        QString to; // the name renamed to
    };

    // Records the calls on dir and on the files in it from here on, in any thread.
    static void start(const QString &dir);
    static QList<Event> stop();

    // Empty when every rename into dir is durable: the renamed file's data were synced before it
    // and dir itself after it; else what is missing. renames receives their count.
    static QString durabilityFault(const QList<Event> &events, const QString &dir, int *renames);
};
