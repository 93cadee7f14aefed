#include "ctestmemory.h"

#include <QDir>
#include <QFile>

namespace {

// A field of /proc/<process>/status in KiB, -1 when there is none.
qint64 fieldKiB(const QString &process, const char *field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(process));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

bool clearPeak(const QString &process)
{
    QFile refs(QStringLiteral("/proc/%1/clear_refs").arg(process));
    return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
}

} // namespace

qint64 CTestMemory::statusKiB(const char *field)
{
    return qMax<qint64>(0, fieldKiB(QStringLiteral("self"), field));
}

bool CTestMemory::resetPeak()
{
    return clearPeak(QStringLiteral("self"));
}

qint64 CTestMemory::statusKiB(qint64 pid, const char *field)
{
    return fieldKiB(QString::number(pid), field);
}

bool CTestMemory::resetPeak(qint64 pid)
{
    return clearPeak(QString::number(pid));
}

int CTestMemory::openFiles(qint64 pid)
{
    return int(QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}
