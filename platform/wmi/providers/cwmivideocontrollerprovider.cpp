#include "cwmivideocontrollerprovider.h"

#include "cdrmconnectors.h"
#include "cpcidevice.h"
#include "cpciids.h"

#include <QDir>

namespace {

const uint displayClass = 0x03;
// Desktops scan out 32 bits per pixel; sysfs does not tell the depth of the current mode.
const int assumedBitsPerPixel = 32;

} // namespace

QList<CWmiObject> CWmiVideoControllerProvider::objects() const
{
    const QString devicesDir = QStringLiteral("/sys/bus/pci/devices");
    QList<CPciDevice> devices;
    const QDir dir(path(devicesDir));
    for (const QString &entry : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name)) {
        const CPciDevice d = CPciDevice::read(*this, devicesDir + QLatin1Char('/') + entry);
        if (d.isValid() && (d.deviceClass() >> 16) == displayClass)
            devices.append(d);
    }
    if (devices.isEmpty())
        return {};

    const CPciIds ids(*this);
    const QList<CDrmConnectors::Connector> connectors = CDrmConnectors::list(*this);
    QList<CWmiObject> result;
    for (const CPciDevice &d : devices) {
        const QString name = ids.displayName(d.vendor(), d.device());
        const QString vendor = ids.vendorName(d.vendor());

        // The mode of the first connected output of a DRM card bound to this device.
        int width = 0;
        int height = 0;
        bool haveMode = false;
        for (const CDrmConnectors::Connector &c : connectors) {
            if (c.connected && CDrmConnectors::cardPciAddress(*this, c.card) == d.address()
                && CDrmConnectors::firstMode(*this, c, &width, &height)) {
                haveMode = true;
                break;
            }
        }

        QVariant ram;
        bool ok = false;
        const qint64 vram
            = readText(devicesDir + QLatin1Char('/') + d.address() + QStringLiteral("/mem_info_vram_total"))
                  .trimmed()
                  .toLongLong(&ok);
        if (ok && vram > 0)
            ram = uint(qMin<qint64>(vram, 0xFFFFFFFFLL)); // the WMI property is 32 bits wide

        QVariant driverVersion;
        if (!d.driver().isEmpty()) {
            const QString v
                = readText(QStringLiteral("/sys/module/") + d.driver() + QStringLiteral("/version")).trimmed();
            if (!v.isEmpty())
                driverVersion = v;
        }

        const quint64 colors = quint64(1) << assumedBitsPerPixel;
        CWmiObject o(className());
        o.set(QStringLiteral("AdapterCompatibility"), vendor.isEmpty() ? QVariant() : QVariant(vendor));
        o.set(QStringLiteral("AdapterRAM"), ram);
        o.set(QStringLiteral("Caption"), name);
        o.set(QStringLiteral("CurrentBitsPerPixel"), haveMode ? QVariant(uint(assumedBitsPerPixel)) : QVariant());
        o.set(QStringLiteral("CurrentHorizontalResolution"), haveMode ? QVariant(uint(width)) : QVariant());
        o.set(QStringLiteral("CurrentNumberOfColors"), haveMode ? QVariant(colors) : QVariant());
        o.set(QStringLiteral("CurrentVerticalResolution"), haveMode ? QVariant(uint(height)) : QVariant());
        o.set(QStringLiteral("Description"), name);
        o.set(QStringLiteral("DeviceID"), QStringLiteral("VideoController%1").arg(result.size() + 1));
        o.set(QStringLiteral("DriverVersion"), driverVersion);
        o.set(QStringLiteral("Name"), name);
        o.set(QStringLiteral("PNPDeviceID"), d.pnpDeviceId());
        o.set(QStringLiteral("VideoModeDescription"),
            haveMode ? QVariant(QStringLiteral("%1 x %2 x %3 colors").arg(width).arg(height).arg(colors)) : QVariant());
        result.append(o);
    }
    return result;
}
