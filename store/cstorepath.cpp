#include "cstorepath.h"

#include <QCoreApplication>

QString CStorePath::appDir()
{
    return dirOf(QCoreApplication::applicationFilePath());
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
