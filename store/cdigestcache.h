#pragma once

#include <QHash>
#include <QMap>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <functional>

// Digest summaries of client files kept between searches. An entry is keyed by the identity of the
// file version it was read from (device, inode, size, modification and status change times to the
// nanosecond). The store replaces files by rename, so a changed file has a new identity; an entry
// is only kept when the file was older than the time-stamp granularity just before its identity was
// taken, so a file changed in place within one clock tick (same size, same time stamps) is never
// answered from the cache. It holds the clients of the last list read only. Thread-safe.
class CDigestCache
{
public:
    struct Key
    {
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = -1;
        qint64 mtimeNs = 0;
        qint64 ctimeNs = 0;
        qint64 takenNs = 0; // the clock just before the identity was taken; not part of it
        bool operator==(const Key &o) const
        {
            return device == o.device && inode == o.inode && size == o.size && mtimeNs == o.mtimeNs
                && ctimeNs == o.ctimeNs;
        }
    };

    // Nanoseconds since the epoch, as file time stamps count.
    typedef std::function<qint64()> Clock;

    // granularityNs: how old a file version must be, just before its identity is taken, to be kept.
    // clock: the system clock unless given.
    explicit CDigestCache(qint64 granularityNs = 2000000000LL, Clock clock = Clock());

    // The identity of the file open on fd, taken before it is read; false when it cannot be taken (the
    // cache is then bypassed).
    bool keyOf(int fd, Key &key) const;

    bool find(const QString &path, const Key &key, QMap<QString, QString> &digests) const;
    // Stores the summary unless the file version is too recent to be told apart from a later one.
    void insert(const QString &path, const Key &key, const QMap<QString, QString> &digests);
    // Drops the entries of every file not among paths (the files of the clients listed now).
    void retain(const QStringList &paths);
    void clear();
    int size() const;

private:
    struct Entry
    {
        Key key;
        QMap<QString, QString> digests;
    };
    const qint64 m_granularityNs;
    const Clock m_clock;
    mutable QMutex m_mutex;
    QHash<QString, Entry> m_entries;
};
