#pragma once

#include "cwmiprovider.h"

// Win32_DiskDrive from the live machine.
class CWmiDiskDriveProvider : public CWmiProvider
{
public:
    using CWmiProvider::CWmiProvider;

    QString className() const override { return QStringLiteral("Win32_DiskDrive"); }
    QList<CWmiObject> objects() const override;
};
