#pragma once

#include <QString>

class QMutex;

// Exclusive lock on one file for a whole read-modify-write cycle. It excludes other threads of this
// process (a mutex per path) and other processes (flock on "<path>.lock" beside the file). flock
// alone would not do: two descriptors of one process are not excluded by fcntl locks, and a lock
// file of QLockFile is advisory by name only.
//
// A thread asked to stop (QThread::requestInterruption) gives up waiting: a service that is
// stopping must not hang on a lock another process holds. The guard then holds nothing and
// isLocked() is false, so the caller changes nothing.
class CFileGuard
{
public:
    explicit CFileGuard(const QString &path);
    ~CFileGuard();

    CFileGuard(const CFileGuard &) = delete;
    CFileGuard &operator=(const CFileGuard &) = delete;

    // False when the lock file could not be opened or locked, or the wait was given up.
    bool isLocked() const { return m_fd >= 0; }

private:
    bool lockMutex();
    bool lockFile(int fd);

    QMutex *m_mutex;
    bool m_mutexHeld;
    int m_fd;
};
