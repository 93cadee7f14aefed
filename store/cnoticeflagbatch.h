#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

// Notice flags of list.xml, committed in groups. Each change notice sets its client's flag, and a
// rewrite of the whole list costs far more than the flag: flips that arrive while one write of the
// list is under way wait and are all made by the next single write. A caller returns only once the
// write that holds its flip has replaced the file (or failed), with that write's result.
class CNoticeFlagBatch
{
public:
    struct Flip
    {
        QString uuid;
        QString value;
    };
    // Makes the flips, in order, in one locked change of the file: the change's result; written
    // receives the file's new content when it is 0.
    typedef std::function<int(const QList<Flip> &flips, QByteArray *written)> Writer;

    // Queues the flip for the file at path and returns once a write holding it is done. The
    // caller's writer makes the write when no other write of that file is under way at the time.
    static int flip(const QString &path, const Flip &flip, const Writer &writer, QByteArray *written);
};
