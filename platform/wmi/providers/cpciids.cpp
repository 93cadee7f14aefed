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

QByteArray hex4(uint value)
{
    return QByteArray::number(value & 0xFFFF, 16).rightJustified(4, '0');
}

} // namespace

CPciIds::CPciIds(const CWmiProvider &provider)
{
    for (const char *file : {"/usr/share/misc/pci.ids", "/usr/share/hwdata/pci.ids"}) {
        const QByteArray data = provider.readBytes(QLatin1String(file));
        if (!data.isEmpty()) {
            m_data = '\n' + data;
            return;
        }
    }
    for (const KnownVendor &v : knownVendors)
        m_known.insert(v.id, QString::fromLatin1(v.name));
}

// Only a handful of ids are looked up per read, so the 1.5 MB database is searched, not indexed.
// Vendor lines start in column 0 with four hex digits, device lines with one tab; the class
// section at the end uses two-digit ids and cannot match.
QByteArray CPciIds::vendorBlock(uint vendor) const
{
    const qsizetype start = m_data.indexOf('\n' + hex4(vendor) + "  ");
    if (start < 0)
        return QByteArray();
    qsizetype end = start + 1;
    for (;;) {
        end = m_data.indexOf('\n', end);
        if (end < 0 || end + 1 >= m_data.size()) {
            end = m_data.size();
            break;
        }
        const char c = m_data.at(end + 1);
        if (c != '\t' && c != '#' && c != '\n')
            break;
        ++end;
    }
    return m_data.mid(start, end - start);
}

QString CPciIds::vendorName(uint vendor) const
{
    if (m_data.isEmpty())
        return m_known.value(vendor);
    const QByteArray block = vendorBlock(vendor);
    if (block.isEmpty())
        return QString();
    const qsizetype eol = block.indexOf('\n', 1);
    return QString::fromUtf8(block.mid(5, eol < 0 ? -1 : eol - 5).trimmed());
}

QString CPciIds::deviceName(uint vendor, uint device) const
{
    const QByteArray block = vendorBlock(vendor);
    const QByteArray key = "\n\t" + hex4(device) + "  ";
    const qsizetype at = block.indexOf(key);
    if (at < 0)
        return QString();
    const qsizetype from = at + key.size();
    const qsizetype eol = block.indexOf('\n', from);
    return QString::fromUtf8(block.mid(from, eol < 0 ? -1 : eol - from).trimmed());
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
