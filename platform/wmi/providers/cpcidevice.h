#pragma once

#include <QString>

class CWmiProvider;

// The identity of one PCI function as sysfs shows it (/sys/bus/pci/devices/<address>).
class CPciDevice
{
public:
    // Reads the device directory below the provider's root; isValid() is false when it has no
    // readable vendor and device ids.
    static CPciDevice read(const CWmiProvider &provider, const QString &machineDir);

    bool isValid() const { return m_valid; }
    QString address() const { return m_address; }
    uint vendor() const { return m_vendor; }
    uint device() const { return m_device; }
    uint deviceClass() const { return m_class; }
    // Name of the bound kernel driver, empty when none is bound.
    QString driver() const { return m_driver; }
    // Windows-style plug-and-play id: PCI\VEN_vvvv&DEV_dddd&SUBSYS_ssssvvvv&REV_rr\<address>.
    QString pnpDeviceId() const;

private:
    bool m_valid = false;
    QString m_address;
    uint m_vendor = 0;
    uint m_device = 0;
    uint m_subVendor = 0;
    uint m_subDevice = 0;
    uint m_revision = 0;
    uint m_class = 0;
    QString m_driver;
};
