// The hardware providers against small fake /proc and /sys trees: exact objects, and no objects
// (never an error) when a source is missing.

#include "cwmiprovidertable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// A fixture tree: "path" -> content, or "path" -> "@target" for a symbolic link, or "path/" for a
// directory.
typedef QList<QPair<QString, QByteArray>> Tree;

bool build(const QString &root, const Tree &tree)
{
    for (const auto &entry : tree) {
        const QString p = root + entry.first;
        if (p.endsWith(QLatin1Char('/'))) {
            if (!QDir().mkpath(p))
                return false;
            continue;
        }
        if (!QDir().mkpath(QFileInfo(p).path()))
            return false;
        if (entry.second.startsWith('@')) {
            if (!QFile::link(QString::fromUtf8(entry.second.mid(1)), p))
                return false;
            continue;
        }
        QFile f(p);
        if (!f.open(QIODevice::WriteOnly) || f.write(entry.second) != entry.second.size())
            return false;
    }
    return true;
}

// Objects as "name=value" lines, null values as "name=<null>", objects joined by "^".
QString render(const QList<CWmiObject> &objects)
{
    QStringList parts;
    for (const CWmiObject &o : objects) {
        QString text;
        for (const CWmiObject::Property &p : o.properties())
            text += p.name + QLatin1Char('=')
                + (p.value.isValid() && !(p.value.typeId() == QMetaType::QString && p.value.toString().isNull())
                        ? p.value.toString()
                        : QStringLiteral("<null>"))
                + QLatin1Char('\n');
        parts.append(text);
    }
    return parts.join(QLatin1Char('^'));
}

QByteArray smbios(int type, int handle, const QByteArray &fields, const QList<QByteArray> &strings)
{
    QByteArray s;
    s.append(char(type));
    s.append(char(4 + fields.size()));
    s.append(char(handle & 0xFF));
    s.append(char(handle >> 8));
    s.append(fields);
    if (strings.isEmpty()) {
        s.append(2, '\0');
    } else {
        for (const QByteArray &str : strings) {
            s.append(str);
            s.append('\0');
        }
        s.append('\0');
    }
    return s;
}

void put16(QByteArray &a, int offset, int v)
{
    a[offset - 4] = char(v & 0xFF);
    a[offset - 3] = char((v >> 8) & 0xFF);
}

void put32(QByteArray &a, int offset, qint64 v)
{
    put16(a, offset, int(v & 0xFFFF));
    put16(a, offset + 2, int((v >> 16) & 0xFFFF));
}

// A memory device (type 17) with the fields laid out at their SMBIOS offsets.
QByteArray memoryDevice(int handle, int sizeWord, qint64 extendedMb, int speed, const QList<QByteArray> &strings)
{
    QByteArray f(0x28 - 4, '\0');
    put16(f, 0x08, 72);
    put16(f, 0x0A, 64);
    put16(f, 0x0C, sizeWord);
    f[0x0E - 4] = char(0x09);
    f[0x10 - 4] = strings.size() > 0 ? 1 : 0; // device locator
    f[0x11 - 4] = strings.size() > 1 ? 2 : 0; // bank locator
    put16(f, 0x15, speed);
    f[0x17 - 4] = strings.size() > 2 ? 3 : 0; // manufacturer
    f[0x18 - 4] = strings.size() > 3 ? 4 : 0; // serial
    f[0x1A - 4] = strings.size() > 4 ? 5 : 0; // part number
    put32(f, 0x1C, extendedMb);
    put16(f, 0x20, speed ? speed - 267 : 0);
    return smbios(17, handle, f, strings);
}

QByteArray processorSocket(int handle, const QByteArray &socket, int maxMhz, bool populated)
{
    QByteArray f(0x2A - 4, '\0');
    f[0x04 - 4] = 1;
    put16(f, 0x14, maxMhz);
    f[0x18 - 4] = char(populated ? 0x41 : 0x00);
    return smbios(4, handle, f, {socket});
}

QByteArray endOfTable()
{
    return smbios(127, 0xFFFF, QByteArray(), {});
}

const QByteArray kIntelBlock
    = "vendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 85\nmodel name\t: Intel(R) Xeon(R) "
      "Gold 6130 CPU @ 2.10GHz\nstepping\t: 4\ncpu MHz\t\t: 1000.123\ncpu cores\t: 2\n"
      "flags\t\t: fpu vme lm sse2\n";
} // namespace

class TestWmiProvidersHw : public QObject
{
    Q_OBJECT

private slots:
    void provider_data();
    void provider();
    void missingSourcesGiveNoObjects_data();
    void missingSourcesGiveNoObjects();
};

void TestWmiProvidersHw::provider_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<Tree>("tree");
    QTest::addColumn<QString>("expected");

    QByteArray cpuinfo;
    const QList<QPair<int, int>> logical {{0, 0}, {1, 0}, {2, 1}, {3, 1}}; // processor, package
    for (const auto &l : logical)
        cpuinfo += "processor\t: " + QByteArray::number(l.first) + "\n" + kIntelBlock + "physical id\t: "
            + QByteArray::number(l.second) + "\ncore id\t\t: " + QByteArray::number(l.first % 2) + "\n\n";
    QTest::newRow("processor: two packages, cpufreq and firmware sockets")
        << QStringLiteral("Win32_Processor")
        << Tree {{"/proc/cpuinfo", cpuinfo}, {"/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq", "3700000\n"},
               {"/sys/devices/system/cpu/cpu0/cpufreq/scaling_cur_freq", "2099999\n"},
               {"/sys/firmware/dmi/tables/DMI",
                   processorSocket(0x40, "CPU1", 4000, true) + processorSocket(0x41, "CPU-EMPTY", 0, false)
                       + processorSocket(0x42, "CPU2", 3900, true) + endOfTable()}}
        << QStringLiteral(
               "AddressWidth=64\nCaption=Intel64 Family 6 Model 85 Stepping 4\nCurrentClockSpeed=2100\nDataWidth=64\n"
               "Description=Intel64 Family 6 Model 85 Stepping 4\nDeviceID=CPU0\nManufacturer=GenuineIntel\n"
               "MaxClockSpeed=3700\nName=Intel(R) Xeon(R) Gold 6130 CPU @ 2.10GHz\nNumberOfCores=2\n"
               "NumberOfLogicalProcessors=2\nProcessorType=3\nRole=CPU\nSocketDesignation=CPU1\nStatus=OK\n"
               "^AddressWidth=64\nCaption=Intel64 Family 6 Model 85 Stepping 4\nCurrentClockSpeed=1000\nDataWidth=64\n"
               "Description=Intel64 Family 6 Model 85 Stepping 4\nDeviceID=CPU1\nManufacturer=GenuineIntel\n"
               "MaxClockSpeed=3900\nName=Intel(R) Xeon(R) Gold 6130 CPU @ 2.10GHz\nNumberOfCores=2\n"
               "NumberOfLogicalProcessors=2\nProcessorType=3\nRole=CPU\nSocketDesignation=CPU2\nStatus=OK\n");

    QTest::newRow("processor: one package without ids, clock from cpuinfo")
        << QStringLiteral("Win32_Processor")
        << Tree {{"/proc/cpuinfo",
               "processor\t: 0\nvendor_id\t: AuthenticAMD\ncpu family\t: 26\nmodel\t\t: 2\nmodel name\t: AMD EPYC\n"
               "stepping\t: 1\ncpu MHz\t\t: 2096.007\nflags\t\t: fpu lm\n\nprocessor\t: 1\nvendor_id\t: AuthenticAMD\n"
               "model name\t: AMD EPYC\n\n"}}
        << QStringLiteral("AddressWidth=64\nCaption=AMD64 Family 26 Model 2 Stepping 1\nCurrentClockSpeed=2096\n"
                          "DataWidth=64\nDescription=AMD64 Family 26 Model 2 Stepping 1\nDeviceID=CPU0\n"
                          "Manufacturer=AuthenticAMD\nMaxClockSpeed=2096\nName=AMD EPYC\nNumberOfCores=1\n"
                          "NumberOfLogicalProcessors=2\nProcessorType=3\nRole=CPU\nSocketDesignation=<null>\n"
                          "Status=OK\n");

    QTest::newRow("base board") << QStringLiteral("Win32_BaseBoard")
                                << Tree {{"/sys/class/dmi/id/board_vendor", "ASUSTeK COMPUTER INC.\n"},
                                       {"/sys/class/dmi/id/board_name", "PRIME B450M-A\n"},
                                       {"/sys/class/dmi/id/board_version", "Rev X.0x\n"}}
                                << QStringLiteral(
                                       "Caption=Base Board\nDescription=Base Board\nHostingBoard=true\n"
                                       "Manufacturer=ASUSTeK COMPUTER INC.\nName=Base Board\nProduct=PRIME B450M-A\n"
                                       "SerialNumber=<null>\nStatus=OK\nTag=Base Board\nVersion=Rev X.0x\n");

    QTest::newRow("bios") << QStringLiteral("Win32_BIOS")
                          << Tree {{"/sys/class/dmi/id/bios_vendor", "American Megatrends Inc.\n"},
                                 {"/sys/class/dmi/id/bios_version", "4602\n"},
                                 {"/sys/class/dmi/id/bios_date", "02/23/2023\n"},
                                 {"/sys/class/dmi/id/bios_release", "5.17\n"},
                                 {"/sys/class/dmi/id/product_serial", "SYS-123\n"}}
                          << QStringLiteral(
                                 "Caption=4602\nDescription=4602\nManufacturer=American Megatrends Inc.\nName=4602\n"
                                 "PrimaryBIOS=true\nReleaseDate=20230223000000.000000+000\nSerialNumber=SYS-123\n"
                                 "SMBIOSBIOSVersion=4602\nSoftwareElementID=4602\nStatus=OK\nSystemBiosMajorVersion=5\n"
                                 "SystemBiosMinorVersion=17\nVersion=4602\n");

    QByteArray vpd("\x00\x80\x00\x08", 4);
    vpd += "WD-12345";
    QTest::newRow("disk drives: physical disks only, in kernel order")
        << QStringLiteral("Win32_DiskDrive")
        << Tree {{"/sys/devices/pci0000:00/0000:00:17.0/ata1/host0/block/sda/size", "1953525168\n"},
               {"/sys/devices/pci0000:00/0000:00:17.0/ata1/host0/block/sda/removable", "0\n"},
               {"/sys/devices/pci0000:00/0000:00:17.0/ata1/host0/block/sda/queue/logical_block_size", "512\n"},
               {"/sys/devices/pci0000:00/0000:00:17.0/ata1/host0/block/sda/device/model", "WDC WD10EZEX-08W\n"},
               {"/sys/devices/pci0000:00/0000:00:17.0/ata1/host0/block/sda/device/rev", "1A01\n"},
               {"/sys/devices/pci0000:00/0000:00:17.0/ata1/host0/block/sda/device/vpd_pg80", vpd},
               {"/sys/devices/pci0000:00/0000:00:17.0/ata1/host0/block/sda/sda1/partition", "1\n"},
               {"/sys/devices/pci0000:00/0000:00:17.0/ata1/host0/block/sda/sda2/partition", "2\n"},
               {"/sys/devices/pci0000:00/0000:00:17.0/ata1/host0/block/sda/queue/", ""},
               {"/sys/block/sda", "@../devices/pci0000:00/0000:00:17.0/ata1/host0/block/sda"},
               {"/sys/devices/pci0000:00/usb1/1-1/block/sdb/size", "0\n"},
               {"/sys/devices/pci0000:00/usb1/1-1/block/sdb/removable", "1\n"},
               {"/sys/devices/pci0000:00/usb1/1-1/block/sdb/device/model", "Card Reader\n"},
               {"/sys/block/sdb", "@../devices/pci0000:00/usb1/1-1/block/sdb"},
               {"/sys/block/nvme0n1/size", "1000215216\n"}, {"/sys/block/nvme0n1/device/model", "Samsung SSD 970\n"},
               {"/sys/block/nvme0n1/device/serial", "S4EWNX0N\n"}, {"/sys/block/nvme0n1/nvme0n1p1/partition", "1\n"},
               {"/sys/block/nvme0c0n1/size", "1000215216\n"}, {"/sys/block/nvme0c0n1/hidden", "1\n"},
               {"/sys/block/vda/size", "536870912\n"}, {"/sys/block/vda/serial", "1386631548627764\n"},
               {"/sys/block/loop0/size", "100\n"}, {"/sys/block/zram0/size", "100\n"},
               {"/sys/block/dm-0/size", "100\n"}, {"/sys/block/md0/size", "100\n"}, {"/sys/block/ram0/size", "100\n"},
               {"/sys/block/sr0/size", "100\n"}, {"/sys/block/mmcblk0boot0/size", "100\n"}}
        << QStringLiteral("BytesPerSector=512\nCaption=WDC WD10EZEX-08W\nDescription=Disk drive\n"
                          "DeviceID=\\\\.\\PHYSICALDRIVE0\nFirmwareRevision=1A01\nIndex=0\nInterfaceType=IDE\n"
                          "Manufacturer=(Standard disk drives)\nMediaLoaded=true\nMediaType=Fixed hard disk media\n"
                          "Model=WDC WD10EZEX-08W\nName=\\\\.\\PHYSICALDRIVE0\nPartitions=2\nSerialNumber=WD-12345\n"
                          "Size=1000204886016\nStatus=OK\n"
                          "^BytesPerSector=<null>\nCaption=Card Reader\nDescription=Disk drive\n"
                          "DeviceID=\\\\.\\PHYSICALDRIVE1\nFirmwareRevision=<null>\nIndex=1\nInterfaceType=USB\n"
                          "Manufacturer=(Standard disk drives)\nMediaLoaded=false\nMediaType=Removable Media\n"
                          "Model=Card Reader\nName=\\\\.\\PHYSICALDRIVE1\nPartitions=0\nSerialNumber=<null>\n"
                          "Size=<null>\nStatus=OK\n"
                          "^BytesPerSector=<null>\nCaption=Virtio Block Device\nDescription=Disk drive\n"
                          "DeviceID=\\\\.\\PHYSICALDRIVE2\nFirmwareRevision=<null>\nIndex=2\nInterfaceType=SCSI\n"
                          "Manufacturer=(Standard disk drives)\nMediaLoaded=true\nMediaType=Fixed hard disk media\n"
                          "Model=Virtio Block Device\nName=\\\\.\\PHYSICALDRIVE2\nPartitions=0\n"
                          "SerialNumber=1386631548627764\nSize=274877906944\nStatus=OK\n"
                          "^BytesPerSector=<null>\nCaption=Samsung SSD 970\nDescription=Disk drive\n"
                          "DeviceID=\\\\.\\PHYSICALDRIVE3\nFirmwareRevision=<null>\nIndex=3\nInterfaceType=SCSI\n"
                          "Manufacturer=(Standard disk drives)\nMediaLoaded=true\nMediaType=Fixed hard disk media\n"
                          "Model=Samsung SSD 970\nName=\\\\.\\PHYSICALDRIVE3\nPartitions=1\nSerialNumber=S4EWNX0N\n"
                          "Size=512110190592\nStatus=OK\n");

    QTest::newRow("optical drives")
        << QStringLiteral("Win32_CDROMDrive")
        << Tree {{"/sys/block/sr0/size", "2097152\n"}, {"/sys/block/sr0/device/vendor", "HL-DT-ST\n"},
               {"/sys/block/sr0/device/model", "DVDRAM GH24NSB0 \n"}, {"/sys/block/sr0/device/rev", "LN01\n"},
               {"/sys/block/sr1/size", "0\n"}, {"/sys/block/sda/size", "100\n"}}
        << QStringLiteral("Caption=HL-DT-ST DVDRAM GH24NSB0\nDescription=CD-ROM Drive\nDeviceID=sr0\nDrive=/dev/sr0\n"
                          "Manufacturer=(Standard CD-ROM drives)\nMediaLoaded=true\nMediaType=CD-ROM\n"
                          "Name=HL-DT-ST DVDRAM GH24NSB0\nRevision=LN01\nSize=1073741824\nStatus=OK\n"
                          "^Caption=<null>\nDescription=CD-ROM Drive\nDeviceID=sr1\nDrive=/dev/sr1\n"
                          "Manufacturer=(Standard CD-ROM drives)\nMediaLoaded=false\nMediaType=CD-ROM\nName=<null>\n"
                          "Revision=<null>\nSize=<null>\nStatus=OK\n");

    QTest::newRow("network adapters: hardware only, PCI and USB vendors")
        << QStringLiteral("Win32_NetworkAdapter")
        << Tree {{"/sys/devices/pci0000:00/0000:00:19.0/vendor", "0x8086\n"},
               {"/sys/devices/pci0000:00/0000:00:19.0/device", "0x15b8\n"}, {"/sys/bus/pci/drivers/e1000e/", ""},
               {"/sys/devices/pci0000:00/0000:00:19.0/driver", "@../../../bus/pci/drivers/e1000e"},
               {"/sys/class/net/eth0/device", "@../../../devices/pci0000:00/0000:00:19.0"},
               {"/sys/class/net/eth0/ifindex", "2\n"}, {"/sys/class/net/eth0/address", "3c:7c:3f:1a:2b:0c\n"},
               {"/sys/class/net/eth0/type", "1\n"}, {"/sys/class/net/eth0/speed", "1000\n"},
               {"/sys/class/net/eth0/operstate", "up\n"}, {"/sys/class/net/eth0/carrier", "1\n"},
               {"/sys/devices/pci0000:00/usb1/1-2/idVendor", "0bda\n"},
               {"/sys/devices/pci0000:00/usb1/1-2/manufacturer", "Realtek\n"},
               {"/sys/devices/pci0000:00/usb1/1-2/product", "802.11n NIC\n"},
               {"/sys/devices/pci0000:00/usb1/1-2/1-2:1.0/", ""},
               {"/sys/class/net/wlan0/device", "@../../../devices/pci0000:00/usb1/1-2/1-2:1.0"},
               {"/sys/class/net/wlan0/ifindex", "3\n"}, {"/sys/class/net/wlan0/address", "00:e0:4c:81:92:a3\n"},
               {"/sys/class/net/wlan0/type", "1\n"}, {"/sys/class/net/wlan0/speed", "-1\n"},
               {"/sys/class/net/wlan0/operstate", "down\n"}, {"/sys/class/net/lo/ifindex", "1\n"},
               {"/sys/class/net/docker0/ifindex", "4\n"}}
        << QStringLiteral("AdapterType=Ethernet 802.3\nAdapterTypeId=0\nCaption=[00000002] eth0\nDescription=eth0\n"
                          "DeviceID=2\nIndex=2\nInterfaceIndex=2\nMACAddress=3C:7C:3F:1A:2B:0C\n"
                          "Manufacturer=Intel Corporation\nName=eth0\nNetConnectionID=eth0\nNetConnectionStatus=2\n"
                          "NetEnabled=true\nPhysicalAdapter=true\nProductName=eth0\nServiceName=e1000e\n"
                          "Speed=1000000000\n"
                          "^AdapterType=Ethernet 802.3\nAdapterTypeId=0\nCaption=[00000003] 802.11n NIC\n"
                          "Description=802.11n NIC\nDeviceID=3\nIndex=3\nInterfaceIndex=3\n"
                          "MACAddress=00:E0:4C:81:92:A3\nManufacturer=Realtek\nName=802.11n NIC\n"
                          "NetConnectionID=wlan0\nNetConnectionStatus=0\nNetEnabled=false\nPhysicalAdapter=true\n"
                          "ProductName=802.11n NIC\nServiceName=<null>\nSpeed=<null>\n");

    QTest::newRow("network adapter: product name from pci.ids")
        << QStringLiteral("Win32_NetworkAdapter")
        << Tree {{"/usr/share/misc/pci.ids",
                     "# comment\n10ec  Realtek Semiconductor Co., Ltd.\n\t8168  RTL8111/8168 PCI Express Gigabit "
                     "Ethernet controller\n"},
               {"/sys/devices/pci0000:00/0000:03:00.0/vendor", "0x10ec\n"},
               {"/sys/devices/pci0000:00/0000:03:00.0/device", "0x8168\n"},
               {"/sys/class/net/enp3s0/device", "@../../../devices/pci0000:00/0000:03:00.0"},
               {"/sys/class/net/enp3s0/ifindex", "12\n"}, {"/sys/class/net/enp3s0/type", "1\n"},
               {"/sys/class/net/enp3s0/operstate", "up\n"}, {"/sys/class/net/enp3s0/carrier", "0\n"}}
        << QStringLiteral("AdapterType=Ethernet 802.3\nAdapterTypeId=0\n"
                          "Caption=[00000012] RTL8111/8168 PCI Express Gigabit Ethernet controller\n"
                          "Description=RTL8111/8168 PCI Express Gigabit Ethernet controller\nDeviceID=12\nIndex=12\n"
                          "InterfaceIndex=12\nMACAddress=<null>\nManufacturer=Realtek Semiconductor Co., Ltd.\n"
                          "Name=RTL8111/8168 PCI Express Gigabit Ethernet controller\nNetConnectionID=enp3s0\n"
                          "NetConnectionStatus=7\nNetEnabled=true\nPhysicalAdapter=true\n"
                          "ProductName=RTL8111/8168 PCI Express Gigabit Ethernet controller\nServiceName=<null>\n"
                          "Speed=<null>\n");

    QTest::newRow("physical memory: firmware modules, empty slot skipped")
        << QStringLiteral("Win32_PhysicalMemory")
        << Tree {{"/sys/firmware/dmi/tables/DMI",
                     processorSocket(0x40, "CPU1", 0, true)
                         + memoryDevice(
                             0x50, 8192, 0, 3200, {"DIMM_A1", "BANK 0", "Samsung", "12345678", "M378A1K43CB2-CTD   "})
                         + memoryDevice(0x51, 0, 0, 0, {"DIMM_A2", "BANK 1"})
                         + memoryDevice(0x52, 0x7FFF, 65536, 0, {"DIMM_B1"}) + endOfTable()},
               {"/proc/meminfo", "MemTotal:       16318480 kB\n"}}
        << QStringLiteral("BankLabel=BANK 0\nCapacity=8589934592\nCaption=Physical Memory\nConfiguredClockSpeed=2933\n"
                          "DataWidth=64\nDescription=Physical Memory\nDeviceLocator=DIMM_A1\nManufacturer=Samsung\n"
                          "Name=Physical Memory\nPartNumber=M378A1K43CB2-CTD\nSerialNumber=12345678\nSpeed=3200\n"
                          "Tag=Physical Memory 0\nTotalWidth=72\n"
                          "^BankLabel=<null>\nCapacity=68719476736\nCaption=Physical Memory\n"
                          "ConfiguredClockSpeed=<null>\nDataWidth=64\nDescription=Physical Memory\n"
                          "DeviceLocator=DIMM_B1\nManufacturer=<null>\nName=Physical Memory\nPartNumber=<null>\n"
                          "SerialNumber=<null>\nSpeed=<null>\nTag=Physical Memory 1\nTotalWidth=72\n");

    QTest::newRow("physical memory: online memory blocks")
        << QStringLiteral("Win32_PhysicalMemory")
        << Tree {{"/sys/devices/system/memory/block_size_bytes", "8000000\n"},
               {"/sys/devices/system/memory/memory0/online", "1\n"},
               {"/sys/devices/system/memory/memory1/online", "1\n"},
               {"/sys/devices/system/memory/memory2/online", "0\n"},
               {"/sys/devices/system/memory/memory10/online", "1\n"},
               {"/proc/meminfo", "MemTotal:       16318480 kB\n"}}
        << QStringLiteral("Capacity=402653184\nCaption=Physical Memory\nDescription=Physical Memory\n"
                          "Name=Physical Memory\nTag=Physical Memory 0\n");

    QTest::newRow("physical memory: MemTotal when nothing else is readable")
        << QStringLiteral("Win32_PhysicalMemory")
        << Tree {{"/sys/firmware/dmi/tables/DMI", QByteArray("\x11\x28\x00", 3)},
               {"/proc/meminfo", "MemFree:         1000 kB\nMemTotal:       16318480 kB\nSwapTotal: 0 kB\n"}}
        << QStringLiteral("Capacity=16710123520\nCaption=Physical Memory\nDescription=Physical Memory\n"
                          "Name=Physical Memory\nTag=Physical Memory 0\n");
}

void TestWmiProvidersHw::provider()
{
    QFETCH(QString, className);
    QFETCH(Tree, tree);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(build(dir.path(), tree));
    const std::unique_ptr<CWmiProvider> p = CWmiProviderTable::create(className, dir.path());
    QVERIFY(p);
    QCOMPARE(render(p->objects()), expected);
}

void TestWmiProvidersHw::missingSourcesGiveNoObjects_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<Tree>("tree");
    const Tree empty {{"/proc/", ""}, {"/sys/", ""}};
    for (const char *c : {"Win32_Processor", "Win32_BaseBoard", "Win32_BIOS", "Win32_DiskDrive", "Win32_CDROMDrive",
             "Win32_NetworkAdapter", "Win32_PhysicalMemory"})
        QTest::newRow(c) << QString::fromLatin1(c) << empty;
    QTest::newRow("empty cpuinfo") << QStringLiteral("Win32_Processor") << Tree {{"/proc/cpuinfo", ""}};
    QTest::newRow("dmi directory without board files")
        << QStringLiteral("Win32_BaseBoard") << Tree {{"/sys/class/dmi/id/bios_vendor", "x\n"}};
    QTest::newRow("network: loopback and virtual links only") << QStringLiteral(
        "Win32_NetworkAdapter") << Tree {{"/sys/class/net/lo/ifindex", "1\n"}, {"/sys/class/net/veth1/ifindex", "9\n"}};
    QTest::newRow("memory: unreadable numbers")
        << QStringLiteral("Win32_PhysicalMemory")
        << Tree {{"/sys/devices/system/memory/block_size_bytes", "zz\n"}, {"/proc/meminfo", "MemTotal: lots\n"}};
}

void TestWmiProvidersHw::missingSourcesGiveNoObjects()
{
    QFETCH(QString, className);
    QFETCH(Tree, tree);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(build(dir.path(), tree));
    const std::unique_ptr<CWmiProvider> p = CWmiProviderTable::create(className, dir.path());
    QVERIFY(p);
    QCOMPARE(render(p->objects()), QString());
}

QTEST_GUILESS_MAIN(TestWmiProvidersHw)
#include "tst_wmiproviders_hw.moc"
