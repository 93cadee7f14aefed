#pragma once

#include "cwmiprovider.h"

// Win32_OperatingSystem from the live machine.
class CWmiOperatingSystemProvider : public CWmiProvider
{
public:
    using CWmiProvider::CWmiProvider;

    QString className() const override { return QStringLiteral("Win32_OperatingSystem"); }
    QList<CWmiObject> objects() const override;
};
