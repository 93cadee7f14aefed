#include "cwmiphysicalmemoryprovider.h"

#include "cwmihardwarehelper.h"
#include "cwmismbiostable.h"

#include <QRegularExpression>
#include <QVariant>

namespace {
QVariant text(const QString &s)
{
    return s.isNull() ? QVariant() : QVariant(s);
}

QVariant width(qint64 bits)
{
    return bits >= 0 && bits != 0xFFFF ? QVariant(int(bits)) : QVariant();
}

// Capacity of an SMBIOS memory device in bytes; 0 for an empty slot, -1 when unknown.
qint64 moduleBytes(const CWmiSmbiosTable::Structure &s)
{
    const qint64 size = s.wordAt(0x0C);
    if (size < 0 || size == 0xFFFF)
        return -1;
    if (size == 0)
        return 0;
    if (size == 0x7FFF) {
        const qint64 extended = s.dwordAt(0x1C);
        return extended < 0 ? -1 : (extended & 0x7FFFFFFF) * 1024 * 1024;
    }
    // Bit 15 set: the size is in KiB, else in MiB.
    return size & 0x8000 ? (size & 0x7FFF) * 1024 : size * 1024 * 1024;
}

QVariant speed(const CWmiSmbiosTable::Structure &s, int offset, int extendedOffset)
{
    const qint64 v = s.wordAt(offset);
    if (v == 0xFFFF) {
        const qint64 extended = s.dwordAt(extendedOffset);
        return extended > 0 ? QVariant(int(extended & 0x7FFFFFFF)) : QVariant();
    }
    return v > 0 ? QVariant(int(v)) : QVariant();
}
} // namespace

QList<CWmiObject> CWmiPhysicalMemoryProvider::objects() const
{
    const QString title = QStringLiteral("Physical Memory");
    QList<CWmiObject> result;
    for (const CWmiSmbiosTable::Structure &s : CWmiSmbiosTable::read(*this).structures(17)) {
        const qint64 bytes = moduleBytes(s);
        if (bytes == 0)
            continue; // empty slot
        CWmiHardwareHelper::PropertyList props {
            {QStringLiteral("BankLabel"), text(s.stringAt(0x11))},
            {QStringLiteral("Capacity"), bytes > 0 ? QVariant(quint64(bytes)) : QVariant()},
            {QStringLiteral("Caption"), title},
            {QStringLiteral("ConfiguredClockSpeed"), speed(s, 0x20, 0x58)},
            {QStringLiteral("DataWidth"), width(s.wordAt(0x0A))},
            {QStringLiteral("Description"), title},
            {QStringLiteral("DeviceLocator"), text(s.stringAt(0x10))},
            {QStringLiteral("Manufacturer"), text(s.stringAt(0x17))},
            {QStringLiteral("Name"), title},
            {QStringLiteral("PartNumber"), text(s.stringAt(0x1A))},
            {QStringLiteral("SerialNumber"), text(s.stringAt(0x18))},
            {QStringLiteral("Speed"), speed(s, 0x15, 0x54)},
            {QStringLiteral("Tag"), QStringLiteral("Physical Memory %1").arg(result.size())},
            {QStringLiteral("TotalWidth"), width(s.wordAt(0x08))},
        };
        result.append(CWmiHardwareHelper::sortedObject(className(), props));
    }
    if (!result.isEmpty())
        return result;

    // Without the firmware table the memory is still reported, as one object for all of it.
    quint64 total = 0;
    bool blockOk = false;
    const quint64 blockSize
        = CWmiHardwareHelper::attribute(*this, QStringLiteral("/sys/devices/system/memory/block_size_bytes"))
              .toULongLong(&blockOk, 16);
    if (blockOk && blockSize > 0) {
        static const QRegularExpression block(QStringLiteral("^memory\\d+$"));
        quint64 online = 0;
        for (const QString &entry : CWmiHardwareHelper::entries(*this, QStringLiteral("/sys/devices/system/memory")))
            if (block.match(entry).hasMatch()
                && CWmiHardwareHelper::attribute(
                       *this, QStringLiteral("/sys/devices/system/memory/") + entry + QStringLiteral("/online"))
                    == QLatin1String("1"))
                ++online;
        total = online * blockSize;
    }
    if (total == 0) {
        static const QRegularExpression memTotal(
            QStringLiteral("^MemTotal:\\s+(\\d+)\\s*kB\\s*$"), QRegularExpression::MultilineOption);
        const QRegularExpressionMatch m = memTotal.match(readText(QStringLiteral("/proc/meminfo")));
        if (m.hasMatch())
            total = m.captured(1).toULongLong() * 1024u;
    }
    if (total == 0)
        return {};
    CWmiHardwareHelper::PropertyList props {
        {QStringLiteral("Capacity"), total},
        {QStringLiteral("Caption"), title},
        {QStringLiteral("Description"), title},
        {QStringLiteral("Name"), title},
        {QStringLiteral("Tag"), QStringLiteral("Physical Memory 0")},
    };
    return {CWmiHardwareHelper::sortedObject(className(), props)};
}
