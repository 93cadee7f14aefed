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
    // The vendor's block in the database: its own line and its device lines.
    QByteArray vendorBlock(uint vendor) const;

    // The database with a line feed in front, so every entry follows a "\n"; empty when missing.
    QByteArray m_data;
    QHash<uint, QString> m_known;
};
