#include "cfileguard.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QThread>

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

bool stopAsked()
{
    QThread *self = QThread::currentThread();
    return self && self->isInterruptionRequested();
}

// How often a waiter looks whether it was asked to stop.
const int mutexSliceMs = 50;
// A lock another process holds is tried again after this many milliseconds, doubling up to the
// most: a short wait for the usual brief hold, and no busy loop for a long one.
const int firstRetryMs = 1;
const int mostRetryMs = 10;

} // namespace

CFileGuard::CFileGuard(const QString &path)
    : m_mutex(mutexFor(keyFor(path)))
    , m_mutexHeld(false)
    , m_fd(-1)
{
    if (!lockMutex())
        return;
    const QByteArray lockPath = QFile::encodeName(keyFor(path) + QStringLiteral(".lock"));
    int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    if (!lockFile(fd)) {
        ::close(fd);
        return;
    }
    m_fd = fd;
}

bool CFileGuard::lockMutex()
{
    while (!m_mutex->tryLock(mutexSliceMs)) {
        if (stopAsked())
            return false;
    }
    m_mutexHeld = true;
    return true;
}

// A blocking flock cannot be cut short by a stop, so a held lock is tried again in steps.
bool CFileGuard::lockFile(int fd)
{
    int retryMs = firstRetryMs;
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return false;
        if (stopAsked())
            return false;
        QThread::msleep(ulong(retryMs));
        retryMs = qMin(retryMs * 2, mostRetryMs);
    }
}

CFileGuard::~CFileGuard()
{
    if (m_fd >= 0) {
        ::flock(m_fd, LOCK_UN);
        ::close(m_fd);
    }
    if (m_mutexHeld)
        m_mutex->unlock();
}
