#pragma once

#include <QHash>
#include <QString>

class CWmiProvider;

// Vendor and device names of PCI ids, from the pci.ids database below the provider's root when it
// is installed, else a small table of the vendors common in display and sound hardware.
class CPciIds
{
public:
    explicit CPciIds(const CWmiProvider &provider);

    // Null when the vendor is unknown. Ids are 16-bit values.
    QString vendorName(uint vendor) const;
    // Null when the database is missing or does not list the device.
    QString deviceName(uint vendor, uint device) const;
    // What lspci shows: "<vendor> <device>", "<vendor> Device <dddd>" or "Device <vvvv>:<dddd>".
    QString displayName(uint vendor, uint device) const;

private:
    void load(const QByteArray &data);

    QHash<uint, QString> m_vendors;
    QHash<quint32, QString> m_devices;
    bool m_loaded = false;
};
