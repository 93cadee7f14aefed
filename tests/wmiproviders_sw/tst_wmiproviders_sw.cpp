#include "ccimdatetime.h"
#include "cedid.h"
#include "cwmioperatingsystemprovider.h"
#include "cwmiprovidertable.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <ctime>

// Fixture files: machine path -> content; a content starting with "->" makes a symbolic link to
// the rest of it.
using Files = QMap<QString, QByteArray>;
Q_DECLARE_METATYPE(Files)

namespace {

bool writeTree(const QString &root, const Files &files)
{
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString target = root + it.key();
        if (!QDir().mkpath(QFileInfo(target).path()))
            return false;
        if (it.value().startsWith("->")) {
            if (!QFile::link(QString::fromUtf8(it.value().mid(2)), target))
                return false;
            continue;
        }
        QFile f(target);
        if (!f.open(QIODevice::WriteOnly) || f.write(it.value()) != it.value().size())
            return false;
    }
    return true;
}

bool setMtime(const QString &path, const QDateTime &time)
{
    QFile f(path);
    return f.open(QIODevice::ReadWrite) && f.setFileTime(time, QFileDevice::FileModificationTime);
}

// One line per property: "Name=value", with the value's type for non-texts and "<null>" for WMI
// null; objects are separated by "--".
QStringList dump(const QList<CWmiObject> &objects)
{
    QStringList lines;
    for (const CWmiObject &o : objects) {
        if (!lines.isEmpty())
            lines << QStringLiteral("--");
        for (const CWmiObject::Property &p : o.properties()) {
            QString v;
            if (p.value.isNull())
                v = QStringLiteral("<null>");
            else if (p.value.typeId() == QMetaType::QString)
                v = p.value.toString();
            else
                v = p.value.toString() + QStringLiteral(" (") + QString::fromLatin1(p.value.typeName())
                    + QLatin1Char(')');
            lines << p.name + QLatin1Char('=') + v;
        }
    }
    return lines;
}

// WMI lists a class's properties in alphabetical order, letter case ignored.
bool namesSorted(const QList<CWmiObject> &objects)
{
    for (const CWmiObject &o : objects)
        for (int i = 1; i < o.properties().size(); ++i)
            if (o.properties().at(i - 1).name.compare(o.properties().at(i).name, Qt::CaseInsensitive) >= 0)
                return false;
    return true;
}

QByteArray edidBlock(const QByteArray &name, bool withTiming = true)
{
    QByteArray b(128, '\0');
    const char header[8] = {0, char(0xFF), char(0xFF), char(0xFF), char(0xFF), char(0xFF), char(0xFF), 0};
    memcpy(b.data(), header, 8);
    // "DEL": D=4, E=5, L=12 -> 0x10AC; product 0xA0C3 little-endian.
    b[8] = char(0x10);
    b[9] = char(0xAC);
    b[10] = char(0xC3);
    b[11] = char(0xA0);
    b[18] = 1;
    b[19] = 4;
    if (withTiming) {
        // 1920 x 1080 at 148.5 MHz.
        b[54] = char(0x02);
        b[55] = char(0x3A);
        b[56] = char(0x80);
        b[57] = char(0x18);
        b[58] = char(0x71);
        b[59] = char(0x38);
        b[60] = char(0x2D);
        b[61] = char(0x40);
    }
    int d = 72;
    if (!name.isEmpty()) {
        b[d + 3] = char(0xFC);
        QByteArray text = name.left(13);
        if (text.size() < 13)
            text.append('\n');
        while (text.size() < 13)
            text.append(' ');
        memcpy(b.data() + d + 5, text.constData(), 13);
        d += 18;
    }
    // Serial text descriptor, which is not the name.
    b[d + 3] = char(0xFF);
    memcpy(b.data() + d + 5, "ABC123\n      ", 13);
    unsigned char sum = 0;
    for (int i = 0; i < 127; ++i)
        sum = static_cast<unsigned char>(sum + static_cast<unsigned char>(b[i]));
    b[127] = char(static_cast<unsigned char>(0x100 - sum));
    return b;
}

const QByteArray pciIds = "# pci.ids excerpt\n"
                          "1000  Broadcom / LSI\n"
                          "\t3e92  not the Intel device\n"
                          "\t8086  not a vendor line\n"
                          "\n"
                          "8086  Intel Corporation\n"
                          "\t1000  Intel device that is not a vendor\n"
                          "\t3e92  CoffeeLake-S GT2 [UHD Graphics 630]\n"
                          "\t\t1028 0869  Vostro 3470\n"
                          "\ta348  Cannon Lake PCH cAVS\n"
                          "1002  Advanced Micro Devices, Inc. [AMD/ATI]\n"
                          "\t73bf  Navi 21 [Radeon RX 6800/6800 XT / 6900 XT]\n"
                          "C 03  Display controller\n"
                          "\t00  VGA compatible controller\n";

Files videoTree(bool withPciIds)
{
    Files f;
    const QString intel = QStringLiteral("/sys/bus/pci/devices/0000:00:02.0/");
    f[intel + "vendor"] = "0x8086\n";
    f[intel + "device"] = "0x3e92\n";
    f[intel + "subsystem_vendor"] = "0x1028\n";
    f[intel + "subsystem_device"] = "0x0869\n";
    f[intel + "revision"] = "0x02\n";
    f[intel + "class"] = "0x030000\n";
    f[intel + "driver"] = "->../../../bus/pci/drivers/i915";
    const QString nic = QStringLiteral("/sys/bus/pci/devices/0000:00:1f.6/");
    f[nic + "vendor"] = "0x8086\n";
    f[nic + "device"] = "0x15bc\n";
    f[nic + "class"] = "0x020000\n";
    const QString amd = QStringLiteral("/sys/bus/pci/devices/0000:03:00.0/");
    f[amd + "vendor"] = "0x1002\n";
    f[amd + "device"] = "0x73bf\n";
    f[amd + "subsystem_vendor"] = "0x1002\n";
    f[amd + "subsystem_device"] = "0x0e3a\n";
    f[amd + "revision"] = "0xc1\n";
    f[amd + "class"] = "0x030000\n";
    f[amd + "mem_info_vram_total"] = "17163091968\n";
    f[amd + "driver"] = "->../../../bus/pci/drivers/amdgpu";
    f["/sys/module/amdgpu/version"] = "23.10.2\n";
    f["/sys/class/drm/card1/device"] = "->../../../bus/pci/devices/0000:00:02.0";
    f["/sys/class/drm/card1-DP-1/status"] = "disconnected\n";
    f["/sys/class/drm/card1-DP-1/modes"] = "3840x2160\n";
    f["/sys/class/drm/card1-HDMI-A-1/status"] = "connected\n";
    f["/sys/class/drm/card1-HDMI-A-1/modes"] = "1920x1080\n1280x720\n";
    if (withPciIds)
        f["/usr/share/misc/pci.ids"] = pciIds;
    return f;
}

} // namespace

class TestWmiProvidersSw : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cimDateTime_data();
    void cimDateTime();
    void edid_data();
    void edid();
    void providers_data();
    void providers();
    void missingSources_data();
    void missingSources();
    void productInstallDates();
    void operatingSystemTimes();
    void liveMachine();
};

void TestWmiProvidersSw::initTestCase()
{
    // Fixture dates are written and read back in local time; fix the zone so the texts are known.
    qputenv("TZ", "UTC");
    tzset();
}

void TestWmiProvidersSw::cimDateTime_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("text");
    const QDate d(2024, 3, 5);
    const QTime t(7, 8, 9);
    QTest::newRow("utc") << QDateTime(d, t, Qt::UTC) << "20240305070809.000000+000";
    QTest::newRow("east, half hour") << QDateTime(d, t, Qt::OffsetFromUTC, 19800) << "20240305070809.000000+330";
    QTest::newRow("west") << QDateTime(d, t, Qt::OffsetFromUTC, -18000) << "20240305070809.000000-300";
}

void TestWmiProvidersSw::cimDateTime()
{
    QFETCH(QDateTime, time);
    QFETCH(QString, text);
    QCOMPARE(CCimDateTime::toText(time), text);
}

void TestWmiProvidersSw::edid_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");

    const QByteArray good = edidBlock("DELL U2415");
    QTest::newRow("name and timing") << good << true << "DELL U2415" << 1920 << 1080;
    QTest::newRow("128-byte block of a longer EDID")
        << good + QByteArray(128, '\x02') << true << "DELL U2415" << 1920 << 1080;
    QTest::newRow("thirteen-letter name") << edidBlock("ABCDEFGHIJKLM") << true << "ABCDEFGHIJKLM" << 1920 << 1080;
    QTest::newRow("no name descriptor") << edidBlock(QByteArray()) << true << "" << 1920 << 1080;
    QTest::newRow("no timing") << edidBlock("X", false) << true << "X" << 0 << 0;
    QByteArray badSum = good;
    badSum[100] = char(badSum[100] + 1);
    QTest::newRow("bad checksum") << badSum << false << "" << 0 << 0;
    QByteArray badHeader = good;
    badHeader[0] = 1;
    badHeader[127] = char(badHeader[127] - 1);
    QTest::newRow("bad header") << badHeader << false << "" << 0 << 0;
    QTest::newRow("short") << good.left(127) << false << "" << 0 << 0;
    QTest::newRow("empty") << QByteArray() << false << "" << 0 << 0;
}

void TestWmiProvidersSw::edid()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, valid);
    QFETCH(QString, name);
    QFETCH(int, width);
    QFETCH(int, height);
    const CEdid e = CEdid::parse(data);
    QCOMPARE(e.isValid(), valid);
    QCOMPARE(e.monitorName(), name);
    QCOMPARE(e.preferredWidth(), width);
    QCOMPARE(e.preferredHeight(), height);
    if (valid) {
        QCOMPARE(e.manufacturerId(), QStringLiteral("DEL"));
        QCOMPARE(e.productCode(), 0xA0C3u);
    }
}

void TestWmiProvidersSw::providers_data()
{
    QTest::addColumn<QString>("wmiClass");
    QTest::addColumn<Files>("files");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("video controllers with pci.ids")
        << "Win32_VideoController" << videoTree(true)
        << QStringList {"AdapterCompatibility=Intel Corporation", "AdapterRAM=<null>",
               "Caption=Intel Corporation CoffeeLake-S GT2 [UHD Graphics 630]", "CurrentBitsPerPixel=32 (uint)",
               "CurrentHorizontalResolution=1920 (uint)", "CurrentNumberOfColors=4294967296 (qulonglong)",
               "CurrentVerticalResolution=1080 (uint)",
               "Description=Intel Corporation CoffeeLake-S GT2 [UHD Graphics 630]", "DeviceID=VideoController1",
               "DriverVersion=<null>", "Name=Intel Corporation CoffeeLake-S GT2 [UHD Graphics 630]",
               "PNPDeviceID=PCI\\VEN_8086&DEV_3E92&SUBSYS_08691028&REV_02\\0000:00:02.0",
               "VideoModeDescription=1920 x 1080 x 4294967296 colors", "--",
               "AdapterCompatibility=Advanced Micro Devices, Inc. [AMD/ATI]", "AdapterRAM=4294967295 (uint)",
               "Caption=Advanced Micro Devices, Inc. [AMD/ATI] Navi 21 [Radeon RX 6800/6800 XT / 6900 XT]",
               "CurrentBitsPerPixel=<null>", "CurrentHorizontalResolution=<null>", "CurrentNumberOfColors=<null>",
               "CurrentVerticalResolution=<null>",
               "Description=Advanced Micro Devices, Inc. [AMD/ATI] Navi 21 [Radeon RX 6800/6800 XT / 6900 XT]",
               "DeviceID=VideoController2", "DriverVersion=23.10.2",
               "Name=Advanced Micro Devices, Inc. [AMD/ATI] Navi 21 [Radeon RX 6800/6800 XT / 6900 XT]",
               "PNPDeviceID=PCI\\VEN_1002&DEV_73BF&SUBSYS_0E3A1002&REV_C1\\0000:03:00.0",
               "VideoModeDescription=<null>"};

    {
        // Without the database the vendor table names the vendor and the device keeps its id.
        Files f = videoTree(false);
        f["/sys/bus/pci/devices/0000:03:00.0/vendor"] = "0x1234\n";
        f["/sys/bus/pci/devices/0000:03:00.0/device"] = "0x1111\n";
        f["/sys/bus/pci/devices/0000:04:00.0/vendor"] = "0x5555\n";
        f["/sys/bus/pci/devices/0000:04:00.0/device"] = "0x0001\n";
        f["/sys/bus/pci/devices/0000:04:00.0/class"] = "0x038000\n";
        QTest::newRow("video controllers from the vendor table")
            << "Win32_VideoController" << f
            << QStringList {"AdapterCompatibility=Intel Corporation", "AdapterRAM=<null>",
                   "Caption=Intel Corporation Device 3e92", "CurrentBitsPerPixel=32 (uint)",
                   "CurrentHorizontalResolution=1920 (uint)", "CurrentNumberOfColors=4294967296 (qulonglong)",
                   "CurrentVerticalResolution=1080 (uint)", "Description=Intel Corporation Device 3e92",
                   "DeviceID=VideoController1", "DriverVersion=<null>", "Name=Intel Corporation Device 3e92",
                   "PNPDeviceID=PCI\\VEN_8086&DEV_3E92&SUBSYS_08691028&REV_02\\0000:00:02.0",
                   "VideoModeDescription=1920 x 1080 x 4294967296 colors", "--", "AdapterCompatibility=Technical Corp.",
                   "AdapterRAM=4294967295 (uint)", "Caption=Technical Corp. Device 1111", "CurrentBitsPerPixel=<null>",
                   "CurrentHorizontalResolution=<null>", "CurrentNumberOfColors=<null>",
                   "CurrentVerticalResolution=<null>", "Description=Technical Corp. Device 1111",
                   "DeviceID=VideoController2", "DriverVersion=23.10.2", "Name=Technical Corp. Device 1111",
                   "PNPDeviceID=PCI\\VEN_1234&DEV_1111&SUBSYS_0E3A1002&REV_C1\\0000:03:00.0",
                   "VideoModeDescription=<null>", "--", "AdapterCompatibility=<null>", "AdapterRAM=<null>",
                   "Caption=Device 5555:0001", "CurrentBitsPerPixel=<null>", "CurrentHorizontalResolution=<null>",
                   "CurrentNumberOfColors=<null>", "CurrentVerticalResolution=<null>", "Description=Device 5555:0001",
                   "DeviceID=VideoController3", "DriverVersion=<null>", "Name=Device 5555:0001",
                   "PNPDeviceID=PCI\\VEN_5555&DEV_0001&SUBSYS_00000000&REV_00\\0000:04:00.0",
                   "VideoModeDescription=<null>"};
    }

    {
        // A system-on-chip display card is known only to DRM; its driver names it.
        Files f;
        f["/sys/devices/platform/soc/gpu/modalias"] = "of:Ngpu\n";
        f["/sys/devices/platform/soc/gpu/driver"] = "->../../../../bus/platform/drivers/vc4-drm";
        f["/sys/class/drm/card0/device"] = "->../../../devices/platform/soc/gpu";
        f["/sys/class/drm/card0-HDMI-A-1/status"] = "connected\n";
        f["/sys/class/drm/card0-HDMI-A-1/modes"] = "1280x1024\n";
        f["/sys/class/drm/card1/dev"] = "226:1\n";
        QTest::newRow("display card without PCI")
            << "Win32_VideoController" << f
            << QStringList {"AdapterCompatibility=<null>", "AdapterRAM=<null>", "Caption=vc4-drm",
                   "CurrentBitsPerPixel=32 (uint)", "CurrentHorizontalResolution=1280 (uint)",
                   "CurrentNumberOfColors=4294967296 (qulonglong)", "CurrentVerticalResolution=1024 (uint)",
                   "Description=vc4-drm", "DeviceID=VideoController1", "DriverVersion=<null>", "Name=vc4-drm",
                   "PNPDeviceID=<null>", "VideoModeDescription=1280 x 1024 x 4294967296 colors"};
    }

    {
        Files f;
        f["/sys/class/drm/card0-DP-2/status"] = "connected\n";
        f["/sys/class/drm/card0-DP-2/edid"] = edidBlock("DELL U2415");
        f["/sys/class/drm/card0-DP-1/status"] = "disconnected\n";
        f["/sys/class/drm/card0-DP-1/edid"] = edidBlock("UNPLUGGED");
        f["/sys/class/drm/card0-HDMI-A-1/status"] = "connected\n";
        f["/sys/class/drm/card0-HDMI-A-1/edid"] = edidBlock(QByteArray());
        f["/sys/class/drm/card2-VGA-1/status"] = "connected\n";
        f["/sys/class/drm/card2-VGA-1/edid"] = "";
        f["/sys/class/drm/card2-VGA-1/modes"] = "1024x768\n800x600\n";
        f["/sys/class/drm/card10-eDP-1/status"] = "connected\n";
        f["/sys/class/drm/version"] = "drm 1.1.0 20060810\n";
        QTest::newRow("desktop monitors")
            << "Win32_DesktopMonitor" << f
            << QStringList {"Caption=DELL U2415", "Description=DELL U2415", "DeviceID=DesktopMonitor1",
                   "MonitorManufacturer=DEL", "MonitorType=DELL U2415", "Name=DELL U2415",
                   "PNPDeviceID=DISPLAY\\DELA0C3\\card0-DP-2", "ScreenHeight=1080 (uint)", "ScreenWidth=1920 (uint)",
                   "--", "Caption=Generic PnP Monitor", "Description=Generic PnP Monitor", "DeviceID=DesktopMonitor2",
                   "MonitorManufacturer=DEL", "MonitorType=Generic PnP Monitor", "Name=Generic PnP Monitor",
                   "PNPDeviceID=DISPLAY\\DELA0C3\\card0-HDMI-A-1", "ScreenHeight=1080 (uint)",
                   "ScreenWidth=1920 (uint)", "--", "Caption=Generic Non-PnP Monitor",
                   "Description=Generic Non-PnP Monitor", "DeviceID=DesktopMonitor3", "MonitorManufacturer=<null>",
                   "MonitorType=Generic Non-PnP Monitor", "Name=Generic Non-PnP Monitor", "PNPDeviceID=<null>",
                   "ScreenHeight=768 (uint)", "ScreenWidth=1024 (uint)", "--", "Caption=Generic Non-PnP Monitor",
                   "Description=Generic Non-PnP Monitor", "DeviceID=DesktopMonitor4", "MonitorManufacturer=<null>",
                   "MonitorType=Generic Non-PnP Monitor", "Name=Generic Non-PnP Monitor", "PNPDeviceID=<null>",
                   "ScreenHeight=<null>", "ScreenWidth=<null>"};
    }

    {
        Files f;
        f["/proc/asound/cards"] = " 0 [PCH            ]: HDA-Intel - HDA Intel PCH\n"
                                  "                      HDA Intel PCH at 0xf7f10000 irq 32\n"
                                  " 1 [Headset        ]: USB-Audio - Logitech USB Headset\n"
                                  "                      Logitech Logitech USB Headset at usb-0000:00:14.0-1, full "
                                  "speed\n"
                                  " 2 [Dummy          ]: Dummy - Dummy\n"
                                  "                      Dummy 1\n";
        f["/proc/asound/card1/id"] = "Headset\n";
        f["/sys/bus/pci/devices/0000:00:1f.3/vendor"] = "0x8086\n";
        f["/sys/bus/pci/devices/0000:00:1f.3/device"] = "0xa348\n";
        f["/sys/bus/pci/devices/0000:00:1f.3/subsystem_vendor"] = "0x1028\n";
        f["/sys/bus/pci/devices/0000:00:1f.3/subsystem_device"] = "0x0869\n";
        f["/sys/bus/pci/devices/0000:00:1f.3/revision"] = "0x10\n";
        f["/sys/class/sound/card0/device"] = "->../../../bus/pci/devices/0000:00:1f.3";
        f["/sys/devices/usb1/1-1/manufacturer"] = "Logitech\n";
        f["/sys/devices/usb1/1-1/1-1:1.0/bInterfaceClass"] = "01\n";
        f["/sys/class/sound/card1/device"] = "->../../../devices/usb1/1-1/1-1:1.0";
        f["/usr/share/misc/pci.ids"] = pciIds;
        QTest::newRow("sound devices") << "Win32_SoundDevice" << f
                                       << QStringList {"Caption=HDA Intel PCH", "Description=HDA Intel PCH",
                                              "DeviceID=PCI\\VEN_8086&DEV_A348&SUBSYS_08691028&REV_10\\0000:00:1f.3",
                                              "Manufacturer=Intel Corporation", "Name=HDA Intel PCH",
                                              "PNPDeviceID=PCI\\VEN_8086&DEV_A348&SUBSYS_08691028&REV_10\\0000:00:1f.3",
                                              "ProductName=HDA Intel PCH", "--", "Caption=Logitech USB Headset",
                                              "Description=Logitech USB Headset", "DeviceID=ALSA\\Headset",
                                              "Manufacturer=Logitech", "Name=Logitech USB Headset",
                                              "PNPDeviceID=<null>", "ProductName=Logitech USB Headset", "--",
                                              "Caption=Dummy", "Description=Dummy", "DeviceID=ALSA\\Dummy",
                                              "Manufacturer=<null>", "Name=Dummy", "PNPDeviceID=<null>",
                                              "ProductName=Dummy"};
    }

    {
        Files f;
        f["/etc/cups/printers.conf"] = "# Printer configuration file for CUPS v2.4.2\n"
                                       "# Written by cupsd\n"
                                       "NextPrinterId 4\n"
                                       "<Printer Home_Inkjet>\n"
                                       "PrinterId 1\n"
                                       "Info Home Inkjet\n"
                                       "MakeModel HP DeskJet 2700 series, hpcups 3.22.10\n"
                                       "DeviceURI hp:/net/DeskJet_2700_series?ip=192.168.1.30\n"
                                       "State Stopped\n"
                                       "Shared No\n"
                                       "</Printer>\n"
                                       "<DefaultPrinter Office>\n"
                                       "PrinterId 2\n"
                                       "Info Büro Laser\n"
                                       "Location Raum 2.01\n"
                                       "MakeModel HP LaserJet 4000 Series Postscript (recommended)\n"
                                       "DeviceURI smb://WORKGROUP/alice:s3cret@printsrv/laser\n"
                                       "State Idle\n"
                                       "Shared Yes\n"
                                       "</DefaultPrinter>\n"
                                       "<Printer Bare>\n"
                                       "</Printer>\n";
        QTest::newRow("printers")
            << "Win32_Printer" << f
            << QStringList {"Caption=Home_Inkjet", "Default=false (bool)", "Description=Home Inkjet",
                   "DeviceID=Home_Inkjet", "DriverName=HP DeskJet 2700 series, hpcups 3.22.10", "Location=<null>",
                   "Name=Home_Inkjet", "PortName=hp:/net/DeskJet_2700_series?ip=192.168.1.30", "PrinterStatus=6 (uint)",
                   "Shared=false (bool)", "--", "Caption=Office", "Default=true (bool)",
                   QStringLiteral("Description=B\u00fcro Laser"), "DeviceID=Office",
                   "DriverName=HP LaserJet 4000 Series Postscript (recommended)", "Location=Raum 2.01", "Name=Office",
                   "PortName=smb://printsrv/laser", "PrinterStatus=3 (uint)", "Shared=true (bool)", "--",
                   "Caption=Bare", "Default=false (bool)", "Description=<null>", "DeviceID=Bare", "DriverName=<null>",
                   "Location=<null>", "Name=Bare", "PortName=<null>", "PrinterStatus=2 (uint)", "Shared=<null>"};
    }

    {
        Files f;
        f["/var/lib/dpkg/status"] = "Package: adduser\n"
                                    "Status: install ok installed\n"
                                    "Priority: important\n"
                                    "Architecture: all\n"
                                    "Maintainer: Debian Adduser Developers <adduser@packages.debian.org>\n"
                                    "Version: 3.134\n"
                                    "Description: add and remove users and groups\n"
                                    " This package includes the 'adduser' and 'deluser' commands.\n"
                                    " .\n"
                                    " Description: not a field of its own\n"
                                    "\n"
                                    "Package: oldtool\n"
                                    "Status: deinstall ok config-files\n"
                                    "Architecture: amd64\n"
                                    "Version: 1.0\n"
                                    "Description: removed, configuration kept\n"
                                    "\n"
                                    "Package: libc6\n"
                                    "status: hold ok installed\n"
                                    "Architecture: amd64\n"
                                    "Multi-Arch: same\n"
                                    "Maintainer: GNU Libc Maintainers <debian-glibc@lists.debian.org>\n"
                                    "Version: 2.36-9+deb12u4\n"
                                    "Description: GNU C Library: Shared libraries\n"
                                    " Contains the standard libraries.\n"
                                    "\n"
                                    "Package: halfway\n"
                                    "Status: install reinstreq half-installed\n"
                                    "Version: 0.1\n"
                                    "\n"
                                    "Package: vendortool\n"
                                    "Status: install ok installed\n"
                                    "Origin: Example Vendor\n"
                                    "Architecture: amd64\n"
                                    "Version: 2.0\n"
                                    "Description: a tool from outside the distribution\n";
        f["/var/lib/dpkg/info/adduser.list"] = "/.\n";
        f["/var/lib/dpkg/info/libc6:amd64.list"] = "/.\n";
        f["/var/lib/dpkg/info/oldtool.list"] = "/.\n";
        QTest::newRow("installed packages")
            << "Win32_Product" << f
            << QStringList {"Caption=add and remove users and groups", "Description=add and remove users and groups",
                   "IdentifyingNumber=adduser:all", "InstallDate=20240315", "InstallDate2=20240315103000.000000+000",
                   "InstallState=5 (int)", "Name=adduser", "Vendor=Debian Adduser Developers", "Version=3.134", "--",
                   "Caption=GNU C Library: Shared libraries", "Description=GNU C Library: Shared libraries",
                   "IdentifyingNumber=libc6:amd64", "InstallDate=20240315", "InstallDate2=20240315103000.000000+000",
                   "InstallState=5 (int)", "Name=libc6", "Vendor=GNU Libc Maintainers", "Version=2.36-9+deb12u4", "--",
                   "Caption=a tool from outside the distribution", "Description=a tool from outside the distribution",
                   "IdentifyingNumber=vendortool:amd64", "InstallDate=<null>", "InstallDate2=<null>",
                   "InstallState=5 (int)", "Name=vendortool", "Vendor=Example Vendor", "Version=2.0"};
    }

    {
        Files f;
        f["/etc/os-release"] = "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n"
                               "NAME=\"Debian GNU/Linux\"\n"
                               "VERSION_ID=\"12\"\n"
                               "VERSION=\"12 (bookworm)\"\n"
                               "# a comment\n"
                               "ID=debian\n";
        f["/proc/sys/kernel/ostype"] = "Linux\n";
        f["/proc/sys/kernel/osrelease"] = "6.1.0-18-amd64\n";
        f["/proc/sys/kernel/hostname"] = "ws-042\n";
        f["/proc/sys/kernel/arch"] = "x86_64\n";
        f["/proc/meminfo"] = "MemTotal:       16316412 kB\n"
                             "MemFree:         1034368 kB\n"
                             "MemAvailable:    9873456 kB\n"
                             "SwapTotal:       2097148 kB\n"
                             "SwapFree:        2000000 kB\n";
        f["/etc/machine-info"] = "PRETTY_HOSTNAME='Front desk'\n";
        QTest::newRow("operating system")
            << "Win32_OperatingSystem" << f
            << QStringList {"BuildNumber=6.1.0-18-amd64", "Caption=Debian GNU/Linux 12 (bookworm)", "CSName=ws-042",
                   "Description=Front desk", "FreePhysicalMemory=9873456 (qulonglong)",
                   "FreeVirtualMemory=11873456 (qulonglong)", "InstallDate=<null>", "LastBootUpTime=<null>",
                   "Manufacturer=Debian GNU/Linux", "Name=Debian GNU/Linux 12 (bookworm)", "OSArchitecture=64-bit",
                   "OSType=36 (uint)", "SerialNumber=<null>", "TotalVirtualMemorySize=18413560 (qulonglong)",
                   "TotalVisibleMemorySize=16316412 (qulonglong)", "Version=12"};
    }

    {
        // Only the kernel is known: the object still names the system.
        Files f;
        f["/proc/sys/kernel/ostype"] = "Linux\n";
        f["/proc/sys/kernel/osrelease"] = "6.1.0-18-amd64\n";
        f["/proc/sys/kernel/arch"] = "armv7l\n";
        f["/etc/machine-id"] = "not a machine id\n";
        QStringList expected {"BuildNumber=6.1.0-18-amd64", "Caption=Linux 6.1.0-18-amd64", "CSName=<null>",
            "Description=", "FreePhysicalMemory=<null>", "FreeVirtualMemory=<null>", "InstallDate=@",
            "LastBootUpTime=<null>", "Manufacturer=<null>", "Name=Linux 6.1.0-18-amd64", "OSArchitecture=32-bit",
            "OSType=36 (uint)", "SerialNumber=<null>", "TotalVirtualMemorySize=<null>", "TotalVisibleMemorySize=<null>",
            "Version=<null>"};
        QTest::newRow("kernel only") << "Win32_OperatingSystem" << f << expected;
    }
}

void TestWmiProvidersSw::providers()
{
    QFETCH(QString, wmiClass);
    QFETCH(Files, files);
    QFETCH(QStringList, expected);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(writeTree(dir.path(), files));
    const QDateTime installed(QDate(2024, 3, 15), QTime(10, 30, 0), Qt::UTC);
    for (auto it = files.cbegin(); it != files.cend(); ++it)
        if (it.key().endsWith(QLatin1String(".list")) || it.key() == QLatin1String("/etc/machine-id"))
            QVERIFY(setMtime(dir.path() + it.key(), installed));

    const auto provider = CWmiProviderTable::create(wmiClass, dir.path());
    QVERIFY(provider);
    const QList<CWmiObject> objects = provider->objects();
    for (const CWmiObject &o : objects)
        QCOMPARE(o.className(), wmiClass);
    QVERIFY(namesSorted(objects));
    // "@" stands for the fixture's install time in CIM text.
    expected.replaceInStrings(QStringLiteral("@"), QStringLiteral("20240315103000.000000+000"));
    QCOMPARE(dump(objects), expected);
}

void TestWmiProvidersSw::missingSources_data()
{
    QTest::addColumn<QString>("wmiClass");
    QTest::addColumn<Files>("files");
    const Files none;
    for (const char *c : {"Win32_VideoController", "Win32_DesktopMonitor", "Win32_SoundDevice", "Win32_Printer",
             "Win32_Product", "Win32_OperatingSystem"})
        QTest::newRow(c) << c << none;

    Files noCards;
    noCards["/proc/asound/cards"] = "--- no soundcards ---\n";
    QTest::newRow("no sound cards") << "Win32_SoundDevice" << noCards;
    Files emptyConf;
    emptyConf["/etc/cups/printers.conf"] = "# Printer configuration file for CUPS v2.4.2\nNextPrinterId 1\n";
    QTest::newRow("no printers configured") << "Win32_Printer" << emptyConf;
    Files unclosed;
    unclosed["/etc/cups/printers.conf"] = "<Printer Half>\nInfo cut off\n";
    QTest::newRow("printer block not closed") << "Win32_Printer" << unclosed;
    Files noDisplay;
    noDisplay["/sys/bus/pci/devices/0000:00:00.0/vendor"] = "0x8086\n";
    noDisplay["/sys/bus/pci/devices/0000:00:00.0/device"] = "0x0d57\n";
    noDisplay["/sys/bus/pci/devices/0000:00:00.0/class"] = "0x060000\n";
    QTest::newRow("no display device") << "Win32_VideoController" << noDisplay;
    Files disconnected;
    disconnected["/sys/class/drm/card0-DP-1/status"] = "disconnected\n";
    disconnected["/sys/class/drm/card0-DP-1/edid"] = edidBlock("X");
    QTest::newRow("no connected output") << "Win32_DesktopMonitor" << disconnected;
    Files emptyStatus;
    emptyStatus["/var/lib/dpkg/status"] = "";
    QTest::newRow("empty package database") << "Win32_Product" << emptyStatus;
}

void TestWmiProvidersSw::missingSources()
{
    QFETCH(QString, wmiClass);
    QFETCH(Files, files);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(writeTree(dir.path(), files));
    const auto provider = CWmiProviderTable::create(wmiClass, dir.path());
    QVERIFY(provider);
    QCOMPARE(provider->objects().size(), 0);
}

void TestWmiProvidersSw::productInstallDates()
{
    // The file list's time is the package's install time, in local time; the date is its first part.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Files f;
    f["/var/lib/dpkg/status"] = "Package: late\nStatus: install ok installed\nArchitecture: amd64\n"
                                "Version: 1\nDescription: installed late in the evening\n";
    f["/var/lib/dpkg/info/late.list"] = "/.\n";
    QVERIFY(writeTree(dir.path(), f));
    QVERIFY(setMtime(
        dir.path() + "/var/lib/dpkg/info/late.list", QDateTime(QDate(2023, 12, 31), QTime(23, 30, 5), Qt::UTC)));

    qputenv("TZ", "CET-1");
    tzset();
    const QList<CWmiObject> objects = CWmiProviderTable::create(QStringLiteral("Win32_Product"), dir.path())->objects();
    qputenv("TZ", "UTC");
    tzset();
    QCOMPARE(objects.size(), 1);
    QCOMPARE(
        objects.at(0).value(QStringLiteral("InstallDate2")).toString(), QStringLiteral("20240101003005.000000+060"));
    QCOMPARE(objects.at(0).value(QStringLiteral("InstallDate")).toString(), QStringLiteral("20240101"));
}

void TestWmiProvidersSw::operatingSystemTimes()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Files f;
    f["/etc/os-release"] = "PRETTY_NAME=\"Example \\\"Quoted\\\" OS\"\nVENDOR_NAME=\"Example Corp\"\n";
    f["/proc/uptime"] = "3725.42 12000.00\n";
    f["/etc/machine-id"] = "3d1219c7c4c5404aaa1f6d2a48adfda4\n";
    QVERIFY(writeTree(dir.path(), f));
    QVERIFY(setMtime(dir.path() + "/etc/machine-id", QDateTime(QDate(2022, 6, 1), QTime(8, 0, 0), Qt::UTC)));

    CWmiOperatingSystemProvider provider(dir.path());
    provider.setNow(QDateTime(QDate(2024, 3, 15), QTime(12, 0, 0), Qt::UTC));
    const QList<CWmiObject> objects = provider.objects();
    QCOMPARE(objects.size(), 1);
    const CWmiObject &o = objects.at(0);
    QCOMPARE(o.value(QStringLiteral("Caption")).toString(), QStringLiteral("Example \"Quoted\" OS"));
    QCOMPARE(o.value(QStringLiteral("Manufacturer")).toString(), QStringLiteral("Example Corp"));
    QCOMPARE(o.value(QStringLiteral("LastBootUpTime")).toString(), QStringLiteral("20240315105755.000000+000"));
    QCOMPARE(o.value(QStringLiteral("InstallDate")).toString(), QStringLiteral("20220601080000.000000+000"));

    // A stable id derived from the machine id, never the machine id itself.
    const QString serial = o.value(QStringLiteral("SerialNumber")).toString();
    QVERIFY2(QRegularExpression(QStringLiteral("^[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}$"))
                 .match(serial)
                 .hasMatch(),
        qPrintable(serial));
    QVERIFY(!QString(serial).remove(QLatin1Char('-')).contains(QStringLiteral("3D1219C7C4C5404AAA1F6D2A48ADFDA4")));
    QCOMPARE(CWmiOperatingSystemProvider(dir.path()).objects().at(0).value(QStringLiteral("SerialNumber")).toString(),
        o.value(QStringLiteral("SerialNumber")).toString());
}

void TestWmiProvidersSw::liveMachine()
{
    // Shape only: this machine's values are not known to the test.
    for (const QString &c : {QStringLiteral("Win32_VideoController"), QStringLiteral("Win32_DesktopMonitor"),
             QStringLiteral("Win32_SoundDevice"), QStringLiteral("Win32_Printer"),
             QStringLiteral("Win32_OperatingSystem")}) {
        const QList<CWmiObject> objects = CWmiProviderTable::create(c, QStringLiteral("/"))->objects();
        QVERIFY(namesSorted(objects));
        for (const CWmiObject &o : objects)
            QVERIFY2(!o.value(QStringLiteral("Caption")).toString().isEmpty(), qPrintable(c));
    }

    QElapsedTimer timer;
    timer.start();
    const QList<CWmiObject> products
        = CWmiProviderTable::create(QStringLiteral("Win32_Product"), QStringLiteral("/"))->objects();
    qInfo("Win32_Product: %lld objects in %lld ms", qint64(products.size()), timer.elapsed());
    QVERIFY(!products.isEmpty());
    bool anyDate = false;
    for (const CWmiObject &o : products) {
        QVERIFY(!o.value(QStringLiteral("Name")).toString().isEmpty());
        QVERIFY(o.has(QStringLiteral("Caption")));
        const QVariant date = o.value(QStringLiteral("InstallDate2"));
        if (!date.isNull()) {
            anyDate = true;
            QVERIFY2(
                QRegularExpression(QStringLiteral("^\\d{14}\\.000000[+-]\\d{3}$")).match(date.toString()).hasMatch(),
                qPrintable(date.toString()));
        }
    }
    QVERIFY(anyDate);

    const QList<CWmiObject> os
        = CWmiProviderTable::create(QStringLiteral("Win32_OperatingSystem"), QStringLiteral("/"))->objects();
    QCOMPARE(os.size(), 1);
    QVERIFY(!os.at(0).value(QStringLiteral("TotalVisibleMemorySize")).isNull());
}

QTEST_MAIN(TestWmiProvidersSw)
#include "tst_wmiproviders_sw.moc"
