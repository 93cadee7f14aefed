#include "cpcidevice.h"

#include "cwmiprovider.h"

#include <QFileInfo>

#include <unistd.h>

namespace {

bool readHex(const CWmiProvider &provider, const QString &file, uint *value)
{
    const QString text = provider.readText(file).trimmed();
    if (text.isEmpty())
        return false;
    bool ok = false;
    *value = text.toUInt(&ok, 16);
    return ok;
}

QString hex(uint value, int width)
{
    return QStringLiteral("%1").arg(value, width, 16, QLatin1Char('0')).toUpper();
}

} // namespace

CPciDevice CPciDevice::read(const CWmiProvider &provider, const QString &machineDir)
{
    CPciDevice d;
    d.m_address = QFileInfo(machineDir).fileName();
    if (!readHex(provider, machineDir + QStringLiteral("/vendor"), &d.m_vendor)
        || !readHex(provider, machineDir + QStringLiteral("/device"), &d.m_device))
        return d;
    d.m_valid = true;
    readHex(provider, machineDir + QStringLiteral("/subsystem_vendor"), &d.m_subVendor);
    readHex(provider, machineDir + QStringLiteral("/subsystem_device"), &d.m_subDevice);
    readHex(provider, machineDir + QStringLiteral("/revision"), &d.m_revision);
    readHex(provider, machineDir + QStringLiteral("/class"), &d.m_class);
    // The driver link points at /sys/bus/pci/drivers/<name>; only its last component matters, so
    // the link is read, not followed.
    const QByteArray link = QFile::encodeName(provider.path(machineDir + QStringLiteral("/driver")));
    char target[4096];
    const ssize_t n = ::readlink(link.constData(), target, sizeof target - 1);
    if (n > 0)
        d.m_driver = QFileInfo(QFile::decodeName(QByteArray(target, int(n)))).fileName();
    return d;
}

QString CPciDevice::pnpDeviceId() const
{
    return QStringLiteral("PCI\\VEN_%1&DEV_%2&SUBSYS_%3%4&REV_%5\\%6")
        .arg(hex(m_vendor, 4), hex(m_device, 4), hex(m_subDevice, 4), hex(m_subVendor, 4), hex(m_revision, 2),
            m_address);
}
