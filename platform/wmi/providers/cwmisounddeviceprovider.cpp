#include "cwmisounddeviceprovider.h"

#include "cpcidevice.h"
#include "cpciids.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <optional>

namespace {

struct Card
{
    int index = 0;
    QString id;
    QString shortName;
};

QString firstLine(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(f.readLine()).trimmed();
}

} // namespace

QList<CWmiObject> CWmiSoundDeviceProvider::objects() const
{
    // "<index> [<id>]: <driver> - <short name>", then a line with the long name.
    static const QRegularExpression head(QStringLiteral("^\\s*(\\d+)\\s+\\[([^\\]]*)\\]:\\s*(.*?)\\s+-\\s+(.*)$"));
    static const QRegularExpression pciAddress(QStringLiteral("^[0-9a-f]{4}:[0-9a-f]{2}:[0-9a-f]{2}\\.[0-7]$"));

    const QString cards = readText(QStringLiteral("/proc/asound/cards"));
    QList<Card> list;
    for (const QString &line : cards.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = head.match(line);
        if (!m.hasMatch())
            continue;
        Card c;
        c.index = m.captured(1).toInt();
        c.id = readText(QStringLiteral("/proc/asound/card%1/id").arg(c.index)).trimmed();
        if (c.id.isEmpty())
            c.id = m.captured(2).trimmed();
        c.shortName = m.captured(4).trimmed();
        list.append(c);
    }
    if (list.isEmpty())
        return {};

    std::optional<CPciIds> ids;
    QList<CWmiObject> result;
    for (const Card &c : list) {
        QVariant manufacturer;
        QVariant pnpId;
        const QString deviceLink = path(QStringLiteral("/sys/class/sound/card%1/device").arg(c.index));
        const QString address = QFileInfo(QFileInfo(deviceLink).symLinkTarget()).fileName();
        const CPciDevice pci = pciAddress.match(address).hasMatch()
            ? CPciDevice::read(*this, QStringLiteral("/sys/bus/pci/devices/") + address)
            : CPciDevice();
        if (pci.isValid()) {
            if (!ids)
                ids.emplace(*this);
            const QString vendor = ids->vendorName(pci.vendor());
            if (!vendor.isEmpty())
                manufacturer = vendor;
            pnpId = pci.pnpDeviceId();
        } else {
            // A USB card's device link is its audio interface; the device above it names the maker.
            const QString real = QFileInfo(deviceLink).canonicalFilePath();
            if (!real.isEmpty()) {
                const QString maker = firstLine(QFileInfo(real).path() + QStringLiteral("/manufacturer"));
                if (!maker.isEmpty())
                    manufacturer = maker;
            }
        }

        CWmiObject o(className());
        o.set(QStringLiteral("Caption"), c.shortName);
        o.set(QStringLiteral("Description"), c.shortName);
        o.set(QStringLiteral("DeviceID"), pnpId.isNull() ? QVariant(QStringLiteral("ALSA\\") + c.id) : pnpId);
        o.set(QStringLiteral("Manufacturer"), manufacturer);
        o.set(QStringLiteral("Name"), c.shortName);
        o.set(QStringLiteral("PNPDeviceID"), pnpId);
        o.set(QStringLiteral("ProductName"), c.shortName);
        result.append(o);
    }
    return result;
}
