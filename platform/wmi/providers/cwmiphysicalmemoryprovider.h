#pragma once

#include "cwmiprovider.h"

// Win32_PhysicalMemory from the live machine.
class CWmiPhysicalMemoryProvider : public CWmiProvider
{
public:
    using CWmiProvider::CWmiProvider;

    QString className() const override { return QStringLiteral("Win32_PhysicalMemory"); }
    QList<CWmiObject> objects() const override;
};
