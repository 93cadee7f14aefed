#include "cwmicdromdriveprovider.h"

#include "cwmihardwarehelper.h"

#include <QRegularExpression>
#include <QVariant>

QList<CWmiObject> CWmiCdromDriveProvider::objects() const
{
    static const QRegularExpression optical(QStringLiteral("^sr\\d+$"));
    QList<CWmiObject> result;
    for (const QString &name : CWmiHardwareHelper::entries(*this, QStringLiteral("/sys/block"))) {
        if (!optical.match(name).hasMatch())
            continue;
        const QString dir = QStringLiteral("/sys/block/") + name;
        const QString vendor = CWmiHardwareHelper::attribute(*this, dir + QStringLiteral("/device/vendor"));
        const QString model = CWmiHardwareHelper::attribute(*this, dir + QStringLiteral("/device/model"));
        // WMI names a drive by its vendor and product identification together.
        const QString driveName = (vendor + QLatin1Char(' ') + model).trimmed();
        bool sizeOk = false;
        const qint64 sectors = CWmiHardwareHelper::number(*this, dir + QStringLiteral("/size"), &sizeOk);
        const bool loaded = sizeOk && sectors > 0;
        const QString revision = CWmiHardwareHelper::attribute(*this, dir + QStringLiteral("/device/rev"));
        CWmiHardwareHelper::PropertyList props {
            {QStringLiteral("Caption"), driveName.isEmpty() ? QVariant() : QVariant(driveName)},
            {QStringLiteral("Description"), QStringLiteral("CD-ROM Drive")},
            {QStringLiteral("DeviceID"), name},
            {QStringLiteral("Drive"), QStringLiteral("/dev/") + name},
            {QStringLiteral("Manufacturer"), QStringLiteral("(Standard CD-ROM drives)")},
            {QStringLiteral("MediaLoaded"), loaded},
            {QStringLiteral("MediaType"), QStringLiteral("CD-ROM")},
            {QStringLiteral("Name"), driveName.isEmpty() ? QVariant() : QVariant(driveName)},
            {QStringLiteral("Revision"), revision.isEmpty() ? QVariant() : QVariant(revision)},
            {QStringLiteral("Size"), loaded ? QVariant(quint64(sectors) * 512u) : QVariant()},
            {QStringLiteral("Status"), QStringLiteral("OK")},
        };
        result.append(CWmiHardwareHelper::sortedObject(className(), props));
    }
    return result;
}
