#include "cstorepath.h"

#include <QCoreApplication>
#include <QMutex>

QString CStorePath::appFilePath()
{
    // The toolkit fills its own cache of this path without a lock, so first calls from several
    // worker threads at once race (one copy is lost). Ours is filled once, under a lock.
    static QMutex lock;
    static QString path;
    QMutexLocker locker(&lock);
    if (path.isEmpty())
        path = QCoreApplication::applicationFilePath();
    return path;
}

QString CStorePath::appDir()
{
    return dirOf(appFilePath());
}

QString CStorePath::dirOf(const QString &path)
{
    int pos = path.lastIndexOf(QLatin1Char('/'));
    if (pos < 0)
        pos = path.lastIndexOf(QLatin1Char('\\'));
    if (pos < 0)
        return path;
    return path.left(pos);
}

bool CStorePath::isSafeUuid(const QString &uuid)
{
    if (uuid.isEmpty())
        return false;
    for (const QChar c : uuid) {
        const ushort u = c.unicode();
        const bool ok = (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F') || u == '-'
            || u == '{' || u == '}';
        if (!ok)
            return false;
    }
    return true;
}
