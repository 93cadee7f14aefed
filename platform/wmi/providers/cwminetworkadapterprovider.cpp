#include "cwminetworkadapterprovider.h"

#include "cpciids.h"
#include "cwmihardwarehelper.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QVariant>

namespace {
// Network vendors that the shared PCI name table may not know, by PCI and USB vendor id.
QString knownVendor(uint id)
{
    switch (id) {
    case 0x10ec:
    case 0x0bda:
        return QStringLiteral("Realtek Semiconductor Co., Ltd.");
    case 0x14e4:
        return QStringLiteral("Broadcom Inc. and subsidiaries");
    case 0x168c:
    case 0x0cf3:
        return QStringLiteral("Qualcomm Atheros");
    case 0x11ab:
        return QStringLiteral("Marvell Technology Group Ltd.");
    case 0x15b3:
        return QStringLiteral("Mellanox Technologies");
    case 0x1d6a:
        return QStringLiteral("Aquantia Corp.");
    case 0x14c3:
    case 0x0e8d:
        return QStringLiteral("MEDIATEK Corp.");
    case 0x8087:
        return QStringLiteral("Intel Corp.");
    case 0x0b95:
        return QStringLiteral("ASIX Electronics Corp.");
    case 0x148f:
        return QStringLiteral("Ralink Technology, Corp.");
    case 0x2357:
        return QStringLiteral("TP-Link");
    default:
        return QString();
    }
}

struct Hardware
{
    QString manufacturer;
    QString product;
};

// Walks up from the interface's device to the PCI function or USB device that carries it (a
// virtio or USB interface directory stands in between).
Hardware hardware(const CWmiProvider &provider, const QString &ifaceDir)
{
    static const QRegularExpression pciAddress(QStringLiteral("^[0-9a-f]{4}:[0-9a-f]{2}:[0-9a-f]{2}\\.[0-9a-f]$"));
    Hardware h;
    QString dir = CWmiHardwareHelper::resolvedPath(provider, ifaceDir + QStringLiteral("/device"));
    for (int level = 0; level < 4 && !dir.isEmpty() && dir != QLatin1String("/"); ++level) {
        const QString base = QFileInfo(dir).fileName();
        bool ok = false;
        if (pciAddress.match(base).hasMatch()) {
            const uint vendor = uint(CWmiHardwareHelper::number(provider, dir + QStringLiteral("/vendor"), &ok));
            if (ok) {
                const uint device
                    = uint(CWmiHardwareHelper::number(provider, dir + QStringLiteral("/device"), nullptr));
                const CPciIds ids(provider);
                h.manufacturer = ids.vendorName(vendor);
                if (h.manufacturer.isNull())
                    h.manufacturer = knownVendor(vendor);
                h.product = ids.deviceName(vendor, device);
                return h;
            }
        }
        const QString usbVendor = CWmiHardwareHelper::attribute(provider, dir + QStringLiteral("/idVendor"));
        if (!usbVendor.isNull()) {
            h.manufacturer = CWmiHardwareHelper::attribute(provider, dir + QStringLiteral("/manufacturer"));
            if (h.manufacturer.isEmpty())
                h.manufacturer = knownVendor(usbVendor.toUInt(&ok, 16));
            h.product = CWmiHardwareHelper::attribute(provider, dir + QStringLiteral("/product"));
            return h;
        }
        dir = QFileInfo(dir).path();
    }
    return h;
}
} // namespace

QList<CWmiObject> CWmiNetworkAdapterProvider::objects() const
{
    QList<CWmiObject> result;
    for (const QString &name : CWmiHardwareHelper::entries(*this, QStringLiteral("/sys/class/net"))) {
        const QString dir = QStringLiteral("/sys/class/net/") + name;
        // Only adapters backed by hardware: loopback, bridges, tunnels and container links have no
        // device and come and go with the software that makes them.
        if (name == QLatin1String("lo") || !QFileInfo::exists(path(dir + QStringLiteral("/device"))))
            continue;
        bool indexOk = false;
        const int ifindex = int(CWmiHardwareHelper::number(*this, dir + QStringLiteral("/ifindex"), &indexOk));
        const Hardware hw = hardware(*this, dir);
        const QString productName = hw.product.isEmpty() ? name : hw.product;
        const QString mac = CWmiHardwareHelper::attribute(*this, dir + QStringLiteral("/address")).toUpper();
        bool typeOk = false;
        const qint64 type = CWmiHardwareHelper::number(*this, dir + QStringLiteral("/type"), &typeOk);
        const bool ethernet = typeOk && type == 1; // ARPHRD_ETHER, wireless included
        // The kernel gives the link speed in Mbit/s, and -1 or nothing while the link is down.
        bool speedOk = false;
        const qint64 mbits = CWmiHardwareHelper::number(*this, dir + QStringLiteral("/speed"), &speedOk);
        const QVariant speed = speedOk && mbits > 0 ? QVariant(quint64(mbits) * 1000000u) : QVariant();
        const QString operstate = CWmiHardwareHelper::attribute(*this, dir + QStringLiteral("/operstate"));
        const bool carrier
            = CWmiHardwareHelper::attribute(*this, dir + QStringLiteral("/carrier")) == QLatin1String("1");
        const bool up = operstate == QLatin1String("up");
        // 2 connected, 7 media disconnected, 0 disconnected (interface down)
        const int status = up && carrier ? 2 : (up || operstate == QLatin1String("dormant") ? 7 : 0);
        const QString driver
            = QFileInfo(CWmiHardwareHelper::resolvedPath(*this, dir + QStringLiteral("/device/driver"))).fileName();
        const QVariant index = indexOk ? QVariant(ifindex) : QVariant();
        CWmiHardwareHelper::PropertyList props {
            {QStringLiteral("AdapterType"), ethernet ? QVariant(QStringLiteral("Ethernet 802.3")) : QVariant()},
            {QStringLiteral("AdapterTypeId"), ethernet ? QVariant(0) : QVariant()},
            {QStringLiteral("Caption"),
                QStringLiteral("[%1] %2").arg(indexOk ? ifindex : 0, 8, 10, QLatin1Char('0')).arg(productName)},
            {QStringLiteral("Description"), productName},
            {QStringLiteral("DeviceID"), indexOk ? QVariant(QString::number(ifindex)) : QVariant()},
            {QStringLiteral("Index"), index},
            {QStringLiteral("InterfaceIndex"), index},
            {QStringLiteral("MACAddress"), mac.isEmpty() ? QVariant() : QVariant(mac)},
            {QStringLiteral("Manufacturer"), hw.manufacturer.isEmpty() ? QVariant() : QVariant(hw.manufacturer)},
            {QStringLiteral("Name"), productName},
            {QStringLiteral("NetConnectionID"), name},
            {QStringLiteral("NetConnectionStatus"), status},
            {QStringLiteral("NetEnabled"), up},
            {QStringLiteral("PhysicalAdapter"), true},
            {QStringLiteral("ProductName"), productName},
            {QStringLiteral("ServiceName"), driver.isEmpty() ? QVariant() : QVariant(driver)},
            {QStringLiteral("Speed"), speed},
        };
        result.append(CWmiHardwareHelper::sortedObject(className(), props));
    }
    return result;
}
