#include "cdigestcache.h"

#include <QMutexLocker>
#include <QSet>

#include <chrono>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

// The default is coarser than any file system's time stamps (ext4 and tmpfs tick with the kernel's
// clock).
CDigestCache::CDigestCache(qint64 granularityNs, Clock clock)
    : m_granularityNs(granularityNs)
    , m_clock(clock ? std::move(clock) : Clock([] {
        return qint64(
            std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
                .count());
    }))
{ }

bool CDigestCache::keyOf(int fd, Key &key) const
{
#ifdef Q_OS_UNIX
    // The clock first: a version that was old then cannot change in place without a new time stamp,
    // however long its read takes.
    key.takenNs = m_clock();
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0)
        return false;
    key.device = quint64(st.st_dev);
    key.inode = quint64(st.st_ino);
    key.size = qint64(st.st_size);
    key.mtimeNs = qint64(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    key.ctimeNs = qint64(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
    return true;
#else
    Q_UNUSED(fd);
    Q_UNUSED(key);
    return false; // no inode to tell file versions apart: always read afresh
#endif
}

bool CDigestCache::find(const QString &path, const Key &key, QMap<QString, QString> &digests) const
{
    QMutexLocker lock(&m_mutex);
    const auto it = m_entries.constFind(path);
    if (it == m_entries.constEnd() || !(it->key == key))
        return false;
    digests = it->digests;
    return true;
}

void CDigestCache::insert(const QString &path, const Key &key, const QMap<QString, QString> &digests)
{
    QMutexLocker lock(&m_mutex);
    if (key.takenNs - key.mtimeNs < m_granularityNs || key.takenNs - key.ctimeNs < m_granularityNs) {
        m_entries.remove(path);
        return;
    }
    m_entries.insert(path, Entry {key, digests});
}

void CDigestCache::retain(const QStringList &paths)
{
    const QSet<QString> keep(paths.begin(), paths.end());
    QMutexLocker lock(&m_mutex);
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (keep.contains(it.key()))
            ++it;
        else
            it = m_entries.erase(it);
    }
}

void CDigestCache::clear()
{
    QMutexLocker lock(&m_mutex);
    m_entries.clear();
}

int CDigestCache::size() const
{
    QMutexLocker lock(&m_mutex);
    return int(m_entries.size());
}
