#include "cwmidesktopmonitorprovider.h"

#include "cdrmconnectors.h"
#include "cedid.h"

QList<CWmiObject> CWmiDesktopMonitorProvider::objects() const
{
    QList<CWmiObject> result;
    for (const CDrmConnectors::Connector &c : CDrmConnectors::list(*this)) {
        if (!c.connected)
            continue;
        const CEdid edid = CEdid::parse(readBytes(c.machineDir + QStringLiteral("/edid")));

        // Windows' names for a monitor that does or does not identify itself.
        QString name = QStringLiteral("Generic Non-PnP Monitor");
        QVariant manufacturer;
        QVariant pnpId;
        int width = 0;
        int height = 0;
        if (edid.isValid()) {
            name = edid.monitorName().isEmpty() ? QStringLiteral("Generic PnP Monitor") : edid.monitorName();
            if (!edid.manufacturerId().isEmpty()) {
                manufacturer = edid.manufacturerId();
                pnpId = QStringLiteral("DISPLAY\\%1%2\\%3")
                            .arg(edid.manufacturerId())
                            .arg(QStringLiteral("%1").arg(edid.productCode(), 4, 16, QLatin1Char('0')).toUpper())
                            .arg(c.name);
            }
            width = edid.preferredWidth();
            height = edid.preferredHeight();
        }
        if (width <= 0 || height <= 0)
            CDrmConnectors::firstMode(*this, c, &width, &height);
        const bool haveSize = width > 0 && height > 0;

        CWmiObject o(className());
        o.set(QStringLiteral("Caption"), name);
        o.set(QStringLiteral("Description"), name);
        o.set(QStringLiteral("DeviceID"), QStringLiteral("DesktopMonitor%1").arg(result.size() + 1));
        o.set(QStringLiteral("MonitorManufacturer"), manufacturer);
        o.set(QStringLiteral("MonitorType"), name);
        o.set(QStringLiteral("Name"), name);
        o.set(QStringLiteral("PNPDeviceID"), pnpId);
        o.set(QStringLiteral("ScreenHeight"), haveSize ? QVariant(uint(height)) : QVariant());
        o.set(QStringLiteral("ScreenWidth"), haveSize ? QVariant(uint(width)) : QVariant());
        result.append(o);
    }
    return result;
}
