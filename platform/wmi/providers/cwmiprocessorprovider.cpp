#include "cwmiprocessorprovider.h"

#include "cwmihardwarehelper.h"
#include "cwmismbiostable.h"

#include <QMap>
#include <QSet>
#include <QStringList>

#include <cmath>

namespace {
typedef QMap<QString, QString> Block;

// /proc/cpuinfo as one block of "key : value" lines per logical processor.
QList<Block> parseCpuInfo(const QString &text)
{
    QList<Block> blocks;
    Block current;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        if (line.trimmed().isEmpty()) {
            if (!current.isEmpty())
                blocks.append(current);
            current.clear();
            continue;
        }
        const qsizetype colon = line.indexOf(QLatin1Char(':'));
        if (colon < 0)
            continue;
        current.insert(line.left(colon).trimmed(), line.mid(colon + 1).trimmed());
    }
    if (!current.isEmpty())
        blocks.append(current);
    // Some architectures put machine-wide lines in a block of their own, with no processor line.
    QList<Block> processors;
    for (const Block &b : blocks)
        if (b.contains(QStringLiteral("processor")))
            processors.append(b);
    return processors;
}

QString brandName(const Block &b)
{
    for (const char *key : {"model name", "cpu model", "Processor", "cpu"}) {
        const QString v = b.value(QLatin1String(key));
        if (!v.isEmpty())
            return v;
    }
    return QString();
}

QString armImplementer(const QString &code)
{
    bool ok = false;
    const uint id = code.toUInt(&ok, 0);
    if (!ok)
        return QString();
    switch (id) {
    case 0x41:
        return QStringLiteral("ARM");
    case 0x42:
        return QStringLiteral("Broadcom");
    case 0x43:
        return QStringLiteral("Cavium");
    case 0x48:
        return QStringLiteral("HiSilicon");
    case 0x4e:
        return QStringLiteral("NVIDIA");
    case 0x51:
        return QStringLiteral("Qualcomm");
    case 0x61:
        return QStringLiteral("Apple");
    case 0xc0:
        return QStringLiteral("Ampere");
    default:
        return QString();
    }
}

QVariant mhzFromKhzFile(const CWmiProvider &provider, const QString &cpuDir, const char *file)
{
    bool ok = false;
    const qint64 khz
        = CWmiHardwareHelper::number(provider, cpuDir + QLatin1String("/cpufreq/") + QLatin1String(file), &ok);
    if (!ok || khz <= 0)
        return QVariant();
    return int((khz + 500) / 1000);
}
} // namespace

QList<CWmiObject> CWmiProcessorProvider::objects() const
{
    const QString text = readText(QStringLiteral("/proc/cpuinfo"));
    if (text.isEmpty())
        return {};
    const QList<Block> processors = parseCpuInfo(text);
    if (processors.isEmpty())
        return {};

    // One object per physical package; a cpuinfo without package ids describes one package.
    QMap<int, QList<Block>> packages;
    for (const Block &b : processors) {
        bool ok = false;
        const int id = b.value(QStringLiteral("physical id")).toInt(&ok);
        packages[ok ? id : 0].append(b);
    }

    // Socket names come only from the firmware's processor structures, in table order.
    QList<CWmiSmbiosTable::Structure> sockets;
    for (const CWmiSmbiosTable::Structure &s : CWmiSmbiosTable::read(*this).structures(4))
        if (s.byteAt(0x18) < 0 || (s.byteAt(0x18) & 0x40))
            sockets.append(s);

    QList<CWmiObject> result;
    int index = 0;
    for (auto it = packages.cbegin(); it != packages.cend(); ++it, ++index) {
        const QList<Block> &logical = it.value();
        const Block &first = logical.first();
        const QString vendor = first.value(QStringLiteral("vendor_id"));
        const QString manufacturer
            = !vendor.isEmpty() ? vendor : armImplementer(first.value(QStringLiteral("CPU implementer")));
        const bool longMode
            = first.value(QStringLiteral("flags")).split(QLatin1Char(' ')).contains(QStringLiteral("lm"));

        QString caption = brandName(first);
        const QString family = first.value(QStringLiteral("cpu family"));
        if (!family.isEmpty()) {
            QString arch = QStringLiteral("x86");
            if (longMode)
                arch = vendor == QLatin1String("GenuineIntel")
                    ? QStringLiteral("Intel64")
                    : (vendor == QLatin1String("AuthenticAMD") ? QStringLiteral("AMD64") : QStringLiteral("x64"));
            caption
                = QStringLiteral("%1 Family %2 Model %3 Stepping %4")
                      .arg(arch, family, first.value(QStringLiteral("model")), first.value(QStringLiteral("stepping")));
        }

        QSet<QString> coreIds;
        for (const Block &b : logical)
            coreIds.insert(b.value(QStringLiteral("core id")));
        bool coresOk = false;
        int cores = first.value(QStringLiteral("cpu cores")).toInt(&coresOk);
        if (!coresOk || cores <= 0)
            cores = int(coreIds.size());

        const QString cpuDir = QStringLiteral("/sys/devices/system/cpu/cpu") + first.value(QStringLiteral("processor"));
        QVariant maxSpeed = mhzFromKhzFile(*this, cpuDir, "cpuinfo_max_freq");
        QVariant curSpeed = mhzFromKhzFile(*this, cpuDir, "scaling_cur_freq");
        bool mhzOk = false;
        const double mhz = first.value(QStringLiteral("cpu MHz")).toDouble(&mhzOk);
        QVariant socket;
        if (index < sockets.size()) {
            const CWmiSmbiosTable::Structure &s = sockets.at(index);
            const QString name = s.stringAt(0x04);
            if (!name.isNull())
                socket = name;
            const qint64 smbiosMax = s.wordAt(0x14);
            if (!maxSpeed.isValid() && smbiosMax > 0)
                maxSpeed = int(smbiosMax);
        }
        if (!curSpeed.isValid() && mhzOk && mhz > 0)
            curSpeed = int(std::lround(mhz));
        if (!maxSpeed.isValid())
            maxSpeed = curSpeed;

        const QString name = brandName(first);
        CWmiHardwareHelper::PropertyList props {
            {QStringLiteral("AddressWidth"), longMode ? 64 : 32},
            {QStringLiteral("Caption"), caption},
            {QStringLiteral("CurrentClockSpeed"), curSpeed},
            {QStringLiteral("DataWidth"), longMode ? 64 : 32},
            {QStringLiteral("Description"), caption},
            {QStringLiteral("DeviceID"), QStringLiteral("CPU%1").arg(index)},
            {QStringLiteral("Manufacturer"), manufacturer.isEmpty() ? QVariant() : QVariant(manufacturer)},
            {QStringLiteral("MaxClockSpeed"), maxSpeed},
            {QStringLiteral("Name"), name.isEmpty() ? QVariant() : QVariant(name)},
            {QStringLiteral("NumberOfCores"), cores},
            {QStringLiteral("NumberOfLogicalProcessors"), int(logical.size())},
            {QStringLiteral("ProcessorType"), 3}, // central processor
            {QStringLiteral("Role"), QStringLiteral("CPU")},
            {QStringLiteral("SocketDesignation"), socket},
            {QStringLiteral("Status"), QStringLiteral("OK")},
        };
        result.append(CWmiHardwareHelper::sortedObject(className(), props));
    }
    return result;
}
