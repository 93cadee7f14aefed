#include "cwmioperatingsystemprovider.h"

#include "ccimdatetime.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QHash>
#include <QMessageAuthenticationCode>
#include <QSysInfo>

namespace {

// os-release style "KEY=value" lines; values may be quoted and use shell escapes.
QHash<QString, QString> parseAssignments(const QString &text)
{
    QHash<QString, QString> values;
    for (const QString &rawLine : text.split(QLatin1Char('\n'))) {
        const QString line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && (value.startsWith(QLatin1Char('"')) || value.startsWith(QLatin1Char('\'')))
            && value.endsWith(value.at(0))) {
            const bool doubleQuoted = value.at(0) == QLatin1Char('"');
            value = value.mid(1, value.size() - 2);
            if (doubleQuoted) {
                QString unescaped;
                for (qsizetype i = 0; i < value.size(); ++i) {
                    if (value.at(i) == QLatin1Char('\\') && i + 1 < value.size())
                        ++i;
                    unescaped.append(value.at(i));
                }
                value = unescaped;
            }
        }
        values.insert(line.left(eq).trimmed(), value);
    }
    return values;
}

// KB values of /proc/meminfo by field name.
QHash<QString, quint64> parseMeminfo(const QString &text)
{
    QHash<QString, quint64> values;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon <= 0)
            continue;
        bool ok = false;
        const quint64 kb
            = line.mid(colon + 1).section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty).toULongLong(&ok);
        if (ok)
            values.insert(line.left(colon).trimmed(), kb);
    }
    return values;
}

bool is64Bit(const QString &machine)
{
    return machine.contains(QLatin1String("64")) || machine == QLatin1String("s390x")
        || machine == QLatin1String("alpha");
}

// The machine id is meant to stay private to the machine; the inventory carries an id derived from
// it for this application, as systemd's application-specific ids are, so the raw id never leaves.
QString serialFromMachineId(const QString &machineId)
{
    const QByteArray raw = QByteArray::fromHex(machineId.toLatin1());
    if (machineId.size() != 32 || raw.size() != 16)
        return QString();
    static const QByteArray appId = QByteArray::fromHex("5b1f0e2a9c7d4e83a6b4d10c2e9f7a51");
    QByteArray id = QMessageAuthenticationCode::hash(appId, raw, QCryptographicHash::Sha256).left(16);
    id[6] = char((id[6] & 0x0F) | 0x40); // a version 4 UUID, as systemd makes them
    id[8] = char((id[8] & 0x3F) | 0x80);
    const QByteArray h = id.toHex().toUpper();
    return QString::fromLatin1(
        h.mid(0, 8) + '-' + h.mid(8, 4) + '-' + h.mid(12, 4) + '-' + h.mid(16, 4) + '-' + h.mid(20));
}

QVariant nonEmpty(const QString &text)
{
    return text.isEmpty() ? QVariant() : QVariant(text);
}

} // namespace

QList<CWmiObject> CWmiOperatingSystemProvider::objects() const
{
    QString osReleaseText = readText(QStringLiteral("/etc/os-release"));
    if (osReleaseText.isNull())
        osReleaseText = readText(QStringLiteral("/usr/lib/os-release"));
    const QString kernelType = readText(QStringLiteral("/proc/sys/kernel/ostype")).trimmed();
    const QString kernelRelease = readText(QStringLiteral("/proc/sys/kernel/osrelease")).trimmed();
    if (osReleaseText.isNull() && kernelType.isEmpty() && kernelRelease.isEmpty())
        return {};

    const QHash<QString, QString> osRelease = parseAssignments(osReleaseText);
    QString caption = osRelease.value(QStringLiteral("PRETTY_NAME"));
    if (caption.isEmpty())
        caption = osRelease.value(QStringLiteral("NAME"));
    if (caption.isEmpty())
        caption = (kernelType.isEmpty() ? QStringLiteral("Linux") : kernelType)
            + (kernelRelease.isEmpty() ? QString() : QLatin1Char(' ') + kernelRelease);
    QString manufacturer = osRelease.value(QStringLiteral("VENDOR_NAME"));
    if (manufacturer.isEmpty())
        manufacturer = osRelease.value(QStringLiteral("NAME"));
    // Windows shows the computer description here, an empty text when none is set.
    QString description
        = parseAssignments(readText(QStringLiteral("/etc/machine-info"))).value(QStringLiteral("PRETTY_HOSTNAME"));
    if (description.isNull())
        description = QLatin1String("");

    QString machine = readText(QStringLiteral("/proc/sys/kernel/arch")).trimmed();
    if (machine.isEmpty() && root() == QLatin1String("/"))
        machine = QSysInfo::currentCpuArchitecture();

    const QHash<QString, quint64> mem = parseMeminfo(readText(QStringLiteral("/proc/meminfo")));
    const QString memTotal = QStringLiteral("MemTotal");
    const QString memAvailable
        = mem.contains(QStringLiteral("MemAvailable")) ? QStringLiteral("MemAvailable") : QStringLiteral("MemFree");
    const QString swapTotal = QStringLiteral("SwapTotal");
    const QString swapFree = QStringLiteral("SwapFree");

    const QString machineIdPath = QStringLiteral("/etc/machine-id");
    const QString serial = serialFromMachineId(readText(machineIdPath).trimmed());
    // The machine id is written once, when the system is installed.
    const QFileInfo machineIdInfo(path(machineIdPath));
    QVariant installDate;
    if (machineIdInfo.exists())
        installDate = CCimDateTime::toText(machineIdInfo.lastModified());

    QVariant lastBoot;
    bool ok = false;
    const double uptime = readText(QStringLiteral("/proc/uptime")).section(QLatin1Char(' '), 0, 0).toDouble(&ok);
    if (ok && uptime >= 0) {
        const QDateTime now = m_now.isValid() ? m_now : QDateTime::currentDateTime();
        lastBoot = CCimDateTime::fromSecsSinceEpoch(now.toSecsSinceEpoch() - qint64(uptime));
    }

    CWmiObject o(className());
    o.set(QStringLiteral("BuildNumber"), nonEmpty(kernelRelease));
    o.set(QStringLiteral("Caption"), caption);
    o.set(QStringLiteral("CSName"), nonEmpty(readText(QStringLiteral("/proc/sys/kernel/hostname")).trimmed()));
    o.set(QStringLiteral("Description"), description);
    o.set(QStringLiteral("FreePhysicalMemory"),
        mem.contains(memAvailable) ? QVariant(mem.value(memAvailable)) : QVariant());
    o.set(QStringLiteral("FreeVirtualMemory"),
        mem.contains(memAvailable) ? QVariant(mem.value(memAvailable) + mem.value(swapFree)) : QVariant());
    o.set(QStringLiteral("InstallDate"), installDate);
    o.set(QStringLiteral("LastBootUpTime"), lastBoot);
    o.set(QStringLiteral("Manufacturer"), nonEmpty(manufacturer));
    o.set(QStringLiteral("Name"), caption);
    o.set(QStringLiteral("OSArchitecture"),
        machine.isEmpty() ? QVariant()
                          : QVariant(is64Bit(machine) ? QStringLiteral("64-bit") : QStringLiteral("32-bit")));
    o.set(QStringLiteral("OSType"), 36u); // CIM's code for Linux
    o.set(QStringLiteral("SerialNumber"), nonEmpty(serial));
    o.set(QStringLiteral("TotalVirtualMemorySize"),
        mem.contains(memTotal) ? QVariant(mem.value(memTotal) + mem.value(swapTotal)) : QVariant());
    o.set(
        QStringLiteral("TotalVisibleMemorySize"), mem.contains(memTotal) ? QVariant(mem.value(memTotal)) : QVariant());
    o.set(QStringLiteral("Version"), nonEmpty(osRelease.value(QStringLiteral("VERSION_ID"))));
    return {o};
}
