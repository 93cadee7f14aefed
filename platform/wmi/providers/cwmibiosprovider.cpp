#include "cwmibiosprovider.h"

#include "cwmihardwarehelper.h"

#include <QDate>
#include <QVariant>

QList<CWmiObject> CWmiBiosProvider::objects() const
{
    const QString dir = QStringLiteral("/sys/class/dmi/id/");
    const QString vendor = CWmiHardwareHelper::attribute(*this, dir + QStringLiteral("bios_vendor"));
    const QString version = CWmiHardwareHelper::attribute(*this, dir + QStringLiteral("bios_version"));
    if (vendor.isNull() && version.isNull())
        return {};
    // The firmware gives its date as MM/DD/YYYY; WMI holds it as a CIM date-time.
    QVariant releaseDate;
    const QDate date = QDate::fromString(
        CWmiHardwareHelper::attribute(*this, dir + QStringLiteral("bios_date")), QStringLiteral("MM/dd/yyyy"));
    if (date.isValid())
        releaseDate = date.toString(QStringLiteral("yyyyMMdd")) + QStringLiteral("000000.000000+000");
    // The system's serial number, readable by root only.
    const QString serial = CWmiHardwareHelper::attribute(*this, dir + QStringLiteral("product_serial"));
    CWmiHardwareHelper::PropertyList props {
        {QStringLiteral("Caption"), version},
        {QStringLiteral("Description"), version},
        {QStringLiteral("Manufacturer"), vendor},
        {QStringLiteral("Name"), version},
        {QStringLiteral("PrimaryBIOS"), true},
        {QStringLiteral("ReleaseDate"), releaseDate},
        {QStringLiteral("SerialNumber"), serial},
        {QStringLiteral("SMBIOSBIOSVersion"), version},
        {QStringLiteral("SoftwareElementID"), version},
        {QStringLiteral("Status"), QStringLiteral("OK")},
        {QStringLiteral("Version"), version},
    };
    const QString release = CWmiHardwareHelper::attribute(*this, dir + QStringLiteral("bios_release"));
    const qsizetype dot = release.indexOf(QLatin1Char('.'));
    if (dot > 0) {
        bool okMajor = false;
        bool okMinor = false;
        const int major = release.left(dot).toInt(&okMajor);
        const int minor = release.mid(dot + 1).toInt(&okMinor);
        if (okMajor && okMinor) {
            props.append({QStringLiteral("SystemBiosMajorVersion"), major});
            props.append({QStringLiteral("SystemBiosMinorVersion"), minor});
        }
    }
    return {CWmiHardwareHelper::sortedObject(className(), props)};
}
