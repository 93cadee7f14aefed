#include "cglobal.h"

CGlobal::CGlobal()
    : QObject(nullptr)
{ }

CGlobal::CGlobal(QObject *parent)
    : QObject(parent)
{ }

CGlobal::~CGlobal() = default;

int CGlobal::init()
{
    static const char *const table[][2] = {
        {"CPU", "select * from Win32_Processor"},
        {"BaseBoard", "select * from Win32_BaseBoard"},
        {"DiskDrive", "select * from Win32_DiskDrive"},
        {"VideoController", "select * from Win32_VideoController"},
        {"NetworkAdapter", "select * from Win32_NetworkAdapter"},
        {"BIOS", "select * from Win32_BIOS"},
        {"CDROMDrive", "select * from Win32_CDROMDrive"},
        {"DesktopMonitor", "select * from Win32_DesktopMonitor"},
        {"MemoryDevice", "select * from Win32_PhysicalMemory"},
        {"Printer", "select * from Win32_Printer"},
        {"SoundDevice", "select * from Win32_SoundDevice"},
        {"Software", "select * from Win32_Product"},
        {"OS", "select * from Win32_OperatingSystem"},
    };
    for (const auto &entry : table)
        m_classMap.insert(std::make_pair(std::string(entry[0]), std::string(entry[1])));
    return 0;
}
