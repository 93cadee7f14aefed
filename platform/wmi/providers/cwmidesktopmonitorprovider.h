#pragma once

#include "cwmiprovider.h"

// Win32_DesktopMonitor from the live machine.
class CWmiDesktopMonitorProvider : public CWmiProvider
{
public:
    using CWmiProvider::CWmiProvider;

    QString className() const override { return QStringLiteral("Win32_DesktopMonitor"); }
    QList<CWmiObject> objects() const override;
};
