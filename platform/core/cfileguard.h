#pragma once

#include <QString>

class QMutex;

// Exclusive lock on one file for a whole read-modify-write cycle. It excludes other threads of this
// process (a mutex per path) and other processes (flock on "<path>.lock" beside the file). flock
// alone would not do: two descriptors of one process are not excluded by fcntl locks, and a lock
// file of QLockFile is advisory by name only.
class CFileGuard
{
public:
    explicit CFileGuard(const QString &path);
    ~CFileGuard();

    CFileGuard(const CFileGuard &) = delete;
    CFileGuard &operator=(const CFileGuard &) = delete;

    // False when the lock file could not be opened or locked (the mutex is still held).
    bool isLocked() const { return m_fd >= 0; }

private:
    QMutex *m_mutex;
    int m_fd;
};
