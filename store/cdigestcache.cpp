#include "cdigestcache.h"

#include <QMutexLocker>

#include <chrono>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

// The default is coarser than any file system's time stamps (ext4 and tmpfs tick with the kernel's
// clock).
CDigestCache::CDigestCache(qint64 granularityNs)
    : m_granularityNs(granularityNs)
{ }

bool CDigestCache::keyOf(int fd, Key &key)
{
#ifdef Q_OS_UNIX
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
    const qint64 now = qint64(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch())
            .count());
    QMutexLocker lock(&m_mutex);
    if (now - key.mtimeNs < m_granularityNs || now - key.ctimeNs < m_granularityNs) {
        m_entries.remove(path);
        return;
    }
    m_entries.insert(path, Entry {key, digests});
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
