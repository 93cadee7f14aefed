#include "cwmiprovidertable.h"

#include "cwmibaseboardprovider.h"
#include "cwmibiosprovider.h"
#include "cwmicdromdriveprovider.h"
#include "cwmidesktopmonitorprovider.h"
#include "cwmidiskdriveprovider.h"
#include "cwminetworkadapterprovider.h"
#include "cwmioperatingsystemprovider.h"
#include "cwmiphysicalmemoryprovider.h"
#include "cwmiprinterprovider.h"
#include "cwmiprocessorprovider.h"
#include "cwmiproductprovider.h"
#include "cwmisounddeviceprovider.h"
#include "cwmivideocontrollerprovider.h"

std::unique_ptr<CWmiProvider> CWmiProviderTable::create(const QString &name, const QString &root)
{
    if (name.compare(QLatin1String("Win32_Processor"), Qt::CaseInsensitive) == 0)
        return std::make_unique<CWmiProcessorProvider>(root);
    if (name.compare(QLatin1String("Win32_BaseBoard"), Qt::CaseInsensitive) == 0)
        return std::make_unique<CWmiBaseBoardProvider>(root);
    if (name.compare(QLatin1String("Win32_BIOS"), Qt::CaseInsensitive) == 0)
        return std::make_unique<CWmiBiosProvider>(root);
    if (name.compare(QLatin1String("Win32_DiskDrive"), Qt::CaseInsensitive) == 0)
        return std::make_unique<CWmiDiskDriveProvider>(root);
    if (name.compare(QLatin1String("Win32_CDROMDrive"), Qt::CaseInsensitive) == 0)
        return std::make_unique<CWmiCdromDriveProvider>(root);
    if (name.compare(QLatin1String("Win32_NetworkAdapter"), Qt::CaseInsensitive) == 0)
        return std::make_unique<CWmiNetworkAdapterProvider>(root);
    if (name.compare(QLatin1String("Win32_VideoController"), Qt::CaseInsensitive) == 0)
        return std::make_unique<CWmiVideoControllerProvider>(root);
    if (name.compare(QLatin1String("Win32_DesktopMonitor"), Qt::CaseInsensitive) == 0)
        return std::make_unique<CWmiDesktopMonitorProvider>(root);
    if (name.compare(QLatin1String("Win32_SoundDevice"), Qt::CaseInsensitive) == 0)
        return std::make_unique<CWmiSoundDeviceProvider>(root);
    if (name.compare(QLatin1String("Win32_Printer"), Qt::CaseInsensitive) == 0)
        return std::make_unique<CWmiPrinterProvider>(root);
    if (name.compare(QLatin1String("Win32_PhysicalMemory"), Qt::CaseInsensitive) == 0)
        return std::make_unique<CWmiPhysicalMemoryProvider>(root);
    if (name.compare(QLatin1String("Win32_Product"), Qt::CaseInsensitive) == 0)
        return std::make_unique<CWmiProductProvider>(root);
    if (name.compare(QLatin1String("Win32_OperatingSystem"), Qt::CaseInsensitive) == 0)
        return std::make_unique<CWmiOperatingSystemProvider>(root);
    return nullptr;
}

QStringList CWmiProviderTable::classNames()
{
    return {QStringLiteral("Win32_Processor"), QStringLiteral("Win32_BaseBoard"), QStringLiteral("Win32_BIOS"),
        QStringLiteral("Win32_DiskDrive"), QStringLiteral("Win32_CDROMDrive"), QStringLiteral("Win32_NetworkAdapter"),
        QStringLiteral("Win32_VideoController"), QStringLiteral("Win32_DesktopMonitor"),
        QStringLiteral("Win32_SoundDevice"), QStringLiteral("Win32_Printer"), QStringLiteral("Win32_PhysicalMemory"),
        QStringLiteral("Win32_Product"), QStringLiteral("Win32_OperatingSystem")};
}
