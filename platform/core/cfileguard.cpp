#include "cfileguard.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMutex>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

QMutex *mutexFor(const QString &key)
{
    static QMutex tableLock;
    // Never destroyed: a guard may still be released from a static destructor at exit.
    static auto *table = new QHash<QString, QMutex *>;
    QMutexLocker locker(&tableLock);
    QMutex *&m = (*table)[key];
    if (!m)
        m = new QMutex;
    return m;
}

QString keyFor(const QString &path)
{
    QFileInfo info(path);
    const QString dir = info.absoluteDir().canonicalPath();
    if (dir.isEmpty())
        return QDir::cleanPath(info.absoluteFilePath());
    return dir + QLatin1Char('/') + info.fileName();
}

} // namespace

CFileGuard::CFileGuard(const QString &path)
    : m_mutex(mutexFor(keyFor(path)))
    , m_fd(-1)
{
    m_mutex->lock();
    const QByteArray lockPath = QFile::encodeName(keyFor(path) + QStringLiteral(".lock"));
    int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        ::close(fd);
        return;
    }
    m_fd = fd;
}

CFileGuard::~CFileGuard()
{
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
    }
    m_mutex->unlock();
}
