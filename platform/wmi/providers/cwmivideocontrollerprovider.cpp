#include "cwmivideocontrollerprovider.h"

#include "cdrmconnectors.h"
#include "cpcidevice.h"
#include "cpciids.h"

#include <QDir>

#include <algorithm>

namespace {

const uint displayClass = 0x03;
// Desktops scan out 32 bits per pixel; sysfs does not tell the depth of the current mode.
const int assumedBitsPerPixel = 32;

struct Controller
{
    QString name;
    QString vendor;
    QString pnpId;
    QString driver;
    QString pciAddress; // empty for a display card that is not a PCI device
    int card = -1; // the DRM card of a non-PCI controller
    qint64 vram = 0;
};

} // namespace

QList<CWmiObject> CWmiVideoControllerProvider::objects() const
{
    const QString devicesDir = QStringLiteral("/sys/bus/pci/devices");
    QList<CPciDevice> pciDevices;
    const QDir dir(path(devicesDir));
    for (const QString &entry : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name)) {
        const CPciDevice d = CPciDevice::read(*this, devicesDir + QLatin1Char('/') + entry);
        if (d.isValid() && (d.deviceClass() >> 16) == displayClass)
            pciDevices.append(d);
    }

    QList<Controller> controllers;
    if (!pciDevices.isEmpty()) {
        const CPciIds ids(*this);
        for (const CPciDevice &d : pciDevices) {
            Controller c;
            c.name = ids.displayName(d.vendor(), d.device());
            c.vendor = ids.vendorName(d.vendor());
            c.pnpId = d.pnpDeviceId();
            c.driver = d.driver();
            c.pciAddress = d.address();
            bool ok = false;
            c.vram = readText(devicesDir + QLatin1Char('/') + d.address() + QStringLiteral("/mem_info_vram_total"))
                         .trimmed()
                         .toLongLong(&ok);
            if (!ok)
                c.vram = 0;
            controllers.append(c);
        }
    }
    // Display cards on other buses (system-on-chip GPUs, firmware framebuffers) are known only to
    // DRM; their driver names them.
    const QList<int> cards = CDrmConnectors::cards(*this);
    for (int card : cards) {
        const QString address = CDrmConnectors::cardPciAddress(*this, card);
        const bool isPci = std::any_of(
            pciDevices.cbegin(), pciDevices.cend(), [&](const CPciDevice &d) { return d.address() == address; });
        const QString driver = CDrmConnectors::cardDriver(*this, card);
        if (isPci || driver.isEmpty())
            continue;
        Controller c;
        c.name = driver;
        c.driver = driver;
        c.card = card;
        controllers.append(c);
    }
    if (controllers.isEmpty())
        return {};

    const QList<CDrmConnectors::Connector> connectors = CDrmConnectors::list(*this);
    QList<CWmiObject> result;
    for (const Controller &c : controllers) {
        // The mode of the first connected output of the DRM card that drives this controller.
        int width = 0;
        int height = 0;
        bool haveMode = false;
        for (const CDrmConnectors::Connector &out : connectors) {
            if (!out.connected)
                continue;
            const bool ours = c.pciAddress.isEmpty() ? out.card == c.card
                                                     : CDrmConnectors::cardPciAddress(*this, out.card) == c.pciAddress;
            if (ours && CDrmConnectors::firstMode(*this, out, &width, &height)) {
                haveMode = true;
                break;
            }
        }

        QVariant ram;
        if (c.vram > 0)
            ram = uint(qMin<qint64>(c.vram, 0xFFFFFFFFLL)); // the WMI property is 32 bits wide

        QVariant driverVersion;
        if (!c.driver.isEmpty()) {
            const QString v
                = readText(QStringLiteral("/sys/module/") + c.driver + QStringLiteral("/version")).trimmed();
            if (!v.isEmpty())
                driverVersion = v;
        }

        const quint64 colors = quint64(1) << assumedBitsPerPixel;
        CWmiObject o(className());
        o.set(QStringLiteral("AdapterCompatibility"), c.vendor.isEmpty() ? QVariant() : QVariant(c.vendor));
        o.set(QStringLiteral("AdapterRAM"), ram);
        o.set(QStringLiteral("Caption"), c.name);
        o.set(QStringLiteral("CurrentBitsPerPixel"), haveMode ? QVariant(uint(assumedBitsPerPixel)) : QVariant());
        o.set(QStringLiteral("CurrentHorizontalResolution"), haveMode ? QVariant(uint(width)) : QVariant());
        o.set(QStringLiteral("CurrentNumberOfColors"), haveMode ? QVariant(colors) : QVariant());
        o.set(QStringLiteral("CurrentVerticalResolution"), haveMode ? QVariant(uint(height)) : QVariant());
        o.set(QStringLiteral("Description"), c.name);
        o.set(QStringLiteral("DeviceID"), QStringLiteral("VideoController%1").arg(result.size() + 1));
        o.set(QStringLiteral("DriverVersion"), driverVersion);
        o.set(QStringLiteral("Name"), c.name);
        o.set(QStringLiteral("PNPDeviceID"), c.pnpId.isEmpty() ? QVariant() : QVariant(c.pnpId));
        o.set(QStringLiteral("VideoModeDescription"),
            haveMode ? QVariant(QStringLiteral("%1 x %2 x %3 colors").arg(width).arg(height).arg(colors)) : QVariant());
        result.append(o);
    }
    return result;
}
