#include "cwmihardwarehelper.h"

#include "cwmiprovider.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

CWmiObject CWmiHardwareHelper::sortedObject(const QString &className, const PropertyList &properties)
{
    PropertyList sorted = properties;
    std::stable_sort(
        sorted.begin(), sorted.end(), [](const QPair<QString, QVariant> &a, const QPair<QString, QVariant> &b) {
            return a.first.compare(b.first, Qt::CaseInsensitive) < 0;
        });
    CWmiObject object(className);
    for (const QPair<QString, QVariant> &p : sorted)
        object.set(p.first, p.second);
    return object;
}

QString CWmiHardwareHelper::attribute(const CWmiProvider &provider, const QString &machinePath)
{
    const QString text = provider.readText(machinePath);
    if (text.isNull())
        return QString();
    return text.trimmed();
}

qint64 CWmiHardwareHelper::number(const CWmiProvider &provider, const QString &machinePath, bool *ok)
{
    const QString text = attribute(provider, machinePath);
    bool good = false;
    qint64 value = 0;
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        value = text.mid(2).toLongLong(&good, 16);
    else
        value = text.toLongLong(&good, 10);
    if (ok)
        *ok = good;
    return good ? value : 0;
}

QString CWmiHardwareHelper::resolvedPath(const CWmiProvider &provider, const QString &machinePath)
{
    const QString canonical = QFileInfo(provider.path(machinePath)).canonicalFilePath();
    if (canonical.isEmpty())
        return QString();
    const QString root = QFileInfo(provider.root()).canonicalFilePath();
    if (root.isEmpty() || root == QLatin1String("/"))
        return canonical;
    if (canonical.startsWith(root + QLatin1Char('/')))
        return canonical.mid(root.size());
    return QString();
}

QStringList CWmiHardwareHelper::entries(const CWmiProvider &provider, const QString &machineDir)
{
    QStringList names
        = QDir(provider.path(machineDir)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
    std::sort(names.begin(), names.end(), naturalLess);
    return names;
}

bool CWmiHardwareHelper::naturalLess(const QString &a, const QString &b)
{
    // Compare runs of digits by value and other runs by text, so "nvme2n1" < "nvme10n1".
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (a.at(i).isDigit() && b.at(j).isDigit()) {
            qsizetype ei = i;
            qsizetype ej = j;
            while (ei < a.size() && a.at(ei).isDigit())
                ++ei;
            while (ej < b.size() && b.at(ej).isDigit())
                ++ej;
            const qulonglong x = a.mid(i, ei - i).toULongLong();
            const qulonglong y = b.mid(j, ej - j).toULongLong();
            if (x != y)
                return x < y;
            i = ei;
            j = ej;
            continue;
        }
        qsizetype ei = i;
        qsizetype ej = j;
        while (ei < a.size() && !a.at(ei).isDigit())
            ++ei;
        while (ej < b.size() && !b.at(ej).isDigit())
            ++ej;
        const QString x = a.mid(i, ei - i);
        const QString y = b.mid(j, ej - j);
        if (x != y) {
            // Shorter letter runs first, so "sdz" comes before "sdaa" as the kernel names them.
            if (x.size() != y.size())
                return x.size() < y.size();
            return x < y;
        }
        i = ei;
        j = ej;
    }
    return a.size() - i < b.size() - j;
}
