#pragma once

#include <QHash>
#include <QMap>
#include <QMutex>
#include <QString>

// Digest summaries of client files kept between searches. An entry is keyed by the identity of the
// file version it was read from (device, inode, size, modification and status change times to the
// nanosecond). The store replaces files by rename, so a changed file has a new identity; an entry
// is only kept when the file was older than the time-stamp granularity when it was read, so a file
// changed in place within one clock tick is never answered from the cache. Thread-safe.
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
        bool operator==(const Key &o) const
        {
            return device == o.device && inode == o.inode && size == o.size && mtimeNs == o.mtimeNs
                && ctimeNs == o.ctimeNs;
        }
    };

    // granularityNs: how old a file version must be, when read, to be kept.
    explicit CDigestCache(qint64 granularityNs = 2000000000LL);

    // The identity of the file open on fd; false when it cannot be taken (the cache is then bypassed).
    static bool keyOf(int fd, Key &key);

    bool find(const QString &path, const Key &key, QMap<QString, QString> &digests) const;
    // Stores the summary unless the file version is too recent to be told apart from a later one.
    void insert(const QString &path, const Key &key, const QMap<QString, QString> &digests);
    void clear();
    int size() const;

private:
    struct Entry
    {
        Key key;
        QMap<QString, QString> digests;
    };
    const qint64 m_granularityNs;
    mutable QMutex m_mutex;
    QHash<QString, Entry> m_entries;
};
