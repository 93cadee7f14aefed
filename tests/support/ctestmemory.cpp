#include "ctestmemory.h"

#include <QFile>

qint64 CTestMemory::statusKiB(const char *field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

bool CTestMemory::resetPeak()
{
    QFile refs("/proc/self/clear_refs");
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}
