#include "cpciids.h"

#include "cwmiprovider.h"

namespace {

struct KnownVendor
{
    uint id;
    const char *name;
};

// Spelled as pci.ids spells them, so a row does not change its vendor text when the database
// gets installed.
const KnownVendor knownVendors[] = {
    {0x8086, "Intel Corporation"},
    {0x1002, "Advanced Micro Devices, Inc. [AMD/ATI]"},
    {0x1022, "Advanced Micro Devices, Inc. [AMD]"},
    {0x10de, "NVIDIA Corporation"},
    {0x15ad, "VMware"},
    {0x1af4, "Red Hat, Inc."},
    {0x1b36, "Red Hat, Inc."},
    {0x1234, "Technical Corp."},
    {0x102b, "Matrox Electronics Systems Ltd."},
    {0x1a03, "ASPEED Technology, Inc."},
};

bool parseHex4(const QByteArray &line, int pos, uint *value)
{
    if (line.size() < pos + 4)
        return false;
    bool ok = false;
    *value = line.mid(pos, 4).toUInt(&ok, 16);
    return ok;
}

} // namespace

CPciIds::CPciIds(const CWmiProvider &provider)
{
    for (const char *file : {"/usr/share/misc/pci.ids", "/usr/share/hwdata/pci.ids"}) {
        const QByteArray data = provider.readBytes(QLatin1String(file));
        if (!data.isEmpty()) {
            load(data);
            break;
        }
    }
    if (!m_loaded)
        for (const KnownVendor &v : knownVendors)
            m_vendors.insert(v.id, QString::fromLatin1(v.name));
}

void CPciIds::load(const QByteArray &data)
{
    // Vendor lines start in column 0, device lines with one tab, subsystem lines with two; the
    // device class section ("C ...") at the end is not needed.
    m_loaded = true;
    uint vendor = 0;
    bool inVendor = false;
    qsizetype start = 0;
    while (start < data.size()) {
        qsizetype end = data.indexOf('\n', start);
        if (end < 0)
            end = data.size();
        const QByteArray line = data.mid(start, end - start);
        start = end + 1;
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (line.startsWith("C "))
            break;
        uint id = 0;
        if (line.at(0) != '\t') {
            inVendor = parseHex4(line, 0, &id);
            if (inVendor) {
                vendor = id;
                m_vendors.insert(vendor, QString::fromUtf8(line.mid(4).trimmed()));
            }
        } else if (inVendor && line.size() > 1 && line.at(1) != '\t' && parseHex4(line, 1, &id)) {
            m_devices.insert((vendor << 16) | id, QString::fromUtf8(line.mid(5).trimmed()));
        }
    }
}

QString CPciIds::vendorName(uint vendor) const
{
    return m_vendors.value(vendor);
}

QString CPciIds::deviceName(uint vendor, uint device) const
{
    return m_devices.value((vendor << 16) | device);
}

QString CPciIds::displayName(uint vendor, uint device) const
{
    const QString v = vendorName(vendor);
    const QString d = deviceName(vendor, device);
    const QString hexDevice = QStringLiteral("%1").arg(device, 4, 16, QLatin1Char('0'));
    if (v.isEmpty())
        return QStringLiteral("Device %1:%2").arg(vendor, 4, 16, QLatin1Char('0')).arg(hexDevice);
    if (d.isEmpty())
        return v + QStringLiteral(" Device ") + hexDevice;
    return v + QLatin1Char(' ') + d;
}
