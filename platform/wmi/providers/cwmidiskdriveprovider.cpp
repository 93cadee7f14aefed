#include "cwmidiskdriveprovider.h"

#include "cwmihardwarehelper.h"

#include <QRegularExpression>
#include <QVariant>

namespace {
// Whole physical disks by kernel name: SCSI/SATA/USB (sd), virtio (vd), old IDE (hd), Xen (xvd),
// NVMe namespaces and MMC/SD cards. Loop, RAM, zram, device-mapper, md, optical (sr) and floppy
// devices are not disks, and an MMC card's boot and RPMB areas are parts of the card.
bool isPhysicalDisk(const QString &name)
{
    static const QRegularExpression disk(
        QStringLiteral("^(sd[a-z]+|vd[a-z]+|hd[a-z]+|xvd[a-z]+|nvme\\d+n\\d+|mmcblk\\d+)$"));
    return disk.match(name).hasMatch();
}

// The disk's serial number: the attribute virtio and NVMe export, else the SCSI unit serial page.
QVariant serialNumber(const CWmiProvider &provider, const QString &dir)
{
    for (const char *file : {"/serial", "/device/serial"}) {
        const QString s = CWmiHardwareHelper::attribute(provider, dir + QLatin1String(file));
        if (!s.isEmpty())
            return s;
    }
    const QByteArray page = provider.readBytes(dir + QStringLiteral("/device/vpd_pg80"));
    if (page.size() > 4) {
        const int length = (quint8(page.at(2)) << 8) | quint8(page.at(3));
        const QString s = QString::fromLatin1(page.mid(4, length)).trimmed();
        if (!s.isEmpty())
            return s;
    }
    return QVariant();
}

QString model(const CWmiProvider &provider, const QString &name, const QString &dir)
{
    QString m = CWmiHardwareHelper::attribute(provider, dir + QStringLiteral("/device/model"));
    if (m.isEmpty() && name.startsWith(QLatin1String("mmcblk")))
        m = CWmiHardwareHelper::attribute(provider, dir + QStringLiteral("/device/name"));
    if (m.isEmpty() && name.startsWith(QLatin1String("vd")))
        m = QStringLiteral("Virtio Block Device");
    if (m.isEmpty() && name.startsWith(QLatin1String("xvd")))
        m = QStringLiteral("Xen Virtual Block Device");
    return m;
}

QString interfaceType(const QString &name, const QString &devicePath)
{
    if (devicePath.contains(QLatin1String("/usb")))
        return QStringLiteral("USB");
    if (name.startsWith(QLatin1String("hd")) || devicePath.contains(QLatin1String("/ata")))
        return QStringLiteral("IDE");
    return QStringLiteral("SCSI");
}

int partitionCount(const CWmiProvider &provider, const QString &name, const QString &dir)
{
    int count = 0;
    for (const QString &entry : CWmiHardwareHelper::entries(provider, dir))
        if (entry.startsWith(name)
            && provider.readText(dir + QLatin1Char('/') + entry + QStringLiteral("/partition")).size() > 0)
            ++count;
    return count;
}
} // namespace

QList<CWmiObject> CWmiDiskDriveProvider::objects() const
{
    QList<CWmiObject> result;
    int index = 0;
    for (const QString &name : CWmiHardwareHelper::entries(*this, QStringLiteral("/sys/block"))) {
        if (!isPhysicalDisk(name))
            continue;
        const QString dir = QStringLiteral("/sys/block/") + name;
        // NVMe multipath keeps hidden per-controller nodes beside the namespace.
        if (CWmiHardwareHelper::attribute(*this, dir + QStringLiteral("/hidden")) == QLatin1String("1"))
            continue;
        bool sizeOk = false;
        const qint64 sectors = CWmiHardwareHelper::number(*this, dir + QStringLiteral("/size"), &sizeOk);
        // sysfs counts 512-byte sectors whatever the disk's own sector size; no media means no size.
        const QVariant size = sizeOk && sectors > 0 ? QVariant(quint64(sectors) * 512u) : QVariant();
        bool sectorOk = false;
        const qint64 sectorBytes
            = CWmiHardwareHelper::number(*this, dir + QStringLiteral("/queue/logical_block_size"), &sectorOk);
        const bool removable
            = CWmiHardwareHelper::attribute(*this, dir + QStringLiteral("/removable")) == QLatin1String("1");
        const QString devicePath = CWmiHardwareHelper::resolvedPath(*this, dir);
        const QString m = model(*this, name, dir);
        const QString firmware = CWmiHardwareHelper::attribute(*this, dir + QStringLiteral("/device/rev"));
        const QString deviceId = QStringLiteral("\\\\.\\PHYSICALDRIVE%1").arg(index);
        CWmiHardwareHelper::PropertyList props {
            {QStringLiteral("BytesPerSector"), sectorOk && sectorBytes > 0 ? QVariant(int(sectorBytes)) : QVariant()},
            {QStringLiteral("Caption"), m.isEmpty() ? QVariant() : QVariant(m)},
            {QStringLiteral("Description"), QStringLiteral("Disk drive")},
            {QStringLiteral("DeviceID"), deviceId},
            {QStringLiteral("FirmwareRevision"), firmware.isEmpty() ? QVariant() : QVariant(firmware)},
            {QStringLiteral("Index"), index},
            {QStringLiteral("InterfaceType"), interfaceType(name, devicePath)},
            {QStringLiteral("Manufacturer"), QStringLiteral("(Standard disk drives)")},
            {QStringLiteral("MediaLoaded"), size.isValid()},
            {QStringLiteral("MediaType"),
                removable ? QStringLiteral("Removable Media") : QStringLiteral("Fixed hard disk media")},
            {QStringLiteral("Model"), m.isEmpty() ? QVariant() : QVariant(m)},
            {QStringLiteral("Name"), deviceId},
            {QStringLiteral("Partitions"), partitionCount(*this, name, dir)},
            {QStringLiteral("SerialNumber"), serialNumber(*this, dir)},
            {QStringLiteral("Size"), size},
            {QStringLiteral("Status"), QStringLiteral("OK")},
        };
        result.append(CWmiHardwareHelper::sortedObject(className(), props));
        ++index;
    }
    return result;
}
