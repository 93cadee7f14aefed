#include "cwmibaseboardprovider.h"

#include "cwmihardwarehelper.h"

#include <QVariant>

QList<CWmiObject> CWmiBaseBoardProvider::objects() const
{
    const QString dir = QStringLiteral("/sys/class/dmi/id/");
    const QString vendor = CWmiHardwareHelper::attribute(*this, dir + QStringLiteral("board_vendor"));
    const QString product = CWmiHardwareHelper::attribute(*this, dir + QStringLiteral("board_name"));
    if (vendor.isNull() && product.isNull())
        return {};
    // board_serial is readable by root only; an unreadable one is a null serial number.
    const QString serial = CWmiHardwareHelper::attribute(*this, dir + QStringLiteral("board_serial"));
    const QString version = CWmiHardwareHelper::attribute(*this, dir + QStringLiteral("board_version"));
    const QString name = QStringLiteral("Base Board");
    CWmiHardwareHelper::PropertyList props {
        {QStringLiteral("Caption"), name},
        {QStringLiteral("Description"), name},
        {QStringLiteral("HostingBoard"), true},
        {QStringLiteral("Manufacturer"), vendor},
        {QStringLiteral("Name"), name},
        {QStringLiteral("Product"), product},
        {QStringLiteral("SerialNumber"), serial},
        {QStringLiteral("Status"), QStringLiteral("OK")},
        {QStringLiteral("Tag"), QStringLiteral("Base Board")},
        {QStringLiteral("Version"), version},
    };
    return {CWmiHardwareHelper::sortedObject(className(), props)};
}
